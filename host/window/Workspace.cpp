#include "window/Workspace.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include <DDImage/Knobs.h>
#include <DDImageHost/ImageFiles.h>
#include <DDImageHost/Viewer.h>
#include <nlohmann/json.hpp>

#include "HostError.h"
#include "OutputFiles.h"
#include "SceneWriter.h"
#include "window/Navigation.h"

namespace quorhost {

namespace fs = std::filesystem;
using DD::Image::Camera;
using DD::Image::Knob;
using DD::Image::Vector3;

Workspace::Workspace(Session& session) : session_(session) {}

Workspace::~Workspace() {
  if (renderFolder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(renderFolder_, ignored);
}

// ---- the viewer ---------------------------------------------------------------------

void Workspace::setViewerSize(int width, int height) {
  DD::Image::Viewer& viewer = session_.viewer();
  if (viewer.width() != width || viewer.height() != height) viewer.setSize(width, height);
}

const Camera& Workspace::camera() { return session_.viewer().camera(); }

bool Workspace::drawViewer(std::vector<unsigned char>* rgba, std::string* error) {
  session_.graph().validateAll();
  return session_.viewer().draw(rgba, error);
}

void Workspace::press(PointerButton button, bool shift, bool alt, float x, float y) {
  if (gesture_ != Gesture::None) return;
  Gesture g = Gesture::None;
  if (button == PointerButton::Left)
    g = alt ? Gesture::Tumble : Gesture::Edit;
  else if (button == PointerButton::Middle)
    g = alt || shift ? Gesture::Track : Gesture::Tumble;
  else if (button == PointerButton::Right && alt)
    g = Gesture::Dolly;
  if (g == Gesture::None) return;
  gesture_ = g;
  gestureButton_ = button;
  lastX_ = x;
  lastY_ = y;
  if (g != Gesture::Edit) return;
  beginStep();
  std::string error;
  if (!session_.viewer().press(x, y, &error)) {
    message_ = error;
    gesture_ = Gesture::None;
    endStep();
    return;
  }
  session_.graph().invalidateAll();
}

void Workspace::move(float x, float y) {
  const float dx = x - lastX_, dy = y - lastY_;
  lastX_ = x;
  lastY_ = y;
  Camera c = session_.viewer().camera();
  switch (gesture_) {
    case Gesture::None:
      return;
    case Gesture::Edit:
      session_.viewer().dragTo(x, y);
      session_.graph().invalidateAll();
      return;
    case Gesture::Tumble:
      tumble(c, dx, dy);
      break;
    case Gesture::Track:
      track(c, dx, dy);
      break;
    case Gesture::Dolly:
      dollyDrag(c, dx, dy);
      break;
  }
  session_.viewer().setCamera(c);
}

void Workspace::release(PointerButton button, float x, float y) {
  if (gesture_ == Gesture::None || button != gestureButton_) return;
  if (gesture_ == Gesture::Edit) {
    session_.viewer().release(x, y);
    session_.graph().invalidateAll();
    gesture_ = Gesture::None;
    endStep();
    return;
  }
  move(x, y);
  gesture_ = Gesture::None;
}

void Workspace::scroll(float steps) {
  Camera c = session_.viewer().camera();
  dolly(c, steps);
  session_.viewer().setCamera(c);
}

bool Workspace::frameSelected() {
  const float inf = std::numeric_limits<float>::infinity();
  Vector3 lo(inf, inf, inf), hi(-inf, -inf, -inf);
  bool any = false;
  session_.graph().validateAll();
  for (const auto& n : session_.graph().nodes()) {
    if (!n->selected() || !n->op()) continue;
    const DD::Image::Matrix4 parent = DD::Image::Viewer::parentMatrix(n->op());
    // Position knobs are those that the viewer gives handles.
    for (const auto& k : n->knobs()) {
      if (k->kind() != DD::Image::XYZ_KNOB || k->flag(Knob::NO_HANDLES) || k->channels() < 3) continue;
      const Vector3 p =
          parent.transform(Vector3(static_cast<float>(k->get_value(0)), static_cast<float>(k->get_value(1)),
                                   static_cast<float>(k->get_value(2))));
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
      for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], p[i]);
        hi[i] = std::max(hi[i], p[i]);
      }
      any = true;
    }
  }
  if (!any) {
    message_ = "nothing to frame: no selected node has a position";
    return false;
  }
  Camera c = session_.viewer().camera();
  frame(c, lo, hi);
  session_.viewer().setCamera(c);
  return true;
}

