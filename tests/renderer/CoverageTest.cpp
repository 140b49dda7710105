// Where the renderer puts a flat card: every pixel is covered by the share
// of its area that lies inside the card's projection, whatever the camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "FrameTestSupport.h"

namespace {

using frametest::Picture;

const double kPi = 3.14159265358979323846;

double overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// Every pixel's alpha is the area of the pixel inside the raster rectangle
// [x0, x1] x [y0, y1] (y down), within `tolerance`; and there are edge
// pixels that the card covers only in part.
void expectCoverage(const Picture& p, double x0, double x1, double y0, double y1, double tolerance) {
  ASSERT_GT(p.width, 0);
  int partial = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double expected = overlap(x, x + 1, x0, x1) * overlap(y, y + 1, y0, y1);
      EXPECT_NEAR(p.at(x, y, 3), expected, tolerance) << "pixel " << x << ", " << y;
      if (expected > 0.1 && expected < 0.9) ++partial;
    }
  EXPECT_GT(partial, 8);
}

// A constant white card in camera space with corners (x0, y0) and (x1, y1)
// at depth z.
std::string card(double x0, double y0, double x1, double y1, double z) {
  return "WorldBegin\nSurface \"constant\"\n" +
         frametest::bilinearPatch({float(x0), float(y0), float(z), float(x1), float(y0), float(z), float(x0), float(y1),
                                   float(z), float(x1), float(y1), float(z)}) +
         "WorldEnd\n";
}

// An orthographic camera whose screen window is the raster: the card's
// corners land where its coordinates say, y turned downward.
TEST(Coverage, AFlatCardFacingTheCameraCoversExactlyItsRectangle) {
  const int w = 40, h = 30;
  const Picture p = frametest::render(frametest::rasterCamera(w, h, 16) + card(10.25, h - 20.75, 30.6, h - 5.4, 1));
  expectCoverage(p, 10.25, 30.6, 5.4, 20.75, 0.08);
}

// The field of view spans the shorter side of the picture: its height for a
// landscape picture, its width for a portrait one. The expected rectangle
// is the card's corners projected by hand: x / (z tan(fov / 2)) on the
// screen, whose shorter side runs from -1 to 1.
TEST(Coverage, ThePerspectiveFieldOfViewSpansTheShorterSide) {
  const double fov = 40, t = std::tan(fov / 2 * kPi / 180), z = 3;
  const double cx0 = -1, cx1 = 1.2, cy0 = -0.5, cy1 = 0.8;
  for (const auto& size : {std::make_pair(64, 48), std::make_pair(48, 64)}) {
    const int w = size.first, h = size.second;
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    // Screen half-extents: the shorter side 1, the longer its ratio.
    const double halfX = w >= h ? double(w) / h : 1.0;
    const double halfY = w >= h ? 1.0 : double(h) / w;
    const auto rasterX = [&](double x) { return (x / (z * t) + halfX) / (2 * halfX) * w; };
    const auto rasterY = [&](double y) { return (halfY - y / (z * t)) / (2 * halfY) * h; };
    std::ostringstream camera;
    camera << "Format " << w << " " << h << " 1\nProjection \"perspective\" \"fov\" [" << fov
           << "]\nPixelSamples 16 16\nPixelFilter \"box\" 1 1\n";
    const Picture p = frametest::render(camera.str() + card(cx0, cy0, cx1, cy1, z));
    expectCoverage(p, rasterX(cx0), rasterX(cx1), rasterY(cy1), rasterY(cy0), 0.08);
  }
}

// Only what lies between the clipping planes is seen.
TEST(Coverage, TheClippingPlanesBoundTheDepthThatIsSeen) {
  // The planes, and the alpha of a card at depth 3.
  for (const auto& [planes, alpha] : {std::make_pair("0.5 2.9", 0.0f), {"3.1 10", 0.0f}, {"2.9 3.1", 1.0f}}) {
    const Picture p = frametest::render("Format 16 16 1\nProjection \"perspective\" \"fov\" [30]\nClipping " +
                                        std::string(planes) + "\n" + card(-1, -1, 1, 1, 3));
    ASSERT_GT(p.width, 0);
    EXPECT_FLOAT_EQ(p.at(8, 8, 3), alpha) << planes;
  }
}

}  // namespace
