#include "ViewerTestSupport.h"

#include <png.h>
#include <unistd.h>

#include <cstring>
#include <ostream>

namespace viewertest {

namespace {
// cot(15 degrees) = 2 + sqrt(3); the picture's aspect is 4 / 3.
const double kCot = 2 + std::sqrt(3.0);
const double kAspect = 640.0 / 480.0;
const double kEyeZ = 2.5;
}  // namespace

std::ostream& operator<<(std::ostream& o, const Rgb& c) {
  return o << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

PixelPos byHand(double x, double y, double z) {
  const double depth = kEyeZ - z;
  return PixelPos{320 + x / depth * kCot / kAspect * 320, 240 - y / depth * kCot * 240};
}

void unprojectByHand(int px, int py, double planeZ, double* x, double* y) {
  const double depth = kEyeZ - planeZ;
  *x = ((px + 0.5) / 320 - 1) * depth * kAspect / kCot;
  *y = (1 - (py + 0.5) / 240) * depth / kCot;
}

double gridX(int column, int columns) { return -0.5 + static_cast<double>(column) / (columns - 1); }
double gridY(int row, int rows) { return -0.5 + static_cast<double>(row) / (rows - 1); }

Rgb Picture::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return Rgb{-1, -1, -1};
  const unsigned char* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
  return Rgb{p[0], p[1], p[2]};
}

int Picture::countAround(int x, int y, int radius, const Rgb& c) const {
  int n = 0;
  for (int j = y - radius; j <= y + radius; ++j)
    for (int i = x - radius; i <= x + radius; ++i) n += at(i, j) == c;
  return n;
}

int Picture::count(const Rgb& c) const { return countAround(width / 2, height / 2, std::max(width, height), c); }

std::vector<PixelPos> Picture::blobs(const Rgb& c) const {
  std::vector<PixelPos> found;
  std::vector<char> seen(static_cast<size_t>(width) * height, 0);
  for (int y0 = 0; y0 < height; ++y0)
    for (int x0 = 0; x0 < width; ++x0) {
      if (seen[static_cast<size_t>(y0) * width + x0] || !(at(x0, y0) == c)) continue;
      std::vector<std::pair<int, int>> stack{{x0, y0}};
      seen[static_cast<size_t>(y0) * width + x0] = 1;
      double sx = 0, sy = 0;
      int n = 0;
      while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        sx += x + 0.5;
        sy += y + 0.5;
        ++n;
        const int next[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
        for (const auto& q : next) {
          if (q[0] < 0 || q[1] < 0 || q[0] >= width || q[1] >= height) continue;
          char& s = seen[static_cast<size_t>(q[1]) * width + q[0]];
          if (!s && at(q[0], q[1]) == c) {
            s = 1;
            stack.push_back({q[0], q[1]});
          }
        }
      }
      found.push_back(PixelPos{sx / n, sy / n});
    }
  return found;
}

void ViewerTest::SetUp() {
  std::string error;
  node = graph.create("QuorCard", "", &error);
  ASSERT_NE(node, nullptr) << error;
  graph.finish(node);
  card = dynamic_cast<quorcard::QuorCard*>(node->op());
  ASSERT_NE(card, nullptr);
  // The handle size starts from a renderer option stored outside the test;
  // the knob is set without the reaction that would write the option back.
  setHandleSize(5);
  viewer.reset(new DD::Image::Viewer(graph));
}

void ViewerTest::setHandleSize(int size) {
  ASSERT_TRUE(node->knob("handle_size")->set_value(size));
  node->storeKnobs();
  ASSERT_EQ(card->handleSize, size);
}

Node* ViewerTest::add(const std::string& cls, const std::string& name) {
  std::string error;
  Node* n = graph.create(cls, name, &error);
  EXPECT_NE(n, nullptr) << error;
  if (n) graph.finish(n);
  return n;
}

void ViewerTest::set(const std::string& name, const std::string& value) {
  DD::Image::Knob* k = node->knob(name);
  ASSERT_NE(k, nullptr) << name;
  ASSERT_TRUE(node->userSetText(k, value.c_str())) << name << " = " << value;
}

Picture ViewerTest::draw(bool stencil) {
  Picture p;
  viewer->setStencil(stencil);
  std::string error;
  EXPECT_TRUE(viewer->draw(&p.rgba, &error)) << error;
  p.width = viewer->width();
  p.height = viewer->height();
  EXPECT_EQ(p.rgba.size(), static_cast<size_t>(p.width) * p.height * 4);
  return p;
}

void ViewerTest::press(const PixelPos& p) {
  std::string error;
  ASSERT_TRUE(viewer->press(static_cast<float>(p.ix()), static_cast<float>(p.iy()), &error)) << error;
  viewer->release(static_cast<float>(p.ix()), static_cast<float>(p.iy()));
}

std::vector<std::string> ViewerTest::visiblePointKnobs() const {
  std::vector<std::string> names;
  for (const auto& k : node->knobs())
    if (k->name().rfind("control_point.", 0) == 0 && k->isVisible()) names.push_back(k->name());
  return names;
}

std::string tempPath(const std::string& name) {
  static int counter = 0;
  return "/tmp/quorcard-viewer-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name;
}

std::string writeTestPng(const std::string& name, int width, int height, const std::vector<unsigned char>& rgba) {
  const std::string path = tempPath(name);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) << image.message;
  return path;
}

}  // namespace viewertest
