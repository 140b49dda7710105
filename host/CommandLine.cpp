#include "CommandLine.h"

#include "HostError.h"
#include "Session.h"
#include "Text.h"

namespace quorhost {

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// --new: the node's name is optional; the next word names it unless it is
// the next action.
void takeNodeName(const Args& words, size_t* last, Args* args) {
  if (*last + 1 < words.size() && !startsWith(words[*last + 1], "--")) args->push_back(words[++*last]);
}

// --view: the picture size and framebuffer options after the file name.
void takeViewOptions(const Args& words, size_t* last, Args* args) {
  while (*last + 1 < words.size() && (words[*last + 1] == "--size" || words[*last + 1] == "--no-stencil")) {
    args->push_back(words[++*last]);
    if (args->back() == "--size") {
      if (*last + 1 >= words.size()) throw HostError("--view ... --size needs an argument: WxH");
      args->push_back(words[++*last]);
    }
  }
}

// --window: where its snapshots go.
void takeWindowOptions(const Args& words, size_t* last, Args* args) {
  while (*last + 1 < words.size() && words[*last + 1] == "--snapshot") {
    args->push_back(words[++*last]);
    if (*last + 1 >= words.size()) throw HostError("--window ... --snapshot needs an argument: PREFIX");
    args->push_back(words[++*last]);
  }
}

// --render: the picture size after the file name.
void takeRenderOptions(const Args& words, size_t* last, Args* args) {
  while (*last + 1 < words.size() && words[*last + 1] == "--size") {
    args->push_back(words[++*last]);
    if (*last + 1 >= words.size()) throw HostError("--render ... --size needs an argument: WxH");
    args->push_back(words[++*last]);
  }
}

// Every action, in the order of the usage text.
const ActionForm kActions[] = {
    {"--new", 1, "CLASS [NAME]",
     "add a node (Axis, Read, or a plug-in's class); it\n"
     "becomes the current node",
     &Session::newNode, takeNodeName},
    {"--node", 1, "NAME", "make NAME the current node", &Session::makeCurrent},
    {"--connect", 2, "INPUT FROM",
     "connect input INPUT (number or label) of the current\n"
     "node to node FROM",
     &Session::connect},
    {"--set", 2, "KNOB VALUE",
     "set a knob of the current node as a user would: numbers,\n"
     "0/1 for booleans, x,y,z for several channels, item names\n"
     "for enumerations, texts",
     &Session::set},
    {"--press", 1, "KNOB",
     "press a button knob; a Python button's script runs with\n"
     "python3",
     &Session::press},
    {"--open-panel", 0, "", "open the current node's panel", &Session::openPanel},
    {"--select", 0, "", "select or deselect the current node", &Session::select},
    {"--deselect", 0, "", "", &Session::deselect},
    {"--knobs", 0, "",
     "print the current node's knobs, one a line:\n"
     "name, kind, value, visible|hidden (tab-separated; \\, tab\n"
     "and line breaks escaped as \\\\, \\t, \\n)",
     &Session::printKnobs},
    {"--info", 0, "",
     "print the current node's name, class, plug-in, help,\n"
     "inputs, hash and error",
     &Session::printInfo},
    {"--save", 1, "OUT.json", "save the script", &Session::save},
    {"--rib", 1, "OUT.rib",
     "write the scene through the renderer library\n"
     "(\"-\": standard output)",
     &Session::rib},
    {"--render", 1, "OUT [--size WxH]",
     "render the scene that --rib writes, at the viewer's\n"
     "framing and last size, into a picture (PNG, TIFF or EXR\n"
     "by the extension of OUT)",
     &Session::render, takeRenderOptions},
    {"--view", 1, "OUT.png [--size WxH] [--no-stencil]",
     "draw the viewer into a PNG picture (default 640x480;\n"
     "the camera looks down -z from (0, 0, 2.5) with a\n"
     "30-degree vertical field of view); --no-stencil draws\n"
     "this picture on a framebuffer without stencil bits",
     &Session::view, takeViewOptions},
    {"--size", 1, "WxH", "set the viewer size for later actions", &Session::size},
    {"--click", 2, "X Y",
     "press and release at pixel X, Y of the viewer (x\n"
     "rightward, y downward from the top-left corner, as in\n"
     "the saved picture)",
     &Session::click},
    {"--drag", 4, "X0 Y0 X1 Y1",
     "press at X0, Y0, drag to X1, Y1 and release; a press on\n"
     "the handle of a shown position knob drags that knob\n"
     "(clicks and drags use the last size given)",
     &Session::drag},
    {"--window", 0, "[--snapshot PREFIX]",
     "open a window with the viewer and the current node's\n"
     "knobs, and wait until it is closed; Ctrl+S saves to the\n"
     "last --save file, else to the script (needs a display);\n"
     "F12 writes PREFIX-N.png, PREFIX-N-window.png and\n"
     "PREFIX-N.txt: the viewer's picture, the window's and\n"
     "what the panel shows",
     &Session::window, takeWindowOptions},
};

const ActionForm* findAction(const std::string& name) {
  for (const ActionForm& form : kActions)
    if (name == form.name) return &form;
  return nullptr;
}

// An option of the run as a whole, read before any action runs.
struct OptionForm {
  const char* name;
  const char* argText;
  const char* help;
};

const OptionForm kPluginPath = {"--plugin-path", "DIR",
                                "load plug-ins from DIR (may be repeated; default:\n"
                                "../plugins beside the executable)"};
const OptionForm kHelp = {"--help", "", "print this text"};

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine commandLine;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == kHelp.name || arg == "-h") {
      commandLine.help = true;
    } else if (arg == kPluginPath.name) {
      if (i + 1 >= args.size()) throw HostError(arg + " needs an argument: " + kPluginPath.argText);
      commandLine.pluginPaths.push_back(args[++i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      const ActionForm* form = findAction(arg);
      if (!form) throw HostError("unknown action " + arg);
      Action action{form, {}};
      for (int n = 0; n < form->args; ++n) {
        if (i + 1 >= args.size())
          throw HostError(arg + " needs " + std::to_string(form->args) + " argument(s): " + form->argText);
        action.args.push_back(args[++i]);
      }
      if (form->takeMore) form->takeMore(args, &i, &action.args);
      commandLine.actions.push_back(action);
    } else if (commandLine.script.empty()) {
      commandLine.script = arg;
    } else {
      throw HostError("unexpected argument " + inQuotes(arg) + " (the script is " + inQuotes(commandLine.script) + ")");
    }
  }
  return commandLine;
}

