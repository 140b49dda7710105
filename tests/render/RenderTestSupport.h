// Helpers of the render tests: a reader for the RIB text that the renderer
// library writes, a capture of one emission, and a plain evaluation of the
// patch mesh that a grid should give, written cell by cell from the net's
// layout rather than row by row as the emission writes it.
#ifndef QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H
#define QUORCARD_TESTS_RENDER_RENDERTESTSUPPORT_H

#include <string>
#include <vector>

#include "grid/VtxPoint.h"

namespace quorcard {
class QuorCard;
}

namespace rendertest {

// One argument of a RIB request: a number (its text), a quoted string, or a
// bracketed array of numbers or strings.
struct RibValue {
  enum Kind { Number, String, Array } kind = Number;
  std::string text;
  std::vector<RibValue> items;
};

struct RibRequest {
  std::string name;
  std::vector<RibValue> args;

  // The numbers of argument i (an array or a single number) read back as
  // 32-bit floats; fails the test when they are not numbers.
  std::vector<float> floats(std::size_t i) const;
  std::string str(std::size_t i) const;
  // The values that follow the parameter token `token`; fails the test when
  // the token is absent.
  const RibValue& param(const std::string& token) const;
};

// Parses RIB text, one request per line; comment lines are skipped. A line
// that does not parse fails the test.
std::vector<RibRequest> parseRib(const std::string& text);

// The request names in order.
std::vector<std::string> requestNames(const std::vector<RibRequest>& rib);

// Reads a whole file.
std::string readFile(const std::string& path);

// A fresh temporary path (not created).
std::string tempPath(const std::string& name);

// Writes a small grey RGBA PNG at `path`; answers the path.
std::string writePng(const std::string& path);

// Opens a scene on a temporary file, lets the card emit itself, closes the
// scene and answers the text written.
std::string emitText(quorcard::QuorCard& card);
std::vector<RibRequest> emitRib(quorcard::QuorCard& card);

// Checks a PatchMesh request: the counts of "P" and "vertex float[2] st"
// values agree with its vertex counts.
void expectConsistentMesh(const RibRequest& mesh);

struct ExpectedMesh {
  std::string type;
  int nu = 0;
  int nv = 0;
  std::vector<float> P;
  std::vector<float> st;
};

// The bilinear mesh of the points, or the bicubic net, as the layout of
// the net defines them; uses float arithmetic in the stated order.
ExpectedMesh expectedBilinear(const quorcard::PointList& points, int nu, int nv, bool flip, bool flop, bool swap);
ExpectedMesh expectedBicubic(const quorcard::PointList& points, int nu, int nv, bool flip, bool flop, bool swap);

// Texture mapping of one vertex: owner uv (u, v) shifted by (a, b).
void expectedSt(float u, float v, float a, float b, bool flip, bool flop, bool swap, float* s, float* t);

// Every float of `actual` has the bit pattern of the same float of `expected`.
void expectSameFloats(const std::vector<float>& expected, const std::vector<float>& actual, const char* what);

// The mesh written in a PatchMesh request equals `expected`, float for float.
void expectMesh(const ExpectedMesh& expected, const RibRequest& mesh);

}  // namespace rendertest

#endif
