// The requests of the attributes that blocks save and restore (colour,
// opacity, sides, orientation, basis) and of the transformations.
#include <cmath>
#include <cstring>

#include "render/RequestHandlers.h"

namespace quor {
namespace render {

void Handlers::attribute(const Args& a) {
  const std::string name = a.string(0, "attribute name");
  for (const Param& p : a.params()) {
    if (name == "sides" && p.decl.name == "doubleshaded") {
      const float v = paramFloat(p);
      st.attr.doubleShaded = v != 0;
    } else {
      warnOnce("Attribute " + name + " " + p.decl.name,
               prefix() + "attribute " + quoted(name) + " " + quoted(p.decl.name) + " is not used by this renderer");
    }
  }
}

void Handlers::color(const Args& a) {
  std::size_t i = 0;
  const std::vector<float> c = a.numbers(i, 3, "colour");
  st.attr.color = {c[0], c[1], c[2]};
  attributesChanged();
}

void Handlers::opacity(const Args& a) {
  std::size_t i = 0;
  const std::vector<float> c = a.numbers(i, 3, "opacity");
  st.attr.opacity = {c[0], c[1], c[2]};
  attributesChanged();
}

void Handlers::sides(const Args& a) { st.attr.sides = a.integer(0, "sides"); }

void Handlers::orientation(const Args& a) {
  const std::string o = a.string(0, "orientation");
  const bool leftHanded = objectToCamera().determinant3() > 0;  // camera space is left-handed
  if (o == "outside") {
    st.attr.reversed = false;
  } else if (o == "inside") {
    st.attr.reversed = true;
  } else if (o == "lh") {
    st.attr.reversed = !leftHanded;
  } else {  // "rh"
    st.attr.reversed = leftHanded;
  }
}

void Handlers::reverseOrientation(const Args&) { st.attr.reversed = !st.attr.reversed; }

void Handlers::basis(const Args& a) {
  std::size_t i = 0;
  float u[4][4], v[4][4];
  const int ustep = basisArg(a, i, u, "u basis");
  const int vstep = basisArg(a, i, v, "v basis");
  std::memcpy(st.attr.ubasis, u, sizeof u);
  std::memcpy(st.attr.vbasis, v, sizeof v);
  st.attr.ustep = ustep;
  st.attr.vstep = vstep;
}

// One basis (a name or 16 numbers) and its step.
int Handlers::basisArg(const Args& a, std::size_t& i, float out[4][4], const char* what) {
  const Value& v = a.at(i, what);
  if (v.isString()) {
    const std::string name = a.string(i, what);
    const NamedBasis* b = findBasis(name);
    std::memcpy(out, b->m, sizeof b->m);
    ++i;
  } else {
    const std::vector<float> m = a.numbers(i, 16, what);
    std::memcpy(out, m.data(), 16 * sizeof(float));
  }
  const int step = a.integer(i, "step");
  ++i;
  if (step > 4) fail(kRange, "basis steps must lie between 1 and 4");
  return step;
}

void Handlers::identity(const Args&) { st.attr.transform = Mat4::identity(); }

void Handlers::transform(const Args& a) {
  std::size_t i = 0;
  const Mat4 m = Mat4::fromArray(a.numbers(i, 16, "matrix").data());
  st.attr.transform = Mat4::identity();
  concat(m);
}

void Handlers::concatTransform(const Args& a) {
  std::size_t i = 0;
  concat(Mat4::fromArray(a.numbers(i, 16, "matrix").data()));
}

void Handlers::translate(const Args& a) {
  std::size_t i = 0;
  const std::vector<float> d = a.numbers(i, 3, "offset");
  concat(Mat4::translate(d[0], d[1], d[2]));
}

void Handlers::rotate(const Args& a) {
  std::size_t i = 0;
  const std::vector<float> r = a.numbers(i, 4, "angle and axis");
  concat(Mat4::rotate(r[0], r[1], r[2], r[3]));
}

void Handlers::scale(const Args& a) {
  std::size_t i = 0;
  const std::vector<float> s = a.numbers(i, 3, "scale");
  concat(Mat4::scale(s[0], s[1], s[2]));
}

}  // namespace render
}  // namespace quor
