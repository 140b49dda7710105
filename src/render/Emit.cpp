// Emission of the card to the renderer library: one self-contained attribute
// block with the archives of the image inputs, the world transform, the
// sidedness and orientation, and the patch mesh of the deformed card.
#include <cstring>
#include <new>

#include "Quor/Quor.h"
#include "node/QuorCard.h"
#include "render/PatchMesh.h"

namespace quorcard {

void QuorCard::emit() {
  const bool smooth = interpolation != 0;
  // The mesh is built first so that a grid that cannot give one (its size
  // disagrees with the counts, or its arrays cannot be allocated) still
  // leaves a well-formed block: archives and transform, no geometry.
  PatchMesh mesh;
  try {
    mesh = buildPatchMesh(points, xPoints, yPoints, smooth, UvRules{flipUvs, flopUvs, swapUvs});
  } catch (const std::bad_alloc&) {
    mesh = PatchMesh();
  }

  QrAttributeBegin();
  emitInputs();
  // The host keeps its matrices in the order the renderer takes them, so the
  // 16 floats go over as they are stored.
  QtMatrix transform;
  std::memcpy(transform, renderMatrix().array(), sizeof transform);
  QrTransform(transform);
  if (mesh.type != MeshType::None) {
    if (shade != 0) {
      QtInt shadeInt = shade;
      QrAttribute("sides", "doubleshaded", static_cast<QtPointer>(&shadeInt), QR_NULL);
    }
    if (orientation == 1) QrReverseOrientation();
    if (smooth) QrBasis(QrCatmullRomBasis, 1, QrCatmullRomBasis, 1);
    QtToken tokens[2] = {"P", "vertex float[2] st"};
    QtPointer values[2] = {mesh.positions.get(), mesh.st.get()};
    QrPatchMeshV(mesh.type == MeshType::Bicubic ? "bicubic" : "bilinear", mesh.nu, "nonperiodic", mesh.nv,
                 "nonperiodic", 2, tokens, values);
  }
  QrAttributeEnd();
}

}  // namespace quorcard
