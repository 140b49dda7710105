// The card emitting itself into a RIB scene through its renderer interface,
// and the scene that quorhost writes around it, read back from the files.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "CardTestSupport.h"
#include "Quor/Quor.h"
#include "Quor/QuorPrimitive.h"
#include "SceneWriter.h"

using namespace cardtest;
using Names = std::vector<std::string>;

namespace {

const double kPi = 3.14159265358979323846;

// One RIB request per line: its name, then its arguments without the quotes
// around strings or the brackets around arrays.
struct Request {
  std::string name;
  Names args;
  std::vector<float> floats(std::size_t i) const {
    std::istringstream in(args.at(i));
    std::vector<float> out;
    for (std::string word; in >> word;) out.push_back(std::strtof(word.c_str(), nullptr));
    return out;
  }
};

std::vector<Request> parseRib(const std::string& text) {
  const std::regex argument("\"([^\"]*)\"|\\[([^\\]]*)\\]|([^ ]+)");
  std::vector<Request> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    Names words;
    for (std::sregex_iterator w(line.begin(), line.end(), argument), end; w != end; ++w)
      words.push_back((*w)[1].str() + (*w)[2].str() + (*w)[3].str());
    if (!words.empty() && words[0][0] != '#') out.push_back({words[0], Names(words.begin() + 1, words.end())});
  }
  return out;
}

Names namesOf(const std::vector<Request>& rib) {
  Names names;
  for (const Request& r : rib) names.push_back(r.name);
  return names;
}

// What a node writes through its renderer interface into a scene of its own.
std::vector<Request> emitRib(Node* node) {
  QuorPrimitive* primitive = dynamic_cast<QuorPrimitive*>(node->op());
  EXPECT_NE(primitive, nullptr);
  testsupport::TempDir dir;
  EXPECT_EQ(QrBegin(dir.file("card.rib").c_str()), 0);
  if (primitive) primitive->emit();
  QrEnd();
  return parseRib(testsupport::readFile(dir.file("card.rib")));
}

// A PatchMesh request: its type, vertex counts and vertex arrays.
struct Mesh {
  std::string type;
  int nu = 0, nv = 0;
  std::vector<float> P, st;
  explicit Mesh(const Request& r) {
    const Names& t = r.args;
    if (r.name != "PatchMesh" || t.size() != 9) return;
    EXPECT_EQ(Names({t[2], t[4], t[5], t[7]}), (Names{"nonperiodic", "nonperiodic", "P", "vertex float[2] st"}));
    P = r.floats(6), st = r.floats(8);
    if (P.size() == 3u * std::stoi(t[1]) * std::stoi(t[3]) && st.size() == 2 * P.size() / 3)
      type = t[0], nu = std::stoi(t[1]), nv = std::stoi(t[3]);
  }
  std::string shape() const { return type + " " + std::to_string(nu) + " " + std::to_string(nv); }
  Values position(int c, int r) const { return Values(&P.at(3 * (r * nu + c)), &P.at(3 * (r * nu + c) + 2) + 1); }
  Values texture(int c, int r) const { return Values(&st.at(2 * (r * nu + c)), &st.at(2 * (r * nu + c) + 1) + 1); }
};

class Emit : public CardTest {
 protected:
  Mesh emitted() {
    const std::vector<Request> rib = emitRib(node);
    const auto at = std::find_if(rib.begin(), rib.end(), [](const Request& r) { return r.name == "PatchMesh"; });
    return Mesh(at == rib.end() ? Request() : *at);
  }
};