namespace {

// The column where the help of an entry of the usage text starts; a longer
// name and argument text take a line of their own.
const size_t kHelpColumn = 24;

// One entry of the usage text: `synopsis` ("--set KNOB VALUE") indented by
// two, then the lines of `help` from the help column.
std::string usageEntry(const std::string& synopsis, const std::string& help) {
  std::string entry;
  std::string line = "  " + synopsis;
  if (line.size() + 2 > kHelpColumn) {
    entry += line + "\n";
    line.clear();
  }
  size_t start = 0;
  while (true) {
    const size_t end = help.find('\n', start);
    line.resize(kHelpColumn, ' ');
    entry += line + help.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
    line.clear();
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return entry;
}

std::string synopsis(const char* name, const char* argText) {
  return *argText ? std::string(name) + " " + argText : std::string(name);
}

}  // namespace

std::string usage() {
  std::string text =
      "usage: quorhost [--plugin-path DIR] [SCRIPT.json] [ACTION ...]\n"
      "\n"
      "Loads every plug-in (*.so) of the plug-in folder, loads SCRIPT.json if given\n"
      "(its last node becomes the current node), then runs the actions in order.\n"
      "Any failure stops the run with a message and a non-zero exit; output files\n"
      "are put in place only when every action succeeded.\n"
      "\n";
  text += usageEntry(synopsis(kPluginPath.name, kPluginPath.argText), kPluginPath.help);
  const size_t count = sizeof kActions / sizeof kActions[0];
  for (size_t i = 0; i < count; ++i) {
    const ActionForm& form = kActions[i];
    if (!*form.help) continue;
    std::string names = synopsis(form.name, form.argText);
    // Actions without help of their own share this entry.
    for (size_t j = i + 1; j < count && !*kActions[j].help; ++j)
      names += ", " + synopsis(kActions[j].name, kActions[j].argText);
    text += usageEntry(names, form.help);
  }
  text += usageEntry(synopsis(kHelp.name, kHelp.argText), kHelp.help);
  text +=
      "\n"
      "Relative file paths in a script are relative to the script's folder, and are\n"
      "saved relative to the folder of the saved script; on the command line they are\n"
      "relative to the working folder.\n"
      "\n"
      "Exit status: 0 when everything succeeded, 1 when the script or an action\n"
      "failed, 2 for a malformed command line.\n";
  return text;
}

}  // namespace quorhost
