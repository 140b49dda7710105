#include "render/Patches.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quor {
namespace render {
namespace {

// Weights of the four control points at u, and their derivatives:
// [u^3 u^2 u 1] * B.
void cubicWeights(const BasisMatrix& b, float u, float w[4], float dw[4]) {
  const float p[4] = {u * u * u, u * u, u, 1.0f};
  const float d[4] = {3 * u * u, 2 * u, 1.0f, 0.0f};
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    w[k] = p[0] * b[0][k] + p[1] * b[1][k] + p[2] * b[2][k] + p[3] * b[3][k];
    dw[k] = d[0] * b[0][k] + d[1] * b[1][k] + d[2] * b[2][k];
  }
}

void linearWeights(float u, float w[4], float dw[4]) {
  w[0] = 1 - u;
  w[1] = u;
  dw[0] = -1;
  dw[1] = 1;
  w[2] = w[3] = dw[2] = dw[3] = 0;
}

int wrapIndex(int i, int n, bool periodic) { return periodic ? i % n : i; }

// Weights along both directions for one patch type.
struct Weights {
  int n;  // 4 bicubic, 2 bilinear
  float wu[4], dwu[4], wv[4], dwv[4];
};

Weights weightsAt(const PatchMeshData& mesh, float u, float v) {
  Weights w;
  if (mesh.bicubic) {
    w.n = 4;
    cubicWeights(mesh.ubasis, u, w.wu, w.dwu);
    cubicWeights(mesh.vbasis, v, w.wv, w.dwv);
  } else {
    w.n = 2;
    linearWeights(u, w.wu, w.dwu);
    linearWeights(v, w.wv, w.dwv);
  }
  return w;
}

struct Scalar {
  float value = 0, du = 0, dv = 0;
};

// h += k c: a term of a weighted sum of homogeneous control points.
void addWeighted(Vec4& h, float k, const Vec4& c) { h.x += k * c.x, h.y += k * c.y, h.z += k * c.z, h.w += k * c.w; }

// A weighted sum of a mesh's homogeneous control points as the point in
// camera space. A polynomial surface's point is the sum itself, whatever
// the weights add up to.
Vec3 cameraPoint(const PatchMeshData& mesh, Vec4 h) {
  if (!mesh.rational) h.w = 1;
  const Vec4 c = transform(h, mesh.objectToCamera);
  const float inv = 1.0f / c.w;
  return {c.x * inv, c.y * inv, c.z * inv};
}

// Bilinear interpolation of four corner values, (0,0) (1,0) (0,1) (1,1).
Scalar bilinear(const float c[4], float u, float v) {
  Scalar r;
  r.value = (1 - v) * ((1 - u) * c[0] + u * c[1]) + v * ((1 - u) * c[2] + u * c[3]);
  r.du = (1 - v) * (c[1] - c[0]) + v * (c[3] - c[2]);
  r.dv = (1 - u) * (c[2] - c[0]) + u * (c[3] - c[1]);
  return r;
}

// The control point indices of patch (pi, pj), n x n with u fastest.
void patchIndices(const PatchMeshData& mesh, int pi, int pj, int n, int out[16]) {
  // cvIndex by its row and column: each found once.
  const int su = mesh.bicubic ? mesh.ustep : 1, sv = mesh.bicubic ? mesh.vstep : 1;
  int row[4], column[4];
  for (int k = 0; k < n; ++k) {
    row[k] = wrapIndex(pj * sv + k, mesh.nv, mesh.vperiodic) * mesh.nu;
    column[k] = wrapIndex(pi * su + k, mesh.nu, mesh.uperiodic);
  }
  for (int b = 0; b < n; ++b)
    for (int a = 0; a < n; ++a) out[b * n + a] = row[b] + column[a];
}

Scalar evaluateVar(const PatchMeshData& mesh, const PrimVar& var, int pi, int pj, float u, float v, const Weights& w,
                   const int index[16], bool isS) {
  const int patch = pj * mesh.upatches + pi;
  if (!var.present) {
    // Without coordinates, s and t run from 0 to 1 across the whole mesh.
    Scalar r;
    if (isS) {
      r.value = (pi + u) / mesh.upatches;
      r.du = 1.0f / mesh.upatches;
    } else {
      r.value = (pj + v) / mesh.vpatches;
      r.dv = 1.0f / mesh.vpatches;
    }
    return r;
  }
  const std::vector<float>& x = var.values;
  switch (var.storage) {
    case StorageClass::Constant:
      return {x[0], 0, 0};
    case StorageClass::Uniform:
      return {x[patch], 0, 0};
    case StorageClass::Varying:
    case StorageClass::FaceVarying: {
      const int uc = mesh.uperiodic ? mesh.upatches : mesh.upatches + 1;
      const int vc = mesh.vperiodic ? mesh.vpatches : mesh.vpatches + 1;
      float c[4];
      for (int b = 0; b < 2; ++b)
        for (int a = 0; a < 2; ++a) c[2 * b + a] = x[((pj + b) % vc) * uc + (pi + a) % uc];
      return bilinear(c, u, v);
    }
    case StorageClass::Vertex:
    case StorageClass::FaceVertex: {
      Scalar r;
      for (int b = 0; b < w.n; ++b)
        for (int a = 0; a < w.n; ++a) {
          const float value = var.storage == StorageClass::Vertex ? x[std::size_t(index[b * w.n + a])]
                                                                  : x[w.n * w.n * patch + b * w.n + a];
          r.value += w.wu[a] * w.wv[b] * value;
          r.du += w.dwu[a] * w.wv[b] * value;
          r.dv += w.wu[a] * w.dwv[b] * value;
        }
      return r;
    }
  }
  return {};
}

}  // namespace

