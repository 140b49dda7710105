// The road of one edit through quorhost, with the real plug-in: a click on a
// tangent handle, a drag, the saved script, the scene and the picture.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <png.h>

#include <cstring>
#include <sstream>

#include "CardTestSupport.h"

namespace cardtest {
namespace {

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

// The value of a knob in a --knobs listing.
std::vector<double> knobValue(const std::string& listing, const std::string& name) {
  std::vector<double> values;
  for (const auto& row : testsupport::knobRows(listing)) {
    std::stringstream text(row[2]);
    for (std::string part; row[0] == name && std::getline(text, part, ',');) values.push_back(std::stod(part));
  }
  EXPECT_EQ(values.size(), 3u) << name;
  values.resize(3);
  return values;
}

// A click on the "up" handle of the point at row 1, column 2 picks it; a
// drag from there moves that handle in the plane z = 0 and, with
// "break_tangent" off, turns the "down" handle to stay opposite at its own
// length (1/9). The saved "cpstr" holds both, and the scene's bicubic net
// holds them as its vertices.
TEST(HostViewer, RoadOfOneEditFromClickToScene) {
  const double px = grid(2), py = grid(1), step = 1.0 / 9;
  const PixelPos up = byHand(px, py + step);
  const int x0 = up.ix(), y0 = up.iy(), x1 = x0 + 30, y1 = y0 - 12;
  testsupport::TempDir dir;
  const std::string plugins = QUOR_BUILD_DIR "/plugins";
  auto arg = [](int v) { return std::to_string(v); };
  testsupport::HostRun run = testsupport::runHost(
      {"--new", "QuorCard", "--select", "--set", "type", "smooth with handles", "--click", arg(x0), arg(y0), "--drag",
       arg(x0), arg(y0), arg(x1), arg(y1), "--save", dir.file("edit.json"), "--rib", dir.file("edit.rib"), "--view",
       dir.file("edit.png")},
      plugins);
  ASSERT_EQ(run.status, 0) << run.err;

  double ax, ay, bx, by;
  unprojectByHand(x0, y0, &ax, &ay);
  unprojectByHand(x1, y1, &bx, &by);
  const double hx = px + (bx - ax), hy = py + step + (by - ay);
  const double length = std::hypot(hx - px, hy - py);
  const double ox = px - (hx - px) / length * step, oy = py - (hy - py) / length * step;

  const nlohmann::json script = nlohmann::json::parse(testsupport::readFile(dir.file("edit.json")));
  EXPECT_EQ(script["nodes"][0]["knobs"]["selected_cp"], 10034);
  // The saved points, read back by a fresh host, show in the knobs of that
  // point (through an identity local matrix).
  run = testsupport::runHost({dir.file("edit.json"), "--knobs"}, plugins);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<double> moved = knobValue(run.out, "control_point.2.1.3");
  const std::vector<double> turned = knobValue(run.out, "control_point.2.1.1");
  const std::vector<double> point = knobValue(run.out, "control_point.2.1");
  EXPECT_NEAR(moved[0], hx, 1e-5);
  EXPECT_NEAR(moved[1], hy, 1e-5);
  EXPECT_NEAR(turned[0], ox, 1e-5);
  EXPECT_NEAR(turned[1], oy, 1e-5);
  EXPECT_NEAR(point[0], px, 1e-6);
  EXPECT_NEAR(point[1], py, 1e-6);

  // In the 12 x 12 net of a 4 x 4 grid, net row 5 is the upper handle row of
  // grid row 1 and net row 3 its lower one; column 7 is grid column 2.
  const std::string rib = testsupport::readFile(dir.file("edit.rib"));
  const size_t at = rib.find("PatchMesh \"bicubic\" 12");
  ASSERT_NE(at, std::string::npos) << rib;
  const size_t open = rib.find('[', rib.find("\"P\"", at));
  std::stringstream values(rib.substr(open + 1, rib.find(']', open) - open - 1));
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
  EXPECT_GT(picture.countAround(byHand(hx, hy), 2, kHighlight), 9);
}

}  // namespace
}  // namespace cardtest
