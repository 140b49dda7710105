// The card's draw pass in the viewer: surface, cage, points and handles,
// the pick pass with its highlight, and the node's name.
#include <sstream>
#include <string>

#include "DDImage/Iop.h"
#include "DDImage/gl.h"
#include "node/KnobNames.h"
#include "node/QuorCard.h"
#include "viewer/CardDrawing.h"

using namespace DD::Image;
using namespace quorcard::knobname;

namespace quorcard {

void QuorCard::draw_handle(ViewerContext* ctx) {
  // Early in the node's life the stored points may not be applied yet.
  if (node_state() < Op::eNodeSetUp) {
    restorePoints();
    if (Knob* k = knob(kSelectedCp)) selectedHandle = static_cast<int>(k->get_value());
  }

  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushMatrix();
  glMultMatrixf(localMatrix().array());

  // The host's selection pass looks for names: only the points and handles
  // carry any, so nothing else is drawn in it.
  GLint mode = GL_RENDER;
  glGetIntegerv(GL_RENDER_MODE, &mode);
  if (mode == GL_SELECT) {
    if (ctx->event() >= MOVE) pick(ctx);
    glPopMatrix();
    glPopAttrib();
    return;
  }

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
  drawCardSurface(grid, interpolation, uvRules());
  if (image) image->unset_texturemap(ctx);
  glDisable(GL_LIGHTING);

  if (node_selected()) {
    glColor(ctx->fg_color());
    drawCage(grid, interpolation);
  }
  const bool points = showsControlPoints();
  if (points) drawControlPoints(grid, interpolation, handleSize, false);

  if (ctx->event() >= MOVE) pick(ctx);

  if (node_selected()) drawHighlight(grid, interpolation, handleSize, selectedHandle);

  glColor(ctx->node_color());
  glRasterPos3f(0, 0, 0);
  const std::string label = labelText();
  gl_text(label.c_str(), static_cast<int>(label.size()));

  glPopMatrix();
  glPopAttrib();
}

void QuorCard::pick(ViewerContext* ctx) {
  // A name beyond the int range (another object's) turns negative: no pick.
  const unsigned id = pickHandle(grid, interpolation, handleSize, showsControlPoints(), ctx->event() == PUSH);
  selectedHandle = node_selected() ? static_cast<int>(id) : 0;
  if (Knob* k = knob(kSelectedCp)) k->set_value(selectedHandle, -1);
}

// Points and handles show on a selected card whose "type" knob is shown.
bool QuorCard::showsControlPoints() {
  Knob* type = knob(kType);
  return node_selected() && type && type->isVisible();
}

std::string QuorCard::labelText() const {
  std::ostringstream text;
  if (print_name_cb) print_name_cb(text, this);
  return text.str();
}

}  // namespace quorcard
