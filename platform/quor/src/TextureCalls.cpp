// Texture making for scene writers.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "RendererModule.h"

namespace {

void copyOut(const std::string& text, char* out, int length) {
  if (!out || length <= 0) return;
  const std::size_t n = std::min(text.size(), std::size_t(length) - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

int QxMakeTexture(const char* image, const char* texture, char* result, int length) {
  try {
    if (!image || !*image) {
      copyOut("no image file name", result, length);
      return -1;
    }
    std::string path = texture ? texture : "", error;
    if (!quor::rendererModule().makeTexture(image, path, error)) {
      copyOut(error, result, length);
      return -1;
    }
    if (path.size() + 1 > std::size_t(std::max(length, 0))) {
      copyOut("the texture's path does not fit", result, length);
      return -1;
    }
    copyOut(path, result, length);
    return 0;
  } catch (const std::bad_alloc&) {
    copyOut("out of memory", result, length);
  } catch (const std::exception& e) {
    copyOut(e.what(), result, length);
  }
  return -1;
}
