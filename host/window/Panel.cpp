#include "window/Panel.h"

#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <DDImage/Knobs.h>

#include "Text.h"
#include "window/PanelRows.h"

namespace quorhost {

using DD::Image::Knob;

namespace {

const char kUnsaved[] = "Unsaved changes";
const char kSaveAs[] = "Save as";
const char kSaveRender[] = "Save render";
// A scrub changes a number by one nudge for this many pixels, once the
// pointer has moved kScrubStart pixels from the press.
const float kScrubPixels = 5.0f;
const float kScrubStart = 4.0f;
const ImVec4 kErrorColour(1.0f, 0.45f, 0.4f, 1.0f);

// Runs f on the node and knob of these names, if they are still there.
std::function<void(Workspace&)> onKnob(const std::string& nodeName, const std::string& knobName,
                                       std::function<void(Workspace&, Node*, Knob*)> f) {
  return [=](Workspace& workspace) {
    Node* n = workspace.session().graph().find(nodeName);
    Knob* k = n ? n->knob(knobName) : nullptr;
    if (k) f(workspace, n, k);
  };
}

std::vector<std::string> splitChannels(const std::string& text, int channels) {
  std::vector<std::string> parts;
  std::stringstream fields(text);
  for (std::string part; std::getline(fields, part, ',');) parts.push_back(part);
  parts.resize(static_cast<size_t>(channels > 0 ? channels : 1));
  return parts;
}

// A number as knobs read it back: integers without a fraction, others with
// every digit a float needs.
std::string numberText(double v, bool integer) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, integer ? "%.0f" : "%.9g", v);
  return buffer;
}

// The width a field needs to show `text` whole, and at least 7 digits.
float fieldWidth(const std::string& text) {
  const float digits = ImGui::CalcTextSize("0000000").x, needed = ImGui::CalcTextSize(text.c_str()).x;
  return std::max(digits, needed) + ImGui::GetStyle().FramePadding.x * 2 + 2;
}

// The widgets that put their label in the label column.
bool labelled(Widget w) {
  return w == Widget::Number || w == Widget::Menu || w == Widget::Fields || w == Widget::File || w == Widget::Text ||
         w == Widget::Label;
}

}  // namespace

void Panel::note(const std::string& kind, const std::string& name, const std::string& value) {
  const ImVec2 lo = ImGui::GetItemRectMin(), hi = ImGui::GetItemRectMax();
  items_.push_back(PanelItem{kind, name, value, lo.x, lo.y, hi.x, hi.y, ImGui::IsItemVisible()});
}

void Panel::textField(const std::string& id, const std::string& shown, const std::string& kind, const std::string& name,
                      std::function<void(const std::string&)> commit) {
  auto edit = editing_.find(id);
  std::string text = edit != editing_.end() ? edit->second : shown;
  ImGui::InputText(("##" + id).c_str(), &text, ImGuiInputTextFlags_AutoSelectAll);
  note(kind, name, text);
  if (ImGui::IsItemDeactivatedAfterEdit()) {
    editing_.erase(id);
    working_ = "setting " + name + " to " + text + "\u2026";
    later([commit, text](Workspace&) { commit(text); });
  } else if (ImGui::IsItemActive()) {
    editing_[id] = text;
  } else {
    editing_.erase(id);
  }
}

void Panel::draw(Workspace& workspace, float x, float y, float w, float h) {
  items_.clear();
  ImGui::SetNextWindowPos(ImVec2(x, y));
  ImGui::SetNextWindowSize(ImVec2(w, h));
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                 ImGuiWindowFlags_NoBringToFrontOnFocus;
  ImGui::Begin("panel", nullptr, flags);
  if (releaseKeyboard_) {
    ImGui::ClearActiveID();
    releaseKeyboard_ = false;
  }
  drawTools(workspace);
  ImGui::Separator();
  drawNodes(workspace);
  ImGui::Separator();
  // The knobs scroll; the message stays at the bottom, wrapped to be read
  // whole.
  const std::string& message = workspace.message();
  const float wrap = ImGui::GetContentRegionAvail().x;
  const float footer = ImGui::CalcTextSize(message.c_str(), nullptr, false, wrap).y +
                       ImGui::GetStyle().ItemSpacing.y * 2 + ImGui::GetStyle().FramePadding.y * 2;
  ImGui::BeginChild("knobs", ImVec2(0, -footer));
  if (Node* node = workspace.session().currentNode()) drawKnobs(workspace, node);
  ImGui::EndChild();
  ImGui::Separator();
  ImGui::PushTextWrapPos(0.0f);
  ImGui::TextUnformatted(message.c_str());
  ImGui::PopTextWrapPos();
  note("message", "", workspace.message());
  drawQuestion(workspace);
  ImGui::End();
  drawRenderStatus(workspace, x);
}

