// What the plug-in tests share: a host graph holding a finished card, knobs set
// as a user or a script load sets them, the stored points, and a viewer on the
// graph with pixel helpers. Expected picture positions come from the camera
// worked out by hand: eye at (0, 0, 2.5) looking down -z, 30 degrees of
// vertical field of view, 640 x 480 pixels.
#ifndef QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H
#define QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DDImage/Host.h"
#include "DDImage/Viewer.h"
#include "TestSupport.h"
#include "grid/PointsText.h"

namespace cardtest {

using Values = std::vector<double>;
using Knobs = std::vector<std::pair<std::string, std::string>>;

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

// Where the camera puts the point (x, y, z), in fractional pixels (pixel i
// covers [i, i + 1)).
struct PixelPos {
  double x, y;
  int ix() const { return static_cast<int>(std::floor(x)); }
  int iy() const { return static_cast<int>(std::floor(y)); }
};
PixelPos byHand(double x, double y, double z = 0);
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
  int countAround(const PixelPos& q, int radius, const Rgb& c) const;
  int count(const Rgb& c) const { return countAround({width / 2.0, height / 2.0}, std::max(width, height), c); }
};

class CardTest : public ::testing::Test {
 protected:
  // Renderer options go to a file of the test's own; `node` is a new card.
  void SetUp() override;
  // A node of the class, finished.
  Node* add(const std::string& cls);
  // A card made as a script load makes it: knob texts set before the node is
  // attached, without reactions.
  Node* load(const Knobs& knobs);
  // Moves the card in view behind the camera and makes a loaded one the card.
  void reload(const Knobs& knobs);
  // A Read of an RGBA PNG (rows top first) written by the test.
  Node* addImage(int width, int height, const std::vector<unsigned char>& rgba);
  void connect(int input, Node* from);
  // Sets a knob as a user would; fails the test when refused.
  void set(const std::string& name, const std::string& value, Node* n = nullptr);
  void setValues(const std::string& name, const Values& values, Node* n = nullptr);
  DD::Image::Knob* knob(const std::string& name, Node* n = nullptr) const;
  // Channels 0 to 2 of a knob.
  Values values(const std::string& name, Node* n = nullptr) const;
  std::string cpstr(Node* n = nullptr) const { return knob("cpstr", n)->get_text(); }
  // The points as stored in "cpstr".
  quorcard::PointList stored(Node* n = nullptr) const { return quorcard::textToPoints(cpstr(n)); }
  // The names of the knobs after "delimiter" (the text header as "<header>").
  std::vector<std::string> pointKnobNames() const;
  std::vector<std::string> visiblePointKnobs() const;
  // The hash after validation.
  DD::Image::Hash hash(Node* n = nullptr);

  Picture draw(bool stencil = true);
  // A press and release at a pixel of the viewer.
  void press(const PixelPos& p);

  DD::Image::Graph graph;
  testsupport::TempDir dir;
  Node* node = nullptr;
  std::unique_ptr<DD::Image::Viewer> viewer;
};

// Expects |got - want| <= tolerance for every value.
void expectNear(const Values& got, const Values& want, double tolerance, const std::string& what);

}  // namespace cardtest

#endif
