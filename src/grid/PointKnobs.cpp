// One hidden 3-D position knob per control point and per tangent handle,
// made after the knob "delimiter". Only the selected point's knobs are shown.
#include <string>

#include <boost/lexical_cast.hpp>

#include "DDImage/Knobs.h"
#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

namespace {

const char* const kSlotLabels[kSlotCount] = {"left", "down", "right", "up"};

std::string slotKnobName(const std::string& pointName, int slot) {
  return pointName + "." + boost::lexical_cast<std::string>(slot);
}

void setKnobPosition(Knob* k, const Vector3& v) {
  k->set_value(v.x, 0);
  k->set_value(v.y, 1);
  k->set_value(v.z, 2);
}

Vector3 slotPosition(const VtxPoint& p, int slot) { return Vector3(p.controlPoints[slot].data()); }

}  // namespace

std::string pointKnobName(int column, int row) {
  return "control_point." + boost::lexical_cast<std::string>(column) + "." + boost::lexical_cast<std::string>(row);
}

void QuorCard::pointKnobsCallback(void* node, Knob_Callback f) {
  QuorCard* card = static_cast<QuorCard*>(node);
  card->dynamicKnobCount = 0;
  const int before = f.knobsMade();
  card->buildPointKnobs(f);
  card->dynamicKnobCount = f.knobsMade() - before;
}

void QuorCard::buildPointKnobs(Knob_Callback f) {
  Text_knob(f, "dynamic_knobs");
  SetFlags(f, Knob::DO_NOT_WRITE);
  SetFlags(f, Knob::HIDDEN);
  pointKnobIndex.clear();
  if (!gridMatches(points, xPoints, yPoints)) return;
  for (int r = 0; r < yPoints; ++r) {
    for (int c = 0; c < xPoints; ++c) {
      const int i = r * xPoints + c;
      const VtxPoint& p = points[i];
      const std::string name = pointKnobName(c, r);
      const std::string label =
          "col/row " + boost::lexical_cast<std::string>(c) + ", " + boost::lexical_cast<std::string>(r);
      // The value only gives the knob its starting value; the knob is not
      // bound to the grid.
      Vector3 v = localMatrix().transform(Vector3(p.pos));
      XYZ_knob(f, &v.x, name.c_str(), label.c_str());
      SetFlags(f, Knob::DO_NOT_WRITE);
      SetFlags(f, Knob::HIDDEN);
      pointKnobIndex[name] = i;
      for (int k = 0; k < kSlotCount; ++k) {
        if (!slotPresent(p, k)) continue;
        Vector3 h = localMatrix().transform(slotPosition(p, k));
        const std::string slotName = slotKnobName(name, k);
        XYZ_knob(f, &h.x, slotName.c_str(), kSlotLabels[k]);
        SetFlags(f, Knob::DO_NOT_WRITE);
        SetFlags(f, Knob::HIDDEN);
      }
    }
  }
}

void QuorCard::rebuildPointKnobs() {
  replace_knobs(knob("delimiter"), dynamicKnobCount, pointKnobsCallback, this, nullptr);
}

void QuorCard::resetControlPoints() {
  buildDefaultGrid(xPoints, yPoints);
  storePoints();
  rebuildPointKnobs();
}

void QuorCard::attach() {
  restorePoints();
  if (!knob("dynamic_knobs")) rebuildPointKnobs();
}

void QuorCard::refreshPointKnobs() {
  if (!gridMatches(points, xPoints, yPoints)) return;
  for (int r = 0; r < yPoints; ++r) {
    for (int c = 0; c < xPoints; ++c) {
      const VtxPoint& p = points[r * xPoints + c];
      const std::string name = pointKnobName(c, r);
      if (Knob* k = knob(name.c_str())) setKnobPosition(k, localMatrix().transform(Vector3(p.pos)));
      for (int s = 0; s < kSlotCount; ++s) {
        if (!slotPresent(p, s)) continue;
        if (Knob* k = knob(slotKnobName(name, s).c_str()))
          setKnobPosition(k, localMatrix().transform(slotPosition(p, s)));
      }
    }
  }
}

