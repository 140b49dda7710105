// The window's model in process, with the real plug-in and the off-screen
// viewer: camera moves, pointer gestures through a turned camera, the
// history, the panel's rows and the script file. Pixel positions and camera
// values are worked out by hand here, apart from the viewer's code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <DDImage/Knob.h>
#include <DDImageHost/Host.h>
#include <DDImageHost/Viewer.h>
#include <OpenImageIO/imageio.h>

#include "HostError.h"
#include "Session.h"
#include "TestSupport.h"
#include "window/Navigation.h"
#include "window/PanelRows.h"
#include "window/WindowSettings.h"
#include "window/Workspace.h"

namespace {

namespace fs = std::filesystem;
using DD::Image::Camera;
using DD::Image::Knob;
using DD::Image::Vector3;
using quorhost::Gesture;
using quorhost::PointerButton;
using quorhost::Widget;
using quorhost::Workspace;

const double kPi = 3.14159265358979323846;

// Where a world point shows in the picture (fractional pixels, x rightward,
// y downward) for a camera at `distance` from `target`, turned by yaw about
// y and then pitch about its own x: eye space is R^T (p - eye) with
// R = Ry(yaw) Rx(pitch), then the perspective of the vertical field of view.
struct ByHand {
  double yaw = 0, pitch = 0, distance = 2.5, fovY = 30;
  double tx = 0, ty = 0, tz = 0;
  int width = 640, height = 480;

