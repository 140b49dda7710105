#include "DDImageHost/Viewer.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "DDImage/AxisOp.h"
#include "DDImage/Knob.h"
#include "DDImage/Knobs.h"
#include "DDImage/gl.h"
#include "DDImageHost/Host.h"
#include "DDImageHost/OffscreenGL.h"

namespace DD {
namespace Image {

namespace {

// Room for the hit records of one selection pass: four values per record
// with the one-deep name stack used here.
const size_t kSelectBufferSize = 1 << 18;

const float kRadiansPerDegree = static_cast<float>(M_PI / 180.0);

// The viewer's packed colours: node colour, foreground (the secondary
// colour nodes draw their lines in), background and selection.
const unsigned kNodeColor = 0xC0C0C0FF;
const unsigned kForegroundColor = 0xFF9020FF;
const unsigned kBackgroundColor = 0x333333FF;
const unsigned kSelectedColor = 0xFFFF00FF;

// The GL matrix that narrows the projection to a square of 2 * radius
// pixels around window position (cx, cy), y upward.
Matrix4 pickMatrix(float cx, float cy, float radius, int width, int height) {
  const float size = 2 * radius;
  return Matrix4(width / size, 0, 0, (width - 2 * cx) / size, 0, height / size, 0, (height - 2 * cy) / size, 0, 0, 1, 0,
                 0, 0, 0, 1);
}

}  // namespace

Viewer::Viewer(Graph& graph) : graph_(graph) {
  ctx_.setTransformMode(VIEWER_PERSP);
  ctx_.setViewerMode(VIEWER_PERSP);
  ctx_.setConnected(SHOW_OBJECT);
  ctx_.setLighting(true);
  ctx_.setColors(kNodeColor, kForegroundColor, kBackgroundColor, kSelectedColor);
}

Viewer::~Viewer() {}

void Viewer::setSize(int width, int height) {
  camera_.width = width;
  camera_.height = height;
}

void Viewer::setStencil(bool stencil) { stencil_ = stencil; }

void Viewer::useCurrentContext(bool use) {
  currentContext_ = use;
  pictureKey_ = 0;
  // Letting go of the off-screen context leaves no context current.
  if (use) gl_.reset();
}

// From world space into the camera's: its axes as rows, then the eye moved
// to the origin.
Matrix4 Viewer::viewMatrix() const {
  const Vector3 r = camera_.right(), u = camera_.up(), b = camera_.back();
  const Vector3 eye = camera_.position();
  return Matrix4(r.x, r.y, r.z, -r.dot(eye), u.x, u.y, u.z, -u.dot(eye), b.x, b.y, b.z, -b.dot(eye), 0, 0, 0, 1);
}

Matrix4 Viewer::projectionMatrix() const {
  const float f = 1.0f / std::tan(camera_.fovY * kRadiansPerDegree / 2);
  const float aspect = static_cast<float>(camera_.width) / static_cast<float>(camera_.height);
  const float n = camera_.nearPlane, fa = camera_.farPlane;
  return Matrix4(f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (fa + n) / (n - fa), 2 * fa * n / (n - fa), 0, 0, -1, 0);
}

bool Viewer::project(const Vector3& point, float* x, float* y) const {
  const Vector3 d = point - camera_.position();
  const Vector3 eye(d.dot(camera_.right()), d.dot(camera_.up()), d.dot(camera_.back()));
  if (eye.z >= 0) return false;
  const float tanHalf = std::tan(camera_.fovY * kRadiansPerDegree / 2);
  const float aspect = static_cast<float>(camera_.width) / static_cast<float>(camera_.height);
  const float ndcX = eye.x / -eye.z / (tanHalf * aspect);
  const float ndcY = eye.y / -eye.z / tanHalf;
  *x = (ndcX + 1) / 2 * camera_.width;
  *y = (1 - ndcY) / 2 * camera_.height;
  return true;
}

bool Viewer::rayThrough(float x, float y, Vector3* origin, Vector3* direction) const {
  if (camera_.width <= 0 || camera_.height <= 0) return false;
  const float tanHalf = std::tan(camera_.fovY * kRadiansPerDegree / 2);
  const float aspect = static_cast<float>(camera_.width) / static_cast<float>(camera_.height);
  const float ndcX = 2 * (x + 0.5f) / camera_.width - 1;
  const float ndcY = 1 - 2 * (y + 0.5f) / camera_.height;
  *origin = camera_.position();
  // One unit along the view axis for each step of the ray.
  *direction = camera_.right() * (ndcX * tanHalf * aspect) + camera_.up() * (ndcY * tanHalf) - camera_.back();
  return true;
}

// The drag plane faces the camera (normal along the view axis) and passes
// through the grabbed knob's position at the press.
bool Viewer::pointerOnPlane(float x, float y, Vector3* out) const {
  Vector3 origin, direction;
  if (!rayThrough(x, y, &origin, &direction)) return false;
  // The ray advances one unit towards the plane per unit of t.
  const float t = (origin - grabStart_).dot(camera_.back());
  if (!(t > 0) || !std::isfinite(t)) return false;
  *out = origin + direction * t;
  return true;
}

bool Viewer::prepare(std::string* error) {
  if (camera_.width <= 0 || camera_.height <= 0) {
    if (error) *error = "the viewer size must be positive";
    return false;
  }
  if (currentContext_) {
    if (!glGetString(GL_VERSION)) {
      if (error) *error = "no current OpenGL context for the viewer";
      return false;
    }
    return true;
  }
  if (!gl_ || gl_->width() != camera_.width || gl_->height() != camera_.height || gl_->stencil() != stencil_)
    gl_.reset(new OffscreenGL(camera_.width, camera_.height, stencil_));
  if (!gl_->ok() || !gl_->makeCurrent()) {
    if (error) *error = "no OpenGL for the viewer: " + gl_->error();
    gl_.reset();
    return false;
  }
  return true;
}

void Viewer::beginFrame(bool select, float pickX, float pickY) {
  glViewport(0, 0, camera_.width, camera_.height);
  const Matrix4 projection = projectionMatrix();
  const Matrix4 view = viewMatrix();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (select) {
    // The pointer's pixel centre, in window coordinates (y upward).
    const float cx = pickX + 0.5f;
    const float cy = static_cast<float>(camera_.height) - (pickY + 0.5f);
    glMultMatrixf(pickMatrix(cx, cy, kPickRadius, camera_.width, camera_.height).array());
  }
  glMultMatrixf(projection.array());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  // One light at the camera, shining along the view axis; nodes switch
  // lighting on when the context asks for it. Colours take part in lighting
  // as ambient and diffuse material, so a surface facing the camera shows
  // its colour unchanged.
  const GLfloat lightPosition[] = {0, 0, 1, 0};
  const GLfloat lightDiffuse[] = {0.8f, 0.8f, 0.8f, 1};
  const GLfloat black[] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
  glLightfv(GL_LIGHT0, GL_AMBIENT, black);
  glLightfv(GL_LIGHT0, GL_SPECULAR, black);
  glEnable(GL_LIGHT0);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_NORMALIZE);
  glDisable(GL_LIGHTING);

