// The camera of the host's 3-D viewer. Scenes that a host writes for a
// renderer take the same camera, so that a render frames what the viewer
// shows. By default the eye is at (0, 0, 2.5) looking down -z, with 30
// degrees of vertical field of view, on a picture of 640 x 480 pixels.
//
// A viewer that the user turns keeps the eye at `distance` from `target`,
// the point it looks at and turns about: the camera is turned by `yaw`
// degrees about the world's y axis, then by `pitch` degrees about its own x
// axis. With both at zero its axes are the world's.
#ifndef DDImageHost_Camera_h
#define DDImageHost_Camera_h

#include <cmath>

#include "DDImage/Vector3.h"

namespace DD {
namespace Image {

struct Camera {
  int width = 640;  // picture size, pixels
  int height = 480;
  float distance = 2.5f;  // from the eye to the target
  float fovY = 30.0f;     // vertical field of view, degrees
  // The viewer's clipping planes, in front of the eye.
  float nearPlane = 0.01f;
  float farPlane = 1000.0f;
  Vector3 target = Vector3(0.0f, 0.0f, 0.0f);
  float yaw = 0.0f;    // degrees about the world's y axis
  float pitch = 0.0f;  // degrees about the camera's own x axis, after the yaw

  // The camera's axes in world space: rightward, upward, and backward (the
  // camera looks down -back()).
  Vector3 right() const {
    const float y = radians(yaw);
    return Vector3(std::cos(y), 0.0f, -std::sin(y));
  }
  Vector3 up() const {
    const float y = radians(yaw), p = radians(pitch);
    return Vector3(std::sin(y) * std::sin(p), std::cos(p), std::cos(y) * std::sin(p));
  }
  Vector3 back() const {
    const float y = radians(yaw), p = radians(pitch);
    return Vector3(std::sin(y) * std::cos(p), -std::sin(p), std::cos(y) * std::cos(p));
  }
  Vector3 position() const { return target + back() * distance; }
  // True when the camera looks down -z from (0, 0, distance).
  bool straight() const { return yaw == 0.0f && pitch == 0.0f && target == Vector3(0.0f, 0.0f, 0.0f); }

  static float radians(float degrees) { return degrees * static_cast<float>(M_PI / 180.0); }
};

}  // namespace Image
}  // namespace DD

#endif
