// Surface: each standard surface shader with the parameters it reads.
#include <cmath>
#include <cstring>

#include "render/RequestHandlers.h"

namespace quor {
namespace render {

void Handlers::surface(const Args& a) {
  const std::string name = a.string(0, "shader name");
  const std::vector<Param> params = a.params();
  SurfaceShader s;
  // The standard shaders and the parameters each takes.
  struct Known {
    const char* name;
    SurfaceShader::Type type;
    float ka, kd;
    const char* params;
  };
  static const Known kKnown[] = {
      {"defaultsurface", SurfaceShader::Type::Default, 0.2f, 0.8f, " Ka Kd "},
      {"constant", SurfaceShader::Type::Constant, 1, 1, " "},
      {"matte", SurfaceShader::Type::Matte, 1, 1, " Ka Kd "},
      {"plastic", SurfaceShader::Type::Plastic, 1, 0.5f, " Ka Kd Ks roughness specularcolor "},
      {"paintedplastic", SurfaceShader::Type::PaintedPlastic, 1, 0.5f,
       " Ka Kd Ks roughness specularcolor texturename "},
  };
  const Known* known = nullptr;
  for (const Known& k : kKnown)
    if (name == k.name) known = &k;
  if (!known) {
    warnOnce("Surface " + name, prefix() + "unknown surface shader " + quoted(name) + "; \"defaultsurface\" is used");
    known = &kKnown[0];
  }
  s.type = known->type;
  s.ka = known->ka;
  s.kd = known->kd;
  for (const Param& p : params) {
    const std::string& n = p.decl.name;
    if (std::strstr(known->params, (" " + n + " ").c_str()) == nullptr) {
      warnOnce("Surface " + name + " " + n,
               prefix() + "shader " + quoted(known->name) + " has no parameter " + quoted(n));
      continue;
    }
    if (n == "Ka")
      s.ka = paramFloat(p);
    else if (n == "Kd")
      s.kd = paramFloat(p);
    else if (n == "Ks")
      s.ks = paramFloat(p);
    else if (n == "roughness")
      s.roughness = paramFloat(p);
    else if (n == "specularcolor")
      s.specularColor = paramTriple(p);
    else if (n == "texturename")
      s.textureName = paramString(p);
  }
  if (!(s.roughness > 0)) fail(kRange, "roughness must be positive");
  st.attr.surface = s;
  attributesChanged();
}

}  // namespace render
}  // namespace quor