  void eyeSpace(double px, double py, double pz, double e[3]) const {
    const double y = yaw * kPi / 180, p = pitch * kPi / 180;
    const double right[3] = {std::cos(y), 0, -std::sin(y)};
    const double up[3] = {std::sin(y) * std::sin(p), std::cos(p), std::cos(y) * std::sin(p)};
    const double back[3] = {std::sin(y) * std::cos(p), -std::sin(p), std::cos(y) * std::cos(p)};
    const double d[3] = {px - (tx + back[0] * distance), py - (ty + back[1] * distance),
                         pz - (tz + back[2] * distance)};
    e[0] = d[0] * right[0] + d[1] * right[1] + d[2] * right[2];
    e[1] = d[0] * up[0] + d[1] * up[1] + d[2] * up[2];
    e[2] = d[0] * back[0] + d[1] * back[1] + d[2] * back[2];
  }
  void pixel(double px, double py, double pz, double* x, double* y) const {
    double e[3];
    eyeSpace(px, py, pz, e);
    const double t = std::tan(fovY * kPi / 360), aspect = double(width) / height;
    *x = (e[0] / -e[2] / (t * aspect) + 1) / 2 * width;
    *y = (1 - e[1] / -e[2] / t) / 2 * height;
  }
};

// A session with the real plug-in and the actions of `words` run.
std::unique_ptr<quorhost::Session> sessionWith(const std::vector<std::string>& words,
                                               const std::string& script = std::string()) {
  static std::string error;
  static const bool loaded = DD::Image::loadPlugin(QUOR_BUILD_DIR "/plugins/QuorCard.so", &error);
  EXPECT_TRUE(loaded) << error;
  auto session = std::make_unique<quorhost::Session>(std::vector<std::string>{QUOR_BUILD_DIR "/plugins"});
  const quorhost::CommandLine cl = quorhost::parseCommandLine(words);
  session->plan(cl.actions);
  if (!script.empty()) session->loadScript(script);
  for (const quorhost::Action& a : cl.actions) session->run(a);
  return session;
}

// A knob of the card "QuorCard1", found again each time (an undo may make
// the card's knobs again).
Knob* cardKnob(quorhost::Session& s, const std::string& knob) {
  Node* n = s.graph().find("QuorCard1");
  Knob* k = n ? n->knob(knob) : nullptr;
  EXPECT_NE(k, nullptr) << knob;
  return k;
}
std::string text(quorhost::Session& s, const std::string& knob) {
  Knob* k = cardKnob(s, knob);
  return k ? k->valueText() : std::string("(no knob)");
}
bool shown(quorhost::Session& s, const std::string& knob) {
  Knob* k = cardKnob(s, knob);
  return k && k->isVisible();
}
std::vector<double> cardValues(quorhost::Session& s, const std::string& knob) {
  Knob* k = cardKnob(s, knob);
  return k ? std::vector<double>{k->get_value(0), k->get_value(1), k->get_value(2)} : std::vector<double>(3, NAN);
}
// Sets a knob of the card as the panel does.
bool setCard(Workspace& ws, quorhost::Session& s, const std::string& knob, const std::string& value) {
  return ws.setKnob(s.graph().find("QuorCard1"), cardKnob(s, knob), value);
}

void expectNear(const Vector3& got, const Vector3& want, double tolerance) {
  EXPECT_TRUE(std::fabs(got.x - want.x) <= tolerance && std::fabs(got.y - want.y) <= tolerance &&
              std::fabs(got.z - want.z) <= tolerance)
      << got.x << ", " << got.y << ", " << got.z;
}

// Turns the session's camera as a tumble (and a track) would.
void turn(quorhost::Session& s, float yaw, float pitch, const Vector3& target = Vector3(0, 0, 0)) {
  Camera c = s.viewer().camera();
  c.yaw = yaw, c.pitch = pitch, c.target = target;
  s.viewer().setCamera(c);
}

// A left click at the viewer pixel (x, y).
void click(Workspace& ws, float x, float y) {
  ws.press(PointerButton::Left, false, false, x, y);
  ws.release(PointerButton::Left, x, y);
}

// The viewer pixel under which `h` shows the world point (x, y, z): the
// pointer sits at that pixel's centre.
std::pair<float, float> pixelOf(const ByHand& h, double x, double y, double z) {
  double px, py;
  h.pixel(x, y, z, &px, &py);
  return {std::floor(static_cast<float>(px)), std::floor(static_cast<float>(py))};
}

// ---- camera moves ------------------------------------------------------------------

TEST(Navigation, TumbleTrackDollyFrameAndHome) {
  Camera c;
  // 100 pixels rightward turn the eye 40 degrees the other way round the
  // target: from (0, 0, 2.5) to 2.5 (sin -40, 0, cos -40).
  quorhost::tumble(c, 100, 0);
  expectNear(c.position(), {-1.6069690, 0, 1.9151111}, 1e-5);
  // Far downward: the eye rises to 89 degrees above the target and stops.
  quorhost::tumble(c, 0, 10000);
  EXPECT_FLOAT_EQ(c.pitch, -89.0f);
  EXPECT_NEAR(c.position().y, 2.5 * std::sin(89 * kPi / 180), 1e-5);

  // Tracking moves the scene with the pointer: one pixel at the target's
  // depth is 2 * 2.5 * tan(15 deg) / 480 = 0.00279114 world units, and the
  // origin, seen at the picture's centre, follows the pointer by (64, 48).
  Camera t;
  quorhost::track(t, 64, 48);
  expectNear(t.target, {-0.1786331, 0.1339746, 0}, 1e-6);
  DD::Image::Graph graph;
  DD::Image::Viewer viewer(graph);
  viewer.setCamera(t);
  float x = 0, y = 0;
  ASSERT_TRUE(viewer.project(Vector3(0, 0, 0), &x, &y));
  EXPECT_TRUE(std::fabs(x - (320 + 64)) < 1e-3 && std::fabs(y - (240 + 48)) < 1e-3) << x << ", " << y;

  Camera d;
  quorhost::dolly(d, 1);
  EXPECT_FLOAT_EQ(d.distance, 2.125f);
  quorhost::dolly(d, -2);
  EXPECT_NEAR(d.distance, 2.5 / 0.85, 1e-5);
  quorhost::dolly(d, 1e6f);
  EXPECT_FLOAT_EQ(d.distance, quorhost::kMinDistance);
  quorhost::dolly(d, -1e6f);
  EXPECT_FLOAT_EQ(d.distance, quorhost::kMaxDistance);

  // Framing the cube of side 2 at the origin on a wide picture: the sphere
  // through its corners (radius sqrt 3) fills the vertical half angle of 15
  // degrees with a tenth to spare: sqrt(3) / sin(15 deg) * 1.1 = 7.361343.
  Camera f;
  f.yaw = 30;
  f.pitch = -20;
  f.target = Vector3(5, 5, 5);
  quorhost::frame(f, Vector3(-1, -1, -1), Vector3(1, 1, 1));
  EXPECT_EQ(f.target, Vector3(0, 0, 0));
  EXPECT_NEAR(f.distance, 7.361343, 1e-4);
  EXPECT_FLOAT_EQ(f.yaw, 30);
  // On a tall picture the horizontal angle is the narrower: every corner
  // still shows.
  for (const auto& size : {std::make_pair(640, 480), std::make_pair(300, 700)}) {
    Camera g;
    g.width = size.first;
    g.height = size.second;
    g.yaw = 30;
    quorhost::frame(g, Vector3(-1, -1, -1), Vector3(1, 1, 1));
    const ByHand h{30, 0, g.distance, 30, 0, 0, 0, g.width, g.height};
    for (int corner = 0; corner < 8; ++corner) {
      double px, py;
      h.pixel(corner & 1 ? 1 : -1, corner & 2 ? 1 : -1, corner & 4 ? 1 : -1, &px, &py);
      EXPECT_TRUE(px > 0 && px < size.first && py > 0 && py < size.second) << size.first << " " << corner;
    }
  }
  // A box that is no box leaves the camera as it was.
  Camera e = f;
  quorhost::frame(e, Vector3(1, 0, 0), Vector3(-1, 0, 0));
  quorhost::frame(e, Vector3(0, 0, 0), Vector3(std::nanf(""), 0, 0));
  EXPECT_TRUE(e.target == f.target && e.distance == f.distance);

  f.width = 300;
  quorhost::home(f);
  EXPECT_TRUE(f.yaw == 0 && f.pitch == 0 && f.target == Vector3(0, 0, 0) && f.distance == 2.5f && f.width == 300);
}

// ---- gestures through a turned camera ----------------------------------------------

// With the camera turned, a press on the card's corner point (0.5, 0.5, 0)
// where the hand-made projection puts it picks that point, and a drag by
// (25, -15) pixels moves it to where the same projection puts the pointer,
// within the plane facing the camera through its old place.
TEST(WindowViewer, ATurnedCameraPicksAndDragsUnderThePointer) {
  auto session = sessionWith({"--new", "QuorCard", "--select", "--set", "type", "smooth with handles"});
  Workspace ws(*session);
  ws.setViewerSize(640, 480);
  turn(*session, 30, -20);
  const ByHand h{30, -20};
  double x0, y0;
  h.pixel(0.5, 0.5, 0, &x0, &y0);
  // A first click picks the point (its knobs show), a press on it then
  // grabs it, as with --click and --drag.
  const auto [px, py] = pixelOf(h, 0.5, 0.5, 0);
  ws.press(PointerButton::Left, false, false, px, py);
  EXPECT_EQ(ws.gesture(), Gesture::Edit);
  ws.release(PointerButton::Left, px, py);
  EXPECT_TRUE(shown(*session, "control_point.3.3") && !shown(*session, "control_point.0.0"));
  ws.press(PointerButton::Left, false, false, px, py);
  const std::vector<double> before = cardValues(*session, "control_point.3.3");
  for (int i = 1; i <= 5; ++i) ws.move(px + 5 * i, py - 3 * i);
  ws.release(PointerButton::Left, px + 25, py - 15);
  EXPECT_EQ(ws.gesture(), Gesture::None);

  const std::vector<double> after = cardValues(*session, "control_point.3.3");
  double x1, y1;
  h.pixel(after[0], after[1], after[2], &x1, &y1);
  // Grabbed off its centre, the point keeps its offset from the pointer.
  EXPECT_TRUE(std::fabs(x1 - x0 - 25) < 0.05 && std::fabs(y1 - y0 + 15) < 0.05) << x1 - x0 << ", " << y1 - y0;
  double eBefore[3], eAfter[3];
  h.eyeSpace(before[0], before[1], before[2], eBefore);
  h.eyeSpace(after[0], after[1], after[2], eAfter);
  EXPECT_NEAR(eAfter[2], eBefore[2], 1e-5);
  // The pick and the drag.
  EXPECT_EQ(ws.undoCount(), 2u);
}

// A drag of the inner point (1, 1), at (-1/6, -1/6, 0), moves its four
// handles by the point's offset, with "break" off, and one undo puts all
// five back; with the choice off the handles stay, as with --drag.
TEST(WindowViewer, ADraggedPointTakesItsHandlesAlong) {
  auto session = sessionWith({"--new", "QuorCard", "--select", "--set", "type", "smooth with handles"});
  Workspace ws(*session);
  ws.setViewerSize(640, 480);
  const auto [px, py] = pixelOf(ByHand(), -1.0 / 6, -1.0 / 6, 0);
  click(ws, px, py);
  const std::string start = text(*session, "cpstr");
  const std::vector<std::string> handles = {"control_point.1.1.0", "control_point.1.1.1", "control_point.1.1.2",
                                            "control_point.1.1.3"};
  std::vector<std::vector<double>> before;
  for (const std::string& h : handles) before.push_back(cardValues(*session, h));
  const std::vector<double> point = cardValues(*session, "control_point.1.1");
  ws.press(PointerButton::Left, false, false, px, py);
  ws.move(px + 10, py - 4);
  ws.release(PointerButton::Left, px + 20, py - 10);
  const std::vector<double> moved = cardValues(*session, "control_point.1.1");
  ASSERT_GT(std::fabs(moved[0] - point[0]), 0.01);
  for (size_t h = 0; h < handles.size(); ++h)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(cardValues(*session, handles[h])[c] - before[h][c], moved[c] - point[c], 1e-6) << handles[h];
  EXPECT_EQ(text(*session, "break_tangent"), "0");
  EXPECT_EQ(ws.undoCount(), 2u);
  ASSERT_TRUE(ws.undo());
  EXPECT_TRUE(text(*session, "cpstr") == start) << "not all five are back";

  ws.setMoveHandlesWithPoint(false);
  click(ws, px, py);
  ws.press(PointerButton::Left, false, false, px, py);
  ws.release(PointerButton::Left, px + 20, py - 10);
  EXPECT_GT(std::fabs(cardValues(*session, "control_point.1.1")[0] - point[0]), 0.01);
  EXPECT_EQ(cardValues(*session, handles[2]), before[2]);
}

// ---- history -------------------------------------------------------------------------

TEST(WindowHistory, OneStepPerChangeUndoneFromTheScript) {
  auto session =
      sessionWith({"--new", "Axis", "--new", "QuorCard", "--select", "--set", "type", "smooth with handles"});
  Workspace ws(*session);
  ws.setViewerSize(640, 480);

  // The corner point (-0.5, -0.5, 0) shows at (140.9, 419.1). A click
  // picks it, then a drag with many moves is one step.
  const auto [px, py] = pixelOf(ByHand(), -0.5, -0.5, 0);
  click(ws, px, py);
  const std::string start = text(*session, "cpstr");
  EXPECT_EQ(ws.undoCount(), 1u);
  ws.press(PointerButton::Left, false, false, px, py);
  for (int i = 1; i <= 6; ++i) ws.move(px + 4 * i, py - 4 * i);
  ws.release(PointerButton::Left, px + 24, py - 24);
  EXPECT_EQ(ws.undoCount(), 2u);
  const std::string dragged = text(*session, "cpstr");
  ASSERT_TRUE(dragged != start) << "the drag moved nothing";

  // A tumble changes the camera, not the nodes: no step.
  ws.press(PointerButton::Middle, false, false, 300, 200);
  ws.move(340, 220);
  ws.release(PointerButton::Middle, 350, 230);
  EXPECT_NE(ws.camera().yaw, 0);
  EXPECT_EQ(ws.undoCount(), 2u);
  EXPECT_TRUE(text(*session, "cpstr") == dragged);

  // A new grid replaces the points; undoing it brings back the moved point,
  // not a fresh grid.
  ASSERT_TRUE(setCard(ws, *session, "x_points", "6"));
  EXPECT_EQ(ws.undoCount(), 3u);
  EXPECT_TRUE(text(*session, "cpstr") != dragged);
  // What the user chose since stays: the current node and the selection.
  Node* axis = session->graph().find("Axis1");
  ws.setSelected(axis, true);
  ASSERT_TRUE(ws.undo());
  EXPECT_EQ(text(*session, "x_points"), "4");
  EXPECT_TRUE(text(*session, "cpstr") == dragged) << "the moved point is lost";
  EXPECT_TRUE(shown(*session, "delimiter"));
  EXPECT_TRUE(session->currentNode() == session->graph().find("QuorCard1") &&
              session->graph().find("Axis1")->selected() && session->graph().find("QuorCard1")->selected());

  ASSERT_TRUE(ws.undo());
  EXPECT_TRUE(text(*session, "cpstr") == start) << "the point is not back";
  EXPECT_EQ(ws.undoCount(), 1u);
  ASSERT_TRUE(ws.redo());
  EXPECT_TRUE(text(*session, "cpstr") == dragged);
  EXPECT_EQ(ws.redoCount(), 1u);
  // A new change drops what could be redone.
  ASSERT_TRUE(setCard(ws, *session, "flip_uvs", "1"));
  EXPECT_FALSE(ws.canRedo());

  // A knob that scripts do not hold ("handle_size" lives in the renderer's
  // options) is put back too.
  const std::string size = text(*session, "handle_size");
  const std::string other = size == "12" ? "13" : "12";
  ASSERT_TRUE(setCard(ws, *session, "handle_size", other));
  ASSERT_TRUE(ws.undo());
  EXPECT_EQ(text(*session, "handle_size"), size);
}

// ---- knob edits ------------------------------------------------------------------------

TEST(WindowKnobs, EditsAsSetDoesClampedOrRefusedAndTheHistoryLimit) {
  auto session = sessionWith({"--new", "QuorCard"});
  Workspace ws(*session);
  // "x/y points" forces its range of 2 to 40960, and the message says so,
  // of a number typed with spaces around it as well.
  ASSERT_TRUE(setCard(ws, *session, "x_points", " 1 "));
  EXPECT_EQ(text(*session, "x_points"), "2");
  EXPECT_EQ(ws.message(), "\"x_points\": 1 is held to 2, within 2 to 40960");
  EXPECT_TRUE(shown(*session, "delimiter"));
  EXPECT_EQ(ws.undoCount(), 1u);
  EXPECT_FALSE(setCard(ws, *session, "x_points", "many"));
  EXPECT_NE(ws.message().find("x_points"), std::string::npos) << ws.message();
  EXPECT_EQ(ws.undoCount(), 1u);

  // Nudges (arrow keys, the wheel, a scrub) step numbers that are not whole
  // by 0.01, in their one channel, each a step (whole numbers by 1 are the X
  // suite's).
  Node* card = session->graph().find("QuorCard1");
  ASSERT_TRUE(ws.nudgeKnob(card, cardKnob(*session, "translate"), 1, -2));
  EXPECT_EQ(text(*session, "translate"), "0,-0.02,0");
  EXPECT_EQ(ws.undoCount(), 2u);

  // A button press that changes the points is a step as well. A later
  // edit leaves no older message behind.
  ASSERT_TRUE(setCard(ws, *session, "x_points", "4"));
  EXPECT_EQ(ws.message(), "");
  const std::string fresh = text(*session, "cpstr");
  ASSERT_TRUE(setCard(ws, *session, "control_point.1.1", "0.1,0.2,0.3"));
  const std::string moved = text(*session, "cpstr");
  ASSERT_TRUE(ws.pressKnob(session->graph().find("QuorCard1"), cardKnob(*session, "reset_handles")));
  EXPECT_TRUE(text(*session, "cpstr") == fresh);
  ASSERT_TRUE(ws.undo());
  EXPECT_TRUE(text(*session, "cpstr") == moved) << "the moved point is not back";

  // The history keeps the last 100 steps, the oldest going first: after the
  // four steps above, 105 edits make 109, and undoing all that is kept
  // goes back to the ninth, the fifth edit.
  for (int i = 1; i <= 105; ++i) ASSERT_TRUE(setCard(ws, *session, "x_ratio", std::to_string(i + 1)));
  EXPECT_EQ(ws.undoCount(), Workspace::kHistorySteps);
  while (ws.undo()) {
  }
  EXPECT_EQ(text(*session, "x_ratio"), "6");
  EXPECT_EQ(ws.redoCount(), Workspace::kHistorySteps);
}

// ---- the panel ---------------------------------------------------------------------------

// The panel's rows as (label, widget), the widget with its range, and
// "slider" or "closed" where it is one, and "+" on the row before.
using Rows = std::vector<std::pair<std::string, std::string>>;
Rows rowsOf(Node* node) {
  Rows rows;
  for (const quorhost::PanelRow& r : quorhost::panelRows(*node)) {
    std::ostringstream widget;
    widget << quorhost::widgetName(r.widget);
    if (r.hasRange) widget << " " << r.minimum << ".." << r.maximum;
    widget << (r.slider ? " slider" : "") << (r.closed ? " closed" : "") << (r.joinsRow ? " +" : "");
    rows.emplace_back(r.label, widget.str());
  }
  return rows;
}

TEST(WindowPanel, OneRowPerVisibleKnobInOrderAndPickedPointsUnderTheDelimiter) {
  auto session = sessionWith({"--new", "QuorCard", "--select", "--set", "type", "smooth with handles"});
  Node* card = session->graph().find("QuorCard1");
  // The card's visible knobs, as --knobs lists them: the hidden ones
  // ("ratio", "cpstr", "display", the point knobs...) and those that show
  // nothing (spacers, the custom pick knob) have no row. "flip" and "break"
  // clear STARTLINE; "swap" and "mirror" follow spacers, which end no row;
  // "y_points" follows "x/y points", which clears ENDLINE, and its empty
  // label (as the delimiter's) shows nothing.
  const Rows expected = {{"aspect", "menu"},
                         {"uvs", "label"},
                         {"flip", "checkbox +"},
                         {"flop", "checkbox +"},
                         {"swap", "checkbox +"},
                         {" ", "separator"},
                         {"normals", "menu"},
                         {"shade", "menu"},
                         {"", "separator"},
                         {"Space", "group closed"},
                         {"translate", "fields"},
                         {"rotate", "fields"},
                         {"scale", "fields"},
                         {"uniform scale", "number"},
                         {"skew", "fields"},
                         {"pivot", "fields"},
                         {"", "end-group"},
                         {"", "separator"},
                         {"rtfm\u2122", "button"},
                         {"Deform", "tab"},
                         {"type", "menu"},
                         {"reset handles", "button"},
                         {"handle size", "number 2..20 slider"},
                         {"x/y points", "number 2..40960"},
                         {"", "number 2..40960 +"},
                         {"tangent", "label"},
                         {"break", "checkbox +"},
                         {"mirror", "checkbox +"},
                         {"", "separator"}};
  EXPECT_EQ(rowsOf(card), expected);
  // Tooltips lose their markup; a quoted block starts a line.
  EXPECT_EQ(quorhost::plainTooltip(card->knob("type")->tooltip()),
            "The way control points are interpolated when rendering.\nlinear \u2013 linear interpolation.\n"
            "smooth \u2013 smooth ( Catmull Rom ) interpolation.\nsmooth with handles \u2013 same as smooth, but "
            "considers extra control points as well.");

  // A pick shows the point and its handles after "delimiter"; "break" hides
  // "mirror".
  Workspace ws(*session);
  ws.setViewerSize(640, 480);
  const auto [x, y] = pixelOf(ByHand(), -0.5, -0.5, 0);
  click(ws, x, y);
  ASSERT_TRUE(setCard(ws, *session, "break_tangent", "1"));
  const Rows rows = rowsOf(session->graph().find("QuorCard1"));
  EXPECT_EQ(Rows(rows.end() - 5, rows.end()), (Rows{{"break", "checkbox +"},
                                                    {"", "separator"},
                                                    {"col/row 0, 0", "fields"},
                                                    {"right", "fields"},
                                                    {"up", "fields"}}));
}

// ---- nodes and files ----------------------------------------------------------------

// Nodes added from the window, each a step; an input's menu lists the nodes
// it takes (no image on the axis input, no cycle); the file list holds the
// folder's image files, whatever the case of their extension.
TEST(WindowNodes, AddedConnectedAndTheFolderImageFiles) {
  auto session = sessionWith({"--new", "QuorCard"});
  Workspace ws(*session);
  Node* card = session->graph().find("QuorCard1");
  Node* axis = ws.addNode("Axis");
  Node* read = ws.addNode("Read");
  ASSERT_TRUE(axis && read) << ws.message();
  EXPECT_EQ(session->currentNode(), read);
  EXPECT_EQ(ws.addNode("NoSuchClass"), nullptr);
  EXPECT_NE(ws.message().find("NoSuchClass"), std::string::npos) << ws.message();
  EXPECT_EQ(ws.inputChoices(card, 0), std::vector<Node*>{axis});
  EXPECT_EQ(ws.inputChoices(card, 1), std::vector<Node*>{read});
  ASSERT_TRUE(ws.connectInput(card, 0, axis));
  EXPECT_EQ(card->op()->input(0), axis->op());
  EXPECT_EQ(ws.inputChoices(axis, 0), std::vector<Node*>{});
  EXPECT_FALSE(ws.connectInput(card, 1, axis));
  EXPECT_EQ(ws.undoCount(), 3u);
  ASSERT_TRUE(ws.undo());
  EXPECT_EQ(session->graph().find("QuorCard1")->op()->input(0), nullptr);

  testsupport::TempDir dir;
  for (const char* name : {"b.png", "A.TIF", "notes.txt", "c.exr"}) std::ofstream(dir.file(name)) << "x";
  fs::create_directory(dir.file("folder.png"));
  EXPECT_EQ(Workspace::imageFiles(dir.file("")), (std::vector<std::string>{"A.TIF", "b.png", "c.exr"}));
}

// The size the window opens at on a 1600 x 1000 work area with a 380 wide
// panel, and the size remembered in the settings file.
TEST(WindowSize, OpensToFitTheScreenAndRemembersItsSize) {
  using quorhost::WindowSize;
  const WindowSize screen{1600, 1000}, none;
  struct Case {
    WindowSize given, remembered;
    int width, height;
  };
  const Case cases[] = {{{640, 480}, {900, 700}, 1020, 480},
                        {none, none, 1600, 1000},
                        {{1400, 900}, none, 1600, 900},
                        {none, {2000, 1200}, 1600, 1000}};
  for (const Case& c : cases) {
    const WindowSize got = quorhost::openingWindowSize(screen, c.given, c.remembered, 380);
    EXPECT_EQ(std::make_pair(got.width, got.height), std::make_pair(c.width, c.height));
  }

  // No file, or a damaged one: no size. (A size written and read back is
  // the X suite's.)
  testsupport::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
  EXPECT_FALSE(quorhost::rememberedWindowSize().known());
  fs::create_directories(dir.file("config/quorhost"));
  std::ofstream(dir.file("config/quorhost/window")) << "size 1234";
  EXPECT_FALSE(quorhost::rememberedWindowSize().known());
}

// ---- the scene's light ------------------------------------------------------------------

// The light of the scene written after the window turned the camera shines
// along the view, from the eye towards the target. (Where the turned camera
// puts the card is the render's test below, which goes through the same
// scene; the default camera's scene is the host suite's.)
TEST(WindowScene, TheLightFollowsTheTurnedCamera) {
  testsupport::TempDir dir;
  auto session = sessionWith({"--new", "QuorCard"});
  turn(*session, 30, -20);
  session->run(quorhost::parseCommandLine({"--rib", dir.file("turned.rib")}).actions[0]);
  session->finish();
  const std::string turned = testsupport::readFile(dir.file("turned.rib"));
  const size_t at = turned.find("\"to\" [");
  float t[3] = {0, 0, 0};
  ASSERT_TRUE(at != std::string::npos &&
              std::sscanf(turned.c_str() + at, "\"to\" [%f %f %f]", &t[0], &t[1], &t[2]) == 3);
  const double y = 30 * kPi / 180, p = -20 * kPi / 180;
  expectNear(Vector3(t), Vector3(-std::sin(y) * std::cos(p), std::sin(p), -std::cos(y) * std::cos(p)), 1e-6);
}

// ---- the render --------------------------------------------------------------------------

// The share of pixels where both masks are set among those where either is.
double overlap(const std::vector<bool>& a, const std::vector<bool>& b) {
  size_t both = 0, either = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    both += a[i] && b[i];
    either += a[i] || b[i];
  }
  return either ? double(both) / double(either) : 0;
}

