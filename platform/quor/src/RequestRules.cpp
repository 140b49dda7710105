#include "RequestRules.h"

#include <cmath>
#include <cstring>

namespace quor {
namespace {

using render::Request;
using render::Value;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

[[noreturn]] void fail(int code, const std::string& message) { throw RequestError(message, code); }

bool isWhole(float f) { return std::isfinite(f) && f == std::floor(f); }

// The requests whose parameters go to options, attributes and shaders: a
// token without a declaration there is skipped with a warning, as the
// renderer would skip the parameter anyway. On geometry it is an error,
// since the values that belong to it cannot be counted.
bool skipsUndeclared(const std::string& name) { return name != "PatchMesh" && name != "Patch"; }

// Reads and checks the arguments and the parameter list of one request.
class Reader : public ArgReader {
 public:
  Reader(const Request& r, const RequestContext& c, CheckedRequest& out) : ArgReader(r), c_(c), out_(out) {}

  // A light handle: a string, or a whole number.
  void handle(std::size_t i) const {
    if (!at(i, "light handle").isString()) integer(i, "light handle");
  }

  // The token/value pairs from position i on, each holding `items` items of
  // its declaration (one item when no function is given).
  void params(std::size_t i, const std::function<std::uint64_t(const Declaration&)>& items = nullptr) {
    out_.paramsFrom = i;
    for (; i < r_.args.size(); i += 2) {
      const Value& token = r_.args[i];
      if (token.kind != Value::Kind::String)
        fail(render::kSyntax, "expected a parameter name (a string) in the parameter list");
      const std::string& name = token.strings[0];
      if (i + 1 >= r_.args.size()) fail(render::kSyntax, "parameter " + quoted(name) + " has no value");
      const Value& value = r_.args[i + 1];
      Declaration decl;
      try {
        decl = declarationIn(name, c_);
      } catch (const RequestError& e) {
        if (!skipsUndeclared(r_.name)) throw;
        if (c_.warn) c_.warn(render::kBadToken, e.what() + std::string("; the parameter is skipped"));
        continue;
      }
      const bool strings = decl.kind == ValueKind::String;
      if (value.isString() != strings)
        fail(render::kConsistency, "parameter " + quoted(name) + " takes " + (strings ? "strings" : "numbers"));
      const std::uint64_t expected = valueCount(decl, items ? items(decl) : 1, name);
      if (value.size() != expected) {
        fail(render::kConsistency, "parameter " + quoted(name) + " needs " + std::to_string(expected) +
                                       " value(s), not " + std::to_string(value.size()));
      }
      out_.params.push_back({name, decl, &value});
    }
  }

  CheckedRequest& out() { return out_; }

