// What the card does when its knobs change.
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

float posX(const quorcard::QuorCard* c, int i) { return c->points[i].pos[0]; }
float posY(const quorcard::QuorCard* c, int i) { return c->points[i].pos[1]; }

TEST_F(CardReactions, AnswersOneForEveryKnobAndBaseForNull) {
  EXPECT_EQ(card->knob_changed(nullptr), 0);
  const std::string before = cpstr();
  const std::vector<quorcard::VtxPoint> points = card->points;
  for (const char* name : {"ratio", "x_ratio", "y_ratio", "selected_cp", "force_update", "swap_uvs"}) {
    set(name, "1");
    EXPECT_EQ(card->knob_changed(knob(name)), 1) << name;
  }
  set("cpstr", "");
  EXPECT_EQ(card->points.size(), points.size());
  EXPECT_EQ(card->points[5].pos[0], points[5].pos[0]);
  EXPECT_TRUE(cpstr().empty());  // the knob holds what was set; nothing reacted
  set("cpstr", before);
  // Names that look like per-point knobs but name nothing change nothing.
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
  EXPECT_FLOAT_EQ(posX(card, 1), -0.5f + 0.2f);  // default spacing, the move is gone
  EXPECT_EQ(pointKnobNames().size(), 1u + 24u + 76u);
  EXPECT_NE(cpstr().find("<count>24</count>"), std::string::npos);
  set("x_points", "3");
  EXPECT_EQ(pointKnobNames().size(), 47u);
  set("x_points", "4");
  set("control_point.2.2", "0,0,0.5");
  EXPECT_EQ(card->points[10].pos[2], 0.5f);
  card->knob_changed(knob("reset_handles"));
  EXPECT_EQ(card->points[10].pos[2], 0.0f);
  EXPECT_EQ(pointKnobNames().size(), 65u);
}

TEST_F(CardReactions, AspectFollowsTheImageInput) {
  set("control_point.1.2.3", "-0.2,0.4,0");
  const float handleY = card->points[9].controlPoints[3][1];
  set("aspect", "1");  // no image: square
  EXPECT_EQ(card->yRatio, 1.0f);
  Node* read = add("Read");
  ASSERT_TRUE(read->userSetText(read->knob("file"), writePng("aspect.png", 2048, 1024).c_str()));
  std::string error;
  ASSERT_TRUE(graph.connect(node, 1, read, &error)) << error;
  set("aspect", "1");
  EXPECT_EQ(card->xRatio, 1.0f);
  EXPECT_EQ(card->yRatio, 0.5f);
  EXPECT_EQ(knob("y_ratio")->get_value(), 0.5);
  EXPECT_EQ(knob("ratio")->get_value(), 2.0);
  EXPECT_FLOAT_EQ(posY(card, 0), -0.25f);
  EXPECT_FLOAT_EQ(posX(card, 0), -0.5f);
  EXPECT_FLOAT_EQ(card->points[9].controlPoints[3][1], handleY * 0.5f);
  EXPECT_FLOAT_EQ(knob("control_point.0.0")->get_value(1), -0.25f);
  set("aspect", "square");
  EXPECT_EQ(card->yRatio, 1.0f);
  EXPECT_FLOAT_EQ(posY(card, 0), -0.5f);
}

TEST_F(CardReactions, BreakHidesMirrorAndTypeShowsTangents) {
  set("break_tangent", "1");
  EXPECT_FALSE(knob("mirror_tangent")->isVisible());
  set("break_tangent", "0");
  EXPECT_TRUE(knob("mirror_tangent")->isVisible());

  node->setSelected(true);
  card->selectPoint(1, 2);
  EXPECT_EQ(card->selectedPointKnob, "control_point.2.1");
  EXPECT_TRUE(knob("control_point.2.1")->isVisible());
  EXPECT_FALSE(knob("control_point.2.1.3")->isVisible());
  set("type", "smooth with handles");
  for (int s = 0; s < 4; ++s) EXPECT_TRUE(knob("control_point.2.1." + std::to_string(s))->isVisible()) << s;
  set("type", "linear");
  EXPECT_FALSE(knob("control_point.2.1.0")->isVisible());
  EXPECT_TRUE(knob("control_point.2.1")->isVisible());
}

TEST_F(CardReactions, TransformMovesWhatTheSelectedKnobsShowOnly) {
  set("translate", "1,0,0");  // nothing selected: no per-point knob changes
  EXPECT_FLOAT_EQ(knob("control_point.1.1")->get_value(0), -1.0f / 6.0f);
  card->selectPoint(1, 1);
  EXPECT_FLOAT_EQ(knob("control_point.1.1")->get_value(0), 1.0f - 1.0f / 6.0f);
  const std::string before = cpstr();
  set("translate", "2,0,0");
  EXPECT_FLOAT_EQ(knob("control_point.1.1")->get_value(0), 2.0f - 1.0f / 6.0f);
  EXPECT_FLOAT_EQ(knob("control_point.1.1.2")->get_value(0), 2.0f - 1.0f / 6.0f + 1.0f / 9.0f);
  EXPECT_EQ(cpstr(), before);
  // A knob value comes back through the inverse transform.
  set("control_point.1.1", "2,0,0");
  EXPECT_FLOAT_EQ(posX(card, 5), 0.0f);
}

// Handle (1, 2) "right" moved by (0.3, 0.4) from its point: the "left" handle
// turns, keeping its own length, takes the mirrored length, or stays.
TEST_F(CardReactions, TangentEditsFollowBreakAndMirror) {
  const float px = -1.0f / 6.0f, py = 1.0f / 6.0f;
  const float oldLeft = 1.0f / 9.0f;
  struct Case {
    const char* breakOn;
    const char* mirrorOn;
    float leftX, leftY;
  } cases[] = {
      {"0", "0", px - 0.3f * (oldLeft / 0.5f), py - 0.4f * (oldLeft / 0.5f)},
      {"0", "1", px - 0.3f, py - 0.4f},
      {"1", "0", px - oldLeft, py},
      {"1", "1", px - oldLeft, py},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.breakOn) + c.mirrorOn);
    card->knob_changed(knob("reset_handles"));
    set("break_tangent", c.breakOn);
    set("mirror_tangent", c.mirrorOn);
    const std::string value = std::to_string(px + 0.3f) + "," + std::to_string(py + 0.4f) + ",0";
    set("control_point.1.2.2", value);
    const auto& slots = card->points[9].controlPoints;
    EXPECT_NEAR(slots[2][0], px + 0.3f, 1e-6);
    EXPECT_NEAR(slots[0][0], c.leftX, 1e-6);
    EXPECT_NEAR(slots[0][1], c.leftY, 1e-6);
    EXPECT_NEAR(knob("control_point.1.2.0")->get_value(0), c.leftX, 1e-6);
    EXPECT_NEAR(knob("control_point.1.2.0")->get_value(1), c.leftY, 1e-6);
    EXPECT_NE(cpstr().find("<count>16</count>"), std::string::npos);
  }
}

TEST_F(CardReactions, NonFiniteKnobValuesChangeNothing) {
  const std::string before = cpstr();
  knob("control_point.1.1")->set_value(1e38, 0);
  knob("scaling")->set_value(1e-38, -1);
  knob("uniform_scale")->set_value(1e-38, -1);
  node->changed(knob("scaling"));  // a degenerate transform: no finite inverse
  node->changed(knob("control_point.1.1"));
  EXPECT_TRUE(std::isfinite(card->points[5].pos[0]));
  EXPECT_TRUE(std::isfinite(card->points[5].pos[1]));
  (void)before;
}

}  // namespace
