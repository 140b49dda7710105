// The card's geometry as renderer calls: the body of the card's attribute
// block after the archives of its image inputs.
#pragma once

#include "DDImage/Matrix4.h"
#include "grid/ControlGrid.h"
#include "grid/TextureMapping.h"

namespace quorcard {

// The items of the knobs "orientation" and "shade".
enum Orientation : int { kOrientationUnchanged = 0, kOrientationFlipped = 1 };
enum Shade : int { kShadeFrontOnly = 0, kShadeFrontAndBack = 1 };

// The settings of the card that its emission reads.
struct CardLook {
  int interpolation;
  int orientation;
  int shade;
  UvRules uv;
};

// Writes the world transform, then, when the grid gives a mesh, the
// sidedness and orientation, the basis of a smooth card and its patch mesh:
// the bilinear mesh of the points, or the bicubic Catmull-Rom net when the
// card is smooth and every handle the net reads is present. A grid that
// gives no mesh, or whose mesh cannot be allocated, writes the transform
// alone.
void emitCardGeometry(const ControlGrid& grid, const CardLook& look, const DD::Image::Matrix4& world);

}  // namespace quorcard
