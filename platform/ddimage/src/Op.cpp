#include "DDImage/Op.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <set>
#include <string>

#include "DDImageHost/Host.h"
#include "PluginLoading.h"

namespace DD {
namespace Image {

namespace {

std::vector<const Op::Description*>& registry() {
  static std::vector<const Op::Description*> descriptions;
  return descriptions;
}

// Plug-in paths live as long as the process: descriptions point at them.
const char* keepText(const std::string& s) {
  static std::set<std::string> texts;
  return texts.insert(s).first->c_str();
}

void printNodeName(std::ostream& o, const Op* op) {
  if (op && op->node()) o << op->node()->name();
}

// A knob change invalidates only its own operator, so a valid operator still
// checks its inputs: it is out of date when an input's hash has moved since
// `recorded` was taken.
bool inputsChanged(const Op& op, const std::vector<U64>& recorded, bool for_real) {
  if (recorded.size() != static_cast<size_t>(op.inputs())) return true;
  for (int i = 0; i < op.inputs(); ++i) {
    Op* in = op.input(i);
    if (in) in->validate(for_real);
    if (recorded[static_cast<size_t>(i)] != (in ? in->hash().value() : 0)) return true;
  }
  return false;
}

}  // namespace

Op::Description::Description(const char* n, OpConstructor c, License* l) : name(n), constructor_(c) {
  license = l;
  const std::string& loading = pluginBeingLoaded();
  if (!loading.empty()) plugin = keepText(loading);
  registry().push_back(this);
}

Op::Description::~Description() {
  auto& r = registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

const Op::Description* Op::Description::find(int i) {
  const auto& r = registry();
  return i >= 0 && i < static_cast<int>(r.size()) ? r[i] : nullptr;
}

const Op::Description* Op::Description::find(const char* name) {
  if (!name) return nullptr;
  const auto& r = registry();
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if ((*it)->name && std::strcmp((*it)->name, name) == 0) return *it;
  return nullptr;
}

int Op::Description::count() { return static_cast<int>(registry().size()); }

void (*Op::print_name_cb)(std::ostream&, const Op*) = printNodeName;

Op::Op(Node* node) : node_(node) {}

Op::~Op() {}

bool Op::set_input(int n, Op* op) {
  if (n < 0 || n >= maximum_inputs()) return false;
  if (op && !test_input(n, op)) return false;
  if (n >= inputs()) inputs_.resize(n + 1, nullptr);
  inputs_[n] = op;
  invalidate();
  return true;
}

void Op::validate(bool for_real) {
  if (valid_ && (validForReal_ || !for_real) && !inputsChanged(*this, inputHashes_, for_real)) return;
  _validate(for_real);
  Hash h;
  h.append(Class());
  append(h);
  inputHashes_.clear();
  for (Op* in : inputs_) {
    if (in) h.append(in->hash());
    inputHashes_.push_back(in ? in->hash().value() : 0);
  }
  hash_ = h;
  valid_ = true;
  validForReal_ = for_real;
}

void Op::invalidate() { valid_ = false; }

void Op::_validate(bool for_real) {
  for (Op* in : inputs_)
    if (in) in->validate(for_real);
}

Knob* Op::knob(const char* name) const { return node_ && name ? node_->knob(name) : nullptr; }

int Op::replace_knobs(Knob* after, int n, void (*f)(void*, Knob_Callback), void* data, const char*) {
  return node_ ? node_->replaceKnobs(after, n, f, data) : 0;
}

bool Op::node_disabled() const { return node_ && node_->disabled(); }

bool Op::node_selected() const { return node_ && node_->selected(); }

void Op::error(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  errorMessage_ = buffer;
}

void Op::build_handles(ViewerContext* ctx) { build_knob_handles(ctx); }

void Op::add_draw_handle(ViewerContext* ctx) {
  if (ctx) ctx->drawHandles().push_back({this});
}

Op::HandlesMode Op::anyKnobHandles(ViewerContext* ctx) {
  if (!node_) return eNoHandles;
  for (Knob* k : node_->awakeKnobs())
    if (k->build_handle(ctx)) return eHandlesCooked;
  return eNoHandles;
}

void Op::build_knob_handles(ViewerContext* ctx) {
  if (!node_ || !ctx) return;
  // Dormant knobs are hidden: they have no handles.
  for (Knob* k : node_->awakeKnobs())
    if (k->build_handle(ctx)) ctx->activeKnobs().push_back(k);
}

void Op::print_name(std::ostream& o) const {
  if (print_name_cb) print_name_cb(o, this);
}

}  // namespace Image
}  // namespace DD
