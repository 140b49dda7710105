// The card's knob list: order, kinds, labels, flags, ranges and the block of
// per-point knobs after "delimiter".
#include "../../platform/ddimage/src/StockKnob.h"
#include "CardTestSupport.h"
#include "DDImage/Knobs.h"

using namespace cardtest;
using namespace DD::Image;

namespace {

class CardKnobs : public CardGraph {};

struct Expected {
  const char* name;  // "" for knobs without a name
  int kind;
  const char* label;
};

TEST_F(CardKnobs, DeclaredInOrderWithTheirKindsAndLabels) {
  const Expected expected[] = {
      {"aspect", ENUMERATION_KNOB, ""},  {"", TEXT_KNOB, "uvs"},
      {"flip_uvs", BOOL_KNOB, "flip"},   {"", SPACER_KNOB, ""},
      {"flop_uvs", BOOL_KNOB, "flop"},   {"", SPACER_KNOB, ""},
      {"swap_uvs", BOOL_KNOB, "swap"},   {"ratio", FLOAT_KNOB, ""},
      {"x_ratio", FLOAT_KNOB, ""},       {"y_ratio", FLOAT_KNOB, ""},
      {"selected_cp", INT_KNOB, ""},     {"", TEXT_KNOB, " "},
      {"orientation", ENUMERATION_KNOB, "normals"}, {"shade", ENUMERATION_KNOB, "shade"},
      {"force_update", INT_KNOB, ""},    {"cpstr", STRING_KNOB, ""},
      {"", TEXT_KNOB, ""},               {"Space", TAB_KNOB, ""},
      {"translate", XYZ_KNOB, ""},       {"rotate", XYZ_KNOB, ""},
      {"scaling", XYZ_KNOB, "scale"},    {"uniform_scale", DOUBLE_KNOB, "uniform scale"},
      {"skew", XYZ_KNOB, ""},            {"pivot", XYZ_KNOB, ""},
      {"display", ENUMERATION_KNOB, ""}, {"selectable", BOOL_KNOB, ""},
      {"file_menu", SCRIPT_KNOB, "file"}, {"snap_menu", SCRIPT_KNOB, "snap"},
      {"", TAB_KNOB, ""},                {"", TEXT_KNOB, ""},
      {"help", PYSCRIPT_KNOB, "rtfm\u2122"}, {"", TAB_KNOB, "Deform"},
      {"hidden_knob", CUSTOM_KNOB, ""},  {"type", ENUMERATION_KNOB, ""},
      {"reset_handles", SCRIPT_KNOB, "reset handles"}, {"handle_size", INT_KNOB, "handle size"},
      {"x_points", INT_KNOB, "x/y points"}, {"y_points", INT_KNOB, ""},
      {"", TEXT_KNOB, "tangent"},        {"break_tangent", BOOL_KNOB, "break"},
      {"", SPACER_KNOB, ""},             {"mirror_tangent", BOOL_KNOB, "mirror"},
      {"delimiter", TEXT_KNOB, ""},
  };
  const auto& knobs = node->knobs();
  const size_t n = sizeof expected / sizeof expected[0];
  ASSERT_GE(knobs.size(), n);
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(knobs[i]->name(), expected[i].name);
    EXPECT_EQ(knobs[i]->kind(), expected[i].kind);
    EXPECT_EQ(knobs[i]->label(), expected[i].label);
  }
  EXPECT_STREQ(knob("hidden_knob")->Class(), "HiddenKnob");
  for (const char* name : {"ratio", "x_ratio", "y_ratio", "selected_cp", "force_update", "cpstr"}) {
    EXPECT_TRUE(knob(name)->labelIsInvisible()) << name;
    EXPECT_FALSE(knob(name)->isVisible()) << name;
  }
}

