// Change hash: a running CRC-64 (ECMA-182 polynomial, most significant bit
// first) over everything appended, starting from ~0.
#ifndef DDImage_Hash_h
#define DDImage_Hash_h

#include <cstddef>
#include <string>

namespace DD {
namespace Image {

typedef unsigned long long U64;

class Hash {
 public:
  Hash() : value_(~0ULL) {}
  void reset() { value_ = ~0ULL; }
  void append(const void* data, size_t length);
  void append(const char* text);         // includes the terminating NUL
  void append(const std::string& text);  // includes the terminating NUL
  void append(bool v) {
    unsigned char c = v ? 1 : 0;
    append(&c, 1);
  }
  void append(int v) { append(&v, sizeof v); }
  void append(unsigned v) { append(&v, sizeof v); }
  void append(float v) { append(&v, sizeof v); }
  void append(double v) { append(&v, sizeof v); }
  void append(U64 v) { append(&v, sizeof v); }
  void append(const Hash& h) { append(h.value_); }
  U64 value() const { return value_; }
  bool operator==(const Hash& h) const { return value_ == h.value_; }
  bool operator!=(const Hash& h) const { return value_ != h.value_; }

 private:
  void append(const void*);  // undefined: keeps pointers from turning into bools
  U64 value_;
};

}  // namespace Image
}  // namespace DD

#endif