 private:
  const RequestContext& c_;
  CheckedRequest& out_;
};

// One basis (a name or 16 numbers) and its step, from position i.
void basisArg(const Reader& a, std::size_t& i, const char* what) {
  if (a.at(i, what).isString()) {
    const std::string name = a.string(i, what);
    if (!findBasis(name))
      fail(render::kBadToken, "unknown basis " + quoted(name) + " (bezier, b-spline, catmull-rom, hermite or power)");
    ++i;
  } else {
    a.numbers(i, 16, what);
  }
  if (a.integer(i, "step") < 1) fail(render::kRange, "basis steps must be at least 1");
  ++i;
}

// A patch mesh's parameters: the position is vertex data, and every value
// count follows from the mesh's shape.
void meshParams(Reader& a, std::size_t first) {
  const MeshShape& shape = a.out().mesh;
  a.params(first, [&](const Declaration& d) { return shape.items(d.storage); });
  bool position = false;
  for (const CheckedParam& p : a.out().params) {
    const std::string& n = p.decl.name;
    if (n != "P" && n != "Pw" && n != "Pz") continue;
    const int want = n == "P" ? 3 : (n == "Pw" ? 4 : 1);
    if (p.decl.storage != StorageClass::Vertex || p.decl.valuesPerItem() != want) {
      fail(render::kConsistency,
           quoted(n) + " must be vertex data of " + std::to_string(want) + " value(s) per vertex");
    }
    position = true;
  }
  if (!position) fail(render::kConsistency, "no \"P\", \"Pw\" or \"Pz\" among the parameters");
}

using Rule = void (*)(Reader&, const RequestContext&);

struct Named {
  const char* name;
  Rule rule;
};

void none(Reader&, const RequestContext&) {}
void nameAndParams(Reader& a, const RequestContext&) {
  a.string(0, "name");
  a.params(1);
}

const Named kRules[] = {
    {"FrameBegin",
     [](Reader& a, const RequestContext&) {
       if (a.size() > 0) a.integer(0, "frame number");
     }},
    {"FrameEnd", none},
    {"WorldBegin", none},
    {"WorldEnd", none},
    {"AttributeBegin", none},
    {"AttributeEnd", none},
    {"TransformBegin", none},
    {"TransformEnd", none},
    {"Identity", none},
    {"ReverseOrientation", none},
    {"ArchiveEnd", none},
    {"Format",
     [](Reader& a, const RequestContext&) {
       const float x = a.number(0, "x resolution"), y = a.number(1, "y resolution");
       const float aspect = a.number(2, "pixel aspect ratio");
       if (!isWhole(x) || !isWhole(y) || x < 1 || y < 1)
         fail(render::kRange, "the resolution must be whole numbers of at least 1");
       if (!(aspect > 0)) fail(render::kRange, "the pixel aspect ratio must be positive");
     }},
    {"Projection", nameAndParams},
    {"ScreenWindow",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       const std::vector<float> w = a.numbers(i, 4, "screen window (left right bottom top)");
       if (w[0] == w[1] || w[2] == w[3]) fail(render::kRange, "the screen window must not be empty");
     }},
    {"Clipping",
     [](Reader& a, const RequestContext&) {
       const float n = a.number(0, "near plane"), f = a.number(1, "far plane");
       if (!(n > 0) || !(f > n)) fail(render::kRange, "the clipping planes need 0 < near < far");
     }},
    {"PixelSamples",
     [](Reader& a, const RequestContext&) {
       const float x = a.number(0, "x samples"), y = a.number(1, "y samples");
       if (!(x >= 1 && y >= 1)) fail(render::kRange, "pixel samples must be at least 1");
     }},
    {"PixelFilter",
     [](Reader& a, const RequestContext&) {
       a.string(0, "filter name");
       const float xw = a.number(1, "x width"), yw = a.number(2, "y width");
       if (!(xw > 0 && yw > 0)) fail(render::kRange, "filter widths must be positive");
     }},
    {"Exposure",
     [](Reader& a, const RequestContext&) {
       const float gain = a.number(0, "gain"), gamma = a.number(1, "gamma");
       if (!(gain >= 0) || !(gamma > 0)) fail(render::kRange, "exposure needs gain >= 0 and gamma > 0");
     }},
    {"Quantize",
     [](Reader& a, const RequestContext&) {
       a.string(0, "quantize type");
       const float one = a.number(1, "one"), lo = a.number(2, "min"), hi = a.number(3, "max"),
                   dither = a.number(4, "dither");
       if (!isWhole(one) || !isWhole(lo) || !isWhole(hi) || one < 0 || lo < 0 || hi < lo || hi > 65535 || one > 65535 ||
           !(dither >= 0)) {
         fail(render::kRange,
              "quantize needs whole numbers 0 <= min <= max <= 65535, one from 0 to 65535 and dither >= 0");
       }
     }},
    {"Display",
     [](Reader& a, const RequestContext&) {
       if (a.string(0, "display name").empty()) fail(render::kRange, "the display needs a file name");
       a.string(1, "display type");
       a.string(2, "display mode");
       a.params(3);
     }},
    {"Option", nameAndParams},
    {"Attribute", nameAndParams},
    {"Hider", nameAndParams},
    {"Imager", nameAndParams},
    {"Atmosphere", nameAndParams},
    {"Displacement", nameAndParams},
    {"Surface", nameAndParams},
    {"ArchiveBegin", nameAndParams},
    {"ReadArchive", nameAndParams},
    {"LightSource",
     [](Reader& a, const RequestContext&) {
       a.string(0, "shader name");
       // A handle follows the name when the rest does not pair up.
       std::size_t first = 1;
       if (a.size() % 2 == 0) {
         a.handle(1);
         first = 2;
       }
       a.params(first);
     }},
    {"Illuminate",
     [](Reader& a, const RequestContext&) {
       a.handle(0);
       a.integer(1, "on");
     }},
    {"Color",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 3, "colour");
     }},
    {"Opacity",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       for (float f : a.numbers(i, 3, "opacity"))
         if (f < 0 || f > 1) fail(render::kRange, "opacity must lie between 0 and 1");
     }},
    {"Sides",
     [](Reader& a, const RequestContext&) {
       const int n = a.integer(0, "sides");
       if (n != 1 && n != 2) fail(render::kRange, "sides must be 1 or 2");
     }},
    {"Orientation",
     [](Reader& a, const RequestContext&) {
       const std::string o = a.string(0, "orientation");
       if (o != "outside" && o != "inside" && o != "lh" && o != "rh")
         fail(render::kBadToken, "unknown orientation " + quoted(o) + " (\"outside\", \"inside\", \"lh\" or \"rh\")");
     }},
    {"Basis",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       basisArg(a, i, "u basis");
       basisArg(a, i, "v basis");
     }},
    {"Transform",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 16, "matrix");
     }},
    {"ConcatTransform",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 16, "matrix");
     }},
    {"Translate",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 3, "offset");
     }},
    {"Rotate",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 4, "angle and axis");
     }},
    {"Scale",
     [](Reader& a, const RequestContext&) {
       std::size_t i = 0;
       a.numbers(i, 3, "scale");
     }},
    {"PatchMesh",
     [](Reader& a, const RequestContext& c) {
       const std::string type = a.string(0, "type");
       const int nu = a.integer(1, "nu");
       const std::string uwrap = a.string(2, "u wrap");
       const int nv = a.integer(3, "nv");
       a.out().mesh = meshShape(type, nu, uwrap, nv, a.string(4, "v wrap"), c.ustep, c.vstep);
       meshParams(a, 5);
     }},
    {"Patch",
     [](Reader& a, const RequestContext&) {
       const std::string type = a.string(0, "type");
       const int n = type == "bicubic" ? 4 : 2;
       a.out().mesh = meshShape(type, n, "nonperiodic", n, "nonperiodic", 1, 1);
       meshParams(a, 1);
     }},
    {"Declare",
     [](Reader& a, const RequestContext&) {
       const std::string name = a.string(0, "name");
       const std::string text = a.string(1, "declaration");
       if (name.empty() || name.find_first_of(" \t\n[") != std::string::npos)
         fail(render::kBadToken, "bad name " + quoted(name));
       declarationOf((text + " " + name).c_str());
     }},
    {"version", [](Reader& a, const RequestContext&) { a.number(0, "version"); }},
    // Requests of the standard that shape how a renderer works, not what it
    // pictures.
    {"ShadingRate",
     [](Reader& a, const RequestContext&) {
       if (!(a.number(0, "shading rate") > 0)) fail(render::kRange, "the shading rate must be positive");
     }},
    {"ShadingInterpolation",
     [](Reader& a, const RequestContext&) {
       const std::string s = a.string(0, "interpolation");
       if (s != "constant" && s != "smooth")
         fail(render::kBadToken, "unknown shading interpolation " + quoted(s) + " (\"constant\" or \"smooth\")");
     }},
    {"Shutter",
     [](Reader& a, const RequestContext&) {
       if (a.number(1, "close time") < a.number(0, "open time"))
         fail(render::kRange, "the shutter must not close before it opens");
     }},
    {"PixelVariance",
     [](Reader& a, const RequestContext&) {
       if (!(a.number(0, "variance") >= 0)) fail(render::kRange, "the pixel variance must not be negative");
     }},
    {"RelativeDetail",
     [](Reader& a, const RequestContext&) {
       if (!(a.number(0, "relative detail") >= 0)) fail(render::kRange, "the relative detail must not be negative");
     }},
    {"GeometricApproximation",
     [](Reader& a, const RequestContext&) {
       a.string(0, "approximation type");
       a.number(1, "value");
     }},
};

