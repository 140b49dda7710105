// One control point of the card's grid, its tangent-handle slots and the
// helpers that read those slots safely.
#pragma once

#include <cstddef>
#include <vector>

#include <boost/serialization/nvp.hpp>
#include <boost/serialization/vector.hpp>

namespace quorcard {

// The tangent-handle slots of a point, each toward one neighbour.
enum Slot : int {
  kSlotLeft = 0,   // toward the previous column (-x)
  kSlotDown = 1,   // toward the previous row (-y)
  kSlotRight = 2,  // toward the next column (+x)
  kSlotUp = 3,     // toward the next row (+y)
};
constexpr int kSlotCount = 4;

struct VtxPoint {
  float pos[3] = {0.0f, 0.0f, 0.0f};
  float uv[2] = {0.0f, 0.0f};
  float normal[3] = {0.0f, 0.0f, 0.0f};
  // One entry per slot; an entry is empty (no handle on that side) or holds
  // the absolute card-local position (x, y, z) of the handle.
  std::vector<std::vector<float>> controlPoints = std::vector<std::vector<float>>(kSlotCount);

  // The field names and their order make up the stored text format.
  template <class Archive>
  void serialize(Archive& ar, const unsigned int /*version*/) {
    ar& boost::serialization::make_nvp("pos", pos);
    ar& boost::serialization::make_nvp("uv", uv);
    ar& boost::serialization::make_nvp("normal", normal);
    ar& boost::serialization::make_nvp("controlPoints", controlPoints);
  }
};

// The points of a grid, row-major with the column running fastest, row 0 at
// the bottom.
using PointList = std::vector<VtxPoint>;

// True when the slot exists in the point and holds exactly 3 floats. A grid
// restored from damaged text may have fewer slots or odd-sized ones; every
// reader asks this before touching a handle.
inline bool slotPresent(const VtxPoint& point, int slot) {
  return slot >= 0 && slot < kSlotCount && static_cast<std::size_t>(slot) < point.controlPoints.size() &&
         point.controlPoints[static_cast<std::size_t>(slot)].size() == 3;
}

// The position of a present slot (see slotPresent).
inline const float* slotPosition(const VtxPoint& point, int slot) {
  return point.controlPoints[static_cast<std::size_t>(slot)].data();
}

// The slot on the other side of the point: left <-> right, down <-> up; -1
// for a number that is not a slot.
inline int oppositeSlot(int slot) {
  if (slot < 0 || slot >= kSlotCount) return -1;
  return slot < 2 ? slot + 2 : slot - 2;
}

}  // namespace quorcard
