// The renderer as the target of a rendered scene (one that QrBegin opened
// without a file name): it keeps the scene in memory and renders each frame
// into its Display's file when its world ends.
#ifndef QUOR_SRC_RENDERCALLS_H
#define QUOR_SRC_RENDERCALLS_H

#include <memory>
#include <string>

#include "Scene.h"
#include "render/Request.h"

namespace quor {

// True while a rendered scene is open.
bool rendering();
// Opens a rendered scene, whose frames are kept for a job with
// `keepFrames`, and only for their surfaces with `previewOnly` too; throws
// RequestError when the renderer cannot be loaded.
void beginRendering(bool keepFrames = false, bool previewOnly = false);
// Ends the rendered scene: blocks left open are an error.
void endRendering();
// Ends the rendered scene as endRendering does and hands over what it
// kept; null when none is open.
struct Rendered;
std::unique_ptr<Rendered> endRenderingForJob();

// Hands one request to the renderer, which checks it and reports its own
// failures.
void renderRequest(const render::Request& request);
// Reports a call that never became a request as an error of the frame.
void renderFailure(int code, const std::string& message);
// The patch steps of the renderer's current basis.
Steps renderSteps();

// Reports through the error handler that QrErrorHandler installed.
void reportError(int code, int severity, const std::string& message);

}  // namespace quor

#endif
