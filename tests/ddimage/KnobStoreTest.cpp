// The store pass and text knobs: a knob's text reaches its bound member
// whenever it may differ from what the member was last given, and is not
// copied again when it did not change.
#include <string>

#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

using namespace DD::Image;

namespace {

// A node whose text knob is bound to `first` or, once `useSecond` is set,
// to `second`.
class TextOp : public Op {
 public:
  explicit TextOp(Node* n) : Op(n) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "A node for the text store tests."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(Knob_Callback f) override {
    Int_knob(f, &count, "count");
    String_knob(f, useSecond ? &second : &first, "words");
  }

  int count = 0;
  bool useSecond = false;
  std::string first = "made";
  std::string second;
  static const Description description;
};

Op* buildTextOp(Node* n) { return new TextOp(n); }
const Op::Description TextOp::description("KnobStoreTextOp", buildTextOp);

class KnobStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    node = graph.create("KnobStoreTextOp", "", &error);
    ASSERT_NE(node, nullptr) << error;
    graph.finish(node);
    op = static_cast<TextOp*>(node->op());
    words = node->knob("words");
    ASSERT_NE(words, nullptr);
  }

  Graph graph;
  Node* node = nullptr;
  TextOp* op = nullptr;
  Knob* words = nullptr;
};

// The node overwrites its member with a marker between passes: the marker
// survives exactly the passes in which the knob's text was not copied.
TEST_F(KnobStore, AnUnchangedTextIsNotCopiedAgain) {
  ASSERT_TRUE(words->set_text("a long text that no small-string buffer holds"));
  node->storeKnobs();
  EXPECT_EQ(op->first, "a long text that no small-string buffer holds");

  // Another knob's change stores every knob; the text did not change.
  op->first = "marker";
  ASSERT_TRUE(node->userSetText(node->knob("count"), "3"));
  EXPECT_EQ(op->count, 3);
  EXPECT_EQ(op->first, "marker");
  node->storeKnobs();
  EXPECT_EQ(op->first, "marker");

  // Every set_text is a change, even to the same text: nothing compares it
  // with the text before.
  ASSERT_TRUE(words->set_text("a long text that no small-string buffer holds"));
  node->storeKnobs();
  EXPECT_EQ(op->first, "a long text that no small-string buffer holds");

  // A user's change reaches the member before knob_changed.
  op->first = "marker";
  ASSERT_TRUE(node->userSetText(words, "typed"));
  EXPECT_EQ(op->first, "typed");
}

// The record of what was written is per member: a knob bound to another
// member writes its unchanged text there.
TEST_F(KnobStore, ANewMemberGetsTheText) {
  ASSERT_TRUE(words->set_text("kept"));
  node->storeKnobs();
  ASSERT_EQ(op->first, "kept");
  op->useSecond = true;
  node->storeKnobs();
  EXPECT_EQ(op->second, "kept");
  // Back to the first member, which the node left alone meanwhile: the knob
  // last wrote elsewhere, so it writes again.
  op->first = "marker";
  op->useSecond = false;
  node->storeKnobs();
  EXPECT_EQ(op->first, "kept");
}

// The making pass takes the member's text as the knob's value; the first
// store pass after it writes that text back.
TEST_F(KnobStore, TheMadeTextIsStoredOnce) {
  EXPECT_STREQ(words->get_text(), "made");
  EXPECT_EQ(op->first, "made");
  std::string error;
  Node* other = graph.create("KnobStoreTextOp", "", &error);
  ASSERT_NE(other, nullptr) << error;
  TextOp* otherOp = static_cast<TextOp*>(other->op());
  otherOp->first = "marker";
  graph.finish(other);
  EXPECT_EQ(otherOp->first, "made");
}

}  // namespace
