// Knobs as a node sees them: the knob closure, what every stock kind keeps,
// text in and out by kind, ranges, flags, knob_changed and the store pass of
// text knobs. The position knobs a node makes after an anchor are the card's
// tests (its point knobs) and the host's (the test plug-in's block).
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
  const char* node_help() const override { return "A node with a knob of every stock kind."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(Knob_Callback f) override {  // a knob and what applies to it on each line
    Int_knob(f, &count, "count");
    SetRange(f, 0, 10);
    SetFlags(f, Knob::FORCE_RANGE);
    Float_knob(f, &gain, "gain");
    SetRange(f, 0, 1);
    XYZ_knob(f, pos, "pos");
    Enumeration_knob(f, &mode, kModes, "mode");
    Tooltip(f, "How it goes.");
    Bool_knob(f, &on, "on");
    String_knob(f, &text, "text", INVISIBLE);
    Int_knob(f, &secret, "secret");
    SetFlags(f, Knob::HIDDEN);
    Double_knob(f, &precise, "precise");
    f(XY_KNOB, FloatPtr, xy, "xy", nullptr);
    f(COLOR_KNOB, FloatPtr, colour, "colour", nullptr);
    File_knob(f, &file, "file");
    String_knob(f, useSecond ? &second : &first, "words");
    PyScript_knob(f, "print(1)", "run", "run it");
  }
  // Records the knob's name and what the member `count` held at that moment.
  int knob_changed(Knob* k) override {
    changes.emplace_back(k->name(), count);
    return 1;
  }

  int count = 4, mode = 1, secret = 9;
  float gain = 0.1f, pos[3] = {1, 2, 3}, xy[2] = {1.5f, -2.5f}, colour[3] = {0.25f, 0.5f, 0.75f};
  bool on = true;
  double precise = 0.1;
  std::string text = "hello", file = "/a/file.png";
  // "words" is bound to `first` or, once `useSecond` is set, to `second`.
  bool useSecond = false;
  std::string first = "made", second;
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
  Knob* k(const std::string& name) const { return node->knob(name); }
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
  EXPECT_TRUE(k("text")->hasValue() && k("text")->notDefault());
}

// Catches a kind that lost its channel count, its items, its script, its
// tooltip or its text storage, or that compares its value with another
// default than the one its member gave.
TEST_F(DDImageKnobs, EveryKindKeepsItsValuesAndItsParts) {
  EXPECT_EQ(k("mode")->valueText() + " " + k("on")->valueText() + " " + k("xy")->valueText() + " " +
                k("colour")->valueText() + " " + k("precise")->valueText(),
            "on 1 1.5,-2.5 0.25,0.5,0.75 0.1");
  EXPECT_EQ(enumerationItems(k("mode")), (std::vector<std::string>{"off", "on", "auto"}));
  EXPECT_TRUE(k("xy")->channels() == 2 && k("colour")->channels() == 3 && !k("colour")->set_value(1, 3));
  EXPECT_STREQ(k("file")->get_text(), "/a/file.png");
  EXPECT_STREQ(k("words")->get_text(), "made");
  EXPECT_EQ(k("words")->channels(), 0);
  EXPECT_EQ(buttonScript(k("run")), "print(1)");
  EXPECT_EQ(buttonScript(k("file")), "");
  EXPECT_EQ(k("run")->label(), "run it");
  EXPECT_EQ(k("mode")->tooltip(), "How it goes.");
  EXPECT_EQ(k("count")->tooltip(), "");
  k("mode")->tooltip("");
  EXPECT_EQ(k("mode")->tooltip(), "");

  for (const char* name : {"count", "gain", "pos", "mode", "on", "precise", "xy", "colour", "file", "words"})
    EXPECT_FALSE(k(name)->notDefault()) << name;
  ASSERT_TRUE(k("xy")->set_value(7, 1));
  ASSERT_TRUE(k("file")->set_text("/b.png"));
  EXPECT_TRUE(k("xy")->notDefault() && k("file")->notDefault());
  EXPECT_FALSE(k("colour")->notDefault());
  node->storeKnobs();
  EXPECT_EQ(op->xy[1], 7.0f);
  EXPECT_EQ(op->file, "/b.png");
}

// Text as a script or a user gives it, and the text written back. Mistakes:
// FORCE_RANGE ignored or its ends swapped, a range without it clamping, a
// fraction taken by an int knob, a float knob going infinite or written as a
// double (0.1f as 0.10000000149011612), an index past the items refused, a
// negative or fractional index taken, truncation for rounding, spaces around
// a number refused (the panel reads typed numbers by the same rule).
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
      {"gain", " 3\t", true, "3"},
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
      {"on", "0", true, "0"},
      {"on", "true", true, "1"},
      {"on", "yes", false, "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(k(c.knob)->set_text(c.text), c.taken) << c.knob << " = " << c.text;
    EXPECT_EQ(k(c.knob)->valueText(), c.after) << c.knob << " = " << c.text;
  }
  node->storeKnobs();
  EXPECT_TRUE(op->gain == 3.4028234663852886e38f && op->mode == 7);
  EXPECT_TRUE(k("count")->set_value(2.6) && k("count")->get_value() == 3);
}

