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
  return [=](Workspace& ws) {
    Node* n = ws.session().graph().find(nodeName);
    Knob* k = n ? n->knob(knobName) : nullptr;
    if (k) f(ws, n, k);
  };
}

std::vector<std::string> splitChannels(const std::string& text, int channels) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
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
    later([commit, text](Workspace&) { commit(text); });
  } else if (ImGui::IsItemActive()) {
    editing_[id] = text;
  } else {
    editing_.erase(id);
  }
}

void Panel::draw(Workspace& ws, float x, float y, float w, float h) {
  items_.clear();
  ImGui::SetNextWindowPos(ImVec2(x, y));
  ImGui::SetNextWindowSize(ImVec2(w, h));
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                 ImGuiWindowFlags_NoBringToFrontOnFocus;
  ImGui::Begin("panel", nullptr, flags);
  drawTools(ws);
  ImGui::Separator();
  drawNodes(ws);
  ImGui::Separator();
  // The knobs scroll; the message line stays at the bottom.
  const float footer = ImGui::GetFrameHeightWithSpacing();
  ImGui::BeginChild("knobs", ImVec2(0, -footer));
  if (Node* node = ws.session().currentNode()) drawKnobs(ws, node);
  ImGui::EndChild();
  ImGui::Separator();
  ImGui::TextUnformatted(ws.message().c_str());
  note("message", "", ws.message());
  drawQuestion(ws);
  ImGui::End();
}

void Panel::drawTools(Workspace& ws) {
  auto tool = [&](const char* label, bool enabled, std::function<void(Workspace&)> f) {
    ImGui::BeginDisabled(!enabled);
    if (ImGui::Button(label)) later(std::move(f));
    ImGui::EndDisabled();
    note("tool", label, enabled ? "enabled" : "disabled");
  };
  tool("Undo", ws.canUndo(), [](Workspace& w) { w.undo(); });
  ImGui::SameLine();
  tool("Redo", ws.canRedo(), [](Workspace& w) { w.redo(); });
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
  ImGui::BeginDisabled(!ws.hasRender());
  if (ImGui::RadioButton("Render view", showRender_)) showRender_ = true;
  ImGui::EndDisabled();
  note("view", "Render view", showRender_ ? "shown" : "-");
  ImGui::SameLine();
  if (ImGui::Button("Render")) requests_.render = true;
  note("tool", "Render", "enabled");
  ImGui::SameLine();
  tool("Save render\u2026", ws.hasRender(), [this](Workspace& w) { askToSaveRender(w); });
  const std::string target = ws.saveTarget();
  const std::string file =
      target.empty() ? std::string("(no file)") : std::filesystem::path(target).filename().string();
  ImGui::Text("%s%s", file.c_str(), ws.dirty() ? "  (unsaved changes)" : "");
  note("file", target, ws.dirty() ? "unsaved" : "saved");
}

void Panel::drawNodes(Workspace& ws) {
  ImGui::TextUnformatted("Nodes");
  const auto& nodes = ws.session().graph().nodes();
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
    const bool current = n == ws.session().currentNode();
    const std::string label = name + "  (" + n->className() + ")";
    if (ImGui::Selectable(label.c_str(), current))
      later([name](Workspace& w) { w.choose(w.session().graph().find(name)); });
    note("node", name, current ? "current" : "-");
    ImGui::PopID();
  }
  ImGui::EndChild();
}

