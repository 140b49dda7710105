#include "DDImage/Knob.h"

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"
#include "DDImageHost/Host.h"

namespace DD {
namespace Image {

const char INVISIBLE[] = "INVISIBLE";

Knob::Knob(Knob_Closure*, const char* name, const char* label)
    : name_(name ? name : ""),
      label_(label && label != ::DD::Image::INVISIBLE ? label : ""),
      labelInvisible_(label == ::DD::Image::INVISIBLE),
      labelAbsent_(label == nullptr) {}

Knob::~Knob() {}

const std::string& Knob::tooltip() const {
  static const std::string none;
  return tooltip_ ? *tooltip_ : none;
}

void Knob::tooltip(const std::string& t) {
  if (t.empty())
    tooltip_.reset();
  else
    tooltip_.reset(new std::string(t));
}

int Knob::kind() const { return CUSTOM_KNOB; }

// Nodes set flags and visibility again in every pass over their knobs: only
// a change is told.
void Knob::set_flag(FlagMask f) {
  if ((flags_ & f) == f) return;
  flags_ |= f;
  noteChange(true);
}

void Knob::clear_flag(FlagMask f) {
  if ((flags_ & f) == 0) return;
  flags_ &= ~f;
  noteChange(true);
}

void Knob::noteChange(bool layout) const {
  if (Node* node = op_ ? op_->node() : nullptr) node->noteKnobChange(*this, layout);
}

void Knob::visible(bool v) {
  if (visible_ == v && !(v && flag(HIDDEN))) return;
  visible_ = v;
  if (v) flags_ &= ~HIDDEN;
  noteChange(true);
}

bool Knob::isVisible() const { return visible_ && !flag(HIDDEN) && !flag(INVISIBLE) && !labelInvisible_; }

void Knob::begin_handle(HandleContext context, ViewerContext* ctx, Handle* callback, int index, float x, float y,
                        float z, ViewerContext::Cursor) {
  if (!ctx) return;
  ctx->knobHandles().push_back({this, context.type, callback, index, x, y, z});
  ctx->setInHandle(true);
}

void Knob::end_handle(ViewerContext* ctx) {
  if (ctx) ctx->setInHandle(false);
}

void SetFlags(Knob_Callback f, Knob::FlagMask flags) {
  if (f.makeKnobs() && f.getLastMadeKnob()) f.getLastMadeKnob()->set_flag(flags);
}

void ClearFlags(Knob_Callback f, Knob::FlagMask flags) {
  if (f.makeKnobs() && f.getLastMadeKnob()) f.getLastMadeKnob()->clear_flag(flags);
}

void Tooltip(Knob_Callback f, const char* text) {
  if (f.makeKnobs() && f.getLastMadeKnob()) f.getLastMadeKnob()->tooltip(text ? text : "");
}

void Tooltip(Knob_Callback f, const std::string& text) { Tooltip(f, text.c_str()); }

}  // namespace Image
}  // namespace DD
