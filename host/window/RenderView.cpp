#include "window/RenderView.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstddef>

namespace quorhost {

void drawRenderView(const std::vector<unsigned char>& rgba, int width, int height, int viewWidth, int viewHeight) {
  const float zoom = std::min(1.0f, std::min(static_cast<float>(viewWidth) / static_cast<float>(width),
                                             static_cast<float>(viewHeight) / static_cast<float>(height)));
  const int shownWidth = static_cast<int>(static_cast<float>(width) * zoom);
  const int shownHeight = static_cast<int>(static_cast<float>(height) * zoom);
  // GL takes rows bottom first.
  const size_t stride = static_cast<size_t>(width) * 4;
  std::vector<unsigned char> bottomUp(rgba.size());
  for (int y = 0; y < height; ++y)
    std::copy_n(&rgba[static_cast<size_t>(height - 1 - y) * stride], stride,
                &bottomUp[static_cast<size_t>(y) * stride]);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glViewport(0, 0, viewWidth, viewHeight);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, viewWidth, 0, viewHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  // Over the viewer's background; the render's colours come with their
  // alpha multiplied in.
  glClearColor(0.2f, 0.2f, 0.2f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glRasterPos2i((viewWidth - shownWidth) / 2, (viewHeight - shownHeight) / 2);
  glPixelZoom(zoom, zoom);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelZoom(1, 1);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

}  // namespace quorhost
