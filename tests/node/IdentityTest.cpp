// Identity, inputs, validation, change hash and the handle-size option.
#include <cfloat>
#include <cstdlib>

#include "CardTestSupport.h"
#include "DDImage/AxisOp.h"
#include "Quor/Quor.h"

using namespace cardtest;
using DD::Image::Hash;

namespace {

class CardIdentity : public CardGraph {};

TEST_F(CardIdentity, NamesInputsAndEmptyBound) {
  EXPECT_STREQ(card->Class(), "QuorCard");
  EXPECT_STREQ(card->displayName(), "QuorCard");
  EXPECT_STREQ(card->node_shape(), "()");
  char buffer[8];
  EXPECT_STREQ(card->input_label(0, buffer), "axis");
  EXPECT_STREQ(card->input_label(5, buffer), "img");
  EXPECT_EQ(card->input_label(-1, buffer), nullptr);
  EXPECT_EQ(card->maximum_inputs(), 2);
  EXPECT_EQ(card->QuorNodeBase<DD::Image::AxisOp>::maximum_inputs(), 65535);

  Node* axis = add("Axis");
  Node* read = add("Read");
  EXPECT_TRUE(card->test_input(0, axis->op()));
  EXPECT_FALSE(card->test_input(0, read->op()));
  EXPECT_TRUE(card->test_input(1, read->op()));
  EXPECT_FALSE(card->test_input(1, axis->op()));
  EXPECT_FALSE(card->test_input(-1, read->op()));
  EXPECT_FALSE(card->test_input(1, nullptr));

  card->points[0].pos[0] = 1e6f;
  const Box3f b = card->bound();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(b.min[i] == FLT_MAX && b.max[i] == -FLT_MAX);
}

TEST_F(CardIdentity, HelpTextIsComposedOnce) {
  const char* first = card->node_help();
  EXPECT_EQ(std::string(first).rfind("QuorCard " QUORCARD_VERSION "\n\nA card primitive.\n\nBuilt: ", 0), 0u);
  EXPECT_EQ(add("QuorCard")->op()->node_help(), first);
}

TEST_F(CardIdentity, ValidationTakesTheImageAspectOnlyForReal) {
  std::string error;
  ASSERT_TRUE(graph.connect(node, 1, addImage(192, 108), &error)) << error;
  card->aspectMode = 1;
  card->validate(false);
  EXPECT_EQ(card->ratio, 1.0f);
  card->validate(true);
  EXPECT_EQ(card->ratio, 192.0f / 108.0f);
  EXPECT_EQ(card->yRatio, 108.0f / 192.0f);
  ASSERT_TRUE(graph.connect(node, 1, nullptr, &error)) << error;
  card->validate(true);
  EXPECT_EQ(card->yRatio, 1.0f);
}

Hash appended(quorcard::QuorCard* card) {
  Hash h;
  card->append(h);
  return h;
}

TEST_F(CardIdentity, HashFollowsWhatRendersAndNothingElse) {
  const Hash base = appended(card);
  set("shade", "front & back");
  set("handle_size", "9");
  set("break_tangent", "1");
  EXPECT_EQ(appended(card), base);
  set("control_point.1.1", "0,0,0");  // a stored edit of the points
  const Hash moved = appended(card);
  EXPECT_NE(moved, base);
  set("flip_uvs", "1");
  EXPECT_NE(appended(card), moved);
  node->setDisabled(true);
  EXPECT_EQ(appended(card), Hash());
}

// The handle size comes from the renderer option: at least 2, no upper bound.
TEST_F(CardIdentity, HandleSizeFromTheRendererOption) {
  setenv("QUOR_OPTIONS_FILE", dir.file("options").c_str(), 1);
  auto handleSize = [&]() { return dynamic_cast<quorcard::QuorCard*>(add("QuorCard")->op())->handleSize; };
  EXPECT_EQ(handleSize(), 5);
  for (int stored : {1, 0, -4}) {
    ASSERT_EQ(Quor_setOptionInt("Brunvik.handle_size", stored), 0);
    EXPECT_EQ(handleSize(), 2) << stored;
  }
  set("handle_size", "30");  // held to the knob's range
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 20);
  ASSERT_EQ(Quor_setOptionInt("Brunvik.handle_size", 30), 0);
  EXPECT_EQ(handleSize(), 30);
}

}  // namespace
