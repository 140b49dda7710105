// quorhost: a command-line host for DDImage plug-ins. It loads the plug-ins,
// then a script if given, then runs the actions of its command line in order.
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <DDImageHost/Host.h>

#include "Actions.h"
#include "HostError.h"

namespace {

const char kUsage[] =
    "usage: quorhost [--plugin-path DIR] [SCRIPT.json] [ACTION ...]\n"
    "\n"
    "Loads every plug-in (*.so) of the plug-in folder, loads SCRIPT.json if given\n"
    "(its last node becomes the current node), then runs the actions in order.\n"
    "Any failure stops the run with a message and a non-zero exit; output files\n"
    "are put in place only when every action succeeded.\n"
    "\n"
    "  --plugin-path DIR     load plug-ins from DIR (may be repeated; default:\n"
    "                        ../plugins beside the executable)\n"
    "  --new CLASS [NAME]    add a node (Axis, Read, or a plug-in's class); it\n"
    "                        becomes the current node\n"
    "  --node NAME           make NAME the current node\n"
    "  --connect INPUT FROM  connect input INPUT (number or label) of the current\n"
    "                        node to node FROM\n"
    "  --set KNOB VALUE      set a knob of the current node as a user would: numbers,\n"
    "                        0/1 for booleans, x,y,z for several channels, item names\n"
    "                        for enumerations, texts\n"
    "  --press KNOB          press a button knob; a Python button's script runs with\n"
    "                        python3\n"
    "  --open-panel          open the current node's panel\n"
    "  --select, --deselect  select or deselect the current node\n"
    "  --knobs               print the current node's knobs, one a line:\n"
    "                        name, kind, value, visible|hidden (tab-separated; \\, tab\n"
    "                        and line breaks escaped as \\\\, \\t, \\n)\n"
    "  --info                print the current node's name, class, plug-in, help,\n"
    "                        inputs, hash and error\n"
    "  --save OUT.json       save the script\n"
    "  --rib OUT.rib         write the scene through the renderer library\n"
    "                        (\"-\": standard output)\n"
    "  --view OUT.png [--size WxH] [--no-stencil]\n"
    "                        draw the viewer into a PNG picture (default 640x480;\n"
    "                        the camera looks down -z from (0, 0, 2.5) with a\n"
    "                        30-degree vertical field of view); --no-stencil draws\n"
    "                        this picture on a framebuffer without stencil bits\n"
    "  --size WxH            set the viewer size for later actions\n"
    "  --click X Y           press and release at pixel X, Y of the viewer (x\n"
    "                        rightward, y downward from the top-left corner, as in\n"
    "                        the saved picture)\n"
    "  --drag X0 Y0 X1 Y1    press at X0, Y0, drag to X1, Y1 and release; a press on\n"
    "                        the handle of a shown position knob drags that knob\n"
    "                        (clicks and drags use the last size given)\n"
    "  --help                print this text\n"
    "\n"
    "Relative file paths in a script are relative to the script's folder, and are\n"
    "saved relative to the folder of the saved script; on the command line they are\n"
    "relative to the working folder.\n"
    "\n"
    "Exit status: 0 when everything succeeded, 1 when the script or an action\n"
    "failed, 2 for a malformed command line.\n";

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
    std::cout << kUsage;
    return 0;
  }
  if (argc < 2) {
    std::cerr << kUsage;
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
