// The Python buttons' scripts, run by python3.
#ifndef QUORHOST_PYTHON_H
#define QUORHOST_PYTHON_H

#include <string>

namespace quorhost {

// Runs `python3 -c script` and waits for it. Answers why it failed (python3
// not started, a non-zero exit status, a signal), or empty when it succeeded.
std::string runPython(const std::string& script);

}  // namespace quorhost

#endif
