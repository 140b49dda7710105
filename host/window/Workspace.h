// What the window works on, without the window: the session's graph seen
// through the viewer, the pointer gestures that edit it or move the camera,
// knob edits from the panel, the history of changes and the script file.
// The window turns its events into these calls; tests make them directly.
#ifndef QUORHOST_WINDOW_WORKSPACE_H
#define QUORHOST_WINDOW_WORKSPACE_H

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <DDImageHost/Camera.h>
#include <DDImageHost/Host.h>

#include "SceneWriter.h"
#include "Script.h"
#include "Session.h"
#include "window/SurfacePreview.h"

namespace quorhost {

class WarningCapture;

enum class PointerButton { Left, Middle, Right };

// What a pointer drag in the viewer does.
enum class Gesture { None, Edit, Tumble, Track, Dolly };

class Workspace {
 public:
  explicit Workspace(Session& session);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  Session& session() { return session_; }

  // ---- the viewer ----
  // The picture size, in pixels; the camera keeps its place and turn.
  void setViewerSize(int width, int height);
  const DD::Image::Camera& camera();
  // Validates the nodes and draws the viewer (see DD::Image::Viewer::draw),
  // with the final surfaces over the nodes' drawing when finalSurface().
  bool drawViewer(std::vector<unsigned char>* rgba, std::string* error);

  // A button pressed at viewer pixel (x, y) (x rightward, y downward from
  // the top-left corner) with Shift or Alt held: left edits, through the
  // viewer's press and drag as --click and --drag do; Alt+left or middle
  // tumbles; Alt+middle or Shift+middle tracks; Alt+right dollies. A press
  // while a gesture runs is ignored.
  void press(PointerButton button, bool shift, bool alt, float x, float y);
  // The pointer moved to (x, y), a button held or not.
  void move(float x, float y);
  // A button let go at (x, y): the gesture it started ends. An edit ends
  // as one step of the history, whatever it changed.
  void release(PointerButton button, float x, float y);
  Gesture gesture() const { return gesture_; }
  // With this on (the window's default), dragging a card's point moves its
  // handles by the same offset, through their own knobs, in the same step.
  // Off, a drag leaves the handles where they are, as --drag does.
  // The "Final surface" preview: the viewer also draws what the renderer
  // will render (off unless set).
  bool finalSurface() const { return finalSurface_; }
  void setFinalSurface(bool on) { finalSurface_ = on; }
  bool moveHandlesWithPoint() const { return moveHandlesWithPoint_; }
  void setMoveHandlesWithPoint(bool on) { moveHandlesWithPoint_ = on; }
  // Scroll wheel steps; up (positive) comes closer.
  void scroll(float steps);
  // Frames the position knobs of the selected nodes; false when they have
  // none.
  bool frameSelected();
  // Back to the default camera of --view.
  void home();

  // ---- the panel ----
  // Makes the node current and selects it, as --node and --select do.
  void choose(Node* node);
  void setSelected(Node* node, bool selected);
  // Sets a knob from text as --set does, as one step of the history.
  // False, with the reason in message(), when the knob refuses it.
  bool setKnob(Node* node, DD::Image::Knob* k, const std::string& text);
  // Sets channel `channel` of a number knob (the others kept), as setKnob
  // does. False, with the reason in message(), when the knob refuses it.
  bool setChannel(Node* node, DD::Image::Knob* k, int channel, double value);
  // The amount one nudge (an arrow key, a wheel step, a few pixels of a
  // scrub) changes a number knob by: 1 for whole numbers, else 0.01.
  static double nudgeStep(const DD::Image::Knob* k);
  // Adds `steps` nudges to channel `channel`.
  bool nudgeKnob(Node* node, DD::Image::Knob* k, int channel, double steps);
  // Presses a button as --press does (a step when it changes anything).
  bool pressKnob(Node* node, DD::Image::Knob* k);
  // ---- nodes and files ----
  // Adds a node of class `className` ("Axis", "Read", "QuorCard") as
  // --new does, as one step; it becomes the current node. Null, with the
  // reason in message(), when it cannot be made.
  Node* addNode(const std::string& className);
  // The nodes that input `input` of `node` can take, in the graph's order.
  std::vector<Node*> inputChoices(Node* node, int input);
  // Connects input `input` of `node` to `from` (null: none), as one step.
  // False, with the reason in message(), when the input refuses it.
  bool connectInput(Node* node, int input, Node* from);
  // The image files of `folder` (by their extension), sorted by name.
  static std::vector<std::string> imageFiles(const std::string& folder);

