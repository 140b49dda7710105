// quorhost as its users see it: run as a program with the test plug-in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <DDImage/Hash.h>
#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using json = nlohmann::json;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Mistakes: a broken plug-in stopping the load, the plug-in path not
// recorded or left relative, a block of knobs added instead of replaced, a
// default or DO_NOT_WRITE knob saved ("scratch", the block's points) or a
// hidden one not, values not in the members before attach, knob_changed run
// while loading, a knob listed with a wrong kind, value or visibility.
TEST(QuorhostScript, PluginSetSaveLoadAndList) {
  TempDir dir;
  const std::string first = dir.file("first.json"), second = dir.file("second.json"), plugins = dir.file("plugins");
  fs::create_directory(plugins);
  fs::copy_file(kTestPlugins + "/TestNode.so", plugins + "/TestNode.so");
  writeFile(plugins + "/Broken.so", std::string(200, 'x'));
  setenv("TESTNODE_PRESS_FILE", dir.file("pressed.txt").c_str(), 1);
  const HostRun saving = runHost(
      {"--new",   "Axis",    "Up",      "--new",     "TestNode",  "T",        "--connect", "right",  "Up",     "--set",
       "count",   "50",      "--set",   "gain",      "0.1",       "--set",    "enabled",   "1",      "--set",  "mode",
       "third",   "--set",   "label",   "two words", "--set",     "position", "1,2,3",     "--set",  "secret", "s3",
       "--set",   "scratch", "9",       "--set",     "block",     "3",        "--set",     "weight", "0.25",   "--set",
       "point.1", "7",       "--knobs", "--press",   "python_ok", "--select", "--save",    first},
      plugins);
  unsetenv("TESTNODE_PRESS_FILE");
  ASSERT_EQ(saving.status, 0) << saving.err;
  EXPECT_TRUE(lines(saving.err).size() == 1 && contains(saving.err, plugins + "/Broken.so: ")) << saving.err;
  EXPECT_EQ(readFile(dir.file("pressed.txt")), "pressed");
  EXPECT_EQ(knobRows(saving.out).size(), 18u) << saving.out;  // the block of 3 replaced by one of 4, not added
  EXPECT_EQ(json::parse(readFile(first)), json::parse(R"({"nodes": [
    {"class": "Axis", "name": "Up", "inputs": [null], "selected": false, "knobs": {}},
    {"class": "TestNode", "name": "T", "inputs": [null, "Up"], "selected": true,
     "knobs": {"count": 10, "gain": 0.1, "enabled": true, "mode": "third", "label": "two words",
               "position": [1.0, 2.0, 3.0], "secret": "s3", "block": 3, "weight": 0.25}}]})"))
      << readFile(first);

  const HostRun loading = runHost({first, "--node", "T", "--knobs", "--info", "--save", second}, plugins);
  ASSERT_EQ(loading.status, 0) << loading.err;
  const std::string loaded = fs::canonical(plugins + "/TestNode.so").string();  // in the help and the listing
  EXPECT_TRUE(contains(loading.out, "\\nplugin=" + loaded + "\n") && contains(loading.out, "plugin\t" + loaded + "\n"));
  EXPECT_TRUE(contains(loading.out,
                       "TestNode attach: count=10 gain=0.1 enabled=1 mode=2 label=two words "
                       "position=1,2,3 secret=s3 scratch=0\n"))
      << loading.out;
  EXPECT_FALSE(contains(loading.out, "knob_changed")) << loading.out;
  std::string listed;  // name, kind, value and visibility of each knob, then the inputs from --info
  for (const auto& row : knobRows(loading.out)) listed += row[0] + " " + row[1] + " " + row[2] + " " + row[3] + "\n";
  EXPECT_EQ(listed,
            "count 3 10 visible\ngain 8 0.1 visible\nenabled 6 1 visible\nmode 4 third visible\n"
            "label 1 two words visible\nposition 13 1,2,3 visible\nsecret 1 s3 hidden\nscratch 3 0 visible\n"
            "file 2  visible\npython_ok 22  visible\npython_fail 22  visible\nblock 3 3 visible\n"
            "delimiter 26  visible\npoint.0 8 0 visible\npoint.1 8 0.5 visible\npoint.2 8 1 visible\n"
            "weight 8 0.25 visible\ntail 3 0 visible\ninput 0 left -\ninput 1 right Up\n")
      << loading.out;
  EXPECT_EQ(readFile(second), readFile(first));
}

