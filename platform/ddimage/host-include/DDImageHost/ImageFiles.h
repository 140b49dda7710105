// Image files, as the stock Read node, the viewer's pictures and hosts read
// and write them. The image library does the work in a module of its own,
// libDDImageFiles.so beside libDDImage.so, loaded on the first image read or
// written: a host that touches no image file never loads the library.
#ifndef DDImage_ImageFiles_h
#define DDImage_ImageFiles_h

#include <string>
#include <vector>

namespace DD {
namespace Image {

// The knob of the stock Read node that names its file.
constexpr char kReadFileKnob[] = "file";

// An image as its file holds it: width x height pixels of `channels`
// values each, as floats, rows top first.
struct ImageFile {
  int width = 0;
  int height = 0;
  int channels = 0;
  int alphaChannel = -1;  // the channel that the file names as alpha; -1 if none
  bool eightBit = false;  // the file holds 8-bit values
  std::vector<float> values;
};

// Reads the image of a file in any format the image library reads. With
// `unassociatedAlpha` the colour comes as the file stores it, else
// premultiplied by alpha. False, with the reason in `error`, when the file
// cannot be read or holds no pixels.
bool readImageFile(const std::string& path, bool unassociatedAlpha, ImageFile& image, std::string& error);

// The image as 8-bit RGBA, floats clamped to 0..1: one channel is grey, two
// are grey and alpha, three colour, four or more colour and alpha (the
// file's alpha channel where it names one). Rows top first, or bottom first
// (as OpenGL takes them) with `bottomUp`.
std::vector<unsigned char> rgba8(const ImageFile& image, bool bottomUp);

// Writes width x height 8-bit RGBA pixels, rows top first, as a file of
// `format` ("png", "tiff", "openexr", ...); `unassociatedAlpha` says that
// the colour is not premultiplied. False, with the reason in `error`.
bool writeImageFile(const std::string& path, const std::string& format, int width, int height,
                    const unsigned char* rgba, bool unassociatedAlpha, std::string& error);

}  // namespace Image
}  // namespace DD

#endif
