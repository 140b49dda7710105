// The names of the per-point knobs: "control_point.C.R" for the point in
// column C and row R, "control_point.C.R.K" for its tangent handle in slot
// K. Names are made and read only here.
#pragma once

#include <string>

namespace quorcard {

// What a per-point knob name stands for; slot is kNoSlot for the point
// itself.
struct PointKnobId {
  static constexpr int kNoSlot = -1;
  int column = 0;
  int row = 0;
  int slot = kNoSlot;
};

std::string pointKnobName(int column, int row);
std::string handleKnobName(int column, int row, int slot);
std::string pointKnobName(const PointKnobId& id);

// The label of the knob of a point ("col/row C, R") or of a slot ("left",
// "down", "right", "up").
std::string pointKnobLabel(int column, int row);
const char* handleKnobLabel(int slot);

// Reads a name made by pointKnobName or handleKnobName. False for any other
// name, including numbers with signs, leading zeros or out of the int range,
// and slots that do not exist.
bool parsePointKnobName(const std::string& name, PointKnobId* id);

}  // namespace quorcard
