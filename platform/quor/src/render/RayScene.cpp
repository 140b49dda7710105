#include "render/RayScene.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "render/Parallel.h"

namespace quor {
namespace render {

// One patch mesh, tessellated: a grid of vertices in camera space and one
// quadrilateral (which Embree splits into two triangles) per cell of every
// rendered patch.
struct RayScene::Mesh {
  const PatchMeshData* data = nullptr;
  std::vector<int> usteps, vsteps;  // per patch column, per patch row
  std::vector<int> colStart, rowStart;
  bool joinU = false, joinV = false;
  int vertexCols = 0, vertexRows = 0;
  std::vector<float> vertices;    // x, y, z per vertex, then padding
  std::vector<unsigned> indices;  // four per quadrilateral
  struct Cell {
    std::uint32_t patch;
    std::uint16_t k, l;  // the cell within its patch
  };
  std::vector<Cell> cells;  // one per quadrilateral
  // By patch: its column and row, and the reciprocals of its steps, so that
  // a hit finds its patch's parameters without dividing.
  struct PatchSteps {
    int pi, pj;
    float uscale, vscale;
  };
  std::vector<PatchSteps> patchSteps;

  // The vertex column of step k of patch column i (k from 0 to usteps[i]).
  int column(int i, int k) const {
    const int c = colStart[i] + k;
    return (joinU && data->uperiodic && c == vertexCols) ? 0 : c;
  }
  int row(int j, int l) const {
    const int r = rowStart[j] + l;
    return (joinV && data->vperiodic && r == vertexRows) ? 0 : r;
  }
  bool rendered(int pi, int pj) const { return !data->skipped[std::size_t(pj) * data->upatches + pi]; }
};

namespace {

// Lays out the vertex columns of one direction. Patches that join share
// their boundary column; others each have their own.
void layout(const std::vector<int>& steps, bool join, bool periodic, std::vector<int>& start, int& count) {
  start.resize(steps.size());
  int at = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    start[i] = at;
    at += steps[i] + (join ? 0 : 1);
  }
  count = at + ((join && !periodic) ? 1 : 0);
}

// For each vertex column, the (patch column, step) pairs that reach it:
// one, or two where patches share a boundary.
std::vector<std::vector<std::pair<int, int>>> owners(const std::vector<int>& steps, const std::vector<int>& start,
                                                     int count, bool join, bool periodic) {
  std::vector<std::vector<std::pair<int, int>>> out(static_cast<std::size_t>(count));
  const int patches = int(steps.size());
  for (int i = 0; i < patches; ++i)
    for (int k = 0; k <= steps[i]; ++k) {
      int c = start[i] + k;
      if (join && periodic && c == count) c = 0;
      out[std::size_t(c)].push_back({i, k});
    }
  return out;
}

// Which side of a plane of the view a homogeneous point lies on: inside
// when not negative.
double side(const Camera::Plane& plane, double x, double y, double z, double w) {
  return plane[0] * x + plane[1] * y + plane[2] * z + plane[3] * w;
}

// The matrix that turns a patch's four control points along one direction
// into the Bezier points of the same polynomial: the inverse of the Bezier
// basis times the patch's own.
void toBezier(const BasisMatrix& basis, double out[4][4]) {
  static const double kInverseBezier[4][4] = {{0, 0, 0, 1}, {0, 0, 1.0 / 3, 1}, {0, 1.0 / 3, 2.0 / 3, 1}, {1, 1, 1, 1}};
  for (int i = 0; i < 4; ++i)
    for (int a = 0; a < 4; ++a) {
      out[i][a] = 0;
      for (int k = 0; k < 4; ++k) out[i][a] += kInverseBezier[i][k] * basis[k][a];
    }
}

// True when no ray of the picture can meet patch (pi, pj): its Bezier
// points, in homogeneous camera space, all lie outside one plane of the
// view. A patch lies in the convex hull of its Bezier points when their
// weights are all positive (always so without "Pw" and a projective
// transform); otherwise it is taken as seen.
bool outsideView(const PatchMeshData& mesh, int pi, int pj, const std::array<Camera::Plane, 6>& view) {
  const int n = mesh.bicubic ? 4 : 2;
  double cu[4][4] = {{1, 0}, {0, 1}}, cv[4][4] = {{1, 0}, {0, 1}};
  if (mesh.bicubic) toBezier(mesh.ubasis, cu), toBezier(mesh.vbasis, cv);
  Vec4 hull[16];
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double h[4] = {0, 0, 0, 0};
      for (int b = 0; b < n; ++b)
        for (int a = 0; a < n; ++a) {
          const Vec4& c = mesh.cv[std::size_t(mesh.cvIndex(pi, pj, a, b))];
          const double k = cu[i][a] * cv[j][b];
          h[0] += k * c.x, h[1] += k * c.y, h[2] += k * c.z, h[3] += k * c.w;
        }
      if (!mesh.rational) h[3] = 1;  // a polynomial patch: its Bezier weights add up to 1
      hull[j * n + i] = transform({float(h[0]), float(h[1]), float(h[2]), float(h[3])}, mesh.objectToCamera);
      if (!(hull[j * n + i].w > 0)) return false;
    }
  for (const Camera::Plane& plane : view) {
    bool allOutside = true;
    for (int i = 0; i < n * n && allOutside; ++i)
      allOutside = side(plane, hull[i].x, hull[i].y, hull[i].z, hull[i].w) < 0;
    if (allOutside) return true;
  }
  return false;
}

// The screen length of the part of segment a-b inside the view, scaled up
// to the whole segment as if it all moved as fast as the fastest of four
// pieces of that part; 0 when no part of it is inside.
double seenLength(Vec3 a, Vec3 b, const std::array<Camera::Plane, 6>& view, const Camera& camera) {
  double t0 = 0, t1 = 1;
  for (const Camera::Plane& plane : view) {
    const double fa = side(plane, a.x, a.y, a.z, 1), fb = side(plane, b.x, b.y, b.z, 1);
    if (fa < 0 && fb < 0) return 0;
    if (fa < 0) t0 = std::max(t0, fa / (fa - fb));
    if (fb < 0) t1 = std::min(t1, fa / (fa - fb));
  }
  if (!(t0 < t1)) return 0;
  constexpr int kPieces = 4;
  double longest = 0, px = 0, py = 0;
  for (int i = 0; i <= kPieces; ++i) {
    const float t = float(t0 + (t1 - t0) * i / kPieces);
    double x, y;
    if (!camera.project(a + (b - a) * t, x, y)) return 0;
    if (i > 0) longest = std::max(longest, std::hypot(x - px, y - py));
    px = x, py = y;
  }
  return longest * kPieces / (t1 - t0);
}

// The facet edges, in pixels, along u and along v of a patch sampled on a
// kSamples x kSamples lattice p (in camera space) whose longest lattice
// steps measure su and sv pixels: as long as kFlatFacetPixels where the
// patch is flat, shorter where it bends, so that no facet stands further
// than kFacetDeviation pixels off the patch, toward the eye or across the
// picture. Only the edge of a surface and where surfaces cross show where
// the facets lie; shading takes the patch's own point.
//
// A facet spanning h lattice steps along u and g along v, split into two
// triangles, stands off the patch by at most (h^2 (Buu + Buv) +
// g^2 (Bvv + Buv)) / 8, where Buu, Bvv and Buv are the lattice's largest
// second differences along u, along v and across a cell, in pixels at
// their depth; each half is kept to kFacetDeviation / 2.
template <int kSamples>
void facetEdges(const Vec3 (&p)[kSamples][kSamples], const Camera& camera, double su, double sv, double& eu,
                double& ev) {
  double buu = 0, bvv = 0, buv = 0;
  const auto pixels = [&](Vec3 d, Vec3 at) { return double(length(d)) * camera.pixelsPerUnit(at.z); };
  for (int l = 0; l < kSamples; ++l)
    for (int k = 1; k + 1 < kSamples; ++k) {
      buu = std::max(buu, pixels(p[l][k + 1] - p[l][k] * 2.0f + p[l][k - 1], p[l][k]));
      bvv = std::max(bvv, pixels(p[k + 1][l] - p[k][l] * 2.0f + p[k - 1][l], p[k][l]));
    }
  for (int l = 0; l + 1 < kSamples; ++l)
    for (int k = 0; k + 1 < kSamples; ++k) {
      const Vec3& a = p[l][k];
      const float nearest = std::min({a.z, p[l][k + 1].z, p[l + 1][k].z, p[l + 1][k + 1].z});
      buv = std::max(buv, pixels(p[l + 1][k + 1] - p[l + 1][k] - p[l][k + 1] + a, Vec3{a.x, a.y, nearest}));
    }
  // The lattice steps h a facet may span, times the pixels of one step.
  const auto edge = [&](double bend, double step) {
    const double h = bend > 0 ? std::sqrt(4 * kFacetDeviation / bend) : 1e30;
    return std::clamp(h * step, double(kFacetPixels), double(kFlatFacetPixels));
  };
  eu = edge(buu + buv, su);
  ev = edge(bvv + buv, sv);
}

}  // namespace

