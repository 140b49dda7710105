// The mesh arrays built without the renderer, every vertex against a plain
// evaluation of the net's layout.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "RenderTestSupport.h"
#include "grid/ControlGrid.h"
#include "render/PatchMesh.h"

using quorcard::buildPatchMesh;
using quorcard::MeshType;
using quorcard::PatchMesh;
using quorcard::PointList;
using quorcard::UvRules;

namespace {

PointList defaultGrid(int columns, int rows) {
  PointList points;
  quorcard::buildDefaultGrid(points, columns, rows, 1.0f, 1.0f);
  return points;
}

// A default grid whose points, handles and uv are all moved at random.
PointList deformedGrid(int columns, int rows, unsigned seed) {
  PointList points = defaultGrid(columns, rows);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> shift(-0.2f, 0.2f);
  for (quorcard::VtxPoint& p : points) {
    for (float& f : p.pos) f += shift(random);
    for (float& f : p.uv) f += shift(random);
    for (std::vector<float>& s : p.controlPoints)
      for (float& f : s) f += shift(random);
  }
  return points;
}

std::vector<float> asVector(const float* data, std::size_t n) { return std::vector<float>(data, data + n); }

void expectBuilt(const rendertest::ExpectedMesh& expected, const PatchMesh& mesh) {
  ASSERT_EQ(mesh.nu, expected.nu);
  ASSERT_EQ(mesh.nv, expected.nv);
  ASSERT_TRUE(mesh.positions && mesh.st);
  rendertest::expectSameFloats(expected.P, asVector(mesh.positions.get(), 3 * mesh.vertexCount()), "P");
  rendertest::expectSameFloats(expected.st, asVector(mesh.st.get(), 2 * mesh.vertexCount()), "st");
}

}  // namespace

TEST(BicubicNet, FlatDefaultGridIsTheRegularLatticeOfItsHandles) {
  // Undeformed, the handles sit a third of the spacing from their points, so
  // the net's inner columns and rows step by 1/9 across the card (-0.5..0.5),
  // the corners included; the outer ones repeat their neighbours.
  const PatchMesh mesh = buildPatchMesh(defaultGrid(4, 4), 4, 4, true, UvRules());
  ASSERT_EQ(mesh.type, MeshType::Bicubic);
  ASSERT_EQ(mesh.nu, 12);
  ASSERT_EQ(mesh.nv, 12);
  const auto lattice = [](int n) { return n == 0 ? 0 : (n == 11 ? 9 : n - 1); };
  for (int r = 0; r < 12; ++r) {
    for (int c = 0; c < 12; ++c) {
      const float* p = mesh.positions.get() + 3 * (r * 12 + c);
      const float* st = mesh.st.get() + 2 * (r * 12 + c);
      SCOPED_TRACE(testing::Message() << "row " << r << " column " << c);
      EXPECT_NEAR(p[0], -0.5 + lattice(c) / 9.0, 1e-6);
      EXPECT_NEAR(p[1], -0.5 + lattice(r) / 9.0, 1e-6);
      EXPECT_EQ(p[2], 0.0f);
      EXPECT_NEAR(st[0], lattice(c) / 9.0, 1e-6);
      EXPECT_NEAR(st[1], 1.0 - lattice(r) / 9.0, 1e-6);
    }
  }
}

TEST(BicubicNet, DeformedGridsMatchThePlainEvaluation) {
  const int sizes[][2] = {{2, 2}, {3, 5}, {5, 3}, {4, 4}, {7, 2}};
  unsigned seed = 1;
  for (const auto& size : sizes) {
    const PointList points = deformedGrid(size[0], size[1], seed++);
    for (int rules = 0; rules < 8; ++rules) {
      const bool flip = rules & 1, flop = rules & 2, swap = rules & 4;
      SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " flip " << flip << " flop " << flop
                                      << " swap " << swap);
      const PatchMesh cubic = buildPatchMesh(points, size[0], size[1], true, UvRules{flip, flop, swap});
      EXPECT_EQ(cubic.type, MeshType::Bicubic);
      expectBuilt(rendertest::expectedBicubic(points, size[0], size[1], flip, flop, swap), cubic);
      const PatchMesh linear = buildPatchMesh(points, size[0], size[1], false, UvRules{flip, flop, swap});
      EXPECT_EQ(linear.type, MeshType::Bilinear);
      expectBuilt(rendertest::expectedBilinear(points, size[0], size[1], flip, flop, swap), linear);
    }
  }
}
