// Points the renderer library at its installation and initialises it, once
// per process (retried at each node construction until it succeeds).
#pragma once

#include <memory>
#include <string>

#include <boost/thread/once.hpp>

namespace libquor {

// The renderer option that keeps the viewer's handle size across sessions.
constexpr const char kHandleSizeOption[] = "Brunvik.handle_size";

// A process-wide single object of type T, made under a once-only call that
// is safe when several threads arrive at once.
template <class T>
class BvSingleton {
 public:
  virtual ~BvSingleton() {}

  static T& instance() {
    boost::call_once(onceFlag(), &BvSingleton::create);
    return *holder();
  }

 private:
  static void create() { holder().reset(new T); }
  static boost::once_flag& onceFlag() {
    static boost::once_flag flag = BOOST_ONCE_INIT;
    return flag;
  }
  // Destroyed when the plug-in is unloaded, at the latest at process end.
  static std::unique_ptr<T>& holder() {
    static std::unique_ptr<T> object;
    return object;
  }
};

// Initialises the renderer library for the plug-in file at `pluginPath`
// ("/" separators). Answers whether the library is initialised.
bool initRenderer(const std::string& pluginPath);

// The library file that belongs to a plug-in file: "bin/Quor.dll" under the
// parent of the plug-in's folder.
std::string libraryPathFor(const std::string& pluginPath);

// Sets (or, with a null value, removes) a process environment variable.
// 0 on success, -1 on failure.
int setEnvironmentVariable(const char* name, const char* value);

}  // namespace libquor
