// The image-library module (see render/ImageLibrary.h): pictures written,
// textures made and looked up through OpenImageIO, the only part of the
// renderer that links it.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <OpenImageIO/texture.h>

#include "render/ImageLibrary.h"

namespace quor {
namespace render {
namespace {

bool writePicture(const std::string& name, const char* format, const PictureData& picture, std::string& error) {
  const OIIO::TypeDesc type = picture.type == PixelType::UInt8    ? OIIO::TypeDesc::UINT8
                              : picture.type == PixelType::UInt16 ? OIIO::TypeDesc::UINT16
                                                                  : OIIO::TypeDesc::FLOAT;
  OIIO::ImageSpec layout(picture.width, picture.height, picture.channels, type);
  if (picture.channels == 4) layout.alpha_channel = 3;
  if (picture.unassociated) layout.attribute("oiio:UnassociatedAlpha", 1);
  // Light compression: writing takes a fraction of the time of the default,
  // for files a little larger (a TIFF of the demo card at 1920 x 1080: a
  // fifth larger, its deflate time from 0.25 s to 0.1 s).
  if (std::string(format) == "png") layout.attribute("png:compressionLevel", 3);
  if (std::string(format) == "tiff") layout.attribute("tiff:zipquality", 3);
  layout.attribute("Software", "libQuor");
  auto out = OIIO::ImageOutput::create(format);
  if (!out) {
    error = OIIO::geterror();
    return false;
  }
  if (!out->open(name, layout)) {
    error = out->geterror();
    return false;
  }
  const bool written = out->write_image(type, picture.pixels);
  if (!written) error = out->geterror();
  if (!out->close() && written) {
    error = out->geterror();
    return false;
  }
  return written;
}

std::string documentName(const std::string& file) {
  auto in = OIIO::ImageInput::open(file);
  if (!in) {
    OIIO::geterror();  // clears the library's message: a missing file is expected
    return "";
  }
  const std::string name = in->spec().get_string_attribute("DocumentName");
  in->close();
  return name;
}

bool writeTexture(const std::string& image, const std::string& texture, const std::string& name, std::string& error) {
  const auto fail = [&](const std::string& why, const char* otherwise) {
    error = why.empty() ? otherwise : why;
    return false;
  };
  OIIO::ImageSpec config;
  config.tile_width = 64;
  config.tile_height = 64;
  config.tile_depth = 1;
  config.attribute("maketx:fileformatname", "tiff");
  config.attribute("wrapmodes", "clamp,clamp");
  config.attribute("DocumentName", name);
  // The image is read straight from its file: the library's shared image
  // cache may still hold an older picture under the same name.
  auto in = OIIO::ImageInput::open(image);
  if (!in) return fail(OIIO::geterror(), "the image library gave no reason");
  OIIO::ImageBuf input(in->spec(), OIIO::InitializePixels::No);
  const bool read = in->read_image(0, 0, 0, in->spec().nchannels, in->spec().format, input.localpixels());
  const std::string readError = read ? "" : in->geterror();
  in->close();
  if (!read) return fail(readError, "the image cannot be read");
  if (!OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, input, texture, config)) {
    return fail(OIIO::geterror(), "the image library gave no reason");
  }
  return true;
}

// One texture system for the process, made on first use and kept: the
// library's destroy() deletes it through a base of another size, which
// memory checkers report.
OIIO::TextureSystem* textureSystem() {
  static OIIO::TextureSystem* const system = [] {
    OIIO::TextureSystem* ts = OIIO::TextureSystem::create(false);
    ts->attribute("gray_to_rgb", 1);
    ts->attribute("automip", 1);
    return ts;
  }();
  return system;
}

void forgetTextures() { textureSystem()->invalidate_all(true); }

void* openTexture(const std::string& name, std::string& error) {
  OIIO::TextureSystem* system = textureSystem();
  OIIO::TextureSystem::TextureHandle* handle = system->get_texture_handle(OIIO::ustring(name));
  OIIO::ImageSpec layout;
  if (handle && system->good(handle) && system->get_imagespec(OIIO::ustring(name), 0, layout)) return handle;
  error = system->geterror();
  if (error.empty()) error = "it cannot be read";
  return nullptr;
}

void* newThreadState() { return textureSystem()->create_thread_info(); }

void deleteThreadState(void* state) {
  textureSystem()->destroy_thread_info(static_cast<OIIO::TextureSystem::Perthread*>(state));
}

void lookup(void* texture, void* state, float s, float t, float dsdx, float dtdx, float dsdy, float dtdy,
            float rgb[3]) {
  // Bicubic within each MIP level (the library's B-spline weights, a
  // smoother filter than bilinear's tent, like the texture filters of
  // RenderMan renderers: bilinear lookups gave the demo card's checker
  // sharper edges than those renderers do), blended between two levels.
  // Anisotropic lookups add nothing visible under a pixel filter.
  OIIO::TextureOpt options;
  options.interpmode = OIIO::TextureOpt::InterpBicubic;
  options.mipmode = OIIO::TextureOpt::MipModeTrilinear;
  rgb[0] = rgb[1] = rgb[2] = 1;
  textureSystem()->texture(static_cast<OIIO::TextureSystem::TextureHandle*>(texture),
                           static_cast<OIIO::TextureSystem::Perthread*>(state), options, s, t, dsdx, dtdx, dsdy, dtdy,
                           3, rgb);
}

const ImageLibrary kTable = {kImageModuleVersion, writePicture,   documentName,      writeTexture, forgetTextures,
                             openTexture,         newThreadState, deleteThreadState, lookup};

}  // namespace
}  // namespace render
}  // namespace quor

extern "C" __attribute__((visibility("default"))) const quor::render::ImageLibrary* QuorImages_module(void) {
  return &quor::render::kTable;
}
