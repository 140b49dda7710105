// What the card looks like in the viewer, read back from real OpenGL.
#include <cmath>

#include "ViewerTestSupport.h"

namespace viewertest {
namespace {

using DD::Image::Knob;

// The default card spans (-0.5, -0.5) to (0.5, 0.5) at z = 0: 2.5 units in
// front of the eye, x from 320 -/+ 0.2 * cot(15) * 0.75 * 320 = 140.86 to
// 499.14 and y from 240 -/+ 0.2 * cot(15) * 240 = 60.86 to 419.14. Pixels
// whose centres lie inside are painted: columns 141..498, rows 61..418.
TEST_F(ViewerTest, DefaultCardCoversItsProjectedRectangle) {
  const Picture p = draw();
  const PixelPos low = byHand(-0.5, 0.5), high = byHand(0.5, -0.5);
  EXPECT_NEAR(low.x, 140.86, 0.01);
  EXPECT_NEAR(low.y, 60.86, 0.01);
  EXPECT_NEAR(high.x, 499.14, 0.01);
  EXPECT_NEAR(high.y, 419.14, 0.01);
  // Not selected: the surface in the node colour, lit face-on.
  for (int y : {61, 100, 300, 418}) {
    EXPECT_EQ(p.at(141, y), kNodeGrey) << y;
    EXPECT_EQ(p.at(498, y), kNodeGrey) << y;
    EXPECT_EQ(p.at(140, y), kBackground) << y;
    EXPECT_EQ(p.at(499, y), kBackground) << y;
  }
  for (int x : {141, 200, 400, 498}) {
    EXPECT_EQ(p.at(x, 61), kNodeGrey) << x;
    EXPECT_EQ(p.at(x, 418), kNodeGrey) << x;
    EXPECT_EQ(p.at(x, 60), kBackground) << x;
    EXPECT_EQ(p.at(x, 419), kBackground) << x;
  }
  EXPECT_EQ(p.at(5, 5), kBackground);
}

TEST_F(ViewerTest, UnselectedCardShowsNoPointsCageOrHandles) {
  set("type", "smooth with handles");
  const Picture p = draw();
  EXPECT_EQ(p.count(kCage), 0);
  EXPECT_EQ(p.count(kBlack), 0);
  EXPECT_EQ(p.count(kWhite), 0);
  EXPECT_EQ(p.count(kYellow), 0);
  EXPECT_EQ(p.count(kKnobHandle), 0);
  const PixelPos inner = byHand(gridX(1, 4), gridY(1, 4));
  EXPECT_EQ(p.at(inner.ix(), inner.iy()), kNodeGrey);
}

// Selected, "linear", 4 x 4: the surface is white, each point a white dot of
// handle size 5 with a black centre 3 pixels wide; the cage draws the 24
// edges of the grid in the viewer's foreground colour.
TEST_F(ViewerTest, SelectedLinearCardShowsSixteenPointsAndTwentyFourEdges) {
  node->setSelected(true);
  const Picture p = draw();
  const PixelPos centre = byHand(0.3, 0.3);
  EXPECT_EQ(p.at(centre.ix(), centre.iy()), kWhite);

  const std::vector<PixelPos> dots = p.blobs(kBlack);
  ASSERT_EQ(dots.size(), 16u);
  int matched = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const PixelPos e = byHand(gridX(c, 4), gridY(r, 4));
      EXPECT_EQ(p.countAround(e.ix(), e.iy(), 1, kBlack), 9) << c << "," << r;
      for (const PixelPos& d : dots) matched += std::fabs(d.x - e.x) < 1.5 && std::fabs(d.y - e.y) < 1.5;
    }
  EXPECT_EQ(matched, 16);
  // The white ring shows where a corner dot stands out over the background.
  const PixelPos corner = byHand(-0.5, -0.5);
  EXPECT_EQ(p.at(corner.ix() - 2, corner.iy() + 2), kWhite);

