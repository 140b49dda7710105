#include "CardTestSupport.h"

#include <png.h>
#include <unistd.h>

#include <cstring>

namespace cardtest {

std::string tempPath(const std::string& name) {
  static int counter = 0;
  return "/tmp/quorcard-node-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name;
}

std::string writePng(const std::string& name, int width, int height) {
  const std::string path = tempPath(name);
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 200);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << image.message;
  return path;
}

void CardGraph::SetUp() {
  std::string error;
  node = graph.create("QuorCard", "", &error);
  ASSERT_NE(node, nullptr) << error;
  graph.finish(node);
  card = dynamic_cast<quorcard::QuorCard*>(node->op());
  ASSERT_NE(card, nullptr);
}

Node* CardGraph::add(const std::string& cls, const std::string& name) {
  std::string error;
  Node* n = graph.create(cls, name, &error);
  EXPECT_NE(n, nullptr) << error;
  if (n) graph.finish(n);
  return n;
}

void CardGraph::set(const std::string& name, const std::string& value) {
  DD::Image::Knob* k = node->knob(name);
  ASSERT_NE(k, nullptr) << name;
  ASSERT_TRUE(node->userSetText(k, value.c_str())) << name << " = " << value;
}

std::string CardGraph::cpstr() const {
  const char* t = node->knob("cpstr")->get_text();
  return t ? t : "";
}

std::vector<std::string> CardGraph::pointKnobNames() const {
  std::vector<std::string> names;
  bool after = false;
  for (const auto& k : node->knobs()) {
    if (after) names.push_back(k->name().empty() ? "<" + std::string(k->Class()) + ">" : k->name());
    if (k->is("delimiter")) after = true;
  }
  return names;
}

}  // namespace cardtest
