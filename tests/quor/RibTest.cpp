// The RIB text that the scene calls write.
#include <gtest/gtest.h>
#include <Quor/Quor.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct Rib {
  Lines lines;         // the scene after its header line
  std::string errors;  // standard error meanwhile
};

// Makes the calls inside a scene written to a temporary file and reads it back.
Rib ribOf(const std::function<void()>& calls) {
  std::string path = testing::TempDir() + "quor-rib-XXXXXX";
  ::close(::mkstemp(path.data()));
  CaptureStderr();
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  calls();
  QrEnd();
  Rib rib{{}, GetCapturedStderr()};
  std::ifstream in(path);
  std::string line;
  EXPECT_TRUE(std::getline(in, line) && line == "##RenderMan RIB");
  while (std::getline(in, line)) rib.lines.push_back(line);
  ::unlink(path.c_str());
  return rib;
}

int linesStarting(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) n += line.rfind(prefix, 0) == 0;
  return n;
}

// The parameter list of a request line after its first `skip` words: each
// quoted token and the words of the bracketed array after it. Enough RIB for
// what is tested here: the values hold no blanks or brackets.
std::map<std::string, Lines> paramsOf(const std::string& line, int skip) {
  std::map<std::string, Lines> params;
  std::istringstream in(line);
  std::string word, token;
  for (int i = 0; i < skip && in >> word; ++i) {
  }
  while (in >> word) {
    if (word.front() == '"' && token.empty()) {
      token = word;
      while ((token.size() < 2 || token.back() != '"') && in >> word) token += " " + word;
      token = token.substr(1, token.size() - 2);
      params[token];
      continue;
    }
    const bool last = word.back() == ']';
    if (word.front() == '[') word.erase(0, 1);
    if (last) word.pop_back();
    if (!word.empty()) params[token].push_back(word);
    if (last) token.clear();
  }
  return params;
}

TEST(LibQuorRib, EveryRequestIsOneLine) {
  float fov = 30, kd = 0.5f, intensity = 0.75f;
  float lightColor[] = {1, 0.5f, 0.25f}, from[] = {0, 0, -1}, repeat[] = {2, 3}, rgb[] = {0.25f, 0.5f, 1};
  int origin[] = {10, 20}, one = 1;
  const char* path[] = {"@:."};
  const char* texture[] = {"a \"b\".tx"};
  QtMatrix m;
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = float(i);
  const Rib rib = ribOf([&] {
    QrFrameBegin(1);
    QrFormat(640, 480, 1);
    QrDisplay("out.tif", "file", "rgba", "origin", origin, QR_NULL);
    QrProjection("perspective", "fov", &fov, QR_NULL);
    QrClipping(0.5f, 1000);
    QrOption("searchpath", "archive", path, QR_NULL);
    QrWorldBegin();
    QrLightSource("distantlight", "intensity", &intensity, "lightcolor", lightColor, "from", from, QR_NULL);
    QrLightSource("ambientlight", QR_NULL);
    QrAttributeBegin();
    QrComment("card\nhere");
    QrSurface("paintedplastic", "Kd", &kd, "texturename", texture, "uniform float[2] repeat", repeat, QR_NULL);
    QrAttribute("sides", "integer doubleshaded", &one, QR_NULL);
    QrAttribute("sides", "doubleshaded", &one, QR_NULL);
    QrTransformBegin();
    QrIdentity();
    QrTranslate(1, -2, 0.25f);
    QrRotate(90, 0, 0, 1);
    QrScale(2, 2, -1);
    QrConcatTransform(m);
    QrTransformEnd();
    QrTransform(m);
    QrReverseOrientation();
    QrSides(2);
    QrColor(rgb);
    QrReadArchive("1234", nullptr, QR_NULL);
    QrAttributeEnd();
    QrArchiveBegin("tex", QR_NULL);
    QrArchiveEnd();
    QrWorldEnd();
    QrFrameEnd();
  });
  const std::string matrix = "[0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15]";
  const Lines expected = {
      "FrameBegin 1",
      "  Format 640 480 1",
      "  Display \"out.tif\" \"file\" \"rgba\" \"origin\" [10 20]",
      "  Projection \"perspective\" \"fov\" [30]",
      "  Clipping 0.5 1000",
      "  Option \"searchpath\" \"archive\" [\"@:.\"]",
      "  WorldBegin",
      "    LightSource \"distantlight\" 1 \"intensity\" [0.75] \"lightcolor\" [1 0.5 0.25] \"from\" [0 0 -1]",
      "    LightSource \"ambientlight\" 2",
      "    AttributeBegin",
      "      # card here",
      "      Surface \"paintedplastic\" \"Kd\" [0.5] \"texturename\" [\"a \\\"b\\\".tx\"] "
      "\"uniform float[2] repeat\" [2 3]",
      "      Attribute \"sides\" \"integer doubleshaded\" [1]",
      "      Attribute \"sides\" \"doubleshaded\" [1]",
      "      TransformBegin",
      "        Identity",
      "        Translate 1 -2 0.25",
      "        Rotate 90 0 0 1",
      "        Scale 2 2 -1",
      "        ConcatTransform " + matrix,
      "      TransformEnd",
      "      Transform " + matrix,
      "      ReverseOrientation",
      "      Sides 2",
      "      Color [0.25 0.5 1]",
      "      ReadArchive \"1234\"",
      "    AttributeEnd",
      "    ArchiveBegin \"tex\"",
      "    ArchiveEnd",
      "  WorldEnd",
      "FrameEnd",
  };
  EXPECT_EQ(rib.lines, expected);
  EXPECT_EQ(rib.errors, "");
}

