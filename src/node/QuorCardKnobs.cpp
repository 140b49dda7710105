// The card's knobs: the first tab, the closed "Space" group with the axis
// transform, and the "Deform" tab. The per-point knobs follow "delimiter".
#include <cstring>
#include <string>
#include <utility>

#include "DDImage/Knobs.h"
#include "Quor/Quor.h"
#include "node/KnobNames.h"
#include "node/QuorCard.h"

using namespace DD::Image;
using namespace quorcard::knobname;

namespace quorcard {

namespace {

// "square" keeps the card's ratio at 1; "from img" follows the img input's
// format. Scripts hold the item's index.
const char* const kAspectItems[] = {"square", "from img", nullptr};
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

// The script of the "help" button, composed once with the renderer's home.
const std::string& manualScript() {
  static const std::string script = std::string(
                                        "from webbrowser import open_new_tab\n"
                                        "open_new_tab('file://") +
                                    Quor_homeDir() + "/doc/html/QuorCard/index.html')";
  return script;
}

}  // namespace

// A text left empty means the host wrote nothing, unless the knob's own
// text is empty while cpText is not: then the host wrote the empty text.
bool QuorCard::hostWroteCpstr() const {
  if (!cpstrTransfer.empty()) return true;
  const Knob* k = knob(kCpstr);
  const char* text = k ? k->get_text() : nullptr;
  return !cpText.empty() && (!text || !*text);
}

// cpText never holds a NUL (it is written as XML or read from a knob's
// text), so comparing up to and with its terminator reads no byte past the
// end of either text.
bool QuorCard::knobHoldsCpText(const Knob& k) const {
  const char* text = k.get_text();
  return text && std::strncmp(text, cpText.c_str(), cpText.size() + 1) == 0;
}

// "mirror" matters only while "break" is off.
void QuorCard::showMirrorKnob() {
  if (Knob* mirror = knob(kMirrorTangent)) {
    mirror->visible(!breakTangent);
    mirror->updateWidgets();
  }
}

void QuorCard::knobs(Knob_Callback f) {
  Enumeration_knob(f, &aspectMode, kAspectItems, kAspect);
  Text_knob(f, "uvs", "");
  Bool_knob(f, &flipUvs, kFlipUvs, "flip");
  Tooltip(f, kFlipTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &flopUvs, kFlopUvs, "flop");
  Tooltip(f, kFlopTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &swapUvs, kSwapUvs, "swap");
  Tooltip(f, kSwapTip);
  Float_knob(f, &ratio, kRatio, INVISIBLE);
  Float_knob(f, &xRatio, kXRatio, INVISIBLE);
  Float_knob(f, &yRatio, kYRatio, INVISIBLE);
  Int_knob(f, &selectedHandle, kSelectedCp, INVISIBLE);
  Text_knob(f, " ", nullptr);
  Enumeration_knob(f, &orientation, kOrientationItems, kOrientation, "normals");
  Tooltip(f, kOrientationTip);
  Enumeration_knob(f, &shade, kShadeItems, kShade, "shade");
  Tooltip(f, kShadeTip);
  Int_knob(f, &forceUpdate, kForceUpdate, INVISIBLE);

  // "cpstr" and cpText meet here. The making pass gives the new knob the
  // node's text. In a storing pass the host writes the knob's text into
  // cpstrTransfer only when it changed since the host last wrote it there,
  // and the node moves it into cpText; between passes cpstrTransfer is empty
  // and the knob holds the text in cpText. A knob that holds cpText already
  // (the node set it so after its last edit of the points) is given no
  // member to write into: the copy would only be found the same.
  const Knob* cpstr = knob(kCpstr);
  const bool storing = cpstr != nullptr;
  const bool same = storing && knobHoldsCpText(*cpstr);
  if (!storing) cpstrTransfer = cpText;
  String_knob(f, same ? nullptr : &cpstrTransfer, kCpstr, INVISIBLE);
  if (storing && !same && hostWroteCpstr()) setCpText(std::move(cpstrTransfer));
  std::string().swap(cpstrTransfer);

  Divider(f);
  BeginClosedGroup(f, "Space");
  AxisOp::knobs(f);
  EndGroup(f);
  Divider(f);

  PyScript_knob(f, manualScript().c_str(), kHelp, "rtfm\u2122");
  SetFlags(f, Knob::NO_RERENDER);
  Tooltip(f, kHelpTip);
  for (const char* name : kHiddenAxisKnobs)
    if (Knob* k = knob(name)) k->visible(false);

  Tab_knob(f, "Deform");
  CustomKnob1(HiddenKnob, f, this, kHiddenKnob);
  Enumeration_knob(f, &interpolation, kTypeItems, kType);
  Tooltip(f, kTypeTip);
  Button(f, kResetHandles, "reset handles");
  Tooltip(f, kResetTip);
  Int_knob(f, &handleSize, kHandleSize, "handle size");
  SetRange(f, 2, 20);
  SetFlags(f, Knob::FORCE_RANGE | Knob::DO_NOT_WRITE | Knob::SLIDER);
  Tooltip(f, kHandleSizeTip);
  Int_knob(f, &xPoints, kXPoints, "x/y points");
  SetRange(f, 2, 40960);
  SetFlags(f, Knob::FORCE_RANGE);
  ClearFlags(f, Knob::LOG_SLIDER | Knob::ENDLINE);
  Tooltip(f, kPointsTip);
  Int_knob(f, &yPoints, kYPoints, "");
  SetRange(f, 2, 40960);
  SetFlags(f, Knob::FORCE_RANGE);
  ClearFlags(f, Knob::LOG_SLIDER);
  Tooltip(f, kPointsTip);
  Text_knob(f, "tangent", "");
  Bool_knob(f, &breakTangent, kBreakTangent, "break");
  SetFlags(f, Knob::STARTLINE);
  Tooltip(f, kBreakTip);
  ClearFlags(f, Knob::STARTLINE);
  Spacer(f, 4);
  Bool_knob(f, &mirrorTangent, kMirrorTangent, "mirror");
  Tooltip(f, kMirrorTip);

  showMirrorKnob();

  f(TEXT_KNOB, Custom, nullptr, kDelimiter, "", nullptr);
}

}  // namespace quorcard
