// The camera of the host's 3-D viewer. Scenes that a host writes for a
// renderer take the same camera, so that a render frames what the viewer
// shows. By default the eye is at (0, 0, 2.5) looking down -z, with 30
// degrees of vertical field of view, on a picture of 640 x 480 pixels.
#ifndef DDImageHost_Camera_h
#define DDImageHost_Camera_h

#include "DDImage/Vector3.h"

namespace DD {
namespace Image {

struct Camera {
  int width = 640;  // picture size, pixels
  int height = 480;
  float distance = 2.5f;  // the eye is at (0, 0, distance), looking down -z
  float fovY = 30.0f;     // vertical field of view, degrees
  // The viewer's clipping planes, in front of the eye.
  float nearPlane = 0.01f;
  float farPlane = 1000.0f;

  Vector3 position() const { return Vector3(0.0f, 0.0f, distance); }
};

}  // namespace Image
}  // namespace DD

#endif
