// One hidden 3-D position knob per control point and per tangent handle,
// made after the knob "delimiter". Only the selected point's knobs are shown.
#include <string>

#include "DDImage/Knobs.h"
#include "grid/Interpolation.h"
#include "node/KnobNames.h"
#include "node/QuorCard.h"

using namespace DD::Image;
using namespace quorcard::knobname;

namespace quorcard {

namespace {

void setKnobPosition(Knob* k, const Vector3& v) {
  k->set_value(v.x, 0);
  k->set_value(v.y, 1);
  k->set_value(v.z, 2);
}

void setVisible(Knob* k, bool visible) {
  k->visible(visible);
  k->updateWidgets();
}

}  // namespace

void QuorCard::pointKnobsCallback(void* node, Knob_Callback f) {
  QuorCard* card = static_cast<QuorCard*>(node);
  card->dynamicKnobCount = 0;
  const int before = f.knobsMade();
  card->buildPointKnobs(f);
  card->dynamicKnobCount = f.knobsMade() - before;
}

void QuorCard::buildPointKnobs(Knob_Callback f) {
  Text_knob(f, kDynamicKnobs);
  SetFlags(f, Knob::DO_NOT_WRITE);
  SetFlags(f, Knob::HIDDEN);
  for (int r = 0; r < grid.rows(); ++r) {
    for (int c = 0; c < grid.columns(); ++c) {
      const VtxPoint& p = grid.at(c, r);
      // The values only give the knobs their starting values; the knobs are
      // not bound to the grid.
      Vector3 v = localMatrix().transform(Vector3(p.pos));
      XYZ_knob(f, &v.x, pointKnobName(c, r).c_str(), pointKnobLabel(c, r).c_str());
      SetFlags(f, Knob::DO_NOT_WRITE);
      SetFlags(f, Knob::HIDDEN);
      for (int s = 0; s < kSlotCount; ++s) {
        if (!slotPresent(p, s)) continue;
        Vector3 h = localMatrix().transform(Vector3(slotPosition(p, s)));
        XYZ_knob(f, &h.x, handleKnobName(c, r, s).c_str(), handleKnobLabel(s));
        SetFlags(f, Knob::DO_NOT_WRITE);
        SetFlags(f, Knob::HIDDEN);
      }
    }
  }
}

void QuorCard::rebuildPointKnobs() {
  replace_knobs(knob(kDelimiter), dynamicKnobCount, pointKnobsCallback, this, nullptr);
}

void QuorCard::resetControlPoints() {
  // A grid that cannot fit is refused before the one in place is freed.
  if (!gridFits(xPoints, yPoints)) {
    keepGridShape();
    return;
  }
  buildDefaultGrid();
  storePoints();
  rebuildPointKnobs();
}

void QuorCard::attach() {
  restorePoints();
  if (!knob(kDynamicKnobs)) rebuildPointKnobs();
}

void QuorCard::showPointValues(int column, int row) {
  const VtxPoint& p = grid.at(column, row);
  if (Knob* k = knob(pointKnobName(column, row).c_str())) setKnobPosition(k, localMatrix().transform(Vector3(p.pos)));
  for (int s = 0; s < kSlotCount; ++s) {
    if (!slotPresent(p, s)) continue;
    if (Knob* k = knob(handleKnobName(column, row, s).c_str()))
      setKnobPosition(k, localMatrix().transform(Vector3(slotPosition(p, s))));
  }
}

void QuorCard::refreshPointKnobs() {
  for (int r = 0; r < grid.rows(); ++r)
    for (int c = 0; c < grid.columns(); ++c) showPointValues(c, r);
}

void QuorCard::refreshSelectedPointKnobs() {
  if (grid.contains(selectedColumn, selectedRow)) showPointValues(selectedColumn, selectedRow);
}

void QuorCard::hidePointKnobs(int column, int row) {
  Knob* k = knob(pointKnobName(column, row).c_str());
  if (!k || !k->isVisible()) return;
  setVisible(k, false);
  for (int s = 0; s < kSlotCount; ++s)
    if (Knob* t = knob(handleKnobName(column, row, s).c_str())) setVisible(t, false);
}

void QuorCard::updateTangentKnobVisibility() {
  if (selectedColumn < 0) return;
  for (int s = 0; s < kSlotCount; ++s)
    if (Knob* k = knob(handleKnobName(selectedColumn, selectedRow, s).c_str()))
      setVisible(k, hasHandles(interpolation));
}

bool QuorCard::applyPointKnobChange(Knob* k) {
  PointKnobId id;
  if (!parsePointKnobName(k->name(), &id) || !grid.contains(id.column, id.row)) return false;
  const std::size_t index = grid.index(id.column, id.row);
  const Vector3 value(static_cast<float>(k->get_value(0)), static_cast<float>(k->get_value(1)),
                      static_cast<float>(k->get_value(2)));
  if (id.slot == PointKnobId::kNoSlot) {
    movePoint(index, value);
    storePoint(index);
    return true;
  }
  if (!slotPresent(grid.points()[index], id.slot)) return false;
  const TangentEdit edit = setTangentHandle(index, id.slot, value);
  if (edit.oppositeChanged) {
    if (Knob* opposite = knob(handleKnobName(id.column, id.row, edit.oppositeSlot).c_str())) {
      setKnobPosition(opposite, localMatrix().transform(Vector3(edit.opposite)));
      opposite->updateWidgets();
    }
  }
  storePoint(index);
  return true;
}

}  // namespace quorcard
