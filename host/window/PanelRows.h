// What the knob panel shows of a node: one row for each visible knob, in
// the node's order, with the widget its kind takes.
#ifndef QUORHOST_WINDOW_PANELROWS_H
#define QUORHOST_WINDOW_PANELROWS_H

#include <string>
#include <vector>

#include <DDImageHost/Host.h>

namespace quorhost {

enum class Widget {
  Number,      // a number field, with the knob's range when it has one
  Checkbox,    // a boolean
  Menu,        // the items of an enumeration
  Fields,      // one number field per channel: x/y/z for a position
  File,        // a file path
  Text,        // a line of text
  Button,      // a button, pressed as --press does
  Label,       // a text knob with a label: the label
  Separator,   // a text knob without a label: a line
  Tab,         // starts a tab
  BeginGroup,  // opens a group, closed or open at first
  EndGroup,    // ends the group opened last
};

const char* widgetName(Widget w);

struct PanelRow {
  DD::Image::Knob* knob;
  Widget widget;
  std::string label;  // the knob's label; its name when it has none; an empty label shows nothing
  bool hasRange = false;
  double minimum = 0, maximum = 0;
  bool slider = false;  // a number with a range that the knob shows as a slider
  bool closed = false;  // a group that starts closed
  // On the row of the knob before (STARTLINE cleared, or ENDLINE cleared on
  // the knob before).
  bool joinsRow = false;
};

// The rows for the visible knobs of `node`. Knobs without a widget (custom
// knobs, spacers) and hidden knobs have no row.
std::vector<PanelRow> panelRows(const Node& node);

// A tooltip as plain text: the markup a knob's tooltip may hold (<b>, <i>,
// <blockquote>) taken out, a quoted block starting on a new line.
std::string plainTooltip(const std::string& tip);

}  // namespace quorhost

#endif
