#include "DDImage/Hash.h"

#include <array>

namespace DD {
namespace Image {

namespace {

const U64 kPolynomial = 0x42F0E1EBA9EA3693ULL;  // ECMA-182

std::array<U64, 256> makeTable() {
  std::array<U64, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    U64 crc = static_cast<U64>(i) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & (1ULL << 63)) ? (crc << 1) ^ kPolynomial : crc << 1;
    table[i] = crc;
  }
  return table;
}

}  // namespace

void Hash::append(const void* data, size_t length) {
  static const std::array<U64, 256> table = makeTable();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  U64 crc = value_;
  for (size_t i = 0; i < length; ++i) crc = table[((crc >> 56) ^ p[i]) & 0xFF] ^ (crc << 8);
  value_ = crc;
}

void Hash::append(const char* text) {
  if (!text) text = "";
  size_t n = 0;
  while (text[n]) ++n;
  append(static_cast<const void*>(text), n + 1);
}

void Hash::append(const std::string& text) { append(static_cast<const void*>(text.c_str()), text.size() + 1); }

}  // namespace Image
}  // namespace DD
