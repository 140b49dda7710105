// Small vector and matrix types of the renderer. Matrices follow the
// RenderMan convention: points are row vectors multiplied on the left,
// p' = p * M, so the translation sits in the last row, and a transform given
// later in a scene applies to points before the earlier ones:
// current = given * current.
#ifndef QUOR_RENDER_MATH_H
#define QUOR_RENDER_MATH_H

#include <cmath>

namespace quor {
namespace render {

struct Vec3 {
  float x = 0, y = 0, z = 0;
  Vec3() = default;
  constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
inline Vec3 operator*(float k, Vec3 a) { return a * k; }
// Component-wise product, for colours.
inline Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline Vec3& operator+=(Vec3& a, Vec3 b) { return a = a + b; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float length(Vec3 a) { return std::sqrt(dot(a, a)); }
// The unit vector along a; a itself when it has no length.
inline Vec3 normalize(Vec3 a) {
  const float l = length(a);
  return l > 0 ? a * (1.0f / l) : a;
}
inline bool isFinite(Vec3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// A homogeneous point or the derivative of one.
struct Vec4 {
  float x = 0, y = 0, z = 0, w = 0;
};

// A 4 x 4 matrix, m[row][column], applied to row vectors.
struct Mat4 {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  static Mat4 identity() { return Mat4(); }
  static Mat4 fromArray(const float* values);  // 16 values, row by row
  static Mat4 translate(float dx, float dy, float dz);
  static Mat4 scale(float sx, float sy, float sz);
  // Turns by `degrees` about the axis (dx, dy, dz): about z, (1, 0, 0) goes
  // to (cos, sin, 0). Throws nothing; a zero axis gives the identity.
  static Mat4 rotate(float degrees, float dx, float dy, float dz);

  // The determinant of the upper 3 x 3 part: negative when the matrix
  // mirrors space.
  double determinant3() const;
  bool isFinite() const;
};

// a * b: apply a first, then b.
Mat4 operator*(const Mat4& a, const Mat4& b);

// p * M for the point (x, y, z, w).
inline Vec4 transform(const Vec4& p, const Mat4& a) {
  const auto& m = a.m;
  return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + p.w * m[3][0],
          p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + p.w * m[3][1],
          p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + p.w * m[3][2],
          p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + p.w * m[3][3]};
}

inline Vec3 transformPoint(Vec3 p, const Mat4& a) {
  const Vec4 h = transform({p.x, p.y, p.z, 1.0f}, a);
  return {h.x / h.w, h.y / h.w, h.z / h.w};
}

inline Vec3 transformVector(Vec3 v, const Mat4& a) {
  const Vec4 h = transform({v.x, v.y, v.z, 0.0f}, a);
  return {h.x, h.y, h.z};
}

}  // namespace render
}  // namespace quor

#endif