void tessellationSteps(const PatchMeshData& mesh, const Camera& camera, std::vector<int>& usteps,
                       std::vector<int>& vsteps, int threads) {
  usteps.assign(std::size_t(mesh.upatches), 1);
  vsteps.assign(std::size_t(mesh.vpatches), 1);
  // The renderer traces only the camera's rays, so a patch outside the
  // view is never met and needs no detail.
  const std::array<Camera::Plane, 6> view = camera.viewVolume();
  // The patch is sampled on a lattice; along each lattice line the longest
  // step, times the number of steps, bounds the line's length as if the
  // whole line moved that fast, so that facets stay below the edge aimed
  // for even where the parametrization runs fastest.
  const PatchLattice lattice(mesh);
  constexpr int kSamples = PatchLattice::kSize;
  const double margin = 2.0;
  // Rows of patches in parallel: a row's v steps are its own; a column's u
  // steps, the most that any of its patches needs, are gathered for each
  // thread and then joined, which gives the same steps whatever the threads.
  threads = std::max(1, std::min(threads, mesh.vpatches));
  std::vector<std::vector<int>> columnSteps(std::size_t(threads), usteps);
  parallelFor(mesh.vpatches, threads, [&](int pj, int thread) {
    std::vector<int>& columns = columnSteps[std::size_t(thread)];
    for (int pi = 0; pi < mesh.upatches; ++pi) {
      if (mesh.skipped[std::size_t(pj) * mesh.upatches + pi]) continue;
      if (outsideView(mesh, pi, pj, view)) continue;
      Vec3 p[kSamples][kSamples];
      double x[kSamples][kSamples], y[kSamples][kSamples];
      bool behind = false;
      double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
      lattice.positions(pi, pj, p);
      for (int l = 0; l < kSamples; ++l)
        for (int k = 0; k < kSamples; ++k) {
          if (!camera.project(p[l][k], x[l][k], y[l][k])) {
            behind = true;
            continue;
          }
          minX = std::min(minX, x[l][k]), maxX = std::max(maxX, x[l][k]);
          minY = std::min(minY, y[l][k]), maxY = std::max(maxY, y[l][k]);
        }
      double su = 0, sv = 0;  // the longest step along u and along v
      // The facet edge aimed for along each direction, in pixels.
      double eu = kFacetPixels, ev = kFacetPixels;
      if (!behind) {
        // A patch well off the picture needs no detail.
        const double growX = (maxX - minX) / 2 + margin, growY = (maxY - minY) / 2 + margin;
        if (maxX + growX < 0 || minX - growX > camera.width() || maxY + growY < 0 || minY - growY > camera.height())
          continue;
        // The longest steps found by their squares: one root each.
        const auto squared = [](double dx, double dy) { return dx * dx + dy * dy; };
        for (int l = 0; l < kSamples; ++l)
          for (int k = 0; k + 1 < kSamples; ++k) {
            su = std::max(su, squared(x[l][k + 1] - x[l][k], y[l][k + 1] - y[l][k]));
            sv = std::max(sv, squared(x[k + 1][l] - x[k][l], y[k + 1][l] - y[k][l]));
          }
        su = std::sqrt(su), sv = std::sqrt(sv);
        facetEdges(p, camera, su, sv, eu, ev);
      } else {
        // Partly behind the eye: the lattice's steps clipped to the view,
        // whose projections stay on the picture.
        for (int l = 0; l < kSamples; ++l)
          for (int k = 0; k + 1 < kSamples; ++k) {
            su = std::max(su, seenLength(p[l][k], p[l][k + 1], view, camera));
            sv = std::max(sv, seenLength(p[k][l], p[k + 1][l], view, camera));
          }
        // The view reaches the patch only between lattice lines: the most
        // detail, as the lattice tells nothing of that part.
        if (su == 0 && sv == 0) su = sv = kMaxPatchSteps * kFacetPixels;
      }
      // A tenth more for the speed changing between lattice points.
      const int nu = int(std::min<double>(kMaxPatchSteps, std::ceil(1.1 * su * (kSamples - 1) / eu)));
      const int nv = int(std::min<double>(kMaxPatchSteps, std::ceil(1.1 * sv * (kSamples - 1) / ev)));
      columns[std::size_t(pi)] = std::max(columns[std::size_t(pi)], std::max(nu, 1));
      vsteps[std::size_t(pj)] = std::max(vsteps[std::size_t(pj)], std::max(nv, 1));
    }
  });
  for (const std::vector<int>& columns : columnSteps)
    for (std::size_t pi = 0; pi < usteps.size(); ++pi) usteps[pi] = std::max(usteps[pi], columns[pi]);
}