// Over the view's top-left corner: how far the running render is, or, on
// the render view, that the scene changed after the render began.
void Panel::drawRenderStatus(Workspace& workspace, float viewWidth) {
  const bool running = workspace.rendering();
  const bool old = showRender_ && workspace.renderOutOfDate();
  if (!running && !old) return;
  ImGui::SetNextWindowPos(ImVec2(8, 8));
  ImGui::SetNextWindowBgAlpha(0.75f);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize |
                                 ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoFocusOnAppearing;
  ImGui::Begin("render status", nullptr, flags);
  if (running) {
    const float done = workspace.renderProgress();
    ImGui::ProgressBar(done, ImVec2(std::min(240.0f, viewWidth / 2), 0));
    note("render-progress", "", numberText(done, false));
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) workspace.cancelRender();
    note("render-cancel", "Cancel", "");
  }
  if (old) {
    ImGui::PushStyleColor(ImGuiCol_Text, kErrorColour);
    ImGui::TextUnformatted("Out of date: the scene changed after this render began");
    ImGui::PopStyleColor();
    note("render-status", "", "out of date");
  }
  ImGui::End();
}

void Panel::drawTools(Workspace& workspace) {
  auto tool = [&](const char* label, bool enabled, std::function<void(Workspace&)> f) {
    ImGui::BeginDisabled(!enabled);
    if (ImGui::Button(label)) later(std::move(f));
    ImGui::EndDisabled();
    note("tool", label, enabled ? "enabled" : "disabled");
  };
  tool("Undo", workspace.canUndo(), [](Workspace& w) { w.undo(); });
  ImGui::SameLine();
  tool("Redo", workspace.canRedo(), [](Workspace& w) { w.redo(); });
  ImGui::SameLine();
  tool("Save", true, [this](Workspace& w) { askToSave(w); });
  ImGui::SameLine();
  tool("Save as\u2026", true, [this](Workspace& w) { askToSaveAs(w); });
  ImGui::SameLine();
  tool("Frame", true, [](Workspace& w) { w.frameSelected(); });
  ImGui::SameLine();
  tool("Home", true, [](Workspace& w) { w.home(); });
  // The second row: the two views and the render.
  if (ImGui::RadioButton("Viewer", !showRender_)) showRender_ = false;
  note("view", "Viewer", showRender_ ? "-" : "shown");
  ImGui::SameLine();
  ImGui::BeginDisabled(!workspace.hasRender());
  if (ImGui::RadioButton("Render view", showRender_)) showRender_ = true;
  ImGui::EndDisabled();
  note("view", "Render view", showRender_ ? "shown" : "-");
  ImGui::SameLine();
  if (workspace.rendering()) {
    tool("Cancel render", true, [](Workspace& w) { w.cancelRender(); });
  } else {
    if (ImGui::Button("Render")) requests_.render = true;
    note("tool", "Render", "enabled");
  }
  ImGui::SameLine();
  tool("Save render\u2026", workspace.hasRender(), [this](Workspace& w) { askToSaveRender(w); });
  // The third row: new nodes.
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted("Add");
  for (const char* cls : {"Axis", "Read", "QuorCard"}) {
    ImGui::SameLine();
    const std::string label = std::string(cls) + "##add";
    if (ImGui::Button(label.c_str())) later([cls](Workspace& w) { w.addNode(cls); });
    note("add", cls, "");
  }
  // The fourth row: the viewer's choices.
  bool preview = workspace.finalSurface();
  if (ImGui::Checkbox("Final surface (P)", &preview)) later([preview](Workspace& w) { w.setFinalSurface(preview); });
  note("choice", "Final surface", workspace.finalSurface() ? "1" : "0");
  ImGui::SameLine();
  bool along = workspace.moveHandlesWithPoint();
  if (ImGui::Checkbox("Move handles with the point", &along))
    later([along](Workspace& w) { w.setMoveHandlesWithPoint(along); });
  note("choice", "Move handles with the point", workspace.moveHandlesWithPoint() ? "1" : "0");
  const std::string target = workspace.saveTarget();
  const std::string file =
      target.empty() ? std::string("(no file)") : std::filesystem::path(target).filename().string();
  ImGui::Text("%s%s", file.c_str(), workspace.dirty() ? "  (unsaved changes)" : "");
  note("file", target, workspace.dirty() ? "unsaved" : "saved");
}

