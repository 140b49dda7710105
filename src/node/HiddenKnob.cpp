// The knob through which the viewer tells the card about presses: it
// registers a pick callback for every press and drag event.
#include "node/QuorCard.h"
#include "viewer/HandleIds.h"

using namespace DD::Image;

namespace quorcard {

QuorCard::HiddenKnob::HiddenKnob(Knob_Closure* f, QuorCard* node, const char* name)
    : Knob(f, name), owner_(node), position_{0, 0, 0} {}

const char* QuorCard::HiddenKnob::Class() const { return "HiddenKnob"; }

bool QuorCard::HiddenKnob::build_handle(ViewerContext*) { return true; }

void QuorCard::HiddenKnob::draw_handle(ViewerContext* ctx) {
  if (ctx->event() != PUSH && ctx->event() != DRAG) return;
  begin_handle(ANYWHERE, ctx, pickCallback, kPickHandleIndex, position_[0], position_[1], position_[2],
               ViewerContext::kNoCursor);
  end_handle(ctx);
}

// On a press, shows the knobs of the point or handle that the draw pass
// found under the pointer, or hides them all when it found none.
bool QuorCard::HiddenKnob::pickCallback(ViewerContext* ctx, Knob* knob, int) {
  if (ctx->event() != PUSH) return true;
  HiddenKnob* hidden = dynamic_cast<HiddenKnob*>(knob);
  if (hidden && hidden->owner_) hidden->owner_->pickPoint(hidden->owner_->selectedHandle);
  return true;
}

}  // namespace quorcard
