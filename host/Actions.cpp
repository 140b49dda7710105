#include "Actions.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

#include "HostError.h"
#include "SceneWriter.h"
#include "Text.h"

extern char** environ;

namespace quorhost {

namespace fs = std::filesystem;
using DD::Image::Knob;
using DD::Image::Op;

// ---- command line --------------------------------------------------------------

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
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == kHelp.name || arg == "-h") {
      cl.help = true;
    } else if (arg == kPluginPath.name) {
      if (i + 1 >= args.size()) throw HostError(arg + " needs an argument: " + kPluginPath.argText);
      cl.pluginPaths.push_back(args[++i]);
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
      cl.actions.push_back(action);
    } else if (cl.script.empty()) {
      cl.script = arg;
    } else {
      throw HostError("unexpected argument " + inQuotes(arg) + " (the script is " + inQuotes(cl.script) + ")");
    }
  }
  return cl;
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

// ---- output files ----------------------------------------------------------------

Outputs::~Outputs() {
  for (const auto& f : files_) std::remove(f.first.c_str());
}

std::string Outputs::reserve(const std::string& target) {
  const std::string temporary = target + ".quorhost-" + std::to_string(getpid()) + "-" + std::to_string(files_.size());
  files_.emplace_back(temporary, target);
  return temporary;
}

void Outputs::cancel(const std::string& target) {
  const fs::path wanted = fs::absolute(target).lexically_normal();
  for (auto f = files_.begin(); f != files_.end();) {
    if (fs::absolute(f->second).lexically_normal() == wanted) {
      std::remove(f->first.c_str());
      f = files_.erase(f);
    } else {
      ++f;
    }
  }
}

void Outputs::commit() {
  while (!files_.empty()) {
    const auto f = files_.front();
    if (std::rename(f.first.c_str(), f.second.c_str()) != 0)
      throw HostError("cannot put " + f.second + " in place: " + std::strerror(errno));
    files_.erase(files_.begin());
  }
}

// ---- Python buttons ----------------------------------------------------------------

std::string runPython(const std::string& script) {
  // What we printed so far comes before what the script prints.
  std::cout.flush();
  std::fflush(stdout);
  std::vector<char> program(std::begin("python3"), std::end("python3"));
  std::vector<char> flag(std::begin("-c"), std::end("-c"));
  std::vector<char> text(script.begin(), script.end());
  text.push_back('\0');
  char* argv[] = {program.data(), flag.data(), text.data(), nullptr};
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, "python3", nullptr, nullptr, argv, environ);
  if (started != 0) return std::string("cannot run python3: ") + std::strerror(started);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::string("cannot wait for python3: ") + std::strerror(errno);
  }
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) == 0) return std::string();
    return "the Python script exited with status " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status)) return "the Python script was killed by signal " + std::to_string(WTERMSIG(status));
  return "the Python script failed";
}

// ---- the session ---------------------------------------------------------------------

Session::Session(std::vector<std::string> pluginFolders) : pluginFolders_(std::move(pluginFolders)) {}

void Session::loadScript(const std::string& path) {
  const std::vector<Node*> made = quorhost::loadScript(graph_, path, files_);
  if (!made.empty()) current_ = made.back();
  scriptPath_ = path;
}

void Session::plan(const std::vector<Action>& actions) {
  for (const Action& a : actions)
    if (std::string(a.form->name) == "--save") plannedSave_ = a.args[0];
}

void Session::run(const Action& a) {
  try {
    (this->*a.form->perform)(a.args);
  } catch (const HostError& e) {
    throw HostError(std::string(a.form->name) + ": " + e.what());
  }
}

Node* Session::current() const {
  if (!current_) throw HostError("no current node (make one with --new or choose one with --node)");
  return current_;
}

Knob* Session::knobOf(Node* node, const std::string& name) const {
  Knob* k = node->knob(name);
  if (!k) throw HostError("node " + inQuotes(node->name()) + " has no knob " + inQuotes(name));
  return k;
}

// An input given by its number or by its label.
int Session::inputNumber(Node* node, const std::string& text) const {
  if (!text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos)
    return std::stoi(text);
  const Op* op = node->op();
  const int count = std::min(op->maximum_inputs(), 1000);
  for (int i = 0; i < count; ++i) {
    char buffer[256] = {};
    const char* label = op->input_label(i, buffer);
    if (label && text == label) return i;
  }
  throw HostError("node " + inQuotes(node->name()) + " has no input " + inQuotes(text));
}

void Session::newNode(const Args& args) {
  const std::string& className = args[0];
  const std::string name = args.size() > 1 ? args[1] : std::string();
  std::string error;
  Node* n = graph_.create(className, name, &error);
  if (!n) {
    if (!Op::Description::find(className.c_str())) {
      error += " (plug-ins are loaded from";
      for (const std::string& folder : pluginFolders_) error += " " + folder;
      error += ")";
    }
    throw HostError(error);
  }
  graph_.finish(n);
  current_ = n;
}

void Session::makeCurrent(const Args& args) {
  Node* n = graph_.find(args[0]);
  if (!n) throw HostError("no node named " + inQuotes(args[0]));
  current_ = n;
}

