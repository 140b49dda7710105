// What a user waits for on dense cards:
// - one drag step of a point (its knob set, the node validated, the viewer
//   drawn), against a bare save of the same grid through the XML archive;
// - a knob that has nothing to do with the points ("shade", "flip_uvs",
//   "handle_size", "translate" with no point selected) followed by the next
//   validation, on a 4 x 4 and a 256 x 256 card;
// - a damaged points text refused, as a script opens it, against reading the
//   same text undamaged.
//
// Arguments: the grid size n (n x n points); for the knob changes, which
// knob (0 shade, 1 flip_uvs, 2 handle_size, 3 translate) first; for the
// refused texts, which damage (0 none).
#include <benchmark/benchmark.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/archive/xml_oarchive.hpp>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "DDImageHost/Host.h"
#include "DDImageHost/Viewer.h"
#include "grid/ControlGrid.h"
#include "grid/PointsText.h"
#include "grid/VtxPoint.h"

namespace {

// A selected card of n x n points in a graph of its own.
struct Card {
  DD::Image::Graph graph;
  Node* node = nullptr;

  explicit Card(int n) {
    std::string error;
    node = graph.create("QuorCard", "", &error);
    if (!node) return;
    graph.finish(node);
    node->userSetText(node->knob("x_points"), std::to_string(n).c_str());
    node->userSetText(node->knob("y_points"), std::to_string(n).c_str());
    node->setSelected(true);
    node->op()->validate(true);
  }
};

// One step of dragging the point in the middle of the grid, as the viewer
// makes it: a click on the point shows its knob, a second press grabs that
// knob's handle, then each step
// moves the pointer one pixel, which sets the knob, and the node is
// validated and the viewer drawn.
void BM_DragStep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Card card(n);
  DD::Image::Knob* point =
      card.node ? card.node->knob("control_point." + std::to_string(n / 2) + "." + std::to_string(n / 2)) : nullptr;
  if (!point) {
    state.SkipWithError("no card or no point knob");
    return;
  }
  DD::Image::Viewer viewer(card.graph);
  std::vector<unsigned char> rgba;
  std::string error;
  float x = 0, y = 0;
  const DD::Image::Vector3 at(static_cast<float>(point->get_value(0)), static_cast<float>(point->get_value(1)),
                              static_cast<float>(point->get_value(2)));
  const bool grabbed = viewer.draw(&rgba, &error) && viewer.project(at, &x, &y) && viewer.press(x, y, &error) &&
                       (viewer.release(x, y), viewer.draw(&rgba, &error)) && viewer.press(x, y, &error) &&
                       viewer.grabbedKnob() == point;
  if (!grabbed) {
    state.SkipWithError(error.empty() ? "the press did not grab the point's knob" : error.c_str());
    return;
  }
  bool right = false;
  for (auto _ : state) {
    right = !right;
    viewer.dragTo(right ? x + 1 : x, y);
    card.node->op()->validate(true);
    viewer.draw(&rgba, &error);
  }
  viewer.release(x, y);
}

// The baseline: the archive's own save of an n x n grid into a string.
void BM_BareBoostSave(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  quorcard::ControlGrid grid;
  grid.reset(n, n, 1.0f, 1.0f);
  const quorcard::PointList& points = grid.points();
  for (auto _ : state) {
    std::ostringstream stream;
    {
      boost::archive::xml_oarchive archive(stream);
      archive << boost::serialization::make_nvp("points", points);
    }
    benchmark::DoNotOptimize(stream.str().size());
  }
}

