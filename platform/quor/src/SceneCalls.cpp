// The scene calls. Each becomes one request for the open scene's target
// (Calls.h): a line of RIB text, or a request of the rendered scene. A call
// that cannot be taken as given changes nothing and is reported on the
// error handler.
#include <cstdarg>
#include <cstring>
#include <string>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Calls.h"
#include "PatchMeshRules.h"
#include "RenderCalls.h"
#include "RequestError.h"
#include "RequestRules.h"
#include "Scene.h"

using quor::integer;
using quor::number;
using quor::numbers;
using quor::ParameterList;
using quor::RequestError;
using quor::Scene;
using quor::text;
using quor::render::Request;

QtBasis QrCatmullRomBasis = {
    {-0.5f, 1.5f, -1.5f, 0.5f},
    {1.0f, -2.5f, 2.0f, -0.5f},
    {-0.5f, 0.0f, 0.5f, 0.0f},
    {0.0f, 1.0f, 0.0f, 0.0f},
};

namespace {

// The values of QrCatmullRomBasis, to notice a caller that wrote into it.
const QtBasis kCatmullRom = {
    {-0.5f, 1.5f, -1.5f, 0.5f},
    {1.0f, -2.5f, 2.0f, -0.5f},
    {-0.5f, 0.0f, 0.5f, 0.0f},
    {0.0f, 1.0f, 0.0f, 0.0f},
};

// The token/value pairs after the last named argument, up to QR_NULL.
ParameterList collect(va_list args) {
  ParameterList params;
  while (QtToken token = va_arg(args, QtToken)) {
    params.push_back({token, va_arg(args, QtPointer)});
  }
  return params;
}

// A request of a name and a parameter list, as in
// Surface "plastic" "Ka" [1]; `what` names the name in messages.
void namedRequest(const char* requestName, QtToken name, const char* what, const ParameterList& params) {
  quor::call(requestName, [&](Request& r) {
    r.args.push_back(text(name, what));
    quor::appendParams(r, params);
  });
}

void matrix(const char* name, QtMatrix m) {
  quor::call(name, [=](Request& r) { r.args.push_back(numbers(m ? &m[0][0] : nullptr, 16, "matrix")); });
}

void triple(const char* name, float x, float y, float z) {
  quor::call(name, [=](Request& r) { r.args = {number(x), number(y), number(z)}; });
}

// One basis of QrBasis: the library's Catmull-Rom basis by its name, any
// other as its 16 numbers.
quor::render::Value basis(QtBasis b, const char* what) {
  if (b == QrCatmullRomBasis && std::memcmp(b, kCatmullRom, sizeof kCatmullRom) == 0) {
    return quor::render::Value::string("catmull-rom");
  }
  return numbers(b ? &b[0][0] : nullptr, 16, what);
}

}  // namespace

int QrBegin(const char* name) {
  quor::Library& lib = quor::library();
  try {
    if (lib.scene || quor::rendering()) throw RequestError("a scene is already open");
    if (!name || !*name) {
      quor::beginRendering();
      return 0;
    }
    lib.scene = std::make_unique<Scene>(name);
    lib.scene->write("##RenderMan RIB");
    return 0;
  } catch (const std::exception& e) {
    quor::report("Begin", e.what());
    return -1;
  }
}

void QrEnd(void) {
  if (quor::rendering()) return quor::endRendering();
  quor::Library& lib = quor::library();
  if (!lib.scene) {
    quor::report("End", "no scene is open (QrBegin was not called)");
    return;
  }
  if (const std::size_t open = lib.scene->openBlocks()) {
    const RequestError leftOpen = quor::blocksLeftOpen(lib.scene->outermostBlocks(), open);
    quor::report("End", leftOpen.what(), leftOpen.code());
  }
  if (!lib.scene->close()) quor::report("End", "the scene could not be written completely");
  lib.scene.reset();
}

void QrFrameBegin(QtInt frame) {
  quor::call("FrameBegin", [=](Request& r) { r.args = {integer(frame)}; });
}
void QrFrameEnd(void) { quor::call("FrameEnd"); }
void QrWorldBegin(void) { quor::call("WorldBegin"); }
void QrWorldEnd(void) { quor::call("WorldEnd"); }
void QrAttributeBegin(void) { quor::call("AttributeBegin"); }
void QrAttributeEnd(void) { quor::call("AttributeEnd"); }
void QrTransformBegin(void) { quor::call("TransformBegin"); }
void QrTransformEnd(void) { quor::call("TransformEnd"); }
void QrIdentity(void) { quor::call("Identity"); }
void QrReverseOrientation(void) { quor::call("ReverseOrientation"); }
void QrTransform(QtMatrix m) { matrix("Transform", m); }
void QrConcatTransform(QtMatrix m) { matrix("ConcatTransform", m); }
void QrTranslate(QtFloat dx, QtFloat dy, QtFloat dz) { triple("Translate", dx, dy, dz); }
void QrScale(QtFloat sx, QtFloat sy, QtFloat sz) { triple("Scale", sx, sy, sz); }

