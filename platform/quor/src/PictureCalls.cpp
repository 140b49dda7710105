// The calls that set up the picture beyond its size and camera: screen
// window, pixel samples and filter, exposure, quantization, and opacity.
// Like the other scene calls, each writes one RIB request, or hands it to
// the renderer in a rendered scene.
#include <cmath>
#include <new>
#include <string>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "RenderCalls.h"
#include "RibText.h"
#include "Scene.h"

using quor::Line;
using quor::RequestError;
using quor::Scene;

namespace {

template <class Build>
void write(const char* name, Build build) {
  try {
    quor::Scene& s = quor::library().openScene();
    Line line(name);
    build(line);
    s.write(line.text());
  } catch (const std::bad_alloc&) {
    quor::report(name, "out of memory");
  } catch (const std::exception& e) {
    quor::report(name, e.what());
  }
}

// The name a RIB file gives a filter function; null for one it has none for.
const char* filterName(QtFilterFunc filter) {
  if (filter == QrBoxFilter) return "box";
  if (filter == QrGaussianFilter) return "gaussian";
  return nullptr;
}

}  // namespace

QtFloat QrBoxFilter(QtFloat, QtFloat, QtFloat, QtFloat) { return 1.0f; }

QtFloat QrGaussianFilter(QtFloat x, QtFloat y, QtFloat xwidth, QtFloat ywidth) {
  x *= 2.0f / xwidth;
  y *= 2.0f / ywidth;
  return std::exp(-2.0f * (x * x + y * y));
}

void QrScreenWindow(QtFloat left, QtFloat right, QtFloat bottom, QtFloat top) {
  if (quor::rendering()) {
    return quor::renderCall("ScreenWindow", [=](auto& a) {
      a = {quor::number(left), quor::number(right), quor::number(bottom), quor::number(top)};
    });
  }
  write("ScreenWindow", [=](Line& l) { l.num(left).num(right).num(bottom).num(top); });
}

void QrPixelSamples(QtFloat xsamples, QtFloat ysamples) {
  if (quor::rendering()) {
    return quor::renderCall("PixelSamples", [=](auto& a) { a = {quor::number(xsamples), quor::number(ysamples)}; });
  }
  write("PixelSamples", [=](Line& l) { l.num(xsamples).num(ysamples); });
}

void QrPixelFilter(QtFilterFunc filter, QtFloat xwidth, QtFloat ywidth) {
  const char* name = filterName(filter);
  if (quor::rendering()) {
    return quor::renderCall("PixelFilter", [=](auto& a) {
      if (!name) throw RequestError("only QrBoxFilter and QrGaussianFilter are known");
      a = {quor::text(name, "filter"), quor::number(xwidth), quor::number(ywidth)};
    });
  }
  write("PixelFilter", [=](Line& l) {
    if (!name) throw RequestError("only QrBoxFilter and QrGaussianFilter can be written");
    l.str(name, "filter").num(xwidth).num(ywidth);
  });
}

void QrExposure(QtFloat gain, QtFloat gamma) {
  if (quor::rendering()) {
    return quor::renderCall("Exposure", [=](auto& a) { a = {quor::number(gain), quor::number(gamma)}; });
  }
  write("Exposure", [=](Line& l) { l.num(gain).num(gamma); });
}

void QrQuantize(QtToken type, QtInt one, QtInt min, QtInt max, QtFloat ditherAmplitude) {
  if (quor::rendering()) {
    return quor::renderCall("Quantize", [=](auto& a) {
      a = {quor::text(type, "type"), quor::number(float(one)), quor::number(float(min)), quor::number(float(max)),
           quor::number(ditherAmplitude)};
    });
  }
  write("Quantize", [=](Line& l) { l.str(type, "type").num(one).num(min).num(max).num(ditherAmplitude); });
}

void QrOpacity(const QtFloat* rgb) {
  if (quor::rendering()) {
    return quor::renderCall("Opacity", [=](auto& a) { a.push_back(quor::numbers(rgb, 3, "opacity")); });
  }
  write("Opacity", [=](Line& l) { l.floats(rgb, 3, "opacity"); });
}
