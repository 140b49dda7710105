// Helpers of the render tests: a reader for the RIB text that the renderer
// library writes, one emission of a node through its renderer interface, and
// the patch mesh of the emission as numbers.
#ifndef QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H
#define QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H

#include <string>
#include <vector>

#include "CardTestSupport.h"

namespace rendertest {

using Names = std::vector<std::string>;

// One request, each argument as written: a number, a quoted string or an array.
struct RibRequest {
  std::string name;
  Names args;

  // Argument i, a number or an array of numbers, read back as 32-bit floats.
  std::vector<float> floats(std::size_t i) const;
  // The arguments without the quotes around strings.
  Names texts() const;
};

// One request per line, comments skipped.
std::vector<RibRequest> parseRib(const std::string& text);
Names requestNames(const std::vector<RibRequest>& rib);
// The requests that a node writes, through its renderer interface, into a
// scene of its own.
std::vector<RibRequest> emitRib(Node* node);
// The request named `name`; a failure unless there is exactly one.
RibRequest only(const std::vector<RibRequest>& rib, const std::string& name);

// A PatchMesh request: its type, vertex counts and vertex arrays.
struct Mesh {
  std::string type;
  int nu = 0, nv = 0;
  std::vector<float> P, st;
  cardtest::Values position(int column, int row) const;
  cardtest::Values texture(int column, int row) const;
};
Mesh mesh(const RibRequest& patchMesh);

}  // namespace rendertest

#endif
