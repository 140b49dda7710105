#include "render/Frame.h"

namespace quor {
namespace render {

void PictureOptions::screen(float out[4]) const {
  if (screenWindowGiven) {
    for (int i = 0; i < 4; ++i) out[i] = screenWindow[i];
    return;
  }
  const float aspect = float(xres) * pixelAspect / float(yres);
  if (aspect >= 1) {
    out[0] = -aspect, out[1] = aspect, out[2] = -1, out[3] = 1;
  } else {
    out[0] = -1, out[1] = 1, out[2] = -1 / aspect, out[3] = 1 / aspect;
  }
}

}  // namespace render
}  // namespace quor
