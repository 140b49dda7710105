#include "render/Interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

#include "RibText.h"
#include "render/Renderer.h"
#include "render/RibReader.h"

namespace quor {
namespace render {
namespace {

// A request that cannot be honoured; apply() reports it.
struct Failure {
  int code;
  std::string message;
};

[[noreturn]] void fail(int code, const std::string& message) { throw Failure{code, message}; }

// How deep archives may read archives: deeper is taken for an archive that
// reads itself.
constexpr int kMaxArchiveDepth = 64;
// How many requests a frame may replay from archives, each read counting
// one more. The depth alone does not bound the work: an archive that reads
// another twice at each of 64 levels replays 2^64 times.
constexpr std::int64_t kMaxReplayedRequests = 100000;
// What an error met while replaying costs of that budget: a frame whose
// replays fail over and over stops after about a thousand errors.
constexpr std::int64_t kReplayErrorCost = 100;
// How many blocks may be open at once. Each keeps the attributes it
// restores; a million of them held gigabytes.
constexpr std::size_t kMaxOpenBlocks = 10000;
// How many open blocks an error lists before it says how many more there are.
constexpr std::size_t kListedBlocks = 4;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string describe(const std::string& where) { return where.empty() ? "" : " (" + where + ")"; }

enum class BlockKind { Frame, World, Attribute, Transform };

const char* beginName(BlockKind kind) {
  switch (kind) {
    case BlockKind::Frame:
      return "FrameBegin";
    case BlockKind::World:
      return "WorldBegin";
    case BlockKind::Attribute:
      return "AttributeBegin";
    case BlockKind::Transform:
      return "TransformBegin";
  }
  return "?";
}

// The blocks from `first` to `last`, each with where it began, and `more`
// not kept: the first kListedBlocks of them, then how many more.
template <class It>
std::string listBlocks(It first, It last, std::size_t more) {
  std::string out;
  std::size_t n = 0;
  for (It it = first; it != last; ++it, ++n)
    if (n < kListedBlocks) out += std::string(n ? ", " : "") + beginName(it->kind) + describe(it->where);
  n += more;
  if (n > kListedBlocks) out += ", and " + std::to_string(n - kListedBlocks) + " more";
  return out;
}

struct Attributes {
  Mat4 transform;
  Vec3 color{1, 1, 1};
  Vec3 opacity{1, 1, 1};
  SurfaceShader surface;
  int sides = 2;
  bool reversed = false;  // the orientation differs from the coordinate system's
  bool doubleShaded = false;
  float ubasis[4][4];
  float vbasis[4][4];
  int ustep = 3, vstep = 3;
  std::vector<int> lights;
  std::shared_ptr<const Material> material;  // made on first use, dropped on change

  Attributes() {
    const NamedBasis* bezier = findBasis("bezier");
    std::memcpy(ubasis, bezier->m, sizeof ubasis);
    std::memcpy(vbasis, bezier->m, sizeof vbasis);
  }
};

struct Block {
  BlockKind kind;
  Attributes saved;
  PictureOptions savedOptions;  // FrameBegin keeps the options of the frame
  std::string where;
};

// A RIB file read as an archive: its requests, or why it could not be read.
struct FileArchive {
  bool read = false;
  std::shared_ptr<const std::vector<Request>> requests;
  std::string error;
};

// One token/value pair of a parameter list, with its declaration.
struct Param {
  std::string token;
  Declaration decl;
  const Value* value;
};

}  // namespace

struct Interpreter::State {
  PictureOptions options;
  Mat4 worldToCamera;
  bool inWorld = false;
  bool inFrame = false;
  Attributes attr;
  std::vector<Block> blocks;
  std::unique_ptr<FrameScene> scene;
  std::map<std::string, std::shared_ptr<const std::vector<Request>>> archives;
  // The archive being recorded, and how deep its own ArchiveBegin blocks go.
  std::shared_ptr<std::vector<Request>> recording;
  std::string recordingName;
  std::string recordingWhere;
  int recordingDepth = 0;
  int replayDepth = 0;
  // This frame's requests replayed from archives; once its budget or the
  // depth is spent, replays stop and later reads are skipped and counted.
  std::int64_t replayed = 0;
  bool replaysStopped = false;
  std::int64_t readsSkipped = 0;
  // Attribute and transform blocks opened past kMaxOpenBlocks: not kept,
  // and closed by the next ends. Only the frame's first is reported.
  std::size_t blocksNotKept = 0;
  bool blocksRefused = false;
  // The RIB files that this frame read as archives.
  std::map<std::string, FileArchive> filesThisFrame;
  // The messages of replays shown in this frame, and how many repeated one
  // of them.
  std::set<std::string> shownThisFrame;
  std::int64_t repeats = 0;
  std::map<std::string, int> lightHandles;
  std::map<std::string, Declaration> declared;
  int errorsOutsideFrames = 0;
  int errorsThisFrame = 0;
};

namespace {

// What a new frame starts without: errors and archive replays of the last.
void newFrame(Interpreter::State& st) {
  st.errorsThisFrame = 0;
  st.replayed = 0;
  st.replaysStopped = false;
  st.readsSkipped = 0;
  st.blocksRefused = false;
  st.shownThisFrame.clear();
  st.filesThisFrame.clear();
  st.repeats = 0;
}

// What the frame counted instead of reporting one by one: the reads
// skipped after its replays stopped (the error that stopped them said why)
// and the messages repeated word for word.
void reportCounts(Interpreter& in, Interpreter::State& st, const std::string& at) {
  if (st.readsSkipped > 0) {
    in.report(kLimit, Severity::Error,
              at + "skipped " + std::to_string(st.readsSkipped) + " more ReadArchive request(s) of this frame");
  }
  if (st.repeats > 0)
    in.report(kLimit, Severity::Warning, at + std::to_string(st.repeats) + " message(s) above came again, not shown");
  st.readsSkipped = 0;
  st.repeats = 0;
}

}  // namespace

// The arguments of one request, read by position.
class Args {
 public:
  Args(const Request& r, const Interpreter::State& state) : r_(r), state_(state) {}

