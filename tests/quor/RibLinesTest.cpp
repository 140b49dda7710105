// Long and deep RIB lines: arrays of many thousands of values, written in
// blocks straight into the line, and lines indented many levels deep.
#include <Quor/Quor.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

struct Rib {
  std::vector<std::string> lines;  // the scene after its header line
  std::string errors;              // standard error meanwhile
};

Rib ribOf(const std::function<void()>& calls) {
  testsupport::TempDir dir;
  const std::string path = dir.file("scene.rib");
  CaptureStderr();
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  calls();
  QrEnd();
  Rib rib{testsupport::lines(testsupport::readFile(path)), GetCapturedStderr()};
  if (!rib.lines.empty()) rib.lines.erase(rib.lines.begin());
  return rib;
}

// The words between the last "[" of a line and the "]" that closes it.
std::vector<std::string> bracketWords(const std::string& line) {
  const std::size_t open = line.rfind('[');
  const std::size_t close = line.find(']', open);
  std::vector<std::string> words;
  if (open == std::string::npos || close == std::string::npos) return words;
  std::istringstream in(line.substr(open + 1, close - open - 1));
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Catches values lost, doubled or run together where one block of values
// ends and the next begins, and values written past the space their block
// was given: 10001 floats, the extremes placed around the block edges, and
// a stretch longer than any block of floats whose text is as long as a
// float's text gets.
TEST(LibQuorLongLines, FloatsAcrossManyBlocksReadBackBitForBit) {
  const std::size_t n = 10001;
  std::vector<float> values;
  std::mt19937 bits(2024);
  float longest = 0;
  std::size_t longestChars = 0;
  while (values.size() < n) {
    const std::uint32_t u = bits();
    float f;
    std::memcpy(&f, &u, sizeof f);
    if (!std::isfinite(f)) continue;
    values.push_back(f);
    char text[64];
    const std::size_t chars = static_cast<std::size_t>(std::to_chars(text, text + sizeof text, f).ptr - text);
    if (chars > longestChars) {
      longest = f;
      longestChars = chars;
    }
  }
  ASSERT_EQ(longestChars, 15u);  // a sign, nine digits, a point and "e-38"
  for (std::size_t i = 1000; i < 6000; ++i) values[i] = longest;
  const float extremes[] = {-FLT_MAX, std::numeric_limits<float>::denorm_min(), -FLT_MIN, -0.0f, FLT_MAX, 0.1f};
  const std::size_t places[] = {0, 8191, 8192, 8193, 9000, n - 1};
  for (std::size_t i = 0; i < 6; ++i) values[places[i]] = extremes[i];

  const std::string declaration = "uniform float[" + std::to_string(n) + "] v";
  const Rib rib = ribOf([&] { QrSurface("s", declaration.c_str(), values.data(), QR_NULL); });
  ASSERT_EQ(rib.lines.size(), 1u) << rib.errors;
  EXPECT_EQ(rib.lines[0].find("  "), std::string::npos);
  EXPECT_EQ(rib.lines[0].find("[ "), std::string::npos);
  EXPECT_EQ(rib.lines[0].find(" ]"), std::string::npos);
  const std::vector<std::string> words = bracketWords(rib.lines[0]);
  ASSERT_EQ(words.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    char* end = nullptr;
    const float back = std::strtof(words[i].c_str(), &end);
    ASSERT_TRUE(*end == '\0' && std::memcmp(&back, &values[i], sizeof back) == 0) << i << ": " << words[i];
  }
}

// Catches the same for integers: more than a block of the longest
// integer text ("-2147483648"); the expected text is made by
// std::to_string.
TEST(LibQuorLongLines, IntegersAcrossManyBlocks) {
  const int n = 9000;
  std::vector<int> values(n);
  std::string expected = "[";
  for (int i = 0; i < n; ++i) {
    values[i] = i < 5000 ? INT_MIN : (i % 3 == 0 ? INT_MAX : i * 7 - 3000);
    expected += (i ? " " : "") + std::to_string(values[i]);
  }
  expected += "]";
  const std::string declaration = "uniform int[" + std::to_string(n) + "] n";
  const Rib rib = ribOf([&] { QrAttribute("a", declaration.c_str(), values.data(), QR_NULL); });
  ASSERT_EQ(rib.lines.size(), 1u) << rib.errors;
  const std::size_t open = rib.lines[0].rfind('[');
  ASSERT_NE(open, std::string::npos);
  EXPECT_TRUE(rib.lines[0].compare(open, std::string::npos, expected) == 0);
}

// Catches a value that cannot be written being found only after part of
// the line went out: a NaN in the third block writes nothing of the request.
TEST(LibQuorLongLines, ANanInALaterBlockWritesNothing) {
  std::vector<float> values(9000, 0.5f);
  values[8500] = std::nanf("");
  const Rib rib = ribOf([&] {
    QrSurface("s", "uniform float[9000] v", values.data(), QR_NULL);
    QrSurface("t", QR_NULL);
  });
  ASSERT_EQ(rib.lines.size(), 1u);
  EXPECT_EQ(rib.lines[0], "Surface \"t\"");
  EXPECT_EQ(testsupport::lines(rib.errors).size(), 1u) << rib.errors;
}

// Catches an indentation cut at the length of some buffer of blanks: every
// line carries two blanks per open block, at any depth.
TEST(LibQuorLongLines, DeepBlocksIndentEveryLineTwoBlanksALevel) {
  const int depth = 40;
  float rgb[] = {0.25f, 0.5f, 1};
  const Rib rib = ribOf([&] {
    for (int i = 0; i < depth; ++i) QrAttributeBegin();
    QrColor(rgb);
    for (int i = 0; i < depth; ++i) QrAttributeEnd();
  });
  ASSERT_EQ(rib.lines.size(), static_cast<std::size_t>(2 * depth + 1)) << rib.errors;
  for (int i = 0; i < depth; ++i) {
    EXPECT_EQ(rib.lines[i], std::string(2 * i, ' ') + "AttributeBegin") << i;
    EXPECT_EQ(rib.lines[2 * depth - i], std::string(2 * i, ' ') + "AttributeEnd") << i;
  }
  EXPECT_EQ(rib.lines[depth], std::string(2 * depth, ' ') + "Color [0.25 0.5 1]");
}

}  // namespace
