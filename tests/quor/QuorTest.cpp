// libQuor: set-up, renderer information, the integer options, and the RIB
// text that the scene calls write.
#include <gtest/gtest.h>
#include <Quor/Quor.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Lines = std::vector<std::string>;

// Runs `body` in a child process; true when it answered true.
template <class Body>
bool inChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body() ? 0 : 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(LibQuor, HomeIsTheParentOfTheLibraryFolderAndMustExist) {
  testsupport::TempDir tmp;
  fs::create_directories(tmp.path() / "r/bin");
  CaptureStderr();
  Quor_initPath((tmp.path() / "r/bin/../bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp.path() / "r");
  EXPECT_TRUE(Quor_initQuorRenderMan());
  Quor_initPath((tmp.path() / "missing/bin/Quor.dll").c_str());
  EXPECT_EQ(fs::path(Quor_homeDir()), tmp.path() / "missing");
  EXPECT_FALSE(Quor_initQuorRenderMan());
  EXPECT_EQ(GetCapturedStderr(), "");  // failing is silent
}

TEST(LibQuor, RendererInfo) {
  for (const char* name : {"renderer", "versionstring"}) {
    const char* text = nullptr;
    int type = -1, count = -1;
    ASSERT_EQ(QxRendererInfo(name, &text, 8, &type, &count), 0) << name;
    EXPECT_TRUE(text && *text);
    EXPECT_EQ(type, 2);  // text
    EXPECT_EQ(count, 1);
  }
  const char* untouched = "untouched";
  const char* result = untouched;
  EXPECT_NE(QxRendererInfo("nonsense", &result, 8, nullptr, nullptr), 0);
  EXPECT_NE(QxRendererInfo("renderer", &result, 4, nullptr, nullptr), 0);  // too small for a pointer
  EXPECT_EQ(result, untouched);
}

TEST(LibQuor, OptionsAreStoredAtomicallyAndSeenByOtherProcesses) {
  testsupport::TempDir tmp;
  const std::string file = tmp.file("quor/options");
  ::setenv("QUOR_OPTIONS_FILE", file.c_str(), 1);
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 5);
  EXPECT_TRUE(inChild([] { return Quor_setOptionInt("Brunvik.handle_size", 17) == 0; }));
  EXPECT_EQ(Quor_getOptionInt("Brunvik.handle_size", 5), 17);
  EXPECT_EQ(Quor_setOptionInt("Brunvik.handle_size", 9), 0);
  EXPECT_TRUE(inChild([] { return Quor_getOptionInt("Brunvik.handle_size", 5) == 9; }));

  // Lines it cannot read are ignored and kept when the file is written again.
  testsupport::writeFile(file, "# comment\nx=12abc\nbig=99999999999\nother = 7\r\n");
  EXPECT_TRUE(Quor_getOptionInt("x", 4) == 4 && Quor_getOptionInt("big", 1) == 1);
  EXPECT_EQ(Quor_getOptionInt("other", 0), 7);
  EXPECT_EQ(Quor_setOptionInt("other", -3), 0);
  EXPECT_EQ(testsupport::readFile(file), "# comment\nx=12abc\nbig=99999999999\nother=-3\n");
  // No temporary file is left beside the options; the lock file stays.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(tmp.path() / "quor")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"options", "options.lock"}));

  CaptureStderr();
  EXPECT_NE(Quor_setOptionInt("two words", 1), 0);
  EXPECT_EQ(testsupport::lines(GetCapturedStderr()).size(), 1u);
}

struct Rib {
  Lines lines;         // the scene after its header line
  std::string errors;  // standard error meanwhile
};

// Makes the calls inside a scene written to a temporary file and reads it back.
Rib ribOf(const std::function<void()>& calls) {
  testsupport::TempDir dir;
  const std::string path = dir.file("scene.rib");
  CaptureStderr();
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  calls();
  QrEnd();
  Rib rib{testsupport::lines(testsupport::readFile(path)), GetCapturedStderr()};
  EXPECT_TRUE(!rib.lines.empty() && rib.lines[0] == "##RenderMan RIB");
  if (!rib.lines.empty()) rib.lines.erase(rib.lines.begin());
  return rib;
}

int linesStarting(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : testsupport::lines(text)) n += line.rfind(prefix, 0) == 0;
  return n;
}

