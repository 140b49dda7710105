#include "Script.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "HostError.h"
#include "Text.h"

namespace quorhost {

namespace fs = std::filesystem;
using DD::Image::Knob;
using DD::Image::Op;
// Ordered, so that saved knobs keep the panel order and load in it.
using json = nlohmann::ordered_json;

// How deep a script's values may nest: arrays and objects within each other.
constexpr int kMaxScriptDepth = 64;

// ---- relative file paths -----------------------------------------------------

bool RelativeFiles::isRelative(const std::string& text) { return !text.empty() && fs::path(text).is_relative(); }

std::string RelativeFiles::resolve(const std::string& text, const fs::path& folder) {
  if (!isRelative(text)) return text;
  return (fs::absolute(folder) / text).lexically_normal().string();
}

void RelativeFiles::remember(const Node* node, const std::string& knob, const std::string& absolute) {
  absolute_[{node, knob}] = absolute;
}

void RelativeFiles::forget(const Node* node, const std::string& knob) { absolute_.erase({node, knob}); }

std::string RelativeFiles::textToSave(const Node* node, const Knob* knob, const fs::path& folder) const {
  const std::string value = knob->valueText();
  auto it = absolute_.find({node, knob->name()});
  if (it == absolute_.end() || it->second != value) return value;
  const fs::path relative = fs::path(value).lexically_relative(fs::absolute(folder).lexically_normal());
  return relative.empty() ? value : relative.generic_string();
}

namespace {

// ---- saving ------------------------------------------------------------------

bool isFloatKind(int kind) {
  return kind == DD::Image::FLOAT_KNOB || kind == DD::Image::XY_KNOB || kind == DD::Image::XYZ_KNOB ||
         kind == DD::Image::COLOR_KNOB;
}

// A value that its member keeps as a float, written as the shortest decimal
// that reads back to the same float (0.1f is saved as 0.1, not 0.100000001).
double shortestFloat(double v) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, static_cast<float>(v));
  *result.ptr = '\0';
  return std::strtod(buffer, nullptr);
}

json savedValue(const Node* node, const Knob* k, const fs::path& folder, const RelativeFiles& files) {
  switch (k->kind()) {
    case DD::Image::BOOL_KNOB:
      return k->get_value(0) != 0;
    case DD::Image::INT_KNOB:
      return static_cast<long long>(k->get_value(0));
    case DD::Image::ENUMERATION_KNOB: {
      // By the item's name; an index beyond the items as a number.
      const std::vector<std::string> items = DD::Image::enumerationItems(k);
      const double index = k->get_value(0);
      if (index >= 0 && index < static_cast<double>(items.size())) return items[static_cast<size_t>(index)];
      return static_cast<long long>(index);
    }
    case DD::Image::STRING_KNOB:
      return k->valueText();
    case DD::Image::FILE_KNOB:
      return files.textToSave(node, k, folder);
    default:
      break;
  }
  const int n = k->channels();
  if (n == 0) return k->valueText();
  const bool asFloat = isFloatKind(k->kind());
  auto channel = [&](int i) { return asFloat ? shortestFloat(k->get_value(i)) : k->get_value(i); };
  if (n == 1) return channel(0);
  json values = json::array();
  for (int i = 0; i < n; ++i) values.push_back(channel(i));
  return values;
}

// ---- loading -----------------------------------------------------------------

// One entry of "nodes", checked for its form.
struct Entry {
  std::string place;  // "FILE: nodes[i]", then with the node's name
  std::string className;
  std::string name;
  const json* inputs = nullptr;
  const json* knobs = nullptr;
  const json* selected = nullptr;
  Node* node = nullptr;
};

[[noreturn]] void fail(const std::string& place, const std::string& what) { throw HostError(place + ": " + what); }

// The message of a JSON library exception without its "[json.exception...]"
// prefix.
std::string messageOf(const json::exception& e) {
  const std::string what = e.what();
  const std::size_t end = what.find("] ");
  return what.rfind("[json.exception.", 0) == 0 && end != std::string::npos ? what.substr(end + 2) : what;
}

