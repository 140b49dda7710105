// The session of a quorhost run: the node graph and the current node,
// acted on one action at a time.
#ifndef QUORHOST_SESSION_H
#define QUORHOST_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include <DDImageHost/Host.h>
#include <DDImageHost/Viewer.h>

#include "CommandLine.h"
#include "OutputFiles.h"
#include "Script.h"

namespace quorhost {

// The node graph and the current node, acted on one action at a time.
class Session {
 public:
  // `pluginFolders` only serves messages about unknown classes.
  explicit Session(std::vector<std::string> pluginFolders);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads a script; its last node becomes the current node.
  void loadScript(const std::string& path);
  // True while the nodes are as the script loaded them: since loading, only
  // actions that leave what a script holds alone have run (choosing,
  // selecting, listing, writing and drawing).
  bool asLoaded() const { return asLoaded_; }
  // What the nodes warned of while the script loaded; empty for nothing.
  const std::string& loadWarnings() const { return loadWarnings_; }
  // The script loaded; empty for none.
  const std::string& scriptPath() const { return scriptPath_; }
  // Performs one action; throws HostError, its message led by the action's
  // name, when it fails.
  void run(const Action& action);
  // Puts the output files in place once every action has succeeded.
  void finish() { outputs_.commit(); }
  // Tells the session every action of the run before the first one runs:
  // the window saves where the last --save of the command line writes.
  void plan(const std::vector<Action>& actions);
  // What --window opens: the window, where the program has one. Without
  // it, --window fails.
  using WindowOpener = void (*)(Session& session, const std::string& snapshotPrefix);
  void setWindowOpener(WindowOpener open) { openWindow_ = open; }

  // The actions, one member each, called through their forms.
  void newNode(const Args& args);
  void makeCurrent(const Args& args);
  void connect(const Args& args);
  void set(const Args& args);
  void press(const Args& args);
  void openPanel(const Args& args);
  void select(const Args& args);
  void deselect(const Args& args);
  void printKnobs(const Args& args);
  void printInfo(const Args& args);
  void save(const Args& args);
  void rib(const Args& args);
  void render(const Args& args);
  void view(const Args& args);
  void size(const Args& args);
  void click(const Args& args);
  void drag(const Args& args);
  void window(const Args& args);

  // ---- what the window works with ----
  DD::Image::Graph& graph() { return graph_; }
  // The current node; null for none.
  Node* currentNode() const { return current_; }
  void setCurrentNode(Node* node) { current_ = node; }
  DD::Image::Viewer& viewer();
  // True once an action gave the viewer a size (--size).
  bool sizeGiven() const { return sizeGiven_; }
  // Sets a knob from text as --set does (a relative file path is relative
  // to the working folder). Throws HostError when the knob refuses it.
  void setKnob(Node* node, DD::Image::Knob* k, const std::string& value);
  // Presses a button knob as --press does. Throws HostError when it fails.
  void pressKnob(Node* node, DD::Image::Knob* k);
  // Where the window saves: the file last given to saveAs, else the file
  // of the command line's last --save, else the script loaded, else the
  // file last given to saveNow; empty when there is none.
  std::string saveTarget() const;
  // The script as saving it to `target` would write it.
  std::string scriptText(const std::string& target) const;
  // The same, held in memory (see holdScript).
  HeldScript heldScript(const std::string& target, const HeldScript* earlier) const;
  // Whether heldScript(target) would now be the same as `held` (see sameAsHeld).
  bool sameAsHeld(const std::string& target, const HeldScript& held) const;
  // Saves the script to `target` at once, as --save writes it: under a
  // temporary name beside it, then renamed into place. A --save of the same
  // file waiting for the end of the run is dropped. Throws HostError.
  void saveNow(const std::string& target);
  // Saves as saveNow does; `target` is where the window saves from now on.
  void saveAs(const std::string& target);
  // Replaces every node by those of `text`, a script as scriptText(target)
  // wrote it. The current node and the selection are kept by name. Throws
  // HostError, leaving the graph as it was, when the text does not load.
  void restoreScript(const std::string& text, const std::string& target);

 private:
  Node* current() const;
  DD::Image::Knob* knobOf(Node* node, const std::string& name) const;
  int inputNumber(Node* node, const std::string& text) const;
  void setViewerSize(const std::string& text);

  std::vector<std::string> pluginFolders_;
  std::string scriptPath_;   // the script loaded, if any
  std::string plannedSave_;  // the file of the command line's last --save
  std::string chosenSave_;   // the file the window last saved to
  bool savedAs_ = false;     // chosenSave_ came from saveAs
  bool sizeGiven_ = false;
  bool asLoaded_ = false;
  std::string loadWarnings_;
  DD::Image::Graph graph_;
  Node* current_ = nullptr;
  RelativeFiles files_;
  Outputs outputs_;
  // Made on the first action that needs it; its camera, at the last size
  // given, is the scene's camera too.
  std::unique_ptr<DD::Image::Viewer> viewer_;
  WindowOpener openWindow_ = nullptr;
};

}  // namespace quorhost

#endif
