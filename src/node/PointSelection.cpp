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
  // Only the selected point's knobs are ever shown: hiding those of the
  // point selected before hides every other point's, without a walk over a
  // grid that may hold many thousands.
  if (selectedColumn != column || selectedRow != row) hidePointKnobs(selectedColumn, selectedRow);
  selectedColumn = show ? column : -1;
  selectedRow = show ? row : -1;
}

void QuorCard::deselectAllPoints() {
  hidePointKnobs(selectedColumn, selectedRow);
  selectedColumn = selectedRow = -1;
}

}  // namespace quorcard