// Where the parser is in the script, followed through its callbacks, so that
// an error the parser raises can name the node and the knob as the loader's
// own errors do.
class ParsePlace {
 public:
  void follow(int depth, json::parse_event_t event, const json& parsed) {
    if (event == json::parse_event_t::object_start && depth == 2) {
      ++node_;
      name_.clear();
      field_.clear();
      knob_.clear();
    } else if (event == json::parse_event_t::key && depth == 3) {
      field_ = parsed.get<std::string>();
      knob_.clear();
    } else if (event == json::parse_event_t::key && depth == 4 && field_ == "knobs") {
      knob_ = parsed.get<std::string>();
    } else if (event == json::parse_event_t::value && depth == 3 && field_ == "name" && parsed.is_string()) {
      name_ = parsed.get<std::string>();
    }
  }

  std::string describe(const std::string& path) const {
    std::string place = path;
    if (node_ >= 0) place += ": nodes[" + std::to_string(node_) + "]";
    if (!name_.empty()) place += " " + inQuotes(name_);
    if (!knob_.empty()) place += ": knob " + inQuotes(knob_);
    return place;
  }

 private:
  int node_ = -1;
  std::string name_;
  std::string field_;
  std::string knob_;
};

// Appends `v` as compact JSON text to `out`, stopping once `out` is longer
// than `limit`: a long or deep value is never written whole, and the
// recursion goes no deeper than `limit` brackets.
void showInto(const json& v, std::string& out, std::size_t limit) {
  const auto dump = [](const json& scalar) { return scalar.dump(-1, ' ', false, json::error_handler_t::replace); };
  if (v.is_string()) {
    out += dump(json(v.get_ref<const std::string&>().substr(0, limit + 1)));
  } else if (!v.is_structured()) {
    out += dump(v);
  } else {
    out += v.is_object() ? '{' : '[';
    for (auto it = v.begin(); it != v.end() && out.size() <= limit; ++it) {
      if (it != v.begin()) out += ',';
      if (v.is_object()) out += dump(json(it.key())) + ":";
      showInto(*it, out, limit);
    }
    out += v.is_object() ? '}' : ']';
  }
}

// A JSON value as a short text for messages.
std::string shown(const json& v) {
  constexpr std::size_t kShown = 60;
  std::string text;
  showInto(v, text, kShown);
  if (text.size() > kShown) text = text.substr(0, kShown - 3) + "...";
  return text;
}

Entry checkEntry(const json& e, const std::string& place) {
  Entry entry;
  entry.place = place;
  if (!e.is_object()) fail(place, "a node must be a JSON object, not " + shown(e));
  for (const auto& item : e.items()) {
    const std::string& key = item.key();
    if (key != "class" && key != "name" && key != "inputs" && key != "selected" && key != "knobs")
      fail(place, "unknown field " + inQuotes(key));
  }
  auto name = e.find("name");
  if (name != e.end()) {
    if (!name->is_string() || name->get<std::string>().empty()) fail(place, "\"name\" must be a non-empty text");
    entry.name = name->get<std::string>();
    entry.place += " " + inQuotes(entry.name);
  }
  auto cls = e.find("class");
  if (cls == e.end() || !cls->is_string()) fail(entry.place, "\"class\" must be a text naming the node's class");
  entry.className = cls->get<std::string>();
  if (!Op::Description::find(entry.className.c_str()))
    fail(entry.place, "unknown node class " + inQuotes(entry.className));
  auto inputs = e.find("inputs");
  if (inputs != e.end()) {
    if (!inputs->is_array()) fail(entry.place, "\"inputs\" must be an array of node names or null");
    for (size_t i = 0; i < inputs->size(); ++i)
      if (!(*inputs)[i].is_null() && !(*inputs)[i].is_string())
        fail(entry.place, "input " + std::to_string(i) + " must be a node name or null, not " + shown((*inputs)[i]));
    entry.inputs = &*inputs;
  }
  auto selected = e.find("selected");
  if (selected != e.end()) {
    if (!selected->is_boolean()) fail(entry.place, "\"selected\" must be true or false");
    entry.selected = &*selected;
  }
  auto knobs = e.find("knobs");
  if (knobs != e.end()) {
    if (!knobs->is_object()) fail(entry.place, "\"knobs\" must be an object of knob values");
    entry.knobs = &*knobs;
  }
  return entry;
}

