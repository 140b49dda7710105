// quorhost as its users see it: run as a program with the test plug-in.
#include <gtest/gtest.h>
#include <stdlib.h>

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
using Rows = std::vector<std::vector<std::string>>;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(QuorhostPlugins, DescriptionRecordsThePluginFileAndABrokenFileIsSkipped) {
  TempDir dir;
  fs::copy_file(kTestPlugins + "/TestNode.so", dir.file("TestNode.so"));
  writeFile(dir.file("Broken.so"), std::string(200, 'x'));
  const HostRun run = runHost({"--new", "TestNode", "--info"}, dir.path().string());
  ASSERT_EQ(run.status, 0) << run.err;
  // The copy is what was loaded, under its full path, as the node sees it
  // in its help and as the host lists it.
  const std::string loaded = fs::canonical(dir.file("TestNode.so")).string();
  EXPECT_TRUE(contains(run.out, "\\nplugin=" + loaded + "\n")) << run.out;
  EXPECT_TRUE(contains(run.out, "plugin\t" + loaded + "\n")) << run.out;
  // One line: the loader's own message about the broken file.
  const std::string broken = fs::canonical(dir.file("Broken.so")).string();
  EXPECT_TRUE(contains(run.err, broken + ": ")) << run.err;
  EXPECT_TRUE(contains(run.err, "ELF")) << run.err;
  EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
}

// Every knob in order with kind, value and visibility. A --set stores the
// value (held in the FORCE_RANGE 1..10 of "count") before knob_changed sees
// it; the block after "delimiter" is replaced by exactly the knobs asked
// for. A Python button runs its script.
TEST(QuorhostKnobs, MadeStoredChangedAndReplaced) {
  TempDir dir;
  setenv("TESTNODE_PRESS_FILE", dir.file("pressed.txt").c_str(), 1);
  const HostRun run = runHost({"--new", "TestNode", "--set", "count", "7", "--set", "position", "1,2.5,-3", "--set",
                               "count", "50", "--set", "block", "3", "--knobs", "--set", "count", "-4", "--set",
                               "block", "0", "--knobs", "--press", "python_ok"});
  unsetenv("TESTNODE_PRESS_FILE");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(dir.file("pressed.txt")), "pressed");
  const std::string others = " gain=0.5 enabled=0 mode=0 label=hello position=";
  for (const std::string& line : {"count: count=7" + others + "0,0,0", "position: count=7" + others + "1,2.5,-3",
                                  "count: count=10" + others + "1,2.5,-3", "count: count=1" + others + "1,2.5,-3"})
    EXPECT_TRUE(contains(run.out, "TestNode knob_changed " + line + " secret= scratch=0\n")) << line;
  const size_t attach = run.out.find("made=3\n"), three = run.out.find("made=4\n"), none = run.out.find("made=1\n");
  EXPECT_LT(attach, three);
  EXPECT_LT(three, none);
  EXPECT_NE(none, std::string::npos);

  Rows expected = {{"count", "3", "10", "visible"},      {"gain", "8", "0.5", "visible"},
                   {"enabled", "6", "0", "visible"},     {"mode", "4", "first", "visible"},
                   {"label", "1", "hello", "visible"},   {"position", "13", "1,2.5,-3", "visible"},
                   {"secret", "1", "", "hidden"},        {"scratch", "3", "0", "visible"},
                   {"file", "2", "", "visible"},         {"python_ok", "22", "", "visible"},
                   {"python_fail", "22", "", "visible"}, {"block", "3", "3", "visible"},
                   {"delimiter", "26", "", "visible"},   {"point.0", "8", "0", "visible"},
                   {"point.1", "8", "0.5", "visible"},   {"point.2", "8", "1", "visible"},
                   {"weight", "8", "1", "visible"},      {"tail", "3", "0", "visible"}};
  Rows after = expected;
  after.erase(after.begin() + 13, after.begin() + 16);
  after[0][2] = "1";
  after[11][2] = "0";
  expected.insert(expected.end(), after.begin(), after.end());
  EXPECT_EQ(knobRows(run.out), expected) << run.out;
}

