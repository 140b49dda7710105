// What the card does when its knobs change, and the edits it refuses.
#include "CardTestSupport.h"

using namespace cardtest;

namespace {

class CardReactions : public CardTest {
 protected:
  // The transform knobs set one after another on a 4 x 3 card, with what the
  // knobs of the point in column 2, row 1 at (1/6, 0, 0) and of its "up"
  // handle at (1/6, 1/6, 0) show after each, worked out by hand. At the end
  //   knob = L card + c,  L = Rz(90) skew scale = | 0  -1.5   0  |
  //                                               | 1   0.75  0  |
  //                                               | 0   0     0.5|
  //   c = translate + pivot - L pivot = (0.35, -0.45, -1).
  struct Step {
    const char *knob, *value;
    Values point, up;
  };
  const std::vector<Step> steps = {{"translate", "0.1,-0.2,-1", {0.2666667, -0.2, -1}, {0.2666667, -0.0333333, -1}},
                                   {"rotate", "0,0,90", {0.1, -0.0333333, -1}, {-0.0666667, -0.0333333, -1}},
                                   {"scaling", "2,3,1", {0.1, 0.1333333, -1}, {-0.4, 0.1333333, -1}},
                                   {"uniform_scale", "0.5", {0.1, -0.0333333, -1}, {-0.15, -0.0333333, -1}},
                                   {"skew", "0.5,0,0", {0.1, -0.0333333, -1}, {-0.15, 0.0916667, -1}},
                                   {"pivot", "0.25,0,0", {0.35, -0.2833333, -1}, {0.1, -0.1583333, -1}}};
  void SetUp() override {
    CardTest::SetUp();
    set("y_points", "3");
  }
};

// Catches: a count change that keeps the old points, a block of knobs that
// leaves knobs behind or removes too many.
// "reset handles" is the window suite's and the persistence tests'.
TEST_F(CardReactions, PointCountsRebuildEverything) {
  set("control_point.1.1", "0.3,0.3,0");
  set("x_points", "6");  // 6 x 3: the default spacing, the move is gone
  ASSERT_EQ(stored().size(), 18u);
  EXPECT_FLOAT_EQ(stored()[7].pos[0], -0.3f);
  EXPECT_EQ(pointKnobNames().size(), 1u + 18u + 54u);
  set("x_points", "3");
  set("y_points", "4");
  EXPECT_EQ(pointKnobNames().size(), 47u);
}

// A 2048 x 1024 image makes the card 1 x 0.5: every y, of points and of a
// moved handle, is halved and every point knob shows it; "square" brings
// the 1 x 1 card back (catches: x and y factors turned round, the knobs not
// refreshed or refreshed from the wrong point, "square" ignored, the menu
// without the item that follows the image).
TEST_F(CardReactions, AspectFollowsTheImageInput) {
  set("control_point.2.1.3", "0.2,0.4,0");
  set("aspect", "1");  // no image yet: square
  EXPECT_EQ(knob("y_ratio")->get_value(), 1.0);
  connect(1, format(2048, 1024));
  set("aspect", "square");
  set("aspect", "from img");
  EXPECT_EQ(Values({knob("ratio")->get_value(), knob("x_ratio")->get_value(), knob("y_ratio")->get_value()}),
            Values({2, 1, 0.5}));
  EXPECT_EQ(std::vector<float>(stored()[6].controlPoints[3]), (std::vector<float>{0.2f, 0.2f, 0.0f}));
  expectNear(values("control_point.2.1.3"), {0.2, 0.2, 0}, 1e-7, "moved handle");
  expectNear(values("control_point.3.2"), {0.5, 0.25, 0}, 1e-7, "corner");
  expectNear(values("control_point.0.1.2"), {-0.5 + 1 / 9.0, 0, 0}, 1e-7, "right handle");
  set("aspect", "square");
  EXPECT_EQ(knob("y_ratio")->get_value(), 1.0);
  EXPECT_FLOAT_EQ(stored()[6].controlPoints[3][1], 0.4f);
}

// Each transform knob refreshes the knobs of the selected point, which show
// it through the transform, while the stored points stay; a point pressed
// under the transform shows it too (catches: a transform knob left out, the
// wrong point refreshed, the transform not applied, the points moved).
TEST_F(CardReactions, TransformKnobsRefreshTheSelectedPointOnly) {
  node->setSelected(true);
  set("type", "smooth with handles");
  press(byHand(1 / 6.0, 0));
  const std::string p = "control_point.2.1";
  EXPECT_EQ(visiblePointKnobs(), (std::vector<std::string>{p, p + ".0", p + ".1", p + ".2", p + ".3"}));
  const std::string text = cpstr();
  for (const Step& s : steps) {
    set(s.knob, s.value);
    expectNear(values(p), s.point, 1e-6, s.knob);
    expectNear(values(p + ".3"), s.up, 1e-6, s.knob);
  }
  EXPECT_EQ(cpstr(), text);
  // The top right corner, (0.5, 0.5, 0) on the card, and its "left" handle,
  // (0.3888889, 0.5, 0), through L and c.
  press(byHand(-0.4, 0.425, -1));
  const std::string q = "control_point.3.2";
  EXPECT_EQ(visiblePointKnobs(), (std::vector<std::string>{q, q + ".0", q + ".1"}));
  expectNear(values(q), {-0.4, 0.425, -1}, 1e-6, q);
  expectNear(values(q + ".0"), {-0.4, 0.3138889, -1}, 1e-6, q + ".0");
}

// Knob values come back through the inverse transform: the stored text holds
// the card-local positions. The "right" handle of column 2, row 1 moved to
// (0.4666667, 0.4, 1.2) = point + (0.3, 0.4, 1.2), 1.3 long, turns the
// "left" handle (1/9 from the point) to point - (0.3, 0.4, 1.2) / 11.7,
// mirrors it to point - (0.3, 0.4, 1.2), or leaves it ("break", which hides
// "mirror"); its knob shows where it went through the transform (catches: no
// inverse, the opposite handle at the wrong length or side, its knob not
// updated or untransformed, "mirror" shown with "break").
TEST_F(CardReactions, PointAndTangentKnobsGoBackThroughTheTransform) {
  for (const Step& s : steps) set(s.knob, s.value);
  const quorcard::PointList before = stored();
  setValues("control_point.2.1", {0.05, -0.2, -0.8});  // card (0.1, 0.2, 0.4)
  const quorcard::PointList after = stored();
  expectNear(Values(after[6].pos, after[6].pos + 3), {0.1, 0.2, 0.4}, 1e-6, "moved point");
  EXPECT_EQ(after[6].controlPoints, before[6].controlPoints);

  const struct {
    const char *breakOn, *mirrorOn;
    Values left, knob;
  } cases[] = {{"0", "0", {0.1410256, -0.0341880, -0.1025641}, {0.4012821, -0.3346154, -1.0512821}},
               {"0", "1", {-0.1333333, -0.4, -1.2}, {0.95, -0.8833333, -1.6}},
               {"1", "0", {1 / 18.0, 0, 0}, {0.35, -0.3944444, -1}},
               {"1", "1", {1 / 18.0, 0, 0}, {0.35, -0.3944444, -1}}};
  for (const auto& c : cases) {
    const std::string what = std::string("break ") + c.breakOn + " mirror " + c.mirrorOn;
    node->changed(knob("reset_handles"));
    set("break_tangent", c.breakOn);
    EXPECT_EQ(knob("mirror_tangent")->isVisible(), *c.breakOn == '0');
    set("mirror_tangent", c.mirrorOn);
    setValues("control_point.2.1.2", {-0.25, 0.3166667, -0.4});
    const std::vector<std::vector<float>> slots = stored()[6].controlPoints;
    expectNear(Values(slots[2].begin(), slots[2].end()), {0.4666667, 0.4, 1.2}, 1e-5, what + " right");
    expectNear(Values(slots[0].begin(), slots[0].end()), c.left, 1e-5, what + " left");
    expectNear(values("control_point.2.1.0"), c.knob, 1e-5, what + " left knob");
  }
}

// Refused: an image aspect that gives no usable card (0, negative, infinite,
// undefined), a knob value whose way back through a near-singular transform
// is not finite, and a handle so far away that its length overflows, which
// keeps the opposite handle; the stored text stays readable (catches: a
// ratio or value let through, an opposite handle collapsed onto its point).
TEST_F(CardReactions, UnusableRatiosValuesAndLengthsAreRefused) {
  const std::string text = cpstr();
  for (const auto& size : {std::make_pair(0, 1), {-2, 1}, {1, 0}, {0, 0}}) {
    connect(1, format(size.first, size.second));
    set("aspect", "1");
    node->op()->validate(true);
    for (const char* name : {"ratio", "x_ratio", "y_ratio"})
      EXPECT_EQ(knob(name)->get_value(), 1.0) << name << " of " << size.first << " x " << size.second;
    EXPECT_EQ(cpstr(), text);
  }

  set("uniform_scale", "1e-38");
  setValues("control_point.1.1", {1e38, 0, 0});
  setValues("control_point.1.1.2", {1e38, 0, 0});
  EXPECT_EQ(cpstr(), text);

  set("uniform_scale", "1");
  setValues("control_point.1.1.2", {3e38, 3e38, 0});
  const quorcard::PointList points = stored();
  ASSERT_EQ(points.size(), 12u);
  EXPECT_FLOAT_EQ(points[5].controlPoints[2].at(1), 3e38f);
  EXPECT_EQ(points[5].controlPoints[0], quorcard::textToPoints(text)[5].controlPoints[0]);
}

}  // namespace
