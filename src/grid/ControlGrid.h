// Operations on the control-point grid. They work on a point list in the
// card's local space; the node converts knob values through its local matrix
// before calling them and keeps its knobs and stored text in step afterwards.
#pragma once

#include "grid/VtxPoint.h"

namespace quorcard {

// True when columns and rows are positive and the list holds exactly
// columns x rows points (the product is taken without int overflow).
bool gridMatches(const PointList& points, int columns, int rows);

// Replaces the list by the flat default grid of a card of the given width and
// height centred on the origin: uv from (0, 1) at the bottom left to (1, 0) at
// the top right, normals (0, 0, 1), and a handle one third of the spacing
// toward every neighbour. Fewer than 2 columns or rows are taken as 2; a width
// or height that is not finite and positive is taken as 1.
void buildDefaultGrid(PointList& points, int columns, int rows, float width,
                      float height);

// Width and height of a card with aspect ratio width / height; the longer
// side is 1.
struct CardSize {
    float width;
    float height;
};
CardSize cardSizeForRatio(float ratio);

// True for a ratio that gives a card of finite, non-zero width and height
// whose sizes can be divided by later: finite, at least FLT_MIN and at most
// 1 / FLT_MIN.
bool isUsableRatio(float ratio);

// Multiplies x and y of every point and every present handle by sx and sy.
// Does nothing and answers false when the list does not hold columns x rows
// points, or when a factor or any product would not be finite.
bool scaleGrid(PointList& points, int columns, int rows, float sx, float sy);

// Sets the position of one point; its handles stay where they are. Answers
// false and changes nothing for an index out of range or a non-finite value.
bool movePoint(PointList& points, int index, const float localPos[3]);

// Result of setTangentHandle: whether the edited handle was written, and
// whether (and where) the opposite handle of the point was moved with it.
struct TangentEdit {
    bool changed = false;
    bool oppositeChanged = false;
    int oppositeSlot = -1;
    float opposite[3] = {0.0f, 0.0f, 0.0f};
};

// Moves handle `slot` of point `index` to localHandle. Unless breakTangent is
// set, the opposite handle (when present) turns to stay on the line through
// the new handle and the point: at its own distance from the point, or at the
// mirror image of the new handle when mirrorTangent is set. An empty slot, an
// index or slot out of range, or a non-finite value changes nothing. If the
// opposite position cannot be represented (overflow), only the edited handle
// changes.
TangentEdit setTangentHandle(PointList& points, int index, int slot,
                             const float localHandle[3], bool breakTangent,
                             bool mirrorTangent);

} // namespace quorcard
