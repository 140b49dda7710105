// The card emitting itself into a RIB scene through its renderer interface,
// and the whole scene that quorhost writes around it, read back from the files.
#include <array>
#include <cmath>

#include "RenderTestSupport.h"
#include "SceneWriter.h"

using namespace rendertest;
using cardtest::expectNear;
using cardtest::Values;

namespace {

const double kPi = 3.14159265358979323846;

class Emit : public cardtest::CardTest {
 protected:
  Mesh emitted() { return mesh(only(emitRib(node), "PatchMesh")); }
};

// The weights of the four control vertices of one span of a Catmull-Rom
// spline with step 1 at parameter t in [0, 1]: the rows of the basis matrix
//   1/2 | -1  3 -3  1 |
//       |  2 -5  4 -1 |
//       | -1  0  1  0 |
//       |  0  2  0  0 |
// applied to (t^3, t^2, t, 1).
std::array<double, 4> catmullRom(double t) {
  return {0.5 * (-t * t * t + 2 * t * t - t), 0.5 * (3 * t * t * t - 5 * t * t + 2),
          0.5 * (-3 * t * t * t + 4 * t * t + t), 0.5 * (t * t * t - t * t)};
}

// The bicubic patch mesh at net parameters (u, v), 1 <= u <= nu - 2 and
// 1 <= v <= nv - 2: the surface there passes through net vertex (u, v).
Values surface(const Mesh& m, double u, double v) {
  const int i = std::min(static_cast<int>(u), m.nu - 3) - 1, j = std::min(static_cast<int>(v), m.nv - 3) - 1;
  const std::array<double, 4> wu = catmullRom(u - 1 - i), wv = catmullRom(v - 1 - j);
  Values s(3, 0.0);
  for (int l = 0; l < 4; ++l)
    for (int k = 0; k < 4; ++k)
      for (int a = 0; a < 3; ++a) s[a] += wu[k] * wv[l] * m.position(i + k, j + l)[a];
  return s;
}

// A 3 x 2 linear card: a bilinear mesh of its points in storage order, row 0
// at the bottom; then sides, orientation and the Catmull-Rom basis (catches:
// counts turned round, points out of order, a request dropped or misplaced).
TEST_F(Emit, RequestsOfTheBlockAndTheBilinearMesh) {
  set("x_points", "3");
  set("y_points", "2");
  std::vector<RibRequest> rib = emitRib(node);
  ASSERT_EQ(requestNames(rib), (Names{"AttributeBegin", "Transform", "PatchMesh", "AttributeEnd"}));
  EXPECT_EQ(rib[1].floats(0), (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
  const Mesh m = mesh(rib[2]);
  ASSERT_EQ(m.type + " " + std::to_string(m.nu) + " " + std::to_string(m.nv), "bilinear 3 2");
  for (int k = 0; k < 6; ++k) {
    expectNear(m.position(k % 3, k / 3), {-0.5 + (k % 3) / 2.0, -0.5 + k / 3, 0}, 0, "vertex " + std::to_string(k));
    expectNear(m.texture(k % 3, k / 3), {(k % 3) / 2.0, 1.0 - k / 3}, 0, "st " + std::to_string(k));
  }
  set("shade", "front & back");
  set("orientation", "flipped");
  set("type", "smooth");
  rib = emitRib(node);
  ASSERT_EQ(requestNames(rib), (Names{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation", "Basis",
                                      "PatchMesh", "AttributeEnd"}));
  EXPECT_EQ(rib[2].texts(), (Names{"sides", "doubleshaded", "[1]"}));
  EXPECT_EQ(rib[4].texts(), (Names{"catmull-rom", "1", "catmull-rom", "1"}));
  set("type", "smooth with handles");
  EXPECT_EQ(emitted().type, "bicubic");
}

// The 6 x 6 net of a 2 x 2 card, worked out by hand. Net columns, left to
// right: point 0 twice, its right handle, the left handle of point 1, point 1
// twice: x = -0.5, -0.5, -1/6, 1/6, 0.5, 0.5; rows alike in y. Lifting the
// "up" handle of point 0, (-0.5, -1/6), to z = 0.3 lifts net row 2 (the upper
// handles of grid row 0): at columns 0 and 1 the handle itself, 0.3; at the
// corner beside it, ((0 - 0.3) / 3 + 0.3 + 0 + 0) / 2 = 0.1, the mean of a
// third of the way along the row of "up" handles and a third of the way along
// the column of "right" handles; at the next corner ((0.3 - 0) / 3) / 2 =
// 0.05; nothing else moves (catches: rows or columns out of order, the
// corner's weights or neighbours wrong, an end vertex not repeated).
TEST_F(Emit, TwoByTwoNetByHand) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth");
  setValues("control_point.0.0.3", {-0.5, -1 / 6.0, 0.3});
  const Mesh m = emitted();
  ASSERT_EQ(m.type + " " + std::to_string(m.nu) + " " + std::to_string(m.nv), "bicubic 6 6");
  const double at[6] = {-0.5, -0.5, -1 / 6.0, 1 / 6.0, 0.5, 0.5}, lifted[6] = {0.3, 0.3, 0.1, 0.05, 0, 0};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      expectNear(m.position(c, r), {at[c], at[r], r == 2 ? lifted[c] : 0}, 1e-6,
                 "net " + std::to_string(c) + "," + std::to_string(r));
}

// The surface passes through every point and handle of a deformed 4 x 3 card
// where the net puts them: point (c, r) at net (3c + 1, 3r + 1), its handles
// one net step before or after it (catches: a handle in the wrong slot or
// place of the net, columns and rows turned round).
TEST_F(Emit, SurfacePassesThroughThePointsAndHandles) {
  set("y_points", "3");
  set("type", "smooth with handles");
  setValues("control_point.2.1", {0.25, 0.1, 0.2});
  setValues("control_point.1.1.2", {0.05, 0.1, -0.3});
  setValues("control_point.1.2.1", {-0.2, 0.3, 0.15});
  setValues("control_point.3.0.3", {0.6, -0.1, 0.05});
  const Mesh m = emitted();
  ASSERT_EQ(m.nu * 100 + m.nv, 1209);
  const int step[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) {
      const std::string name = "control_point." + std::to_string(c) + "." + std::to_string(r);
      expectNear(surface(m, 3 * c + 1, 3 * r + 1), values(name), 1e-6, name);
      for (int s = 0; s < 4; ++s)
        if (node->knob(name + "." + std::to_string(s)))
          expectNear(surface(m, 3 * c + 1 + step[s][0], 3 * r + 1 + step[s][1]),
                     values(name + "." + std::to_string(s)), 1e-6, name + "." + std::to_string(s));
    }
}

// Texture coordinates of the 2 x 2 net by hand: s by net column 0, 0, 1/3,
// 2/3, 1, 1 (a handle a third of a step from its point), t by net row 1, 1,
// 2/3, 1/3, 0, 0 (v is 1 at the bottom); flip mirrors s, flop mirrors t, then
// swap exchanges them (catches: a rule turned round or applied after the
// exchange, an offset added after mirroring or with the wrong sign).
TEST_F(Emit, TextureCoordinatesUnderFlipFlopAndSwap) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth");
  const double s[6] = {0, 0, 1 / 3.0, 2 / 3.0, 1, 1}, t[6] = {1, 1, 2 / 3.0, 1 / 3.0, 0, 0};
  for (int rules = 0; rules < 8; ++rules) {
    const bool flip = rules & 1, flop = rules & 2, swap = rules & 4;
    set("flip_uvs", flip ? "1" : "0");
    set("flop_uvs", flop ? "1" : "0");
    set("swap_uvs", swap ? "1" : "0");
    const Mesh m = emitted();
    ASSERT_EQ(m.nu * m.nv, 36);
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 6; ++c) {
        const double u = flip ? 1 - s[c] : s[c], v = flop ? 1 - t[r] : t[r];
        expectNear(m.texture(c, r), swap ? Values{v, u} : Values{u, v}, 1e-6,
                   "rules " + std::to_string(rules) + " net " + std::to_string(c) + "," + std::to_string(r));
      }
  }
}

