// The card's knobs: the first tab, the closed "Space" group with the axis
// transform, and the "Deform" tab. The per-point knobs follow "delimiter".
#include <string>
#include <utility>

#include "DDImage/Knobs.h"
#include "Quor/Quor.h"
#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

namespace {

const char* const kAspectItems[] = {"square", nullptr};
const char* const kOrientationItems[] = {"unchanged", "flipped", nullptr};
const char* const kShadeItems[] = {"front only", "front & back", nullptr};
const char* const kTypeItems[] = {"linear", "smooth", "smooth with handles", nullptr};

const char kFlipTip[] = "Mirror the <b>u</b> coordinate.\nThis flips the mapped image horizontally.";
const char kFlopTip[] = "Mirror the <b>v</b> coordinate.\nThis flops the mapped image vertically.";
const char kSwapTip[] = "Swap the u and v coordinates.\nThis rotates the mapped image 90 degrees.";
const char kOrientationTip[] =
    "Set the winding order of the geometry's faces.\nSetting this to <b>flipped</b> will revese normals, as a "
    "side effect.";
const char kShadeTip[] = "If ticked, makes the card render twice, with opposing normals.";
const char kHelpTip[] = "<i>Read the fucking manual\u2122</i> for QuorCard.";
const char kTypeTip[] =
    "The way control points are interpolated when rendering.<blockquote><b>linear</b> \u2013 linear "
    "interpolation.\n<b>smooth</b> \u2013 smooth ( Catmull Rom ) interpolation.\n<b>smooth with handles</b> "
    "\u2013 same as <b>smooth</b>, but considers extra control points as well.\n</blockquote>";
const char kResetTip[] = "Reset control points to their defaults.";
const char kHandleSizeTip[] = "Handle size in the viewer.";
const char kPointsTip[] =
    "The number of control points, in each dimension.\n<b>IMPORTANT:</b> changing this value will cause all "
    "handles reset to default.";
const char kBreakTip[] =
    "If off then changing a tangent will keep the same slope on the other side otherwise the tangent will be "
    "discontinuous.";
const char kMirrorTip[] = "If on then changing a tangent will mirror it's length on the other side.";

// The text that knob "cpstr" is bound to. It only carries the text between
// the host and the nodes; each node keeps its own copy in cpText.
std::string& cpstrShared() {
  static std::string text;
  return text;
}

// What the node puts into cpstrShared() before a storing pass: a knob's text
// never holds a NUL character (it is set from C strings), so the member
// still holds this afterwards exactly when the host did not write the
// knob's text into it.
const std::string& unwrittenText() {
  static const std::string text(1, '\0');
  return text;
}

// The script of the "help" button, composed once with the renderer's home.
const std::string& manualScript() {
  static const std::string script = std::string(
                                        "from webbrowser import open_new_tab\n"
                                        "open_new_tab('file://") +
                                    Quor_homeDir() + "/doc/html/QuorCard/index.html')";
  return script;
}

}  // namespace

void QuorCard::knobs(Knob_Callback f) {
  Enumeration_knob(f, &aspectMode, kAspectItems, "aspect");
  Text_knob(f, "uvs", "");
  Bool_knob(f, &flipUvs, "flip_uvs", "flip");
  Tooltip(f, kFlipTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &flopUvs, "flop_uvs", "flop");
  Tooltip(f, kFlopTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &swapUvs, "swap_uvs", "swap");
  Tooltip(f, kSwapTip);
  Float_knob(f, &ratio, "ratio", INVISIBLE);
  Float_knob(f, &xRatio, "x_ratio", INVISIBLE);
  Float_knob(f, &yRatio, "y_ratio", INVISIBLE);
  Int_knob(f, &selectedHandle, "selected_cp", INVISIBLE);
  Text_knob(f, " ", nullptr);
  Enumeration_knob(f, &orientation, kOrientationItems, "orientation", "normals");
  Tooltip(f, kOrientationTip);
  Enumeration_knob(f, &shade, kShadeItems, "shade", "shade");
  Tooltip(f, kShadeTip);
  Int_knob(f, &forceUpdate, "force_update", INVISIBLE);

  // The making pass gives the new knob the node's text. In a storing pass
  // the host writes the knob's text into the member whenever it may differ
  // from what the node last took from there (every time, for some hosts);
  // the node then takes it without copying it. A member left alone means
  // the knob still holds the text in cpText: the node wrote it there itself
  // (storePoints), read it from there (restorePoints) or took it in an
  // earlier pass.
  const bool storing = knob("cpstr") != nullptr;
  cpstrShared() = storing ? unwrittenText() : cpText;
  String_knob(f, &cpstrShared(), "cpstr", INVISIBLE);
  if (storing && cpstrShared() != unwrittenText()) setCpText(std::move(cpstrShared()));
  // Between passes the member holds no text.
  std::string().swap(cpstrShared());

  Divider(f);
  BeginClosedGroup(f, "Space");
  AxisOp::knobs(f);
  EndGroup(f);
  Divider(f);

  PyScript_knob(f, manualScript().c_str(), "help", "rtfm\u2122");
  SetFlags(f, Knob::NO_RERENDER);
  Tooltip(f, kHelpTip);
  for (const char* name : {"display", "selectable", "file_menu", "snap_menu"})
    if (Knob* k = knob(name)) k->visible(false);

  Tab_knob(f, "Deform");
  CustomKnob1(HiddenKnob, f, this, "hidden_knob");
  Enumeration_knob(f, &interpolation, kTypeItems, "type");
  Tooltip(f, kTypeTip);
  Button(f, "reset_handles", "reset handles");
  Tooltip(f, kResetTip);
  Int_knob(f, &handleSize, "handle_size", "handle size");
  SetRange(f, 2, 20);
  SetFlags(f, Knob::FORCE_RANGE | Knob::DO_NOT_WRITE | Knob::SLIDER);
  Tooltip(f, kHandleSizeTip);
  Int_knob(f, &xPoints, "x_points", "x/y points");
  SetRange(f, 2, 40960);
  SetFlags(f, Knob::FORCE_RANGE);
  ClearFlags(f, Knob::LOG_SLIDER | Knob::ENDLINE);
  Tooltip(f, kPointsTip);
  Int_knob(f, &yPoints, "y_points", "");
  SetRange(f, 2, 40960);
  SetFlags(f, Knob::FORCE_RANGE);
  ClearFlags(f, Knob::LOG_SLIDER);
  Tooltip(f, kPointsTip);
  Text_knob(f, "tangent", "");
  Bool_knob(f, &breakTangent, "break_tangent", "break");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(f, kBreakTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &mirrorTangent, "mirror_tangent", "mirror");
  Tooltip(f, kMirrorTip);

  Knob* breakKnob = knob("break_tangent");
  Knob* mirrorKnob = knob("mirror_tangent");
  if (breakKnob && mirrorKnob) mirrorKnob->visible(breakKnob->get_value(0) == 0);

  f(TEXT_KNOB, Custom, nullptr, "delimiter", "", nullptr);
}

}  // namespace quorcard
