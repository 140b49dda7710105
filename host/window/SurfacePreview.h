// The viewer's "Final surface" preview: the surfaces the renderer will
// render, drawn over the nodes' own drawing, lit, and textured with each
// node's image input.
#ifndef QUORHOST_WINDOW_SURFACEPREVIEW_H
#define QUORHOST_WINDOW_SURFACEPREVIEW_H

#include <vector>

#include <DDImage/ViewerContext.h>

#include "SceneWriter.h"

namespace quorhost {

// About this many facets along the longer side of each surface.
constexpr int kPreviewFacets = 128;

// How far the nodes' own surfaces are pushed back (polygon offset units)
// while the preview is drawn. Where the net of a node lies in front of its
// smooth surface, its facets would otherwise cover the preview in patches
// (its texture, placed and lit as the net has it); pushed this far back,
// they stay behind the preview unless they lie well in front of it, while
// the lines and points drawn on them keep their depth.
constexpr float kNodeSurfacesBehindPreview = 8192;

// The previews as the viewer draws them: vertex arrays and triangle
// indices, made again only when the surfaces change.
class SurfacePreviewDrawing {
 public:
  // Takes the surfaces to draw; answers whether they differ from those held.
  bool update(std::vector<SurfacePreview> previews);
  // Draws them in viewer space, in the current GL context, behind the lines
  // and points already drawn on them and in front of the nodes' own
  // surfaces.
  void draw(DD::Image::ViewerContext& ctx) const;

 private:
  // Per surface: its vertices, texture coordinates with t turned for GL,
  // and two triangles a facet.
  struct Mesh {
    const Node* node = nullptr;
    std::vector<float> texture;
    std::vector<unsigned> triangles;
  };
  std::vector<SurfacePreview> previews_;
  std::vector<Mesh> meshes_;
};

}  // namespace quorhost

#endif
