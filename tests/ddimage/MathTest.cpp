// Hash (CRC-64, ECMA-182 polynomial) and Matrix4 (GL column-major layout),
// against values written out here.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Hash.h"
#include "DDImage/Matrix4.h"

#include "Crc64.h"

using namespace DD::Image;

namespace {

// The register moved on bit by bit, most significant bit first.
U64 bitwise(U64 crc, const std::string& bytes) {
  for (unsigned char c : bytes) {
    crc ^= static_cast<U64>(c) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 63) ? (crc << 1) ^ 0x42F0E1EBA9EA3693ULL : crc << 1;
  }
  return crc;
}

// Mistakes: text without its NUL, a bool or a double of another width,
// big-endian numbers, a hash appended by something other than its value.
TEST(DDImageHash, MatchesTheCheckValueAndABitwiseComputation) {
  Hash h, parts;
  h.append("123456789", 9);
  // The published CRC-64/WE check value 0x62EC59E3F1A4F00A has a final xor of ~0.
  EXPECT_EQ(h.value(), 0x62EC59E3F1A4F00AULL ^ ~0ULL);
  parts.append("ab");
  parts.append(std::string("c"));
  parts.append(0x01020304);
  parts.append(true);
  parts.append(1.0);
  parts.append(h);
  // Computed bit by bit (polynomial 0x42F0E1EBA9EA3693, most significant bit
  // first, from ~0) over 61 62 00 63 00 04 03 02 01 01, 00 00 00 00 00 00 F0 3F
  // and F5 0F 5B 0E 1C A6 13 9D (h's value, 0x9D13A61C0E5B0FF5).
  EXPECT_EQ(parts.value(), 0xAE6F2F3B5145209BULL);
}

// Both ways of reading, each called directly, since this processor would
// reach only one of them through Hash. Mistakes: a table entry or shift
// wrong (the 9 bytes of the check values meet each of the eight slices and
// the byte-wise tail), a reflected CRC, the starting register ignored (the
// two check values start from 0 and from ~0); in the folded way a lane's
// bytes in the wrong order, a wrong constant, the register not entered into
// the first lane, the blocks miscounted (1 to 4 blocks, tails of 0 to 63
// bytes, unaligned starts); in a long text read in quarters, the quarters
// joined in the wrong order or moved on by the wrong length, or the bytes
// after them lost.
TEST(DDImageHash, BothWaysOfReadingGiveTheBitwiseRegister) {
  using Way = U64 (*)(U64, const unsigned char*, size_t);
  std::vector<std::pair<std::string, Way>> ways = {{"portable", crc64::portable}};
  if (crc64::canFold()) ways.emplace_back("folded", crc64::folded);
  std::string text(100003, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 + i / 251);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const U64 from = 0xAE6F2F3B5145209BULL;
  for (const auto& [name, read] : ways) {
    const auto* check = reinterpret_cast<const unsigned char*>("123456789");
    EXPECT_EQ(read(0, check, 9), 0x6C40DF5F0B497347ULL) << name;  // the CRC-64/ECMA-182 check value
    EXPECT_EQ(read(~0ULL, check, 9), 0x62EC59E3F1A4F00AULL ^ ~0ULL) << name;
    for (size_t offset : {0, 1, 3, 7})
      for (size_t n = 0; n <= 300; ++n)
        if (read(from, bytes + offset, n) != bitwise(from, text.substr(offset, n))) {
          ADD_FAILURE() << name << ": " << n << " bytes from " << offset;
          break;
        }
    EXPECT_EQ(read(from, bytes, text.size()), bitwise(from, text)) << name;
  }
}

void expectNear(const Matrix4& m, const Matrix4& expected, float eps = 1e-6f) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.array()[i], expected.array()[i], eps) << "element " << i;
}

// Mistakes: rows and columns exchanged, an appended transform or a product in
// the other order, a rotation or skew factor in the wrong place or of the
// wrong sign, the inverse transposed or not pivoted, a singular matrix
// answered with huge numbers.
TEST(DDImageMatrix4, LayoutProductsTransformsAndInverses) {
  const Matrix4 m(1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 0, 0, 0, 1);        // rows as on paper, translation last
  const float gl[16] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0, 10, 20, 30, 1};  // one column after the other
  EXPECT_TRUE(std::memcmp(m.array(), gl, sizeof gl) == 0 && m(0, 1) == 2);
  Matrix4 ts, turns, k;
  ts.translate(1, 2, 3);
  ts.scale(2, 4, 8);  // T * S: (x, y, z) -> (2x + 1, 4y + 2, 8z + 3)
  // Right-handed quarter turns, X taking y to z, Y z to x, Z x to y, applied
  // Z first: x -> y -> y -> z, y -> -x -> z -> -y, z -> z -> x -> x.
  turns.rotateX(1.5707963f);
  turns.rotateY(1.5707963f);
  turns.rotateZ(1.5707963f);
  k.skew(2, 3, 4);  // x + 2y + 3z, y + 4z, z
  expectNear(turns, Matrix4(0, 0, 1, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1));
  expectNear(k, Matrix4(1, 2, 3, 0, 0, 1, 4, 0, 0, 0, 1, 0, 0, 0, 0, 1));

  expectNear(ts.inverse(), Matrix4(0.5f, 0, 0, -0.5f, 0, 0.25f, 0, -0.5f, 0, 0, 0.125f, -0.375f, 0, 0, 0, 1));
  const Matrix4 swap(0, 1, 0, 5, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);  // a zero on the diagonal
  expectNear(swap.inverse(), Matrix4(0, 1, 0, 0, 1, 0, 0, -5, 0, 0, 1, 0, 0, 0, 0, 1));
  // No inverse exists: the answer stays usable (the identity), even when
  // rounding leaves a tiny pivot instead of zero.
  const Matrix4 rank2(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1);
  const Matrix4 zero(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  for (const auto& s : {rank2, zero}) EXPECT_EQ(s.inverse(), Matrix4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
}

}  // namespace
