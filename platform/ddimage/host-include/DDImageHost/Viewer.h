// The host's 3-D viewer: draws every node of a graph through its handles into
// an off-screen picture (or into a window's OpenGL context), and turns
// pointer presses and drags into selection passes, knob press callbacks and
// moves of position knobs.
//
// Pixels are those of the picture: x rightward and y downward from the
// top-left corner; a pointer at pixel (x, y) sits at that pixel's centre.
#ifndef DDImage_Viewer_h
#define DDImage_Viewer_h

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/Matrix4.h"
#include "DDImage/Vector3.h"
#include "DDImage/ViewerContext.h"
#include "DDImageHost/Camera.h"

namespace DD {
namespace Image {

class Graph;
class Knob;
class OffscreenGL;
class Op;

class Viewer {
 public:
  // Half the side of the square around the pointer in which a press finds
  // what lies under it, in pixels.
  static constexpr float kPickRadius = 4.5f;
  // Selection names from 1 to kLastKnobName are the handles of position
  // knobs; nodes use names above it for their own parts.
  static constexpr unsigned kLastKnobName = 9999;

  explicit Viewer(Graph& graph);
  ~Viewer();
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  // Picture size (the camera's, 640 x 480 unless set) and whether the
  // framebuffer has a stencil buffer (it has unless set otherwise).
  void setSize(int width, int height);
  void setStencil(bool stencil);
  int width() const { return camera_.width; }
  int height() const { return camera_.height; }
  const Camera& camera() const { return camera_; }
  // Places and turns the camera; its size becomes the picture size.
  void setCamera(const Camera& camera) { camera_ = camera; }
  // Whether the viewer draws, and makes its selection passes, in the OpenGL
  // context current on the calling thread (a window's, whose framebuffer has
  // the viewer's picture in its lower-left corner) instead of an off-screen
  // context of its own. Switching it on lets go of the off-screen context,
  // so that the caller may make another API's context current.
  void useCurrentContext(bool use);
  ViewerContext& context() { return ctx_; }

  // The camera's matrices for the current size.
  Matrix4 viewMatrix() const;
  Matrix4 projectionMatrix() const;
  // Picture position (fractional pixels) of a point in viewer space; false
  // for a point on or behind the camera plane.
  bool project(const Vector3& point, float* x, float* y) const;

  // A drawing of the host's own, made after the nodes in every drawing pass
  // (never in selection passes), in viewer space, between a push and a pop
  // of every GL attribute; empty for none.
  void setOverlay(std::function<void(ViewerContext&)> overlay) { overlay_ = std::move(overlay); }
  // The polygon offset (glPolygonOffset's factor and units) that pushes the
  // nodes' filled surfaces behind the lines and points drawn on them; 1, 1
  // unless set. An overlay that draws a surface of its own in place of the
  // nodes' pushes theirs further back.
  void setSurfaceOffset(float factor, float units) { surfaceOffset_[0] = factor, surfaceOffset_[1] = units; }

  // Draws every node and the handles of the visible position knobs and reads
  // the picture back as RGBA rows, top row first (with `rgba` null, reads
  // nothing back). False, with a message, when there is no OpenGL.
  bool draw(std::vector<unsigned char>* rgba, std::string* error);
  bool writePicture(const std::string& path, std::string* error);

  // A press at pixel (x, y): a selection pass in which the nodes and the
  // position-knob handles name what they draw, then the press callbacks
  // that knobs registered in that pass. A press on a position-knob handle
  // grabs that knob for the following drag steps.
  bool press(float x, float y, std::string* error);
  // Moves the grabbed knob, if any, in the plane facing the camera through
  // its position at the press, so that it follows the pointer; each step sets
  // the knob's value (in the space of its node's parent) as a user would.
  void dragTo(float x, float y);
  // Ends the press: a last move to (x, y), then the knob is let go.
  void release(float x, float y);
  // The knob that the current press grabbed; null for none.
  Knob* grabbedKnob() const;

  // The transform under which the viewer draws a node and its knob handles:
  // the world transform of the axis on an axis node's input 0, else none.
  static Matrix4 parentMatrix(const Op* op);

 private:
  bool prepare(std::string* error);
  void beginFrame(bool select, float pickX, float pickY);
  void buildHandles();
  void drawHandles(bool select);
  // A digest of everything a drawing is drawn from: the camera and the
  // viewer's settings, and each node's selection, state, hash, inputs and
  // knobs (flags, visibility, values, text stamps). 0 while a node is not
  // validated: the drawing itself would then validate it.
  unsigned long long drawingKey() const;
  // Puts the last picture back into the current context's framebuffer.
  void putPicture() const;
  bool rayThrough(float x, float y, Vector3* origin, Vector3* direction) const;
  bool pointerOnPlane(float x, float y, Vector3* out) const;

  Graph& graph_;
  std::function<void(ViewerContext&)> overlay_;
  float surfaceOffset_[2] = {1, 1};
  bool stencil_ = true;
  bool currentContext_ = false;
  Camera camera_;
  ViewerContext ctx_;
  std::unique_ptr<OffscreenGL> gl_;
  // The position knobs that got a handle in the last pass, in name order.
  std::vector<Knob*> positionKnobs_;
  // The last picture drawn without an overlay, rows bottom first as GL reads
  // them, and the drawing key it was drawn at (0: none kept). A frame at the
  // same key shows it again instead of drawing.
  std::vector<unsigned char> picture_;
  unsigned long long pictureKey_ = 0;

  // The grabbed knob, found again by node and knob name at every step.
  std::string grabNode_;
  std::string grabKnob_;
  Vector3 grabStart_;    // the knob's position at the press, in viewer space
  Vector3 grabAnchor_;   // where the press met the drag plane
  Matrix4 grabInverse_;  // from viewer space to the space of the knob's value
};

}  // namespace Image
}  // namespace DD

#endif
