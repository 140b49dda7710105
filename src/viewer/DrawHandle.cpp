// Drawing the card in the viewer: the surface, the cage, the points and
// their tangent handles, the pick pass that finds the point or handle under
// the pointer, its highlight and the node's name.
#include <sstream>
#include <string>

#include "DDImage/Iop.h"
#include "DDImage/gl.h"
#include "node/QuorCard.h"
#include "viewer/HandleIds.h"

using namespace DD::Image;

namespace quorcard {

namespace {

const unsigned kHighlightColor = 0x00FF00FF;

void vertex(const float* p) { glVertex3f(p[0], p[1], p[2]); }

// A handle's vertex, only when its slot holds a position.
void slotVertex(const VtxPoint& p, int slot) {
  if (slotPresent(p, slot)) vertex(p.controlPoints[static_cast<size_t>(slot)].data());
}

bool withHandles(int interpolation) { return interpolation != 0 && interpolation != 1; }

}  // namespace

unsigned nearestHandleId(const unsigned* buffer, std::size_t size) {
  unsigned best = 0;
  unsigned bestDepth = 0;
  const std::size_t records = size / 4;
  for (std::size_t r = 0; r < records; ++r) {
    const unsigned* record = buffer + 4 * r;
    if (record[0] == 0) break;
    if (record[3] < kFirstHandleId) continue;
    if (best == 0 || record[1] < bestDepth) {
      best = record[3];
      bestDepth = record[1];
    }
  }
  return best;
}

void QuorCard::draw_handle(ViewerContext* ctx) {
  // Early in the node's life the stored points may not be applied yet.
  if (node_state() < 3) {
    restorePoints();
    if (Knob* k = knob("selected_cp")) selectedHandle = static_cast<int>(k->get_value());
  }

  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushMatrix();
  glMultMatrixf(localMatrix().array());

  if (node_selected())
    glColor4f(1, 1, 1, 1);
  else
    glColor(ctx->node_color());
  if (ctx->lighting()) {
    glEnable(GL_LIGHTING);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
  } else {
    glDisable(GL_LIGHTING);
  }
  Iop* image = dynamic_cast<Iop*>(input(1));
  if (image) image->set_texturemap(ctx, true);
  drawCardSurface(ctx);
  if (image) image->unset_texturemap(ctx);
  glDisable(GL_LIGHTING);

  if (node_selected()) {
    glColor(ctx->fg_color());
    drawCage(ctx);
  }
  drawControlPoints(ctx, false);

  if (ctx->event() >= MOVE) {
    selectedHandle = 0;
    pickHandle(ctx);
    if (Knob* k = knob("selected_cp")) k->set_value(selectedHandle, -1);
  }

  if (selectedHandle >= static_cast<int>(kFirstHandleId) && node_selected()) {
    const DecodedHandle picked = decodeHandleId(selectedHandle);
    if (static_cast<std::size_t>(picked.point) < points.size()) {
      const VtxPoint& p = points[static_cast<std::size_t>(picked.point)];
      glColor(kHighlightColor);
      glPointSize(static_cast<float>(handleSize));
      glBegin(GL_POINTS);
      if (!withHandles(interpolation) || picked.remainder == 0)
        vertex(p.pos);
      else
        slotVertex(p, picked.remainder - 1);
      glEnd();
    }
  }

  glColor(ctx->node_color());
  glRasterPos3f(0, 0, 0);
  const std::string label = labelText();
  gl_text(label.c_str(), static_cast<int>(label.size()));

  glPopMatrix();
  glPopAttrib();
}

// Each cell draws its edge along column c and its edge along row r; the last
// row and the last column of cells also draw the far edges, so every edge of
// the grid is drawn once. With handles, an edge bends through the two
// handles that face each other along it.
void QuorCard::drawCage(ViewerContext*) {
  if (xPoints < 2 || yPoints < 2 || !gridMatches(points, xPoints, yPoints)) return;
  const bool handles = withHandles(interpolation);
  const std::size_t columns = static_cast<std::size_t>(xPoints);
  for (int r = 0; r + 1 < yPoints; ++r) {
    for (int c = 0; c + 1 < xPoints; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * columns + static_cast<std::size_t>(c);
      const VtxPoint& p1 = points[i];
      const VtxPoint& p2 = points[i + 1];
      const VtxPoint& p3 = points[i + columns + 1];
      const VtxPoint& p4 = points[i + columns];
      glBegin(GL_LINE_STRIP);
      if (r == yPoints - 2) {
        vertex(p3.pos);
        if (handles) {
          slotVertex(p3, 0);
          slotVertex(p4, 2);
        }
      }
      vertex(p4.pos);
      if (handles) {
        slotVertex(p4, 1);
        slotVertex(p1, 3);
      }
      vertex(p1.pos);
      if (handles) {
        slotVertex(p1, 2);
        slotVertex(p2, 0);
      }
      vertex(p2.pos);
      if (c == xPoints - 2) {
        if (handles) {
          slotVertex(p2, 3);
          slotVertex(p3, 1);
        }
        vertex(p3.pos);
      }
      glEnd();
    }
  }
}

// Points are white dots with black centres; handles, shown only under
// "smooth with handles", white dots with grey centres on yellow tangent
// lines. In a pick pass every point and handle is drawn alone under its
// handle id.
void QuorCard::drawControlPoints(ViewerContext*, bool pickMode) {
  if (!node_selected()) return;
  Knob* type = knob("type");
  if (!type || !type->isVisible()) return;
  if (!gridMatches(points, xPoints, yPoints)) return;
  const float outer = static_cast<float>(handleSize);
  // A handle size of 2 leaves no room for a centre: a point size of 0 is
  // not a valid size, and GL would draw the centre at the full size.
  const float inner = static_cast<float>(handleSize - 2);

  const bool handles = withHandles(interpolation);
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
    // One batch per point and per handle, each under its own name.
    for (std::size_t i = 0; i < points.size(); ++i) {
      glLoadName(pointHandleId(i));
      glBegin(GL_POINTS);
      vertex(points[i].pos);
      glEnd();
      for (int s = 0; handles && s < kSlotCount; ++s) {
        if (!slotPresent(points[i], s)) continue;
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

// Runs inside the host's selection pass: names the points and handles, then,
// for a press, takes the nearest named one from the hit records written so
// far in this pass.
void QuorCard::pickHandle(ViewerContext* ctx) {
  GLint mode = 0;
  glGetIntegerv(GL_RENDER_MODE, &mode);
  if (mode != GL_SELECT) return;
  GLint size = 0;
  glGetIntegerv(GL_SELECTION_BUFFER_SIZE, &size);
  if (size <= 0) return;
  GLvoid* buffer = nullptr;
  glGetPointerv(GL_SELECTION_BUFFER_POINTER, &buffer);
  if (!buffer) return;

  drawControlPoints(ctx, true);
  // GL writes a hit record when the name changes; loading a neutral name
  // writes the record of the last point or handle, which could otherwise
  // never be picked.
  glLoadName(0);
  if (ctx->event() != PUSH) return;

  // A name beyond the int range (another object's) turns negative: no pick.
  const unsigned id = nearestHandleId(static_cast<const unsigned*>(buffer), static_cast<std::size_t>(size));
  if (id != 0) selectedHandle = static_cast<int>(id);
  if (!node_selected()) selectedHandle = 0;
}

std::string QuorCard::labelText() const {
  std::ostringstream text;
  if (print_name_cb) print_name_cb(text, this);
  return text.str();
}

}  // namespace quorcard
