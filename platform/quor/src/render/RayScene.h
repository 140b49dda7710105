// The frame's geometry made ready for rays: every patch tessellated into
// facets that follow it within a fiftieth of a pixel where the camera sees
// it, the facets handed to Embree, and each hit traced back to its patch
// and parameters.
#ifndef QUOR_RENDER_RAYSCENE_H
#define QUOR_RENDER_RAYSCENE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "render/Camera.h"
#include "render/Frame.h"
#include "render/Renderer.h"

namespace quor {
namespace render {

// The facet edges, in pixels, that tessellation aims for: kFacetPixels
// where the patch's bend is not known (part of it behind the eye), up to
// kFlatFacetPixels where the patch is flat enough that no facet stands
// further than kFacetDeviation pixels off it.
constexpr float kFacetPixels = 1.0f;
constexpr float kFlatFacetPixels = 8.0f;
constexpr float kFacetDeviation = 0.02f;
// Tessellation limits: steps a patch side, and cells in a frame. A frame
// that would need more is tessellated uniformly coarser.
constexpr int kMaxPatchSteps = 512;
constexpr std::int64_t kMaxCells = std::int64_t(1) << 23;

// Where a ray meets the surface.
struct RayHit {
  float t = 0;
  const PatchMeshData* mesh = nullptr;
  int pi = 0, pj = 0;                // the patch
  float u = 0, v = 0;                // its own parameters
  unsigned geometry = 0, facet = 0;  // the mesh and quadrilateral hit
  float facetU = 0, facetV = 0;      // where within the quadrilateral
};

// A ray to trace: the hits with depth in [tnear, tfar] count.
struct Ray {
  Vec3 origin, direction;
  float tnear = 0, tfar = 0;
};

class RayScene {
 public:
  // Tessellates and builds; throws std::runtime_error when Embree fails.
  RayScene(const FrameScene& scene, const Camera& camera, int threads);
  ~RayScene();
  RayScene(const RayScene&) = delete;
  RayScene& operator=(const RayScene&) = delete;

  // The nearest hit with depth in [tnear, tfar]; false when there is none.
  bool intersect(Vec3 origin, Vec3 direction, float tnear, float tfar, RayHit& hit) const;

  // The nearest hit of each of `count` rays, the same as intersect gives;
  // a ray that meets nothing gets a hit whose mesh is null. Rays that lie
  // close together in the array and run nearly parallel (the samples of
  // neighbouring pixels) are traced together, in far fewer steps than one
  // by one.
  void intersect(const Ray* rays, std::size_t count, RayHit* hits) const;

  // The unit outward normal of the facet that a hit met.
  Vec3 facetNormal(const RayHit& hit) const;

  // Facets in the scene, for tests and measurements.
  std::size_t facetCount() const;

  struct Mesh;
  struct Embree;

 private:
  std::vector<std::unique_ptr<Mesh>> meshes_;
  std::unique_ptr<Embree> embree_;
};

// The number of steps along u of each patch column and along v of each
// patch row of a mesh, so that facets measure kFacetPixels to
// kFlatFacetPixels on screen, as the patch's bend allows; columns and rows
// share steps so that neighbouring patches meet. Rows of patches are sized
// on up to `threads` threads.
void tessellationSteps(const PatchMeshData& mesh, const Camera& camera, std::vector<int>& usteps,
                       std::vector<int>& vsteps, int threads = 1);

}  // namespace render
}  // namespace quor

#endif
