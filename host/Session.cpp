#include "Session.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "HostError.h"
#include "Python.h"
#include "SceneWriter.h"
#include "Text.h"
#include "Warnings.h"

namespace quorhost {

namespace fs = std::filesystem;
using DD::Image::Knob;
using DD::Image::Op;

Session::Session(std::vector<std::string> pluginFolders) : pluginFolders_(std::move(pluginFolders)) {}

void Session::loadScript(const std::string& path) {
  const WarningCapture warnings;
  const std::vector<Node*> made = quorhost::loadScript(graph_, path, files_);
  loadWarnings_ = warnings.text();
  if (!made.empty()) current_ = made.back();
  scriptPath_ = path;
  asLoaded_ = true;
}

void Session::plan(const std::vector<Action>& actions) {
  for (const Action& action : actions)
    if (action.form->perform == &Session::save) plannedSave_ = action.args[0];
}

void Session::run(const Action& action) {
  static const decltype(action.form->perform) leaveNodesAlone[] = {
      &Session::makeCurrent, &Session::openPanel, &Session::select, &Session::deselect,
      &Session::printKnobs,  &Session::printInfo, &Session::save,   &Session::rib,
      &Session::render,      &Session::view,      &Session::size,   &Session::window};
  try {
    (this->*action.form->perform)(action.args);
  } catch (const HostError& e) {
    throw HostError(std::string(action.form->name) + ": " + e.what());
  }
  if (std::find(std::begin(leaveNodesAlone), std::end(leaveNodesAlone), action.form->perform) ==
      std::end(leaveNodesAlone))
    asLoaded_ = false;
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
  const Op::Description* description = Op::Description::find(op->Class());
  const char* help = op->node_help();
  std::cout << "name\t" << escapeField(node->name()) << '\n'
            << "class\t" << escapeField(op->Class()) << '\n'
            << "plugin\t" << (description && description->plugin ? escapeField(description->plugin) : std::string("-"))
            << '\n'
            << "help\t" << escapeField(help ? help : "") << '\n';
  for (int i = 0; i < op->inputs(); ++i) {
    char buffer[256] = {};
    const char* label = op->input_label(i, buffer);
    const Op* upstream = op->input(i);
    std::cout << "input\t" << i << '\t' << (label && *label ? escapeField(label) : std::string("-")) << '\t'
              << (upstream && upstream->node() ? escapeField(upstream->node()->name()) : std::string("-")) << '\n';
  }
  std::cout << "hash\t" << op->hash().value() << '\n';
  if (op->hasError()) std::cout << "error\t" << escapeField(op->errorMessage()) << '\n';
}

void Session::save(const Args& args) {
  const std::string& target = args[0];
  const std::string text = scriptText(target);
  std::string why;
  if (!writeTextFile(outputs_.reserve(target), text, &why))
    throw HostError("cannot write " + target + (why.empty() ? std::string() : ": " + why));
}

std::string Session::saveTarget() const {
  if (savedAs_) return chosenSave_;
  if (!plannedSave_.empty()) return plannedSave_;
  if (!scriptPath_.empty()) return scriptPath_;
  return chosenSave_;
}

std::string Session::scriptText(const std::string& target) const {
  return saveScript(graph_, fs::absolute(target).parent_path(), files_);
}

HeldScript Session::heldScript(const std::string& target, const HeldScript* earlier) const {
  return holdScript(graph_, fs::absolute(target).parent_path(), files_, earlier);
}

bool Session::sameAsHeld(const std::string& target, const HeldScript& held) const {
  return quorhost::sameAsHeld(graph_, fs::absolute(target).parent_path(), files_, held);
}

void Session::saveNow(const std::string& target) {
  writeTextBeside(target, scriptText(target));
  outputs_.cancel(target);
  if (plannedSave_.empty() && scriptPath_.empty()) chosenSave_ = target;
}

void Session::saveAs(const std::string& target) {
  saveNow(target);
  chosenSave_ = target;
  savedAs_ = true;
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
  requireFolder(target);
  const std::string picture = fs::path(target).stem().string() + ".tif";
  writeScene(graph_, outputs_.reserve(target), picture, viewer().camera());
}

void Session::render(const Args& args) {
  const std::string& target = args[0];
  for (size_t i = 1; i < args.size(); ++i)
    if (args[i] == "--size") setViewerSize(args[++i]);
  const std::string format = pictureFormat(target);
  requireFolder(target);
  renderScene(graph_, outputs_.reserve(target), format, viewer().camera());
}

// ---- the viewer -------------------------------------------------------------------------

namespace {

// A pixel coordinate of the viewer: a finite decimal number.
float pixelCoordinate(const std::string& text) {
  double v = 0;
  if (!DD::Image::parseNumber(text, &v) || std::fabs(v) > 1e6)
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
  sizeGiven_ = true;
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
  requireFolder(target);
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

void Session::window(const Args& args) {
  if (!openWindow_) throw HostError("this program has no window");
  std::string prefix;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--snapshot") prefix = args[++i];
  // What the window changed is not known here: once it is closed, the nodes
  // no longer count as loaded.
  struct Forget {
    bool& asLoaded;
    ~Forget() { asLoaded = false; }
  } forget{asLoaded_};
  openWindow_(*this, prefix);
}

}  // namespace quorhost
