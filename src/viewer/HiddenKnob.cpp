// The knob through which the viewer tells the card about presses: it
// registers a pick callback for every press and drag event.
#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

namespace {
const int kHandleContextAnywhere = 20;
const int kPickHandleIndex = 9999;
}  // namespace

QuorCard::HiddenKnob::HiddenKnob(Knob_Closure* f, QuorCard* node, const char* name)
    : Knob(f, name), owner(node), position{0, 0, 0} {}

QuorCard::HiddenKnob::~HiddenKnob() {}

const char* QuorCard::HiddenKnob::Class() const { return "HiddenKnob"; }

bool QuorCard::HiddenKnob::build_handle(ViewerContext*) { return true; }

void QuorCard::HiddenKnob::draw_handle(ViewerContext* ctx) {
  if (ctx->event() != PUSH && ctx->event() != DRAG) return;
  begin_handle(kHandleContextAnywhere, ctx, pickCallback, kPickHandleIndex, position[0], position[1], position[2],
               ViewerContext::kNoCursor);
  end_handle(ctx);
}

bool QuorCard::pickCallback(ViewerContext* ctx, Knob* knob, int) {
  if (ctx->event() != PUSH) return true;
  HiddenKnob* hidden = dynamic_cast<HiddenKnob*>(knob);
  if (!hidden || !hidden->owner) return true;
  QuorCard* card = hidden->owner;
  if (card->selectedHandle >= 10000 && card->node_selected()) {
    const int i = (card->selectedHandle - 10000) / 5;
    card->selectPoint(i / card->xPoints, i % card->xPoints);
  } else {
    card->deselectAllPoints();
  }
  return true;
}

}  // namespace quorcard
