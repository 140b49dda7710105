// The control-point grid: its default shape, the edits on it, and its
// conversion to and from the XML text that the node stores.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>
#include <algorithm>
#include <boost/archive/basic_archive.hpp>
#include <boost/archive/xml_oarchive.hpp>

#include "TestSupport.h"
#include "grid/ControlGrid.h"
#include "grid/PointsText.h"

using namespace quorcard;

namespace {

const float kNaN = std::nanf("");

std::pair<int, int> shape(const ControlGrid& g) { return {g.columns(), g.rows()}; }

// Every float of a grid as its bit pattern, each slot led by its size; with
// `eightDigits` first printed with 8 significant digits and read back.
std::vector<std::uint32_t> bits(const PointList& g, bool eightDigits = false) {
  std::vector<float> f;
  for (const VtxPoint& p : g) {
    f.insert(f.end(), {p.pos[0], p.pos[1], p.pos[2], p.uv[0], p.uv[1], p.normal[0], p.normal[1], p.normal[2]});
    for (const std::vector<float>& s : p.controlPoints) {
      f.push_back(static_cast<float>(s.size()));
      f.insert(f.end(), s.begin(), s.end());
    }
  }
  std::vector<std::uint32_t> out(f.size());
  for (std::size_t i = 0; i < f.size(); ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%.8g", static_cast<double>(f[i]));
    const float v = eightDigits ? std::strtof(text, nullptr) : f[i];
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

// A default grid of n x m points on a w x h card: point, uv, normal, then the
// handles left, down, right, up a third of the spacing away toward neighbours.
void expectDefaultGrid(const PointList& g, int n, int m, float w, float h) {
  ASSERT_EQ(g.size(), static_cast<std::size_t>(n * m));
  const double sx = w / (n - 1.0), sy = h / (m - 1.0);
  for (int i = 0; i < n * m; ++i) {
    const VtxPoint& p = g[static_cast<std::size_t>(i)];
    const int c = i % n, r = i / n;
    const double x = c * sx - w / 2.0, y = r * sy - h / 2.0;
    std::vector<double> want{x, y, 0, c / (n - 1.0), 1 - r / (m - 1.0), 0, 0, 1};
    std::vector<double> got{p.pos[0], p.pos[1], p.pos[2], p.uv[0], p.uv[1], p.normal[0], p.normal[1], p.normal[2]};
    const bool present[4] = {c > 0, r > 0, c < n - 1, r < m - 1};
    const double hx[4] = {x - sx / 3, x, x + sx / 3, x}, hy[4] = {y, y - sy / 3, y, y + sy / 3};
    ASSERT_EQ(p.controlPoints.size(), 4u);
    for (int k = 0; k < 4; ++k) {
      if (present[k]) want.insert(want.end(), {hx[k], hy[k], 0});
      got.insert(got.end(), p.controlPoints[k].begin(), p.controlPoints[k].end());
    }
    ASSERT_EQ(got.size(), want.size()) << "handles of point " << i;
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-6) << "point " << i << " value " << k;
  }
}

const std::string kWarning1 = "[Brunvik] WARNING: caught an exception when restore control points: ";
const std::string kWarning2 =
    "[Brunvik] Mostly likely this is related to loading a scene which was saved with an old version of Brunvik.\n";

// Collects what is written to std::cerr while it lives.
struct CerrCapture {
  std::ostringstream out;
  std::streambuf* saved = std::cerr.rdbuf(out.rdbuf());
  ~CerrCapture() { std::cerr.rdbuf(saved); }
};

// The text with the first occurrence of `from` replaced, or every one.
std::string replaced(std::string text, const std::string& from, const std::string& to, bool all = false) {
  std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  for (; at != std::string::npos; at = all ? text.find(from, at + to.size()) : std::string::npos)
    text.replace(at, from.size(), to);
  return text;
}

// A file of tests/fixtures; a missing or unreadable one fails the test that
// reads it, naming the path, rather than reading as an empty text.
std::string fixture(const std::string& name) {
  const std::string path = QUOR_SOURCE_DIR "/tests/fixtures/" + name, text = testsupport::readFile(path);
  if (text.empty()) throw std::runtime_error("cannot read " + path);
  return text;
}

}  // namespace

// Catches columns and rows swapped, the lower bounds of 2 or the size
// fallbacks dropped, and a grid made without its shape.
TEST(ControlGrid, DefaultGrids) {
  ControlGrid g;
  g.reset(4, 3, 1.0f, 1.0f);
  EXPECT_EQ(shape(g), std::make_pair(4, 3));
  expectDefaultGrid(g.points(), 4, 3, 1.0f, 1.0f);
  g.reset(2, 2, 2.0f, 0.5f);
  expectDefaultGrid(g.points(), 2, 2, 2.0f, 0.5f);
  // Too few columns or rows, or an unusable card size: the 2 x 2 square.
  g.reset(1, -3, kNaN, 0.0f);
  EXPECT_EQ(shape(g), std::make_pair(2, 2));
  expectDefaultGrid(g.points(), 2, 2, 1.0f, 1.0f);
}

// A wide card is 1 wide, a tall one 1 high; how the grid follows a new
// ratio is the node suite's (the card following its image). Catches the
// sides of a card swapped, a rescale that changes some points before it
// finds a product it cannot make, and one of a grid without its shape.
TEST(ControlGrid, CardSidesAndRescalesThatCannotBeMade) {
  const CardSize wide = cardSizeForRatio(2.0f), tall = cardSizeForRatio(0.5f);
  EXPECT_TRUE(wide.width == 1.0f && wide.height == 0.5f && tall.width == 0.5f && tall.height == 1.0f);
  ControlGrid g;
  g.reset(4, 4, 1.0f, 1.0f);
  const PointList original = g.points();
  // Refused without any change: a non-finite factor, an overflowing
  // product, a grid without its shape.
  const float far[3] = {3e38f, 0.5f, 0.0f};
  ASSERT_TRUE(g.movePoint(15, far));
  const PointList moved = g.points();
  EXPECT_FALSE(g.scale(kNaN, 1.0f) || g.scale(2.0f, 1.0f));
  EXPECT_EQ(bits(g.points()), bits(moved));
  ControlGrid unshaped;
  unshaped.restore(original, 4, 3);
  EXPECT_FALSE(unshaped.scale(2.0f, 2.0f));
  EXPECT_EQ(bits(unshaped.points()), bits(original));
}

TEST(ControlGrid, PointAndHandleEdits) {
  ControlGrid base;
  base.reset(4, 4, 1.0f, 1.0f);
  const PointList& b = base.points();
  // A moved point leaves its handles; bad moves change nothing.
  ControlGrid g = base;
  PointList expected = b;
  const float to[3] = {0.25f, -2.0f, 3.0f}, bad[3] = {0.0f, kNaN, 0.0f};
  ASSERT_TRUE(g.movePoint(5, to));
  EXPECT_FALSE(g.movePoint(6, bad) || g.movePoint(16, to));
  std::copy(to, to + 3, expected[5].pos);
  EXPECT_EQ(bits(g.points()), bits(expected));

  // Where the opposite handle goes under "break" and "mirror" is the node
  // suite's, through the knobs.
  const int i = 5;
  const float* p = b[i].pos;
  g = base;
  // "Up" turns "down"; a handle placed on the point drags it onto the point.
  EXPECT_EQ(g.setTangentHandle(i, kSlotUp, p, false, false).oppositeSlot, kSlotDown);
  EXPECT_EQ(g.points()[i].controlPoints[kSlotDown], std::vector<float>(p, p + 3));

  // Column 0 has no "left": "right" changes alone, "left" cannot be made;
  // bad indexes, slots and values change nothing.
  g = base;
  const float zero[3] = {0.0f, 0.0f, 0.0f}, nan3[3] = {kNaN, 0.0f, 0.0f};
  const TangentEdit e = g.setTangentHandle(4, kSlotRight, zero, false, false);
  EXPECT_TRUE(e.changed && !e.oppositeChanged);
  expected = b;
  expected[4].controlPoints[kSlotRight] = {0.0f, 0.0f, 0.0f};
  const int refused[][2] = {{4, 0}, {16, 2}, {5, 4}, {5, -1}};
  for (const auto& r : refused)
    EXPECT_FALSE(g.setTangentHandle(r[0], r[1], zero, false, false).changed) << r[0] << " " << r[1];
  EXPECT_FALSE(g.setTangentHandle(5, kSlotRight, nan3, false, false).changed);
  EXPECT_EQ(bits(g.points()), bits(expected));
}

TEST(PointsText, RoundTripAndOldArchives) {
  ControlGrid made;
  made.reset(5, 3, 1.0f, 0.5625f);
  PointList g = made.points();
  g[7].pos[1] = -1.0f / 3.0f, g[7].pos[2] = 1e-7f;
  g[7].controlPoints[2] = {-123.456f, 7.0e-39f, 3.4e38f};
  // The ends of the float range, both zeros and a denormal.
  g[8].controlPoints[0] = {FLT_TRUE_MIN, -FLT_TRUE_MIN, FLT_MIN};
  g[8].controlPoints[2] = {FLT_MAX, -FLT_MAX, -0.0f};
  g[8].uv[0] = 0.1f, g[8].uv[1] = 2.5e-39f;
  g[0].controlPoints.resize(3);  // "up" gone: three slots
  const std::string text = pointsToText(g);
  EXPECT_EQ(text.rfind("</points>\n"), text.size() - 10);  // no closing root tag
  // The shortest text that reads back: not the archive's "-3.33333343e-01",
  // nor the float widened to double ("-0.3333333432674408").
  EXPECT_NE(text.find("<item>-0.33333334</item>"), std::string::npos);
  CerrCapture cerr;
  const PointList back = textToPoints(text);
  EXPECT_EQ(bits(back), bits(g));
  ASSERT_EQ(back.size(), 15u);
  EXPECT_TRUE(slotPresent(back[0], 2) && !slotPresent(back[0], 3));
  EXPECT_EQ(bits(textToPoints(text + "trailing text <without a tag end")), bits(g));
  EXPECT_TRUE(textToPoints("").empty());

  // The fixture: the default 4 x 4 grid as an older release wrote it.
  const std::string kFixture = fixture("points-v9-4x4.xml");
  made.reset(4, 4, 1.0f, 1.0f);
  const PointList old = made.points();
  EXPECT_EQ(bits(textToPoints(kFixture)), bits(old, true));
  EXPECT_EQ(bits(textToPoints(kFixture + "</boost_serialization>\n")), bits(old, true));
  EXPECT_EQ(bits(textToPoints(replaced(replaced(kFixture, "<points ", "<result "), "</points>", "</result>"))),
            bits(old, true));

  // "pos" may hold fewer values than it has room for: z stays 0.
  const PointList two = textToPoints(
      replaced(kFixture, "<count>3</count>\n\t\t\t<item>-0.5</item>\n\t\t\t<item>-0.5</item>\n\t\t\t<item>0</item>",
               "<count>2</count><item>0.25</item><item>7</item>"));
  ASSERT_EQ(two.size(), 16u);
  EXPECT_EQ(std::vector<float>(two[0].pos, two[0].pos + 3), (std::vector<float>{0.25f, 7.0f, 0.0f}));
  EXPECT_EQ(cerr.out.str(), "");

  // Sequences carry "item_version" from archive version 4 on, never in
  // version 3 (a reader that takes 3 for 4, or 4 for 3, refuses one of
  // them); a version above the library's own is refused.
  const auto version = [&](int v, bool items) {
    const std::string t = replaced(kFixture, "version=\"9\"", "version=\"" + std::to_string(v) + "\"");
    return items ? t : replaced(t, "<item_version>0</item_version>", "", true);
  };
  const int newest = static_cast<int>(boost::archive::BOOST_ARCHIVE_VERSION()) + 1;
  const int versions[][3] = {{3, 0, 1}, {3, 1, 0}, {4, 1, 1}, {4, 0, 0}, {5, 1, 1}, {newest - 1, 1, 1}, {newest, 1, 0}};
  for (const auto& v : versions) {
    CerrCapture warnings;
    EXPECT_EQ(bits(textToPoints(version(v[0], v[1]))), v[2] ? bits(old, true) : bits({})) << v[0] << v[1];
    EXPECT_EQ(warnings.out.str().empty(), v[2] == 1) << v[0] << v[1];
  }
}

// A point written again in place gives the text a whole write gives: the
// first point (whose element carries the class attributes), the last, one
// whose text grows and then shrinks, with the places kept from edit to edit;
// a text of another grid, or of the same points in an older archive version,
// is refused and left alone. Catches an element cut at the wrong end, the
// places after a longer element not moved, the first point written without
// its attributes, and one element of ours spliced into an older document.
TEST(PointsText, OnePointWrittenAgainInPlace) {
  ControlGrid made;
  made.reset(3, 2, 1.0f, 1.0f);
  PointList g = made.points();
  std::string text = pointsToText(g);
  std::vector<std::size_t> starts;
  const std::pair<std::size_t, float> edits[] = {{4, 0.123456789f}, {0, -7.5f}, {5, 1e-30f}, {4, 0.5f}, {1, 3.0f}};
  for (const auto& [index, x] : edits) {
    g[index].pos[0] = x;
    g[index].controlPoints[kSlotUp] = {x, -x, x};
    ASSERT_TRUE(rewritePointText(text, starts, g, index));
    EXPECT_EQ(text, pointsToText(g)) << index;
  }
  const std::string before = text;
  std::vector<std::size_t> none;
  EXPECT_FALSE(rewritePointText(text, none, PointList(g.begin(), g.begin() + 5), 0));
  EXPECT_FALSE(rewritePointText(text, starts, g, 6));
  EXPECT_EQ(text, before);
  std::string older = fixture("points-v9-4x4.xml");
  const std::string olderBefore = older;
  std::vector<std::size_t> olderStarts;
  EXPECT_FALSE(rewritePointText(older, olderStarts, textToPoints(older), 5));
  EXPECT_EQ(older, olderBefore);
}

// The text is laid out as Boost's stock XML archive lays it out: tags,
// attributes, tabs and line breaks, all but the closing root tag. Only the
// numbers' form differs, so both texts are compared without the characters
// of numbers. Catches a character of a tag, a tab or a line break lost or
// doubled, or an element name written escaped, by the card's own archive.
TEST(PointsText, LaidOutAsTheStockArchiveLaysItOut) {
  ControlGrid made;
  made.reset(3, 2, 1.0f, 1.0f);
  PointList g = made.points();
  g[1].controlPoints.resize(3);
  g[2].controlPoints[0].clear();
  std::ostringstream stock;
  {
    boost::archive::xml_oarchive archive(stock);
    archive << boost::serialization::make_nvp("points", g);
  }
  const auto layout = [](std::string t) {
    t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return std::strchr("0123456789.+-e", c) != nullptr; }),
            t.end());
    return t;
  };
  const std::string whole = stock.str();
  EXPECT_EQ(layout(pointsToText(g)), layout(whole.substr(0, whole.rfind("</boost_serialization>"))));
}