TEST(LibQuorRib, EveryRequestIsOneLine) {
  float fov = 30, kd = 0.5f, intensity = 0.75f;
  float lightColor[] = {1, 0.5f, 0.25f}, from[] = {0, 0, -1}, repeat[] = {2, 3}, rgb[] = {0.25f, 0.5f, 1};
  int origin[] = {10, 20}, one = 1;
  const char* path[] = {"@:."};
  const char* texture[] = {"a \"b\".tx"};
  QtMatrix m;
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = float(i);
  const std::string matrix = "[0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15]";
  QtBasis bezier = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}}, copy;
  std::memcpy(copy, QrCatmullRomBasis, sizeof copy);
  // Each call, in the order made, with the line it writes.
  const std::vector<std::pair<std::function<void()>, std::string>> calls = {
      {[] { QrFrameBegin(1); }, "FrameBegin 1"},
      {[] { QrFormat(640, 480, 1); }, "  Format 640 480 1"},
      {[&] { QrDisplay("out.tif", "file", "rgba", "origin", origin, QR_NULL); },
       "  Display \"out.tif\" \"file\" \"rgba\" \"origin\" [10 20]"},
      {[&] { QrProjection("perspective", "fov", &fov, QR_NULL); }, "  Projection \"perspective\" \"fov\" [30]"},
      {[] { QrClipping(0.5f, 1000); }, "  Clipping 0.5 1000"},
      {[&] { QrOption("searchpath", "archive", path, QR_NULL); }, "  Option \"searchpath\" \"archive\" [\"@:.\"]"},
      {[] { QrWorldBegin(); }, "  WorldBegin"},
      {[&] { QrLightSource("distantlight", "intensity", &intensity, "lightcolor", lightColor, "from", from, QR_NULL); },
       "    LightSource \"distantlight\" 1 \"intensity\" [0.75] \"lightcolor\" [1 0.5 0.25] \"from\" [0 0 -1]"},
      {[] { QrLightSource("ambientlight", QR_NULL); }, "    LightSource \"ambientlight\" 2"},
      {[] { QrAttributeBegin(); }, "    AttributeBegin"},
      {[] { QrComment("card\nhere"); }, "      # card here"},
      {[&] { QrSurface("plastic", "Kd", &kd, "texturename", texture, "uniform float[2] repeat", repeat, QR_NULL); },
       "      Surface \"plastic\" \"Kd\" [0.5] \"texturename\" [\"a \\\"b\\\".tx\"] \"uniform float[2] repeat\" [2 3]"},
      {[&] { QrAttribute("sides", "integer doubleshaded", &one, QR_NULL); },
       "      Attribute \"sides\" \"integer doubleshaded\" [1]"},
      {[] { QrTransformBegin(); }, "      TransformBegin"},
      {[] { QrIdentity(); }, "        Identity"},
      {[] { QrTranslate(1, -2, 0.25f); }, "        Translate 1 -2 0.25"},
      {[] { QrRotate(90, 0, 0, 1); }, "        Rotate 90 0 0 1"},
      {[] { QrScale(2, 2, -1); }, "        Scale 2 2 -1"},
      {[&] { QrConcatTransform(m); }, "        ConcatTransform " + matrix},
      {[] { QrTransformEnd(); }, "      TransformEnd"},
      {[&] { QrTransform(m); }, "      Transform " + matrix},
      {[] { QrReverseOrientation(); }, "      ReverseOrientation"},
      {[] { QrSides(2); }, "      Sides 2"},
      {[&] { QrColor(rgb); }, "      Color [0.25 0.5 1]"},
      {[] { QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1); }, "      Basis \"catmull-rom\" 1 \"catmull-rom\" 1"},
      {[&] { QrBasis(bezier, 3, copy, 2); },  // only the library's own matrix goes by name
       "      Basis [-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0] 3 [-0.5 1.5 -1.5 0.5 1 -2.5 2 -0.5 -0.5 0 0.5 0 0 1 0 0] 2"},
      {[] { QrReadArchive("1234", nullptr, QR_NULL); }, "      ReadArchive \"1234\""},
      {[] { QrAttributeEnd(); }, "    AttributeEnd"},
      {[] { QrArchiveBegin("tex", QR_NULL); }, "    ArchiveBegin \"tex\""},
      {[] { QrArchiveEnd(); }, "    ArchiveEnd"},
      {[] { QrWorldEnd(); }, "  WorldEnd"},
      {[] { QrFrameEnd(); }, "FrameEnd"},
  };
  Lines expected;
  for (const auto& call : calls) expected.push_back(call.second);
  const Rib rib = ribOf([&] { for (const auto& call : calls) call.first(); });
  EXPECT_EQ(rib.lines, expected);
  EXPECT_EQ(rib.errors, "");
}

