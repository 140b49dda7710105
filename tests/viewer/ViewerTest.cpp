// What the card looks like in the viewer, read back from real OpenGL, and
// picking points and handles with presses in it, on real OpenGL selection
// passes, with the scan of the selection buffer behind it.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "CardTestSupport.h"
#include "viewer/HandleIds.h"

namespace cardtest {
namespace {

class ViewerDraw : public CardTest {
 protected:
  // A 2 x 2 image, top row red and green, bottom row blue and yellow,
  // filtered linearly between the texel centres at 1/4 and 3/4.
  Node* quarters() { return addImage(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255}); }
};

const char* const kRuleKnobs[] = {"flip_uvs", "flop_uvs", "swap_uvs"};

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
// "smooth with handles" adds 48 handles with grey centres, and its cage runs
// between the facing handles, on the edges of the default grid (catches:
// edges missed or doubled, a cage segment dropped or joined across cells,
// handles drawn under the wrong type, wrong sizes).
TEST_F(ViewerDraw, SelectedCardShowsPointsHandlesAndCage) {
  node->setSelected(true);
  for (const bool handles : {false, true}) {
    set("type", handles ? "smooth with handles" : "linear");
    const Picture p = draw();
    EXPECT_EQ(p.at(byHand(0.3, 0.3)), kWhite);
    EXPECT_EQ(std::make_pair(p.count(kBlack), p.count(Rgb{178, 178, 178})),
              std::make_pair(16 * 9, handles ? 48 * 9 : 0));
    EXPECT_EQ(p.count(kYellow) > 0, handles);
    int edges = 0;
    for (int a = 0; a < 4; ++a)
      for (int b = 0; b < 4; ++b) {
        SCOPED_TRACE(testing::Message() << handles << ": " << a << "," << b);
        EXPECT_EQ(p.countAround(byHand(grid(a), grid(b)), 1, kBlack), 9);
        if (b == 3) continue;
        const double mid = (grid(b) + grid(b + 1)) / 2;
        edges += (p.countAround(byHand(mid, grid(a)), 1, kCage) > 0);
        edges += (p.countAround(byHand(grid(a), mid), 1, kCage) > 0);
        EXPECT_EQ(a < 3 ? p.countAround(byHand(mid, grid(a) + 1 / 6.0), 3, kCage) : 0, 0);  // inside a cell
      }
    EXPECT_EQ(edges, 24);
  }
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
    for (int r = 0; r < 3; ++r) set(kRuleKnobs[r], std::string(1, c.rules[r]));
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

// A frame in which nothing it shows changed is the last picture again; after
// each change below it is what a viewer that never drew before draws, not the
// last picture (catches: the camera, a node's selection, a knob's visibility
// or the picture size left out of what a frame is compared by, a hidden point
// knob shown but still skipped as dormant, without its handle).
TEST_F(ViewerDraw, AFrameIsDrawnAnewOnlyWhenWhatItShowsChanged) {
  node->setSelected(true);
  draw();  // validates the card: the frames below are compared
  Picture last = draw();
  DD::Image::Camera turned = viewer->camera();
  turned.yaw = 20;
  const std::function<void()> changes[] = {[&] { viewer->setCamera(turned); }, [&] { node->setSelected(false); },
                                           [&] { node->setSelected(true), knob("type")->visible(false); },
                                           [&] { knob("control_point.1.1")->visible(true); },
                                           [&] { viewer->setSize(320, 240); }};
  for (size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    const Picture p = draw();
    DD::Image::Viewer fresh(graph);
    fresh.setCamera(viewer->camera());
    std::vector<unsigned char> expected;
    std::string error;
    ASSERT_TRUE(fresh.draw(&expected, &error)) << error;
    EXPECT_TRUE(p.rgba == expected && p.rgba != last.rgba) << "change " << i;
    last = p;
  }
  EXPECT_TRUE(draw().rgba == last.rgba);
}

using Names = std::vector<std::string>;

// Records are (name count, minimum depth, maximum depth, name) (catches: a
// later record winning a tie, names of other objects taken, the scan going
// on past an empty record or into a partial one).
TEST(HitRecordScan, NearestNamedRecordUpToTheFirstEmptyOne) {
  const struct {
    std::vector<unsigned> buffer;
    size_t size;
    unsigned expected;
  } cases[] = {
      {{1, 0x2000, 0x2000, 10005, 1, 0x1000, 0x1000, 10010}, 8, 10010},              // smaller depth wins
      {{1, 0x1000, 0x3000, 10005, 1, 0x1000, 0x1000, 10010}, 8, 10005},              // equal: the earlier
      {{1, 0x10, 0x10, 9999, 1, 0x1000, 0x1000, 10000}, 8, 10000},                   // not a card name
      {{1, 0x80000000u, 0, 0x80000000u, 1, 0xFFFFFFFFu, 0, 10001}, 8, 0x80000000u},  // unsigned
      {{0, 0x10, 0x10, 10005, 1, 0x10, 0x10, 10010}, 8, 0},                          // empty first
      {{1, 0x2000, 0x2000, 10005, 0, 0, 0, 0, 1, 0x10, 0x10, 10010}, 12, 10005},     // stops at empty
      {{1, 0x2000, 0x2000, 10005, 1, 0x10, 0x10, 10010}, 7, 10005},                  // whole records only
  };
  for (const auto& c : cases) EXPECT_EQ(quorcard::nearestHandleId(c.buffer.data(), c.size), c.expected) << c.expected;
}

class ViewerPick : public CardTest {
 protected:
  // A press at card position (x, y) of a 4 x 3 card: its selection and the
  // point knobs it shows.
  void pick(double x, double y, int id, const Names& shown) {
    press(byHand(x, y));
    EXPECT_EQ(knob("selected_cp")->get_value(), id) << x << ", " << y;
    EXPECT_EQ(visiblePointKnobs(), shown) << x << ", " << y;
  }
  void SetUp() override {
    CardTest::SetUp();
    set("y_points", "3");
    node->setSelected(true);
  }
};

// Point i = 4 r + c of the 4 x 3 card is named 10000 + 5 i; a press shows
// the knob of column c, row r, whichever corner or point it is; handles are
// not pickable under "linear" or "smooth", and "smooth" shows no tangent
// knobs (catches: row and column turned round, a corner out of reach, the
// first or the last name lost, tangent knobs shown for the wrong type).
TEST_F(ViewerPick, EveryCornerAndPointShowsItsOwnKnobs) {
  for (const auto& p : {std::make_pair(0, 0), {3, 0}, {0, 2}, {3, 2}, {2, 1}})  // column, row
    pick(-0.5 + p.first / 3.0, -0.5 + p.second / 2.0, 10000 + 5 * (4 * p.second + p.first),
         {"control_point." + std::to_string(p.first) + "." + std::to_string(p.second)});
  pick(1 / 6.0, 1 / 6.0, 0, {});  // the "up" handle of (2, 1)
  pick(0.3, 0.3, 0, {});          // the surface between points
  set("type", "smooth");
  pick(1 / 6.0, 0, 10030, {"control_point.2.1"});
  pick(1 / 6.0, 1 / 6.0, 0, {});
}

// Under "smooth with handles" a press on a handle picks it, highlights it
// and shows its point's knobs with the tangent knobs; "linear" hides the
// tangent knobs and highlights the point instead; a press on empty space or
// on an unselected card shows nothing (catches: the highlight or the tangent
// knobs not following the type, the handle's name taken for another).
TEST_F(ViewerPick, HandlesUnderSmoothWithHandles) {
  const std::string p = "control_point.1.1", q = "control_point.3.2";
  set("type", "smooth with handles");
  pick(-1 / 6.0, 1 / 6.0, 10029, {p, p + ".0", p + ".1", p + ".2", p + ".3"});  // point 5, "up"
  EXPECT_EQ(draw().countAround(byHand(-1 / 6.0, 1 / 6.0), 2, kHighlight), 25);
  set("type", "linear");
  EXPECT_EQ(visiblePointKnobs(), Names{p});
  const Picture linear = draw();
  EXPECT_EQ(linear.countAround(byHand(-1 / 6.0, 0), 3, kHighlight), 25);
  EXPECT_EQ(linear.count(kHighlight), 25);
  set("type", "smooth with handles");
  EXPECT_EQ(visiblePointKnobs(), (Names{p, p + ".0", p + ".1", p + ".2", p + ".3"}));
  pick(0.5, 0.5 - 1 / 6.0, 10057, {q, q + ".0", q + ".1"});  // the last point's last handle
  pick(-0.8, 0.55, 0, {});
  pick(0.5 - 1 / 9.0, 0.5, 10056, {q, q + ".0", q + ".1"});
  node->setSelected(false);
  pick(0.5 - 1 / 9.0, 0.5, 0, {});
}

}  // namespace
}  // namespace cardtest
