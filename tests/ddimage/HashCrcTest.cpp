// The change hash's CRC-64, taken eight bytes at a time, against a bitwise
// reference written here, over short and long runs at every alignment (the
// check value and the appends of each type are pinned in MathTest).
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Hash.h"

namespace {

using DD::Image::U64;

// The CRC-64 of ECMA-182, most significant bit first, one bit at a time.
U64 bitwiseCrc(U64 crc, const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<U64>(p[i]) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 63) ? (crc << 1) ^ 0x42F0E1EBA9EA3693ULL : crc << 1;
  }
  return crc;
}

U64 hashOf(const unsigned char* p, std::size_t n) {
  DD::Image::Hash h;
  h.append(static_cast<const void*>(p), n);
  return h.value();
}

}  // namespace

// Catches a wrong table for any of the eight slices, bytes taken in the wrong
// order within a word, and a tail (length not a multiple of 8) dropped or
// processed twice.
TEST(HashCrc, SameValuesAsOneBitAtATime) {
  std::mt19937 random(12345);
  std::vector<unsigned char> bytes((3u << 20) + 16);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
  for (std::size_t offset = 0; offset < 8; ++offset) {
    const unsigned char* p = bytes.data() + offset;
    for (std::size_t n = 0; n <= 70; ++n) ASSERT_EQ(hashOf(p, n), bitwiseCrc(~0ULL, p, n)) << offset << " " << n;
    const std::size_t big = (3u << 20) + offset;
    ASSERT_EQ(hashOf(p, big), bitwiseCrc(~0ULL, p, big)) << offset;
  }
}
