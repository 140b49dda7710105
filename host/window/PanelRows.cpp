#include "window/PanelRows.h"

namespace quorhost {

using DD::Image::Knob;

const char* widgetName(Widget w) {
  switch (w) {
    case Widget::Number:
      return "number";
    case Widget::Checkbox:
      return "checkbox";
    case Widget::Menu:
      return "menu";
    case Widget::Fields:
      return "fields";
    case Widget::File:
      return "file";
    case Widget::Text:
      return "text";
    case Widget::Button:
      return "button";
    case Widget::Label:
      return "label";
    case Widget::Separator:
      return "separator";
    case Widget::Tab:
      return "tab";
    case Widget::BeginGroup:
      return "group";
    case Widget::EndGroup:
      return "end-group";
  }
  return "?";
}

namespace {

// The widget of a knob kind; false for kinds that show nothing.
bool widgetOf(const Knob& k, Widget* w, bool* closed) {
  switch (k.kind()) {
    case DD::Image::INT_KNOB:
    case DD::Image::FLOAT_KNOB:
    case DD::Image::DOUBLE_KNOB:
      *w = Widget::Number;
      return true;
    case DD::Image::BOOL_KNOB:
      *w = Widget::Checkbox;
      return true;
    case DD::Image::ENUMERATION_KNOB:
      *w = Widget::Menu;
      return true;
    case DD::Image::XY_KNOB:
    case DD::Image::XYZ_KNOB:
    case DD::Image::COLOR_KNOB:
      *w = Widget::Fields;
      return true;
    case DD::Image::FILE_KNOB:
      *w = Widget::File;
      return true;
    case DD::Image::STRING_KNOB:
      *w = Widget::Text;
      return true;
    case DD::Image::SCRIPT_KNOB:
    case DD::Image::PYSCRIPT_KNOB:
      *w = Widget::Button;
      return true;
    case DD::Image::TEXT_KNOB:
      // A label of spaces only is room between rows.
      *w = k.label().find_first_not_of(' ') == std::string::npos ? Widget::Separator : Widget::Label;
      return true;
    case DD::Image::TAB_KNOB:
      switch (DD::Image::panelLayout(&k, closed)) {
        case DD::Image::PanelLayout::Tab:
          *w = Widget::Tab;
          return true;
        case DD::Image::PanelLayout::BeginGroup:
          *w = Widget::BeginGroup;
          return true;
        case DD::Image::PanelLayout::EndGroup:
          *w = Widget::EndGroup;
          return true;
        case DD::Image::PanelLayout::None:
          return false;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

std::vector<PanelRow> panelRows(const Node& node) {
  std::vector<PanelRow> rows;
  // Inside a hidden group: how many groups deep.
  int hiddenDepth = 0;
  // Whether the last knob laid out (spacers too) ends its row; a tab or a
  // group always does.
  bool rowEnded = true;
  // Dormant knobs are hidden and lay nothing out: no row comes of them.
  for (Knob* k : node.awakeKnobs()) {
    if (k->kind() == DD::Image::SPACER_KNOB && hiddenDepth == 0 && k->isVisible()) {
      rowEnded = k->flag(Knob::ENDLINE);
      continue;
    }
    Widget widget = Widget::Label;
    bool closed = false;
    if (!widgetOf(*k, &widget, &closed)) continue;
    if (hiddenDepth > 0) {
      if (widget == Widget::BeginGroup) ++hiddenDepth;
      if (widget == Widget::EndGroup) --hiddenDepth;
      continue;
    }
    // A group's end has no name and no label, and no visibility of its own.
    if (!k->isVisible() && widget != Widget::EndGroup) {
      if (widget == Widget::BeginGroup) hiddenDepth = 1;
      continue;
    }
    // The label is copied only for the rows shown: a dense card has hundreds
    // of thousands of hidden point knobs.
    PanelRow row{k, widget, k->labelAbsent() ? k->name() : k->label()};
    row.closed = closed;
    // A line across the panel starts a row as sections do.
    const bool section = row.widget == Widget::Tab || row.widget == Widget::BeginGroup ||
                         row.widget == Widget::EndGroup || row.widget == Widget::Separator;
    // A knob starts a row when it asks to and the knob before let the row
    // end: "y_points" follows "x/y points", which clears ENDLINE.
    row.joinsRow = !section && !(rowEnded && k->flag(Knob::STARTLINE));
    rowEnded = section || k->flag(Knob::ENDLINE);
    if (row.widget == Widget::Number) {
      row.hasRange = DD::Image::knobRange(k, &row.minimum, &row.maximum) && row.minimum < row.maximum;
      row.slider = row.hasRange && (k->flag(Knob::SLIDER) || k->flag(Knob::LOG_SLIDER));
    }
    rows.push_back(row);
  }
  return rows;
}

std::string plainTooltip(const std::string& tip) {
  std::string plain;
  for (size_t i = 0; i < tip.size(); ++i) {
    if (tip[i] != '<') {
      plain += tip[i];
      continue;
    }
    const size_t end = tip.find('>', i);
    if (end == std::string::npos) {
      plain += tip.substr(i);
      break;
    }
    // A quoted block starts on a line of its own.
    if (tip.compare(i, end - i + 1, "<blockquote>") == 0 && !plain.empty() && plain.back() != '\n') plain += '\n';
    i = end;
  }
  while (!plain.empty() && plain.back() == '\n') plain.pop_back();
  return plain;
}

}  // namespace quorhost