void Session::connect(const Args& args) {
  Node* node = current();
  const int input = inputNumber(node, args[0]);
  Node* from = graph_.find(args[1]);
  if (!from) throw HostError("no node named " + inQuotes(args[1]));
  std::string error;
  if (!graph_.connect(node, input, from, &error)) throw HostError(error);
}

void Session::set(const Args& args) {
  Node* node = current();
  const std::string& name = args[0];
  setKnob(node, knobOf(node, name), args[1]);
}

void Session::setKnob(Node* node, Knob* k, const std::string& value) {
  const std::string name = k->name();
  if (!k->hasValue())
    throw HostError("knob " + inQuotes(name) + " of node " + inQuotes(node->name()) + " holds no value");
  // A relative file path is relative to the working folder here.
  const bool isFile = k->kind() == DD::Image::FILE_KNOB;
  const std::string text = isFile ? RelativeFiles::resolve(value, fs::current_path()) : value;
  // The knob may be gone once the node has heard of the change.
  if (!node->userSetText(k, text.c_str()))
    throw HostError("knob " + inQuotes(name) + " of node " + inQuotes(node->name()) + " refuses the value " +
                    inQuotes(value));
  if (isFile && RelativeFiles::isRelative(value))
    files_.remember(node, name, text);
  else
    files_.forget(node, name);
  // Nodes downstream of this one depend on its value too.
  graph_.invalidateAll();
}

void Session::press(const Args& args) {
  Node* node = current();
  pressKnob(node, knobOf(node, args[0]));
}

void Session::pressKnob(Node* node, Knob* k) {
  const std::string name = k->name();
  const int kind = k->kind();
  if (kind != DD::Image::SCRIPT_KNOB && kind != DD::Image::PYSCRIPT_KNOB)
    throw HostError("knob " + inQuotes(name) + " of node " + inQuotes(node->name()) + " is not a button (kind " +
                    std::to_string(kind) + ")");
  if (kind == DD::Image::PYSCRIPT_KNOB) {
    const std::string why = runPython(DD::Image::buttonScript(k));
    if (!why.empty()) throw HostError("button " + inQuotes(name) + " of node " + inQuotes(node->name()) + ": " + why);
  }
  node->changed(k);
  graph_.invalidateAll();
}

void Session::openPanel(const Args&) {
  current()->openPanel();
  graph_.invalidateAll();
}

void Session::select(const Args&) { current()->setSelected(true); }

void Session::deselect(const Args&) { current()->setSelected(false); }

void Session::printKnobs(const Args&) {
  const Node* node = current();
  for (const auto& k : node->knobs()) {
    std::cout << (k->name().empty() ? std::string("-") : escapeField(k->name())) << '\t' << k->kind() << '\t'
              << (k->hasValue() ? escapeField(k->valueText()) : std::string()) << '\t'
              << (k->isVisible() ? "visible" : "hidden") << '\n';
  }
}

void Session::printInfo(const Args&) {
  const Node* node = current();
  Op* op = node->op();
  op->validate(true);
  const Op::Description* d = Op::Description::find(op->Class());
  const char* help = op->node_help();
  std::cout << "name\t" << escapeField(node->name()) << '\n'
            << "class\t" << escapeField(op->Class()) << '\n'
            << "plugin\t" << (d && d->plugin ? escapeField(d->plugin) : std::string("-")) << '\n'
            << "help\t" << escapeField(help ? help : "") << '\n';
  for (int i = 0; i < op->inputs(); ++i) {
    char buffer[256] = {};
    const char* label = op->input_label(i, buffer);
    const Op* in = op->input(i);
    std::cout << "input\t" << i << '\t' << (label && *label ? escapeField(label) : std::string("-")) << '\t'
              << (in && in->node() ? escapeField(in->node()->name()) : std::string("-")) << '\n';
  }
  std::cout << "hash\t" << op->hash().value() << '\n';
  if (op->hasError()) std::cout << "error\t" << escapeField(op->errorMessage()) << '\n';
}

void Session::save(const Args& args) {
  const std::string& target = args[0];
  const std::string text = saveScript(graph_, fs::absolute(target).parent_path(), files_);
  const std::string temporary = outputs_.reserve(target);
  std::ofstream out(temporary, std::ios::binary);
  if (!out) throw HostError("cannot write " + target + ": " + std::strerror(errno));
  out << text;
  out.close();
  if (!out) throw HostError("cannot write " + target);
}

std::string Session::saveTarget() const {
  if (!plannedSave_.empty()) return plannedSave_;
  if (!scriptPath_.empty()) return scriptPath_;
  return chosenSave_;
}

std::string Session::scriptText(const std::string& target) const {
  return saveScript(graph_, fs::absolute(target).parent_path(), files_);
}

