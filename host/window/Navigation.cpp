#include "window/Navigation.h"

#include <algorithm>
#include <cmath>

namespace quorhost {

using DD::Image::Camera;
using DD::Image::Vector3;

namespace {

// Keeps a turn within (-180, 180] degrees.
float wrapDegrees(float a) {
  a = std::fmod(a, 360.0f);
  if (a > 180.0f) a -= 360.0f;
  if (a <= -180.0f) a += 360.0f;
  return a;
}

// The world size of one pixel at the target's depth.
float pixelSize(const Camera& camera) {
  const float tanHalf = std::tan(Camera::radians(camera.fovY) / 2);
  return 2 * camera.distance * tanHalf / static_cast<float>(std::max(camera.height, 1));
}

}  // namespace

void tumble(Camera& camera, float dx, float dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  // The eye goes the other way round the target.
  camera.yaw = wrapDegrees(camera.yaw - dx * kTumbleDegreesPerPixel);
  camera.pitch = std::clamp(camera.pitch - dy * kTumbleDegreesPerPixel, -kMaxPitch, kMaxPitch);
}

void track(Camera& camera, float dx, float dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  const float size = pixelSize(camera);
  camera.target = camera.target - camera.right() * (dx * size) + camera.up() * (dy * size);
}

void dolly(Camera& camera, float steps) {
  if (!std::isfinite(steps)) return;
  camera.distance = std::clamp(camera.distance * std::pow(kDollyFactor, steps), kMinDistance, kMaxDistance);
}

void dollyDrag(Camera& camera, float dx, float dy) { dolly(camera, (dx - dy) / kDollyPixelsPerStep); }

void frame(Camera& camera, const Vector3& lo, const Vector3& hi) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i]) || lo[i] > hi[i]) return;
  camera.target = (lo + hi) * 0.5f;
  const float radius = (hi - lo).length() / 2;
  if (!(radius > 0)) return;
  // The narrower of the two fields of view holds the sphere.
  const float tanHalfY = std::tan(Camera::radians(camera.fovY) / 2);
  const float aspect = static_cast<float>(std::max(camera.width, 1)) / static_cast<float>(std::max(camera.height, 1));
  const float halfAngle = std::atan(tanHalfY * std::min(aspect, 1.0f));
  const float margin = 1.1f;
  camera.distance = std::clamp(radius / std::sin(halfAngle) * margin, kMinDistance, kMaxDistance);
}

void home(Camera& camera) {
  Camera fresh;
  fresh.width = camera.width;
  fresh.height = camera.height;
  camera = fresh;
}

}  // namespace quorhost