  // The node's error after validation; empty for none.
  std::string nodeError(Node* node);

  // ---- history ----
  // Brackets a change made of many edits (a slider drag): the history gets
  // one step for all of them, when the script differs at the end. Steps
  // nest; the outermost one counts.
  void beginStep();
  void endStep();
  static constexpr size_t kHistorySteps = 100;
  static constexpr size_t kHistoryBytes = size_t(512) << 20;
  bool canUndo() const { return !undo_.empty(); }
  bool canRedo() const { return !redo_.empty(); }
  size_t undoCount() const { return undo_.size(); }
  size_t redoCount() const { return redo_.size(); }
  // Puts the nodes back as they were before the last step (after it, for
  // redo). The current node and the selection stay as they are; a picked
  // point's knobs are hidden again, as after loading a script.
  bool undo();
  bool redo();

  // ---- the script file ----
  // Where save() writes; empty when the run names no file.
  std::string saveTarget() const { return session_.saveTarget(); }
  // True when saving would write a script that differs from the file.
  bool dirty();
  // Saves to `target` as --save writes it; the history stays. False, with
  // the reason in message(), when it cannot.
  bool save(const std::string& target);
  // Saves to `target` and makes it the save target (Save As).
  bool saveAs(const std::string& target);

  // ---- the render ----
  // Starts rendering the scene with the renderer library, as --render
  // does, at the viewer's framing and size: the scene is described now, and
  // the picture is made on a thread of its own while the window goes on.
  // False, with the reason in message(), when it cannot start, or while a
  // render runs.
  bool startRender();
  bool rendering() const { return worker_.joinable(); }
  // The share of the running render done, 0 to 1.
  float renderProgress() const { return progress_; }
  // Asks the running render to stop; finishRender() then keeps the picture
  // shown before.
  void cancelRender() { cancel_ = true; }
  // When the running render has ended (with `wait`, once it has), takes
  // its picture for the render view. True when a new picture came; false,
  // with the reason in message(), when it failed or was cancelled.
  bool finishRender(bool wait);
  // Starts a render and waits for it.
  bool render() { return startRender() && finishRender(true); }
  bool hasRender() const { return renderWidth_ > 0; }
  // True when the nodes were edited after the render shown began.
  bool renderOutOfDate() const { return hasRender() && renderEdits_ != edits_; }
  int renderWidth() const { return renderWidth_; }
  int renderHeight() const { return renderHeight_; }
  // 8-bit RGBA rows, top row first, the colours multiplied by alpha.
  const std::vector<unsigned char>& renderPixels() const { return renderPixels_; }
  // Writes the render to `path`: for a .png the file the renderer wrote,
  // for .tif, .tiff and .exr the same pixels in that format; under a
  // temporary name first, renamed into place. False, with the reason in
  // message(), when it cannot.
  bool saveRender(const std::string& path);

  // The last thing to tell the user: what failed, or what was done.
  const std::string& message() const { return message_; }
  void setMessage(const std::string& m) { message_ = m; }

