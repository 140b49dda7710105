#include "RendererModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "RequestError.h"

namespace quor {
namespace {

struct Opened {
  const render::ModuleTable* table = nullptr;
  std::string error;
};

Opened open() {
  Opened result;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&rendererModule), &info) || !info.dli_fname) {
    result.error = "cannot find the folder of libQuor to load the renderer from";
    return result;
  }
  const std::string file =
      (std::filesystem::path(info.dli_fname).parent_path().lexically_normal() / render::kModuleFile).string();
  const std::string failure = "cannot load the renderer: ";
  // Never closed: the renderer's threads and caches live until the process
  // ends.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    result.error = failure + (why ? why : file);
    return result;
  }
  using Entry = const render::ModuleTable* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(handle, render::kModuleEntry));
  const render::ModuleTable* table = entry ? entry() : nullptr;
  if (!table) {
    result.error = failure + file + " has no " + render::kModuleEntry;
  } else if (table->version != render::kModuleVersion) {
    result.error = failure + file + " comes from another build of libQuor";
  } else {
    result.table = table;
  }
  return result;
}

}  // namespace

const render::ModuleTable& rendererModule() {
  static const Opened opened = open();
  if (!opened.table) throw RequestError(opened.error);
  return *opened.table;
}

}  // namespace quor
