// The module that reads and writes image files for libDDImage
// (DDImageHost/ImageFiles.h): it alone links the image library. libDDImage
// opens it beside its own file on first use and reaches it through the one
// function it exports, which returns the table below. Both sides are built
// from this header together.
#ifndef DDImage_ImageFilesModule_h
#define DDImage_ImageFilesModule_h

#include <string>

#include "DDImageHost/ImageFiles.h"

namespace DD {
namespace Image {

// The module's file name, and the name of the function it exports:
// `const ImageFilesTable* DDImageFiles_module(void)`.
constexpr const char* kImageFilesModule = "libDDImageFiles.so";
constexpr const char* kImageFilesEntry = "DDImageFiles_module";

// Changes whenever the table changes, so that a module of another build is
// refused rather than called.
constexpr int kImageFilesVersion = 1;

// readImageFile and writeImageFile of DDImageHost/ImageFiles.h; neither
// throws.
struct ImageFilesTable {
  int version;
  bool (*read)(const std::string& path, bool unassociatedAlpha, ImageFile& image, std::string& error);
  bool (*write)(const std::string& path, const std::string& format, int width, int height, const unsigned char* rgba,
                bool unassociatedAlpha, std::string& error);
};

}  // namespace Image
}  // namespace DD

#endif
