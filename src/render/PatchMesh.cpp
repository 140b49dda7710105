#include "render/PatchMesh.h"

#include <climits>
#include <cstdint>
#include <new>
#include <utility>

namespace quorcard {

namespace {

// Vertices of the bicubic net per control point, along u and along v.
constexpr int kNetStep = 3;

// True when a mesh of nu x nv vertices fits the renderer's int counts and
// its two arrays (5 floats per vertex) can be addressed.
bool meshFits(long long nu, long long nv) {
  if (nu < 2 || nv < 2 || nu > INT_MAX || nv > INT_MAX) return false;
  const std::uint64_t maxVertices = static_cast<std::uint64_t>(PTRDIFF_MAX) / (5 * sizeof(float));
  return static_cast<std::uint64_t>(nu) <= maxVertices / static_cast<std::uint64_t>(nv);
}

// Writes the (s, t) of a vertex whose owner point has texture coordinate uv,
// shifted by (a, b) before any mirroring.
inline void putUv(float* texCoord, const float* uv, float a, float b, UvRules rules) {
  const TexCoord c = mapUv(uv, a, b, rules, TAxis::AlongV);
  texCoord[0] = c.s;
  texCoord[1] = c.t;
}

inline void putXyz(float* p, const float* xyz) {
  p[0] = xyz[0];
  p[1] = xyz[1];
  p[2] = xyz[2];
}

// Writes the bicubic net row by row through a running vertex index.
class NetWriter {
 public:
  NetWriter(const ControlGrid& grid, UvRules rules, float* positions, float* texCoords)
      : grid_(grid),
        columns_(grid.columns()),
        rules_(rules),
        du_((1.0f / static_cast<float>(grid.columns() - 1)) / 3.0f),
        dv_((1.0f / static_cast<float>(grid.rows() - 1)) / 3.0f),
        p_(positions),
        texCoords_(texCoords) {}

  // The row through the points of grid row j: left handle, point, right
  // handle of each column.
  void pointRow(int j) {
    for (int i = 0; i < columns_; ++i) {
      const VtxPoint& k = point(j, i);
      if (i > 0) {
        put(handle(k, kSlotLeft), k, -du_, 0.0f);
      } else {
        put(k.pos, k, 0.0f, 0.0f);
      }
      put(k.pos, k, 0.0f, 0.0f);
      if (i < columns_ - 1) {
        put(handle(k, kSlotRight), k, du_, 0.0f);
      } else {
        put(k.pos, k, 0.0f, 0.0f);
      }
    }
  }

  // The row through the "down" handles of grid row j (j > 0), whose corners
  // lean on the row below.
  void lowerHandleRow(int j) { handleRow(j, kSlotDown, j - 1, dv_); }

  // The row through the "up" handles of grid row j (j < rows - 1), whose
  // corners lean on the row above.
  void upperHandleRow(int j) { handleRow(j, kSlotUp, j + 1, -dv_); }

  // False once a handle that the net reads was found not stored as 3 floats.
  bool complete() const { return !missing_; }

 private:
  const VtxPoint& point(int j, int i) const { return grid_.at(i, j); }

  // The position of the handle in `slot` of `p`. The net reads exactly the
  // handles it needs, each at least once, so checking them here, as they are
  // read, spares a pass over the whole grid beforehand. A missing one reads
  // as the point itself, and marks the net incomplete.
  const float* handle(const VtxPoint& p, int slot) {
    if (slotPresent(p, slot)) return slotPosition(p, slot);
    missing_ = true;
    return p.pos;
  }

  void put(const float* xyz, const VtxPoint& owner, float a, float b) {
    putXyz(p_, xyz);
    putUv(texCoords_, owner.uv, a, b, rules_);
    p_ += 3;
    texCoords_ += 2;
  }

  // Handle row of grid row j through handle `slot`; the corners lean on the
  // neighbouring grid row jn, and b is the v offset of the row.
  void handleRow(int j, int slot, int jn, float b) {
    for (int i = 0; i < columns_; ++i) {
      const VtxPoint& k = point(j, i);
      const VtxPoint& w = point(jn, i);
      const float* centre = handle(k, slot);
      float corner[3];
      if (i > 0) {
        cornerOf(k, point(j, i - 1), w, slot, kSlotLeft, corner);
        put(corner, k, -du_, b);
      } else {
        put(centre, k, 0.0f, b);
      }
      put(centre, k, 0.0f, b);
      if (i < columns_ - 1) {
        cornerOf(k, point(j, i + 1), w, slot, kSlotRight, corner);
        put(corner, k, du_, b);
      } else {
        put(centre, k, 0.0f, b);
      }
    }
  }