bool basisJoins(const BasisMatrix& basis, int step) {
  float end[4], start[4], unused[4];
  cubicWeights(basis, 1.0f, end, unused);
  cubicWeights(basis, 0.0f, start, unused);
  // Control point k of patch i is control point k - step of patch i + 1.
  for (int k = 0; k < 4 + step; ++k) {
    const float e = k < 4 ? end[k] : 0.0f;
    const float s = (k - step >= 0 && k - step < 4) ? start[k - step] : 0.0f;
    if (std::fabs(e - s) > 1e-6f) return false;
  }
  return true;
}

int PatchMeshData::cvIndex(int pi, int pj, int a, int b) const {
  const int su = bicubic ? ustep : 1;
  const int sv = bicubic ? vstep : 1;
  return wrapIndex(pj * sv + b, nv, vperiodic) * nu + wrapIndex(pi * su + a, nu, uperiodic);
}

namespace {

// True when the weights [u^3 u^2 u 1] * B add up to 1 for every u: the
// rows of B add up to 0, 0, 0 and 1.
bool weightsAddUpToOne(const BasisMatrix& b) {
  for (int i = 0; i < 4; ++i) {
    const float sum = b[i][0] + b[i][1] + b[i][2] + b[i][3];
    if (std::fabs(sum - (i == 3 ? 1.0f : 0.0f)) > 1e-6f) return false;
  }
  return true;
}

}  // namespace

void prepareCameraSpace(PatchMeshData& mesh) {
  mesh.cameraCv.clear();
  const auto& m = mesh.objectToCamera.m;
  const bool affine = m[0][3] == 0 && m[1][3] == 0 && m[2][3] == 0 && m[3][3] == 1;
  if (mesh.rational || !affine) return;
  if (mesh.bicubic && !(weightsAddUpToOne(mesh.ubasis) && weightsAddUpToOne(mesh.vbasis))) return;
  mesh.cameraCv.reserve(mesh.cv.size());
  for (const Vec4& c : mesh.cv) mesh.cameraCv.push_back(transformPoint({c.x, c.y, c.z}, mesh.objectToCamera));
}

