// One scene request as the renderer takes it, whether it came from a RIB
// file or from a call of the library: its name, then its arguments in order
// (numbers, strings, and bracketed arrays of either), parameter lists
// included as token/value pairs.
#ifndef QUOR_RENDER_REQUEST_H
#define QUOR_RENDER_REQUEST_H

#include <functional>
#include <string>
#include <vector>

namespace quor {
namespace render {

struct Value {
  enum class Kind { Number, String, Numbers, Strings };
  Kind kind = Kind::Number;
  std::vector<float> numbers;
  std::vector<std::string> strings;
  // The exact values of whole numbers that a library call gave as integers,
  // beside their numbers, so that a RIB file gets them as they were given;
  // empty for every other value.
  std::vector<int> integers;

  static Value number(float v) { return {Kind::Number, {v}, {}, {}}; }
  static Value integer(int v) { return {Kind::Number, {float(v)}, {}, {v}}; }
  static Value string(std::string s) { return {Kind::String, {}, {std::move(s)}, {}}; }
  static Value numberArray(std::vector<float> v) { return {Kind::Numbers, std::move(v), {}, {}}; }
  static Value integerArray(std::vector<int> v) {
    std::vector<float> numbers(v.begin(), v.end());
    return {Kind::Numbers, std::move(numbers), {}, std::move(v)};
  }
  static Value stringArray(std::vector<std::string> v) { return {Kind::Strings, {}, std::move(v), {}}; }

  bool isString() const { return kind == Kind::String || kind == Kind::Strings; }
  bool isArray() const { return kind == Kind::Numbers || kind == Kind::Strings; }
  std::size_t size() const { return isString() ? strings.size() : numbers.size(); }
};

struct Request {
  std::string name;
  std::vector<Value> args;
  // Where it came from, for messages: "scene.rib:12", or empty for a call.
  std::string where;
};

// Severity of a report, as the library's error handler receives it.
enum class Severity { Info = 0, Warning = 1, Error = 2, Severe = 3 };

// Kinds of failure, with the numbers the library's error handler receives.
enum ErrorCode {
  kNoMemory = 1,
  kSystem = 2,
  kNoFile = 3,
  kBadFile = 4,
  kUnimplemented = 12,
  kLimit = 13,
  kNesting = 24,
  kIllegalState = 28,
  kBadToken = 41,
  kRange = 42,
  kConsistency = 43,
  kSyntax = 47,
  kMath = 61,
};

// Where the renderer's warnings and errors go.
class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  virtual void report(int code, Severity severity, const std::string& message) = 0;
};

// A function that takes reports as Diagnostics does.
using ReportFunction = std::function<void(int code, Severity severity, const std::string& message)>;

}  // namespace render
}  // namespace quor

#endif
