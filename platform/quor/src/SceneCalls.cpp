// The scene calls. Each writes exactly one RIB request line to the open scene,
// or, when the call cannot be written as given, nothing at all and one line on
// standard error.
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "RenderCalls.h"
#include "RibText.h"
#include "Scene.h"

using quor::Block;
using quor::Declaration;
using quor::Line;
using quor::ParameterList;
using quor::RequestError;
using quor::Scene;
using quor::StorageClass;

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

// Runs `build` on the open scene; a failure is reported under the request's
// name and leaves the scene as it was. (A rendered scene takes its calls
// through renderCall instead.)
template <class Build>
void request(const char* name, Build build) {
  try {
    build(quor::library().openScene());
  } catch (const std::bad_alloc&) {
    quor::report(name, "out of memory");
  } catch (const std::exception& e) {
    quor::report(name, e.what());
  }
}

// Shader, light, camera and attribute parameters hold one item each.
std::uint64_t oneItem(const Declaration&) { return 1; }

// A request of a name and a parameter list, as in
// Surface "plastic" "Ka" [1]; `what` names the name in messages.
void namedRequest(const char* requestName, QtToken name, const char* what, const ParameterList& params) {
  if (quor::rendering()) {
    return quor::renderCall(
        requestName, [&](auto& a) { a = {quor::text(name, what)}; }, params);
  }
  request(requestName, [&](Scene& s) { s.write(Line(requestName).str(name, what).params(params, oneItem).text()); });
}

// The token/value pairs after the last named argument, up to QR_NULL.
ParameterList collect(va_list args) {
  ParameterList params;
  while (QtToken token = va_arg(args, QtToken)) {
    params.push_back({token, va_arg(args, QtPointer)});
  }
  return params;
}

void simple(const char* name) {
  if (quor::rendering()) return quor::renderCall(name);
  request(name, [name](Scene& s) { s.write(name); });
}

void begin(Block block, const char* name) {
  if (quor::rendering()) return quor::renderCall(name);
  request(name, [=](Scene& s) { s.begin(block, name); });
}

void end(Block block, const char* name) {
  if (quor::rendering()) return quor::renderCall(name);
  request(name, [=](Scene& s) { s.end(block, name); });
}

void matrix(const char* name, QtMatrix m) {
  if (quor::rendering()) {
    return quor::renderCall(name, [=](auto& a) { a.push_back(quor::numbers(m ? &m[0][0] : nullptr, 16, "matrix")); });
  }
  request(name, [=](Scene& s) { s.write(Line(name).floats(m ? &m[0][0] : nullptr, 16, "matrix").text()); });
}

void triple(const char* name, float x, float y, float z) {
  if (quor::rendering())
    return quor::renderCall(name, [=](auto& a) { a = {quor::number(x), quor::number(y), quor::number(z)}; });
  request(name, [=](Scene& s) { s.write(Line(name).num(x).num(y).num(z).text()); });
}

// Patches and their corners along one direction of a patch mesh.
struct Direction {
  std::uint64_t patches;
  std::uint64_t corners;  // where varying values sit
};

Direction direction(bool bicubic, int n, const char* wrap, int step, const char* axis) {
  const bool periodic = wrap && std::strcmp(wrap, "periodic") == 0;
  if (!periodic && !(wrap && std::strcmp(wrap, "nonperiodic") == 0)) {
    throw RequestError(std::string(axis) + " wrap must be \"periodic\" or \"nonperiodic\"");
  }
  const auto fail = [&](const std::string& rule) {
    throw RequestError(std::string("n") + axis + " = " + std::to_string(n) + " does not fit: " + rule);
  };
  std::uint64_t patches = 0;
  if (!bicubic) {
    if (n < 2) fail("a bilinear mesh needs at least 2 vertices");
    patches = periodic ? n : n - 1;
  } else if (periodic) {
    if (n < 1 || n % step != 0) fail("a periodic bicubic mesh needs a multiple of the step " + std::to_string(step));
    patches = n / step;
  } else {
    if (n < 4 || (n - 4) % step != 0) fail("a bicubic mesh needs 4 + k * " + std::to_string(step) + " vertices");
    patches = (n - 4) / step + 1;
  }
  return {patches, periodic ? patches : patches + 1};
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
    quor::report("End", std::to_string(open) + " block(s) left open");
  }
  if (!lib.scene->close()) quor::report("End", "the scene could not be written completely");
  lib.scene.reset();
}

