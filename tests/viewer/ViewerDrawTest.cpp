// What the card looks like in the viewer, read back from real OpenGL.
#include <algorithm>
#include <cstdlib>

#include "CardTestSupport.h"

namespace cardtest {
namespace {

class ViewerDraw : public CardTest {
 protected:
  // A 2 x 2 image, top row red and green, bottom row blue and yellow,
  // filtered linearly between the texel centres at 1/4 and 3/4.
  Node* quarters() { return addImage(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255}); }
};

int diff(const Rgb& a, const Rgb& b) {
  return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

// The default card spans (-0.5, -0.5) to (0.5, 0.5) at z = 0, 2.5 units in
// front of the eye: x from 320 -/+ 0.2 * cot(15) * 0.75 * 320 = 140.86 to
// 499.14, y from 240 -/+ 0.2 * cot(15) * 240 = 60.86 to 419.14. Pixels whose
// centres lie inside are painted: columns 141..498, rows 61..418; no points,
// cage or handles (catches: the local matrix or the draw condition dropped,
// parts drawn for an unselected card).
TEST_F(ViewerDraw, UnselectedCardCoversItsProjectedRectangleOnly) {
  set("type", "smooth with handles");
  const Picture p = draw();
  for (int t : {141, 250, 418})
    EXPECT_TRUE(p.at(141, t) == kNodeGrey && p.at(498, t) == kNodeGrey && p.at(t, 61) == kNodeGrey &&
                p.at(t, 418) == kNodeGrey && p.at(140, t) == kBackground && p.at(499, t) == kBackground &&
                p.at(t, 60) == kBackground && p.at(t, 419) == kBackground)
        << t;
  EXPECT_EQ(p.count(kCage) + p.count(kBlack) + p.count(kWhite) + p.count(kYellow), 0);
}

// Selected, "linear": a white surface, 16 points of handle size 5 with black
// centres of 3 x 3 pixels, the 24 grid edges and nothing inside the cells;
// "smooth with handles" adds 48 handles with grey centres (catches: edges
// missed or doubled, handles drawn under the wrong type, wrong sizes).
TEST_F(ViewerDraw, SelectedCardShowsPointsHandlesAndCage) {
  node->setSelected(true);
  Picture p = draw();
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
      edges += (p.countAround(byHand(mid, grid(a)), 1, kCage) > 0);
      edges += (p.countAround(byHand(grid(a), mid), 1, kCage) > 0);
      EXPECT_EQ(a < 3 ? p.countAround(byHand(mid, grid(a) + 1 / 6.0), 3, kCage) : 0, 0);  // inside a cell
    }
  EXPECT_EQ(edges, 24);
  set("type", "smooth with handles");
  p = draw();
  EXPECT_EQ(std::make_pair(p.count(kBlack), p.count(Rgb{178, 178, 178})), std::make_pair(16 * 9, 48 * 9));
}

// One cell under "smooth with handles": the bottom-left corner's right
// handle is dragged up across the top edge to (-1/6, 0.8). The outline runs
// up to it and back down: where that spike overlaps the cell the pixels are
// covered twice and stay unpainted with a stencil buffer; the tip above the
// cell is painted turned over (its back lit by the ambient part only,
// 0.2 x 192). Without stencil bits the plain quadrilateral is drawn.
TEST_F(ViewerDraw, FoldedOutlineIsFilledEvenOddWithStencilAndAsQuadWithout) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth with handles");
  setValues("control_point.0.0.2", {-1.0 / 6, 0.8, 0});
  const PixelPos twice = byHand(-0.17, 0.2), tip = byHand(-0.17, 0.6), once = byHand(0.3, 0.0);
  const Picture stencil = draw(true), plain = draw(false);
  EXPECT_EQ((std::vector<Rgb>{stencil.at(twice), stencil.at(tip), stencil.at(once)}),
            (std::vector<Rgb>{kBackground, {38, 38, 38}, kNodeGrey}));
  EXPECT_EQ((std::vector<Rgb>{plain.at(twice), plain.at(tip), plain.at(once)}),
            (std::vector<Rgb>{kNodeGrey, kBackground, kNodeGrey}));
}

// A restored grid may hold points with fewer than four slots, or too few
// points for its size: what is missing is not drawn, and nothing past it is
// read (the sanitizer build would tell).
TEST_F(ViewerDraw, MalformedGridsAreDrawnWithoutWhatTheyLack) {
  quorcard::PointList g = stored();
  for (auto& point : g) point.controlPoints.resize(1);
  g[5].controlPoints[0] = {0.1f};
  for (int points : {16, 15}) {
    g.resize(points);
    reload({{"cpstr", quorcard::pointsToText(g)}, {"type", "smooth with handles"}});
    node->setSelected(true);
    const Picture p = draw();
    EXPECT_EQ(p.count(kBlack), points == 16 ? 16 * 9 : 0);
    EXPECT_EQ(p.count(kYellow) > 0, points == 16);  // the left handles of columns 1 to 3
    EXPECT_EQ(p.at(byHand(0.3, 0.3)), points == 16 ? kWhite : kBackground);
  }
}

