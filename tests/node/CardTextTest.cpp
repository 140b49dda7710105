// The card's stored text between the host and the node: the knob "cpstr",
// the node's copy that enters the change hash, and the hash itself, which
// the node does not recompute from the text while the text stays the same.
// The plug-in is loaded from build/plugins as a host loads it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

using namespace DD::Image;

namespace {

class CardText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(loadPlugin(QUOR_BUILD_DIR "/plugins/QuorCard.so", &error)) << error;
  }

  // A card as a host makes it, a script's knob texts set before it is
  // attached.
  Node* card(const std::vector<std::pair<std::string, std::string>>& scriptTexts = {}) {
    std::string error;
    Node* node = graph.create("QuorCard", "", &error);
    EXPECT_NE(node, nullptr) << error;
    if (!node) return nullptr;
    for (const auto& [name, text] : scriptTexts) EXPECT_TRUE(node->knob(name)->set_text(text.c_str())) << name;
    graph.finish(node);
    return node;
  }

  static U64 hash(Node* node) {
    node->op()->validate(true);
    return node->op()->hash().value();
  }

  static std::string stored(Node* node) { return node->knob("cpstr")->get_text(); }

  static void set(Node* node, const char* knob, const std::string& text) {
    ASSERT_TRUE(node->userSetText(node->knob(knob), text.c_str())) << knob << " = " << text;
  }

  Graph graph;
};

// Catches a remembered hash that outlives a change of the text: a moved
// point leaves the hash where it was.
TEST_F(CardText, EveryEditOfThePointsMovesTheHashAndUndoingItBringsItBack) {
  Node* a = card();
  ASSERT_NE(a, nullptr);
  const U64 before = hash(a);
  const std::string text = stored(a);
  set(a, "control_point.1.1", "0.125,-0.25,0.5");
  const U64 moved = hash(a);
  EXPECT_NE(moved, before);
  EXPECT_TRUE(stored(a) != text);
  // The default grid puts point 1.1 of a 4 x 4 card at -0.5 + 1/3 in float
  // arithmetic on both axes: -0.5 + 0.33333334 = -0.16666666.
  set(a, "control_point.1.1", "-0.16666666,-0.16666666,0");
  EXPECT_TRUE(stored(a) == text);
  EXPECT_EQ(hash(a), before);
}

// Catches a remembered hash given back for another hash before the text:
// knobs that enter the hash ahead of the text, changed back and forth, must
// give what a new card with the same values computes from nothing.
TEST_F(CardText, ToggledKnobsGiveTheHashOfANewCardWithTheSameValues) {
  Node* a = card();
  ASSERT_NE(a, nullptr);
  set(a, "control_point.2.1", "0.25,0,0.125");
  const std::string text = stored(a);
  const std::vector<std::vector<std::pair<std::string, std::string>>> settings = {
      {{"flip_uvs", "1"}},
      {{"flip_uvs", "0"}},
      {{"flip_uvs", "1"}, {"flop_uvs", "1"}},
      {{"flop_uvs", "0"}, {"swap_uvs", "1"}, {"orientation", "flipped"}},
      {{"flip_uvs", "0"}, {"swap_uvs", "0"}, {"orientation", "unchanged"}},
      {{"swap_uvs", "1"}},
      {{"flip_uvs", "1"}},
  };
  std::vector<std::pair<std::string, std::string>> script = {{"cpstr", text}};
  for (const auto& step : settings) {
    for (const auto& [knob, value] : step) {
      set(a, knob.c_str(), value);
      script.emplace_back(knob, value);
    }
    Node* fresh = card(script);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(stored(fresh) == text);
    EXPECT_EQ(hash(a), hash(fresh)) << script.back().first << " = " << script.back().second;
  }
}

// Catches a node that misses a text the host put into "cpstr" (a script's
// text, a user's, an empty one), and one node taking another's text.
TEST_F(CardText, TextsSetByTheHostReachTheirOwnNodeOnly) {
  Node* a = card();
  Node* b = card();
  ASSERT_TRUE(a && b);
  set(a, "control_point.0.0", "-0.75,-0.5,0.25");
  const U64 hashA = hash(a);
  const std::string textA = stored(a);
  const U64 hashB = hash(b);
  ASSERT_NE(hashA, hashB);

  // A user's text: b now hashes as a does.
  set(b, "cpstr", textA);
  EXPECT_EQ(hash(b), hashA);
  // A script's text, set before the card is attached.
  Node* c = card({{"cpstr", textA}});
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(hash(c), hashA);

  // Store passes of the nodes in turn, each after another node's text went
  // through its knob.
  Node* d = card();
  ASSERT_NE(d, nullptr);
  set(d, "shade", "front & back");
  set(a, "shade", "front & back");
  set(b, "cpstr", stored(d));
  set(a, "type", "smooth");
  set(a, "type", "linear");
  set(c, "shade", "front & back");
  EXPECT_EQ(hash(a), hashA);
  EXPECT_TRUE(stored(a) == textA);
  EXPECT_EQ(hash(b), hashB);
  EXPECT_EQ(hash(c), hashA);
  // An empty text is a text the host wrote too.
  set(c, "cpstr", "");
  EXPECT_NE(hash(c), hashA);
}

}  // namespace
