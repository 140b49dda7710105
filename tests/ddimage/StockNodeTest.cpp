// The stock nodes: "Axis" (local and world matrices through a parent) and
// "Read" (a PNG file as an image).
#include <png.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/AxisOp.h"
#include "DDImage/Host.h"
#include "DDImage/Iop.h"

using namespace DD::Image;

namespace {

void expectPoint(const Matrix4& m, Vector3 p, float x, float y, float z) {
  const Vector3 q = m.transform(p);
  EXPECT_NEAR(q.x, x, 1e-5f) << "from " << p.x << "," << p.y << "," << p.z;
  EXPECT_NEAR(q.y, y, 1e-5f);
  EXPECT_NEAR(q.z, z, 1e-5f);
}

class DDImageAxis : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    parent = graph.create("Axis", "Parent", &error);
    child = graph.create("Axis", "Child", &error);
    ASSERT_TRUE(parent && child) << error;
    graph.finish(parent);
    graph.finish(child);
    ASSERT_TRUE(graph.connect(child, 0, parent, &error)) << error;
  }
  void set(Node* n, const char* knob, const char* text) {
    ASSERT_TRUE(n->userSetText(n->knob(knob), text)) << knob << " = " << text;
  }
  static AxisOp* axis(Node* n) { return dynamic_cast<AxisOp*>(n->op()); }

  Graph graph;
  Node* parent = nullptr;
  Node* child = nullptr;
};

TEST_F(DDImageAxis, KnobsInPanelOrder) {
  std::vector<std::string> names;
  for (const auto& k : child->knobs()) names.push_back(k->name());
  EXPECT_EQ(names, (std::vector<std::string>{"translate", "rotate", "scaling", "uniform_scale", "skew", "pivot",
                                             "display", "selectable", "file_menu", "snap_menu"}));
  EXPECT_EQ(child->knob("scaling")->get_value(1), 1);
  EXPECT_EQ(child->knob("uniform_scale")->get_value(), 1);
  axis(child)->validate();
  EXPECT_EQ(axis(child)->matrix(), Matrix4::_identity);
}

TEST_F(DDImageAxis, LocalAndWorldMatrices) {
  // Parent: rotate 90 degrees about z, then move by (1, 2, 3).
  set(parent, "translate", "1,2,3");
  set(parent, "rotate", "0,0,90");
  // Child: scale by (2,1,1) * 0.5 and turn 90 degrees about x, both around
  // the pivot (1,0,0), then move by (0,0,1).
  set(child, "translate", "0,0,1");
  set(child, "rotate", "90,0,0");
  set(child, "scaling", "2,1,1");
  set(child, "uniform_scale", "0.5");
  set(child, "pivot", "1,0,0");
  axis(child)->validate();

  const Matrix4 parentLocal(0, -1, 0, 1, 1, 0, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1);
  for (int i = 0; i < 16; ++i) {
    EXPECT_NEAR(axis(parent)->local().array()[i], parentLocal.array()[i], 1e-6f) << i;
    EXPECT_EQ(axis(parent)->matrix().array()[i], axis(parent)->local().array()[i]) << "no parent of its own";
  }
  // (1,1,1) - pivot = (0,1,1); scaled (0,.5,.5); about x (0,-.5,.5);
  // + pivot (1,-.5,.5); + translate (1,-.5,1.5).
  expectPoint(axis(child)->local(), Vector3(1, 1, 1), 1, -0.5f, 1.5f);
  expectPoint(axis(child)->local(), Vector3(1, 0, 0), 1, 0, 1);  // the pivot stays put
  // Then the parent: (x,y,z) -> (-y,x,z) + (1,2,3).
  expectPoint(axis(child)->matrix(), Vector3(1, 1, 1), 1.5f, 3, 4.5f);
  EXPECT_EQ(axis(child)->matrix(), axis(parent)->matrix() * axis(child)->local());

  // Rotations apply z first, then x, then y: (1,0,0) stays under x and then
  // turns to (0,0,-1) about y (the other order would give (0,1,0)).
  for (const char* knob : {"pivot", "translate"}) set(child, knob, "0");
  for (const char* knob : {"scaling", "uniform_scale"}) set(child, knob, "1");
  set(child, "rotate", "90,90,0");
  axis(child)->validate();
  expectPoint(axis(child)->local(), Vector3(1, 0, 0), 0, 0, -1);

  set(child, "rotate", "0,0,0");
  set(child, "skew", "0.5,0,0");  // x += 0.5 * y
  axis(child)->validate();
  expectPoint(axis(child)->local(), Vector3(0, 2, 0), 1, 2, 0);
}

