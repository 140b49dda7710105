// Showing the knobs of the point picked in the viewer, hiding all others.
#include <string>

#include <boost/lexical_cast.hpp>

#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

namespace {

// Hides a point knob that is visible, with its tangent knobs.
void hidePointKnobs(QuorCard& card, const std::string& name) {
  Knob* k = card.knob(name.c_str());
  if (!k || !k->isVisible()) return;
  k->visible(false);
  k->updateWidgets();
  for (int s = 0; s < kSlotCount; ++s) {
    if (Knob* t = card.knob((name + "." + boost::lexical_cast<std::string>(s)).c_str())) {
      t->visible(false);
      t->updateWidgets();
    }
  }
}

}  // namespace

void QuorCard::selectPoint(int row, int column) {
  const std::string name = pointKnobName(column, row);
  Knob* k = knob(name.c_str());
  const long long i = static_cast<long long>(row) * xPoints + column;
  if (k && !k->isVisible() && row >= 0 && column >= 0 && i < static_cast<long long>(points.size())) {
    const VtxPoint& p = points[static_cast<size_t>(i)];
    const Vector3 v = localMatrix().transform(Vector3(p.pos));
    k->set_value(v.x, 0);
    k->set_value(v.y, 1);
    k->set_value(v.z, 2);
    k->visible(true);
    k->updateWidgets();
    for (int s = 0; s < kSlotCount; ++s) {
      if (!slotPresent(p, s)) continue;
      Knob* t = knob((name + "." + boost::lexical_cast<std::string>(s)).c_str());
      if (!t) continue;
      const Vector3 h = localMatrix().transform(Vector3(p.controlPoints[s].data()));
      t->set_value(h.x, 0);
      t->set_value(h.y, 1);
      t->set_value(h.z, 2);
      t->visible(interpolation == 2);
      t->updateWidgets();
    }
    selectedPointKnob = name;
  } else {
    selectedPointKnob.clear();
  }
  for (const auto& entry : pointKnobIndex)
    if (entry.first != name) hidePointKnobs(*this, entry.first);
}

void QuorCard::deselectAllPoints() {
  for (const auto& entry : pointKnobIndex) hidePointKnobs(*this, entry.first);
  selectedPointKnob.clear();
}

}  // namespace quorcard
