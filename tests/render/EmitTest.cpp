// The card emitting itself into a RIB scene, and the whole scene that
// quorhost writes around it, read back from the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "RenderTestSupport.h"
#include "SceneWriter.h"
#include "TestSupport.h"
#include "grid/ControlGrid.h"

using namespace rendertest;
using Floats = std::vector<float>;

namespace {

const double kPi = 3.14159265358979323846;

Node* make(DD::Image::Graph& graph, const std::string& cls) {
  std::string error;
  Node* node = graph.create(cls, "", &error);
  EXPECT_NE(node, nullptr) << error;
  if (node) graph.finish(node);
  return node;
}

void set(Node* node, const std::string& knob, const std::string& value) {
  DD::Image::Knob* k = node->knob(knob);
  EXPECT_TRUE(k && node->userSetText(k, value.c_str())) << knob << " = " << value;
}

class Emit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(card, nullptr); }
  void set(const std::string& knob, const std::string& value) { ::set(node, knob, value); }
  void setRules(bool flip, bool flop, bool swap) {
    set("flip_uvs", flip ? "1" : "0");
    set("flop_uvs", flop ? "1" : "0");
    set("swap_uvs", swap ? "1" : "0");
  }
  RibRequest mesh() { return only(emitRib(*card), "PatchMesh"); }

  DD::Image::Graph graph;
  Node* node = make(graph, "QuorCard");
  quorcard::QuorCard* card = node ? dynamic_cast<quorcard::QuorCard*>(node->op()) : nullptr;
};

}  // namespace

