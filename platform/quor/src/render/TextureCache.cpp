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
  const std::string folder = textureCacheFolder();
  if (folder.empty()) {
    error = "no texture cache folder: set QUOR_TEXTURE_CACHE, XDG_CACHE_HOME or HOME";
    return false;
  }
  std::error_code ec;
  const fs::path source = fs::absolute(image, ec).lexically_normal();
  const std::string stamp = ec ? "" : sourceStamp(source, ec);
  if (ec) {
    error = "cannot read \"" + image + "\": " + ec.message();
    return false;
  }
  texture = texturePathFor(image);
  if (stampOf(texture) == stamp) return true;

  fs::create_directories(folder, ec);
  if (ec) {
    error = "cannot make the texture cache folder \"" + folder + "\": " + ec.message();
    return false;
  }
  // Made under a temporary name and renamed into place, so that a texture
  // in the cache is always complete.
  const fs::path temporary =
      fs::path(texture).parent_path() / ("." + fs::path(texture).filename().string() + "." + std::to_string(getpid()) + ".tmp");
  OIIO::ImageSpec config;
  config.tile_width = 64;
  config.tile_height = 64;
  config.tile_depth = 1;
  config.attribute("maketx:fileformatname", "tiff");
  config.attribute("wrapmodes", "clamp,clamp");
  config.attribute("DocumentName", stamp);
  OIIO::ImageBuf input(source.string());
  if (!input.read() || !OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, input,
                                                          temporary.string(), config)) {
    error = input.has_error() ? input.geterror() : OIIO::geterror();
    if (error.empty()) error = "the image library gave no reason";
    error = "cannot make the texture of \"" + image + "\": " + error;
    fs::remove(temporary, ec);
    return false;
  }
  fs::rename(temporary, texture, ec);
  if (ec) {
    error = "cannot put the texture in place as \"" + texture + "\": " + ec.message();
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace render
}  // namespace quor
