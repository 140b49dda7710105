// Picking points and handles with presses in the viewer, on real OpenGL
// selection passes, and dragging the knobs that a pick shows.
#include <cmath>

#include "ViewerTestSupport.h"
#include "viewer/HandleIds.h"

namespace viewertest {
namespace {

using DD::Image::Knob;

int selectedCp(const Node* n) { return static_cast<int>(n->knob("selected_cp")->get_value()); }

// Records are (name count, minimum depth, maximum depth, name).
TEST(HitRecordScan, NearestNamedRecordWins) {
  const unsigned deeperFirst[] = {1, 0x2000, 0x2000, 10005, 1, 0x1000, 0x1000, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(deeperFirst, 8), 10010u);
  const unsigned equal[] = {1, 0x1000, 0x3000, 10005, 1, 0x1000, 0x1000, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(equal, 8), 10005u);
  // Names below 10000 belong to other objects, however near.
  const unsigned foreign[] = {1, 0x10, 0x10, 9999, 1, 0x1000, 0x1000, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(foreign, 8), 10010u);
  // Depths and names compare as unsigned values.
  const unsigned high[] = {1, 0x80000000u, 0, 0x80000000u, 1, 0xFFFFFFFFu, 0, 10001};
  EXPECT_EQ(quorcard::nearestHandleId(high, 8), 0x80000000u);
}

TEST(HitRecordScan, StopsAtEmptyRecordAndBufferEnd) {
  const unsigned emptyFirst[] = {0, 0x10, 0x10, 10005, 1, 0x10, 0x10, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(emptyFirst, 8), 0u);
  const unsigned emptyBetween[] = {1, 0x2000, 0x2000, 10005, 0, 0, 0, 0, 1, 0x10, 0x10, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(emptyBetween, 12), 10005u);
  // Only whole records count: 7 values hold one record.
  const unsigned partial[] = {1, 0x2000, 0x2000, 10005, 1, 0x10, 0x10, 10010};
  EXPECT_EQ(quorcard::nearestHandleId(partial, 7), 10005u);
  EXPECT_EQ(quorcard::nearestHandleId(partial, 3), 0u);
}

TEST(HandleIds, EncodeAndDecode) {
  // Point at row 1, column 2 of 4 columns is point 6.
  EXPECT_EQ(quorcard::pointHandleId(6), 10030u);
  EXPECT_EQ(quorcard::slotHandleId(6, 3), 10034u);
  const quorcard::DecodedHandle d = quorcard::decodeHandleId(10034);
  EXPECT_EQ(d.point, 6);
  EXPECT_EQ(d.remainder, 4);
}

// The point at row 1, column 2 sits at (1/6, -1/6).
TEST_F(ViewerTest, PressOnPointSelectsItAndShowsItsKnob) {
  node->setSelected(true);
  const PixelPos point = byHand(gridX(2, 4), gridY(1, 4));
  press(point);
  EXPECT_EQ(selectedCp(node), 10030);
  EXPECT_EQ(card->selectedHandle, 10030);
  EXPECT_EQ(visiblePointKnobs(), std::vector<std::string>{"control_point.2.1"});
  EXPECT_EQ(card->selectedPointKnob, "control_point.2.1");
  const Knob* k = knob("control_point.2.1");
  EXPECT_FLOAT_EQ(static_cast<float>(k->get_value(0)), static_cast<float>(gridX(2, 4)));
  EXPECT_FLOAT_EQ(static_cast<float>(k->get_value(1)), static_cast<float>(gridY(1, 4)));

  // The picked point is highlighted.
  const Picture p = draw();
  EXPECT_EQ(p.countAround(point.ix(), point.iy(), 2, kHighlight), 25);
  // Its knob's handle is drawn around it.
  EXPECT_GT(p.countAround(point.ix(), point.iy(), 7, kKnobHandle), 40);
}

// The "up" handle (slot 3) of that point lies a third of a row step above
// it, at y = -1/6 + 1/9.
TEST_F(ViewerTest, PressOnHandleSelectsItsPointWithTangentKnobs) {
  node->setSelected(true);
  set("type", "smooth with handles");
  press(byHand(gridX(2, 4), gridY(1, 4) + 1.0 / 9));
  EXPECT_EQ(selectedCp(node), 10034);
  EXPECT_EQ(visiblePointKnobs(), (std::vector<std::string>{"control_point.2.1", "control_point.2.1.0",
                                                           "control_point.2.1.1", "control_point.2.1.2",
                                                           "control_point.2.1.3"}));
  const Picture p = draw();
  const PixelPos handle = byHand(gridX(2, 4), gridY(1, 4) + 1.0 / 9);
  EXPECT_EQ(p.countAround(handle.ix(), handle.iy(), 2, kHighlight), 25);

  // Under "linear" the same place holds no pickable part.
  set("type", "linear");
  press(handle);
  EXPECT_EQ(selectedCp(node), 0);
  EXPECT_TRUE(visiblePointKnobs().empty());
}

// The last point of the grid is the last name loaded in the pass; it is
// picked like every other.
TEST_F(ViewerTest, LastPointOfTheGridCanBePicked) {
  node->setSelected(true);
  press(byHand(gridX(3, 4), gridY(3, 4)));
  EXPECT_EQ(selectedCp(node), 10075);
  EXPECT_EQ(visiblePointKnobs(), std::vector<std::string>{"control_point.3.3"});

  set("type", "smooth with handles");
  // The top-right point's last handle is slot 1, below it.
  press(byHand(gridX(3, 4), gridY(3, 4) - 1.0 / 9));
  EXPECT_EQ(selectedCp(node), 10077);
}

TEST_F(ViewerTest, PressOnEmptySpaceHidesEveryPointKnob) {
  node->setSelected(true);
  press(byHand(gridX(2, 4), gridY(1, 4)));
  ASSERT_EQ(visiblePointKnobs().size(), 1u);
  press(PixelPos{20, 20});
  EXPECT_EQ(selectedCp(node), 0);
  EXPECT_TRUE(visiblePointKnobs().empty());
  EXPECT_EQ(card->selectedPointKnob, "");
  // A press on the surface between points picks nothing either.
  press(byHand(0.3, 0.3));
  EXPECT_EQ(selectedCp(node), 0);
}

TEST_F(ViewerTest, PressOnUnselectedCardHidesEveryPointKnob) {
  node->setSelected(true);
  const PixelPos point = byHand(gridX(2, 4), gridY(1, 4));
  press(point);
  ASSERT_EQ(visiblePointKnobs().size(), 1u);
  node->setSelected(false);
  press(point);
  EXPECT_EQ(selectedCp(node), 0);
  EXPECT_TRUE(visiblePointKnobs().empty());
  // And the unselected card draws no highlight.
  EXPECT_EQ(draw().count(kHighlight), 0);
}

// The first press on a point only picks it: its knob was hidden while the
// pass ran, so nothing is grabbed and dragging moves nothing. A second press
// grabs the shown knob's handle; dragging moves the knob in the plane z = 0
// (the plane facing the camera through it) and, through the node's
// reaction, the point.
TEST_F(ViewerTest, DraggingAShownKnobMovesThePoint) {
  node->setSelected(true);
  const PixelPos from = byHand(gridX(2, 4), gridY(1, 4));
  std::string error;
  ASSERT_TRUE(viewer->press(static_cast<float>(from.ix()), static_cast<float>(from.iy()), &error)) << error;
  EXPECT_EQ(viewer->grabbedKnob(), nullptr);
  viewer->release(static_cast<float>(from.ix() + 40), static_cast<float>(from.iy()));
  EXPECT_FLOAT_EQ(card->points[6].pos[0], static_cast<float>(gridX(2, 4)));
  const std::string stored = knob("cpstr")->get_text();

  ASSERT_TRUE(viewer->press(static_cast<float>(from.ix()), static_cast<float>(from.iy()), &error)) << error;
  ASSERT_NE(viewer->grabbedKnob(), nullptr);
  EXPECT_EQ(viewer->grabbedKnob()->name(), "control_point.2.1");
  viewer->dragTo(static_cast<float>(from.ix() + 10), static_cast<float>(from.iy()));
  viewer->release(static_cast<float>(from.ix() + 40), static_cast<float>(from.iy() - 20));
  EXPECT_EQ(viewer->grabbedKnob(), nullptr);

  // The knob moves by the difference of the two pixels' points on z = 0.
  double x0, y0, x1, y1;
  unprojectByHand(from.ix(), from.iy(), 0, &x0, &y0);
  unprojectByHand(from.ix() + 40, from.iy() - 20, 0, &x1, &y1);
  const Knob* k = knob("control_point.2.1");
  EXPECT_NEAR(k->get_value(0), gridX(2, 4) + (x1 - x0), 1e-5);
  EXPECT_NEAR(k->get_value(1), gridY(1, 4) + (y1 - y0), 1e-5);
  EXPECT_NEAR(k->get_value(2), 0, 1e-6);
  EXPECT_NEAR(card->points[6].pos[0], gridX(2, 4) + (x1 - x0), 1e-5);
  EXPECT_NEAR(card->points[6].pos[1], gridY(1, 4) + (y1 - y0), 1e-5);
  // The moved point is stored.
  EXPECT_NE(std::string(knob("cpstr")->get_text()), stored);
}

// Position knobs of a node that is not selected get no handle.
TEST_F(ViewerTest, UnselectedNodesShowNoKnobHandles) {
  EXPECT_EQ(draw().count(kKnobHandle), 0);
  node->setSelected(true);
  // The card's "translate" is a position: its handle sits at the origin.
  const Picture p = draw();
  const PixelPos origin = byHand(0, 0);
  EXPECT_GT(p.countAround(origin.ix(), origin.iy(), 7, kKnobHandle), 40);
  EXPECT_EQ(p.count(kKnobHandle), p.countAround(origin.ix(), origin.iy(), 7, kKnobHandle));
}

}  // namespace
}  // namespace viewertest

