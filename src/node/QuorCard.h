// QuorCard: a card in 3-D, placed by its own axis transform and deformed by
// a grid of control points with tangent handles.
#ifndef QUORCARD_NODE_QUORCARD_H
#define QUORCARD_NODE_QUORCARD_H

#include <map>
#include <string>

#include "DDImage/AxisOp.h"
#include "DDImage/Knob.h"
#include "DDImage/Matrix4.h"
#include "DDImage/ViewerContext.h"
#include "grid/ControlGrid.h"
#include "grid/VtxPoint.h"
#include "node/QuorNodeBase.h"

namespace quorcard {

class QuorCardBase : public QuorNodeBase<DD::Image::AxisOp> {
 public:
  explicit QuorCardBase(Node* node) : QuorNodeBase<DD::Image::AxisOp>(node) {}
};

class QuorCard : public QuorCardBase {
 public:
  // The knob that registers the viewer's pick callback; it holds no value
  // and draws nothing.
  class HiddenKnob : public DD::Image::Knob {
   public:
    HiddenKnob(DD::Image::Knob_Closure* f, QuorCard* owner, const char* name);
    ~HiddenKnob() override;
    const char* Class() const override;
    bool build_handle(DD::Image::ViewerContext*) override;
    void draw_handle(DD::Image::ViewerContext*) override;
    QuorCard* owner;
    float position[3];
  };

  explicit QuorCard(Node* node);
  ~QuorCard() override;

  // ---- renderable primitive ----
  Box3f bound() const override;
  void emit() override;

  // ---- host operator ----
  void _validate(bool for_real) override;
  HandlesMode doAnyHandles(DD::Image::ViewerContext* ctx) override;
  void detach() override;
  void attach() override;
  void knobs(DD::Image::Knob_Callback f) override;
  int knob_changed(DD::Image::Knob* k) override;
  void build_handles(DD::Image::ViewerContext* ctx) override;
  void draw_handle(DD::Image::ViewerContext* ctx) override;
  int minimum_inputs() const override { return 2; }
  int maximum_inputs() const override { return 2; }
  bool test_input(int n, DD::Image::Op* op) const override;
  void append(DD::Image::Hash& hash) override;
  DD::Image::Op* default_input(int n) const override;
  const char* node_shape() const override;
  const char* node_help() const override;
  const char* input_label(int n, char* buffer) const override;
  const char* Class() const override;
  const char* displayName() const override;

  static const DD::Image::Op::Description description;

  // The card's aspect from the "img" input when "aspect" asks for it.
  float inputAspect();

  // The node's own transform (without its axis input) and its world
  // transform, both kept by the axis base.
  const DD::Image::Matrix4& localMatrix() const { return local_; }
  const DD::Image::Matrix4& renderMatrix() const { return matrix_; }

  // ---- control-point grid (node side) ----
  void buildDefaultGrid(int columns, int rows);
  void setRatio(float r);
  void scaleGrid(float sx, float sy);
  void movePoint(int index, const DD::Image::Vector3& knobValue);
  TangentEdit setTangentHandle(int index, int slot, const DD::Image::Vector3& knobValue);
  void storePoints();
  void restorePoints();

  // ---- per-point knobs ----
  static void pointKnobsCallback(void* node, DD::Image::Knob_Callback f);
  void buildPointKnobs(DD::Image::Knob_Callback f);
  void rebuildPointKnobs();
  void resetControlPoints();
  void refreshPointKnobs();
  void refreshSelectedPointKnobs();
  void deselectPoint();
  void updateTangentKnobVisibility();
  // Applies a change of a per-point knob; false when `k` is not one.
  bool applyPointKnobChange(DD::Image::Knob* k);

  // ---- viewer ----
  void drawCardSurface(DD::Image::ViewerContext* ctx);
  void drawCage(DD::Image::ViewerContext* ctx);
  void drawControlPoints(DD::Image::ViewerContext* ctx, bool pickMode);
  void pickHandle(DD::Image::ViewerContext* ctx);
  std::string labelText() const;
  static bool pickCallback(DD::Image::ViewerContext* ctx, DD::Image::Knob* knob, int index);
  void selectPoint(int row, int column);
  void deselectAllPoints();

  // ---- members, in the order the node keeps them ----
  int forceUpdate;
  int orientation;
  int aspectMode;
  bool flipUvs;
  bool flopUvs;
  bool swapUvs;
  int shade;
  int interpolation;
  int xPoints;
  int yPoints;
  float ratio;
  float xRatio;
  float yRatio;
  PointList points;
  int selectedHandle;
  std::string cpText;
  int dynamicKnobCount;
  std::map<std::string, int> pointKnobIndex;
  std::string selectedPointKnob;
  bool breakTangent;
  bool mirrorTangent;
  int handleSize;
};

// The factory registered under "QuorCard".
DD::Image::Op* createQuorCard(Node* node);

// Name of the per-point knob of column c, row r ("control_point.c.r").
std::string pointKnobName(int column, int row);

}  // namespace quorcard

#endif
