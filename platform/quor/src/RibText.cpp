#include "RibText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <type_traits>

namespace quor {
namespace {

// The most characters a value takes in a line, the blank before it
// included: an int ("-2147483648") and the shortest text of a float
// ("-1.17549435e-38").
constexpr std::size_t kIntChars = 12;
constexpr std::size_t kFloatChars = 16;
// Arrays of more values than this are formatted when their line is written,
// this many at a time.
constexpr std::size_t kBlock = 4096;

char* writeNumber(char* at, char* end, int value) { return std::to_chars(at, end, value).ptr; }

// RIB has no text for infinities and NaNs.
void checkFinite(float value) {
  if (!std::isfinite(value)) throw RequestError("a value is infinite or not a number");
}

char* writeNumber(char* at, char* end, float value) {
  checkFinite(value);
  // Without a format, to_chars gives the shortest text that round-trips.
  return std::to_chars(at, end, value).ptr;
}

void appendInt(std::string& out, long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Formats the values first .. first + n - 1 of an array at `at`, each after
// a blank but the array's first; returns the end of the text.
template <class T>
char* formatNumbers(char* at, char* end, const T* values, std::size_t first, std::size_t n) {
  for (std::size_t i = first; i < first + n; ++i) {
    if (i) *at++ = ' ';
    at = writeNumber(at, end, values[i]);
  }
  return at;
}

// A long array is formatted only when its line is written, which must not
// fail half-way: its values are checked when it is appended.
void checkNumbers(const float* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) checkFinite(values[i]);
}
void checkNumbers(const int*, std::size_t) {}

template <class T, class Write>
void appendArray(std::string& out, const T* values, std::size_t count, Write write) {
  out += '[';
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ' ';
    write(values[i]);
  }
  out += ']';
}

}  // namespace

void appendFloat(std::string& out, float value) {
  char buffer[32];
  out.append(buffer, writeNumber(buffer, buffer + sizeof buffer, value));
}

void appendQuoted(std::string& out, const char* text) {
  out += '"';
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          const char octal[] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)), char('0' + (c & 7))};
          out.append(octal, sizeof octal);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

Line& Line::str(const char* text, const char* what) {
  if (!text) throw RequestError(std::string("no ") + what + " (null pointer)");
  text_ += ' ';
  appendQuoted(text_, text);
  return *this;
}

Line& Line::num(int value) {
  text_ += ' ';
  appendInt(text_, value);
  return *this;
}

Line& Line::num(float value) {
  text_ += ' ';
  appendFloat(text_, value);
  return *this;
}

Line& Line::floats(const float* values, std::size_t count, const char* what) {
  if (!values) throw RequestError(std::string("no ") + what + " (null pointer)");
  text_ += ' ';
  appendNumbers(values, count, kFloatChars);
  return *this;
}

// Appends the values in brackets: [a b c]. A short array is formatted
// straight into the line's own storage, which is then cut back to what was
// written; a long one is checked and left for the writing of the line.
template <class T>
void Line::appendNumbers(const T* values, std::size_t count, std::size_t mostChars) {
  text_ += '[';
  if (count > kBlock) {
    checkNumbers(values, count);
    longArrays_.push_back({text_.size(), values, count, std::is_same<T, float>::value});
  } else {
    const std::size_t at = text_.size();
    text_.resize(at + count * mostChars);
    char* const p = &text_[at];
    text_.resize(static_cast<std::size_t>(formatNumbers(p, p + count * mostChars, values, 0, count) - text_.data()));
  }
  text_ += ']';
}

template <class Sink>
void Line::forEachPiece(Sink sink) const {
  std::size_t from = 0;
  std::unique_ptr<char[]> block;
  char* end = nullptr;
  for (const LongArray& a : longArrays_) {
    sink(text_.data() + from, a.at - from);
    from = a.at;
    if (!block) {
      block.reset(new char[kBlock * kFloatChars]);
      end = block.get() + kBlock * kFloatChars;
    }
    for (std::size_t done = 0; done < a.count; done += kBlock) {
      const std::size_t n = std::min(kBlock, a.count - done);
      const char* const last = a.isFloat ? formatNumbers(block.get(), end, static_cast<const float*>(a.values), done, n)
                                         : formatNumbers(block.get(), end, static_cast<const int*>(a.values), done, n);
      sink(block.get(), static_cast<std::size_t>(last - block.get()));
    }
  }
  sink(text_.data() + from, text_.size() - from);
}

std::string Line::text() const {
  std::string out;
  forEachPiece([&out](const char* p, std::size_t n) { out.append(p, n); });
  return out;
}

void Line::writeTo(std::FILE* file) const {
  forEachPiece([file](const char* p, std::size_t n) { std::fwrite(p, 1, n, file); });
}

Line& Line::strings(const std::vector<std::string>& values) {
  text_ += ' ';
  appendArray(text_, values.data(), values.size(), [this](const std::string& v) { appendQuoted(text_, v.c_str()); });
  return *this;
}

Line& Line::value(const render::Value& v) {
  switch (v.kind) {
    case render::Value::Kind::Number:
      return v.integers.empty() ? num(v.numbers[0]) : num(v.integers[0]);
    case render::Value::Kind::String:
      return str(v.strings[0].c_str(), "string");
    case render::Value::Kind::Numbers:
      text_ += ' ';
      if (v.integers.empty()) {
        appendNumbers(v.numbers.data(), v.numbers.size(), kFloatChars);
      } else {
        appendNumbers(v.integers.data(), v.integers.size(), kIntChars);
      }
      return *this;
    case render::Value::Kind::Strings:
      return strings(v.strings);
  }
  return *this;
}

Line& Line::param(const std::string& token, const render::Value& v) {
  text_ += ' ';
  appendQuoted(text_, token.c_str());
  try {
    return value(v);
  } catch (const RequestError& e) {
    throw RequestError("\"" + token + "\": " + e.what(), e.code());
  }
}

}  // namespace quor
