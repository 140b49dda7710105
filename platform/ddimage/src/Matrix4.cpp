#include "DDImage/Matrix4.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace DD {
namespace Image {

const Matrix4 Matrix4::_identity;

Matrix4::Matrix4(const float* m) { std::memcpy(&a00, m, 16 * sizeof(float)); }

Matrix4::Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13, float m20,
                 float m21, float m22, float m23, float m30, float m31, float m32, float m33)
    : a00(m00),
      a10(m10),
      a20(m20),
      a30(m30),
      a01(m01),
      a11(m11),
      a21(m21),
      a31(m31),
      a02(m02),
      a12(m12),
      a22(m22),
      a32(m32),
      a03(m03),
      a13(m13),
      a23(m23),
      a33(m33) {}

void Matrix4::makeIdentity() {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) (*this)(r, c) = r == c ? 1.0f : 0.0f;
}

bool Matrix4::operator==(const Matrix4& m) const {
  for (int i = 0; i < 16; ++i)
    if (array()[i] != m.array()[i]) return false;
  return true;
}

Matrix4 Matrix4::operator*(const Matrix4& m) const {
  Matrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += (*this)(r, k) * m(k, c);
      out(r, c) = sum;
    }
  return out;
}

Vector3 Matrix4::transform(const Vector3& v) const {
  return Vector3(a00 * v.x + a01 * v.y + a02 * v.z + a03, a10 * v.x + a11 * v.y + a12 * v.z + a13,
                 a20 * v.x + a21 * v.y + a22 * v.z + a23);
}

Vector3 Matrix4::vtransform(const Vector3& v) const {
  return Vector3(a00 * v.x + a01 * v.y + a02 * v.z, a10 * v.x + a11 * v.y + a12 * v.z,
                 a20 * v.x + a21 * v.y + a22 * v.z);
}

Matrix4 Matrix4::transpose() const {
  Matrix4 t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t(r, c) = (*this)(c, r);
  return t;
}

// Gauss-Jordan elimination with partial pivoting, in double precision.
// A singular matrix has no inverse; the identity is answered then. A pivot
// that is only rounding residue (tiny next to its column's entries) counts as
// zero: dividing by it would answer huge meaningless numbers.
Matrix4 Matrix4::inverse() const {
  double a[4][8];
  double columnSize[4] = {0, 0, 0, 0};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      a[r][c] = (*this)(r, c);
      a[r][c + 4] = r == c ? 1.0 : 0.0;
      if (!std::isfinite(a[r][c])) return Matrix4();
      columnSize[c] = std::max(columnSize[c], std::fabs(a[r][c]));
    }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) <= 1e-10 * columnSize[col]) return Matrix4();
    if (pivot != col)
      for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
    const double d = a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] /= d;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      if (f == 0.0) continue;
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  Matrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out(r, c) = static_cast<float>(a[r][c + 4]);
  return out;
}

float Matrix4::determinant() const {
  const Matrix4& m = *this;
  auto minor3 = [&](int r0, int r1, int r2, int c0, int c1, int c2) {
    return m(r0, c0) * (m(r1, c1) * m(r2, c2) - m(r1, c2) * m(r2, c1)) -
           m(r0, c1) * (m(r1, c0) * m(r2, c2) - m(r1, c2) * m(r2, c0)) +
           m(r0, c2) * (m(r1, c0) * m(r2, c1) - m(r1, c1) * m(r2, c0));
  };
  return m(0, 0) * minor3(1, 2, 3, 1, 2, 3) - m(0, 1) * minor3(1, 2, 3, 0, 2, 3) + m(0, 2) * minor3(1, 2, 3, 0, 1, 3) -
         m(0, 3) * minor3(1, 2, 3, 0, 1, 2);
}

void Matrix4::translate(float x, float y, float z) {
  Matrix4 t;
  t.a03 = x;
  t.a13 = y;
  t.a23 = z;
  *this *= t;
}

void Matrix4::scale(float x, float y, float z) {
  Matrix4 s;
  s.a00 = x;
  s.a11 = y;
  s.a22 = z;
  *this *= s;
}

void Matrix4::rotateX(float radians) {
  Matrix4 r;
  const float c = std::cos(radians), s = std::sin(radians);
  r.a11 = c;
  r.a12 = -s;
  r.a21 = s;
  r.a22 = c;
  *this *= r;
}

void Matrix4::rotateY(float radians) {
  Matrix4 r;
  const float c = std::cos(radians), s = std::sin(radians);
  r.a00 = c;
  r.a02 = s;
  r.a20 = -s;
  r.a22 = c;
  *this *= r;
}

void Matrix4::rotateZ(float radians) {
  Matrix4 r;
  const float c = std::cos(radians), s = std::sin(radians);
  r.a00 = c;
  r.a01 = -s;
  r.a10 = s;
  r.a11 = c;
  *this *= r;
}

void Matrix4::skew(float xy, float xz, float yz) {
  Matrix4 k;
  k.a01 = xy;
  k.a02 = xz;
  k.a12 = yz;
  *this *= k;
}

}  // namespace Image
}  // namespace DD
