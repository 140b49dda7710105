// The failure of a request that breaks the rules of its arguments: the
// message says why, the code is the kind of failure the error handler
// receives. Nothing of such a request reaches its target.
#ifndef QUOR_SRC_REQUESTERROR_H
#define QUOR_SRC_REQUESTERROR_H

#include <stdexcept>
#include <string>

#include "render/Request.h"

namespace quor {

class RequestError : public std::runtime_error {
 public:
  explicit RequestError(const std::string& message, int code = render::kBadToken)
      : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace quor

#endif
