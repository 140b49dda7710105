// What the window makes a user wait for on a 256 x 256 card, its workspace
// driven directly, without a visible window; each step ends as a frame of
// the window ends: the viewer drawn and the panel's rows listed.
// - a frame alone, nothing changed;
// - a click on the middle point (press and release);
// - one drag step of that point, one pixel;
// - one undo of a drag;
// - opening the script: loading it, the workspace's first look at its file
//   and the first frame;
// and, for comparison, `quorhost SCRIPT --info` run on the same script.
// Then one drag step of the middle point of a 32 x 32 "smooth" card with the
// "Final surface" preview drawn, which must stay within a 60 Hz frame
// (16.7 ms), and the same step with the preview off.
#include <benchmark/benchmark.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "DDImageHost/Host.h"
#include "DDImageHost/Viewer.h"
#include "Session.h"
#include "window/PanelRows.h"
#include "window/Workspace.h"

namespace {

namespace fs = std::filesystem;
using quorhost::PointerButton;
using quorhost::Session;
using quorhost::Workspace;

const int kPoints = 256;

// <folder of the executable>/.., the build tree.
std::string buildFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "..";
  return fs::path(std::string(buffer, static_cast<size_t>(n))).parent_path().parent_path().string();
}

std::string& scriptPath() {
  static std::string path;
  return path;
}

// A session that has loaded the script, its card current and selected.
std::unique_ptr<Session> openSession() {
  auto session = std::make_unique<Session>(std::vector<std::string>{buildFolder() + "/plugins"});
  session->loadScript(scriptPath());
  return session;
}

// A frame of the window: the viewer drawn and the panel's rows listed.
void frame(Workspace& workspace) {
  std::vector<unsigned char> rgba;
  std::string error;
  workspace.drawViewer(&rgba, &error);
  if (Node* n = workspace.session().currentNode()) benchmark::DoNotOptimize(quorhost::panelRows(*n).size());
  benchmark::DoNotOptimize(workspace.dirty());
}

// The viewer pixel of the middle point of a card of `points` x `points`
// (`right` columns to its right), after a first frame; false, with the
// benchmark skipped, when it has none.
bool middlePoint(benchmark::State& state, Workspace& workspace, float* x, float* y, int points = kPoints,
                 int right = 0) {
  frame(workspace);
  Node* card = workspace.session().currentNode();
  const std::string name = "control_point." + std::to_string(points / 2 + right) + "." + std::to_string(points / 2);
  DD::Image::Knob* k = card ? card->knob(name) : nullptr;
  const DD::Image::Vector3 at =
      k ? DD::Image::Vector3(static_cast<float>(k->get_value(0)), static_cast<float>(k->get_value(1)),
                             static_cast<float>(k->get_value(2)))
        : DD::Image::Vector3();
  if (k && workspace.session().viewer().project(at, x, y)) return true;
  state.SkipWithError("no middle point");
  return false;
}

void click(Workspace& workspace, float x, float y) {
  workspace.press(PointerButton::Left, false, false, x, y);
  workspace.release(PointerButton::Left, x, y);
  frame(workspace);
}

// A frame alone: range(0) 0, nothing changed (the viewer shows its last
// picture); 1, the camera turned a little to and fro, so that the viewer
// draws anew: what every step below ends with.
void BM_Frame(benchmark::State& state) {
  auto session = openSession();
  Workspace workspace(*session);
  frame(workspace);
  bool turned = false;
  for (auto _ : state) {
    if (state.range(0) != 0) {
      DD::Image::Camera c = workspace.camera();
      c.yaw += (turned = !turned) ? 0.01f : -0.01f;
      workspace.session().viewer().setCamera(c);
    }
    frame(workspace);
  }
}

// A click on the middle point and on a point 16 columns to its right in
// turn: the knobs of the one clicked shown, the others hidden.
void BM_Click(benchmark::State& state) {
  auto session = openSession();
  Workspace workspace(*session);
  float x = 0, y = 0, nextX = 0, nextY = 0;
  if (!middlePoint(state, workspace, &x, &y)) return;
  if (!middlePoint(state, workspace, &nextX, &nextY, kPoints, kPoints / 16)) return;
  bool next = false;
  for (auto _ : state) {
    next = !next;
    click(workspace, next ? nextX : x, next ? nextY : y);
  }
  // The two clicks pick two points.
  DD::Image::Knob* picked = workspace.session().currentNode()->knob("selected_cp");
  click(workspace, x, y);
  const double first = picked ? picked->get_value() : 0;
  click(workspace, nextX, nextY);
  if (!picked || first < 10000 || picked->get_value() < 10000 || picked->get_value() == first)
    state.SkipWithError("the clicks did not pick two points");
}

