// The card emitting itself into a RIB scene: the requests, their order and
// every value written, read back from the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "DDImage/Host.h"
#include "RenderTestSupport.h"
#include "grid/ControlGrid.h"
#include "grid/PointsText.h"
#include "node/QuorCard.h"

using rendertest::emitRib;
using rendertest::expectedBicubic;
using rendertest::expectedBilinear;
using rendertest::expectMesh;
using rendertest::RibRequest;

namespace {

using Names = std::vector<std::string>;

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class Emit : public ::testing::Test {
 protected:
  void SetUp() override {
    node = make("QuorCard");
    ASSERT_NE(node, nullptr);
    card = dynamic_cast<quorcard::QuorCard*>(node->op());
    ASSERT_NE(card, nullptr);
  }

  Node* make(const std::string& cls) {
    std::string error;
    Node* n = graph.create(cls, "", &error);
    EXPECT_NE(n, nullptr) << error;
    if (n) graph.finish(n);
    return n;
  }

  void set(Node* n, const std::string& knob, const std::string& value) {
    DD::Image::Knob* k = n->knob(knob);
    ASSERT_NE(k, nullptr) << knob;
    ASSERT_TRUE(n->userSetText(k, value.c_str())) << knob << " = " << value;
  }
  void set(const std::string& knob, const std::string& value) { set(node, knob, value); }

  void validate() {
    graph.invalidateAll();
    graph.validateAll(true);
  }

  // The request named `name`; fails when there is not exactly one.
  static const RibRequest& only(const std::vector<RibRequest>& rib, const std::string& name) {
    const RibRequest* found = nullptr;
    int count = 0;
    for (const RibRequest& r : rib) {
      if (r.name == name) {
        found = &r;
        ++count;
      }
    }
    EXPECT_EQ(count, 1) << name;
    static const RibRequest none;
    return found ? *found : none;
  }

  DD::Image::Graph graph;
  Node* node = nullptr;
  quorcard::QuorCard* card = nullptr;
};

}  // namespace

TEST_F(Emit, NewLinearCardIsOneBilinearMeshOfItsPoints) {
  const std::vector<RibRequest> rib = emitRib(*card);
  EXPECT_EQ(rendertest::requestNames(rib), (Names{"AttributeBegin", "Transform", "PatchMesh", "AttributeEnd"}));
  ASSERT_EQ(rib.size(), 4u);
  rendertest::expectSameFloats(std::vector<float>(kIdentity, kIdentity + 16), rib[1].floats(0), "Transform");
  expectMesh(expectedBilinear(card->points, 4, 4, false, false, false), rib[2]);
  // The default card: corners at (+-0.5, +-0.5), points a third apart.
  const std::vector<float> P = rib[2].floats(6);
  ASSERT_EQ(P.size(), 48u);
  for (int k = 0; k < 16; ++k) {
    EXPECT_NEAR(P[3 * k], -0.5 + (k % 4) / 3.0, 1e-6) << k;
    EXPECT_NEAR(P[3 * k + 1], -0.5 + (k / 4) / 3.0, 1e-6) << k;
    EXPECT_EQ(P[3 * k + 2], 0.0f) << k;
  }
  // Two emissions of an unchanged card write the same text.
  EXPECT_EQ(rendertest::emitText(*card), rendertest::emitText(*card));
}

TEST_F(Emit, SmoothCardIsACatmullRomNetOfTwelveByTwelve) {
  for (const char* type : {"smooth", "smooth with handles"}) {
    SCOPED_TRACE(type);
    set("type", type);
    const std::vector<RibRequest> rib = emitRib(*card);
    EXPECT_EQ(rendertest::requestNames(rib),
              (Names{"AttributeBegin", "Transform", "Basis", "PatchMesh", "AttributeEnd"}));
    ASSERT_EQ(rib.size(), 5u);
    ASSERT_EQ(rib[2].args.size(), 4u);
    EXPECT_EQ(rib[2].str(0), "catmull-rom");
    EXPECT_EQ(rib[2].args[1].text, "1");
    EXPECT_EQ(rib[2].str(2), "catmull-rom");
    EXPECT_EQ(rib[2].args[3].text, "1");
    EXPECT_EQ(rib[3].floats(6).size(), 432u);
    EXPECT_EQ(rib[3].floats(8).size(), 288u);
    expectMesh(expectedBicubic(card->points, 4, 4, false, false, false), rib[3]);
  }
}

