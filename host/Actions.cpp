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

// The host's own knob class, for the script of a Python button.

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

struct ActionForm {
  const char* name;
  int args;             // arguments always taken
  const char* argText;  // for messages
};

const ActionForm kActions[] = {
    {"--new", 1, "CLASS [NAME]"},
    {"--node", 1, "NAME"},
    {"--connect", 2, "INPUT FROM"},
    {"--set", 2, "KNOB VALUE"},
    {"--press", 1, "KNOB"},
    {"--open-panel", 0, ""},
    {"--select", 0, ""},
    {"--deselect", 0, ""},
    {"--knobs", 0, ""},
    {"--info", 0, ""},
    {"--save", 1, "OUT.json"},
    {"--rib", 1, "OUT.rib"},
    {"--view", 1, "OUT.png [--size WxH] [--no-stencil]"},
    {"--size", 1, "WxH"},
    {"--click", 2, "X Y"},
    {"--drag", 4, "X0 Y0 X1 Y1"},
};

const ActionForm* findAction(const std::string& name) {
  for (const ActionForm& form : kActions)
    if (name == form.name) return &form;
  return nullptr;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--plugin-path") {
      if (i + 1 >= args.size()) throw HostError("--plugin-path needs an argument: DIR");
      cl.pluginPaths.push_back(args[++i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      const ActionForm* form = findAction(arg);
      if (!form) throw HostError("unknown action " + arg);
      Action action{arg, {}};
      for (int n = 0; n < form->args; ++n) {
        if (i + 1 >= args.size()) throw HostError(arg + " needs " + std::to_string(form->args) + " argument(s): " + form->argText);
        action.args.push_back(args[++i]);
      }
      // The node's name is optional: the next argument names it unless it
      // is the next action.
      if (arg == "--new" && i + 1 < args.size() && !startsWith(args[i + 1], "--")) action.args.push_back(args[++i]);
      // A view takes its picture size and framebuffer options after the
      // file name.
      while (arg == "--view" && i + 1 < args.size() && (args[i + 1] == "--size" || args[i + 1] == "--no-stencil")) {
        action.args.push_back(args[++i]);
        if (action.args.back() == "--size") {
          if (i + 1 >= args.size()) throw HostError("--view ... --size needs an argument: WxH");
          action.args.push_back(args[++i]);
        }
      }
      cl.actions.push_back(action);
    } else if (cl.script.empty()) {
      cl.script = arg;
    } else {
      throw HostError("unexpected argument " + inQuotes(arg) + " (the script is " + inQuotes(cl.script) + ")");
    }
  }
  return cl;
}

// ---- output files ----------------------------------------------------------------

Outputs::~Outputs() {
  for (const auto& f : files_) std::remove(f.first.c_str());
}

std::string Outputs::reserve(const std::string& target) {
  const std::string temporary =
      target + ".quorhost-" + std::to_string(getpid()) + "-" + std::to_string(files_.size());
  files_.emplace_back(temporary, target);
  return temporary;
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
}

void Session::run(const Action& a) {
  try {
    if (a.name == "--new") {
      newNode(a);
    } else if (a.name == "--node") {
      Node* n = graph_.find(a.args[0]);
      if (!n) throw HostError("no node named " + inQuotes(a.args[0]));
      current_ = n;
    } else if (a.name == "--connect") {
      connect(a);
    } else if (a.name == "--set") {
      set(a);
    } else if (a.name == "--press") {
      press(a);
    } else if (a.name == "--open-panel") {
      current(a)->openPanel();
      graph_.invalidateAll();
    } else if (a.name == "--select" || a.name == "--deselect") {
      current(a)->setSelected(a.name == "--select");
    } else if (a.name == "--knobs") {
      printKnobs(a);
    } else if (a.name == "--info") {
      printInfo(a);
    } else if (a.name == "--save") {
      save(a);
    } else if (a.name == "--rib") {
      rib(a);
    } else if (a.name == "--view") {
      view(a);
    } else if (a.name == "--size") {
      setViewerSize(a.args[0]);
    } else if (a.name == "--click") {
      click(a);
    } else if (a.name == "--drag") {
      drag(a);
    } else {
      throw HostError("unknown action");
    }
  } catch (const HostError& e) {
    throw HostError(a.name + ": " + e.what());
  }
}

Node* Session::current(const Action&) const {
  if (!current_) throw HostError("no current node (make one with --new or choose one with --node)");
  return current_;
}

Knob* Session::knobOf(Node* node, const std::string& name, const Action&) const {
  Knob* k = node->knob(name);
  if (!k) throw HostError("node " + inQuotes(node->name()) + " has no knob " + inQuotes(name));
  return k;
}

