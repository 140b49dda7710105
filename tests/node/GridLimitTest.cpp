// Grids the machine cannot hold are refused before anything is freed: the
// knobs go back, the points stay, one warning names the size. Run through
// quorhost, so that the sanitizers see no allocation of the refused size.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string kPlugins = QUOR_BUILD_DIR "/plugins";

std::string knobValue(const std::string& listing, const std::string& name) {
  for (const std::vector<std::string>& row : testsupport::knobRows(listing))
    if (row[0] == name) return row[2];
  return "<no knob " + name + ">";
}

// A script of one card with the given knobs (JSON members).
std::string cardScript(const testsupport::TempDir& dir, const std::string& knobs) {
  const std::string path = dir.file("card.json");
  testsupport::writeFile(path,
                         "{\"nodes\": [{\"class\": \"QuorCard\", \"name\": \"Card1\", \"inputs\": [null, null], "
                         "\"knobs\": {" +
                             knobs + "}}]}");
  return path;
}

const char kWarning[] = "[Brunvik] WARNING: a grid of 40960 x 40960 points needs about ";

}  // namespace

// Catches a size check that multiplies in int (40960 x 40960 x 8192
// overflows), one that is skipped when the script is read, and a refusal
// that leaves the knobs at the refused size.
TEST(GridLimit, ScriptAskingForTooLargeAGridGetsTheDefaultOne) {
  testsupport::TempDir dir;
  const auto run =
      testsupport::runHost({cardScript(dir, "\"x_points\": 40960, \"y_points\": 40960"), "--knobs"}, kPlugins);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kWarning), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the grid stays 4 x 4."), std::string::npos) << run.err;
  EXPECT_EQ(knobValue(run.out, "x_points"), "4");
  EXPECT_EQ(knobValue(run.out, "y_points"), "4");
  EXPECT_EQ(knobValue(run.out, "control_point.3.3"), "0.5,0.5,0");
}

// Catches a refusal that frees or rebuilds the grid in place, or that keeps
// the refused values in the knobs.
TEST(GridLimit, RefusedKnobChangeLeavesTheGridAsItWas) {
  testsupport::TempDir dir;
  const auto made = testsupport::runHost(
      {"--new", "QuorCard", "--set", "x_points", "2", "--set", "y_points", "2", "--knobs"}, kPlugins);
  ASSERT_EQ(made.status, 0) << made.err;
  // The listing escapes line breaks and tabs as JSON does; quotes remain.
  std::string stored;
  for (const char c : knobValue(made.out, "cpstr")) stored += c == '"' ? std::string("\\\"") : std::string(1, c);
  // Knobs that disagree with the stored 2 x 2 points, which are kept as read;
  // then a change to a grid that cannot fit.
  const std::string script = cardScript(dir, "\"x_points\": 40960, \"y_points\": 40960, \"cpstr\": \"" + stored + "\"");
  const auto run = testsupport::runHost({script, "--set", "x_points", "40960", "--knobs"}, kPlugins);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kWarning), std::string::npos) << run.err;
  EXPECT_EQ(knobValue(run.out, "x_points"), "4");
  EXPECT_EQ(knobValue(run.out, "y_points"), "4");
  EXPECT_EQ(knobValue(run.out, "cpstr"), knobValue(made.out, "cpstr"));
}