// A 3 x 2 linear card: a bilinear mesh of its points in storage order, row 0
// at the bottom; then sides, orientation and the Catmull-Rom basis (catches:
// counts turned round, points out of order, a request dropped or misplaced).
TEST_F(Emit, RequestsOfTheBlockAndTheBilinearMesh) {
  set("x_points", "3");
  set("y_points", "2");
  std::vector<Request> rib = emitRib(node);
  ASSERT_EQ(namesOf(rib), (Names{"AttributeBegin", "Transform", "PatchMesh", "AttributeEnd"}));
  const Mesh m(rib[2]);
  ASSERT_EQ(m.shape(), "bilinear 3 2");
  for (int k = 0; k < 6; ++k) {
    expectNear(m.position(k % 3, k / 3), {-0.5 + (k % 3) / 2.0, -0.5 + k / 3, 0}, 0, "vertex " + std::to_string(k));
    expectNear(m.texture(k % 3, k / 3), {(k % 3) / 2.0, 1.0 - k / 3}, 0, "st " + std::to_string(k));
  }
  set("shade", "front & back");
  set("orientation", "flipped");
  set("type", "smooth");
  rib = emitRib(node);
  ASSERT_EQ(namesOf(rib), (Names{"AttributeBegin", "Transform", "Attribute", "ReverseOrientation", "Basis", "PatchMesh",
                                 "AttributeEnd"}));
  EXPECT_EQ(rib[2].args, (Names{"sides", "doubleshaded", "1"}));
  EXPECT_EQ(rib[4].args, (Names{"catmull-rom", "1", "catmull-rom", "1"}));
  EXPECT_EQ(Mesh(rib[5]).shape(), "bicubic 9 6");  // three net vertices a point, across and up
  // Net row 2, the upper handles of grid row 0, a third of the 2 rows' step
  // up: t = 1 - 1 / 3 (a step taken from the 3 columns gives 1 - 1 / 6).
  EXPECT_NEAR(Mesh(rib[5]).texture(0, 2)[1], 2 / 3.0, 1e-6);
  set("type", "smooth with handles");
  EXPECT_EQ(emitted().type, "bicubic");
}

// The 6 x 6 net of a 2 x 2 card by hand. Net columns: point 0 twice, its
// right handle, the left handle of point 1, point 1 twice: x = -0.5, -0.5,
// -1/6, 1/6, 0.5, 0.5; rows alike in y. The "up" handle of point 0 lifted to
// z = 0.3 lifts net row 2 (the upper handles of grid row 0): columns 0 and 1
// are that handle; the corner beside it is the mean of a third of the way
// along the "up" handles and along the "right" ones, ((0 - 0.3) / 3 + 0.3 +
// 0 + 0) / 2 = 0.1; the next ((0.3 - 0) / 3) / 2 = 0.05. Every corner reads
// two handles and every handle slot is read, so a handle read from another
// slot shows here too (catches: rows or columns out of order, corner weights
// or neighbours wrong, no end repeats, a handle from the wrong slot).
TEST_F(Emit, TwoByTwoNetAndItsTextureCoordinatesByHand) {
  set("x_points", "2");
  set("y_points", "2");
  set("type", "smooth");
  setValues("control_point.0.0.3", {-0.5, -1 / 6.0, 0.3});
  const Mesh m = emitted();
  ASSERT_EQ(m.shape(), "bicubic 6 6");
  const double at[6] = {-0.5, -0.5, -1 / 6.0, 1 / 6.0, 0.5, 0.5}, lifted[6] = {0.3, 0.3, 0.1, 0.05, 0, 0};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      expectNear(m.position(c, r), {at[c], at[r], r == 2 ? lifted[c] : 0}, 1e-6,
                 "net " + std::to_string(c) + "," + std::to_string(r));
  // Texture coordinates: s by net column 0, 0, 1/3, 2/3, 1, 1 (a handle a
  // third of a step from its point), t by net row 1, 1, 2/3, 1/3, 0, 0 (v is 1
  // at the bottom); flip mirrors s, flop mirrors t, then swap exchanges them
  // (catches: a rule turned round or applied after the exchange, an offset
  // added after mirroring or with the wrong sign).
  const double s[6] = {0, 0, 1 / 3.0, 2 / 3.0, 1, 1}, t[6] = {1, 1, 2 / 3.0, 1 / 3.0, 0, 0};
  const char* const ruleKnobs[] = {"flip_uvs", "flop_uvs", "swap_uvs"};
  for (int rules = 0; rules < 8; ++rules) {
    const bool flip = rules & 1, flop = rules & 2, swap = rules & 4;
    for (int k = 0; k < 3; ++k) set(ruleKnobs[k], rules >> k & 1 ? "1" : "0");
    const Mesh n = emitted();
    ASSERT_EQ(n.shape(), "bicubic 6 6");
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 6; ++c) {
        const double u = flip ? 1 - s[c] : s[c], v = flop ? 1 - t[r] : t[r];
        expectNear(n.texture(c, r), swap ? Values{v, u} : Values{u, v}, 1e-6,
                   "rules " + std::to_string(rules) + " net " + std::to_string(c) + "," + std::to_string(r));
      }
  }
}

