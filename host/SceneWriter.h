// Writes the graph as a complete scene through libQuor: camera, light, the
// textures of the image nodes as archives, and every renderer primitive.
#ifndef QUORHOST_SCENEWRITER_H
#define QUORHOST_SCENEWRITER_H

#include <string>

#include <DDImageHost/Camera.h>
#include <DDImageHost/Host.h>

namespace quorhost {

// Validates every node, then writes the scene into the RIB file `ribPath`
// ("-" for standard output), seen through `camera`, the viewer's. `picture`
// is the file that the renderer is to write. Throws HostError, before
// anything is written, when a node is in error, and when the scene cannot be
// opened.
void writeScene(DD::Image::Graph& graph, const std::string& ribPath, const std::string& picture,
                const DD::Image::Camera& camera = DD::Image::Camera());

// The name of the texture made from an image file: its extension replaced
// by ".tex".
std::string textureName(const std::string& imageFile);

}  // namespace quorhost

#endif
