// What the card looks like in the viewer, read back from real OpenGL.
#include <GL/gl.h>

#include "DDImageHost/OffscreenGL.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace viewertest {
namespace {

// The default card spans (-0.5, -0.5) to (0.5, 0.5) at z = 0, 2.5 units in
// front of the eye: x from 320 -/+ 0.2 * cot(15) * 0.75 * 320 = 140.86 to
// 499.14, y from 240 -/+ 0.2 * cot(15) * 240 = 60.86 to 419.14. Pixels whose
// centres lie inside are painted: columns 141..498, rows 61..418. Not
// selected, the card shows no points, cage or handles.
TEST_F(ViewerTest, UnselectedCardCoversItsProjectedRectangleOnly) {
  set("type", "smooth with handles");
  const Picture p = draw();
  for (int t : {141, 250, 418}) {
    SCOPED_TRACE(t);
    EXPECT_EQ(p.at(141, t), kNodeGrey);
    EXPECT_EQ(p.at(140, t), kBackground);
    EXPECT_EQ(p.at(498, t), kNodeGrey);
    EXPECT_EQ(p.at(499, t), kBackground);
    EXPECT_EQ(p.at(t, 61), kNodeGrey);
    EXPECT_EQ(p.at(t, 60), kBackground);
    EXPECT_EQ(p.at(t, 418), kNodeGrey);
    EXPECT_EQ(p.at(t, 419), kBackground);
  }
  for (const Rgb& c : {kCage, kBlack, kWhite, kYellow}) EXPECT_EQ(p.count(c), 0) << c;
}

// Selected, "linear": a white surface; each of the 16 points a dot of handle
// size 5 with a black centre of 3 x 3 pixels; the cage draws the 24 grid
// edges and nothing inside the cells; no tangent handles.
TEST_F(ViewerTest, SelectedLinearCardShowsSixteenPointsAndTwentyFourEdges) {
  node->setSelected(true);
  const Picture p = draw();
  EXPECT_EQ(p.at(byHand(0.3, 0.3)), kWhite);
  EXPECT_EQ(p.count(kBlack), 16 * 9);
  EXPECT_EQ(p.count(kYellow), 0);
  int edges = 0;
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b) {
      SCOPED_TRACE(testing::Message() << a << "," << b);
      EXPECT_EQ(p.countAround(byHand(grid(a), grid(b)), 1, kBlack), 9);
      if (b == 3) continue;
      const double mid = (grid(b) + grid(b + 1)) / 2;
      edges += (p.countAround(byHand(mid, grid(a)), 1, kCage) > 0) + (p.countAround(byHand(grid(a), mid), 1, kCage) > 0);
      if (a < 3) {
        EXPECT_EQ(p.countAround(byHand(mid, (grid(a) + grid(a + 1)) / 2), 3, kCage), 0);
      }
    }
  EXPECT_EQ(edges, 24);
}

// One cell under "smooth with handles": the bottom-left corner's right
// handle is dragged up across the top edge to (-1/6, 0.8). The outline runs
// up to it and back down: where that spike overlaps the cell the pixels are
// covered twice and stay unpainted with a stencil buffer; the tip above the
// cell is painted turned over (its back lit by the ambient part only,
// 0.2 x 192). Without stencil bits the plain quadrilateral is drawn.
TEST_F(ViewerTest, FoldedOutlineIsFilledEvenOddWithStencilAndAsQuadWithout) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth with handles");
  ASSERT_TRUE(node->userSetValues(node->knob("control_point.0.0.2"), {-1.0 / 6, 0.8, 0}));
  const PixelPos twice = byHand(-0.17, 0.2), tip = byHand(-0.17, 0.6), once = byHand(0.3, 0.0);
  const Picture stencil = draw(true), plain = draw(false);
  EXPECT_EQ(stencil.at(twice), kBackground);
  EXPECT_EQ(stencil.at(tip), (Rgb{38, 38, 38}));
  EXPECT_EQ(stencil.at(once), kNodeGrey);
  EXPECT_EQ(plain.at(twice), kNodeGrey);
  EXPECT_EQ(plain.at(tip), kBackground);
  EXPECT_EQ(plain.at(once), kNodeGrey);
  EXPECT_EQ(plain.at(141, 61), kNodeGrey);
  EXPECT_EQ(plain.at(140, 61), kBackground);
}

// A restored grid may hold points with fewer than four slots, or too few
// points for its size: what is missing is not drawn, and nothing past it is
// read (the sanitizer build would tell).
TEST_F(ViewerTest, MalformedGridsAreDrawnWithoutWhatTheyLack) {
  node->setSelected(true);
  set("type", "smooth with handles");
  for (auto& point : card->points) point.controlPoints.resize(1);
  card->points[5].controlPoints[0] = {0.1f};
  Picture p = draw();
  EXPECT_EQ(p.count(kBlack), 16 * 9);
  EXPECT_GT(p.count(kYellow), 0);  // the left handles of columns 1 to 3
  EXPECT_EQ(p.at(byHand(0.3, 0.3)), kWhite);
  card->points.pop_back();
  p = draw();
  EXPECT_EQ(p.at(byHand(0.3, 0.3)), kBackground);
  EXPECT_EQ(p.count(kBlack), 0);
  EXPECT_EQ(p.count(kCage), 0);
}

