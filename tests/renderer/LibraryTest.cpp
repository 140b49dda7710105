// libQuor renders the scene when QrBegin is given no file name; its error
// handler receives every warning and error.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "FrameTestSupport.h"
#include "Quor/Quor.h"
#include "TestSupport.h"

namespace {

struct Report {
  int code, severity;
  std::string message;
};
std::vector<Report> gReports;
void capture(QtInt code, QtInt severity, const char* message) { gReports.push_back({code, severity, message}); }

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    gReports.clear();
    QrErrorHandler(capture);
  }
  void TearDown() override { QrErrorHandler(nullptr); }

  // A camera whose screen is the 8 x 8 raster, and a constant surface.
  void camera(const std::string& picture) {
    QrDisplay(picture.c_str(), "file", "rgba", QR_NULL);
    QrFormat(8, 8, 1.0f);
    QrProjection("orthographic", QR_NULL);
    QrScreenWindow(0, 8, 0, 8);
    QrPixelSamples(4, 4);
    QrPixelFilter(QrBoxFilter, 1, 1);
    QrQuantize("rgba", 255, 0, 255, 0);
  }
  // A bilinear card from x0 to x1, all rows.
  static void card(float x0, float x1) {
    float p[12] = {x0, 0, 1, x1, 0, 1, x0, 8, 1, x1, 8, 1};
    QtToken tokens[] = {"P"};
    QtPointer values[] = {p};
    QrPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, tokens, values);
  }
  std::string messages() const {
    std::string all;
    for (const Report& r : gReports) all += std::to_string(r.severity) + " " + r.message + "\n";
    return all;
  }

  testsupport::TempDir dir;
};

// Warnings reach the handler and leave the picture: a texture that cannot
// be read is named (code QIE_NOFILE).
TEST_F(Library, ASceneOpenedWithoutANameIsRenderedWhenItsWorldEnds) {
  const std::string picture = dir.file("calls.png"), texture = dir.file("nowhere.tex");
  ASSERT_EQ(QrBegin(nullptr), 0);
  EXPECT_NE(QrBegin(""), 0);  // one scene at a time
  gReports.clear();
  camera(picture);
  QrWorldBegin();
  QrSurface("constant", QR_NULL);
  const float orange[3] = {1, 0.5f, 0};
  QrColor(orange);
  card(0, 4);
  const char* name = texture.c_str();
  QrSurface("paintedplastic", "texturename", static_cast<QtPointer>(&name), QR_NULL);
  card(6, 8);  // unlit: black
  EXPECT_FALSE(std::filesystem::exists(picture));
  QrWorldEnd();
  EXPECT_TRUE(std::filesystem::exists(picture));
  QrEnd();
  ASSERT_EQ(gReports.size(), 1u) << messages();
  EXPECT_EQ(gReports[0].severity, QIE_WARNING);
  EXPECT_EQ(gReports[0].code, QIE_NOFILE);
  EXPECT_NE(gReports[0].message.find(texture), std::string::npos) << gReports[0].message;
  const frametest::Picture p = frametest::readPicture(picture);
  ASSERT_EQ(p.width, 8);
  // Orange's red, green and alpha; the gap's alpha; the black card's.
  std::vector<long> bytes;
  for (const auto& [x, c] : {std::make_pair(1, 0), {1, 1}, {1, 3}, {5, 3}, {7, 3}})
    bytes.push_back(std::lround(p.at(x, 4, c) * 255));
  EXPECT_EQ(bytes, (std::vector<long>{255, 128, 255, 0, 255}));
}

// A call that breaks a rule is refused with the same code and message, an
// error, whether its scene is written or rendered: a target that checks less
// than the other (the writer took these once), or names the rule in its own
// words, fails here.
TEST_F(Library, ABadCallIsRefusedAlikeWrittenOrRendered) {
  static const float bright[3] = {2, 0, 0};
  void (*const calls[])() = {
      [] { QrAttributeBegin(); },  // left open when the scene ends
      [] { QrClipping(0, 1); },
      [] { QrOpacity(bright); },
      [] { QrSides(3); },
      [] { QrFormat(0, 8, 1); },
      [] { QrBasis(QrCatmullRomBasis, 0, QrCatmullRomBasis, 1); },
  };
  const std::string rib = dir.file("bad.rib");
  for (const auto call : calls) {
    std::vector<Report> reports[2];
    for (const char* name : {rib.c_str(), static_cast<const char*>(nullptr)}) {
      gReports.clear();
      ASSERT_EQ(QrBegin(name), 0);
      call();
      QrEnd();
      reports[name == nullptr] = gReports;
    }
    ASSERT_TRUE(reports[0].size() == 1 && reports[1].size() == 1) << messages();
    EXPECT_EQ(reports[0][0].code, reports[1][0].code) << reports[0][0].message;
    EXPECT_EQ(reports[0][0].message, reports[1][0].message);
    EXPECT_EQ(reports[1][0].severity, QIE_ERROR) << reports[1][0].message;
    if (call == calls[0]) {
      EXPECT_EQ(reports[1][0].message, "End: the scene ends with blocks left open: AttributeBegin");
      EXPECT_EQ(reports[1][0].code, QIE_NESTING);
    }
  }
  EXPECT_EQ(testsupport::readFile(rib), "##RenderMan RIB\n");
}

// A job hands over its surfaces before it renders; a card with no width is
// skipped with a warning. A preview job hands the same surfaces without
// checking them, and refuses to render: no warning, no picture.
TEST_F(Library, APreviewJobHandsTheSurfacesAndRendersNothing) {
  const auto take = [](QtInt columns, QtInt rows, const QtFloat* positions, const QtFloat*, const QtFloat*,
                       QtPointer data) {
    static_cast<std::vector<float>*>(data)->assign(positions, positions + 3 * columns * rows);
  };
  for (int (*begin)() : {QxBeginJob, QxBeginPreviewJob}) {
    gReports.clear();
    const std::string picture = dir.file("job.png");
    ASSERT_EQ(begin(), 0);
    camera(picture);
    QrWorldBegin();
    card(2, 6);
    card(3, 3);
    QrWorldEnd();
    QtJob job = QxEndJob();
    std::vector<float> last;
    EXPECT_EQ(QxJobSurfaces(job, 1, take, &last), 2);
    EXPECT_EQ(last, (std::vector<float>{3, 0, 1, 3, 0, 1, 3, 8, 1, 3, 8, 1}));
    const bool preview = begin == QxBeginPreviewJob;
    EXPECT_EQ(QxRenderJob(job, nullptr, nullptr), preview ? 1 : 0);
    QxFreeJob(job);
    EXPECT_EQ(std::filesystem::exists(picture), !preview);
    ASSERT_EQ(gReports.size(), preview ? 0u : 1u) << messages();
    EXPECT_TRUE(preview || gReports[0].message.find("skipped 1 of 1") != std::string::npos) << messages();
    std::filesystem::remove(picture);
  }
}

}  // namespace
