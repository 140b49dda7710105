// The stock "Axis" node: a transform that other 3-D nodes hang under.
#include "DDImage/AxisOp.h"

namespace DD {
namespace Image {
namespace {

class Axis : public AxisOp {
 public:
  explicit Axis(Node* node) : AxisOp(node) {}
  const char* Class() const override { return description.name; }
  const char* node_help() const override { return "Places its children in 3-D with its transform."; }
  // The output is the transform: its hash follows the local matrix (the
  // parent's part comes in through the input's hash).
  void append(Hash& h) override { h.append(local().array(), 16 * sizeof(float)); }
  static const Description description;
};

Op* buildAxis(Node* node) { return new Axis(node); }
const Op::Description Axis::description("Axis", buildAxis);

}  // namespace
}  // namespace Image
}  // namespace DD
