#include "render/PatchMesh.h"

#include <climits>
#include <cstdint>
#include <utility>

#include "grid/ControlGrid.h"

namespace quorcard {

namespace {

// Slot numbers of a point's tangent handles.
constexpr int kLeft = 0;
constexpr int kDown = 1;
constexpr int kRight = 2;
constexpr int kUp = 3;

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
inline void putUv(float* st, const float* uv, float a, float b, UvRules rules) {
  const float u = uv[0] + a;
  const float v = uv[1] + b;
  const float mu = rules.flip ? 1.0f - u : u;
  const float mv = rules.flop ? 1.0f - v : v;
  st[0] = rules.swap ? mv : mu;
  st[1] = rules.swap ? mu : mv;
}

inline void putXyz(float* p, const float* xyz) {
  p[0] = xyz[0];
  p[1] = xyz[1];
  p[2] = xyz[2];
}

inline const float* slotOf(const VtxPoint& point, int slot) {
  return point.controlPoints[static_cast<std::size_t>(slot)].data();
}

// Writes the bicubic net row by row through a running vertex index.
class NetWriter {
 public:
  NetWriter(const PointList& points, int columns, int rows, UvRules rules, float* positions, float* st)
      : points_(points),
        columns_(columns),
        rules_(rules),
        du_((1.0f / static_cast<float>(columns - 1)) / 3.0f),
        dv_((1.0f / static_cast<float>(rows - 1)) / 3.0f),
        p_(positions),
        st_(st) {}

  // The row through the points of grid row j: left handle, point, right
  // handle of each column.
  void pointRow(int j) {
    for (int i = 0; i < columns_; ++i) {
      const VtxPoint& k = point(j, i);
      if (i > 0) {
        put(slotOf(k, kLeft), k, -du_, 0.0f);
      } else {
        put(k.pos, k, 0.0f, 0.0f);
      }
      put(k.pos, k, 0.0f, 0.0f);
      if (i < columns_ - 1) {
        put(slotOf(k, kRight), k, du_, 0.0f);
      } else {
        put(k.pos, k, 0.0f, 0.0f);
      }
    }
  }

  // The row through the "down" handles of grid row j (j > 0), whose corners
  // lean on the row below.
  void lowerHandleRow(int j) { handleRow(j, kDown, j - 1, dv_); }

  // The row through the "up" handles of grid row j (j < rows - 1), whose
  // corners lean on the row above.
  void upperHandleRow(int j) { handleRow(j, kUp, j + 1, -dv_); }

 private:
  const VtxPoint& point(int j, int i) const {
    return points_[static_cast<std::size_t>(j) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(i)];
  }

  void put(const float* xyz, const VtxPoint& owner, float a, float b) {
    putXyz(p_, xyz);
    putUv(st_, owner.uv, a, b, rules_);
    p_ += 3;
    st_ += 2;
  }

  // Handle row of grid row j through handle `slot`; the corners lean on the
  // neighbouring grid row jn, and b is the v offset of the row.
  void handleRow(int j, int slot, int jn, float b) {
    for (int i = 0; i < columns_; ++i) {
      const VtxPoint& k = point(j, i);
      const VtxPoint& w = point(jn, i);
      const float* centre = slotOf(k, slot);
      float corner[3];
      if (i > 0) {
        cornerOf(k, point(j, i - 1), w, slot, kLeft, corner);
        put(corner, k, -du_, b);
      } else {
        put(centre, k, 0.0f, b);
      }
      put(centre, k, 0.0f, b);
      if (i < columns_ - 1) {
        cornerOf(k, point(j, i + 1), w, slot, kRight, corner);
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
  static void cornerOf(const VtxPoint& k, const VtxPoint& h, const VtxPoint& w, int p, int q, float out[3]) {
    const float* a = slotOf(k, p);
    const float* a2 = slotOf(h, p);
    const float* b = slotOf(k, q);
    const float* b2 = slotOf(w, q);
    for (int c = 0; c < 3; ++c) out[c] = ((a2[c] - a[c]) / 3.0f + a[c] + b[c] + (b2[c] - b[c]) / 3.0f) * 0.5f;
  }

  const PointList& points_;
  const int columns_;
  const UvRules rules_;
  const float du_;
  const float dv_;
  float* p_;
  float* st_;
};

}  // namespace

bool netHandlesPresent(const PointList& points, int columns, int rows) {
  std::size_t index = 0;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i, ++index) {
      const VtxPoint& p = points[index];
      if (i > 0 && !slotPresent(p, kLeft)) return false;
      if (j > 0 && !slotPresent(p, kDown)) return false;
      if (i < columns - 1 && !slotPresent(p, kRight)) return false;
      if (j < rows - 1 && !slotPresent(p, kUp)) return false;
    }
  }
  return true;
}

MeshType meshTypeFor(const PointList& points, int columns, int rows, bool smooth) {
  if (columns < 2 || rows < 2 || !gridMatches(points, columns, rows)) return MeshType::None;
  if (!meshFits(columns, rows)) return MeshType::None;
  if (!smooth || !netHandlesPresent(points, columns, rows)) return MeshType::Bilinear;
  if (!meshFits(kNetStep * static_cast<long long>(columns), kNetStep * static_cast<long long>(rows))) {
    return MeshType::None;
  }
  return MeshType::Bicubic;
}

void fillBilinearMesh(const PointList& points, int columns, int rows, UvRules rules, float* positions, float* st) {
  const std::size_t count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  for (std::size_t k = 0; k < count; ++k) {
    putXyz(positions + 3 * k, points[k].pos);
    putUv(st + 2 * k, points[k].uv, 0.0f, 0.0f, rules);
  }
}

void fillBicubicNet(const PointList& points, int columns, int rows, UvRules rules, float* positions, float* st) {
  NetWriter net(points, columns, rows, rules, positions, st);
  net.pointRow(0);
  for (int j = 0; j < rows; ++j) {
    if (j > 0) net.lowerHandleRow(j);
    net.pointRow(j);
    if (j < rows - 1) net.upperHandleRow(j);
  }
  net.pointRow(rows - 1);
}

PatchMesh buildPatchMesh(const PointList& points, int columns, int rows, bool smooth, UvRules rules) {
  PatchMesh mesh;
  const MeshType type = meshTypeFor(points, columns, rows, smooth);
  if (type == MeshType::None) return mesh;
  const int step = type == MeshType::Bicubic ? kNetStep : 1;
  const int nu = columns * step;
  const int nv = rows * step;
  const std::size_t count = static_cast<std::size_t>(nu) * static_cast<std::size_t>(nv);
  // Left uninitialised: every float is written once by the fill below.
  std::unique_ptr<float[]> positions(new float[3 * count]);
  std::unique_ptr<float[]> st(new float[2 * count]);
  if (type == MeshType::Bicubic) {
    fillBicubicNet(points, columns, rows, rules, positions.get(), st.get());
  } else {
    fillBilinearMesh(points, columns, rows, rules, positions.get(), st.get());
  }
  mesh.type = type;
  mesh.nu = nu;
  mesh.nv = nv;
  mesh.positions = std::move(positions);
  mesh.st = std::move(st);
  return mesh;
}

}  // namespace quorcard
