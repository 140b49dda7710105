// What the card looks like in the viewer, read back from real OpenGL.
#include <cstdlib>

#include "CardTestSupport.h"

namespace cardtest {
namespace {

class ViewerDraw : public CardTest {
 protected:
  // A 2 x 2 image, top row red and green, bottom row blue and yellow. Its
  // texture is filtered linearly: the colours blend between the texel
  // centres, at a quarter and three quarters of the way across.
  Node* quarters() { return addImage(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255}); }
};

bool near(const Rgb& a, const Rgb& b) { return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2; }

// The default card spans (-0.5, -0.5) to (0.5, 0.5) at z = 0, 2.5 units in
// front of the eye: x from 320 -/+ 0.2 * cot(15) * 0.75 * 320 = 140.86 to
// 499.14, y from 240 -/+ 0.2 * cot(15) * 240 = 60.86 to 419.14. Pixels whose
// centres lie inside are painted: columns 141..498, rows 61..418. Not
// selected, the card shows no points, cage or handles (catches: the local
// matrix or the draw condition dropped, parts drawn for an unselected card).
TEST_F(ViewerDraw, UnselectedCardCoversItsProjectedRectangleOnly) {
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
// edges and nothing inside the cells; no handles. "Smooth with handles" adds
// the 48 handles with grey centres (catches: edges missed or doubled, handles
// drawn under the wrong type, centres of the wrong size).
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
      edges += (p.countAround(byHand(mid, grid(a)), 1, kCage) > 0) + (p.countAround(byHand(grid(a), mid), 1, kCage) > 0);
      EXPECT_EQ(a < 3 ? p.countAround(byHand(mid, (grid(a) + grid(a + 1)) / 2), 3, kCage) : 0, 0);
    }
  EXPECT_EQ(edges, 24);
  set("type", "smooth with handles");
  p = draw();
  EXPECT_EQ(p.count(kBlack), 16 * 9);
  EXPECT_EQ(p.count(Rgb{178, 178, 178}), 48 * 9);
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
  EXPECT_EQ(stencil.at(twice), kBackground);
  EXPECT_EQ(stencil.at(tip), (Rgb{38, 38, 38}));
  EXPECT_EQ(stencil.at(once), kNodeGrey);
  EXPECT_EQ(plain.at(twice), kNodeGrey);
  EXPECT_EQ(plain.at(tip), kBackground);
  EXPECT_EQ(plain.at(once), kNodeGrey);
}

// A restored grid may hold points with fewer than four slots, or too few
// points for its size: what is missing is not drawn, and nothing past it is
// read (the sanitizer build would tell).
TEST_F(ViewerDraw, MalformedGridsAreDrawnWithoutWhatTheyLack) {
  quorcard::PointList g = stored();
  for (auto& point : g) point.controlPoints.resize(1);
  g[5].controlPoints[0] = {0.1f};
  reload({{"cpstr", quorcard::pointsToText(g)}, {"type", "smooth with handles"}});
  node->setSelected(true);
  Picture p = draw();
  EXPECT_EQ(p.count(kBlack), 16 * 9);
  EXPECT_GT(p.count(kYellow), 0);  // the left handles of columns 1 to 3
  EXPECT_EQ(p.at(byHand(0.3, 0.3)), kWhite);
  g.pop_back();
  reload({{"cpstr", quorcard::pointsToText(g)}, {"type", "smooth with handles"}});
  node->setSelected(true);
  p = draw();
  EXPECT_EQ(p.at(byHand(0.3, 0.3)), kBackground);
  EXPECT_EQ(p.count(kBlack) + p.count(kCage), 0);
}

// The image's corners in the card's corners under each texture rule: flip
// mirrors across, flop up and down, swap exchanges across and up (s = 1 - v,
// t = u with the others off). An axis drawn before the card in red, green and
// blue lines must leave no colour behind (catches: a rule turned round or
// left out, swap done before the mirrors, GL colour state leaking in).
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
    for (int x = 0; x < 640; ++x) differ += !near(linear.at(x, y), handles.at(x, y));
  EXPECT_EQ(differ, 0);

  set("x_points", "2");
  setValues("control_point.0.0.2", {-1 / 6.0, -0.7, 0});
  setValues("control_point.1.0.0", {1 / 6.0, -0.7, 0});
  setValues("control_point.0.1.1", {-0.7, 1 / 6.0, 0});
  setValues("control_point.0.0.3", {-0.7, -1 / 6.0, 0});
  const Picture p = draw();
  for (double along : {-0.1, 0.2}) {
    EXPECT_PRED2(near, p.at(byHand(along, -0.65)), p.at(byHand(along, -0.45))) << "bottom at " << along;
    EXPECT_PRED2(near, p.at(byHand(-0.65, along)), p.at(byHand(-0.45, along))) << "left at " << along;
  }
}

// A turned card whose cell outlines cross themselves: overlapping pieces of
// one outline lie in one plane, and one of them must paint each pixel, so
// no pixel of the card stands out from all four neighbours (a speckle of the
// pieces' colours). The one-pixel tip of a thin fold may stand alone.
TEST_F(ViewerDraw, TurnedFoldedCardIsPaintedWithoutSpeckles) {
  set("type", "smooth with handles");
  set("rotate", "20,35,0");
  setValues("control_point.1.1.2", {0.45, -0.2, 0});
  setValues("control_point.2.1.0", {-0.4, 0.1, 0});
  setValues("control_point.1.2.1", {-0.1, -0.45, 0});
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

}  // namespace
}  // namespace cardtest
