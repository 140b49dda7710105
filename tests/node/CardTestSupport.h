// A host graph holding one finished card, for the node tests.
#ifndef QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H
#define QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DDImageHost/Host.h"
#include "TestSupport.h"
#include "node/QuorCard.h"

namespace cardtest {

struct CardGraph : public ::testing::Test {
  DD::Image::Graph graph;
  testsupport::TempDir dir;
  Node* node = nullptr;
  quorcard::QuorCard* card = nullptr;

  void SetUp() override;
  // Makes another node of the class and finishes it.
  Node* add(const std::string& cls);
  // A Read of a grey PNG of the given size, made for the test.
  Node* addImage(int width, int height);
  DD::Image::Knob* knob(const std::string& name) const { return node->knob(name); }
  // Sets a knob of the card as a user would; fails the test when refused.
  void set(const std::string& name, const std::string& value);
  std::string cpstr() const { return node->knob("cpstr")->get_text(); }
  // The names of the knobs after "delimiter" (the text header as "<header>").
  std::vector<std::string> pointKnobNames() const;
};

}  // namespace cardtest

#endif