TEST_F(Emit, TwoByTwoSmoothCard) {
  set("type", "smooth");
  set("x_points", "2");
  set("y_points", "2");
  ASSERT_EQ(card->points.size(), 4u);
  const RibRequest mesh = only(emitRib(*card), "PatchMesh");
  expectMesh(expectedBicubic(card->points, 2, 2, false, false, false), mesh);
  const std::vector<float> P = mesh.floats(6);
  const std::vector<float> st = mesh.floats(8);
  ASSERT_EQ(P.size(), 108u);
  // Second vertex: the first point; fourth: the left handle of the second
  // point, a third of the width in from the right edge.
  EXPECT_EQ(std::vector<float>(P.begin() + 3, P.begin() + 6), (std::vector<float>{-0.5f, -0.5f, 0.0f}));
  EXPECT_NEAR(P[9], 0.5 - 1.0 / 3.0, 1e-6);
  EXPECT_EQ(P[10], -0.5f);
  EXPECT_EQ(0, std::memcmp(&P[9], card->points[1].controlPoints[0].data(), 3 * sizeof(float)));
  // du = 1/3: the fourth vertex takes u = 1 - 1/3 of the second point.
  EXPECT_NEAR(st[6], 2.0 / 3.0, 1e-6);
  EXPECT_EQ(st[7], 1.0f);
}

TEST_F(Emit, SidednessAndOrientation) {
  set("shade", "front & back");
  std::vector<RibRequest> rib = emitRib(*card);
  EXPECT_EQ(rendertest::requestNames(rib),
            (Names{"AttributeBegin", "Transform", "Attribute", "PatchMesh", "AttributeEnd"}));
  ASSERT_EQ(rib.size(), 5u);
  ASSERT_EQ(rib[2].args.size(), 3u);
  EXPECT_EQ(rib[2].str(0), "sides");
  EXPECT_EQ(rib[2].str(1), "doubleshaded");
  EXPECT_EQ(rib[2].floats(2), std::vector<float>{1.0f});

  set("orientation", "flipped");
  set("type", "smooth");
  rib = emitRib(*card);
  EXPECT_EQ(rendertest::requestNames(rib), (Names{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation",
                                                  "Basis", "PatchMesh", "AttributeEnd"}));
  EXPECT_TRUE(rib[3].args.empty());

  set("shade", "front only");
  set("orientation", "unchanged");
  rib = emitRib(*card);
  EXPECT_EQ(rendertest::requestNames(rib), (Names{"AttributeBegin", "Transform", "Basis", "PatchMesh", "AttributeEnd"}));
}

TEST_F(Emit, TextureCoordinateRules) {
  card->points[0].uv[0] = 0.25f;
  card->points[0].uv[1] = 0.75f;
  const auto firstSt = [&]() {
    const std::vector<float> st = only(emitRib(*card), "PatchMesh").floats(8);
    return std::vector<float>(st.begin(), st.begin() + 2);
  };
  set("swap_uvs", "1");
  set("flip_uvs", "1");
  EXPECT_EQ(firstSt(), (std::vector<float>{0.75f, 0.75f}));
  set("flop_uvs", "1");
  EXPECT_EQ(firstSt(), (std::vector<float>{0.25f, 0.75f}));
  // The stored coordinate is left as it was.
  EXPECT_EQ(card->points[0].uv[0], 0.25f);
  EXPECT_EQ(card->points[0].uv[1], 0.75f);

  // A handle vertex is offset before it is mirrored: net column 9 is the
  // left handle of grid column 3, whose u is 1, so flipped s = 1 - (1 - du).
  set("type", "smooth with handles");
  set("swap_uvs", "0");
  set("flop_uvs", "0");
  const float du = (1.0f / 3.0f) / 3.0f;
  ASSERT_EQ(card->points[3].uv[0], 1.0f);
  const float s = only(emitRib(*card), "PatchMesh").floats(8)[2 * 9];
  EXPECT_EQ(s, 1.0f - (1.0f - du));
  EXPECT_NEAR(s, du, 1e-7);
}