  // Lines, points and text drawn on a surface stay in front of it.
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(surfaceOffset_[0], surfaceOffset_[1]);

  glClearColor(0.2f, 0.2f, 0.2f, 1);
  glClearDepth(1);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

  glLoadMatrixf(view.array());
  ctx_.modelmatrix = view;
  ctx_.proj_matrix = projection;
}

void Viewer::buildHandles() {
  ctx_.clearHandles();
  for (const auto& node : graph_.nodes())
    if (Op* op = node->op()) op->build_handles(&ctx_);
}

namespace {

// Every drawing starts in white with the lit material in step with it:
// enabling colour tracking applies the current colour to the material at
// once. (Popping the attributes of an earlier drawing may leave the material
// at a colour that drawing used last.)
void resetColour() {
  glDisable(GL_COLOR_MATERIAL);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_COLOR_MATERIAL);
}

}  // namespace

// The transform that places a node's drawing: for an axis node the world
// transform of the axis on its input 0 (the node multiplies its own local
// transform onto it), for other nodes none. Knob handles are drawn under
// their node's parent transform too, since position knobs hold values in
// that space.
Matrix4 Viewer::parentMatrix(const Op* op) {
  const AxisOp* axis = dynamic_cast<const AxisOp*>(op);
  const AxisOp* parent = axis ? dynamic_cast<const AxisOp*>(axis->input(0)) : nullptr;
  return parent ? parent->matrix() : Matrix4();
}

