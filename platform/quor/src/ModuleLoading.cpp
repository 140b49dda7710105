#include "ModuleLoading.h"

#include <dlfcn.h>

#include <filesystem>

namespace quor {

void* openModule(const void* anchor, const char* file, const char* entry, const char* what, std::string& path,
                 std::string& error) {
  const std::string failure = std::string("cannot load ") + what + ": ";
  Dl_info info{};
  if (!dladdr(anchor, &info) || !info.dli_fname) {
    error = failure + "cannot find the folder to load it from";
    return nullptr;
  }
  const std::filesystem::path folder = std::filesystem::path(info.dli_fname).parent_path().lexically_normal();
  path = (folder / file).string();
  const std::string besideLib = (folder.parent_path() / "lib" / file).string();
  if (!std::filesystem::exists(path)) path = besideLib;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = failure + (why ? why : path);
    return nullptr;
  }
  void* function = dlsym(handle, entry);
  if (!function) error = failure + path + " has no " + entry;
  return function;
}

}  // namespace quor
