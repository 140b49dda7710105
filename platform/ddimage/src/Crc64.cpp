#include "Crc64.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace DD {
namespace Image {
namespace crc64 {

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

const Tables& tables() {
  static const Tables t = makeTables();
  return t;
}

// Eight bytes read big-endian: the CRC is most significant bit first, so
// they meet the whole register at once.
U64 bigEndianWord(const unsigned char* p) {
  return (static_cast<U64>(p[0]) << 56) | (static_cast<U64>(p[1]) << 48) | (static_cast<U64>(p[2]) << 40) |
         (static_cast<U64>(p[3]) << 32) | (static_cast<U64>(p[4]) << 24) | (static_cast<U64>(p[5]) << 16) |
         (static_cast<U64>(p[6]) << 8) | static_cast<U64>(p[7]);
}

// x^64 times a(x), modulo the polynomial: the register after eight bytes
// that hold a, read from a register of 0.
U64 timesX64(const Tables& t, U64 a) {
  return t[7][a >> 56] ^ t[6][(a >> 48) & 0xFF] ^ t[5][(a >> 40) & 0xFF] ^ t[4][(a >> 32) & 0xFF] ^
         t[3][(a >> 24) & 0xFF] ^ t[2][(a >> 16) & 0xFF] ^ t[1][(a >> 8) & 0xFF] ^ t[0][a & 0xFF];
}

U64 eightBytes(const Tables& t, U64 crc, const unsigned char* p) { return timesX64(t, crc ^ bigEndianWord(p)); }

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

// Below this length folding costs more than it saves.
const size_t kFoldFrom = 256;

#if defined(__x86_64__)

const size_t kFoldBlock = 64;

// With the processor's carry-less multiply, long runs are folded 64 bytes at
// a time instead of looked up byte by byte. Four lanes of 128 bits each hold
// a polynomial that is congruent, modulo the CRC polynomial, to what they
// have read so far; moving a lane on by 64 bytes multiplies it by x^512,
// which its two halves do through x^576 and x^512 reduced beforehand. The
// lanes then join as lane 0 x^384 + lane 1 x^256 + lane 2 x^128 + lane 3,
// and the register is that polynomial times x^64, reduced: the same value
// as the byte-wise run.
struct Folding {
  U64 lane[2];          // x^576, x^512: a lane moved on by one block
  U64 join[3][2];       // x^448 and x^384, x^320 and x^256, x^192 and x^128
  bool usable = false;  // the processor has the instruction
};

const Folding& folding() {
  static const Folding f = [] {
    Folding k;
    k.lane[0] = zeroBytes(72);
    k.lane[1] = zeroBytes(64);
    for (int i = 0; i < 3; ++i) {
      k.join[i][0] = zeroBytes(56 - 16 * i);
      k.join[i][1] = zeroBytes(48 - 16 * i);
    }
    __builtin_cpu_init();
    k.usable = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3");
    return k;
  }();
  return f;
}

// A lane as one 128-bit register: x^127..x^64 in its upper half. A block's
// 16 bytes, reversed, read as one big-endian number.
__attribute__((target("pclmul,ssse3"))) __m128i load(const unsigned char* p) {
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// The upper half times the upper constant plus the lower half times the
// lower one: `k` holds them in the same halves.
__attribute__((target("pclmul,ssse3"))) __m128i times(__m128i lane, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x11), _mm_clmulepi64_si128(lane, k, 0x00));
}

// The register after `blocks` whole blocks (at least one) from register `crc`.
__attribute__((target("pclmul,sse4.1,ssse3"))) U64 foldBlocks(U64 crc, const unsigned char* p, size_t blocks) {
  const Folding& f = folding();
  const __m128i step = _mm_set_epi64x(static_cast<long long>(f.lane[0]), static_cast<long long>(f.lane[1]));
  __m128i lanes[4];
  for (int i = 0; i < 4; ++i) lanes[i] = load(p + 16 * i);
  lanes[0] = _mm_xor_si128(lanes[0], _mm_set_epi64x(static_cast<long long>(crc), 0));
  for (size_t b = 1; b < blocks; ++b) {
    const unsigned char* block = p + b * kFoldBlock;
    for (int i = 0; i < 4; ++i) lanes[i] = _mm_xor_si128(times(lanes[i], step), load(block + 16 * i));
  }
  __m128i sum = lanes[3];
  for (int i = 0; i < 3; ++i)
    sum = _mm_xor_si128(sum, times(lanes[i], _mm_set_epi64x(static_cast<long long>(f.join[i][0]),
                                                            static_cast<long long>(f.join[i][1]))));
  const U64 high = static_cast<U64>(_mm_extract_epi64(sum, 1)), low = static_cast<U64>(_mm_cvtsi128_si64(sum));
  const Tables& t = tables();
  return timesX64(t, timesX64(t, high) ^ low);
}

#endif

}  // namespace

U64 portable(U64 crc, const unsigned char* p, size_t length) {
  const Tables& t = tables();
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
  return crc;
}

#if defined(__x86_64__)

bool canFold() { return folding().usable; }

U64 folded(U64 crc, const unsigned char* p, size_t length) {
  const size_t blocks = length / kFoldBlock;
  if (blocks > 0) crc = foldBlocks(crc, p, blocks);
  return portable(crc, p + blocks * kFoldBlock, length - blocks * kFoldBlock);
}

#else

bool canFold() { return false; }

U64 folded(U64 crc, const unsigned char* p, size_t length) { return portable(crc, p, length); }

#endif

U64 append(U64 crc, const unsigned char* p, size_t length) {
  return length >= kFoldFrom && canFold() ? folded(crc, p, length) : portable(crc, p, length);
}

}  // namespace crc64
}  // namespace Image
}  // namespace DD
