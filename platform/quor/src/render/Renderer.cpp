#include "render/Renderer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>

#include "render/Camera.h"
#include "render/ImageLibrary.h"
#include "render/Parallel.h"
#include "render/RayScene.h"
#include "render/Shading.h"

namespace quor {
namespace render {
namespace {

constexpr int kTileSize = 64;
// Surfaces behind partly transparent ones: at most this many per sample.
constexpr int kMaxLayers = 32;
// Rays traced in one call: the samples of this many neighbouring pixels'
// worth, so that Embree gathers them into full packets.
constexpr int kRaysTogether = 64;

// A well-mixed 32-bit hash, for sample positions and dither that depend only
// on where they are, never on the thread or the order of work.
std::uint32_t mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

// A number in [0, 1) from three integers, in two steps: the hash of the
// last two, which a row of the picture shares, then of the first with it.
std::uint32_t random01Seed(std::int32_t b, std::uint32_t c) { return mix((std::uint32_t(b) + 0x68E31DA4U) ^ mix(c)); }
float random01(std::int32_t a, std::uint32_t seed) {
  const std::uint32_t h = mix((std::uint32_t(a) * 0x9E3779B1U) ^ seed);
  return float(h >> 8) * (1.0f / 16777216.0f);
}
float random01(std::int32_t a, std::int32_t b, std::uint32_t c) { return random01(a, random01Seed(b, c)); }

// The pixel filter along one axis: the weight of a sample at offset d from
// a pixel's centre, over the half-open support [-width/2, width/2).
float filterWeight(FilterKind kind, float d, float width) {
  const float half = width * 0.5f;
  if (d < -half || d >= half) return 0.0f;
  if (kind == FilterKind::Box) return 1.0f;
  const float x = d / half;  // the gaussian takes offsets scaled by 2 / width
  return std::exp(-2.0f * x * x);
}

// Where the samples of a pixel lie, and how much each gives to the pixels
// around it. A pixel takes one of kPatterns stratified jitter patterns, by
// a hash of its position: the picture shows noise rather than the regular
// steps of a fixed pattern, while the filter weights of every sample are
// computed once per frame.
class SamplePatterns {
 public:
  static constexpr int kPatterns = 256;

  SamplePatterns(const PictureOptions& o)
      : xs_(o.xsamples),
        ys_(o.ysamples),
        mx_(int(std::ceil(o.filterWidth[0] * 0.5f - 0.5f))),
        my_(int(std::ceil(o.filterWidth[1] * 0.5f - 0.5f))) {
    const int samples = xs_ * ys_;
    const int reached = (2 * mx_ + 1) * (2 * my_ + 1);
    offsets_.resize(std::size_t(kPatterns) * samples * 2);
    // The weights by pattern, reached pixel, then sample; those that are
    // zero (most of them: a sample lies beyond the filter of most of the
    // pixels around its own) are left out of the lists.
    std::vector<float> all(std::size_t(reached) * samples);
    std::vector<float> wx(std::size_t(2 * mx_ + 1)), wy(std::size_t(2 * my_ + 1));
    starts_.reserve(std::size_t(kPatterns) * reached + 1);
    sums_.reserve(std::size_t(kPatterns) * reached);
    for (int p = 0; p < kPatterns; ++p) {
      for (int j = 0; j < ys_; ++j)
        for (int i = 0; i < xs_; ++i) {
          const int sample = j * xs_ + i;
          const std::size_t at = std::size_t(p) * samples + sample;
          const float dx = (i + random01(p, sample, 0x5A3B1E00U)) / xs_;
          const float dy = (j + random01(p, sample, 0x5A3B1E01U)) / ys_;
          offsets_[2 * at] = dx;
          offsets_[2 * at + 1] = dy;
          // The sample at dx in pixel x, seen from the centre of pixel x + k.
          for (int k = -mx_; k <= mx_; ++k)
            wx[std::size_t(k + mx_)] = filterWeight(o.filter, dx - (k + 0.5f), o.filterWidth[0]);
          for (int k = -my_; k <= my_; ++k)
            wy[std::size_t(k + my_)] = filterWeight(o.filter, dy - (k + 0.5f), o.filterWidth[1]);
          for (int r = 0; r < reached; ++r)
            all[std::size_t(r) * samples + sample] =
                wx[std::size_t(r % (2 * mx_ + 1))] * wy[std::size_t(r / (2 * mx_ + 1))];
        }
      for (int r = 0; r < reached; ++r) {
        starts_.push_back(weights_.size());
        // Summed in the two chains that the samples' weighed values are
        // summed in, so that samples of alpha 1 give exactly 1.
        float even = 0, odd = 0;
        for (int sample = 0; sample < samples; ++sample) {
          const float w = all[std::size_t(r) * samples + sample];
          if (w == 0) continue;
          ((weights_.size() - starts_.back()) % 2 == 0 ? even : odd) += w;
          weights_.push_back({sample, w});
        }
        sums_.push_back(even + odd);
      }
    }
    starts_.push_back(weights_.size());
  }