  std::size_t size() const { return r_.args.size(); }
  const Value& at(std::size_t i, const char* what) const {
    if (i >= r_.args.size()) fail(kSyntax, std::string("missing argument: ") + what);
    return r_.args[i];
  }
  float number(std::size_t i, const char* what) const {
    const Value& v = at(i, what);
    if (v.isString() || v.numbers.size() != 1) fail(kSyntax, std::string(what) + " must be one number");
    if (!std::isfinite(v.numbers[0])) fail(kRange, std::string(what) + " must be finite");
    return v.numbers[0];
  }
  int integer(std::size_t i, const char* what) const {
    const float f = number(i, what);
    // Bounds as floats: 2^31 itself does not fit an int.
    if (f != std::floor(f) || f >= 2147483648.0f || f < -2147483648.0f) {
      fail(kRange, std::string(what) + " must be a whole number that fits 32 bits");
    }
    return static_cast<int>(f);
  }
  std::string string(std::size_t i, const char* what) const {
    const Value& v = at(i, what);
    if (!v.isString() || v.strings.size() != 1) fail(kSyntax, std::string(what) + " must be one string");
    return v.strings[0];
  }
  // n numbers from position i: one array of n, or n single numbers. Moves i
  // past them.
  std::vector<float> numbers(std::size_t& i, std::size_t n, const char* what) const {
    const Value& first = at(i, what);
    std::vector<float> out;
    if (first.kind == Value::Kind::Numbers) {
      out = first.numbers;
      ++i;
    } else {
      for (std::size_t k = 0; k < n && i < r_.args.size() && r_.args[i].kind == Value::Kind::Number; ++k, ++i)
        out.push_back(r_.args[i].numbers[0]);
    }
    if (out.size() != n) fail(kSyntax, std::string(what) + " must be " + std::to_string(n) + " numbers");
    for (float f : out)
      if (!std::isfinite(f)) fail(kRange, std::string(what) + " must be finite");
    return out;
  }
  // The token/value pairs from position i on.
  std::vector<Param> params(std::size_t i) const {
    std::vector<Param> out;
    for (; i < r_.args.size(); i += 2) {
      const Value& token = r_.args[i];
      if (token.kind != Value::Kind::String)
        fail(kSyntax, "expected a parameter name (a string) in the parameter list");
      if (i + 1 >= r_.args.size()) fail(kSyntax, "parameter " + quoted(token.strings[0]) + " has no value");
      Param p{token.strings[0], declarationFor(token.strings[0]), &r_.args[i + 1]};
      const bool stringKind = p.decl.kind == ValueKind::String;
      if (p.value->isString() != stringKind) {
        fail(kConsistency, "parameter " + quoted(p.token) + " takes " + (stringKind ? "strings" : "numbers"));
      }
      out.push_back(p);
    }
    return out;
  }

 private:
  Declaration declarationFor(const std::string& token) const {
    auto it = state_.declared.find(token);
    if (it != state_.declared.end()) return it->second;
    // Renderer options that have no standard declaration.
    if (token == "threads") return declarationOf("uniform integer threads");
    try {
      return declarationOf(token.c_str());
    } catch (const RequestError& e) {
      fail(kBadToken, e.what());
    }
  }

  const Request& r_;
  const Interpreter::State& state_;
};

namespace {

// Values of a uniform parameter: exactly one item of its type.
const std::vector<float>& uniformNumbers(const Param& p) {
  if (p.value->numbers.size() != static_cast<std::size_t>(p.decl.valuesPerItem())) {
    fail(kConsistency, "parameter " + quoted(p.token) + " needs " + std::to_string(p.decl.valuesPerItem()) +
                           " value(s), not " + std::to_string(p.value->numbers.size()));
  }
  for (float f : p.value->numbers)
    if (!std::isfinite(f)) fail(kRange, "parameter " + quoted(p.token) + " must be finite");
  return p.value->numbers;
}

float paramFloat(const Param& p) {
  if (p.decl.valuesPerItem() != 1) fail(kConsistency, "parameter " + quoted(p.token) + " must be one float");
  return uniformNumbers(p)[0];
}

Vec3 paramTriple(const Param& p) {
  if (p.decl.valuesPerItem() != 3) fail(kConsistency, "parameter " + quoted(p.token) + " must be a triple");
  const std::vector<float>& v = uniformNumbers(p);
  return {v[0], v[1], v[2]};
}

std::string paramString(const Param& p) {
  if (p.value->strings.size() != 1) fail(kConsistency, "parameter " + quoted(p.token) + " must be one string");
  return p.value->strings[0];
}

bool isWhole(float f) { return std::isfinite(f) && f == std::floor(f); }

}  // namespace

// The requests, one member each.
struct Handlers {
  Interpreter& in;
  Interpreter::State& st;
  const Request& req;

  void warnOnce(const std::string& key, const std::string& message) {
    if (in.warnedOnce_.insert(key).second) in.report(kUnimplemented, Severity::Warning, message);
  }
  void requireOptions() {
    if (st.inWorld) fail(kIllegalState, "options can only be given before WorldBegin");
  }
  void requireWorld() {
    if (!st.inWorld) fail(kIllegalState, "only allowed between WorldBegin and WorldEnd");
  }
  void attributesChanged() { st.attr.material.reset(); }

  Mat4 objectToCamera() const { return st.inWorld ? st.attr.transform * st.worldToCamera : st.attr.transform; }

  void concat(const Mat4& m) {
    if (!m.isFinite()) fail(kRange, "the transformation must be finite");
    st.attr.transform = m * st.attr.transform;
  }

  // ---- blocks ----------------------------------------------------------------------------------

  void push(BlockKind kind) { st.blocks.push_back({kind, st.attr, st.options, req.where}); }

  // Opens an attribute or transform block; past kMaxOpenBlocks it is
  // counted instead, with an error the first time in the frame.
  void pushNested(BlockKind kind) {
    if (st.blocks.size() + st.blocksNotKept < kMaxOpenBlocks) return push(kind);
    ++st.blocksNotKept;
    if (!st.blocksRefused) {
      st.blocksRefused = true;
      fail(kLimit, "more than " + std::to_string(kMaxOpenBlocks) + " blocks open at once");
    }
  }
  void popNested(BlockKind kind) {
    if (st.blocksNotKept > 0) {
      --st.blocksNotKept;
    } else {
      pop(kind);
    }
  }

