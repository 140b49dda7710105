// Script files: the graph saved as JSON, one object {"nodes": [...]} with
// the nodes in creation order, and loaded back.
//
// File paths (knobs of kind FILE_KNOB) given as relative paths are relative
// to the folder of the script that holds them. Loading makes them absolute
// so that nodes read the right file from any working folder; saving writes
// them relative to the folder of the saved script again.
#ifndef QUORHOST_SCRIPT_H
#define QUORHOST_SCRIPT_H

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <DDImageHost/Host.h>

namespace quorhost {

// The file knobs whose value was given as a relative path, with the absolute
// path the host made of it.
class RelativeFiles {
 public:
  // `text` made absolute against `folder`; empty and absolute texts stay.
  static std::string resolve(const std::string& text, const std::filesystem::path& folder);
  static bool isRelative(const std::string& text);

  void remember(const Node* node, const std::string& knob, const std::string& absolute);
  void forget(const Node* node, const std::string& knob);
  // The text to save for a file knob: relative to `folder` when the knob
  // still holds the path made from a relative one, the value as is otherwise.
  std::string textToSave(const Node* node, const DD::Image::Knob* knob, const std::filesystem::path& folder) const;

 private:
  std::map<std::pair<const Node*, std::string>, std::string> absolute_;
};

// Loads the script at `path` into `graph`, which must hold none of its node
// names yet. Every node is created, its saved knobs are set without telling
// the node (no knob_changed), the inputs are connected once all nodes exist,
// then each node is finished (values stored into its members, attached) and
// its selection is set. Answers the nodes made, in order. Throws HostError
// naming the file, the node and the knob when anything in the script is
// wrong; the caller then discards the graph.
std::vector<Node*> loadScript(DD::Image::Graph& graph, const std::string& path, RelativeFiles& files);
// The same for the text of a script, read as if from the file `path`.
std::vector<Node*> loadScriptText(DD::Image::Graph& graph, const std::string& text, const std::string& path,
                                  RelativeFiles& files);

// The text of the script for every node of `graph`: each knob whose value
// differs from its default, except knobs flagged DO_NOT_WRITE and knobs
// without a value. `folder` is where the script will be written.
std::string saveScript(const DD::Image::Graph& graph, const std::filesystem::path& folder, const RelativeFiles& files);

// A script kept in memory, as the window's history keeps its states: the
// values of long text knobs (a dense card's points) are held beside the
// script's text, each shared with an earlier script that holds the same
// text, and no node's selection is written.
struct HeldScript {
  std::string text;  // each long text's value written as {"held": i}
  std::vector<std::shared_ptr<const std::string>> texts;
  // Each text's knob stamp (DD::Image::textStamp) when it was held.
  std::vector<unsigned long long> stamps;
  bool operator==(const HeldScript& o) const;
  bool operator!=(const HeldScript& o) const { return !(*this == o); }
};
// Text values longer than this are held.
constexpr size_t kHeldTextSize = 4096;
bool holdsLongText(const DD::Image::Knob& k);
// `earlier`, if given, lends its texts to the ones that did not change.
HeldScript holdScript(const DD::Image::Graph& graph, const std::filesystem::path& folder, const RelativeFiles& files,
                      const HeldScript* earlier);
// Whether holdScript would now hold the same script as `held`, found
// without copying any text.
bool sameAsHeld(const DD::Image::Graph& graph, const std::filesystem::path& folder, const RelativeFiles& files,
                const HeldScript& held);
// The script's whole text, as saveScript writes it but without selections.
std::string heldScriptText(const HeldScript& held);

}  // namespace quorhost

#endif
