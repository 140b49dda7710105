// The stock "Read" node: an image read through the image library, in any
// format it reads (PNG, JPEG, TIFF, OpenEXR, DPX, ...).
#include <string>
#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/Knobs.h"
#include "DDImageHost/ImageFiles.h"

namespace DD {
namespace Image {
namespace {

class Read : public Iop {
 public:
  explicit Read(Node* node) : Iop(node) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override {
    return "Reads an image from a file: PNG, JPEG, TIFF, OpenEXR, DPX or any other format the image library "
           "reads.";
  }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }

  void knobs(Knob_Callback f) override { File_knob(f, &file_, kReadFileKnob); }

  // Reads the file again on every validation: its content may have changed
  // under the same name.
  void _validate(bool for_real) override {
    Iop::_validate(for_real);
    clearError();
    clearImage();
    content_ = 0;
    if (file_.empty()) return;
    load();
  }

  // The hash follows the file name and the image it holds: its 8-bit
  // pixels, and for an image of more than 8 bits a channel, all of its
  // values, which go beyond what the 8-bit pixels keep.
  void append(Hash& h) override {
    h.append(file_);
    h.append(format().width());
    h.append(format().height());
    if (!pixels().empty()) h.append(pixels().data(), pixels().size());
    if (content_) h.append(content_);
  }

  static const Description description;

 private:
  void load() {
    // Colour and alpha as the file stores them, without premultiplying.
    ImageFile image;
    std::string why;
    if (!readImageFile(file_, true, image, why)) {
      error("cannot read \"%s\": %s", file_.c_str(), why.c_str());
      return;
    }
    std::vector<unsigned char> rgba = rgba8(image, true);
    if (!image.eightBit) {
      Hash content;
      content.append(image.values.data(), image.values.size() * sizeof(float));
      content_ = content.value();
    }
    setImage(image.width, image.height, std::move(rgba));
  }

  std::string file_;
  U64 content_ = 0;
};

Op* buildRead(Node* node) { return new Read(node); }
const Op::Description Read::description("Read", buildRead);

}  // namespace
}  // namespace Image
}  // namespace DD