// A bad script or action names its place and stops the run (status 1; 2 for
// a bad command line). Mistakes: an error passed over, a wrong place (a node
// counted from 1, the knob of an earlier node), an output put in place
// before the run has succeeded.
TEST(QuorhostErrors, ABadScriptOrActionStopsTheRunAndNothingIsSaved) {
  const std::string a = R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": )", of = " of node \"TestNode1\"";
  const std::vector<std::pair<std::string, std::string>> scripts = {
      {R"({"nodes": [{"class": "TestNode",}]})", "line 1, column 33"},
      {R"({"nodes": [{"class": "Axis"}, {"class": "Nope", "name": "B"}]})", "nodes[1] \"B\": unknown node class"},
      {a + R"({"count": 2, "colour": 1}}]})", "nodes[0] \"A\": unknown knob \"colour\""},
      {a + R"({"count": "many"}}]})", "nodes[0] \"A\": knob \"count\": expected an integer"},
      {a + R"({"mode": "fourth"}}]})", "knob \"mode\": no item named \"fourth\""},
      {R"({"nodes": [{"class": "Axis", "name": "A", "inputs": ["Ghost"]}]})", "input 0: no node named \"Ghost\""},
      {R"({"nodes": [{"class": "Axis", "name": "A"}, {"class": "Axis", "name": "A"}]})", "another node is named \"A\""},
      // Numbers beyond a double: the loader's place, not the JSON library's text.
      {a + R"({"count": 2e308}}]})", "nodes[0] \"A\": knob \"count\": number overflow parsing '2e308'"},
      {a + R"({"gain": 1}}, {"class": "TestNode", "knobs": {"position": [1e999, 0, 0]}}]})",
       "nodes[1]: knob \"position\": number overflow parsing '1e999'"},
      {R"({"nodes": )" + std::string(100000, '[') + std::string(100000, ']') + "}",
       "bad.json: values are nested more than 64 deep"},
      {a + R"({"count": )" + std::string(100000, '[') + std::string(100000, ']') + "}}]}",
       "nodes[0] \"A\": knob \"count\": values are nested more than 64 deep"},
      {a + R"({"count": )" + std::string(35, '[') + R"("a very long text that is never shown whole")" +
           std::string(35, ']') + "}}]}",
       "knob \"count\": expected an integer, not " + std::string(35, '[') + "\"a very long text that...\n"},
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> actions = {
      {{"--set", "count", "2.5"}, "--set: knob \"count\"" + of + " refuses the value \"2.5\""},
      {{"--press", "count"}, "--press: knob \"count\"" + of + " is not a button"},
      {{"--press", "python_fail"}, "--press: button \"python_fail\"" + of + ": the Python script exited with status 3"},
      {{"--new", "Read", "--set", "file", "no.png", "--rib", "-"}, "--rib: node \"Read1\" is in error: cannot read"},
      {{"--paint", "a.png"}, "unknown action --paint"},
      {{"--set", "count"}, "--set needs 2 argument(s)"},
      {{"--size", "0x480"}, "--size: bad size \"0x480\" (1 to 16384 pixels a side)"},
      {{"--click", "12", "1e7"}, "--click: bad pixel coordinate \"1e7\""},
      {{"--window"}, "--window: cannot open a window: X11: The DISPLAY environment variable is missing\n"},
  };
  // No display for --window (the other actions need none).
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  const auto check = [](const std::string& script, const std::vector<std::string>& more, const std::string& message) {
    SCOPED_TRACE(message);
    TempDir dir;
    std::vector<std::string> args = {"--new", "TestNode", "--save", dir.file("out.json"), "--rib", dir.file("out.rib")};
    if (!script.empty()) writeFile(dir.file("bad.json"), script);
    if (!script.empty()) args.insert(args.begin(), dir.file("bad.json"));
    args.insert(args.end(), more.begin(), more.end());
    const HostRun run = runHost(args);
    EXPECT_EQ(run.status, contains(message, "needs") || contains(message, "unknown action") ? 2 : 1);
    EXPECT_TRUE(contains(run.err, script.empty() ? "quorhost: " : dir.file("bad.json") + ": ")) << run.err;
    EXPECT_TRUE(contains(run.err, message)) << run.err;
    EXPECT_EQ(dir.list().size(), script.empty() ? 0u : 1u);
  };
  for (const auto& [script, message] : scripts) check(script, {}, message);
  for (const auto& [args, message] : actions) check("", args, message);
}

// A Read's archive is named by its hash: class, file, size, pixels with the
// rows bottom first. Paths are relative to the script's folder, or on the
// command line to the working folder. Mistakes: rows top first, the size or
// pixels not hashed, the texture not beside the picture, a path kept as written.
TEST(QuorhostScene, RibOfAnAxisAndARead) {
  TempDir dir;
  const std::vector<unsigned char> image = {0, 60, 120, 255, 1, 2, 3, 4, 9, 8, 7, 6, 5, 4, 3, 2};  // 2 x 2, top first
  fs::create_directories(dir.path() / "sub");
  ASSERT_TRUE(writePng(dir.file("sub/tex.png"), 2, 2, image));
  writeFile(dir.file("sub/scene.json"), R"({"nodes": [{"class": "Axis", "name": "Up"},
    {"class": "Read", "name": "Image", "knobs": {"file": "tex.png"}}]})");
  const HostRun run = runHost({"sub/scene.json", "--node", "Image", "--info", "--rib", "scene.rib", "--save", "s.json",
                               "--set", "file", "x.png", "--save", "sub/t.json"},
                              kTestPlugins, dir.path().string());
  ASSERT_EQ(run.status, 0) << run.err;
  auto saved = [&](const std::string& f) { return json::parse(readFile(dir.file(f)))["nodes"][1]["knobs"]["file"]; };
  EXPECT_TRUE(saved("s.json") == "sub/tex.png" && saved("sub/t.json") == "../x.png");
  DD::Image::Hash hash;
  hash.append("Read");
  hash.append(dir.file("sub/tex.png"));
  hash.append(2);
  hash.append(2);
  hash.append(image.data() + 8, 8);
  hash.append(image.data(), 8);
  const std::string name = std::to_string(hash.value());
  EXPECT_TRUE(contains(run.out, "hash\t" + name + "\n")) << run.out;
  std::string requests;  // without indentation and comments
  for (const std::string& line : lines(readFile(dir.file("scene.rib"))))
    if (line.find_first_not_of(' ') != std::string::npos && line[line.find_first_not_of(' ')] != '#')
      requests += line.substr(line.find_first_not_of(' ')) + "\n";
  EXPECT_EQ(requests, R"(Display "scene.tif" "file" "rgba"
Format 640 480 1
Projection "perspective" "fov" [30]
Scale 1 1 -1
Translate 0 0 -2.5
WorldBegin
LightSource "distantlight" 1 "intensity" [1] "from" [0 0 0] "to" [0 0 -1]
ArchiveBegin ")" + name + R"("
Surface "paintedplastic" "texturename" [")" +
                          dir.file("tex.tex") + R"("]
ArchiveEnd
WorldEnd
)");
}