  // Closes the innermost block, which must be of `kind`.
  Block pop(BlockKind kind) {
    if (st.blocks.empty() || st.blocks.back().kind != kind) {
      std::string message = std::string("no open ") + beginName(kind) + " to close";
      if (!st.blocks.empty()) {
        message += std::string(" (the innermost block is ") + beginName(st.blocks.back().kind) +
                   describe(st.blocks.back().where) + ")";
      }
      fail(kNesting, message);
    }
    Block b = st.blocks.back();
    st.blocks.pop_back();
    if (kind == BlockKind::Transform) {
      st.attr.transform = b.saved.transform;
    } else {
      st.attr = b.saved;
    }
    return b;
  }

  void frameBegin(const Args& a) {
    if (a.size() > 0) a.integer(0, "frame number");
    if (st.inFrame || st.inWorld) fail(kNesting, "FrameBegin inside a frame or a world");
    push(BlockKind::Frame);
    st.inFrame = true;
    newFrame(st);
  }
  void frameEnd(const Args&) {
    // Counted against this frame, while it is open.
    if (st.inFrame) reportCounts(in, st, prefix());
    const Block b = pop(BlockKind::Frame);
    st.options = b.savedOptions;
    st.inFrame = false;
    newFrame(st);
  }
  void worldBegin(const Args&) {
    if (st.inWorld) fail(kNesting, "WorldBegin inside a world");
    push(BlockKind::World);
    st.inWorld = true;
    st.worldToCamera = st.attr.transform;
    st.attr.transform = Mat4::identity();
    st.scene = std::make_unique<FrameScene>();
    st.scene->options = st.options;
    if (!st.inFrame) newFrame(st);
  }
  void worldEnd(const Args&) {
    if (!st.inWorld) fail(kNesting, "no open WorldBegin to close");
    // Blocks left open inside the world are an error; they are closed here
    // so that what follows is read as it was meant.
    std::size_t inside = st.blocks.size();  // the first block inside the world
    while (inside > 0 && st.blocks[inside - 1].kind != BlockKind::World) --inside;
    if (inside < st.blocks.size() || st.blocksNotKept > 0) {
      in.report(kNesting, Severity::Error,
                prefix() + "blocks left open inside the world: " +
                    listBlocks(st.blocks.rbegin(), st.blocks.rend() - std::ptrdiff_t(inside), st.blocksNotKept));
      if (inside < st.blocks.size()) st.attr = st.blocks[inside].saved;
      st.blocks.erase(st.blocks.begin() + std::ptrdiff_t(inside), st.blocks.end());
      st.blocksNotKept = 0;
    }
    reportCounts(in, st, prefix());
    const int errors = st.errorsOutsideFrames + st.errorsThisFrame;
    if (errors > 0) {
      in.report(kIllegalState, Severity::Error,
                prefix() + "no picture: the frame had " + std::to_string(errors) + " error(s)");
    }
    std::unique_ptr<FrameScene> scene = std::move(st.scene);
    // Rendered while the world is still open, so that a failure counts
    // against this frame only.
    if (errors == 0 && !in.settings_.dryRun) {
      const bool written =
          renderFrame(*scene, in.settings_.outputOverride,
                      [this](int code, Severity s, const std::string& m) { in.report(code, s, prefix() + m); });
      if (written) ++in.pictures_;
    }
    pop(BlockKind::World);
    st.inWorld = false;
    if (errors == 0) in.lastFrame_ = std::move(scene);
    if (!st.inFrame) newFrame(st);
  }
  void attributeBegin(const Args&) { pushNested(BlockKind::Attribute); }
  void attributeEnd(const Args&) { popNested(BlockKind::Attribute); }
  void transformBegin(const Args&) { pushNested(BlockKind::Transform); }
  void transformEnd(const Args&) { popNested(BlockKind::Transform); }

  std::string prefix() const { return (req.where.empty() ? "" : req.where + ": ") + req.name + ": "; }

  // ---- options ---------------------------------------------------------------------------------

