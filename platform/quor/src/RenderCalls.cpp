#include "RenderCalls.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Declarations.h"
#include "RendererModule.h"

namespace quor {
namespace {

QtErrorHandler gHandler = QrErrorPrint;

// The renderer's reports go to the installed error handler.
class HandlerDiagnostics : public render::Diagnostics {
 public:
  void report(int code, render::Severity severity, const std::string& message) override {
    reportError(code, static_cast<int>(severity), message);
  }
};

struct Rendered {
  HandlerDiagnostics diagnostics;
  std::unique_ptr<render::RenderedScene> scene;
};

std::unique_ptr<Rendered>& rendered() {
  // Never destroyed, like the library's own state.
  static auto* instance = new std::unique_ptr<Rendered>;
  return *instance;
}

// Runs `build` and hands its request to the renderer; a failure to read the
// call is an error of the frame.
template <class Build>
void hand(const char* name, Build build) {
  render::RenderedScene& in = *rendered()->scene;
  try {
    render::Request r;
    r.name = name;
    build(r.args);
    in.apply(r);
  } catch (const std::bad_alloc&) {
    in.report(render::kNoMemory, render::Severity::Error, std::string(name) + ": out of memory");
  } catch (const std::exception& e) {
    in.report(render::kBadToken, render::Severity::Error, std::string(name) + ": " + e.what());
  }
}

// Appends "token" [values] for each parameter, `items(declaration)` items each.
template <class Items>
void appendParams(std::vector<render::Value>& args, const ParameterList& params, Items items) {
  for (const Parameter& p : params) {
    if (!p.token) throw RequestError("a parameter token is a null pointer");
    const Declaration d = declarationOf(p.token);
    const std::uint64_t n = items(d);
    const std::uint64_t count = n * std::uint64_t(d.valuesPerItem());
    if (n > (std::uint64_t(1) << 30) || count > (std::uint64_t(1) << 30)) {
      throw RequestError("too many values for \"" + std::string(p.token) + "\"");
    }
    if (!p.value && count > 0) throw RequestError("no value for \"" + std::string(p.token) + "\" (null pointer)");
    args.push_back(render::Value::string(p.token));
    switch (d.kind) {
      case ValueKind::Float: {
        const float* v = static_cast<const float*>(p.value);
        args.push_back(render::Value::numberArray(std::vector<float>(v, v + count)));
        break;
      }
      case ValueKind::Integer: {
        const int* v = static_cast<const int*>(p.value);
        std::vector<float> values(v, v + count);
        args.push_back(render::Value::numberArray(std::move(values)));
        break;
      }
      case ValueKind::String: {
        const char* const* v = static_cast<const char* const*>(p.value);
        std::vector<std::string> strings;
        for (std::uint64_t i = 0; i < count; ++i) {
          if (!v[i]) throw RequestError("\"" + std::string(p.token) + "\": a string is a null pointer");
          strings.emplace_back(v[i]);
        }
        args.push_back(render::Value::stringArray(std::move(strings)));
        break;
      }
    }
  }
}

}  // namespace

void reportError(int code, int severity, const std::string& message) {
  (gHandler ? gHandler : QrErrorPrint)(code, severity, message.c_str());
}

bool rendering() { return rendered() != nullptr; }

void beginRendering() {
  const render::ModuleTable& renderer = rendererModule();
  auto r = std::make_unique<Rendered>();
  r->scene = renderer.newScene(r->diagnostics);
  rendered() = std::move(r);
}

void endRendering() {
  rendered()->scene->finish("");
  rendered().reset();
}

render::Value text(const char* s, const char* what) {
  if (!s) throw RequestError(std::string("no ") + what + " (null pointer)");
  return render::Value::string(s);
}

render::Value numbers(const float* values, std::size_t count, const char* what) {
  if (!values) throw RequestError(std::string("no ") + what + " (null pointer)");
  return render::Value::numberArray(std::vector<float>(values, values + count));
}

void renderCall(const char* name, const BuildArgs& build, const ParameterList& params) {
  hand(name, [&](std::vector<render::Value>& out) {
    if (build) build(out);
    appendParams(out, params, [](const Declaration&) { return std::uint64_t(1); });
  });
}

void renderPatchMesh(QtToken type, QtInt nu, QtToken uwrap, QtInt nv, QtToken vwrap, QtInt n, QtToken tokens[],
                     QtPointer values[]) {
  render::RenderedScene& in = *rendered()->scene;
  const int ustep = in.ustep(), vstep = in.vstep();
  hand("PatchMesh", [&](std::vector<render::Value>& out) {
    const bool bicubic = type && std::strcmp(type, "bicubic") == 0;
    out.push_back(text(type, "type"));
    out.push_back(number(float(nu)));
    out.push_back(text(uwrap, "u wrap"));
    out.push_back(number(float(nv)));
    out.push_back(text(vwrap, "v wrap"));
    if (n < 0 || (n > 0 && (!tokens || !values))) throw RequestError("no parameter list (null pointer)");
    // The counts of each storage class follow from the mesh's shape; the
    // renderer checks the shape itself, so a shape that does not fit only
    // needs counts that stay finite here.
    const auto patches = [&](int count, const char* wrap, int step) -> std::uint64_t {
      const bool periodic = wrap && std::strcmp(wrap, "periodic") == 0;
      if (count < 1) return 0;
      if (!bicubic) return std::uint64_t(periodic ? count : count - 1);
      if (periodic) return std::uint64_t(count / step);
      return count < 4 ? 0 : std::uint64_t((count - 4) / step + 1);
    };
    const std::uint64_t up = patches(nu, uwrap, ustep), vp = patches(nv, vwrap, vstep);
    const bool uper = uwrap && std::strcmp(uwrap, "periodic") == 0;
    const bool vper = vwrap && std::strcmp(vwrap, "periodic") == 0;
    ParameterList params;
    for (int i = 0; i < n; ++i) params.push_back({tokens[i], values[i]});
    appendParams(out, params, [&](const Declaration& d) -> std::uint64_t {
      switch (d.storage) {
        case StorageClass::Constant:
          return 1;
        case StorageClass::Uniform:
          return up * vp;
        case StorageClass::Varying:
          return (uper ? up : up + 1) * (vper ? vp : vp + 1);
        case StorageClass::Vertex:
          return nu > 0 && nv > 0 ? std::uint64_t(nu) * std::uint64_t(nv) : 0;
        case StorageClass::FaceVarying:
          return 4 * up * vp;
        case StorageClass::FaceVertex:
          return (bicubic ? 16 : 4) * up * vp;
      }
      return 1;
    });
  });
}

}  // namespace quor

void QrErrorHandler(QtErrorHandler handler) { quor::gHandler = handler ? handler : QrErrorPrint; }

void QrErrorPrint(QtInt, QtInt severity, const char* message) {
  const std::string line =
      std::string("libQuor: ") + (severity == QIE_WARNING ? "warning: " : "") + (message ? message : "") + "\n";
  std::fputs(line.c_str(), stderr);
}

void QrErrorIgnore(QtInt, QtInt, const char*) {}
