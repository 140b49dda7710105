// The entry of the renderer module (see render/Module.h).
#include "render/Module.h"

#include "render/Interpreter.h"
#include "render/TextureCache.h"

namespace quor {
namespace render {
namespace {

class InterpretedScene : public RenderedScene {
 public:
  explicit InterpretedScene(Diagnostics& diagnostics) : interpreter_(diagnostics) {}
  void apply(const Request& request) override { interpreter_.apply(request); }
  void finish(const std::string& where) override { interpreter_.finish(where); }
  int ustep() const override { return interpreter_.ustep(); }
  int vstep() const override { return interpreter_.vstep(); }
  void report(int code, Severity severity, const std::string& message) override {
    interpreter_.report(code, severity, message);
  }

 private:
  Interpreter interpreter_;
};

std::unique_ptr<RenderedScene> newScene(Diagnostics& diagnostics) {
  return std::make_unique<InterpretedScene>(diagnostics);
}

const ModuleTable kTable = {kModuleVersion, newScene, makeTexture};

}  // namespace
}  // namespace render
}  // namespace quor

extern "C" __attribute__((visibility("default"))) const quor::render::ModuleTable* QuorRenderer_module(void) {
  return &quor::render::kTable;
}