// The render frames what the viewer shows, turned camera and all: the card
// covers the same pixels in both. A render of the straight camera does not.
TEST(WindowRender, TheRenderFramesWhatTheViewerShows) {
  testsupport::TempDir dir;
  auto session = sessionWith({"--new", "QuorCard"});
  Workspace ws(*session);
  ws.setViewerSize(320, 240);
  ASSERT_TRUE(ws.render()) << ws.message();
  EXPECT_EQ(ws.renderProgress(), 1.0f);
  const std::vector<unsigned char> straight = ws.renderPixels();
  turn(*session, 50, -25, Vector3(0.2f, 0, 0));
  ASSERT_TRUE(ws.render()) << ws.message();
  ASSERT_EQ(ws.renderWidth(), 320);
  ASSERT_EQ(ws.renderHeight(), 240);
  std::vector<unsigned char> viewer;
  std::string error;
  ASSERT_TRUE(ws.drawViewer(&viewer, &error)) << error;
  // The card where the render is opaque, and where the viewer is not its
  // background (0.2 grey, 51 of 255).
  std::vector<bool> rendered, drawn, before;
  for (size_t i = 0; i < viewer.size(); i += 4) {
    rendered.push_back(ws.renderPixels()[i + 3] > 127);
    before.push_back(straight[i + 3] > 127);
    drawn.push_back(viewer[i] != 51 || viewer[i + 1] != 51 || viewer[i + 2] != 51);
  }
  EXPECT_GT(overlap(rendered, drawn), 0.95);
  EXPECT_LT(overlap(before, drawn), 0.8);

  // The picture is older than the scene after an edit, not after a camera
  // move; a cancelled render keeps the picture shown.
  EXPECT_FALSE(ws.renderOutOfDate());
  ws.scroll(1);
  EXPECT_FALSE(ws.renderOutOfDate());
  ASSERT_TRUE(setCard(ws, *session, "flip_uvs", "1"));
  EXPECT_TRUE(ws.renderOutOfDate());
  ASSERT_TRUE(ws.startRender()) << ws.message();
  EXPECT_TRUE(ws.rendering());
  EXPECT_FALSE(ws.startRender());
  ws.cancelRender();
  EXPECT_FALSE(ws.finishRender(true));
  EXPECT_EQ(ws.message(), "render cancelled");
  EXPECT_TRUE(ws.renderOutOfDate());
  EXPECT_FALSE(ws.rendering());

  // Saved in another format than the PNG of the window suite it holds the
  // same picture; an unknown one is refused.
  ASSERT_TRUE(ws.saveRender(dir.file("r.exr"))) << ws.message();
  auto exr = OIIO::ImageInput::open(dir.file("r.exr"));
  ASSERT_TRUE(exr);
  EXPECT_EQ(exr->spec().width, 320);
  EXPECT_EQ(exr->spec().nchannels, 4);
  EXPECT_FALSE(ws.saveRender(dir.file("r.bmp")));
  EXPECT_NE(ws.message().find(".png"), std::string::npos) << ws.message();
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"r.exr"}));
}

