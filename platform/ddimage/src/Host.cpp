#include "DDImageHost/Host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "PluginLoading.h"
#include "StockKnob.h"

using namespace DD::Image;

namespace {

// The pseudo-knob by which the host tells a node that its panel opened.
class PseudoKnob : public Knob {
 public:
  explicit PseudoKnob(const char* name) : Knob(nullptr, name) {}
  const char* Class() const override { return "PseudoKnob"; }
};

// The first pass over knobs(): makes each knob, taking its starting value
// (and default) from the bound member, and inserts it into the node.
class MakingClosure : public Knob_Closure {
 public:
  MakingClosure(Node* node, size_t position, bool byReplace, std::vector<Knob*>* made)
      : Knob_Closure(true), node_(node), position_(position), byReplace_(byReplace), made_(made) {}

 private:
  Knob* call(int type, StoreType s, void* p, const char* name, const char* label, const void* extra) override {
    Knob* k = nullptr;
    if (type == CUSTOM_KNOB) {
      k = static_cast<Knob*>(const_cast<void*>(extra));
      if (!k) return nullptr;
    } else {
      StockKnob* stock = new StockKnob(this, type, name, label, extra);
      stock->readFrom(s, p);
      stock->captureDefault();
      k = stock;
    }
    k->setOp(node_->op());
    k->setMadeByReplace(byReplace_);
    node_->addKnob(position_++, k);
    if (made_) made_->push_back(k);
    setLastMadeKnob(k);
    countMade();
    return k;
  }

  Node* node_;
  size_t position_;
  bool byReplace_;
  std::vector<Knob*>* made_;
};

// Later passes over knobs(): the n-th declaration is the n-th knob that the
// first pass made; its value is written into the bound member.
class StoringClosure : public Knob_Closure {
 public:
  explicit StoringClosure(const std::vector<Knob*>& knobs) : Knob_Closure(false), knobs_(knobs) {}

 private:
  Knob* call(int type, StoreType s, void* p, const char*, const char*, const void*) override {
    if (next_ >= knobs_.size()) return nullptr;
    Knob* k = knobs_[next_++];
    if (k->kind() != type) {
      // The declarations no longer match the knobs: store nothing more.
      next_ = knobs_.size();
      return nullptr;
    }
    if (StockKnob* stock = dynamic_cast<StockKnob*>(k)) stock->storeTo(s, p);
    setLastMadeKnob(k);
    return k;
  }

  const std::vector<Knob*>& knobs_;
  size_t next_ = 0;
};

}  // namespace

// ---- Node -------------------------------------------------------------------

Node::Node(std::string name) : name_(std::move(name)), showPanel_(new PseudoKnob("showPanel")) {}

Node::~Node() {
  // Knobs may refer to the operator (custom knobs hold their node), so they
  // go first.
  knobs_.clear();
  op_.reset();
}

const char* Node::className() const { return op_ ? op_->Class() : ""; }

Knob* Node::knob(const std::string& name) const {
  auto it = byName_.find(std::string_view(name));
  return it == byName_.end() ? nullptr : it->second;
}

int Node::knobIndex(const Knob* k) const {
  for (size_t i = 0; i < knobs_.size(); ++i)
    if (knobs_[i].get() == k) return static_cast<int>(i);
  return -1;
}

namespace {

bool dormant(const Knob& k) {
  if (!k.madeByReplace() || k.isVisible() || !k.flag(Knob::DO_NOT_WRITE)) return false;
  const StockKnob* stock = dynamic_cast<const StockKnob*>(&k);
  return stock && stock->kind() != TAB_KNOB && stock->kind() != SPACER_KNOB;
}

}  // namespace

const std::vector<Knob*>& Node::awakeKnobs() const {
  if (!awakeKnown_) {
    awake_.clear();
    for (const auto& k : knobs_)
      if (!dormant(*k)) awake_.push_back(k.get());
    awakeKnown_ = true;
  }
  return awake_;
}

void Node::setOp(Op* op) {
  op_.reset(op);
  showPanel_->setOp(op);
  if (op) op->inputs_.assign(std::max(0, op->minimum_inputs()), nullptr);
}

void Node::addKnob(size_t position, Knob* k) {
  position = std::min(position, knobs_.size());
  knobs_.insert(knobs_.begin() + static_cast<long>(position), std::unique_ptr<Knob>(k));
  if (!k->name().empty()) byName_.emplace(std::string_view(k->name()), k);
  ++knobChanges_;
  awakeKnown_ = false;
}

void Node::reindex() {
  ++knobChanges_;
  awakeKnown_ = false;
  byName_.clear();
  for (const auto& k : knobs_)
    if (!k->name().empty()) byName_.emplace(std::string_view(k->name()), k.get());
}

