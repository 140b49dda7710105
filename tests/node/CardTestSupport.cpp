#include "CardTestSupport.h"

#include <cstdlib>

#include "DDImage/Iop.h"
#include "DDImage/Knobs.h"

namespace cardtest {

namespace {

// cot(15 degrees) = 2 + sqrt(3); the picture's aspect is 4 / 3.
const double kCot = 2 + std::sqrt(3.0);
const double kAspect = 640.0 / 480.0;
const double kEyeZ = 2.5;

// "TestFormat": an image of any size, without pixels.
struct TestFormat : public DD::Image::Iop {
  explicit TestFormat(Node* node) : Iop(node) {}
  const char* Class() const override { return "TestFormat"; }
  const char* node_help() const override { return "An image format without pixels."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }
  void knobs(DD::Image::Knob_Callback f) override {
    DD::Image::Int_knob(f, &width, "width");
    DD::Image::Int_knob(f, &height, "height");
  }
  void _validate(bool) override { setImage(width, height, {}); }
  int width = 1, height = 1;
};

DD::Image::Op* buildTestFormat(Node* node) { return new TestFormat(node); }
const DD::Image::Op::Description testFormat("TestFormat", buildTestFormat);

}  // namespace

PixelPos byHand(double x, double y, double z) {
  const double d = kEyeZ - z;
  return PixelPos{320 + x / d * kCot / kAspect * 320, 240 - y / d * kCot * 240};
}

Rgb Picture::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
  const unsigned char* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
  return {p[0], p[1], p[2]};
}

int Picture::countAround(const PixelPos& q, int radius, const Rgb& c) const {
  int n = 0;
  for (int j = q.iy() - radius; j <= q.iy() + radius; ++j)
    for (int i = q.ix() - radius; i <= q.ix() + radius; ++i) n += at(i, j) == c;
  return n;
}

void CardTest::SetUp() {
  setenv("QUOR_OPTIONS_FILE", dir.file("options").c_str(), 1);
  node = add("QuorCard");
  ASSERT_NE(node, nullptr);
  viewer.reset(new DD::Image::Viewer(graph));
}

Node* CardTest::add(const std::string& cls) {
  std::string error;
  Node* n = graph.create(cls, "", &error);
  EXPECT_NE(n, nullptr) << error;
  graph.finish(n);
  return n;
}

Node* CardTest::load(const Knobs& knobs) {
  std::string error;
  Node* n = graph.create("QuorCard", "", &error);
  for (const auto& k : knobs) EXPECT_TRUE(n && knob(k.first, n)->set_text(k.second.c_str())) << k.first << error;
  graph.finish(n);
  return n;
}

void CardTest::reload(const Knobs& knobs) {
  set("translate", "0,0,100");
  node = load(knobs);
}

Node* CardTest::format(int width, int height) {
  Node* image = add("TestFormat");
  set("width", std::to_string(width), image);
  set("height", std::to_string(height), image);
  return image;
}

Node* CardTest::addImage(int width, int height, const std::vector<unsigned char>& rgba) {
  const std::string path = dir.file("image" + std::to_string(graph.nodes().size()) + ".png");
  EXPECT_TRUE(testsupport::writePng(path, width, height, rgba));
  Node* read = add("Read");
  set("file", path, read);
  return read;
}

void CardTest::connect(int input, Node* from) {
  std::string error;
  EXPECT_TRUE(graph.connect(node, input, from, &error)) << error;
}

void CardTest::set(const std::string& name, const std::string& value, Node* n) {
  ASSERT_TRUE((n ? n : node)->userSetText(knob(name, n), value.c_str())) << name << " = " << value;
}

void CardTest::setValues(const std::string& name, const Values& values, Node* n) {
  ASSERT_TRUE((n ? n : node)->userSetValues(knob(name, n), values)) << name;
}

DD::Image::Knob* CardTest::knob(const std::string& name, Node* n) const {
  DD::Image::Knob* k = (n ? n : node)->knob(name);
  EXPECT_NE(k, nullptr) << "no knob " << name;
  return k;
}

Values CardTest::values(const std::string& name, Node* n) const {
  const DD::Image::Knob* k = knob(name, n);
  return k ? Values{k->get_value(0), k->get_value(1), k->get_value(2)} : Values(3, NAN);
}

std::vector<std::string> CardTest::pointKnobNames() const {
  std::vector<std::string> names;
  bool after = false;
  for (const auto& k : node->knobs()) {
    if (after) names.push_back(k->name().empty() ? "<header>" : k->name());
    after = after || k->is("delimiter");
  }
  return names;
}

std::vector<std::string> CardTest::visiblePointKnobs() const {
  std::vector<std::string> names;
  for (const auto& k : node->knobs())
    if (k->name().rfind("control_point.", 0) == 0 && k->isVisible()) names.push_back(k->name());
  return names;
}

DD::Image::Hash CardTest::hash(Node* n) {
  DD::Image::Op* op = (n ? n : node)->op();
  op->validate(true);
  return op->hash();
}

Picture CardTest::draw(bool stencil) {
  Picture p;
  viewer->setStencil(stencil);
  std::string error;
  EXPECT_TRUE(viewer->draw(&p.rgba, &error)) << error;
  p.width = viewer->width(), p.height = viewer->height();
  return p;
}

void CardTest::press(const PixelPos& p) {
  std::string error;
  ASSERT_TRUE(viewer->press(static_cast<float>(p.ix()), static_cast<float>(p.iy()), &error)) << error;
  viewer->release(static_cast<float>(p.ix()), static_cast<float>(p.iy()));
}

void expectNear(const Values& got, const Values& want, double tolerance, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << what << " [" << i << "]";
}

}  // namespace cardtest
