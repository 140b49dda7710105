// Knobs as a node sees them: the knob closure, values and text, flags,
// replace_knobs, knob_changed, validation, custom knobs and the registry.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Host.h"
#include "DDImage/Knobs.h"
#include "DDImage/Op.h"

using namespace DD::Image;

namespace {

const char* const kModes[] = {"alpha", "beta", "gamma", nullptr};

class TestOp;

// A knob of the node's own, made through CustomKnob1.
class PickKnob : public Knob {
 public:
  PickKnob(Knob_Closure* f, TestOp* owner, const char* name) : Knob(f, name), owner(owner) { ++made; }
  const char* Class() const override { return "PickKnob"; }
  TestOp* owner;
  static int made;
};
int PickKnob::made = 0;

// What knob_changed saw: the knob's name and the members at that moment.
struct Change {
  std::string knob;
  int count;
  std::string text;
};

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
    Bool_knob(f, &on, "on");
    XYZ_knob(f, pos, "pos");
    Enumeration_knob(f, &mode, kModes, "mode");
    String_knob(f, &text, "text", INVISIBLE);
    Int_knob(f, &secret, "secret");
    SetFlags(f, Knob::HIDDEN);
    CustomKnob1(PickKnob, f, this, "pick");
    Int_knob(f, &anchor, "anchor");
    Button(f, "tail");
  }
  int knob_changed(Knob* k) override {
    changes.push_back({k->name(), count, text});
    return 1;
  }
  void _validate(bool for_real) override {
    ++validations;
    Op::_validate(for_real);
  }

  int count = 4;
  float gain = 0.5f;
  bool on = true;
  float pos[3] = {1, 2, 3};
  int mode = 1;
  std::string text = "hello";
  int secret = 9;
  int anchor = 0;
  std::vector<Change> changes;
  int validations = 0;
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
  // The names of the knobs that replace_knobs put between "anchor" and "tail".
  std::vector<std::string> block() const {
    std::vector<std::string> all;
    for (const auto& k : node->knobs()) all.push_back(k->name());
    const std::vector<std::string> own{"count", "gain", "on", "pos", "mode", "text", "secret", "pick", "anchor"};
    EXPECT_TRUE(std::equal(own.begin(), own.end(), all.begin())) << "the node's own knobs stay in order";
    EXPECT_EQ(all.back(), "tail");
    return std::vector<std::string>(all.begin() + static_cast<long>(own.size()), all.end() - 1);
  }
  Knob* k(const char* name) const { return op->knob(name); }

  Graph graph;
  Node* node = nullptr;
  TestOp* op = nullptr;
};

TEST_F(DDImageKnobs, DefaultsComeFromTheMembersAndStoringWritesThemBack) {
  EXPECT_TRUE(block().empty());
  const std::vector<double> values{k("count")->get_value(), k("gain")->get_value(), k("on")->get_value(),
                                   k("pos")->get_value(2), k("mode")->get_value()};
  EXPECT_EQ(values, (std::vector<double>{4, 0.5, 1, 3, 1}));
  EXPECT_STREQ(k("text")->get_text(), "hello");
  for (const char* n : {"count", "gain", "pos", "text"}) EXPECT_FALSE(k(n)->notDefault()) << n;
  EXPECT_EQ(k("nonexistent"), nullptr);
  EXPECT_EQ(k("pos")->get_text(), nullptr);  // no text but for text knobs

  ASSERT_TRUE(k("count")->set_value(7));
  ASSERT_TRUE(k("pos")->set_value(-1, 1));
  ASSERT_TRUE(k("text")->set_text("bye"));
  EXPECT_EQ(op->count, 4);  // members change only when the values are stored
  node->storeKnobs();
  EXPECT_EQ(op->count, 7);
  EXPECT_EQ(op->pos[1], -1);
  EXPECT_EQ(op->text, "bye");
  EXPECT_TRUE(k("count")->notDefault() && k("text")->notDefault());
}

