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

// One vertex of a cell's outline, as GL receives it.
struct OutlineVertex {
  TexCoord texCoord;
  const float* normal;
  const float* position;
};

// A cell's outline: at most twelve vertices, fewer where handles are absent.
struct Outline {
  OutlineVertex vertices[12];
  int count = 0;
};

// Adds one vertex of `owner`: its position or that of one of its handle
// slots, with the owner's uv shifted by (ou, ov) mapped to texture
// coordinates. An absent slot adds no vertex.
void add(Outline& outline, const Mapping& m, const VtxPoint& owner, int source, float ou, float ov) {
  const float* position = owner.pos;
  if (source != kPosition) {
    if (!slotPresent(owner, source)) return;
    position = slotPosition(owner, source);
  }
  outline.vertices[outline.count++] = {mapUv(owner.uv, ou, ov, m.rules, TAxis::AgainstV), owner.normal, position};
}

void cornerOutline(Outline& o, const Mapping& m, const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3,
                   const VtxPoint& p4) {
  add(o, m, p1, kPosition, 0, 0);
  add(o, m, p2, kPosition, 0, 0);
  add(o, m, p3, kPosition, 0, 0);
  add(o, m, p4, kPosition, 0, 0);
}

// P1 -> P2 -> P3 -> P4 -> P1, each edge through the two handles facing
// along it.
void handleOutline(Outline& o, const Mapping& m, const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3,
                   const VtxPoint& p4) {
  add(o, m, p1, kPosition, 0, 0);
  add(o, m, p1, kSlotRight, m.du, 0);
  add(o, m, p2, kSlotLeft, -m.du, 0);
  add(o, m, p2, kPosition, 0, 0);
  add(o, m, p2, kSlotUp, 0, -m.dv);
  add(o, m, p3, kSlotDown, 0, m.dv);
  add(o, m, p3, kPosition, 0, 0);
  add(o, m, p3, kSlotLeft, -m.du, 0);
  add(o, m, p4, kSlotRight, m.du, 0);
  add(o, m, p4, kPosition, 0, 0);
  add(o, m, p4, kSlotDown, 0, m.dv);
  add(o, m, p1, kSlotUp, 0, -m.dv);
}

void vertex(const OutlineVertex& v) {
  glTexCoord2f(v.texCoord.s, v.texCoord.t);
  glNormal3f(v.normal[0], v.normal[1], v.normal[2]);
  glVertex3f(v.position[0], v.position[1], v.position[2]);
}

// The outline as the triangles of a fan around its first vertex, added to
// the caller's GL_TRIANGLES batch: the triangles GL makes of a GL_POLYGON
// (`asPolygon`) or a GL_TRIANGLE_FAN, in the same order and each with its
// vertices in the same order, so the even-odd stencil count and the rounding
// of the interpolated values are the same. A triangle's last vertex is the
// one that gives it its flat colour: the polygon's first vertex, or the
// fan's newest one.
void fanTriangles(const Outline& o, bool asPolygon) {
  for (int i = 1; i + 1 < o.count; ++i) {
    if (asPolygon) {
      vertex(o.vertices[i]);
      vertex(o.vertices[i + 1]);
      vertex(o.vertices[0]);
    } else {
      vertex(o.vertices[0]);
      vertex(o.vertices[i]);
      vertex(o.vertices[i + 1]);
    }
  }
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
      Outline o;
      cornerOutline(o, m, p1, p2, p3, p4);
      for (int i = 0; i < o.count; ++i) vertex(o.vertices[i]);
    });
    glEnd();
    return;
  }

  // Every cell's outline as a fan around its first vertex, which keeps the
  // stencil parity even-odd; all cells in one batch, since a batch a cell
  // costs more than the triangles themselves on a dense card.
  auto drawCells = [&]() {
    glBegin(GL_TRIANGLES);
    forEachCell(grid, [&](const VtxPoint& p1, const VtxPoint& p2, const VtxPoint& p3, const VtxPoint& p4) {
      Outline o;
      if (handles)
        handleOutline(o, m, p1, p2, p3, p4);
      else
        cornerOutline(o, m, p1, p2, p3, p4);
      fanTriangles(o, handles);
    });
    glEnd();
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
