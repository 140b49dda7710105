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

// Eight bytes read big-endian: the CRC is most significant bit first, so
// they meet the whole register at once.
U64 bigEndianWord(const unsigned char* p) {
  return (static_cast<U64>(p[0]) << 56) | (static_cast<U64>(p[1]) << 48) | (static_cast<U64>(p[2]) << 40) |
         (static_cast<U64>(p[3]) << 32) | (static_cast<U64>(p[4]) << 24) | (static_cast<U64>(p[5]) << 16) |
         (static_cast<U64>(p[6]) << 8) | static_cast<U64>(p[7]);
}

U64 eightBytes(const Tables& t, U64 crc, const unsigned char* p) {
  const U64 x = crc ^ bigEndianWord(p);
  return t[7][x >> 56] ^ t[6][(x >> 48) & 0xFF] ^ t[5][(x >> 40) & 0xFF] ^ t[4][(x >> 32) & 0xFF] ^
         t[3][(x >> 24) & 0xFF] ^ t[2][(x >> 16) & 0xFF] ^ t[1][(x >> 8) & 0xFF] ^ t[0][x & 0xFF];
}

// a(x) * b(x) modulo the polynomial, bit 63 being the coefficient of x^63.
U64 multiply(U64 a, U64 b) {
  U64 r = 0;
  for (int bit = 63; bit >= 0; --bit) {
    r = (r >> 63) ? (r << 1) ^ kPolynomial : r << 1;
    if ((a >> bit) & 1) r ^= b;
  }
  return r;
}

// x^(8 n) modulo the polynomial: what n zero bytes multiply the register by.
U64 zeroBytes(size_t n) {
  U64 result = 1, power = 0x100;  // x^0, x^8
  for (; n; n >>= 1, power = multiply(power, power))
    if (n & 1) result = multiply(result, power);
  return result;
}

// Below this length one run through the bytes is quicker than four and
// their joining.
const size_t kFourRunsFrom = 1 << 16;

}  // namespace

void Hash::append(const void* data, size_t length) {
  static const Tables t = makeTables();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  U64 crc = value_;
  // A long run is read as four quarters side by side, the last three from a
  // register of 0, and joined: the register is linear in what it has read,
  // so the CRC of A then B is the CRC of A moved on by B's length in zero
  // bytes, plus that of B from 0. The four chains of table look-ups do not
  // wait on each other.
  if (length >= kFourRunsFrom) {
    const size_t quarter = length / 4 / 8 * 8;
    const unsigned char *p1 = p + quarter, *p2 = p1 + quarter, *p3 = p2 + quarter;
    U64 c1 = 0, c2 = 0, c3 = 0;
    for (size_t i = 0; i < quarter; i += 8) {
      crc = eightBytes(t, crc, p + i);
      c1 = eightBytes(t, c1, p1 + i);
      c2 = eightBytes(t, c2, p2 + i);
      c3 = eightBytes(t, c3, p3 + i);
    }
    const U64 move = zeroBytes(quarter);
    crc = multiply(multiply(multiply(crc, move) ^ c1, move) ^ c2, move) ^ c3;
    p += 4 * quarter;
    length -= 4 * quarter;
  }
  for (; length >= 8; p += 8, length -= 8) crc = eightBytes(t, crc, p);
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
