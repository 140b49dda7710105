#include "RenderCalls.h"

#include <atomic>
#include <cstdio>
#include <memory>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Declarations.h"
#include "RendererModule.h"
#include "RequestError.h"
#include "Scene.h"

namespace quor {
namespace {

// Read by the threads that render jobs while the caller may install another.
std::atomic<QtErrorHandler> gHandler{QrErrorPrint};

// The renderer's reports go to the installed error handler.
class HandlerDiagnostics : public render::Diagnostics {
 public:
  void report(int code, render::Severity severity, const std::string& message) override {
    reportError(code, static_cast<int>(severity), message);
  }
};

}  // namespace

struct Rendered {
  HandlerDiagnostics diagnostics;
  std::unique_ptr<render::RenderedScene> scene;
  bool previewOnly = false;
};

namespace {

std::unique_ptr<Rendered>& rendered() {
  // Never destroyed, like the library's own state.
  static auto* instance = new std::unique_ptr<Rendered>;
  return *instance;
}

}  // namespace

void reportError(int code, int severity, const std::string& message) {
  gHandler.load()(code, severity, message.c_str());
}

bool rendering() { return rendered() != nullptr; }

void beginRendering(bool keepFrames, bool previewOnly) {
  const render::ModuleTable& renderer = rendererModule();
  auto r = std::make_unique<Rendered>();
  r->scene = renderer.newScene(r->diagnostics, keepFrames, previewOnly);
  r->previewOnly = previewOnly;
  rendered() = std::move(r);
}

void endRendering() { endRenderingForJob(); }

std::unique_ptr<Rendered> endRenderingForJob() {
  if (!rendered()) return nullptr;
  rendered()->scene->finish("End");
  return std::move(rendered());
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

struct QtJobData {
  std::unique_ptr<quor::Rendered> rendered;
  bool done = false;
};

namespace {

int beginJob(const char* call, bool previewOnly) {
  quor::Library& lib = quor::library();
  try {
    if (lib.scene || quor::rendering()) throw quor::RequestError("a scene is already open");
    quor::beginRendering(true, previewOnly);
    return 0;
  } catch (const std::exception& e) {
    quor::report(call, e.what());
    return -1;
  }
}

}  // namespace

int QxBeginJob(void) { return beginJob("BeginJob", false); }

int QxBeginPreviewJob(void) { return beginJob("BeginPreviewJob", true); }

QtJob QxEndJob(void) {
  if (!quor::rendering()) {
    quor::report("EndJob", "no scene is open (QxBeginJob was not called)");
    return nullptr;
  }
  auto job = std::make_unique<QtJobData>();
  job->rendered = quor::endRenderingForJob();
  return job.release();
}

QtInt QxRenderJob(QtJob job, QtProgressFunc progress, QtPointer data) {
  if (!job || job->done || job->rendered->previewOnly) return 1;
  job->done = true;
  bool cancelled = false;
  const quor::render::Progress told = [&](float done) {
    cancelled = progress && progress(done, data) != 0;
    return !cancelled;
  };
  const int missing = job->rendered->scene->renderKept(told);
  return cancelled ? 2 : missing > 0 ? 1 : 0;
}

QtInt QxJobSurfaces(QtJob job, QtInt facets, QtSurfaceFunc surface, QtPointer data) {
  if (!job || job->done || !job->rendered) return 0;
  const std::vector<quor::render::SurfaceGrid> grids = job->rendered->scene->keptSurfaces(facets);
  for (const quor::render::SurfaceGrid& g : grids)
    if (surface) surface(g.columns, g.rows, g.positions.data(), g.normals.data(), g.st.data(), data);
  return QtInt(grids.size());
}

void QxFreeJob(QtJob job) { delete job; }

void QrErrorPrint(QtInt, QtInt severity, const char* message) {
  const std::string line =
      std::string("libQuor: ") + (severity == QIE_WARNING ? "warning: " : "") + (message ? message : "") + "\n";
  std::fputs(line.c_str(), stderr);
}

void QrErrorIgnore(QtInt, QtInt, const char*) {}
