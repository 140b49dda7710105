#include "render/Math.h"

namespace quor {
namespace render {

Mat4 Mat4::fromArray(const float* values) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = values[4 * i + j];
  return r;
}

Mat4 Mat4::translate(float dx, float dy, float dz) {
  Mat4 r;
  r.m[3][0] = dx;
  r.m[3][1] = dy;
  r.m[3][2] = dz;
  return r;
}

Mat4 Mat4::scale(float sx, float sy, float sz) {
  Mat4 r;
  r.m[0][0] = sx;
  r.m[1][1] = sy;
  r.m[2][2] = sz;
  return r;
}

Mat4 Mat4::rotate(float degrees, float dx, float dy, float dz) {
  const double len = std::sqrt(double(dx) * dx + double(dy) * dy + double(dz) * dz);
  Mat4 r;
  if (!(len > 0)) return r;
  const double x = dx / len, y = dy / len, z = dz / len;
  const double a = degrees * 3.14159265358979323846 / 180.0;
  const double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
  // Rows are the images of the axes.
  const double rows[3][3] = {
      {t * x * x + c, t * x * y + s * z, t * x * z - s * y},
      {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
      {t * x * z + s * y, t * y * z - s * x, t * z * z + c},
  };
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(rows[i][j]);
  return r;
}

double Mat4::determinant3() const {
  const double a = m[0][0], b = m[0][1], c = m[0][2];
  const double d = m[1][0], e = m[1][1], f = m[1][2];
  const double g = m[2][0], h = m[2][1], i = m[2][2];
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

bool Mat4::isFinite() const {
  for (const auto& row : m)
    for (float v : row)
      if (!std::isfinite(v)) return false;
  return true;
}

Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a.m[i][k]) * b.m[k][j];
      r.m[i][j] = static_cast<float>(sum);
    }
  return r;
}

}  // namespace render
}  // namespace quor
