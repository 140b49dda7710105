// Patch meshes: points and slopes of bases given by name or matrix, steps
// and wrapping, rational meshes, texture coordinates of every storage
// class, facet sizes, and patches that cannot be rendered.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "FrameTestSupport.h"
#include "render/Camera.h"
#include "render/RayScene.h"

namespace {

using frametest::Picture;
using frametest::Reports;
using quor::render::evaluatePatch;
using quor::render::FrameScene;
using quor::render::SurfacePoint;
using quor::render::Vec3;

// Points (xs[k], ys[k / columns], zs[k]), z 1 where zs is empty.
std::string points(const std::vector<double>& xs, const std::vector<double>& ys, int columns,
                   const std::vector<double>& zs = {}) {
  std::ostringstream s;
  for (std::size_t k = 0; k < xs.size(); ++k)
    s << xs[k] << " " << ys[k / columns] << " " << (zs.empty() ? 1 : zs[k]) << " ";
  return s.str();
}

std::unique_ptr<FrameScene> frame(const std::string& world, const std::string& camera = "") {
  Reports reports;
  auto f = frametest::frameOf(camera + "WorldBegin\n" + world + "WorldEnd\n", reports);
  EXPECT_TRUE(f) << reports.all();
  return f;
}

void expectPoint(const SurfacePoint& sp, double x, double y, double z) {
  EXPECT_NEAR(sp.p.x, x, 1e-5);
  EXPECT_NEAR(sp.p.y, y, 1e-5);
  EXPECT_NEAR(sp.p.z, z, 1e-5);
}

// Control points x = i, y = j and z = (i * i + j) / 10 when curved, else 0.
std::string grid(int columns, int rows, bool curved = false) {
  std::ostringstream s;
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i) s << i << " " << j << " " << (curved ? (i * i + j) / 10.0 : 0) << " ";
  return s.str();
}

// A basis given by name and the same matrix given as numbers make the same
// surface; the step decides where each patch starts.
TEST(Surface, BasesByNameOrMatrixWithTheirSteps) {
  const std::string mesh =
      "PatchMesh \"bicubic\" 7 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [" + grid(7, 4, true) + "]\n";
  const std::string bezierMatrix = "[-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0]";
  const auto f = frame("Basis \"bezier\" 3 \"bezier\" 3\n" + mesh + "Basis " + bezierMatrix + " 3 " + bezierMatrix +
                       " 3\n" + mesh);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->meshes.size(), 2u);
  for (const auto& m : f->meshes) {
    ASSERT_EQ(m.upatches, 2);
    ASSERT_EQ(m.vpatches, 1);
    // Bezier patches pass through their corner control points: the second
    // patch starts at column 3.
    expectPoint(evaluatePatch(m, 1, 0, 0, 0, false), 3, 0, 0.9);
    expectPoint(evaluatePatch(m, 1, 0, 1, 1, false), 6, 3, 3.9);
    // Halfway along the first row: x (0 1 2 3) and z (0 .1 .4 .9) weighted
    // 1/8 3/8 3/8 1/8.
    expectPoint(evaluatePatch(m, 0, 0, 0.5f, 0, false), 1.5, 0, 0.3);
    // Its slope there, 3 [(z1 - z0) (1 - u)^2 + 2 (z2 - z1) u (1 - u) +
    // (z3 - z2) u^2] = 3 (0.1 + 0.6 + 0.5) / 4.
    EXPECT_NEAR(evaluatePatch(m, 0, 0, 0.5f, 0, false).dpdu.z, 0.9, 1e-5);
  }
  // Hermite by name, step 2: 6 columns give two patches, the second from
  // the point in column 2, with the tangent in column 3.
  const auto h =
      frame("Basis \"hermite\" 2 \"bezier\" 3\nPatchMesh \"bicubic\" 6 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [" +
            grid(6, 4) + "]\n");
  ASSERT_TRUE(h);
  ASSERT_EQ(h->meshes[0].upatches, 2);
  const SurfacePoint sp = evaluatePatch(h->meshes[0], 1, 0, 0, 0, false);
  expectPoint(sp, 2, 0, 0);
  EXPECT_NEAR(sp.dpdu.x, 3, 1e-5);  // the tangent vector stored in column 3
}

