// The parts of the interpreter, for the files that hold them: the state
// that requests change, the arguments of a checked request, and Handlers,
// which performs each request. Its members live with their jobs:
// Interpreter.cpp (blocks, the dispatch), CameraOptions.cpp,
// AttributesTransforms.cpp, Surfaces.cpp and Lights.cpp beside the shading,
// MeshBuilder.cpp beside the patches, Archives.cpp.
#ifndef QUOR_RENDER_REQUESTHANDLERS_H
#define QUOR_RENDER_REQUESTHANDLERS_H

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RequestRules.h"
#include "render/Frame.h"
#include "render/Interpreter.h"

namespace quor {
namespace render {

// A request that cannot be honoured; Interpreter::apply() reports it.
struct Failure {
  int code;
  std::string message;
};

[[noreturn]] inline void fail(int code, const std::string& message) { throw Failure{code, message}; }

inline std::string quoted(const std::string& s) { return "\"" + s + "\""; }

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

using Param = CheckedParam;

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

// The arguments of one checked request, read by position.
class Args : public ArgReader {
 public:
  explicit Args(const CheckedRequest& r) : ArgReader(*r.request), checked_(r) {}

  // The parameter list, as the check read it.
  const std::vector<Param>& params() const { return checked_.params; }
  const MeshShape& mesh() const { return checked_.mesh; }

 private:
  const CheckedRequest& checked_;
};
// Values of a uniform parameter, which the check has counted; each must be
// finite.
const std::vector<float>& uniformNumbers(const Param& p);
float paramFloat(const Param& p);
Vec3 paramTriple(const Param& p);
std::string paramString(const Param& p);
bool isWhole(float f);

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
  void push(BlockKind kind) { st.blocks.push_back({kind, st.attr, st.options, req.where}); }
  std::string prefix() const { return (req.where.empty() ? "" : req.where + ": ") + req.name + ": "; }

  // Blocks and the requests not used (Interpreter.cpp).
  // Closes the innermost block, which must be of `kind`.
  Block pop(BlockKind kind);
  // Opens an attribute or transform block; past kMaxOpenBlocks it is
  // counted instead, with an error the first time in the frame.
  void pushNested(BlockKind kind);
  void popNested(BlockKind kind);
  void frameBegin(const Args&);
  void frameEnd(const Args&);
  void worldBegin(const Args&);
  void worldEnd(const Args&);
  void attributeBegin(const Args&);
  void attributeEnd(const Args&);
  void transformBegin(const Args&);
  void transformEnd(const Args&);
  // Standard requests that shape how a renderer works rather than what it
  // pictures, or that this renderer has no part for.
  void unused(const Args&);

  // CameraOptions.cpp.
  void format(const Args& a);
  void projection(const Args& a);
  void screenWindow(const Args& a);
  void clipping(const Args& a);
  void pixelSamples(const Args& a);
  void pixelFilter(const Args& a);
  void exposure(const Args& a);
  void quantize(const Args& a);
  void display(const Args& a);
  void option(const Args& a);

  // AttributesTransforms.cpp.
  void attribute(const Args& a);
  void color(const Args& a);
  void opacity(const Args& a);
  void sides(const Args& a);
  void orientation(const Args& a);
  void reverseOrientation(const Args&);
  void basis(const Args& a);
  // One basis (a name or 16 numbers) and its step.
  int basisArg(const Args& a, std::size_t& i, float out[4][4], const char* what);
  void identity(const Args&);
  void transform(const Args& a);
  void concatTransform(const Args& a);
  void translate(const Args& a);
  void rotate(const Args& a);
  void scale(const Args& a);

  // Surfaces.cpp and Lights.cpp.
  void surface(const Args& a);
  void lightSource(const Args& a);
  void illuminate(const Args& a);

  // Archives.cpp.
  void archiveBegin(const Args& a);
  void archiveEnd(const Args&);
  void readArchive(const Args& a);
  void declare(const Args& a);
  void version(const Args&);

  // MeshBuilder.cpp.
  std::shared_ptr<const Material> material();
  void patchMesh(const Args& a);
  void patch(const Args& a);
  void buildPatchMesh(const MeshShape& shape, const std::vector<Param>& params);
};

}  // namespace render
}  // namespace quor

#endif