// Loaded grids that break the size or slot rules: no mesh for a size other
// than the counts', bilinear when a handle the net reads is not 3 floats
// (catches: reading outside the grid, a damaged handle read into the net).
TEST_F(Emit, BrokenGrids) {
  using Grid = quorcard::PointList;
  const struct {
    const char *what, *columns;
    void (*damage)(Grid&);
    const char* type;
  } cases[] = {
      {"15 points", "4", [](Grid& g) { g.pop_back(); }, ""},
      {"counts of another grid", "3", [](Grid&) {}, ""},
      {"empty right handle", "4", [](Grid& g) { g[0].controlPoints[2].clear(); }, "bilinear"},
      {"short up handle", "4", [](Grid& g) { g[4].controlPoints[3].resize(2); }, "bilinear"},
      {"three slots", "4", [](Grid& g) { g[5].controlPoints.resize(3); }, "bilinear"},
      {"no down handle", "4", [](Grid& g) { g[9].controlPoints[1].clear(); }, "bilinear"},
      {"junk where the net reads nothing", "4",
       [](Grid& g) {
         g[0].controlPoints[0] = {1.0f, 2.0f};              // column 0: no left handle
         g[3].controlPoints[2] = {1.0f, 2.0f, 3.0f, 4.0f};  // last column: no right one
         g[14].controlPoints[3] = {7.0f};                   // last row: no up handle
         g[7].controlPoints.push_back({1.0f});              // a fifth slot
       },
       "bicubic"},
  };
  const Grid fresh = stored();
  for (const auto& c : cases) {
    Grid grid = fresh;
    c.damage(grid);
    node = load({{"cpstr", quorcard::pointsToText(grid)},
                 {"x_points", c.columns},
                 {"type", "smooth"},
                 {"orientation", "flipped"}});
    const std::vector<Request> rib = emitRib(node);
    const Names mesh{"AttributeBegin", "Transform", "ReverseOrientation", "Basis", "PatchMesh", "AttributeEnd"};
    EXPECT_EQ(namesOf(rib), *c.type ? mesh : Names({"AttributeBegin", "Transform", "AttributeEnd"})) << c.what;
    EXPECT_EQ(rib.size() == 6 ? Mesh(rib[4]).type : "", c.type) << c.what;
  }
}

// The Read's image is published as an archive named by the Read's hash and
// read in the card's block, under the card's transform below its axis
// (catches: no archive read, the axis's transform left out or applied first).
TEST_F(Emit, SceneReadsTheImageArchiveAndPlacesTheCardUnderItsAxis) {
  Node* axis = add("Axis");
  set("rotate", "0,15,0", axis);
  set("translate", "1,2,3");
  connect(0, axis);
  Node* read = addImage(4, 3, std::vector<unsigned char>(48, 128));
  connect(1, read);
  quorhost::writeScene(graph, dir.file("scene.rib"), "card.tif");
  const std::vector<Request> scene = parseRib(testsupport::readFile(dir.file("scene.rib")));
  ASSERT_EQ(namesOf(scene), (Names{"Display", "Format", "Projection", "Scale", "Translate", "WorldBegin", "LightSource",
                                   "ArchiveBegin", "Surface", "ArchiveEnd", "AttributeBegin", "ReadArchive",
                                   "Transform", "PatchMesh", "AttributeEnd", "WorldEnd"}));
  const std::string hash = std::to_string(read->op()->hash().value());
  EXPECT_EQ(scene[11].args, Names{hash});
  // Row-vector order: the card's own translation, then the axis's turn of 15 degrees about y.
  const double c = std::cos(15 * kPi / 180), s = std::sin(15 * kPi / 180);
  const std::vector<float> m = scene[12].floats(0);
  expectNear(Values(m.begin(), m.end()), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, c + 3 * s, 2, 3 * c - s, 1}, 1e-6,
             "transform");
}

}  // namespace
