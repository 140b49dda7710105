#include "render/CardEmission.h"

#include <cstring>
#include <new>

#include "Quor/Quor.h"
#include "grid/Interpolation.h"
#include "render/PatchMesh.h"

namespace quorcard {

void emitCardGeometry(const ControlGrid& grid, const CardLook& look, const DD::Image::Matrix4& world) {
  const bool smooth = isSmooth(look.interpolation);
  PatchMesh mesh;
  try {
    mesh = buildPatchMesh(grid, smooth, look.uv);
  } catch (const std::bad_alloc&) {
    mesh = PatchMesh();
  }

  // The host keeps its matrices in the order the renderer takes them, so the
  // 16 floats go over as they are stored.
  QtMatrix transform;
  std::memcpy(transform, world.array(), sizeof transform);
  QrTransform(transform);
  if (mesh.type == MeshType::None) return;
  if (look.shade != kShadeFrontOnly) {
    QtInt shadeInt = look.shade;
    QrAttribute("sides", "doubleshaded", static_cast<QtPointer>(&shadeInt), QR_NULL);
  }
  if (look.orientation == kOrientationFlipped) QrReverseOrientation();
  if (smooth) QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
  QtToken tokens[2] = {"P", "vertex float[2] st"};
  QtPointer values[2] = {mesh.positions.get(), mesh.texCoords.get()};
  QrPatchMeshV(mesh.type == MeshType::Bicubic ? "bicubic" : "bilinear", mesh.nu, "nonperiodic", mesh.nv, "nonperiodic",
               2, tokens, values);
}

}  // namespace quorcard