namespace {

// evaluatePatch with the weights at (u, v) already found.
SurfacePoint evaluateWith(const PatchMeshData& mesh, int pi, int pj, float u, float v, const Weights& w, bool withSt) {
  int index[16];
  patchIndices(mesh, pi, pj, w.n, index);
  // The texture coordinates and their derivatives, when asked for.
  const auto addTexture = [&](SurfacePoint& sp) {
    if (!withSt) return;
    const Scalar s = evaluateVar(mesh, mesh.s, pi, pj, u, v, w, index, true);
    const Scalar t = evaluateVar(mesh, mesh.t, pi, pj, u, v, w, index, false);
    sp.s = s.value, sp.dsdu = s.du, sp.dsdv = s.dv;
    sp.t = t.value, sp.dtdu = t.du, sp.dtdv = t.dv;
  };
  if (!mesh.cameraCv.empty()) {
    // Texture coordinates by vertex (as the card gives them) are summed in
    // the same pass as the position, with the same products of weights.
    const bool stByVertex = withSt && mesh.s.present && mesh.t.present && mesh.s.storage == StorageClass::Vertex &&
                            mesh.t.storage == StorageClass::Vertex;
    SurfacePoint sp;
    Scalar s, t;
    for (int b = 0; b < w.n; ++b)
      for (int a = 0; a < w.n; ++a) {
        const std::size_t i = std::size_t(index[b * w.n + a]);
        const Vec3& c = mesh.cameraCv[i];
        const float k = w.wu[a] * w.wv[b], ku = w.dwu[a] * w.wv[b], kv = w.wu[a] * w.dwv[b];
        sp.p += c * k;
        sp.dpdu += c * ku;
        sp.dpdv += c * kv;
        if (!stByVertex) continue;
        const float sv = mesh.s.values[i], tv = mesh.t.values[i];
        s.value += k * sv, s.du += ku * sv, s.dv += kv * sv;
        t.value += k * tv, t.du += ku * tv, t.dv += kv * tv;
      }
    if (stByVertex) {
      sp.s = s.value, sp.dsdu = s.du, sp.dsdv = s.dv;
      sp.t = t.value, sp.dtdu = t.du, sp.dtdv = t.dv;
    } else {
      addTexture(sp);
    }
    return sp;
  }
  Vec4 h, hu, hv;
  for (int b = 0; b < w.n; ++b)
    for (int a = 0; a < w.n; ++a) {
      const Vec4& c = mesh.cv[std::size_t(index[b * w.n + a])];
      const float k = w.wu[a] * w.wv[b], ku = w.dwu[a] * w.wv[b], kv = w.wu[a] * w.dwv[b];
      addWeighted(h, k, c);
      addWeighted(hu, ku, c);
      addWeighted(hv, kv, c);
    }
  if (!mesh.rational) {
    // A polynomial surface: its points are the weighted sums themselves,
    // whatever the weights add up to.
    h.w = 1, hu.w = 0, hv.w = 0;
  }
  const Vec4 c = transform(h, mesh.objectToCamera);
  const Vec4 cu = transform(hu, mesh.objectToCamera);
  const Vec4 cv = transform(hv, mesh.objectToCamera);
  SurfacePoint sp;
  const float inv = 1.0f / c.w;
  sp.p = {c.x * inv, c.y * inv, c.z * inv};
  sp.dpdu = (Vec3{cu.x, cu.y, cu.z} - sp.p * cu.w) * inv;
  sp.dpdv = (Vec3{cv.x, cv.y, cv.z} - sp.p * cv.w) * inv;
  addTexture(sp);
  return sp;
}

}  // namespace

SurfacePoint evaluatePatch(const PatchMeshData& mesh, int pi, int pj, float u, float v, bool withSt) {
  return evaluateWith(mesh, pi, pj, u, v, weightsAt(mesh, u, v), withSt);
}

