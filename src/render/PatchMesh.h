// The patch mesh that the card hands to the renderer: the vertex positions
// and texture coordinates of either the bilinear mesh of the control points
// or the bicubic Catmull-Rom net that interleaves the points with their
// tangent handles. Building it touches neither the node nor the renderer, so
// it can be measured and checked on its own.
#pragma once

#include <cstddef>
#include <memory>

#include "grid/ControlGrid.h"
#include "grid/TextureMapping.h"

namespace quorcard {

enum class MeshType {
  None,      // the grid cannot give a mesh: nothing is emitted
  Bilinear,  // one vertex per control point
  Bicubic,   // 3 x 3 vertices per control point
};

// The vertex arrays of one mesh, sized once to their final length:
// 3 floats (x, y, z) and 2 floats (s, t) per vertex, u running fastest.
struct PatchMesh {
  MeshType type = MeshType::None;
  int nu = 0;  // vertices along u
  int nv = 0;  // vertices along v
  std::unique_ptr<float[]> positions;
  std::unique_ptr<float[]> texCoords;

  std::size_t vertexCount() const { return static_cast<std::size_t>(nu) * static_cast<std::size_t>(nv); }
};

// True when every handle that the bicubic net reads is present as 3 floats.
bool netHandlesPresent(const ControlGrid& grid);

// Fills columns x rows vertices: the points in storage order, uv unshifted.
// The arrays must hold 3 and 2 floats per point.
void fillBilinearMesh(const ControlGrid& grid, UvRules rules, float* positions, float* texCoords);

// Fills the (3 columns) x (3 rows) vertices of the bicubic net. Rows of the
// net, first to last: point row 0 (twice), then for each grid row j its
// lower handle row (j > 0), its point row and its upper handle row
// (j < rows - 1), and point row rows - 1 once more. Each grid column gives
// three vertices per net row: left handle, centre, right handle; at the
// card's left and right edges the outer vertex repeats the centre one.
// Corner vertices between handles are the mean of the two estimates along
// the row and the column of handles. False, with the arrays written in
// part, when a handle that the net reads is not stored as 3 floats (see
// netHandlesPresent()).
bool fillBicubicNet(const ControlGrid& grid, UvRules rules, float* positions, float* texCoords);

// Builds the mesh a grid can give, arrays allocated once at their exact size:
// - None, arrays empty, when the grid has fewer than 2 columns or rows (a
//   grid restored from text that does not fit its knobs has none), or when
//   the vertex count or the array sizes would not be representable;
// - Bilinear when smooth is false, or when a handle that the bicubic net
//   reads is not stored as 3 floats;
// - Bicubic otherwise.
// The net reads, of the point in column i and row j: the left handle when
// i > 0, the right one when i < columns - 1, the down one when j > 0 and
// the up one when j < rows - 1, exactly the handles of the default grid.
// Throws std::bad_alloc when the arrays cannot be allocated.
PatchMesh buildPatchMesh(const ControlGrid& grid, bool smooth, UvRules rules);

}  // namespace quorcard
