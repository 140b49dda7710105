#include "grid/ControlGrid.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>

namespace quorcard {

namespace {

bool allFinite(const float* values, int count) {
  for (int i = 0; i < count; ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}

void setSlot(VtxPoint& point, int slot, float x, float y, float z) {
  point.controlPoints[static_cast<std::size_t>(slot)] = {x, y, z};
}

// Distance between two positions, in single precision.
float distance(const float* a, const float* b) {
  const float dx = a[0] - b[0];
  const float dy = a[1] - b[1];
  const float dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

CardSize cardSizeForRatio(float ratio) {
  if (ratio > 1.0f) return CardSize{1.0f, 1.0f / ratio};
  return CardSize{ratio, 1.0f};
}

bool isUsableRatio(float ratio) {
  // Within these bounds both sides of the card and their reciprocals are
  // finite normal numbers. NaN fails both comparisons.
  return ratio >= FLT_MIN && ratio <= 1.0f / FLT_MIN;
}

void ControlGrid::reset(int columns, int rows, float width, float height) {
  // At least two columns and rows: the spacing divides by their count - 1.
  const int nx = columns < 2 ? 2 : columns;
  const int ny = rows < 2 ? 2 : rows;
  const float w = (std::isfinite(width) && width > 0.0f) ? width : 1.0f;
  const float h = (std::isfinite(height) && height > 0.0f) ? height : 1.0f;

  PointList points(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
  const float dx = 1.0f / static_cast<float>(nx - 1);
  const float dy = 1.0f / static_cast<float>(ny - 1);
  const float dx3 = dx / 3.0f;
  const float dy3 = dy / 3.0f;

  std::size_t index = 0;
  for (int r = 0; r < ny; ++r) {
    for (int c = 0; c < nx; ++c) {
      VtxPoint& p = points[index++];
      const float u = static_cast<float>(c) * dx;
      const float t = static_cast<float>(r) * dy;
      const float x = (u - 0.5f) * w;
      const float y = (t - 0.5f) * h;

      p.pos[0] = x;
      p.pos[1] = y;
      p.pos[2] = 0.0f;
      p.uv[0] = u;
      p.uv[1] = static_cast<float>(1.0 - static_cast<double>(t));
      p.normal[0] = 0.0f;
      p.normal[1] = 0.0f;
      p.normal[2] = 1.0f;

      if (c != 0) setSlot(p, kSlotLeft, (u - 0.5f - dx3) * w, y, 0.0f);
      if (r != 0) setSlot(p, kSlotDown, x, (t - 0.5f - dy3) * h, 0.0f);
      if (c != nx - 1) setSlot(p, kSlotRight, (u - 0.5f + dx3) * w, y, 0.0f);
      if (r != ny - 1) setSlot(p, kSlotUp, x, (t - 0.5f + dy3) * h, 0.0f);
    }
  }
  points_ = std::move(points);
  columns_ = nx;
  rows_ = ny;
}

void ControlGrid::restore(PointList points, int columns, int rows) {
  const bool fits = columns > 0 && rows > 0 &&
                    points.size() == static_cast<std::uint64_t>(columns) * static_cast<std::uint64_t>(rows);
  points_ = std::move(points);
  columns_ = fits ? columns : 0;
  rows_ = fits ? rows : 0;
}

bool ControlGrid::scale(float sx, float sy) {
  if (columns_ == 0 || !std::isfinite(sx) || !std::isfinite(sy)) return false;

  // All or nothing: check every product before changing any point.
  for (const VtxPoint& p : points_) {
    if (!std::isfinite(p.pos[0] * sx) || !std::isfinite(p.pos[1] * sy)) return false;
    for (int k = 0; k < kSlotCount; ++k) {
      if (!slotPresent(p, k)) continue;
      const float* handle = slotPosition(p, k);
      if (!std::isfinite(handle[0] * sx) || !std::isfinite(handle[1] * sy)) return false;
    }
  }

  for (VtxPoint& p : points_) {
    p.pos[0] *= sx;
    p.pos[1] *= sy;
    for (int k = 0; k < kSlotCount; ++k) {
      if (!slotPresent(p, k)) continue;
      std::vector<float>& handle = p.controlPoints[static_cast<std::size_t>(k)];
      handle[0] *= sx;
      handle[1] *= sy;
    }
  }
  return true;
}

bool ControlGrid::movePoint(std::size_t index, const float localPos[3]) {
  if (index >= points_.size() || !allFinite(localPos, 3)) return false;
  float* pos = points_[index].pos;
  pos[0] = localPos[0];
  pos[1] = localPos[1];
  pos[2] = localPos[2];
  return true;
}

TangentEdit ControlGrid::setTangentHandle(std::size_t index, int slot, const float localHandle[3], bool breakTangent,
                                          bool mirrorTangent) {
  TangentEdit edit;
  if (index >= points_.size()) return edit;
  VtxPoint& p = points_[index];
  if (!slotPresent(p, slot) || !allFinite(localHandle, 3)) return edit;

  const float* h = localHandle;
  setSlot(p, slot, h[0], h[1], h[2]);
  edit.changed = true;
  if (breakTangent) return edit;

  const int j = oppositeSlot(slot);
  if (!slotPresent(p, j)) return edit;

  float s = 1.0f;
  if (!mirrorTangent) {
    const float a = distance(p.pos, slotPosition(p, j));
    const float b = distance(p.pos, h);
    // A length that overflows gives no usable direction: keep the opposite
    // handle rather than collapse or lose it.
    if (!std::isfinite(a) || !std::isfinite(b)) return edit;
    if (b != 0.0f) s = a / b;
  }

  float moved[3];
  for (int i = 0; i < 3; ++i) moved[i] = p.pos[i] + (p.pos[i] - h[i]) * s;
  if (!allFinite(moved, 3)) return edit;

  setSlot(p, j, moved[0], moved[1], moved[2]);
  edit.oppositeChanged = true;
  edit.oppositeSlot = j;
  for (int i = 0; i < 3; ++i) edit.opposite[i] = moved[i];
  return edit;
}

}  // namespace quorcard
