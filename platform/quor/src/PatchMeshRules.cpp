#include "PatchMeshRules.h"

#include "RequestError.h"

namespace quor {
namespace {

// More values than this in one parameter are taken for garbage counts.
constexpr std::uint64_t kMaxValues = std::uint64_t{1} << 30;

const NamedBasis kBases[] = {
    {"bezier", {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}}, 3},
    {"b-spline",
     {{-1.0f / 6, 3.0f / 6, -3.0f / 6, 1.0f / 6},
      {3.0f / 6, -6.0f / 6, 3.0f / 6, 0},
      {-3.0f / 6, 0, 3.0f / 6, 0},
      {1.0f / 6, 4.0f / 6, 1.0f / 6, 0}},
     1},
    {"catmull-rom", {{-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f}, {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}}, 1},
    {"hermite", {{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}}, 2},
    {"power", {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, 4},
};

bool wrapOf(const std::string& wrap, const char* axis) {
  if (wrap == "periodic") return true;
  if (wrap != "nonperiodic") throw RequestError(std::string(axis) + " wrap must be \"periodic\" or \"nonperiodic\"");
  return false;
}

int patchesAlong(bool bicubic, int n, bool periodic, int step, const char* axis) {
  const auto fail = [&](const std::string& rule) {
    throw RequestError(std::string("n") + axis + " = " + std::to_string(n) + " does not fit: " + rule,
                       render::kConsistency);
  };
  if (!bicubic) {
    if (n < 2) fail("a bilinear mesh needs at least 2 vertices");
    return periodic ? n : n - 1;
  }
  if (periodic) {
    if (n < 1 || n % step != 0) fail("a periodic bicubic mesh needs a multiple of the step " + std::to_string(step));
    return n / step;
  }
  if (n < 4 || (n - 4) % step != 0) fail("a bicubic mesh needs 4 + k * " + std::to_string(step) + " vertices");
  return (n - 4) / step + 1;
}

}  // namespace

const NamedBasis* findBasis(const std::string& name) {
  for (const NamedBasis& b : kBases)
    if (name == b.name) return &b;
  return nullptr;
}

std::uint64_t MeshShape::items(StorageClass storage) const {
  const std::uint64_t patches = std::uint64_t(upatches) * std::uint64_t(vpatches);
  switch (storage) {
    case StorageClass::Constant:
      return 1;
    case StorageClass::Uniform:
      return patches;
    case StorageClass::Varying:
    case StorageClass::FaceVarying:
      return std::uint64_t(uperiodic ? upatches : upatches + 1) * std::uint64_t(vperiodic ? vpatches : vpatches + 1);
    case StorageClass::Vertex:
      return std::uint64_t(nu) * std::uint64_t(nv);
    case StorageClass::FaceVertex:
      return (bicubic ? 16 : 4) * patches;
  }
  return 1;
}

MeshShape meshShape(const std::string& type, int nu, const std::string& uwrap, int nv, const std::string& vwrap,
                    int ustep, int vstep) {
  MeshShape s;
  s.bicubic = type == "bicubic";
  if (!s.bicubic && type != "bilinear") throw RequestError("type must be \"bilinear\" or \"bicubic\"");
  s.uperiodic = wrapOf(uwrap, "u");
  s.vperiodic = wrapOf(vwrap, "v");
  s.nu = nu;
  s.nv = nv;
  s.upatches = patchesAlong(s.bicubic, nu, s.uperiodic, ustep, "u");
  s.vpatches = patchesAlong(s.bicubic, nv, s.vperiodic, vstep, "v");
  return s;
}

std::uint64_t valueCount(const Declaration& d, std::uint64_t items, const std::string& token) {
  // The items are bounded first: their product with the item's size could overflow.
  if (items > kMaxValues || items * std::uint64_t(d.valuesPerItem()) > kMaxValues) {
    throw RequestError("too many values for \"" + token + "\"", render::kLimit);
  }
  return items * std::uint64_t(d.valuesPerItem());
}

}  // namespace quor
