// The window's render view: a picture drawn in the viewer's place.
#ifndef QUORHOST_WINDOW_RENDERVIEW_H
#define QUORHOST_WINDOW_RENDERVIEW_H

#include <vector>

namespace quorhost {

// Draws `rgba` (width x height, 8-bit RGBA rows top first, colours
// multiplied by alpha) into the lower-left viewWidth x viewHeight pixels of
// the current GL framebuffer: whole, centred on the viewer's background,
// made smaller when it does not fit. Leaves the GL state as it found it.
void drawRenderView(const std::vector<unsigned char>& rgba, int width, int height, int viewWidth, int viewHeight);

}  // namespace quorhost

#endif
