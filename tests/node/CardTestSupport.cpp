#include "CardTestSupport.h"

namespace cardtest {

void CardGraph::SetUp() {
  node = add("QuorCard");
  ASSERT_NE(node, nullptr);
  card = dynamic_cast<quorcard::QuorCard*>(node->op());
  ASSERT_NE(card, nullptr);
}

Node* CardGraph::add(const std::string& cls) {
  std::string error;
  Node* n = graph.create(cls, "", &error);
  EXPECT_NE(n, nullptr) << error;
  if (n) graph.finish(n);
  return n;
}

Node* CardGraph::addImage(int width, int height) {
  const std::string path = dir.file("image" + std::to_string(width) + "x" + std::to_string(height) + ".png");
  EXPECT_TRUE(testsupport::writePng(path, width, height, std::vector<unsigned char>(width * height * 4, 200)));
  Node* read = add("Read");
  EXPECT_TRUE(read->userSetText(read->knob("file"), path.c_str()));
  return read;
}

void CardGraph::set(const std::string& name, const std::string& value) {
  DD::Image::Knob* k = node->knob(name);
  ASSERT_NE(k, nullptr) << name;
  ASSERT_TRUE(node->userSetText(k, value.c_str())) << name << " = " << value;
}

std::vector<std::string> CardGraph::pointKnobNames() const {
  std::vector<std::string> names;
  bool after = false;
  for (const auto& k : node->knobs()) {
    if (after) names.push_back(k->name().empty() ? "<header>" : k->name());
    if (k->is("delimiter")) after = true;
  }
  return names;
}

}  // namespace cardtest
