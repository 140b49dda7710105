#include "viewer/HandleIds.h"

namespace quorcard {

unsigned nearestHandleId(const unsigned* buffer, std::size_t size) {
  unsigned best = 0;
  unsigned bestDepth = 0;
  const std::size_t records = size / 4;
  for (std::size_t r = 0; r < records; ++r) {
    const unsigned* record = buffer + 4 * r;
    if (record[0] == 0) break;
    if (record[3] < kFirstHandleId) continue;
    if (best == 0 || record[1] < bestDepth) {
      best = record[3];
      bestDepth = record[1];
    }
  }
  return best;
}

}  // namespace quorcard
