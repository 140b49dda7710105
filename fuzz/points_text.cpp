// The points text reader: any text either gives no points (with the two
// warning lines) or a grid that writes and reads back bit for bit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "FuzzCheck.h"
#include "grid/PointsText.h"

using quorcard::PointList;

namespace {

// Every float of a grid as bits, each slot led by its size.
std::string bits(const PointList& points) {
  std::string out;
  auto put = [&out](const float* f, std::size_t n) { out.append(reinterpret_cast<const char*>(f), n * sizeof(float)); };
  for (const quorcard::VtxPoint& p : points) {
    put(p.pos, 3);
    put(p.uv, 2);
    put(p.normal, 3);
    out += std::to_string(p.controlPoints.size()) + ":";
    for (const std::vector<float>& slot : p.controlPoints) {
      out += std::to_string(slot.size()) + ":";
      put(slot.data(), slot.size());
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The warnings of refused texts go nowhere.
  std::ostringstream warnings;
  std::streambuf* saved = std::cerr.rdbuf(warnings.rdbuf());
  const PointList points = quorcard::textToPoints(text);
  if (!points.empty()) {
    const std::string written = quorcard::pointsToText(points);
    FUZZ_CHECK(!written.empty());
    const PointList back = quorcard::textToPoints(written);
    FUZZ_CHECK(bits(back) == bits(points));
    FUZZ_CHECK(quorcard::pointsToText(back) == written);
  }
  std::cerr.rdbuf(saved);
  // A refused text gives no points and exactly the two warning lines.
  const std::string said = warnings.str();
  if (!said.empty()) {
    FUZZ_CHECK(points.empty());
    FUZZ_CHECK(said.rfind("[Brunvik] WARNING: ", 0) == 0);
    FUZZ_CHECK(std::count(said.begin(), said.end(), '\n') == 2);
  }
  return 0;
}
