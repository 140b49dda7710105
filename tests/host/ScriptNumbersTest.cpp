// Numbers a script cannot hold are the loader's error, named by file, node
// and knob like every other script error, never the JSON library's own.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

using namespace testsupport;

// Catches the parser's range error escaping as "[json.exception...]" text,
// and a place that names the wrong node (counted from 1, or not reset) or
// keeps the knob of an earlier node.
TEST(QuorhostScript, NumbersBeyondADoubleNameTheirPlace) {
  TempDir dir;
  const std::string path = dir.file("big.json");
  const struct {
    const char* script;
    const char* place;
    const char* number;
  } cases[] = {
      {R"({"nodes": [{"class": "TestNode", "name": "T", "knobs": {"count": 2e308}}]})", R"(nodes[0] "T": knob "count")",
       "2e308"},
      {R"({"nodes": [{"class": "TestNode", "name": "A", "knobs": {"gain": 1}},
                     {"class": "TestNode", "knobs": {"position": [1e999, 0, 0]}}]})",
       R"(nodes[1]: knob "position")", "1e999"},
  };
  for (const auto& c : cases) {
    writeFile(path, c.script);
    const HostRun run = runHost({path, "--save", dir.file("out.json")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorhost: " + path + ": " + c.place + ": number overflow parsing '" + c.number + "'\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"big.json"}) << "nothing is saved";
  }
}