// Loaded grids that break the size or slot rules: no mesh when the size
// disagrees with the counts, the bilinear mesh when a handle the net reads is
// not 3 floats, the net whatever the handles it never reads hold (catches:
// reading outside the grid, a damaged handle read into the net).
TEST_F(Emit, BrokenGrids) {
  using Grid = quorcard::PointList;
  const struct {
    const char* what;
    const char* columns;
    void (*damage)(Grid&);
    const char* type;  // "" for none
  } cases[] = {
      {"15 points", "4", [](Grid& g) { g.pop_back(); }, ""},
      {"counts of another grid", "3", [](Grid&) {}, ""},
      {"empty right handle", "4", [](Grid& g) { g[0].controlPoints[2].clear(); }, "bilinear"},
      {"short up handle", "4", [](Grid& g) { g[4].controlPoints[3].resize(2); }, "bilinear"},
      {"three slots", "4", [](Grid& g) { g[5].controlPoints.resize(3); }, "bilinear"},
      {"junk where the net reads nothing", "4",
       [](Grid& g) {
         g[0].controlPoints[0] = {1.0f, 2.0f};              // column 0: no left handle
         g[3].controlPoints[2] = {1.0f, 2.0f, 3.0f, 4.0f};  // last column: no right one
         g[14].controlPoints[3] = {7.0f};                   // last row: no up handle
         g[7].controlPoints.push_back({1.0f});              // a fifth slot
       },
       "bicubic"},
  };
  const Grid fresh = stored();
  for (const auto& c : cases) {
    Grid grid = fresh;
    c.damage(grid);
    node = load({{"cpstr", quorcard::pointsToText(grid)}, {"x_points", c.columns}, {"type", "smooth"},
                 {"orientation", "flipped"}});
    const std::vector<RibRequest> rib = emitRib(node);
    const Names expected = *c.type ? Names{"AttributeBegin", "Transform", "ReverseOrientation", "Basis",
                                           "PatchMesh", "AttributeEnd"}
                                   : Names{"AttributeBegin", "Transform", "AttributeEnd"};
    EXPECT_EQ(requestNames(rib), expected) << c.what;
    if (*c.type) {
      EXPECT_EQ(mesh(only(rib, "PatchMesh")).type, c.type) << c.what;
    }
  }
}

