// The node's side of the control-point grid: edits arrive as knob values in
// the node's transformed space, and every edit ends in the "cpstr" text.
#include <cmath>

#include "DDImage/Knob.h"
#include "grid/PointsText.h"
#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

namespace {

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

void QuorCard::buildDefaultGrid() { grid.reset(xPoints, yPoints, xRatio, yRatio); }

void QuorCard::setRatio(float r) {
  if (r == ratio) return;
  // A ratio of zero, below zero or not finite would give a card without a
  // usable size, and every later rescale divides by that size.
  if (!isUsableRatio(r)) return;
  const CardSize size = cardSizeForRatio(r);
  scaleGrid(size.width / xRatio, size.height / yRatio);
  ratio = r;
  xRatio = size.width;
  yRatio = size.height;
  if (Knob* k = knob("ratio")) k->set_value(ratio);
  if (Knob* k = knob("x_ratio")) k->set_value(xRatio);
  if (Knob* k = knob("y_ratio")) k->set_value(yRatio);
  storePoints();
}

void QuorCard::scaleGrid(float sx, float sy) {
  if (grid.scale(sx, sy)) refreshPointKnobs();
}

void QuorCard::movePoint(std::size_t index, const Vector3& knobValue) {
  const Vector3 p = localMatrix().inverse().transform(knobValue);
  if (!finite(p)) return;
  const float local[3] = {p.x, p.y, p.z};
  grid.movePoint(index, local);
}

TangentEdit QuorCard::setTangentHandle(std::size_t index, int slot, const Vector3& knobValue) {
  const Vector3 h = localMatrix().inverse().transform(knobValue);
  if (!finite(h)) return TangentEdit();
  const float local[3] = {h.x, h.y, h.z};
  return grid.setTangentHandle(index, slot, local, breakTangent, mirrorTangent);
}

void QuorCard::storePoints() {
  cpText = pointsToText(grid.points(), cpText.size());
  if (Knob* k = knob("cpstr")) k->set_text(cpText.c_str());
}

void QuorCard::restorePoints() {
  std::string text;
  if (Knob* k = knob("cpstr"))
    if (const char* t = k->get_text()) text = t;
  cpText = text;
  grid.restore(textToPoints(cpText), xPoints, yPoints);
  if (!cpText.empty() && !grid.empty()) return;
  buildDefaultGrid();
  storePoints();
}

}  // namespace quorcard