// Only changed knobs are saved: not defaults, not DO_NOT_WRITE ones
// ("scratch", the block's points), but hidden ones. Loading puts the values
// in the members before attach without knob_changed, and saves the same.
TEST(QuorhostScript, SavesChangedKnobsAndLoadsThemBackWithoutReactions) {
  TempDir dir;
  const std::string first = dir.file("first.json"), second = dir.file("second.json");
  const HostRun saving = runHost({"--new", "Axis", "Up", "--new", "TestNode", "T", "--connect", "right", "Up", "--set",
                                  "count", "5", "--set", "gain", "0.1", "--set", "enabled", "1", "--set", "mode",
                                  "third", "--set", "label", "two words", "--set", "position", "1,2,3", "--set",
                                  "secret", "s3", "--set", "scratch", "9", "--set", "weight", "0.25", "--set",
                                  "point.1", "7", "--select", "--save", first});
  ASSERT_EQ(saving.status, 0) << saving.err;
  const json expected = json::parse(R"({"nodes": [
    {"class": "Axis", "name": "Up", "inputs": [null], "selected": false, "knobs": {}},
    {"class": "TestNode", "name": "T", "inputs": [null, "Up"], "selected": true,
     "knobs": {"count": 5, "gain": 0.1, "enabled": true, "mode": "third", "label": "two words",
               "position": [1.0, 2.0, 3.0], "secret": "s3", "weight": 0.25}}]})");
  EXPECT_EQ(json::parse(readFile(first)), expected) << readFile(first);

  const HostRun loading = runHost({first, "--knobs", "--info", "--save", second});
  ASSERT_EQ(loading.status, 0) << loading.err;
  EXPECT_TRUE(contains(loading.out,
                       "TestNode attach: count=5 gain=0.1 enabled=1 mode=2 label=two words position=1,2,3 secret=s3 "
                       "scratch=0\n"))
      << loading.out;
  EXPECT_FALSE(contains(loading.out, "knob_changed")) << loading.out;
  EXPECT_TRUE(contains(loading.out, "secret\t1\ts3\thidden\n")) << loading.out;
  EXPECT_TRUE(contains(loading.out, "weight\t8\t0.25\tvisible\n")) << loading.out;
  EXPECT_TRUE(contains(loading.out, "input\t1\tright\tUp\n")) << loading.out;
  EXPECT_EQ(readFile(second), readFile(first));
}

// A file path is read and saved relative to the script's folder; on the
// command line it is relative to the working folder.
TEST(QuorhostScript, FilePathsStayRelativeToTheScript) {
  TempDir dir;
  fs::create_directories(dir.path() / "sub");
  writeFile(dir.file("sub/in.json"), R"({"nodes": [{"class": "TestNode", "name": "T", "knobs": {"file": "img/a.png"}}]})");
  const HostRun run = runHost({dir.file("sub/in.json"), "--knobs", "--save", dir.file("up.json"), "--set", "file",
                               "x/y.png", "--save", "sub/set.json"},
                              kTestPlugins, dir.path().string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.out, "file\t2\t" + dir.file("sub/img/a.png") + "\tvisible\n")) << run.out;
  auto saved = [&](const std::string& f) { return json::parse(readFile(dir.file(f)))["nodes"][0]["knobs"]["file"]; };
  EXPECT_EQ(saved("up.json"), "sub/img/a.png");
  EXPECT_EQ(saved("sub/set.json"), "../x/y.png");
}