  int samples() const { return xs_ * ys_; }
  int marginX() const { return mx_; }
  int marginY() const { return my_; }
  static int patternOf(int x, int y) {
    return int(mix((std::uint32_t(x) * 0x9E3779B1U) ^ mix(std::uint32_t(y) + 0x7F4A7C15U)) % kPatterns);
  }
  // Offset of a sample within its pixel, x then y, in [0, 1).
  const float* offset(int pattern, int sample) const {
    return &offsets_[2 * (std::size_t(pattern) * samples() + sample)];
  }
  // A sample of a pixel and its weight toward another pixel.
  struct Weight {
    int sample;
    float weight;
  };
  // The samples of a pixel that reach the pixel (kx, ky) away from it, kx
  // in -marginX .. marginX and ky in -marginY .. marginY, with their
  // weights toward it: [first, last). And the sum of those weights.
  const Weight* firstWeight(int pattern, int kx, int ky) const {
    return &weights_[starts_[reachedIndex(pattern, kx, ky)]];
  }
  const Weight* lastWeight(int pattern, int kx, int ky) const {
    return weights_.data() + starts_[reachedIndex(pattern, kx, ky) + 1];
  }
  float weightSum(int pattern, int kx, int ky) const { return sums_[reachedIndex(pattern, kx, ky)]; }

 private:
  std::size_t reachedIndex(int pattern, int kx, int ky) const {
    return (std::size_t(pattern) * std::size_t(2 * my_ + 1) + std::size_t(ky + my_)) * std::size_t(2 * mx_ + 1) +
           std::size_t(kx + mx_);
  }

  int xs_, ys_, mx_, my_;
  std::vector<float> offsets_;
  std::vector<Weight> weights_;      // by pattern, reached pixel, then sample
  std::vector<std::size_t> starts_;  // where each pattern's reached pixel starts in weights_
  std::vector<float> sums_;          // by pattern, then reached pixel
};

// Premultiplied colour and alpha as one vector of four floats: a sample's,
// and the filter's sums, added and weighed in one operation each.
typedef float Rgba __attribute__((vector_size(16)));

// The shading of a pixel's surfaces, kept for its other samples: a surface
// is shaded once a pixel, at the pixel's centre (the shading rate of one
// pixel that RenderMan renderers take by default), while every sample finds
// its own visibility.
// Surfaces behind partly transparent ones are kept by their depth order.
struct PixelShading {
  static constexpr int kKept = 4;
  struct Entry {
    const PatchMeshData* mesh;
    int pi, pj;
    Vec3 ci, oi;
  };
  Entry layers[kKept];
  int count = 0;  // the layers kept so far, from the front
};

class FrameRenderer {
 public:
  FrameRenderer(const FrameScene& scene, const ReportFunction& report)
      : scene_(scene),
        o_(scene.options),
        camera_(o_),
        threads_(threadCount(o_.threads)),
        patterns_(o_),
        rays_(scene, camera_, threads_),
        textures_(scene, report) {}

  // Thrown out of a tile when the progress function asks to stop.
  struct Stopped {};