namespace viewertest {
namespace {

// Under an axis turned 90 degrees about z and moved by (0.25, 0.1, 0), the
// card-local point (x, y) shows at (0.25 - y, 0.1 + x). The point at row 1,
// column 2, (1/6, -1/6), is at (0.4167, 0.2667); its knob holds the
// card-local value, and a drag by (d, 0) in the viewer moves it by (0, -d)
// in the card's parent space.
TEST_F(ViewerTest, CardUnderAnAxisIsDrawnPickedAndDraggedInItsParentsSpace) {
  Node* axis = add("Axis");
  ASSERT_NE(axis, nullptr);
  ASSERT_TRUE(axis->userSetText(axis->knob("translate"), "0.25,0.1,0"));
  ASSERT_TRUE(axis->userSetText(axis->knob("rotate"), "0,0,90"));
  std::string error;
  ASSERT_TRUE(graph.connect(node, 0, axis, &error)) << error;
  graph.invalidateAll();

  // The card's left edge is the turned bottom edge, at x = 0.25 - 0.5.
  const Picture unselected = draw();
  const PixelPos left = byHand(-0.25, 0.3);
  const int first = static_cast<int>(std::floor(left.x + 0.5));
  EXPECT_EQ(unselected.at(first, left.iy()), kNodeGrey);
  EXPECT_EQ(unselected.at(first - 1, left.iy()), kBackground);

  node->setSelected(true);
  const Picture p = draw();
  const PixelPos corner = byHand(0.25 + 0.5, 0.1 - 0.5);  // card-local (-0.5, -0.5)
  EXPECT_EQ(p.countAround(corner.ix(), corner.iy(), 1, kBlack), 9);

  const PixelPos point = byHand(0.25 + 1.0 / 6, 0.1 + 1.0 / 6);
  press(point);
  ASSERT_EQ(selectedCp(node), 10030);
  const Knob* k = knob("control_point.2.1");
  EXPECT_NEAR(k->get_value(0), 1.0 / 6, 1e-6);
  EXPECT_NEAR(k->get_value(1), -1.0 / 6, 1e-6);
  // Its handle is drawn where the point shows.
  EXPECT_GT(draw().countAround(point.ix(), point.iy(), 7, kKnobHandle), 40);

  ASSERT_TRUE(viewer->press(static_cast<float>(point.ix()), static_cast<float>(point.iy()), &error)) << error;
  ASSERT_NE(viewer->grabbedKnob(), nullptr);
  viewer->release(static_cast<float>(point.ix() + 30), static_cast<float>(point.iy()));
  double x0, y0, x1, y1;
  unprojectByHand(point.ix(), point.iy(), 0, &x0, &y0);
  unprojectByHand(point.ix() + 30, point.iy(), 0, &x1, &y1);
  EXPECT_NEAR(k->get_value(0), 1.0 / 6, 1e-5);
  EXPECT_NEAR(k->get_value(1), -1.0 / 6 - (x1 - x0), 1e-5);
  EXPECT_NEAR(card->points[6].pos[1], -1.0 / 6 - (x1 - x0), 1e-5);
}

}  // namespace
}  // namespace viewertest
