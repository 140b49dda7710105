// The standard surface shaders and light sources, and texture lookups
// through the image library's texture system.
#ifndef QUOR_RENDER_SHADING_H
#define QUOR_RENDER_SHADING_H

#include <memory>
#include <string>
#include <vector>

#include "render/Frame.h"
#include "render/Renderer.h"

namespace quor {
namespace render {

// What a surface shader sees at one point, in camera space.
struct ShadeInput {
  Vec3 p;
  Vec3 n;  // unit outward normal from the surface's derivatives
  Vec3 i;  // unit direction from the eye to p
};

// Runs the material's surface shader: Ci (premultiplied by Oi) and Oi.
// `textureColor` is the filtered texture colour for "paintedplastic", or
// null for none.
void shadeSurface(const Material& material, const std::vector<Light>& lights, const ShadeInput& in,
                  const Vec3* textureColor, Vec3& ci, Vec3& oi);

// The textures a frame's surfaces name, opened once per frame.
class Textures {
 public:
  // Opens every texture named by a surface of the frame; one that cannot be
  // read is reported (code kNoFile, as a warning) and its surfaces render
  // untextured.
  Textures(const FrameScene& scene, const ReportFunction& report);
  ~Textures();
  Textures(const Textures&) = delete;
  Textures& operator=(const Textures&) = delete;

  // The texture of mesh `index` of the frame: -1 for none or unreadable.
  int textureOfMesh(std::size_t index) const { return meshTexture_[index]; }

  // Per-thread state of the texture system.
  class Thread {
   public:
    explicit Thread(const Textures& textures);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // The filtered colour of texture `index` over the footprint that the
    // derivatives of (s, t) along the picture's x and y describe.
    Vec3 lookup(int index, float s, float t, float dsdx, float dtdx, float dsdy, float dtdy);

   private:
    const Textures& textures_;
    void* perthread_;
  };

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<int> meshTexture_;
};

}  // namespace render
}  // namespace quor

#endif
