// Showing the knobs of the point picked in the viewer, hiding all others.
#include "grid/Interpolation.h"
#include "node/QuorCard.h"
#include "viewer/HandleIds.h"

using namespace DD::Image;

namespace quorcard {

void QuorCard::pickPoint(int handleId) {
  if (handleId < static_cast<int>(kFirstHandleId) || grid.columns() == 0 || !node_selected()) {
    deselectAllPoints();
    return;
  }
  const DecodedHandle picked = decodeHandleId(handleId);
  selectPoint(picked.point % grid.columns(), picked.point / grid.columns());
}

void QuorCard::selectPoint(int column, int row) {
  Knob* k = knob(pointKnobName(column, row).c_str());
  const bool show = k && grid.contains(column, row);
  if (show) {
    // A press on the point already shown keeps it selected, so that its
    // knobs go on following the transform knobs; the press that starts a
    // drag of the point is such a press.
    showPointValues(column, row);
    k->visible(true);
    k->updateWidgets();
    for (int s = 0; s < kSlotCount; ++s) {
      if (!slotPresent(grid.at(column, row), s)) continue;
      if (Knob* t = knob(handleKnobName(column, row, s).c_str())) {
        t->visible(hasHandles(interpolation));
        t->updateWidgets();
      }
    }
  }
  selectedColumn = show ? column : -1;
  selectedRow = show ? row : -1;
  for (int r = 0; r < knobRows; ++r)
    for (int c = 0; c < knobColumns; ++c)
      if (c != column || r != row) hidePointKnobs(c, r);
}

void QuorCard::deselectAllPoints() {
  for (int r = 0; r < knobRows; ++r)
    for (int c = 0; c < knobColumns; ++c) hidePointKnobs(c, r);
  selectedColumn = selectedRow = -1;
}

}  // namespace quorcard
