// --window: the interactive window, opened on the session's graph.
#include "Actions.h"
#include "window/Window.h"

namespace quorhost {

void Session::window(const Args& args) {
  std::string prefix;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--snapshot") prefix = args[++i];
  runWindow(*this, prefix);
}

}  // namespace quorhost