void Workspace::home() {
  Camera c = session_.viewer().camera();
  quorhost::home(c);
  session_.viewer().setCamera(c);
}

// ---- the panel ------------------------------------------------------------------------

void Workspace::choose(Node* node) {
  if (!node) return;
  session_.setCurrentNode(node);
  if (!node->selected()) setSelected(node, true);
}

void Workspace::setSelected(Node* node, bool selected) {
  if (!node || node->selected() == selected) return;
  node->setSelected(selected);
  changed();
}

bool Workspace::setKnob(Node* node, Knob* k, const std::string& text) {
  beginStep();
  bool ok = true;
  try {
    session_.setKnob(node, k, text);
  } catch (const HostError& e) {
    message_ = e.what();
    ok = false;
  }
  endStep();
  return ok;
}

bool Workspace::setChannel(Node* node, Knob* k, int channel, double value) {
  const bool integer = k->kind() == DD::Image::INT_KNOB;
  std::string text;
  for (int c = 0; c < std::max(k->channels(), 1); ++c) {
    const double v = c == channel ? value : k->get_value(c);
    // Floats in their shortest form: 0.1 nudged shows 0.11.
    char number[64];
    const auto end = integer ? std::to_chars(number, number + sizeof number, static_cast<long long>(std::llround(v)))
                     : k->kind() == DD::Image::DOUBLE_KNOB
                         ? std::to_chars(number, number + sizeof number, v)
                         : std::to_chars(number, number + sizeof number, static_cast<float>(v));
    text += (c ? "," : "") + std::string(number, end.ptr);
  }
  return setKnob(node, k, text);
}

double Workspace::nudgeStep(const Knob* k) { return k->kind() == DD::Image::INT_KNOB ? 1.0 : 0.01; }

bool Workspace::nudgeKnob(Node* node, Knob* k, int channel, double steps) {
  return setChannel(node, k, channel, k->get_value(channel) + steps * nudgeStep(k));
}

bool Workspace::pressKnob(Node* node, Knob* k) {
  beginStep();
  bool ok = true;
  try {
    session_.pressKnob(node, k);
  } catch (const HostError& e) {
    message_ = e.what();
    ok = false;
  }
  endStep();
  return ok;
}

// ---- nodes and files ---------------------------------------------------------------

Node* Workspace::addNode(const std::string& className) {
  beginStep();
  Node* made = nullptr;
  try {
    session_.newNode({className});
    made = session_.currentNode();
    message_ = "added " + made->name();
  } catch (const HostError& e) {
    message_ = e.what();
  }
  endStep();
  return made;
}

std::vector<Node*> Workspace::inputChoices(Node* node, int input) {
  std::vector<Node*> fit;
  for (const auto& n : session_.graph().nodes())
    if (n.get() != node && session_.graph().canConnect(node, input, n.get(), nullptr)) fit.push_back(n.get());
  return fit;
}

bool Workspace::connectInput(Node* node, int input, Node* from) {
  beginStep();
  std::string error;
  const bool ok = session_.graph().connect(node, input, from, &error);
  if (!ok) message_ = error;
  endStep();
  return ok;
}

