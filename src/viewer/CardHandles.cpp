// The card's cage, its points and tangent handles, the pick pass that finds
// the point or handle under the pointer, and its highlight.
#include <cmath>

#include "DDImage/gl.h"
#include "grid/Interpolation.h"
#include "viewer/CardDrawing.h"
#include "viewer/HandleIds.h"

using namespace DD::Image;

namespace quorcard {

namespace {

const unsigned kHighlightColor = 0x00FF00FF;

void vertex(const float* p) { glVertex3f(p[0], p[1], p[2]); }

// A handle's vertex, only when its slot holds a position.
void slotVertex(const VtxPoint& p, int slot) {
  if (slotPresent(p, slot)) vertex(slotPosition(p, slot));
}

// Whether a position can land in the pick region: GL drops a point whose
// centre lies outside the clip volume, and the pick matrix makes that volume
// the few pixels around the pointer. The test leaves a little room, so that
// it only ever keeps a point GL would drop, never drops one GL would keep.
class ClipVolume {
 public:
  ClipVolume() {
    float modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    // Column-major, as GL keeps them: m = projection x modelview.
    for (int column = 0; column < 4; ++column)
      for (int row = 0; row < 4; ++row) {
        double sum = 0;
        for (int k = 0; k < 4; ++k) sum += double(projection[k * 4 + row]) * modelview[column * 4 + k];
        m_[column * 4 + row] = sum;
      }
  }
  bool holds(const float* p) const {
    double clip[4];
    for (int row = 0; row < 4; ++row)
      clip[row] = m_[row] * p[0] + m_[4 + row] * p[1] + m_[8 + row] * p[2] + m_[12 + row];
    const double w = clip[3] * (1 + 1e-3) + 1e-6;
    return std::fabs(clip[0]) <= w && std::fabs(clip[1]) <= w && std::fabs(clip[2]) <= w;
  }

 private:
  double m_[16];
};

}  // namespace

// Each cell draws its edge along column c and its edge along row r; the last
// row and the last column of cells also draw the far edges, so every edge of
// the grid is drawn once. With handles, an edge bends through the two
// handles that face each other along it.
void drawCage(const ControlGrid& grid, int interpolation) {
  const int columns = grid.columns();
  const int rows = grid.rows();
  if (columns < 2 || rows < 2) return;
  const bool handles = hasHandles(interpolation);
  for (int r = 0; r + 1 < rows; ++r) {
    for (int c = 0; c + 1 < columns; ++c) {
      const VtxPoint& p1 = grid.at(c, r);
      const VtxPoint& p2 = grid.at(c + 1, r);
      const VtxPoint& p3 = grid.at(c + 1, r + 1);
      const VtxPoint& p4 = grid.at(c, r + 1);
      glBegin(GL_LINE_STRIP);
      if (r == rows - 2) {
        vertex(p3.pos);
        if (handles) {
          slotVertex(p3, kSlotLeft);
          slotVertex(p4, kSlotRight);
        }
      }
      vertex(p4.pos);
      if (handles) {
        slotVertex(p4, kSlotDown);
        slotVertex(p1, kSlotUp);
      }
      vertex(p1.pos);
      if (handles) {
        slotVertex(p1, kSlotRight);
        slotVertex(p2, kSlotLeft);
      }
      vertex(p2.pos);
      if (c == columns - 2) {
        if (handles) {
          slotVertex(p2, kSlotUp);
          slotVertex(p3, kSlotDown);
        }
        vertex(p3.pos);
      }
      glEnd();
    }
  }
}

// Points are white dots with black centres; handles white dots with grey
// centres on yellow tangent lines.
void drawControlPoints(const ControlGrid& grid, int interpolation, int handleSize, bool pickMode) {
  if (grid.columns() == 0) return;
  const PointList& points = grid.points();
  const float outer = static_cast<float>(handleSize);
  // A handle size of 2 leaves no room for a centre: a point size of 0 is
  // not a valid size, and GL would draw the centre at the full size.
  const float inner = static_cast<float>(handleSize - 2);

  const bool handles = hasHandles(interpolation);
  if (handles) {
    glColor3f(1, 1, 0);
    glBegin(GL_LINES);
    for (const VtxPoint& p : points)
      for (int s = 0; s < kSlotCount; ++s)
        if (slotPresent(p, s)) {
          vertex(p.pos);
          slotVertex(p, s);
        }
    glEnd();
  }
  glColor3f(1, 1, 1);
  glPointSize(outer);

  if (pickMode) {
    // One batch per point and per handle in the pick region, each under its
    // own name.
    const ClipVolume region;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (region.holds(points[i].pos)) {
        glLoadName(pointHandleId(i));
        glBegin(GL_POINTS);
        vertex(points[i].pos);
        glEnd();
      }
      for (int s = 0; handles && s < kSlotCount; ++s) {
        if (!slotPresent(points[i], s) || !region.holds(slotPosition(points[i], s))) continue;
        glLoadName(slotHandleId(i, s));
        glBegin(GL_POINTS);
        slotVertex(points[i], s);
        glEnd();
      }
    }
    return;
  }

  // White dots, then black centres on the points and grey ones on the handles.
  glBegin(GL_POINTS);
  for (const VtxPoint& p : points) {
    vertex(p.pos);
    for (int s = 0; handles && s < kSlotCount; ++s) slotVertex(p, s);
  }
  glEnd();
  if (inner <= 0) return;
  glPointSize(inner);
  glColor3f(0, 0, 0);
  glBegin(GL_POINTS);
  for (const VtxPoint& p : points) vertex(p.pos);
  glEnd();
  if (handles) {
    glColor3f(0.7f, 0.7f, 0.7f);
    glBegin(GL_POINTS);
    for (const VtxPoint& p : points)
      for (int s = 0; s < kSlotCount; ++s) slotVertex(p, s);
    glEnd();
  }
}

void drawHighlight(const ControlGrid& grid, int interpolation, int handleSize, int handleId) {
  if (handleId < static_cast<int>(kFirstHandleId)) return;
  const DecodedHandle picked = decodeHandleId(handleId);
  if (static_cast<std::size_t>(picked.point) >= grid.points().size()) return;
  const VtxPoint& p = grid.points()[static_cast<std::size_t>(picked.point)];
  glColor(kHighlightColor);
  glPointSize(static_cast<float>(handleSize));
  glBegin(GL_POINTS);
  if (!hasHandles(interpolation) || picked.slot == DecodedHandle::kPoint)
    vertex(p.pos);
  else
    slotVertex(p, picked.slot);
  glEnd();
}

unsigned pickHandle(const ControlGrid& grid, int interpolation, int handleSize, bool drawPoints, bool press) {
  GLint mode = 0;
  glGetIntegerv(GL_RENDER_MODE, &mode);
  if (mode != GL_SELECT) return 0;
  GLint size = 0;
  glGetIntegerv(GL_SELECTION_BUFFER_SIZE, &size);
  if (size <= 0) return 0;
  GLvoid* buffer = nullptr;
  glGetPointerv(GL_SELECTION_BUFFER_POINTER, &buffer);
  if (!buffer) return 0;

  if (drawPoints) drawControlPoints(grid, interpolation, handleSize, true);
  // GL writes a hit record when the name changes; loading a neutral name
  // writes the record of the last point or handle, which could otherwise
  // never be picked.
  glLoadName(0);
  if (!press) return 0;
  return nearestHandleId(static_cast<const unsigned*>(buffer), static_cast<std::size_t>(size));
}

}  // namespace quorcard