// A 2 x 2 image (red, green on top; blue, yellow below) shows in the
// quarters of a selected card the same way up. An axis drawn before the card
// in red, green and blue lines must leave no colour behind: the card once
// showed only its texture's blue channel after one.
TEST(ViewerTexture, ImageShowsInItsOwnColoursAfterAnAxis) {
  DD::Image::Graph graph;
  std::string error;
  Node* nodes[3];
  const char* classes[3] = {"Axis", "Read", "QuorCard"};
  for (int i = 0; i < 3; ++i) {
    nodes[i] = graph.create(classes[i], "", &error);
    ASSERT_NE(nodes[i], nullptr) << error;
    graph.finish(nodes[i]);
  }
  testsupport::TempDir dir;
  ASSERT_TRUE(testsupport::writePng(dir.file("q.png"), 2, 2,
                                    {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255}));
  ASSERT_TRUE(nodes[1]->userSetText(nodes[1]->knob("file"), dir.file("q.png").c_str()));
  ASSERT_TRUE(graph.connect(nodes[2], 1, nodes[1], &error)) << error;
  nodes[2]->setSelected(true);
  DD::Image::Viewer viewer(graph);
  Picture p{640, 480, {}};
  ASSERT_TRUE(viewer.draw(&p.rgba, &error)) << error;
  EXPECT_EQ(p.at(byHand(-0.4, 0.4)), (Rgb{255, 0, 0}));
  EXPECT_EQ(p.at(byHand(0.4, 0.4)), (Rgb{0, 255, 0}));
  EXPECT_EQ(p.at(byHand(-0.4, -0.4)), (Rgb{0, 0, 255}));
  EXPECT_EQ(p.at(byHand(0.4, -0.4)), (Rgb{255, 255, 0}));
}

// A turned card whose cell outlines cross themselves: overlapping pieces of
// one outline lie in one plane, and one of them must paint each pixel, so
// no pixel of the card stands out from all four neighbours (a speckle of the
// pieces' colours). The one-pixel tip of a thin fold may stand alone.
TEST_F(ViewerTest, TurnedFoldedCardIsPaintedWithoutSpeckles) {
  set("type", "smooth with handles");
  set("rotate", "20,35,0");
  ASSERT_TRUE(node->userSetValues(node->knob("control_point.1.1.2"), {0.45, -0.2, 0}));
  ASSERT_TRUE(node->userSetValues(node->knob("control_point.2.1.0"), {-0.4, 0.1, 0}));
  ASSERT_TRUE(node->userSetValues(node->knob("control_point.1.2.1"), {-0.1, -0.45, 0}));
  const Picture p = draw();
  auto far = [&](int x, int y, const Rgb& c) {
    const Rgb n = p.at(x, y);
    return std::abs(n.r - c.r) > 24 || std::abs(n.g - c.g) > 24 || std::abs(n.b - c.b) > 24;
  };
  int isolated = 0;
  for (int y = 1; y + 1 < p.height; ++y)
    for (int x = 1; x + 1 < p.width; ++x) {
      const Rgb c = p.at(x, y);
      if (c == kBackground || c == kNodeGrey) continue;  // the label is unlit grey
      isolated += far(x - 1, y, c) && far(x + 1, y, c) && far(x, y - 1, c) && far(x, y + 1, c);
    }
  EXPECT_LE(isolated, 4);
}

// The card fills its 12-vertex outlines as GL_POLYGON through a stencil
// parity pass, which relies on the driver splitting a polygon into a fan
// around its first vertex: a folded outline must flip the same pixels.
TEST(OffscreenGL, PolygonCoverageMatchesAFanAroundTheFirstVertex) {
  DD::Image::OffscreenGL gl(64, 64, true);
  ASSERT_TRUE(gl.ok()) << gl.error();
  const float outline[12][2] = {{-0.8f, -0.8f}, {-0.2f, 0.9f}, {0.2f, -0.8f}, {0.8f, -0.8f},
                                {0.8f, -0.3f},  {-0.9f, 0.5f}, {0.8f, 0.8f},  {0.3f, 0.8f},
                                {-0.3f, 0.8f},  {-0.8f, 0.8f}, {0.6f, 0.3f},  {-0.8f, -0.3f}};
  auto coverage = [&](GLenum primitive) {
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
    glBegin(primitive);
    for (const auto& v : outline) glVertex2f(v[0], v[1]);
    glEnd();
    std::vector<unsigned char> s(64 * 64);
    glReadPixels(0, 0, 64, 64, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, s.data());
    for (unsigned char& b : s) b &= 1;
    return s;
  };
  const std::vector<unsigned char> polygon = coverage(GL_POLYGON), fan = coverage(GL_TRIANGLE_FAN);
  int set = 0;
  for (unsigned char b : fan) set += b;
  EXPECT_GT(set, 500);
  EXPECT_EQ(polygon, fan);
}

}  // namespace
}  // namespace viewertest