// Sets a knob from its saved value as the script loads: straight into the
// knob, without telling the node.
void applyValue(Node* node, Knob* k, const json& v, const std::string& place, const fs::path& folder,
                RelativeFiles& files) {
  if (!k->hasValue()) fail(place, "the knob holds no value");
  const int kind = k->kind();
  auto refused = [&]() { fail(place, "the knob refuses the value " + shown(v)); };
  switch (kind) {
    case DD::Image::BOOL_KNOB:
      if (!v.is_boolean()) fail(place, "expected true or false, not " + shown(v));
      if (!k->set_value(v.get<bool>() ? 1 : 0)) refused();
      return;
    case DD::Image::INT_KNOB:
      if (!v.is_number_integer()) fail(place, "expected an integer, not " + shown(v));
      if (!k->set_value(v.get<double>())) refused();
      return;
    case DD::Image::ENUMERATION_KNOB:
      if (v.is_number_integer()) {
        if (v.get<double>() < 0 || !k->set_value(v.get<double>())) refused();
        return;
      }
      if (!v.is_string()) fail(place, "expected the name of an item, not " + shown(v));
      if (!k->set_text(v.get<std::string>().c_str())) fail(place, "no item named " + shown(v));
      return;
    case DD::Image::FILE_KNOB: {
      if (!v.is_string()) fail(place, "expected a file path, not " + shown(v));
      const std::string text = RelativeFiles::resolve(v.get<std::string>(), folder);
      if (!k->set_text(text.c_str())) refused();
      if (RelativeFiles::isRelative(v.get<std::string>()))
        files.remember(node, k->name(), text);
      else
        files.forget(node, k->name());
      return;
    }
    default:
      break;
  }
  const int n = k->channels();
  if (n == 0) {
    if (!v.is_string()) fail(place, "expected a text, not " + shown(v));
    if (!k->set_text(v.get<std::string>().c_str())) refused();
  } else if (n == 1) {
    if (!v.is_number()) fail(place, "expected a number, not " + shown(v));
    if (!k->set_value(v.get<double>(), 0)) refused();
  } else {
    if (!v.is_array() || v.size() != static_cast<size_t>(n))
      fail(place, "expected an array of " + std::to_string(n) + " numbers, not " + shown(v));
    for (int i = 0; i < n; ++i) {
      if (!v[i].is_number()) fail(place, "expected an array of " + std::to_string(n) + " numbers, not " + shown(v));
      if (!k->set_value(v[i].get<double>(), i)) refused();
    }
  }
}