void QrFrameBegin(QtInt frame) {
  if (quor::rendering()) return quor::renderCall("FrameBegin", [=](auto& a) { a = {quor::number(float(frame))}; });
  request("FrameBegin", [=](Scene& s) { s.begin(Block::Frame, Line("FrameBegin").num(frame).text()); });
}
void QrFrameEnd(void) { end(Block::Frame, "FrameEnd"); }
void QrWorldBegin(void) { begin(Block::World, "WorldBegin"); }
void QrWorldEnd(void) { end(Block::World, "WorldEnd"); }
void QrAttributeBegin(void) { begin(Block::Attribute, "AttributeBegin"); }
void QrAttributeEnd(void) { end(Block::Attribute, "AttributeEnd"); }
void QrTransformBegin(void) { begin(Block::Transform, "TransformBegin"); }
void QrTransformEnd(void) { end(Block::Transform, "TransformEnd"); }
void QrIdentity(void) { simple("Identity"); }
void QrReverseOrientation(void) { simple("ReverseOrientation"); }
void QrTransform(QtMatrix m) { matrix("Transform", m); }
void QrConcatTransform(QtMatrix m) { matrix("ConcatTransform", m); }
void QrTranslate(QtFloat dx, QtFloat dy, QtFloat dz) { triple("Translate", dx, dy, dz); }
void QrScale(QtFloat sx, QtFloat sy, QtFloat sz) { triple("Scale", sx, sy, sz); }

void QrRotate(QtFloat angle, QtFloat dx, QtFloat dy, QtFloat dz) {
  if (quor::rendering()) {
    return quor::renderCall("Rotate", [=](auto& a) {
      a = {quor::number(angle), quor::number(dx), quor::number(dy), quor::number(dz)};
    });
  }
  request("Rotate", [=](Scene& s) { s.write(Line("Rotate").num(angle).num(dx).num(dy).num(dz).text()); });
}

void QrFormat(QtInt xres, QtInt yres, QtFloat pixelAspect) {
  if (quor::rendering()) {
    return quor::renderCall("Format", [=](auto& a) {
      a = {quor::number(float(xres)), quor::number(float(yres)), quor::number(pixelAspect)};
    });
  }
  request("Format", [=](Scene& s) {
    if (xres <= 0 || yres <= 0) throw RequestError("the resolution must be positive");
    s.write(Line("Format").num(xres).num(yres).num(pixelAspect).text());
  });
}

void QrClipping(QtFloat nearPlane, QtFloat farPlane) {
  if (quor::rendering()) {
    return quor::renderCall("Clipping", [=](auto& a) { a = {quor::number(nearPlane), quor::number(farPlane)}; });
  }
  request("Clipping", [=](Scene& s) { s.write(Line("Clipping").num(nearPlane).num(farPlane).text()); });
}

void QrSides(QtInt sides) {
  if (quor::rendering()) return quor::renderCall("Sides", [=](auto& a) { a = {quor::number(float(sides))}; });
  request("Sides", [=](Scene& s) {
    if (sides != 1 && sides != 2) throw RequestError("sides must be 1 or 2");
    s.write(Line("Sides").num(sides).text());
  });
}

void QrColor(const QtFloat* rgb) {
  if (quor::rendering()) {
    return quor::renderCall("Color", [=](auto& a) { a.push_back(quor::numbers(rgb, 3, "colour")); });
  }
  request("Color", [=](Scene& s) { s.write(Line("Color").floats(rgb, 3, "color").text()); });
}

