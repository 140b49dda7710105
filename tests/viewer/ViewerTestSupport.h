// A host graph with one card and a viewer on it, and the pixel helpers that
// the viewer tests share. Expected picture positions come from the camera
// worked out by hand: eye at (0, 0, 2.5) looking down -z, 30 degrees of
// vertical field of view, 640 x 480 pixels.
#ifndef QUORCARD_TESTS_VIEWER_VIEWERTESTSUPPORT_H
#define QUORCARD_TESTS_VIEWER_VIEWERTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/Host.h"
#include "DDImage/Viewer.h"
#include "node/QuorCard.h"

namespace viewertest {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& o, const Rgb& c);

// Colours the viewer draws in (packed colours as the viewer context gives
// them, lit face-on to their full value).
const Rgb kBackground{51, 51, 51};
const Rgb kNodeGrey{192, 192, 192};
const Rgb kCage{255, 144, 32};
const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kYellow{255, 255, 0};
const Rgb kHighlight{0, 255, 0};
const Rgb kKnobHandle{0, 255, 255};

// Where the default camera puts a point in a 640 x 480 picture, in
// fractional pixels (pixel i covers [i, i + 1)).
struct PixelPos {
  double x, y;
  int ix() const { return static_cast<int>(std::floor(x)); }
  int iy() const { return static_cast<int>(std::floor(y)); }
};
PixelPos byHand(double x, double y, double z = 0);
// The point on the plane z = planeZ seen through the centre of pixel (px, py).
void unprojectByHand(int px, int py, double planeZ, double* x, double* y);

// Card-local position of grid point (column, row) of the default 1 x 1 card.
double gridX(int column, int columns);
double gridY(int row, int rows);

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  Rgb at(int x, int y) const;
  // Pixels of exactly this colour in the square of half side `radius`.
  int countAround(int x, int y, int radius, const Rgb& c) const;
  int count(const Rgb& c) const;
  // Groups of 4-connected pixels of exactly this colour; their centres.
  std::vector<PixelPos> blobs(const Rgb& c) const;
};

struct ViewerTest : public ::testing::Test {
  DD::Image::Graph graph;
  Node* node = nullptr;
  quorcard::QuorCard* card = nullptr;
  std::unique_ptr<DD::Image::Viewer> viewer;

  void SetUp() override;
  Node* add(const std::string& cls, const std::string& name = "");
  DD::Image::Knob* knob(const std::string& name) const { return node->knob(name); }
  void set(const std::string& name, const std::string& value);
  void setHandleSize(int size);
  Picture draw(bool stencil = true);
  void press(const PixelPos& p);
  // Names of the per-point knobs that are visible.
  std::vector<std::string> visiblePointKnobs() const;
};

// Writes an RGBA PNG whose rows are given top first; answers its path.
std::string writeTestPng(const std::string& name, int width, int height, const std::vector<unsigned char>& rgba);
std::string tempPath(const std::string& name);

}  // namespace viewertest

#endif