void QuorCard::refreshSelectedPointKnobs() {
  if (selectedPointKnob.empty()) return;
  const size_t firstDot = selectedPointKnob.find('.');
  if (firstDot == std::string::npos) return;
  const std::string rest = selectedPointKnob.substr(firstDot + 1);
  const size_t secondDot = rest.find('.');
  if (secondDot == std::string::npos) return;
  const std::string columnText = rest.substr(0, secondDot);
  std::string rowText = rest.substr(secondDot + 1);
  const size_t thirdDot = rowText.find('.');
  if (thirdDot != std::string::npos) rowText = rowText.substr(0, thirdDot);
  int column = 0, row = 0;
  try {
    column = boost::lexical_cast<int>(columnText);
    row = boost::lexical_cast<int>(rowText);
  } catch (const boost::bad_lexical_cast&) {
    deselectPoint();
    return;
  }
  // Wide arithmetic: a damaged name must not overflow the index.
  const long long i = static_cast<long long>(row) * xPoints + column;
  if (row < 0 || column < 0 || i >= static_cast<long long>(points.size())) return;
  const VtxPoint& p = points[static_cast<size_t>(i)];
  if (Knob* k = knob(selectedPointKnob.c_str())) setKnobPosition(k, localMatrix().transform(Vector3(p.pos)));
  for (int s = 0; s < kSlotCount; ++s) {
    if (!slotPresent(p, s)) continue;
    if (Knob* k = knob(slotKnobName(selectedPointKnob, s).c_str()))
      setKnobPosition(k, localMatrix().transform(slotPosition(p, s)));
  }
}

void QuorCard::deselectPoint() {
  if (!selectedPointKnob.empty()) {
    if (Knob* k = knob(selectedPointKnob.c_str())) {
      k->visible(false);
      k->updateWidgets();
    }
    for (int s = 0; s < kSlotCount; ++s) {
      if (Knob* k = knob(slotKnobName(selectedPointKnob, s).c_str())) {
        k->visible(false);
        k->updateWidgets();
      }
    }
  }
  selectedPointKnob.clear();
}

void QuorCard::updateTangentKnobVisibility() {
  if (selectedPointKnob.empty()) return;
  for (int s = 0; s < kSlotCount; ++s) {
    Knob* k = knob(slotKnobName(selectedPointKnob, s).c_str());
    if (!k) continue;
    if (interpolation != 2 && k->isVisible()) k->visible(false);
    if (interpolation == 2 && !k->isVisible()) k->visible(true);
    k->updateWidgets();
  }
}

bool QuorCard::applyPointKnobChange(Knob* k) {
  const std::string name = k->name_c_str();
  const Vector3 value(static_cast<float>(k->get_value(0)), static_cast<float>(k->get_value(1)),
                      static_cast<float>(k->get_value(2)));
  auto point = pointKnobIndex.find(name);
  if (point != pointKnobIndex.end()) {
    movePoint(point->second, value);
    storePoints();
    return true;
  }
  if (name.size() < 19) return false;
  auto owner = pointKnobIndex.find(name.substr(0, name.size() - 2));
  if (owner == pointKnobIndex.end()) return false;
  const int slot = name.back() - '0';
  const int index = owner->second;
  if (slot < 0 || slot >= kSlotCount || index < 0 || index >= static_cast<int>(points.size()) ||
      !slotPresent(points[index], slot))
    return false;
  const TangentEdit edit = setTangentHandle(index, slot, value);
  if (edit.oppositeChanged) {
    std::string oppositeName = name;
    oppositeName.back() = static_cast<char>('0' + edit.oppositeSlot);
    if (Knob* opposite = knob(oppositeName.c_str())) {
      setKnobPosition(opposite, localMatrix().transform(Vector3(edit.opposite)));
      opposite->updateWidgets();
    }
  }
  storePoints();
  return true;
}

}  // namespace quorcard