TEST_F(DDImageKnobs, UserChangesStoreBeforeKnobChangedAndRefuseBadText) {
  ASSERT_TRUE(node->userSetText(k("count"), "6"));
  ASSERT_EQ(op->changes.size(), 1u);
  EXPECT_EQ(op->changes[0].knob, "count");
  EXPECT_EQ(op->changes[0].count, 6);  // the member already held the new value
  ASSERT_TRUE(node->userSetText(k("text"), "typed"));
  EXPECT_EQ(op->changes.back().text, "typed");

  // Refused text changes nothing and tells the node nothing.
  const size_t heard = op->changes.size();
  for (auto [knob, text] : {std::pair{"count", "abc"}, {"count", "2.5"}, {"on", "maybe"}, {"pos", "1,2"}})
    EXPECT_FALSE(node->userSetText(k(knob), text)) << knob << " = " << text;
  EXPECT_FALSE(node->userSetText(nullptr, "1"));
  EXPECT_EQ(op->changes.size(), heard);
  EXPECT_EQ(op->count, 6);
  EXPECT_TRUE(op->on);
  EXPECT_TRUE(k("on")->set_text("false"));
  EXPECT_EQ(k("on")->get_value(), 0);

  node->openPanel();
  EXPECT_EQ(op->changes.back().knob, "showPanel");
}

TEST_F(DDImageKnobs, RangesChannelsAndEnumerations) {
  Knob* count = k("count");
  EXPECT_TRUE(count->set_value(20) && count->get_value() == 10);
  EXPECT_TRUE(count->set_text("-5") && count->get_value() == 0);
  // A range without FORCE_RANGE only guides a slider.
  EXPECT_TRUE(k("gain")->set_value(3) && k("gain")->get_value() == 3);
  EXPECT_TRUE(k("gain")->set_text("-2") && k("gain")->get_value() == -2);
  // Float knobs keep what a float member can hold, and their text reads back.
  EXPECT_TRUE(k("gain")->set_text("1e39"));
  EXPECT_TRUE(k("pos")->set_text("0,-1e300,0"));
  node->storeKnobs();
  EXPECT_EQ(op->gain, 3.4028234663852886e38f);  // the largest float
  EXPECT_EQ(op->pos[1], -3.4028234663852886e38f);
  EXPECT_TRUE(k("gain")->set_text(k("gain")->valueText().c_str())) << k("gain")->valueText();

  Knob* pos = k("pos");
  auto channels = [pos] { return std::vector<double>{pos->get_value(0), pos->get_value(1), pos->get_value(2)}; };
  EXPECT_TRUE(pos->set_value(7));
  EXPECT_EQ(channels(), (std::vector<double>{7, 7, 7}));
  EXPECT_TRUE(pos->set_value(4, 2));
  EXPECT_FALSE(pos->set_value(1, 3));
  EXPECT_EQ(channels(), (std::vector<double>{7, 7, 4}));
  EXPECT_TRUE(pos->set_text("0.5,-1,2"));
  EXPECT_EQ(channels(), (std::vector<double>{0.5, -1, 2}));

  Knob* mode = k("mode");
  EXPECT_TRUE(mode->set_text("gamma") && mode->get_value() == 2);
  EXPECT_TRUE(mode->set_text("0") && mode->get_value() == 0);
  for (const char* bad : {"delta", "-1", "1.5", "", "beta,gamma"}) EXPECT_FALSE(mode->set_text(bad)) << bad;
  EXPECT_EQ(mode->get_value(), 0);
  // An index past the items is kept: scripts may store values the node knows.
  EXPECT_TRUE(mode->set_text("5") && mode->get_value() == 5);
}

