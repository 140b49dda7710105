// Picking points and handles with presses in the viewer, on real OpenGL
// selection passes, and the scan of the selection buffer behind it.
#include "ViewerTestSupport.h"
#include "viewer/HandleIds.h"

namespace viewertest {
namespace {

// Records are (name count, minimum depth, maximum depth, name).
TEST(HitRecordScan, NearestNamedRecordUpToTheFirstEmptyOne) {
  struct Case {
    std::vector<unsigned> buffer;
    size_t size;
    unsigned expected;
  };
  const Case cases[] = {
      {{1, 0x2000, 0x2000, 10005, 1, 0x1000, 0x1000, 10010}, 8, 10010},            // smaller depth wins
      {{1, 0x1000, 0x3000, 10005, 1, 0x1000, 0x1000, 10010}, 8, 10005},            // equal: the earlier
      {{1, 0x10, 0x10, 9999, 1, 0x1000, 0x1000, 10010}, 8, 10010},                 // not a card name
      {{1, 0x80000000u, 0, 0x80000000u, 1, 0xFFFFFFFFu, 0, 10001}, 8, 0x80000000u},  // unsigned
      {{0, 0x10, 0x10, 10005, 1, 0x10, 0x10, 10010}, 8, 0},                        // empty first
      {{1, 0x2000, 0x2000, 10005, 0, 0, 0, 0, 1, 0x10, 0x10, 10010}, 12, 10005},   // stops at empty
      {{1, 0x2000, 0x2000, 10005, 1, 0x10, 0x10, 10010}, 7, 10005},                // whole records only
  };
  for (const Case& c : cases) EXPECT_EQ(quorcard::nearestHandleId(c.buffer.data(), c.size), c.expected) << c.expected;
}

// Point i of the 4 x 4 grid is named 10000 + 5 i, its handle in slot k
// (0 left, 1 down, 2 right, 3 up) 10000 + 5 i + 1 + k. Handles sit a third
// of the way to the neighbouring point: 1/9.
TEST_F(ViewerTest, PressesPickPointsAndHandlesAndShowTheirKnobs) {
  const double step = 1.0 / 9;
  auto pick = [&](double x, double y, int id, const std::vector<std::string>& shown) {
    SCOPED_TRACE(id);
    press(byHand(x, y));
    EXPECT_EQ(node->knob("selected_cp")->get_value(), id);
    EXPECT_EQ(visiblePointKnobs(), shown);
  };
  node->setSelected(true);
  const std::string p21 = "control_point.2.1", p33 = "control_point.3.3";
  pick(grid(2), grid(1), 10030, {p21});  // point 6
  EXPECT_FLOAT_EQ(static_cast<float>(node->knob(p21)->get_value(0)), static_cast<float>(grid(2)));
  EXPECT_FLOAT_EQ(static_cast<float>(node->knob(p21)->get_value(1)), static_cast<float>(grid(1)));
  pick(grid(2), grid(1) + step, 0, {});  // no handles under "linear"
  pick(grid(3), grid(3), 10075, {p33});  // the last point, the last name loaded
  pick(0.3, 0.3, 0, {});                 // the surface between points
  set("type", "smooth with handles");
  pick(grid(2), grid(1) + step, 10034, {p21, p21 + ".0", p21 + ".1", p21 + ".2", p21 + ".3"});
  EXPECT_EQ(draw().countAround(byHand(grid(2), grid(1) + step), 2, kHighlight), 25);
  pick(grid(3), grid(3) - step, 10077, {p33, p33 + ".0", p33 + ".1"});  // its last handle: down
  pick(-0.8, 0.55, 0, {});                                               // empty space
  pick(grid(3), grid(3) - step, 10077, {p33, p33 + ".0", p33 + ".1"});
  node->setSelected(false);
  pick(grid(3), grid(3) - step, 0, {});
}

}  // namespace
}  // namespace viewertest