void Panel::drawNodes(Workspace& workspace) {
  ImGui::TextUnformatted("Nodes");
  const auto& nodes = workspace.session().graph().nodes();
  const float rows = static_cast<float>(std::min<size_t>(std::max<size_t>(nodes.size(), 1), 6));
  ImGui::BeginChild("nodes", ImVec2(0, rows * ImGui::GetFrameHeightWithSpacing() + 4), true);
  for (const auto& owned : nodes) {
    Node* n = owned.get();
    const std::string name = n->name();
    ImGui::PushID(name.c_str());
    bool selected = n->selected();
    if (ImGui::Checkbox("##selected", &selected))
      later([name, selected](Workspace& w) { w.setSelected(w.session().graph().find(name), selected); });
    note("node-selected", name, n->selected() ? "1" : "0");
    ImGui::SameLine();
    const bool current = n == workspace.session().currentNode();
    const std::string label = name + "  (" + n->className() + ")";
    if (ImGui::Selectable(label.c_str(), current))
      later([name](Workspace& w) { w.choose(w.session().graph().find(name)); });
    note("node", name, current ? "current" : "-");
    ImGui::PopID();
  }
  ImGui::EndChild();
}

void Panel::drawKnobs(Workspace& workspace, Node* node) {
  const std::string nodeName = node->name();
  ImGui::Text("%s  (%s)", nodeName.c_str(), node->className());
  const std::string error = workspace.nodeError(node);
  if (!error.empty()) {
    ImGui::PushStyleColor(ImGuiCol_Text, kErrorColour);
    ImGui::TextWrapped("%s", error.c_str());
    ImGui::PopStyleColor();
    note("error", nodeName, error);
  }

  shownNode_ = nodeName;
  const std::string target = workspace.saveTarget();
  filesFolder_ = target.empty() ? std::filesystem::current_path().string()
                                : std::filesystem::absolute(target).parent_path().string();
  const std::vector<PanelRow> rows = panelRows(*node);
  const PanelRow* scrollAfter = newlyPickedRows(nodeName, rows);
  // The label column is as wide as the widest label, and its indent in a
  // group.
  const ImGuiStyle& style = ImGui::GetStyle();
  float widest = 0;
  for (const PanelRow& row : rows)
    if (!row.joinsRow && labelled(row.widget)) widest = std::max(widest, ImGui::CalcTextSize(row.label.c_str()).x);
  labelWidth_ = std::min(style.WindowPadding.x + style.IndentSpacing + widest + style.ItemSpacing.x * 2,
                         ImGui::GetContentRegionAvail().x * 0.45f);
  drawInputs(workspace, node);
  Sections sections;
  int index = 0;
  bool rowOpen = false;
  for (const PanelRow& row : rows) {
    ImGui::PushID(index++);
    if (drawSection(row, &sections)) {
      rowOpen = false;
    } else if (sections.shown()) {
      drawKnob(nodeName, row, index, row.joinsRow && rowOpen);
      rowOpen = true;
      if (&row == scrollAfter) ImGui::SetScrollHereY(0.25f);
    }
    ImGui::PopID();
  }
  sections.closeGroups();
}

