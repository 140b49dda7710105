#include "window/WindowSettings.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "HostError.h"
#include "OutputFiles.h"

namespace quorhost {

namespace fs = std::filesystem;

std::string windowSettingsFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && fs::path(config).is_absolute()) return (fs::path(config) / "quorhost" / "window").string();
  const char* home = std::getenv("HOME");
  if (home && *home) return (fs::path(home) / ".config" / "quorhost" / "window").string();
  return std::string();
}

WindowSize rememberedWindowSize() {
  const std::string file = windowSettingsFile();
  if (file.empty()) return WindowSize();
  std::ifstream in(file);
  WindowSize size;
  // "size W H"; anything else is no size.
  std::string word;
  if (!(in >> word >> size.width >> size.height) || word != "size" || size.width > 16384 || size.height > 16384)
    return WindowSize();
  return size.known() ? size : WindowSize();
}

bool rememberWindowSize(WindowSize size) {
  const std::string file = windowSettingsFile();
  if (file.empty() || !size.known()) return false;
  std::error_code ec;
  fs::create_directories(fs::path(file).parent_path(), ec);
  try {
    writeTextBeside(file, "size " + std::to_string(size.width) + " " + std::to_string(size.height) + "\n");
  } catch (const HostError&) {
    return false;
  }
  return true;
}

WindowSize openingWindowSize(WindowSize screen, WindowSize given, WindowSize remembered, int panelWidth) {
  WindowSize size = given.known()        ? WindowSize{given.width + panelWidth, given.height}
                    : remembered.known() ? remembered
                                         : screen;
  if (screen.known()) {
    size.width = std::min(size.width, screen.width);
    size.height = std::min(size.height, screen.height);
  }
  size.width = std::max(size.width, panelWidth + 1);
  size.height = std::max(size.height, 1);
  return size;
}

}  // namespace quorhost
