// A card's identity, inputs, validation, hash, options and environment.
#include <cfloat>
#include <cstdlib>
#include <regex>

#include "CardTestSupport.h"
#include "Quor/Quor.h"
#include "Quor/QuorPrimitive.h"

using namespace cardtest;
using DD::Image::Hash;
using DD::Image::Op;

namespace {

class CardIdentity : public CardTest {};

// Catches: labels turned round or given to a negative input, an input test
// that lets the wrong kind of operator in, a null knob taken for a change, a
// bound that follows the points.
TEST_F(CardIdentity, NamesInputsAndEmptyBound) {
  Op* op = node->op();
  EXPECT_EQ(std::string(op->Class()) + op->displayName() + op->node_shape(), "QuorCardQuorCard()");
  char buffer[8];
  EXPECT_EQ(std::string(op->input_label(0, buffer)) + op->input_label(5, buffer), "axisimg");
  EXPECT_EQ(op->input_label(-1, buffer), nullptr);
  EXPECT_EQ(std::make_pair(op->minimum_inputs(), op->maximum_inputs()), std::make_pair(2, 2));
  EXPECT_EQ(op->knob_changed(nullptr), 0);
  Op *axis = add("Axis")->op(), *read = add("Read")->op();
  EXPECT_TRUE(op->test_input(0, axis) && op->test_input(1, read));
  EXPECT_FALSE(op->test_input(0, read) || op->test_input(1, axis) || op->test_input(-1, read));
  EXPECT_FALSE(op->test_input(1, nullptr));

  set("control_point.3.3", "1e6,1e6,0");
  const Box3f b = dynamic_cast<QuorPrimitive*>(op)->bound();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(b.min[i] == FLT_MAX && b.max[i] == -FLT_MAX) << i;
}

// Catches: a changed version or line, the engine line lost, a text composed
// again for every card.
TEST_F(CardIdentity, HelpTextIsComposedOnce) {
  const char* first = node->op()->node_help();
  // The versions come from the build's one definition of each.
  auto literal = [](const std::string& text) { return std::regex_replace(text, std::regex("\\."), "\\."); };
  const std::regex help("QuorCard " + literal(QUORCARD_VERSION) +
                        "\n\nA card primitive\\.\n\nBuilt: [A-Z][a-z]{2} [ 0-9][0-9] "
                        "[0-9]{4} [0-9:]{8}\nEngine: Quor " +
                        literal(QUOR_VERSION));
  EXPECT_TRUE(std::regex_match(first, help)) << first;
  EXPECT_EQ(add("QuorCard")->op()->node_help(), first);
}

// A loaded card asking for the image's aspect takes it when validated for
// real only: width over height, 192 / 108, so the card is 1 x 0.5625 and the
// bottom row of points lies at y = -0.28125 (catches: the for_real test
// dropped, the division turned round, the points not rescaled; the card
// without an image is the reactions' test).
TEST_F(CardIdentity, ValidationTakesTheImageAspectOnlyForReal) {
  Node* image = format(192, 108);
  node = load({{"aspect", "1"}});
  connect(1, image);
  node->op()->validate(false);
  EXPECT_EQ(knob("ratio")->get_value(), 1.0);
  node->op()->validate(true);
  EXPECT_NEAR(knob("ratio")->get_value(), 1.7777778, 1e-6);
  EXPECT_EQ(stored()[1].pos[1], -0.28125f);
}

// Cards loaded from the same stored points that differ in one knob: what
// changes the output enters the hash, nothing else does (catches: a field
// left out of the hash, or one added that leaves the output alone).
TEST_F(CardIdentity, HashFollowsWhatRendersAndNothingElse) {
  const std::string points = cpstr();
  const Hash base = hash(load({{"cpstr", points}}));
  const Knobs renders = {
      {"orientation", "flipped"}, {"flip_uvs", "1"}, {"flop_uvs", "1"},     {"swap_uvs", "1"}, {"type", "smooth"},
      {"x_points", "5"},          {"y_points", "5"}, {"force_update", "1"}, {"aspect", "1"},   {"ratio", "2"},
      {"x_ratio", "0.5"},         {"y_ratio", "0.5"}};
  const Knobs rendersNot = {{"shade", "front & back"},
                            {"handle_size", "9"},
                            {"break_tangent", "1"},
                            {"mirror_tangent", "1"},
                            {"selected_cp", "10030"}};
  for (const auto& k : renders) EXPECT_NE(hash(load({{"cpstr", points}, k})), base) << k.first;
  for (const auto& k : rendersNot) EXPECT_EQ(hash(load({{"cpstr", points}, k})), base) << k.first;
  EXPECT_EQ(hash(), base);
  set("control_point.1.1", "0,0,0");  // a stored edit of the points
  EXPECT_NE(hash(), base);
  // Moved back where the default grid has it in float arithmetic, -0.5 +
  // 0.33333334 = -0.16666666: the same text, so the hash it had.
  set("control_point.1.1", "-0.16666666,-0.16666666,0");
  EXPECT_TRUE(cpstr() == points);
  EXPECT_EQ(hash(), base);
  node->setDisabled(true);  // a disabled card appends nothing
  Hash appended;
  node->op()->append(appended);
  EXPECT_EQ(appended, Hash());
}

// Knobs that enter the hash ahead of the text, changed back and forth, give
// what a new card with the same values computes from nothing (catches a
// hash remembered for the text given back for another hash before it).
TEST_F(CardIdentity, ToggledKnobsGiveTheHashOfANewCardWithTheSameValues) {
  set("control_point.2.1", "0.25,0,0.125");
  Knobs script = {{"cpstr", cpstr()}};
  const std::vector<Knobs> settings = {
      {{"flip_uvs", "1"}},
      {{"flip_uvs", "0"}},
      {{"flip_uvs", "1"}, {"flop_uvs", "1"}},
      {{"flop_uvs", "0"}, {"swap_uvs", "1"}, {"orientation", "flipped"}},
      {{"flip_uvs", "0"}, {"swap_uvs", "0"}, {"orientation", "unchanged"}},
      {{"swap_uvs", "1"}},
      {{"flip_uvs", "1"}},
  };
  for (const Knobs& step : settings) {
    for (const auto& [name, value] : step) set(name, value);
    script.insert(script.end(), step.begin(), step.end());
    Node* fresh = load(script);
    EXPECT_TRUE(cpstr(fresh) == script[0].second);
    EXPECT_EQ(hash(), hash(fresh)) << script.back().first << " = " << script.back().second;
  }
}

// A text the host puts into "cpstr", a user's, a script's or an empty one,
// reaches its own node only, also when store passes of other cards ran in
// between (catches: a text missed, one card taking another's text).
TEST_F(CardIdentity, TextsSetByTheHostReachTheirOwnNodeOnly) {
  Node *a = node, *b = add("QuorCard");
  set("control_point.0.0", "-0.75,-0.5,0.25");
  const Hash hashA = hash(a), hashB = hash(b);
  const std::string textA = cpstr(a);
  ASSERT_NE(hashA, hashB);
  set("cpstr", textA, b);
  EXPECT_EQ(hash(b), hashA);
  Node* c = load({{"cpstr", textA}});
  EXPECT_EQ(hash(c), hashA);

  Node* d = add("QuorCard");
  set("shade", "front & back", d);
  set("shade", "front & back", a);
  set("cpstr", cpstr(d), b);
  set("type", "smooth", a);
  set("type", "linear", a);
  set("shade", "front & back", c);
  EXPECT_EQ(hash(a), hashA);
  EXPECT_TRUE(cpstr(a) == textA);
  EXPECT_EQ(hash(b), hashB);
  EXPECT_EQ(hash(c), hashA);
  // An empty text is a text the host wrote too.
  set("cpstr", "", c);
  EXPECT_NE(hash(c), hashA);
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
  set("handle_size", "30");  // held to the knob's range
  EXPECT_EQ(handleSize(), 20);
}

// In a fresh process the first card removes "VEVEVER_CONF" and points
// "VEVEVER" at the renderer's home; later cards leave the environment alone
// (catches: the loader run for every card, or not at all).
void firstCardsInAProcess() {
  setenv("VEVEVER_CONF", "/somewhere/else", 1);
  DD::Image::Graph graph;
  std::string error;
  graph.finish(graph.create("QuorCard", "", &error));
  const char* home = getenv("VEVEVER");
  if (getenv("VEVEVER_CONF") || !home || !*home || std::string(home) != Quor_homeDir()) std::exit(2);
  unsetenv("VEVEVER");
  graph.finish(graph.create("QuorCard", "", &error));
  std::exit(getenv("VEVEVER") ? 3 : 0);
}

TEST(RendererLoader, FirstCardPreparesTheEnvironmentOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(firstCardsInAProcess(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
