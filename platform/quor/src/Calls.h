// How a scene call reaches its target. Each call of the library is turned
// into one request (its name and arguments, render/Request.h) and handed to
// the open scene's target: the renderer for a rendered scene, the RIB writer
// otherwise. Either target checks it by the same rules (RequestRules.h), so
// a call is refused, with the same message, whichever target takes it.
#ifndef QUOR_SRC_CALLS_H
#define QUOR_SRC_CALLS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "Declarations.h"
#include "Scene.h"
#include "render/Request.h"

namespace quor {

// One token/value pair of a parameter list, as a call gives it.
struct Parameter {
  const char* token;
  const void* value;
};
using ParameterList = std::vector<Parameter>;

// Builds the request called `name` with `build` and hands it to the target.
// A failure to build it (a null pointer, an undeclared token), to check it
// or to take it is reported under the request's name, and nothing of the
// request takes effect.
using BuildRequest = std::function<void(render::Request& request)>;
void call(const char* name, const BuildRequest& build = nullptr);

// The patch steps of the target's current basis.
Steps currentSteps();

// Positional arguments. A null pointer throws RequestError naming `what`.
render::Value number(float v);
render::Value integer(int v);
render::Value text(const char* s, const char* what);
render::Value numbers(const float* values, std::size_t count, const char* what);

// Appends "token" [values] for each parameter: `items(declaration)` items of
// the token's declaration, one when no function is given.
using ItemCount = std::function<std::uint64_t(const Declaration&)>;
void appendParams(render::Request& request, const ParameterList& params, const ItemCount& items = nullptr);

}  // namespace quor

#endif