void Node::makeKnobs() {
  if (!op_) return;
  passKnobs_.clear();
  MakingClosure f(this, knobs_.size(), false, &passKnobs_);
  op_->knobs(f);
}

void Node::storeKnobs() {
  if (!op_) return;
  StoringClosure f(passKnobs_);
  op_->knobs(f);
  storedValues_ = passValues();
}

std::vector<unsigned long long> Node::passValues() const {
  std::vector<unsigned long long> values;
  for (const Knob* k : passKnobs_) {
    for (int c = 0; c < k->channels(); ++c) {
      const double v = k->get_value(c);
      unsigned long long bits;
      std::memcpy(&bits, &v, sizeof bits);
      values.push_back(bits);
    }
  }
  return values;
}

int Node::replaceKnobs(Knob* after, int n, void (*build)(void*, Knob_Callback), void* data) {
  const int at = after ? knobIndex(after) : static_cast<int>(knobs_.size()) - 1;
  if (after && at < 0) return 0;
  const size_t first = static_cast<size_t>(at + 1);
  const size_t count = std::min(static_cast<size_t>(std::max(n, 0)), knobs_.size() - first);
  if (count) {
    // Knobs of the knobs() pass are never removed here: only the block that
    // an earlier replacement made.
    auto begin = knobs_.begin() + static_cast<long>(first);
    auto end = begin + static_cast<long>(count);
    auto stop = std::find_if(begin, end, [](const std::unique_ptr<Knob>& k) { return !k->madeByReplace(); });
    // The index holds the names of the knobs that go.
    byName_.clear();
    knobs_.erase(begin, stop);
    reindex();
  }
  if (!build) return 0;
  MakingClosure f(this, first, true, nullptr);
  build(data, f);
  return f.knobsMade();
}

int Node::changed(Knob* k) {
  // A pass stores only the knobs that knobs() declares, not those that a
  // replacement made: after a change of one of those, with no value of the
  // pass's knobs changed since the last one, it would store nothing new.
  // Texts are not compared (a dense card's is 63 MB, and the card compares
  // it in every pass): the host sets a text only as a change of that knob or
  // before a pass of its own, and a node that sets one of its own texts
  // keeps its member as it wants it.
  if (!k || !k->madeByReplace() || passValues() != storedValues_) storeKnobs();
  if (op_) op_->invalidate();
  return op_ ? op_->knob_changed(k) : 0;
}

bool Node::userSetText(Knob* k, const char* text) {
  if (!k || !k->set_text(text)) return false;
  changed(k);
  return true;
}

bool Node::userSetValues(Knob* k, const std::vector<double>& values) {
  if (!k || values.empty()) return false;
  if (values.size() == 1) {
    if (!k->set_value(values[0], -1)) return false;
  } else {
    if (static_cast<int>(values.size()) != k->channels()) return false;
    for (size_t i = 0; i < values.size(); ++i)
      if (!k->set_value(values[i], static_cast<int>(i))) return false;
  }
  changed(k);
  return true;
}

void Node::openPanel() {
  panelOpen_ = true;
  if (op_) op_->knob_changed(showPanel_.get());
}

// ---- Graph ------------------------------------------------------------------

