// Helpers of the render tests: a reader for the RIB text that the renderer
// library writes, one emission of a card, and a plain evaluation of the mesh
// that a grid should give, written vertex by vertex from the net's layout.
#ifndef QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H
#define QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H

#include "node/QuorCard.h"

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
// The requests that the card writes into a scene of its own.
std::vector<RibRequest> emitRib(quorcard::QuorCard& card);
// The request named `name`; a failure unless there is exactly one.
RibRequest only(const std::vector<RibRequest>& rib, const std::string& name);

struct Mesh {
  std::string type;
  int nu = 0, nv = 0;
  std::vector<float> P, st;
};

// The bilinear mesh, or the bicubic net, of a columns x rows grid under the
// texture rules, in float arithmetic.
Mesh expectedMesh(const quorcard::PointList& points, int columns, int rows, bool bicubic, bool flip = false,
                  bool flop = false, bool swap = false);
// The PatchMesh request writes `expected`, float for float (bit patterns).
void expectMesh(const Mesh& expected, const RibRequest& mesh);

}  // namespace rendertest

#endif
