// A host graph holding one card, and the small helpers the node tests share.
#ifndef QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H
#define QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DDImage/Host.h"
#include "node/QuorCard.h"

namespace cardtest {

// Writes an RGBA PNG of the given size; answers its path.
std::string writePng(const std::string& name, int width, int height);

// A fresh temporary path (not created).
std::string tempPath(const std::string& name);

struct CardGraph : public ::testing::Test {
  DD::Image::Graph graph;
  Node* node = nullptr;
  quorcard::QuorCard* card = nullptr;

  void SetUp() override;
  // Makes another node of the class and finishes it.
  Node* add(const std::string& cls, const std::string& name = "");
  DD::Image::Knob* knob(const std::string& name) const { return node->knob(name); }
  // Sets a knob of the card as a user would; fails the test when refused.
  void set(const std::string& name, const std::string& value);
  std::string cpstr() const;
  // The names of the knobs after "delimiter".
  std::vector<std::string> pointKnobNames() const;
};

}  // namespace cardtest

#endif