TEST_F(CardKnobs, FlagsRangesTooltipsAndItems) {
  EXPECT_FALSE(knob("flip_uvs")->flag(Knob::STARTLINE));
  EXPECT_FALSE(knob("flop_uvs")->flag(Knob::STARTLINE));
  EXPECT_TRUE(knob("swap_uvs")->flag(Knob::STARTLINE));
  EXPECT_FALSE(knob("break_tangent")->flag(Knob::STARTLINE));
  EXPECT_TRUE(knob("help")->flag(Knob::NO_RERENDER));
  const Knob* size = knob("handle_size");
  EXPECT_TRUE(size->flag(Knob::FORCE_RANGE) && size->flag(Knob::DO_NOT_WRITE) && size->flag(Knob::SLIDER));
  EXPECT_FALSE(knob("x_points")->flag(Knob::ENDLINE));
  EXPECT_FALSE(knob("x_points")->flag(Knob::LOG_SLIDER));
  auto* xp = dynamic_cast<const StockKnob*>(knob("x_points"));
  ASSERT_NE(xp, nullptr);
  EXPECT_EQ(xp->rangeMin(), 2);
  EXPECT_EQ(xp->rangeMax(), 40960);
  EXPECT_EQ(knob("x_points")->tooltip(), knob("y_points")->tooltip());
  EXPECT_EQ(knob("flip_uvs")->tooltip(), "Mirror the <b>u</b> coordinate.\nThis flips the mapped image horizontally.");
  EXPECT_NE(knob("type")->tooltip().find("<b>linear</b> \u2013 linear interpolation."), std::string::npos);
  auto* type = dynamic_cast<const StockKnob*>(knob("type"));
  EXPECT_EQ(type->items(), (std::vector<std::string>{"linear", "smooth", "smooth with handles"}));
  auto* help = dynamic_cast<const StockKnob*>(knob("help"));
  EXPECT_EQ(help->extraText().rfind("from webbrowser import open_new_tab\nopen_new_tab('file://", 0), 0u);
  EXPECT_NE(help->extraText().find("/doc/html/QuorCard/index.html')"), std::string::npos);
}

TEST_F(CardKnobs, DefaultsAndHostKnobsHidden) {
  EXPECT_EQ(knob("aspect")->valueText(), "square");
  EXPECT_EQ(knob("orientation")->valueText(), "unchanged");
  EXPECT_EQ(knob("shade")->valueText(), "front only");
  EXPECT_EQ(knob("type")->valueText(), "linear");
  EXPECT_EQ(knob("x_points")->get_value(), 4);
  EXPECT_TRUE(knob("mirror_tangent")->isVisible());
  for (const char* name : {"display", "selectable", "file_menu", "snap_menu"})
    EXPECT_FALSE(knob(name)->isVisible()) << name;
  // The range holds entered point counts.
  set("x_points", "1");
  EXPECT_EQ(card->xPoints, 2);
  ASSERT_TRUE(knob("y_points")->set_text("50000"));
  EXPECT_EQ(knob("y_points")->get_value(), 40960);
}

TEST_F(CardKnobs, PointKnobBlockOfTheDefaultGrid) {
  const std::vector<std::string> names = pointKnobNames();
  ASSERT_EQ(names.size(), 65u);
  const std::vector<std::string> head(names.begin(), names.begin() + 8);
  EXPECT_EQ(head, (std::vector<std::string>{"<Text_Knob>", "control_point.0.0", "control_point.0.0.2",
                                            "control_point.0.0.3", "control_point.1.0", "control_point.1.0.0",
                                            "control_point.1.0.2", "control_point.1.0.3"}));
  EXPECT_EQ(names[62], "control_point.3.3");
  EXPECT_EQ(names[63], "control_point.3.3.0");
  EXPECT_EQ(names[64], "control_point.3.3.1");
  EXPECT_EQ(card->dynamicKnobCount, 65);
  EXPECT_EQ(card->pointKnobIndex.size(), 16u);
  EXPECT_EQ(card->pointKnobIndex.at("control_point.2.1"), 6);
  EXPECT_EQ(knob("control_point.1.0")->label(), "col/row 1, 0");
  EXPECT_EQ(knob("control_point.1.0.0")->label(), "left");
  EXPECT_EQ(knob("control_point.1.0.3")->label(), "up");
  for (const auto& k : node->knobs()) {
    if (!k->madeByReplace()) continue;
    EXPECT_FALSE(k->isVisible()) << k->name();
    EXPECT_TRUE(k->flag(Knob::DO_NOT_WRITE)) << k->name();
  }
  // Knob values are the points placed by the node's own transform.
  EXPECT_FLOAT_EQ(knob("control_point.0.0")->get_value(0), -0.5f);
  EXPECT_FLOAT_EQ(knob("control_point.0.0.2")->get_value(0), -0.5f + 1.0f / 9.0f);
}

TEST_F(CardKnobs, TwoCardsKeepTheirOwnPointText) {
  set("control_point.0.0", "-0.75,-0.5,0");
  const std::string mine = cpstr();
  Node* other = add("QuorCard");
  EXPECT_EQ(cpstr(), mine);
  EXPECT_EQ(card->cpText, mine);
  EXPECT_NE(other->knob("cpstr")->get_text(), mine);
  node->storeKnobs();  // another pass over this node's knobs
  EXPECT_EQ(card->cpText, mine);
}

}  // namespace
