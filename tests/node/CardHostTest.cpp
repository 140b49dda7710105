// The card as a user meets it through quorhost: created, listed, edited
// through its knobs, saved and loaded again.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

using testsupport::HostRun;
using testsupport::knobRows;
using testsupport::lines;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using json = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

const std::string kPlugins = QUOR_BUILD_DIR "/plugins";

HostRun run(const std::vector<std::string>& args) { return testsupport::runHost(args, kPlugins); }

// Each run keeps its own renderer options.
class CardHost : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUOR_OPTIONS_FILE", dir.file("options").c_str(), 1); }
  TempDir dir;
};

// The rows after "delimiter": the per-point knobs.
Rows pointRows(const Rows& rows) {
  auto delimiter = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r[0] == "delimiter"; });
  return delimiter == rows.end() ? Rows() : Rows(delimiter + 1, rows.end());
}

// The value of the last knob of that name in a listing, as text.
std::string value(const Rows& rows, const std::string& name) {
  for (auto r = rows.rbegin(); r != rows.rend(); ++r)
    if ((*r)[0] == name) return (*r)[2];
  ADD_FAILURE() << "no knob " << name;
  return "0";
}

std::vector<float> floats(const std::string& text) {
  std::vector<float> out;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) out.push_back(std::stof(part));
  return out;
}

TEST_F(CardHost, InfoPrintsTheHelpText) {
  const HostRun r = run({"--new", "QuorCard", "--info"});
  ASSERT_EQ(r.status, 0) << r.err;
  // --info writes the text on one line, its line ends as \n. The versions
  // come from the build, their dots escaped for the pattern.
  const auto literal = [](const std::string& text) { return std::regex_replace(text, std::regex("\\."), "\\."); };
  const std::regex help("help\tQuorCard " + literal(QUORCARD_VERSION) +
                        "\\\\n\\\\nA card primitive\\.\\\\n\\\\nBuilt: [A-Z][a-z]{2} [ 0-9][0-9] "
                        "[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\\\\nEngine: Quor " +
                        literal(QUOR_VERSION));
  const std::vector<std::string> out = lines(r.out);
  EXPECT_EQ(std::count_if(out.begin(), out.end(), [&](const std::string& l) { return std::regex_match(l, help); }), 1)
      << r.out;
}

