// quorhost as its users see it: run as a program with the test plug-in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <DDImage/Hash.h>
#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::HostRun;
using testsupport::kTestPlugins;
using testsupport::knobRows;
using testsupport::lines;
using testsupport::readFile;
using testsupport::runHost;
using testsupport::TempDir;
using testsupport::writeFile;
using json = nlohmann::json;
using Rows = std::vector<std::vector<std::string>>;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The rows of one knob listing between "delimiter" and "tail": the block
// that replace_knobs made.
std::vector<std::string> blockNames(const Rows& rows, size_t listing) {
  std::vector<std::string> names;
  size_t seen = 0;
  bool inside = false;
  for (const auto& row : rows) {
    if (row[0] == "delimiter" && seen++ == listing) {
      inside = true;
    } else if (inside && row[0] == "tail") {
      break;
    } else if (inside) {
      names.push_back(row[0]);
    }
  }
  return names;
}

TEST(QuorhostPlugins, DescriptionRecordsThePluginFileAndABrokenFileIsSkipped) {
  TempDir dir;
  fs::copy_file(kTestPlugins + "/TestNode.so", dir.file("TestNode.so"));
  writeFile(dir.file("Broken.so"), std::string(200, 'x'));
  const HostRun run = runHost({"--new", "TestNode", "--info"}, dir.path().string());
  ASSERT_EQ(run.status, 0) << run.err;
  // The copy is what was loaded, under its full path.
  const std::string loaded = fs::canonical(dir.file("TestNode.so")).string();
  EXPECT_TRUE(contains(run.out, "\\nplugin=" + loaded + "\n")) << run.out;
  EXPECT_TRUE(contains(run.out, "plugin\t" + loaded + "\n")) << run.out;
  // The loader's own message about the broken file.
  const std::string broken = fs::canonical(dir.file("Broken.so")).string();
  EXPECT_TRUE(contains(run.err, broken + ": ")) << run.err;
  EXPECT_TRUE(contains(run.err, "ELF")) << run.err;
  EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
}

TEST(QuorhostKnobs, ListsEveryKnobInOrderWithKindValueAndVisibility) {
  const HostRun run = runHost({"--new", "TestNode", "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Rows expected = {
      {"count", "3", "3", "visible"},
      {"gain", "8", "0.5", "visible"},
      {"enabled", "6", "0", "visible"},
      {"mode", "4", "first", "visible"},
      {"label", "1", "hello", "visible"},
      {"note", "1", "a\\tb\\nc\\\\d", "visible"},
      {"position", "13", "0,0,0", "visible"},
      {"secret", "1", "", "hidden"},
      {"scratch", "3", "0", "visible"},
      {"file", "2", "", "visible"},
      {"reset", "32", "", "visible"},
      {"python_ok", "22", "", "visible"},
      {"python_fail", "22", "", "visible"},
      {"block", "3", "2", "visible"},
      {"delimiter", "26", "", "visible"},
      {"point.0", "8", "0", "visible"},
      {"point.1", "8", "0.5", "visible"},
      {"weight", "8", "1", "visible"},
      {"tail", "3", "0", "visible"},
  };
  EXPECT_EQ(knobRows(run.out), expected) << run.out;
}

TEST(QuorhostKnobs, SetStoresTheValueBeforeKnobChangedAndHoldsTheRange) {
  const HostRun run = runHost({"--new", "TestNode", "--set", "count", "7", "--set", "position", "1,2.5,-3", "--set",
                               "mode", "third", "--set", "count", "50", "--set", "count", "-4", "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> out = lines(run.out);
  auto has = [&](const std::string& line) { return std::find(out.begin(), out.end(), line) != out.end(); };
  const std::string rest = " secret= scratch=0 file=";
  EXPECT_TRUE(has("TestNode knob_changed count: count=7 gain=0.5 enabled=0 mode=0 label=hello position=0,0,0" + rest));
  EXPECT_TRUE(has("TestNode knob_changed position: count=7 gain=0.5 enabled=0 mode=0 label=hello position=1,2.5,-3" + rest));
  EXPECT_TRUE(has("TestNode knob_changed mode: count=7 gain=0.5 enabled=0 mode=2 label=hello position=1,2.5,-3" + rest));
  // FORCE_RANGE 1 to 10.
  EXPECT_TRUE(has("TestNode knob_changed count: count=10 gain=0.5 enabled=0 mode=2 label=hello position=1,2.5,-3" + rest));
  EXPECT_TRUE(has("TestNode knob_changed count: count=1 gain=0.5 enabled=0 mode=2 label=hello position=1,2.5,-3" + rest));
  const Rows rows = knobRows(run.out);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"count", "3", "1", "visible"}));
}

