// Conversion of the control-point grid to and from the XML text that the node
// keeps in its hidden "cpstr" knob and that the host saves with the script.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "grid/VtxPoint.h"

namespace quorcard {

// The grid as an XML archive document holding the value "points". The text
// stops after the "points" element: it has no closing root tag. Numbers are
// written as the shortest text that reads back to the same float. A failure
// of the archive gives the empty text. `sizeHint`, the size of the previous
// text of the grid, saves regrowing the text as it is written.
std::string pointsToText(const PointList& points, std::size_t sizeHint = 0);

// Brings `text`, which holds `points` as they were before point `index`
// changed, up to date by writing that point's element again, at the cost of
// one point. When pointsToText wrote the text, it becomes what
// pointsToText(points) gives, to the byte. `starts` keeps where each point's
// element begins (and where the last one ends) from one call to the next;
// leave it empty for a text it was not made for. False, with the text as it
// was, when the text is not framed as pointsToText frames `points.size()`
// points (another archive version, another count) or its elements cannot be
// told apart.
bool rewritePointText(std::string& text, std::vector<std::size_t>& starts, const PointList& points, std::size_t index);

// Reads a document written by pointsToText, or by older archive versions, with
// or without the closing root tag. Empty text gives an empty list and writes
// nothing. Unreadable text (bad header or elements, malformed numbers, a count
// that the text cannot hold) gives an empty list and two warning lines on
// std::cerr. A restored grid may break the four-slot rule; read its handles
// through slotPresent.
PointList textToPoints(const std::string& text);

}  // namespace quorcard
