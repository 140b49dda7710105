// The scene calls when QrBegin was given no file name: each call becomes a
// request for the renderer, which keeps the scene in memory and renders the
// frame into the Display's file when its world ends.
#ifndef QUOR_SRC_RENDERCALLS_H
#define QUOR_SRC_RENDERCALLS_H

#include <functional>
#include <string>
#include <vector>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "RibText.h"
#include "render/Request.h"

namespace quor {

// True while a rendered scene is open.
bool rendering();
// Opens a rendered scene; throws RequestError when the renderer cannot be
// loaded.
void beginRendering();
// Ends the rendered scene: blocks left open are an error.
void endRendering();

// Hands one call to the renderer: `build` appends its positional
// arguments, then the parameter list follows (one item of each parameter's
// type). A call that cannot be read (a null pointer, an undeclared token) is
// reported as an error of the frame.
using BuildArgs = std::function<void(std::vector<render::Value>& args)>;
void renderCall(const char* name, const BuildArgs& build = nullptr, const ParameterList& params = {});
void renderPatchMesh(QtToken type, QtInt nu, QtToken uwrap, QtInt nv, QtToken vwrap, QtInt n, QtToken tokens[],
                     QtPointer values[]);

// Shorthands for positional arguments.
inline render::Value number(float v) { return render::Value::number(v); }
// A string argument; a null pointer throws RequestError naming `what`.
render::Value text(const char* s, const char* what);
render::Value numbers(const float* values, std::size_t count, const char* what);

// Reports through the error handler that QrErrorHandler installed.
void reportError(int code, int severity, const std::string& message);

}  // namespace quor

#endif