struct RayScene::Embree {
  RTCDevice device = nullptr;
  RTCScene scene = nullptr;
  std::string error;
  ~Embree() {
    if (scene) rtcReleaseScene(scene);
    if (device) rtcReleaseDevice(device);
  }
};

namespace {

// The unit outward normal of the triangle of a quadrilateral (a, b, d, c)
// that a hit at (u, v) met: (a, b, c) below the diagonal, (d, c, b) above.
Vec3 facetNormal(const RayScene::Mesh& m, unsigned primitive, float u, float v) {
  const unsigned* q = &m.indices[4 * std::size_t(primitive)];
  const auto vertex = [&](unsigned i) { return Vec3{m.vertices[3 * i], m.vertices[3 * i + 1], m.vertices[3 * i + 2]}; };
  const Vec3 a = vertex(q[0]), b = vertex(q[1]), d = vertex(q[2]), c = vertex(q[3]);
  const Vec3 n = u + v <= 1 ? cross(b - a, c - a) : cross(c - d, b - d);
  return normalize(n) * m.data->normalSign;
}

// Turns down the hits on the back of a one-sided surface: the filter of
// the meshes that have one, called with the mesh for each candidate hit.
void cullBackFaces(const RTCFilterFunctionNArguments* args) {
  const RayScene::Mesh& m = *static_cast<const RayScene::Mesh*>(args->geometryUserPtr);
  for (unsigned i = 0; i < args->N; ++i) {
    if (!args->valid[i]) continue;
    const Vec3 d{RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                 RTCRayN_dir_z(args->ray, args->N, i)};
    const float u = RTCHitN_u(args->hit, args->N, i), v = RTCHitN_v(args->hit, args->N, i);
    if (!(dot(facetNormal(m, RTCHitN_primID(args->hit, args->N, i), u, v), d) < 0)) args->valid[i] = 0;
  }
}

void embreeError(void* user, RTCError code, const char* message) {
  auto* e = static_cast<RayScene::Embree*>(user);
  if (e->error.empty()) e->error = "Embree error " + std::to_string(int(code)) + ": " + (message ? message : "");
}

}  // namespace

