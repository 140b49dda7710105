// Identity, inputs, validation, change hash and the handle-size option.
#include <cfloat>
#include <cstdlib>
#include <regex>

#include "CardTestSupport.h"
#include "DDImage/AxisOp.h"
#include "DDImage/Iop.h"
#include "Quor/Quor.h"

using namespace cardtest;
using DD::Image::Hash;

namespace {

class CardIdentity : public CardGraph {};

TEST_F(CardIdentity, NamesShapeLabelsAndInputs) {
  EXPECT_STREQ(card->Class(), "QuorCard");
  EXPECT_STREQ(card->displayName(), "QuorCard");
  EXPECT_STREQ(card->node_shape(), "()");
  char buffer[8];
  EXPECT_STREQ(card->input_label(0, buffer), "axis");
  EXPECT_STREQ(card->input_label(1, buffer), "img");
  EXPECT_STREQ(card->input_label(5, buffer), "img");
  EXPECT_EQ(card->input_label(-1, buffer), nullptr);
  EXPECT_EQ(card->minimum_inputs(), 2);
  EXPECT_EQ(card->maximum_inputs(), 2);
  EXPECT_EQ(card->QuorNodeBase<DD::Image::AxisOp>::maximum_inputs(), 65535);
  EXPECT_EQ(card->default_input(0), nullptr);
  EXPECT_EQ(card->default_input(1), nullptr);

  Node* axis = add("Axis");
  Node* read = add("Read");
  EXPECT_TRUE(card->test_input(0, axis->op()));
  EXPECT_FALSE(card->test_input(0, read->op()));
  EXPECT_TRUE(card->test_input(1, read->op()));
  EXPECT_FALSE(card->test_input(1, axis->op()));
  EXPECT_FALSE(card->test_input(-1, read->op()));
  EXPECT_FALSE(card->test_input(0, nullptr));
  EXPECT_FALSE(card->test_input(1, nullptr));
}

TEST_F(CardIdentity, NewCardStateAndEmptyBound) {
  EXPECT_EQ(card->xPoints, 4);
  EXPECT_EQ(card->yPoints, 4);
  EXPECT_EQ(card->ratio, 1.0f);
  EXPECT_EQ(card->interpolation, 0);
  EXPECT_EQ(card->points.size(), 16u);  // attached: the default grid
  card->points[0].pos[0] = 1e6f;
  const Box3f b = card->bound();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(b.min[i], FLT_MAX);
    EXPECT_EQ(b.max[i], -FLT_MAX);
  }
}

TEST_F(CardIdentity, HelpTextIsComposedOnce) {
  const char* first = card->node_help();
  const char* renderer = nullptr;
  const char* version = nullptr;
  int type = 0, count = 0;
  ASSERT_EQ(QxRendererInfo("renderer", &renderer, 8, &type, &count), 0);
  ASSERT_EQ(QxRendererInfo("versionstring", &version, 8, &type, &count), 0);
  const std::regex expected("QuorCard 1\\.0\\.0-1-27a0\n\nA card primitive\\.\n\nBuilt: [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                            "[0-9]{2}:[0-9]{2}:[0-9]{2}\nEngine: " +
                            std::string(renderer) + " " + std::regex_replace(version, std::regex("\\."), "\\."));
  EXPECT_TRUE(std::regex_match(first, expected)) << first;
  Node* second = add("QuorCard");
  EXPECT_EQ(second->op()->node_help(), first);
}

TEST_F(CardIdentity, ValidationTakesTheImageAspectOnlyForReal) {
  Node* read = add("Read");
  ASSERT_TRUE(read->userSetText(read->knob("file"), writePng("wide.png", 192, 108).c_str()));
  std::string error;
  ASSERT_TRUE(graph.connect(node, 1, read, &error)) << error;
  card->aspectMode = 1;
  card->validate(false);
  EXPECT_EQ(card->ratio, 1.0f);
  card->validate(true);
  EXPECT_EQ(card->ratio, 192.0f / 108.0f);
  EXPECT_EQ(card->xRatio, 1.0f);
  EXPECT_EQ(card->yRatio, 108.0f / 192.0f);
  // Without the image the card is square again.
  ASSERT_TRUE(graph.connect(node, 1, nullptr, &error)) << error;
  card->validate(true);
  EXPECT_EQ(card->ratio, 1.0f);
  EXPECT_EQ(card->yRatio, 1.0f);
}

Hash appended(quorcard::QuorCard* card) {
  Hash h;
  card->append(h);
  return h;
}

TEST_F(CardIdentity, HashFollowsWhatRendersAndNothingElse) {
  const Hash base = appended(card);
  EXPECT_NE(base, Hash());
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

// The handle size comes from the renderer option, at least 2, no upper bound.
TEST(CardHandleSize, ReadFromTheRendererOption) {
  const std::string options = tempPath("options");
  setenv("QUOR_OPTIONS_FILE", options.c_str(), 1);
  DD::Image::Graph graph;
  std::string error;
  auto handleSize = [&]() {
    Node* n = graph.create("QuorCard", "", &error);
    graph.finish(n);
    return dynamic_cast<quorcard::QuorCard*>(n->op())->handleSize;
  };
  EXPECT_EQ(handleSize(), 5);
  for (int stored : {1, 0, -4}) {
    ASSERT_EQ(Quor_setOptionInt("Brunvik.handle_size", stored), 0);
    EXPECT_EQ(handleSize(), 2) << stored;
  }
  ASSERT_EQ(Quor_setOptionInt("Brunvik.handle_size", 30), 0);
  EXPECT_EQ(handleSize(), 30);
  // A change of the knob is stored for the nodes made afterwards.
  Node* n = graph.create("QuorCard", "", &error);
  graph.finish(n);
  ASSERT_TRUE(n->userSetText(n->knob("handle_size"), "9"));
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 9);
  EXPECT_EQ(handleSize(), 9);
  std::remove(options.c_str());
}

}  // namespace
