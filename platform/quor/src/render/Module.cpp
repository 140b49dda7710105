// The entry of the renderer module (see render/Module.h).
#include "render/Module.h"

#include "render/Interpreter.h"
#include "render/TextureCache.h"

namespace quor {
namespace render {
namespace {

std::unique_ptr<RenderedScene> newScene(Diagnostics& diagnostics, bool keepFrames, bool previewOnly) {
  RenderSettings settings;
  settings.keepFrames = keepFrames;
  settings.previewOnly = previewOnly;
  return std::make_unique<Interpreter>(diagnostics, settings);
}

const ModuleTable kTable = {kModuleVersion, newScene, makeTexture};

}  // namespace
}  // namespace render
}  // namespace quor

extern "C" __attribute__((visibility("default"))) const quor::render::ModuleTable* QuorRenderer_module(void) {
  return &quor::render::kTable;
}