// ---- the script file ------------------------------------------------------------------------

TEST(WindowFile, UnsavedChangesSavingAndAWaitingSave) {
  testsupport::TempDir dir;
  fs::copy_file(QUOR_SOURCE_DIR "/examples/card.json", dir.file("card.json"));
  fs::copy_file(QUOR_SOURCE_DIR "/examples/checker.png", dir.file("checker.png"));
  {
    auto session = sessionWith({}, dir.file("card.json"));
    Workspace ws(*session);
    EXPECT_EQ(ws.saveTarget(), dir.file("card.json"));
    // Just loaded: nothing to save; choosing and selecting a node is no
    // change and no step.
    EXPECT_FALSE(ws.dirty());
    ws.choose(session->graph().find("QuorCard1"));
    EXPECT_FALSE(ws.dirty());
    EXPECT_EQ(ws.undoCount(), 0u);
    ASSERT_TRUE(setCard(ws, *session, "flip_uvs", "1"));
    EXPECT_TRUE(ws.dirty());
    ASSERT_TRUE(ws.save(ws.saveTarget()));
    EXPECT_FALSE(ws.dirty());
    EXPECT_EQ(testsupport::readFile(dir.file("card.json")), session->scriptText(dir.file("card.json")));
    // Undone, the change is unsaved again; redone, saved.
    ASSERT_TRUE(ws.undo());
    EXPECT_TRUE(ws.dirty());
    ASSERT_TRUE(ws.redo());
    EXPECT_FALSE(ws.dirty());
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"card.json", "checker.png"}));
    // A folder that is not there: a message, no file.
    EXPECT_FALSE(ws.save(dir.file("no/such/folder/card.json")));
    EXPECT_NE(ws.message().find("card.json"), std::string::npos);
    // Save As: later saves go to the new file.
    ASSERT_TRUE(ws.saveAs(dir.file("copy.json")));
    EXPECT_EQ(ws.saveTarget(), dir.file("copy.json"));
    EXPECT_FALSE(ws.dirty());
    fs::remove(dir.file("copy.json"));
  }

  {
    // A damaged points text: the card's two warning lines (their words are
    // the grid suite's) on the message line.
    testsupport::writeFile(dir.file("damaged.json"),
                           R"({"nodes": [{"class": "QuorCard", "knobs": {"cpstr": "<damaged"}}]})");
    auto damaged = sessionWith({}, dir.file("damaged.json"));
    const std::string message = Workspace(*damaged).message();
    EXPECT_TRUE(message.rfind("[Brunvik] WARNING: ", 0) == 0 && message.find("\n[Brunvik] Mostly") != std::string::npos)
        << message;
    fs::remove(dir.file("damaged.json"));
  }
  {
    // Selected on the command line: still as the file holds it.
    auto selecting = sessionWith({"--node", "QuorCard1", "--select"}, dir.file("card.json"));
    EXPECT_FALSE(Workspace(*selecting).dirty());
  }

  // With --save on the command line the window saves there; the --save that
  // ran before the window waits for the end of the run and must not put the
  // older script over the window's.
  auto session = sessionWith({"--save", dir.file("out.json")}, dir.file("card.json"));
  Workspace ws(*session);
  EXPECT_EQ(ws.saveTarget(), dir.file("out.json"));
  EXPECT_TRUE(ws.dirty());
  ASSERT_TRUE(setCard(ws, *session, "x_points", "5"));
  ASSERT_TRUE(ws.save(ws.saveTarget()));
  session->finish();
  EXPECT_NE(testsupport::readFile(dir.file("out.json")).find("\"x_points\": 5"), std::string::npos);
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"card.json", "checker.png", "out.json"}));
}

}  // namespace