// An input given by its number or by its label.
int Session::inputNumber(Node* node, const std::string& text, const Action&) const {
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

void Session::newNode(const Action& a) {
  const std::string& className = a.args[0];
  const std::string name = a.args.size() > 1 ? a.args[1] : std::string();
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

void Session::connect(const Action& a) {
  Node* node = current(a);
  const int input = inputNumber(node, a.args[0], a);
  Node* from = graph_.find(a.args[1]);
  if (!from) throw HostError("no node named " + inQuotes(a.args[1]));
  std::string error;
  if (!graph_.connect(node, input, from, &error)) throw HostError(error);
}

void Session::set(const Action& a) {
  Node* node = current(a);
  const std::string& name = a.args[0];
  const std::string& value = a.args[1];
  Knob* k = knobOf(node, name, a);
  if (!k->hasValue()) throw HostError("knob " + inQuotes(name) + " of node " + inQuotes(node->name()) + " holds no value");
  // A relative file path is relative to the working folder here.
  const bool isFile = k->kind() == DD::Image::FILE_KNOB;
  const std::string text = isFile ? RelativeFiles::resolve(value, fs::current_path()) : value;
  // The knob may be gone once the node has heard of the change.
  if (!node->userSetText(k, text.c_str()))
    throw HostError("knob " + inQuotes(name) + " of node " + inQuotes(node->name()) + " refuses the value " + inQuotes(value));
  if (isFile && RelativeFiles::isRelative(value))
    files_.remember(node, name, text);
  else
    files_.forget(node, name);
  // Nodes downstream of this one depend on its value too.
  graph_.invalidateAll();
}

void Session::press(const Action& a) {
  Node* node = current(a);
  Knob* k = knobOf(node, a.args[0], a);
  const int kind = k->kind();
  if (kind != DD::Image::SCRIPT_KNOB && kind != DD::Image::PYSCRIPT_KNOB)
    throw HostError("knob " + inQuotes(a.args[0]) + " of node " + inQuotes(node->name()) + " is not a button (kind " +
                    std::to_string(kind) + ")");
  if (kind == DD::Image::PYSCRIPT_KNOB) {
    const std::string why = runPython(DD::Image::buttonScript(k));
    if (!why.empty()) throw HostError("button " + inQuotes(a.args[0]) + " of node " + inQuotes(node->name()) + ": " + why);
  }
  node->changed(k);
  graph_.invalidateAll();
}

void Session::printKnobs(const Action& a) const {
  const Node* node = current(a);
  for (const auto& k : node->knobs()) {
    std::cout << (k->name().empty() ? std::string("-") : escapeField(k->name())) << '\t' << k->kind() << '\t'
              << (k->hasValue() ? escapeField(k->valueText()) : std::string()) << '\t'
              << (k->isVisible() ? "visible" : "hidden") << '\n';
  }
}

void Session::printInfo(const Action& a) const {
  const Node* node = current(a);
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

void Session::save(const Action& a) {
  const std::string& target = a.args[0];
  const std::string text = saveScript(graph_, fs::absolute(target).parent_path(), files_);
  const std::string temporary = outputs_.reserve(target);
  std::ofstream out(temporary, std::ios::binary);
  if (!out) throw HostError("cannot write " + target + ": " + std::strerror(errno));
  out << text;
  out.close();
  if (!out) throw HostError("cannot write " + target);
}

void Session::rib(const Action& a) {
  const std::string& target = a.args[0];
  if (target == "-") {
    std::cout.flush();
    std::fflush(stdout);
    writeScene(graph_, "-", "quorhost.tif", camera_);
    return;
  }
  const fs::path folder = fs::absolute(target).parent_path();
  if (!fs::is_directory(folder)) throw HostError("cannot write " + target + ": no folder " + folder.string());
  const std::string picture = fs::path(target).stem().string() + ".tif";
  writeScene(graph_, outputs_.reserve(target), picture, camera_);
}

// ---- the viewer -------------------------------------------------------------------------

namespace {

// A pixel coordinate of the viewer: a finite decimal number.
float pixelCoordinate(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v) ||
      std::fabs(v) > 1e6)
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
  camera_.width = size[0];
  camera_.height = size[1];
  viewer().setSize(size[0], size[1]);
}

void Session::view(const Action& a) {
  const std::string& target = a.args[0];
  bool stencil = true;
  for (size_t i = 1; i < a.args.size(); ++i) {
    if (a.args[i] == "--size")
      setViewerSize(a.args[++i]);
    else if (a.args[i] == "--no-stencil")
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

void Session::click(const Action& a) {
  const float x = pixelCoordinate(a.args[0]), y = pixelCoordinate(a.args[1]);
  std::string error;
  if (!viewer().press(x, y, &error)) throw HostError(error);
  viewer().release(x, y);
  graph_.invalidateAll();
}

void Session::drag(const Action& a) {
  const float x0 = pixelCoordinate(a.args[0]), y0 = pixelCoordinate(a.args[1]);
  const float x1 = pixelCoordinate(a.args[2]), y1 = pixelCoordinate(a.args[3]);
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
