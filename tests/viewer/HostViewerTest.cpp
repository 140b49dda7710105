// The viewer through quorhost: pictures written by --view, and the road of
// one edit from a click on a tangent handle to the saved script and the
// scene.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <png.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace viewertest {
namespace {

using testsupport::HostRun;
using testsupport::TempDir;

const std::string kPlugins = QUOR_BUILD_DIR "/plugins";

HostRun host(const std::vector<std::string>& args) { return testsupport::runHost(args, kPlugins); }

bool readPng(const std::string& path, Picture* p) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  p->width = static_cast<int>(image.width);
  p->height = static_cast<int>(image.height);
  p->rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, p->rgba.data(), 0, nullptr) != 0;
}

std::string arg(int v) { return std::to_string(v); }

// The value of a knob in a --knobs listing, and whether it is visible.
std::vector<double> knobValue(const std::string& listing, const std::string& name, bool* visible = nullptr) {
  for (const auto& row : testsupport::knobRows(listing)) {
    if (row[0] != name) continue;
    if (visible) *visible = row[3] == "visible";
    std::vector<double> values;
    std::stringstream text(row[2]);
    std::string part;
    while (std::getline(text, part, ',')) values.push_back(std::stod(part));
    return values;
  }
  ADD_FAILURE() << "no knob " << name;
  return {};
}

// At 320 x 240 the default card spans x 160 -/+ 0.2 * cot(15) * 0.75 * 160
// = 70.43 .. 249.57 and y 120 -/+ 0.2 * cot(15) * 120 = 30.43 .. 209.57:
// pixel centres inside are columns 70..249 and rows 30..209.
TEST(HostViewer, ViewWritesThePictureAtTheGivenSize) {
  TempDir dir;
  const HostRun run = host({"--new", "QuorCard", "--view", dir.file("card.png"), "--size", "320x240"});
  ASSERT_EQ(run.status, 0) << run.err;
  Picture p;
  ASSERT_TRUE(readPng(dir.file("card.png"), &p));
  EXPECT_EQ(p.width, 320);
  EXPECT_EQ(p.height, 240);
  EXPECT_EQ(p.at(70, 30), kNodeGrey);
  EXPECT_EQ(p.at(249, 209), kNodeGrey);
  EXPECT_EQ(p.at(69, 30), kBackground);
  EXPECT_EQ(p.at(250, 209), kBackground);
  EXPECT_EQ(p.at(70, 29), kBackground);
  EXPECT_EQ(p.at(249, 210), kBackground);
}

// A fold made through the knob of the bottom-left corner's right handle: the
// doubly covered part is left unpainted with a stencil buffer and painted
// as part of the plain quadrilateral without one.
TEST(HostViewer, NoStencilViewDrawsPlainQuadrilaterals) {
  TempDir dir;
  const HostRun run = host({"--new", "QuorCard", "--set", "x_points", "2", "--set", "y_points", "2", "--set", "type",
                            "smooth with handles", "--set", "control_point.0.0.2", "-0.1666667,0.8,0", "--view",
                            dir.file("stencil.png"), "--view", dir.file("plain.png"), "--no-stencil"});
  ASSERT_EQ(run.status, 0) << run.err;
  Picture withStencil, plain;
  ASSERT_TRUE(readPng(dir.file("stencil.png"), &withStencil));
  ASSERT_TRUE(readPng(dir.file("plain.png"), &plain));
  const PixelPos twice = byHand(-0.17, 0.2);
  EXPECT_EQ(withStencil.at(twice.ix(), twice.iy()), kBackground);
  EXPECT_EQ(plain.at(twice.ix(), twice.iy()), kNodeGrey);
}