TEST(QuorhostKnobs, ReplaceKnobsReplacesExactlyTheBlock) {
  const HostRun run = runHost({"--new", "TestNode", "--set", "block", "3", "--knobs", "--set", "block", "1", "--knobs",
                               "--set", "block", "0", "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Rows rows = knobRows(run.out);
  EXPECT_EQ(blockNames(rows, 0), (std::vector<std::string>{"point.0", "point.1", "point.2", "weight"}));
  EXPECT_EQ(blockNames(rows, 1), (std::vector<std::string>{"point.0", "weight"}));
  EXPECT_EQ(blockNames(rows, 2), (std::vector<std::string>{"weight"}));
  // replace_knobs answers the number of knobs it made: attach, then 3 changes.
  EXPECT_TRUE(contains(run.out, "block: made=3\nTestNode knob_changed block"));
  EXPECT_TRUE(contains(run.out, "block: made=4\n"));
  EXPECT_TRUE(contains(run.out, "block: made=2\n"));
  EXPECT_TRUE(contains(run.out, "block: made=1\n"));
}

TEST(QuorhostKnobs, ButtonsAndPanelReachKnobChanged) {
  TempDir dir;
  const std::string pressed = dir.file("pressed.txt");
  setenv("TESTNODE_PRESS_FILE", pressed.c_str(), 1);
  const HostRun run = runHost({"--new", "TestNode", "--press", "python_ok", "--press", "reset", "--open-panel"});
  unsetenv("TESTNODE_PRESS_FILE");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(pressed), "pressed");
  EXPECT_TRUE(contains(run.out, "TestNode knob_changed python_ok: "));
  EXPECT_TRUE(contains(run.out, "TestNode knob_changed reset: "));
  EXPECT_TRUE(contains(run.out, "TestNode knob_changed showPanel: "));
}

TEST(QuorhostScript, SavesChangedKnobsAndLoadsThemBackWithoutReactions) {
  TempDir dir;
  const std::string first = dir.file("first.json"), second = dir.file("second.json");
  const HostRun saving = runHost({"--new", "Axis", "Up", "--new", "TestNode", "T", "--connect", "right", "Up", "--set",
                                  "count", "5", "--set", "gain", "0.1", "--set", "enabled", "1", "--set", "mode",
                                  "third", "--set", "label", "two words", "--set", "position", "1,2,3", "--set",
                                  "secret", "s3", "--set", "scratch", "9", "--set", "weight", "0.25", "--set",
                                  "point.1", "7", "--select", "--save", first});
  ASSERT_EQ(saving.status, 0) << saving.err;
  const json saved = json::parse(readFile(first));
  const json expected = json::parse(R"({"nodes": [
    {"class": "Axis", "name": "Up", "inputs": [null], "selected": false, "knobs": {}},
    {"class": "TestNode", "name": "T", "inputs": [null, "Up"], "selected": true,
     "knobs": {"count": 5, "gain": 0.1, "enabled": true, "mode": "third", "label": "two words",
               "position": [1.0, 2.0, 3.0], "secret": "s3", "weight": 0.25}}]})");
  EXPECT_EQ(saved, expected) << saved.dump(2);
  const json& knobs = saved["nodes"][1]["knobs"];
  EXPECT_TRUE(knobs["count"].is_number_integer());
  EXPECT_TRUE(knobs["gain"].is_number_float());
  EXPECT_EQ(knobs["gain"].get<double>(), 0.1);
  EXPECT_TRUE(knobs["position"][0].is_number_float());

  const HostRun loading = runHost({first, "--knobs", "--info", "--save", second});
  ASSERT_EQ(loading.status, 0) << loading.err;
  // The values reach the members before attach, and the node hears of no change.
  EXPECT_TRUE(contains(loading.out,
                       "TestNode attach: count=5 gain=0.1 enabled=1 mode=2 label=two words position=1,2,3 secret=s3 "
                       "scratch=0 file=\n"))
      << loading.out;
  EXPECT_FALSE(contains(loading.out, "knob_changed")) << loading.out;
  const Rows rows = knobRows(loading.out);
  auto row = [&](const std::string& name) {
    for (const auto& r : rows)
      if (r[0] == name) return r;
    return std::vector<std::string>();
  };
  EXPECT_EQ(row("secret"), (std::vector<std::string>{"secret", "1", "s3", "hidden"}));
  EXPECT_EQ(row("weight"), (std::vector<std::string>{"weight", "8", "0.25", "visible"}));
  EXPECT_EQ(row("scratch"), (std::vector<std::string>{"scratch", "3", "0", "visible"}));
  EXPECT_TRUE(contains(loading.out, "name\tT\n"));
  EXPECT_TRUE(contains(loading.out, "input\t1\tright\tUp\n"));
  EXPECT_EQ(readFile(second), readFile(first));
}

