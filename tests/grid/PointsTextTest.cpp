#include "grid/PointsText.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "GridTestSupport.h"
#include "grid/ControlGrid.h"

using namespace quorcard;

namespace {

const std::string kWarning1 = "[Brunvik] WARNING: caught an exception when restore control points: ";
const std::string kWarning2 =
    "[Brunvik] Mostly likely this is related to loading a scene which was saved with an old version of Brunvik.\n";

// Collects what is written to std::cerr while it lives.
struct CerrCapture {
    std::ostringstream out;
    std::streambuf* saved = std::cerr.rdbuf(out.rdbuf());
    ~CerrCapture() { std::cerr.rdbuf(saved); }
};

std::string fixtureText()
{
    const std::string path = QUOR_SOURCE_DIR "/../shared/fixtures/points-v9-4x4.xml";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (text.str().empty())
        ADD_FAILURE() << "fixture missing: " << path << " (shared/ must lie beside the repository)";
    return text.str();
}

// The text with the first occurrence of `from` replaced, or every one.
std::string replaced(std::string text, const std::string& from, const std::string& to, bool all = false)
{
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    for (; at != std::string::npos; at = all ? text.find(from, at + to.size()) : std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// A refused text gives no points and exactly the two warning lines.
void expectRejected(const std::string& text, const char* what)
{
    CerrCapture cerr;
    EXPECT_TRUE(textToPoints(text).empty()) << what;
    const std::string out = cerr.out.str();
    const std::size_t eol = out.find('\n');
    EXPECT_EQ(out.compare(0, kWarning1.size(), kWarning1), 0) << what << ": " << out;
    EXPECT_TRUE(eol != std::string::npos && eol > kWarning1.size()) << what << ": " << out;
    if (eol != std::string::npos) {
        EXPECT_EQ(out.substr(eol + 1), kWarning2) << what;
    }
}

} // namespace

TEST(PointsText, DeformedGridRoundTripsBitForBit)
{
    PointList g;
    buildDefaultGrid(g, 5, 3, 1.0f, 0.5625f);
    const float moved[3] = {0.1f, -1.0f / 3.0f, 1e-7f}, handle[3] = {-123.456f, 7.0e-39f, 3.4e38f};
    movePoint(g, 7, moved);
    setTangentHandle(g, 7, 2, handle, false, false);
    setTangentHandle(g, 8, 1, moved, false, true);

    const std::string text = pointsToText(g);
    EXPECT_NE(text.find("<points class_id=\"0\" tracking_level=\"0\" version=\"0\">\n\t<count>15</count>"),
              std::string::npos);
    ASSERT_GT(text.size(), 10u);
    EXPECT_EQ(text.substr(text.size() - 10), "</points>\n"); // no closing root tag

    CerrCapture cerr;
    expectSamePoints(textToPoints(text), g);
    expectSamePoints(textToPoints(text + "</boost_serialization>\n"), g);
    expectSamePoints(textToPoints(text + "trailing text without a tag end"), g);
    expectSamePoints(textToPoints(text + "<junk>"), g);
    EXPECT_TRUE(textToPoints("").empty());
    EXPECT_EQ(cerr.out.str(), "");
}

TEST(PointsText, OldArchiveFixtureRestoresTheDefaultGrid)
{
    const std::string text = fixtureText();
    PointList expected;
    buildDefaultGrid(expected, 4, 4, 1.0f, 1.0f);
    // The old writer kept 8 significant digits: expect the floats printed
    // that way and read back.
    auto eightDigits = [](float& v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.8g", static_cast<double>(v));
        v = std::strtof(buf, nullptr);
    };
    for (VtxPoint& p : expected) {
        for (float* v : {&p.pos[0], &p.pos[1], &p.pos[2], &p.uv[0], &p.uv[1], &p.normal[2]})
            eightDigits(*v);
        for (std::vector<float>& s : p.controlPoints)
            for (float& v : s)
                eightDigits(v);
    }

    CerrCapture cerr;
    expectSamePoints(textToPoints(text), expected);
    expectSamePoints(textToPoints(text + "</boost_serialization>\n"), expected);
    expectSamePoints(textToPoints(replaced(replaced(text, "<points ", "<result "), "</points>", "</result>")),
                     expected);
    // Archives before version 4 carry no item versions.
    expectSamePoints(textToPoints(replaced(replaced(text, "version=\"9\"", "version=\"3\""),
                                           "<item_version>0</item_version>", "", true)),
                     expected);

    // "pos" may hold fewer values than it has room for: z stays 0.
    const PointList two = textToPoints(replaced(
        text, "<count>3</count>\n\t\t\t<item>-0.5</item>\n\t\t\t<item>-0.5</item>\n\t\t\t<item>0</item>",
        "<count>2</count><item>0.25</item><item>7</item>"));
    ASSERT_EQ(two.size(), 16u);
    EXPECT_EQ(std::vector<float>(two[0].pos, two[0].pos + 3), (std::vector<float>{0.25f, 7.0f, 0.0f}));

    // A point restored with three slots: the fourth is reported absent.
    const PointList three = textToPoints(replaced(
        replaced(text, "\t\t\t<count>4</count>", "\t\t\t<count>3</count>"),
        "\t\t\t<item>\n\t\t\t\t<count>3</count>\n\t\t\t\t<item_version>0</item_version>\n\t\t\t\t<item>-0.5</item>\n"
        "\t\t\t\t<item>-0.3888889</item>\n\t\t\t\t<item>0</item>\n\t\t\t</item>\n",
        ""));
    ASSERT_EQ(three.size(), 16u);
    EXPECT_EQ(three[0].controlPoints.size(), 3u);
    EXPECT_TRUE(slotPresent(three[0], 2));
    EXPECT_FALSE(slotPresent(three[0], 3));
    EXPECT_EQ(cerr.out.str(), "");
}

TEST(PointsText, UnreadableTextsAreRefusedWithWarnings)
{
    const std::string text = fixtureText();
    expectRejected(replaced(text, "serialization::archive", "serialization::other"), "signature");
    expectRejected(replaced(text, "version=\"9\"", "version=\"99\""), "newer version");
    expectRejected(replaced(replaced(text, "<pos>", "<place>", true), "</pos>", "</place>", true), "renamed pos");
    expectRejected(replaced(text, "<count>3</count>\n\t\t\t<item>-0.5</item>",
                            "<count>4</count><item>1</item>\n\t\t\t<item>-0.5</item>"),
                   "pos with 4 values");
    expectRejected(replaced(text, "<item>-0.5</item>", "<item>nan</item>"), "nan");
    expectRejected(replaced(text, "<item>-0.5</item>", "<item>1e39</item>"), "overflow");
    expectRejected(text.substr(0, text.size() / 2), "truncated");
    expectRejected(text.substr(0, 200), "truncated header");
    expectRejected("not an archive", "garbage");
    expectRejected(replaced(text, "<count>16</count>", "<count>-1</count>"), "negative count");
    expectRejected(replaced(text, "<count>16</count>", "<count>17</count>"), "one point missing");
    // Names longer than the expected ones, and start tags that differ from
    // their end tags, are refused before the archive compares them.
    expectRejected(replaced(replaced(text, "<uv>", "<controlPoints>"), "</uv>", "</controlPoints>"), "uv renamed");
    expectRejected(replaced(text, "</pos>", "</" + std::string(100000, 'p') + ">"), "long end tag");
    expectRejected(replaced(text, "<pos>", "<pps>"), "start tag differs from end tag");
}

TEST(PointsText, HugeCountsAreRefusedQuickly)
{
    const std::string text = fixtureText();
    const auto start = std::chrono::steady_clock::now();
    expectRejected(replaced(text, "<count>16</count>", "<count>4000000000</count>"), "4e9 points");
    expectRejected(replaced(text, "<count>16</count>", "<count>40000000</count>"), "4e7 points");
    // The archive does not compare start-tag names: the value before </count> counts.
    expectRejected(replaced(text, "<count>16</count>", "<n>40000000 </count >"), "renamed count tag");
    expectRejected(replaced(text, "<count>0</count>", "<count>99999999999999999999999</count>"), "slot count");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
}