TEST(Surface, PeriodicMeshesWrapAround) {
  // B-spline, 4 columns periodic: 4 patches, the last over columns 3 0 1 2;
  // at its start (P3 + 4 P0 + P1) / 6 with x (0 10 20 40) gives 50 / 6.
  const auto b =
      frame("Basis \"b-spline\" 1 \"b-spline\" 1\nPatchMesh \"bicubic\" 4 \"periodic\" 4 \"nonperiodic\" \"P\" [" +
            points({0, 10, 20, 40, 0, 10, 20, 40, 0, 10, 20, 40, 0, 10, 20, 40}, {0, 0, 0, 0}, 4) + "]\n");
  ASSERT_TRUE(b);
  ASSERT_EQ(b->meshes[0].upatches, 4);
  EXPECT_NEAR(evaluatePatch(b->meshes[0], 3, 0, 0, 0, false).p.x, 50.0 / 6, 1e-4);
  // Bilinear, 3 columns periodic: 3 patches, the last closing on column 0.
  const auto l =
      frame("PatchMesh \"bilinear\" 3 \"periodic\" 2 \"nonperiodic\" \"P\" [0 0 0 5 0 0 5 5 0 0 1 0 5 1 0 5 5 1]\n");
  ASSERT_TRUE(l);
  ASSERT_EQ(l->meshes[0].upatches, 3);
  expectPoint(evaluatePatch(l->meshes[0], 2, 0, 1, 0, false), 0, 0, 0);
  expectPoint(evaluatePatch(l->meshes[0], 2, 0, 0.5f, 0, false), 2.5, 2.5, 0);
}

// "Pw" divides by the weight: a bilinear edge from x 0 (weight 1) to x 4
// (weight 3) is at (1 * 0 + 3 * 4) / 4 = 3 halfway, where its derivative
// is w0 w1 (x1 - x0) / (w0 (1 - u) + w1 u)^2 = 3.
TEST(Surface, RationalMeshesDivideByTheWeight) {
  const auto f =
      frame("PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"Pw\" [0 0 0 1 12 0 0 3 0 4 0 1 12 12 0 3]\n");
  ASSERT_TRUE(f);
  const SurfacePoint sp = evaluatePatch(f->meshes[0], 0, 0, 0.5f, 0, false);
  expectPoint(sp, 3, 0, 0);
  EXPECT_NEAR(sp.dpdu.x, 3, 1e-5);
}

// The lattice that sizes facets gives the points evaluatePosition gives, at
// k / 8 along u and l / 8 along v: on a mesh whose bases and steps differ
// along u and v, and on a rational one, whose point halfway along its first
// edge is (3, 0, 0) as derived above. Mistakes: the weights along u and v
// swapped, a patch's rows and columns of control points swapped, the
// weight of a rational point dropped, a bilinear patch summed over four.
TEST(Surface, ALatticeOfPatchPointsAsEvaluated) {
  const auto f = frame(
      "Basis \"bezier\" 3 \"catmull-rom\" 1\nPatchMesh \"bicubic\" 7 \"nonperiodic\" 5 \"nonperiodic\" "
      "\"P\" [" +
      grid(7, 5, true) +
      "]\n"
      "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"Pw\" [0 0 0 1 12 0 0 3 0 4 0 1 12 12 0 3]\n");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->meshes.size(), 2u);
  constexpr int n = quor::render::PatchLattice::kSize;
  for (const auto& mesh : f->meshes) {
    const quor::render::PatchLattice lattice(mesh);
    for (int pj = 0; pj < mesh.vpatches; ++pj)
      for (int pi = 0; pi < mesh.upatches; ++pi) {
        Vec3 p[n][n];
        lattice.positions(pi, pj, p);
        for (int l = 0; l < n; ++l)
          for (int k = 0; k < n; ++k) {
            const Vec3 e = quor::render::evaluatePosition(mesh, pi, pj, k / float(n - 1), l / float(n - 1));
            EXPECT_NEAR(p[l][k].x, e.x, 1e-4) << pi << pj << k << l;
            EXPECT_NEAR(p[l][k].y, e.y, 1e-4) << pi << pj << k << l;
            EXPECT_NEAR(p[l][k].z, e.z, 1e-4) << pi << pj << k << l;
          }
      }
  }
  EXPECT_EQ(f->meshes[0].upatches * f->meshes[0].vpatches, 2 * 2);
  Vec3 rational[n][n];
  quor::render::PatchLattice(f->meshes[1]).positions(0, 0, rational);
  EXPECT_NEAR(rational[0][n / 2].x, 3, 1e-5);
}

