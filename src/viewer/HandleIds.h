// Selection names of the card's pickable parts, and the scan of the host's
// selection buffer that finds the nearest of them under the pointer.
#pragma once

#include <cstddef>

namespace quorcard {

// Point i is named 10000 + 5 i, its handle slot k 10000 + 5 i + 1 + k.
// Names below 10000 belong to nobody in the card.
constexpr unsigned kFirstHandleId = 10000;
constexpr unsigned kIdsPerPoint = 5;
// The index the card's one pick callback is registered with; the callback
// does not read it. The last id below the card's own.
constexpr int kPickHandleIndex = static_cast<int>(kFirstHandleId) - 1;

inline unsigned pointHandleId(std::size_t point) {
  return kFirstHandleId + kIdsPerPoint * static_cast<unsigned>(point);
}
inline unsigned slotHandleId(std::size_t point, int slot) {
  return pointHandleId(point) + 1 + static_cast<unsigned>(slot);
}

// A handle id of at least kFirstHandleId split into its point index and
// its slot, or kPoint for the point itself.
struct DecodedHandle {
  static constexpr int kPoint = -1;
  int point;
  int slot;
};
inline DecodedHandle decodeHandleId(int id) {
  const int offset = id - static_cast<int>(kFirstHandleId);
  return DecodedHandle{offset / static_cast<int>(kIdsPerPoint), offset % static_cast<int>(kIdsPerPoint) - 1};
}

// Reads `size` values of a selection buffer as records of four values
// (name count, minimum depth, maximum depth, name), as many as lie wholly in
// it, up to the first record with a name count of 0. Answers the name, at
// least 10000, of the record with the smallest minimum depth (the earlier
// one on equal depth), or 0 when no record has such a name.
unsigned nearestHandleId(const unsigned* buffer, std::size_t size);

}  // namespace quorcard
