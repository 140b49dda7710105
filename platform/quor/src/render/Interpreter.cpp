#include "render/Interpreter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>

#include "render/Renderer.h"
#include "render/RequestHandlers.h"

namespace quor {
namespace render {
namespace {

// What an error met while replaying costs of the frame's replay budget: a
// frame whose replays fail over and over stops after about a thousand errors.
constexpr std::int64_t kReplayErrorCost = 100;
// How many blocks may be open at once. Each keeps the attributes it
// restores; a million of them held gigabytes.
constexpr std::size_t kMaxOpenBlocks = 10000;

// The blocks from `first` to `last`, each with where it began, for listBlocks.
template <class It>
std::vector<OpenBlock> openBlocks(It first, It last) {
  std::vector<OpenBlock> blocks;
  for (It it = first; it != last && blocks.size() < kListedBlocks; ++it)
    blocks.push_back({beginName(it->kind), it->where});
  return blocks;
}

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

const std::vector<float>& uniformNumbers(const Param& p) {
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

void Handlers::pushNested(BlockKind kind) {
  if (st.blocks.size() + st.blocksNotKept < kMaxOpenBlocks) return push(kind);
  ++st.blocksNotKept;
  if (!st.blocksRefused) {
    st.blocksRefused = true;
    fail(kLimit, "more than " + std::to_string(kMaxOpenBlocks) + " blocks open at once");
  }
}

void Handlers::popNested(BlockKind kind) {
  if (st.blocksNotKept > 0) {
    --st.blocksNotKept;
  } else {
    pop(kind);
  }
}

// Closes the innermost block, which must be of `kind`.
Block Handlers::pop(BlockKind kind) {
  if (st.blocks.empty() || st.blocks.back().kind != kind) {
    const std::vector<OpenBlock> innermost = openBlocks(st.blocks.rbegin(), st.blocks.rend());
    const RequestError e = unmatchedEnd(kind, innermost.empty() ? nullptr : &innermost.front());
    fail(e.code(), e.what());
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

void Handlers::frameBegin(const Args&) {
  if (st.inFrame || st.inWorld) fail(kNesting, "FrameBegin inside a frame or a world");
  push(BlockKind::Frame);
  st.inFrame = true;
  newFrame(st);
}

void Handlers::frameEnd(const Args&) {
  // Counted against this frame, while it is open.
  if (st.inFrame) reportCounts(in, st, prefix());
  const Block b = pop(BlockKind::Frame);
  st.options = b.savedOptions;
  st.inFrame = false;
  newFrame(st);
}

void Handlers::worldBegin(const Args&) {
  if (st.inWorld) fail(kNesting, "WorldBegin inside a world");
  push(BlockKind::World);
  st.inWorld = true;
  st.worldToCamera = st.attr.transform;
  st.attr.transform = Mat4::identity();
  st.scene = std::make_unique<FrameScene>();
  st.scene->options = st.options;
  if (!st.inFrame) newFrame(st);
}

void Handlers::worldEnd(const Args&) {
  if (!st.inWorld) fail(kNesting, "no open WorldBegin to close");
  // Blocks left open inside the world are an error; they are closed here
  // so that what follows is read as it was meant.
  std::size_t inside = st.blocks.size();  // the first block inside the world
  while (inside > 0 && st.blocks[inside - 1].kind != BlockKind::World) --inside;
  if (inside < st.blocks.size() || st.blocksNotKept > 0) {
    in.report(kNesting, Severity::Error,
              prefix() + "blocks left open inside the world: " +
                  listBlocks(openBlocks(st.blocks.rbegin(), st.blocks.rend() - std::ptrdiff_t(inside)),
                             st.blocks.size() - inside + st.blocksNotKept));
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
  if (errors == 0 && in.settings_.keepFrames) {
    in.kept_.push_back(std::move(scene));
  } else if (errors == 0 && !in.settings_.dryRun) {
    const bool written =
        renderFrame(*scene, in.settings_.outputOverride,
                    [this](int code, Severity s, const std::string& m) { in.report(code, s, prefix() + m); });
    if (written) ++in.pictures_;
  }
  pop(BlockKind::World);
  st.inWorld = false;
  if (errors == 0 && scene) in.lastFrame_ = std::move(scene);
  if (!st.inFrame) newFrame(st);
}

void Handlers::attributeBegin(const Args&) { pushNested(BlockKind::Attribute); }

void Handlers::attributeEnd(const Args&) { popNested(BlockKind::Attribute); }

void Handlers::transformBegin(const Args&) { pushNested(BlockKind::Transform); }

void Handlers::transformEnd(const Args&) { popNested(BlockKind::Transform); }

// Standard requests that shape how a renderer works rather than what it
// pictures, or that this renderer has no part for.
void Handlers::unused(const Args&) { warnOnce("request " + req.name, prefix() + "not used by this renderer"); }

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
      {"ShadingRate", &Handlers::unused},
      {"ShadingInterpolation", &Handlers::unused},
      {"Hider", &Handlers::unused},
      {"Shutter", &Handlers::unused},
      {"PixelVariance", &Handlers::unused},
      {"RelativeDetail", &Handlers::unused},
      {"GeometricApproximation", &Handlers::unused},
      {"Imager", &Handlers::unused},
      {"Atmosphere", &Handlers::unused},
      {"Displacement", &Handlers::unused},
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
    RequestContext context;
    context.ustep = state_->attr.ustep;
    context.vstep = state_->attr.vstep;
    context.declared = &state_->declared;
    context.warn = [&](int code, const std::string& message) {
      if (warnedOnce_.insert(request.name + " " + message).second) report(code, Severity::Warning, prefix + message);
    };
    const CheckedRequest checked = checkRequest(request, context);
    Handlers h{*this, *state_, request};
    (h.*(it->second))(Args(checked));
  } catch (const RequestError& e) {
    report(e.code(), Severity::Error, prefix + e.what());
  } catch (const Failure& f) {
    report(f.code, Severity::Error, prefix + f.message);
  } catch (const std::bad_alloc&) {
    report(kNoMemory, Severity::Error, prefix + "out of memory");
  } catch (const std::exception& e) {
    report(kSystem, Severity::Error, prefix + e.what());
  }
}

int Interpreter::renderKept(const Progress& progress) {
  const float frames = float(kept_.size());
  const int before = pictures_;
  bool stopped = false;
  for (std::size_t i = 0; i < kept_.size() && !stopped; ++i) {
    const Progress share = [&](float done) {
      stopped = progress && !progress((float(i) + done) / frames);
      return !stopped;
    };
    if (renderFrame(
            *kept_[i], settings_.outputOverride,
            [this](int code, Severity s, const std::string& m) { report(code, s, m); }, share))
      ++pictures_;
  }
  const int missing = int(kept_.size()) - (pictures_ - before);
  kept_.clear();
  return missing;
}

std::vector<SurfaceGrid> Interpreter::keptSurfaces(int facets) const {
  std::vector<SurfaceGrid> grids;
  if (kept_.empty()) return grids;
  for (const PatchMeshData& mesh : kept_.front()->meshes) {
    const int patches = std::max(1, std::max(mesh.upatches, mesh.vpatches));
    grids.emplace_back();
    sampleSurface(mesh, facets / patches, grids.back());
  }
  return grids;
}

void Interpreter::finish(const std::string& where) {
  State& st = *state_;
  const std::string at = where.empty() ? "" : where + ": ";
  reportCounts(*this, st, at);
  // An archive being defined is the innermost block: the blocks in it were
  // kept for the archive, not opened.
  std::vector<OpenBlock> outermost = openBlocks(st.blocks.begin(), st.blocks.end());
  std::size_t open = st.blocks.size() + st.blocksNotKept;
  if (st.recording) {
    if (outermost.size() == open) outermost.push_back({beginName(BlockKind::Archive), st.recordingWhere});
    ++open;
    st.recording.reset();
  }
  if (open > 0) {
    const RequestError leftOpen = blocksLeftOpen(outermost, open);
    report(leftOpen.code(), Severity::Error, at + leftOpen.what());
  }
}

}  // namespace render
}  // namespace quor
