// The requests of the camera and the picture, given before WorldBegin:
// format, projection, screen window, clipping, samples, filter, exposure,
// quantization, display, and the renderer's options.
#include <cmath>
#include <cstring>

#include "render/Renderer.h"
#include "render/RequestHandlers.h"

namespace quor {
namespace render {

void Handlers::format(const Args& a) {
  requireOptions();
  const float x = a.number(0, "x resolution"), y = a.number(1, "y resolution");
  const float aspect = a.number(2, "pixel aspect ratio");
  if (x > kMaxResolution || y > kMaxResolution || double(x) * double(y) > double(kMaxPixels)) {
    fail(kLimit, "a picture of " + std::to_string(int64_t(x)) + " x " + std::to_string(int64_t(y)) +
                     " pixels is too large: at most " + std::to_string(kMaxResolution) + " pixels a side and " +
                     std::to_string(kMaxPixels) + " pixels in all");
  }
  st.options.xres = int(x);
  st.options.yres = int(y);
  st.options.pixelAspect = aspect;
}

void Handlers::projection(const Args& a) {
  requireOptions();
  const std::string name = a.string(0, "projection name");
  const std::vector<Param> params = a.params();
  if (name == "orthographic") {
    for (const Param& p : params)
      warnOnce("Projection orthographic " + p.decl.name,
               prefix() + "parameter " + quoted(p.token) + " of \"orthographic\" is ignored");
    st.options.perspective = false;
  } else if (name == "perspective") {
    float fov = 90.0f;
    for (const Param& p : params) {
      if (p.decl.name == "fov") {
        fov = paramFloat(p);
      } else {
        warnOnce("Projection perspective " + p.decl.name, prefix() + "parameter " + quoted(p.token) + " is ignored");
      }
    }
    if (!(fov > 0 && fov < 180))
      fail(kRange, "the field of view must lie between 0 and 180 degrees, not " + std::to_string(fov));
    st.options.perspective = true;
    st.options.fov = fov;
  } else {
    fail(kBadToken, "unknown projection " + quoted(name) + " (\"perspective\" or \"orthographic\")");
  }
  // Transformations given before the projection do not carry into the
  // camera's own transformation.
  st.attr.transform = Mat4::identity();
}

void Handlers::screenWindow(const Args& a) {
  requireOptions();
  std::size_t i = 0;
  const std::vector<float> w = a.numbers(i, 4, "screen window (left right bottom top)");
  std::memcpy(st.options.screenWindow, w.data(), sizeof st.options.screenWindow);
  st.options.screenWindowGiven = true;
}

void Handlers::clipping(const Args& a) {
  requireOptions();
  const float n = a.number(0, "near plane"), f = a.number(1, "far plane");
  st.options.nearClip = n;
  st.options.farClip = f;
}

void Handlers::pixelSamples(const Args& a) {
  requireOptions();
  const float x = a.number(0, "x samples"), y = a.number(1, "y samples");
  if (!(x <= kMaxPixelSamples && y <= kMaxPixelSamples)) {
    fail(kRange, "pixel samples must lie between 1 and " + std::to_string(kMaxPixelSamples));
  }
  st.options.xsamples = int(std::lround(x));
  st.options.ysamples = int(std::lround(y));
}

void Handlers::pixelFilter(const Args& a) {
  requireOptions();
  const std::string name = a.string(0, "filter name");
  const float xw = a.number(1, "x width"), yw = a.number(2, "y width");
  if (!(xw <= kMaxFilterWidth && yw <= kMaxFilterWidth)) {
    fail(kRange, "filter widths must lie above 0 and up to " + std::to_string(int(kMaxFilterWidth)));
  }
  if (name == "box") {
    st.options.filter = FilterKind::Box;
  } else {
    if (name != "gaussian")
      warnOnce("PixelFilter " + name,
               prefix() + "pixel filter " + quoted(name) + " is not known to this renderer; \"gaussian\" is used");
    st.options.filter = FilterKind::Gaussian;
  }
  st.options.filterWidth[0] = xw;
  st.options.filterWidth[1] = yw;
}

void Handlers::exposure(const Args& a) {
  requireOptions();
  const float gain = a.number(0, "gain"), gamma = a.number(1, "gamma");
  st.options.gain = gain;
  st.options.gamma = gamma;
}

void Handlers::quantize(const Args& a) {
  requireOptions();
  const std::string type = a.string(0, "quantize type");
  const float one = a.number(1, "one"), lo = a.number(2, "min"), hi = a.number(3, "max"),
              dither = a.number(4, "dither");
  if (type != "rgba") {
    warnOnce("Quantize " + type, prefix() + "only \"rgba\" quantization is used; " + quoted(type) + " is ignored");
    return;
  }
  st.options.quantizeOne = one;
  st.options.quantizeMin = lo;
  st.options.quantizeMax = hi;
  st.options.dither = dither;
}

void Handlers::display(const Args& a) {
  requireOptions();
  const std::string name = a.string(0, "display name");
  const std::string type = a.string(1, "display type");
  const std::string mode = a.string(2, "display mode");
  if (name[0] == '+') {
    warnOnce("Display +", prefix() + "additional displays (" + quoted(name) + ") are not written");
    return;
  }
  if (type != "file" && type != "tiff" && type != "png" && type != "openexr" && type != "exr") {
    fail(kBadToken, "unknown display type " + quoted(type) + " (\"file\", \"tiff\", \"png\" or \"openexr\")");
  }
  if (mode != "rgb" && mode != "rgba")
    fail(kBadToken, "unknown display mode " + quoted(mode) + " (\"rgb\" or \"rgba\")");
  PictureFormat format;
  std::string why;
  if (!pictureFormatFor(name, type, format, why)) fail(kBadToken, why);
  st.options.displayName = name;
  st.options.displayType = type;
  st.options.displayMode = mode;
}

void Handlers::option(const Args& a) {
  const std::string name = a.string(0, "option name");
  for (const Param& p : a.params()) {
    if (name == "limits" && p.decl.name == "threads") {
      requireOptions();
      const float n = paramFloat(p);
      if (!isWhole(n) || n < 0 || n > 1024)
        fail(kRange, "threads must be a whole number from 0 (one per core) to 1024");
      st.options.threads = int(n);
    } else {
      warnOnce("Option " + name + " " + p.decl.name,
               prefix() + "option " + quoted(name) + " " + quoted(p.decl.name) + " is not used by this renderer");
    }
  }
}

}  // namespace render
}  // namespace quor
