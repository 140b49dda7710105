#include "render/Shading.h"

#include "render/ImageLibrary.h"

#include <cmath>
#include <map>

namespace quor {
namespace render {
namespace {

// smoothstep(e0, e1, x) of the shading language; a step at e1 when the two
// edges meet.
float smoothStep(float e0, float e1, float x) {
  if (x >= e1) return 1;
  if (x <= e0) return 0;
  const float t = (x - e0) / (e1 - e0);
  return t * t * (3 - 2 * t);
}

struct Lighting {
  Vec3 ambient, diffuse, specular;
};

// ambient(), diffuse(Nf) and specular(Nf, V, roughness) of the shading
// language over the lights that shine on the material.
Lighting light(const Material& m, const std::vector<Light>& lights, Vec3 p, Vec3 nf, Vec3 v, bool wantSpecular) {
  Lighting out;
  // The highlight's exponent 1 / (roughness / 8): the convention of the
  // renderers in use, inherited from an early one, rather than the
  // 1 / roughness that the interface gives as an example.
  const float exponent = 8.0f / m.surface.roughness;
  for (int index : m.lights) {
    const Light& l = lights[std::size_t(index)];
    if (l.type == Light::Type::Ambient) {
      out.ambient += l.color;
      continue;
    }
    Vec3 toLight, cl = l.color;
    if (l.type == Light::Type::Distant) {
      toLight = -l.direction;
    } else {
      toLight = l.position - p;
      const float d2 = dot(toLight, toLight);
      if (!(d2 > 0)) continue;
      cl = cl * (1.0f / d2);
      if (l.type == Light::Type::Spot) {
        // The standard spotlight: cos^beamdistribution of the angle off its
        // axis, faded in over the cone's edge; nothing outside the cone
        // (nor where the power has no real value, behind a cone wider than
        // a hemisphere).
        const float cosAngle = -dot(toLight, l.direction) / std::sqrt(d2);
        const float beam = std::pow(cosAngle, l.beamDistribution) * smoothStep(l.cosOutside, l.cosInside, cosAngle);
        if (!(beam > 0)) continue;
        cl = cl * beam;
      }
    }
    const Vec3 ln = normalize(toLight);
    const float cosine = dot(ln, nf);
    // Only lights in the hemisphere that the normal faces.
    if (!(cosine > 0)) continue;
    out.diffuse += cl * cosine;
    if (wantSpecular) {
      const Vec3 h = normalize(ln + v);
      out.specular += cl * std::pow(std::fmax(0.0f, dot(nf, h)), exponent);
    }
  }
  return out;
}

}  // namespace

void shadeSurface(const Material& m, const std::vector<Light>& lights, const ShadeInput& in, const Vec3* textureColor,
                  Vec3& ci, Vec3& oi) {
  const SurfaceShader& s = m.surface;
  const Vec3 os = m.opacity, cs = m.color;
  oi = os;
  // The normal turned toward the eye, as faceforward(N, I) does.
  const Vec3 nf = dot(in.n, in.i) < 0 ? in.n : -in.n;
  const Vec3 v = -in.i;
  switch (s.type) {
    case SurfaceShader::Type::Constant:
      ci = os * cs;
      return;
    case SurfaceShader::Type::Default: {
      const float d = dot(in.i, in.n);
      ci = os * cs * (s.ka + s.kd * d * d);
      return;
    }
    case SurfaceShader::Type::Matte: {
      const Lighting l = light(m, lights, in.p, nf, v, false);
      ci = os * cs * (s.ka * l.ambient + s.kd * l.diffuse);
      return;
    }
    case SurfaceShader::Type::Plastic:
    case SurfaceShader::Type::PaintedPlastic: {
      const Lighting l = light(m, lights, in.p, nf, v, true);
      Vec3 base = cs;
      if (s.type == SurfaceShader::Type::PaintedPlastic && textureColor) base = base * *textureColor;
      ci = os * (base * (s.ka * l.ambient + s.kd * l.diffuse) + s.specularColor * s.ks * l.specular);
      return;
    }
  }
}

struct Textures::Impl {
  const ImageLibrary* library = nullptr;
  std::vector<void*> textures;
};

Textures::Textures(const FrameScene& scene, const ReportFunction& report) : impl_(std::make_unique<Impl>()) {
  meshTexture_.assign(scene.meshes.size(), -1);
  std::map<std::string, int> byName;
  for (std::size_t i = 0; i < scene.meshes.size(); ++i) {
    const Material& m = *scene.meshes[i].material;
    if (m.surface.type != SurfaceShader::Type::PaintedPlastic || m.surface.textureName.empty()) continue;
    const std::string& name = m.surface.textureName;
    auto found = byName.find(name);
    if (found == byName.end()) {
      // The image library is loaded for the first texture; each frame drops
      // what the library knows of every file, so that a texture made again
      // between frames is read again.
      if (!impl_->library) {
        impl_->library = &imageLibrary();
        impl_->library->forgetTextures();
      }
      std::string why;
      void* texture = impl_->library->openTexture(name, why);
      int index = -1;
      if (texture) {
        index = int(impl_->textures.size());
        impl_->textures.push_back(texture);
      } else {
        report(kNoFile, Severity::Warning,
               "texture \"" + name + "\" cannot be read (" + why + "); its surfaces render untextured");
      }
      found = byName.emplace(name, index).first;
    }
    meshTexture_[i] = found->second;
  }
}

Textures::~Textures() = default;

Textures::Thread::Thread(const Textures& textures)
    : textures_(textures), perthread_(textures.impl_->library ? textures.impl_->library->newThreadState() : nullptr) {}

Textures::Thread::~Thread() {
  if (perthread_) textures_.impl_->library->deleteThreadState(perthread_);
}

Vec3 Textures::Thread::lookup(int index, float s, float t, float dsdx, float dtdx, float dsdy, float dtdy) {
  float rgb[3];
  textures_.impl_->library->lookup(textures_.impl_->textures[std::size_t(index)], perthread_, s, t, dsdx, dtdx, dsdy,
                                   dtdy, rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

}  // namespace render
}  // namespace quor
