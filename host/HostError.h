// The one error type of quorhost: a message for standard error. Whatever
// fails stops the run; main prints the message and exits non-zero.
#ifndef QUORHOST_HOSTERROR_H
#define QUORHOST_HOSTERROR_H

#include <stdexcept>
#include <string>

namespace quorhost {

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quorhost

#endif
