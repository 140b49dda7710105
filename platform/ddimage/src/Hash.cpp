#include "DDImage/Hash.h"

#include <array>

namespace DD {
namespace Image {

namespace {

const U64 kPolynomial = 0x42F0E1EBA9EA3693ULL;  // ECMA-182

// table[0] advances the CRC by one byte; table[k] by one byte followed by k
// zero bytes, so that eight bytes advance it in one step (slice by eight).
using Tables = std::array<std::array<U64, 256>, 8>;

Tables makeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    U64 crc = static_cast<U64>(i) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & (1ULL << 63)) ? (crc << 1) ^ kPolynomial : crc << 1;
    t[0][i] = crc;
  }
  for (int k = 1; k < 8; ++k)
    for (unsigned i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 56];
  return t;
}

}  // namespace

void Hash::append(const void* data, size_t length) {
  static const Tables t = makeTables();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  U64 crc = value_;
  // The CRC is most significant bit first: eight bytes read big-endian
  // meet the whole register at once.
  for (; length >= 8; p += 8, length -= 8) {
    const U64 word = (static_cast<U64>(p[0]) << 56) | (static_cast<U64>(p[1]) << 48) | (static_cast<U64>(p[2]) << 40) |
                     (static_cast<U64>(p[3]) << 32) | (static_cast<U64>(p[4]) << 24) | (static_cast<U64>(p[5]) << 16) |
                     (static_cast<U64>(p[6]) << 8) | static_cast<U64>(p[7]);
    const U64 x = crc ^ word;
    crc = t[7][x >> 56] ^ t[6][(x >> 48) & 0xFF] ^ t[5][(x >> 40) & 0xFF] ^ t[4][(x >> 32) & 0xFF] ^
          t[3][(x >> 24) & 0xFF] ^ t[2][(x >> 16) & 0xFF] ^ t[1][(x >> 8) & 0xFF] ^ t[0][x & 0xFF];
  }
  for (; length > 0; ++p, --length) crc = t[0][((crc >> 56) ^ *p) & 0xFF] ^ (crc << 8);
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
