// Knobs as a node sees them: the knob closure, text in and out by kind,
// ranges, flags, knob_changed. Replacing knobs is checked through quorhost.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

using namespace DD::Image;

namespace {

const char* const kModes[] = {"off", "on", "auto", nullptr};

class TestOp : public Op {
 public:
  explicit TestOp(Node* n) : Op(n) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "A node for the knob tests."; }
  void knobs(Knob_Callback f) override {  // a knob and what applies to it on each line
    Int_knob(f, &count, "count");
    SetRange(f, 0, 10);
    SetFlags(f, Knob::FORCE_RANGE);
    Float_knob(f, &gain, "gain");
    SetRange(f, 0, 1);
    XYZ_knob(f, pos, "pos");
    Enumeration_knob(f, &mode, kModes, "mode");
    Bool_knob(f, &on, "on");
    String_knob(f, &text, "text", INVISIBLE);
    Int_knob(f, &secret, "secret");
    SetFlags(f, Knob::HIDDEN);
    Button(f, "tail");
  }
  // Records the knob's name and what the member `count` held at that moment.
  int knob_changed(Knob* k) override {
    changes.emplace_back(k->name(), count);
    return 1;
  }

  int count = 4, mode = 1, secret = 9;
  float gain = 0.1f, pos[3] = {1, 2, 3};
  bool on = false;
  std::string text = "hello";
  std::vector<std::pair<std::string, int>> changes;
  static const Description description;
};

Op* buildTestOp(Node* n) { return new TestOp(n); }
const Op::Description TestOp::description("TestOpX", buildTestOp);

class DDImageKnobs : public ::testing::Test {
 protected:
  void SetUp() override {
    node = graph.create("TestOpX", "", nullptr);
    graph.finish(node);
    op = static_cast<TestOp*>(node->op());
  }
  Knob* k(const char* name) const { return op->knob(name); }
  Graph graph;
  Node* node = nullptr;
  TestOp* op = nullptr;
};

// Mistakes: a member not read when its knob is made, members written before
// they are stored, channel -1 setting one channel, knob_changed told before
// the store, a refused or partial value reported as a change, HIDDEN kept by
// visible(true), an INVISIBLE knob taken for one without a value.
TEST_F(DDImageKnobs, DefaultsStoringChangesAndVisibility) {
  EXPECT_TRUE(k("count")->get_value() == 4 && k("pos")->get_value(2) == 3 && k("nonexistent") == nullptr);
  EXPECT_STREQ(k("text")->get_text(), "hello");
  ASSERT_TRUE(k("count")->set_value(7) && k("pos")->set_value(-1) && k("pos")->set_value(4, 2) &&
              k("text")->set_text("bye"));
  EXPECT_EQ(op->count, 4);
  node->storeKnobs();
  EXPECT_TRUE(op->count == 7 && op->text == "bye");
  EXPECT_EQ(std::vector<float>(op->pos, op->pos + 3), (std::vector<float>{-1, -1, 4}));

  ASSERT_TRUE(node->userSetText(k("count"), "6"));
  EXPECT_FALSE(node->userSetText(k("count"), "abc"));
  EXPECT_FALSE(node->userSetValues(k("pos"), {1, 2}));
  ASSERT_TRUE(node->userSetValues(k("pos"), {5, 6, 7}));
  node->openPanel();
  EXPECT_EQ(op->changes, (std::vector<std::pair<std::string, int>>{{"count", 6}, {"pos", 6}, {"showPanel", 6}}));
  EXPECT_EQ(std::vector<float>(op->pos, op->pos + 3), (std::vector<float>{5, 6, 7}));

  EXPECT_FALSE(k("secret")->isVisible());
  k("secret")->visible(true);
  EXPECT_TRUE(k("secret")->isVisible());
  EXPECT_FALSE(k("text")->isVisible());  // the INVISIBLE label: hidden, still saved
  EXPECT_TRUE(k("text")->hasValue() && k("text")->notDefault() && !k("on")->notDefault());
}

// Text as a script or a user gives it, and the text written back. Mistakes:
// FORCE_RANGE ignored or its ends swapped, a range without it clamping, a
// fraction taken by an int knob, a float knob going infinite or written as a
// double (0.1f as 0.10000000149011612), an index past the items refused, a
// negative or fractional index taken, truncation for rounding.
TEST_F(DDImageKnobs, TextInAndOutByKind) {
  EXPECT_EQ(k("gain")->valueText(), "0.1");
  struct Case {
    const char *knob, *text;
    bool taken;
    const char* after;
  };
  const Case cases[] = {
      {"count", "20", true, "10"},
      {"count", "-5", true, "0"},
      {"count", "2.5", false, "0"},
      {"gain", "3", true, "3"},
      {"gain", "1e39", true, "3.4028235e+38"},
      {"pos", "7", true, "7,7,7"},
      {"pos", "1,2", false, "7,7,7"},
      {"pos", "0,-1e300,.5", true, "0,-3.4028235e+38,0.5"},
      {"mode", "auto", true, "auto"},
      {"mode", "0", true, "off"},
      {"mode", "7", true, "7"},
      {"mode", "-1", false, "7"},
      {"mode", "1.5", false, "7"},
      {"mode", "onn", false, "7"},
      {"on", "true", true, "1"},
      {"on", "0", true, "0"},
      {"on", "yes", false, "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(k(c.knob)->set_text(c.text), c.taken) << c.knob << " = " << c.text;
    EXPECT_EQ(k(c.knob)->valueText(), c.after) << c.knob << " = " << c.text;
  }
  node->storeKnobs();
  EXPECT_TRUE(op->gain == 3.4028234663852886e38f && op->mode == 7);
  EXPECT_TRUE(k("count")->set_value(2.6) && k("count")->get_value() == 3);
}

}  // namespace
