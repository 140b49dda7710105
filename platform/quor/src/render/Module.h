// The renderer as a module that libQuor opens on its first rendered scene or
// texture. libQuor links neither the renderer nor the image library and
// Embree behind it, so that programs which only write RIB never load them.
// libQuor finds the module beside its own file and reaches it through the
// one function the module exports, which returns the table below. Both sides
// are built from this header together.
#ifndef QUOR_RENDER_MODULE_H
#define QUOR_RENDER_MODULE_H

#include <memory>
#include <string>
#include <vector>

#include "render/Patches.h"
#include "render/Renderer.h"
#include "render/Request.h"

namespace quor {
namespace render {

// The module's file name, and the name of the function it exports:
// `const ModuleTable* QuorRenderer_module(void)`.
constexpr const char* kModuleFile = "libQuorRenderer.so";
constexpr const char* kModuleEntry = "QuorRenderer_module";

// A scene rendered as its requests come (render::Interpreter).
class RenderedScene {
 public:
  virtual ~RenderedScene() = default;
  // Applies one request; never throws, failures are reported.
  virtual void apply(const Request& request) = 0;
  // The end of the scene: blocks left open are an error (blocksLeftOpen),
  // reported after "where: " (the library's call, or the RIB file's last line).
  virtual void finish(const std::string& where) = 0;
  // The patch steps that a patch mesh given now would use.
  virtual int ustep() const = 0;
  virtual int vstep() const = 0;
  // Renders the frames that a scene made with keepFrames kept at their
  // WorldEnd; answers how many kept frames wrote no picture (see
  // Interpreter::renderKept).
  virtual int renderKept(const Progress& progress) = 0;
  // The surfaces of the first frame kept, each patch mesh sampled by
  // sampleSurface with about `facets` facets along its longer side.
  virtual std::vector<SurfaceGrid> keptSurfaces(int facets) const = 0;
  // Reports through the scene's diagnostics; errors fail the frame.
  virtual void report(int code, Severity severity, const std::string& message) = 0;
};

// Changes whenever the table or the classes it hands out change, so that a
// module of another build is refused rather than called.
constexpr int kModuleVersion = 4;

struct ModuleTable {
  int version;
  // A new rendered scene that reports to `diagnostics`, which must outlive
  // it; with `keepFrames` its frames wait for renderKept, and with
  // `previewOnly` too they are kept for keptSurfaces alone (see
  // RenderSettings). Throws std::bad_alloc.
  std::unique_ptr<RenderedScene> (*newScene)(Diagnostics& diagnostics, bool keepFrames, bool previewOnly);
  // makeTexture of render/TextureCache.h.
  bool (*makeTexture)(const std::string& image, std::string& texture, std::string& error);
};

}  // namespace render
}  // namespace quor

#endif