RayScene::RayScene(const FrameScene& scene, const Camera& camera, int threads) : embree_(std::make_unique<Embree>()) {
  // Steps of every mesh, then one scale for all if the frame needs too many.
  std::int64_t cells = 0;
  for (const PatchMeshData& data : scene.meshes) {
    auto m = std::make_unique<Mesh>();
    m->data = &data;
    tessellationSteps(data, camera, m->usteps, m->vsteps, threads);
    std::int64_t su = 0, sv = 0;
    for (int s : m->usteps) su += s;
    for (int s : m->vsteps) sv += s;
    cells += su * sv;
    meshes_.push_back(std::move(m));
  }
  if (cells > kMaxCells) {
    const double scale = std::sqrt(double(kMaxCells) / double(cells));
    for (auto& m : meshes_) {
      for (int& s : m->usteps) s = std::max(1, int(s * scale));
      for (int& s : m->vsteps) s = std::max(1, int(s * scale));
    }
  }

  for (auto& mp : meshes_) {
    Mesh& m = *mp;
    const PatchMeshData& d = *m.data;
    m.joinU = !d.bicubic || basisJoins(d.ubasis, d.ustep);
    m.joinV = !d.bicubic || basisJoins(d.vbasis, d.vstep);
    layout(m.usteps, m.joinU, d.uperiodic, m.colStart, m.vertexCols);
    layout(m.vsteps, m.joinV, d.vperiodic, m.rowStart, m.vertexRows);
    const auto colOwners = owners(m.usteps, m.colStart, m.vertexCols, m.joinU, d.uperiodic);
    const auto rowOwners = owners(m.vsteps, m.rowStart, m.vertexRows, m.joinV, d.vperiodic);

    // Vertices, row by row in parallel. A vertex shared by patches is taken
    // from the first of them that is rendered, so shared edges are exactly
    // equal and the facets meet without cracks.
    const std::size_t vertexCount = std::size_t(m.vertexCols) * std::size_t(m.vertexRows);
    m.vertices.assign(3 * vertexCount + 1, 0.0f);
    parallelFor(m.vertexRows, threads, [&](int r, int) {
      for (int c = 0; c < m.vertexCols; ++c) {
        for (const auto& ro : rowOwners[std::size_t(r)]) {
          bool done = false;
          for (const auto& co : colOwners[std::size_t(c)]) {
            if (!m.rendered(co.first, ro.first)) continue;
            const Vec3 p =
                evaluatePosition(d, co.first, ro.first, float(co.second) / float(m.usteps[std::size_t(co.first)]),
                                 float(ro.second) / float(m.vsteps[std::size_t(ro.first)]));
            float* out = &m.vertices[3 * (std::size_t(r) * std::size_t(m.vertexCols) + std::size_t(c))];
            out[0] = p.x, out[1] = p.y, out[2] = p.z;
            done = true;
            break;
          }
          if (done) break;
        }
      }
    });

    m.patchSteps.resize(std::size_t(d.patchCount()));
    for (int pj = 0; pj < d.vpatches; ++pj)
      for (int pi = 0; pi < d.upatches; ++pi)
        m.patchSteps[std::size_t(pj) * std::size_t(d.upatches) + std::size_t(pi)] = {
            pi, pj, 1.0f / float(m.usteps[std::size_t(pi)]), 1.0f / float(m.vsteps[std::size_t(pj)])};

    // One quadrilateral per cell: (a, b, d, c) with a at (k, l), b at
    // (k + 1, l), d at (k + 1, l + 1) and c at (k, l + 1). Embree's hit
    // coordinates then run along u from a to b and along v from a to c, and
    // both of its triangles turn from u toward v like dP/du x dP/dv.
    std::size_t quads = 0;
    for (int pj = 0; pj < d.vpatches; ++pj)
      for (int pi = 0; pi < d.upatches; ++pi)
        if (m.rendered(pi, pj))
          quads += std::size_t(m.usteps[std::size_t(pi)]) * std::size_t(m.vsteps[std::size_t(pj)]);
    m.indices.reserve(4 * quads);
    m.cells.reserve(quads);
    for (int pj = 0; pj < d.vpatches; ++pj)
      for (int pi = 0; pi < d.upatches; ++pi) {
        if (!m.rendered(pi, pj)) continue;
        for (int l = 0; l < m.vsteps[std::size_t(pj)]; ++l)
          for (int k = 0; k < m.usteps[std::size_t(pi)]; ++k) {
            const auto at = [&](int dk, int dl) {
              return unsigned(m.row(pj, l + dl)) * unsigned(m.vertexCols) + unsigned(m.column(pi, k + dk));
            };
            const unsigned a = at(0, 0), b = at(1, 0), c = at(0, 1), e = at(1, 1);
            m.indices.insert(m.indices.end(), {a, b, e, c});
            m.cells.push_back({std::uint32_t(pj * d.upatches + pi), std::uint16_t(k), std::uint16_t(l)});
          }
      }
  }

  Embree& e = *embree_;
  const std::string config = "threads=" + std::to_string(threads) + ",verbose=0";
  e.device = rtcNewDevice(config.c_str());
  if (!e.device)
    throw std::runtime_error("Embree could not start (error " + std::to_string(int(rtcGetDeviceError(nullptr))) + ")");
  rtcSetDeviceErrorFunction(e.device, embreeError, &e);
  e.scene = rtcNewScene(e.device);
  // The quick build (a scene marked dynamic, and low build quality for it
  // and its meshes): facets of about a pixel each, met by a few rays each,
  // trace as fast in it and build in a fifth of the time.
  rtcSetSceneFlags(e.scene, RTC_SCENE_FLAG_DYNAMIC);
  rtcSetSceneBuildQuality(e.scene, RTC_BUILD_QUALITY_LOW);
  for (std::size_t i = 0; i < meshes_.size(); ++i) {
    Mesh& m = *meshes_[i];
    const std::size_t quads = m.indices.size() / 4;
    // A mesh without facets is left out; attaching by number keeps every
    // geometry number equal to its mesh's index.
    if (quads == 0) continue;
    RTCGeometry g = rtcNewGeometry(e.device, RTC_GEOMETRY_TYPE_QUAD);
    rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, m.vertices.data(), 0, 3 * sizeof(float),
                               (m.vertices.size() - 1) / 3);
    rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT4, m.indices.data(), 0, 4 * sizeof(unsigned),
                               quads);
    rtcSetGeometryBuildQuality(g, RTC_BUILD_QUALITY_LOW);
    // Only one-sided meshes have their hits filtered: a filter slows every
    // ray that meets its mesh. The nearest hit is then the first that
    // Embree meets at the least depth, the same for a ray whatever the
    // number of threads, as the tree and its traversal are.
    if (m.data->oneSided && !m.data->doubleShaded) {
      rtcSetGeometryUserData(g, &m);
      rtcSetGeometryIntersectFilterFunction(g, cullBackFaces);
    }
    rtcCommitGeometry(g);
    rtcAttachGeometryByID(e.scene, g, unsigned(i));
    rtcReleaseGeometry(g);
  }
  rtcCommitScene(e.scene);
  if (!e.error.empty()) throw std::runtime_error(e.error);
}

