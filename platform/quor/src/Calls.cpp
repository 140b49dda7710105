#include "Calls.h"

#include <new>
#include <string>

#include "PatchMeshRules.h"
#include "RenderCalls.h"
#include "RequestRules.h"
#include "RibWriter.h"

namespace quor {

void call(const char* name, const BuildRequest& build) {
  int code = render::kBadToken;
  std::string message;
  try {
    Scene* scene = rendering() ? nullptr : &library().openScene();
    render::Request r;
    r.name = name;
    if (build) build(r);
    if (!scene) return renderRequest(r);
    RequestContext context;
    context.ustep = scene->steps().u;
    context.vstep = scene->steps().v;
    writeRequest(*scene, checkRequest(r, context));
    return;
  } catch (const RequestError& e) {
    code = e.code();
    message = e.what();
  } catch (const std::bad_alloc&) {
    code = render::kNoMemory;
    message = "out of memory";
  } catch (const std::exception& e) {
    code = render::kSystem;
    message = e.what();
  }
  if (rendering()) {
    renderFailure(code, std::string(name) + ": " + message);
  } else {
    report(name, message, code);
  }
}

Steps currentSteps() {
  if (rendering()) return renderSteps();
  return library().openScene().steps();
}

render::Value number(float v) { return render::Value::number(v); }
render::Value integer(int v) { return render::Value::integer(v); }

render::Value text(const char* s, const char* what) {
  if (!s) throw RequestError(std::string("no ") + what + " (null pointer)");
  return render::Value::string(s);
}

render::Value numbers(const float* values, std::size_t count, const char* what) {
  if (!values) throw RequestError(std::string("no ") + what + " (null pointer)");
  return render::Value::numberArray(std::vector<float>(values, values + count));
}

void appendParams(render::Request& request, const ParameterList& params, const ItemCount& items) {
  std::vector<render::Value>& args = request.args;
  for (const Parameter& p : params) {
    if (!p.token) throw RequestError("a parameter token is a null pointer");
    const Declaration d = declarationOf(p.token);
    const std::uint64_t count = valueCount(d, items ? items(d) : 1, p.token);
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
        args.push_back(render::Value::integerArray(std::vector<int>(v, v + count)));
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

}  // namespace quor
