// The light sources: each standard light shader with the parameters it
// reads, placed by the current transformation, and Illuminate.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "render/RequestHandlers.h"

namespace quor {
namespace render {

void Handlers::lightSource(const Args& a) {
  requireWorld();
  const std::string name = a.string(0, "shader name");
  std::string handle;
  if (a.size() % 2 == 0) {  // a handle follows the name
    const Value& h = a.at(1, "light handle");
    handle = h.isString() ? a.string(1, "light handle") : std::to_string(a.integer(1, "light handle"));
  }
  Light light;
  Vec3 lightColor{1, 1, 1};
  float intensity = 1;
  Vec3 from{0, 0, 0}, to{0, 0, 1};
  // The spotlight's defaults, radians(30) and radians(5).
  float coneAngle = 0.5235988f, coneDeltaAngle = 0.08726646f;
  const char* accepted;
  if (name == "ambientlight") {
    light.type = Light::Type::Ambient;
    accepted = " intensity lightcolor ";
  } else if (name == "distantlight") {
    light.type = Light::Type::Distant;
    accepted = " intensity lightcolor from to ";
  } else if (name == "pointlight") {
    light.type = Light::Type::Point;
    accepted = " intensity lightcolor from ";
  } else if (name == "spotlight") {
    light.type = Light::Type::Spot;
    accepted = " intensity lightcolor from to coneangle conedeltaangle beamdistribution ";
  } else {
    warnOnce("LightSource " + name, prefix() + "unknown light shader " + quoted(name) + "; the light is left out");
    return;
  }
  for (const Param& p : a.params()) {
    const std::string& n = p.decl.name;
    if (std::strstr(accepted, (" " + n + " ").c_str()) == nullptr) {
      warnOnce("LightSource " + name + " " + n, prefix() + "light " + quoted(name) + " has no parameter " + quoted(n));
      continue;
    }
    if (n == "intensity")
      intensity = paramFloat(p);
    else if (n == "lightcolor")
      lightColor = paramTriple(p);
    else if (n == "from")
      from = paramTriple(p);
    else if (n == "to")
      to = paramTriple(p);
    else if (n == "coneangle")
      coneAngle = paramFloat(p);
    else if (n == "conedeltaangle")
      coneDeltaAngle = paramFloat(p);
    else if (n == "beamdistribution")
      light.beamDistribution = paramFloat(p);
  }
  const Mat4 m = objectToCamera();
  light.color = lightColor * intensity;
  light.position = transformPoint(from, m);
  light.direction = normalize(transformPoint(to, m) - light.position);
  const bool aimed = light.type == Light::Type::Distant || light.type == Light::Type::Spot;
  if (!isFinite(light.position) || !isFinite(light.direction) || (aimed && !(length(light.direction) > 0))) {
    fail(kRange, "the light's position and direction must be finite, and \"from\" differ from \"to\"");
  }
  light.cosOutside = std::cos(coneAngle);
  light.cosInside = std::cos(coneAngle - coneDeltaAngle);
  st.scene->lights.push_back(light);
  const int index = int(st.scene->lights.size()) - 1;
  st.attr.lights.push_back(index);
  if (!handle.empty()) st.lightHandles[handle] = index;
  attributesChanged();
}

void Handlers::illuminate(const Args& a) {
  requireWorld();
  const Value& h = a.at(0, "light handle");
  const std::string handle = h.isString() ? a.string(0, "light handle") : std::to_string(a.integer(0, "light handle"));
  const bool on = a.integer(1, "on") != 0;
  auto it = st.lightHandles.find(handle);
  if (it == st.lightHandles.end()) fail(kBadToken, "no light " + quoted(handle));
  std::vector<int>& lights = st.attr.lights;
  const auto pos = std::find(lights.begin(), lights.end(), it->second);
  if (on && pos == lights.end()) lights.push_back(it->second);
  if (!on && pos != lights.end()) lights.erase(pos);
  attributesChanged();
}

}  // namespace render
}  // namespace quor
