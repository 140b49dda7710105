#include "ViewerTestSupport.h"

#include <ostream>

namespace viewertest {

namespace {
// The viewer's default camera.
const DD::Image::Camera kCamera;
const double kCot = 1 / std::tan(kCamera.fovY / 2 * M_PI / 180);
const double kHalfWidth = kCamera.width / 2.0, kHalfHeight = kCamera.height / 2.0;
const double kAspect = kHalfWidth / kHalfHeight;
const double kEyeZ = kCamera.distance;
}  // namespace

std::ostream& operator<<(std::ostream& o, const Rgb& c) {
  return o << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

PixelPos byHand(double x, double y) {
  return PixelPos{kHalfWidth + x / kEyeZ * kCot / kAspect * kHalfWidth, kHalfHeight - y / kEyeZ * kCot * kHalfHeight};
}

void unprojectByHand(int px, int py, double* x, double* y) {
  *x = ((px + 0.5) / kHalfWidth - 1) * kEyeZ * kAspect / kCot;
  *y = (1 - (py + 0.5) / kHalfHeight) * kEyeZ / kCot;
}

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

void ViewerTest::SetUp() {
  std::string error;
  node = graph.create("QuorCard", "", &error);
  ASSERT_NE(node, nullptr) << error;
  graph.finish(node);
  card = dynamic_cast<quorcard::QuorCard*>(node->op());
  ASSERT_NE(card, nullptr);
  // The handle size starts from a renderer option stored outside the test;
  // the knob is set without the reaction that would write the option back.
  ASSERT_TRUE(node->knob("handle_size")->set_value(5));
  node->storeKnobs();
  viewer.reset(new DD::Image::Viewer(graph));
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

}  // namespace viewertest
