// The window's side panel, drawn with Dear ImGui: the tools, the list of
// nodes, the current node's knobs and the questions the window asks.
//
// Edits made in a frame change the graph only once the panel is drawn
// (apply()), since a change may replace the knobs the frame still lists.
#ifndef QUORHOST_WINDOW_PANEL_H
#define QUORHOST_WINDOW_PANEL_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "window/PanelRows.h"
#include "window/Workspace.h"

namespace quorhost {

// One thing the panel showed in the last frame, where it showed it (window
// pixels, top-left corner to bottom-right corner).
struct PanelItem {
  std::string kind;  // "node", a widget name (number, slider, x, y, z, ...), "tool" or "popup-button"
  std::string name;  // the node's or knob's name, or the button's label
  std::string value;
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool visible = true;  // not scrolled out of its list's sight
};

class Panel {
 public:
  // What the user asked of the window as a whole in the last frame.
  struct Requests {
    bool close = false;   // the window may close now
    bool render = false;  // render the scene, then show the render
    bool again = false;   // draw a frame more, then ask again
  };

  // Draws the panel in the rectangle at (x, y) of size w x h.
  void draw(Workspace& workspace, float x, float y, float w, float h);
  // Makes the changes asked for in the frame just drawn; answers what the
  // window has to do.
  Requests apply(Workspace& workspace);

  // Asks whether to save before closing, if there are unsaved changes;
  // otherwise the next apply() answers close.
  void askToClose(Workspace& workspace);
  // Saves, or asks for a file name first when the run names none.
  void askToSave(Workspace& workspace);
  // Asks for a file name, the save target's first, and saves the script
  // there; later saves go there too.
  void askToSaveAs(Workspace& workspace);
  // Asks where to save the render, then saves it.
  void askToSaveRender(Workspace& workspace);
  // True while changes asked for are not made yet.
  bool applying() const { return !pending_.empty() || !working_.empty(); }
  // True while a question is shown: the viewer takes no pointer input.
  bool asking() const { return !question_.empty(); }
  // Which view the window shows beside the panel: the render or the viewer.
  bool showingRender() const { return showRender_; }
  void showRender(bool show) { showRender_ = show; }
  const std::string& question() const { return question_; }

  // What the last frame showed.
  const std::vector<PanelItem>& items() const { return items_; }
  // The text field being typed into lets go in the next frame, which sets
  // what was typed.
  void releaseKeyboard() { releaseKeyboard_ = true; }
  // The wheel turned `steps` over window point (x, y): over a number field
  // it nudges that number, and answers true; elsewhere it is the panel's.
  bool wheel(float x, float y, float steps);

 private:
  // Sets the knob of these names from a text, after the frame (see later).
  using KnobSetter = std::function<void(const std::string& text)>;
  // The tabs and groups while a node's rows are drawn: rows inside a
  // closed tab or group are skipped.
  struct Sections {
    int closedDepth = 0;  // how deep inside a closed group
    int openGroups = 0;   // groups open in the current tab
    bool tabClosed = false;
    bool shown() const { return closedDepth == 0 && !tabClosed; }
    void closeGroups();
  };

  void drawTools(Workspace& workspace);
  void drawNodes(Workspace& workspace);
  void drawKnobs(Workspace& workspace, Node* node);
  // The row after which the list scrolls this frame, or null.
  const PanelRow* newlyPickedRows(const std::string& nodeName, const std::vector<PanelRow>& rows);
  // Draws a Tab, BeginGroup or EndGroup row; false for any other row.
  bool drawSection(const PanelRow& row, Sections* sections);
  // Draws one knob; `index` makes the ids of knobs without names. With
  // `joins`, on the row of the knob before.
  void drawKnob(const std::string& nodeName, const PanelRow& row, int index, bool joins);
  void labelColumn(const PanelRow& row, bool joins);
  // The knob's tooltip while the pointer is over the item just drawn.
  void tooltip(const PanelRow& row);
  KnobSetter setLater(const std::string& nodeName, const std::string& knobName);
  void drawNumber(const std::string& nodeName, const PanelRow& row, const std::string& id, const std::string& value);
  void numberField(const std::string& nodeName, const PanelRow& row, int channel, const std::string& id,
                   const std::string& shown, const std::string& kind, const KnobSetter& set);
  void drawMenu(const PanelRow& row, const std::string& value, const KnobSetter& set);
  void drawFile(const PanelRow& row, const std::string& id, const std::string& value, const KnobSetter& set);
  void drawInputs(Workspace& workspace, Node* node);
  void drawFields(const std::string& nodeName, const PanelRow& row, const std::string& id, const std::string& value);

  void drawQuestion(Workspace& workspace);
  void drawUnsavedQuestion(Workspace& workspace);
  void drawPathQuestion();
  void drawReplaceQuestion();
  void drawRenderStatus(Workspace& workspace, float viewWidth);
  bool questionButton(const char* label);
  // A key (ImGuiKey_...) went down in this frame.
  static bool keyPressed(int key);
  void ask(const char* question);
  void endQuestion();
  // "Save" before closing: saves to the save target and lets the window
  // close; asks for a file first when there is none.
  void saveThenClose(Workspace& workspace);
  // "Save" under "Save as": saves, and closes when the question came on the
  // way out. False when it could not save.
  bool saveScriptAs(Workspace& workspace, const std::string& path);
  void note(const std::string& kind, const std::string& name, const std::string& value);
  // A text field whose text stays as typed while it is being edited; calls
  // `commit` with the text once the user leaves it after editing.
  void textField(const std::string& id, const std::string& shown, const std::string& kind, const std::string& name,
                 std::function<void(const std::string&)> commit);
  void later(std::function<void(Workspace&)> f) { pending_.push_back(std::move(f)); }

  std::vector<std::function<void(Workspace&)>> pending_;
  std::map<std::string, std::string> editing_;  // text being typed, by field
  // The number field being scrubbed: where the drag started and the value
  // then, and the nudges it has made.
  struct Scrub {
    std::string id;
    float x = 0;
    double steps = 0, from = 0;
  };
  Scrub scrub_;
  std::string shownNode_;    // the node whose knobs the panel shows
  std::string filesFolder_;  // where a file list starts when the knob names no folder
  float labelWidth_ = 0;
  bool rowLabelOnly_ = false;  // the row drawn last holds a text knob's label only
  std::vector<PanelItem> items_;
  std::string question_;     // the title of the question shown; empty for none
  std::string shownPicked_;  // the node and the knobs a replacement made, last shown
  std::string saveAsPath_;
  std::string working_;  // what a typed value being applied says first
  bool showRender_ = false;
  bool closeAfterSave_ = false;
  bool replacing_ = false;  // the render's file exists: asking to replace it
  bool openQuestion_ = false;
  bool focusPath_ = false;
  bool releaseKeyboard_ = false;  // the path field takes the keyboard in the next frame
  bool questionDone_ = false;     // the question closes in the next frame
  std::string questionError_;     // why the path question's last answer failed
  Requests requests_;
};

}  // namespace quorhost

#endif