RayScene::~RayScene() = default;

std::size_t RayScene::facetCount() const {
  std::size_t n = 0;
  for (const auto& m : meshes_) n += m->indices.size() / 2;  // two triangles a quadrilateral
  return n;
}

namespace {

void setRay(RTCRayHit& rh, const Ray& ray, unsigned id) {
  rh.ray.org_x = ray.origin.x, rh.ray.org_y = ray.origin.y, rh.ray.org_z = ray.origin.z;
  rh.ray.dir_x = ray.direction.x, rh.ray.dir_y = ray.direction.y, rh.ray.dir_z = ray.direction.z;
  rh.ray.tnear = ray.tnear;
  rh.ray.tfar = ray.tfar;
  rh.ray.time = 0;
  rh.ray.mask = 0xFFFFFFFFu;
  rh.ray.id = id;
  rh.ray.flags = 0;
  rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.primID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
}

// The patch and its parameters where Embree's hit lies; false on a miss.
// Inlined into the loops over a run of rays, where a call for each ray
// cost as much as what it computes.
[[gnu::always_inline]] inline bool toHit(const std::vector<std::unique_ptr<RayScene::Mesh>>& meshes,
                                         const RTCRayHit& rh, RayHit& hit) {
  if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return false;
  const RayScene::Mesh& m = *meshes[rh.hit.geomID];
  const RayScene::Mesh::Cell& cell = m.cells[rh.hit.primID];
  const RayScene::Mesh::PatchSteps& patch = m.patchSteps[cell.patch];
  const float ku = cell.k + rh.hit.u, kv = cell.l + rh.hit.v;
  hit.t = rh.ray.tfar;
  hit.mesh = m.data;
  hit.pi = patch.pi;
  hit.pj = patch.pj;
  hit.u = std::clamp(ku * patch.uscale, 0.0f, 1.0f);
  hit.v = std::clamp(kv * patch.vscale, 0.0f, 1.0f);
  hit.geometry = rh.hit.geomID;
  hit.facet = rh.hit.primID;
  hit.facetU = rh.hit.u;
  hit.facetV = rh.hit.v;
  return true;
}

}  // namespace