TEST_F(DDImageAxis, AChildFollowsItsParentsLaterChanges) {
  axis(child)->validate();
  set(parent, "translate", "0,5,0");
  axis(child)->validate();
  expectPoint(axis(child)->matrix(), Vector3(0, 0, 0), 0, 5, 0);
  const U64 before = axis(child)->hash().value();
  set(parent, "translate", "0,6,0");
  axis(child)->validate();
  expectPoint(axis(child)->matrix(), Vector3(0, 0, 0), 0, 6, 0);
  EXPECT_NE(axis(child)->hash().value(), before);

  std::string error;
  EXPECT_FALSE(graph.connect(parent, 0, child, &error)) << "a cycle";
  Node* read = graph.create("Read", "", &error);
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(graph.connect(child, 0, read, &error)) << "an axis input takes axes only";
  EXPECT_TRUE(graph.connect(child, 0, nullptr, &error));
  axis(child)->validate();
  EXPECT_EQ(axis(child)->matrix(), axis(child)->local());
}

// A Read node, and a folder of its own for the files of one test.
class DDImageRead : public ::testing::Test {
 protected:
  void SetUp() override {
    char dirTemplate[] = "/tmp/ddimage-read-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir = dirTemplate;
    std::string error;
    node = graph.create("Read", "", &error);
    ASSERT_NE(node, nullptr) << error;
    graph.finish(node);
    iop = dynamic_cast<Iop*>(node->op());
    ASSERT_NE(iop, nullptr);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  // Writes a w x h RGBA picture, rows top-down as PNG stores them.
  std::string writePng(const char* name, int w, int h, const std::vector<unsigned char>& rgba) {
    const std::string file = dir + "/" + name;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    EXPECT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, rgba.data(), 0, nullptr)) << image.message;
    return file;
  }
  void load(const std::string& file) {
    ASSERT_TRUE(node->userSetText(node->knob("file"), file.c_str()));
    iop->validate();
  }

  Graph graph;
  Node* node = nullptr;
  Iop* iop = nullptr;
  std::string dir;
};

TEST_F(DDImageRead, UnreadableFilesGiveAnErrorAndNoImage) {
  const std::string good = writePng("good.png", 4, 4, std::vector<unsigned char>(64, 200));
  std::ifstream in(good, std::ios::binary);
  const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(dir + "/text.png") << "this is not a picture\n";
  std::ofstream(dir + "/cut.png", std::ios::binary) << png.substr(0, 40);  // cut short after the header
  for (const char* bad : {"missing.png", "text.png", "cut.png"}) {
    load(good);
    ASSERT_FALSE(iop->hasError()) << iop->errorMessage();
    load(dir + "/" + bad);
    EXPECT_TRUE(iop->hasError()) << bad;
    EXPECT_EQ(iop->format().width(), 0) << bad;
    EXPECT_EQ(iop->format().height(), 0) << bad;
    EXPECT_TRUE(iop->pixels().empty()) << bad;
  }
}

TEST_F(DDImageRead, ReadsRgbaBottomRowFirst) {
  // 2 x 3 picture, top row first; pixel (x, row) = (10x + row, 100 + row, 50x, 255 - row).
  const int w = 2, h = 3;
  std::vector<unsigned char> topDown;
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x)
      for (int v : {10 * x + row, 100 + row, 50 * x, 255 - row}) topDown.push_back(static_cast<unsigned char>(v));
  load(writePng("picture.png", w, h, topDown));
  ASSERT_FALSE(iop->hasError()) << iop->errorMessage();
  EXPECT_EQ(iop->format().width(), 2);
  EXPECT_EQ(iop->format().height(), 3);
  const std::vector<unsigned char>& px = iop->pixels();
  ASSERT_EQ(px.size(), 24u);
  for (int glRow = 0; glRow < h; ++glRow)  // GL row 0 is the picture's bottom row
    for (int x = 0; x < w; ++x) {
      const int row = h - 1 - glRow;
      const unsigned char* p = &px[static_cast<size_t>((glRow * w + x) * 4)];
      EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{10 * x + row, 100 + row, 50 * x, 255 - row}));
    }
}

TEST_F(DDImageRead, HashFollowsTheFilesContent) {
  const std::string file = writePng("changing.png", 2, 2, std::vector<unsigned char>(16, 10));
  load(file);
  const U64 first = iop->hash().value();
  iop->validate();
  EXPECT_EQ(iop->hash().value(), first);

  // Same name, same size, other pixels: the host re-validates everything.
  writePng("changing.png", 2, 2, std::vector<unsigned char>(16, 20));
  graph.invalidateAll();
  iop->validate();
  EXPECT_EQ(iop->pixels()[0], 20);
  EXPECT_NE(iop->hash().value(), first);

  // The file goes away: the error shows and the old image is gone.
  std::filesystem::remove(file);
  graph.invalidateAll();
  iop->validate();
  EXPECT_TRUE(iop->hasError());
  EXPECT_TRUE(iop->pixels().empty());
}

}  // namespace