void QrDisplay(const char* name, QtToken type, QtToken mode, ...) {
  va_list args;
  va_start(args, mode);
  const ParameterList params = collect(args);
  va_end(args);
  if (quor::rendering()) {
    return quor::renderCall(
        "Display",
        [&](auto& a) {
          a = {quor::text(name, "file name"), quor::text(type, "display type"), quor::text(mode, "mode")};
        },
        params);
  }
  request("Display", [&](Scene& s) {
    s.write(Line("Display")
                .str(name, "file name")
                .str(type, "display type")
                .str(mode, "mode")
                .params(params, oneItem)
                .text());
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
  if (quor::rendering()) {
    return quor::renderCall(
        "LightSource", [&](auto& a) { a = {quor::text(name, "shader name")}; }, params);
  }
  request("LightSource", [&](Scene& s) {
    Line line("LightSource");
    line.str(name, "shader name");
    // The handle is taken only once the rest of the request has been built.
    std::string rest = Line("").params(params, oneItem).text();
    s.write(line.num(s.nextLightNumber()).text() + rest);
  });
}

void QrSurface(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  namedRequest("Surface", name, "shader name", params);
}

void QrBasis(QtBasis ubasis, QtInt ustep, QtBasis vbasis, QtInt vstep) {
  if (quor::rendering()) {
    return quor::renderCall("Basis", [=](auto& a) {
      a = {quor::numbers(ubasis ? &ubasis[0][0] : nullptr, 16, "u basis"), quor::number(float(ustep)),
           quor::numbers(vbasis ? &vbasis[0][0] : nullptr, 16, "v basis"), quor::number(float(vstep))};
    });
  }
  request("Basis", [=](Scene& s) {
    if (ustep < 1 || vstep < 1) throw RequestError("the steps must be positive");
    const auto basis = [](Line& line, QtBasis b, const char* what) {
      if (b == QrCatmullRomBasis && std::memcmp(b, kCatmullRom, sizeof kCatmullRom) == 0) {
        line.str("catmull-rom", what);
      } else {
        line.floats(b ? &b[0][0] : nullptr, 16, what);
      }
    };
    Line line("Basis");
    basis(line, ubasis, "u basis");
    line.num(ustep);
    basis(line, vbasis, "v basis");
    line.num(vstep);
    s.write(line.text());
    s.setSteps({ustep, vstep});
  });
}

void QrPatchMeshV(QtToken type, QtInt nu, QtToken uwrap, QtInt nv, QtToken vwrap, QtInt n, QtToken tokens[],
                  QtPointer values[]) {
  if (quor::rendering()) return quor::renderPatchMesh(type, nu, uwrap, nv, vwrap, n, tokens, values);
  request("PatchMesh", [=](Scene& s) {
    const bool bicubic = type && std::strcmp(type, "bicubic") == 0;
    if (!bicubic && !(type && std::strcmp(type, "bilinear") == 0)) {
      throw RequestError("type must be \"bilinear\" or \"bicubic\"");
    }
    const Direction u = direction(bicubic, nu, uwrap, s.steps().u, "u");
    const Direction v = direction(bicubic, nv, vwrap, s.steps().v, "v");
    if (n < 0 || (n > 0 && (!tokens || !values))) throw RequestError("no parameter list (null pointer)");
    ParameterList params;
    bool hasPosition = false;
    for (int i = 0; i < n; ++i) {
      if (!tokens[i]) throw RequestError("parameter token " + std::to_string(i) + " is a null pointer");
      const std::string name = quor::declarationOf(tokens[i]).name;
      hasPosition = hasPosition || name == "P" || name == "Pw" || name == "Pz";
      params.push_back({tokens[i], values[i]});
    }
    if (!hasPosition) throw RequestError("no \"P\", \"Pw\" or \"Pz\" among the parameters");
    const std::uint64_t patches = u.patches * v.patches;
    const auto items = [&](const Declaration& d) -> std::uint64_t {
      switch (d.storage) {
        case StorageClass::Constant:
          return 1;
        case StorageClass::Uniform:
          return patches;
        case StorageClass::Varying:
          return u.corners * v.corners;
        case StorageClass::Vertex:
          return std::uint64_t(nu) * std::uint64_t(nv);
        case StorageClass::FaceVarying:
          return 4 * patches;
        case StorageClass::FaceVertex:
          return (bicubic ? 16 : 4) * patches;
      }
      return 1;
    };
    Line line("PatchMesh");
    line.str(type, "type").num(nu).str(uwrap, "u wrap").num(nv).str(vwrap, "v wrap").params(params, items);
    s.write(line);
  });
}

void QrArchiveBegin(QtToken name, ...) {
  va_list args;
  va_start(args, name);
  const ParameterList params = collect(args);
  va_end(args);
  if (quor::rendering()) {
    return quor::renderCall(
        "ArchiveBegin", [&](auto& a) { a = {quor::text(name, "archive name")}; }, params);
  }
  request("ArchiveBegin", [&](Scene& s) {
    s.begin(Block::Archive, Line("ArchiveBegin").str(name, "archive name").params(params, oneItem).text());
  });
}

void QrArchiveEnd(void) { end(Block::Archive, "ArchiveEnd"); }

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

// A comment line; line breaks in the text become blanks so it stays one line.
void QrComment(const char* text) {
  if (quor::rendering()) return;  // nothing to render
  request("Comment", [=](Scene& s) {
    if (!text) throw RequestError("no text (null pointer)");
    std::string line = std::string("# ") + text;
    for (char& c : line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    s.write(line);
  });
}
