// The root tag of the points text, checked before the archive reads it.
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "grid/ControlGrid.h"
#include "grid/PointsText.h"

using namespace quorcard;

namespace {

std::string withRootTag(const std::string& from, const std::string& to) {
  ControlGrid grid;
  grid.reset(2, 2, 1.0f, 1.0f);
  std::string text = pointsToText(grid.points());
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The points read from the text, and what was said on std::cerr meanwhile.
std::pair<std::size_t, std::string> read(const std::string& text) {
  std::ostringstream said;
  std::streambuf* saved = std::cerr.rdbuf(said.rdbuf());
  const std::size_t points = textToPoints(text).size();
  std::cerr.rdbuf(saved);
  return {points, said.str()};
}

}  // namespace

// Catches a version compared after it is cut to 16 bits (65554 reads as 18)
// and a signature compared only over the document's length ("serial").
TEST(ArchiveHeader, SignatureAndVersionAreCheckedInFull) {
  const std::string version = "version=\"18\"";
  const std::string signature = "signature=\"serialization::archive\"";
  const std::pair<const char*, std::string> refused[] = {
      {"version cut to 16 bits", withRootTag(version, "version=\"65554\"")},
      {"newer version", withRootTag(version, "version=\"19\"")},
      {"version beyond 32 bits", withRootTag(version, "version=\"4294967314\"")},
      {"version not a number", withRootTag(version, "version=\"1x\"")},
      {"signature prefix", withRootTag(signature, "signature=\"serial\"")},
      {"longer signature", withRootTag(signature, "signature=\"serialization::archives\"")},
      {"no signature", withRootTag(signature, "")},
  };
  for (const auto& c : refused) {
    const auto result = read(c.second);
    EXPECT_EQ(result.first, 0u) << c.first;
    EXPECT_EQ(result.second.rfind("[Brunvik] WARNING: caught an exception when restore control points: ", 0), 0u)
        << c.first << ": " << result.second;
  }
  // The boundary itself and older versions still read.
  for (const char* accepted : {"version=\"18\"", "version=\"9\"", "version=\"4\""}) {
    const auto result = read(withRootTag(version, accepted));
    EXPECT_EQ(result.first, 4u) << accepted;
    EXPECT_EQ(result.second, "") << accepted;
  }
}
