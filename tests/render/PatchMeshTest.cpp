// The mesh arrays built without the renderer: which mesh a grid gives, and
// every vertex of it against a plain evaluation of the net's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "RenderTestSupport.h"
#include "grid/ControlGrid.h"
#include "render/PatchMesh.h"

using quorcard::buildPatchMesh;
using quorcard::MeshType;
using quorcard::meshTypeFor;
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

TEST(MeshType, FollowsInterpolationForAConsistentGrid) {
  const PointList points = defaultGrid(4, 4);
  EXPECT_EQ(meshTypeFor(points, 4, 4, false), MeshType::Bilinear);
  EXPECT_EQ(meshTypeFor(points, 4, 4, true), MeshType::Bicubic);
  const PointList small = defaultGrid(2, 2);
  EXPECT_EQ(meshTypeFor(small, 2, 2, true), MeshType::Bicubic);
}

TEST(MeshType, NoMeshWhenTheCountsDisagreeWithTheGrid) {
  const PointList points = defaultGrid(4, 4);
  EXPECT_EQ(meshTypeFor(points, 4, 3, false), MeshType::None);
  EXPECT_EQ(meshTypeFor(points, 5, 4, true), MeshType::None);
  EXPECT_EQ(meshTypeFor(points, 16, 1, false), MeshType::None);
  EXPECT_EQ(meshTypeFor(points, 1, 16, true), MeshType::None);
  EXPECT_EQ(meshTypeFor(points, -4, -4, false), MeshType::None);
  EXPECT_EQ(meshTypeFor(PointList(), 0, 0, false), MeshType::None);
  // Counts whose product only matches after overflowing int.
  EXPECT_EQ(meshTypeFor(points, 65536, 65536, true), MeshType::None);
  PatchMesh none = buildPatchMesh(points, 4, 3, true, UvRules());
  EXPECT_EQ(none.type, MeshType::None);
  EXPECT_FALSE(none.positions);
  EXPECT_FALSE(none.st);
}

TEST(MeshType, BilinearWhenAHandleTheNetReadsIsMissing) {
  // Each slot that the net reads, at a point where the default grid has it.
  struct Case {
    int point;
    int slot;
  } cases[] = {{5, 0}, {5, 1}, {5, 2}, {5, 3}, {1, 0}, {4, 2}, {12, 1}, {3, 3}, {15, 0}, {15, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "point " << c.point << " slot " << c.slot);
    PointList emptied = defaultGrid(4, 4);
    emptied[c.point].controlPoints[c.slot].clear();
    EXPECT_EQ(meshTypeFor(emptied, 4, 4, true), MeshType::Bilinear);
    PointList shortSlot = defaultGrid(4, 4);
    shortSlot[c.point].controlPoints[c.slot].pop_back();
    EXPECT_EQ(meshTypeFor(shortSlot, 4, 4, true), MeshType::Bilinear);
    PointList longSlot = defaultGrid(4, 4);
    longSlot[c.point].controlPoints[c.slot].push_back(0.0f);
    EXPECT_EQ(meshTypeFor(longSlot, 4, 4, true), MeshType::Bilinear);
  }
  PointList fewSlots = defaultGrid(4, 4);
  fewSlots[10].controlPoints.resize(2);
  EXPECT_EQ(meshTypeFor(fewSlots, 4, 4, true), MeshType::Bilinear);
  PointList noSlots = defaultGrid(4, 4);
  noSlots[0].controlPoints.clear();
  EXPECT_EQ(meshTypeFor(noSlots, 4, 4, true), MeshType::Bilinear);
  // The bilinear mesh reads no handle at all, so it is still built.
  const PatchMesh mesh = buildPatchMesh(noSlots, 4, 4, true, UvRules());
  EXPECT_EQ(mesh.type, MeshType::Bilinear);
  expectBuilt(rendertest::expectedBilinear(noSlots, 4, 4, false, false, false), mesh);
}

TEST(MeshType, HandlesTheNetNeverReadsDoNotMatter) {
  PointList points = defaultGrid(4, 4);
  points[0].controlPoints[0] = {1.0f, 2.0f};          // column 0 has no left handle
  points[3].controlPoints[2] = {1.0f, 2.0f, 3.0f, 4.0f};  // last column, right
  points[2].controlPoints[1] = {9.0f, 9.0f, 9.0f};    // row 0, a "down" handle
  points[14].controlPoints[3] = {7.0f};               // last row, "up"
  points[7].controlPoints.push_back({1.0f});          // a fifth slot
  EXPECT_EQ(meshTypeFor(points, 4, 4, true), MeshType::Bicubic);
  const PatchMesh mesh = buildPatchMesh(points, 4, 4, true, UvRules());
  expectBuilt(rendertest::expectedBicubic(points, 4, 4, false, false, false), mesh);
}

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

