// Drawing the card's grid in the viewer, in the GL state that the node's
// draw pass sets up: positions are card-local, the node's local matrix is on
// the modelview stack.
#pragma once

#include "grid/ControlGrid.h"
#include "grid/TextureMapping.h"

namespace quorcard {

// The card's surface: one filled outline per grid cell, through the cell's
// corners and, when the interpolation has handles, through the handles that
// face each other along its edges. With a stencil buffer the outlines are
// filled by the even-odd rule; without one every cell is a plain corner
// quadrilateral.
void drawCardSurface(const ControlGrid& grid, int interpolation, UvRules rules);

// The cage: every edge of the grid once, bent through the facing handles
// when the interpolation has handles.
void drawCage(const ControlGrid& grid, int interpolation);

// The points and, when the interpolation has handles, their tangent handles.
// In a pick pass every point and handle is drawn alone under its handle id.
void drawControlPoints(const ControlGrid& grid, int interpolation, int handleSize, bool pickMode);

// The picked point or handle, drawn over the others in the highlight colour.
// A handle id under "linear" or "smooth" highlights its point.
void drawHighlight(const ControlGrid& grid, int interpolation, int handleSize, int handleId);

// Runs inside the host's selection pass: names the points and handles
// (when drawPoints is set), then, for a press, answers the nearest named
// point or handle in the hit records written so far in this pass; 0 when
// there is none or this is no selection pass.
unsigned pickHandle(const ControlGrid& grid, int interpolation, int handleSize, bool drawPoints, bool press);

}  // namespace quorcard