// Nodes draw first, then the knobs that asked to draw. Only selected nodes
// show the handles of their position knobs. In a selection pass every
// position-knob handle gets its own name from 1 up; everything else is
// drawn under name 0 unless the node loads names of its own.
void Viewer::drawHandles(bool select) {
  for (const ViewerContext::DrawHandle& h : ctx_.drawHandles()) {
    if (select) glLoadName(0);
    resetColour();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glMultMatrixf(parentMatrix(h.op).array());
    h.op->draw_handle(&ctx_);
    glPopMatrix();
    glPopAttrib();
  }
  positionKnobs_.clear();
  for (Knob* k : ctx_.activeKnobs()) {
    if (k->kind() == XYZ_KNOB) {
      if (!k->op() || !k->op()->node_selected() || positionKnobs_.size() >= kLastKnobName) continue;
      positionKnobs_.push_back(k);
      if (select) glLoadName(static_cast<GLuint>(positionKnobs_.size()));
    } else if (select) {
      glLoadName(0);
    }
    resetColour();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glMultMatrixf(parentMatrix(k->op()).array());
    k->draw_handle(&ctx_);
    glPopMatrix();
    glPopAttrib();
  }
  // Writes the hit record of the last name.
  if (select) glLoadName(0);
}

namespace {

// Folds 64-bit values into one digest.
struct Digest {
  unsigned long long value = 0x9E3779B97F4A7C15ULL;
  void add(unsigned long long v) {
    value = (value ^ v) * 0xFF51AFD7ED558CCDULL;
    value ^= value >> 33;
  }
  void add(double v) {
    unsigned long long bits;
    std::memcpy(&bits, &v, sizeof bits);
    add(bits);
  }
  void add(const void* p) { add(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p))); }
};

}  // namespace

unsigned long long Viewer::drawingKey() const {
  Digest d;
  const Camera& c = camera_;
  for (double v : {double(c.width), double(c.height), double(c.distance), double(c.fovY), double(c.nearPlane),
                   double(c.farPlane), double(c.target.x), double(c.target.y), double(c.target.z), double(c.yaw),
                   double(c.pitch), double(surfaceOffset_[0]), double(surfaceOffset_[1])})
    d.add(v);
  d.add(static_cast<unsigned long long>(stencil_) | static_cast<unsigned long long>(currentContext_) << 1);
  for (const auto& node : graph_.nodes()) {
    const Op* op = node->op();
    if (op && !op->valid()) return 0;
    d.add(node.get());
    d.add(static_cast<unsigned long long>(std::hash<std::string>()(node->name())));
    d.add(static_cast<unsigned long long>(node->selected()) | static_cast<unsigned long long>(node->disabled()) << 1);
    if (op) {
      d.add(op);
      d.add(static_cast<unsigned long long>(op->node_state()));
      d.add(op->hash().value());
      for (int i = 0; i < op->inputs(); ++i) d.add(op->input(i));
    }
    // The dormant knobs (a dense card's hidden point knobs) by the count of
    // the node's knob changes alone, which moves with each of their values.
    d.add(node->knobChanges());
    for (Knob* k : node->awakeKnobs()) {
      d.add(k);
      d.add(static_cast<unsigned long long>(k->flags()) << 1 | static_cast<unsigned long long>(k->isVisible()));
      for (int channel = 0; channel < k->channels(); ++channel) d.add(k->get_value(channel));
      const int kind = k->kind();
      if (kind == STRING_KNOB || kind == FILE_KNOB) d.add(textStamp(k));
    }
  }
  // 0 means no key.
  return d.value ? d.value : 1;
}

void Viewer::putPicture() const {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glViewport(0, 0, camera_.width, camera_.height);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_COLOR_LOGIC_OP);
  glDisable(GL_DITHER);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelZoom(1, 1);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, camera_.width, 0, camera_.height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRasterPos2i(0, 0);
  glDrawPixels(camera_.width, camera_.height, GL_RGBA, GL_UNSIGNED_BYTE, picture_.data());
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopClientAttrib();
  glPopAttrib();
}

