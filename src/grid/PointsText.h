// Conversion of the control-point grid to and from the XML text that the node
// keeps in its hidden "cpstr" knob and that the host saves with the script.
#pragma once

#include <cstddef>
#include <string>

#include "grid/VtxPoint.h"

namespace quorcard {

// The grid as an XML archive document holding the value "points". The text
// stops after the "points" element: it has no closing root tag. Numbers are
// written as the shortest text that reads back to the same float. A failure
// of the archive gives the empty text. `sizeHint`, the size of the previous
// text of the grid, saves regrowing the text as it is written.
std::string pointsToText(const PointList& points, std::size_t sizeHint = 0);

// Reads a document written by pointsToText, or by older archive versions, with
// or without the closing root tag. Empty text gives an empty list and writes
// nothing. Unreadable text (bad header or elements, malformed numbers, a count
// that the text cannot hold) gives an empty list and two warning lines on
// std::cerr. A restored grid may break the four-slot rule; read its handles
// through slotPresent.
PointList textToPoints(const std::string& text);

}  // namespace quorcard