void Session::saveNow(const std::string& target) {
  const std::string text = scriptText(target);
  const std::string temporary = target + ".quorhost-" + std::to_string(getpid()) + "-now";
  {
    std::ofstream out(temporary, std::ios::binary);
    if (!out) throw HostError("cannot write " + target + ": " + std::strerror(errno));
    out << text;
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      throw HostError("cannot write " + target);
    }
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    throw HostError("cannot put " + target + " in place: " + why);
  }
  outputs_.cancel(target);
  if (plannedSave_.empty() && scriptPath_.empty()) chosenSave_ = target;
}

void Session::restoreScript(const std::string& text, const std::string& target) {
  const std::string currentName = current_ ? current_->name() : std::string();
  std::set<std::string> selected, panels;
  for (const auto& n : graph_.nodes()) {
    if (n->selected()) selected.insert(n->name());
    if (n->panelOpen()) panels.insert(n->name());
  }
  DD::Image::Graph fresh;
  RelativeFiles files;
  const std::string place = fs::absolute(target).string();
  loadScriptText(fresh, text, place, files);
  graph_.swap(fresh);
  std::swap(files_, files);
  current_ = graph_.find(currentName);
  for (const auto& n : graph_.nodes()) {
    n->setSelected(selected.count(n->name()) != 0);
    if (panels.count(n->name())) n->openPanel();
  }
  graph_.invalidateAll();
}

void Session::rib(const Args& args) {
  const std::string& target = args[0];
  if (target == "-") {
    std::cout.flush();
    std::fflush(stdout);
    writeScene(graph_, "-", "quorhost.tif", viewer().camera());
    return;
  }
  const fs::path folder = fs::absolute(target).parent_path();
  if (!fs::is_directory(folder)) throw HostError("cannot write " + target + ": no folder " + folder.string());
  const std::string picture = fs::path(target).stem().string() + ".tif";
  writeScene(graph_, outputs_.reserve(target), picture, viewer().camera());
}

void Session::render(const Args& args) {
  const std::string& target = args[0];
  for (size_t i = 1; i < args.size(); ++i)
    if (args[i] == "--size") setViewerSize(args[++i]);
  const std::string format = pictureFormat(target);
  const fs::path folder = fs::absolute(target).parent_path();
  if (!fs::is_directory(folder)) throw HostError("cannot write " + target + ": no folder " + folder.string());
  renderScene(graph_, outputs_.reserve(target), format, viewer().camera());
}

// ---- the viewer -------------------------------------------------------------------------

namespace {

// A pixel coordinate of the viewer: a finite decimal number.
float pixelCoordinate(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 1e6)
    throw HostError("bad pixel coordinate " + inQuotes(text));
  return static_cast<float>(v);
}

// Steps between the press and the release of a drag.
const int kDragSteps = 8;

}  // namespace

DD::Image::Viewer& Session::viewer() {
  if (!viewer_) viewer_.reset(new DD::Image::Viewer(graph_));
  return *viewer_;
}

// "WxH", each from 1 to 16384.
void Session::setViewerSize(const std::string& text) {
  const size_t x = text.find('x');
  int size[2] = {0, 0};
  const std::string parts[2] = {text.substr(0, x), x == std::string::npos ? std::string() : text.substr(x + 1)};
  for (int i = 0; i < 2; ++i) {
    const std::string& p = parts[i];
    if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
      throw HostError("bad size " + inQuotes(text) + " (expected WxH, for example 640x480)");
    size[i] = std::stoi(p);
    if (size[i] < 1 || size[i] > 16384) throw HostError("bad size " + inQuotes(text) + " (1 to 16384 pixels a side)");
  }
  viewer().setSize(size[0], size[1]);
}

void Session::size(const Args& args) { setViewerSize(args[0]); }

void Session::view(const Args& args) {
  const std::string& target = args[0];
  bool stencil = true;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--size")
      setViewerSize(args[++i]);
    else if (args[i] == "--no-stencil")
      stencil = false;
  }
  const fs::path folder = fs::absolute(target).parent_path();
  if (!fs::is_directory(folder)) throw HostError("cannot write " + target + ": no folder " + folder.string());
  DD::Image::Viewer& v = viewer();
  v.setStencil(stencil);
  std::string error;
  const bool drawn = v.writePicture(outputs_.reserve(target), &error);
  // Later clicks and drags see the framebuffer that a plain view has.
  v.setStencil(true);
  if (!drawn) throw HostError(error);
}

void Session::click(const Args& args) {
  const float x = pixelCoordinate(args[0]), y = pixelCoordinate(args[1]);
  std::string error;
  if (!viewer().press(x, y, &error)) throw HostError(error);
  viewer().release(x, y);
  graph_.invalidateAll();
}

void Session::drag(const Args& args) {
  const float x0 = pixelCoordinate(args[0]), y0 = pixelCoordinate(args[1]);
  const float x1 = pixelCoordinate(args[2]), y1 = pixelCoordinate(args[3]);
  DD::Image::Viewer& v = viewer();
  std::string error;
  if (!v.press(x0, y0, &error)) throw HostError(error);
  for (int i = 1; i < kDragSteps; ++i) {
    const float t = static_cast<float>(i) / kDragSteps;
    v.dragTo(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t);
  }
  v.release(x1, y1);
  graph_.invalidateAll();
}

}  // namespace quorhost
