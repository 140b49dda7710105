// The card's surface in the viewer: one filled outline per grid cell, through
// the cell's corners and, under "smooth with handles", through the handles
// that face each other along its edges. With a stencil buffer the outlines
// are filled by the even-odd rule, so outlines that fold over themselves
// come out right; without one every cell is a plain corner quadrilateral.
#include "DDImage/gl.h"
#include "grid/Interpolation.h"
#include "viewer/CardDrawing.h"

namespace quorcard {

namespace {

// Texture-coordinate rules and the texture step of a handle vertex: a third
// of a column step in u, a third of a row step in v.
struct Mapping {
  UvRules rules;
  float du;
  float dv;
};

const int kPosition = -1;

// Emits one vertex of `owner`: its position or that of one of its handle
// slots, with the owner's uv shifted by (ou, ov) mapped to texture
// coordinates. An absent slot issues no vertex.
void emit(const Mapping& m, const VtxPoint& owner, int source, float ou, float ov) {
  const TexCoord texCoord = mapUv(owner.uv, ou, ov, m.rules, TAxis::AgainstV);
  glTexCoord2f(texCoord.s, texCoord.t);
  glNormal3f(owner.normal[0], owner.normal[1], owner.normal[2]);
  if (source == kPosition) {
    glVertex3f(owner.pos[0], owner.pos[1], owner.pos[2]);
  } else if (slotPresent(owner, source)) {
    const float* h = slotPosition(owner, source);
    glVertex3f(h[0], h[1], h[2]);
  }
}

void cornerOutline(const Mapping& m, const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3, const VtxPoint& p4) {
  emit(m, p1, kPosition, 0, 0);
  emit(m, p2, kPosition, 0, 0);
  emit(m, p3, kPosition, 0, 0);
  emit(m, p4, kPosition, 0, 0);
}

// P1 -> P2 -> P3 -> P4 -> P1, each edge through the two handles facing
// along it.
void handleOutline(const Mapping& m, const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3, const VtxPoint& p4) {
  emit(m, p1, kPosition, 0, 0);
  emit(m, p1, kSlotRight, m.du, 0);
  emit(m, p2, kSlotLeft, -m.du, 0);
  emit(m, p2, kPosition, 0, 0);
  emit(m, p2, kSlotUp, 0, -m.dv);
  emit(m, p3, kSlotDown, 0, m.dv);
  emit(m, p3, kPosition, 0, 0);
  emit(m, p3, kSlotLeft, -m.du, 0);
  emit(m, p4, kSlotRight, m.du, 0);
  emit(m, p4, kPosition, 0, 0);
  emit(m, p4, kSlotDown, 0, m.dv);
  emit(m, p1, kSlotUp, 0, -m.dv);
}

// Calls draw(p1, p2, p3, p4) for every cell, row by row from the bottom,
// left to right within a row.
template <class Draw>
void forEachCell(const ControlGrid& grid, Draw draw) {
  for (int r = 0; r + 1 < grid.rows(); ++r)
    for (int c = 0; c + 1 < grid.columns(); ++c)
      draw(grid.at(c, r), grid.at(c + 1, r), grid.at(c + 1, r + 1), grid.at(c, r + 1));
}

}  // namespace

void drawCardSurface(const ControlGrid& grid, int interpolation, UvRules rules) {
  if (grid.columns() == 0) return;
  // Without cells the steps are never read.
  const int columns = grid.columns();
  const int rows = grid.rows();
  const Mapping m{rules, columns > 1 ? (1.0f / static_cast<float>(columns - 1)) / 3.0f : 0.0f,
                  rows > 1 ? (1.0f / static_cast<float>(rows - 1)) / 3.0f : 0.0f};
  const bool handles = hasHandles(interpolation);

  GLint stencilBits = 0;
  glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
  if (stencilBits < 1) {
    glBegin(GL_QUADS);
    forEachCell(grid, [&](const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3, const VtxPoint& p4) {
      cornerOutline(m, p1, p2, p3, p4);
    });
    glEnd();
    return;
  }

  // Each cell is one primitive. GL_POLYGON is rasterised as a fan around
  // its first vertex, which keeps the stencil parity even-odd.
  auto drawCells = [&]() {
    forEachCell(grid, [&](const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3, const VtxPoint& p4) {
      if (handles) {
        glBegin(GL_POLYGON);
        handleOutline(m, p1, p2, p3, p4);
      } else {
        glBegin(GL_TRIANGLE_FAN);
        cornerOutline(m, p1, p2, p3, p4);
      }
      glEnd();
    });
  };

  glClear(GL_STENCIL_BUFFER_BIT);
  glClearStencil(0);
  // Coverage: every fragment flips the lowest stencil bit, so it ends up set
  // where the pixel was covered an odd number of times.
  glEnable(GL_STENCIL_TEST);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glStencilFunc(GL_ALWAYS, 1, 1);
  glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
  glDisable(GL_DEPTH_TEST);
  drawCells();
  // Paint: the same primitives, only where the bit is set. Where pieces of
  // a crossing outline overlap, several of them cover a pixel at depths that
  // differ only by rounding; the first one that paints a pixel clears its
  // bit, so the depth test does not pick among them pixel by pixel (which
  // speckles a turned card).
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glStencilFunc(GL_EQUAL, 1, 1);
  glStencilOp(GL_KEEP, GL_KEEP, GL_ZERO);
  glEnable(GL_DEPTH_TEST);
  drawCells();
  glDisable(GL_STENCIL_TEST);
}

}  // namespace quorcard
