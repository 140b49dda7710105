// The names of the knobs that the card declares, looks up or reacts to.
// Each is written only here; the per-point knobs' names are made by
// PointKnobNames.
#pragma once

namespace quorcard {
namespace knobname {

// The card's own knobs, in panel order.
constexpr char kAspect[] = "aspect";
constexpr char kFlipUvs[] = "flip_uvs";
constexpr char kFlopUvs[] = "flop_uvs";
constexpr char kSwapUvs[] = "swap_uvs";
constexpr char kRatio[] = "ratio";
constexpr char kXRatio[] = "x_ratio";
constexpr char kYRatio[] = "y_ratio";
constexpr char kSelectedCp[] = "selected_cp";
constexpr char kOrientation[] = "orientation";
constexpr char kShade[] = "shade";
constexpr char kForceUpdate[] = "force_update";
constexpr char kCpstr[] = "cpstr";
constexpr char kHelp[] = "help";
constexpr char kHiddenKnob[] = "hidden_knob";
constexpr char kType[] = "type";
constexpr char kResetHandles[] = "reset_handles";
constexpr char kHandleSize[] = "handle_size";
constexpr char kXPoints[] = "x_points";
constexpr char kYPoints[] = "y_points";
constexpr char kBreakTangent[] = "break_tangent";
constexpr char kMirrorTangent[] = "mirror_tangent";
// The last knob of the panel; the per-point knobs are made after it.
constexpr char kDelimiter[] = "delimiter";
// The first knob of the per-point block: its presence says the block is made.
constexpr char kDynamicKnobs[] = "dynamic_knobs";

// The axis transform's knobs, made by AxisOp::knobs: the card shows its
// points through them.
constexpr const char* kTransformKnobs[] = {"translate", "rotate", "scaling", "uniform_scale", "skew", "pivot"};
// The axis knobs the card hides.
constexpr const char* kHiddenAxisKnobs[] = {"display", "selectable", "file_menu", "snap_menu"};

// The pseudo-knob the host reports when the node's panel opens.
constexpr char kShowPanel[] = "showPanel";

}  // namespace knobname
}  // namespace quorcard
