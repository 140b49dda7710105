// Pictures and textures through OpenImageIO, which the renderer reaches only
// through the module libQuorImages.so, opened on the first picture written or
// texture used: reading a scene, and a frame without them, never load the
// image library and the hundreds of libraries behind it. Both sides are
// built from this header together.
#ifndef QUOR_RENDER_IMAGELIBRARY_H
#define QUOR_RENDER_IMAGELIBRARY_H

#include <string>

namespace quor {
namespace render {

// The module's file name, and the name of the function it exports:
// `const ImageLibrary* QuorImages_module(void)`.
constexpr const char* kImageModuleFile = "libQuorImages.so";
constexpr const char* kImageModuleEntry = "QuorImages_module";

// Changes whenever the table changes, so that a module of another build is
// refused rather than called.
constexpr int kImageModuleVersion = 1;

enum class PixelType { UInt8, UInt16, Float };

// A picture to write: rows top first, `channels` values of `type` a pixel
// (alpha last of four), colour premultiplied unless `unassociated`.
struct PictureData {
  int width = 0, height = 0, channels = 0;
  PixelType type = PixelType::UInt8;
  bool unassociated = false;
  const void* pixels = nullptr;
};

struct ImageLibrary {
  int version;
  // Writes the picture as the file `name` in `format` ("tiff", "png",
  // "openexr"); false with the library's reason in `error`.
  bool (*writePicture)(const std::string& name, const char* format, const PictureData& picture, std::string& error);
  // The DocumentName tag of an image file; empty when it cannot be read.
  std::string (*documentName)(const std::string& file);
  // Makes a tiled, MIP-mapped TIFF texture `texture` of the image file
  // `image`, clamped at its edges, tagged with `documentName`; false with
  // the reason.
  bool (*writeTexture)(const std::string& image, const std::string& texture, const std::string& documentName,
                       std::string& error);
  // The process's texture system: forgets what it knows of every file, so
  // that a texture made again is read again.
  void (*forgetTextures)();
  // A texture of the system, null with the reason when it cannot be read.
  void* (*openTexture)(const std::string& name, std::string& error);
  // Per-thread state of the system.
  void* (*newThreadState)();
  void (*deleteThreadState)(void* state);
  // The colour of a texture, filtered over the footprint that the
  // derivatives of (s, t) along the picture's x and y describe.
  void (*lookup)(void* texture, void* state, float s, float t, float dsdx, float dtdx, float dsdy, float dtdy,
                 float rgb[3]);
};

// The module's table, opened on the first call from the folder of the
// binary that holds the renderer (or ../lib beside it). Throws
// std::runtime_error saying why when it cannot be opened; later calls give
// the same answer without trying again.
const ImageLibrary& imageLibrary();

}  // namespace render
}  // namespace quor

#endif