// Texture coordinates of every storage class on a bilinear mesh of 3 x 2
// vertices (two patches side by side), read on the second patch.
TEST(Surface, TextureCoordinatesOfEveryStorageClass) {
  const std::string mesh =
      "PatchMesh \"bilinear\" 3 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0 0 0 1 0 0 2 0 0 0 1 0 1 1 0 2 1 0]";
  struct Case {
    const char* params;
    float u, v;
    float s, t;
  };
  const Case cases[] = {
      // None given: s and t run from 0 to 1 across the whole mesh.
      {"", 0.5f, 0.25f, 0.75f, 0.25f},
      {" \"constant float s\" [0.7]", 0.5f, 0.5f, 0.7f, 0.5f},
      {" \"uniform float s\" [0.1 0.9]", 0.5f, 0.5f, 0.9f, 0.5f},
      // One value a corner, rows of 3: the second patch's centre averages
      // its corners 1 2 4 5.
      {" \"varying float s\" [0 1 2 3 4 5]", 0.5f, 0.5f, 3, 0.5f},
      {" \"vertex float s\" [0 1 2 3 4 5]", 1, 0, 2, 0},
      // Facevarying values sit at the corners, as varying ones do.
      {" \"facevarying float s\" [0 1 2 3 4 5]", 1, 0, 2, 0},
      // Four values a patch, corners (0,0) (1,0) (0,1) (1,1).
      {" \"facevertex float s\" [0 1 2 3 10 11 12 13]", 0, 1, 12, 1},
      // Pairs, and s and t of different classes.
      {" \"vertex float[2] st\" [0 10 1 11 2 12 3 13 4 14 5 15]", 0, 1, 4, 14},
      {" \"uniform float s\" [5 6] \"varying float t\" [0 0 0 1 1 3]", 1, 1, 6, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    const auto f = frame(mesh + c.params + "\n");
    ASSERT_TRUE(f);
    const SurfacePoint sp = evaluatePatch(f->meshes[0], 1, 0, c.u, c.v, true);
    EXPECT_NEAR(sp.s, c.s, 1e-6);
    EXPECT_NEAR(sp.t, c.t, 1e-6);
  }
  // A periodic mesh has one varying value a column: the third patch's far
  // corner is column 0's.
  const auto p = frame(
      "PatchMesh \"bilinear\" 3 \"periodic\" 2 \"nonperiodic\" \"P\" [0 0 0 5 0 0 5 5 0 0 1 0 5 1 0 5 5 1] "
      "\"varying float s\" [7 8 9 17 18 19]\n");
  ASSERT_TRUE(p);
  EXPECT_NEAR(evaluatePatch(p->meshes[0], 2, 0, 1, 1, true).s, 17, 1e-6);
  // Vertex coordinates on a Catmull-Rom patch follow its basis: at a corner
  // they are the value of the control point there (column 1, row 1).
  std::ostringstream cr;
  cr << "Basis \"catmull-rom\" 1 \"catmull-rom\" 1\nPatchMesh \"bicubic\" 4 \"nonperiodic\" 4 \"nonperiodic\" \"P\" ["
     << grid(4, 4) << "] \"vertex float s\" [";
  for (int k = 0; k < 16; ++k) cr << (k * k) / 10.0 << " ";
  cr << "]\n";
  const auto c = frame(cr.str());
  ASSERT_TRUE(c);
  EXPECT_NEAR(evaluatePatch(c->meshes[0], 0, 0, 0, 0, true).s, 2.5, 1e-5);  // control point 5: 25 / 10
}

// Steps along u and v of the first patch of a frame's first mesh.
std::pair<int, int> steps(const std::unique_ptr<FrameScene>& f) {
  if (!f) return {0, 0};
  std::vector<int> us, vs;
  quor::render::tessellationSteps(f->meshes[0], quor::render::Camera(f->options), us, vs);
  return {us[0], vs[0]};
}

// The facets of a patch seen on the picture follow it within
// kFacetDeviation pixels, and are as long as kFlatFacetPixels where it is
// flat; a patch far off the picture is not cut up.
TEST(Surface, FacetsFollowThePatchWhereSeen) {
  const int size = 200;
  const std::string bezier =
      "Basis \"bezier\" 3 \"bezier\" 3\nPatchMesh \"bicubic\" 4 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [";
  const std::vector<double> xs = {20, 80, 120, 180, 20, 60, 140, 180, 20, 100, 100, 180, 20, 80, 120, 180},
                            ys = {10, 60, 130, 190};
  const std::string mesh = bezier + points(xs, ys, 4) + "]\n";
  // The same patch bulging 60 pixels toward the eye, and a flat square
  // whose facets are only as long as kFlatFacetPixels allows. Mistakes: the
  // bend across a cell left out of the steps, the deviation's square root
  // left out, the longest edge not applied to a flat patch.
  struct Seen {
    std::string mesh;
    bool flat;
  };
  const Seen seen[] = {
      {mesh, false},
      {bezier + points(xs, ys, 4, {1, 1, 1, 1, 1, 61, 61, 1, 1, 61, 61, 1, 1, 1, 1, 1}) + "]\n", false},
      {frametest::bilinearPatch({20, 20, 1, 180, 20, 1, 20, 180, 1, 180, 180, 1}), true},
  };
  for (const Seen& c : seen) {
    const auto f = frame(c.mesh, frametest::rasterCamera(size, size));
    ASSERT_TRUE(f);
    const int us = steps(f).first, vs = steps(f).second;
    // The raster camera keeps lengths: a unit is a pixel, across or deep.
    const auto at = [&](double k, double l) {
      return evaluatePatch(f->meshes[0], 0, 0, float(k / us), float(l / vs), false).p;
    };
    float longest = 0, deviation = 0;
    for (int l = 0; l < vs; ++l)
      for (int k = 0; k < us; ++k) {
        const Vec3 a = at(k, l), b = at(k + 1, l), d = at(k, l + 1);
        longest = std::max({longest, length(b - a), length(d - a)});
        // Edge midpoints, and the middle of the diagonal that splits the
        // cell into its two triangles.
        deviation = std::max({deviation, length(at(k + 0.5, l) - (a + b) * 0.5f),
                              length(at(k, l + 0.5) - (a + d) * 0.5f), length(at(k + 0.5, l + 0.5) - (b + d) * 0.5f)});
      }
    SCOPED_TRACE(c.mesh);
    EXPECT_LE(deviation, quor::render::kFacetDeviation);
    EXPECT_LE(longest, quor::render::kFlatFacetPixels);
    // And not wastefully many.
    if (c.flat) {
      EXPECT_GE(longest, quor::render::kFlatFacetPixels * 0.8f);
    } else {
      EXPECT_GE(deviation, quor::render::kFacetDeviation / 4);
    }
  }
  EXPECT_EQ(steps(frame("Translate 10000 0 0\n" + mesh, frametest::rasterCamera(size, size))), std::make_pair(1, 1));

  // Under a perspective camera (fov 90, depth 0.5 to 100, 20 x 20 pixels):
  // walls behind the eye, before the near plane, beyond the far one or
  // beside the view, are not cut up; a wall at x = 2 from z = -5 to 5 (its
  // u) is seen from z = 20 / 13 on, where its edge moves 200 / z^2, about 84
  // pixels a unit of u: cut by that, not at the most as when a sample
  // behind the eye could not be projected. Mistakes: a plane turned round,
  // the hull taken from the control points of a Catmull-Rom mesh (outside
  // its surface), a seen patch culled.
  const auto wall = [](float x0, float x1, float z0, float z1) {
    return frametest::bilinearPatch({x0, -0.1f, z0, x1, -0.1f, z1, x0, 0.1f, z0, x1, 0.1f, z1});
  };
  // A Catmull-Rom mesh whose control points all lie behind the eye, at
  // z = -100, -1, -1, -100 along u, but whose surface swings out to
  // z = 11.375 halfway between the middle two.
  std::ostringstream overshoot;
  overshoot << "Basis \"catmull-rom\" 1 \"catmull-rom\" 1\nPatchMesh \"bicubic\" 4 \"nonperiodic\" 4 "
               "\"nonperiodic\" \"P\" [";
  for (float y : {-1.0f, -0.5f, 0.5f, 1.0f})
    for (float z : {-100.0f, -1.0f, -1.0f, -100.0f}) overshoot << "0 " << y << " " << z << " ";
  overshoot << "]\n";
  struct Case {
    std::string mesh;
    int least, most;  // steps along u
  };
  const Case cases[] = {
      {wall(-1, 1, -1, -1), 1, 1}, {wall(-1, 1, 0.25f, 0.25f), 1, 1}, {wall(-1, 1, 200, 200), 1, 1},
      {wall(30, 30, -5, 5), 1, 1}, {wall(2, 2, -5, 5), 48, 192},      {overshoot.str(), 2, 512},
  };
  for (const Case& c : cases) {
    const int u =
        steps(frame(c.mesh, "Format 20 20 1\nProjection \"perspective\" \"fov\" [90]\nClipping 0.5 100\n")).first;
    EXPECT_TRUE(u >= c.least && u <= c.most) << u << " steps for " << c.mesh;
  }
}

// A patch that spans no area, or whose points are not finite, is left out
// with one warning for its mesh; the other patches render.
TEST(Surface, DegenerateAndNonFinitePatchesAreSkippedWithOneWarning) {
  // Three patches side by side; columns 1 and 2 coincide, so the middle
  // one is a line. Then the same with a control point that overflows once
  // scaled.
  const std::string flat =
      "PatchMesh \"bilinear\" 4 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [2 2 1 6 2 1 6 2 1 10 2 1 2 6 1 6 6 1 6 6 1 10 "
      "6 1]\n";
  const std::string huge =
      "Scale 10 10 10\nPatchMesh \"bilinear\" 3 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [0.2 0.8 0.1 0.6 0.8 0.1 3e38 "
      "0.8 0.1 0.2 1.2 0.1 0.6 1.2 0.1 3e38 1.2 0.1]\n";
  Reports reports;
  const Picture p = frametest::render(
      frametest::rasterCamera(20, 20, 4) + "WorldBegin\nSurface \"constant\"\n" + flat + huge + "WorldEnd\n", reports);
  ASSERT_TRUE(reports.errors.empty()) << reports.all();
  const std::string skipped = " patch(es) that are degenerate or non-finite (the first: ";
  EXPECT_EQ(reports.warnings,
            (std::vector<std::string>{"scene.rib:8: PatchMesh: skipped 1 of 3" + skipped + "degenerate)",
                                      "scene.rib:10: PatchMesh: skipped 1 of 2" + skipped + "non-finite)"}));
  // Raster rows 14..18 hold the first mesh (y 2 to 6), rows 8..12 the
  // second's good patch (x 2 to 6 after scaling).
  EXPECT_EQ((std::vector<float>{p.at(3, 16, 3), p.at(8, 16, 3), p.at(4, 10, 3), p.at(12, 10, 3)}),
            (std::vector<float>{1, 1, 1, 0}));
}

}  // namespace
