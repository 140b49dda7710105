// Reads RIB text (the RenderMan Interface Bytestream, text form) into
// requests: each request name with the numbers, strings and arrays that
// follow it, and the file and line it starts on.
#ifndef QUOR_RENDER_RIBREADER_H
#define QUOR_RENDER_RIBREADER_H

#include <string>
#include <vector>

#include "render/Request.h"

namespace quor {
namespace render {

// Parses `text`, naming it `fileName` in messages. A syntax error stops the
// reading: false, and `error` says "file:line: what".
bool parseRib(const std::string& text, const std::string& fileName, std::vector<Request>& out, std::string& error);

// Reads and parses a RIB file; false with the reason when it cannot be read
// or parsed.
bool readRibFile(const std::string& path, std::vector<Request>& out, std::string& error);

}  // namespace render
}  // namespace quor

#endif
