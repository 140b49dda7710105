// The card's knob list: order, kinds, labels, flags, ranges and the block of
// per-point knobs after "delimiter".
#include "CardTestSupport.h"

using namespace cardtest;
using namespace DD::Image;

namespace {

class CardKnobs : public CardTest {};

// The panel's rows, order and labels are the window suite's. What else a
// script relies on: the knobs it holds hidden stay hidden but saved, the
// defaults it leaves out keep their values, and the block of point knobs
// ends the list right after "delimiter" (catches: a hidden knob shown or
// left out of scripts, a default changed, knobs declared after the block).
TEST_F(CardKnobs, HiddenSavedKnobsDefaultsAndTheBlockAtTheEnd) {
  for (const char* name : {"ratio", "x_ratio", "y_ratio", "selected_cp", "force_update", "cpstr"})
    EXPECT_TRUE(knob(name)->labelIsInvisible() && !knob(name)->isVisible() && !knob(name)->flag(Knob::DO_NOT_WRITE))
        << name;
  for (const char* name : {"display", "selectable", "file_menu", "snap_menu"})
    EXPECT_FALSE(knob(name)->isVisible()) << name;
  EXPECT_TRUE(knob("mirror_tangent")->isVisible());
  EXPECT_EQ(knob("shade")->valueText(), "front only");
  EXPECT_EQ(knob("type")->valueText(), "linear");
  EXPECT_EQ(knob("orientation")->valueText(), "unchanged");
  const auto& knobs = node->knobs();
  EXPECT_EQ(knobs[knobs.size() - 66]->name(), "delimiter");
}

// Catches: a flag, range or tooltip lost or changed (the help button's script
// is the host suite's, pressed).
TEST_F(CardKnobs, FlagsRangesTooltipsAndScripts) {
  EXPECT_FALSE(knob("flip_uvs")->flag(Knob::STARTLINE));
  EXPECT_TRUE(knob("swap_uvs")->flag(Knob::STARTLINE));
  EXPECT_FALSE(knob("break_tangent")->flag(Knob::STARTLINE));
  EXPECT_TRUE(knob("help")->flag(Knob::NO_RERENDER));
  EXPECT_EQ(knob("handle_size")->flags() & (Knob::FORCE_RANGE | Knob::DO_NOT_WRITE | Knob::SLIDER),
            Knob::FORCE_RANGE | Knob::DO_NOT_WRITE | Knob::SLIDER);
  EXPECT_FALSE(knob("x_points")->flag(Knob::ENDLINE));
  ASSERT_TRUE(knob("y_points")->set_text("50000"));
  EXPECT_EQ(knob("y_points")->get_value(), 40960);
  EXPECT_EQ(knob("x_points")->tooltip(), knob("y_points")->tooltip());
  EXPECT_NE(knob("type")->tooltip().find("<b>linear</b> \u2013 linear interpolation."), std::string::npos);
}

// Catches: a block that leaves out or repeats knobs, row and column turned
// round in a name, label or index, slot labels out of order, a knob that is
// shown or saved.
TEST_F(CardKnobs, PointKnobBlockNamesLabelsAndValues) {
  const std::vector<std::string> names = pointKnobNames();
  ASSERT_EQ(names.size(), 65u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6),
            (std::vector<std::string>{"<header>", "control_point.0.0", "control_point.0.0.2", "control_point.0.0.3",
                                      "control_point.1.0", "control_point.1.0.0"}));
  EXPECT_EQ(names.back(), "control_point.3.3.1");
  for (const auto& k : node->knobs())
    EXPECT_TRUE(!k->madeByReplace() || (!k->isVisible() && k->flag(Knob::DO_NOT_WRITE))) << k->name();
  // 4 x 3: column 2, row 1 lies at (1/6, 0), its handles 1/9 and 1/6 away.
  set("y_points", "3");
  ASSERT_NE(node->knob("control_point.2.1"), nullptr);
  EXPECT_EQ(knob("control_point.2.1")->label(), "col/row 2, 1");
  const char* labels[] = {"left", "down", "right", "up"};
  const Values at[] = {{1 / 18.0, 0, 0}, {1 / 6.0, -1 / 6.0, 0}, {5 / 18.0, 0, 0}, {1 / 6.0, 1 / 6.0, 0}};
  expectNear(values("control_point.2.1"), {1 / 6.0, 0, 0}, 1e-7, "point");
  for (int s = 0; s < 4; ++s) {
    const std::string name = "control_point.2.1." + std::to_string(s);
    ASSERT_NE(node->knob(name), nullptr) << name;
    EXPECT_EQ(knob(name)->label(), labels[s]);
    expectNear(values(name), at[s], 1e-7, name);
  }
}

}  // namespace
