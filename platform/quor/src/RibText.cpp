#include "RibText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quor {
namespace {

// More values than this in one parameter are taken for garbage counts.
constexpr std::uint64_t kMaxValues = std::uint64_t{1} << 30;

// The most characters a value takes in a line, the blank before it
// included: an int ("-2147483648") and the shortest text of a float
// ("-1.17549435e-38").
constexpr std::size_t kIntChars = 12;
constexpr std::size_t kFloatChars = 16;
// How many values are formatted between two resizes of the line.
constexpr std::size_t kBlock = 4096;

char* writeNumber(char* at, char* end, int value) { return std::to_chars(at, end, value).ptr; }

char* writeNumber(char* at, char* end, float value) {
  if (!std::isfinite(value)) throw RequestError("a value is infinite or not a number");
  // Without a format, to_chars gives the shortest text that round-trips.
  return std::to_chars(at, end, value).ptr;
}

void appendInt(std::string& out, long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Appends the values in brackets: [a b c]. The line is reserved once for the
// longest text they can have; each block of values is then formatted
// straight into the line's own storage, which is cut back to what was
// written, so the pages beyond the text are never touched.
template <class T>
void appendNumbers(std::string& out, const T* values, std::size_t count, std::size_t mostChars) {
  out.reserve(out.size() + count * mostChars + 2);
  out += '[';
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(kBlock, count - done);
    const std::size_t at = out.size();
    out.resize(at + n * mostChars);
    char* p = &out[at];
    char* const end = p + n * mostChars;
    for (const std::size_t last = done + n; done < last; ++done) {
      if (done) *p++ = ' ';
      p = writeNumber(p, end, values[done]);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
  }
  out += ']';
}

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
  appendNumbers(text_, values, count, kFloatChars);
  return *this;
}

Line& Line::params(const ParameterList& params, const ItemCount& items) {
  // The line is reserved once for the longest text the numbers of every
  // parameter can have, so that it never grows, and copies what it holds,
  // between two of them. Errors are left to the loop below, which reports
  // them in the order of the parameters.
  std::size_t most = text_.size();
  for (const Parameter& p : params) {
    Declaration d;
    std::uint64_t n = 0;
    try {
      d = declarationOf(p.token);
      n = items(d);
    } catch (const RequestError&) {
      break;
    }
    if (n > kMaxValues || n * std::uint64_t(d.valuesPerItem()) > kMaxValues) break;
    const std::size_t perValue = d.kind == ValueKind::Float     ? kFloatChars
                                 : d.kind == ValueKind::Integer ? kIntChars
                                                                : 0;
    most += std::strlen(p.token) + 6 + static_cast<std::size_t>(n) * d.valuesPerItem() * perValue;
  }
  text_.reserve(most);

  for (const Parameter& p : params) {
    const Declaration d = declarationOf(p.token);
    const std::uint64_t n = items(d);  // checked first: the product could overflow
    if (n > kMaxValues || n * std::uint64_t(d.valuesPerItem()) > kMaxValues) {
      throw RequestError("too many values for \"" + std::string(p.token) + "\"");
    }
    const std::uint64_t count = n * std::uint64_t(d.valuesPerItem());
    if (!p.value && count > 0) throw RequestError("no value for \"" + std::string(p.token) + "\" (null pointer)");
    text_ += ' ';
    appendQuoted(text_, p.token);
    text_ += ' ';
    try {
      switch (d.kind) {
        case ValueKind::Float:
          appendNumbers(text_, static_cast<const float*>(p.value), count, kFloatChars);
          break;
        case ValueKind::Integer:
          appendNumbers(text_, static_cast<const int*>(p.value), count, kIntChars);
          break;
        case ValueKind::String:
          appendArray(text_, static_cast<const char* const*>(p.value), count, [this](const char* v) {
            if (!v) throw RequestError("a string is a null pointer");
            appendQuoted(text_, v);
          });
          break;
      }
    } catch (const RequestError& e) {
      throw RequestError("\"" + std::string(p.token) + "\": " + e.what());
    }
  }
  return *this;
}

}  // namespace quor
