// Identity, inputs, bound, validation, change hash and the handle-size option
// of a card, through the host's operator interface.
#include <cfloat>

#include "CardTestSupport.h"
#include "Quor/Quor.h"
#include "Quor/QuorPrimitive.h"

using namespace cardtest;
using DD::Image::Hash;
using DD::Image::Op;

namespace {

class CardIdentity : public CardTest {};

// Catches: labels turned round or given to a negative input, an input test
// that lets the wrong kind of operator in, a bound that follows the points.
TEST_F(CardIdentity, NamesInputsAndEmptyBound) {
  Op* op = node->op();
  EXPECT_STREQ(op->Class(), "QuorCard");
  EXPECT_STREQ(op->displayName(), "QuorCard");
  EXPECT_STREQ(op->node_shape(), "()");
  char buffer[8];
  EXPECT_STREQ(op->input_label(0, buffer), "axis");
  EXPECT_STREQ(op->input_label(5, buffer), "img");
  EXPECT_EQ(op->input_label(-1, buffer), nullptr);
  EXPECT_EQ(op->minimum_inputs(), 2);
  EXPECT_EQ(op->maximum_inputs(), 2);
  Op* axis = add("Axis")->op();
  Op* read = add("Read")->op();
  EXPECT_TRUE(op->test_input(0, axis) && op->test_input(1, read));
  EXPECT_FALSE(op->test_input(0, read) || op->test_input(1, axis) || op->test_input(-1, read));
  EXPECT_FALSE(op->test_input(1, nullptr));

  set("control_point.3.3", "1e6,1e6,0");
  const Box3f b = dynamic_cast<QuorPrimitive*>(op)->bound();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(b.min[i] == FLT_MAX && b.max[i] == -FLT_MAX) << i;
}

TEST_F(CardIdentity, HelpTextIsComposedOnce) {
  const char* first = node->op()->node_help();
  EXPECT_EQ(std::string(first).rfind("QuorCard 1.0.0-1-27a0\n\nA card primitive.\n\nBuilt: ", 0), 0u);
  EXPECT_EQ(add("QuorCard")->op()->node_help(), first);
}

// A loaded card asking for the image's aspect takes it when validated for
// real only: width over height, 192 / 108, so the card is 1 x 0.5625 and the
// bottom row of points lies at y = -0.28125 (catches: the for_real test
// dropped, the division turned round, the points not rescaled).
TEST_F(CardIdentity, ValidationTakesTheImageAspectOnlyForReal) {
  Node* image = add("TestFormat");
  set("width", "192", image);
  set("height", "108", image);
  node = load({{"aspect", "1"}});
  connect(1, image);
  node->op()->validate(false);
  EXPECT_EQ(knob("ratio")->get_value(), 1.0);
  node->op()->validate(true);
  EXPECT_NEAR(knob("ratio")->get_value(), 1.7777778, 1e-6);
  EXPECT_EQ(knob("x_ratio")->get_value(), 1.0);
  EXPECT_EQ(knob("y_ratio")->get_value(), 0.5625);
  EXPECT_EQ(stored()[1].pos[1], -0.28125f);
  connect(1, nullptr);  // no image: square
  node->op()->validate(true);
  EXPECT_EQ(knob("y_ratio")->get_value(), 1.0);
  EXPECT_EQ(stored()[1].pos[1], -0.5f);
}

// Cards loaded from the same stored points that differ in one knob: what
// changes the output enters the hash, nothing else does (catches: a field
// left out of the hash, or one added that leaves the output alone).
TEST_F(CardIdentity, HashFollowsWhatRendersAndNothingElse) {
  const std::string points = cpstr();
  const auto loaded = [&](const Knobs& knobs) {
    Knobs all{{"cpstr", points}};
    all.insert(all.end(), knobs.begin(), knobs.end());
    return hash(load(all));
  };
  const Hash base = loaded({});
  const struct {
    const char *knob, *value;
    bool changes;
  } cases[] = {{"orientation", "flipped", true}, {"flip_uvs", "1", true},        {"flop_uvs", "1", true},
               {"swap_uvs", "1", true},          {"type", "smooth", true},       {"x_points", "5", true},
               {"y_points", "5", true},          {"force_update", "1", true},    {"aspect", "1", true},
               {"ratio", "2", true},             {"x_ratio", "0.5", true},       {"y_ratio", "0.5", true},
               {"shade", "front & back", false}, {"handle_size", "9", false},    {"break_tangent", "1", false},
               {"mirror_tangent", "1", false},   {"selected_cp", "10030", false}};
  for (const auto& c : cases) EXPECT_EQ(loaded({{c.knob, c.value}}) != base, c.changes) << c.knob;

  EXPECT_EQ(hash(), base);
  set("control_point.1.1", "0,0,0");  // a stored edit of the points
  EXPECT_NE(hash(), base);
  node->setDisabled(true);  // a disabled card appends nothing
  Hash appended;
  node->op()->append(appended);
  EXPECT_EQ(appended, Hash());
}

// The handle size comes from the renderer option, raised to at least 2 and
// not held to the knob's range; a changed knob writes the option back
// (catches: the floor dropped or moved, the option not written).
TEST_F(CardIdentity, HandleSizeFromTheRendererOption) {
  auto handleSize = [&]() { return knob("handle_size", add("QuorCard"))->get_value(); };
  EXPECT_EQ(handleSize(), 5);
  for (int stored : {3, 2, 1, 0, -4, 30}) {
    ASSERT_EQ(Quor_setOptionInt("Brunvik.handle_size", stored), 0);
    EXPECT_EQ(handleSize(), stored < 2 ? 2 : stored) << stored;
  }
  set("handle_size", "9");
  EXPECT_EQ(handleSize(), 9);
  set("handle_size", "30");  // held to the knob's range
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 20);
}

}  // namespace
