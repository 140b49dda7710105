// The stock nodes "Axis" and "Read" (whose pixels, size, hash and missing
// files are checked through quorhost).
#include <cmath>
#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include "DDImage/AxisOp.h"
#include "DDImage/Iop.h"
#include "DDImageHost/Host.h"
#include "TestSupport.h"

using namespace DD::Image;

namespace {

void set(Node* n, const char* knob, const char* text) {
  ASSERT_TRUE(n->userSetText(n->knob(knob), text)) << knob << " = " << text;
}

void expectPoint(const Node* n, Vector3 p, float x, float y, float z, bool world = false) {
  const AxisOp* axis = dynamic_cast<const AxisOp*>(n->op());
  const Vector3 q = (world ? axis->matrix() : axis->local()).transform(p);
  EXPECT_TRUE(std::abs(q.x - x) < 1e-5f && std::abs(q.y - y) < 1e-5f && std::abs(q.z - z) < 1e-5f)
      << n->name() << " takes " << p.x << "," << p.y << "," << p.z << " to " << q.x << "," << q.y << "," << q.z;
}

// Local: translate * pivot * rotate (Y * X * Z) * skew * scale * pivot^-1;
// world: the parent's world times it. Mistakes: another rotation order (two
// points tell all five apart), skew and scale exchanged, the pivot missing or
// inverted, the uniform scale dropped, the parent applied first.
TEST(DDImageAxis, LocalAndWorldMatricesFollowTheParent) {
  Graph graph;
  Node *parent = graph.create("Axis", "Parent", nullptr), *child = graph.create("Axis", "Child", nullptr);
  for (Node* n : {parent, child}) graph.finish(n);
  ASSERT_TRUE(graph.connect(child, 0, parent, nullptr));
  set(parent, "translate", "1,2,3");
  set(parent, "rotate", "0,0,90");  // (x,y,z) -> (-y,x,z) + (1,2,3)
  for (const auto& [knob, value] : {std::pair{"translate", "0,0,1"},
                                    {"rotate", "90,90,180"},
                                    {"skew", "1,0,0"},
                                    {"scaling", "2,1,1"},
                                    {"uniform_scale", "0.5"},
                                    {"pivot", "1,0,0"}})
    set(child, knob, value);
  child->op()->validate();
  // (1,1,1) - pivot (0,1,1); scaled (0,.5,.5); skewed x += y (.5,.5,.5); Z 180
  // (-.5,-.5,.5); X 90 (-.5,-.5,-.5); Y 90 (-.5,-.5,.5); + pivot + translate.
  expectPoint(child, Vector3(1, 1, 1), 0.5f, -0.5f, 1.5f);
  // (1,0,1): (0,0,1); (0,0,.5); (0,0,.5); Z (0,0,.5); X (0,-.5,0); Y (0,-.5,0); (1,-.5,1).
  expectPoint(child, Vector3(1, 0, 1), 1, -0.5f, 1);
  expectPoint(child, Vector3(1, 0, 0), 1, 0, 1);  // the pivot stays put
  expectPoint(child, Vector3(1, 1, 1), 1.5f, 2.5f, 4.5f, true);

  const auto before = child->op()->hash().value();
  set(parent, "rotate", "0,0,0");
  child->op()->validate();  // validates the parent too, and the child for the parent's new hash
  expectPoint(child, Vector3(1, 1, 1), 1.5f, 1.5f, 4.5f, true);  // mistake: the hashes not following the knobs
  EXPECT_NE(child->op()->hash().value(), before);                // mistake: the input's hash left out of the child's
}

// The file is read through the image library at every validation: float
// images clamped to 0..1 for the viewer, rows bottom first as GL has them,
// grey as grey. Mistakes: the file read only once under its name, an image
// kept after a failed read, the library's reason left out of the error.
TEST(DDImageRead, ReadsTheFileAgainThroughTheImageLibrary) {
  testsupport::TempDir dir;
  Graph graph;
  Node* node = graph.create("Read", "", nullptr);
  graph.finish(node);
  Iop* iop = dynamic_cast<Iop*>(node->op());
  // Writes and reads a picture of `width` x 1 or x 2, rows top first.
  const auto load = [&](const std::string& name, int width, int channels, const std::vector<float>& values) {
    const std::string path = dir.file(name);
    auto out = OIIO::ImageOutput::create(path);
    const bool floats = name.find(".exr") != std::string::npos;
    const OIIO::ImageSpec layout(width, int(values.size()) / width / channels, channels,
                                 floats ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8);
    ASSERT_TRUE(out && out->open(path, layout) && out->write_image(OIIO::TypeDesc::FLOAT, values.data()) &&
                out->close());
    set(node, "file", path.c_str());
    graph.invalidateAll();
    iop->validate();
    ASSERT_FALSE(iop->hasError()) << iop->errorMessage();
  };
  load("grey.tif", 2, 1, {0.2f, 1.0f});
  EXPECT_EQ(iop->pixels(), (std::vector<unsigned char>{51, 51, 51, 255, 255, 255, 255, 255}));
  load("grey.tif", 2, 1, {1.0f, 0.2f});
  EXPECT_EQ(iop->pixels(), (std::vector<unsigned char>{255, 255, 255, 255, 51, 51, 51, 255}));
  const auto greyHash = iop->hash().value();
  // 3 x 2, red 2, -1, 0.5 in the top row, 0.25 in the bottom one.
  load("hdr.exr", 3, 4, {2, 0, 0, 1, -1, 0, 0, 1, 0.5f, 0, 0, 1, 0.25f, 0, 0, 1, 0.25f, 0, 0, 1, 0.25f, 0, 0, 1});
  EXPECT_EQ(std::make_pair(iop->format().width(), iop->format().height()), std::make_pair(3, 2));
  const std::vector<unsigned char>& px = iop->pixels();
  ASSERT_EQ(px.size(), 24u);
  EXPECT_EQ(std::vector<int>({px[0], px[12], px[16], px[20], px[23]}), std::vector<int>({64, 255, 0, 128, 255}));
  EXPECT_NE(iop->hash().value(), greyHash);

  testsupport::writeFile(dir.file("hdr.exr"), "this is not a picture\n");
  graph.invalidateAll();
  iop->validate();
  ASSERT_TRUE(iop->hasError());
  const std::string message = iop->errorMessage();
  EXPECT_EQ(message.rfind("cannot read \"" + dir.file("hdr.exr") + "\": ", 0), 0u) << message;
  EXPECT_GT(message.size(), dir.file("hdr.exr").size() + 20) << message;  // with the library's reason
  EXPECT_TRUE(iop->pixels().empty());
}

}  // namespace
