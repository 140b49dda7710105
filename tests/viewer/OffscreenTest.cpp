// The off-screen GL context: framebuffer configs, read-back orientation, PNG
// output, and how the driver fills polygons that fold over themselves.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "DDImage/OffscreenGL.h"
#include "ViewerTestSupport.h"

namespace viewertest {
namespace {

using DD::Image::OffscreenGL;

TEST(OffscreenGL, ConfigsWithAndWithoutStencilBits) {
  OffscreenGL with(32, 16, true);
  ASSERT_TRUE(with.ok()) << with.error();
  GLint bits = -1;
  glGetIntegerv(GL_STENCIL_BITS, &bits);
  EXPECT_GE(bits, 8);
  GLint depth = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_GE(depth, 16);

  OffscreenGL without(32, 16, false);
  ASSERT_TRUE(without.ok()) << without.error();
  glGetIntegerv(GL_STENCIL_BITS, &bits);
  EXPECT_EQ(bits, 0);
  // A compatibility context: immediate mode and selection are there.
  GLint mode = 0;
  GLuint names[16];
  glSelectBuffer(16, names);
  glRenderMode(GL_SELECT);
  glGetIntegerv(GL_RENDER_MODE, &mode);
  glRenderMode(GL_RENDER);
  EXPECT_EQ(mode, GL_SELECT);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  EXPECT_FALSE(OffscreenGL(0, 10, true).ok());
}

// The top-left quarter is painted red: the first row read back (the top
// one) starts red, the last one is the clear colour.
TEST(OffscreenGL, ReadsBackTopRowFirstAndWritesPng) {
  OffscreenGL gl(8, 4, true);
  ASSERT_TRUE(gl.ok()) << gl.error();
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 2, 4, 2);  // GL rows count from the bottom
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  const std::vector<unsigned char> rgba = gl.readPixels();
  ASSERT_EQ(rgba.size(), 8u * 4 * 4);
  auto at = [&](int x, int y) { return Rgb{rgba[(y * 8 + x) * 4], rgba[(y * 8 + x) * 4 + 1], rgba[(y * 8 + x) * 4 + 2]}; };
  EXPECT_EQ(at(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(at(3, 1), (Rgb{255, 0, 0}));
  EXPECT_EQ(at(4, 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(at(0, 3), (Rgb{0, 0, 255}));

  const std::string path = tempPath("readback.png");
  std::string error;
  ASSERT_TRUE(DD::Image::writePng(path, 8, 4, rgba, &error)) << error;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  image.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> back(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(image.width, 8u);
  EXPECT_EQ(image.height, 4u);
  EXPECT_EQ(back, rgba);
  std::remove(path.c_str());

  EXPECT_FALSE(DD::Image::writePng("/nonexistent-folder/x.png", 8, 4, rgba, &error));
  EXPECT_NE(error.find("/nonexistent-folder/x.png"), std::string::npos);
  EXPECT_FALSE(DD::Image::writePng(path, 8, 5, rgba, &error));
}

// The card fills its 12-vertex outlines as GL_POLYGON through a stencil
// parity pass, which relies on the polygon being split into a fan around its
// first vertex. A folded outline must flip the same pixels as that fan.
TEST(OffscreenGL, PolygonCoverageMatchesAFanAroundTheFirstVertex) {
  OffscreenGL gl(64, 64, true);
  ASSERT_TRUE(gl.ok()) << gl.error();
  const float outline[12][2] = {{-0.8f, -0.8f}, {-0.2f, 0.9f}, {0.2f, -0.8f}, {0.8f, -0.8f},
                                {0.8f, -0.3f},  {-0.9f, 0.5f}, {0.8f, 0.8f},  {0.3f, 0.8f},
                                {-0.3f, 0.8f},  {-0.8f, 0.8f}, {0.6f, 0.3f},  {-0.8f, -0.3f}};
  auto coverage = [&](GLenum primitive) {
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
    glBegin(primitive);
    for (const auto& v : outline) glVertex2f(v[0], v[1]);
    glEnd();
    std::vector<unsigned char> s(64 * 64);
    glReadPixels(0, 0, 64, 64, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, s.data());
    for (unsigned char& b : s) b &= 1;
    return s;
  };
  const std::vector<unsigned char> polygon = coverage(GL_POLYGON), fan = coverage(GL_TRIANGLE_FAN);
  int set = 0;
  for (unsigned char b : fan) set += b;
  EXPECT_GT(set, 500);
  EXPECT_EQ(polygon, fan);
}

}  // namespace
}  // namespace viewertest
