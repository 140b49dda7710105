// What the plug-in tests share: a host graph holding a card, knobs set as a
// user or a script load sets them, the stored points, and a viewer with pixel
// helpers whose camera is worked out by hand: eye at (0, 0, 2.5) looking down
// -z, 30 degrees of vertical field of view, 640 x 480 pixels.
#ifndef QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H
#define QUORCARD_TESTS_NODE_CARDTESTSUPPORT_H

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DDImageHost/Host.h"
#include "DDImageHost/Viewer.h"
#include "TestSupport.h"
#include "grid/PointsText.h"

namespace cardtest {

using Values = std::vector<double>;
using Knobs = std::vector<std::pair<std::string, std::string>>;
using Rgb = std::array<int, 3>;

// Colours the viewer draws in, lit face-on to their full value.
const Rgb kBackground{51, 51, 51}, kNodeGrey{192, 192, 192}, kCage{255, 144, 32}, kWhite{255, 255, 255},
    kBlack{0, 0, 0}, kYellow{255, 255, 0}, kHighlight{0, 255, 0};

// A place in the picture in fractional pixels; pixel i covers [i, i + 1).
struct PixelPos {
  double x, y;
  int ix() const { return static_cast<int>(std::floor(x)); }
  int iy() const { return static_cast<int>(std::floor(y)); }
};
// Where the camera puts the point (x, y, z).
PixelPos byHand(double x, double y, double z = 0);
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
  Node* add(const std::string& cls);
  // A card made as a script load makes it: knob texts set before the node is
  // attached, without reactions.
  Node* load(const Knobs& knobs);
  // Moves the card in view behind the camera and makes a loaded one the card.
  void reload(const Knobs& knobs);
  // An image of that size, zero and negative ones included, without pixels.
  Node* format(int width, int height);
  // A Read of an RGBA PNG (rows top first) written by the test.
  Node* addImage(int width, int height, const std::vector<unsigned char>& rgba);
  void connect(int input, Node* from);
  // Knobs set as a user sets them; a refused value fails the test.
  void set(const std::string& name, const std::string& value, Node* n = nullptr);
  void setValues(const std::string& name, const Values& values, Node* n = nullptr);
  DD::Image::Knob* knob(const std::string& name, Node* n = nullptr) const;
  Values values(const std::string& name, Node* n = nullptr) const;  // channels 0 to 2
  std::string cpstr(Node* n = nullptr) const { return knob("cpstr", n)->get_text(); }
  quorcard::PointList stored(Node* n = nullptr) const { return quorcard::textToPoints(cpstr(n)); }
  // The names of the knobs after "delimiter", the text header as "<header>".
  std::vector<std::string> pointKnobNames() const;
  std::vector<std::string> visiblePointKnobs() const;
  DD::Image::Hash hash(Node* n = nullptr);  // after validation
  Picture draw(bool stencil = true);
  void press(const PixelPos& p);  // and release at the same pixel

  DD::Image::Graph graph;
  testsupport::TempDir dir;
  Node* node = nullptr;
  std::unique_ptr<DD::Image::Viewer> viewer;
};

// Expects |got - want| <= tolerance for every value.
void expectNear(const Values& got, const Values& want, double tolerance, const std::string& what);

}  // namespace cardtest

#endif
