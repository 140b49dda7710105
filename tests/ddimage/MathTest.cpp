// Hash (CRC-64, ECMA-182 polynomial) and Matrix4 (GL column-major layout).
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "DDImage/Hash.h"
#include "DDImage/Matrix4.h"

using namespace DD::Image;

namespace {

// Bit-by-bit CRC-64: polynomial 0x42F0E1EBA9EA3693, most significant bit
// first, from ~0, no final xor.
U64 referenceCrc(const std::string& bytes) {
  U64 crc = ~0ULL;
  for (unsigned char b : bytes) {
    crc ^= static_cast<U64>(b) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 63) ? (crc << 1) ^ 0x42F0E1EBA9EA3693ULL : crc << 1;
  }
  return crc;
}

TEST(DDImageHash, MatchesTheCheckValueAndABitwiseReference) {
  Hash h;
  h.append("123456789", 9);
  EXPECT_EQ(h.value(), 0x9D13A61C0E5B0FF5ULL);
  EXPECT_EQ(h.value(), referenceCrc("123456789"));
  // Text appends its terminating NUL, numbers their little-endian bytes.
  h.reset();
  h.append("ab");
  h.append(0x01020304);
  EXPECT_EQ(h.value(), referenceCrc(std::string("ab\0\x04\x03\x02\x01", 7)));
}

void expectNear(const Vector3& v, float x, float y, float z, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

TEST(DDImageMatrix4, LayoutIsGlColumnMajorAndPointsTakeTheTranslation) {
  // Rows as written on paper; translation in the last column.
  const Matrix4 m(1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 0, 0, 0, 1);
  const float gl[16] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0, 10, 20, 30, 1};  // one column after the other
  EXPECT_EQ(0, std::memcmp(m.array(), gl, sizeof gl));
  EXPECT_EQ(m.a01, 2);  // row 0, column 1
  expectNear(m.transform(Vector3(1, 1, 1)), 16, 35, 54);
  expectNear(m.vtransform(Vector3(1, 1, 1)), 6, 15, 24);
  // Appended transforms apply to points first: T * S maps p to T(S(p)).
  Matrix4 ts;
  ts.translate(1, 2, 3);
  ts.scale(2, 3, 4);
  expectNear(ts.transform(Vector3(1, 1, 1)), 3, 5, 7);
}

TEST(DDImageMatrix4, InverseOfACompositeAndOfSingularMatrices) {
  Matrix4 m;
  m.translate(1, -2, 3);
  m.rotateY(0.3f);
  m.rotateX(-0.7f);
  m.scale(2, 0.5f, 3);
  m.skew(0.2f, -0.1f, 0.4f);
  const Matrix4 product = m.inverse() * m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(product(r, c), r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
  expectNear(m.inverse().transform(m.transform(Vector3(0.3f, -4, 2))), 0.3f, -4, 2, 1e-4f);

  // No inverse exists: the answer stays usable (the identity), even when
  // rounding leaves a tiny pivot instead of zero.
  const Matrix4 rank2(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1);
  const Matrix4 zero(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  for (const Matrix4& s : {rank2, zero}) EXPECT_EQ(s.inverse(), Matrix4::_identity);
}

}  // namespace
