#include "window/Panel.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <DDImage/Knobs.h>

#include "window/PanelRows.h"

namespace quorhost {

using DD::Image::Knob;

namespace {

const char kUnsaved[] = "Unsaved changes";
const char kSaveAs[] = "Save as";
const char kSaveRender[] = "Save render";
const float kLabelWidth = 110.0f;
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

}  // namespace

void Panel::note(const std::string& kind, const std::string& name, const std::string& value) {
  const ImVec2 lo = ImGui::GetItemRectMin(), hi = ImGui::GetItemRectMax();
  items_.push_back(PanelItem{kind, name, value, lo.x, lo.y, hi.x, hi.y});
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
  if (ImGui::Button("Render")) requests_.render = true;
  note("tool", "Render", "enabled");
  ImGui::SameLine();
  tool("Save render\u2026", workspace.hasRender(), [this](Workspace& w) { askToSaveRender(w); });
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

  const std::vector<PanelRow> rows = panelRows(*node);
  const PanelRow* scrollAfter = newlyPickedRows(nodeName, rows);
  Sections sections;
  int index = 0;
  for (const PanelRow& row : rows) {
    ImGui::PushID(index++);
    if (!drawSection(row, &sections) && sections.shown()) {
      drawKnob(nodeName, row, index);
      if (&row == scrollAfter) ImGui::SetScrollHereY(0.25f);
    }
    ImGui::PopID();
  }
  sections.closeGroups();
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

void Panel::labelColumn(const PanelRow& row) {
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(row.label.c_str());
  ImGui::SameLine(kLabelWidth);
}

std::function<void(const std::string&)> Panel::setLater(const std::string& nodeName, const std::string& knobName) {
  return [this, nodeName, knobName](const std::string& text) {
    later(onKnob(nodeName, knobName, [text](Workspace& w, Node* n, Knob* k) { w.setKnob(n, k, text); }));
  };
}

void Panel::drawKnob(const std::string& nodeName, const PanelRow& row, int index) {
  Knob* k = row.knob;
  const std::string name = k->name();
  const std::string id = nodeName + "/" + (name.empty() ? std::to_string(index) : name);
  const std::string value = k->hasValue() ? k->valueText() : std::string();
  switch (row.widget) {
    case Widget::Number:
      labelColumn(row);
      drawNumber(row, id, value, setLater(nodeName, name));
      break;
    case Widget::Checkbox: {
      labelColumn(row);
      bool on = k->get_value(0) != 0;
      if (ImGui::Checkbox("##check", &on)) setLater(nodeName, name)(on ? "1" : "0");
      note("checkbox", name, on ? "1" : "0");
      break;
    }
    case Widget::Menu:
      labelColumn(row);
      drawMenu(row, value, setLater(nodeName, name));
      break;
    case Widget::Fields:
      labelColumn(row);
      drawFields(row, id, value, setLater(nodeName, name));
      break;
    case Widget::File:
    case Widget::Text:
      labelColumn(row);
      ImGui::SetNextItemWidth(-1.0f);
      textField(id, value, row.widget == Widget::File ? "file" : "text", name, setLater(nodeName, name));
      break;
    case Widget::Button:
      if (ImGui::Button(row.label.c_str()))
        later(onKnob(nodeName, name, [](Workspace& w, Node* n, Knob* pressed) { w.pressKnob(n, pressed); }));
      note("button", name, "");
      break;
    case Widget::Label:
      ImGui::TextDisabled("%s", row.label.c_str());
      note("label", name, row.label);
      break;
    case Widget::Separator:
      ImGui::Separator();
      note("separator", name, "");
      break;
    default:
      break;
  }
}

void Panel::drawNumber(const PanelRow& row, const std::string& id, const std::string& value, const KnobSetter& set) {
  Knob* k = row.knob;
  const std::string name = k->name();
  const bool integer = k->kind() == DD::Image::INT_KNOB;
  ImGui::SetNextItemWidth(row.slider || row.hasRange ? 80.0f : -1.0f);
  textField(id, value, "number", name, set);
  if (row.slider) {
    ImGui::SameLine();
    ImGui::SetNextItemWidth(-1.0f);
    double v = k->get_value(0);
    const double lo = row.minimum, hi = row.maximum;
    const bool moved = ImGui::SliderScalar("##slider", ImGuiDataType_Double, &v, &lo, &hi, integer ? "%.0f" : "%.3g");
    note("slider", name, numberText(v, integer));
    // A whole slider drag is one step.
    if (ImGui::IsItemActivated()) later([](Workspace& w) { w.beginStep(); });
    if (moved) set(numberText(v, integer));
    if (ImGui::IsItemDeactivated()) later([](Workspace& w) { w.endStep(); });
  } else if (row.hasRange) {
    ImGui::SameLine();
    ImGui::TextDisabled("%s to %s", numberText(row.minimum, false).c_str(), numberText(row.maximum, false).c_str());
    note("range", name, numberText(row.minimum, false) + " " + numberText(row.maximum, false));
  }
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
}

void Panel::drawFields(const PanelRow& row, const std::string& id, const std::string& value, const KnobSetter& set) {
  const int channels = row.knob->channels();
  const std::vector<std::string> parts = splitChannels(value, channels);
  static const char* const kAxes[] = {"x", "y", "z", "w"};
  const float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
  const float width = (ImGui::GetContentRegionAvail().x - spacing * static_cast<float>(channels - 1)) /
                      static_cast<float>(std::max(channels, 1));
  for (int c = 0; c < channels; ++c) {
    if (c > 0) ImGui::SameLine(0, spacing);
    ImGui::SetNextItemWidth(width);
    const char* axis = c < 4 ? kAxes[c] : "?";
    textField(id + "/" + axis, parts[static_cast<size_t>(c)], axis, row.knob->name(),
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
  question_ = kUnsaved;
  openQuestion_ = true;
}

void Panel::askToSave(Workspace& workspace) {
  const std::string target = workspace.saveTarget();
  if (target.empty()) {
    question_ = kSaveAs;
    saveAsPath_ = (std::filesystem::current_path() / "untitled.json").string();
    openQuestion_ = true;
    return;
  }
  workspace.save(target);
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
  question_ = kSaveRender;
  openQuestion_ = true;
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

void Panel::endQuestion() {
  ImGui::CloseCurrentPopup();
  question_.clear();
}

void Panel::drawUnsavedQuestion(Workspace& workspace) {
  const std::string target = workspace.saveTarget();
  ImGui::Text("Save the changes to %s before closing?", target.empty() ? "the script" : target.c_str());
  if (questionButton("Save")) {
    endQuestion();
    later([this](Workspace& w) { saveThenClose(w); });
  }
  ImGui::SameLine();
  if (questionButton("Don't save")) {
    endQuestion();
    requests_.close = true;
  }
  ImGui::SameLine();
  if (questionButton("Cancel")) endQuestion();
}

// The two questions for a path: where the render goes, or the script.
void Panel::drawPathQuestion() {
  const bool render = question_ == kSaveRender;
  ImGui::TextUnformatted(render ? "Save the render to (.png, .tif, .tiff or .exr):" : "Save the script to:");
  ImGui::SetNextItemWidth(400);
  ImGui::InputText("##path", &saveAsPath_);
  note("path", "", saveAsPath_);
  if (questionButton("Save")) {
    endQuestion();
    const std::string path = saveAsPath_;
    if (render)
      later([path](Workspace& w) { w.saveRender(path); });
    else
      later([this, path](Workspace& w) { saveScriptAs(w, path); });
  }
  ImGui::SameLine();
  if (questionButton("Cancel")) {
    endQuestion();
    closeAfterSave_ = false;
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

void Panel::saveScriptAs(Workspace& workspace, const std::string& path) {
  if (workspace.save(path) && closeAfterSave_) requests_.close = true;
  closeAfterSave_ = false;
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