  void render(FloatPicture& picture, const Progress& progress) {
    picture.width = o_.xres;
    picture.height = o_.yres;
    const std::size_t pixels = std::size_t(o_.xres) * std::size_t(o_.yres);
    // The filter's sums while the tiles are rendered, then the picture.
    picture.rgba.assign(std::size_t(4) * pixels, 0.0f);
    std::vector<float> weights(pixels, 0.0f);
    const int tilesX = (o_.xres + kTileSize - 1) / kTileSize;
    const int tilesY = (o_.yres + kTileSize - 1) / kTileSize;
    std::vector<std::unique_ptr<Textures::Thread>> textureThreads;
    for (int t = 0; t < threads_; ++t) textureThreads.push_back(std::make_unique<Textures::Thread>(textures_));
    const int tiles = tilesX * tilesY;
    std::vector<std::vector<Spill>> spills(static_cast<std::size_t>(tiles));
    int tilesDone = 0;
    std::mutex progressLock;
    parallelFor(tiles, threads_, [&](int tile, int thread) {
      renderTile((tile % tilesX) * kTileSize, (tile / tilesX) * kTileSize, *textureThreads[std::size_t(thread)],
                 picture.rgba, weights, spills[std::size_t(tile)]);
      if (!progress) return;
      std::lock_guard<std::mutex> lock(progressLock);
      if (!progress(float(++tilesDone) / float(tiles))) throw Stopped();
    });
    // What each tile's samples gave to the pixels of its neighbours, added
    // in the order of the tiles, so that the sums do not depend on which
    // thread finished first.
    for (const std::vector<Spill>& tileSpills : spills)
      for (const Spill& spill : tileSpills) {
        for (int c = 0; c < 4; ++c) picture.rgba[4 * spill.pixel + std::size_t(c)] += spill.sum[c];
        weights[spill.pixel] += spill.weight;
      }
    for (std::size_t p = 0; p < pixels; ++p) {
      const float w = weights[p];
      for (int c = 0; c < 4; ++c)
        picture.rgba[4 * p + std::size_t(c)] = w > 0 ? picture.rgba[4 * p + std::size_t(c)] / w : 0.0f;
    }
  }

 private:
  // A tile's filtered samples toward one pixel of another tile.
  struct Spill {
    std::size_t pixel;
    float sum[4];
    float weight;
  };