TEST_F(CardHost, KnobsListEndsWithTheHiddenPointKnobs) {
  const HostRun r = run({"--new", "QuorCard", "--knobs", "--set", "x_points", "6", "--knobs"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Rows rows = knobRows(r.out);
  ASSERT_EQ(rows.size(), 2 * 43u + 65u + 101u);
  const Rows before(rows.begin(), rows.begin() + 43 + 65), after(rows.begin() + 43 + 65, rows.end());
  EXPECT_EQ(before[2][0], "flip_uvs");
  EXPECT_EQ(before[42][0], "delimiter");
  const Rows points = pointRows(before);
  ASSERT_EQ(points.size(), 65u);
  for (const auto& p : points) EXPECT_EQ(p[3], "hidden") << p[0];
  EXPECT_EQ(points[1], (std::vector<std::string>{"control_point.0.0", "13", "-0.5,-0.5,0", "hidden"}));
  EXPECT_EQ(pointRows(after).size(), 101u);
}

TEST_F(CardHost, AspectFromTheImageRescalesPointsAndText) {
  const std::string png = dir.file("wide.png");
  ASSERT_TRUE(testsupport::writePng(png, 64, 32, std::vector<unsigned char>(64 * 32 * 4, 128)));
  const std::string saved = dir.file("card.json");
  const HostRun r = run({"--new", "Read", "--set", "file", png, "--new", "QuorCard", "--connect", "1", "Read1",
                         "--set", "aspect", "1", "--knobs", "--save", saved});
  ASSERT_EQ(r.status, 0) << r.err;
  const Rows rows = knobRows(r.out);
  EXPECT_EQ(value(rows, "ratio"), "2");
  EXPECT_EQ(value(rows, "x_ratio"), "1");
  EXPECT_EQ(value(rows, "y_ratio"), "0.5");
  EXPECT_EQ(value(rows, "control_point.0.0"), "-0.5,-0.25,0");
  EXPECT_EQ(floats(value(rows, "control_point.0.0.3"))[1], (-0.5f + (1.0f / 3.0f) / 3.0f) * 0.5f);
  const json script = json::parse(readFile(saved));
  const std::string cpstr = script["nodes"][1]["knobs"]["cpstr"];
  EXPECT_NE(cpstr.find("<item>-0.25</item>"), std::string::npos);
  EXPECT_EQ(script["nodes"][1]["knobs"]["aspect"], 1);
}

// "right" handle of the point in column 1, row 2 moved by (0.3, 0.4): the
// "left" handle turns and keeps its length, takes the mirrored length, or
// stays where it was when the tangent is broken.
TEST_F(CardHost, TangentKnobEditsTurnTheOppositeHandle) {
  const float px = -1.0f / 6.0f, py = 1.0f / 6.0f, len = 1.0f / 9.0f;
  struct Case {
    std::string breakOn, mirrorOn;
    float x, y;
  } cases[] = {{"0", "0", px - 0.3f * len / 0.5f, py - 0.4f * len / 0.5f},
               {"0", "1", px - 0.3f, py - 0.4f},
               {"1", "0", px - len, py},
               {"1", "1", px - len, py}};
  const std::string moved = std::to_string(px + 0.3f) + "," + std::to_string(py + 0.4f) + ",0";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.breakOn + c.mirrorOn);
    const HostRun r = run({"--new", "QuorCard", "--set", "break_tangent", c.breakOn, "--set", "mirror_tangent",
                           c.mirrorOn, "--set", "control_point.1.2.2", moved, "--knobs"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<float> left = floats(value(knobRows(r.out), "control_point.1.2.0"));
    EXPECT_NEAR(left[0], c.x, 1e-6);
    EXPECT_NEAR(left[1], c.y, 1e-6);
  }
}

TEST_F(CardHost, SavedPointsComeBackExactlyAndDamagedTextWarns) {
  const std::string first = dir.file("first.json"), second = dir.file("second.json");
  HostRun r = run({"--new", "QuorCard", "--set", "type", "smooth with handles", "--set", "control_point.2.1",
                   "0.123456789,-0.1,0.25", "--set", "control_point.2.1.3", "0.2,0.05,-0.3", "--save", first});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({first, "--knobs", "--save", second});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(first), readFile(second));
  EXPECT_EQ(value(knobRows(r.out), "control_point.2.1.3"), "0.2,0.05,-0.3");

  json script = json::parse(readFile(first));
  std::string cpstr = script["nodes"][0]["knobs"]["cpstr"];
  cpstr.replace(cpstr.find("<uv>"), 4, "<vu>");
  script["nodes"][0]["knobs"]["cpstr"] = cpstr;
  const std::string damaged = dir.file("damaged.json"), repaired = dir.file("repaired.json");
  writeFile(damaged, script.dump(1));
  r = run({damaged, "--save", repaired});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> warning = lines(r.err);
  ASSERT_EQ(warning.size(), 2u) << r.err;
  EXPECT_EQ(warning[0].rfind("[Brunvik] WARNING: caught an exception when restore control points: ", 0), 0u);
  EXPECT_EQ(warning[1],
            "[Brunvik] Mostly likely this is related to loading a scene which was saved with an old version of "
            "Brunvik.");
  // The default grid replaced the unreadable text.
  const std::string fresh = json::parse(readFile(repaired))["nodes"][0]["knobs"].value("cpstr", std::string());
  r = run({"--new", "QuorCard", "--save", second});
  EXPECT_EQ(fresh, json::parse(readFile(second))["nodes"][0]["knobs"].value("cpstr", std::string()));
}

// A click on the point in column 1, row 1 selects it (at 640 x 480 it lies at
// 320 - (1/6) / (2.5 tan 15 * 4/3) * 320 = 260.3, 240 + (1/6) / (2.5 tan 15) *
// 240 = 299.7); moving the card then moves what its knobs show, not the point.
TEST_F(CardHost, TranslateMovesTheSelectedPointKnobsOnly) {
  const std::string moved = dir.file("moved.json"), fresh = dir.file("fresh.json");
  HostRun r = run({"--new", "QuorCard", "--select", "--click", "260", "300", "--set", "translate", "1,0,0",
                   "--knobs", "--save", moved});
  ASSERT_EQ(r.status, 0) << r.err;
  const Rows rows = knobRows(r.out);
  EXPECT_EQ(value(rows, "selected_cp"), "10025");
  EXPECT_NE(std::find(rows.begin(), rows.end(),
                      std::vector<std::string>{"control_point.1.1", "13", value(rows, "control_point.1.1"), "visible"}),
            rows.end());
  EXPECT_FLOAT_EQ(floats(value(rows, "control_point.1.1"))[0], 1.0f - 1.0f / 6.0f);
  EXPECT_FLOAT_EQ(floats(value(rows, "control_point.1.1.2"))[0], 1.0f - 1.0f / 6.0f + 1.0f / 9.0f);
  r = run({"--new", "QuorCard", "--save", fresh});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(json::parse(readFile(moved))["nodes"][0]["knobs"]["cpstr"],
            json::parse(readFile(fresh))["nodes"][0]["knobs"]["cpstr"]);
}

// The scene's camera frames what the viewer shows at the last --size.
TEST_F(CardHost, SceneFollowsTheViewerSize) {
  const HostRun r = run({"--new", "QuorCard", "--size", "300x600", "--rib", "-"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nFormat 300 600 1\n"), std::string::npos) << r.out;
}

TEST_F(CardHost, HandleSizePersistsForTheNextRun) {
  HostRun r = run({"--new", "QuorCard", "--set", "handle_size", "9"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({"--new", "QuorCard", "--knobs", "--set", "handle_size", "50", "--knobs"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Rows rows = knobRows(r.out);
  std::vector<std::string> sizes;
  for (const auto& k : rows)
    if (k[0] == "handle_size") sizes.push_back(k[2]);
  EXPECT_EQ(sizes, (std::vector<std::string>{"9", "20"}));
}

TEST_F(CardHost, HelpButtonOpensTheManual) {
  const std::string opened = dir.file("opened.txt"), browser = dir.file("browser.sh");
  writeFile(browser, "#!/bin/sh\necho \"$1\" > '" + opened + "'\n");
  chmod(browser.c_str(), 0755);
  setenv("BROWSER", browser.c_str(), 1);
  const HostRun r = run({"--new", "QuorCard", "--press", "help"});
  unsetenv("BROWSER");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string url = readFile(opened);
  EXPECT_EQ(url, "file://" + std::string(QUOR_BUILD_DIR) + "/doc/html/QuorCard/index.html\n");
  struct stat st;
  EXPECT_EQ(stat((std::string(QUOR_BUILD_DIR) + "/doc/html/QuorCard/index.html").c_str(), &st), 0);
}

}  // namespace
