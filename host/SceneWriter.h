// Writes the graph as a complete scene through libQuor: camera, light, the
// textures of the image nodes as archives, and every renderer primitive.
#ifndef QUORHOST_SCENEWRITER_H
#define QUORHOST_SCENEWRITER_H

#include <string>

#include <DDImageHost/Host.h>

namespace quorhost {

// The camera of the scene, the same as the viewer's: at (0, 0, 2.5) looking
// down -z, 30 degrees of vertical field of view, 640 x 480 pixels.
struct Camera {
  int width = 640;
  int height = 480;
  float fov = 30.0f;
  float distance = 2.5f;
};

// Validates every node, then writes the scene into the RIB file `ribPath`
// ("-" for standard output). `picture` is the file that the renderer is to
// write. Throws HostError, before anything is written, when a node is in
// error, and when the scene cannot be opened.
void writeScene(DD::Image::Graph& graph, const std::string& ribPath, const std::string& picture,
                const Camera& camera = Camera());

// The name of the texture made from an image file: its extension replaced
// by ".tex".
std::string textureName(const std::string& imageFile);

}  // namespace quorhost

#endif
