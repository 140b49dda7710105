#include "DDImage/AxisOp.h"

#include <cmath>

#include "DDImage/Knobs.h"
#include "DDImage/gl.h"

namespace DD {
namespace Image {

namespace {
const char* const kDisplayItems[] = {"off", "wireframe", "solid", "textured", nullptr};
const float kRadiansPerDegree = static_cast<float>(M_PI / 180.0);
}  // namespace

AxisOp::AxisOp(Node* node) : Op(node) {}

AxisOp::~AxisOp() {}

// Of the transform knobs only "translate" is a position; the others get no
// viewer handle.
void AxisOp::knobs(Knob_Callback f) {
  XYZ_knob(f, translate_, "translate");
  XYZ_knob(f, rotate_, "rotate");
  SetFlags(f, Knob::NO_HANDLES);
  XYZ_knob(f, scaling_, "scaling", "scale");
  SetFlags(f, Knob::NO_HANDLES);
  Double_knob(f, &uniformScale_, "uniform_scale", "uniform scale");
  XYZ_knob(f, skew_, "skew");
  SetFlags(f, Knob::NO_HANDLES);
  XYZ_knob(f, pivot_, "pivot");
  SetFlags(f, Knob::NO_HANDLES);
  Enumeration_knob(f, &display_, kDisplayItems, "display");
  Bool_knob(f, &selectable_, "selectable");
  Button(f, "file_menu", "file");
  Button(f, "snap_menu", "snap");
}

Matrix4 AxisOp::knobMatrix() const {
  const float u = static_cast<float>(uniformScale_);
  Matrix4 m;
  m.translate(translate_[0], translate_[1], translate_[2]);
  m.translate(pivot_[0], pivot_[1], pivot_[2]);
  m.rotateY(rotate_[1] * kRadiansPerDegree);
  m.rotateX(rotate_[0] * kRadiansPerDegree);
  m.rotateZ(rotate_[2] * kRadiansPerDegree);
  m.skew(skew_[0], skew_[1], skew_[2]);
  m.scale(scaling_[0] * u, scaling_[1] * u, scaling_[2] * u);
  m.translate(-pivot_[0], -pivot_[1], -pivot_[2]);
  return m;
}

void AxisOp::_validate(bool for_real) {
  Op::_validate(for_real);
  local_ = knobMatrix();
  localtransform_ = local_;
  const AxisOp* parent = dynamic_cast<const AxisOp*>(input(0));
  matrix_ = parent ? parent->matrix() * local_ : local_;
}

bool AxisOp::test_input(int n, Op* op) const { return n == 0 && dynamic_cast<AxisOp*>(op) != nullptr; }

void AxisOp::build_handles(ViewerContext* ctx) {
  validate(false);
  build_knob_handles(ctx);
  if (ctx && ctx->connected() >= SHOW_OBJECT) add_draw_handle(ctx);
}

// An axis shows itself as three short lines along its axes. The viewer
// draws it under its parent's transform, so its local one completes it.
void AxisOp::draw_handle(ViewerContext*) {
  glPushMatrix();
  glMultMatrixf(local_.array());
  glBegin(GL_LINES);
  glColor3f(1, 0, 0);
  glVertex3f(0, 0, 0);
  glVertex3f(0.25f, 0, 0);
  glColor3f(0, 1, 0);
  glVertex3f(0, 0, 0);
  glVertex3f(0, 0.25f, 0);
  glColor3f(0, 0, 1);
  glVertex3f(0, 0, 0);
  glVertex3f(0, 0, 0.25f);
  glEnd();
  glPopMatrix();
}

}  // namespace Image
}  // namespace DD