  int edges = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) {
      const PixelPos along = byHand((gridX(c, 4) + gridX(c + 1, 4)) / 2, gridY(r, 4));
      edges += p.countAround(along.ix(), along.iy(), 1, kCage) > 0;
      const PixelPos up = byHand(gridX(r, 4), (gridY(c, 4) + gridY(c + 1, 4)) / 2);
      edges += p.countAround(up.ix(), up.iy(), 1, kCage) > 0;
    }
  EXPECT_EQ(edges, 24);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const PixelPos cell = byHand((gridX(c, 4) + gridX(c + 1, 4)) / 2, (gridY(r, 4) + gridY(r + 1, 4)) / 2);
      EXPECT_EQ(p.countAround(cell.ix(), cell.iy(), 3, kCage), 0) << c << "," << r;
    }
  // No handles under "linear".
  EXPECT_EQ(p.count(kYellow), 0);

  // The dots follow the handle size: 9 pixels with 7-pixel centres.
  setHandleSize(9);
  const Picture big = draw();
  const PixelPos e = byHand(gridX(1, 4), gridY(2, 4));
  EXPECT_EQ(big.countAround(e.ix(), e.iy(), 3, kBlack), 49);
  EXPECT_EQ(big.countAround(e.ix(), e.iy(), 4, kBlack), 49);
  // At size 2 there is no room for a centre: the dots are white.
  setHandleSize(2);
  EXPECT_EQ(draw().count(kBlack), 0);
}

// "smooth with handles" on the default grid: each point has one handle per
// neighbour, a third of the way along the edge: 48 handles, grey-centred,
// on yellow tangent lines.
TEST_F(ViewerTest, SmoothWithHandlesShowsHandlesOnTangentLines) {
  node->setSelected(true);
  set("type", "smooth with handles");
  const Picture p = draw();
  EXPECT_EQ(p.blobs(kBlack).size(), 16u);
  int handles = 0, lines = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const double x = gridX(c, 4), y = gridY(r, 4), step = 1.0 / 9;
      const double offsets[4][2] = {{-step, 0}, {0, -step}, {step, 0}, {0, step}};
      for (const auto& o : offsets) {
        if (std::fabs(x + o[0]) > 0.5 || std::fabs(y + o[1]) > 0.5) continue;
        const PixelPos h = byHand(x + o[0], y + o[1]);
        int grey = 0;
        for (int v = 178; v <= 179; ++v) grey += p.countAround(h.ix(), h.iy(), 1, Rgb{v, v, v});
        handles += grey == 9;
        // Halfway between point and handle lies the tangent line.
        const PixelPos m = byHand(x + o[0] / 2, y + o[1] / 2);
        lines += p.countAround(m.ix(), m.iy(), 1, kYellow) > 0;
      }
    }
  EXPECT_EQ(handles, 48);
  EXPECT_EQ(lines, 48);
}

// One cell ("x_points" and "y_points" 2) under "smooth with handles": the
// handle of the bottom-left corner toward the right is dragged up across
// the top edge to (-1/6, 0.8). The outline then runs from the corner up to
// it and back down to the bottom edge: where that spike overlaps the cell
// the pixels are covered twice and stay unpainted with a stencil buffer,
// and the tip above the top edge is painted. Without stencil bits the plain
// corner quadrilateral is drawn instead.
TEST_F(ViewerTest, FoldedOutlineIsFilledEvenOddWithStencilAndAsQuadWithout) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth with handles");
  Knob* handle = knob("control_point.0.0.2");
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(node->userSetValues(handle, {-1.0 / 6, 0.8, 0}));
  ASSERT_EQ(card->points.size(), 4u);
  EXPECT_FLOAT_EQ(card->points[0].controlPoints[2][1], 0.8f);

  // Inside the spike and the cell; in the tip above the cell; in the cell
  // away from the spike.
  const PixelPos twice = byHand(-0.17, 0.2), tip = byHand(-0.17, 0.6), once = byHand(0.3, 0.0);
  const Picture withStencil = draw(true);
  EXPECT_EQ(withStencil.at(twice.ix(), twice.iy()), kBackground);
  // The tip is the outline turned over: its back faces the light, which
  // leaves the ambient part, 0.2 x 192.
  EXPECT_EQ(withStencil.at(tip.ix(), tip.iy()), (Rgb{38, 38, 38}));
  EXPECT_EQ(withStencil.at(once.ix(), once.iy()), kNodeGrey);

  const Picture without = draw(false);
  EXPECT_EQ(without.at(twice.ix(), twice.iy()), kNodeGrey);
  EXPECT_EQ(without.at(tip.ix(), tip.iy()), kBackground);
  EXPECT_EQ(without.at(once.ix(), once.iy()), kNodeGrey);
  // The quadrilateral is the plain cell, as on the stencil path before the
  // fold.
  EXPECT_EQ(without.at(141, 61), kNodeGrey);
  EXPECT_EQ(without.at(140, 61), kBackground);
}