TEST(QuorhostScript, FilePathsStayRelativeToTheScript) {
  TempDir dir;
  fs::create_directories(dir.path() / "sub");
  writeFile(dir.file("sub/in.json"),
            R"({"nodes": [{"class": "TestNode", "name": "T", "knobs": {"file": "img/a.png"}}]})");
  const HostRun run = runHost({dir.file("sub/in.json"), "--knobs", "--save", dir.file("sub/same.json"), "--save",
                               dir.file("up.json")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string absolute = (dir.path() / "sub/img/a.png").string();
  EXPECT_TRUE(contains(run.out, "file\t2\t" + absolute + "\tvisible\n")) << run.out;
  EXPECT_EQ(json::parse(readFile(dir.file("sub/same.json")))["nodes"][0]["knobs"]["file"], "img/a.png");
  EXPECT_EQ(json::parse(readFile(dir.file("up.json")))["nodes"][0]["knobs"]["file"], "sub/img/a.png");

  // On the command line a relative path is relative to the working folder.
  const HostRun set =
      runHost({"--new", "TestNode", "--set", "file", "x/y.png", "--save", "sub/set.json"}, kTestPlugins, dir.path());
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(contains(set.out, "file=" + (dir.path() / "x/y.png").string() + "\n")) << set.out;
  EXPECT_EQ(json::parse(readFile(dir.file("sub/set.json")))["nodes"][0]["knobs"]["file"], "../x/y.png");
}

TEST(QuorhostScript, ABadScriptNamesThePlaceAndWritesNothing) {
  struct Case {
    const char* script;
    std::vector<std::string> message;
  };
  const Case cases[] = {
      {R"({"nodes": [{"class": "TestNode",}]})", {"malformed JSON", "line 1"}},
      {R"({"nodez": []})", {"no \"nodes\" array"}},
      {R"({"nodes": [{"class": "TestNode", "name": "A"}, {"class": "Nope", "name": "B"}]})",
       {"nodes[1] \"B\": unknown node class \"Nope\""}},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"count": 2, "colour": 1}}]})",
       {"nodes[0] \"A\": unknown knob \"colour\""}},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"count": "many"}}]})",
       {"nodes[0] \"A\": knob \"count\": expected an integer"}},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"gain": 0.5, "enabled": 1}}]})",
       {"nodes[0] \"A\": knob \"enabled\": expected true or false"}},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"position": [1, 2]}}]})",
       {"nodes[0] \"A\": knob \"position\": expected an array of 3 numbers"}},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"mode": "fourth"}}]})",
       {"nodes[0] \"A\": knob \"mode\": no item named \"fourth\""}},
      {R"({"nodes": [{"class": "Axis", "name": "A", "inputs": ["Ghost"]}]})",
       {"nodes[0] \"A\": input 0: no node named \"Ghost\""}},
      {R"({"nodes": [{"class": "Read", "name": "R"}, {"class": "Axis", "name": "A", "inputs": ["R"]}]})",
       {"nodes[1] \"A\": input 0: ", "does not accept \"R\""}},
      {R"({"nodes": [{"class": "Axis", "name": "A"}, {"class": "Axis", "name": "A"}]})",
       {"nodes[1] \"A\": another node is named \"A\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    TempDir dir;
    const std::string script = dir.file("bad.json");
    writeFile(script, c.script);
    const HostRun run = runHost({script, "--new", "Axis", "--save", dir.file("out.json"), "--rib", dir.file("out.rib")});
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(contains(run.err, script + ": ")) << run.err;
    for (const std::string& part : c.message) EXPECT_TRUE(contains(run.err, part)) << run.err;
    EXPECT_EQ(dir.list(), std::vector<std::string>{"bad.json"});
  }
}

