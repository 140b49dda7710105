#include "RibText.h"

#include <charconv>
#include <cmath>

namespace quor {
namespace {

// More values than this in one parameter are taken for garbage counts.
constexpr std::uint64_t kMaxValues = std::uint64_t{1} << 30;

void appendInt(std::string& out, long long value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
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
  if (!std::isfinite(value)) throw RequestError("a value is infinite or not a number");
  // Without a format, to_chars gives the shortest text that round-trips.
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendQuoted(std::string& out, const char* text) {
  out += '"';
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          const char octal[] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)),
                                char('0' + (c & 7))};
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
  appendArray(text_, values, count, [this](float v) { appendFloat(text_, v); });
  return *this;
}

Line& Line::params(const ParameterList& params, const ItemCount& items) {
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
          appendArray(text_, static_cast<const float*>(p.value), count,
                      [this](float v) { appendFloat(text_, v); });
          break;
        case ValueKind::Integer:
          appendArray(text_, static_cast<const int*>(p.value), count,
                      [this](int v) { appendInt(text_, v); });
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