// A patch mesh whose parameters hold 0, 1, 2, ... in arrays of exactly the
// given size: a count too small shows in the text, one too large reads past
// the end, which the sanitizer build catches.
void expectMesh(const char* type, int nu, const char* uwrap, int nv, int step,
                const std::vector<std::pair<const char*, int>>& params) {
  std::vector<std::vector<float>> arrays;
  std::vector<QtToken> tokens;
  std::vector<QtPointer> values;
  std::string expected = "PatchMesh \"" + std::string(type) + "\" " + std::to_string(nu) + " \"" + uwrap + "\" " +
                         std::to_string(nv) + " \"nonperiodic\"";
  for (const auto& [token, count] : params) {
    tokens.push_back(token);
    arrays.emplace_back(count);
    expected += " \"" + std::string(token) + "\" [";
    for (int i = 0; i < count; ++i) {
      arrays.back()[i] = float(i);
      expected += (i ? " " : "") + std::to_string(i);
    }
    expected += "]";
  }
  for (auto& a : arrays) values.push_back(a.data());
  const Rib rib = ribOf([&] {
    QrBasis(QrCatmullRomBasis, step, QrCatmullRomBasis, step);
    QrPatchMeshV(type, nu, uwrap, nv, "nonperiodic", int(tokens.size()), tokens.data(), values.data());
  });
  ASSERT_EQ(rib.lines.size(), 2u) << rib.errors;
  EXPECT_EQ(rib.lines[1], expected);
}

TEST(LibQuorRib, PatchMeshValueCounts) {
  // Bilinear 4x4: 9 patches, 16 corners.
  expectMesh("bilinear", 4, "nonperiodic", 4, 3,
             {{"P", 48}, {"vertex float[2] st", 32}, {"varying float s", 16}, {"uniform float u", 9},
              {"constant color c", 3}});
  // Bicubic 12x12, step 1: 9x9 patches, 10x10 corners.
  expectMesh("bicubic", 12, "nonperiodic", 12, 1,
             {{"P", 432}, {"vertex float[2] st", 288}, {"varying float s", 100}, {"st", 200},
              {"uniform normal n", 243}});
  // Periodic in u: 6 vertices, step 3: 2 patches and 2 corners around.
  expectMesh("bicubic", 6, "periodic", 4, 3, {{"P", 72}, {"varying float s", 4}, {"uniform float u", 2}});
}

TEST(LibQuorRib, FloatsReadBackToTheSameValue) {
  std::vector<float> values = {0.1f, 1 / 3.f, -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, 1.5e-39f, 16777216.f,
                               std::numeric_limits<float>::denorm_min()};
  std::mt19937 bits(12345);
  while (values.size() < 4096) {
    const std::uint32_t u = bits();
    float f;
    std::memcpy(&f, &u, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  const Rib rib = ribOf([&] { QrSurface("s", "uniform float[4096] v", values.data(), QR_NULL); });
  ASSERT_EQ(rib.lines.size(), 1u) << rib.errors;
  std::istringstream in(rib.lines[0].substr(rib.lines[0].rfind('[') + 1));
  for (const float value : values) {
    char* end = nullptr;
    std::string word;
    ASSERT_TRUE(in >> word);
    const float back = std::strtof(word.c_str(), &end);
    EXPECT_TRUE((*end == '\0' || *end == ']') && std::memcmp(&back, &value, sizeof back) == 0) << word;
  }
}

TEST(LibQuorRib, BadCallsWriteNothingButOneErrorLineEach) {
  float p[12] = {}, st[8] = {};
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
    QrColor(nullptr);
    QrTranslate(std::numeric_limits<float>::infinity(), 0, 0);
    QrSurface("s", "Kd", nullptr, QR_NULL);
    QrBasis(QrCatmullRomBasis, 0, QrCatmullRomBasis, 1);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, position, nullValue);
    QrPatchMeshV("bicubic", 2, "nonperiodic", 2, "nonperiodic", 1, position, values);
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 0, nullptr, nullptr);  // no positions
    EXPECT_NE(QrBegin("-"), 0);                                                          // one scene at a time
    QrTransformBegin();
    QrAttributeEnd();  // the open block is a TransformBegin
    expectedErrors += 10 + 1;  // and End, for the block left open
  });
  EXPECT_EQ(rib.lines, Lines({"TransformBegin"}));
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: "), expectedErrors) << rib.errors;
  EXPECT_EQ(linesStarting(rib.errors, ""), expectedErrors) << rib.errors;
  EXPECT_EQ(linesStarting(rib.errors, "libQuor: End: "), 1) << rib.errors;

  // Outside a scene calls write nothing, not even to standard output.
  testing::internal::CaptureStdout();
  CaptureStderr();
  QrWorldBegin();
  QrSides(2);
  QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, position, values);
  QrEnd();
  EXPECT_NE(QrBegin("/nonexistent-folder/scene.rib"), 0);
  const std::string errors = GetCapturedStderr();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(linesStarting(errors, "libQuor: "), 5) << errors;
  EXPECT_EQ(linesStarting(errors, ""), 5) << errors;
}

}  // namespace
