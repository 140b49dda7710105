// Our frames against an independent RenderMan-compliant renderer's frames of
// the same scenes, kept beside them in reference/ (NAME.rib, NAME.png: its
// colour flattened on black, 8 bits): the peak signal-to-noise ratio over
// the colour of the whole frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "FrameTestSupport.h"
#include "TestSupport.h"
#include "render/TextureCache.h"

namespace {

const std::string kReference = QUOR_SOURCE_DIR "/tests/renderer/reference/";

// Every occurrence of `from` in `text` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The PSNR in dB of our premultiplied picture against the reference's
// colour; -1 when the sizes differ.
double psnr(const frametest::Picture& ours, const frametest::Picture& reference) {
  if (ours.width != reference.width || ours.height != reference.height || reference.channels < 3) return -1;
  double squares = 0;
  for (int y = 0; y < ours.height; ++y)
    for (int x = 0; x < ours.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = std::clamp(double(ours.at(x, y, c)), 0.0, 1.0) - reference.at(x, y, c);
        squares += d * d;
      }
  const double mean = squares / (3.0 * ours.width * ours.height);
  return mean > 0 ? 10 * std::log10(1 / mean) : 99;
}

TEST(Reference, FramesMatchAnIndependentRenderer) {
  struct Case {
    const char* scene;
    const char* probes;
  };
  const Case cases[] = {
      {"card", "the demo card: a bicubic Catmull-Rom mesh with st, paintedplastic, its texture, a distant light"},
      {"ambient", "ambientlight with lightcolor, Color, matte's Ka"},
      {"distant", "distantlight from and to, matte's Kd on a curved surface"},
      {"point", "pointlight's fall-off with distance, lightcolor"},
      {"spot", "spotlight's cone, its edge and its beam distribution"},
      {"constant", "constant with Color and Opacity"},
      {"plastic", "plastic's highlight (roughness, Ks) under a point and an ambient light"},
      {"paintedplastic", "paintedplastic: the texture's filtered lookup over the default st"},
  };
  testsupport::TempDir dir;
  std::string texture = dir.file("checker.tex"), error;
  ASSERT_TRUE(quor::render::makeTexture(QUOR_SOURCE_DIR "/examples/checker.png", texture, error)) << error;
  for (const Case& c : cases) {
    const std::string rib =
        replaced(testsupport::readFile(kReference + c.scene + ".rib"), "\"checker.tex\"", "\"" + texture + "\"");
    SCOPED_TRACE(c.scene);
    const frametest::Picture ours = frametest::render(rib);
    ASSERT_GT(ours.width, 0);
    const double db = psnr(ours, frametest::readPicture(kReference + c.scene + ".png"));
    EXPECT_GE(db, 40) << c.scene << ": " << c.probes;
  }
}

}  // namespace