TEST(LibQuorRib, BasisByNameOnlyForTheLibraryMatrix) {
  QtBasis bezier = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
  QtBasis copy;
  std::memcpy(copy, QrCatmullRomBasis, sizeof copy);
  const std::string cr = "[-0.5 1.5 -1.5 0.5 1 -2.5 2 -0.5 -0.5 0 0.5 0 0 1 0 0]";
  const Rib rib = ribOf([&] {
    QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
    QrBasis(bezier, 3, QrCatmullRomBasis, 1);
    QrBasis(copy, 2, copy, 2);
  });
  EXPECT_EQ(rib.lines, Lines({"Basis \"catmull-rom\" 1 \"catmull-rom\" 1",
                              "Basis [-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0] 3 \"catmull-rom\" 1",
                              "Basis " + cr + " 2 " + cr + " 2"}));
}

// A patch mesh whose parameters hold 0, 1, 2, ... in arrays of exactly the
// expected size: a count too small shows in the text, one too large reads
// past the end, which the sanitizer build catches.
void expectMesh(const char* type, int nu, const char* uwrap, int nv, int step,
                const std::vector<std::pair<const char*, std::size_t>>& expected) {
  SCOPED_TRACE(std::string(type) + " " + std::to_string(nu) + "x" + std::to_string(nv));
  std::vector<std::vector<float>> arrays;
  std::vector<QtToken> tokens;
  std::vector<QtPointer> values;
  for (const auto& [token, count] : expected) {
    tokens.push_back(token);
    arrays.emplace_back(count);
    for (std::size_t i = 0; i < count; ++i) arrays.back()[i] = float(i);
  }
  for (auto& a : arrays) values.push_back(a.data());
  const Rib rib = ribOf([&] {
    QrBasis(QrCatmullRomBasis, step, QrCatmullRomBasis, step);
    QrPatchMeshV(type, nu, uwrap, nv, "nonperiodic", int(tokens.size()), tokens.data(), values.data());
  });
  ASSERT_EQ(rib.lines.size(), 2u) << rib.errors;
  const std::string head = "PatchMesh \"" + std::string(type) + "\" " + std::to_string(nu) + " \"" + uwrap + "\" " +
                           std::to_string(nv) + " \"nonperiodic\" ";
  EXPECT_EQ(rib.lines[1].compare(0, head.size(), head), 0) << rib.lines[1];
  const auto params = paramsOf(rib.lines[1], 6);
  EXPECT_EQ(params.size(), expected.size());
  for (const auto& [token, count] : expected) {
    Lines numbers;
    for (std::size_t i = 0; i < count; ++i) numbers.push_back(std::to_string(i));
    EXPECT_EQ(params.at(token), numbers) << token;
  }
}

