// Cost of emitting the card, and of building its mesh arrays alone, for
// square grids from 4 x 4 to 512 x 512: the emission against a bare
// std::to_chars of the same floats, the arrays against a plain copy of the
// same number of bytes (into arrays that exist for the fill alone, into
// fresh ones for the build, which allocates its own).
//
// Arguments of every benchmark: grid size n (n x n points), then 0 for the
// "linear" card (bilinear mesh of n x n vertices) or 1 for a smooth one
// (bicubic net of 3n x 3n vertices).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Quor/Quor.h"
#include "grid/ControlGrid.h"
#include "grid/Interpolation.h"
#include "render/CardEmission.h"
#include "render/PatchMesh.h"

namespace {

// The default grid, every point and handle nudged so that no value repeats.
quorcard::ControlGrid benchGrid(int n) {
  quorcard::ControlGrid grid;
  grid.reset(n, n, 1.0f, 1.0f);
  quorcard::PointList points = grid.points();
  float nudge = 0.0f;
  for (quorcard::VtxPoint& p : points) {
    nudge += 1e-7f;
    p.pos[2] = nudge;
    for (std::vector<float>& s : p.controlPoints)
      if (!s.empty()) s[2] = -nudge;
  }
  grid.restore(std::move(points), n, n);
  return grid;
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

// The card's whole attribute block, RIB text included, written to the null
// device.
void BM_Emit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::ControlGrid grid = benchGrid(n);
  const quorcard::CardLook look{smooth ? quorcard::kSmooth : quorcard::kLinear, quorcard::kOrientationUnchanged,
                                quorcard::kShadeFrontOnly, quorcard::UvRules()};
  if (QrBegin("/dev/null") != 0) {
    state.SkipWithError("cannot open /dev/null as a scene");
    return;
  }
  for (auto _ : state) {
    QrAttributeBegin();
    quorcard::emitCardGeometry(grid, look, DD::Image::Matrix4::_identity);
    QrAttributeEnd();
  }
  QrEnd();
  setCounters(state, n, smooth);
}

// The mesh arrays allocated and filled, as the emission makes them.
void BM_BuildMesh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::ControlGrid grid = benchGrid(n);
  for (auto _ : state) {
    quorcard::PatchMesh mesh = quorcard::buildPatchMesh(grid, smooth, quorcard::UvRules());
    benchmark::DoNotOptimize(mesh.positions.get());
    benchmark::DoNotOptimize(mesh.texCoords.get());
    benchmark::ClobberMemory();
  }
  setCounters(state, n, smooth);
}

// The arrays filled again in place, without allocating them.
void BM_FillMesh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::ControlGrid grid = benchGrid(n);
  const std::size_t vertices = vertexCount(n, smooth);
  std::vector<float> positions(3 * vertices);
  std::vector<float> texCoords(2 * vertices);
  for (auto _ : state) {
    if (smooth) {
      quorcard::fillBicubicNet(grid, quorcard::UvRules(), positions.data(), texCoords.data());
    } else {
      quorcard::fillBilinearMesh(grid, quorcard::UvRules(), positions.data(), texCoords.data());
    }
    benchmark::DoNotOptimize(positions.data());
    benchmark::DoNotOptimize(texCoords.data());
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

// The same copy into two arrays allocated for it, as the mesh's are: the
// baseline of BM_BuildMesh, which pays for the fresh pages of its arrays too.
void BM_MemcpyFresh(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const std::size_t vertices = vertexCount(n, smooth);
  std::vector<float> from(vertices * 5, 1.0f);
  for (auto _ : state) {
    std::unique_ptr<float[]> positions(new float[3 * vertices]);
    std::unique_ptr<float[]> st(new float[2 * vertices]);
    std::memcpy(positions.get(), from.data(), 3 * vertices * sizeof(float));
    std::memcpy(st.get(), from.data() + 3 * vertices, 2 * vertices * sizeof(float));
    benchmark::DoNotOptimize(positions.get());
    benchmark::DoNotOptimize(st.get());
    benchmark::ClobberMemory();
  }
  setCounters(state, n, smooth);
}

// The floats that the emission writes (the mesh's positions, then its
// texture coordinates), each formatted by std::to_chars and followed by a
// blank, into a buffer that already exists.
void BM_ToChars(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool smooth = state.range(1) != 0;
  const quorcard::ControlGrid grid = benchGrid(n);
  const quorcard::PatchMesh mesh = quorcard::buildPatchMesh(grid, smooth, quorcard::UvRules());
  const std::size_t vertices = mesh.vertexCount();
  std::vector<char> text(vertices * 5 * 16);
  for (auto _ : state) {
    char* p = text.data();
    char* const end = p + text.size();
    for (std::size_t i = 0; i < 3 * vertices; ++i) {
      p = std::to_chars(p, end, mesh.positions[i]).ptr;
      *p++ = ' ';
    }
    for (std::size_t i = 0; i < 2 * vertices; ++i) {
      p = std::to_chars(p, end, mesh.texCoords[i]).ptr;
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
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
BENCHMARK(BM_MemcpyFresh)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToChars)->Apply(gridSizes)->Unit(benchmark::kMicrosecond);

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