void QrRotate(QtFloat angle, QtFloat dx, QtFloat dy, QtFloat dz) {
  quor::call("Rotate", [=](Request& r) { r.args = {number(angle), number(dx), number(dy), number(dz)}; });
}

void QrFormat(QtInt xres, QtInt yres, QtFloat pixelAspect) {
  quor::call("Format", [=](Request& r) { r.args = {integer(xres), integer(yres), number(pixelAspect)}; });
}

void QrClipping(QtFloat nearPlane, QtFloat farPlane) {
  quor::call("Clipping", [=](Request& r) { r.args = {number(nearPlane), number(farPlane)}; });
}

void QrSides(QtInt sides) {
  quor::call("Sides", [=](Request& r) { r.args = {integer(sides)}; });
}

void QrColor(const QtFloat* rgb) {
  quor::call("Color", [=](Request& r) { r.args.push_back(numbers(rgb, 3, "colour")); });
}

void QrDisplay(const char* name, QtToken type, QtToken mode, ...) {
  va_list args;
  va_start(args, mode);
  const ParameterList params = collect(args);
  va_end(args);
  quor::call("Display", [&](Request& r) {
    r.args = {text(name, "file name"), text(type, "display type"), text(mode, "mode")};
    quor::appendParams(r, params);
  });
}

void QrProjection(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("Projection", name, "projection name", params);
}

void QrOption(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("Option", name, "option name", params);
}

void QrAttribute(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("Attribute", name, "attribute name", params);
}

void QrLightSource(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("LightSource", name, "shader name", params);
}

void QrSurface(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("Surface", name, "shader name", params);
}

void QrBasis(QtBasis ubasis, QtInt ustep, QtBasis vbasis, QtInt vstep) {
  quor::call("Basis", [=](Request& r) {
    r.args = {basis(ubasis, "u basis"), integer(ustep), basis(vbasis, "v basis"), integer(vstep)};
  });
}

void QrPatchMeshV(QtToken type, QtInt nu, QtToken uwrap, QtInt nv, QtToken vwrap, QtInt n, QtToken tokens[],
                  QtPointer values[]) {
  quor::call("PatchMesh", [=](Request& r) {
    r.args = {text(type, "type"), integer(nu), text(uwrap, "u wrap"), integer(nv), text(vwrap, "v wrap")};
    // The mesh's shape tells how many values each parameter holds.
    const quor::Steps steps = quor::currentSteps();
    const quor::MeshShape shape = quor::meshShape(type, nu, uwrap, nv, vwrap, steps.u, steps.v);
    if (n < 0 || (n > 0 && (!tokens || !values))) throw RequestError("no parameter list (null pointer)");
    ParameterList params;
    for (int i = 0; i < n; ++i) {
      if (!tokens[i]) throw RequestError("parameter token " + std::to_string(i) + " is a null pointer");
      params.push_back({tokens[i], values[i]});
    }
    quor::appendParams(r, params, [&](const quor::Declaration& d) { return shape.items(d.storage); });
  });
}

void QrArchiveBegin(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("ArchiveBegin", name, "archive name", params);
}

void QrArchiveEnd(void) { quor::call("ArchiveEnd"); }

// The archive is read by the renderer; there is nothing here for the
// callback to see, so it is never called.
void QrReadArchive(QtToken name, QtArchiveCallback callback, ...) {
  (void)callback;
  va_list args;
  va_start(args, callback);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("ReadArchive", name, "archive name", params);
}

// A comment line of the RIB text, which a rendered scene has no use for;
// line breaks in the text become blanks so it stays one line.
void QrComment(const char* text) {
  if (quor::rendering()) return;
  try {
    Scene& s = quor::library().openScene();
    if (!text) throw RequestError("no text (null pointer)");
    std::string line = std::string("# ") + text;
    for (char& c : line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    s.write(line);
  } catch (const RequestError& e) {
    quor::report("Comment", e.what(), e.code());
  }
}
