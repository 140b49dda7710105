// The stock "Read" node: an image read through OpenImageIO, in any format
// the library reads (PNG, JPEG, TIFF, OpenEXR, DPX, ...).
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
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
  const char* node_help() const override {
    return "Reads an image from a file: PNG, JPEG, TIFF, OpenEXR, DPX or any other format the image library "
           "reads.";
  }
  int minimum_inputs() const override { return 0; }
  int maximum_inputs() const override { return 0; }

  void knobs(Knob_Callback f) override { File_knob(f, &file_, "file"); }

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
    OIIO::ImageSpec hints;
    hints.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(file_, &hints);
    if (!in) {
      std::string why = OIIO::geterror();
      error("cannot read \"%s\": %s", file_.c_str(), why.empty() ? "unknown reason" : why.c_str());
      return;
    }
    const OIIO::ImageSpec layout = in->spec();
    const int w = layout.width, h = layout.height, n = layout.nchannels;
    if (w <= 0 || h <= 0 || n <= 0) {
      error("cannot read \"%s\": the image is empty", file_.c_str());
      return;
    }
    std::vector<float> values;
    try {
      values.resize(std::size_t(w) * std::size_t(h) * std::size_t(n));
    } catch (const std::bad_alloc&) {
      error("cannot read \"%s\": a %d x %d image is too large for memory", file_.c_str(), w, h);
      return;
    }
    if (!in->read_image(0, 0, 0, n, OIIO::TypeDesc::FLOAT, values.data())) {
      const std::string why = in->geterror();
      error("cannot read \"%s\": %s", file_.c_str(), why.c_str());
      return;
    }
    in->close();
    // 8-bit RGBA, bottom row first as GL takes it; floats clamped to 0..1.
    // One channel is grey, two are grey and alpha, three colour, four or
    // more colour and alpha (the file's alpha channel where it names one).
    const int alpha = layout.alpha_channel >= 0 ? layout.alpha_channel : (n == 2 ? 1 : (n >= 4 ? 3 : -1));
    const auto byte = [](float v) {
      return static_cast<unsigned char>(std::lround(std::clamp(std::isnan(v) ? 0.0f : v, 0.0f, 1.0f) * 255.0f));
    };
    std::vector<unsigned char> rgba(std::size_t(w) * std::size_t(h) * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const float* p = &values[(std::size_t(y) * w + x) * n];
        unsigned char* q = &rgba[(std::size_t(h - 1 - y) * w + x) * 4];
        const bool grey = n < 3;
        for (int c = 0; c < 3; ++c) q[c] = byte(p[grey ? 0 : c]);
        q[3] = alpha >= 0 && alpha < n ? byte(p[alpha]) : 255;
      }
    if (layout.format != OIIO::TypeDesc::UINT8) {
      Hash content;
      content.append(values.data(), values.size() * sizeof(float));
      content_ = content.value();
    }
    setImage(w, h, std::move(rgba));
  }

  std::string file_;
  U64 content_ = 0;
};

Op* buildRead(Node* node) { return new Read(node); }
const Op::Description Read::description("Read", buildRead);

}  // namespace
}  // namespace Image
}  // namespace DD
