// The stock nodes: "Axis" (local and world matrices through a parent) and
// "Read" (a PNG file as an image).
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/AxisOp.h"
#include "DDImage/Iop.h"
#include "DDImageHost/Host.h"
#include "TestSupport.h"

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
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(axis(parent)->local().array()[i], parentLocal.array()[i], 1e-6f) << i;
  // (1,1,1) - pivot = (0,1,1); scaled (0,.5,.5); about x (0,-.5,.5);
  // + pivot (1,-.5,.5); + translate (1,-.5,1.5).
  expectPoint(axis(child)->local(), Vector3(1, 1, 1), 1, -0.5f, 1.5f);
  expectPoint(axis(child)->local(), Vector3(1, 0, 0), 1, 0, 1);  // the pivot stays put
  // Then the parent: (x,y,z) -> (-y,x,z) + (1,2,3).
  expectPoint(axis(child)->matrix(), Vector3(1, 1, 1), 1.5f, 3, 4.5f);
  EXPECT_EQ(axis(child)->matrix(), axis(parent)->matrix() * axis(child)->local());
}

TEST_F(DDImageAxis, HashesAndAChildFollowTheParentsLaterChanges) {
  axis(child)->validate();
  const U64 parentBefore = axis(parent)->hash().value(), childBefore = axis(child)->hash().value();
  set(parent, "translate", "0,6,0");
  axis(child)->validate();  // re-validates the child because its input changed
  expectPoint(axis(child)->matrix(), Vector3(0, 0, 0), 0, 6, 0);
  EXPECT_NE(axis(parent)->hash().value(), parentBefore);
  EXPECT_NE(axis(child)->hash().value(), childBefore);
}

// A Read node, and a folder of its own for the files of one test.
class DDImageRead : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    node = graph.create("Read", "", &error);
    ASSERT_NE(node, nullptr) << error;
    graph.finish(node);
    iop = dynamic_cast<Iop*>(node->op());
    ASSERT_NE(iop, nullptr);
  }
  void load(const std::string& file) {
    ASSERT_TRUE(node->userSetText(node->knob("file"), file.c_str()));
    iop->validate();
  }

  testsupport::TempDir dir;
  Graph graph;
  Node* node = nullptr;
  Iop* iop = nullptr;
};

TEST_F(DDImageRead, UnreadableFilesGiveAnErrorAndNoImage) {
  const std::string good = dir.file("good.png");
  ASSERT_TRUE(testsupport::writePng(good, 4, 4, std::vector<unsigned char>(64, 200)));
  testsupport::writeFile(dir.file("text.png"), "this is not a picture\n");
  testsupport::writeFile(dir.file("cut.png"), testsupport::readFile(good).substr(0, 40));  // cut after the header
  for (const char* bad : {"missing.png", "text.png", "cut.png"}) {
    load(good);
    ASSERT_FALSE(iop->hasError()) << iop->errorMessage();
    load(dir.file(bad));
    EXPECT_TRUE(iop->hasError()) << bad;
    EXPECT_TRUE(iop->pixels().empty()) << bad;
  }
}

TEST_F(DDImageRead, ReadsRgbaBottomRowFirstAndAgainWhenTheFileChanges) {
  // 2 x 3 picture, top row first; pixel (x, row) = (10x + row, 100 + row, 50x, 255 - row).
  const int w = 2, h = 3;
  std::vector<unsigned char> topDown;
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x)
      for (int v : {10 * x + row, 100 + row, 50 * x, 255 - row}) topDown.push_back(static_cast<unsigned char>(v));
  const std::string file = dir.file("picture.png");
  ASSERT_TRUE(testsupport::writePng(file, w, h, topDown));
  load(file);
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

  // Same name, same size, other pixels: the host re-validates everything.
  const U64 first = iop->hash().value();
  ASSERT_TRUE(testsupport::writePng(file, w, h, std::vector<unsigned char>(24, 20)));
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
