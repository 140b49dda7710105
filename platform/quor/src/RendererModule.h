// libQuor's access to the renderer module (render/Module.h), opened on
// first use.
#ifndef QUOR_SRC_RENDERERMODULE_H
#define QUOR_SRC_RENDERERMODULE_H

#include "render/Module.h"

namespace quor {

// The module's table, opened from the folder of libQuor's own file on the
// first call and kept loaded for the life of the process. Throws
// RequestError saying why when the module cannot be opened; later calls give
// the same answer without trying again.
const render::ModuleTable& rendererModule();

}  // namespace quor

#endif
