// What every stock knob keeps, kind by kind, and the position knobs that a
// node makes by the thousand after an anchor: names, labels, values,
// defaults, flags, visibility, and finding them by name after blocks of
// them were replaced.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

using namespace DD::Image;

namespace {

const char* const kModes[] = {"first", "second", nullptr};

class KindsOp : public Op {
 public:
  explicit KindsOp(Node* n) : Op(n) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "A node with a knob of every stock kind."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(Knob_Callback f) override {
    Enumeration_knob(f, &mode, kModes, "mode", "mode");
    Tooltip(f, "How it goes.");
    Bool_knob(f, &flag, "flag");
    Int_knob(f, &steps, "steps", "steps");
    SetRange(f, 1, 9);
    SetFlags(f, Knob::FORCE_RANGE);
    Double_knob(f, &precise, "precise");
    f(XY_KNOB, FloatPtr, xy, "xy", nullptr);
    f(COLOR_KNOB, FloatPtr, colour, "colour", nullptr);
    File_knob(f, &file, "file");
    String_knob(f, &words, "words");
    PyScript_knob(f, "print(1)", "run", "run it");
    f(TEXT_KNOB, Custom, nullptr, "anchor", "", nullptr);
  }

  int mode = 1;
  bool flag = true;
  int steps = 3;
  double precise = 0.1;
  float xy[2] = {1.5f, -2.5f};
  float colour[3] = {0.25f, 0.5f, 0.75f};
  std::string file = "/a/file.png";
  std::string words = "some words";
  static const Description description;
};

Op* buildKindsOp(Node* n) { return new KindsOp(n); }
const Op::Description KindsOp::description("KnobKindsOp", buildKindsOp);

// Position knobs "spot.I" labelled "spot I" at (I, -I, I / 4), hidden and
// left out of scripts, as a card makes its point knobs.
struct Spots {
  int first;
  int count;
};
void buildSpots(void* data, Knob_Callback f) {
  const Spots* s = static_cast<const Spots*>(data);
  for (int i = s->first; i < s->first + s->count; ++i) {
    float v[3] = {static_cast<float>(i), static_cast<float>(-i), i / 4.0f};
    XYZ_knob(f, v, ("spot." + std::to_string(i)).c_str(), ("spot " + std::to_string(i)).c_str());
    SetFlags(f, Knob::DO_NOT_WRITE | Knob::HIDDEN);
  }
}

class KnobKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    node = graph.create("KnobKindsOp", "", &error);
    ASSERT_NE(node, nullptr) << error;
    graph.finish(node);
    op = static_cast<KindsOp*>(node->op());
  }
  Knob* k(const std::string& name) const { return node->knob(name); }

  Graph graph;
  Node* node = nullptr;
  KindsOp* op = nullptr;
};

// Catches a kind that lost its channel count, its items, its script, its
// tooltip or its text storage when the knob's rarely used parts were moved
// out of the knob. Ranges and text by kind are KnobTest's.
TEST_F(KnobKinds, EveryKindKeepsItsValuesAndItsParts) {
  EXPECT_EQ(k("mode")->valueText(), "second");
  EXPECT_EQ(enumerationItems(k("mode")), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(k("flag")->valueText(), "1");
  EXPECT_EQ(k("steps")->get_value(), 3);
  EXPECT_EQ(k("precise")->get_value(), 0.1);
  EXPECT_EQ(k("xy")->channels(), 2);
  EXPECT_EQ(k("xy")->valueText(), "1.5,-2.5");
  EXPECT_EQ(k("colour")->channels(), 3);
  EXPECT_EQ(k("colour")->valueText(), "0.25,0.5,0.75");
  EXPECT_FALSE(k("colour")->set_value(1, 3));
  EXPECT_STREQ(k("file")->get_text(), "/a/file.png");
  EXPECT_STREQ(k("words")->get_text(), "some words");
  EXPECT_EQ(k("words")->channels(), 0);
  EXPECT_EQ(buttonScript(k("run")), "print(1)");
  EXPECT_EQ(buttonScript(k("file")), "");
  EXPECT_EQ(k("run")->label(), "run it");
  EXPECT_EQ(k("mode")->tooltip(), "How it goes.");
  EXPECT_EQ(k("steps")->tooltip(), "");
  k("mode")->tooltip("");
  EXPECT_EQ(k("mode")->tooltip(), "");

  // Every kind compares its own value with the default its member gave.
  for (const char* name : {"mode", "flag", "steps", "precise", "xy", "colour", "file", "words"})
    EXPECT_FALSE(k(name)->notDefault()) << name;
  ASSERT_TRUE(k("xy")->set_value(7, 1));
  ASSERT_TRUE(k("file")->set_text("/b.png"));
  EXPECT_TRUE(k("xy")->notDefault() && k("file")->notDefault());
  EXPECT_FALSE(k("colour")->notDefault());
  node->storeKnobs();
  EXPECT_EQ(op->xy[1], 7.0f);
  EXPECT_EQ(op->file, "/b.png");
}

// Catches position knobs that lose their name, label, value, default,
// flags or visibility, and an index of names that still answers for knobs
// a replacement removed (or misses those it added).
TEST_F(KnobKinds, PositionKnobsMadeAfterTheAnchorKeepWhatTheyWereGiven) {
  Spots first{0, 500};
  ASSERT_EQ(op->replace_knobs(k("anchor"), 0, buildSpots, &first, nullptr), 500);
  Knob* spot = k("spot.321");
  ASSERT_NE(spot, nullptr);
  EXPECT_EQ(spot->name(), "spot.321");
  EXPECT_EQ(spot->label(), "spot 321");
  EXPECT_EQ(spot->kind(), XYZ_KNOB);
  EXPECT_EQ(spot->valueText(), "321,-321,80.25");
  EXPECT_TRUE(spot->flag(Knob::DO_NOT_WRITE) && spot->flag(Knob::HIDDEN) && spot->flag(Knob::STARTLINE));
  EXPECT_FALSE(spot->isVisible());
  EXPECT_FALSE(spot->notDefault());
  spot->visible(true);
  EXPECT_TRUE(spot->isVisible());
  // A value that is not a float is kept as given; the text shows the float.
  ASSERT_TRUE(spot->set_value(0.1, 2));
  EXPECT_EQ(spot->get_value(2), 0.1);
  EXPECT_EQ(spot->valueText(), "321,-321,0.1");
  EXPECT_TRUE(spot->notDefault());

  // The block replaced by a shorter one further on.
  Spots second{1000, 3};
  ASSERT_EQ(op->replace_knobs(k("anchor"), 500, buildSpots, &second, nullptr), 3);
  EXPECT_EQ(k("spot.321"), nullptr);
  EXPECT_EQ(k("spot.0"), nullptr);
  ASSERT_NE(k("spot.1002"), nullptr);
  EXPECT_EQ(k("spot.1002")->get_value(1), -1002);
  EXPECT_EQ(k("spot.1002")->label(), "spot 1002");
  EXPECT_EQ(node->knobs().back()->name(), "spot.1002");
  for (const char* name : {"mode", "words", "run", "anchor"}) EXPECT_NE(k(name), nullptr) << name;
}

}  // namespace