// One menu for each input of the node: none, or a node that fits it.
void Panel::drawInputs(Workspace& workspace, Node* node) {
  DD::Image::Op* op = node->op();
  if (!op) return;
  const std::string nodeName = node->name();
  for (int i = 0; i < std::min(op->maximum_inputs(), 16); ++i) {
    char buffer[256] = {};
    const char* given = op->input_label(i, buffer);
    const std::string label = given && *given ? given : "input " + std::to_string(i);
    DD::Image::Op* from = i < op->inputs() ? op->input(i) : nullptr;
    std::string shown = "(none)";
    for (const auto& n : workspace.session().graph().nodes())
      if (from && n->op() == from) shown = n->name();
    ImGui::PushID(i);
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(label.c_str());
    ImGui::SameLine(labelWidth_);
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::BeginCombo("##input", shown.c_str())) {
      auto choose = [&](const char* item, const std::string& fromName) {
        if (!ImGui::Selectable(item, shown == item)) return;
        later([nodeName, i, fromName](Workspace& w) {
          Node* n = w.session().graph().find(nodeName);
          if (n) w.connectInput(n, i, fromName.empty() ? nullptr : w.session().graph().find(fromName));
        });
      };
      choose("(none)", "");
      note("input-choice", label, "(none)");
      for (Node* n : workspace.inputChoices(node, i)) {
        choose(n->name().c_str(), n->name());
        note("input-choice", label, n->name());
      }
      ImGui::EndCombo();
    }
    note("input", label, shown);
    ImGui::PopID();
  }
}

// The knobs a replacement made (a picked point's, for a card) follow the
// row before the first of them. When they are other knobs than the last
// frame showed, the list scrolls to them.
const PanelRow* Panel::newlyPickedRows(const std::string& nodeName, const std::vector<PanelRow>& rows) {
  std::string picked = nodeName;
  const PanelRow* before = nullptr;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].knob->madeByReplace()) continue;
    if (!before && i > 0) before = &rows[i - 1];
    picked += "/" + rows[i].knob->name();
  }
  const bool changed = picked != shownPicked_;
  shownPicked_ = picked;
  return changed ? before : nullptr;
}

void Panel::Sections::closeGroups() {
  while (openGroups > 0) {
    ImGui::TreePop();
    --openGroups;
  }
}

bool Panel::drawSection(const PanelRow& row, Sections* sections) {
  switch (row.widget) {
    case Widget::Tab:
      if (sections->closedDepth == 0) {
        sections->closeGroups();
        sections->tabClosed = !ImGui::CollapsingHeader(row.label.c_str(), ImGuiTreeNodeFlags_DefaultOpen);
        note("tab", row.label, sections->tabClosed ? "closed" : "open");
      }
      return true;
    case Widget::BeginGroup:
      if (!sections->shown()) {
        if (sections->closedDepth > 0) ++sections->closedDepth;
      } else if (ImGui::TreeNodeEx(row.label.c_str(), row.closed ? 0 : ImGuiTreeNodeFlags_DefaultOpen)) {
        note("group", row.label, "open");
        ++sections->openGroups;
      } else {
        note("group", row.label, "closed");
        sections->closedDepth = 1;
      }
      return true;
    case Widget::EndGroup:
      if (sections->closedDepth > 0) {
        --sections->closedDepth;
      } else if (sections->openGroups > 0 && !sections->tabClosed) {
        ImGui::TreePop();
        --sections->openGroups;
      }
      return true;
    default:
      return false;
  }
}

void Panel::labelColumn(const PanelRow& row, bool joins) {
  if (joins) {
    // On the row of the knob before: its label, if any, just before it; a
    // row led by a text knob's label goes on in the column after it.
    if (rowLabelOnly_)
      ImGui::SameLine(labelWidth_);
    else
      ImGui::SameLine();
    rowLabelOnly_ = false;
    if (row.label.empty() || !labelled(row.widget)) return;
    ImGui::TextUnformatted(row.label.c_str());
    note("caption", row.knob->name(), row.label);
    ImGui::SameLine();
    return;
  }
  rowLabelOnly_ = row.widget == Widget::Label;
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(labelled(row.widget) ? row.label.c_str() : "");
  if (labelled(row.widget) && !row.label.empty()) note("caption", row.knob->name(), row.label);
  if (row.widget != Widget::Label) ImGui::SameLine(labelWidth_);
}

void Panel::tooltip(const PanelRow& row) {
  if (row.knob->tooltip().empty() || !ImGui::IsItemHovered()) return;
  const std::string plain = plainTooltip(row.knob->tooltip());
  ImGui::SetTooltip("%s", plain.c_str());
  note("tooltip", row.knob->name(), plain);
}

std::function<void(const std::string&)> Panel::setLater(const std::string& nodeName, const std::string& knobName) {
  return [this, nodeName, knobName](const std::string& text) {
    later(onKnob(nodeName, knobName, [text](Workspace& w, Node* n, Knob* k) { w.setKnob(n, k, text); }));
  };
}

