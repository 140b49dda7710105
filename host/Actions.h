// The actions of a quorhost run and the session that performs them.
#ifndef QUORHOST_ACTIONS_H
#define QUORHOST_ACTIONS_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <DDImageHost/Host.h>
#include <DDImageHost/Viewer.h>

#include "SceneWriter.h"
#include "Script.h"

namespace quorhost {

// One action of the command line: its name ("--set") and its arguments.
struct Action {
  std::string name;
  std::vector<std::string> args;
};

// What a command line asks for, checked for form before anything runs.
struct CommandLine {
  bool help = false;
  std::vector<std::string> pluginPaths;
  std::string script;
  std::vector<Action> actions;
};

// Parses the arguments after the program name. Throws HostError for an
// unknown action, a missing argument or a second script.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Output files, written beside their targets under temporary names and put
// in place only when the whole run succeeded; removed otherwise.
class Outputs {
 public:
  Outputs() = default;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;
  ~Outputs();
  // The temporary file to write for `target`.
  std::string reserve(const std::string& target);
  // Renames every temporary file onto its target, in the order reserved.
  void commit();

 private:
  std::vector<std::pair<std::string, std::string>> files_;  // temporary, target
};

// The node graph and the current node, acted on one action at a time.
class Session {
 public:
  // `pluginFolders` only serves messages about unknown classes.
  explicit Session(std::vector<std::string> pluginFolders);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads a script; its last node becomes the current node.
  void loadScript(const std::string& path);
  // Performs one action; throws HostError when it fails.
  void run(const Action& action);
  // Puts the output files in place once every action has succeeded.
  void finish() { outputs_.commit(); }

 private:
  Node* current(const Action& action) const;
  DD::Image::Knob* knobOf(Node* node, const std::string& name, const Action& action) const;
  int inputNumber(Node* node, const std::string& text, const Action& action) const;

  void newNode(const Action& a);
  void connect(const Action& a);
  void set(const Action& a);
  void press(const Action& a);
  void printKnobs(const Action& a) const;
  void printInfo(const Action& a) const;
  void save(const Action& a);
  void rib(const Action& a);
  DD::Image::Viewer& viewer();
  void view(const Action& a);
  void setViewerSize(const std::string& text);
  void click(const Action& a);
  void drag(const Action& a);

  std::vector<std::string> pluginFolders_;
  DD::Image::Graph graph_;
  Node* current_ = nullptr;
  RelativeFiles files_;
  Outputs outputs_;
  // Made on the first viewer action; it keeps the last size given.
  std::unique_ptr<DD::Image::Viewer> viewer_;
  // The picture size of the last --size: the viewer's and the scene's camera.
  Camera camera_;
};

// Runs `python3 -c script` and waits for it. Answers why it failed (python3
// not started, a non-zero exit status, a signal), or empty when it succeeded.
std::string runPython(const std::string& script);

}  // namespace quorhost

#endif
