// The card's reactions to a changed knob: every test runs for every knob.
#include <iostream>
#include <new>

#include "DDImage/Knob.h"
#include "Quor/Quor.h"
#include "node/QuorCard.h"
#include "render/LoadLibQuor.h"

using namespace DD::Image;

namespace quorcard {

int QuorCard::knob_changed(Knob* k) {
  if (!k) return Op::knob_changed(k);
  // Running out of memory must not take the host down: the stored text
  // still holds the points as they were before this change.
  try {
    react(k);
  } catch (const std::bad_alloc&) {
    std::cerr << "[Brunvik] WARNING: out of memory while changing \"" << k->name()
              << "\"; the points are read back from their stored text." << std::endl;
    try {
      restorePoints();
    } catch (const std::bad_alloc&) {
    }
  }
  return 1;
}

void QuorCard::react(Knob* k) {
  if (k->is("showPanel")) rebuildPointKnobs();

  if (k->is("translate") || k->is("rotate") || k->is("scaling") || k->is("uniform_scale") || k->is("skew") ||
      k->is("pivot")) {
    // The knobs show the points through the local matrix, which the host
    // recomputes on validation.
    validate(false);
    refreshSelectedPointKnobs();
  }

  applyPointKnobChange(k);

  if (k->is("aspect")) setRatio(aspectMode != 0 ? inputAspect() : 1.0f);

  if (k->is("type")) updateTangentKnobVisibility();

  if (k->is("break_tangent")) {
    if (Knob* mirror = knob("mirror_tangent")) {
      mirror->visible(!breakTangent);
      mirror->updateWidgets();
    }
  }

  if (k->is("reset_handles") || k->is("x_points") || k->is("y_points")) resetControlPoints();

  if (k->is("handle_size")) Quor_setOptionInt(libquor::kHandleSizeOption, handleSize);
}

}  // namespace quorcard
