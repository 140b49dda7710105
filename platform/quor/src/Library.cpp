// Set-up of the library: its location, its home directory, what it tells
// about itself, and the primitive interface's type information.
#include <cstring>
#include <filesystem>
#include <system_error>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#include <Quor/QuorPrimitive.h>
#pragma GCC visibility pop

#include "Scene.h"

namespace fs = std::filesystem;

namespace {

// Type code that QxRendererInfo answers for a text result.
constexpr int kInfoString = 2;

const char kRendererName[] = "Quor";
const char kVersion[] = QUOR_VERSION;

}  // namespace

QuorPrimitive::~QuorPrimitive() = default;

// The library file lies in a folder ("bin", "lib") of its installation; the
// installation is the home directory. A relative path is taken relative to
// the current directory, so the home directory is always an absolute path:
// "bin/Quor.dll" run from /opt/r gives /opt/r.
int Quor_initPath(const char* libraryPath) {
  quor::Library& lib = quor::library();
  lib.libraryPath = libraryPath ? libraryPath : "";
  lib.homeDir.clear();
  if (lib.libraryPath.empty()) return -1;
  std::error_code error;
  fs::path file = fs::absolute(fs::path(lib.libraryPath), error);
  if (error) return -1;
  file = file.lexically_normal();
  lib.homeDir = file.parent_path().parent_path().string();
  return 0;
}

bool Quor_initQuorRenderMan(void) {
  const std::string& home = quor::library().homeDir;
  std::error_code error;
  return !home.empty() && fs::is_directory(home, error);
}

const char* Quor_homeDir(void) { return quor::library().homeDir.c_str(); }

int QxRendererInfo(const char* name, void* result, int resultLength, int* type, int* count) {
  if (!name || !result || resultLength < static_cast<int>(sizeof(const char*))) return -1;
  const char* text = nullptr;
  if (std::strcmp(name, "renderer") == 0) text = kRendererName;
  if (std::strcmp(name, "versionstring") == 0) text = kVersion;
  if (!text) return -1;
  std::memcpy(result, &text, sizeof text);
  if (type) *type = kInfoString;
  if (count) *count = 1;
  return 0;
}