TEST_F(DDImageKnobs, HiddenAndInvisibleKnobs) {
  Knob* secret = k("secret");
  EXPECT_FALSE(secret->isVisible());
  secret->visible(true);
  EXPECT_TRUE(secret->isVisible());

  // The INVISIBLE label hides the knob from the panel; it still keeps a value.
  Knob* text = k("text");
  EXPECT_FALSE(text->isVisible());
  EXPECT_TRUE(text->hasValue());
  EXPECT_TRUE(text->set_text("saved") && text->notDefault());
  EXPECT_TRUE(k("count")->isVisible());
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
  // The pointer gave the starting value only: the knob keeps it, and storing
  // never writes into the build data.
  e.value = 99;
  EXPECT_EQ(k("extra1")->get_value(), 1.5);
  ASSERT_TRUE(node->userSetText(k("extra0"), "3"));
  EXPECT_EQ(e.value, 99);
  EXPECT_EQ(op->changes.back().knob, "extra0");
  EXPECT_EQ(k("extra0")->get_value(), 3);

  e = Extra{3, 0.25f};
  EXPECT_EQ(op->replace_knobs(k("anchor"), 2, buildExtra, &e, nullptr), 3);
  EXPECT_EQ(block(), (std::vector<std::string>{"extra0", "extra1", "extra2"}));
  EXPECT_EQ(k("extra0")->get_value(), 0.25);

  // A count past the block removes the block only, never the node's own knobs.
  e = Extra{1, 0};
  EXPECT_EQ(op->replace_knobs(k("anchor"), 100, buildExtra, &e, nullptr), 1);
  EXPECT_EQ(block(), (std::vector<std::string>{"extra0"}));
  EXPECT_EQ(k("extra2"), nullptr);

  // The node's own knobs still store into their members after replacing.
  ASSERT_TRUE(node->userSetText(k("count"), "8"));
  EXPECT_EQ(op->count, 8);
}

TEST_F(DDImageKnobs, ValidateRunsOncePerChange) {
  for (bool forReal : {true, true, false}) op->validate(forReal);
  EXPECT_EQ(op->validations, 1);
  ASSERT_TRUE(node->userSetText(k("count"), "2"));
  for (bool forReal : {true, true, false}) op->validate(forReal);
  EXPECT_EQ(op->validations, 2);
}

TEST_F(DDImageKnobs, CustomKnobsAreMadeOnceAndReachTheNode) {
  // SetUp's node made one; storing passes make none.
  const int made = PickKnob::made;
  node->storeKnobs();
  node->storeKnobs();
  EXPECT_EQ(PickKnob::made, made);
  auto* pick = dynamic_cast<PickKnob*>(k("pick"));
  ASSERT_NE(pick, nullptr);
  EXPECT_EQ(pick->owner, op);
  EXPECT_EQ(pick->op(), op);
  EXPECT_EQ(node->changed(pick), 1);
  EXPECT_EQ(op->changes.back().knob, "pick");

  // Storing passes skip the custom knob and still reach the member after it.
  ASSERT_TRUE(node->userSetText(k("anchor"), "5"));
  EXPECT_EQ(op->anchor, 5);
}

TEST(DDImageRegistry, FindsClassesByNameAndKnowsTheyAreBuiltIn) {
  const Op::Description* d = Op::Description::find("TestOpX");
  ASSERT_EQ(d, &TestOp::description);
  EXPECT_EQ(d->plugin, nullptr);
  for (const char* stock : {"Axis", "Read"}) {
    const Op::Description* s = Op::Description::find(stock);
    ASSERT_NE(s, nullptr) << stock;
    EXPECT_STREQ(s->name, stock);
    EXPECT_EQ(s->plugin, nullptr);
  }
  EXPECT_EQ(Op::Description::find("NoSuchClass"), nullptr);

  bool listed = false;
  for (int i = 0; i < Op::Description::count(); ++i) listed = listed || Op::Description::find(i) == d;
  EXPECT_TRUE(listed);
  EXPECT_EQ(Op::Description::find(Op::Description::count()), nullptr);

  Graph graph;
  std::string error;
  Node* n = graph.create("TestOpX", "", &error);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->op()->Class(), d->name);
  EXPECT_EQ(graph.create("TestOpX", n->name(), &error), nullptr) << "names are unique";
  EXPECT_EQ(graph.create("NoSuchClass", "", &error), nullptr);
}

}  // namespace