  void format(const Args& a) {
    requireOptions();
    const float x = a.number(0, "x resolution"), y = a.number(1, "y resolution");
    const float aspect = a.number(2, "pixel aspect ratio");
    if (!isWhole(x) || !isWhole(y) || x < 1 || y < 1)
      fail(kRange, "the resolution must be whole numbers of at least 1");
    if (x > kMaxResolution || y > kMaxResolution || double(x) * double(y) > double(kMaxPixels)) {
      fail(kLimit, "a picture of " + std::to_string(int64_t(x)) + " x " + std::to_string(int64_t(y)) +
                       " pixels is too large: at most " + std::to_string(kMaxResolution) + " pixels a side and " +
                       std::to_string(kMaxPixels) + " pixels in all");
    }
    if (!(aspect > 0)) fail(kRange, "the pixel aspect ratio must be positive");
    st.options.xres = int(x);
    st.options.yres = int(y);
    st.options.pixelAspect = aspect;
  }
  void projection(const Args& a) {
    requireOptions();
    const std::string name = a.string(0, "projection name");
    const std::vector<Param> params = a.params(1);
    if (name == "orthographic") {
      for (const Param& p : params)
        warnOnce("Projection orthographic " + p.decl.name,
                 prefix() + "parameter " + quoted(p.token) + " of \"orthographic\" is ignored");
      st.options.perspective = false;
    } else if (name == "perspective") {
      float fov = 90.0f;
      for (const Param& p : params) {
        if (p.decl.name == "fov") {
          fov = paramFloat(p);
        } else {
          warnOnce("Projection perspective " + p.decl.name, prefix() + "parameter " + quoted(p.token) + " is ignored");
        }
      }
      if (!(fov > 0 && fov < 180))
        fail(kRange, "the field of view must lie between 0 and 180 degrees, not " + std::to_string(fov));
      st.options.perspective = true;
      st.options.fov = fov;
    } else {
      fail(kBadToken, "unknown projection " + quoted(name) + " (\"perspective\" or \"orthographic\")");
    }
    // Transformations given before the projection do not carry into the
    // camera's own transformation.
    st.attr.transform = Mat4::identity();
  }
  void screenWindow(const Args& a) {
    requireOptions();
    std::size_t i = 0;
    const std::vector<float> w = a.numbers(i, 4, "screen window (left right bottom top)");
    if (w[0] == w[1] || w[2] == w[3]) fail(kRange, "the screen window must not be empty");
    std::memcpy(st.options.screenWindow, w.data(), sizeof st.options.screenWindow);
    st.options.screenWindowGiven = true;
  }
  void clipping(const Args& a) {
    requireOptions();
    const float n = a.number(0, "near plane"), f = a.number(1, "far plane");
    if (!(n > 0) || !(f > n)) fail(kRange, "the clipping planes need 0 < near < far");
    st.options.nearClip = n;
    st.options.farClip = f;
  }
  void pixelSamples(const Args& a) {
    requireOptions();
    const float x = a.number(0, "x samples"), y = a.number(1, "y samples");
    if (!(x >= 1 && x <= kMaxPixelSamples && y >= 1 && y <= kMaxPixelSamples)) {
      fail(kRange, "pixel samples must lie between 1 and " + std::to_string(kMaxPixelSamples));
    }
    st.options.xsamples = int(std::lround(x));
    st.options.ysamples = int(std::lround(y));
  }
  void pixelFilter(const Args& a) {
    requireOptions();
    const std::string name = a.string(0, "filter name");
    const float xw = a.number(1, "x width"), yw = a.number(2, "y width");
    if (!(xw > 0 && xw <= kMaxFilterWidth && yw > 0 && yw <= kMaxFilterWidth)) {
      fail(kRange, "filter widths must lie above 0 and up to " + std::to_string(int(kMaxFilterWidth)));
    }
    if (name == "box") {
      st.options.filter = FilterKind::Box;
    } else if (name == "gaussian") {
      st.options.filter = FilterKind::Gaussian;
    } else {
      fail(kBadToken, "unknown pixel filter " + quoted(name) + " (\"box\" or \"gaussian\")");
    }
    st.options.filterWidth[0] = xw;
    st.options.filterWidth[1] = yw;
  }
  void exposure(const Args& a) {
    requireOptions();
    const float gain = a.number(0, "gain"), gamma = a.number(1, "gamma");
    if (!(gain >= 0) || !(gamma > 0)) fail(kRange, "exposure needs gain >= 0 and gamma > 0");
    st.options.gain = gain;
    st.options.gamma = gamma;
  }
  void quantize(const Args& a) {
    requireOptions();
    const std::string type = a.string(0, "quantize type");
    const float one = a.number(1, "one"), lo = a.number(2, "min"), hi = a.number(3, "max"),
                dither = a.number(4, "dither");
    if (type != "rgba") {
      warnOnce("Quantize " + type, prefix() + "only \"rgba\" quantization is used; " + quoted(type) + " is ignored");
      return;
    }
    if (!isWhole(one) || !isWhole(lo) || !isWhole(hi) || one < 0 || lo < 0 || hi < lo || hi > 65535 || one > 65535 ||
        !(dither >= 0)) {
      fail(kRange, "quantize needs whole numbers 0 <= min <= max <= 65535, one from 0 to 65535 and dither >= 0");
    }
    st.options.quantizeOne = one;
    st.options.quantizeMin = lo;
    st.options.quantizeMax = hi;
    st.options.dither = dither;
  }
  void display(const Args& a) {
    requireOptions();
    const std::string name = a.string(0, "display name");
    const std::string type = a.string(1, "display type");
    const std::string mode = a.string(2, "display mode");
    a.params(3);
    if (!name.empty() && name[0] == '+') {
      warnOnce("Display +", prefix() + "additional displays (" + quoted(name) + ") are not written");
      return;
    }
    if (name.empty()) fail(kRange, "the display needs a file name");
    if (type != "file" && type != "tiff" && type != "png" && type != "openexr" && type != "exr") {
      fail(kBadToken, "unknown display type " + quoted(type) + " (\"file\", \"tiff\", \"png\" or \"openexr\")");
    }
    if (mode != "rgb" && mode != "rgba")
      fail(kBadToken, "unknown display mode " + quoted(mode) + " (\"rgb\" or \"rgba\")");
    PictureFormat format;
    std::string why;
    if (!pictureFormatFor(name, type, format, why)) fail(kBadToken, why);
    st.options.displayName = name;
    st.options.displayType = type;
    st.options.displayMode = mode;
  }
  void option(const Args& a) {
    const std::string name = a.string(0, "option name");
    for (const Param& p : a.params(1)) {
      if (name == "limits" && p.decl.name == "threads") {
        requireOptions();
        const float n = paramFloat(p);
        if (!isWhole(n) || n < 0 || n > 1024)
          fail(kRange, "threads must be a whole number from 0 (one per core) to 1024");
        st.options.threads = int(n);
      } else {
        warnOnce("Option " + name + " " + p.decl.name,
                 prefix() + "option " + quoted(name) + " " + quoted(p.decl.name) + " is not used by this renderer");
      }
    }
  }

  // ---- attributes ------------------------------------------------------------------------------

  void attribute(const Args& a) {
    const std::string name = a.string(0, "attribute name");
    for (const Param& p : a.params(1)) {
      if (name == "sides" && p.decl.name == "doubleshaded") {
        const float v = paramFloat(p);
        st.attr.doubleShaded = v != 0;
      } else {
        warnOnce("Attribute " + name + " " + p.decl.name,
                 prefix() + "attribute " + quoted(name) + " " + quoted(p.decl.name) + " is not used by this renderer");
      }
    }
  }
  void color(const Args& a) {
    std::size_t i = 0;
    const std::vector<float> c = a.numbers(i, 3, "colour");
    st.attr.color = {c[0], c[1], c[2]};
    attributesChanged();
  }
  void opacity(const Args& a) {
    std::size_t i = 0;
    const std::vector<float> c = a.numbers(i, 3, "opacity");
    for (float f : c)
      if (f < 0 || f > 1) fail(kRange, "opacity must lie between 0 and 1");
    st.attr.opacity = {c[0], c[1], c[2]};
    attributesChanged();
  }
  void sides(const Args& a) {
    const int n = a.integer(0, "sides");
    if (n != 1 && n != 2) fail(kRange, "sides must be 1 or 2");
    st.attr.sides = n;
  }
  void orientation(const Args& a) {
    const std::string o = a.string(0, "orientation");
    const bool leftHanded = objectToCamera().determinant3() > 0;  // camera space is left-handed
    if (o == "outside") {
      st.attr.reversed = false;
    } else if (o == "inside") {
      st.attr.reversed = true;
    } else if (o == "lh") {
      st.attr.reversed = !leftHanded;
    } else if (o == "rh") {
      st.attr.reversed = leftHanded;
    } else {
      fail(kBadToken, "unknown orientation " + quoted(o) + " (\"outside\", \"inside\", \"lh\" or \"rh\")");
    }
  }
  void reverseOrientation(const Args&) { st.attr.reversed = !st.attr.reversed; }