// The press that starts a drag of the picked point keeps it picked, so its
// knob follows "translate" afterwards. At 400 x 300 (30 degrees high, 2.5
// away) pixel (162, 186) is the point (-1/6, -1/6) of column 1, row 1; the
// drag to (180, 170) moves it 18 / 200 x 2.5 tan 15 x 4 / 3 = 0.0803848
// right and 16 / 150 x 2.5 tan 15 = 0.0714531 up; "translate" adds 0.3 to
// the x shown. Mistakes: the drag's press dropping the selection, the knob
// refreshed from the point as it was, the transform left out, a coordinate
// with spaces around it refused (a number knob takes it).
TEST(QuorhostCard, ADraggedPointFollowsTheTransform) {
  const HostRun run = runHost({"--new", "QuorCard", "--select", "--size", "400x300", "--click", "162", " 186 ",
                               "--drag", "162", "186", "180", "170", "--set", "translate", "0.3,0,0", "--knobs"},
                              QUOR_BUILD_DIR "/plugins");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> point;
  for (const auto& row : knobRows(run.out))
    if (row[0] == "control_point.1.1") point = row;
  ASSERT_EQ(point.size(), 4u) << run.out;
  EXPECT_EQ(point[3], "visible");
  double x = 0, y = 0, z = 1;
  ASSERT_EQ(std::sscanf(point[2].c_str(), "%lf,%lf,%lf", &x, &y, &z), 3) << point[2];
  EXPECT_NEAR(x, 0.3 - 1 / 6.0 + 0.0803848, 1e-5);
  EXPECT_NEAR(y, -1 / 6.0 + 0.0714531, 1e-5);
  EXPECT_NEAR(z, 0, 1e-6);
}

}  // namespace
