// Patch meshes and patches, built from their checked requests into the
// frame's meshes with the material of their attributes.
#include <cmath>
#include <cstring>

#include "render/RequestHandlers.h"

namespace quor {
namespace render {

std::shared_ptr<const Material> Handlers::material() {
  if (!st.attr.material) {
    auto m = std::make_shared<Material>();
    m->surface = st.attr.surface;
    m->color = st.attr.color;
    m->opacity = st.attr.opacity;
    m->lights = st.attr.lights;
    st.attr.material = m;
  }
  return st.attr.material;
}

void Handlers::patchMesh(const Args& a) {
  requireWorld();
  buildPatchMesh(a.mesh(), a.params());
}

void Handlers::patch(const Args& a) {
  requireWorld();
  buildPatchMesh(a.mesh(), a.params());
}

void Handlers::buildPatchMesh(const MeshShape& shape, const std::vector<Param>& params) {
  if (std::int64_t(shape.nu) * shape.nv > (std::int64_t(1) << 28)) fail(kLimit, "too many vertices");
  PatchMeshData mesh;
  mesh.bicubic = shape.bicubic;
  std::memcpy(mesh.ubasis, st.attr.ubasis, sizeof mesh.ubasis);
  std::memcpy(mesh.vbasis, st.attr.vbasis, sizeof mesh.vbasis);
  mesh.ustep = st.attr.ustep;
  mesh.vstep = st.attr.vstep;
  mesh.nu = shape.nu;
  mesh.nv = shape.nv;
  mesh.uperiodic = shape.uperiodic;
  mesh.vperiodic = shape.vperiodic;
  mesh.upatches = shape.upatches;
  mesh.vpatches = shape.vpatches;

  const Param* position = nullptr;
  // The check has counted every parameter's values and found the position.
  for (const Param& p : params) {
    const std::string& n = p.decl.name;
    if (n == "P" || n == "Pw" || n == "Pz") {
      position = &p;
    } else if ((n == "st" || n == "s" || n == "t") && p.decl.kind == ValueKind::Float) {
      const int want = n == "st" ? 2 : 1;
      if (p.decl.valuesPerItem() != want) {
        fail(kConsistency, quoted(n) + " must have " + std::to_string(want) + " float(s) per item");
      }
      const std::vector<float>& v = p.value->numbers;
      const std::size_t items = v.size() / want;
      for (PrimVar* var : {&mesh.s, &mesh.t}) {
        const bool isS = var == &mesh.s;
        if (n == "st" || (n == "s") == isS) {
          var->present = true;
          var->storage = p.decl.storage;
          var->values.resize(items);
          const std::size_t offset = (n == "st" && !isS) ? 1 : 0;
          for (std::size_t k = 0; k < items; ++k) var->values[k] = v[k * want + offset];
        }
      }
    } else {
      warnOnce("PatchMesh " + n, prefix() + "primitive variable " + quoted(n) + " is not used by this renderer");
    }
  }
  if (position->decl.name == "Pz") {
    warnOnce("PatchMesh Pz", prefix() + "height fields (\"Pz\") are not rendered; the mesh is left out");
    return;
  }
  mesh.rational = position->decl.name == "Pw";
  const std::vector<float>& pv = position->value->numbers;
  const std::size_t count = std::size_t(shape.nu) * shape.nv;
  mesh.cv.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    if (mesh.rational) {
      mesh.cv[k] = {pv[4 * k], pv[4 * k + 1], pv[4 * k + 2], pv[4 * k + 3]};
    } else {
      mesh.cv[k] = {pv[3 * k], pv[3 * k + 1], pv[3 * k + 2], 1.0f};
    }
  }
  mesh.objectToCamera = objectToCamera();
  prepareCameraSpace(mesh);
  const bool mirrored = mesh.objectToCamera.determinant3() < 0;
  mesh.normalSign = (mirrored != st.attr.reversed) ? -1.0f : 1.0f;
  mesh.oneSided = st.attr.sides == 1;
  mesh.doubleShaded = st.attr.doubleShaded;
  mesh.material = material();
  mesh.where = req.where;

  PatchProblems problems;
  if (in.settings_.previewOnly)
    mesh.skipped.assign(std::size_t(mesh.patchCount()), 0);
  else
    problems = markProblemPatches(mesh);
  if (problems.skipped) {
    in.report(kMath, Severity::Warning,
              prefix() + "skipped " + std::to_string(problems.skipped) + " of " + std::to_string(mesh.patchCount()) +
                  " patch(es) that are degenerate or non-finite (the first: " + problems.first + ")");
  }
  st.scene->meshes.push_back(std::move(mesh));
}

}  // namespace render
}  // namespace quor