namespace {

// evaluatePosition with the weights at (u, v) already found.
Vec3 positionWith(const PatchMeshData& mesh, int pi, int pj, const Weights& w) {
  if (!mesh.cameraCv.empty()) {
    Vec3 p;
    for (int b = 0; b < w.n; ++b)
      for (int a = 0; a < w.n; ++a) p += mesh.cameraCv[std::size_t(mesh.cvIndex(pi, pj, a, b))] * (w.wu[a] * w.wv[b]);
    return p;
  }
  Vec4 h;
  for (int b = 0; b < w.n; ++b)
    for (int a = 0; a < w.n; ++a) addWeighted(h, w.wu[a] * w.wv[b], mesh.cv[mesh.cvIndex(pi, pj, a, b)]);
  return cameraPoint(mesh, h);
}

// The weights along u of `alongU` with those along v of `alongV`: a lattice
// of parameters needs the weights of each of its values only once.
Weights combined(const Weights& alongU, const Weights& alongV) {
  Weights w = alongU;
  std::copy_n(alongV.wv, 4, w.wv);
  std::copy_n(alongV.dwv, 4, w.dwv);
  return w;
}

}  // namespace

Vec3 evaluatePosition(const PatchMeshData& mesh, int pi, int pj, float u, float v) {
  return positionWith(mesh, pi, pj, weightsAt(mesh, u, v));
}

PatchLattice::PatchLattice(const PatchMeshData& mesh) : mesh_(mesh), n_(mesh.bicubic ? 4 : 2) {
  for (int k = 0; k < kSize; ++k) {
    const float t = float(k) / float(kSize - 1);
    const Weights w = weightsAt(mesh, t, t);
    std::copy_n(w.wu, 4, wu_[k]);
    std::copy_n(w.wv, 4, wv_[k]);
  }
}

void PatchLattice::positions(int pi, int pj, Vec3 (&p)[kSize][kSize]) const {
  int index[16];
  patchIndices(mesh_, pi, pj, n_, index);
  if (!mesh_.cameraCv.empty()) {
    Vec3 along[4][kSize];  // each row of control points summed along u
    for (int b = 0; b < n_; ++b)
      for (int k = 0; k < kSize; ++k) {
        Vec3 sum;
        for (int a = 0; a < n_; ++a) sum += mesh_.cameraCv[std::size_t(index[b * n_ + a])] * wu_[k][a];
        along[b][k] = sum;
      }
    for (int l = 0; l < kSize; ++l)
      for (int k = 0; k < kSize; ++k) {
        Vec3 sum;
        for (int b = 0; b < n_; ++b) sum += along[b][k] * wv_[l][b];
        p[l][k] = sum;
      }
    return;
  }
  Vec4 along[4][kSize];
  for (int b = 0; b < n_; ++b)
    for (int k = 0; k < kSize; ++k) {
      Vec4 h;
      for (int a = 0; a < n_; ++a) addWeighted(h, wu_[k][a], mesh_.cv[std::size_t(index[b * n_ + a])]);
      along[b][k] = h;
    }
  for (int l = 0; l < kSize; ++l)
    for (int k = 0; k < kSize; ++k) {
      Vec4 h;
      for (int b = 0; b < n_; ++b) addWeighted(h, wv_[l][b], along[b][k]);
      p[l][k] = cameraPoint(mesh_, h);
    }
}

void sampleSurface(const PatchMeshData& mesh, int steps, SurfaceGrid& grid) {
  steps = std::max(1, steps);
  grid.columns = mesh.upatches * steps + 1;
  grid.rows = mesh.vpatches * steps + 1;
  const std::size_t count = std::size_t(grid.columns) * std::size_t(grid.rows);
  grid.positions.resize(3 * count);
  grid.normals.resize(3 * count);
  grid.st.resize(2 * count);
  // Every patch is sampled at the same parameters: their weights are found
  // once.
  std::vector<Weights> line(std::size_t(steps) + 1);
  for (int k = 0; k <= steps; ++k)
    line[std::size_t(k)] = weightsAt(mesh, float(k) / float(steps), float(k) / float(steps));
  for (int r = 0; r < grid.rows; ++r)
    for (int c = 0; c < grid.columns; ++c) {
      // The last vertex of a patch is the end of that patch, not the start
      // of one beyond the mesh.
      const int pi = std::min(c / steps, mesh.upatches - 1), pj = std::min(r / steps, mesh.vpatches - 1);
      const int ku = c - pi * steps, kv = r - pj * steps;
      const Weights w = combined(line[std::size_t(ku)], line[std::size_t(kv)]);
      const SurfacePoint sp = evaluateWith(mesh, pi, pj, float(ku) / float(steps), float(kv) / float(steps), w, true);
      const Vec3 n = normalize(cross(sp.dpdu, sp.dpdv)) * mesh.normalSign;
      const std::size_t k = std::size_t(r) * std::size_t(grid.columns) + std::size_t(c);
      for (int i = 0; i < 3; ++i) grid.positions[3 * k + i] = sp.p[i], grid.normals[3 * k + i] = n[i];
      grid.st[2 * k] = sp.s;
      grid.st[2 * k + 1] = sp.t;
    }
}

