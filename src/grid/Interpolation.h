// How the card interpolates its control points: the items of the knob "type".
#pragma once

namespace quorcard {

enum Interpolation : int {
  kLinear = 0,             // bilinear through the points
  kSmooth = 1,             // Catmull-Rom through the points and their handles
  kSmoothWithHandles = 2,  // as smooth, with the handles shown and edited
};

// Smooth cards are rendered as bicubic nets.
inline bool isSmooth(int interpolation) { return interpolation != kLinear; }

// Whether the tangent handles are drawn, picked and shown as knobs. A value
// beyond the knob's items counts as "smooth with handles".
inline bool hasHandles(int interpolation) { return interpolation != kLinear && interpolation != kSmooth; }

}  // namespace quorcard