  // Traces the samples of one tile's pixels (and, at the picture's edges,
  // of the pixels beyond it that the filter reaches), and adds them, with
  // the filter's weights, into the sums of the pixels they reach: those of
  // the tile into `sums` and `weights`, the others into `spills`.
  void renderTile(int x0, int y0, Textures::Thread& tex, std::vector<float>& sums, std::vector<float>& weights,
                  std::vector<Spill>& spills) {
    const int x1 = std::min(x0 + kTileSize, o_.xres), y1 = std::min(y0 + kTileSize, o_.yres);
    const int mx = patterns_.marginX(), my = patterns_.marginY();
    const int samples = patterns_.samples();
    // The pixels traced, and the larger block that their samples reach.
    const int tx0 = x0 == 0 ? -mx : x0, tx1 = x1 == o_.xres ? x1 + mx : x1;
    const int ty0 = y0 == 0 ? -my : y0, ty1 = y1 == o_.yres ? y1 + my : y1;
    const int bx0 = x0 - mx, by0 = y0 - my, bw = x1 - x0 + 2 * mx, bh = y1 - y0 + 2 * my;
    std::vector<Rgba> blockSums(std::size_t(bw) * std::size_t(bh), Rgba{0, 0, 0, 0});
    std::vector<float> blockWeights(blockSums.size(), 0.0f);
    std::vector<Rgba> values(static_cast<std::size_t>(samples));  // one pixel's samples
    // The first surface of every sample of a run of pixels is found in one
    // call: the rays of neighbouring samples run nearly parallel.
    const int run = std::max(1, kRaysTogether / samples);
    std::vector<Ray> rays;
    std::vector<RayHit> hits;
    PixelShading shading;
    for (int py = ty0; py < ty1; ++py)
      for (int rx = tx0; rx < tx1; rx += run) {
        const int rx1 = std::min(rx + run, tx1);
        rays.resize(std::size_t(rx1 - rx) * std::size_t(samples));
        hits.resize(rays.size());
        for (int px = rx; px < rx1; ++px) {
          const int pattern = SamplePatterns::patternOf(px, py);
          Ray* ray = &rays[std::size_t(px - rx) * std::size_t(samples)];
          for (int sample = 0; sample < samples; ++sample, ++ray) {
            const float* offset = patterns_.offset(pattern, sample);
            camera_.ray(px + offset[0], py + offset[1], ray->origin, ray->direction);
            ray->tnear = camera_.nearClip();
            ray->tfar = camera_.farClip();
          }
        }
        rays_.intersect(rays.data(), rays.size(), hits.data());
        for (int px = rx; px < rx1; ++px) {
          const int pattern = SamplePatterns::patternOf(px, py);
          // The pixels of the picture that this pixel's samples reach.
          const int kx0 = std::max(-mx, -px), kx1 = std::min(mx, o_.xres - 1 - px);
          const int ky0 = std::max(-my, -py), ky1 = std::min(my, o_.yres - 1 - py);
          shading.count = 0;
          const std::size_t first = std::size_t(px - rx) * std::size_t(samples);
          for (int sample = 0; sample < samples; ++sample)
            trace(px, py, rays[first + std::size_t(sample)], hits[first + std::size_t(sample)], tex, shading,
                  values[std::size_t(sample)]);
          // The pixel's samples, weighed toward each pixel that the filter
          // reaches from it.
          for (int ky = ky0; ky <= ky1; ++ky)
            for (int kx = kx0; kx <= kx1; ++kx) {
              // Two sums, of the even and the odd samples of the list, so
              // that each addition need not wait for the one before.
              Rgba even = {0, 0, 0, 0}, odd = {0, 0, 0, 0};
              const SamplePatterns::Weight* w = patterns_.firstWeight(pattern, kx, ky);
              const SamplePatterns::Weight* last = patterns_.lastWeight(pattern, kx, ky);
              for (; last - w >= 2; w += 2) {
                even += w[0].weight * values[std::size_t(w[0].sample)];
                odd += w[1].weight * values[std::size_t(w[1].sample)];
              }
              if (w != last) even += w->weight * values[std::size_t(w->sample)];
              const std::size_t at = std::size_t(py + ky - by0) * std::size_t(bw) + std::size_t(px + kx - bx0);
              blockSums[at] += even + odd;
              blockWeights[at] += patterns_.weightSum(pattern, kx, ky);
            }
        }
      }
    // The tile's own pixels are its alone until every tile is done.
    for (int by = 0; by < bh; ++by)
      for (int bx = 0; bx < bw; ++bx) {
        const int x = bx0 + bx, y = by0 + by;
        if (x < 0 || y < 0 || x >= o_.xres || y >= o_.yres) continue;
        const std::size_t at = std::size_t(by) * std::size_t(bw) + std::size_t(bx);
        const Rgba& in = blockSums[at];
        const std::size_t p = std::size_t(y) * std::size_t(o_.xres) + std::size_t(x);
        if (x >= x0 && x < x1 && y >= y0 && y < y1) {
          for (int c = 0; c < 4; ++c) sums[4 * p + std::size_t(c)] = in[c];
          weights[p] = blockWeights[at];
        } else if (blockWeights[at] != 0) {
          spills.push_back({p, {in[0], in[1], in[2], in[3]}, blockWeights[at]});
        }
      }
  }