// The Read's image is published as an archive named by the Read's hash and
// read in the card's block, under the card's transform below its axis.
TEST_F(Emit, SceneReadsTheImageArchiveAndPlacesTheCardUnderItsAxis) {
  Node* axis = add("Axis");
  set("rotate", "0,15,0", axis);
  set("translate", "1,2,3");
  connect(0, axis);
  const std::string rib = dir.file("scene.rib");
  quorhost::writeScene(graph, rib, "card.tif");
  const Names onlyAxis = requestNames(parseRib(testsupport::readFile(rib)));
  EXPECT_EQ(std::count(onlyAxis.begin(), onlyAxis.end(), "ReadArchive"), 0);

  Node* read = addImage(4, 3, std::vector<unsigned char>(48, 128));
  connect(1, read);
  quorhost::writeScene(graph, rib, "card.tif");
  const std::vector<RibRequest> scene = parseRib(testsupport::readFile(rib));
  ASSERT_EQ(requestNames(scene), (Names{"Display", "Format", "Projection", "Scale", "Translate", "WorldBegin",
                                        "LightSource", "ArchiveBegin", "Surface", "ArchiveEnd", "AttributeBegin",
                                        "ReadArchive", "Transform", "PatchMesh", "AttributeEnd", "WorldEnd"}));
  const std::string hash = std::to_string(read->op()->hash().value());
  EXPECT_EQ(scene[7].texts(), Names{hash});
  EXPECT_EQ(scene[11].texts(), Names{hash});
  // Row-vector order: the card's own translation, then the axis's turn of
  // 15 degrees about y.
  const double c = std::cos(15 * kPi / 180), s = std::sin(15 * kPi / 180);
  const std::vector<float> m = scene[12].floats(0);
  expectNear(Values(m.begin(), m.end()), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, c + 3 * s, 2, 3 * c - s, 1}, 1e-6,
             "transform");
}

}  // namespace
