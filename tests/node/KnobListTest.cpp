// The card's knob list: order, kinds, labels, flags, ranges and the block of
// per-point knobs after "delimiter".
#include <tuple>

#include "CardTestSupport.h"
#include "Quor/Quor.h"

using namespace cardtest;
using namespace DD::Image;

namespace {

class CardKnobs : public CardTest {};

// Catches: a knob missing, moved, renamed, shown or of another kind.
TEST_F(CardKnobs, DeclaredInOrderWithTheirKindsAndLabels) {
  // name ("" for none), kind, label
  const std::vector<std::tuple<std::string, int, std::string>> expected = {{"aspect", 4, ""},
                                                                           {"", 26, "uvs"},
                                                                           {"flip_uvs", 6, "flip"},
                                                                           {"", 25, ""},
                                                                           {"flop_uvs", 6, "flop"},
                                                                           {"", 25, ""},
                                                                           {"swap_uvs", 6, "swap"},
                                                                           {"ratio", 8, ""},
                                                                           {"x_ratio", 8, ""},
                                                                           {"y_ratio", 8, ""},
                                                                           {"selected_cp", 3, ""},
                                                                           {"", 26, " "},
                                                                           {"orientation", 4, "normals"},
                                                                           {"shade", 4, "shade"},
                                                                           {"force_update", 3, ""},
                                                                           {"cpstr", 1, ""},
                                                                           {"", 26, ""},
                                                                           {"Space", 20, ""},
                                                                           {"translate", 13, ""},
                                                                           {"rotate", 13, ""},
                                                                           {"scaling", 13, "scale"},
                                                                           {"uniform_scale", 7, "uniform scale"},
                                                                           {"skew", 13, ""},
                                                                           {"pivot", 13, ""},
                                                                           {"display", 4, ""},
                                                                           {"selectable", 6, ""},
                                                                           {"file_menu", 32, "file"},
                                                                           {"snap_menu", 32, "snap"},
                                                                           {"", 20, ""},
                                                                           {"", 26, ""},
                                                                           {"help", 22, "rtfm\u2122"},
                                                                           {"", 20, "Deform"},
                                                                           {"hidden_knob", 21, ""},
                                                                           {"type", 4, ""},
                                                                           {"reset_handles", 32, "reset handles"},
                                                                           {"handle_size", 3, "handle size"},
                                                                           {"x_points", 3, "x/y points"},
                                                                           {"y_points", 3, ""},
                                                                           {"", 26, "tangent"},
                                                                           {"break_tangent", 6, "break"},
                                                                           {"", 25, ""},
                                                                           {"mirror_tangent", 6, "mirror"},
                                                                           {"delimiter", 26, ""}};
  const auto& knobs = node->knobs();
  ASSERT_EQ(knobs.size(), expected.size() + 65);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(std::make_tuple(knobs[i]->name(), knobs[i]->kind(), knobs[i]->label()), expected[i]) << i;
  }
  for (const char* name : {"ratio", "x_ratio", "y_ratio", "selected_cp", "force_update", "cpstr"})
    EXPECT_TRUE(knob(name)->labelIsInvisible() && !knob(name)->isVisible()) << name;
  for (const char* name : {"display", "selectable", "file_menu", "snap_menu"})
    EXPECT_FALSE(knob(name)->isVisible()) << name;
  EXPECT_TRUE(knob("mirror_tangent")->isVisible());
  EXPECT_EQ(knob("shade")->valueText(), "front only");
  EXPECT_EQ(knob("type")->valueText(), "linear");
}

// Catches: a flag, range, tooltip or script lost or changed.
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
  const std::string script = buttonScript(knob("help"));
  EXPECT_EQ(script, "from webbrowser import open_new_tab\nopen_new_tab('file://" + std::string(Quor_homeDir()) +
                        "/doc/html/QuorCard/index.html')");
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
