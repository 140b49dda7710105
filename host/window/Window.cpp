#include "window/Window.h"

#include <GLFW/glfw3.h>
#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl2.h>

#include <algorithm>
#include <cfloat>
#include <deque>
#include <filesystem>

#include <DDImageHost/OffscreenGL.h>
#include <DDImageHost/Viewer.h>

#include "HostError.h"
#include "window/Panel.h"
#include "window/RenderView.h"
#include "window/Snapshot.h"
#include "window/WindowSettings.h"
#include "window/Workspace.h"

namespace quorhost {

namespace {

std::string& lastGlfwError() {
  static std::string error;
  return error;
}

const char kFontFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void onGlfwError(int, const char* description) { lastGlfwError() = description ? description : "unknown error"; }

// An input event, kept in order until a frame takes it.
struct InputEvent {
  enum Kind { Move, Button, Key, Char, Scroll } kind;
  double x = 0, y = 0;    // the pointer, in window pixels
  int code = 0;           // the button or the key
  double dx = 0, dy = 0;  // the scroll offsets
  int scancode = 0, action = 0, mods = 0;
  unsigned codepoint = 0;
};

class WindowLoop {
 public:
  WindowLoop(Session& session, std::string snapshotPrefix)
      : workspace_(session), snapshotPrefix_(std::move(snapshotPrefix)) {}

  // Opens the window with the viewer's size and the panel beside it.
  void open();
  void run();
  void close();

 private:
  // The panel's Dear ImGui context, on the window's GL context.
  void startImGui();
  // Routes the window's events to the callbacks below.
  void listen();
  static WindowLoop& of(GLFWwindow* w) { return *static_cast<WindowLoop*>(glfwGetWindowUserPointer(w)); }
  static void onMouseButton(GLFWwindow* w, int button, int action, int mods);
  static void onCursor(GLFWwindow* w, double x, double y);
  static void onScroll(GLFWwindow* w, double dx, double dy);
  static void onKey(GLFWwindow* w, int key, int scancode, int action, int mods);
  static void onChar(GLFWwindow* w, unsigned codepoint);
  static void onFocus(GLFWwindow* w, int focused);
  static void onEnter(GLFWwindow* w, int entered);
  static void onRefresh(GLFWwindow* w);

  void wake() { framesLeft_ = 3; }
  void queue(const InputEvent& e) {
    input_.push_back(e);
    wake();
  }
  // Window coordinates to viewer pixels.
  float toPixelsX(double x) const { return static_cast<float>(x * scaleX_); }
  float toPixelsY(double y) const { return static_cast<float>(y * scaleY_); }
  bool overViewer(double x, double y) const;
  void updateSizes();
  // Takes the queued events in order: the viewer's gestures and keyboard
  // shortcuts act as their event comes; the panel sees at most one key or
  // button change a frame, so that a press and its release never fall in
  // the same frame, where ImGui would miss them, and a change that follows
  // moves of the pointer waits for the next frame.
  void feedInput();
  void pointerButton(const InputEvent& e);
  // What became of a key: a shortcut done, the panel's, or a shortcut that
  // waits for a text field to let go.
  enum class KeyUse { Done, Panel, Later };
  KeyUse shortcut(const InputEvent& e);
  // One frame: the panel, the view beside it, a snapshot when one is
  // wanted, then what the panel asked for.
  void frame();
  // Starts ImGui's frame with the input of this frame and draws the panel
  // into ImGui's draw data.
  void drawPanel();
  // Draws the view beside the panel: the render when the panel shows it,
  // else the viewer. With `keep`, answers the view's pixels.
  std::vector<unsigned char> drawView(bool keep);
  // Writes the snapshot of the frame just drawn, the view's pixels given.
  void takeSnapshot(std::vector<unsigned char> view);
  // What the panel asked for in the frame just drawn: a render, closing,
  // and the title that follows the script's name and state.
  void afterFrame();
  // The window's close button asks the panel first.
  void closeWhenAsked();
  // "quorhost - FILE", with a star while there are unsaved changes.
  std::string title() {
    const std::string target = workspace_.saveTarget();
    return "quorhost" + (target.empty() ? std::string() : " - " + target) + (workspace_.dirty() ? " *" : "");
  }