// The image input is mapped onto the card: a 2 x 2 image, red and green on
// its top row, blue and yellow below, shows in the card's quarters the same
// way up. With "flip_uvs" left and right change places.
TEST_F(ViewerTest, ImageInputIsTheCardsTexture) {
  const std::vector<unsigned char> quarters = {255, 0, 0, 255, 0, 255, 0, 255,  // top: red, green
                                               0, 0, 255, 255, 255, 255, 0, 255};  // bottom: blue, yellow
  Node* read = add("Read");
  ASSERT_NE(read, nullptr);
  ASSERT_TRUE(read->userSetText(read->knob("file"), writeTestPng("quarters.png", 2, 2, quarters).c_str()));
  std::string error;
  ASSERT_TRUE(graph.connect(node, 1, read, &error)) << error;
  node->setSelected(true);

  const PixelPos topLeft = byHand(-0.4, 0.4), topRight = byHand(0.4, 0.4);
  const PixelPos bottomLeft = byHand(-0.4, -0.4), bottomRight = byHand(0.4, -0.4);
  Picture p = draw();
  EXPECT_EQ(p.at(topLeft.ix(), topLeft.iy()), (Rgb{255, 0, 0}));
  EXPECT_EQ(p.at(topRight.ix(), topRight.iy()), (Rgb{0, 255, 0}));
  EXPECT_EQ(p.at(bottomLeft.ix(), bottomLeft.iy()), (Rgb{0, 0, 255}));
  EXPECT_EQ(p.at(bottomRight.ix(), bottomRight.iy()), (Rgb{255, 255, 0}));

  set("flip_uvs", "1");
  p = draw();
  EXPECT_EQ(p.at(topLeft.ix(), topLeft.iy()), (Rgb{0, 255, 0}));
  EXPECT_EQ(p.at(bottomRight.ix(), bottomRight.iy()), (Rgb{0, 0, 255}));
}

// A node drawn before the card in colours of its own (an axis draws red,
// green and blue lines) leaves the card's colours alone: a selected card over
// a white image is white.
TEST(ViewerOrder, EarlierNodesLeaveTheCardsColoursAlone) {
  DD::Image::Graph graph;
  std::string error;
  for (const char* cls : {"Axis", "Read", "QuorCard"}) {
    Node* n = graph.create(cls, "", &error);
    ASSERT_NE(n, nullptr) << error;
    graph.finish(n);
  }
  Node* read = graph.find("Read1");
  Node* cardNode = graph.find("QuorCard1");
  const std::vector<unsigned char> white(4 * 4 * 4, 255);
  ASSERT_TRUE(read->userSetText(read->knob("file"), writeTestPng("white.png", 4, 4, white).c_str()));
  ASSERT_TRUE(graph.connect(cardNode, 1, read, &error)) << error;
  cardNode->setSelected(true);
  DD::Image::Viewer viewer(graph);
  Picture p;
  ASSERT_TRUE(viewer.draw(&p.rgba, &error)) << error;
  p.width = 640;
  p.height = 480;
  const PixelPos inside = byHand(0.3, -0.3);
  EXPECT_EQ(p.at(inside.ix(), inside.iy()), kWhite);
}

