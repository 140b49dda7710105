// Takes scene requests one by one, whether read from a RIB file or made by
// the library's calls, keeps the graphics state they describe (options,
// attribute and transform blocks, archives, lights, surfaces, geometry), and
// renders the frame into the Display's file when its world ends.
//
// A request that cannot be honoured is reported as an error, with where it
// came from, and changes nothing; a frame that had an error writes no
// picture. Requests that the renderer does not know are reported once per
// name as a warning and skipped.
#ifndef QUOR_RENDER_INTERPRETER_H
#define QUOR_RENDER_INTERPRETER_H

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "render/Frame.h"
#include "render/Module.h"
#include "render/Renderer.h"
#include "render/Request.h"

namespace quor {
namespace render {

struct RenderSettings {
  // When set, every frame's picture goes to this file (its format from its
  // extension) instead of the Display's.
  std::string outputOverride;
  // When set, frames are checked and built but not rendered (for tests of
  // the scene state).
  bool dryRun = false;
  // When set, frames are checked and built at WorldEnd but rendered only
  // by renderKept (a render in the background).
  bool keepFrames = false;
  // When set with keepFrames, frames are kept for their surfaces alone
  // (keptSurfaces, a preview): their patches are not checked for rendering,
  // and renderKept must not be called.
  bool previewOnly = false;
};

// The scene state that requests describe, and the frames it renders; also
// what the renderer module hands libQuor as its RenderedScene.
class Interpreter : public RenderedScene {
 public:
  Interpreter(Diagnostics& diagnostics, RenderSettings settings = RenderSettings());
  ~Interpreter() override;
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Applies one request. Never throws: failures are reported.
  void apply(const Request& request) override;
  // The end of the scene: blocks left open are an error (RenderedScene).
  void finish(const std::string& where) override;

  // The patch steps that a patch mesh given now would use, for callers that
  // must count its values before making the request.
  int ustep() const override;
  int vstep() const override;

  // With keepFrames: renders the frames kept, in order, and answers how many
  // of them wrote no picture; `progress` is told the share of all of them done
  // and stops at the frame it stops.
  int renderKept(const Progress& progress) override;
  std::vector<SurfaceGrid> keptSurfaces(int facets) const override;

  // Counts of what happened, for callers and tests.
  int errors() const { return errors_; }
  int picturesWritten() const { return pictures_; }
  // The last frame that reached WorldEnd without errors (dry runs keep it).
  const FrameScene* lastFrame() const { return lastFrame_.get(); }

  // Reports a message with this interpreter's diagnostics; errors count
  // toward the frame's failure.
  void report(int code, Severity severity, const std::string& message) override;

  struct State;

 private:
  void dispatch(const Request& request);

  Diagnostics& diagnostics_;
  RenderSettings settings_;
  std::unique_ptr<State> state_;
  int errors_ = 0;
  int pictures_ = 0;
  std::unique_ptr<FrameScene> lastFrame_;
  std::vector<std::unique_ptr<FrameScene>> kept_;
  std::set<std::string> warnedOnce_;
  friend struct Handlers;
};

}  // namespace render
}  // namespace quor

#endif
