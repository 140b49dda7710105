#include "render/ImageLibrary.h"

#include <stdexcept>

#include "ModuleLoading.h"

namespace quor {
namespace render {

const ImageLibrary& imageLibrary() {
  static std::string error;
  static const ImageLibrary* const table =
      openModuleTable<ImageLibrary>(reinterpret_cast<const void*>(&imageLibrary), kImageModuleFile, kImageModuleEntry,
                                    "the image library", kImageModuleVersion, error);
  if (!table) throw std::runtime_error(error);
  return *table;
}

}  // namespace render
}  // namespace quor
