// The card's reactions to a changed knob: every test runs for every knob.
#include <iostream>
#include <new>

#include "DDImage/Knob.h"
#include "Quor/Quor.h"
#include "node/KnobNames.h"
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

namespace {

bool isTransformKnob(const Knob* k) {
  for (const char* name : knobname::kTransformKnobs)
    if (k->is(name)) return true;
  return false;
}

}  // namespace

void QuorCard::react(Knob* k) {
  using namespace knobname;
  if (k->is(kShowPanel)) rebuildPointKnobs();

  if (isTransformKnob(k)) {
    // The knobs show the points through the local matrix, which the host
    // recomputes on validation.
    validate(false);
    refreshSelectedPointKnobs();
  }

  applyPointKnobChange(k);

  if (k->is(kAspect)) setRatio(aspectMode != 0 ? inputAspect() : 1.0f);

  if (k->is(kType)) updateTangentKnobVisibility();

  if (k->is(kBreakTangent)) showMirrorKnob();

  if (k->is(kResetHandles) || k->is(kXPoints) || k->is(kYPoints)) resetControlPoints();

  if (k->is(kHandleSize)) Quor_setOptionInt(libquor::kHandleSizeOption, handleSize);
}

}  // namespace quorcard
