// Knobs as a node sees them: the knob closure, ranges and flags,
// replace_knobs, knob_changed and validation.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

using namespace DD::Image;

namespace {

class TestOp : public Op {
 public:
  explicit TestOp(Node* n) : Op(n) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "A node for the knob tests."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(Knob_Callback f) override {
    Int_knob(f, &count, "count");
    SetRange(f, 0, 10);
    SetFlags(f, Knob::FORCE_RANGE);
    Float_knob(f, &gain, "gain");
    SetRange(f, 0, 1);
    XYZ_knob(f, pos, "pos");
    String_knob(f, &text, "text", INVISIBLE);
    Int_knob(f, &secret, "secret");
    SetFlags(f, Knob::HIDDEN);
    Int_knob(f, &anchor, "anchor");
    Button(f, "tail");
  }
  // Records the knob's name and what the member `count` held at that moment.
  int knob_changed(Knob* k) override {
    changes.emplace_back(k->name(), count);
    return 1;
  }
  void _validate(bool for_real) override {
    ++validations;
    Op::_validate(for_real);
  }

  int count = 4;
  float gain = 0.5f;
  float pos[3] = {1, 2, 3};
  std::string text = "hello";
  int secret = 9, anchor = 0, validations = 0;
  std::vector<std::pair<std::string, int>> changes;
  static const Description description;
};

Op* buildTestOp(Node* n) { return new TestOp(n); }
const Op::Description TestOp::description("TestOpX", buildTestOp);

class DDImageKnobs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    node = graph.create("TestOpX", "", &error);
    ASSERT_NE(node, nullptr) << error;
    graph.finish(node);
    op = static_cast<TestOp*>(node->op());
  }
  Knob* k(const char* name) const { return op->knob(name); }
  // The knob names after "anchor" up to the last one.
  std::vector<std::string> block() const {
    std::vector<std::string> names;
    for (const auto& knob : node->knobs()) names.push_back(knob->name());
    EXPECT_EQ(names[5], "anchor");
    EXPECT_EQ(names.back(), "tail");
    return std::vector<std::string>(names.begin() + 6, names.end() - 1);
  }

  Graph graph;
  Node* node = nullptr;
  TestOp* op = nullptr;
};

TEST_F(DDImageKnobs, DefaultsComeFromTheMembersAndStoringWritesThemBack) {
  EXPECT_EQ(k("count")->get_value(), 4);
  EXPECT_EQ(k("gain")->get_value(), 0.5);
  EXPECT_EQ(k("pos")->get_value(2), 3);
  EXPECT_STREQ(k("text")->get_text(), "hello");
  EXPECT_EQ(k("nonexistent"), nullptr);

  ASSERT_TRUE(k("count")->set_value(7));
  ASSERT_TRUE(k("pos")->set_value(-1));  // channel -1: every channel
  ASSERT_TRUE(k("pos")->set_value(4, 2));
  ASSERT_TRUE(k("text")->set_text("bye"));
  EXPECT_EQ(op->count, 4);  // members change only when the values are stored
  node->storeKnobs();
  EXPECT_EQ(op->count, 7);
  EXPECT_EQ(std::vector<float>(op->pos, op->pos + 3), (std::vector<float>{-1, -1, 4}));
  EXPECT_EQ(op->text, "bye");

  // A user's change is stored before knob_changed hears of it; refused text
  // changes nothing and tells the node nothing.
  ASSERT_TRUE(node->userSetText(k("count"), "6"));
  EXPECT_FALSE(node->userSetText(k("count"), "abc"));
  node->openPanel();
  using Change = std::pair<std::string, int>;
  EXPECT_EQ(op->changes, (std::vector<Change>{{"count", 6}, {"showPanel", 6}}));
}

TEST_F(DDImageKnobs, RangesAndVisibility) {
  Knob* count = k("count");
  EXPECT_TRUE(count->set_value(20) && count->get_value() == 10);
  EXPECT_TRUE(count->set_text("-5") && count->get_value() == 0);
  // A range without FORCE_RANGE only guides a slider.
  EXPECT_TRUE(k("gain")->set_value(3) && k("gain")->get_value() == 3);
  // Float knobs keep what a float member can hold, and their text reads back.
  EXPECT_TRUE(k("gain")->set_text("1e39"));
  EXPECT_TRUE(k("pos")->set_text("0,-1e300,0"));
  node->storeKnobs();
  EXPECT_EQ(op->gain, 3.4028234663852886e38f);  // the largest float
  EXPECT_EQ(op->pos[1], -3.4028234663852886e38f);
  EXPECT_TRUE(k("gain")->set_text(k("gain")->valueText().c_str())) << k("gain")->valueText();

  EXPECT_FALSE(k("secret")->isVisible());
  k("secret")->visible(true);
  EXPECT_TRUE(k("secret")->isVisible());
  // The INVISIBLE label hides the knob from the panel; it still keeps a value.
  EXPECT_FALSE(k("text")->isVisible());
  EXPECT_TRUE(k("text")->hasValue());
  EXPECT_TRUE(k("text")->set_text("saved") && k("text")->notDefault());
}

// Extra knobs that a node makes at run time after "anchor".
struct Extra {
  int count;
  float value;
};
void buildExtra(void* data, Knob_Callback f) {
  Extra* e = static_cast<Extra*>(data);
  for (int i = 0; i < e->count; ++i) Float_knob(f, &e->value, ("extra" + std::to_string(i)).c_str());
}

TEST_F(DDImageKnobs, ReplaceKnobsSwapsTheBlockAfterTheAnchor) {
  Extra e{2, 1.5f};
  EXPECT_EQ(op->replace_knobs(k("anchor"), 0, buildExtra, &e, nullptr), 2);
  EXPECT_EQ(block(), (std::vector<std::string>{"extra0", "extra1"}));
  // The pointer gave the starting value only: storing never writes into it.
  e.value = 99;
  EXPECT_EQ(k("extra1")->get_value(), 1.5);
  ASSERT_TRUE(node->userSetText(k("extra0"), "3"));
  EXPECT_EQ(e.value, 99);
  EXPECT_EQ(k("extra0")->get_value(), 3);

  e = Extra{3, 0.25f};
  EXPECT_EQ(op->replace_knobs(k("anchor"), 2, buildExtra, &e, nullptr), 3);
  EXPECT_EQ(block(), (std::vector<std::string>{"extra0", "extra1", "extra2"}));
  EXPECT_EQ(k("extra0")->get_value(), 0.25);
  // Replacing one knob of three keeps the other two after the new one.
  e = Extra{1, 0};
  EXPECT_EQ(op->replace_knobs(k("anchor"), 1, buildExtra, &e, nullptr), 1);
  EXPECT_EQ(block().size(), 3u);
  EXPECT_TRUE(k("extra0")->get_value() == 0 && k("extra1")->get_value() == 0.25);
  // A count past the block removes the block only, never the node's own knobs.
  EXPECT_EQ(op->replace_knobs(k("anchor"), 100, buildExtra, &e, nullptr), 1);
  EXPECT_EQ(block(), (std::vector<std::string>{"extra0"}));
  ASSERT_TRUE(node->userSetText(k("count"), "8"));
  EXPECT_EQ(op->count, 8);
}

TEST_F(DDImageKnobs, ValidateRunsOncePerChange) {
  for (int changes = 1; changes <= 2; ++changes) {
    for (bool forReal : {true, true, false}) op->validate(forReal);
    EXPECT_EQ(op->validations, changes);
    ASSERT_TRUE(node->userSetText(k("count"), "2"));
  }
}

}  // namespace
