// The viewer handle of a 3-D position knob: a square outline around the
// knob's position, drawn over everything else. In a selection pass it is one
// point at that position, under the name that the viewer loaded for it.
#include <cmath>

#include "DDImage/Matrix4.h"
#include "DDImage/gl.h"
#include "StockKnob.h"

namespace DD {
namespace Image {

namespace {
const unsigned kHandleColor = 0x00FFFFFF;
// Half the side of the square, in pixels.
const float kHalfSide = 6.0f;
}  // namespace

void StockKnob::draw_handle(ViewerContext*) {
  if (kind_ != XYZ_KNOB) return;
  const float x = static_cast<float>(values_[0]);
  const float y = static_cast<float>(values_[1]);
  const float z = static_cast<float>(values_[2]);
  GLint mode = GL_RENDER;
  glGetIntegerv(GL_RENDER_MODE, &mode);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_STENCIL_TEST);
  if (mode == GL_SELECT) {
    glBegin(GL_POINTS);
    glVertex3f(x, y, z);
    glEnd();
    glPopAttrib();
    return;
  }

  // Window position of the knob's value through the current matrices.
  GLfloat modelview[16], projection[16];
  GLint viewport[4];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  const Matrix4 m = Matrix4(projection) * Matrix4(modelview);
  const float w = m(3, 0) * x + m(3, 1) * y + m(3, 2) * z + m(3, 3);
  if (w > 0) {
    const Vector3 clip = m.transform(Vector3(x, y, z));
    const float wx = viewport[0] + (clip.x / w + 1) / 2 * viewport[2];
    const float wy = viewport[1] + (clip.y / w + 1) / 2 * viewport[3];
    // Lines through pixel centres come out one pixel wide.
    const float cx = std::floor(wx) + 0.5f, cy = std::floor(wy) + 0.5f;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor(kHandleColor);
    glLineWidth(1);
    glBegin(GL_LINE_LOOP);
    glVertex2f(cx - kHalfSide, cy - kHalfSide);
    glVertex2f(cx + kHalfSide, cy - kHalfSide);
    glVertex2f(cx + kHalfSide, cy + kHalfSide);
    glVertex2f(cx - kHalfSide, cy + kHalfSide);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
  }
  glPopAttrib();
}

}  // namespace Image
}  // namespace DD