void Panel::drawKnob(const std::string& nodeName, const PanelRow& row, int index, bool joins) {
  Knob* k = row.knob;
  const std::string name = k->name();
  const std::string id = nodeName + "/" + (name.empty() ? std::to_string(index) : name);
  const std::string value = k->hasValue() ? k->valueText() : std::string();
  if (row.widget == Widget::Separator) {
    rowLabelOnly_ = false;
    ImGui::Separator();
    note("separator", name, "");
    return;
  }
  labelColumn(row, joins);
  switch (row.widget) {
    case Widget::Number:
      drawNumber(nodeName, row, id, value);
      break;
    case Widget::Checkbox: {
      // The box, then its label.
      bool on = k->get_value(0) != 0;
      if (ImGui::Checkbox((row.label + "##check").c_str(), &on)) setLater(nodeName, name)(on ? "1" : "0");
      note("checkbox", name, on ? "1" : "0");
      tooltip(row);
      break;
    }
    case Widget::Menu:
      drawMenu(row, value, setLater(nodeName, name));
      break;
    case Widget::Fields:
      drawFields(nodeName, row, id, value);
      break;
    case Widget::File:
      drawFile(row, id, value, setLater(nodeName, name));
      break;
    case Widget::Text:
      ImGui::SetNextItemWidth(-1.0f);
      textField(id, value, "text", name, setLater(nodeName, name));
      tooltip(row);
      break;
    case Widget::Button:
      if (ImGui::Button(row.label.c_str()))
        later(onKnob(nodeName, name, [](Workspace& w, Node* n, Knob* pressed) { w.pressKnob(n, pressed); }));
      note("button", name, "");
      tooltip(row);
      break;
    case Widget::Label:
      note("label", name, row.label);
      break;
    default:
      break;
  }
}

// A number field: typed into after a click; a press and drag sideways
// scrubs it (one step, the whole drag); the up and down keys and the wheel
// over it nudge it. While it is typed into, Left and Right move the caret,
// and up or down first sets the number typed, then nudges from it, the two
// one step of the history.
void Panel::numberField(const std::string& nodeName, const PanelRow& row, int channel, const std::string& id,
                        const std::string& shown, const std::string& kind, const KnobSetter& set) {
  Knob* k = row.knob;
  const std::string name = k->name();
  ImGuiIO& io = ImGui::GetIO();
  textField(id, shown, kind, name, set);
  tooltip(row);
  auto onThis = [nodeName, name](std::function<void(Workspace&, Node*, Knob*)> f) { return onKnob(nodeName, name, f); };
  if (scrub_.id == id) {
    // The pointer where the button went up counts too.
    const double steps = std::round((io.MousePos.x - scrub_.x) / kScrubPixels);
    if (steps != scrub_.steps) {
      scrub_.steps = steps;
      const double v = scrub_.from + steps * Workspace::nudgeStep(k);
      later(onThis([channel, v](Workspace& w, Node* n, Knob* kk) { w.setChannel(n, kk, channel, v); }));
    }
    if (!io.MouseDown[0]) {
      scrub_ = Scrub();
      later([](Workspace& w) { w.endStep(); });
    }
    return;
  }
  const bool active = ImGui::IsItemActive();
  if (active && scrub_.id.empty() && ImGui::IsMouseDragging(ImGuiMouseButton_Left, kScrubStart)) {
    // A drag, not a click to type: the field lets go of the keyboard.
    ImGui::ClearActiveID();
    editing_.erase(id);
    scrub_ = Scrub{id, io.MouseClickedPos[0].x, 0, k->get_value(channel)};
    later([](Workspace& w) { w.beginStep(); });
    return;
  }
  int nudge = 0;
  if (ImGui::IsItemHovered() || active) {
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_UpArrow))) nudge = 1;
    if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_DownArrow))) nudge = -1;
  }
  if (nudge == 0) return;
  bool typed = false;
  if (active) {
    const auto edit = editing_.find(id);
    if (edit != editing_.end() && edit->second != shown) {
      // Text that is no number stays as typed, for the user to mend.
      double ignored = 0;
      if (!DD::Image::parseNumber(edit->second, &ignored)) return;
      // The number typed and the nudge from it are one key press: one step,
      // as a scrub is.
      typed = true;
      later([](Workspace& w) { w.beginStep(); });
      set(edit->second);
    }
    ImGui::ClearActiveID();
    editing_.erase(id);
  }
  later(onThis([channel, nudge](Workspace& w, Node* n, Knob* kk) { w.nudgeKnob(n, kk, channel, nudge); }));
  if (typed) later([](Workspace& w) { w.endStep(); });
}