namespace DD {
namespace Image {

Graph::Graph() {}

Graph::~Graph() {
  // Downstream nodes first, so no operator outlives what it points at.
  while (!nodes_.empty()) nodes_.pop_back();
}

Node* Graph::create(const std::string& className, const std::string& name, std::string* error) {
  const Op::Description* d = Op::Description::find(className.c_str());
  if (!d) {
    if (error) *error = "unknown node class \"" + className + "\"";
    return nullptr;
  }
  std::string nodeName = name;
  if (nodeName.empty()) {
    for (int i = 1;; ++i) {
      nodeName = className + std::to_string(i);
      if (!find(nodeName)) break;
    }
  } else if (find(nodeName)) {
    if (error) *error = "a node named \"" + nodeName + "\" already exists";
    return nullptr;
  }
  std::unique_ptr<Node> node(new Node(nodeName));
  Op* op = d->constructor(node.get());
  if (!op) {
    if (error) *error = "class \"" + className + "\" made no operator";
    return nullptr;
  }
  node->setOp(op);
  op->set_node_state(Op::eNodeMade);
  node->makeKnobs();
  nodes_.push_back(std::move(node));
  return nodes_.back().get();
}

void Graph::finish(Node* n) {
  if (!n || !n->op()) return;
  n->storeKnobs();
  n->op()->set_node_state(Op::eNodeStored);
  n->op()->attach();
  n->op()->set_node_state(Op::eNodeSetUp);
}

Node* Graph::find(const std::string& name) const {
  for (const auto& n : nodes_)
    if (n->name() == name) return n.get();
  return nullptr;
}

bool Graph::canConnect(const Node* n, int input, const Node* from, std::string* error) const {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (!n || !n->op()) return fail("no node to connect");
  if (input < 0 || input >= n->op()->maximum_inputs())
    return fail("node \"" + n->name() + "\" has no input " + std::to_string(input));
  if (!from) return true;
  // Refuse cycles: `n` must not be upstream of `from`.
  std::vector<Op*> stack{from->op()};
  std::set<Op*> seen;
  while (!stack.empty()) {
    Op* op = stack.back();
    stack.pop_back();
    if (!op || !seen.insert(op).second) continue;
    if (op == n->op()) return fail("connecting \"" + from->name() + "\" to \"" + n->name() + "\" makes a cycle");
    for (int i = 0; i < op->inputs(); ++i) stack.push_back(op->input(i));
  }
  if (!from->op() || !n->op()->test_input(input, from->op()))
    return fail("input " + std::to_string(input) + " of \"" + n->name() + "\" does not accept \"" + from->name() +
                "\" (" + from->className() + ")");
  return true;
}

bool Graph::connect(Node* n, int input, Node* from, std::string* error) {
  if (!canConnect(n, input, from, error)) return false;
  if (!n->op()->set_input(input, from ? from->op() : nullptr)) {
    if (error) *error = "input " + std::to_string(input) + " of \"" + n->name() + "\" refuses the connection";
    return false;
  }
  invalidateAll();
  return true;
}

void Graph::invalidateAll() {
  for (const auto& n : nodes_)
    if (n->op()) n->op()->invalidate();
}

void Graph::validateAll(bool for_real) {
  for (const auto& n : nodes_)
    if (n->op()) n->op()->validate(for_real);
}

// ---- what hosts read of stock knobs ------------------------------------------------

std::string buttonScript(const Knob* k) {
  const StockKnob* stock = dynamic_cast<const StockKnob*>(k);
  return stock && stock->kind() == PYSCRIPT_KNOB ? stock->extraText() : std::string();
}

std::vector<std::string> enumerationItems(const Knob* k) {
  const StockKnob* stock = dynamic_cast<const StockKnob*>(k);
  return stock ? stock->items() : std::vector<std::string>();
}

bool knobRange(const Knob* k, double* minimum, double* maximum) {
  const StockKnob* stock = dynamic_cast<const StockKnob*>(k);
  if (!stock || !stock->hasRange()) return false;
  *minimum = stock->rangeMin();
  *maximum = stock->rangeMax();
  return true;
}

unsigned long long textStamp(const Knob* k) {
  const StockKnob* stock = dynamic_cast<const StockKnob*>(k);
  return stock ? stock->textStamp() : 0;
}

// Tab_knob passes no layout value, BeginClosedGroup 2 (1 opens a group that
// starts open) and EndGroup -1.
PanelLayout panelLayout(const Knob* k, bool* closed) {
  const StockKnob* stock = dynamic_cast<const StockKnob*>(k);
  if (!stock || stock->kind() != TAB_KNOB) return PanelLayout::None;
  const long layout = stock->layoutValue();
  if (closed) *closed = layout == 2;
  if (layout < 0) return PanelLayout::EndGroup;
  return layout > 0 ? PanelLayout::BeginGroup : PanelLayout::Tab;
}

// ---- plug-ins -----------------------------------------------------------------

namespace {
std::string& loadingPath() {
  static std::string path;
  return path;
}
}  // namespace

const std::string& pluginBeingLoaded() { return loadingPath(); }

bool loadPlugin(const std::string& path, std::string* error) {
  char resolved[PATH_MAX];
  const std::string full = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
  loadingPath() = full;
  void* handle = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  loadingPath().clear();
  if (!handle) {
    const char* message = dlerror();
    if (error) *error = message ? message : ("cannot load " + full);
    return false;
  }
  return true;
}

int loadPlugins(const std::string& folder, std::vector<std::string>* errors) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) files.push_back(folder + "/" + name);
    }
    closedir(dir);
  } else if (errors) {
    errors->push_back("cannot read plug-in folder " + folder);
  }
  std::sort(files.begin(), files.end());
  int loaded = 0;
  for (const std::string& f : files) {
    std::string message;
    if (loadPlugin(f, &message))
      ++loaded;
    else if (errors)
      errors->push_back(f + ": " + message);
  }
  return loaded;
}

}  // namespace Image
}  // namespace DD