TEST_F(Emit, RequestsOfTheBlock) {
  std::vector<RibRequest> rib = emitRib(*card);
  ASSERT_EQ(requestNames(rib), (Names{"AttributeBegin", "Transform", "PatchMesh", "AttributeEnd"}));
  EXPECT_EQ(rib[1].floats(0), (Floats{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
  expectMesh(expectedMesh(card->points, 4, 4, false), rib[2]);
  set("shade", "front & back");
  rib = emitRib(*card);
  ASSERT_EQ(requestNames(rib), (Names{"AttributeBegin", "Transform", "Attribute", "PatchMesh", "AttributeEnd"}));
  EXPECT_EQ(rib[2].texts(), (Names{"sides", "doubleshaded", "[1]"}));
  set("orientation", "flipped");
  set("type", "smooth");
  rib = emitRib(*card);
  ASSERT_EQ(requestNames(rib), (Names{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation", "Basis",
                                      "PatchMesh", "AttributeEnd"}));
  EXPECT_EQ(rib[4].texts(), (Names{"catmull-rom", "1", "catmull-rom", "1"}));
}

TEST_F(Emit, SmoothCardsAreNetsOfThreeByThreeVerticesPerPoint) {
  set("type", "smooth");
  const Floats P = mesh().floats(6), st = mesh().floats(8);
  ASSERT_EQ(P.size(), 432u);
  ASSERT_EQ(st.size(), 288u);
  // Undeformed, handles lie a third of the spacing from their points: inner net
  // lines step by 1/9 across the card, the outer ones repeat their neighbours.
  const auto lattice = [](int n) { return n == 0 ? 0 : (n == 11 ? 9 : n - 1); };
  for (int v = 0; v < 144; ++v) {
    const double x = lattice(v % 12) / 9.0, y = lattice(v / 12) / 9.0, want[5] = {x - 0.5, y - 0.5, 0, x, 1 - y};
    const double got[5] = {P[3 * v], P[3 * v + 1], P[3 * v + 2], st[2 * v], st[2 * v + 1]};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(got[k], want[k], 1e-6) << "vertex " << v << " value " << k;
  }

  // 2 x 2: a 6 x 6 net. Its second vertex is the first point; its fourth the
  // left handle of the second point, a third in from the right edge, u = 2/3.
  set("x_points", "2");
  set("y_points", "2");
  const RibRequest two = mesh();
  expectMesh(expectedMesh(card->points, 2, 2, true), two);
  const Floats P2 = two.floats(6), st2 = two.floats(8);
  ASSERT_EQ(P2.size(), 108u);
  EXPECT_EQ(Floats(P2.begin() + 3, P2.begin() + 6), (Floats{-0.5f, -0.5f, 0.0f}));
  EXPECT_EQ(Floats(P2.begin() + 9, P2.begin() + 12), card->points[1].controlPoints[0]);
  EXPECT_NEAR(P2[9], 0.5 - 1.0 / 3.0, 1e-6);
  EXPECT_NEAR(st2[6], 2.0 / 3.0, 1e-6);
  EXPECT_EQ(st2[7], 1.0f);
}

TEST_F(Emit, TextureCoordinateRules) {
  card->points[0].uv[0] = 0.25f;
  card->points[0].uv[1] = 0.75f;
  // flip mirrors u, flop mirrors v, then swap exchanges them: flip, flop, swap, s, t.
  const float cases[][5] = {{0, 0, 0, 0.25f, 0.75f}, {1, 0, 0, 0.75f, 0.75f}, {0, 1, 0, 0.25f, 0.25f},
                            {0, 0, 1, 0.75f, 0.25f}, {1, 0, 1, 0.75f, 0.75f}, {1, 1, 1, 0.25f, 0.75f}};
  for (const auto& c : cases) {
    setRules(c[0] != 0, c[1] != 0, c[2] != 0);
    const Floats st = mesh().floats(8);
    EXPECT_EQ(Floats(st.begin(), st.begin() + 2), (Floats{c[3], c[4]})) << c[0] << c[1] << c[2];
  }
  EXPECT_EQ(Floats(card->points[0].uv, card->points[0].uv + 2), (Floats{0.25f, 0.75f}));  // stored ones stay

  // A handle vertex is offset before it is mirrored: net column 9 is the
  // left handle of grid column 3, whose u is 1, so flipped s = 1 - (1 - du).
  set("type", "smooth with handles");
  setRules(true, false, false);
  const float du = (1.0f / 3.0f) / 3.0f, s = mesh().floats(8).at(2 * 9);
  EXPECT_EQ(s, 1.0f - (1.0f - du));
  EXPECT_NEAR(s, du, 1e-7);
}

TEST_F(Emit, HandlesMovedThroughKnobsShapeTheNet) {
  set("type", "smooth with handles");
  set("control_point.1.2.2", "0.1,0.3,0.25");      // right handle of column 1, row 2
  set("control_point.2.1", "0.2,-0.1,-0.125");     // the point in column 2, row 1
  set("control_point.2.2.3", "0.125,0.5,0.0625");  // up handle of column 2, row 2
  const RibRequest m = mesh();
  expectMesh(expectedMesh(card->points, 4, 4, true), m);
  // The knob values where the net puts them: net row 3j + 1 is the point
  // row of grid row j, 3j + 2 its upper handles; columns alike.
  const Floats P = m.floats(6);
  const auto vertex = [&](int row, int column) {
    return Floats(P.begin() + 3 * (row * 12 + column), P.begin() + 3 * (row * 12 + column) + 3);
  };
  EXPECT_EQ(vertex(7, 5), (Floats{0.1f, 0.3f, 0.25f}));
  EXPECT_EQ(vertex(4, 7), (Floats{0.2f, -0.1f, -0.125f}));
  EXPECT_EQ(vertex(8, 7), (Floats{0.125f, 0.5f, 0.0625f}));
}

// Every float the writer prints reads back to the same value: awkward
// values on the bilinear mesh, then randomly shaped grids of other sizes,
// bilinear and bicubic, under every texture rule.
TEST_F(Emit, EveryWrittenFloatReadsBackAndDeformedGridsMatch) {
  using Limits = std::numeric_limits<float>;
  const float awkward[] = {0.1f,   1.0f / 3.0f, -0.0f,       Limits::min(), Limits::denorm_min(), Limits::max(),
                           1e-30f, 16777217.0f, 123456.789f, -Limits::max(), std::nextafter(1.0f, 2.0f),
                           std::nextafter(1.0f, 0.0f)};
  std::size_t next = 0;
  for (quorcard::VtxPoint& p : card->points) {
    for (float& f : p.pos) f = awkward[next++ % 12];
    for (float& f : p.uv) f = awkward[next++ % 12] * 1e-3f;
  }
  expectMesh(expectedMesh(card->points, 4, 4, false), mesh());

  std::mt19937 random(1);
  std::uniform_real_distribution<float> shift(-0.2f, 0.2f);
  const int sizes[][2] = {{2, 2}, {3, 5}, {5, 3}};
  for (const auto& size : sizes) {
    set("x_points", std::to_string(size[0]));
    set("y_points", std::to_string(size[1]));
    for (quorcard::VtxPoint& p : card->points) {
      for (float* f : {p.pos, p.pos + 1, p.pos + 2, p.uv, p.uv + 1}) *f += shift(random);
      for (std::vector<float>& s : p.controlPoints)
        for (float& f : s) f += shift(random);
    }
    for (int rules = 0; rules < 16; ++rules) {
      const bool flip = rules & 1, flop = rules & 2, swap = rules & 4, smooth = rules & 8;
      SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " rules " << rules);
      setRules(flip, flop, swap);
      set("type", smooth ? "smooth" : "linear");
      expectMesh(expectedMesh(card->points, size[0], size[1], smooth, flip, flop, swap), mesh());
    }
  }
}

// Grids that break the size or slot rules, set on the node directly: no mesh
// (nor sides or orientation) when the size disagrees with the counts, the
// bilinear mesh when a handle that the net reads is not 3 floats, and the net
// whatever the handles it never reads hold.
TEST_F(Emit, BrokenGrids) {
  set("shade", "front & back");
  set("orientation", "flipped");
  set("type", "smooth");  // stores every knob into the members: counts after this
  const Names none{"AttributeBegin", "Transform", "AttributeEnd"};
  const Names withMesh{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation", "Basis", "PatchMesh",
                       "AttributeEnd"};
  using Grid = quorcard::PointList;
  const struct {
    const char* what;
    int columns, rows;
    void (*damage)(Grid&);
    const char* mesh;  // "" for none
  } cases[] = {
      {"15 points", 4, 4, [](Grid& g) { g.pop_back(); }, ""},
      {"one column", 1, 16, [](Grid&) {}, ""},
      {"negative counts", -4, -4, [](Grid&) {}, ""},
      {"counts that overflow int", 65536, 65536, [](Grid&) {}, ""},
      {"no slots", 4, 4, [](Grid& g) { g[5].controlPoints.clear(); }, "bilinear"},
      {"empty right handle", 4, 4, [](Grid& g) { g[0].controlPoints[2].clear(); }, "bilinear"},
      {"short up handle", 4, 4, [](Grid& g) { g[4].controlPoints[3].resize(2); }, "bilinear"},
      {"long down handle", 4, 4, [](Grid& g) { g[13].controlPoints[1].resize(4); }, "bilinear"},
      {"one float left", 4, 4, [](Grid& g) { g[15].controlPoints[0].resize(1); }, "bilinear"},
      {"junk where the net reads nothing", 4, 4,
       [](Grid& g) {
         g[0].controlPoints[0] = {1.0f, 2.0f};              // column 0: no left handle
         g[3].controlPoints[2] = {1.0f, 2.0f, 3.0f, 4.0f};  // last column: no right one
         g[2].controlPoints[1] = {9.0f, 9.0f, 9.0f};        // row 0: no down handle
         g[14].controlPoints[3] = {7.0f};                   // last row: no up handle
         g[7].controlPoints.push_back({1.0f});              // a fifth slot
       },
       "bicubic"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    quorcard::buildDefaultGrid(card->points, 4, 4, 1.0f, 1.0f);
    c.damage(card->points);
    card->xPoints = c.columns;
    card->yPoints = c.rows;
    const std::vector<RibRequest> rib = emitRib(*card);
    EXPECT_EQ(requestNames(rib), *c.mesh ? withMesh : none);
    if (*c.mesh) expectMesh(expectedMesh(card->points, 4, 4, std::string(c.mesh) == "bicubic"), only(rib, "PatchMesh"));
  }
}

// The Read's image is published as an archive named by the Read's hash and
// read in the card's block, under the card's transform below its axis.
// Nothing is validated here: the scene writer does it.
TEST(Scene, ArchiveOfTheImageAndTheCardUnderItsAxis) {
  DD::Image::Graph graph;
  Node* axis = make(graph, "Axis");
  Node* read = make(graph, "Read");
  Node* card = make(graph, "QuorCard");
  testsupport::TempDir dir;
  const std::string png = dir.file("image.png"), rib = dir.file("scene.rib");
  ASSERT_TRUE(testsupport::writePng(png, 4, 3, std::vector<unsigned char>(48, 128)));
  set(read, "file", png);
  set(axis, "rotate", "0,15,0");
  set(card, "translate", "1,2,3");
  std::string error;
  ASSERT_TRUE(graph.connect(card, 0, axis, &error)) << error;
  quorhost::writeScene(graph, rib, "card.tif");
  const Names onlyAxis = requestNames(parseRib(testsupport::readFile(rib)));
  EXPECT_EQ(std::count(onlyAxis.begin(), onlyAxis.end(), "ReadArchive"), 0);

  ASSERT_TRUE(graph.connect(card, 1, read, &error)) << error;
  quorhost::writeScene(graph, rib, "card.tif");
  const std::vector<RibRequest> scene = parseRib(testsupport::readFile(rib));
  ASSERT_EQ(requestNames(scene), (Names{"Display", "Format", "Projection", "Scale", "Translate", "WorldBegin",
                                        "LightSource", "ArchiveBegin", "Surface", "ArchiveEnd", "AttributeBegin",
                                        "ReadArchive", "Transform", "PatchMesh", "AttributeEnd", "WorldEnd"}));
  const std::string hash = std::to_string(read->op()->hash().value());
  EXPECT_EQ(scene[7].texts(), Names{hash});
  EXPECT_EQ(scene[11].texts(), Names{hash});
  const std::string texture = "[\"" + png.substr(0, png.size() - 4) + ".tex\"]";
  EXPECT_EQ(scene[8].texts(), (Names{"paintedplastic", "texturename", texture}));
  // Row-vector order: the card's own translation, then the axis's turn of
  // 15 degrees about y.
  const double c = std::cos(15 * kPi / 180), s = std::sin(15 * kPi / 180);
  const double expected[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, c + 3 * s, 2, 3 * c - s, 1};
  const Floats m = scene[12].floats(0);
  ASSERT_EQ(m.size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6) << i;
}

// The picture shows what the viewer shows: its camera at (0, 0, 2.5) looks
// down -z with 30 degrees from the bottom edge of the picture to the top,
// whatever the picture's shape. World points go through the scene's camera
// requests as the renderer applies them (the last given first), then the
// perspective projection, whose angle spans the shorter side.
TEST(Scene, CameraFramesTheViewersView) {
  const int sizes[][2] = {{640, 480}, {480, 640}, {300, 300}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
    DD::Image::Graph graph;
    DD::Image::Camera camera;
    camera.width = size[0], camera.height = size[1];
    testsupport::TempDir dir;
    quorhost::writeScene(graph, dir.file("scene.rib"), "card.tif", camera);
    std::vector<RibRequest> moves;
    double fov = 0;
    for (const RibRequest& r : parseRib(testsupport::readFile(dir.file("scene.rib")))) {
      if (r.name == "WorldBegin") break;
      EXPECT_TRUE(r.name != "Format" || r.texts() == (Names{std::to_string(size[0]), std::to_string(size[1]), "1"}));
      if (r.name == "Projection" && r.texts().at(0) == "perspective") fov = r.floats(2).at(0);
      if (r.name == "Scale" || r.name == "Translate") moves.insert(moves.begin(), r);
    }
    ASSERT_GT(fov, 0.0);
    const double aspect = static_cast<double>(size[0]) / size[1], t = std::tan(fov * kPi / 360);
    // The screen window: the shorter side spans -1..1.
    const double halfWidth = std::max(aspect, 1.0), halfHeight = std::max(1 / aspect, 1.0);
    // The viewer's top and right edges in the plane z = 0, and a point nearer
    // the camera on the ray to the top right corner: x, y, z, screen x, y.
    const double top = camera.distance * std::tan(camera.fovY / 2 * kPi / 180);
    const double points[3][5] = {
        {0, top, 0, 0, 1}, {top * aspect, 0, 0, 1, 0}, {0.5 * top * aspect, 0.5 * top, 1.25, 1, 1}};
    for (const auto& p : points) {
      double q[3] = {p[0], p[1], p[2]};
      for (const RibRequest& move : moves)
        for (int k = 0; k < 3; ++k)
          q[k] = move.name == "Scale" ? q[k] * move.floats(k).at(0) : q[k] + move.floats(k).at(0);
      ASSERT_GT(q[2], 0.0) << "in front of the camera";
      EXPECT_NEAR(q[0] / (q[2] * t) / halfWidth, p[3], 1e-5);
      EXPECT_NEAR(q[1] / (q[2] * t) / halfHeight, p[4], 1e-5);
    }
  }
}