  // The corner between handle p of k and handle q of k: the mean of the
  // point a third of the way from k's handle p toward that of the horizontal
  // neighbour h, and the point a third of the way from k's handle q toward
  // that of the vertical neighbour w.
  void cornerOf(const VtxPoint& k, const VtxPoint& h, const VtxPoint& w, int p, int q, float out[3]) {
    const float* a = handle(k, p);
    const float* a2 = handle(h, p);
    const float* b = handle(k, q);
    const float* b2 = handle(w, q);
    for (int c = 0; c < 3; ++c) out[c] = ((a2[c] - a[c]) / 3.0f + a[c] + b[c] + (b2[c] - b[c]) / 3.0f) * 0.5f;
  }

  const ControlGrid& grid_;
  const int columns_;
  const UvRules rules_;
  const float du_;
  const float dv_;
  float* p_;
  float* texCoords_;
  bool missing_ = false;
};

// Two arrays of nu x nv vertices, left uninitialised: every float is
// written once by a fill.
PatchMesh allocatedMesh(MeshType type, int nu, int nv) {
  PatchMesh mesh;
  const std::size_t count = static_cast<std::size_t>(nu) * static_cast<std::size_t>(nv);
  mesh.positions.reset(new float[3 * count]);
  mesh.texCoords.reset(new float[2 * count]);
  mesh.type = type;
  mesh.nu = nu;
  mesh.nv = nv;
  return mesh;
}

PatchMesh bilinearMesh(const ControlGrid& grid, UvRules rules) {
  PatchMesh mesh = allocatedMesh(MeshType::Bilinear, grid.columns(), grid.rows());
  fillBilinearMesh(grid, rules, mesh.positions.get(), mesh.texCoords.get());
  return mesh;
}

}  // namespace

bool netHandlesPresent(const ControlGrid& grid) {
  const int columns = grid.columns();
  const int rows = grid.rows();
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) {
      const VtxPoint& p = grid.at(i, j);
      if (i > 0 && !slotPresent(p, kSlotLeft)) return false;
      if (j > 0 && !slotPresent(p, kSlotDown)) return false;
      if (i < columns - 1 && !slotPresent(p, kSlotRight)) return false;
      if (j < rows - 1 && !slotPresent(p, kSlotUp)) return false;
    }
  }
  return true;
}

void fillBilinearMesh(const ControlGrid& grid, UvRules rules, float* positions, float* texCoords) {
  const PointList& points = grid.points();
  for (std::size_t k = 0; k < points.size(); ++k) {
    putXyz(positions + 3 * k, points[k].pos);
    putUv(texCoords + 2 * k, points[k].uv, 0.0f, 0.0f, rules);
  }
}

bool fillBicubicNet(const ControlGrid& grid, UvRules rules, float* positions, float* texCoords) {
  NetWriter net(grid, rules, positions, texCoords);
  const int rows = grid.rows();
  net.pointRow(0);
  for (int j = 0; j < rows; ++j) {
    if (j > 0) net.lowerHandleRow(j);
    net.pointRow(j);
    if (j < rows - 1) net.upperHandleRow(j);
  }
  net.pointRow(rows - 1);
  return net.complete();
}

PatchMesh buildPatchMesh(const ControlGrid& grid, bool smooth, UvRules rules) {
  const int columns = grid.columns();
  const int rows = grid.rows();
  if (!meshFits(columns, rows)) return PatchMesh();
  if (smooth) {
    const long long nu = kNetStep * static_cast<long long>(columns);
    const long long nv = kNetStep * static_cast<long long>(rows);
    // A grid that cannot give the net for want of a handle gives its
    // bilinear mesh, even when there would be no room for the net.
    if (!meshFits(nu, nv)) return netHandlesPresent(grid) ? PatchMesh() : bilinearMesh(grid, rules);
    PatchMesh net;
    try {
      net = allocatedMesh(MeshType::Bicubic, static_cast<int>(nu), static_cast<int>(nv));
    } catch (const std::bad_alloc&) {
      if (netHandlesPresent(grid)) throw;
      return bilinearMesh(grid, rules);
    }
    if (fillBicubicNet(grid, rules, net.positions.get(), net.texCoords.get())) return net;
  }
  return bilinearMesh(grid, rules);
}

}  // namespace quorcard
