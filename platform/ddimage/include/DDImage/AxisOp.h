// AxisOp: an operator that places things in 3-D with its transform knobs.
#ifndef DDImage_AxisOp_h
#define DDImage_AxisOp_h

#include "DDImage/Matrix4.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class AxisOp : public Op {
 public:
  ~AxisOp() override;
  const Matrix4& local() const { return local_; }
  const Matrix4& matrix() const { return matrix_; }

  void knobs(Knob_Callback f) override;
  // Computes the local matrix from the knobs and the world matrix from
  // input 0's world matrix and the local one.
  void _validate(bool for_real) override;
  int minimum_inputs() const override { return 1; }
  int maximum_inputs() const override { return 1; }
  bool test_input(int n, Op* op) const override;
  void build_handles(ViewerContext*) override;
  void draw_handle(ViewerContext*) override;
  const char* input_label(int n, char*) const override { return n == 0 ? "axis" : nullptr; }

 protected:
  explicit AxisOp(Node* node);

  // The local matrix that the transform knobs give, in the order
  // translate * pivot * rotate(Y * X * Z) * skew * scale * pivot^-1.
  Matrix4 knobMatrix() const;

  Matrix4 localtransform_;
  Matrix4 local_;
  Matrix4 matrix_;

  float translate_[3] = {0, 0, 0};
  float rotate_[3] = {0, 0, 0};
  float scaling_[3] = {1, 1, 1};
  double uniformScale_ = 1.0;
  float skew_[3] = {0, 0, 0};
  float pivot_[3] = {0, 0, 0};
  int display_ = 3;
  bool selectable_ = true;
};

}  // namespace Image
}  // namespace DD

#endif