// Makes the nodes of a parsed script (see loadScript).
std::vector<Node*> loadNodes(DD::Image::Graph& graph, const json& doc, const std::string& path, RelativeFiles& files) {
  if (!doc.is_object()) throw HostError(path + ": the script must be a JSON object holding a \"nodes\" array");
  auto nodesIt = doc.find("nodes");
  if (nodesIt == doc.end() || !nodesIt->is_array()) throw HostError(path + ": no \"nodes\" array");
  const json& nodes = *nodesIt;
  const fs::path folder = fs::absolute(fs::path(path)).parent_path();

  // Check the form of every entry before anything is made.
  std::vector<Entry> entries;
  std::set<std::string> names;
  for (size_t i = 0; i < nodes.size(); ++i) {
    entries.push_back(checkEntry(nodes[i], path + ": nodes[" + std::to_string(i) + "]"));
    const std::string& name = entries.back().name;
    if (!name.empty() && !names.insert(name).second)
      fail(entries.back().place, "another node is named " + inQuotes(name));
  }

  // Make the nodes with their saved values. Knobs that the node makes only
  // once attached (by replace_knobs) are set after that.
  std::vector<std::vector<std::string>> later(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    Entry& e = entries[i];
    std::string error;
    e.node = graph.create(e.className, e.name, &error);
    if (!e.node) fail(e.place, error);
    if (e.name.empty()) e.place += " " + inQuotes(e.node->name());
    if (!e.knobs) continue;
    for (const auto& item : e.knobs->items()) {
      Knob* k = e.node->knob(item.key());
      if (k)
        applyValue(e.node, k, item.value(), e.place + ": knob " + inQuotes(item.key()), folder, files);
      else
        later[i].push_back(item.key());
    }
  }

  for (Entry& e : entries) {
    if (!e.inputs) continue;
    for (size_t i = 0; i < e.inputs->size(); ++i) {
      const json& from = (*e.inputs)[i];
      if (from.is_null()) continue;
      const std::string place = e.place + ": input " + std::to_string(i);
      Node* source = graph.find(from.get<std::string>());
      if (!source) fail(place, "no node named " + inQuotes(from.get<std::string>()));
      std::string error;
      if (!graph.connect(e.node, static_cast<int>(i), source, &error)) fail(place, error);
    }
  }

  std::vector<Node*> made;
  for (size_t i = 0; i < entries.size(); ++i) {
    Entry& e = entries[i];
    graph.finish(e.node);
    for (const std::string& name : later[i]) {
      Knob* k = e.node->knob(name);
      if (!k) fail(e.place, "unknown knob " + inQuotes(name) + " for class " + inQuotes(e.className));
      applyValue(e.node, k, (*e.knobs)[name], e.place + ": knob " + inQuotes(name), folder, files);
    }
    if (e.selected) e.node->setSelected(e.selected->get<bool>());
    made.push_back(e.node);
  }
  return made;
}

}  // namespace

std::vector<Node*> loadScript(DD::Image::Graph& graph, const std::string& path, RelativeFiles& files) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError(path + ": cannot read the script: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return loadScriptText(graph, text.str(), path, files);
}

std::vector<Node*> loadScriptText(DD::Image::Graph& graph, const std::string& text, const std::string& path,
                                  RelativeFiles& files) {
  json doc;
  ParsePlace at;
  try {
    doc = json::parse(text, [&](int depth, json::parse_event_t event, json& parsed) {
      at.follow(depth, event, parsed);
      // A script needs a few levels; deeper values are refused before
      // anything walks them.
      const bool opens = event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
      if (opens && depth >= kMaxScriptDepth)
        throw HostError(at.describe(path) + ": values are nested more than " + std::to_string(kMaxScriptDepth) +
                        " deep");
      return true;
    });
  } catch (const json::parse_error& e) {
    throw HostError(path + ": malformed JSON: " + e.what());
  } catch (const json::exception& e) {
    // A number beyond a double's range, say: named by where it stands.
    throw HostError(at.describe(path) + ": " + messageOf(e));
  }
  // Every value is checked before it is read; should one slip through, the
  // JSON library's error still names the script.
  try {
    return loadNodes(graph, doc, path, files);
  } catch (const json::exception& e) {
    throw HostError(path + ": " + messageOf(e));
  }
}

