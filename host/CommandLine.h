// The command line of quorhost: the table of its actions, which drives the
// parsing, the dispatch and the usage text.
#ifndef QUORHOST_COMMANDLINE_H
#define QUORHOST_COMMANDLINE_H

#include <cstddef>
#include <string>
#include <vector>

namespace quorhost {

class Session;

// The words of an action's arguments, in order.
using Args = std::vector<std::string>;

// One action as a command line names it: how it is written, what it takes,
// its help and the member of Session that performs it. The table of every
// action (CommandLine.cpp) is the one place that defines them: parsing, dispatch
// and the usage text are all made from it.
struct ActionForm {
  const char* name;     // "--set"
  int args;             // arguments always taken
  const char* argText;  // "KNOB VALUE", as the usage text and messages show it
  // The lines of its entry in the usage text. Empty: the action shares the
  // entry of the action before it.
  const char* help;
  void (Session::*perform)(const Args& args);
  // Takes what the action may take after its fixed arguments: words from
  // words[*last + 1] on, with *last left on the last word taken. Null when
  // it takes nothing more.
  void (*takeMore)(const Args& words, size_t* last, Args* args) = nullptr;
};

// One action of the command line: its form and its arguments.
struct Action {
  const ActionForm* form;
  Args args;
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

// What --help prints: the command line's form, then every option and action
// with its help.
std::string usage();

}  // namespace quorhost

#endif
