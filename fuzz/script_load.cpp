// Script loading, in process: a script that loads saves, loads again and
// saves to the same text, and its scene writes (or is refused for a node in
// error); a script that does not load is refused with the host's own error.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "FuzzCheck.h"
#include "FuzzPlugins.h"
#include "HostError.h"
#include "SceneWriter.h"
#include "Script.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Scripts that ask for what a fuzzer must not spend its time on: grids far
// larger than any fault needs, and images read from any file on the machine.
bool tooCostly(const std::string& text) {
  if (text.find("Read") != std::string::npos) return true;
  const json doc = json::parse(text, nullptr, false);
  if (!doc.is_object() || !doc.contains("nodes") || !doc["nodes"].is_array()) return false;
  for (const json& node : doc["nodes"]) {
    if (!node.is_object() || !node.contains("knobs") || !node["knobs"].is_object()) continue;
    for (const char* name : {"x_points", "y_points"}) {
      const auto k = node["knobs"].find(name);
      if (k != node["knobs"].end() && k->is_number() && k->get<double>() > 64) return true;
    }
  }
  return false;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  FUZZ_CHECK(out.good());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loadBuildPlugins();
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (tooCostly(text)) return 0;
  const fs::path folder = fs::temp_directory_path() / ("quor-fuzz-script-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string path = (folder / "script.json").string();
  writeFile(path, text);

  std::string first;
  {
    DD::Image::Graph graph;
    quorhost::RelativeFiles files;
    try {
      quorhost::loadScript(graph, path, files);
    } catch (const quorhost::HostError&) {
      fs::remove_all(folder);
      return 0;  // refused, as the host says
    }
    first = quorhost::saveScript(graph, folder, files);
    try {
      quorhost::writeScene(graph, (folder / "scene.rib").string(), "scene.tif");
    } catch (const quorhost::HostError&) {
      // a node in error refuses the scene
    }
  }
  writeFile(path, first);
  DD::Image::Graph graph;
  quorhost::RelativeFiles files;
  try {
    quorhost::loadScript(graph, path, files);
  } catch (const quorhost::HostError& e) {
    std::fprintf(stderr, "a saved script does not load: %s\n", e.what());
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(quorhost::saveScript(graph, folder, files) == first);
  fs::remove_all(folder);
  return 0;
}
