// Hash (CRC-64, ECMA-182 polynomial) and Matrix4 (GL column-major layout).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DDImage/Hash.h"
#include "DDImage/Matrix4.h"

using DD::Image::Hash;
using DD::Image::Matrix4;
using DD::Image::U64;
using DD::Image::Vector3;

namespace {

// Bit-by-bit CRC-64: polynomial 0x42F0E1EBA9EA3693, most significant bit
// first, from ~0, no final xor.
U64 referenceCrc(const std::vector<unsigned char>& bytes) {
  U64 crc = ~0ULL;
  for (unsigned char b : bytes) {
    crc ^= static_cast<U64>(b) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 63) ? (crc << 1) ^ 0x42F0E1EBA9EA3693ULL : crc << 1;
  }
  return crc;
}
template <size_t N>
U64 referenceText(const char (&s)[N]) {  // every byte of the literal, its NUL included
  return referenceCrc(std::vector<unsigned char>(s, s + N));
}

template <class... T>
U64 hashOf(const T&... values) {
  Hash h;
  (h.append(values), ...);
  return h.value();
}

TEST(DDImageHash, MatchesTheCheckValueAndABitwiseReference) {
  Hash h;
  EXPECT_EQ(h.value(), ~0ULL);
  h.append("123456789", 9);
  EXPECT_EQ(h.value(), 0x9D13A61C0E5B0FF5ULL);
  EXPECT_EQ(h.value(), 0x62EC59E3F1A4F00AULL ^ ~0ULL);
  EXPECT_EQ(h.value(), referenceCrc(std::vector<unsigned char>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}));

  std::vector<unsigned char> all(1000);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<unsigned char>(i * 7 + 3);
  h.reset();
  h.append(all.data(), all.size());
  EXPECT_EQ(h.value(), referenceCrc(all));
}

TEST(DDImageHash, TextIncludesTheTerminatingNulAndOrderMatters) {
  EXPECT_EQ(hashOf("abc"), referenceText("abc"));
  EXPECT_EQ(hashOf(std::string("abc")), referenceText("abc"));
  EXPECT_EQ(hashOf(std::string("a\0b", 3)), referenceText("a\0b"));
  // The NUL separates appended texts: "ab" + "c" is not "a" + "bc".
  EXPECT_EQ(hashOf("ab", "c"), referenceText("ab\0c"));
  EXPECT_NE(hashOf("ab", "c"), hashOf("a", "bc"));
  EXPECT_NE(hashOf("ab", "c"), hashOf("c", "ab"));
  EXPECT_NE(hashOf(1, 2), hashOf(2, 1));
}

TEST(DDImageHash, NumbersAppendTheirLittleEndianBytes) {
  const unsigned one = 1;
  ASSERT_EQ(*reinterpret_cast<const unsigned char*>(&one), 1) << "expectations below assume little-endian";
  EXPECT_EQ(hashOf(0x01020304), referenceCrc({0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(hashOf(true), referenceCrc({1}));
  EXPECT_EQ(hashOf(false), referenceCrc({0}));
  // IEEE 754: 1.0f is 0x3F800000, -2.5f is 0xC0200000.
  EXPECT_EQ(hashOf(1.0f, -2.5f), referenceCrc({0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0}));
  EXPECT_EQ(hashOf(0x0102030405060708ULL), referenceCrc({8, 7, 6, 5, 4, 3, 2, 1}));
  Hash inner;
  inner.append(7);
  std::vector<unsigned char> v;  // a hash appends its 64-bit value
  for (int k = 0; k < 8; ++k) v.push_back(static_cast<unsigned char>(inner.value() >> (8 * k)));
  EXPECT_EQ(hashOf(inner), referenceCrc(v));
}

void expectNear(const Vector3& v, float x, float y, float z, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

TEST(DDImageMatrix4, LayoutIsGlColumnMajor) {
  // Rows as written on paper; translation in the last column.
  const Matrix4 m(1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 0, 0, 0, 1);
  // The same matrix as glLoadMatrixf takes it: one column after the other.
  const float gl[16] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0, 10, 20, 30, 1};
  EXPECT_EQ(0, std::memcmp(m.array(), gl, sizeof gl));
  EXPECT_EQ(Matrix4(gl), m);
  const float rows[16] = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 0, 0, 0, 1};
  EXPECT_EQ(Matrix4(rows).transpose(), m);
  EXPECT_EQ(m.a03 + m.a13 + m.a23, 60);
  EXPECT_EQ(m.a01, 2);  // row 0, column 1

  Matrix4 t;
  EXPECT_EQ(t, Matrix4::_identity);
  t.translate(5, 6, 7);
  EXPECT_EQ(std::vector<float>(t.array() + 12, t.array() + 16), (std::vector<float>{5, 6, 7, 1}));
}

TEST(DDImageMatrix4, ProductTransformsAndRotations) {
  const float a[16] = {1, 2, 0, 1, 0, 1, 3, -2, 4, 0, 1, 0.5f, 0, 0, 0, 1};  // rows
  const float b[16] = {2, 0, 1, 0, 1, -1, 0, 3, 0, 2, 1, 1, 1, 0, 0, 1};
  const Matrix4 p = Matrix4(a).transpose() * Matrix4(b).transpose();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[r * 4 + k] * b[k * 4 + c];
      EXPECT_FLOAT_EQ(p(r, c), sum) << r << "," << c;
    }
  // Appended transforms apply to points first: T * S maps p to T(S(p)).
  Matrix4 ts;
  ts.translate(1, 2, 3);
  ts.scale(2, 3, 4);
  expectNear(ts.transform(Vector3(1, 1, 1)), 3, 5, 7);
  expectNear(ts.vtransform(Vector3(1, 1, 1)), 2, 3, 4);

  // Right-hand rule: a quarter turn about z takes x to y, about x y to z,
  // about y z to x.
  const float quarter = static_cast<float>(M_PI / 2);
  Matrix4 z, x, y;
  z.rotateZ(quarter);
  x.rotateX(quarter);
  y.rotateY(quarter);
  expectNear(z.transform(Vector3(1, 0, 0)), 0, 1, 0);
  expectNear(x.transform(Vector3(0, 1, 0)), 0, 0, 1);
  expectNear(y.transform(Vector3(0, 0, 1)), 1, 0, 0);
}

TEST(DDImageMatrix4, InverseOfACompositeAndOfSingularMatrices) {
  Matrix4 m;
  m.translate(1, -2, 3);
  m.rotateY(0.3f);
  m.rotateX(-0.7f);
  m.rotateZ(1.1f);
  m.scale(2, 0.5f, 3);
  m.skew(0.2f, -0.1f, 0.4f);
  const Matrix4 product = m.inverse() * m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(product(r, c), r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
  expectNear(m.inverse().transform(m.transform(Vector3(0.3f, -4, 2))), 0.3f, -4, 2, 1e-4f);

  // No inverse exists: the answer must stay usable (the identity), even when
  // rounding leaves a tiny pivot instead of zero.
  Matrix4 flat;
  flat.rotateZ(0.5f);
  flat.scale(1, 0, 1);
  const Matrix4 rank2(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1);
  const Matrix4 zero(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  for (const Matrix4& s : {flat, rank2, zero}) EXPECT_EQ(s.inverse(), Matrix4::_identity);
}

}  // namespace
