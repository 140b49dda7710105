// libQuor: home directory, the integer options, and the RIB text of the scene
// calls, long arrays and deep blocks included. What QxRendererInfo answers shows in the card's help.
#include <Quor/Quor.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Lines = std::vector<std::string>;

int linesStarting(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : testsupport::lines(text)) n += line.rfind(prefix, 0) == 0;
  return n;
}

TEST(LibQuor, HomeComesFromTheLibraryPathOnly) {
  testsupport::TempDir tmp;
  fs::create_directories(tmp.path() / "r/bin");
  ::setenv("VEVEVER", tmp.path().c_str(), 1);  // set by the user before, and a folder that exists
  CaptureStderr();
  Quor_initPath((tmp.path() / "r/bin/../bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp.path() / "r");  // mistake: one parent only, or ".." left in
  EXPECT_TRUE(Quor_initQuorRenderMan());
  Quor_initPath((tmp.path() / "missing/bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp.path() / "missing");  // mistake: the home taken from $VEVEVER
  EXPECT_FALSE(Quor_initQuorRenderMan());                       // mistake: existence not checked
  EXPECT_STREQ(::getenv("VEVEVER"), tmp.path().c_str());        // setting it is the plug-in's business
  Quor_initPath("bin/Quor.dll");
  EXPECT_EQ(fs::path(Quor_homeDir()), fs::current_path());  // mistake: a relative home
  EXPECT_EQ(GetCapturedStderr(), "");                       // failing is silent
  ::unsetenv("VEVEVER");
}

// $QUOR_OPTIONS_FILE, else an absolute $XDG_CONFIG_HOME, else $HOME/.config:
// here the last, the first being empty, the second relative (mistake: taken).
TEST(LibQuorOptions, KeptInAFileReadAnewEachTime) {
  testsupport::TempDir tmp;
  const std::string file = tmp.file(".config/quor/options"), home = ::getenv("HOME") ? ::getenv("HOME") : "";
  ::setenv("QUOR_OPTIONS_FILE", "", 1);
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  ::setenv("HOME", tmp.path().c_str(), 1);
  EXPECT_EQ(Quor_getOptionInt("other", 5), 5);
  EXPECT_EQ(Quor_setOptionInt("other", 17), 0);
  EXPECT_EQ(Quor_getOptionInt("other", 5), 17);
  // Written as by another process. Lines without an option stay; of two for a name the last is read.
  testsupport::writeFile(file, "# note\nx=12abc\nbig=99999999999\nother = 7\r\nkeep=1\nother=8");
  EXPECT_EQ(Quor_getOptionInt("x", 4) + Quor_getOptionInt("big", 1), 5);  // mistake: a prefix, an overflow read
  EXPECT_EQ(Quor_getOptionInt("other", 0), 8);  // mistake: a value cached in the process, the first line read
  EXPECT_EQ(Quor_setOptionInt("other", -3), 0);
  EXPECT_EQ(testsupport::readFile(file), "# note\nx=12abc\nbig=99999999999\nother=-3\nkeep=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path() / ".config/quor"), {}), 2);  // mistake: a temporary left
  CaptureStderr();
  EXPECT_TRUE(Quor_setOptionInt("two words", 1) != 0 && linesStarting(GetCapturedStderr(), "libQuor: ") == 1);
  ::setenv("HOME", home.c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
}

// A file that cannot be read as text is never replaced (its other options
// would be lost): reads give the default, a set fails and says why.
TEST(LibQuorOptions, AnUnreadableFileIsNeverReplaced) {
  testsupport::TempDir tmp;
  fs::create_directory(tmp.path() / "folder");
  testsupport::writeFile(tmp.file("folder/a"), "a=1\n");
  fs::create_symlink("loop", tmp.path() / "loop");  // unreadable even for root
  const std::string binary("a=1\n\0\x89PNG\r\n", 11);
  testsupport::writeFile(tmp.file("binary"), binary);
  for (const char* name : {"folder", "loop", "binary"}) {
    ::setenv("QUOR_OPTIONS_FILE", tmp.file(name).c_str(), 1);
    EXPECT_EQ(Quor_getOptionInt("a", 4), 4) << name;
    CaptureStderr();
    EXPECT_NE(Quor_setOptionInt("a", 2), 0) << name;  // mistake: read as empty, then replaced
    EXPECT_EQ(GetCapturedStderr(), "libQuor: Quor_setOptionInt: cannot read \"" + tmp.file(name) + "\"\n");
  }
  EXPECT_EQ(testsupport::readFile(tmp.file("folder/a")), "a=1\n");
  EXPECT_EQ(fs::read_symlink(tmp.path() / "loop"), "loop");
  EXPECT_EQ(testsupport::readFile(tmp.file("binary")), binary);
  EXPECT_EQ(tmp.list(), (Lines{"binary", "binary.lock", "folder", "folder.lock", "loop", "loop.lock"}));
}

// Makes the calls inside a scene written to a temporary file; answers the
// scene after its header line, and standard error meanwhile.
struct Rib {
  Lines lines;
  std::string errors;
};
Rib ribOf(const std::function<void()>& calls) {
  testsupport::TempDir dir;
  CaptureStderr();
  EXPECT_EQ(QrBegin(dir.file("scene.rib").c_str()), 0);
  calls();
  QrEnd();
  Rib rib{testsupport::lines(testsupport::readFile(dir.file("scene.rib"))), GetCapturedStderr()};
  EXPECT_TRUE(!rib.lines.empty() && rib.lines[0] == "##RenderMan RIB");
  if (!rib.lines.empty()) rib.lines.erase(rib.lines.begin());
  return rib;
}

// Mistakes: a request's name or argument order, indentation that does not
// follow the blocks, a lost escape, a light numbered from 0, the basis
// written by name when it is only a copy of the library's own, no room for
// the longest integers, a float not as the shortest text that reads back to
// it (6 digits, 0.333333; 9 digits, 0.100000001; a locale's comma).
TEST(LibQuorRib, EveryRequestIsOneLine) {
  float kd = 0.5f, repeat[] = {2, 3}, rgb[] = {0.25f, 0.5f, 1};
  float floats[] = {0.1f, 1 / 3.f, -0.0f, 16777217.f, 3.4028235e38f, 1e-45f, -2.5e-6f};
  int one = 1, lowest[] = {INT_MIN, INT_MIN};
  const char* texture[] = {"q\"b\\\n\t\x01.tx"};
  QtMatrix m = {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}};
  QtBasis bezier = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
  QtBasis copy = {{-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f}, {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}};  // Catmull-Rom
  const std::vector<std::pair<std::function<void()>, std::string>> calls = {
      {[&] { QrLightSource("glow", "lightcolor", rgb, QR_NULL); }, R"(LightSource "glow" 1 "lightcolor" [0.25 0.5 1])"},
      {[] { QrAttributeBegin(); }, "AttributeBegin"},
      {[] { QrLightSource("ambientlight", QR_NULL); }, R"(  LightSource "ambientlight" 2)"},
      {[] { QrComment("card\nhere"); }, "  # card here"},
      {[&] { QrSurface("plastic", "Kd", &kd, "texturename", texture, "uniform float[2] repeat", repeat, QR_NULL); },
       R"(  Surface "plastic" "Kd" [0.5] "texturename" ["q\"b\\\n\t\001.tx"] "uniform float[2] repeat" [2 3])"},
      {[&] { QrAttribute("sides", "doubleshaded", &one, QR_NULL); }, R"(  Attribute "sides" "doubleshaded" [1])"},
      {[&] { QrAttribute("a", "uniform int[2] n", lowest, QR_NULL); },
       R"(  Attribute "a" "uniform int[2] n" [-2147483648 -2147483648])"},
      {[] { QrTranslate(1, -2, 0.25f); }, "  Translate 1 -2 0.25"},
      {[] { QrScale(2, 3, -1); }, "  Scale 2 3 -1"},
      {[&] { QrTransform(m); }, "  Transform [0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15]"},
      {[] { QrReverseOrientation(); }, "  ReverseOrientation"},
      {[&] { QrBasis(bezier, 3, copy, 2); },
       "  Basis [-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0] 3 [-0.5 1.5 -1.5 0.5 1 -2.5 2 -0.5 -0.5 0 0.5 0 0 1 0 0] 2"},
      {[] { QrReadArchive("1234", nullptr, QR_NULL); }, R"(  ReadArchive "1234")"},
      {[] { QrAttributeEnd(); }, "AttributeEnd"},
      {[] { QrScreenWindow(-2, 2, -1, 1.5f); }, "ScreenWindow -2 2 -1 1.5"},
      {[] { QrPixelSamples(3, 4); }, "PixelSamples 3 4"},
      {[] { QrPixelFilter(QrGaussianFilter, 2, 2.5f); }, R"(PixelFilter "gaussian" 2 2.5)"},
      {[] { QrExposure(1.5f, 2.2f); }, "Exposure 1.5 2.2"},
      {[] { QrQuantize("rgba", 65535, 0, 65535, 0.5f); }, R"(Quantize "rgba" 65535 0 65535 0.5)"},
      {[&] { QrOpacity(rgb); }, "Opacity [0.25 0.5 1]"},
      {[&] { QrSurface("s", "float[7] v", floats, QR_NULL); },
       R"(Surface "s" "float[7] v" [0.1 0.33333334 -0 16777216 3.4028235e+38 1e-45 -2.5e-06])"},
  };
  Lines expected;
  for (const auto& call : calls) expected.push_back(call.second);
  const Rib rib = ribOf([&] {
    for (const auto& call : calls) call.first();
  });
  EXPECT_EQ(rib.lines, expected);
  EXPECT_EQ(rib.errors, "");
}

using Params = std::vector<std::pair<const char*, int>>;  // token, number of values

// Writes a patch mesh whose parameters all read 0, 1, 2, ... from one array and
// answers the line it must give: a miscount shows as values missing or extra.
std::string patchMesh(const char* type, int nu, const char* uwrap, int nv, const char* vwrap, const Params& params) {
  static std::vector<float> ramp(9000);
  std::iota(ramp.begin(), ramp.end(), 0.0f);
  std::vector<QtToken> tokens;
  std::vector<QtPointer> values(params.size(), ramp.data());
  std::string line = "PatchMesh \"" + std::string(type) + "\" " + std::to_string(nu) + " \"" + uwrap + "\" " +
                     std::to_string(nv) + " \"" + vwrap + "\"";
  for (const auto& [token, count] : params) {
    tokens.push_back(token);
    line += " \"" + std::string(token) + "\" [";
    for (int i = 0; i < count; ++i) line += (i ? " " : "") + std::to_string(i);
    line += "]";
  }
  QrPatchMeshV(type, nu, uwrap, nv, vwrap, int(tokens.size()), tokens.data(), values.data());
  return line;
}

// Values per item: float 1, point, vector, normal and color 3, hpoint 4,
// matrix 16, times n for type[n]. Items per class: constant 1, uniform one a
// patch, varying and facevarying one a patch corner, vertex nu * nv,
// facevertex 4 (bilinear) or 16 (bicubic) a patch.
TEST(LibQuorRib, PatchMeshValueCounts) {
  Lines expected, meshes;
  const Rib rib = ribOf([&] {
    // Bilinear 4 x 3 (steps do not apply): 3 x 2 patches, 4 x 3 corners.
    expected.push_back(patchMesh("bilinear", 4, "nonperiodic", 3, "nonperiodic",
                                 {{"P", 36},
                                  {"varying float s", 12},
                                  {"uniform vector d", 18},
                                  {"facevarying float f", 12},
                                  {"facevertex float g", 24},
                                  {"constant matrix m", 16},
                                  {"constant color c", 3}}));
    // Bilinear 4 x 3, periodic in v: 3 x 3 patches, 4 x 3 corners.
    expected.push_back(
        patchMesh("bilinear", 4, "nonperiodic", 3, "periodic",
                  {{"Pw", 48}, {"uniform float u", 9}, {"varying float s", 12}, {"facevarying float[2] f", 24}}));
    // Bicubic 10 x 7, steps 2 and 3: 4 x 2 patches, 5 x 3 corners.
    QrBasis(QrCatmullRomBasis, 2, QrCatmullRomBasis, 3);
    expected.push_back(patchMesh("bicubic", 10, "nonperiodic", 7, "nonperiodic",
                                 {{"Pw", 280},
                                  {"vertex normal n", 210},
                                  {"st", 30},
                                  {"uniform matrix m", 128},
                                  {"facevarying float f", 15},
                                  {"facevertex float g", 128}}));
    // Bicubic 6 periodic in u (step 3) x 8 (step 2): 2 x 3 patches, 2 x 4 corners.
    QrBasis(QrCatmullRomBasis, 3, QrCatmullRomBasis, 2);
    expected.push_back(
        patchMesh("bicubic", 6, "periodic", 8, "nonperiodic",
                  {{"Pz", 48}, {"varying color c", 24}, {"uniform float u", 6}, {"facevarying float f", 8}}));
  });
  for (const std::string& line : rib.lines)
    if (line.rfind("PatchMesh", 0) == 0) meshes.push_back(line);
  EXPECT_EQ(meshes, expected) << rib.errors;
}

// Basis is an attribute: AttributeEnd restores the steps of before its block,
// TransformEnd keeps them. An end that does not match the innermost block is
// refused and leaves that block open.
TEST(LibQuorRib, BasisStepsFollowAttributeBlocks) {
  // Bicubic 10 x 4: 3 patches at step 3 (Bezier's, the initial one), 4 at step 2.
  const auto mesh = [](int patches) {
    return patchMesh("bicubic", 10, "nonperiodic", 4, "nonperiodic", {{"Pz", 40}, {"uniform float u", patches}});
  };
  std::string first, second, third;
  const Rib rib = ribOf([&] {
    first = mesh(3);
    QrAttributeBegin();
    QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
    QrTransformBegin();
    QrBasis(QrCatmullRomBasis, 2, QrCatmullRomBasis, 1);
    QrAttributeEnd();  // refused: the innermost block is a TransformBegin
    QrTransformEnd();
    second = mesh(4);  // mistake: TransformEnd restores the steps
    QrAttributeEnd();
    third = mesh(3);  // mistake: AttributeEnd keeps them
  });
  EXPECT_EQ(rib.lines, (Lines{first, "AttributeBegin", "  Basis \"catmull-rom\" 1 \"catmull-rom\" 1",
                              "  TransformBegin", "    Basis \"catmull-rom\" 2 \"catmull-rom\" 1", "  TransformEnd",
                              "  " + second, "AttributeEnd", third}));
  EXPECT_EQ(rib.errors,
            "libQuor: AttributeEnd: no open AttributeBegin to close (the innermost block is "
            "TransformBegin)\n");
}

// A call that cannot be written writes nothing, not even part of its line,
// and one error line; a failed light takes no number. (The rules both
// targets share are the renderer library test's.)
TEST(LibQuorRib, BadCallsWriteNothingButOneErrorLineEach) {
  float p[12] = {}, st[8] = {};
  QtToken position[] = {"P"};
  QtPointer nullValue[] = {nullptr}, values[] = {p, st};
  const Rib rib = ribOf([&] {
    for (const char* token : {"vertex float[2 st", "vertex floot st", "vertex float[0] st", "vertex float[2]",
                              "vertex float st extra", "sst", "vertx float st"}) {
      QtToken tokens[] = {"P", token};
      QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 2, tokens, values);
      QrSurface("plastic", token, st, QR_NULL);
    }
    QrLightSource("spotlight", "intensity", nullptr, QR_NULL);
    QrPixelFilter([](QtFloat, QtFloat, QtFloat, QtFloat) { return 0.0f; }, 1, 1);  // no name in RIB
    QrTransform(nullptr);
    QrTranslate(std::numeric_limits<float>::infinity(), 0, 0);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, position, nullValue);
    // A long array is formatted only as its line is written: its NaN, past
    // the first block, must still be found before anything is written.
    std::vector<float> longP(3 * 100 * 20);
    longP.back() = std::numeric_limits<float>::quiet_NaN();
    QtPointer longValues[] = {longP.data()};
    QrPatchMeshV("bilinear", 100, "nonperiodic", 20, "nonperiodic", 1, position, longValues);
    EXPECT_NE(QrBegin("-"), 0);  // one scene at a time (a rendered one is the renderer library test's)
    QrTransformBegin();
    QrLightSource("spotlight", QR_NULL);
  });
  EXPECT_EQ(rib.lines, Lines({"TransformBegin", "  LightSource \"spotlight\" 1"}));
  // 2 for each token, 7 more, and one of End for the block left open.
  EXPECT_TRUE(linesStarting(rib.errors, "libQuor: ") == 22 && linesStarting(rib.errors, "") == 22) << rib.errors;
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: End: "), 1) << rib.errors;
  CaptureStderr();
  QrWorldBegin();  // no scene open
  EXPECT_TRUE(QrBegin("/nonexistent-folder/scene.rib") != 0 && linesStarting(GetCapturedStderr(), "libQuor: ") == 2);
}

// Catches values lost, doubled or run together where one block of values
// ends and the next begins, and values written past the space their block
// was given: 10001 floats and then 9000 integers in one line, the extremes
// placed around the block edges, and stretches longer than any block of the
// longest texts a float and an integer get ("-2147483648", whose expected
// text std::to_string makes).
TEST(LibQuorLongLines, NumbersAcrossManyBlocksReadBackBitForBit) {
  const std::size_t n = 10001;
  std::vector<float> values;
  std::mt19937 bits(2024);
  while (values.size() < n) {
    const std::uint32_t u = bits();
    float f;
    std::memcpy(&f, &u, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  const float longest = -1.15486415e-27f;  // a sign, nine digits, a point and "e-27"
  char text[64];
  ASSERT_EQ(std::to_chars(text, text + sizeof text, longest).ptr - text, 15);
  for (std::size_t i = 1000; i < 6000; ++i) values[i] = longest;
  const float extremes[] = {-FLT_MAX, std::numeric_limits<float>::denorm_min(), -FLT_MIN, -0.0f, FLT_MAX, 0.1f};
  const std::size_t places[] = {0, 8191, 8192, 8193, 9000, n - 1};
  for (std::size_t i = 0; i < 6; ++i) values[places[i]] = extremes[i];
  std::vector<int> integers(9000);
  std::string integerText = "[";
  for (int i = 0; i < 9000; ++i) {
    integers[i] = i < 5000 ? INT_MIN : (i % 3 == 0 ? INT_MAX : i * 7 - 3000);
    integerText += (i ? " " : "") + std::to_string(integers[i]);
  }

  const Rib rib = ribOf([&] {
    QrSurface("s", "uniform float[10001] v", values.data(), "uniform int[9000] n", integers.data(), QR_NULL);
  });
  ASSERT_EQ(rib.lines.size(), 1u) << rib.errors;
  const std::string& line = rib.lines[0];
  EXPECT_EQ(line.find("  "), std::string::npos);
  EXPECT_EQ(line.find("[ "), std::string::npos);
  EXPECT_EQ(line.find(" ]"), std::string::npos);
  const std::size_t first = line.find(" [") + 1, second = line.rfind('[');
  EXPECT_EQ(line.substr(second), integerText + "]");
  std::istringstream words(line.substr(first + 1, line.find(']', first) - first - 1));
  std::size_t i = 0;
  for (std::string word; words >> word; ++i) {
    char* end = nullptr;
    const float back = std::strtof(word.c_str(), &end);
    ASSERT_TRUE(i < n && *end == '\0' && std::memcmp(&back, &values[i], sizeof back) == 0) << i << ": " << word;
  }
  EXPECT_EQ(i, n);
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
  for (int i = 0; i <= depth; ++i)
    EXPECT_EQ(rib.lines[i], std::string(2 * i, ' ') + (i < depth ? "AttributeBegin" : "Color [0.25 0.5 1]")) << i;
  EXPECT_EQ(rib.lines[depth + 1], std::string(2 * depth - 2, ' ') + "AttributeEnd");
}

}  // namespace