// One step of dragging the middle point by a pixel, to and fro; range(0)
// 1: of a 32 x 32 "smooth" card with the final surface drawn, 2: of that
// card without it.
void BM_DragStep(benchmark::State& state) {
  const bool smallCard = state.range(0) != 0;
  const bool preview = state.range(0) == 1;
  std::unique_ptr<Session> session;
  if (smallCard) {
    session = std::make_unique<Session>(std::vector<std::string>{buildFolder() + "/plugins"});
    const quorhost::CommandLine cl =
        quorhost::parseCommandLine({"--new", "QuorCard", "--set", "x_points", "32", "--set", "y_points", "32", "--set",
                                    "type", "smooth", "--select"});
    session->plan(cl.actions);
    for (const quorhost::Action& a : cl.actions) session->run(a);
  } else {
    session = openSession();
  }
  Workspace workspace(*session);
  workspace.setFinalSurface(preview);
  float x = 0, y = 0;
  if (!middlePoint(state, workspace, &x, &y, smallCard ? 32 : kPoints)) return;
  click(workspace, x, y);
  workspace.press(PointerButton::Left, false, false, x, y);
  if (!workspace.session().viewer().grabbedKnob()) {
    state.SkipWithError("the press grabbed no knob");
    return;
  }
  bool right = false;
  for (auto _ : state) {
    right = !right;
    workspace.move(right ? x + 1 : x, y);
    frame(workspace);
  }
  workspace.release(PointerButton::Left, x, y);
}

// An undo of a drag of the middle point; the redo between two undos is not
// measured.
void BM_Undo(benchmark::State& state) {
  auto session = openSession();
  Workspace workspace(*session);
  float x = 0, y = 0;
  if (!middlePoint(state, workspace, &x, &y)) return;
  click(workspace, x, y);
  workspace.press(PointerButton::Left, false, false, x, y);
  workspace.move(x + 5, y + 3);
  workspace.release(PointerButton::Left, x + 5, y + 3);
  if (!workspace.canUndo()) {
    state.SkipWithError("the drag made no step");
    return;
  }
  for (auto _ : state) {
    workspace.undo();
    frame(workspace);
    state.PauseTiming();
    workspace.redo();
    frame(workspace);
    state.ResumeTiming();
  }
}

// Opening the script as --window does: the script loaded, then the first
// frame, which also reads the file to tell whether it has unsaved changes.
void BM_OpenScript(benchmark::State& state) {
  for (auto _ : state) {
    auto session = openSession();
    Workspace workspace(*session);
    frame(workspace);
  }
}

// The baseline: quorhost SCRIPT --info, a program of its own.
void BM_InfoCommand(benchmark::State& state) {
  const std::string command = buildFolder() + "/bin/quorhost " + scriptPath() + " --info > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("quorhost --info failed");
      return;
    }
}

}  // namespace

// Fixed counts: each run loads the script once, which takes seconds.
BENCHMARK(BM_Frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_Click)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_DragStep)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_OpenScript)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_InfoCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DragStep)
    ->Name("BM_FinalSurfaceDragStep")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(50);

int main(int argc, char** argv) {
  // Nodes write the renderer's option file: point it at a file of our own,
  // never at the user's configuration.
  char folder[] = "/tmp/windowbench-XXXXXX";
  if (!mkdtemp(folder)) {
    std::perror("WindowBench: cannot make a temporary folder");
    return 1;
  }
  setenv("QUOR_OPTIONS_FILE", (std::string(folder) + "/options").c_str(), 1);
  scriptPath() = std::string(folder) + "/card.json";

  std::vector<std::string> errors;
  const int loaded = DD::Image::loadPlugins(buildFolder() + "/plugins", &errors);
  for (const std::string& e : errors) std::cerr << "WindowBench: " << e << '\n';
  int status = 1;
  // The script: a selected 256 x 256 card, as quorhost saves it.
  const std::string make = buildFolder() + "/bin/quorhost --new QuorCard --set x_points " + std::to_string(kPoints) +
                           " --set y_points " + std::to_string(kPoints) + " --select --save " + scriptPath();
  if (loaded == 0) {
    std::cerr << "WindowBench: no plug-in loaded from " << buildFolder() << "/plugins\n";
  } else if (std::system(make.c_str()) != 0) {
    std::cerr << "WindowBench: cannot make the script: " << make << '\n';
  } else {
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) {
      benchmark::RunSpecifiedBenchmarks();
      status = 0;
    }
    benchmark::Shutdown();
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return status;
}
