// How the stored uv of a point becomes the texture coordinate of a vertex:
// the rules of the "flip_uvs", "flop_uvs" and "swap_uvs" switches, shared by
// the renderer emission and the viewer.
#pragma once

namespace quorcard {

struct UvRules {
  bool flip = false;  // mirror u
  bool flop = false;  // mirror v
  bool swap = false;  // exchange u and v, after mirroring
};

// Which way the second texture coordinate runs against the stored v. The
// renderer's t runs with v (t = 0 at the card's top edge, the image's first
// row); the viewer's GL texture has its first row at the bottom, so its t
// runs opposite to v.
enum class TAxis { AlongV, AgainstV };

struct TexCoord {
  float s;
  float t;
};

// The texture coordinate of a vertex whose owner point has texture
// coordinate uv, shifted by (a, b) before any mirroring.
inline TexCoord mapUv(const float uv[2], float a, float b, UvRules rules, TAxis axis) {
  const float u = uv[0] + a;
  const float v = uv[1] + b;
  const bool mirrorV = rules.flop != (axis == TAxis::AgainstV);
  const float mu = rules.flip ? 1.0f - u : u;
  const float mv = mirrorV ? 1.0f - v : v;
  return rules.swap ? TexCoord{mv, mu} : TexCoord{mu, mv};
}

}  // namespace quorcard
