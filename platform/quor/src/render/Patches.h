// Patch meshes as the renderer keeps them: control points in object space,
// the bases and steps they were given with, texture coordinates of any
// storage class, and exact evaluation of points, derivatives and texture
// coordinates anywhere on any patch.
#ifndef QUOR_RENDER_PATCHES_H
#define QUOR_RENDER_PATCHES_H

#include <memory>
#include <string>
#include <vector>

#include "Declarations.h"
#include "PatchMeshRules.h"
#include "render/Math.h"

namespace quor {
namespace render {

using BasisMatrix = float[4][4];

// True when patch i + 1 begins where patch i ends for any control points,
// that is when the weights of the end of a patch equal those of the start
// of the next one, `step` control points further on.
bool basisJoins(const BasisMatrix& basis, int step);

// One texture coordinate (s or t) of a mesh, of any storage class; a
// facevarying one is kept as varying, which has the same values on a patch
// mesh.
struct PrimVar {
  bool present = false;
  StorageClass storage = StorageClass::Constant;
  std::vector<float> values;
};

struct Material;

// A patch mesh, checked and complete.
struct PatchMeshData {
  bool bicubic = false;
  float ubasis[4][4] = {};
  float vbasis[4][4] = {};
  int ustep = 1, vstep = 1;
  int nu = 0, nv = 0;
  bool uperiodic = false, vperiodic = false;
  int upatches = 0, vpatches = 0;
  // Control points, nu x nv with u fastest, in object space: (x, y, z, w),
  // w = 1 for "P". A rational mesh ("Pw") divides by the evaluated w.
  bool rational = false;
  std::vector<Vec4> cv;
  PrimVar s, t;
  // One flag per patch: 1 when the patch is not rendered (degenerate or
  // non-finite).
  std::vector<unsigned char> skipped;

  Mat4 objectToCamera;
  // The control points already in camera space, when that gives the same
  // surface: a polynomial mesh whose bases' weights always add up to 1 (so
  // that moving every control point moves the surface alike) under an
  // affine transform. Empty otherwise. Filled by prepareCameraSpace.
  std::vector<Vec3> cameraCv;
  // +1 or -1: the factor that turns dP/du x dP/dv, taken in camera
  // coordinates, into the outward normal (the mirroring of the object's
  // transform and the current orientation).
  float normalSign = 1.0f;
  bool oneSided = false;
  bool doubleShaded = false;
  std::shared_ptr<const Material> material;
  std::string where;

  int patchCount() const { return upatches * vpatches; }
  // The control point index of corner (a, b) of patch (pi, pj): a, b in 0..3
  // for a bicubic mesh, 0..1 for a bilinear one.
  int cvIndex(int pi, int pj, int a, int b) const;
};

// Fills mesh.cameraCv where it applies (see there).
void prepareCameraSpace(PatchMeshData& mesh);

// A point of a patch in camera space, with what shading needs.
struct SurfacePoint {
  Vec3 p;
  Vec3 dpdu, dpdv;  // per unit of the patch's own u and v
  float s = 0, t = 0;
  float dsdu = 0, dsdv = 0, dtdu = 0, dtdv = 0;
};

// Evaluates patch (pi, pj) of the mesh at its own parameters (u, v) in
// [0, 1]: position and derivatives exactly from the basis, transformed into
// camera space. Texture coordinates too when `withSt` is set.
SurfacePoint evaluatePatch(const PatchMeshData& mesh, int pi, int pj, float u, float v, bool withSt);

// Only the camera-space position.
Vec3 evaluatePosition(const PatchMeshData& mesh, int pi, int pj, float u, float v);

// Camera-space positions of a mesh's patches on a lattice of their own
// parameters, u = k / (kSize - 1) and v = l / (kSize - 1), as
// evaluatePosition gives them up to rounding. The basis weights are found
// once for the mesh, and each patch sums its control points along u first,
// each row once for the whole lattice: about a third of the work.
class PatchLattice {
 public:
  static constexpr int kSize = 9;
  explicit PatchLattice(const PatchMeshData& mesh);
  // p[l][k]: the point at (k / (kSize - 1), l / (kSize - 1)).
  void positions(int pi, int pj, Vec3 (&p)[kSize][kSize]) const;

 private:
  const PatchMeshData& mesh_;
  int n_;  // control points along each direction: 4 bicubic, 2 bilinear
  float wu_[kSize][4], wv_[kSize][4];
};

// The surface of a whole mesh sampled on one grid, for drawing previews:
// `steps` facets along each side of every patch, vertices shared where
// patches meet, u fastest; camera-space positions, unit outward normals and
// texture coordinates, from evaluatePatch.
struct SurfaceGrid {
  int columns = 0, rows = 0;
  std::vector<float> positions, normals, st;
};
void sampleSurface(const PatchMeshData& mesh, int steps, SurfaceGrid& grid);

// Flags in mesh.skipped the patches that cannot be rendered: non-finite
// ones and degenerate ones (their control points span no area). Answers how
// many, and why the first one cannot ("non-finite" or "degenerate").
struct PatchProblems {
  int skipped = 0;
  const char* first = "";
};
PatchProblems markProblemPatches(PatchMeshData& mesh);

}  // namespace render
}  // namespace quor

#endif