// A text knob writes its text into the bound member whenever it may differ
// from what that member was last given, and not again when it did not
// change: the node overwrites its member with a marker between passes, and
// the marker survives exactly the passes in which the text was not copied.
TEST_F(DDImageKnobs, AStoredTextIsCopiedOnlyWhenItMayDiffer) {
  const std::string text = "a long text that no small-string buffer holds";
  // The making pass took the member's text; the first store pass of another
  // node writes it back over what the node put there meanwhile.
  Node* other = graph.create("TestOpX", "", nullptr);
  static_cast<TestOp*>(other->op())->first = "marker";
  graph.finish(other);
  EXPECT_EQ(static_cast<TestOp*>(other->op())->first, "made");

  ASSERT_TRUE(k("words")->set_text(text.c_str()));
  node->storeKnobs();
  EXPECT_EQ(op->first, text);
  // Another knob's change stores every knob; the text did not change.
  op->first = "marker";
  ASSERT_TRUE(node->userSetText(k("count"), "3"));
  EXPECT_EQ(op->count, 3);
  node->storeKnobs();
  EXPECT_EQ(op->first, "marker");
  // Every set_text is a change, even to the same text: nothing compares it.
  ASSERT_TRUE(k("words")->set_text(text.c_str()));
  node->storeKnobs();
  EXPECT_EQ(op->first, text);
  // A user's change reaches the member before knob_changed.
  op->first = "marker";
  ASSERT_TRUE(node->userSetText(k("words"), "typed"));
  EXPECT_EQ(op->first, "typed");

  // The record of what was written is per member: bound to another member,
  // and back to the first one, the knob writes its unchanged text again.
  op->useSecond = true;
  node->storeKnobs();
  EXPECT_EQ(op->second, "typed");
  op->first = "marker";
  op->useSecond = false;
  node->storeKnobs();
  EXPECT_EQ(op->first, "typed");
}

// A text set again is written only from where it differs from the one held.
// Mistakes: a change in the first or last block, or in a block's last byte,
// not written; a longer or shorter text cut or padded with the old one, also
// where a piece of another length shifts the blocks after it (copied, not
// compared, from the eighth differing block on); the same text taken for a
// change of length; a stamp reused between texts or knobs, which would let
// the history share a copy of a text that changed.
TEST_F(DDImageKnobs, ATextSetAgainIsWholeAndStampedAnew) {
  std::string base(12 * 4096 + 100, 'x');
  for (size_t i = 0; i < base.size(); i += 7) base[i] = static_cast<char>('a' + i % 13);
  auto with = [&base](size_t at, char c) { return base.substr(0, at) + c + base.substr(at + 1); };
  const std::string texts[] = {base,
                               base,
                               with(0, 'a'),
                               with(4095, 'b'),
                               with(base.size() - 1, 'c'),
                               base + "tail",
                               base.substr(0, 5000),
                               base.substr(0, 4096),
                               "",
                               with(9000, 'd'),
                               with(9000, 'd') + "!",
                               base,
                               base.substr(0, 9000) + "inserted" + base.substr(9000),
                               base.substr(0, 9000) + base.substr(9005),
                               base.substr(1)};
  unsigned long long last = textStamp(k("text"));
  for (const std::string& t : texts) {
    ASSERT_TRUE(k("text")->set_text(t.c_str()));
    EXPECT_EQ(std::string(k("text")->get_text()), t) << "a text of " << t.size() << " bytes";
    EXPECT_GT(textStamp(k("text")), last);
    last = textStamp(k("text"));
    ASSERT_TRUE(k("file")->set_text("/other.png"));
    EXPECT_GT(textStamp(k("file")), last);
    last = textStamp(k("file"));
  }
  EXPECT_EQ(textStamp(k("count")), 0u);
}

// A block made after "file": "p0" hidden and not written (dormant), "p1"
// hidden but written, "p2" shown but not written.
void buildBlock(void*, Knob_Callback f) {
  float v[3] = {0, 0, 0};
  for (const char* name : {"p0", "p1", "p2"}) {
    XYZ_knob(f, v, name);
    if (name[1] != '1') SetFlags(f, Knob::DO_NOT_WRITE);
    if (name[1] != '2') SetFlags(f, Knob::HIDDEN);
  }
}

// Mistakes: a hidden knob of the knobs() pass, a written one or a shown one
// taken for dormant (the history, the script or the viewer would lose it);
// the list not made again when a block knob is shown, hidden or flagged; a
// dormant knob's value not counted as a change.
TEST_F(DDImageKnobs, OnlyHiddenUnwrittenBlockKnobsSleep) {
  ASSERT_EQ(op->replace_knobs(k("file"), 0, buildBlock, nullptr), 3);
  auto awake = [this] {
    std::string names;
    for (const Knob* a : node->awakeKnobs()) names += a->name() + " ";
    return names;
  };
  const std::string all = "count gain pos mode on text secret precise xy colour file p0 p1 p2 words run ";
  const std::string sleeping = "count gain pos mode on text secret precise xy colour file p1 p2 words run ";
  EXPECT_EQ(awake(), sleeping);
  const unsigned long long changes = node->knobChanges();
  ASSERT_TRUE(k("p0")->set_value(2, 1));
  EXPECT_EQ(node->knobChanges(), changes + 1);
  k("p0")->visible(true);
  EXPECT_EQ(awake(), all);
  k("p0")->visible(false);
  EXPECT_EQ(awake(), sleeping);
  k("p0")->set_flag(Knob::HIDDEN);
  k("p0")->clear_flag(Knob::DO_NOT_WRITE);
  EXPECT_EQ(awake(), all);
}

}  // namespace
