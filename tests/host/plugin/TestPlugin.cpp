// Node classes for the host's tests. "TestNode" has a knob of every stock
// kind, a block of knobs made by replace_knobs after its knob "delimiter",
// and prints what its members hold whenever the host attaches it or tells it
// of a change, so that tests can see what the host stored and when.
// "TestPrimitive" is a renderer primitive that emits a comment.
#include <iostream>
#include <sstream>
#include <string>

#include <DDImage/Knobs.h>
#include <DDImage/Op.h>
#include <Quor/Quor.h>
#include <Quor/QuorPrimitive.h>

using namespace DD::Image;

namespace {

const char* const kModes[] = {"first", "second", "third", nullptr};

class TestNode : public Op {
 public:
  explicit TestNode(Node* node) : Op(node) {}

  const char* Class() const override { return description.name; }
  const char* node_help() const override {
    help_ = std::string("Knobs of every kind, for tests.\nplugin=") + (description.plugin ? description.plugin : "");
    return help_.c_str();
  }
  int minimum_inputs() const override { return 2; }
  int maximum_inputs() const override { return 2; }
  const char* input_label(int n, char*) const override { return n == 0 ? "left" : n == 1 ? "right" : nullptr; }

  void knobs(Knob_Callback f) override {
    Int_knob(f, &count_, "count");
    SetRange(f, 1, 10);
    SetFlags(f, Knob::FORCE_RANGE);
    Float_knob(f, &gain_, "gain");
    Bool_knob(f, &enabled_, "enabled");
    Enumeration_knob(f, &mode_, kModes, "mode");
    String_knob(f, &label_, "label");
    String_knob(f, &note_, "note");
    XYZ_knob(f, position_, "position");
    String_knob(f, &secret_, "secret", INVISIBLE);
    Int_knob(f, &scratch_, "scratch");
    SetFlags(f, Knob::DO_NOT_WRITE);
    File_knob(f, &file_, "file");
    Button(f, "reset");
    PyScript_knob(f, "import os\nopen(os.environ['TESTNODE_PRESS_FILE'], 'w').write('pressed')", "python_ok");
    PyScript_knob(f, "import sys\nsys.exit(3)", "python_fail");
    Int_knob(f, &blockSize_, "block");
    f(TEXT_KNOB, Custom, nullptr, "delimiter", nullptr, nullptr);
    Int_knob(f, &tail_, "tail");
  }

  void attach() override {
    report("attach");
    rebuildBlock();
  }

  int knob_changed(Knob* k) override {
    report("knob_changed " + k->name());
    if (k->is("block")) rebuildBlock();
    return 1;
  }

  void append(Hash& h) override {
    h.append(count_);
    h.append(gain_);
    h.append(label_);
  }

  static const Description description;

 private:
  // The members as the node sees them, on one line of standard output.
  void report(const std::string& event) const {
    std::cout << "TestNode " << event << ": count=" << count_ << " gain=" << gain_ << " enabled=" << enabled_
              << " mode=" << mode_ << " label=" << label_ << " position=" << position_[0] << ','
              << position_[1] << ',' << position_[2] << " secret=" << secret_ << " scratch=" << scratch_
              << " file=" << file_ << std::endl;
  }

  // Replaces the knobs of the last block with `blockSize_` new ones.
  void rebuildBlock() {
    blockMade_ = replace_knobs(knob("delimiter"), blockMade_, buildBlock, this, nullptr);
    std::cout << "TestNode block: made=" << blockMade_ << std::endl;
  }

  // `blockSize_` knobs "point.i", not saved, knob i starting at i / 2 from
  // a value that lives only while the knob is made; then a saved "weight".
  static void buildBlock(void* data, Knob_Callback f) {
    const TestNode* self = static_cast<const TestNode*>(data);
    for (int i = 0; i < self->blockSize_; ++i) {
      float start = static_cast<float>(i) * 0.5f;
      const std::string name = "point." + std::to_string(i);
      Float_knob(f, &start, name.c_str());
      SetFlags(f, Knob::DO_NOT_WRITE);
    }
    float weight = 1.0f;
    Float_knob(f, &weight, "weight");
  }

  int count_ = 3;
  float gain_ = 0.5f;
  bool enabled_ = false;
  int mode_ = 0;
  std::string label_ = "hello";
  std::string note_ = "a\tb\nc\\d";
  float position_[3] = {0, 0, 0};
  std::string secret_;
  int scratch_ = 0;
  std::string file_;
  int blockSize_ = 2;
  int blockMade_ = 0;
  int tail_ = 0;
  mutable std::string help_;
};

Op* buildTestNode(Node* node) { return new TestNode(node); }
const Op::Description TestNode::description("TestNode", buildTestNode);

class TestPrimitive : public QuorPrimitive, public Op {
 public:
  explicit TestPrimitive(Node* node) : Op(node) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "Emits one comment."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(Knob_Callback f) override { String_knob(f, &words_, "words"); }

  Box3f bound() const override { return Box3f{{0, 0, 0}, {0, 0, 0}}; }
  void emit() override {
    std::ostringstream name;
    print_name(name);
    QrComment(("TestPrimitive " + name.str() + " " + words_).c_str());
  }

  static const Description description;

 private:
  std::string words_ = "emitted";
};

Op* buildTestPrimitive(Node* node) { return new TestPrimitive(node); }
const Op::Description TestPrimitive::description("TestPrimitive", buildTestPrimitive);

}  // namespace
