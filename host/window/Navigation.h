// Moving the viewer's camera by hand: tumbling about the target, tracking
// across the view, dollying towards the target, framing a box and going
// back to the default camera. Pointer motions are in viewer pixels (x
// rightward, y downward).
#ifndef QUORHOST_WINDOW_NAVIGATION_H
#define QUORHOST_WINDOW_NAVIGATION_H

#include <DDImage/Vector3.h>
#include <DDImageHost/Camera.h>

namespace quorhost {

// Degrees the camera turns for each pixel of a tumble.
constexpr float kTumbleDegreesPerPixel = 0.4f;
// The pitch stops short of looking straight down or up.
constexpr float kMaxPitch = 89.0f;
// Each scroll step (or 40 pixels of a dolly drag) brings the camera this
// factor closer to its target.
constexpr float kDollyFactor = 0.85f;
constexpr float kDollyPixelsPerStep = 40.0f;
constexpr float kMinDistance = 0.001f;
constexpr float kMaxDistance = 500.0f;

// The pointer moved by (dx, dy) pixels: the scene turns with it about the
// target (rightward turns it to the right; downward tips its top towards
// the viewer).
void tumble(DD::Image::Camera& camera, float dx, float dy);
// The scene moves with the pointer: a point at the target's depth stays
// under the pointer.
void track(DD::Image::Camera& camera, float dx, float dy);
// Moves the eye `steps` dolly steps towards the target (negative: away).
void dolly(DD::Image::Camera& camera, float steps);
// A dolly drag: rightward or upward comes closer.
void dollyDrag(DD::Image::Camera& camera, float dx, float dy);
// Looks at the centre of the box from lo to hi, from a distance at which a
// sphere around the box fits the picture with a margin; the camera keeps
// its turn. A box of no size keeps the distance too.
void frame(DD::Image::Camera& camera, const DD::Image::Vector3& lo, const DD::Image::Vector3& hi);
// The default camera at the same picture size.
void home(DD::Image::Camera& camera);

}  // namespace quorhost

#endif
