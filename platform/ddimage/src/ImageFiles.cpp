// Image files through the module that links the image library: opened on
// the first image read or written, from the folder of libDDImage's own file.
#include "DDImageHost/ImageFiles.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "ImageFilesModule.h"

namespace DD {
namespace Image {
namespace {

struct Opened {
  const ImageFilesTable* table = nullptr;
  std::string error;
};

Opened open() {
  Opened result;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&readImageFile), &info) || !info.dli_fname) {
    result.error = "cannot find the folder of libDDImage to load the image library from";
    return result;
  }
  const std::string file =
      (std::filesystem::path(info.dli_fname).parent_path().lexically_normal() / kImageFilesModule).string();
  const std::string failure = "cannot load the image library: ";
  // Never closed: the image library keeps its state until the process ends.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    result.error = failure + (why ? why : file);
    return result;
  }
  using Entry = const ImageFilesTable* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(handle, kImageFilesEntry));
  const ImageFilesTable* table = entry ? entry() : nullptr;
  if (!table) {
    result.error = failure + file + " has no " + kImageFilesEntry;
  } else if (table->version != kImageFilesVersion) {
    result.error = failure + file + " comes from another build of libDDImage";
  } else {
    result.table = table;
  }
  return result;
}

// The module's table, or null with the reason in `error`; opened once.
const ImageFilesTable* module(std::string& error) {
  static const Opened opened = open();
  if (!opened.table) error = opened.error;
  return opened.table;
}

}  // namespace

bool readImageFile(const std::string& path, bool unassociatedAlpha, ImageFile& image, std::string& error) {
  const ImageFilesTable* files = module(error);
  return files && files->read(path, unassociatedAlpha, image, error);
}

std::vector<unsigned char> rgba8(const ImageFile& image, bool bottomUp) {
  const int w = image.width, h = image.height, n = image.channels;
  std::vector<unsigned char> rgba;
  if (w <= 0 || h <= 0 || n <= 0 || image.values.size() != std::size_t(w) * std::size_t(h) * std::size_t(n))
    return rgba;
  const int alpha = image.alphaChannel >= 0 ? image.alphaChannel : (n == 2 ? 1 : (n >= 4 ? 3 : -1));
  const auto byte = [](float v) {
    return static_cast<unsigned char>(std::lround(std::clamp(std::isnan(v) ? 0.0f : v, 0.0f, 1.0f) * 255.0f));
  };
  rgba.resize(std::size_t(w) * std::size_t(h) * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float* p = &image.values[(std::size_t(y) * w + x) * n];
      unsigned char* q = &rgba[(std::size_t(bottomUp ? h - 1 - y : y) * w + x) * 4];
      const bool grey = n < 3;
      for (int c = 0; c < 3; ++c) q[c] = byte(p[grey ? 0 : c]);
      q[3] = alpha >= 0 && alpha < n ? byte(p[alpha]) : 255;
    }
  return rgba;
}

bool writeImageFile(const std::string& path, const std::string& format, int width, int height,
                    const unsigned char* rgba, bool unassociatedAlpha, std::string& error) {
  if (width <= 0 || height <= 0 || !rgba) {
    error = "no picture to write";
    return false;
  }
  const ImageFilesTable* files = module(error);
  return files && files->write(path, format, width, height, rgba, unassociatedAlpha, error);
}

}  // namespace Image
}  // namespace DD