TEST(HostViewer, BadViewerArgumentsAreErrors) {
  TempDir dir;
  HostRun run = host({"--new", "QuorCard", "--view", dir.file("missing/card.png")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--view"), std::string::npos) << run.err;
  run = host({"--new", "QuorCard", "--view", dir.file("card.png"), "--size", "640by480"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("640by480"), std::string::npos) << run.err;
  run = host({"--new", "QuorCard", "--size", "0x10"});
  EXPECT_EQ(run.status, 1);
  run = host({"--new", "QuorCard", "--click", "12", "north"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("north"), std::string::npos) << run.err;
  run = host({"--new", "QuorCard", "--drag", "1", "2", "3"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(dir.list().empty());
  run = host({"--help"});
  EXPECT_NE(run.out.find("--view OUT.png [--size WxH] [--no-stencil]"), std::string::npos);
}

// Clicks use the last size: at 320 x 240 the point at row 1, column 2 sits
// at half the pixel position it has at 640 x 480.
TEST(HostViewer, ClickSelectsThePointUnderItAtTheLastSize) {
  const PixelPos full = byHand(gridX(2, 4), gridY(1, 4));
  const int x = static_cast<int>(full.x / 2), y = static_cast<int>(full.y / 2);
  TempDir dir;
  HostRun run = host({"--new", "QuorCard", "--select", "--view", dir.file("small.png"), "--size", "320x240",
                      "--click", arg(x), arg(y), "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(knobValue(run.out, "selected_cp"), std::vector<double>{10030});
  bool visible = false;
  knobValue(run.out, "control_point.2.1", &visible);
  EXPECT_TRUE(visible);
  knobValue(run.out, "control_point.1.1", &visible);
  EXPECT_FALSE(visible);

  // Not selected: the same click hides every point knob.
  run = host({"--new", "QuorCard", "--select", "--size", "320x240", "--click", arg(x), arg(y), "--deselect",
              "--click", arg(x), arg(y), "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(knobValue(run.out, "selected_cp"), std::vector<double>{0});
  knobValue(run.out, "control_point.2.1", &visible);
  EXPECT_FALSE(visible);
}

// The road of one edit: a click on the "up" handle of the point at row 1,
// column 2 shows its knobs; a drag from there moves that handle in the
// plane z = 0 and, with "break_tangent" off, turns the "down" handle to stay
// opposite at its own length (1/9). The saved script holds both in "cpstr";
// the scene's bicubic net holds them as its vertices.
TEST(HostViewer, RoadOfOneEditFromClickToScene) {
  const double px = gridX(2, 4), py = gridY(1, 4), step = 1.0 / 9;
  const PixelPos up = byHand(px, py + step);
  const int x0 = up.ix(), y0 = up.iy(), x1 = x0 + 30, y1 = y0 - 12;
  TempDir dir;
  HostRun run = host({"--new", "QuorCard", "--select", "--set", "type", "smooth with handles", "--click", arg(x0),
                      arg(y0), "--drag", arg(x0), arg(y0), arg(x1), arg(y1), "--save", dir.file("edit.json"),
                      "--rib", dir.file("edit.rib"), "--view", dir.file("edit.png")});
  ASSERT_EQ(run.status, 0) << run.err;

  double ax, ay, bx, by;
  unprojectByHand(x0, y0, 0, &ax, &ay);
  unprojectByHand(x1, y1, 0, &bx, &by);
  const double hx = px + (bx - ax), hy = py + step + (by - ay);
  const double length = std::hypot(hx - px, hy - py);
  const double ox = px - (hx - px) / length * step, oy = py - (hy - py) / length * step;

  const nlohmann::json script = nlohmann::json::parse(testsupport::readFile(dir.file("edit.json")));
  const nlohmann::json& knobs = script["nodes"][0]["knobs"];
  EXPECT_EQ(knobs["selected_cp"], 10034);
  const std::string cpstr = knobs["cpstr"];
  EXPECT_NE(cpstr.find("<controlPoints"), std::string::npos);

  // The saved points, read back through a fresh host: the per-point knobs
  // show them (through an identity local matrix).
  run = host({dir.file("edit.json"), "--knobs"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<double> moved = knobValue(run.out, "control_point.2.1.3");
  const std::vector<double> turned = knobValue(run.out, "control_point.2.1.1");
  ASSERT_EQ(moved.size(), 3u);
  ASSERT_EQ(turned.size(), 3u);
  EXPECT_NEAR(moved[0], hx, 1e-5);
  EXPECT_NEAR(moved[1], hy, 1e-5);
  EXPECT_NEAR(turned[0], ox, 1e-5);
  EXPECT_NEAR(turned[1], oy, 1e-5);
  // The point itself stayed.
  const std::vector<double> point = knobValue(run.out, "control_point.2.1");
  EXPECT_NEAR(point[0], px, 1e-6);
  EXPECT_NEAR(point[1], py, 1e-6);

  // In the 12 x 12 net of a 4 x 4 grid, net row 5 is the upper handle row of
  // grid row 1 and net row 3 its lower handle row; column 7 is the centre
  // of grid column 2.
  const std::string rib = testsupport::readFile(dir.file("edit.rib"));
  const size_t at = rib.find("PatchMesh \"bicubic\" 12");
  ASSERT_NE(at, std::string::npos) << rib;
  const size_t open = rib.find('[', rib.find("\"P\"", at));
  const size_t close = rib.find(']', open);
  std::stringstream values(rib.substr(open + 1, close - open - 1));
  std::vector<double> p;
  for (double v; values >> v;) p.push_back(v);
  ASSERT_EQ(p.size(), 12u * 12 * 3);
  EXPECT_NEAR(p[(5 * 12 + 7) * 3], hx, 1e-5);
  EXPECT_NEAR(p[(5 * 12 + 7) * 3 + 1], hy, 1e-5);
  EXPECT_NEAR(p[(3 * 12 + 7) * 3], ox, 1e-5);
  EXPECT_NEAR(p[(3 * 12 + 7) * 3 + 1], oy, 1e-5);

  // The picture shows the moved handle, highlighted.
  Picture picture;
  ASSERT_TRUE(readPng(dir.file("edit.png"), &picture));
  const PixelPos h = byHand(hx, hy);
  EXPECT_GT(picture.countAround(h.ix(), h.iy(), 2, kHighlight), 9);
}

}  // namespace
}  // namespace viewertest