namespace {

// Where a mesh's patches are checked: a 5 x 5 lattice of parameters, the
// same on every patch, its weights found once for the mesh.
constexpr int kLattice = 5;
struct Lattice {
  Weights w[kLattice];  // at i / (kLattice - 1), along u and along v
  explicit Lattice(const PatchMeshData& mesh) {
    for (int i = 0; i < kLattice; ++i) w[i] = weightsAt(mesh, i / float(kLattice - 1), i / float(kLattice - 1));
  }
};

double squaredLength(Vec3 a) { return double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z; }

// Why a patch cannot be rendered: "" when it can, else "non-finite" or
// "degenerate" (its control points span no area).
const char* patchProblem(const PatchMeshData& mesh, const Lattice& lattice, int pi, int pj) {
  const int n = mesh.bicubic ? 4 : 2;
  for (int b = 0; b < n; ++b)
    for (int a = 0; a < n; ++a) {
      const Vec4& c = mesh.cv[mesh.cvIndex(pi, pj, a, b)];
      if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z) || !std::isfinite(c.w)) {
        return "non-finite";
      }
      if (mesh.rational && !(c.w > 0)) return "non-finite";
    }
  // The surface on the lattice must be finite, and span an area rather than
  // a point or a line. Squared lengths compare as the lengths do.
  Vec3 points[kLattice * kLattice];
  for (int j = 0; j < kLattice; ++j)
    for (int i = 0; i < kLattice; ++i) {
      const Vec3 p = positionWith(mesh, pi, pj, combined(lattice.w[i], lattice.w[j]));
      if (!isFinite(p)) return "non-finite";
      points[j * kLattice + i] = p;
    }
  Vec3 far = points[0];
  double farSquared = 0;
  for (const Vec3& p : points) {
    const double d = squaredLength(p - points[0]);
    if (d > farSquared) farSquared = d, far = p;
  }
  if (!(farSquared > 0)) return "degenerate";
  const Vec3 axis = far - points[0];
  double areaSquared = 0;
  for (const Vec3& p : points) {
    const double a = squaredLength(cross(p - points[0], axis));
    if (a > areaSquared) areaSquared = a;
  }
  if (!(areaSquared > 1e-12 * farSquared * farSquared)) return "degenerate";
  // The texture coordinates must be finite. Every value that the patch reads
  // enters every evaluation (multiplied by zero at worst, which keeps a NaN
  // or an infinity), so one evaluation finds any.
  if (mesh.s.present || mesh.t.present) {
    const SurfacePoint sp = evaluatePatch(mesh, pi, pj, 0.5f, 0.5f, true);
    if (!std::isfinite(sp.s) || !std::isfinite(sp.t)) return "non-finite";
  }
  return "";
}

}  // namespace

PatchProblems markProblemPatches(PatchMeshData& mesh) {
  PatchProblems found;
  const Lattice lattice(mesh);
  mesh.skipped.assign(std::size_t(mesh.patchCount()), 0);
  for (int pj = 0; pj < mesh.vpatches; ++pj)
    for (int pi = 0; pi < mesh.upatches; ++pi) {
      const char* problem = patchProblem(mesh, lattice, pi, pj);
      if (!*problem) continue;
      mesh.skipped[std::size_t(pj) * std::size_t(mesh.upatches) + std::size_t(pi)] = 1;
      if (!found.skipped++) found.first = problem;
    }
  return found;
}

}  // namespace render
}  // namespace quor
