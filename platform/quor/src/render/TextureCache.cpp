#include "render/TextureCache.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace quor {
namespace render {
namespace {

std::string environment(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::uint64_t fnv1a(const std::string& text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

// What identifies the image as it is now: its path, modification time and
// size. Kept in the texture's DocumentName tag.
std::string sourceStamp(const fs::path& image, std::error_code& ec) {
  const auto time = fs::last_write_time(image, ec);
  if (ec) return "";
  const auto size = fs::file_size(image, ec);
  if (ec) return "";
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
  return image.string() + "|" + std::to_string(ticks) + "|" + std::to_string(size);
}

// The stamp a texture was made with; empty when it cannot be read.
std::string stampOf(const std::string& texture) {
  auto in = OIIO::ImageInput::open(texture);
  if (!in) {
    OIIO::geterror();  // clears the library's message: a missing texture is expected
    return "";
  }
  const std::string stamp = in->spec().get_string_attribute("DocumentName");
  in->close();
  return stamp;
}

}  // namespace

std::string textureCacheFolder() {
  const std::string own = environment("QUOR_TEXTURE_CACHE");
  if (!own.empty()) return own;
  const std::string xdg = environment("XDG_CACHE_HOME");
  if (!xdg.empty()) return (fs::path(xdg) / "quor" / "textures").string();
  const std::string home = environment("HOME");
  if (!home.empty()) return (fs::path(home) / ".cache" / "quor" / "textures").string();
  return "";
}

std::string texturePathFor(const std::string& image) {
  std::error_code ec;
  fs::path absolute = fs::absolute(image, ec);
  if (ec) absolute = image;
  absolute = absolute.lexically_normal();
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(absolute.string())));
  return (fs::path(textureCacheFolder()) / (absolute.stem().string() + "-" + hash + ".tex")).string();
}

bool makeTexture(const std::string& image, std::string& texture, std::string& error) {
  // Every failure names the image.
  const auto fail = [&](const std::string& why) {
    error = "cannot make the texture of \"" + image + "\": " + why;
    return false;
  };
  if (texture.empty() && textureCacheFolder().empty()) {
    return fail("no texture cache folder (set QUOR_TEXTURE_CACHE, XDG_CACHE_HOME or HOME)");
  }
  std::error_code ec;
  const fs::path source = fs::absolute(image, ec).lexically_normal();
  const std::string stamp = ec ? "" : sourceStamp(source, ec);
  if (ec) return fail(ec.message());
  if (texture.empty()) texture = texturePathFor(image);
  if (fs::absolute(texture, ec).lexically_normal() == source) return fail("the texture would replace the image");
  if (stampOf(texture) == stamp) return true;

  const fs::path folder = fs::path(texture).parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);
  if (ec) return fail("cannot make the folder \"" + folder.string() + "\": " + ec.message());
  // Made under a temporary name and renamed into place, so that a texture
  // in the cache is always complete.
  const fs::path temporary = fs::path(texture).parent_path() /
                             ("." + fs::path(texture).filename().string() + "." + std::to_string(getpid()) + ".tmp");
  OIIO::ImageSpec config;
  config.tile_width = 64;
  config.tile_height = 64;
  config.tile_depth = 1;
  config.attribute("maketx:fileformatname", "tiff");
  config.attribute("wrapmodes", "clamp,clamp");
  config.attribute("DocumentName", stamp);
  // The image is read straight from its file: the library's shared image
  // cache may still hold an older picture under the same name.
  auto in = OIIO::ImageInput::open(source.string());
  if (!in) {
    const std::string why = OIIO::geterror();
    return fail(why.empty() ? "the image library gave no reason" : why);
  }
  OIIO::ImageBuf input(in->spec(), OIIO::InitializePixels::No);
  const bool read = in->read_image(0, 0, 0, in->spec().nchannels, in->spec().format, input.localpixels());
  const std::string readError = read ? "" : in->geterror();
  in->close();
  if (!read) return fail(readError.empty() ? "the image cannot be read" : readError);
  if (!OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, input, temporary.string(), config)) {
    const std::string why = OIIO::geterror();
    fs::remove(temporary, ec);
    return fail(why.empty() ? "the image library gave no reason" : why);
  }
  fs::rename(temporary, texture, ec);
  if (ec) {
    const std::string why = ec.message();
    fs::remove(temporary, ec);
    return fail("cannot put it in place as \"" + texture + "\": " + why);
  }
  return true;
}

}  // namespace render
}  // namespace quor
