// Cost of rendering the demo scene: examples/card.json (the wave card,
// textured by checker.png, under an axis turned 15 degrees) as quorhost
// writes it with --rib, rendered from the scene in memory to its picture
// file: tessellation, the Embree scene, 2 x 2 samples a pixel shaded with the
// texture, the gaussian filter, quantization and the PNG written.
//
// Arguments: width, height, the samples a pixel along each axis, then 0 for
// the card "linear" (a bilinear mesh) or 1 for "smooth with handles"
// (bicubic).
//
// Also the start-up of quorrender: the whole process, on an empty scene.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "render/Interpreter.h"
#include "render/RayScene.h"
#include "render/Renderer.h"
#include "render/RibReader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace quor::render;

const fs::path kWork = fs::path(QUOR_BUILD_DIR) / "bench" / "render-work";

class Quiet : public Diagnostics {
 public:
  void report(int, Severity severity, const std::string& message) override {
    if (severity >= Severity::Error) errors += message + "\n";
  }
  std::string errors;
};

// The demo frame, written by quorhost at the size and read back; null with
// the reason when it cannot be made.
std::unique_ptr<FrameScene> demoFrame(int width, int height, bool smooth, std::string& why) {
  fs::create_directories(kWork);
  setenv("QUOR_TEXTURE_CACHE", (kWork / "textures").c_str(), 1);
  const std::string rib = (kWork / ("demo-" + std::to_string(width) + "x" + std::to_string(height) +
                                    (smooth ? "-smooth" : "-linear") + ".rib"))
                              .string();
  const std::string command = std::string("'") + QUOR_BUILD_DIR + "/bin/quorhost' '" + QUOR_SOURCE_DIR +
                              "/examples/card.json' --node QuorCard1 --set type '" +
                              (smooth ? "smooth with handles" : "linear") + "' --size " + std::to_string(width) + "x" +
                              std::to_string(height) + " --rib '" + rib + "'";
  if (std::system(command.c_str()) != 0) {
    why = "quorhost failed: " + command;
    return nullptr;
  }
  std::vector<Request> requests;
  if (!readRibFile(rib, requests, why)) return nullptr;
  Quiet quiet;
  RenderSettings settings;
  settings.dryRun = true;
  Interpreter interpreter(quiet, settings);
  for (const Request& r : requests) interpreter.apply(r);
  interpreter.finish(rib);
  if (!quiet.errors.empty() || !interpreter.lastFrame()) {
    why = "the demo scene does not render: " + quiet.errors;
    return nullptr;
  }
  return std::make_unique<FrameScene>(*interpreter.lastFrame());
}

void BM_RenderDemoFrame(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1)), samples = int(state.range(2));
  const bool smooth = state.range(3) != 0;
  std::string why;
  const std::unique_ptr<FrameScene> frame = demoFrame(width, height, smooth, why);
  if (!frame) {
    state.SkipWithError(why.c_str());
    return;
  }
  frame->options.xsamples = frame->options.ysamples = samples;
  const std::string picture = (kWork / "demo.png").string();
  std::string errors;
  const ReportFunction report = [&](int, Severity s, const std::string& m) {
    if (s >= Severity::Error) errors += m;
  };
  for (auto _ : state) {
    if (!renderFrame(*frame, picture, report)) {
      state.SkipWithError(errors.c_str());
      return;
    }
  }
  state.counters["pixels"] = double(width) * height;
}

BENCHMARK(BM_RenderDemoFrame)
    ->ArgNames({"width", "height", "samples", "smooth"})
    ->Args({640, 480, 2, 1})
    ->Args({1920, 1080, 4, 1})
    ->Args({640, 480, 2, 0})
    ->Args({1920, 1080, 4, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// Cost of meshes the camera cannot see whole: three 9 x 9 bilinear meshes
// behind the eye (a camera that lost its mirroring Scale 1 1 -1), or the
// same three lying across the eye's plane, at 320 x 240, rendered from the
// scene in memory. Counters: the facets tessellated and the process's peak
// resident size (meaningful when this benchmark runs alone, with
// --benchmark_filter).
//
// Argument: 0 behind the eye, 1 across its plane.
void BM_RenderMeshesBehindTheEye(benchmark::State& state) {
  const bool across = state.range(0) != 0;
  std::string rib = "Format 320 240 1\nProjection \"perspective\" \"fov\" [30]\nTranslate 0 0 -2.5\nWorldBegin\n";
  for (int m = 0; m < 3; ++m) {
    rib += "PatchMesh \"bilinear\" 9 \"nonperiodic\" 9 \"nonperiodic\" \"P\" [";
    for (int j = 0; j < 9; ++j)
      for (int i = 0; i < 9; ++i) {
        const double x = i / 4.0 - 1 + m * 0.5, y = j / 4.0 - 1;
        rib += std::to_string(x) + " " + std::to_string(across ? -0.3 - m * 0.1 : y) + " " +
               std::to_string(across ? j * 0.875 - 1 : -m * 0.5) + " ";
      }
    rib += "]\n";
  }
  rib += "WorldEnd\n";
  std::vector<Request> requests;
  std::string why;
  if (!parseRib(rib, "behind.rib", requests, why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  Quiet quiet;
  RenderSettings settings;
  settings.dryRun = true;
  Interpreter interpreter(quiet, settings);
  for (const Request& r : requests) interpreter.apply(r);
  if (!quiet.errors.empty() || !interpreter.lastFrame()) {
    state.SkipWithError(("the scene does not render: " + quiet.errors).c_str());
    return;
  }
  const FrameScene& frame = *interpreter.lastFrame();
  std::string errors;
  const ReportFunction report = [&](int, Severity s, const std::string& m) {
    if (s >= Severity::Error) errors += m;
  };
  for (auto _ : state) {
    FloatPicture picture;
    if (!renderPicture(frame, picture, report)) {
      state.SkipWithError(errors.c_str());
      return;
    }
  }
  state.counters["facets"] = double(RayScene(frame, Camera(frame.options), 1).facetCount());
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}

BENCHMARK(BM_RenderMeshesBehindTheEye)
    ->ArgNames({"across"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// quorrender run on an empty scene, from its start to its exit (it reports
// that there is nothing to render).
void BM_QuorrenderStartUp(benchmark::State& state) {
  fs::create_directories(kWork);
  const std::string empty = (kWork / "empty.rib").string();
  std::ofstream(empty).flush();
  const std::string program = std::string(QUOR_BUILD_DIR) + "/bin/quorrender";
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(empty.c_str()), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
        !WIFEXITED(status)) {
      state.SkipWithError("quorrender did not run");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&quiet);
}

BENCHMARK(BM_QuorrenderStartUp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