// The label is the node's name, drawn at its origin in the node colour even
// when the node is selected (over the white surface).
TEST_F(ViewerTest, LabelIsTheNodeNameAtTheOrigin) {
  EXPECT_EQ(card->labelText(), node->name());
  node->setSelected(true);
  const Picture p = draw();
  const PixelPos origin = byHand(0, 0);
  // The text starts at the origin and runs rightward and upward.
  int grey = 0;
  for (int y = origin.iy() - 8; y <= origin.iy(); ++y)
    for (int x = origin.ix(); x < origin.ix() + 8 * static_cast<int>(node->name().size()); ++x)
      grey += p.at(x, y) == kNodeGrey;
  EXPECT_GT(grey, 20);
  EXPECT_EQ(p.countAround(origin.ix() - 30, origin.iy() - 30, 5, kNodeGrey), 0);
}

// A grid that does not match its size draws no surface and no points.
TEST_F(ViewerTest, MismatchedGridDrawsNothing) {
  node->setSelected(true);
  card->points.pop_back();
  const Picture p = draw();
  const PixelPos inside = byHand(0.3, 0.3);
  EXPECT_EQ(p.at(inside.ix(), inside.iy()), kBackground);
  EXPECT_EQ(p.count(kBlack), 0);
  EXPECT_EQ(p.count(kCage), 0);
}

// A restored grid may hold points with fewer than four slots, or slots of
// the wrong size: they count as absent and nothing outside them is read.
TEST_F(ViewerTest, PointsWithMissingSlotsAreDrawnWithoutThem) {
  node->setSelected(true);
  set("type", "smooth with handles");
  for (auto& point : card->points) point.controlPoints.resize(1);
  card->points[5].controlPoints[0] = {0.1f};
  const Picture p = draw();
  EXPECT_EQ(p.blobs(kBlack).size(), 16u);
  // Slot 0 is present on points of columns 1 to 3 (except point 5).
  EXPECT_GT(p.count(kYellow), 0);
  const PixelPos inside = byHand(0.3, 0.3);
  EXPECT_EQ(p.at(inside.ix(), inside.iy()), kWhite);
}

}  // namespace
}  // namespace viewertest

namespace viewertest {
namespace {

bool far(const Rgb& a, const Rgb& b) {
  return std::abs(a.r - b.r) > 24 || std::abs(a.g - b.g) > 24 || std::abs(a.b - b.b) > 24;
}

// Pixels of the card whose colour stands out from all four neighbours (a
// smooth shading gradient changes by a level or two from pixel to pixel).
// The label's pixels, in the unlit node colour, do not count.
int isolatedPixels(const Picture& p) {
  int n = 0;
  for (int y = 1; y + 1 < p.height; ++y)
    for (int x = 1; x + 1 < p.width; ++x) {
      const Rgb c = p.at(x, y);
      if (c == kBackground || c == kNodeGrey) continue;
      n += far(p.at(x - 1, y), c) && far(p.at(x + 1, y), c) && far(p.at(x, y - 1), c) && far(p.at(x, y + 1), c);
    }
  return n;
}

// A turned card whose cell outlines cross themselves: where several
// overlapping pieces of one outline cover a pixel, one of them paints it,
// so every part shows in one even colour rather than a speckle of the
// pieces' colours (the pieces lie in one plane, at depths equal but for
// rounding).
TEST_F(ViewerTest, TurnedFoldedCardIsPaintedWithoutSpeckles) {
  set("type", "smooth with handles");
  set("rotate", "20,35,0");
  ASSERT_TRUE(node->userSetValues(knob("control_point.1.1.2"), {0.45, -0.2, 0}));
  ASSERT_TRUE(node->userSetValues(knob("control_point.2.1.0"), {-0.4, 0.1, 0}));
  ASSERT_TRUE(node->userSetValues(knob("control_point.1.2.1"), {-0.1, -0.45, 0}));
  const Picture p = draw();
  // The one-pixel tip of a thin fold may stand alone; a speckle is dozens.
  EXPECT_LE(isolatedPixels(p), 4);
}

}  // namespace
}  // namespace viewertest
