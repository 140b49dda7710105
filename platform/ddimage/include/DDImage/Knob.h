// A knob: one parameter of a node. The host keeps every knob's value; the
// node's knobs() closure copies the values into the node's members.
#ifndef DDImage_Knob_h
#define DDImage_Knob_h

#include <memory>
#include <string>
#include <vector>

#include "DDImage/Hash.h"
#include "DDImage/ValueStuffI.h"
#include "DDImage/ViewerContext.h"

class Node;

namespace DD {
namespace Image {

class Knob_Closure;
class Op;
class OutputContext;

class Knob : public ValueStuffI {
 public:
  typedef U64 FlagMask;
  static const FlagMask MAGNITUDE = 0x1;
  static const FlagMask SLIDER = 0x2;
  static const FlagMask LOG_SLIDER = 0x4;
  static const FlagMask FORCE_RANGE = 0x10;
  static const FlagMask DISABLED = 0x80;
  static const FlagMask NO_ANIMATION = 0x100;
  static const FlagMask DO_NOT_WRITE = 0x200;
  static const FlagMask INVISIBLE = 0x400;
  static const FlagMask RESIZABLE = 0x800;
  static const FlagMask STARTLINE = 0x1000;
  static const FlagMask ENDLINE = 0x2000;
  static const FlagMask NO_RERENDER = 0x4000;
  static const FlagMask NO_HANDLES = 0x8000;
  static const FlagMask HIDDEN = 0x40000;
  static const FlagMask CLOSED = 0x1;  // on groups

  typedef bool(Handle)(ViewerContext*, Knob*, int index);
  enum HandleType {
    INVALID = -1,
    POSITION = 0,
    SELECTABLE,
    DISTANCE_FROM_POINT,
    DISTANCE_WITH_SNAP,
    ANYWHERE = 20,
    ANYWHERE_MOUSEMOVES,
    ANYWHERE_KEY_PRESSES,
  };
  class HandleContext {
   public:
    HandleContext(HandleType t) : type(t) {}
    HandleContext(int t) : type(static_cast<HandleType>(t)) {}
    HandleType type;
  };

  Knob(Knob_Closure* closure, const char* name, const char* label = nullptr);
  ~Knob() override;
  Knob(const Knob&) = delete;
  Knob& operator=(const Knob&) = delete;

  virtual const char* Class() const = 0;

  bool is(const char* name) const { return name && name_ == name; }
  const std::string& name() const { return name_; }
  const char* name_c_str() const { return name_.c_str(); }
  const std::string& label() const { return label_; }
  // True when the knob was made without a label: the host shows its name.
  // An empty label shows nothing.
  bool labelAbsent() const { return labelAbsent_; }
  bool labelIsInvisible() const { return labelInvisible_; }
  const std::string& tooltip() const;
  void tooltip(const std::string& t);

  // The knob kind number (STRING_KNOB, INT_KNOB, ...).
  virtual int kind() const;

  FlagMask flags() const { return flags_; }
  void set_flag(FlagMask f);
  void clear_flag(FlagMask f);
  bool flag(FlagMask f) const { return (flags_ & f) != 0; }

  // HIDDEN knobs stay hidden until visible(true); INVISIBLE labels and the
  // INVISIBLE flag hide a knob that is still saved.
  void visible(bool v);
  bool isVisible() const;
  // Tells the panel to redraw the knob; the substitute host counts calls.
  void updateWidgets() { ++widgetUpdates_; }
  int widgetUpdates() const { return widgetUpdates_; }

  // Text of a string-like knob; null for knobs without text.
  virtual const char* get_text(const OutputContext* = nullptr) const { return nullptr; }
  // Sets the knob from text as a script or user gives it. False when the
  // text is not a valid value for this knob.
  virtual bool set_text(const char*) { return false; }
  // The value as the host shows and writes it in text.
  virtual std::string valueText() const { return std::string(); }

  bool set_value(double, int = -1) override { return false; }
  double get_value(int = 0) const override { return 0; }
  virtual int channels() const { return 0; }
  // True when the knob holds a value that is saved and differs from its default.
  virtual bool notDefault() const { return false; }
  virtual bool hasValue() const { return false; }

  // Viewer handles.
  virtual bool build_handle(ViewerContext*) { return false; }
  virtual void draw_handle(ViewerContext*) {}
  void begin_handle(HandleContext, ViewerContext*, Handle*, int index, float x = 0, float y = 0, float z = 0,
                    ViewerContext::Cursor = ViewerContext::kNoCursor);
  void end_handle(ViewerContext*);

  // Host side.
  Op* op() const { return op_; }
  void setOp(Op* op) { op_ = op; }
  bool madeByReplace() const { return madeByReplace_; }
  void setMadeByReplace(bool b) { madeByReplace_ = b; }

 protected:
  // Tells the knob's node that the knob changed (see Node::noteKnobChange).
  void noteChange(bool layout) const;

  // A node may have hundreds of thousands of knobs: the members are few and
  // packed, and a tooltip, which few knobs have, is held apart.
  std::string name_;
  std::string label_;
  std::unique_ptr<std::string> tooltip_;
  FlagMask flags_ = 0;
  Op* op_ = nullptr;
  int widgetUpdates_ = 0;
  bool labelInvisible_ = false;
  bool labelAbsent_ = false;
  bool visible_ = true;
  bool madeByReplace_ = false;
};

}  // namespace Image
}  // namespace DD

#endif
