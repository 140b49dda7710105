// The control-point grid of a card: its points, row-major, and the number of
// columns and rows they form. Every operation keeps the grid whole: a grid
// with columns and rows holds exactly columns x rows points, and no
// operation leaves a point or handle with a value that is not finite.
#pragma once

#include <cstddef>

#include "grid/VtxPoint.h"

namespace quorcard {

// Width and height of a card with aspect ratio width / height; the longer
// side is 1.
struct CardSize {
  float width;
  float height;
};
CardSize cardSizeForRatio(float ratio);

// True for a ratio that gives a card of finite, non-zero width and height
// whose sizes can be divided by later: finite, at least FLT_MIN and at most
// 1 / FLT_MIN.
bool isUsableRatio(float ratio);

// Result of ControlGrid::setTangentHandle: whether the edited handle was
// written, and whether (and where) the opposite handle of the point moved
// with it.
struct TangentEdit {
  bool changed = false;
  bool oppositeChanged = false;
  int oppositeSlot = -1;
  float opposite[3] = {0.0f, 0.0f, 0.0f};
};

class ControlGrid {
 public:
  // An empty grid: no points, no columns, no rows.
  ControlGrid() = default;

  // The flat default grid of a card of the given width and height centred
  // on the origin: uv from (0, 1) at the bottom left to (1, 0) at the top
  // right, normals (0, 0, 1), and a handle one third of the spacing toward
  // every neighbour. Fewer than 2 columns or rows are taken as 2; a width or
  // height that is not finite and positive is taken as 1.
  void reset(int columns, int rows, float width, float height);

  // Takes the points read from the stored text. They form the grid when
  // there are exactly columns x rows of them. Otherwise they are kept as
  // read, so that saving writes them back unchanged, but the grid has no
  // columns or rows: nothing walks, draws or emits them.
  void restore(PointList points, int columns, int rows);

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  const PointList& points() const { return points_; }
  bool empty() const { return points_.empty(); }

  // Whether column c, row r lies in the grid, and the index of its point.
  bool contains(int column, int row) const { return column >= 0 && row >= 0 && column < columns_ && row < rows_; }
  std::size_t index(int column, int row) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(column);
  }
  const VtxPoint& at(int column, int row) const { return points_[index(column, row)]; }

  // Multiplies x and y of every point and every present handle by sx and
  // sy. Does nothing and answers false for a grid without columns and rows,
  // or when a factor or any product would not be finite.
  bool scale(float sx, float sy);

  // Sets the position of one point; its handles stay where they are. Answers
  // false and changes nothing for an index out of range or a non-finite
  // value.
  bool movePoint(std::size_t index, const float localPos[3]);

  // Moves handle `slot` of point `index` to localHandle. Unless breakTangent
  // is set, the opposite handle (when present) turns to stay on the line
  // through the new handle and the point: at its own distance from the
  // point, or at the mirror image of the new handle when mirrorTangent is
  // set. An empty slot, an index or slot out of range, or a non-finite value
  // changes nothing. If the opposite position cannot be represented
  // (overflow), only the edited handle changes.
  TangentEdit setTangentHandle(std::size_t index, int slot, const float localHandle[3], bool breakTangent,
                               bool mirrorTangent);

 private:
  PointList points_;
  int columns_ = 0;
  int rows_ = 0;
};

}  // namespace quorcard
