// Writes the graph as a complete scene through libQuor: camera, light, the
// textures of the image nodes as archives, and every renderer primitive.
#ifndef QUORHOST_SCENEWRITER_H
#define QUORHOST_SCENEWRITER_H

#include <functional>
#include <string>
#include <vector>

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

// The scene of renderScene, described into the renderer library on the
// thread that makes the job and rendered on whichever thread runs it, so
// that a window goes on while it renders. One job runs at a time.
class RenderJob {
 public:
  // Validates and describes the graph as renderScene does; throws
  // HostError as it does, before anything is rendered.
  RenderJob(DD::Image::Graph& graph, const std::string& picture, const std::string& format,
            const DD::Image::Camera& camera = DD::Image::Camera());
  ~RenderJob();
  RenderJob(const RenderJob&) = delete;
  RenderJob& operator=(const RenderJob&) = delete;

  // Told the share done (0 to 1) from the rendering threads; false cancels.
  using Progress = std::function<bool(float done)>;
  // Renders the picture; false when `progress` cancelled it, and then no
  // picture is left. Throws HostError as renderScene does. Runs once.
  bool run(const Progress& progress = nullptr);

 private:
  void* job_ = nullptr;  // the library's QtJob
  std::string picture_;
};

// One node's surface as the renderer would render it, for the viewer's
// preview: a grid of vertices in world space, u fastest, as QxJobSurfaces
// hands it (positions, unit normals, the renderer's texture coordinates).
struct SurfacePreview {
  const Node* node = nullptr;
  int columns = 0, rows = 0;
  std::vector<float> positions, normals, st;
};
// The surfaces of the graph's renderable nodes, validated first, with
// about `facets` facets along each one's longer side; nodes in error or
// disabled have none.
std::vector<SurfacePreview> previewSurfaces(DD::Image::Graph& graph, int facets);

// The picture format that a file's extension asks for: "tiff" for .tif and
// .tiff, "png" for .png, "openexr" for .exr (in any case). Throws HostError
// for another extension.
std::string pictureFormat(const std::string& file);

}  // namespace quorhost

#endif
