// What the card does when its knobs change.
#include <cmath>

#include "CardTestSupport.h"

using namespace cardtest;
using DD::Image::Knob;

namespace {

class CardReactions : public CardGraph {};

// A knob the host does not hold, with a name chosen by the test.
class LooseKnob : public Knob {
 public:
  explicit LooseKnob(const char* name) : Knob(nullptr, name) {}
  const char* Class() const override { return "LooseKnob"; }
  double get_value(int channel) const override { return channel == 0 ? 0.25 : 0; }
};

TEST_F(CardReactions, UnreactiveKnobsAndUnknownPointNamesChangeNothing) {
  EXPECT_EQ(card->knob_changed(nullptr), 0);
  const std::string before = cpstr();
  for (const char* name : {"ratio", "x_ratio", "y_ratio", "selected_cp", "force_update"}) {
    set(name, "1");
    EXPECT_EQ(card->knob_changed(knob(name)), 1) << name;
  }
  EXPECT_EQ(cpstr(), before);
  for (const char* name : {"control_point.1.0.9", "control_point.0.0.0", "control_point.9.9", "control_point.1.0.x"}) {
    LooseKnob k(name);
    EXPECT_EQ(card->knob_changed(&k), 1);
    EXPECT_EQ(cpstr(), before) << name;
  }
}

TEST_F(CardReactions, PointCountsAndResetRebuildEverything) {
  set("control_point.1.1", "0.3,0.3,0");
  set("x_points", "6");
  ASSERT_EQ(card->points.size(), 24u);
  EXPECT_FLOAT_EQ(card->points[1].pos[0], -0.3f);  // default spacing: the move is gone
  EXPECT_EQ(pointKnobNames().size(), 1u + 24u + 76u);
  EXPECT_NE(cpstr().find("<count>24</count>"), std::string::npos);
  set("x_points", "3");
  EXPECT_EQ(pointKnobNames().size(), 47u);
  set("control_point.2.2", "0,0,0.5");
  EXPECT_EQ(card->points[8].pos[2], 0.5f);
  node->changed(knob("reset_handles"));
  EXPECT_EQ(card->points[8].pos[2], 0.0f);
}

TEST_F(CardReactions, AspectFollowsTheImageInput) {
  set("control_point.1.2.3", "-0.2,0.4,0");
  const float handleY = card->points[9].controlPoints[3][1];
  set("aspect", "1");  // no image: square
  EXPECT_EQ(card->yRatio, 1.0f);
  std::string error;
  ASSERT_TRUE(graph.connect(node, 1, addImage(2048, 1024), &error)) << error;
  set("aspect", "1");
  EXPECT_EQ(card->xRatio, 1.0f);
  EXPECT_EQ(card->yRatio, 0.5f);
  EXPECT_EQ(knob("ratio")->get_value(), 2.0);
  EXPECT_FLOAT_EQ(card->points[0].pos[1], -0.25f);
  EXPECT_FLOAT_EQ(card->points[0].pos[0], -0.5f);
  EXPECT_FLOAT_EQ(card->points[9].controlPoints[3][1], handleY * 0.5f);
  EXPECT_FLOAT_EQ(knob("control_point.0.0")->get_value(1), -0.25f);
  set("aspect", "square");
  EXPECT_EQ(card->yRatio, 1.0f);
  EXPECT_FLOAT_EQ(card->points[0].pos[1], -0.5f);
}

TEST_F(CardReactions, BreakHidesMirrorAndTypeShowsTangents) {
  set("break_tangent", "1");
  EXPECT_FALSE(knob("mirror_tangent")->isVisible());
  set("break_tangent", "0");
  EXPECT_TRUE(knob("mirror_tangent")->isVisible());
  card->selectPoint(1, 2);
  EXPECT_EQ(card->selectedPointKnob, "control_point.2.1");
  EXPECT_TRUE(knob("control_point.2.1")->isVisible());
  EXPECT_FALSE(knob("control_point.2.1.3")->isVisible());
  set("type", "smooth with handles");
  for (int s = 0; s < 4; ++s) EXPECT_TRUE(knob("control_point.2.1." + std::to_string(s))->isVisible()) << s;
  set("type", "linear");
  EXPECT_FALSE(knob("control_point.2.1.0")->isVisible());
}

TEST_F(CardReactions, TransformMovesWhatTheSelectedKnobsShowOnly) {
  set("translate", "1,0,0");  // nothing selected: no per-point knob changes
  EXPECT_FLOAT_EQ(knob("control_point.1.1")->get_value(0), -1.0f / 6.0f);
  card->selectPoint(1, 1);
  const std::string before = cpstr();
  set("translate", "2,0,0");
  EXPECT_FLOAT_EQ(knob("control_point.1.1")->get_value(0), 2.0f - 1.0f / 6.0f);
  EXPECT_FLOAT_EQ(knob("control_point.1.1.2")->get_value(0), 2.0f - 1.0f / 6.0f + 1.0f / 9.0f);
  EXPECT_EQ(cpstr(), before);
  set("control_point.1.1", "2,0,0");  // back through the inverse transform
  EXPECT_FLOAT_EQ(card->points[5].pos[0], 0.0f);
}

// Handle (1, 2) "right" moved by (0.3, 0.4) from its point: the "left" handle
// turns keeping its length, takes the mirrored length, or stays.
TEST_F(CardReactions, TangentEditsFollowBreakAndMirror) {
  const float px = -1.0f / 6.0f, py = 1.0f / 6.0f, len = 1.0f / 9.0f;
  const struct {
    const char *breakOn, *mirrorOn;
    float x, y;
  } cases[] = {{"0", "0", px - 0.3f * len / 0.5f, py - 0.4f * len / 0.5f},
               {"0", "1", px - 0.3f, py - 0.4f},
               {"1", "0", px - len, py},
               {"1", "1", px - len, py}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.breakOn) + c.mirrorOn);
    node->changed(knob("reset_handles"));
    set("break_tangent", c.breakOn);
    set("mirror_tangent", c.mirrorOn);
    set("control_point.1.2.2", std::to_string(px + 0.3f) + "," + std::to_string(py + 0.4f) + ",0");
    const auto& slots = card->points[9].controlPoints;
    EXPECT_NEAR(slots[0][0], c.x, 1e-6);
    EXPECT_NEAR(slots[0][1], c.y, 1e-6);
    EXPECT_NEAR(knob("control_point.1.2.0")->get_value(1), c.y, 1e-6);
  }
}

// A transform without a finite inverse must not bring NaN or infinity into
// the points: the saved text could not be read back.
TEST_F(CardReactions, NonFiniteKnobValuesChangeNothing) {
  knob("uniform_scale")->set_value(1e-38, -1);
  node->changed(knob("uniform_scale"));
  knob("control_point.1.1")->set_value(1e38, 0);
  node->changed(knob("control_point.1.1"));
  EXPECT_TRUE(std::isfinite(card->points[5].pos[0]) && std::isfinite(card->points[5].pos[1]));
}

}  // namespace