bool Panel::wheel(float x, float y, float steps) {
  for (const PanelItem& item : items_) {
    const int channel = item.kind == "number" || item.kind == "x" ? 0
                        : item.kind == "y"                        ? 1
                        : item.kind == "z"                        ? 2
                                                                  : -1;
    if (channel < 0 || !item.visible || x < item.x0 || x >= item.x1 || y < item.y0 || y >= item.y1) continue;
    const std::string nodeName = shownNode_, name = item.name;
    later(onKnob(nodeName, name,
                 [channel, steps](Workspace& w, Node* n, Knob* k) { w.nudgeKnob(n, k, channel, steps); }));
    return true;
  }
  return false;
}

void Panel::drawNumber(const std::string& nodeName, const PanelRow& row, const std::string& id,
                       const std::string& value) {
  Knob* k = row.knob;
  const std::string name = k->name();
  const bool integer = k->kind() == DD::Image::INT_KNOB;
  const KnobSetter set = setLater(nodeName, name);
  ImGui::SetNextItemWidth(fieldWidth(value));
  numberField(nodeName, row, 0, id, value, "number", set);
  if (!row.slider) return;
  ImGui::SameLine();
  ImGui::SetNextItemWidth(-1.0f);
  double v = k->get_value(0);
  const double lo = row.minimum, hi = row.maximum;
  const bool moved = ImGui::SliderScalar("##slider", ImGuiDataType_Double, &v, &lo, &hi, integer ? "%.0f" : "%.3g");
  note("slider", name, numberText(v, integer));
  tooltip(row);
  // A whole slider drag is one step.
  if (ImGui::IsItemActivated()) later([](Workspace& w) { w.beginStep(); });
  if (moved) set(numberText(v, integer));
  if (ImGui::IsItemDeactivated()) later([](Workspace& w) { w.endStep(); });
}

// A file path, typed, or chosen from the image files of its folder (the
// script's folder, or the working folder, while it names none).
void Panel::drawFile(const PanelRow& row, const std::string& id, const std::string& value, const KnobSetter& set) {
  const std::string name = row.knob->name();
  const float button = ImGui::GetFrameHeight();
  ImGui::SetNextItemWidth(-(button + ImGui::GetStyle().ItemInnerSpacing.x));
  textField(id, value, "file", name, set);
  tooltip(row);
  ImGui::SameLine(0, ImGui::GetStyle().ItemInnerSpacing.x);
  if (ImGui::Button("\u2026", ImVec2(button, 0))) ImGui::OpenPopup("files");
  note("file-list", name, "");
  if (!ImGui::BeginPopup("files")) return;
  std::filesystem::path folder = std::filesystem::path(value).parent_path();
  std::error_code ec;
  if (value.empty() || !std::filesystem::is_directory(folder, ec)) folder = filesFolder_;
  ImGui::TextDisabled("%s", folder.string().c_str());
  const std::vector<std::string> files = Workspace::imageFiles(folder.string());
  if (files.empty()) ImGui::TextDisabled("no image files here");
  for (const std::string& file : files) {
    const std::string path = (folder / file).string();
    if (ImGui::Selectable(file.c_str(), path == value)) set(path);
    note("file-choice", name, path);
  }
  ImGui::EndPopup();
}

void Panel::drawMenu(const PanelRow& row, const std::string& value, const KnobSetter& set) {
  ImGui::SetNextItemWidth(-1.0f);
  const std::vector<std::string> items = DD::Image::enumerationItems(row.knob);
  if (ImGui::BeginCombo("##menu", value.c_str())) {
    for (const std::string& item : items)
      if (ImGui::Selectable(item.c_str(), item == value)) set(item);
    ImGui::EndCombo();
  }
  note("menu", row.knob->name(), value);
  tooltip(row);
}

