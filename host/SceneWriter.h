// Writes the graph as a complete scene through libQuor: camera, light, the
// textures of the image nodes as archives, and every renderer primitive.
#ifndef QUORHOST_SCENEWRITER_H
#define QUORHOST_SCENEWRITER_H

#include <string>

#include <DDImageHost/Camera.h>
#include <DDImageHost/Host.h>

namespace quorhost {

// Validates every node, makes the texture of every image node beside the
// RIB file (in the texture cache for standard output; see QxMakeTexture),
// then writes the scene into the RIB file `ribPath` ("-" for
// standard output), seen through `camera`, the viewer's. `picture` is the
// file that the renderer is to write. Throws HostError, before anything is
// written, when a node is in error or a texture cannot be made, and when the
// scene cannot be opened.
void writeScene(DD::Image::Graph& graph, const std::string& ribPath, const std::string& picture,
                const DD::Image::Camera& camera = DD::Image::Camera());

// The same scene, rendered by the renderer library into `picture`, a file
// of `format` ("tiff", "png" or "openexr") whatever its name, its textures
// in the texture cache. Throws
// HostError as writeScene does, and when the renderer reports an error or
// cannot read a texture; then no picture is left.
void renderScene(DD::Image::Graph& graph, const std::string& picture, const std::string& format,
                 const DD::Image::Camera& camera = DD::Image::Camera());

// The picture format that a file's extension asks for: "tiff" for .tif and
// .tiff, "png" for .png, "openexr" for .exr (in any case). Throws HostError
// for another extension.
std::string pictureFormat(const std::string& file);

}  // namespace quorhost

#endif