void Panel::drawKnobs(Workspace& ws, Node* node) {
  const std::string nodeName = node->name();
  ImGui::Text("%s  (%s)", nodeName.c_str(), node->className());
  const std::string error = ws.nodeError(node);
  if (!error.empty()) {
    ImGui::PushStyleColor(ImGuiCol_Text, kErrorColour);
    ImGui::TextWrapped("%s", error.c_str());
    ImGui::PopStyleColor();
    note("error", nodeName, error);
  }

  const std::vector<PanelRow> rows = panelRows(*node);
  // When a pick shows other knobs after "delimiter", the list scrolls to
  // them.
  std::string picked = nodeName;
  bool afterDelimiter = false;
  for (const PanelRow& row : rows) {
    if (afterDelimiter) picked += "/" + row.knob->name();
    afterDelimiter = afterDelimiter || row.knob->name() == "delimiter";
  }
  const bool scrollToPicked = picked != shownPicked_ && picked.find('/') != std::string::npos;
  shownPicked_ = picked;
  // Rows inside a closed tab or group are skipped: how deep the closed
  // group is, and whether the current tab is closed.
  int closedDepth = 0, openGroups = 0;
  bool tabClosed = false;
  int index = 0;
  for (const PanelRow& row : rows) {
    Knob* k = row.knob;
    const std::string name = k->name();
    ImGui::PushID(index++);
    switch (row.widget) {
      case Widget::Tab:
        if (closedDepth == 0) {
          while (openGroups > 0) {
            ImGui::TreePop();
            --openGroups;
          }
          tabClosed = !ImGui::CollapsingHeader(row.label.c_str(), ImGuiTreeNodeFlags_DefaultOpen);
          note("tab", row.label, tabClosed ? "closed" : "open");
        }
        ImGui::PopID();
        continue;
      case Widget::BeginGroup:
        if (closedDepth > 0 || tabClosed) {
          if (closedDepth > 0) ++closedDepth;
        } else if (ImGui::TreeNodeEx(row.label.c_str(), row.closed ? 0 : ImGuiTreeNodeFlags_DefaultOpen)) {
          note("group", row.label, "open");
          ++openGroups;
        } else {
          note("group", row.label, "closed");
          closedDepth = 1;
        }
        ImGui::PopID();
        continue;
      case Widget::EndGroup:
        if (closedDepth > 0) {
          --closedDepth;
        } else if (openGroups > 0 && !tabClosed) {
          ImGui::TreePop();
          --openGroups;
        }
        ImGui::PopID();
        continue;
      default:
        break;
    }
    if (closedDepth > 0 || tabClosed) {
      ImGui::PopID();
      continue;
    }

    const std::string id = nodeName + "/" + (name.empty() ? std::to_string(index) : name);
    const std::string value = k->hasValue() ? k->valueText() : std::string();
    auto setText = [nodeName, name](const std::string& text) {
      return onKnob(nodeName, name, [text](Workspace& w, Node* n, Knob* kk) { w.setKnob(n, kk, text); });
    };
    auto labelColumn = [&]() {
      ImGui::AlignTextToFramePadding();
      ImGui::TextUnformatted(row.label.c_str());
      ImGui::SameLine(kLabelWidth);
    };

    switch (row.widget) {
      case Widget::Number: {
        labelColumn();
        const bool integer = k->kind() == DD::Image::INT_KNOB;
        ImGui::SetNextItemWidth(row.slider || row.hasRange ? 80.0f : -1.0f);
        textField(id, value, "number", name, [this, setText](const std::string& t) { later(setText(t)); });
        if (row.slider) {
          ImGui::SameLine();
          ImGui::SetNextItemWidth(-1.0f);
          double v = k->get_value(0);
          const double lo = row.minimum, hi = row.maximum;
          const bool moved =
              ImGui::SliderScalar("##slider", ImGuiDataType_Double, &v, &lo, &hi, integer ? "%.0f" : "%.3g");
          note("slider", name, numberText(v, integer));
          // A whole slider drag is one step.
          if (ImGui::IsItemActivated()) later([](Workspace& w) { w.beginStep(); });
          if (moved) later(setText(numberText(v, integer)));
          if (ImGui::IsItemDeactivated()) later([](Workspace& w) { w.endStep(); });
        } else if (row.hasRange) {
          ImGui::SameLine();
          ImGui::TextDisabled("%s to %s", numberText(row.minimum, false).c_str(),
                              numberText(row.maximum, false).c_str());
          note("range", name, numberText(row.minimum, false) + " " + numberText(row.maximum, false));
        }
        break;
      }
      case Widget::Checkbox: {
        labelColumn();
        bool on = k->get_value(0) != 0;
        if (ImGui::Checkbox("##check", &on)) later(setText(on ? "1" : "0"));
        note("checkbox", name, on ? "1" : "0");
        break;
      }
      case Widget::Menu: {
        labelColumn();
        ImGui::SetNextItemWidth(-1.0f);
        const std::vector<std::string> items = DD::Image::enumerationItems(k);
        if (ImGui::BeginCombo("##menu", value.c_str())) {
          for (const std::string& item : items)
            if (ImGui::Selectable(item.c_str(), item == value)) later(setText(item));
          ImGui::EndCombo();
        }
        note("menu", name, value);
        break;
      }
      case Widget::Fields: {
        labelColumn();
        const int channels = k->channels();
        const std::vector<std::string> parts = splitChannels(value, channels);
        static const char* const kAxes[] = {"x", "y", "z", "w"};
        const float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
        const float width = (ImGui::GetContentRegionAvail().x - spacing * static_cast<float>(channels - 1)) /
                            static_cast<float>(std::max(channels, 1));
        for (int c = 0; c < channels; ++c) {
          if (c > 0) ImGui::SameLine(0, spacing);
          ImGui::SetNextItemWidth(width);
          const char* axis = c < 4 ? kAxes[c] : "?";
          textField(id + "/" + axis, parts[static_cast<size_t>(c)], axis, name,
                    [this, setText, parts, c](const std::string& t) {
                      std::vector<std::string> all = parts;
                      all[static_cast<size_t>(c)] = t;
                      std::string joined;
                      for (size_t i = 0; i < all.size(); ++i) joined += (i ? "," : "") + all[i];
                      later(setText(joined));
                    });
        }
        break;
      }
      case Widget::File:
      case Widget::Text:
        labelColumn();
        ImGui::SetNextItemWidth(-1.0f);
        textField(id, value, row.widget == Widget::File ? "file" : "text", name,
                  [this, setText](const std::string& t) { later(setText(t)); });
        break;
      case Widget::Button:
        if (ImGui::Button(row.label.c_str()))
          later(onKnob(nodeName, name, [](Workspace& w, Node* n, Knob* kk) { w.pressKnob(n, kk); }));
        note("button", name, "");
        break;
      case Widget::Label:
        ImGui::TextDisabled("%s", row.label.c_str());
        note("label", name, row.label);
        break;
      case Widget::Separator:
        ImGui::Separator();
        if (name == "delimiter" && scrollToPicked) ImGui::SetScrollHereY(0.25f);
        note("separator", name, "");
        break;
      default:
        break;
    }
    ImGui::PopID();
  }
  while (openGroups > 0) {
    ImGui::TreePop();
    --openGroups;
  }
}

