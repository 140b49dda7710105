// The points travel in "cpstr": saved with the script, restored on attach.
#include <cstring>
#include <iostream>
#include <sstream>

#include "CardTestSupport.h"
#include "grid/PointsText.h"

using namespace cardtest;

namespace {

class CardPersistence : public CardGraph {
 protected:
  // A node made the way a host loads a script: knob values applied before
  // the node is attached, without reactions.
  quorcard::QuorCard* load(const std::string& text, const std::string& breakTangent = "0") {
    std::string error;
    loaded = graph.create("QuorCard", "", &error);
    EXPECT_TRUE(loaded->knob("cpstr")->set_text(text.c_str()));
    EXPECT_TRUE(loaded->knob("break_tangent")->set_text(breakTangent.c_str()));
    graph.finish(loaded);
    return dynamic_cast<quorcard::QuorCard*>(loaded->op());
  }
  Node* loaded = nullptr;
};

bool samePoints(const quorcard::PointList& a, const quorcard::PointList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(a[i].pos, b[i].pos, sizeof a[i].pos) || std::memcmp(a[i].uv, b[i].uv, sizeof a[i].uv) ||
        std::memcmp(a[i].normal, b[i].normal, sizeof a[i].normal) || a[i].controlPoints != b[i].controlPoints)
      return false;
  return true;
}

TEST_F(CardPersistence, EveryPointAndHandleComesBackBitForBit) {
  EXPECT_NE(cpstr().find("<count>16</count>"), std::string::npos);  // a new card stores its grid
  set("control_point.1.2", "-0.123456789,0.2,0.0001");
  set("control_point.1.2.2", "0.1,0.3,-0.0123");
  quorcard::QuorCard* copy = load(cpstr(), "1");
  EXPECT_TRUE(samePoints(copy->points, card->points));
  EXPECT_EQ(copy->cpText, card->cpText);
  EXPECT_EQ(loaded->knob("control_point.1.2.2")->get_value(2), card->points[9].controlPoints[2][2]);
  EXPECT_FALSE(loaded->knob("mirror_tangent")->isVisible());  // break was on
}

TEST_F(CardPersistence, DamagedTextFallsBackToTheDefaultGrid) {
  std::string damaged = cpstr();
  damaged.replace(damaged.find("<pos>"), 5, "<pas>");
  std::stringstream warnings;
  std::streambuf* old = std::cerr.rdbuf(warnings.rdbuf());
  quorcard::QuorCard* copy = load(damaged);
  std::cerr.rdbuf(old);
  EXPECT_EQ(warnings.str().rfind("[Brunvik] WARNING: ", 0), 0u);
  EXPECT_TRUE(samePoints(copy->points, card->points));
  EXPECT_EQ(loaded->knob("cpstr")->get_text(), cpstr());  // the unreadable text is replaced
}

TEST_F(CardPersistence, MismatchedGridIsKeptAndLeftAlone) {
  quorcard::PointList six;
  quorcard::buildDefaultGrid(six, 3, 2, 1, 1);
  quorcard::QuorCard* copy = load(quorcard::pointsToText(six));
  EXPECT_EQ(copy->points.size(), 6u);  // 4 x 4 by the knobs: kept as restored
  EXPECT_TRUE(copy->pointKnobIndex.empty());
  copy->setRatio(2);  // no rescale, but the new size is kept
  EXPECT_EQ(copy->yRatio, 0.5f);
  EXPECT_EQ(copy->points[0].pos[1], six[0].pos[1]);
  loaded->changed(loaded->knob("reset_handles"));
  EXPECT_EQ(copy->points.size(), 16u);
}

}  // namespace
