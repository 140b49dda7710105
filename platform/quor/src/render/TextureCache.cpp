#include "render/TextureCache.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "render/ImageLibrary.h"

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
  const ImageLibrary* library;
  try {
    library = &imageLibrary();
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  if (library->documentName(texture) == stamp) return true;

  const fs::path folder = fs::path(texture).parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);
  if (ec) return fail("cannot make the folder \"" + folder.string() + "\": " + ec.message());
  // Made under a temporary name and renamed into place, so that a texture
  // in the cache is always complete.
  const fs::path temporary = fs::path(texture).parent_path() /
                             ("." + fs::path(texture).filename().string() + "." + std::to_string(getpid()) + ".tmp");
  std::string why;
  if (!library->writeTexture(source.string(), temporary.string(), stamp, why)) {
    fs::remove(temporary, ec);
    return fail(why);
  }
  fs::rename(temporary, texture, ec);
  if (ec) {
    const std::string reason = ec.message();
    fs::remove(temporary, ec);
    return fail("cannot put it in place as \"" + texture + "\": " + reason);
  }
  return true;
}

}  // namespace render
}  // namespace quor