  void basis(const Args& a) {
    std::size_t i = 0;
    float u[4][4], v[4][4];
    const int ustep = basisArg(a, i, u, "u basis");
    const int vstep = basisArg(a, i, v, "v basis");
    std::memcpy(st.attr.ubasis, u, sizeof u);
    std::memcpy(st.attr.vbasis, v, sizeof v);
    st.attr.ustep = ustep;
    st.attr.vstep = vstep;
  }
  // One basis (a name or 16 numbers) and its step.
  int basisArg(const Args& a, std::size_t& i, float out[4][4], const char* what) {
    const Value& v = a.at(i, what);
    if (v.isString()) {
      const std::string name = a.string(i, what);
      const NamedBasis* b = findBasis(name);
      if (!b) fail(kBadToken, "unknown basis " + quoted(name) + " (bezier, b-spline, catmull-rom, hermite or power)");
      std::memcpy(out, b->m, sizeof b->m);
      ++i;
    } else {
      const std::vector<float> m = a.numbers(i, 16, what);
      std::memcpy(out, m.data(), 16 * sizeof(float));
    }
    const int step = a.integer(i, "step");
    ++i;
    if (step < 1 || step > 4) fail(kRange, "basis steps must lie between 1 and 4");
    return step;
  }

  void surface(const Args& a) {
    const std::string name = a.string(0, "shader name");
    const std::vector<Param> params = a.params(1);
    SurfaceShader s;
    // The standard shaders and the parameters each takes.
    struct Known {
      const char* name;
      SurfaceShader::Type type;
      float ka, kd;
      const char* params;
    };
    static const Known kKnown[] = {
        {"defaultsurface", SurfaceShader::Type::Default, 0.2f, 0.8f, " Ka Kd "},
        {"constant", SurfaceShader::Type::Constant, 1, 1, " "},
        {"matte", SurfaceShader::Type::Matte, 1, 1, " Ka Kd "},
        {"plastic", SurfaceShader::Type::Plastic, 1, 0.5f, " Ka Kd Ks roughness specularcolor "},
        {"paintedplastic", SurfaceShader::Type::PaintedPlastic, 1, 0.5f,
         " Ka Kd Ks roughness specularcolor texturename "},
    };
    const Known* known = nullptr;
    for (const Known& k : kKnown)
      if (name == k.name) known = &k;
    if (!known) {
      warnOnce("Surface " + name, prefix() + "unknown surface shader " + quoted(name) + "; \"defaultsurface\" is used");
      known = &kKnown[0];
    }
    s.type = known->type;
    s.ka = known->ka;
    s.kd = known->kd;
    for (const Param& p : params) {
      const std::string& n = p.decl.name;
      if (std::strstr(known->params, (" " + n + " ").c_str()) == nullptr) {
        warnOnce("Surface " + name + " " + n,
                 prefix() + "shader " + quoted(known->name) + " has no parameter " + quoted(n));
        continue;
      }
      if (n == "Ka")
        s.ka = paramFloat(p);
      else if (n == "Kd")
        s.kd = paramFloat(p);
      else if (n == "Ks")
        s.ks = paramFloat(p);
      else if (n == "roughness")
        s.roughness = paramFloat(p);
      else if (n == "specularcolor")
        s.specularColor = paramTriple(p);
      else if (n == "texturename")
        s.textureName = paramString(p);
    }
    if (!(s.roughness > 0)) fail(kRange, "roughness must be positive");
    st.attr.surface = s;
    attributesChanged();
  }