 private:
  // The nodes as a script, and the value text of every knob that neither a
  // replacement made (a card's per-point knobs, which follow its points) nor
  // is held apart as a long text, in node and panel order: comparing two
  // states finds the knobs that differ, and knobs that scripts do not hold
  // are put back from it.
  struct KnobText {
    std::string node, knob, text;
    bool operator==(const KnobText& o) const { return node == o.node && knob == o.knob && text == o.text; }
  };
  struct State {
    HeldScript script;
    std::vector<KnobText> knobs;
    bool operator==(const State& o) const { return script == o.script && knobs == o.knobs; }
  };
  // `earlier` lends its long texts to those that stayed the same.
  State capture(const State* earlier);
  // The value texts of the knobs a state keeps apart from its script.
  std::vector<KnobText> knobTexts() const;
  // Puts the nodes back as they are in `state` by loading its script.
  void restore(const State& state);
  // The quick way back: sets the knobs that differ from `state`, then the
  // replaced knobs that the step's edits changed (to the values before them
  // when `undo`); true when the nodes then are as in `state`.
  // `rested`: a handle that moved with its point, the card's turning rule
  // at rest (see dragTo), and that goes back the same way.
  struct Edit {
    std::string node, knob, before, after;
    bool rested = false;
  };
  bool replayEdits(const State& state, const std::vector<Edit>& edits, bool undo);
  // The latest state the workspace knows, to share long texts with.
  const State* lastState() const;
  // The folder that history snapshots are written against.
  std::string snapshotTarget() const;
  // The nodes changed (an edit, undo or redo).
  void edited() {
    changed();
    ++edits_;
  }
  void changed() { dirtyKnown_ = false; }
  bool saveTo(const std::string& target, bool makeTarget);
  void readSavedFile();
  // One drag step of an edit: the grabbed knob follows the pointer, and a
  // point's handles follow the point when moveHandlesWithPoint() is on.
  void dragTo(float x, float y);
  void showWarnings(const WarningCapture& warnings);
  // A replaced knob about to change in this step: its value now.
  void editStarts(Node* node, DD::Image::Knob* k, bool rested = false);
  // ... and the values after the change of those begun.
  void editEnds();

  Session& session_;
  Gesture gesture_ = Gesture::None;
  PointerButton gestureButton_ = PointerButton::Left;
  float lastX_ = 0, lastY_ = 0;
  bool moveHandlesWithPoint_ = true;
  bool finalSurface_ = false;
  SurfacePreviewDrawing preview_;

  int stepDepth_ = 0;
  using StatePtr = std::shared_ptr<const State>;
  StatePtr stepStart_;  // null when the step could not be captured
  std::vector<Edit> stepEdits_;
  std::vector<Edit> editing_;  // the edits begun by editStarts
  // A step's state before is the one after the step before it when nothing
  // changed in between, and is then shared.
  struct Step {
    StatePtr before, after;
    std::vector<Edit> edits;
  };
  std::vector<Step> undo_, redo_;
  // Moves the last step of `from` onto `to`, putting the nodes back as they
  // were before it (else after it); says `done`, or why it could not `verb`.
  bool replay(std::vector<Step>* from, std::vector<Step>* to, bool before, const char* verb, const char* done);
  // Drops the oldest steps beyond kHistorySteps, or while the states kept
  // take more than kHistoryBytes (a dense grid's points text is large).
  void trimHistory();

  // The save target's script as far as it is known without reading the
  // file: the state the nodes were in when they were loaded from it or
  // saved to it, or found the same as it; null when not known.
  StatePtr baseline_;
  std::string baselineTarget_;
  // What the save target held when last read: the file's script in one
  // normal form (JSON written compactly, without selections); empty when it
  // could not be read.
  bool savedKnown_ = false;
  std::string savedNormal_;
  std::string savedTarget_;
  bool dirtyKnown_ = false;
  bool dirty_ = false;
  std::string dirtyTarget_;  // the save target dirty_ was found for

  std::string message_;

  // Edits of the nodes so far.
  unsigned long edits_ = 0;

  // The render: the folder it is written into (made at the first render,
  // removed with the workspace), its file, its pixels and the edits it saw.
  std::string renderFolder_;
  std::string renderFile_;
  int renderWidth_ = 0, renderHeight_ = 0;
  std::vector<unsigned char> renderPixels_;
  unsigned long renderEdits_ = 0;
  // The running render: its thread, the file it writes, the edits when it
  // began, and what the thread tells: how far it is, and, once it ended,
  // its failure (or nothing) and whether it was cancelled.
  std::thread worker_;
  std::unique_ptr<RenderJob> job_;
  std::string jobFile_;
  unsigned long jobEdits_ = 0;
  int renders_ = 0;
  std::atomic<float> progress_{0};
  std::atomic<bool> cancel_{false};
  std::atomic<bool> ended_{false};
  std::string jobError_;
  bool jobCancelled_ = false;
};

}  // namespace quorhost

#endif
