// Picking points and handles with presses in the viewer, on real OpenGL
// selection passes, and the scan of the selection buffer behind it.
#include "CardTestSupport.h"
#include "viewer/HandleIds.h"

namespace cardtest {
namespace {

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
