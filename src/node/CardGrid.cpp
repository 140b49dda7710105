// The node's side of the control-point grid: edits arrive as knob values in
// the node's transformed space, and every edit ends in the "cpstr" text.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "DDImage/Hash.h"
#include "DDImage/Knob.h"
#include "grid/PointsText.h"
#include "node/KnobNames.h"
#include "node/QuorCard.h"

using namespace DD::Image;
using namespace quorcard::knobname;

namespace quorcard {

namespace {

bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// What one point of the grid costs the process, rounded up with room to
// spare from what a dense grid measures: the point and its four handles
// (about 0.3 KB), the stored text in the node and the knob, and the copy
// that a store pass or the text's writing holds for a moment (three times
// about 1 KB), and the knobs of the point and its handles (about 1.4 KB).
const std::uint64_t kBytesPerPoint = 8192;

// The memory the system can still give: MemAvailable of /proc/meminfo, or
// the free physical pages where that cannot be read.
std::uint64_t availableBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib * 1024;
    meminfo.ignore(256, '\n');
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0;
}

}  // namespace

bool QuorCard::gridFits(int columns, int rows) const {
  const std::uint64_t points =
      static_cast<std::uint64_t>(columns < 2 ? 2 : columns) * static_cast<std::uint64_t>(rows < 2 ? 2 : rows);
  const std::uint64_t needed = points * kBytesPerPoint;
  const std::uint64_t available = availableBytes();
  if (needed <= available) return true;
  std::cerr << "[Brunvik] WARNING: a grid of " << columns << " x " << rows << " points needs about " << (needed >> 20)
            << " MB, more than the " << (available >> 20) << " MB available; the grid stays " << shapeColumns << " x "
            << shapeRows << "." << std::endl;
  return false;
}

void QuorCard::buildDefaultGrid() {
  grid.reset(xPoints, yPoints, xRatio, yRatio);
  shapeColumns = xPoints;
  shapeRows = yPoints;
}

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
  if (Knob* k = knob(kRatio)) k->set_value(ratio);
  if (Knob* k = knob(kXRatio)) k->set_value(xRatio);
  if (Knob* k = knob(kYRatio)) k->set_value(yRatio);
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

void QuorCard::setCpText(std::string&& text) {
  // The host hands back the text it was given after every change: the same
  // text keeps its hashes and the places of its points.
  if (text == cpText) return;
  cpText = std::move(text);
  cpTextHoldsGrid = false;
  pointStarts.clear();
  textHashCount = 0;
  textHashNext = 0;
}

void QuorCard::appendCpText(Hash& hash) {
  for (std::size_t i = 0; i < textHashCount; ++i) {
    if (textHashes[i].before == hash) {
      hash = textHashes[i].after;
      return;
    }
  }
  TextHash& memo = textHashes[textHashNext];
  textHashNext = (textHashNext + 1) % textHashes.size();
  if (textHashCount < textHashes.size()) ++textHashCount;
  memo.before = hash;
  hash.append(cpText);
  memo.after = hash;
}

void QuorCard::storePoints() {
  setCpText(pointsToText(grid.points(), cpText.size()));
  cpTextHoldsGrid = true;
  if (Knob* k = knob(kCpstr)) k->set_text(cpText.c_str());
}

void QuorCard::storePoint(std::size_t index) {
  // A text the host set since the grid was read is written whole; so is one
  // that rewritePointText finds laid out by another archive version.
  if (!cpTextHoldsGrid || !rewritePointText(cpText, pointStarts, grid.points(), index)) {
    storePoints();
    return;
  }
  textHashCount = 0;
  textHashNext = 0;
  if (Knob* k = knob(kCpstr)) k->set_text(cpText.c_str());
}

void QuorCard::restorePoints() {
  const char* text = nullptr;
  if (Knob* k = knob(kCpstr)) text = k->get_text();
  setCpText(std::string(text ? text : ""));
  grid.restore(textToPoints(cpText), xPoints, yPoints);
  if (!cpText.empty() && !grid.empty()) {
    // The first edit of a script's points then rewrites one point, not the
    // whole text (half a second on a 256 x 256 card).
    cpTextHoldsGrid = true;
    if (grid.columns() != 0) {
      shapeColumns = grid.columns();
      shapeRows = grid.rows();
    }
    return;
  }
  // A script may ask for a grid the machine cannot hold: the default one
  // takes its place.
  if (!gridFits(xPoints, yPoints)) keepGridShape();
  buildDefaultGrid();
  storePoints();
}

void QuorCard::keepGridShape() {
  xPoints = shapeColumns;
  yPoints = shapeRows;
  if (Knob* k = knob(kXPoints)) k->set_value(xPoints);
  if (Knob* k = knob(kYPoints)) k->set_value(yPoints);
}

}  // namespace quorcard
