// The image-file module (see ImageFilesModule.h): reading and writing
// through OpenImageIO, in any format the library knows.
#include "ImageFilesModule.h"

#include <OpenImageIO/imageio.h>

#include <cstdio>
#include <new>

namespace DD {
namespace Image {
namespace {

std::string orUnknown(std::string why) { return why.empty() ? "unknown reason" : why; }

bool readFile(const std::string& path, bool unassociatedAlpha, ImageFile& image, std::string& error) {
  try {
    OIIO::ImageSpec hints;
    if (unassociatedAlpha) hints.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &hints);
    if (!in) {
      error = orUnknown(OIIO::geterror());
      return false;
    }
    const OIIO::ImageSpec& layout = in->spec();
    ImageFile read;
    read.width = layout.width;
    read.height = layout.height;
    read.channels = layout.nchannels;
    read.alphaChannel = layout.alpha_channel;
    read.eightBit = layout.format == OIIO::TypeDesc::UINT8;
    if (read.width <= 0 || read.height <= 0 || read.channels <= 0) {
      error = "the image is empty";
      return false;
    }
    try {
      read.values.resize(std::size_t(read.width) * std::size_t(read.height) * std::size_t(read.channels));
    } catch (const std::bad_alloc&) {
      char text[96];
      std::snprintf(text, sizeof text, "a %d x %d image is too large for memory", read.width, read.height);
      error = text;
      return false;
    }
    if (!in->read_image(0, 0, 0, read.channels, OIIO::TypeDesc::FLOAT, read.values.data())) {
      error = orUnknown(in->geterror());
      return false;
    }
    in->close();
    image = std::move(read);
    return true;
  } catch (const std::exception& e) {
    error = orUnknown(e.what());
    return false;
  }
}

bool writeFile(const std::string& path, const std::string& format, int width, int height, const unsigned char* rgba,
               bool unassociatedAlpha, std::string& error) {
  try {
    OIIO::ImageSpec layout(width, height, 4, OIIO::TypeDesc::UINT8);
    layout.alpha_channel = 3;
    if (unassociatedAlpha) layout.attribute("oiio:UnassociatedAlpha", 1);
    auto out = OIIO::ImageOutput::create(format);
    if (!out) {
      error = orUnknown(OIIO::geterror());
      return false;
    }
    if (!out->open(path, layout)) {
      error = orUnknown(out->geterror());
      return false;
    }
    bool written = out->write_image(OIIO::TypeDesc::UINT8, rgba);
    std::string why = written ? std::string() : out->geterror();
    if (!out->close() && written) {
      written = false;
      why = out->geterror();
    }
    if (!written) error = orUnknown(why);
    return written;
  } catch (const std::exception& e) {
    error = orUnknown(e.what());
    return false;
  }
}

const ImageFilesTable kTable = {kImageFilesVersion, readFile, writeFile};

}  // namespace
}  // namespace Image
}  // namespace DD

extern "C" __attribute__((visibility("default"))) const DD::Image::ImageFilesTable* DDImageFiles_module(void) {
  return &DD::Image::kTable;
}
