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

// Draws the surfaces in viewer space, in the current GL context, behind the
// lines and points already drawn on them and in front of the nodes' own
// surfaces.
void drawSurfacePreviews(const std::vector<SurfacePreview>& previews, DD::Image::ViewerContext& ctx);

}  // namespace quorhost

#endif