bool Viewer::draw(std::vector<unsigned char>* rgba, std::string* error) {
  if (!prepare(error)) return false;
  // The picture changes only with what it is drawn from: a frame in which
  // nothing changed shows the last picture again instead of drawing it.
  const unsigned long long key = overlay_ ? 0 : drawingKey();
  if (key != 0 && key == pictureKey_) {
    if (currentContext_) putPicture();
    if (rgba) *rgba = flipRows(picture_, camera_.width, camera_.height);
    return true;
  }
  ctx_.setEvent(DRAW_OPAQUE);
  beginFrame(false, 0, 0);
  buildHandles();
  drawHandles(false);
  if (overlay_) {
    resetColour();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    overlay_(ctx_);
    glPopAttrib();
  }
  pictureKey_ = 0;
  if (key != 0 || rgba) {
    std::vector<unsigned char> rows = readFramebufferRows(camera_.width, camera_.height);
    if (rgba) *rgba = flipRows(rows, camera_.width, camera_.height);
    if (key != 0) {
      picture_ = std::move(rows);
      pictureKey_ = key;
    }
  }
  return true;
}

bool Viewer::writePicture(const std::string& path, std::string* error) {
  std::vector<unsigned char> rgba;
  return draw(&rgba, error) && writePng(path, camera_.width, camera_.height, rgba, error);
}

bool Viewer::press(float x, float y, std::string* error) {
  grabNode_.clear();
  grabKnob_.clear();
  if (!prepare(error)) return false;
  ctx_.setEvent(PUSH);
  ctx_.setMouse(x, y);

  // The selection pass. The buffer starts zeroed: nodes scan it for their
  // own names and stop at the first empty record.
  std::vector<GLuint> buffer(kSelectBufferSize, 0);
  glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(0);
  beginFrame(true, x, y);
  buildHandles();
  drawHandles(true);
  const GLint hits = glRenderMode(GL_RENDER);

  // The nearest position-knob handle under the pointer; on equal depth the
  // one drawn last, which is on top. A full buffer (hits < 0) is read as
  // far as its whole records go.
  Knob* hit = nullptr;
  GLuint nearest = 0;
  size_t at = 0;
  for (GLint record = 0; (hits < 0 || record < hits) && at + 3 <= buffer.size(); ++record) {
    const GLuint names = buffer[at];
    const GLuint minDepth = buffer[at + 1];
    if (names == 0 || at + 3 + names > buffer.size()) break;
    for (GLuint i = 0; i < names; ++i) {
      const GLuint name = buffer[at + 3 + i];
      if (name >= 1 && name <= positionKnobs_.size() && (!hit || minDepth <= nearest)) {
        hit = positionKnobs_[name - 1];
        nearest = minDepth;
      }
    }
    at += 3 + names;
  }

  // Every press goes to the callbacks that knobs registered in the pass,
  // wherever it landed.
  const std::vector<ViewerContext::KnobHandle> handles = ctx_.knobHandles();
  for (const ViewerContext::KnobHandle& h : handles)
    if (h.callback) h.callback(&ctx_, h.knob, h.index);

  if (hit && hit->isVisible() && hit->op() && hit->op()->node() && hit->channels() >= 3) {
    const Matrix4 parent = parentMatrix(hit->op());
    grabInverse_ = parent.inverse();
    grabStart_ = parent.transform(Vector3(static_cast<float>(hit->get_value(0)), static_cast<float>(hit->get_value(1)),
                                          static_cast<float>(hit->get_value(2))));
    if (pointerOnPlane(x, y, &grabAnchor_)) {
      grabNode_ = hit->op()->node()->name();
      grabKnob_ = hit->name();
    }
  }
  return true;
}

Knob* Viewer::grabbedKnob() const {
  if (grabNode_.empty()) return nullptr;
  const Node* node = graph_.find(grabNode_);
  return node ? node->knob(grabKnob_) : nullptr;
}

void Viewer::dragTo(float x, float y) {
  Knob* k = grabbedKnob();
  Vector3 p;
  if (!k || !k->op() || !k->op()->node() || !pointerOnPlane(x, y, &p)) return;
  ctx_.setEvent(DRAG);
  ctx_.setMouse(x, y);
  const Vector3 v = grabInverse_.transform(grabStart_ + (p - grabAnchor_));
  const std::vector<double> values = {v.x, v.y, v.z};
  bool same = true;
  for (int i = 0; i < 3; ++i) same = same && static_cast<float>(k->get_value(i)) == v[i];
  if (!same) k->op()->node()->userSetValues(k, values);
}

void Viewer::release(float x, float y) {
  dragTo(x, y);
  ctx_.setEvent(RELEASE);
  ctx_.setMouse(x, y);
  grabNode_.clear();
  grabKnob_.clear();
}

}  // namespace Image
}  // namespace DD