TEST_F(Emit, ArchivesOfImageInputs) {
  Node* axis = make("Axis");
  Node* read = make("Read");
  const std::string png = rendertest::writePng(rendertest::tempPath("input.png"));
  set(read, "file", png);
  std::string error;

  // Only the axis: nothing to read.
  ASSERT_TRUE(graph.connect(node, 0, axis, &error)) << error;
  validate();
  EXPECT_EQ(rendertest::requestNames(emitRib(*card)),
            (Names{"AttributeBegin", "Transform", "PatchMesh", "AttributeEnd"}));

  ASSERT_TRUE(graph.connect(node, 1, read, &error)) << error;
  validate();
  const std::vector<RibRequest> rib = emitRib(*card);
  EXPECT_EQ(rendertest::requestNames(rib),
            (Names{"AttributeBegin", "ReadArchive", "Transform", "PatchMesh", "AttributeEnd"}));
  ASSERT_EQ(rib.size(), 5u);
  ASSERT_EQ(rib[1].args.size(), 1u);
  EXPECT_EQ(rib[1].str(0), std::to_string(read->op()->hash().value()));
  std::remove(png.c_str());
}

TEST_F(Emit, HandlesMovedThroughKnobsShapeTheNet) {
  set("type", "smooth with handles");
  // The right handle of the point in column 1, row 2, and the point in
  // column 2, row 1, moved as a user would.
  set("control_point.1.2.2", "0.1,0.3,0.25");
  set("control_point.2.1", "0.2,-0.1,-0.125");
  set("control_point.2.2.3", "0.125,0.5,0.0625");
  const std::vector<RibRequest> rib = emitRib(*card);
  const RibRequest& mesh = only(rib, "PatchMesh");
  expectMesh(expectedBicubic(card->points, 4, 4, false, false, false), mesh);

  const std::vector<float> P = mesh.floats(6);
  const auto vertex = [&](int row, int column) {
    return std::vector<float>(P.begin() + 3 * (row * 12 + column), P.begin() + 3 * (row * 12 + column) + 3);
  };
  // Net row 7 is the point row of grid row 2; its column 5 the right handle
  // of grid column 1, column 7 the point of grid column 2.
  EXPECT_EQ(vertex(7, 5), (std::vector<float>{0.1f, 0.3f, 0.25f}));
  // The left handle turned with it: on the far side of the point, on the
  // line through the new handle, one ninth from the point as before.
  const double px = -1.0 / 6, py = 1.0 / 6;
  const double hx = 0.1 - px, hy = 0.3 - py, hz = 0.25;
  const double len = std::sqrt(hx * hx + hy * hy + hz * hz);
  const std::vector<float> left = vertex(7, 3);
  EXPECT_NEAR(left[0], px - hx / len / 9, 1e-6);
  EXPECT_NEAR(left[1], py - hy / len / 9, 1e-6);
  EXPECT_NEAR(left[2], -hz / len / 9, 1e-6);
  // Net row 4 is the point row of grid row 1: the moved point at column 7.
  EXPECT_EQ(vertex(4, 7), (std::vector<float>{0.2f, -0.1f, -0.125f}));
  // Net row 8 is the upper handle row of grid row 2; the corner right of
  // column 2 (net column 8) mixes the moved "up" handle of point (2, 2)
  // with its neighbours' handles as the mean of the two thirds-way points.
  const quorcard::VtxPoint& k = card->points[10];
  const quorcard::VtxPoint& h = card->points[11];
  const quorcard::VtxPoint& w = card->points[14];
  EXPECT_EQ(k.controlPoints[3], (std::vector<float>{0.125f, 0.5f, 0.0625f}));
  const std::vector<float> corner = vertex(8, 8);
  for (int c = 0; c < 3; ++c) {
    const double a = k.controlPoints[3][c], a2 = h.controlPoints[3][c];
    const double b = k.controlPoints[2][c], b2 = w.controlPoints[2][c];
    EXPECT_NEAR(corner[c], (a + (a2 - a) / 3 + b + (b2 - b) / 3) / 2, 1e-6) << c;
  }
  EXPECT_EQ(vertex(8, 7), (std::vector<float>{0.125f, 0.5f, 0.0625f}));
}