void Panel::drawFields(const std::string& nodeName, const PanelRow& row, const std::string& id,
                       const std::string& value) {
  const int channels = std::max(row.knob->channels(), 1);
  const std::vector<std::string> parts = splitChannels(value, channels);
  static const char* const kAxes[] = {"x", "y", "z", "w"};
  const float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
  const float gaps = spacing * static_cast<float>(channels - 1);
  float needed = 0;
  for (const std::string& part : parts) needed = std::max(needed, fieldWidth(part));
  // Values are shown whole: fields that do not fit beside the label go on
  // a line of their own.
  if (needed * static_cast<float>(channels) + gaps > ImGui::GetContentRegionAvail().x) ImGui::NewLine();
  const float width = std::max(needed, (ImGui::GetContentRegionAvail().x - gaps) / static_cast<float>(channels));
  const KnobSetter set = setLater(nodeName, row.knob->name());
  for (int c = 0; c < channels; ++c) {
    if (c > 0) ImGui::SameLine(0, spacing);
    ImGui::SetNextItemWidth(width);
    const char* axis = c < 4 ? kAxes[c] : "?";
    numberField(nodeName, row, c, id + "/" + axis, parts[static_cast<size_t>(c)], axis,
                [set, parts, c](const std::string& typed) {
                  std::vector<std::string> all = parts;
                  all[static_cast<size_t>(c)] = typed;
                  std::string joined;
                  for (size_t i = 0; i < all.size(); ++i) joined += (i ? "," : "") + all[i];
                  set(joined);
                });
  }
}

void Panel::askToClose(Workspace& workspace) {
  if (!workspace.dirty()) {
    requests_.close = true;
    return;
  }
  ask(kUnsaved);
}

void Panel::askToSave(Workspace& workspace) {
  const std::string target = workspace.saveTarget();
  if (target.empty()) {
    askToSaveAs(workspace);
    return;
  }
  workspace.save(target);
}

void Panel::askToSaveAs(Workspace& workspace) {
  const std::string target = workspace.saveTarget();
  saveAsPath_ = target.empty() ? (std::filesystem::current_path() / "untitled.json").string() : target;
  ask(kSaveAs);
}

void Panel::ask(const char* question) {
  question_ = question;
  questionError_.clear();
  questionDone_ = false;
  focusPath_ = true;
  openQuestion_ = true;
}

void Panel::askToSaveRender(Workspace& workspace) {
  if (!workspace.hasRender()) return;
  // Beside the script, named after it; else in the working folder.
  const std::string target = workspace.saveTarget();
  const std::filesystem::path folder =
      target.empty() ? std::filesystem::current_path() : std::filesystem::absolute(target).parent_path();
  const std::string stem =
      target.empty() ? std::string("render") : std::filesystem::path(target).stem().string() + "-render";
  saveAsPath_ = (folder / (stem + ".png")).string();
  ask(kSaveRender);
  replacing_ = false;
}

void Panel::drawQuestion(Workspace& workspace) {
  if (question_.empty()) return;
  if (openQuestion_) {
    ImGui::OpenPopup(question_.c_str());
    openQuestion_ = false;
  }
  const ImVec2 centre(ImGui::GetIO().DisplaySize.x / 2, ImGui::GetIO().DisplaySize.y / 2);
  ImGui::SetNextWindowPos(centre, ImGuiCond_Always, ImVec2(0.5f, 0.5f));
  if (!ImGui::BeginPopupModal(question_.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
    // Closed some other way: the question is over.
    question_.clear();
    return;
  }
  if (questionDone_) {
    endQuestion();
    ImGui::EndPopup();
    return;
  }
  note("popup", question_, "");
  if (question_ == kUnsaved)
    drawUnsavedQuestion(workspace);
  else
    drawPathQuestion();
  ImGui::EndPopup();
}

bool Panel::questionButton(const char* label) {
  const bool pressed = ImGui::Button(label, ImVec2(100, 0));
  note("popup-button", label, "");
  return pressed;
}

bool Panel::keyPressed(int key) { return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key), false); }

void Panel::endQuestion() {
  ImGui::CloseCurrentPopup();
  question_.clear();
  questionError_.clear();
  replacing_ = false;
}

