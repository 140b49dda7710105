// The stock "Read" node: an image read from a PNG file.
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/Knobs.h"

namespace DD {
namespace Image {
namespace {

class Read : public Iop {
 public:
  explicit Read(Node* node) : Iop(node) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "Reads an image from a PNG file."; }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }

  void knobs(Knob_Callback f) override { File_knob(f, &file_, "file"); }

  // Reads the file again on every validation: its content may have changed
  // under the same name.
  void _validate(bool for_real) override {
    Iop::_validate(for_real);
    clearError();
    clearImage();
    if (file_.empty()) return;
    load();
  }

  // The hash follows the file name and the image it holds.
  void append(Hash& h) override {
    h.append(file_);
    h.append(format().width());
    h.append(format().height());
    if (!pixels().empty()) h.append(pixels().data(), pixels().size());
  }

  static const Description description;

 private:
  void load() {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file_.c_str())) {
      error("cannot read \"%s\": %s", file_.c_str(), image.message);
      return;
    }
    image.format = PNG_FORMAT_RGBA;
    const size_t stride = PNG_IMAGE_ROW_STRIDE(image);
    std::vector<unsigned char> pixels(PNG_IMAGE_BUFFER_SIZE(image, stride));
    // A negative stride stores the bottom row first, as GL takes it.
    if (!png_image_finish_read(&image, nullptr, pixels.data(), -static_cast<png_int_32>(stride), nullptr)) {
      error("cannot decode \"%s\": %s", file_.c_str(), image.message);
      png_image_free(&image);
      return;
    }
    setImage(static_cast<int>(image.width), static_cast<int>(image.height), std::move(pixels));
  }

  std::string file_;
};

Op* buildRead(Node* node) { return new Read(node); }
const Op::Description Read::description("Read", buildRead);

}  // namespace
}  // namespace Image
}  // namespace DD
