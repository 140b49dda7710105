// 4x4 float matrix in OpenGL's column-major order: aRC is row R, column C,
// and array() gives the 16 floats as glMultMatrixf takes them.
#ifndef DDImage_Matrix4_h
#define DDImage_Matrix4_h

#include "DDImage/Vector3.h"

namespace DD {
namespace Image {

class Matrix4 {
 public:
  float a00, a10, a20, a30;
  float a01, a11, a21, a31;
  float a02, a12, a22, a32;
  float a03, a13, a23, a33;

  static const Matrix4 _identity;

  Matrix4() { makeIdentity(); }
  explicit Matrix4(const float* columnMajor16);
  Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13, float m20, float m21,
          float m22, float m23, float m30, float m31, float m32, float m33);

  float* array() { return &a00; }
  const float* array() const { return &a00; }
  // Element at row r, column c.
  float& operator()(int r, int c) { return (&a00)[c * 4 + r]; }
  float operator()(int r, int c) const { return (&a00)[c * 4 + r]; }

  bool operator==(const Matrix4& m) const;
  bool operator!=(const Matrix4& m) const { return !(*this == m); }
  Matrix4 operator*(const Matrix4& m) const;
  Matrix4& operator*=(const Matrix4& m) { return *this = *this * m; }

  void makeIdentity();
  // A point: w = 1, translation applied, no divide.
  Vector3 transform(const Vector3& v) const;
  // A direction: no translation.
  Vector3 vtransform(const Vector3& v) const;
  Matrix4 inverse() const;
  float determinant() const;
  Matrix4 transpose() const;

  // Post-multiply by an elementary transform (this = this * T), so that the
  // last one appended is applied to points first.
  void translate(float x, float y, float z);
  void scale(float x, float y, float z);
  void rotateX(float radians);
  void rotateY(float radians);
  void rotateZ(float radians);
  // Shear: x += xy*y + xz*z ... using the classic xy, xz, yz factors.
  void skew(float xy, float xz, float yz);
};

}  // namespace Image
}  // namespace DD

#endif