TEST(QuorhostScript, ABadScriptNamesThePlaceAndWritesNothing) {
  const std::string a = R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": )";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {R"({"nodes": [{"class": "TestNode",}]})", {"malformed JSON", "line 1, column 33"}},
      {R"({"nodez": []})", {"no \"nodes\" array"}},
      {R"({"nodes": [{"class": "TestNode", "name": "A"}, {"class": "Nope", "name": "B"}]})",
       {"nodes[1] \"B\": unknown node class \"Nope\""}},
      {a + R"({"count": 2, "colour": 1}}]})", {"nodes[0] \"A\": unknown knob \"colour\""}},
      {a + R"({"count": "many"}}]})", {"nodes[0] \"A\": knob \"count\": expected an integer"}},
      {a + R"({"enabled": 1}}]})", {"nodes[0] \"A\": knob \"enabled\": expected true or false"}},
      {a + R"({"position": [1, 2]}}]})", {"nodes[0] \"A\": knob \"position\": expected an array of 3 numbers"}},
      {a + R"({"mode": "fourth"}}]})", {"nodes[0] \"A\": knob \"mode\": no item named \"fourth\""}},
      {R"({"nodes": [{"class": "Axis", "name": "A", "inputs": ["Ghost"]}]})",
       {"nodes[0] \"A\": input 0: no node named \"Ghost\""}},
      {R"({"nodes": [{"class": "Axis", "name": "A"}, {"class": "Axis", "name": "A"}]})",
       {"nodes[1] \"A\": another node is named \"A\""}},
  };
  for (const auto& [text, parts] : cases) {
    SCOPED_TRACE(text);
    TempDir dir;
    const std::string script = dir.file("bad.json");
    writeFile(script, text);
    const HostRun run = runHost({script, "--new", "Axis", "--save", dir.file("out.json"), "--rib", dir.file("out.rib")});
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(contains(run.err, script + ": ")) << run.err;
    for (const std::string& part : parts) EXPECT_TRUE(contains(run.err, part)) << run.err;
    EXPECT_EQ(dir.list(), std::vector<std::string>{"bad.json"});
  }
}

TEST(QuorhostActions, ABadActionStopsTheRunAndNothingIsSaved) {
  struct Case {
    std::vector<std::string> args;  // after --new TestNode --save OUT --rib OUT
    std::string message;
    int status;
  };
  const std::string node = " of node \"TestNode1\"";
  const std::vector<Case> cases = {
      {{"--set", "count", "2.5"}, "--set: knob \"count\"" + node + " refuses the value \"2.5\"", 1},
      {{"--set", "nosuch", "1"}, "--set: node \"TestNode1\" has no knob \"nosuch\"", 1},
      {{"--set", "python_ok", "1"}, "--set: knob \"python_ok\"" + node + " holds no value", 1},
      {{"--press", "count"}, "--press: knob \"count\"" + node + " is not a button", 1},
      {{"--press", "python_fail"}, "--press: button \"python_fail\"" + node + ": the Python script exited with status 3", 1},
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
}

// The archive of a Read is named by its hash, in decimal: its class, file,
// size and pixels, the rows bottom first.
TEST(QuorhostScene, RibOfAnAxisAndARead) {
  TempDir dir;
  std::vector<unsigned char> image;  // 4 x 2, rows top first
  for (int i = 0; i < 8; ++i) image.insert(image.end(), {static_cast<unsigned char>(60 * (i % 4)),
                                                         static_cast<unsigned char>(200 * (i / 4)), 77, 255});
  ASSERT_TRUE(writePng(dir.file("tex.png"), 4, 2, image));
  writeFile(dir.file("scene.json"), R"({"nodes": [
    {"class": "Axis", "name": "Up", "knobs": {"translate": [0.5, 0, 0]}},
    {"class": "Read", "name": "Image", "knobs": {"file": "tex.png"}}]})");
  const std::string rib = dir.file("scene.rib");
  const HostRun run = runHost({dir.file("scene.json"), "--node", "Image", "--info", "--rib", rib});
  ASSERT_EQ(run.status, 0) << run.err;

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
      "Surface \"paintedplastic\" \"texturename\" [\"" + dir.file("tex.tex") + "\"]",
      "ArchiveEnd",
      "WorldEnd",
  };
  EXPECT_EQ(requests, expected) << readFile(rib);
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
