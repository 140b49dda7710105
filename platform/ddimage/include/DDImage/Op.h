// Op: the base of every node's operator.
#ifndef DDImage_Op_h
#define DDImage_Op_h

#include <iosfwd>
#include <string>
#include <vector>

#include "DDImage/Description.h"
#include "DDImage/Hash.h"
#include "DDImage/Knobs.h"
#include "DDImage/ViewerContext.h"

class Node;

namespace DD {
namespace Image {

class Op {
 public:
  class Description : public DD::Image::Description {
   public:
    typedef Op* (*OpConstructor)(Node*);
    const char* name;
    Description(const char* name, OpConstructor c, License* l = nullptr);
    ~Description();
    Op* constructor(Node* node) const { return constructor_(node); }
    static const Description* find(int i);
    static const Description* find(const char* name);
    static int count();

   private:
    OpConstructor constructor_;
  };

  enum HandlesMode { eNoHandles = 0, eHandlesUncooked = 1, eHandlesCooked = 3 };

  virtual ~Op();

  virtual const char* Class() const = 0;
  virtual const char* displayName() const { return Class(); }
  virtual const char* node_help() const = 0;
  virtual const char* node_shape() const { return "[]"; }
  virtual const char* input_label(int, char*) const { return nullptr; }

  // Inputs.
  int inputs() const { return static_cast<int>(inputs_.size()); }
  Op* input(int n) const { return n >= 0 && n < inputs() ? inputs_[n] : nullptr; }
  Op* input0() const { return input(0); }
  Op* input1() const { return input(1); }
  virtual int minimum_inputs() const { return 1; }
  virtual int maximum_inputs() const { return 1; }
  virtual bool test_input(int, Op*) const { return true; }
  virtual Op* default_input(int) const { return nullptr; }
  // Connects input n (growing the input count up to maximum_inputs());
  // false when test_input refuses the operator.
  bool set_input(int n, Op* op);

  // Validation: _validate runs once per change, of this operator's knobs or
  // of anything upstream.
  void validate(bool for_real = true);
  void invalidate();
  bool valid() const { return valid_; }
  virtual void _validate(bool for_real);
  // The hash of the operator's output, up to date after validate().
  const Hash& hash() const { return hash_; }
  virtual void append(Hash&) {}

  virtual void attach() {}
  virtual void detach() {}

  // Knobs.
  virtual void knobs(Knob_Callback) {}
  Knob* knob(const char* name) const;
  virtual int knob_changed(Knob*) { return 0; }
  int replace_knobs(Knob* after, int n, void (*f)(void*, Knob_Callback), void* data, const char* fileExt = nullptr);

  bool node_disabled() const;
  bool node_selected() const;
  Node* node() const { return node_; }

  // Errors are shown on the node; they never throw.
  void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool hasError() const { return !errorMessage_.empty(); }
  const std::string& errorMessage() const { return errorMessage_; }
  void clearError() { errorMessage_.clear(); }

  // Viewer handles.
  virtual void build_handles(ViewerContext*);
  void add_draw_handle(ViewerContext*);
  virtual void draw_handle(ViewerContext*) {}

  // The host's printer of a node's name.
  static void (*print_name_cb)(std::ostream&, const Op*);
  void print_name(std::ostream& o) const;

  // How far the host has come in setting the node up: made with its knobs,
  // its knob values stored into its members, then attached (set up). Below
  // eNodeSetUp until the host has applied a loaded script's knob values.
  enum NodeState { eNodeMade = 1, eNodeStored = 2, eNodeSetUp = 3 };
  int node_state() const { return state_; }
  void set_node_state(int s) { state_ = s; }

 protected:
  explicit Op(Node* node);

  HandlesMode anyKnobHandles(ViewerContext*);
  void build_knob_handles(ViewerContext*);
  virtual HandlesMode doAnyHandles(ViewerContext*) { return eNoHandles; }

 private:
  friend class ::Node;
  Node* node_;
  std::vector<Op*> inputs_;
  bool valid_ = false;
  bool validForReal_ = false;
  Hash hash_;
  // The inputs' hash values when this operator was last validated.
  std::vector<U64> inputHashes_;
  std::string errorMessage_;
  int state_ = 0;
};

}  // namespace Image
}  // namespace DD

#endif