// A knob that does not touch the points, then the validation that follows.
void BM_KnobChange(benchmark::State& state) {
  static const char* const knobs[] = {"shade", "flip_uvs", "handle_size", "translate"};
  const char* name = knobs[state.range(0)];
  const int n = static_cast<int>(state.range(1));
  Card card(n);
  DD::Image::Knob* knob = card.node ? card.node->knob(name) : nullptr;
  if (!knob) {
    state.SkipWithError("no card or no knob");
    return;
  }
  state.SetLabel(name);
  bool flip = false;
  auto change = [&]() {
    flip = !flip;
    if (state.range(0) == 3)
      card.node->userSetValues(knob, {flip ? 0.5 : 0.0, 0.0, 0.0});
    else if (state.range(0) == 2)
      card.node->userSetValues(knob, {flip ? 6.0 : 5.0});
    else
      card.node->userSetValues(knob, {flip ? 1.0 : 0.0});
    card.node->op()->validate(true);
  };
  // The card has just been made: the first store pass takes the new grid's
  // text and the first validations hash it. Measured is a user's knob
  // change on a card at rest, after one round of both values.
  change();
  change();
  for (auto _ : state) change();
}

// A 4 x 4 card's points text whose counts claim far more than the text
// holds, or with an end tag 100000 characters long. Each is refused with a
// warning. This guards against a reader that allocates or walks what a
// count claims, or reads a long tag to its end, before it finds the text
// unreadable: each should cost no more than reading the undamaged text.
void BM_RefuseDamagedText(benchmark::State& state) {
  static const char* const damages[] = {"none", "4e7 points", "4e9 points", "slot count 1e23", "long end tag"};
  const std::pair<std::string, std::string> changes[] = {
      {"", ""},
      {"<count>16</count>", "<count>40000000</count>"},
      {"<count>16</count>", "<count>4000000000</count>"},
      {"<count>0</count>", "<count>99999999999999999999999</count>"},
      {"</pos>", "</" + std::string(100000, 'p') + ">"},
  };
  quorcard::ControlGrid grid;
  grid.reset(4, 4, 1.0f, 1.0f);
  std::string text = quorcard::pointsToText(grid.points());
  const auto& [from, to] = changes[state.range(0)];
  const std::size_t at = from.empty() ? 0 : text.find(from);
  if (at == std::string::npos) {
    state.SkipWithError("the text has nothing to damage");
    return;
  }
  text.replace(at, from.size(), to);
  state.SetLabel(damages[state.range(0)]);
  std::ostringstream warnings;
  std::streambuf* const cerr = std::cerr.rdbuf(warnings.rdbuf());
  for (auto _ : state) {
    warnings.str("");
    benchmark::DoNotOptimize(quorcard::textToPoints(text).size());
  }
  std::cerr.rdbuf(cerr);
  if ((state.range(0) == 0) != warnings.str().empty()) state.SkipWithError("refused the wrong text");
}

}  // namespace

BENCHMARK(BM_DragStep)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareBoostSave)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KnobChange)->ArgsProduct({{0, 1, 2, 3}, {4, 256}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefuseDamagedText)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// <folder of the executable>/../plugins, where the build puts QuorCard.so.
std::string pluginFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "../plugins";
  std::string exe(buffer, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/')) + "/../plugins";
}

int main(int argc, char** argv) {
  // "handle_size" writes the renderer's option file: point it at a file of
  // our own before any node exists, never at the user's configuration.
  char options[] = "/tmp/dragbench-options-XXXXXX";
  const int fd = mkstemp(options);
  if (fd < 0) {
    std::perror("DragBench: cannot make a temporary options file");
    return 1;
  }
  close(fd);
  setenv("QUOR_OPTIONS_FILE", options, 1);

  // The card registers itself when its plug-in is loaded, as in a host.
  std::vector<std::string> errors;
  const int loaded = DD::Image::loadPlugins(pluginFolder(), &errors);
  for (const std::string& e : errors) std::cerr << "DragBench: " << e << '\n';
  int status = 1;
  if (loaded > 0) {
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) {
      benchmark::RunSpecifiedBenchmarks();
      status = 0;
    }
    benchmark::Shutdown();
  } else {
    std::cerr << "DragBench: no plug-in loaded from " << pluginFolder() << '\n';
  }
  unlink(options);
  return status;
}