TEST(QuorhostActions, ABadActionStopsTheRunAndNothingIsSaved) {
  struct Case {
    std::vector<std::string> args;  // after "--save OUT"
    std::string message;
    int status;
  };
  const std::vector<Case> cases = {
      {{"--set", "count", "2.5"}, "--set: knob \"count\" of node \"TestNode1\" refuses the value \"2.5\"", 1},
      {{"--set", "enabled", "maybe"}, "refuses the value \"maybe\"", 1},
      {{"--set", "nosuch", "1"}, "--set: node \"TestNode1\" has no knob \"nosuch\"", 1},
      {{"--set", "reset", "1"}, "--set: knob \"reset\" of node \"TestNode1\" holds no value", 1},
      {{"--press", "count"}, "--press: knob \"count\" of node \"TestNode1\" is not a button", 1},
      {{"--press", "python_fail"}, "--press: button \"python_fail\" of node \"TestNode1\": the Python script exited with status 3", 1},
      {{"--connect", "middle", "TestNode1"}, "--connect: node \"TestNode1\" has no input \"middle\"", 1},
      {{"--node", "Nobody"}, "--node: no node named \"Nobody\"", 1},
      {{"--new", "NoSuchClass"}, "--new: unknown node class \"NoSuchClass\"", 1},
      {{"--paint", "a.png"}, "unknown action --paint", 2},
      {{"--set", "count"}, "--set needs 2 argument(s)", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    std::vector<std::string> args = {"--new", "TestNode", "--save", dir.file("out.json"), "--rib", dir.file("out.rib")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const HostRun run = runHost(args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(contains(run.err, c.message)) << run.err;
    EXPECT_TRUE(dir.list().empty());
  }
  const HostRun noNode = runHost({"--set", "count", "1"});
  EXPECT_EQ(noNode.status, 1);
  EXPECT_TRUE(contains(noNode.err, "--set: no current node")) << noNode.err;
}

TEST(QuorhostActions, InputsConnectByNumberOrLabelAndChangesReachDownstreamHashes) {
  const HostRun run = runHost({"--new", "TestNode", "A", "--new", "TestNode", "B", "--connect", "right", "A", "--info",
                               "--node", "A", "--set", "count", "4", "--node", "B", "--info", "--connect", "0", "A",
                               "--info"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> hashes;
  for (const std::string& line : lines(run.out))
    if (line.rfind("hash\t", 0) == 0) hashes.push_back(line);
  ASSERT_EQ(hashes.size(), 3u);
  EXPECT_NE(hashes[0], hashes[1]);
  EXPECT_NE(hashes[1], hashes[2]);
  EXPECT_TRUE(contains(run.out, "input\t0\tleft\t-\ninput\t1\tright\tA\n"));
  EXPECT_TRUE(contains(run.out, "input\t0\tleft\tA\ninput\t1\tright\tA\n"));
}

// The image of the scene test: 4 x 2 pixels, rows top first.
std::vector<unsigned char> testImage() {
  std::vector<unsigned char> rgba;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      rgba.push_back(static_cast<unsigned char>(60 * x));
      rgba.push_back(static_cast<unsigned char>(200 * y));
      rgba.push_back(77);
      rgba.push_back(255);
    }
  return rgba;
}

TEST(QuorhostScene, RibHoldsCameraLightImageArchivesAndPrimitives) {
  TempDir dir;
  const std::vector<unsigned char> image = testImage();
  ASSERT_TRUE(testsupport::writePng(dir.file("tex.png"), 4, 2, image));
  writeFile(dir.file("scene.json"), R"({"nodes": [
    {"class": "Axis", "name": "Up", "knobs": {"translate": [0.5, 0, 0]}},
    {"class": "Read", "name": "Image", "knobs": {"file": "tex.png"}},
    {"class": "TestPrimitive", "name": "Prim"}]})");
  const std::string rib = dir.file("scene.rib");
  const HostRun run = runHost({dir.file("scene.json"), "--node", "Image", "--info", "--rib", rib});
  ASSERT_EQ(run.status, 0) << run.err;

  // The archive is named by the Read's hash: its class, file, size and
  // pixels, the rows bottom first.
  DD::Image::Hash hash;
  hash.append("Read");
  hash.append(dir.file("tex.png"));
  hash.append(4);
  hash.append(2);
  std::vector<unsigned char> bottomUp(image.begin() + 16, image.end());
  bottomUp.insert(bottomUp.end(), image.begin(), image.begin() + 16);
  hash.append(bottomUp.data(), bottomUp.size());
  const std::string name = std::to_string(hash.value());
  EXPECT_TRUE(contains(run.out, "hash\t" + name + "\n")) << run.out;

  const std::string texture = dir.file("tex.tex");
  std::vector<std::string> requests;  // without indentation and comments
  for (const std::string& line : lines(readFile(rib))) {
    const size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos && line[start] != '#') requests.push_back(line.substr(start));
  }
  const std::vector<std::string> expected = {
      "Display \"scene.tif\" \"file\" \"rgba\"",
      "Format 640 480 1",
      "Projection \"perspective\" \"fov\" [30]",
      "Scale 1 1 -1",
      "Translate 0 0 -2.5",
      "WorldBegin",
      "LightSource \"distantlight\" 1 \"intensity\" [1] \"from\" [0 0 0] \"to\" [0 0 -1]",
      "ArchiveBegin \"" + name + "\"",
      "Surface \"paintedplastic\" \"texturename\" [\"" + texture + "\"]",
      "ArchiveEnd",
      "WorldEnd",
  };
  EXPECT_EQ(requests, expected) << readFile(rib);
  // The primitive emits inside the world, after the archives; the axis emits nothing.
  const std::string text = readFile(rib);
  const size_t emitted = text.find("# TestPrimitive Prim emitted\n");
  ASSERT_NE(emitted, std::string::npos) << text;
  EXPECT_LT(text.find("ArchiveEnd"), emitted);
  EXPECT_LT(emitted, text.find("WorldEnd"));
}

TEST(QuorhostScene, AReadOfAMissingFileIsAnErrorOnTheNode) {
  TempDir dir;
  const std::string missing = dir.file("missing.png");
  const HostRun info = runHost({"--new", "Read", "--set", "file", missing, "--info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_TRUE(contains(info.out, "error\tcannot read \"" + missing + "\"")) << info.out;

  const HostRun rib = runHost({"--new", "Read", "--set", "file", missing, "--rib", dir.file("scene.rib")});
  EXPECT_EQ(rib.status, 1);
  EXPECT_TRUE(contains(rib.err, "--rib: node \"Read1\" is in error: cannot read")) << rib.err;
  EXPECT_TRUE(dir.list().empty());
}

}  // namespace
