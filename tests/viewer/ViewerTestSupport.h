// A host graph with one card and a viewer on it, and pixel helpers. Expected
// picture positions are worked out by hand from the viewer's default camera
// (DDImageHost/Camera.h: eye at (0, 0, 2.5) looking down -z, 30 degrees of
// vertical field of view, 640 x 480 pixels).
#ifndef QUORCARD_TESTS_VIEWER_VIEWERTESTSUPPORT_H
#define QUORCARD_TESTS_VIEWER_VIEWERTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DDImageHost/Host.h"
#include "DDImageHost/Viewer.h"
#include "node/QuorCard.h"

namespace viewertest {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& o, const Rgb& c);

// Colours the viewer draws in, lit face-on to their full value.
const Rgb kBackground{51, 51, 51};
const Rgb kNodeGrey{192, 192, 192};
const Rgb kCage{255, 144, 32};
const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kYellow{255, 255, 0};
const Rgb kHighlight{0, 255, 0};

// Where the default camera puts the point (x, y, 0), in fractional pixels
// (pixel i covers [i, i + 1)).
struct PixelPos {
  double x, y;
  int ix() const { return static_cast<int>(std::floor(x)); }
  int iy() const { return static_cast<int>(std::floor(y)); }
};
PixelPos byHand(double x, double y);
// The point on the plane z = 0 seen through the centre of pixel (px, py).
void unprojectByHand(int px, int py, double* x, double* y);
// Card-local coordinate of column or row i of the default 4 x 4 grid.
inline double grid(int i) { return -0.5 + i / 3.0; }

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  Rgb at(int x, int y) const;
  Rgb at(const PixelPos& q) const { return at(q.ix(), q.iy()); }
  // Pixels of exactly this colour in the square of half side `radius`.
  int countAround(int x, int y, int radius, const Rgb& c) const;
  int countAround(const PixelPos& q, int radius, const Rgb& c) const { return countAround(q.ix(), q.iy(), radius, c); }
  int count(const Rgb& c) const { return countAround(width / 2, height / 2, std::max(width, height), c); }
};

struct ViewerTest : public ::testing::Test {
  DD::Image::Graph graph;
  Node* node = nullptr;
  quorcard::QuorCard* card = nullptr;
  std::unique_ptr<DD::Image::Viewer> viewer;

  void SetUp() override;
  void set(const std::string& name, const std::string& value);
  Picture draw(bool stencil = true);
  void press(const PixelPos& p);
  // Names of the per-point knobs that are visible.
  std::vector<std::string> visiblePointKnobs() const;
};

}  // namespace viewertest

#endif