bool RayScene::intersect(Vec3 origin, Vec3 direction, float tnear, float tfar, RayHit& hit) const {
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  Ray ray;
  ray.origin = origin, ray.direction = direction, ray.tnear = tnear, ray.tfar = tfar;
  RTCRayHit rh;
  setRay(rh, ray, 0);
  rtcIntersect1(embree_->scene, &context, &rh);
  return toHit(meshes_, rh, hit);
}

void RayScene::intersect(const Ray* rays, std::size_t count, RayHit* hits) const {
  // Left uninitialized: setRay fills in every field that Embree reads. A
  // few rays at a time (the renderer's runs of pixels) on the stack.
  constexpr std::size_t kOnStack = 64;
  RTCRayHit onStack[kOnStack];
  std::unique_ptr<RTCRayHit[]> onHeap;
  RTCRayHit* rh = onStack;
  if (count > kOnStack) rh = (onHeap = std::unique_ptr<RTCRayHit[]>(new RTCRayHit[count])).get();
  for (std::size_t i = 0; i < count; ++i) setRay(rh[i], rays[i], unsigned(i));
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
  rtcIntersect1M(embree_->scene, &context, rh, unsigned(count), sizeof(RTCRayHit));
  for (std::size_t i = 0; i < count; ++i)
    if (!toHit(meshes_, rh[i], hits[i])) hits[i].mesh = nullptr;
}

Vec3 RayScene::facetNormal(const RayHit& hit) const {
  return quor::render::facetNormal(*meshes_[hit.geometry], hit.facet, hit.facetU, hit.facetV);
}

}  // namespace render
}  // namespace quor
