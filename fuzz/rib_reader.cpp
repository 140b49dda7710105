// The RIB reader of quorrender: any text is read into requests or refused
// with one message naming the file and a line of the text; read requests
// name lines of the text in order, and every number is finite.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "render/RibReader.h"

namespace {

const char kName[] = "fuzz.rib";

// The line number in "fuzz.rib:N" at the start of a message; 0 for none.
long lineOf(const std::string& where) {
  const std::string prefix = std::string(kName) + ":";
  if (where.rfind(prefix, 0) != 0) return 0;
  return std::strtol(where.c_str() + prefix.size(), nullptr, 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
  std::vector<quor::render::Request> requests;
  std::string error;
  if (!quor::render::parseRib(text, kName, requests, error)) {
    const long line = lineOf(error);
    FUZZ_CHECK(line >= 1 && line <= lines);
    return 0;
  }
  long last = 0;
  for (const quor::render::Request& r : requests) {
    FUZZ_CHECK(!r.name.empty());
    const long line = lineOf(r.where);
    FUZZ_CHECK(line >= last && line <= lines);
    last = line;
    for (const quor::render::Value& v : r.args)
      for (float f : v.numbers) FUZZ_CHECK(std::isfinite(f));
  }
  return 0;
}
