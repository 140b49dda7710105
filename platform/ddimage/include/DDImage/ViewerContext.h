// What a node sees of the viewer while it draws or handles an event.
#ifndef DDImage_ViewerContext_h
#define DDImage_ViewerContext_h

#include <vector>

#include "DDImage/Matrix4.h"

namespace DD {
namespace Image {

class Knob;
class Op;

enum ViewerEvent {
  NO_EVENT = 0,
  DRAW_OPAQUE = 1,
  DRAW_TRANSPARENT = 2,
  DRAW_STIPPLED = 3,
  DRAW_SHADOW = 4,
  DRAW_LINES = 5,
  MOVE = 6,
  PUSH = 7,
  DRAG = 8,
  RELEASE = 9,
  KEY = 10,
  KEYUP = 11
};

enum ViewerMode { VIEWER_2D = 0, VIEWER_PERSP, VIEWER_ORTHO };
// How the node's output reaches the viewer: SHOW_OBJECT and above ask the
// node to draw itself.
enum ViewerConnected { NOT_CONNECTED = 0, CONNECTED, SHOW_OBJECT, SHOW_PUSHED_OBJECT };

class ViewerContext {
 public:
  enum Cursor { kNoCursor = 0, kCrossCursor, kArrowCursor };

  // A callback registered by a knob for the current pass.
  struct KnobHandle {
    Knob* knob;
    int type;
    bool (*callback)(ViewerContext*, Knob*, int);
    int index;
    float x, y, z;
  };
  // A node that asked for its draw_handle to be called.
  struct DrawHandle {
    Op* op;
  };

  ViewerEvent event() const { return event_; }
  bool draw_lines() const { return event_ > DRAW_STIPPLED; }
  bool hit_detect() const { return event_ >= MOVE; }
  bool lighting() { return lighting_; }
  unsigned node_color() const { return nodeColor_; }
  unsigned fg_color() const { return fgColor_; }
  unsigned bg_color() const { return bgColor_; }
  unsigned selected_color() const { return selectedColor_; }
  ViewerConnected connected() const { return connected_; }
  int transform_mode() const { return transformMode_; }
  ViewerMode viewer_mode() const { return viewerMode_; }
  // Pointer position in viewer pixels (x rightward, y downward).
  float mouse_x() const { return mouseX_; }
  float mouse_y() const { return mouseY_; }

  Matrix4 modelmatrix;
  Matrix4 proj_matrix;

  // Host side.
  void setEvent(ViewerEvent e) { event_ = e; }
  void setLighting(bool b) { lighting_ = b; }
  void setColors(unsigned node, unsigned fg, unsigned bg, unsigned selected) {
    nodeColor_ = node;
    fgColor_ = fg;
    bgColor_ = bg;
    selectedColor_ = selected;
  }
  void setConnected(ViewerConnected c) { connected_ = c; }
  void setTransformMode(int m) { transformMode_ = m; }
  void setViewerMode(ViewerMode m) { viewerMode_ = m; }
  void setMouse(float x, float y) {
    mouseX_ = x;
    mouseY_ = y;
  }
  std::vector<KnobHandle>& knobHandles() { return knobHandles_; }
  std::vector<DrawHandle>& drawHandles() { return drawHandles_; }
  // Knobs whose build_handle asked for their draw_handle in this pass.
  std::vector<Knob*>& activeKnobs() { return activeKnobs_; }
  void clearHandles() {
    knobHandles_.clear();
    drawHandles_.clear();
    activeKnobs_.clear();
  }
  // True between begin_handle and end_handle.
  bool inHandle() const { return inHandle_; }
  void setInHandle(bool b) { inHandle_ = b; }

 private:
  ViewerEvent event_ = DRAW_OPAQUE;
  bool lighting_ = false;
  unsigned nodeColor_ = 0xC0C0C0FF;
  unsigned fgColor_ = 0xFFFFFFFF;
  unsigned bgColor_ = 0x000000FF;
  unsigned selectedColor_ = 0xFFFF00FF;
  ViewerConnected connected_ = SHOW_OBJECT;
  int transformMode_ = VIEWER_PERSP;
  ViewerMode viewerMode_ = VIEWER_PERSP;
  float mouseX_ = 0, mouseY_ = 0;
  std::vector<KnobHandle> knobHandles_;
  std::vector<DrawHandle> drawHandles_;
  std::vector<Knob*> activeKnobs_;
  bool inHandle_ = false;
};

}  // namespace Image
}  // namespace DD

#endif
