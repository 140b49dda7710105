// The calls that set up the picture beyond its size and camera: screen
// window, pixel samples and filter, exposure, quantization, and opacity.
// Like the other scene calls, each becomes one request for the open scene's
// target.
#include <cmath>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Calls.h"
#include "RequestError.h"

using quor::integer;
using quor::number;
using quor::render::Request;

namespace {

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
  quor::call("ScreenWindow", [=](Request& r) { r.args = {number(left), number(right), number(bottom), number(top)}; });
}

void QrPixelSamples(QtFloat xsamples, QtFloat ysamples) {
  quor::call("PixelSamples", [=](Request& r) { r.args = {number(xsamples), number(ysamples)}; });
}

void QrPixelFilter(QtFilterFunc filter, QtFloat xwidth, QtFloat ywidth) {
  const char* name = filterName(filter);
  quor::call("PixelFilter", [=](Request& r) {
    if (!name) throw quor::RequestError("only QrBoxFilter and QrGaussianFilter are known");
    r.args = {quor::text(name, "filter"), number(xwidth), number(ywidth)};
  });
}

void QrExposure(QtFloat gain, QtFloat gamma) {
  quor::call("Exposure", [=](Request& r) { r.args = {number(gain), number(gamma)}; });
}

void QrQuantize(QtToken type, QtInt one, QtInt min, QtInt max, QtFloat ditherAmplitude) {
  quor::call("Quantize", [=](Request& r) {
    r.args = {quor::text(type, "type"), integer(one), integer(min), integer(max), number(ditherAmplitude)};
  });
}

void QrOpacity(const QtFloat* rgb) {
  quor::call("Opacity", [=](Request& r) { r.args.push_back(quor::numbers(rgb, 3, "opacity")); });
}
