// The whole scene that quorhost writes for a card: the camera, the image's
// archive, and the card under its axis, read back from the RIB file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "DDImage/Host.h"
#include "RenderTestSupport.h"
#include "SceneWriter.h"
#include "node/QuorCard.h"

using rendertest::RibRequest;

namespace {

Node* make(DD::Image::Graph& graph, const std::string& cls) {
  std::string error;
  Node* n = graph.create(cls, "", &error);
  EXPECT_NE(n, nullptr) << error;
  if (n) graph.finish(n);
  return n;
}

void set(Node* n, const std::string& knob, const std::string& value) {
  ASSERT_TRUE(n->userSetText(n->knob(knob), value.c_str())) << knob;
}

std::vector<RibRequest> writeAndRead(DD::Image::Graph& graph, const quorhost::Camera& camera, std::string* text) {
  const std::string path = rendertest::tempPath("scene.rib");
  quorhost::writeScene(graph, path, "card.tif", camera);
  *text = rendertest::readFile(path);
  std::remove(path.c_str());
  return rendertest::parseRib(*text);
}

const double kPi = 3.14159265358979323846;

}  // namespace

TEST(Scene, CardUnderItsAxisWithTheArchiveOfItsImage) {
  DD::Image::Graph graph;
  Node* axis = make(graph, "Axis");
  Node* read = make(graph, "Read");
  Node* cardNode = make(graph, "QuorCard");
  const std::string png = rendertest::writePng(rendertest::tempPath("image.png"));
  set(read, "file", png);
  set(axis, "rotate", "0,15,0");
  set(cardNode, "translate", "1,2,3");
  set(cardNode, "type", "smooth with handles");
  std::string error;
  ASSERT_TRUE(graph.connect(cardNode, 0, axis, &error)) << error;
  ASSERT_TRUE(graph.connect(cardNode, 1, read, &error)) << error;
  auto* card = dynamic_cast<quorcard::QuorCard*>(cardNode->op());

  // Nothing is validated here: the scene writer does it before emitting.
  std::string text;
  const std::vector<RibRequest> rib = writeAndRead(graph, quorhost::Camera(), &text);
  EXPECT_EQ(rendertest::requestNames(rib),
            (std::vector<std::string>{"Display", "Format", "Projection", "Scale", "Translate", "WorldBegin",
                                      "LightSource", "ArchiveBegin", "Surface", "ArchiveEnd", "AttributeBegin",
                                      "ReadArchive", "Transform", "Basis", "PatchMesh", "AttributeEnd", "WorldEnd"}));
  ASSERT_EQ(rib.size(), 17u);
  const std::string hash = std::to_string(read->op()->hash().value());
  EXPECT_EQ(rib[7].str(0), hash);
  EXPECT_EQ(rib[11].str(0), hash);
  // The archive names the image, for the texture tool, and the texture.
  EXPECT_NE(text.find(png), std::string::npos);
  EXPECT_EQ(rib[8].param("texturename").items.at(0).text, quorhost::textureName(png));

  // The card's world transform, as the host stores it (row-vector order):
  // the axis's turn of 15 degrees about y applied after the card's own
  // translation, which it turns too.
  const std::vector<float> m = rib[12].floats(0);
  ASSERT_EQ(m.size(), 16u);
  const float* stored = card->renderMatrix().array();
  rendertest::expectSameFloats(std::vector<float>(stored, stored + 16), m, "Transform");
  const double c = std::cos(15 * kPi / 180), s = std::sin(15 * kPi / 180);
  const double expected[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, c + 3 * s, 2, 3 * c - s, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6) << i;
  rendertest::expectMesh(rendertest::expectedBicubic(card->points, 4, 4, false, false, false), rib[14]);
  std::remove(png.c_str());
}

// The picture shows what the viewer shows: its camera at (0, 0, 2.5) looks
// down -z with 30 degrees from the bottom edge of the picture to the top,
// whatever the picture's shape. Each world point is taken through the
// scene's camera requests as the renderer applies them (the last given is
// applied first), then through the perspective projection, whose angle
// spans the shorter side of the picture.
TEST(Scene, CameraFramesTheViewersView) {
  const int sizes[][2] = {{640, 480}, {480, 640}, {300, 300}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
    DD::Image::Graph graph;
    quorhost::Camera camera;
    camera.width = size[0];
    camera.height = size[1];
    std::string text;
    const std::vector<RibRequest> rib = writeAndRead(graph, camera, &text);
    std::vector<const RibRequest*> cameraMoves;
    float fov = 0.0f;
    for (const RibRequest& r : rib) {
      if (r.name == "WorldBegin") break;
      if (r.name == "Format") {
        EXPECT_EQ(r.floats(0), std::vector<float>{static_cast<float>(size[0])});
        EXPECT_EQ(r.floats(1), std::vector<float>{static_cast<float>(size[1])});
      }
      if (r.name == "Projection") {
        ASSERT_EQ(r.str(0), "perspective");
        fov = r.param("fov").items.size() == 1 ? r.floats(2).at(0) : 0.0f;
      }
      if (r.name == "Scale" || r.name == "Translate") cameraMoves.push_back(&r);
    }
    ASSERT_GT(fov, 0.0f);
    const double aspect = static_cast<double>(size[0]) / size[1];
    // Screen window: the shorter side spans -1..1.
    const double halfWidth = aspect >= 1 ? aspect : 1, halfHeight = aspect >= 1 ? 1 : 1 / aspect;
    const auto toScreen = [&](double x, double y, double z, double* sx, double* sy) {
      for (auto it = cameraMoves.rbegin(); it != cameraMoves.rend(); ++it) {
        const std::vector<float> a{(*it)->floats(0)[0], (*it)->floats(1)[0], (*it)->floats(2)[0]};
        if ((*it)->name == "Scale") {
          x *= a[0], y *= a[1], z *= a[2];
        } else {
          x += a[0], y += a[1], z += a[2];
        }
      }
      EXPECT_GT(z, 0.0) << "in front of the camera";
      const double t = std::tan(fov * kPi / 360);
      *sx = x / (z * t) / halfWidth;
      *sy = y / (z * t) / halfHeight;
    };
    // The viewer's top edge and right edge, in the plane z = 0.
    const double top = 2.5 * std::tan(15 * kPi / 180);
    double sx, sy;
    toScreen(0, top, 0, &sx, &sy);
    EXPECT_NEAR(sx, 0.0, 1e-6);
    EXPECT_NEAR(sy, 1.0, 1e-5);
    toScreen(top * aspect, 0, 0, &sx, &sy);
    EXPECT_NEAR(sx, 1.0, 1e-5);
    // A point nearer the camera on the same ray stays on the same pixel.
    toScreen(0.5 * top * aspect, 0.5 * top, 1.25, &sx, &sy);
    EXPECT_NEAR(sx, 1.0, 1e-5);
    EXPECT_NEAR(sy, 1.0, 1e-5);
  }
}