TEST_F(Emit, EveryWrittenFloatReadsBackToTheSameValue) {
  // Values whose shortest decimal text is long or unusual.
  const float awkward[] = {0.1f,
                           1.0f / 3.0f,
                           -0.0f,
                           std::numeric_limits<float>::min(),
                           std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::max(),
                           -std::numeric_limits<float>::max(),
                           16777217.0f,
                           1e-30f,
                           std::nextafter(1.0f, 2.0f),
                           std::nextafter(1.0f, 0.0f),
                           123456.789f};
  std::size_t next = 0;
  for (quorcard::VtxPoint& p : card->points) {
    for (float& f : p.pos) f = awkward[next++ % (sizeof awkward / sizeof awkward[0])];
    for (float& f : p.uv) f = awkward[next++ % (sizeof awkward / sizeof awkward[0])] * 1e-3f;
  }
  expectMesh(expectedBilinear(card->points, 4, 4, false, false, false), only(emitRib(*card), "PatchMesh"));
  // The bicubic net of a randomly shaped grid, every vertex a computed value.
  for (quorcard::VtxPoint& p : card->points) {
    for (float& f : p.pos) f = std::sin(f + static_cast<float>(next++)) * 0.7f;
    for (float& f : p.uv) f = std::cos(f + static_cast<float>(next++));
    for (std::vector<float>& s : p.controlPoints)
      for (float& f : s) f = std::sin(f * 3.1f + static_cast<float>(next++));
  }
  set("type", "smooth");
  expectMesh(expectedBicubic(card->points, 4, 4, false, false, false), only(emitRib(*card), "PatchMesh"));
}