  // The colour and opacity seen along the sample's ray, whose first hit
  // is given, surfaces behind partly transparent ones composited front to
  // back: premultiplied RGBA into `rgba`.
  void trace(int px, int py, const Ray& ray, const RayHit& first, Textures::Thread& tex, PixelShading& shading,
             Rgba& rgba) const {
    if (!first.mesh) {
      rgba = Rgba{0, 0, 0, 0};
      return;
    }
    Vec3 color{0, 0, 0}, transmitted{1, 1, 1};
    float tnear = ray.tnear;
    RayHit hit = first;
    for (int layer = 0; layer < kMaxLayers; ++layer) {
      if (layer > 0 && !rays_.intersect(ray.origin, ray.direction, tnear, ray.tfar, hit)) break;
      Vec3 ci, oi;
      PixelShading::Entry* kept = layer < shading.count ? &shading.layers[layer] : nullptr;
      if (kept && kept->mesh == hit.mesh && kept->pi == hit.pi && kept->pj == hit.pj) {
        ci = kept->ci, oi = kept->oi;
      } else {
        shade(px, py, hit, tex, ci, oi);
        if (layer < PixelShading::kKept) {
          shading.layers[layer] = {hit.mesh, hit.pi, hit.pj, ci, oi};
          shading.count = std::max(shading.count, layer + 1);
        }
      }
      color += transmitted * ci;
      transmitted = transmitted * (Vec3{1, 1, 1} - oi);
      if (std::max({transmitted.x, transmitted.y, transmitted.z}) < 1.0f / 4096) break;
      tnear = hit.t + std::max(1e-4f * hit.t, 1e-6f);
    }
    // Most samples end on an opaque surface: alpha 1 without dividing.
    const float through = transmitted.x + transmitted.y + transmitted.z;
    rgba = Rgba{color.x, color.y, color.z, through == 0 ? 1.0f : 1.0f - through / 3.0f};
  }

  // Shades the surface that a sample's ray met, at the point of the same
  // patch that the ray through the pixel's centre meets, so that the one
  // shading a pixel takes lies where its samples fall on average, not
  // where its first hitting sample happens to fall.
  void shade(int px, int py, const RayHit& hit, Textures::Thread& tex, Vec3& ci, Vec3& oi) const {
    const PatchMeshData& mesh = *hit.mesh;
    const std::size_t meshIndex = std::size_t(hit.mesh - scene_.meshes.data());
    const int texture = textures_.textureOfMesh(meshIndex);
    const double cx = px + 0.5, cy = py + 0.5;
    SurfacePoint sp = evaluatePatch(mesh, hit.pi, hit.pj, hit.u, hit.v, false);
    float u = hit.u, v = hit.v, du = 0, dv = 0;
    if (planeStep(cx, cy, sp, surfaceNormal(sp, mesh, hit), du, dv)) {
      u = std::clamp(u + du, 0.0f, 1.0f);
      v = std::clamp(v + dv, 0.0f, 1.0f);
    }
    sp = evaluatePatch(mesh, hit.pi, hit.pj, u, v, texture >= 0);
    ShadeInput in;
    in.p = sp.p;
    in.n = surfaceNormal(sp, mesh, hit);
    Vec3 origin, direction;
    camera_.ray(cx, cy, origin, direction);
    in.i = camera_.perspective() ? normalize(sp.p - origin) : direction;
    Vec3 textureColor;
    if (texture >= 0) {
      float dsdx = 0, dtdx = 0, dsdy = 0, dtdy = 0;
      footprint(cx, cy, sp, in.n, dsdx, dtdx, dsdy, dtdy);
      textureColor = tex.lookup(texture, sp.s, sp.t, dsdx, dtdx, dsdy, dtdy);
    }
    shadeSurface(*mesh.material, scene_.lights, in, texture >= 0 ? &textureColor : nullptr, ci, oi);
  }

  // The unit normal from the surface's own derivatives; the facet's where
  // they give none (a collapsed edge).
  Vec3 surfaceNormal(const SurfacePoint& sp, const PatchMeshData& mesh, const RayHit& hit) const {
    const Vec3 n = cross(sp.dpdu, sp.dpdv) * mesh.normalSign;
    const float nl = length(n);
    return (nl > 0 && std::isfinite(nl)) ? n * (1.0f / nl) : rays_.facetNormal(hit);
  }

  // The change (du, dv) of the patch's parameters from the point sp to
  // where the ray through raster point (x, y) meets the tangent plane at sp,
  // whose unit normal is n; false when the ray runs along the plane or the
  // derivatives span no plane.
  bool planeStep(double x, double y, const SurfacePoint& sp, Vec3 n, float& du, float& dv) const {
    // The two coordinate axes on which the tangent plane projects best.
    int a = 0, b = 1;
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax >= ay && ax >= az) {
      a = 1, b = 2;
    } else if (ay >= az) {
      a = 0, b = 2;
    }
    const float det = sp.dpdu[a] * sp.dpdv[b] - sp.dpdv[a] * sp.dpdu[b];
    if (!(std::fabs(det) > 0)) return false;
    Vec3 o, d;
    camera_.ray(x, y, o, d);
    const float along = dot(n, d);
    if (!(std::fabs(along) > 1e-8f)) return false;
    const Vec3 dp = o + d * (dot(n, sp.p - o) / along) - sp.p;
    du = (dp[a] * sp.dpdv[b] - sp.dpdv[a] * dp[b]) / det;
    dv = (sp.dpdu[a] * dp[b] - dp[a] * sp.dpdu[b]) / det;
    return std::isfinite(du) && std::isfinite(dv);
  }

