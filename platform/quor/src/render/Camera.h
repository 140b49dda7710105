// The camera of a frame: raster pixels to rays in camera space and camera
// space back to raster pixels. Camera space is left-handed: x right, y up,
// looking down +z. Raster x runs right and y down from the picture's top
// left corner, one unit a pixel.
#ifndef QUOR_RENDER_CAMERA_H
#define QUOR_RENDER_CAMERA_H

#include <algorithm>
#include <array>
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
    screenPerPixel_[0] = (screen_[1] - screen_[0]) / xres_;
    screenPerPixel_[1] = (screen_[3] - screen_[2]) / yres_;
    tanHalf_ = perspective_ ? std::tan(o.fov * 3.14159265358979323846 / 360.0) : 1.0;
    nearClip_ = o.nearClip;
    farClip_ = o.farClip;
    // Samples are taken up to the filter's half width beyond the picture,
    // each within a pixel: one more for that, one to spare.
    reach_ = std::max(o.filterWidth[0], o.filterWidth[1]) / 2.0 + 2;
  }

  bool perspective() const { return perspective_; }
  float nearClip() const { return nearClip_; }
  float farClip() const { return farClip_; }
  int width() const { return xres_; }
  int height() const { return yres_; }

  // The ray through raster point (x, y). Its direction has z = 1, so that
  // the distance along it is the depth, which the clipping planes bound.
  void ray(double x, double y, Vec3& origin, Vec3& direction) const {
    const double sx = screen_[0] + x * screenPerPixel_[0];
    const double sy = screen_[3] - y * screenPerPixel_[1];
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

  // Raster pixels a camera-space unit across the view measures at depth z
  // (z > 0 in perspective), along the picture's denser axis.
  double pixelsPerUnit(double z) const {
    const double perUnit = 1.0 / std::min(std::fabs(screenPerPixel_[0]), std::fabs(screenPerPixel_[1]));
    return perspective_ ? perUnit / (z * tanHalf_) : perUnit;
  }
  // Camera space as half-spaces (a, b, c, d), inside where
  // a x + b y + c z + d >= 0, that together hold every point a ray of the
  // picture can meet: depth between the clipping planes, raster position
  // no further beyond the picture than its samples reach.
  using Plane = std::array<double, 4>;
  std::array<Plane, 6> viewVolume() const {
    const double margin = reach_;
    // Raster x = ax sx + bx and y = ay sy + by, where (sx, sy) is the
    // screen position: (x, y) / (z tan(fov / 2)) in perspective, (x, y)
    // otherwise. Each bound is multiplied through by z tan(fov / 2) > 0, so
    // that a plane through the eye bounds a perspective view.
    const double ax = xres_ / (screen_[1] - screen_[0]), bx = -screen_[0] * ax;
    const double ay = -yres_ / (screen_[3] - screen_[2]), by = -screen_[3] * ay;
    const double zc = perspective_ ? tanHalf_ : 0.0, dc = perspective_ ? 0.0 : 1.0;
    const double left = bx + margin, right = xres_ + margin - bx;
    const double top = by + margin, bottom = yres_ + margin - by;
    return {{{ax, 0, left * zc, left * dc},
             {-ax, 0, right * zc, right * dc},
             {0, ay, top * zc, top * dc},
             {0, -ay, bottom * zc, bottom * dc},
             {0, 0, 1, -double(nearClip_)},
             {0, 0, -1, double(farClip_)}}};
  }

 private:
  bool perspective_;
  int xres_, yres_;
  double screen_[4];
  double screenPerPixel_[2];  // the screen's width and height of a pixel
  double tanHalf_;
  float nearClip_, farClip_;
  double reach_;
};

}  // namespace render
}  // namespace quor

#endif