// Grids that break the size or slot rules, set directly on the node: no
// mesh when the size disagrees with the counts, the bilinear mesh when a
// handle that the net reads is not 3 floats, and the net whatever the
// handles it never reads hold.
TEST_F(Emit, BrokenGrids) {
  set("shade", "front & back");
  set("orientation", "flipped");
  set("type", "smooth");  // stores every knob into the members: counts after this
  const Names none{"AttributeBegin", "Transform", "AttributeEnd"};
  const Names withMesh{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation", "Basis", "PatchMesh",
                       "AttributeEnd"};
  using Grid = quorcard::PointList;
  struct Case {
    const char* what;
    int columns, rows;
    void (*damage)(Grid&);
    const char* mesh;  // "" for none
  } cases[] = {
      {"15 points", 4, 4, [](Grid& g) { g.pop_back(); }, ""},
      {"17 points", 4, 4, [](Grid& g) { g.push_back(g.back()); }, ""},
      {"no points", 4, 4, [](Grid& g) { g.clear(); }, ""},
      {"one column", 1, 16, [](Grid&) {}, ""},
      {"one row", 16, 1, [](Grid&) {}, ""},
      {"negative counts", -4, -4, [](Grid&) {}, ""},
      {"counts that overflow int", 65536, 65536, [](Grid&) {}, ""},
      {"no slots", 4, 4, [](Grid& g) { g[5].controlPoints.clear(); }, "bilinear"},
      {"two slots", 4, 4, [](Grid& g) { g[9].controlPoints.resize(2); }, "bilinear"},
      {"empty right handle", 4, 4, [](Grid& g) { g[0].controlPoints[2].clear(); }, "bilinear"},
      {"short up handle", 4, 4, [](Grid& g) { g[4].controlPoints[3].resize(2); }, "bilinear"},
      {"long down handle", 4, 4, [](Grid& g) { g[13].controlPoints[1].resize(4); }, "bilinear"},
      {"one float left", 4, 4, [](Grid& g) { g[15].controlPoints[0].resize(1); }, "bilinear"},
      {"junk where the net reads nothing", 4, 4,
       [](Grid& g) {
         g[0].controlPoints[0] = {1.0f, 2.0f};            // column 0: no left handle
         g[3].controlPoints[2] = {1.0f, 2.0f, 3.0f, 4.0f};  // last column: no right one
         g[2].controlPoints[1] = {9.0f, 9.0f, 9.0f};        // row 0: no down handle
         g[14].controlPoints[3] = {7.0f};                 // last row: no up handle
         g[7].controlPoints.push_back({1.0f});            // a fifth slot
       },
       "bicubic"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    quorcard::buildDefaultGrid(card->points, 4, 4, 1.0f, 1.0f);
    c.damage(card->points);
    card->xPoints = c.columns;
    card->yPoints = c.rows;
    const std::vector<RibRequest> rib = emitRib(*card);
    EXPECT_EQ(rendertest::requestNames(rib), *c.mesh ? withMesh : none);
    if (!*c.mesh) continue;
    const RibRequest& mesh = only(rib, "PatchMesh");
    if (std::string(c.mesh) == "bilinear") {
      expectMesh(expectedBilinear(card->points, 4, 4, false, false, false), mesh);
    } else {
      expectMesh(expectedBicubic(card->points, 4, 4, false, false, false), mesh);
    }
  }
}

// A script whose stored points disagree with its counts, loaded as the host
// loads a saved script: knob values first, then the node is attached.
TEST(EmitDamagedScript, StoredPointsThatBreakTheGridRules) {
  struct Case {
    const char* what;
    int removePoint;  // -1: keep all 16
    int shortSlotPoint;
    const char* expected;  // the mesh type, or "" for none
  } cases[] = {
      {"fifteen points", 3, -1, ""},
      {"a handle of two floats", -1, 6, "bilinear"},
      {"consistent", -1, -1, "bicubic"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    quorcard::PointList stored;
    quorcard::buildDefaultGrid(stored, 4, 4, 1.0f, 1.0f);
    if (c.removePoint >= 0) stored.erase(stored.begin() + c.removePoint);
    if (c.shortSlotPoint >= 0) stored[static_cast<std::size_t>(c.shortSlotPoint)].controlPoints[2].pop_back();
    const std::string text = quorcard::pointsToText(stored);
    ASSERT_FALSE(text.empty());

    DD::Image::Graph graph;
    std::string error;
    Node* node = graph.create("QuorCard", "", &error);
    ASSERT_NE(node, nullptr) << error;
    ASSERT_TRUE(node->knob("cpstr")->set_text(text.c_str()));
    ASSERT_TRUE(node->knob("type")->set_text("smooth with handles"));
    graph.finish(node);
    auto* card = dynamic_cast<quorcard::QuorCard*>(node->op());
    ASSERT_NE(card, nullptr);
    ASSERT_EQ(card->points.size(), stored.size());

    const std::vector<RibRequest> rib = emitRib(*card);
    int meshes = 0;
    for (const RibRequest& r : rib) {
      if (r.name != "PatchMesh") continue;
      ++meshes;
      rendertest::expectConsistentMesh(r);
      EXPECT_EQ(r.str(0), c.expected);
    }
    EXPECT_EQ(meshes, *c.expected ? 1 : 0);
    EXPECT_EQ(rib.front().name, "AttributeBegin");
    EXPECT_EQ(rib.back().name, "AttributeEnd");
  }
}
