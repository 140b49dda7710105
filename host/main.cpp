// quorhost: a command-line host for DDImage plug-ins. It loads the plug-ins,
// then a script if given, then runs the actions of its command line in order.
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <DDImageHost/Host.h>

#include "CommandLine.h"
#include "HostError.h"
#include "Session.h"
#include "window/Window.h"

namespace {

// <folder of the executable>/../plugins
std::string defaultPluginFolder(const char* argv0) {
  namespace fs = std::filesystem;
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  fs::path exe = n > 0 ? fs::path(std::string(buffer, static_cast<size_t>(n))) : fs::absolute(argv0);
  return (exe.parent_path() / ".." / "plugins").lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  using quorhost::HostError;
  quorhost::CommandLine commandLine;
  try {
    commandLine = quorhost::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const HostError& e) {
    std::cerr << "quorhost: " << e.what() << "\n(quorhost --help lists the actions)\n";
    return 2;
  }
  if (commandLine.help) {
    std::cout << quorhost::usage();
    return 0;
  }
  if (argc < 2) {
    std::cerr << quorhost::usage();
    return 2;
  }

  std::vector<std::string> folders = commandLine.pluginPaths;
  if (folders.empty()) folders.push_back(defaultPluginFolder(argv[0]));
  for (const std::string& folder : folders) {
    std::vector<std::string> errors;
    DD::Image::loadPlugins(folder, &errors);
    for (const std::string& e : errors) std::cerr << "quorhost: skipped: " << e << '\n';
  }

  try {
    quorhost::Session session(folders);
    session.setWindowOpener(quorhost::runWindow);
    session.plan(commandLine.actions);
    if (!commandLine.script.empty()) session.loadScript(commandLine.script);
    for (const quorhost::Action& action : commandLine.actions) session.run(action);
    session.finish();
  } catch (const HostError& e) {
    std::cout.flush();
    std::cerr << "quorhost: " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "quorhost: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
