// Everything one frame needs once its world has ended: the picture options,
// the lights, the surfaces and the geometry, all in camera space.
#ifndef QUOR_RENDER_FRAME_H
#define QUOR_RENDER_FRAME_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/Math.h"
#include "render/Patches.h"

namespace quor {
namespace render {

// The largest picture the renderer takes: 32768 pixels a side and
// 64 Mi pixels in all (8192 x 8192), whose float picture alone takes 1 GiB.
constexpr int kMaxResolution = 32768;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;
constexpr int kMaxPixelSamples = 64;
constexpr float kMaxFilterWidth = 16.0f;

enum class FilterKind { Box, Gaussian };
enum class PictureFormat { Tiff, Png, Exr };

struct PictureOptions {
  int xres = 640, yres = 480;
  float pixelAspect = 1.0f;
  bool perspective = false;
  float fov = 90.0f;
  bool screenWindowGiven = false;
  float screenWindow[4] = {-1, 1, -1, 1};  // left, right, bottom, top
  float nearClip = 1e-10f, farClip = 1e30f;
  int xsamples = 2, ysamples = 2;
  FilterKind filter = FilterKind::Gaussian;
  float filterWidth[2] = {2, 2};
  float gain = 1.0f, gamma = 1.0f;
  // Quantize "rgba": one, min, max, dither amplitude. one = 0 keeps floats.
  float quantizeOne = 255, quantizeMin = 0, quantizeMax = 255, dither = 0.5f;
  std::string displayName = "quor.tif";
  std::string displayType = "file";
  std::string displayMode = "rgba";
  int threads = 0;  // 0: one per core

  // The screen window in use: the given one, or the default for the frame's
  // aspect ratio (the shorter side spans -1 to 1).
  void screen(float out[4]) const;
};

struct Light {
  enum class Type { Ambient, Distant, Point, Spot };
  Type type = Type::Ambient;
  Vec3 color;      // intensity times lightcolor
  Vec3 direction;  // distant, spot: the unit direction the light travels, camera space
  Vec3 position;   // point, spot: camera space
  // spot: the cosines of "coneangle" and of "coneangle" - "conedeltaangle",
  // between which the light fades in, and "beamdistribution".
  float cosOutside = 0, cosInside = 0, beamDistribution = 2;
};

struct SurfaceShader {
  enum class Type { Default, Constant, Matte, Plastic, PaintedPlastic };
  Type type = Type::Default;
  float ka = 1, kd = 1, ks = 0.5f, roughness = 0.1f;
  Vec3 specularColor{1, 1, 1};
  std::string textureName;
};

// The shading state a primitive was given with.
struct Material {
  SurfaceShader surface;
  Vec3 color{1, 1, 1};
  Vec3 opacity{1, 1, 1};
  std::vector<int> lights;  // indices into FrameScene::lights
};

struct FrameScene {
  PictureOptions options;
  std::vector<Light> lights;
  std::vector<PatchMeshData> meshes;
};

}  // namespace render
}  // namespace quor

#endif
