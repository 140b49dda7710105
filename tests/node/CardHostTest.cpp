// The card loaded by quorhost as a plug-in from build/plugins: the manual
// that its "help" button opens, and grids the machine cannot hold, refused
// before anything is freed (the knobs go back, the points stay, one warning
// names the size); run through quorhost, so that the sanitizers see no
// allocation of the refused size.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

std::string knobValue(const std::string& listing, const std::string& name) {
  for (const std::vector<std::string>& row : testsupport::knobRows(listing))
    if (row[0] == name) return row[2];
  return "<no knob " + name + ">";
}

// quorhost on a script of one card with the given knobs (JSON members), then
// `actions` and --knobs; the run must succeed.
testsupport::HostRun runCard(const std::string& knobs, std::vector<std::string> actions) {
  testsupport::TempDir dir;
  const std::string path = dir.file("card.json");
  testsupport::writeFile(path, R"({"nodes": [{"class": "QuorCard", "name": "Card1", "knobs": {)" + knobs + "}}]}");
  actions.insert(actions.begin(), path);
  actions.push_back("--knobs");
  const testsupport::HostRun run = testsupport::runHost(actions, QUOR_BUILD_DIR "/plugins");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("[Brunvik] WARNING: a grid of 40960 x 40960 points needs about "), std::string::npos)
      << run.err;
  EXPECT_EQ(knobValue(run.out, "x_points") + " x " + knobValue(run.out, "y_points"), "4 x 4");
  return run;
}

}  // namespace

// The manual lies under the renderer's home, found from the plug-in's own
// path (catches: a manual looked for elsewhere, a broken script).
TEST(CardHost, HelpButtonOpensTheManual) {
  testsupport::TempDir dir;
  setenv("QUOR_OPTIONS_FILE", dir.file("options").c_str(), 1);
  const std::string opened = dir.file("opened.txt"), browser = dir.file("browser.sh");
  testsupport::writeFile(browser, "#!/bin/sh\necho \"$1\" > '" + opened + "'\n");
  chmod(browser.c_str(), 0755);
  setenv("BROWSER", browser.c_str(), 1);
  const testsupport::HostRun r =
      testsupport::runHost({"--new", "QuorCard", "--press", "help"}, QUOR_BUILD_DIR "/plugins");
  unsetenv("BROWSER");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string manual = QUOR_BUILD_DIR "/doc/html/QuorCard/index.html";
  EXPECT_EQ(testsupport::readFile(opened), "file://" + manual + "\n");
  struct stat st;
  EXPECT_EQ(stat(manual.c_str(), &st), 0);
}

// Catches a size check that multiplies in int (40960 x 40960 x 8192
// overflows), one that is skipped when the script is read, a refusal that
// leaves the knobs at the refused size, and one that frees or rebuilds the
// grid in place.
TEST(GridLimit, TooLargeAGridIsRefusedFromAScriptOrAKnob) {
  const auto loaded = runCard(R"("x_points": 40960, "y_points": 40960)", {});
  EXPECT_NE(loaded.err.find("the grid stays 4 x 4."), std::string::npos) << loaded.err;
  EXPECT_EQ(knobValue(loaded.out, "control_point.3.3"), "0.5,0.5,0");

  const auto made = testsupport::runHost(
      {"--new", "QuorCard", "--set", "x_points", "2", "--set", "y_points", "2", "--knobs"}, QUOR_BUILD_DIR "/plugins");
  // The listing escapes line breaks and tabs as JSON does; quotes remain.
  std::string stored;
  for (const char c : knobValue(made.out, "cpstr")) stored += c == '"' ? std::string("\\\"") : std::string(1, c);
  // Knobs that disagree with the stored 2 x 2 points, which are kept as read;
  // then a change to a grid that cannot fit.
  const auto changed =
      runCard(R"("x_points": 40960, "y_points": 40960, "cpstr": ")" + stored + "\"", {"--set", "x_points", "40960"});
  EXPECT_EQ(knobValue(changed.out, "cpstr"), knobValue(made.out, "cpstr"));
}
