// Text of RIB requests: numbers, quoted strings, arrays and parameter lists.
#ifndef QUOR_SRC_RIBTEXT_H
#define QUOR_SRC_RIBTEXT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Declarations.h"

namespace quor {

// A request that cannot be written; the message says why. Nothing of the
// request reaches the scene then.
class RequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One token/value pair of a parameter list.
struct Parameter {
  const char* token;
  const void* value;
};
using ParameterList = std::vector<Parameter>;

// How many items of its class a declared parameter holds in this request.
using ItemCount = std::function<std::uint64_t(const Declaration&)>;

// Builds the text of one request line. Every append either succeeds or throws
// RequestError, so a half-built line is simply dropped.
class Line {
 public:
  explicit Line(const char* request) : text_(request) {}

  // A quoted string; `what` names the argument when it is null.
  Line& str(const char* text, const char* what);
  Line& num(int value);
  Line& num(float value);
  // The values in brackets: [a b c].
  Line& floats(const float* values, std::size_t count, const char* what);
  // Each pair as "token" [values], the values counted by the token's declaration.
  Line& params(const ParameterList& params, const ItemCount& items);

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Shortest text that reads back (strtof) to the same 32-bit value; locale
// independent. Infinities and NaNs have no RIB form and throw RequestError.
void appendFloat(std::string& out, float value);
// A RIB string: double quotes, with backslash escapes for quotes, backslashes
// and control characters.
void appendQuoted(std::string& out, const char* text);

}  // namespace quor

#endif
