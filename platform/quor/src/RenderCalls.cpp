#include "RenderCalls.h"

#include <cstdio>
#include <memory>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Declarations.h"
#include "RendererModule.h"

namespace quor {
namespace {

QtErrorHandler gHandler = QrErrorPrint;

// The renderer's reports go to the installed error handler.
class HandlerDiagnostics : public render::Diagnostics {
 public:
  void report(int code, render::Severity severity, const std::string& message) override {
    reportError(code, static_cast<int>(severity), message);
  }
};

struct Rendered {
  HandlerDiagnostics diagnostics;
  std::unique_ptr<render::RenderedScene> scene;
};

std::unique_ptr<Rendered>& rendered() {
  // Never destroyed, like the library's own state.
  static auto* instance = new std::unique_ptr<Rendered>;
  return *instance;
}

}  // namespace

void reportError(int code, int severity, const std::string& message) {
  (gHandler ? gHandler : QrErrorPrint)(code, severity, message.c_str());
}

bool rendering() { return rendered() != nullptr; }

void beginRendering() {
  const render::ModuleTable& renderer = rendererModule();
  auto r = std::make_unique<Rendered>();
  r->scene = renderer.newScene(r->diagnostics);
  rendered() = std::move(r);
}

void endRendering() {
  rendered()->scene->finish("");
  rendered().reset();
}

void renderRequest(const render::Request& request) { rendered()->scene->apply(request); }

void renderFailure(int code, const std::string& message) {
  rendered()->scene->report(code, render::Severity::Error, message);
}

Steps renderSteps() {
  const render::RenderedScene& in = *rendered()->scene;
  return {in.ustep(), in.vstep()};
}

}  // namespace quor

void QrErrorHandler(QtErrorHandler handler) { quor::gHandler = handler ? handler : QrErrorPrint; }

void QrErrorPrint(QtInt, QtInt severity, const char* message) {
  const std::string line =
      std::string("libQuor: ") + (severity == QIE_WARNING ? "warning: " : "") + (message ? message : "") + "\n";
  std::fputs(line.c_str(), stderr);
}

void QrErrorIgnore(QtInt, QtInt, const char*) {}