  Workspace workspace_;
  Panel panel_;
  std::string snapshotPrefix_;
  GLFWwindow* window_ = nullptr;
  bool imguiReady_ = false;
  int framesLeft_ = 3;
  bool snapshotWanted_ = false;
  int snapshots_ = 0;
  bool done_ = false;
  std::string shownTitle_;

  int windowWidth_ = 0, windowHeight_ = 0;
  int framebufferWidth_ = 0, framebufferHeight_ = 0;
  double scaleX_ = 1, scaleY_ = 1;
  int viewerWidth_ = 1, viewerHeight_ = 1;  // framebuffer pixels

  // Where the pointer is as far as the events queued so far tell: asking
  // the display would give where it is now, ahead of those events.
  double cursorX_ = 0, cursorY_ = 0;
  std::deque<InputEvent> input_;
  // The pointer as the panel has seen it.
  ImVec2 panelMouse_ = ImVec2(-FLT_MAX, -FLT_MAX);
  bool panelDown_[3] = {false, false, false};
  bool pointerInside_ = true;
};

void WindowLoop::open() {
  // GLX loads Mesa's driver for the window and unloads it when the window's
  // display connection closes, leaving the driver's process-wide caches
  // unreachable (leak checkers report them, from a module no longer there).
  // The off-screen display, open for the life of the process, holds the same
  // driver; the viewer needs it again once the window is closed anyway.
  DD::Image::openOffscreenDisplay(nullptr);
  glfwSetErrorCallback(onGlfwError);
  lastGlfwError().clear();
  if (!glfwInit()) throw HostError("cannot open a window: " + lastGlfwError());
  DD::Image::Viewer& viewer = workspace_.session().viewer();
  // The viewer lets go of its off-screen context before any of the
  // window's becomes current (GLFW makes it current while it creates it): a
  // thread holds one API's context at a time.
  viewer.useCurrentContext(true);
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  glfwWindowHint(GLFW_STENCIL_BITS, 8);
  glfwWindowHint(GLFW_SAMPLES, 0);
  // The screen's work area: the window fits it, and fills it unless the
  // command line gave the viewer a size or an earlier run left one.
  int areaX = 0, areaY = 0;
  WindowSize area;
  if (GLFWmonitor* monitor = glfwGetPrimaryMonitor())
    glfwGetMonitorWorkarea(monitor, &areaX, &areaY, &area.width, &area.height);
  const WindowSize given =
      workspace_.session().sizeGiven() ? WindowSize{viewer.width(), viewer.height()} : WindowSize();
  const WindowSize remembered = rememberedWindowSize();
  const WindowSize size = openingWindowSize(area, given, remembered, kPanelWidth);
  window_ = glfwCreateWindow(size.width, size.height, title().c_str(), nullptr, nullptr);
  if (!window_) {
    const std::string why = lastGlfwError();
    glfwTerminate();
    throw HostError("cannot open a window: " + why);
  }
  if (!given.known() && !remembered.known() && area.known()) glfwSetWindowPos(window_, areaX, areaY);
  glfwMakeContextCurrent(window_);
  glfwSwapInterval(0);
  // Textures made off-screen do not exist in this context.
  DD::Image::forgetTextures();
  glfwSetWindowUserPointer(window_, this);
  startImGui();
  listen();
  glfwGetCursorPos(window_, &cursorX_, &cursorY_);
  updateSizes();
}

void WindowLoop::startImGui() {
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;
  io.LogFilename = nullptr;
  ImGui::StyleColorsDark();
  // DejaVu Sans holds the marks that knob labels use beyond Latin-1 (the
  // trade mark sign, dashes, the ellipsis); without it ImGui's own font
  // shows them as '?'.
  static const ImWchar kGlyphs[] = {0x0020, 0x00FF, 0x2000, 0x206F, 0x2100, 0x214F, 0};
  std::error_code ec;
  if (std::filesystem::is_regular_file(kFontFile, ec)) io.Fonts->AddFontFromFileTTF(kFontFile, 15.0f, nullptr, kGlyphs);
  ImGui_ImplGlfw_InitForOpenGL(window_, false);
  ImGui_ImplOpenGL2_Init();
  imguiReady_ = true;
}

void WindowLoop::listen() {
  glfwSetMouseButtonCallback(window_, onMouseButton);
  glfwSetCursorPosCallback(window_, onCursor);
  glfwSetScrollCallback(window_, onScroll);
  glfwSetKeyCallback(window_, onKey);
  glfwSetCharCallback(window_, onChar);
  glfwSetWindowFocusCallback(window_, onFocus);
  glfwSetCursorEnterCallback(window_, onEnter);
  glfwSetWindowRefreshCallback(window_, onRefresh);
}

void WindowLoop::close() {
  if (imguiReady_) {
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    imguiReady_ = false;
  }
  if (window_) {
    // The next run opens at the size the window had.
    WindowSize size;
    glfwGetWindowSize(window_, &size.width, &size.height);
    rememberWindowSize(size);
    DD::Image::forgetTextures();
    glfwMakeContextCurrent(nullptr);
    glfwDestroyWindow(window_);
    window_ = nullptr;
    glfwTerminate();
  }
  workspace_.session().viewer().useCurrentContext(false);
}

void WindowLoop::updateSizes() {
  glfwGetWindowSize(window_, &windowWidth_, &windowHeight_);
  glfwGetFramebufferSize(window_, &framebufferWidth_, &framebufferHeight_);
  scaleX_ = windowWidth_ > 0 ? static_cast<double>(framebufferWidth_) / windowWidth_ : 1.0;
  scaleY_ = windowHeight_ > 0 ? static_cast<double>(framebufferHeight_) / windowHeight_ : 1.0;
  viewerWidth_ = std::max(1, framebufferWidth_ - static_cast<int>(kPanelWidth * scaleX_ + 0.5));
  viewerHeight_ = std::max(1, framebufferHeight_);
}

bool WindowLoop::overViewer(double x, double y) const {
  return x >= 0 && y >= 0 && toPixelsX(x) < static_cast<float>(viewerWidth_) &&
         toPixelsY(y) < static_cast<float>(viewerHeight_);
}

void WindowLoop::onMouseButton(GLFWwindow* w, int button, int action, int mods) {
  WindowLoop& self = of(w);
  InputEvent e{InputEvent::Button, self.cursorX_, self.cursorY_, button};
  e.action = action;
  e.mods = mods;
  self.queue(e);
}

void WindowLoop::onCursor(GLFWwindow* w, double x, double y) {
  WindowLoop& self = of(w);
  self.cursorX_ = x;
  self.cursorY_ = y;
  self.queue(InputEvent{InputEvent::Move, x, y});
}

void WindowLoop::onScroll(GLFWwindow* w, double dx, double dy) {
  WindowLoop& self = of(w);
  InputEvent e{InputEvent::Scroll, self.cursorX_, self.cursorY_};
  e.dx = dx;
  e.dy = dy;
  self.queue(e);
}

void WindowLoop::onKey(GLFWwindow* w, int key, int scancode, int action, int mods) {
  InputEvent e{InputEvent::Key, 0, 0, key};
  e.scancode = scancode;
  e.action = action;
  e.mods = mods;
  of(w).queue(e);
}

void WindowLoop::onChar(GLFWwindow* w, unsigned codepoint) {
  InputEvent e{InputEvent::Char};
  e.codepoint = codepoint;
  of(w).queue(e);
}

void WindowLoop::onFocus(GLFWwindow* w, int focused) {
  of(w).wake();
  ImGui_ImplGlfw_WindowFocusCallback(w, focused);
}

void WindowLoop::onEnter(GLFWwindow* w, int entered) {
  WindowLoop& self = of(w);
  self.wake();
  self.pointerInside_ = entered != 0;
  ImGui_ImplGlfw_CursorEnterCallback(w, entered);
}

void WindowLoop::onRefresh(GLFWwindow* w) { of(w).wake(); }

// Ctrl+Z undoes, Ctrl+Shift+Z (or Ctrl+Y) redoes, Ctrl+S saves,
// Ctrl+Shift+S saves as, Ctrl+Q closes, F frames the selected nodes, P shows or
// hides the final surface, Home goes back to the default camera; none of them while a question is asked.
// F12 writes a snapshot at any time. While a text field has the keyboard,
// the keys it needs stay its own (F and Home for the text, Ctrl+Z and
// Ctrl+Y for its own undo), unless the pointer is over the viewer; for the
// others the field first lets go, so that what was typed is set before
// the shortcut acts: the key waits for the next frame (Later).
WindowLoop::KeyUse WindowLoop::shortcut(const InputEvent& e) {
  if (e.action == GLFW_RELEASE) return KeyUse::Panel;
  if (e.code == GLFW_KEY_F12 && e.action == GLFW_PRESS) {
    if (snapshotPrefix_.empty())
      workspace_.setMessage("no snapshots: start the window with --window --snapshot PREFIX");
    else
      snapshotWanted_ = true;
    return KeyUse::Done;
  }
  if (panel_.asking()) return KeyUse::Panel;
  const bool ctrl = (e.mods & GLFW_MOD_CONTROL) != 0, shift = (e.mods & GLFW_MOD_SHIFT) != 0;
  const bool plain = (e.mods & (GLFW_MOD_CONTROL | GLFW_MOD_ALT | GLFW_MOD_SUPER)) == 0;
  const bool press = e.action == GLFW_PRESS;
  enum class Act { None, Undo, Redo, Save, SaveAs, Close, Frame, Preview, Home } act = Act::None;
  if (ctrl && e.code == GLFW_KEY_Z)
    act = shift ? Act::Redo : Act::Undo;
  else if (ctrl && e.code == GLFW_KEY_Y)
    act = Act::Redo;
  else if (press && ctrl && e.code == GLFW_KEY_S)
    act = shift ? Act::SaveAs : Act::Save;
  else if (press && ctrl && e.code == GLFW_KEY_Q)
    act = Act::Close;
  else if (press && plain && !shift && e.code == GLFW_KEY_F)
    act = Act::Frame;
  else if (press && plain && !shift && e.code == GLFW_KEY_P)
    act = Act::Preview;
  else if (press && plain && e.code == GLFW_KEY_HOME)
    act = Act::Home;
  if (act == Act::None) return KeyUse::Panel;
  if (ImGui::GetIO().WantTextInput) {
    const bool fieldNeeds =
        act == Act::Undo || act == Act::Redo || act == Act::Frame || act == Act::Preview || act == Act::Home;
    if (fieldNeeds && !overViewer(cursorX_, cursorY_)) return KeyUse::Panel;
    panel_.releaseKeyboard();
    return KeyUse::Later;
  }
  // What was typed is set before the shortcut acts.
  if (panel_.applying()) return KeyUse::Later;
  switch (act) {
    case Act::Undo:
      workspace_.undo();
      break;
    case Act::Redo:
      workspace_.redo();
      break;
    case Act::Save:
      panel_.askToSave(workspace_);
      break;
    case Act::SaveAs:
      panel_.askToSaveAs(workspace_);
      break;
    case Act::Close:
      panel_.askToClose(workspace_);
      break;
    case Act::Frame:
      workspace_.frameSelected();
      break;
    case Act::Preview:
      workspace_.setFinalSurface(!workspace_.finalSurface());
      break;
    case Act::Home:
      workspace_.home();
      break;
    case Act::None:
      break;
  }
  return KeyUse::Done;
}

// A button of the pointer: the viewer takes presses over it (none while
// the panel asks a question) and the release of the button that started a
// gesture, wherever it is.
void WindowLoop::pointerButton(const InputEvent& e) {
  PointerButton b;
  if (e.code == GLFW_MOUSE_BUTTON_LEFT)
    b = PointerButton::Left;
  else if (e.code == GLFW_MOUSE_BUTTON_MIDDLE)
    b = PointerButton::Middle;
  else if (e.code == GLFW_MOUSE_BUTTON_RIGHT)
    b = PointerButton::Right;
  else
    return;
  const float px = toPixelsX(e.x), py = toPixelsY(e.y);
  if (e.action == GLFW_PRESS) {
    // The render's status floats over the view and takes its own presses.
    if (panel_.asking() || panel_.showingRender() || !overViewer(e.x, e.y) || ImGui::GetIO().WantCaptureMouse) return;
    workspace_.press(b, (e.mods & GLFW_MOD_SHIFT) != 0, (e.mods & GLFW_MOD_ALT) != 0, px, py);
  } else {
    workspace_.release(b, px, py);
  }
}

void WindowLoop::feedInput() {
  bool changed = false, moved = false;
  while (!input_.empty()) {
    const InputEvent e = input_.front();
    const bool transition = e.kind == InputEvent::Button || e.kind == InputEvent::Key;
    // A change after moves waits too: the panel sees a drag with the
    // button still down before it sees the button go up.
    if ((changed || (moved && transition)) && e.kind != InputEvent::Scroll) break;
    input_.pop_front();
    changed = transition;
    moved = moved || e.kind == InputEvent::Move;
    switch (e.kind) {
      case InputEvent::Move:
        panelMouse_ = ImVec2(static_cast<float>(e.x), static_cast<float>(e.y));
        if (workspace_.gesture() != Gesture::None) workspace_.move(toPixelsX(e.x), toPixelsY(e.y));
        break;
      case InputEvent::Button:
        panelMouse_ = ImVec2(static_cast<float>(e.x), static_cast<float>(e.y));
        if (e.code >= 0 && e.code < 3) panelDown_[e.code] = e.action == GLFW_PRESS;
        pointerButton(e);
        break;
      case InputEvent::Key:
        if (shortcut(e) == KeyUse::Later) {
          input_.push_front(e);
          wake();
          break;
        }
        // A shortcut's key still reaches the panel, so that it sees the key
        // go up again; ImGui has no use for these keys outside text fields.
        ImGui_ImplGlfw_KeyCallback(window_, e.code, e.scancode, e.action, e.mods);
        break;
      case InputEvent::Char:
        ImGui_ImplGlfw_CharCallback(window_, e.codepoint);
        break;
      case InputEvent::Scroll:
        if (!panel_.asking() && !panel_.showingRender() && overViewer(e.x, e.y))
          workspace_.scroll(static_cast<float>(e.dy));
        else if (panel_.asking() ||
                 !panel_.wheel(static_cast<float>(e.x), static_cast<float>(e.y), static_cast<float>(e.dy)))
          ImGui_ImplGlfw_ScrollCallback(window_, e.dx, e.dy);
        break;
    }
  }
  if (!input_.empty()) wake();
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = pointerInside_ || panelDown_[0] ? panelMouse_ : ImVec2(-FLT_MAX, -FLT_MAX);
  for (int i = 0; i < 3; ++i) io.MouseDown[i] = panelDown_[i];
}

void WindowLoop::frame() {
  updateSizes();
  workspace_.setViewerSize(viewerWidth_, viewerHeight_);
  // A snapshot shows what the changes asked for before it made.
  const bool settled = !panel_.applying();
  drawPanel();
  // The view fills the framebuffer's lower-left corner; the panel is drawn
  // over the rest.
  glDisable(GL_SCISSOR_TEST);
  glViewport(0, 0, framebufferWidth_, framebufferHeight_);
  glClearColor(0.2f, 0.2f, 0.2f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  const bool snapshot = snapshotWanted_ && settled;
  std::vector<unsigned char> view = drawView(snapshot);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  if (snapshot) takeSnapshot(std::move(view));
  glfwSwapBuffers(window_);
  afterFrame();
  closeWhenAsked();
}

void WindowLoop::drawPanel() {
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGlfw_NewFrame();
  feedInput();
  ImGui::NewFrame();
  const float panelX = static_cast<float>(viewerWidth_ / scaleX_);
  panel_.draw(workspace_, panelX, 0, static_cast<float>(windowWidth_) - panelX, static_cast<float>(windowHeight_));
  ImGui::Render();
}

std::vector<unsigned char> WindowLoop::drawView(bool keep) {
  std::vector<unsigned char> rgba;
  if (panel_.showingRender() && workspace_.hasRender()) {
    drawRenderView(workspace_.renderPixels(), workspace_.renderWidth(), workspace_.renderHeight(), viewerWidth_,
                   viewerHeight_);
    if (keep) rgba = DD::Image::readFramebuffer(viewerWidth_, viewerHeight_);
  } else {
    std::string error;
    if (!workspace_.drawViewer(keep ? &rgba : nullptr, &error)) workspace_.setMessage(error);
  }
  return rgba;
}

void WindowLoop::takeSnapshot(std::vector<unsigned char> view) {
  snapshotWanted_ = false;
  Picture window{framebufferWidth_, framebufferHeight_,
                 DD::Image::readFramebuffer(framebufferWidth_, framebufferHeight_)};
  // A window shows no transparency.
  for (size_t i = 3; i < window.rgba.size(); i += 4) window.rgba[i] = 255;
  const Picture viewer{viewerWidth_, viewerHeight_, std::move(view)};
  const WindowSizes sizes{windowWidth_, windowHeight_, viewerWidth_, viewerHeight_};
  try {
    writeSnapshot(snapshotPrefix_, ++snapshots_, viewer, window, snapshotText(workspace_, panel_, sizes));
  } catch (const HostError& e) {
    workspace_.setMessage(e.what());
  }
}

void WindowLoop::closeWhenAsked() {
  if (!glfwWindowShouldClose(window_)) return;
  glfwSetWindowShouldClose(window_, GLFW_FALSE);
  panel_.askToClose(workspace_);
  afterFrame();
  wake();
}

void WindowLoop::afterFrame() {
  // A render that has ended shows its picture.
  if (workspace_.rendering()) {
    if (workspace_.finishRender(false)) panel_.showRender(true);
    if (!workspace_.rendering()) wake();
  }
  const Panel::Requests requests = panel_.apply(workspace_);
  if (requests.again) wake();
  if (requests.close) done_ = true;
  if (requests.render && workspace_.startRender()) wake();
  const std::string name = title();
  if (name != shownTitle_) {
    glfwSetWindowTitle(window_, name.c_str());
    shownTitle_ = name;
  }
}

void WindowLoop::run() {
  while (!done_) {
    // While a render runs, its progress is drawn a few times a second.
    if (framesLeft_ <= 0 && workspace_.rendering())
      glfwWaitEventsTimeout(0.1);
    else if (framesLeft_ <= 0)
      glfwWaitEvents();
    else
      glfwPollEvents();
    if (framesLeft_ > 0) --framesLeft_;
    if (snapshotWanted_) wake();
    frame();
  }
}

}  // namespace

void runWindow(Session& session, const std::string& snapshotPrefix) {
  WindowLoop loop(session, snapshotPrefix);
  // Whatever happens, the window goes and the viewer draws off-screen again.
  struct Closer {
    WindowLoop& loop;
    ~Closer() { loop.close(); }
  } closer{loop};
  loop.open();
  loop.run();
}

}  // namespace quorhost
