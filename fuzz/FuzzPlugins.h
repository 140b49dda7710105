// Set-up shared by the fuzz targets that run the host: the plug-ins of the
// build tree loaded once, and the renderer's options kept in a scratch file
// so that no run writes the user's configuration.
#pragma once

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DDImageHost/Host.h"
#include "FuzzCheck.h"

inline void loadBuildPlugins() {
  static const bool loaded = [] {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    FUZZ_CHECK(n > 0);
    const std::filesystem::path folder =
        std::filesystem::path(std::string(exe, static_cast<std::size_t>(n))).parent_path() / ".." / "plugins";
    setenv("QUOR_OPTIONS_FILE", (std::filesystem::temp_directory_path() / "quor-fuzz-options").c_str(), 1);
    std::vector<std::string> errors;
    return DD::Image::loadPlugins(folder.string(), &errors) > 0;
  }();
  FUZZ_CHECK(loaded);
}