  void lightSource(const Args& a) {
    requireWorld();
    const std::string name = a.string(0, "shader name");
    std::string handle;
    std::size_t first = 1;
    if (a.size() % 2 == 0) {  // a handle follows the name
      const Value& h = a.at(1, "light handle");
      handle = h.isString() ? a.string(1, "light handle") : std::to_string(a.integer(1, "light handle"));
      first = 2;
    }
    Light light;
    Vec3 lightColor{1, 1, 1};
    float intensity = 1;
    Vec3 from{0, 0, 0}, to{0, 0, 1};
    // The spotlight's defaults, radians(30) and radians(5).
    float coneAngle = 0.5235988f, coneDeltaAngle = 0.08726646f;
    const char* accepted;
    if (name == "ambientlight") {
      light.type = Light::Type::Ambient;
      accepted = " intensity lightcolor ";
    } else if (name == "distantlight") {
      light.type = Light::Type::Distant;
      accepted = " intensity lightcolor from to ";
    } else if (name == "pointlight") {
      light.type = Light::Type::Point;
      accepted = " intensity lightcolor from ";
    } else if (name == "spotlight") {
      light.type = Light::Type::Spot;
      accepted = " intensity lightcolor from to coneangle conedeltaangle beamdistribution ";
    } else {
      warnOnce("LightSource " + name, prefix() + "unknown light shader " + quoted(name) + "; the light is left out");
      return;
    }
    for (const Param& p : a.params(first)) {
      const std::string& n = p.decl.name;
      if (std::strstr(accepted, (" " + n + " ").c_str()) == nullptr) {
        warnOnce("LightSource " + name + " " + n,
                 prefix() + "light " + quoted(name) + " has no parameter " + quoted(n));
        continue;
      }
      if (n == "intensity")
        intensity = paramFloat(p);
      else if (n == "lightcolor")
        lightColor = paramTriple(p);
      else if (n == "from")
        from = paramTriple(p);
      else if (n == "to")
        to = paramTriple(p);
      else if (n == "coneangle")
        coneAngle = paramFloat(p);
      else if (n == "conedeltaangle")
        coneDeltaAngle = paramFloat(p);
      else if (n == "beamdistribution")
        light.beamDistribution = paramFloat(p);
    }
    const Mat4 m = objectToCamera();
    light.color = lightColor * intensity;
    light.position = transformPoint(from, m);
    light.direction = normalize(transformPoint(to, m) - light.position);
    const bool aimed = light.type == Light::Type::Distant || light.type == Light::Type::Spot;
    if (!isFinite(light.position) || !isFinite(light.direction) || (aimed && !(length(light.direction) > 0))) {
      fail(kRange, "the light's position and direction must be finite, and \"from\" differ from \"to\"");
    }
    light.cosOutside = std::cos(coneAngle);
    light.cosInside = std::cos(coneAngle - coneDeltaAngle);
    st.scene->lights.push_back(light);
    const int index = int(st.scene->lights.size()) - 1;
    st.attr.lights.push_back(index);
    if (!handle.empty()) st.lightHandles[handle] = index;
    attributesChanged();
  }
  void illuminate(const Args& a) {
    requireWorld();
    const Value& h = a.at(0, "light handle");
    const std::string handle =
        h.isString() ? a.string(0, "light handle") : std::to_string(a.integer(0, "light handle"));
    const bool on = a.integer(1, "on") != 0;
    auto it = st.lightHandles.find(handle);
    if (it == st.lightHandles.end()) fail(kBadToken, "no light " + quoted(handle));
    std::vector<int>& lights = st.attr.lights;
    const auto pos = std::find(lights.begin(), lights.end(), it->second);
    if (on && pos == lights.end()) lights.push_back(it->second);
    if (!on && pos != lights.end()) lights.erase(pos);
    attributesChanged();
  }

  // ---- transformations -------------------------------------------------------------------------

  void identity(const Args&) { st.attr.transform = Mat4::identity(); }
  void transform(const Args& a) {
    std::size_t i = 0;
    const Mat4 m = Mat4::fromArray(a.numbers(i, 16, "matrix").data());
    st.attr.transform = Mat4::identity();
    concat(m);
  }
  void concatTransform(const Args& a) {
    std::size_t i = 0;
    concat(Mat4::fromArray(a.numbers(i, 16, "matrix").data()));
  }
  void translate(const Args& a) {
    std::size_t i = 0;
    const std::vector<float> d = a.numbers(i, 3, "offset");
    concat(Mat4::translate(d[0], d[1], d[2]));
  }
  void rotate(const Args& a) {
    std::size_t i = 0;
    const std::vector<float> r = a.numbers(i, 4, "angle and axis");
    concat(Mat4::rotate(r[0], r[1], r[2], r[3]));
  }
  void scale(const Args& a) {
    std::size_t i = 0;
    const std::vector<float> s = a.numbers(i, 3, "scale");
    concat(Mat4::scale(s[0], s[1], s[2]));
  }

  // ---- geometry --------------------------------------------------------------------------------

  std::shared_ptr<const Material> material() {
    if (!st.attr.material) {
      auto m = std::make_shared<Material>();
      m->surface = st.attr.surface;
      m->color = st.attr.color;
      m->opacity = st.attr.opacity;
      m->lights = st.attr.lights;
      st.attr.material = m;
    }
    return st.attr.material;
  }

  // Patches along one direction: the count, or a failure naming the rule.
  static int patchesAlong(bool bicubic, int n, bool periodic, int step, const char* axis) {
    const auto bad = [&](const std::string& rule) {
      fail(kConsistency, std::string("n") + axis + " = " + std::to_string(n) + " does not fit: " + rule);
    };
    if (!bicubic) {
      if (n < 2) bad("a bilinear mesh needs at least 2 vertices");
      return periodic ? n : n - 1;
    }
    if (periodic) {
      if (n < 1 || n % step != 0) bad("a periodic bicubic mesh needs a multiple of the step " + std::to_string(step));
      return n / step;
    }
    if (n < 4 || (n - 4) % step != 0) bad("a bicubic mesh needs 4 + k * " + std::to_string(step) + " vertices");
    return (n - 4) / step + 1;
  }

  static bool wrapMode(const std::string& w, const char* axis) {
    if (w == "periodic") return true;
    if (w != "nonperiodic") fail(kBadToken, std::string(axis) + " wrap must be \"periodic\" or \"nonperiodic\"");
    return false;
  }

  void patchMesh(const Args& a) {
    requireWorld();
    const std::string type = a.string(0, "type");
    const int nu = a.integer(1, "nu");
    const bool uperiodic = wrapMode(a.string(2, "u wrap"), "u");
    const int nv = a.integer(3, "nv");
    const bool vperiodic = wrapMode(a.string(4, "v wrap"), "v");
    buildPatchMesh(type, nu, uperiodic, nv, vperiodic, a.params(5));
  }

  void patch(const Args& a) {
    requireWorld();
    const std::string type = a.string(0, "type");
    const int n = type == "bicubic" ? 4 : 2;
    buildPatchMesh(type, n, false, n, false, a.params(1));
  }