std::vector<std::string> Workspace::imageFiles(const std::string& folder) {
  static const std::set<std::string> kImages = {".bmp", ".dpx", ".exr", ".hdr",  ".jpeg", ".jpg",
                                                ".png", ".tga", ".tif", ".tiff", ".tx"};
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string extension = it->path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (kImages.count(extension) && it->is_regular_file(ec)) files.push_back(it->path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Workspace::nodeError(Node* node) {
  if (!node || !node->op()) return std::string();
  node->op()->validate(true);
  return node->op()->hasError() ? node->op()->errorMessage() : std::string();
}

// ---- history ---------------------------------------------------------------------------

std::string Workspace::snapshotTarget() const {
  const std::string target = session_.saveTarget();
  return target.empty() ? (fs::current_path() / "untitled.json").string() : target;
}

Workspace::State Workspace::capture() {
  State s;
  s.script = session_.scriptText(snapshotTarget());
  for (const auto& n : session_.graph().nodes())
    for (const auto& k : n->knobs())
      if (k->hasValue() && k->flag(Knob::DO_NOT_WRITE) && !k->name().empty())
        s.unsaved[{n->name(), k->name()}] = k->valueText();
  return s;
}

void Workspace::restore(const State& state) {
  session_.restoreScript(state.script, snapshotTarget());
  // Knobs that scripts do not hold keep the values they had in that state.
  for (const auto& entry : state.unsaved) {
    Node* n = session_.graph().find(entry.first.first);
    Knob* k = n ? n->knob(entry.first.second) : nullptr;
    if (k && k->valueText() != entry.second) n->userSetText(k, entry.second.c_str());
  }
  session_.graph().invalidateAll();
  changed();
}

void Workspace::beginStep() {
  if (stepDepth_++ > 0) return;
  stepStart_.reset();
  try {
    State now = capture();
    if (!undo_.empty() && *undo_.back().second == now)
      stepStart_ = undo_.back().second;
    else
      stepStart_ = std::make_shared<const State>(std::move(now));
  } catch (const HostError& e) {
    // A script that cannot be written cannot be put back either.
    message_ = std::string("this change cannot be undone: ") + e.what();
  }
}

void Workspace::endStep() {
  if (stepDepth_ == 0 || --stepDepth_ > 0) return;
  changed();
  StatePtr before = std::move(stepStart_);
  stepStart_.reset();
  if (!before) return;
  State after;
  try {
    after = capture();
  } catch (const HostError& e) {
    message_ = std::string("this change cannot be undone: ") + e.what();
    return;
  }
  if (after == *before) return;
  undo_.emplace_back(std::move(before), std::make_shared<const State>(std::move(after)));
  redo_.clear();
  trimHistory();
}

void Workspace::trimHistory() {
  auto bytes = [this]() {
    std::set<const State*> seen;
    size_t total = 0;
    for (const auto* list : {&undo_, &redo_})
      for (const auto& step : *list)
        for (const State* s : {step.first.get(), step.second.get()})
          if (seen.insert(s).second) {
            total += s->script.size();
            for (const auto& u : s->unsaved) total += u.first.first.size() + u.first.second.size() + u.second.size();
          }
    return total;
  };
  // The last step stays, whatever its size.
  while (undo_.size() > 1 && (undo_.size() > kHistorySteps || bytes() > kHistoryBytes)) undo_.erase(undo_.begin());
}

bool Workspace::undo() { return replay(&undo_, &redo_, true, "undo", "undone"); }

bool Workspace::redo() { return replay(&redo_, &undo_, false, "redo", "redone"); }

bool Workspace::replay(std::vector<Step>* from, std::vector<Step>* to, bool before, const char* verb,
                       const char* done) {
  if (from->empty() || gesture_ == Gesture::Edit || stepDepth_ > 0) return false;
  try {
    restore(before ? *from->back().first : *from->back().second);
  } catch (const HostError& e) {
    message_ = std::string("cannot ") + verb + ": " + e.what();
    return false;
  }
  to->push_back(std::move(from->back()));
  from->pop_back();
  message_ = done;
  return true;
}

// ---- the script file -----------------------------------------------------------------------

namespace {

// A script's text in one normal form; empty when it is no JSON.
std::string normalScript(const std::string& text) {
  try {
    return nlohmann::json::parse(text).dump();
  } catch (const nlohmann::json::exception&) {
    return std::string();
  }
}

}  // namespace

void Workspace::readSavedFile() {
  savedTarget_ = session_.saveTarget();
  savedKnown_ = true;
  savedNormal_.clear();
  if (savedTarget_.empty()) return;
  std::ifstream file(savedTarget_, std::ios::binary);
  if (!file) return;
  std::ostringstream text;
  text << file.rdbuf();
  savedNormal_ = normalScript(text.str());
}

bool Workspace::dirty() {
  if (!savedKnown_ || savedTarget_ != session_.saveTarget()) {
    readSavedFile();
    dirtyKnown_ = false;
  }
  if (dirtyKnown_) return dirty_;
  const std::string target = savedTarget_.empty() ? snapshotTarget() : savedTarget_;
  std::string current;
  try {
    current = normalScript(session_.scriptText(target));
  } catch (const HostError&) {
    current.clear();
  }
  dirty_ = current.empty() || current != savedNormal_;
  dirtyKnown_ = true;
  return dirty_;
}

bool Workspace::save(const std::string& target) { return saveTo(target, false); }

bool Workspace::saveAs(const std::string& target) { return saveTo(target, true); }

bool Workspace::saveTo(const std::string& target, bool makeTarget) {
  if (target.empty()) {
    message_ = "no file to save to";
    return false;
  }
  try {
    if (makeTarget)
      session_.saveAs(target);
    else
      session_.saveNow(target);
  } catch (const HostError& e) {
    message_ = e.what();
    return false;
  }
  savedKnown_ = false;
  changed();
  message_ = "saved " + target;
  return true;
}

// ---- the render ---------------------------------------------------------------------------

bool Workspace::render() {
  if (renderFolder_.empty()) {
    std::string pattern = (fs::temp_directory_path() / "quorhost-render-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      message_ = "cannot render: no temporary folder";
      return false;
    }
    renderFolder_ = pattern;
  }
  const std::string file = (fs::path(renderFolder_) / "render.png").string();
  try {
    renderScene(session_.graph(), file, "png", session_.viewer().camera());
  } catch (const HostError& e) {
    message_ = e.what();
    return false;
  }
  // As the window shows it: colour premultiplied.
  DD::Image::ImageFile picture;
  std::string why;
  if (!DD::Image::readImageFile(file, false, picture, why)) {
    message_ = "cannot read the render " + file + ": " + why;
    return false;
  }
  std::vector<unsigned char> rgba = DD::Image::rgba8(picture, false);
  renderFile_ = file;
  renderWidth_ = picture.width;
  renderHeight_ = picture.height;
  renderPixels_ = std::move(rgba);
  message_ = "rendered " + std::to_string(renderWidth_) + " x " + std::to_string(renderHeight_);
  return true;
}

bool Workspace::saveRender(const std::string& path) {
  if (!hasRender()) {
    message_ = "nothing rendered yet";
    return false;
  }
  try {
    const std::string format = pictureFormat(path);
    requireFolder(path);
    writeBeside(path, [this, &format](const std::string& temporary, std::string* why) {
      if (format != "png")
        return DD::Image::writeImageFile(temporary, format, renderWidth_, renderHeight_, renderPixels_.data(), false,
                                         *why);
      // The renderer's own file, as it wrote it.
      std::error_code ec;
      const bool copied = fs::copy_file(renderFile_, temporary, fs::copy_options::overwrite_existing, ec);
      *why = ec.message();
      return copied;
    });
  } catch (const HostError& e) {
    message_ = e.what();
    return false;
  }
  message_ = "saved the render as " + path;
  return true;
}

}  // namespace quorhost
