// The rules of a patch mesh, which the RIB writer and the renderer share:
// its type and wraps, how many patches its vertex counts make under the
// basis steps, how many values each storage class holds on it, and the
// standard bases by name.
#ifndef QUOR_SRC_PATCHMESHRULES_H
#define QUOR_SRC_PATCHMESHRULES_H

#include <cstdint>
#include <string>

#include "Declarations.h"

namespace quor {

// The standard bases by name ("bezier", "b-spline", "catmull-rom",
// "hermite", "power"), with their usual steps; null for another name.
struct NamedBasis {
  const char* name;
  float m[4][4];
  int step;
};
const NamedBasis* findBasis(const std::string& name);

// The patches of a mesh along u and v, from its type, vertex counts, wraps
// and basis steps.
struct MeshShape {
  bool bicubic = false;
  int nu = 0, nv = 0;
  bool uperiodic = false, vperiodic = false;
  int upatches = 0, vpatches = 0;

  // Items that a parameter of class `storage` holds: constant 1, uniform one
  // a patch, varying and facevarying one a patch corner (corners shared
  // between neighbours, and a periodic direction's last corner its first),
  // vertex nu * nv, facevertex 4 (bilinear) or 16 (bicubic) a patch.
  std::uint64_t items(StorageClass storage) const;
};

// The shape of a mesh of `type` ("bilinear" or "bicubic") with nu x nv
// vertices, each direction "periodic" or "nonperiodic"; throws RequestError
// naming the rule that the counts break.
MeshShape meshShape(const std::string& type, int nu, const std::string& uwrap, int nv, const std::string& vwrap,
                    int ustep, int vstep);

// How many values a parameter of declaration `d` holds with `items` items;
// throws RequestError, naming `token`, beyond what any request can carry.
std::uint64_t valueCount(const Declaration& d, std::uint64_t items, const std::string& token);

}  // namespace quor

#endif