  void buildPatchMesh(const std::string& type, int nu, bool uperiodic, int nv, bool vperiodic,
                      const std::vector<Param>& params) {
    PatchMeshData mesh;
    if (type != "bilinear" && type != "bicubic") fail(kBadToken, "type must be \"bilinear\" or \"bicubic\"");
    mesh.bicubic = type == "bicubic";
    std::memcpy(mesh.ubasis, st.attr.ubasis, sizeof mesh.ubasis);
    std::memcpy(mesh.vbasis, st.attr.vbasis, sizeof mesh.vbasis);
    mesh.ustep = st.attr.ustep;
    mesh.vstep = st.attr.vstep;
    mesh.nu = nu;
    mesh.nv = nv;
    mesh.uperiodic = uperiodic;
    mesh.vperiodic = vperiodic;
    mesh.upatches = patchesAlong(mesh.bicubic, nu, uperiodic, mesh.ustep, "u");
    mesh.vpatches = patchesAlong(mesh.bicubic, nv, vperiodic, mesh.vstep, "v");
    if (std::int64_t(nu) * nv > (std::int64_t(1) << 28)) fail(kLimit, "too many vertices");

    const Param* position = nullptr;
    for (const Param& p : params) {
      if (p.decl.kind == ValueKind::String)
        fail(kConsistency, "primitive variable " + quoted(p.token) + " cannot be a string");
      const std::size_t expected = itemCount(mesh, p.decl.storage) * std::size_t(p.decl.valuesPerItem());
      if (p.value->numbers.size() != expected) {
        fail(kConsistency, quoted(p.token) + " has " + std::to_string(p.value->numbers.size()) +
                               " values; this mesh needs " + std::to_string(expected));
      }
      const std::string& n = p.decl.name;
      if (n == "P" || n == "Pw" || n == "Pz") {
        const int want = n == "P" ? 3 : (n == "Pw" ? 4 : 1);
        if (p.decl.storage != StorageClass::Vertex || p.decl.valuesPerItem() != want) {
          fail(kConsistency, quoted(n) + " must be vertex data of " + std::to_string(want) + " value(s) per vertex");
        }
        position = &p;
      } else if (n == "st" || n == "s" || n == "t") {
        const int want = n == "st" ? 2 : 1;
        if (p.decl.valuesPerItem() != want) {
          fail(kConsistency, quoted(n) + " must have " + std::to_string(want) + " float(s) per item");
        }
        const std::vector<float>& v = p.value->numbers;
        const std::size_t items = v.size() / want;
        for (PrimVar* var : {&mesh.s, &mesh.t}) {
          const bool isS = var == &mesh.s;
          if (n == "st" || (n == "s") == isS) {
            var->present = true;
            var->storage = p.decl.storage;
            var->values.resize(items);
            const std::size_t offset = (n == "st" && !isS) ? 1 : 0;
            for (std::size_t k = 0; k < items; ++k) var->values[k] = v[k * want + offset];
          }
        }
      } else {
        warnOnce("PatchMesh " + n, prefix() + "primitive variable " + quoted(n) + " is not used by this renderer");
      }
    }
    if (!position) fail(kConsistency, "no \"P\" or \"Pw\" among the parameters");
    if (position->decl.name == "Pz") {
      warnOnce("PatchMesh Pz", prefix() + "height fields (\"Pz\") are not rendered; the mesh is left out");
      return;
    }
    mesh.rational = position->decl.name == "Pw";
    const std::vector<float>& pv = position->value->numbers;
    const std::size_t count = std::size_t(nu) * nv;
    mesh.cv.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
      if (mesh.rational) {
        mesh.cv[k] = {pv[4 * k], pv[4 * k + 1], pv[4 * k + 2], pv[4 * k + 3]};
      } else {
        mesh.cv[k] = {pv[3 * k], pv[3 * k + 1], pv[3 * k + 2], 1.0f};
      }
    }
    mesh.objectToCamera = objectToCamera();
    prepareCameraSpace(mesh);
    const bool mirrored = mesh.objectToCamera.determinant3() < 0;
    mesh.normalSign = (mirrored != st.attr.reversed) ? -1.0f : 1.0f;
    mesh.oneSided = st.attr.sides == 1;
    mesh.doubleShaded = st.attr.doubleShaded;
    mesh.material = material();
    mesh.where = req.where;

    mesh.skipped.assign(std::size_t(mesh.patchCount()), 0);
    int skipped = 0;
    const char* firstProblem = "";
    for (int pj = 0; pj < mesh.vpatches; ++pj)
      for (int pi = 0; pi < mesh.upatches; ++pi) {
        const char* problem = patchProblem(mesh, pi, pj);
        if (*problem) {
          mesh.skipped[std::size_t(pj) * mesh.upatches + pi] = 1;
          if (!skipped++) firstProblem = problem;
        }
      }
    if (skipped) {
      in.report(kMath, Severity::Warning,
                prefix() + "skipped " + std::to_string(skipped) + " of " + std::to_string(mesh.patchCount()) +
                    " patch(es) that are degenerate or non-finite (the first: " + firstProblem + ")");
    }
    st.scene->meshes.push_back(std::move(mesh));
  }

  // ---- archives and declarations -----------------------------------------------------------------

  void archiveBegin(const Args& a) {
    const std::string name = a.string(0, "archive name");
    a.params(1);
    st.recording = std::make_shared<std::vector<Request>>();
    st.recordingName = name;
    st.recordingWhere = req.where;
    st.recordingDepth = 1;
  }
  void archiveEnd(const Args&) { fail(kNesting, "no open ArchiveBegin to close"); }

  void readArchive(const Args& a) {
    const std::string name = a.string(0, "archive name");
    a.params(1);
    if (st.replaysStopped) {
      ++st.readsSkipped;
      return;
    }
    // Each read spends one of the frame's budget, found or not, and then
    // one for each request it replays.
    const auto spend = [&](std::size_t n) {
      st.replayed += std::int64_t(n);
      if (st.replayed <= kMaxReplayedRequests) return;
      st.replaysStopped = true;
      fail(kLimit, "reading archive " + quoted(name) + " would replay more than " +
                       std::to_string(kMaxReplayedRequests) +
                       " requests from archives in this frame (archives that read others several times multiply)");
    };
    spend(1);
    std::shared_ptr<const std::vector<Request>> requests;
    auto it = st.archives.find(name);
    if (it != st.archives.end()) {
      requests = it->second;
    } else {
      // Not an archive of this scene: a RIB file of that name, read once a
      // frame however often it is read.
      FileArchive& file = st.filesThisFrame[name];
      if (!file.read) {
        auto fromFile = std::make_shared<std::vector<Request>>();
        if (readRibFile(name, *fromFile, file.error)) file.requests = fromFile;
        file.read = true;
      }
      if (!file.requests) fail(kNoFile, "no archive " + quoted(name) + " in the scene, and " + file.error);
      requests = file.requests;
    }
    if (st.replayDepth >= kMaxArchiveDepth) {
      st.replaysStopped = true;
      fail(kNesting, "archives read archives more than " + std::to_string(kMaxArchiveDepth) + " deep");
    }
    spend(requests->size());
    ++st.replayDepth;
    for (const Request& r : *requests) {
      if (st.replaysStopped) break;
      in.apply(r);
    }
    --st.replayDepth;
  }