TEST(LibQuorRib, PatchMeshValueCounts) {
  // Bilinear 4x4: 9 patches, 16 corners.
  expectMesh("bilinear", 4, "nonperiodic", 4, 3,
             {{"P", 48}, {"vertex float[2] st", 32}, {"varying float s", 16}, {"uniform float u", 9},
              {"constant color c", 3}});
  // Bicubic 12x12, step 1: 9x9 patches, 10x10 corners.
  expectMesh("bicubic", 12, "nonperiodic", 12, 1,
             {{"P", 432}, {"vertex float[2] st", 288}, {"varying float s", 100}, {"st", 200},
              {"uniform normal n", 243}, {"facevarying float f", 324}});
  // Bicubic 7x4, step 3: 2x1 patches, 3x2 corners.
  expectMesh("bicubic", 7, "nonperiodic", 4, 3,
             {{"Pw", 112}, {"varying float s", 6}, {"uniform float u", 2}, {"facevertex float f", 32}});
  // Periodic in u: 6 vertices, step 3: 2 patches and 2 corners around.
  expectMesh("bicubic", 6, "periodic", 4, 3, {{"P", 72}, {"varying float s", 4}, {"uniform float u", 2}});
  expectMesh("bilinear", 3, "periodic", 2, 3, {{"P", 18}, {"Cs", 18}, {"uniform float u", 3}});
}

TEST(LibQuorRib, AttributeBlocksScopeTheBasisSteps) {
  std::vector<float> p(7 * 4 * 3), s10(10), s6(6);
  QtToken tokens[] = {"P", "varying float s"};
  QtPointer step1[] = {p.data(), s10.data()}, step3[] = {p.data(), s6.data()};
  const Rib rib = ribOf([&] {
    QrAttributeBegin();
    QrTransformBegin();
    QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
    QrTransformEnd();                                                                // keeps the steps
    QrPatchMeshV("bicubic", 7, "nonperiodic", 4, "nonperiodic", 2, tokens, step1);  // 4x1 patches
    QrAttributeEnd();
    QrPatchMeshV("bicubic", 7, "nonperiodic", 4, "nonperiodic", 2, tokens, step3);  // 2x1 patches
    QrPatchMeshV("bicubic", 6, "nonperiodic", 4, "nonperiodic", 2, tokens, step3);  // 6 - 4: no multiple of 3
  });
  ASSERT_EQ(rib.lines.size(), 7u);
  EXPECT_EQ(paramsOf(rib.lines[4], 6).at("varying float s").size(), 10u);
  EXPECT_EQ(rib.lines[5], "AttributeEnd");
  EXPECT_EQ(paramsOf(rib.lines[6], 6).at("varying float s").size(), 6u);
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: PatchMesh: "), 1) << rib.errors;
}

