#include "RendererModule.h"

#include <string>

#include "ModuleLoading.h"
#include "RibText.h"

namespace quor {

const render::ModuleTable& rendererModule() {
  static std::string error;
  static const render::ModuleTable* const table =
      openModuleTable<render::ModuleTable>(reinterpret_cast<const void*>(&rendererModule), render::kModuleFile,
                                           render::kModuleEntry, "the renderer", render::kModuleVersion, error);
  if (!table) throw RequestError(error);
  return *table;
}

}  // namespace quor