// Each refused text gives no points and exactly the two warning lines; huge
// counts are refused before anything is allocated for them.
TEST(PointsText, UnreadableTextsAreRefusedWithWarnings) {
  const std::string t = fixture("points-v9-4x4.xml");
  const std::string c16 = "<count>16</count>";
  const std::pair<const char*, std::string> cases[] = {
      {"signature", replaced(t, "serialization::archive", "serialization::other")},
      // The version whole, not cut to 16 or 32 bits, and all digits.
      {"version 65536 + 9", replaced(t, "version=\"9\"", "version=\"65545\"")},
      {"version 2^32 + 9", replaced(t, "version=\"9\"", "version=\"4294967305\"")},
      {"version not a number", replaced(t, "version=\"9\"", "version=\"9x\"")},
      // The signature whole, not compared over the shorter length only.
      {"signature prefix", replaced(t, "serialization::archive", "serial")},
      {"longer signature", replaced(t, "serialization::archive", "serialization::archives")},
      {"no signature", replaced(t, "signature=\"serialization::archive\"", "")},
      {"renamed pos", replaced(replaced(t, "<pos>", "<place>", true), "</pos>", "</place>", true)},
      {"pos with 4 values", replaced(t, "<count>3</count>\n\t\t\t<item>-0.5</item>",
                                     "<count>4</count><item>1</item>\n\t\t\t<item>-0.5</item>")},
      {"nan", replaced(t, "<item>-0.5</item>", "<item>nan</item>")},
      {"overflow", replaced(t, "<item>-0.5</item>", "<item>1e39</item>")},
      {"truncated", t.substr(0, t.size() / 2)},
      {"garbage", "not an archive"},
      {"one point missing", replaced(t, c16, "<count>17</count>")},
      {"4e9 points", replaced(t, c16, "<count>4000000000</count>")},
      {"4e7 points", replaced(t, c16, "<count>40000000</count>")},
      {"negative count", replaced(t, c16, "<count>-1</count>")},
      // Start-tag names are not compared: the value before </count> counts.
      {"renamed count tag", replaced(t, c16, "<n>40000000 </count >")},
      {"slot count", replaced(t, "<count>0</count>", "<count>99999999999999999999999</count>")},
      // Refused before the archive reads past the end tag.
      {"long end tag", replaced(t, "</pos>", "</" + std::string(100000, 'p') + ">")},
      {"start tag differs from end tag", replaced(t, "<pos>", "<pps>")},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_TRUE(textToPoints(c.second).empty()) << c.first;
    const std::string out = cerr.out.str();
    const std::size_t eol = out.find('\n');  // npos when there is none
    EXPECT_TRUE(out.rfind(kWarning1, 0) == 0 && eol > kWarning1.size() && out.substr(eol + 1) == kWarning2)
        << c.first << ": " << out;
  }
}
