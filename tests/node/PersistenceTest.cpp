// The points travel in "cpstr": saved with the script, restored on attach.
#include <iostream>
#include <sstream>

#include "CardTestSupport.h"

using namespace cardtest;

namespace {

class CardPersistence : public CardTest {};

// A loaded card shows every point and handle as the saved one did, stores
// the same text, and hides "mirror" when "break" was saved on (catches: a
// restore that rebuilds the default grid, knobs not built from the restored
// points).
TEST_F(CardPersistence, EveryPointAndHandleComesBack) {
  set("control_point.1.2", "-0.123456789,0.2,0.0001");
  set("control_point.1.2.2", "0.1,0.3,-0.0123");
  Node* copy = load({{"cpstr", cpstr()}, {"break_tangent", "1"}});
  EXPECT_EQ(cpstr(copy), cpstr());
  expectNear(values("control_point.1.2", copy), {-0.123456789, 0.2, 0.0001}, 1e-7, "point");
  expectNear(values("control_point.1.2.2", copy), {0.1, 0.3, -0.0123}, 1e-7, "right handle");
  expectNear(values("control_point.1.2.0", copy), values("control_point.1.2.0"), 1e-8, "left handle");
  EXPECT_FALSE(knob("mirror_tangent", copy)->isVisible());
}

// Unreadable text gives the two warning lines, then the default grid of the
// card's own counts, 6 x 3, which replaces the text (catches: counts turned
// round, the unreadable text kept, the warnings swallowed).
TEST_F(CardPersistence, DamagedTextGivesTheDefaultGridOfItsCountsAndTwoWarnings) {
  std::string damaged = cpstr();
  damaged.replace(damaged.find("<pos>"), 5, "<pas>");
  std::stringstream warnings;
  std::streambuf* old = std::cerr.rdbuf(warnings.rdbuf());
  node = load({{"x_points", "6"}, {"y_points", "3"}, {"cpstr", damaged}});
  std::cerr.rdbuf(old);
  // The warnings' words are the grid suite's.
  EXPECT_EQ(testsupport::lines(warnings.str()).size(), 2u) << warnings.str();
  const quorcard::PointList points = stored();
  ASSERT_EQ(points.size(), 18u);
  for (int i = 0; i < 18; ++i)
    expectNear(Values(points[i].pos, points[i].pos + 3), {-0.5 + (i % 6) / 5.0, -0.5 + (i / 6) / 2.0, 0}, 1e-7,
               "point " + std::to_string(i));
  EXPECT_EQ(pointKnobNames().size(), 1u + 18u + 54u);
}

// A readable text whose point count disagrees with the counts is kept as it
// is, with no point knobs; a new aspect leaves it alone but keeps the new
// size, and "reset handles" rebuilds the grid for it (catches: walking a grid
// by counts it does not have, the new size lost).
TEST_F(CardPersistence, MismatchedGridIsKeptAndLeftAlone) {
  set("x_points", "3");
  set("y_points", "2");
  const std::string six = cpstr();
  node = load({{"cpstr", six}});  // 4 x 4 by its knobs
  EXPECT_EQ(stored().size(), 6u);
  EXPECT_EQ(pointKnobNames(), std::vector<std::string>{"<header>"});
  connect(1, format(2, 1));
  set("aspect", "1");
  EXPECT_EQ(knob("y_ratio")->get_value(), 0.5);
  EXPECT_EQ(cpstr(), six);
  node->changed(knob("reset_handles"));
  ASSERT_EQ(stored().size(), 16u);
  EXPECT_EQ(stored()[0].pos[1], -0.25f);
}

}  // namespace