// The image's corners in the card's corners under each texture rule: flip
// mirrors across, flop up and down, swap exchanges across and up (s = 1 - v,
// t = u); an axis drawn before in red, green and blue leaves no colour behind
// (catches: a rule turned round or left out, swap before the mirrors).
TEST_F(ViewerDraw, TextureRulesPutTheImageCornersInPlace) {
  add("Axis");
  Node* image = quarters();
  reload({});
  connect(1, image);
  node->setSelected(true);
  const Rgb R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255}, Y{255, 255, 0};
  // flip, flop, swap; then the card's top left, top right, bottom left, bottom right
  const struct {
    const char* rules;
    Rgb corner[4];
  } cases[] = {{"000", {R, G, B, Y}}, {"100", {G, R, Y, B}}, {"010", {B, Y, R, G}}, {"001", {Y, G, B, R}},
               {"110", {Y, B, G, R}}, {"101", {G, Y, R, B}}, {"011", {B, R, Y, G}}, {"111", {R, B, G, Y}}};
  for (const auto& c : cases) {
    set("flip_uvs", std::string(1, c.rules[0]));
    set("flop_uvs", std::string(1, c.rules[1]));
    set("swap_uvs", std::string(1, c.rules[2]));
    const Picture p = draw();
    const PixelPos at[4] = {byHand(-0.4, 0.4), byHand(0.4, 0.4), byHand(-0.4, -0.4), byHand(0.4, -0.4)};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(p.at(at[k]), c.corner[k]) << "rules " << c.rules << " corner " << k;
  }
}

// Under "smooth with handles" a handle vertex takes its point's texture
// coordinate a third of a step toward the neighbour it faces. With the
// handles on the edges a 3 x 2 card looks as under "linear"; with the bottom
// and left handles pulled out, 0.2 beyond their edges, the bulges take the
// colours of the edge they leave (catches: an offset with the wrong sign,
// size or direction, steps taken from the wrong count).
TEST_F(ViewerDraw, HandleVerticesTakeTheirPointsTextureThirdOfAStepOn) {
  Node* image = quarters();
  connect(1, image);
  set("x_points", "3");
  set("y_points", "2");
  const Picture linear = draw();
  set("type", "smooth with handles");
  const Picture handles = draw();
  int differ = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) differ += diff(linear.at(x, y), handles.at(x, y)) > 2;
  EXPECT_EQ(differ, 0);

  set("x_points", "2");
  setValues("control_point.0.0.2", {-1 / 6.0, -0.7, 0});
  setValues("control_point.1.0.0", {1 / 6.0, -0.7, 0});
  setValues("control_point.0.1.1", {-0.7, 1 / 6.0, 0});
  setValues("control_point.0.0.3", {-0.7, -1 / 6.0, 0});
  const Picture p = draw();
  for (double along : {-0.1, 0.2}) {
    EXPECT_LE(diff(p.at(byHand(along, -0.65)), p.at(byHand(along, -0.45))), 2) << "bottom at " << along;
    EXPECT_LE(diff(p.at(byHand(-0.65, along)), p.at(byHand(-0.45, along))), 2) << "left at " << along;
  }
}

// A turned card whose cell outlines cross themselves: the first piece of an
// outline that paints a pixel takes it, so no pixel stands out from all four
// neighbours; a one-pixel tip of a thin fold may (catches: the depth test
// left to choose among coplanar pieces, which speckles the card).
TEST_F(ViewerDraw, TurnedFoldedCardIsPaintedWithoutSpeckles) {
  set("type", "smooth with handles");
  set("rotate", "20,35,0");
  setValues("control_point.1.1.2", {0.45, -0.2, 0});
  setValues("control_point.2.1.0", {-0.4, 0.1, 0});
  setValues("control_point.1.2.1", {-0.1, -0.45, 0});
  const Picture p = draw();
  auto far = [&](int x, int y, const Rgb& c) { return diff(p.at(x, y), c) > 24; };
  int isolated = 0;
  for (int y = 1; y + 1 < p.height; ++y)
    for (int x = 1; x + 1 < p.width; ++x) {
      const Rgb c = p.at(x, y);
      if (c == kBackground || c == kNodeGrey) continue;  // the label is unlit grey
      isolated += far(x - 1, y, c) && far(x + 1, y, c) && far(x, y - 1, c) && far(x, y + 1, c);
    }
  EXPECT_LE(isolated, 4);
}

}  // namespace
}  // namespace cardtest
