#include "render/RibReader.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quor {
namespace render {
namespace {

class Parser {
 public:
  Parser(const std::string& text, const std::string& fileName) : text_(text), file_(fileName) {}

  bool run(std::vector<Request>& out, std::string& error) {
    try {
      while (skipSpace()) {
        const char c = text_[pos_];
        if (isNameStart(c)) {
          Request r;
          r.name = name();
          r.where = file_ + ":" + std::to_string(line_);
          out.push_back(std::move(r));
        } else {
          Value v = value();
          if (out.empty()) fail("a value before the first request");
          out.back().args.push_back(std::move(v));
        }
      }
      return true;
    } catch (const std::string& message) {
      error = file_ + ":" + std::to_string(line_) + ": " + message;
      return false;
    }
  }

 private:
  [[noreturn]] void fail(const std::string& message) { throw message; }

  static bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool isDelimiter(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '"' || c == '[' || c == ']' || c == '#';
  }

  // Skips blanks and comments; false at the end of the text.
  bool skipSpace() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        if (static_cast<unsigned char>(c) >= 0x80)
          fail("binary RIB is not supported (byte " + std::to_string(int(static_cast<unsigned char>(c))) + ")");
        return true;
      }
    }
    return false;
  }

  std::string name() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
    if (pos_ < text_.size() && !isDelimiter(text_[pos_])) {
      fail(std::string("unexpected character '") + text_[pos_] + "' in a request name");
    }
    return text_.substr(start, pos_ - start);
  }

  Value value() {
    const char c = text_[pos_];
    if (c == '"') return Value::string(quotedString());
    if (c == '[') return array();
    if (c == ']') fail("']' without '['");
    return Value::number(number());
  }

  Value array() {
    const std::size_t startLine = line_;
    ++pos_;
    std::vector<float> numbers;
    std::vector<std::string> strings;
    while (true) {
      if (!skipSpace()) {
        line_ = startLine;
        fail("'[' is never closed");
      }
      const char c = text_[pos_];
      if (c == ']') {
        ++pos_;
        break;
      }
      if (c == '[') fail("arrays cannot hold arrays");
      if (c == '"') {
        strings.push_back(quotedString());
      } else if (isNameStart(c)) {
        fail("a request name inside an array (is a ']' missing?)");
      } else {
        numbers.push_back(number());
      }
      if (!strings.empty() && !numbers.empty()) fail("an array holds numbers or strings, not both");
    }
    if (!strings.empty()) return Value::stringArray(std::move(strings));
    return Value::numberArray(std::move(numbers));
  }

  float number() {
    std::size_t end = pos_;
    while (end < text_.size() && !isDelimiter(text_[end])) ++end;
    const std::string token = text_.substr(pos_, end - pos_);
    const char* first = token.c_str();
    const char* last = first + token.size();
    if (first != last && *first == '+') ++first;
    float value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) fail("number \"" + token + "\" is out of range");
    // The number parser also takes "nan" and "inf" (with a sign, the reader
    // reaches them here): a RIB number is finite, so they are refused too.
    if (result.ec != std::errc() || result.ptr != last || first == last || !std::isfinite(value)) {
      fail("\"" + token + "\" is not a number");
    }
    pos_ = end;
    return value;
  }

  std::string quotedString() {
    const std::size_t startLine = line_;
    ++pos_;
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) {
        line_ = startLine;
        fail("a string is never closed");
      }
      const char c = text_[pos_++];
      if (c == '"') break;
      if (c == '\n') {
        ++line_;
        out += c;
        continue;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) continue;
      const char e = text_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case '\n':
          ++line_;
          break;  // a continued line
        default:
          if (e >= '0' && e <= '7') {
            int code = e - '0';
            for (int k = 0; k < 2 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '7'; ++k)
              code = code * 8 + (text_[pos_++] - '0');
            out += char(code);
          } else {
            out += e;
          }
      }
    }
    return out;
  }

  const std::string& text_;
  std::string file_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
};

}  // namespace

bool parseRib(const std::string& text, const std::string& fileName, std::vector<Request>& out, std::string& error) {
  return Parser(text, fileName).run(out, error);
}

bool readRibFile(const std::string& path, std::vector<Request>& out, std::string& error) {
  // Only a file: a device or a pipe may never end, or never begin.
  std::error_code status;
  if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status)) {
    error = "cannot read \"" + path + "\": not a file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  return parseRib(text.str(), path, out, error);
}

}  // namespace render
}  // namespace quor