TEST(LibQuorRib, FloatsReadBackToTheSameValue) {
  std::vector<float> values = {0.1f,    1 / 3.f, 1e-30f,   -0.0f,       0.0f,        FLT_MAX,
                               -FLT_MAX, FLT_MIN, 1.5e-39f, 16777216.f, 123456.789f, std::nextafter(1.f, 2.f),
                               std::numeric_limits<float>::denorm_min()};
  std::mt19937 bits(12345);
  while (values.size() < 4096) {
    const std::uint32_t u = bits();
    float f;
    std::memcpy(&f, &u, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  const std::string token = "uniform float[" + std::to_string(values.size()) + "] v";
  const Rib rib = ribOf([&] { QrSurface("s", token.c_str(), values.data(), QR_NULL); });
  ASSERT_EQ(rib.lines.size(), 1u) << rib.errors;
  const Lines written = paramsOf(rib.lines[0], 2).at(token);
  ASSERT_EQ(written.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    char* end = nullptr;
    const float back = std::strtof(written[i].c_str(), &end);
    EXPECT_TRUE(*end == '\0' && std::memcmp(&back, &values[i], sizeof back) == 0) << written[i];
  }
}

TEST(LibQuorRib, BadCallsAreReportedAndWriteNothing) {
  const float inf = std::numeric_limits<float>::infinity();
  float p[12] = {}, st[8] = {};
  const char* strings[] = {nullptr};
  QtMatrix nan = {{std::nanf("")}};
  QtToken position[] = {"P"};
  QtPointer nullValue[] = {nullptr}, values[] = {p, st};
  int expectedErrors = 0;
  const Rib rib = ribOf([&] {
    for (const char* token : {"vertex float[2 st", "vertex floot st", "vertex float[0] st", "vertex float[2]",
                              "vertex float st extra", "sst", "vertx float st"}) {
      QtToken tokens[] = {"P", token};
      QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 2, tokens, values);
      QrSurface("plastic", token, st, QR_NULL);
      expectedErrors += 2;
    }
    QrTransform(nullptr);
    QrTransform(nan);
    QrColor(nullptr);
    QrTranslate(inf, 0, 0);
    QrDisplay(nullptr, "file", "rgba", QR_NULL);
    QrSurface("s", "texturename", strings, QR_NULL);
    QrSurface("s", "Kd", nullptr, QR_NULL);
    QrBasis(nullptr, 1, QrCatmullRomBasis, 1);
    QrBasis(QrCatmullRomBasis, 0, QrCatmullRomBasis, 1);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, nullptr, values);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, position, nullValue);
    QrPatchMeshV("bicubic", 2, "nonperiodic", 2, "nonperiodic", 1, position, values);
    QrPatchMeshV("bilinear", 2, "sometimes", 2, "nonperiodic", 1, position, values);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 0, nullptr, nullptr);  // no positions
    QrAttributeEnd();
    QrTransformBegin();
    QrAttributeEnd();  // the open block is a TransformBegin
    QrSides(3);
    expectedErrors += 17 + 1;  // and End, for the block left open
  });
  EXPECT_EQ(rib.lines, Lines({"TransformBegin"}));
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: "), expectedErrors) << rib.errors;
  EXPECT_EQ(linesStarting(rib.errors, ""), expectedErrors) << rib.errors;
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: End: "), 1) << rib.errors;
}

TEST(LibQuorRib, ScenesAndCallsOutsideThem) {
  float f[16] = {};
  QtToken tokens[] = {"P"};
  QtPointer values[] = {f};
  CaptureStdout();
  CaptureStderr();
  QrEnd();
  QrWorldBegin();
  QrTransform(reinterpret_cast<float(*)[4]>(f));
  QrAttribute("sides", "doubleshaded", f, QR_NULL);
  QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
  QrReadArchive("1", nullptr, QR_NULL);
  QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, tokens, values);
  QrAttributeEnd();
  std::string errors = GetCapturedStderr();
  EXPECT_EQ(GetCapturedStdout(), "");  // nothing, not even to standard output
  EXPECT_EQ(linesStarting(errors, "libQuor: "), 8) << errors;
  EXPECT_EQ(linesStarting(errors, ""), 8) << errors;

  CaptureStdout();
  CaptureStderr();
  ASSERT_EQ(QrBegin("-"), 0);
  EXPECT_NE(QrBegin("-"), 0);  // one scene at a time
  EXPECT_NE(QrBegin(nullptr), 0);
  QrWorldBegin();
  QrWorldEnd();
  QrEnd();
  EXPECT_NE(QrBegin("/nonexistent-folder/scene.rib"), 0);
  errors = GetCapturedStderr();
  EXPECT_EQ(linesStarting(errors, "libQuor: Begin: "), 3) << errors;
  EXPECT_EQ(GetCapturedStdout(), "##RenderMan RIB\nWorldBegin\nWorldEnd\n");
}

}  // namespace
