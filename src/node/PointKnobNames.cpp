#include "node/PointKnobNames.h"

#include <climits>

#include "grid/VtxPoint.h"

namespace quorcard {

namespace {

const char kPrefix[] = "control_point.";
const char* const kSlotLabels[kSlotCount] = {"left", "down", "right", "up"};

// Reads a number written by std::to_string of a non-negative int, starting at
// `at`; leaves `at` after it.
bool readNumber(const std::string& name, std::size_t& at, int* value) {
  const std::size_t start = at;
  long long n = 0;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9') {
    n = n * 10 + (name[at] - '0');
    if (n > INT_MAX) return false;
    ++at;
  }
  const std::size_t digits = at - start;
  if (digits == 0 || (digits > 1 && name[start] == '0')) return false;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

std::string pointKnobName(int column, int row) { return kPrefix + std::to_string(column) + "." + std::to_string(row); }

std::string handleKnobName(int column, int row, int slot) {
  return pointKnobName(column, row) + "." + std::to_string(slot);
}

std::string pointKnobName(const PointKnobId& id) {
  return id.slot == PointKnobId::kNoSlot ? pointKnobName(id.column, id.row)
                                         : handleKnobName(id.column, id.row, id.slot);
}

std::string pointKnobLabel(int column, int row) {
  return "col/row " + std::to_string(column) + ", " + std::to_string(row);
}

const char* handleKnobLabel(int slot) { return slot >= 0 && slot < kSlotCount ? kSlotLabels[slot] : ""; }

bool parsePointKnobName(const std::string& name, PointKnobId* id) {
  if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return false;
  std::size_t at = sizeof kPrefix - 1;
  PointKnobId read;
  if (!readNumber(name, at, &read.column) || at >= name.size() || name[at++] != '.') return false;
  if (!readNumber(name, at, &read.row)) return false;
  if (at < name.size()) {
    if (name[at++] != '.' || !readNumber(name, at, &read.slot) || read.slot >= kSlotCount) return false;
  }
  if (at != name.size()) return false;
  *id = read;
  return true;
}

}  // namespace quorcard
