#ifndef DDImage_Vector3_h
#define DDImage_Vector3_h

#include <cmath>

namespace DD {
namespace Image {

class Vector3 {
 public:
  float x, y, z;
  Vector3() : x(0), y(0), z(0) {}
  Vector3(float a, float b, float c) : x(a), y(b), z(c) {}
  explicit Vector3(const float* v) : x(v[0]), y(v[1]), z(v[2]) {}
  void set(float a, float b, float c) {
    x = a;
    y = b;
    z = c;
  }
  Vector3 operator+(const Vector3& v) const { return Vector3(x + v.x, y + v.y, z + v.z); }
  Vector3 operator-(const Vector3& v) const { return Vector3(x - v.x, y - v.y, z - v.z); }
  Vector3 operator*(float d) const { return Vector3(x * d, y * d, z * d); }
  Vector3 operator-() const { return Vector3(-x, -y, -z); }
  bool operator==(const Vector3& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const Vector3& v) const { return !(*this == v); }
  float& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
  float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }
  float dot(const Vector3& v) const { return x * v.x + y * v.y + z * v.z; }
  Vector3 cross(const Vector3& v) const { return Vector3(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x); }
  float lengthSquared() const { return dot(*this); }
  float length() const { return std::sqrt(lengthSquared()); }
};

}  // namespace Image
}  // namespace DD

#endif
