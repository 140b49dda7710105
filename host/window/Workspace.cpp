#include "window/Workspace.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
#include "Text.h"
#include "Warnings.h"
#include "window/Navigation.h"

namespace quorhost {

namespace fs = std::filesystem;
using DD::Image::Camera;
using DD::Image::Knob;
using DD::Image::Vector3;

Workspace::Workspace(Session& session) : session_(session), message_(session.loadWarnings()) {
  // Nodes just loaded are what their file says: no need to read it again.
  if (session_.asLoaded() && !session_.scriptPath().empty() && session_.saveTarget() == session_.scriptPath()) {
    try {
      baseline_ = std::make_shared<const State>(capture(nullptr));
      baselineTarget_ = session_.saveTarget();
      dirtyKnown_ = true;
      dirtyTarget_ = baselineTarget_;
    } catch (const HostError&) {
      baseline_.reset();
    }
  }
}

Workspace::~Workspace() {
  if (rendering()) {
    cancel_ = true;
    worker_.join();
  }
  if (renderFolder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(renderFolder_, ignored);
}

namespace {

// The card's knobs that "Move handles with the point" works through: a
// point's knob ("control_point.C.R"), its handles' knobs (that name with ".0"
// to ".3") and the rule that turns a handle's opposite one.
const char* const kCardPointKnobPrefix = "control_point.";
const int kCardHandleSlots = 4;
const char* const kCardBreakKnob = "break_tangent";

std::string numberText(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", v);
  return buffer;
}

}  // namespace

// What nodes warned of during an edit takes the message line.
void Workspace::showWarnings(const WarningCapture& warnings) {
  const std::string text = warnings.text();
  if (!text.empty()) message_ = message_.empty() ? text : message_ + "\n" + text;
}

// ---- the viewer ---------------------------------------------------------------------

void Workspace::setViewerSize(int width, int height) {
  DD::Image::Viewer& viewer = session_.viewer();
  if (viewer.width() != width || viewer.height() != height) viewer.setSize(width, height);
}

const Camera& Workspace::camera() { return session_.viewer().camera(); }

bool Workspace::drawViewer(std::vector<unsigned char>* rgba, std::string* error) {
  session_.graph().validateAll();
  DD::Image::Viewer& viewer = session_.viewer();
  if (!finalSurface_) return viewer.draw(rgba, error);
  preview_.update(previewSurfaces(session_.graph(), kPreviewFacets));
  viewer.setOverlay([this](DD::Image::ViewerContext& ctx) { preview_.draw(ctx); });
  viewer.setSurfaceOffset(1, kNodeSurfacesBehindPreview);
  const bool drawn = viewer.draw(rgba, error);
  viewer.setSurfaceOffset(1, 1);
  viewer.setOverlay(nullptr);
  return drawn;
}

namespace {

// The knobs of the handles of the card point whose knob is `k`, those the
// point has.
std::vector<Knob*> handleKnobs(Node& node, const Knob& k) {
  const std::string& name = k.name();
  std::vector<Knob*> handles;
  if (name.rfind(kCardPointKnobPrefix, 0) != 0 || std::count(name.begin(), name.end(), '.') != 2) return handles;
  for (int slot = 0; slot < kCardHandleSlots; ++slot)
    if (Knob* h = node.knob(name + "." + std::to_string(slot))) handles.push_back(h);
  return handles;
}

}  // namespace

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
  const WarningCapture warnings;
  std::string error;
  if (!session_.viewer().press(x, y, &error)) {
    message_ = error;
    gesture_ = Gesture::None;
    endStep();
    return;
  }
  if (Knob* k = session_.viewer().grabbedKnob(); k && k->op() && k->op()->node()) {
    Node* node = k->op()->node();
    editStarts(node, k);
    // The handles that dragTo moves with the point are edits of the step too,
    // so that an undo sets them back knob by knob.
    if (moveHandlesWithPoint_)
      for (Knob* h : handleKnobs(*node, *k)) editStarts(node, h, true);
  }
  session_.graph().invalidateAll();
  showWarnings(warnings);
}

void Workspace::move(float x, float y) {
  const float dx = x - lastX_, dy = y - lastY_;
  lastX_ = x;
  lastY_ = y;
  Camera c = session_.viewer().camera();
  switch (gesture_) {
    case Gesture::None:
      return;
    case Gesture::Edit: {
      const WarningCapture warnings;
      dragTo(x, y);
      session_.graph().invalidateAll();
      showWarnings(warnings);
      return;
    }
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
    const WarningCapture warnings;
    dragTo(x, y);
    session_.viewer().release(x, y);
    showWarnings(warnings);
    session_.graph().invalidateAll();
    gesture_ = Gesture::None;
    editEnds();
    endStep();
    return;
  }
  move(x, y);
  gesture_ = Gesture::None;
}

void Workspace::dragTo(float x, float y) {
  DD::Image::Viewer& viewer = session_.viewer();
  Knob* k = viewer.grabbedKnob();
  Node* node = k && k->op() ? k->op()->node() : nullptr;
  const std::vector<Knob*> handles = moveHandlesWithPoint_ && node ? handleKnobs(*node, *k) : std::vector<Knob*>();
  if (handles.empty()) {
    viewer.dragTo(x, y);
    return;
  }
  const double before[3] = {k->get_value(0), k->get_value(1), k->get_value(2)};
  viewer.dragTo(x, y);
  const double offset[3] = {k->get_value(0) - before[0], k->get_value(1) - before[1], k->get_value(2) - before[2]};
  if (offset[0] == 0 && offset[1] == 0 && offset[2] == 0) return;
  // Unless "break" is on, the card turns the opposite handle of each one
  // set; every handle gets the same offset here, so the rule rests while
  // they move.
  // The rule's knob is set without a change of its own: the first handle's
  // change stores it before the card reacts, which saves a store pass (a
  // dense card compares its whole points text in each).
  Knob* breakKnob = node->knob(kCardBreakKnob);
  const bool rested = breakKnob && breakKnob->get_value(0) == 0;
  if (rested) breakKnob->set_value(1);
  for (Knob* h : handles)
    node->userSetValues(h, {h->get_value(0) + offset[0], h->get_value(1) + offset[1], h->get_value(2) + offset[2]});
  if (rested) node->userSetValues(breakKnob, {0});
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
  // Selection is neither an unsaved change nor a step of the history.
  if (node) node->setSelected(selected);
}

bool Workspace::setKnob(Node* node, Knob* k, const std::string& text) {
  beginStep();
  bool ok = true;
  editStarts(node, k);
  const std::string name = k->name();
  double lo = 0, hi = 0, typed = 0;
  const bool ranged = DD::Image::knobRange(k, &lo, &hi) && k->flag(Knob::FORCE_RANGE) && k->channels() == 1 &&
                      DD::Image::parseNumber(text, &typed);
  const WarningCapture warnings;
  try {
    session_.setKnob(node, k, text);
  } catch (const HostError& e) {
    message_ = e.what();
    ok = false;
  }
  // The knob may be gone once the node has heard of the change.
  Knob* now = ok ? node->knob(name) : nullptr;
  if (now && ranged && (typed < lo || typed > hi))
    message_ = inQuotes(name) + ": " + numberText(typed) + " is held to " + now->valueText() + ", within " +
               numberText(lo) + " to " + numberText(hi);
  showWarnings(warnings);
  editEnds();
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
  const WarningCapture warnings;
  try {
    session_.pressKnob(node, k);
  } catch (const HostError& e) {
    message_ = e.what();
    ok = false;
  }
  showWarnings(warnings);
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

Workspace::State Workspace::capture(const State* earlier) {
  State s;
  s.script = session_.heldScript(snapshotTarget(), earlier ? &earlier->script : nullptr);
  s.knobs = knobTexts();
  return s;
}

std::vector<Workspace::KnobText> Workspace::knobTexts() const {
  std::vector<KnobText> knobs;
  for (const auto& n : session_.graph().nodes())
    for (const Knob* k : n->awakeKnobs())
      if (!k->madeByReplace() && k->hasValue() && !k->name().empty() && !holdsLongText(*k))
        knobs.push_back(KnobText{n->name(), k->name(), k->valueText()});
  return knobs;
}

const Workspace::State* Workspace::lastState() const {
  if (!undo_.empty()) return undo_.back().after.get();
  if (!redo_.empty()) return redo_.back().before.get();
  return baseline_.get();
}

void Workspace::restore(const State& state) {
  session_.restoreScript(heldScriptText(state.script), snapshotTarget());
  // Knobs that scripts do not hold keep the values they had in that state.
  for (const KnobText& entry : state.knobs) {
    Node* n = session_.graph().find(entry.node);
    Knob* k = n ? n->knob(entry.knob) : nullptr;
    if (k && k->valueText() != entry.text) n->userSetText(k, entry.text.c_str());
  }
  session_.graph().invalidateAll();
  edited();
}

bool Workspace::replayEdits(const State& state, const std::vector<Edit>& edits, bool undo) {
  // The knobs alone: the script is compared once the edits are replayed.
  const std::vector<KnobText> now = knobTexts();
  if (now.size() != state.knobs.size()) return false;
  for (size_t i = 0; i < now.size(); ++i) {
    const KnobText &have = now[i], &want = state.knobs[i];
    if (have.node != want.node || have.knob != want.knob) return false;
    if (have.text == want.text) continue;
    Node* n = session_.graph().find(want.node);
    Knob* k = n ? n->knob(want.knob) : nullptr;
    if (!k || !n->userSetText(k, want.text.c_str())) return false;
  }
  // The card's turning rule rests while handles that moved with their
  // point go back (or forth), as it rested while they moved.
  std::vector<std::pair<Node*, Knob*>> rested;
  for (const Edit& e : edits) {
    Node* n = e.rested ? session_.graph().find(e.node) : nullptr;
    Knob* rule = n ? n->knob(kCardBreakKnob) : nullptr;
    if (!rule || rule->get_value(0) != 0 ||
        std::find(rested.begin(), rested.end(), std::make_pair(n, rule)) != rested.end())
      continue;
    // Stored by the first edit replayed, as in dragTo.
    rule->set_value(1);
    rested.emplace_back(n, rule);
  }
  bool replayed = true;
  for (size_t i = 0; replayed && i < edits.size(); ++i) {
    const Edit& e = edits[undo ? edits.size() - 1 - i : i];
    Node* n = session_.graph().find(e.node);
    Knob* k = n ? n->knob(e.knob) : nullptr;
    replayed = k && n->userSetText(k, (undo ? e.before : e.after).c_str());
  }
  for (const auto& [n, rule] : rested) n->userSetValues(rule, {0});
  if (!replayed) return false;
  session_.graph().invalidateAll();
  edited();
  if (!(capture(&state) == state)) return false;
  // The graph is `state` again: whether that is the saved script follows
  // from the states, which share the texts that are the same, without
  // reading the knobs' texts again.
  const std::string target = session_.saveTarget();
  if (baseline_ && baselineTarget_ == target && !target.empty()) {
    dirty_ = state.script != baseline_->script;
    dirtyKnown_ = true;
    dirtyTarget_ = target;
  }
  return true;
}

void Workspace::editStarts(Node* node, Knob* k, bool rested) {
  if (stepDepth_ == 0 || !node || !k->madeByReplace()) return;
  editing_.push_back(Edit{node->name(), k->name(), k->valueText(), std::string(), rested});
}

void Workspace::editEnds() {
  for (Edit& e : editing_) {
    Node* n = session_.graph().find(e.node);
    Knob* k = n ? n->knob(e.knob) : nullptr;
    if (k && k->valueText() != e.before) {
      e.after = k->valueText();
      stepEdits_.push_back(std::move(e));
    }
  }
  editing_.clear();
}

void Workspace::beginStep() {
  if (stepDepth_++ > 0) return;
  // A new change: what the message said of earlier ones is old news.
  message_.clear();
  stepStart_.reset();
  stepEdits_.clear();
  editing_.clear();
  try {
    const State* last = lastState();
    State now = capture(last);
    if (!undo_.empty() && *undo_.back().after == now)
      stepStart_ = undo_.back().after;
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
  std::vector<Edit> edits = std::move(stepEdits_);
  stepEdits_.clear();
  if (!before) return;
  State after;
  try {
    after = capture(before.get());
  } catch (const HostError& e) {
    message_ = std::string("this change cannot be undone: ") + e.what();
    return;
  }
  if (after == *before) return;
  ++edits_;
  undo_.push_back(Step{std::move(before), std::make_shared<const State>(std::move(after)), std::move(edits)});
  redo_.clear();
  trimHistory();
}

void Workspace::trimHistory() {
  auto bytes = [this]() {
    std::set<const void*> seen;
    size_t total = 0;
    auto count = [&](const void* p, size_t size) {
      if (seen.insert(p).second) total += size;
    };
    for (const auto* list : {&undo_, &redo_})
      for (const auto& step : *list)
        for (const State* s : {step.before.get(), step.after.get()}) {
          count(s, s->script.text.size());
          for (const auto& t : s->script.texts) count(t.get(), t->size());
          for (const auto& k : s->knobs) count(&k, k.node.size() + k.knob.size() + k.text.size());
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
  const Step& step = from->back();
  const State& state = before ? *step.before : *step.after;
  const WarningCapture warnings;
  try {
    if (!replayEdits(state, step.edits, before)) restore(state);
  } catch (const HostError& e) {
    message_ = std::string("cannot ") + verb + ": " + e.what();
    return false;
  }
  to->push_back(std::move(from->back()));
  from->pop_back();
  message_ = done;
  showWarnings(warnings);
  return true;
}

// ---- the script file -----------------------------------------------------------------------

namespace {

// A script's text in one normal form, without selections; empty when it is
// no JSON.
std::string normalScript(const std::string& text) {
  try {
    nlohmann::json doc = nlohmann::json::parse(text);
    if (doc.is_object() && doc.contains("nodes") && doc["nodes"].is_array())
      for (auto& node : doc["nodes"])
        if (node.is_object()) node.erase("selected");
    return doc.dump();
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
  const std::string target = session_.saveTarget();
  if (dirtyKnown_ && target == dirtyTarget_) return dirty_;
  dirtyKnown_ = true;
  dirtyTarget_ = target;
  try {
    if (baseline_ && baselineTarget_ == target && !target.empty()) {
      dirty_ = !session_.sameAsHeld(target, baseline_->script);
      return dirty_;
    }
    // Not known from the history: the file is read and compared.
    if (!savedKnown_ || savedTarget_ != target) readSavedFile();
    const std::string current = normalScript(session_.scriptText(target.empty() ? snapshotTarget() : target));
    dirty_ = current.empty() || current != savedNormal_;
    if (!dirty_) {
      baseline_ = std::make_shared<const State>(capture(lastState()));
      baselineTarget_ = target;
    }
  } catch (const HostError&) {
    dirty_ = true;
  }
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
  try {
    baseline_ = std::make_shared<const State>(capture(lastState()));
    baselineTarget_ = target;
  } catch (const HostError&) {
    baseline_.reset();
  }
  message_ = "saved " + target;
  return true;
}

// ---- the render ---------------------------------------------------------------------------

bool Workspace::startRender() {
  if (rendering()) {
    message_ = "a render is running";
    return false;
  }
  if (renderFolder_.empty()) {
    std::string pattern = (fs::temp_directory_path() / "quorhost-render-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      message_ = "cannot render: no temporary folder";
      return false;
    }
    renderFolder_ = pattern;
  }
  // A file of its own, so that the picture shown meanwhile stays whole.
  jobFile_ = (fs::path(renderFolder_) / ("render-" + std::to_string(++renders_) + ".png")).string();
  try {
    job_ = std::make_unique<RenderJob>(session_.graph(), jobFile_, "png", session_.viewer().camera());
  } catch (const HostError& e) {
    message_ = e.what();
    return false;
  }
  jobEdits_ = edits_;
  progress_ = 0;
  cancel_ = false;
  ended_ = false;
  jobError_.clear();
  jobCancelled_ = false;
  worker_ = std::thread([this] {
    try {
      jobCancelled_ = !job_->run([this](float done) {
        progress_ = done;
        return !cancel_;
      });
    } catch (const HostError& e) {
      jobError_ = e.what();
    }
    ended_ = true;
  });
  message_ = "rendering\u2026";
  return true;
}

bool Workspace::finishRender(bool wait) {
  if (!rendering() || (!wait && !ended_)) return false;
  worker_.join();
  job_.reset();
  std::error_code ignored;
  if (jobCancelled_ || !jobError_.empty()) {
    message_ = jobCancelled_ ? "render cancelled" : jobError_;
    fs::remove(jobFile_, ignored);
    return false;
  }
  // As the window shows it: colour premultiplied.
  DD::Image::ImageFile picture;
  std::string why;
  if (!DD::Image::readImageFile(jobFile_, false, picture, why)) {
    message_ = "cannot read the render " + jobFile_ + ": " + why;
    return false;
  }
  if (!renderFile_.empty()) fs::remove(renderFile_, ignored);
  renderFile_ = jobFile_;
  renderWidth_ = picture.width;
  renderHeight_ = picture.height;
  renderPixels_ = DD::Image::rgba8(picture, false);
  renderEdits_ = jobEdits_;
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