  // How s and t change from one shading to the next across the picture:
  // one shading a pixel, so the rays a pixel away from (x, y) meet the
  // tangent plane at sp, and the change in position is written in the
  // surface's own derivatives.
  void footprint(double x, double y, const SurfacePoint& sp, Vec3 n, float& dsdx, float& dtdx, float& dsdy,
                 float& dtdy) const {
    const auto delta = [&](double dx, double dy, float& ds, float& dt) {
      float du, dv;
      if (!planeStep(x + dx, y + dy, sp, n, du, dv)) return;
      ds = sp.dsdu * du + sp.dsdv * dv;
      dt = sp.dtdu * du + sp.dtdv * dv;
      if (!std::isfinite(ds) || !std::isfinite(dt)) ds = dt = 0;
    };
    delta(1, 0, dsdx, dtdx);
    delta(0, 1, dsdy, dtdy);
  }

  const FrameScene& scene_;
  const PictureOptions& o_;
  Camera camera_;
  int threads_;
  SamplePatterns patterns_;
  // The geometry before the textures: the image library that they need
  // loads meanwhile (renderFrame).
  RayScene rays_;
  Textures textures_;
};

std::string lowerExtension(const std::string& name) {
  std::string ext = std::filesystem::path(name).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

const char* formatName(PictureFormat f) {
  switch (f) {
    case PictureFormat::Tiff:
      return "tiff";
    case PictureFormat::Png:
      return "png";
    case PictureFormat::Exr:
      return "openexr";
  }
  return "tiff";
}

}  // namespace

bool pictureFormatFor(const std::string& name, const std::string& type, PictureFormat& format, std::string& why) {
  if (type == "tiff") return format = PictureFormat::Tiff, true;
  if (type == "png") return format = PictureFormat::Png, true;
  if (type == "openexr" || type == "exr") return format = PictureFormat::Exr, true;
  const std::string ext = lowerExtension(name);
  if (ext == ".tif" || ext == ".tiff") return format = PictureFormat::Tiff, true;
  if (ext == ".png") return format = PictureFormat::Png, true;
  if (ext == ".exr") return format = PictureFormat::Exr, true;
  why = "cannot tell the picture format of \"" + name + "\": name it .tif, .tiff, .png or .exr";
  return false;
}

bool renderPicture(const FrameScene& scene, FloatPicture& picture, const ReportFunction& report,
                   const Progress& progress) {
  try {
    FrameRenderer renderer(scene, report);
    renderer.render(picture, progress);
    return true;
  } catch (const FrameRenderer::Stopped&) {
  } catch (const std::bad_alloc&) {
    report(kNoMemory, Severity::Error, "no picture: out of memory");
  } catch (const std::exception& e) {
    report(kSystem, Severity::Error, std::string("no picture: ") + e.what());
  }
  picture.rgba.clear();
  return false;
}

bool writePicture(const FloatPicture& picture, const PictureOptions& o, const std::string& name,
                  const std::string& displayType, const ReportFunction& report) {
  PictureFormat format;
  std::string why;
  if (!pictureFormatFor(name, displayType, format, why)) {
    report(kBadToken, Severity::Error, why);
    return false;
  }
  const int channels = o.displayMode == "rgb" ? 3 : 4;
  const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
  const bool floats = format == PictureFormat::Exr || o.quantizeOne == 0;
  // PNG keeps colour apart from alpha; the others take it premultiplied.
  const bool unassociate = format == PictureFormat::Png && channels == 4;
  PictureData data;
  data.width = picture.width;
  data.height = picture.height;
  data.channels = channels;
  data.type = floats ? PixelType::Float : o.quantizeMax <= 255 ? PixelType::UInt8 : PixelType::UInt16;
  data.unassociated = unassociate;
  // Each value goes straight into the file's own type: quantized values are
  // whole numbers already.
  const std::size_t count = pixels * std::size_t(channels);
  std::vector<float> values;
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint16_t> words;
  if (data.type == PixelType::UInt8) {
    bytes.resize(count);
    data.pixels = bytes.data();
  } else if (data.type == PixelType::UInt16) {
    words.resize(count);
    data.pixels = words.data();
  } else {
    values.resize(count);
    data.pixels = values.data();
  }
  const float invGamma = 1.0f / o.gamma;
  // Row by row over every core; each value depends only on its pixel.
  parallelFor(picture.height, threadCount(o.threads), [&](int y, int) {
    // The dither's noise by channel: random01(x, y, 0xD1700000 + c).
    std::uint32_t seeds[4];
    for (int c = 0; c < 4; ++c) seeds[c] = random01Seed(y, 0xD1700000U + std::uint32_t(c));
    for (int x = 0; x < picture.width; ++x) {
      const std::size_t p = std::size_t(y) * std::size_t(picture.width) + std::size_t(x);
      const float* in = &picture.rgba[4 * p];
      const float alpha = in[3];
      for (int c = 0; c < channels; ++c) {
        float v = in[c];
        if (c < 3) {
          if (o.gain != 1 || o.gamma != 1) v = std::pow(std::fmax(0.0f, o.gain * v), invGamma);
          if (unassociate) v = alpha > 0 ? v / alpha : 0.0f;
        }
        if (!floats) {
          const float noise = o.dither * (2.0f * random01(x, seeds[c]) - 1.0f);
          v = std::round(o.quantizeOne * v + noise);
          // A NaN (from a NaN texel, say) would pass the clamp unchanged,
          // and converting it to the file's integer type is undefined: it
          // is taken as 0. The Quantize request keeps min..max within the
          // type.
          v = std::clamp(std::isnan(v) ? 0.0f : v, o.quantizeMin, o.quantizeMax);
        }
        const std::size_t at = p * std::size_t(channels) + std::size_t(c);
        if (data.type == PixelType::UInt8)
          bytes[at] = static_cast<std::uint8_t>(v);
        else if (data.type == PixelType::UInt16)
          words[at] = static_cast<std::uint16_t>(v);
        else
          values[at] = v;
      }
    }
  });

  // Written beside the target under a temporary name, then renamed into
  // place: the target is either the complete picture or left as it was.
  const std::filesystem::path target(name);
  static std::atomic<int> counter{0};
  const std::filesystem::path temporary =
      target.parent_path() / ("." + target.filename().string() + ".quor-" + std::to_string(getpid()) + "-" +
                              std::to_string(counter++) + ".tmp");
  std::string failure;
  try {
    if (!imageLibrary().writePicture(temporary.string(), formatName(format), data, failure) && failure.empty())
      failure = "the image library gave no reason";
  } catch (const std::exception& e) {
    failure = e.what();
  }
  std::error_code ec;
  if (failure.empty()) {
    std::filesystem::rename(temporary, target, ec);
    if (ec) failure = ec.message();
  }
  if (!failure.empty()) {
    std::filesystem::remove(temporary, ec);
    report(kSystem, Severity::Error, "cannot write the picture \"" + name + "\": " + failure);
    return false;
  }
  return true;
}

bool renderFrame(const FrameScene& scene, const std::string& outputOverride, const ReportFunction& report,
                 const Progress& progress) {
  // The picture file needs the image library, whose loading takes longer
  // than tessellating the demo card: it loads on a thread of its own while
  // the frame's geometry is made. A failure to load is reported where the
  // library is first used.
  const std::future<void> loading = std::async(std::launch::async, [] {
    try {
      imageLibrary();
    } catch (const std::exception&) {
    }
  });
  FloatPicture picture;
  if (!renderPicture(scene, picture, report, progress)) return false;
  const bool overridden = !outputOverride.empty();
  return writePicture(picture, scene.options, overridden ? outputOverride : scene.options.displayName,
                      overridden ? "file" : scene.options.displayType, report);
}

}  // namespace render
}  // namespace quor