namespace {

// What holdScript keeps beside the document; null for saveScript. With
// `differs` set, the texts are only compared with those of `earlier`: a text
// that is not the same is not copied, and `differs` says so.
struct Holder {
  const HeldScript* earlier;
  HeldScript* held;
  bool* differs = nullptr;
};

json heldValue(const Knob* k, Holder* holder) {
  const char* text = k->get_text();
  const unsigned long long stamp = DD::Image::textStamp(k);
  const size_t index = holder->held->texts.size();
  std::shared_ptr<const std::string> kept;
  if (const HeldScript* earlier = holder->earlier; earlier && index < earlier->texts.size()) {
    const std::shared_ptr<const std::string>& before = earlier->texts[index];
    // The same assignment of a knob's text is the same text, without reading
    // it; otherwise the texts are compared up to their first difference
    // (held texts come from knob texts and hold no NUL).
    if ((stamp != 0 && index < earlier->stamps.size() && earlier->stamps[index] == stamp) ||
        std::strncmp(before->c_str(), text, before->size() + 1) == 0)
      kept = before;
  }
  if (!kept && holder->differs)
    *holder->differs = true;
  else if (!kept)
    kept = std::make_shared<const std::string>(text);
  holder->held->texts.push_back(std::move(kept));
  holder->held->stamps.push_back(stamp);
  json place = json::object();
  place["held"] = index;
  return place;
}

json scriptDocument(const DD::Image::Graph& graph, const fs::path& folder, const RelativeFiles& files, Holder* holder) {
  json nodes = json::array();
  for (const auto& n : graph.nodes()) {
    json entry = json::object();
    entry["class"] = n->className();
    entry["name"] = n->name();
    json inputs = json::array();
    const Op* op = n->op();
    for (int i = 0; op && i < op->inputs(); ++i) {
      const Op* in = op->input(i);
      if (in && in->node())
        inputs.push_back(in->node()->name());
      else
        inputs.push_back(nullptr);
    }
    entry["inputs"] = inputs;
    if (!holder) entry["selected"] = n->selected();
    json knobs = json::object();
    // Dormant knobs are never written.
    for (const Knob* k : n->awakeKnobs()) {
      if (k->flag(Knob::DO_NOT_WRITE) || k->name().empty() || !k->hasValue() || !k->notDefault()) continue;
      knobs[k->name()] = holder && holdsLongText(*k) ? heldValue(k, holder) : savedValue(n.get(), k, folder, files);
    }
    entry["knobs"] = knobs;
    nodes.push_back(entry);
  }
  json doc = json::object();
  doc["nodes"] = nodes;
  return doc;
}

std::string scriptText(const json& doc) {
  try {
    return doc.dump(2) + "\n";
  } catch (const json::type_error& e) {
    throw HostError(std::string("cannot save the script: ") + e.what());
  }
}

}  // namespace

std::string saveScript(const DD::Image::Graph& graph, const fs::path& folder, const RelativeFiles& files) {
  return scriptText(scriptDocument(graph, folder, files, nullptr));
}

bool holdsLongText(const Knob& k) {
  if (k.kind() != DD::Image::STRING_KNOB) return false;
  const char* text = k.get_text();
  return text && strnlen(text, kHeldTextSize + 1) > kHeldTextSize;
}

bool HeldScript::operator==(const HeldScript& o) const {
  if (text != o.text || texts.size() != o.texts.size()) return false;
  for (size_t i = 0; i < texts.size(); ++i)
    if (texts[i] != o.texts[i] && *texts[i] != *o.texts[i]) return false;
  return true;
}

HeldScript holdScript(const DD::Image::Graph& graph, const fs::path& folder, const RelativeFiles& files,
                      const HeldScript* earlier) {
  HeldScript held;
  Holder holder{earlier, &held, nullptr};
  held.text = scriptText(scriptDocument(graph, folder, files, &holder));
  return held;
}

bool sameAsHeld(const DD::Image::Graph& graph, const fs::path& folder, const RelativeFiles& files,
                const HeldScript& held) {
  HeldScript now;
  bool differs = false;
  Holder holder{&held, &now, &differs};
  now.text = scriptText(scriptDocument(graph, folder, files, &holder));
  return !differs && now.text == held.text && now.texts.size() == held.texts.size();
}

std::string heldScriptText(const HeldScript& held) {
  json doc = json::parse(held.text);
  for (json& node : doc["nodes"])
    for (auto& knob : node["knobs"].items())
      if (knob.value().is_object()) knob.value() = *held.texts.at(knob.value()["held"].get<size_t>());
  return scriptText(doc);
}

}  // namespace quorhost
