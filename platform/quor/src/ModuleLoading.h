// Opening a module of the renderer library: a shared object beside the file
// that holds the caller's code, reached through the one function it exports.
#ifndef QUOR_MODULELOADING_H
#define QUOR_MODULELOADING_H

#include <string>

namespace quor {

// Opens the module `file` from the folder of the binary that holds
// `anchor` (a function of the caller's), or else from ../lib beside it, as
// a program in bin/ finds the modules in lib/ (the path the reason names
// when it is in neither). The address of its exported
// function `entry`, with the module's path in `path`; null with the reason,
// "cannot load <what>: ...", in `error`. A module opened is never closed:
// its threads and caches live until the process ends.
void* openModule(const void* anchor, const char* file, const char* entry, const char* what, std::string& path,
                 std::string& error);

// The table that the module's function `entry` returns, a struct whose first
// member is `int version`; null with the reason when the module cannot be
// opened or its table is not of `version` (a module of another build).
template <class Table>
const Table* openModuleTable(const void* anchor, const char* file, const char* entry, const char* what, int version,
                             std::string& error) {
  std::string path;
  void* function = openModule(anchor, file, entry, what, path, error);
  if (!function) return nullptr;
  const Table* table = reinterpret_cast<const Table* (*)()>(function)();
  if (!table || table->version != version) {
    error = std::string("cannot load ") + what + ": " + path + " comes from another build of the library";
    return nullptr;
  }
  return table;
}

}  // namespace quor

#endif
