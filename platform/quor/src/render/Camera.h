// The camera of a frame: raster pixels to rays in camera space and camera
// space back to raster pixels. Camera space is left-handed: x right, y up,
// looking down +z. Raster x runs right and y down from the picture's top
// left corner, one unit a pixel.
#ifndef QUOR_RENDER_CAMERA_H
#define QUOR_RENDER_CAMERA_H

#include <cmath>

#include "render/Frame.h"
#include "render/Math.h"

namespace quor {
namespace render {

class Camera {
 public:
  explicit Camera(const PictureOptions& o) : perspective_(o.perspective), xres_(o.xres), yres_(o.yres) {
    float screen[4];
    o.screen(screen);
    for (int i = 0; i < 4; ++i) screen_[i] = screen[i];
    tanHalf_ = perspective_ ? std::tan(o.fov * 3.14159265358979323846 / 360.0) : 1.0;
    nearClip_ = o.nearClip;
    farClip_ = o.farClip;
  }

  bool perspective() const { return perspective_; }
  float nearClip() const { return nearClip_; }
  float farClip() const { return farClip_; }
  int width() const { return xres_; }
  int height() const { return yres_; }

  // The ray through raster point (x, y). Its direction has z = 1, so that
  // the distance along it is the depth, which the clipping planes bound.
  void ray(double x, double y, Vec3& origin, Vec3& direction) const {
    const double sx = screen_[0] + x / xres_ * (screen_[1] - screen_[0]);
    const double sy = screen_[3] - y / yres_ * (screen_[3] - screen_[2]);
    if (perspective_) {
      origin = {0, 0, 0};
      direction = {float(sx * tanHalf_), float(sy * tanHalf_), 1.0f};
    } else {
      origin = {float(sx), float(sy), 0};
      direction = {0, 0, 1};
    }
  }

  // The raster position of a camera-space point; false when the point lies
  // on or behind the camera's plane (perspective only).
  bool project(Vec3 p, double& x, double& y) const {
    double sx = p.x, sy = p.y;
    if (perspective_) {
      if (!(p.z > 0)) return false;
      sx = p.x / (p.z * tanHalf_);
      sy = p.y / (p.z * tanHalf_);
    }
    x = (sx - screen_[0]) / (screen_[1] - screen_[0]) * xres_;
    y = (screen_[3] - sy) / (screen_[3] - screen_[2]) * yres_;
    return std::isfinite(x) && std::isfinite(y);
  }

 private:
  bool perspective_;
  int xres_, yres_;
  double screen_[4];
  double tanHalf_;
  float nearClip_, farClip_;
};

}  // namespace render
}  // namespace quor

#endif
