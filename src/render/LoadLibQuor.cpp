#include "render/LoadLibQuor.h"

#include <cerrno>
#include <cstdlib>

#include "Quor/Quor.h"

namespace libquor {

namespace {

class LoadLibQuor : public BvSingleton<LoadLibQuor> {
 public:
  ~LoadLibQuor() override {}

  bool init(const std::string& path) {
    if (initialised) return true;
    Quor_initPath(libraryPathFor(path).c_str());
    initialised = Quor_initQuorRenderMan();
    // The renderer reads its configuration from its home directory only.
    setEnvironmentVariable("VEVEVER_CONF", nullptr);
    setEnvironmentVariable("VEVEVER", Quor_homeDir());
    return initialised;
  }

  bool initialised = false;
};

}  // namespace

std::string libraryPathFor(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? path : path.substr(0, slash);
  const size_t dirSlash = dir.rfind('/');
  const std::string root = dirSlash == std::string::npos ? std::string() : dir.substr(0, dirSlash + 1);
  return root + "bin/Quor.dll";
}

int setEnvironmentVariable(const char* name, const char* value) {
  if (!name || !*name) {
    errno = EINVAL;
    return -1;
  }
  // setenv and unsetenv copy what they keep, unlike putenv.
  return value ? setenv(name, value, 1) : unsetenv(name);
}

bool initRenderer(const std::string& pluginPath) { return LoadLibQuor::instance().init(pluginPath); }

}  // namespace libquor
