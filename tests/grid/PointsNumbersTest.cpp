// Numbers in the points text: the shortest text that reads back to the same
// float.
#include <cfloat>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/ControlGrid.h"
#include "grid/PointsText.h"

using namespace quorcard;

// Catches a writer that keeps the archive's nine-digit scientific form, or
// prints a float widened to double ("0.3333333432674408").
TEST(PointsNumbers, DefaultGridReadsAsWrittenByHand) {
  ControlGrid grid;
  grid.reset(4, 4, 1.0f, 1.0f);
  const std::string text = pointsToText(grid.points());
  // The first point: pos (-0.5, -0.5, 0), uv (0, 1); the second's u is 1/3.
  for (const char* item : {"<item>-0.5</item>", "<item>0</item>", "<item>1</item>", "<item>0.33333334</item>"})
    EXPECT_NE(text.find(item), std::string::npos) << item;
  EXPECT_EQ(text.find("e-01"), std::string::npos);
}

// Catches precision lost on the way out (too few digits, a double rounding
// through decimal) for values at the edges of the float range.
TEST(PointsNumbers, EveryFloatReadsBackBitForBit) {
  const float values[] = {std::numeric_limits<float>::denorm_min(),
                          -std::numeric_limits<float>::denorm_min(),
                          FLT_MIN,  // smallest normal
                          FLT_MAX,
                          -FLT_MAX,
                          1.0f / 3.0f,
                          -0.0f,
                          0.1f,
                          1e-7f,
                          2.5e-39f};
  PointList points(1);
  std::vector<float> all;
  for (std::size_t i = 0; i < sizeof values / sizeof values[0]; i += 3) {
    VtxPoint& p = points[0];
    for (int k = 0; k < 3; ++k) p.pos[k] = values[(i + k) % (sizeof values / sizeof values[0])];
    const PointList back = textToPoints(pointsToText(points));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(std::memcmp(back[0].pos, p.pos, sizeof p.pos), 0) << "values from " << i;
  }
}