Rule ruleOf(const std::string& name) {
  for (const Named& n : kRules)
    if (name == n.name) return n.rule;
  return nullptr;
}

}  // namespace

const Value& ArgReader::at(std::size_t i, const char* what) const {
  if (i >= r_.args.size()) fail(render::kSyntax, std::string("missing argument: ") + what);
  return r_.args[i];
}

float ArgReader::number(std::size_t i, const char* what) const {
  const Value& v = at(i, what);
  if (v.isString() || v.numbers.size() != 1) fail(render::kSyntax, std::string(what) + " must be one number");
  if (!std::isfinite(v.numbers[0])) fail(render::kRange, std::string(what) + " must be finite");
  return v.numbers[0];
}

int ArgReader::integer(std::size_t i, const char* what) const {
  const float f = number(i, what);
  if (!r_.args[i].integers.empty()) return r_.args[i].integers[0];
  // Bounds as floats: 2^31 itself does not fit an int.
  if (f != std::floor(f) || f >= 2147483648.0f || f < -2147483648.0f) {
    fail(render::kRange, std::string(what) + " must be a whole number that fits 32 bits");
  }
  return static_cast<int>(f);
}

std::string ArgReader::string(std::size_t i, const char* what) const {
  const Value& v = at(i, what);
  if (!v.isString() || v.strings.size() != 1) fail(render::kSyntax, std::string(what) + " must be one string");
  return v.strings[0];
}

