// The card node: registration, identity, inputs, validation, change hash and
// the handle entry points.
#include "node/QuorCard.h"

#include <dlfcn.h>

#include <cfloat>
#include <new>
#include <string>

#include <boost/algorithm/string/replace.hpp>

#include "DDImage/Iop.h"
#include "Quor/Quor.h"
#include "render/CardEmission.h"
#include "render/LoadLibQuor.h"

using namespace DD::Image;

namespace quorcard {

namespace {

// The plug-in file as the host recorded it when it loaded the plug-in. A host
// that records nothing (the code linked into a program) gets the file that
// holds this code.
std::string pluginPath() {
  if (QuorCard::description.plugin) return QuorCard::description.plugin;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&createQuorCard), &info) && info.dli_fname) return info.dli_fname;
  return std::string();
}

std::string composeHelpText() {
  std::string text = "QuorCard " QUORCARD_VERSION "\n\nA card primitive.\n\nBuilt: " __DATE__ " " __TIME__;
  const char* renderer = nullptr;
  const char* version = nullptr;
  int type = 0, count = 0;
  const bool named = QxRendererInfo("renderer", &renderer, sizeof renderer, &type, &count) == 0;
  const bool versioned = QxRendererInfo("versionstring", &version, sizeof version, &type, &count) == 0;
  if (named && versioned && renderer && version) text += std::string("\nEngine: ") + renderer + " " + version;
  return text;
}

}  // namespace

const Op::Description QuorCard::description("QuorCard", createQuorCard);

Op* createQuorCard(Node* node) {
  QuorCard* card = new (std::nothrow) QuorCard(node);
  return card;
}

QuorCard::QuorCard(Node* node) : QuorCardBase(node) {
  libquor::initRenderer(boost::algorithm::replace_all_copy(pluginPath(), "\\", "/"));
  handleSize = Quor_getOptionInt(libquor::kHandleSizeOption, handleSize);
  if (handleSize < 2) handleSize = 2;
  local_ = Matrix4::_identity;
  matrix_ = Matrix4::_identity;
}

Box3f QuorCard::bound() const { return Box3f{{FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}}; }

// One self-contained attribute block: the archives of the image inputs, then
// the card's transform and geometry.
void QuorCard::emit() {
  QrAttributeBegin();
  emitInputs();
  emitCardGeometry(grid, CardLook{interpolation, orientation, shade, uvRules()}, renderMatrix());
  QrAttributeEnd();
}

const char* QuorCard::Class() const { return description.name; }
const char* QuorCard::displayName() const { return "QuorCard"; }
const char* QuorCard::node_shape() const { return "()"; }

const char* QuorCard::node_help() const {
  static const std::string helpText = composeHelpText();
  return helpText.c_str();
}

const char* QuorCard::input_label(int n, char*) const {
  if (n < 0) return nullptr;
  return n == 0 ? "axis" : "img";
}

bool QuorCard::test_input(int n, Op* op) const {
  if (n < 0) return false;
  if (n == 0) return dynamic_cast<AxisOp*>(op) != nullptr;
  return dynamic_cast<Iop*>(op) != nullptr;
}

Op* QuorCard::default_input(int) const { return nullptr; }

void QuorCard::_validate(bool for_real) {
  for (int i = 0; i < inputs(); ++i)
    if (Op* upstream = input(i)) upstream->validate(for_real);
  AxisOp::_validate(for_real);
  if (for_real && aspectMode != 0) setRatio(inputAspect());
}

float QuorCard::inputAspect() {
  if (aspectMode == 0) return 1.0f;
  Iop* iop = dynamic_cast<Iop*>(input(1));
  if (!iop) return 1.0f;
  // The format is known once the image is validated (a no-op when it is).
  iop->validate(true);
  return static_cast<float>(iop->format().width()) / static_cast<float>(iop->format().height());
}

void QuorCard::append(Hash& hash) {
  if (node_disabled()) return;
  hash.append(orientation);
  hash.append(flipUvs);
  hash.append(flopUvs);
  hash.append(swapUvs);
  hash.append(interpolation);
  hash.append(xPoints);
  hash.append(yPoints);
  hash.append(forceUpdate);
  appendCpText(hash);
  hash.append(aspectMode);
  hash.append(ratio);
  hash.append(xRatio);
  hash.append(yRatio);
}

// The handle condition is a 3-D viewer (transform mode), the draw condition
// a viewer that shows the node's output.
Op::HandlesMode QuorCard::doAnyHandles(ViewerContext* ctx) {
  if (ctx->transform_mode() == 0) return eHandlesUncooked;
  if (ctx->connected() != 0) return eHandlesUncooked;
  return anyKnobHandles(ctx);
}

void QuorCard::build_handles(ViewerContext* ctx) {
  if (ctx->transform_mode() == 0) return;
  validate(false);
  build_knob_handles(ctx);
  if (ctx->connected() != 0) add_draw_handle(ctx);
}

}  // namespace quorcard
