// The RIB writer: the target that writes each checked request as one line
// of the open scene's file.
#ifndef QUOR_SRC_RIBWRITER_H
#define QUOR_SRC_RIBWRITER_H

#include "RequestRules.h"
#include "Scene.h"

namespace quor {

// Writes `request` to `scene`, nesting blocks, numbering lights and keeping
// the basis steps as it goes; throws RequestError (a block closed out of
// order, a value with no RIB text), and then nothing is written.
void writeRequest(Scene& scene, const CheckedRequest& request);

}  // namespace quor

#endif