std::vector<float> ArgReader::numbers(std::size_t& i, std::size_t n, const char* what) const {
  const Value& first = at(i, what);
  std::vector<float> out;
  if (first.kind == Value::Kind::Numbers) {
    out = first.numbers;
    ++i;
  } else {
    for (std::size_t k = 0; k < n && i < r_.args.size() && r_.args[i].kind == Value::Kind::Number; ++k, ++i)
      out.push_back(r_.args[i].numbers[0]);
  }
  if (out.size() != n) fail(render::kSyntax, std::string(what) + " must be " + std::to_string(n) + " numbers");
  for (float f : out)
    if (!std::isfinite(f)) fail(render::kRange, std::string(what) + " must be finite");
  return out;
}

bool knownRequest(const std::string& name) { return ruleOf(name) != nullptr; }

Declaration declarationIn(const std::string& token, const RequestContext& context) {
  if (context.declared) {
    const auto it = context.declared->find(token);
    if (it != context.declared->end()) return it->second;
  }
  return declarationOf(token.c_str());
}

CheckedRequest checkRequest(const Request& request, const RequestContext& context) {
  CheckedRequest out;
  out.request = &request;
  out.paramsFrom = request.args.size();
  if (const Rule rule = ruleOf(request.name)) {
    Reader reader(request, context, out);
    rule(reader, context);
  }
  return out;
}

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
    case BlockKind::Archive:
      return "ArchiveBegin";
  }
  return "?";
}

RequestError unmatchedEnd(BlockKind kind, const OpenBlock* innermost) {
  std::string message = std::string("no open ") + beginName(kind) + " to close";
  if (innermost) {
    message += std::string(" (the innermost block is ") + innermost->opened;
    if (!innermost->where.empty()) message += " (" + innermost->where + ")";
    message += ")";
  }
  return RequestError(message, render::kNesting);
}

std::string listBlocks(const std::vector<OpenBlock>& first, std::size_t count) {
  std::string out;
  for (std::size_t n = 0; n < first.size() && n < kListedBlocks; ++n) {
    out += std::string(n ? ", " : "") + first[n].opened;
    if (!first[n].where.empty()) out += " (" + first[n].where + ")";
  }
  if (count > kListedBlocks) out += ", and " + std::to_string(count - kListedBlocks) + " more";
  return out;
}

RequestError blocksLeftOpen(const std::vector<OpenBlock>& outermost, std::size_t count) {
  return RequestError("the scene ends with blocks left open: " + listBlocks(outermost, count), render::kNesting);
}

}  // namespace quor
