// The host runtime: nodes, the node graph and plug-in loading. Plug-ins do
// not use this header; hosts (quorhost, the tests) do.
#ifndef DDImage_Host_h
#define DDImage_Host_h

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"

// A node of the host's graph: its name, its operator and its knobs.
class Node {
 public:
  explicit Node(std::string name);
  ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  const std::string& name() const { return name_; }
  DD::Image::Op* op() const { return op_.get(); }
  const char* className() const;

  // Knobs, in panel order.
  const std::vector<std::unique_ptr<DD::Image::Knob>>& knobs() const { return knobs_; }
  DD::Image::Knob* knob(const std::string& name) const;
  int knobIndex(const DD::Image::Knob* k) const;
  // The knobs, in panel order, without the dormant ones: stock knobs that a
  // replacement made which are hidden, never written and lay nothing out (a
  // dense card's per-point knobs, hundreds of thousands of them). A walk
  // over the knobs that are shown, saved, given handles or kept by the
  // history skips only knobs it would pass over anyway. Listed again after a
  // knob is added, removed, shown, hidden or flagged.
  const std::vector<DD::Image::Knob*>& awakeKnobs() const;
  // Counts the changes of the knobs: values, texts, flags, visibility, the
  // knobs added or removed. Unchanged, no knob changed.
  unsigned long long knobChanges() const { return knobChanges_; }
  // Told by a knob of this node that it changed; `layout`: its flags or
  // visibility, which may wake a knob made by a replacement or let it sleep
  // (the other knobs are always awake).
  void noteKnobChange(const DD::Image::Knob& k, bool layout) {
    ++knobChanges_;
    if (layout && k.madeByReplace()) awakeKnown_ = false;
  }

  bool selected() const { return selected_; }
  void setSelected(bool s) { selected_ = s; }
  bool disabled() const { return disabled_; }
  void setDisabled(bool d) { disabled_ = d; }

  // Copies every knob value into the members bound by the node's knobs().
  void storeKnobs();
  // A user's change of a knob whose value is already set: store the values
  // into the members, then tell the node through knob_changed.
  int changed(DD::Image::Knob* k);
  // Sets a knob from text as a user would, then reports the change.
  // False (and nothing changed) when the text is not a valid value.
  bool userSetText(DD::Image::Knob* k, const char* text);
  bool userSetValues(DD::Image::Knob* k, const std::vector<double>& values);
  // Opens the panel: the node hears about the pseudo-knob "showPanel".
  void openPanel();
  bool panelOpen() const { return panelOpen_; }

  // Operator set-up, done by DD::Image::Graph.
  void setOp(DD::Image::Op* op);
  void makeKnobs();
  int replaceKnobs(DD::Image::Knob* after, int n, void (*f)(void*, DD::Image::Knob_Callback), void* data);
  void addKnob(size_t position, DD::Image::Knob* k);

 private:
  void reindex();

  std::string name_;
  std::unique_ptr<DD::Image::Op> op_;
  std::vector<std::unique_ptr<DD::Image::Knob>> knobs_;
  // Keyed by the knobs' own names, which live as long as the knobs.
  std::unordered_map<std::string_view, DD::Image::Knob*> byName_;
  // The knobs that the first knobs() pass made, in declaration order.
  std::vector<DD::Image::Knob*> passKnobs_;
  // Their values at the end of the last store pass.
  std::vector<unsigned long long> storedValues_;
  std::vector<unsigned long long> passValues() const;
  std::unique_ptr<DD::Image::Knob> showPanel_;
  mutable std::vector<DD::Image::Knob*> awake_;
  mutable bool awakeKnown_ = false;
  unsigned long long knobChanges_ = 0;
  bool selected_ = false;
  bool disabled_ = false;
  bool panelOpen_ = false;
};

namespace DD {
namespace Image {

// The host's node graph: creation, connections, validation.
class Graph {
 public:
  Graph();
  ~Graph();

  // Makes a node of a registered class with its knobs (Op::eNodeMade). The node is
  // ready once finish() has attached it. An empty name picks Class + number.
  Node* create(const std::string& className, const std::string& name, std::string* error);
  // Stores the knob values into the members, attaches the node and marks it
  // set up (Op::eNodeSetUp).
  void finish(Node* n);
  Node* find(const std::string& name) const;
  const std::vector<std::unique_ptr<Node>>& nodes() const { return nodes_; }
  // Trades every node with `other`.
  void swap(Graph& other) { nodes_.swap(other.nodes_); }
  // Whether input `input` of `n` may take `from` (null: none): the input
  // exists, the node accepts it and no cycle comes of it.
  bool canConnect(const Node* n, int input, const Node* from, std::string* error) const;
  bool connect(Node* n, int input, Node* from, std::string* error);
  void invalidateAll();
  void validateAll(bool for_real = true);

 private:
  std::vector<std::unique_ptr<Node>> nodes_;
};

// Loads one plug-in file; descriptions constructed during the load get
// `plugin` set to the file's full path. False with the loader's message.
bool loadPlugin(const std::string& path, std::string* error);
// Loads every .so file of a folder in name order; failures are reported in
// `errors` and skipped. Answers the number loaded.
int loadPlugins(const std::string& folder, std::vector<std::string>* errors);

// The script that a Python button runs; empty for every other knob.
std::string buttonScript(const Knob* k);
// The item names of an enumeration knob; empty for every other knob.
std::vector<std::string> enumerationItems(const Knob* k);
// The range that a number knob was given (SetRange); false when it has none.
bool knobRange(const Knob* k, double* minimum, double* maximum);
// A number as a knob reads it from text, and as a host's number field should
// too: decimal, spaces around it allowed (" 17 ", "-0.5", "1e3"). False for
// any other text, and for a number out of range or not finite.
bool parseNumber(const std::string& text, double* value);
// A number that tells one assignment of a text knob's text from every other
// assignment of any knob's text in the process: while it stays the same, so
// does the text. 0 for knobs that hold no text, or none assigned yet.
unsigned long long textStamp(const Knob* k);
// What a TAB_KNOB does in a panel: starts a tab, opens a group (closed at
// first when `closed` is set), or ends the group opened last.
enum class PanelLayout { None, Tab, BeginGroup, EndGroup };
PanelLayout panelLayout(const Knob* k, bool* closed = nullptr);

// The host's stock nodes, "Axis" and "Read", are registered by libDDImage.

}  // namespace Image
}  // namespace DD

#endif