  void declare(const Args& a) {
    const std::string name = a.string(0, "name");
    const std::string text = a.string(1, "declaration");
    if (name.empty() || name.find_first_of(" \t\n[") != std::string::npos) fail(kBadToken, "bad name " + quoted(name));
    try {
      st.declared[name] = declarationOf((text + " " + name).c_str());
    } catch (const RequestError& e) {
      fail(kBadToken, e.what());
    }
  }

  void version(const Args&) {}
};

namespace {

using Handler = void (Handlers::*)(const Args&);

const std::map<std::string, Handler>& handlers() {
  static const std::map<std::string, Handler> table = {
      {"FrameBegin", &Handlers::frameBegin},
      {"FrameEnd", &Handlers::frameEnd},
      {"WorldBegin", &Handlers::worldBegin},
      {"WorldEnd", &Handlers::worldEnd},
      {"AttributeBegin", &Handlers::attributeBegin},
      {"AttributeEnd", &Handlers::attributeEnd},
      {"TransformBegin", &Handlers::transformBegin},
      {"TransformEnd", &Handlers::transformEnd},
      {"Format", &Handlers::format},
      {"Projection", &Handlers::projection},
      {"ScreenWindow", &Handlers::screenWindow},
      {"Clipping", &Handlers::clipping},
      {"PixelSamples", &Handlers::pixelSamples},
      {"PixelFilter", &Handlers::pixelFilter},
      {"Exposure", &Handlers::exposure},
      {"Quantize", &Handlers::quantize},
      {"Display", &Handlers::display},
      {"Option", &Handlers::option},
      {"Attribute", &Handlers::attribute},
      {"Color", &Handlers::color},
      {"Opacity", &Handlers::opacity},
      {"Sides", &Handlers::sides},
      {"Orientation", &Handlers::orientation},
      {"ReverseOrientation", &Handlers::reverseOrientation},
      {"Basis", &Handlers::basis},
      {"Surface", &Handlers::surface},
      {"LightSource", &Handlers::lightSource},
      {"Illuminate", &Handlers::illuminate},
      {"Identity", &Handlers::identity},
      {"Transform", &Handlers::transform},
      {"ConcatTransform", &Handlers::concatTransform},
      {"Translate", &Handlers::translate},
      {"Rotate", &Handlers::rotate},
      {"Scale", &Handlers::scale},
      {"PatchMesh", &Handlers::patchMesh},
      {"Patch", &Handlers::patch},
      {"ArchiveBegin", &Handlers::archiveBegin},
      {"ArchiveEnd", &Handlers::archiveEnd},
      {"ReadArchive", &Handlers::readArchive},
      {"Declare", &Handlers::declare},
      {"version", &Handlers::version},
  };
  return table;
}

}  // namespace

Interpreter::Interpreter(Diagnostics& diagnostics, RenderSettings settings)
    : diagnostics_(diagnostics), settings_(std::move(settings)), state_(std::make_unique<State>()) {}

Interpreter::~Interpreter() = default;

int Interpreter::ustep() const { return state_->attr.ustep; }
int Interpreter::vstep() const { return state_->attr.vstep; }

void Interpreter::report(int code, Severity severity, const std::string& message) {
  if (severity >= Severity::Error) {
    ++errors_;
    if (state_->inFrame || state_->inWorld) {
      ++state_->errorsThisFrame;
    } else {
      ++state_->errorsOutsideFrames;
    }
    if (state_->replayDepth > 0) state_->replayed += kReplayErrorCost;
  }
  // A replayed archive repeats its messages word for word: each is shown
  // once a frame, and the repeats are counted.
  if (state_->replayDepth > 0 && !state_->shownThisFrame.insert(message).second) {
    ++state_->repeats;
    return;
  }
  diagnostics_.report(code, severity, message);
}

void Interpreter::apply(const Request& request) {
  State& st = *state_;
  // Inside an archive definition, requests are kept, not performed.
  if (st.recording) {
    if (request.name == "ArchiveBegin") ++st.recordingDepth;
    if (request.name == "ArchiveEnd" && --st.recordingDepth == 0) {
      st.archives[st.recordingName] = std::move(st.recording);
      st.recording.reset();
      return;
    }
    st.recording->push_back(request);
    return;
  }
  dispatch(request);
}

void Interpreter::dispatch(const Request& request) {
  const std::string prefix = (request.where.empty() ? "" : request.where + ": ") + request.name + ": ";
  const auto& table = handlers();
  const auto it = table.find(request.name);
  if (it == table.end()) {
    if (warnedOnce_.insert("request " + request.name).second) {
      report(kUnimplemented, Severity::Warning,
             (request.where.empty() ? "" : request.where + ": ") + "unknown request " + quoted(request.name) +
                 " skipped (further ones are skipped silently)");
    }
    return;
  }
  try {
    Args args(request, *state_);
    Handlers h{*this, *state_, request};
    (h.*(it->second))(args);
  } catch (const Failure& f) {
    report(f.code, Severity::Error, prefix + f.message);
  } catch (const std::bad_alloc&) {
    report(kNoMemory, Severity::Error, prefix + "out of memory");
  } catch (const std::exception& e) {
    report(kSystem, Severity::Error, prefix + e.what());
  }
}

void Interpreter::finish(const std::string& where) {
  State& st = *state_;
  const std::string at = where.empty() ? "" : where + ": ";
  if (st.recording) {
    report(kNesting, Severity::Error,
           at + "ArchiveBegin " + quoted(st.recordingName) + describe(st.recordingWhere) + " is never closed");
    st.recording.reset();
  }
  reportCounts(*this, st, at);
  if (!st.blocks.empty()) {
    report(kNesting, Severity::Error,
           at + "the scene ends with blocks left open: " +
               listBlocks(st.blocks.begin(), st.blocks.end(), st.blocksNotKept));
  }
}

}  // namespace render
}  // namespace quor
