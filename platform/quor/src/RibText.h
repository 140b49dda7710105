// Text of RIB requests: numbers, quoted strings, arrays and parameter lists.
#ifndef QUOR_SRC_RIBTEXT_H
#define QUOR_SRC_RIBTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "RequestError.h"
#include "render/Request.h"

namespace quor {

// Builds the text of one request line. Every append either succeeds or throws
// RequestError, so a half-built line is simply dropped.
//
// A long array of numbers (a mesh's positions: a hundred megabytes of text
// for a dense card) is checked when it is appended but formatted only when
// the line is written, block by block through a small buffer, so that its
// text never has to be held whole. The arrays given to floats() and param()
// must therefore outlive the line.
class Line {
 public:
  explicit Line(const char* request) : text_(request) {}

  // A quoted string; `what` names the argument when it is null.
  Line& str(const char* text, const char* what);
  Line& num(int value);
  Line& num(float value);
  // The values in brackets: [a b c].
  Line& floats(const float* values, std::size_t count, const char* what);
  // Quoted strings in brackets: ["a" "b"].
  Line& strings(const std::vector<std::string>& values);
  // One value: a number, a string, or an array of either; whole numbers as
  // they were given when the value keeps them.
  Line& value(const render::Value& value);
  // One parameter: "token" [values].
  Line& param(const std::string& token, const render::Value& value);

  // The whole text of the line.
  std::string text() const;
  // Writes the text of the line to `file`.
  void writeTo(std::FILE* file) const;

 private:
  // A long array whose numbers belong at offset `at` of text_, between its
  // brackets.
  struct LongArray {
    std::size_t at;
    const void* values;
    std::size_t count;
    bool isFloat;
  };
  template <class T>
  void appendNumbers(const T* values, std::size_t count, std::size_t mostChars);
  // Hands the text to `sink` piece by piece, in order.
  template <class Sink>
  void forEachPiece(Sink sink) const;

  std::string text_;
  std::vector<LongArray> longArrays_;
};

// Shortest text that reads back (strtof) to the same 32-bit value; locale
// independent. Infinities and NaNs have no RIB form and throw RequestError.
void appendFloat(std::string& out, float value);
// A RIB string: double quotes, with backslash escapes for quotes, backslashes
// and control characters.
void appendQuoted(std::string& out, const char* text);

}  // namespace quor

#endif
