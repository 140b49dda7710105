// The points travel in "cpstr": saved with the script, restored on attach.
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "CardTestSupport.h"
#include "grid/PointsText.h"

using namespace cardtest;

namespace {

class CardPersistence : public CardGraph {
 protected:
  // A node made the way a host loads it from a script: knob values applied
  // before the node is attached, without reactions.
  quorcard::QuorCard* load(const std::string& cpstrText, const std::string& breakTangent = "0") {
    std::string error;
    Node* n = graph.create("QuorCard", "", &error);
    EXPECT_NE(n, nullptr) << error;
    EXPECT_TRUE(n->knob("cpstr")->set_text(cpstrText.c_str()));
    EXPECT_TRUE(n->knob("break_tangent")->set_text(breakTangent.c_str()));
    graph.finish(n);
    loaded = n;
    return dynamic_cast<quorcard::QuorCard*>(n->op());
  }
  Node* loaded = nullptr;
};

bool samePoints(const quorcard::PointList& a, const quorcard::PointList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(a[i].pos, b[i].pos, sizeof a[i].pos) || std::memcmp(a[i].uv, b[i].uv, sizeof a[i].uv) ||
        std::memcmp(a[i].normal, b[i].normal, sizeof a[i].normal) || a[i].controlPoints != b[i].controlPoints)
      return false;
  }
  return true;
}

TEST_F(CardPersistence, NewCardStoresTheDefaultGrid) {
  EXPECT_NE(cpstr().find("<count>16</count>"), std::string::npos);
  EXPECT_EQ(card->cpText, cpstr());
  EXPECT_TRUE(samePoints(quorcard::textToPoints(cpstr()), card->points));
}

TEST_F(CardPersistence, EveryPointAndHandleComesBackBitForBit) {
  set("type", "smooth with handles");
  set("control_point.1.2", "-0.123456789,0.2,0.0001");
  set("control_point.1.2.2", "0.1,0.3,-0.0123");
  set("control_point.2.1.3", "0.3333333,0.1,0.7");
  quorcard::QuorCard* copy = load(cpstr());
  EXPECT_TRUE(samePoints(copy->points, card->points));
  EXPECT_EQ(copy->cpText, card->cpText);
  EXPECT_EQ(loaded->knob("control_point.1.2.2")->get_value(2), card->points[9].controlPoints[2][2]);
}

TEST_F(CardPersistence, OldArchivesStillLoad) {
  std::ifstream in(std::string(QUOR_SOURCE_DIR) + "/../shared/fixtures/points-v9-4x4.xml");
  ASSERT_TRUE(in) << "missing fixture";
  std::stringstream text;
  text << in.rdbuf();
  quorcard::QuorCard* copy = load(text.str());
  EXPECT_TRUE(samePoints(copy->points, card->points));
}

TEST_F(CardPersistence, DamagedTextWarnsAndFallsBackToTheDefaultGrid) {
  std::string damaged = cpstr();
  damaged.replace(damaged.find("<pos>"), 5, "<pas>");
  std::stringstream captured;
  std::streambuf* old = std::cerr.rdbuf(captured.rdbuf());
  quorcard::QuorCard* copy = load(damaged);
  std::cerr.rdbuf(old);
  const std::string warning = captured.str();
  const std::string first = "[Brunvik] WARNING: caught an exception when restore control points: ";
  const std::string second =
      "[Brunvik] Mostly likely this is related to loading a scene which was saved with an old version of "
      "Brunvik.\n";
  ASSERT_EQ(warning.rfind(first, 0), 0u) << warning;
  EXPECT_EQ(warning.substr(warning.size() - second.size()), second);
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 2);
  EXPECT_TRUE(samePoints(copy->points, card->points));
  EXPECT_EQ(loaded->knob("cpstr")->get_text(), cpstr());
}

TEST_F(CardPersistence, LoadedBreakHidesMirror) {
  load(cpstr(), "1");
  EXPECT_FALSE(loaded->knob("mirror_tangent")->isVisible());
}

TEST_F(CardPersistence, MismatchedGridIsKeptAndLeftAlone) {
  quorcard::PointList six;
  quorcard::buildDefaultGrid(six, 3, 2, 1, 1);
  quorcard::QuorCard* copy = load(quorcard::pointsToText(six));
  EXPECT_EQ(copy->points.size(), 6u);  // 4 x 4 by the knobs: kept as restored
  EXPECT_TRUE(copy->pointKnobIndex.empty());
  copy->setRatio(2);  // no rescale, but the new size is kept and stored
  EXPECT_EQ(copy->yRatio, 0.5f);
  EXPECT_EQ(copy->points[0].pos[1], six[0].pos[1]);
  loaded->changed(loaded->knob("reset_handles"));  // the button pressed
  EXPECT_EQ(copy->points.size(), 16u);
}

}  // namespace
