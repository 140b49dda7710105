// QuorCard: a card in 3-D, placed by its own axis transform and deformed by
// a grid of control points with tangent handles.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "DDImage/AxisOp.h"
#include "DDImage/Hash.h"
#include "DDImage/Knob.h"
#include "DDImage/Matrix4.h"
#include "DDImage/ViewerContext.h"
#include "grid/ControlGrid.h"
#include "grid/TextureMapping.h"
#include "node/PointKnobNames.h"
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
    const char* Class() const override;
    bool build_handle(DD::Image::ViewerContext*) override;
    void draw_handle(DD::Image::ViewerContext*) override;

   private:
    static bool pickCallback(DD::Image::ViewerContext* ctx, DD::Image::Knob* knob, int index);
    QuorCard* owner_;
    float position_[3];
  };

  explicit QuorCard(Node* node);

  // ---- renderable primitive ----
  Box3f bound() const override;
  void emit() override;

  // ---- host operator ----
  void _validate(bool for_real) override;
  HandlesMode doAnyHandles(DD::Image::ViewerContext* ctx) override;
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

 private:
  UvRules uvRules() const { return UvRules{flipUvs, flopUvs, swapUvs}; }
  // The reactions to a changed knob, each test run for every knob.
  void react(DD::Image::Knob* k);

  // ---- the grid, edited through knob values (CardGrid.cpp) ----
  // Whether a grid of columns x rows fits in the memory the system can
  // give; when it does not, says so in one warning.
  bool gridFits(int columns, int rows) const;
  // Puts "x_points" and "y_points" back to the grid in place.
  void keepGridShape();
  void buildDefaultGrid();
  void setRatio(float r);
  void scaleGrid(float sx, float sy);
  void movePoint(std::size_t index, const DD::Image::Vector3& knobValue);
  TangentEdit setTangentHandle(std::size_t index, int slot, const DD::Image::Vector3& knobValue);
  void storePoints();
  // The same after an edit of one point.
  void storePoint(std::size_t index);
  void restorePoints();
  // Every change of cpText goes through here.
  void setCpText(std::string&& text);
  // Appends cpText to the change hash; see textHashes.
  void appendCpText(DD::Image::Hash& hash);

  // ---- per-point knobs (PointKnobs.cpp) ----
  static void pointKnobsCallback(void* node, DD::Image::Knob_Callback f);
  void buildPointKnobs(DD::Image::Knob_Callback f);
  void rebuildPointKnobs();
  void resetControlPoints();
  // Sets the knobs of one point (and of its handles) to the point's
  // transformed positions.
  void showPointValues(int column, int row);
  void refreshPointKnobs();
  void refreshSelectedPointKnobs();
  // Hides the knobs of a point whose knob is shown, with its handles' knobs.
  void hidePointKnobs(int column, int row);
  void updateTangentKnobVisibility();
  // Shows "mirror_tangent" exactly while "break_tangent" is off.
  void showMirrorKnob();
  // Applies a change of a per-point knob; false when `k` is not one.
  bool applyPointKnobChange(DD::Image::Knob* k);

  // ---- picking (PointSelection.cpp) ----
  void pickPoint(int handleId);
  void selectPoint(int column, int row);
  void deselectAllPoints();

  // ---- viewer (DrawHandle.cpp) ----
  // The pick pass of a pointer event: the point or handle under the pointer
  // into "selected_cp".
  void pick(DD::Image::ViewerContext* ctx);
  bool showsControlPoints();
  std::string labelText() const;

  // ---- members bound to knobs ----
  int forceUpdate = 0;
  int orientation = 0;
  int aspectMode = 0;
  bool flipUvs = false;
  bool flopUvs = false;
  bool swapUvs = false;
  int shade = 0;
  int interpolation = 0;
  int xPoints = 4;
  int yPoints = 4;
  float ratio = 1.0f;
  float xRatio = 1.0f;
  float yRatio = 1.0f;
  int selectedHandle = 0;
  bool breakTangent = false;
  bool mirrorTangent = false;
  int handleSize = 5;

  // ---- the grid and its text ----
  ControlGrid grid;
  // The columns and rows of the last grid made or read whole.
  int shapeColumns = 4;
  int shapeRows = 4;
  std::string cpText;
  // Whether cpText holds the grid's points (written from them, or the text
  // they were just read from), and where its points' elements begin (see
  // rewritePointText); empty until needed.
  bool cpTextHoldsGrid = false;
  std::vector<std::size_t> pointStarts;
  // The member bound to "cpstr", through which the knob and cpText trade
  // the text in a knobs() pass (QuorCardKnobs.cpp); empty between passes.
  std::string cpstrTransfer;
  // After a storing pass: whether the host wrote the knob's text into
  // cpstrTransfer.
  bool hostWroteCpstr() const;
  // Whether the text of knob "cpstr" is cpText.
  bool knobHoldsCpText(const DD::Image::Knob& k) const;
  // Appending cpText reads the whole text, yet most validations follow
  // changes that leave it alone. While cpText stays the same, the hash after
  // it is remembered for the last few hashes that came before it: a knob
  // that enters the hash ahead of the text, toggled, alternates between two
  // of them. Emptied by every change of cpText.
  struct TextHash {
    DD::Image::Hash before;
    DD::Image::Hash after;
  };
  std::array<TextHash, 4> textHashes;
  std::size_t textHashCount = 0;
  std::size_t textHashNext = 0;

  // ---- the per-point knobs made after "delimiter" ----
  int dynamicKnobCount = 0;
  // The point whose knobs are shown; column -1 when none.
  int selectedColumn = -1;
  int selectedRow = -1;
};

// The factory registered under "QuorCard".
DD::Image::Op* createQuorCard(Node* node);

}  // namespace quorcard
