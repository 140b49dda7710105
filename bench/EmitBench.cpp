// Cost of emitting the card, and of building its mesh arrays alone, for
// square grids from 4 x 4 to 512 x 512, against a plain copy of the same
// number of bytes.
//
// Arguments of every benchmark: grid size n (n x n points), then 0 for the
// "linear" card (bilinear mesh of n x n vertices) or 1 for a smooth one
// (bicubic net of 3n x 3n vertices).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DDImageHost/Host.h"
#include "Quor/Quor.h"
#include "grid/ControlGrid.h"
#include "node/QuorCard.h"
#include "render/PatchMesh.h"

namespace {

// The default grid, every point and handle nudged so that no value repeats.
quorcard::PointList benchGrid(int n) {
  quorcard::PointList points;
  quorcard::buildDefaultGrid(points, n, n, 1.0f, 1.0f);
  float nudge = 0.0f;
  for (quorcard::VtxPoint& p : points) {
    nudge += 1e-7f;
    p.pos[2] = nudge;
    for (std::vector<float>& s : p.controlPoints)
      if (!s.empty()) s[2] = -nudge;
  }
  return points;
}

std::size_t vertexCount(int n, bool smooth) {
  const std::size_t side = static_cast<std::size_t>(smooth ? 3 * n : n);
  return side * side;
}

void setCounters(benchmark::State& state, int n, bool smooth) {
  const std::size_t vertices = vertexCount(n, smooth);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vertices * 5 * sizeof(float)));
  state.counters["vertices"] = static_cast<double>(vertices);
}

// The whole emission, RIB text included, written to the null device.
void BM_Emit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  DD::Image::Graph graph;
  std::string error;
  Node* node = graph.create("QuorCard", "", &error);
  if (!node) {
    state.SkipWithError(error.c_str());
    return;
  }
  graph.finish(node);
  auto* card = dynamic_cast<quorcard::QuorCard*>(node->op());
  // The grid is set on the members directly: the per-point knobs that the
  // "x_points" knob would make are not what is measured here.
  card->xPoints = n;
  card->yPoints = n;
  card->interpolation = smooth ? 1 : 0;
  card->points = benchGrid(n);
  if (QrBegin("/dev/null") != 0) {
    state.SkipWithError("cannot open /dev/null as a scene");
    return;
  }
  for (auto _ : state) card->emit();
  QrEnd();
  setCounters(state, n, smooth);
}

// The mesh arrays allocated and filled, as the emission makes them.
void BM_BuildMesh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::PointList points = benchGrid(n);
  for (auto _ : state) {
    quorcard::PatchMesh mesh = quorcard::buildPatchMesh(points, n, n, smooth, quorcard::UvRules());
    benchmark::DoNotOptimize(mesh.positions.get());
    benchmark::DoNotOptimize(mesh.st.get());
    benchmark::ClobberMemory();
  }
  setCounters(state, n, smooth);
}

// The arrays filled again in place, without allocating them.
void BM_FillMesh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::PointList points = benchGrid(n);
  const std::size_t vertices = vertexCount(n, smooth);
  std::vector<float> positions(3 * vertices);
  std::vector<float> st(2 * vertices);
  for (auto _ : state) {
    if (smooth) {
      quorcard::fillBicubicNet(points, n, n, quorcard::UvRules(), positions.data(), st.data());
    } else {
      quorcard::fillBilinearMesh(points, n, n, quorcard::UvRules(), positions.data(), st.data());
    }
    benchmark::DoNotOptimize(positions.data());
    benchmark::DoNotOptimize(st.data());
    benchmark::ClobberMemory();
  }
  setCounters(state, n, smooth);
}

// A copy of as many bytes as the two arrays hold, between buffers that
// already exist.
void BM_Memcpy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const std::size_t floats = vertexCount(n, smooth) * 5;
  std::vector<float> from(floats, 1.0f);
  std::vector<float> to(floats);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), floats * sizeof(float));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  setCounters(state, n, smooth);
}

void gridSizes(benchmark::internal::Benchmark* b) {
  for (int smooth : {0, 1})
    for (int n : {4, 16, 64, 256, 512}) b->Args({n, smooth});
  b->ArgNames({"n", "smooth"});
}

BENCHMARK(BM_Emit)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildMesh)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillMesh)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // Nodes read and may write the renderer's option file; keep the user's
  // own out of the measurement.
  setenv("QUOR_OPTIONS_FILE", "/tmp/quorcard-bench-options.txt", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