TEST(BicubicNet, TwoByTwoGrid) {
  const PointList points = defaultGrid(2, 2);
  const PatchMesh mesh = buildPatchMesh(points, 2, 2, true, UvRules());
  ASSERT_EQ(mesh.type, MeshType::Bicubic);
  ASSERT_EQ(mesh.nu, 6);
  ASSERT_EQ(mesh.nv, 6);
  const float* p = mesh.positions.get();
  const float* st = mesh.st.get();
  // First row, first vertices: point 0, point 0 again, its right handle, the
  // left handle of point 1, point 1 twice.
  const float firstRow[6][2] = {{-0.5f, -0.5f}, {-0.5f, -0.5f}, {-0.5f + 1.0f / 3, -0.5f},
                                {0.5f - 1.0f / 3, -0.5f}, {0.5f, -0.5f}, {0.5f, -0.5f}};
  const float firstRowSt[6] = {0.0f, 0.0f, 1.0f / 3, 2.0f / 3, 1.0f, 1.0f};
  for (int c = 0; c < 6; ++c) {
    EXPECT_NEAR(p[3 * c], firstRow[c][0], 1e-6) << c;
    EXPECT_NEAR(p[3 * c + 1], firstRow[c][1], 1e-6) << c;
    EXPECT_NEAR(st[2 * c], firstRowSt[c], 1e-6) << c;
    EXPECT_EQ(st[2 * c + 1], 1.0f) << c;
  }
  // The second vertex is the first point itself, the fourth the stored left
  // handle of the second point, bit for bit.
  EXPECT_EQ(0, std::memcmp(p + 3, points[0].pos, 3 * sizeof(float)));
  EXPECT_EQ(0, std::memcmp(p + 9, points[1].controlPoints[0].data(), 3 * sizeof(float)));
  // The second net row is the same point row again.
  EXPECT_EQ(0, std::memcmp(p, p + 18, 18 * sizeof(float)));
  expectBuilt(rendertest::expectedBicubic(points, 2, 2, false, false, false), mesh);
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

TEST(TextureMapping, MirrorsBeforeSwapping) {
  PointList points = defaultGrid(2, 2);
  points[0].uv[0] = 0.25f;
  points[0].uv[1] = 0.75f;
  const auto st0 = [&](UvRules rules) {
    const PatchMesh mesh = buildPatchMesh(points, 2, 2, false, rules);
    return std::vector<float>{mesh.st[0], mesh.st[1]};
  };
  EXPECT_EQ(st0(UvRules{false, false, false}), (std::vector<float>{0.25f, 0.75f}));
  EXPECT_EQ(st0(UvRules{true, false, false}), (std::vector<float>{0.75f, 0.75f}));
  EXPECT_EQ(st0(UvRules{false, true, false}), (std::vector<float>{0.25f, 0.25f}));
  EXPECT_EQ(st0(UvRules{false, false, true}), (std::vector<float>{0.75f, 0.25f}));
  EXPECT_EQ(st0(UvRules{true, false, true}), (std::vector<float>{0.75f, 0.75f}));
  EXPECT_EQ(st0(UvRules{true, true, true}), (std::vector<float>{0.25f, 0.75f}));
}

TEST(TextureMapping, OffsetIsAddedBeforeMirroring) {
  // Column 3 of a 4-wide grid has u = 1; its left handle vertex is offset by
  // -du = -1/9 and then flipped: s = 1 - (u - du), about du.
  const PointList points = defaultGrid(4, 4);
  const PatchMesh mesh = buildPatchMesh(points, 4, 4, true, UvRules{true, false, false});
  const float du = (1.0f / 3.0f) / 3.0f;
  const float u = points[3].uv[0];
  const float s = mesh.st[2 * 9];  // net row 0, column 9: left of grid column 3
  EXPECT_EQ(s, 1.0f - (u + -du));
  EXPECT_NEAR(s, 1.0 / 9.0, 1e-7);
  EXPECT_NEAR(mesh.st[2 * 10], 0.0, 1e-7);  // the point itself
}