// Enter saves, Esc cancels.
void Panel::drawUnsavedQuestion(Workspace& workspace) {
  const std::string target = workspace.saveTarget();
  ImGui::Text("Save the changes to %s before closing?", target.empty() ? "the script" : target.c_str());
  const bool save = questionButton("Save") || keyPressed(ImGuiKey_Enter) || keyPressed(ImGuiKey_KeyPadEnter);
  ImGui::SameLine();
  const bool discard = questionButton("Don't save");
  ImGui::SameLine();
  const bool cancel = questionButton("Cancel") || keyPressed(ImGuiKey_Escape);
  if (save) {
    endQuestion();
    later([this](Workspace& w) { saveThenClose(w); });
  } else if (discard) {
    endQuestion();
    requests_.close = true;
  } else if (cancel) {
    endQuestion();
  }
}

// The two questions for a path: where the render goes, or the script. The
// field has the keyboard; Enter saves and Esc cancels. When the file
// cannot be written the question stays, with the reason and the path as
// typed.
void Panel::drawPathQuestion() {
  const bool render = question_ == kSaveRender;
  if (render && replacing_) return drawReplaceQuestion();
  ImGui::TextUnformatted(render ? "Save the render to (.png, .tif, .tiff or .exr):" : "Save the script to:");
  ImGui::SetNextItemWidth(400);
  if (focusPath_) {
    ImGui::SetKeyboardFocusHere();
    focusPath_ = false;
  }
  ImGui::InputText("##path", &saveAsPath_);
  note("path", "", saveAsPath_);
  if (!questionError_.empty()) {
    ImGui::PushStyleColor(ImGuiCol_Text, kErrorColour);
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + 400);
    ImGui::TextUnformatted(questionError_.c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
    note("popup-error", question_, questionError_);
  }
  const bool save = questionButton("Save") || keyPressed(ImGuiKey_Enter) || keyPressed(ImGuiKey_KeyPadEnter);
  ImGui::SameLine();
  const bool cancel = questionButton("Cancel") || keyPressed(ImGuiKey_Escape);
  std::error_code ec;
  if (save && render && std::filesystem::exists(saveAsPath_, ec)) {
    replacing_ = true;
  } else if (save) {
    const std::string path = saveAsPath_;
    later([this, path, render](Workspace& w) {
      const bool saved = render ? w.saveRender(path) : saveScriptAs(w, path);
      if (saved) {
        questionDone_ = true;
      } else {
        questionError_ = w.message();
        focusPath_ = true;
      }
    });
  } else if (cancel) {
    endQuestion();
    closeAfterSave_ = false;
  }
}

// The render's file is there already: replace it (Enter), or back to the
// name (Esc).
void Panel::drawReplaceQuestion() {
  ImGui::Text("%s already exists. Replace it?", saveAsPath_.c_str());
  const bool replace = questionButton("Replace") || keyPressed(ImGuiKey_Enter) || keyPressed(ImGuiKey_KeyPadEnter);
  ImGui::SameLine();
  const bool back = questionButton("Back") || keyPressed(ImGuiKey_Escape);
  if (replace) {
    const std::string path = saveAsPath_;
    later([this, path](Workspace& w) {
      if (w.saveRender(path)) {
        questionDone_ = true;
      } else {
        questionError_ = w.message();
        replacing_ = false;
        focusPath_ = true;
      }
    });
  } else if (back) {
    replacing_ = false;
    focusPath_ = true;
  }
}

void Panel::saveThenClose(Workspace& workspace) {
  if (workspace.saveTarget().empty()) {
    closeAfterSave_ = true;
    askToSave(workspace);
  } else if (workspace.save(workspace.saveTarget())) {
    requests_.close = true;
  }
}

bool Panel::saveScriptAs(Workspace& workspace, const std::string& path) {
  if (!workspace.saveAs(path)) return false;
  if (closeAfterSave_) requests_.close = true;
  closeAfterSave_ = false;
  return true;
}

Panel::Requests Panel::apply(Workspace& workspace) {
  if (!working_.empty()) {
    // A typed value may take long to apply (a dense grid is built anew): a
    // frame that says so is drawn first.
    workspace.setMessage(working_);
    working_.clear();
    Requests wait;
    wait.again = true;
    return wait;
  }
  std::vector<std::function<void(Workspace&)>> run;
  run.swap(pending_);
  for (auto& f : run) f(workspace);
  Requests r = requests_;
  requests_ = Requests();
  return r;
}

}  // namespace quorhost
