// The picture: pixel filter, exposure, quantization and dither, the file's
// format and channels, and the same picture whatever the number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include "FrameTestSupport.h"
#include "TestSupport.h"

namespace {

using frametest::Picture;
using frametest::Reports;

// A constant card of colour `rgb` from raster x `x0` to the right edge, all
// rows, on a w x h raster camera.
std::string rightHalf(double x0, int w, int h, const std::string& rgb) {
  return "WorldBegin\nSurface \"constant\"\nColor [" + rgb + "]\n" +
         frametest::bilinearPatch(
             {float(x0), -1, 1, float(w + 1), -1, 1, float(x0), float(h + 1), 1, float(w + 1), float(h + 1), 1}) +
         "WorldEnd\n";
}

// The pixel filter weighs samples around each pixel's centre and divides by
// the weights: a covered pixel is covered whole, and an edge on a pixel
// boundary spills into the pixel beside it by the share of the filter that
// reaches over: for the gaussian of width 2, exp(-2 x^2) over [0.5, 1]
// against [-1, 1], whose integrals are sqrt(pi / 8) erf(sqrt(2) x).
TEST(Picture, ThePixelFilterWeighsSamplesAroundEachPixel) {
  const double spill = (std::erf(std::sqrt(2.0)) - std::erf(std::sqrt(0.5))) / (2 * std::erf(std::sqrt(2.0)));
  // The filter and pixel 9's share, left of the edge at x = 10. A box two
  // pixels wide and one high takes for pixel 9 the samples of [8.5, 10.5),
  // a quarter of them right of the edge.
  // The same at x = 64, where the frame's tiles meet: pixel 63 takes its
  // share from the samples of the tile beside its own.
  for (const auto& [filter, beside] : {std::make_pair("\"box\" 1 1", 0.0), std::make_pair("\"gaussian\" 2 2", spill),
                                       std::make_pair("\"box\" 2 1", 0.25)})
    for (const int edge : {10, 64}) {
      const int w = edge + 10;
      const Picture p = frametest::render(frametest::rasterCamera(w, 8, 16, filter) + rightHalf(edge, w, 8, "1 1 1"));
      ASSERT_GT(p.width, 0);
      EXPECT_NEAR(p.at(edge - 1, 4, 3), beside, 0.01) << filter << " at " << edge;
      EXPECT_NEAR(p.at(edge, 4, 3), 1 - beside, 0.01) << filter << " at " << edge;
      EXPECT_NEAR(p.at(edge + 5, 4, 3), 1, 1e-5) << filter << " at " << edge;
    }
}

// The file's format follows its name (or the display type); EXR keeps
// floats, the others take quantized 8-bit values; "rgb" drops alpha. PNG
// keeps colour apart from alpha, TIFF premultiplied.
TEST(Picture, DisplayFormatsAndChannels) {
  testsupport::TempDir dir;
  struct Case {
    std::string name, type, mode;
    const char* format;
    const char* pixelType;
    int channels;
  };
  const Case cases[] = {
      {"a.png", "file", "rgba", "png", "uint8", 4},
      {"b.TIF", "file", "rgb", "tiff", "uint8", 3},
      {"c.exr", "file", "rgba", "openexr", "float", 4},
      {"d.pic", "tiff", "rgba", "tiff", "uint8", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    // Colour 0.3 0.6 0.9 over half of pixel column 5, all of the columns
    // right of it.
    const Reports r =
        frametest::renderToFile("Display \"" + path + "\" \"" + c.type + "\" \"" + c.mode + "\"\n" +
                                frametest::rasterCamera(10, 4, 16) + rightHalf(5.5, 10, 4, "0.3 0.6 0.9"));
    ASSERT_TRUE(r.errors.empty()) << r.all();
    const Picture p = frametest::readPicture(path);
    EXPECT_EQ(p.fileFormat, c.format);
    EXPECT_EQ(p.format, c.pixelType);
    ASSERT_EQ(p.channels, c.channels);
    EXPECT_NEAR(p.at(8, 2, 1), 0.6, c.pixelType == std::string("float") ? 1e-6 : 0.5 / 255 + 1e-6);
    // The half-covered column.
    const bool premultiplied = c.format != std::string("png");
    EXPECT_NEAR(p.at(5, 2, 2), premultiplied ? 0.45 : 0.9, 0.035);
    if (c.channels == 4) {
      EXPECT_NEAR(p.at(5, 2, 3), 0.5, 0.035);
    }
  }
  // A name that tells no format, under "file": an error, and no file.
  const Reports bad = frametest::renderToFile("Display \"" + dir.file("e.txt") + "\" \"file\" \"rgba\"\n" +
                                              frametest::rasterCamera(10, 4) + rightHalf(5, 10, 4, "1 1 1"));
  ASSERT_FALSE(bad.errors.empty());
  EXPECT_NE(bad.errors[0].find("e.txt"), std::string::npos) << bad.errors[0];
  EXPECT_EQ(dir.list().size(), 4u);
}

// Exposure changes colour, not alpha; quantization rounds one * value, plus
// a dither of the given amplitude, into min..max.
TEST(Picture, ExposureQuantizationAndDither) {
  testsupport::TempDir dir;
  struct Case {
    const char* options;
    const char* value;       // every channel of the card
    std::set<int> expected;  // every pixel's green value in the file
    const char* pixelType;
  };
  const Case cases[] = {
      {"Quantize \"rgba\" 255 0 255 0\n", "0.2", {51}, "uint8"},
      {"Exposure 2 1\nQuantize \"rgba\" 255 0 255 0\n", "0.2", {102}, "uint8"},   // gain 2
      {"Exposure 1 2\nQuantize \"rgba\" 255 0 255 0\n", "0.36", {153}, "uint8"},  // 0.36^(1/2) = 0.6
      {"Quantize \"rgba\" 1000 0 900 0\n", "1", {900}, "uint16"},                 // clamped to max
      {"Quantize \"rgba\" 255 0 255 0.5\n", "0.5", {127, 128}, "uint8"},          // 127.5 +- 0.5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string path = dir.file("q.tif");
    const std::string colour = std::string(c.value) + " " + c.value + " " + c.value;
    const Reports r = frametest::renderToFile("Display \"" + path + "\" \"file\" \"rgba\"\n" + c.options +
                                              frametest::rasterCamera(16, 16) + rightHalf(-2, 16, 16, colour));
    ASSERT_TRUE(r.errors.empty()) << r.all();
    const Picture p = frametest::readPicture(path);
    ASSERT_EQ(p.format, c.pixelType);
    // Read as fractions of the file's range: back to the file's own values.
    const double scale = c.pixelType == std::string("uint8") ? 255 : 65535;
    std::set<int> seen, alphas;
    for (std::size_t i = 0; i < p.values.size(); i += 4) {
      seen.insert(int(std::lround(p.values[i + 1] * scale)));
      alphas.insert(int(std::lround(p.values[i + 3] * scale)));
    }
    EXPECT_EQ(seen, c.expected);
    // Alpha 1: one, within the range; a dither below one step never lowers it.
    EXPECT_EQ(alphas, (std::set<int>{c.pixelType == std::string("uint8") ? 255 : 900}));
  }
}

// The picture does not depend on how many threads render it. The mesh has
// three rows of patches whose columns bend unlike one another, so a
// column's steps lost from one thread's rows change its facets.
TEST(Picture, TheSamePictureWhateverTheNumberOfThreads) {
  std::ostringstream scene;
  scene << "Format 96 72 1\nProjection \"perspective\" \"fov\" [40]\nTranslate 0 0 3\nWorldBegin\n"
        << "LightSource \"pointlight\" 1 \"from\" [1 1 -2] \"intensity\" [6]\nSurface \"plastic\"\n"
        << "Rotate 30 1 1 0\nBasis \"catmull-rom\" 1 \"catmull-rom\" 1\n"
        << "PatchMesh \"bicubic\" 6 \"nonperiodic\" 6 \"nonperiodic\" \"P\" [";
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 6; ++i)
      scene << (i - 2.5) / 2 << " " << (j - 2.5) / 2 << " " << 0.4 * std::sin(i * j + 0.5) << " ";
  scene << "]\nWorldEnd\n";
  const auto render = [&](int threads) {
    return frametest::render("Option \"limits\" \"threads\" [" + std::to_string(threads) + "]\n" + scene.str()).values;
  };
  const std::vector<float> one = render(1);
  ASSERT_FALSE(one.empty());
  for (int threads : {2, 5}) EXPECT_TRUE(render(threads) == one) << threads << " threads";
}

}  // namespace