void Panel::askToClose(Workspace& ws) {
  if (!ws.dirty()) {
    requests_.close = true;
    return;
  }
  question_ = kUnsaved;
  openQuestion_ = true;
}

void Panel::askToSave(Workspace& ws) {
  const std::string target = ws.saveTarget();
  if (target.empty()) {
    question_ = kSaveAs;
    saveAsPath_ = (std::filesystem::current_path() / "untitled.json").string();
    openQuestion_ = true;
    return;
  }
  ws.save(target);
}

void Panel::askToSaveRender(Workspace& ws) {
  if (!ws.hasRender()) return;
  // Beside the script, named after it; else in the working folder.
  const std::string target = ws.saveTarget();
  const std::filesystem::path folder =
      target.empty() ? std::filesystem::current_path() : std::filesystem::absolute(target).parent_path();
  const std::string stem =
      target.empty() ? std::string("render") : std::filesystem::path(target).stem().string() + "-render";
  saveAsPath_ = (folder / (stem + ".png")).string();
  question_ = kSaveRender;
  openQuestion_ = true;
}

void Panel::drawQuestion(Workspace& ws) {
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
  auto button = [&](const char* label) {
    const bool pressed = ImGui::Button(label, ImVec2(100, 0));
    note("popup-button", label, "");
    return pressed;
  };
  auto finish = [&]() {
    ImGui::CloseCurrentPopup();
    question_.clear();
  };
  if (question_ == kUnsaved) {
    const std::string target = ws.saveTarget();
    ImGui::Text("Save the changes to %s before closing?", target.empty() ? "the script" : target.c_str());
    if (button("Save")) {
      finish();
      later([this](Workspace& w) {
        if (w.saveTarget().empty()) {
          closeAfterSave_ = true;
          askToSave(w);
        } else if (w.save(w.saveTarget())) {
          requests_.close = true;
        }
      });
    }
    ImGui::SameLine();
    if (button("Don't save")) {
      finish();
      requests_.close = true;
    }
    ImGui::SameLine();
    if (button("Cancel")) finish();
  } else {
    // The two questions for a path: where the render goes, or the script.
    const bool render = question_ == kSaveRender;
    ImGui::TextUnformatted(render ? "Save the render to (.png, .tif, .tiff or .exr):" : "Save the script to:");
    ImGui::SetNextItemWidth(400);
    ImGui::InputText("##path", &saveAsPath_);
    note("path", "", saveAsPath_);
    if (button("Save")) {
      finish();
      const std::string path = saveAsPath_;
      if (render) {
        later([path](Workspace& w) { w.saveRender(path); });
      } else {
        later([this, path](Workspace& w) {
          if (w.save(path) && closeAfterSave_) requests_.close = true;
          closeAfterSave_ = false;
        });
      }
    }
    ImGui::SameLine();
    if (button("Cancel")) {
      finish();
      closeAfterSave_ = false;
    }
  }
  ImGui::EndPopup();
}

Panel::Requests Panel::apply(Workspace& ws) {
  std::vector<std::function<void(Workspace&)>> run;
  run.swap(pending_);
  for (auto& f : run) f(ws);
  Requests r = requests_;
  requests_ = Requests();
  return r;
}

}  // namespace quorhost
