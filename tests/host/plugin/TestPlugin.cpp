// "TestNode" for the host's tests: knobs of the stock kinds, a block made by
// replace_knobs after "delimiter", and a line on standard output with its
// members whenever the host attaches it or tells it of a change.
#include <iostream>
#include <string>

#include <DDImage/Knobs.h>
#include <DDImage/Op.h>

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

  void knobs(Knob_Callback f) override {  // a knob and what applies to it on each line
    Int_knob(f, &count_, "count");
    SetRange(f, 1, 10);
    SetFlags(f, Knob::FORCE_RANGE);
    Float_knob(f, &gain_, "gain");
    Bool_knob(f, &enabled_, "enabled");
    Enumeration_knob(f, &mode_, kModes, "mode");
    String_knob(f, &label_, "label");
    XYZ_knob(f, position_, "position");
    String_knob(f, &secret_, "secret", INVISIBLE);
    Int_knob(f, &scratch_, "scratch");
    SetFlags(f, Knob::DO_NOT_WRITE);
    File_knob(f, &file_, "file");
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
  static const Description description;

 private:
  void report(const std::string& event) const {
    std::cout << "TestNode " << event << ": count=" << count_ << " gain=" << gain_ << " enabled=" << enabled_
              << " mode=" << mode_ << " label=" << label_ << " position=" << position_[0] << ',' << position_[1] << ','
              << position_[2] << " secret=" << secret_ << " scratch=" << scratch_ << std::endl;
  }
  // `blockSize_` knobs "point.i", not saved, starting at i / 2 from a value that lives only while the knob is made;
  // then a saved "weight". One more is asked to go than was made: the host removes no knob of the node's own.
  void rebuildBlock() {
    blockMade_ = replace_knobs(knob("delimiter"), blockMade_ + 1, buildBlock, this, nullptr);
    std::cout << "TestNode block: made=" << blockMade_ << std::endl;
  }
  static void buildBlock(void* data, Knob_Callback f) {
    for (int i = 0; i < static_cast<const TestNode*>(data)->blockSize_; ++i) {
      float start = static_cast<float>(i) * 0.5f;
      Float_knob(f, &start, ("point." + std::to_string(i)).c_str());
      SetFlags(f, Knob::DO_NOT_WRITE);
    }
    float weight = 1.0f;
    Float_knob(f, &weight, "weight");
  }

  int count_ = 3, mode_ = 0, scratch_ = 0, blockSize_ = 2, blockMade_ = 0, tail_ = 0;
  float gain_ = 0.5f, position_[3] = {0, 0, 0};
  bool enabled_ = false;
  std::string label_ = "hello", secret_, file_;
  mutable std::string help_;
};

Op* buildTestNode(Node* node) { return new TestNode(node); }
const Op::Description TestNode::description("TestNode", buildTestNode);

}  // namespace
