// The rules of every scene request, whichever target takes it (the RIB
// writer or the renderer) and wherever it came from (a call of the library
// or a RIB file): the kinds and number of its arguments, the ranges the
// RenderMan Interface sets for them, and the declaration and number of
// values of each parameter. A request is checked once, into a
// CheckedRequest, before its target sees it; the checks, their messages and
// the codes they report do not depend on the target. What one renderer
// supports within those rules is the renderer's own business.
#ifndef QUOR_SRC_REQUESTRULES_H
#define QUOR_SRC_REQUESTRULES_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Declarations.h"
#include "PatchMeshRules.h"
#include "RequestError.h"
#include "render/Request.h"

namespace quor {

// What a check needs beyond the request itself.
struct RequestContext {
  // The patch steps of the current Basis.
  int ustep = 3, vstep = 3;
  // Names given a declaration by Declare earlier in the scene; may be null.
  const std::map<std::string, Declaration>* declared = nullptr;
  // Receives a warning for a parameter that is skipped; may be empty.
  std::function<void(int code, const std::string& message)> warn;
};

// One parameter of a checked request: its token, the declaration that the
// token names, and its values (within the request).
struct CheckedParam {
  std::string token;
  Declaration decl;
  const render::Value* value;
};

struct CheckedRequest {
  const render::Request* request = nullptr;
  // Where the parameter list begins among the arguments (their count when
  // the request takes none).
  std::size_t paramsFrom = 0;
  // The parameter list, in order; parameters skipped with a warning left out.
  std::vector<CheckedParam> params;
  // The shape of a patch mesh (PatchMesh and Patch only).
  MeshShape mesh;
};

// Reads the arguments of a request by position; one that is missing or of
// the wrong kind throws RequestError naming it as `what`.
class ArgReader {
 public:
  explicit ArgReader(const render::Request& r) : r_(r) {}

  std::size_t size() const { return r_.args.size(); }
  const render::Value& at(std::size_t i, const char* what) const;
  // One finite number.
  float number(std::size_t i, const char* what) const;
  // One whole number that fits an int.
  int integer(std::size_t i, const char* what) const;
  std::string string(std::size_t i, const char* what) const;
  // n finite numbers from position i: one array of n, or n single numbers.
  // Moves i past them.
  std::vector<float> numbers(std::size_t& i, std::size_t n, const char* what) const;

 protected:
  const render::Request& r_;
};

// True for a request that these rules know.
bool knownRequest(const std::string& name);

// The declaration of `token`: a name declared in the scene, a predeclared
// name, or an inline declaration; throws RequestError.
Declaration declarationIn(const std::string& token, const RequestContext& context);

// Checks `request` against the rules of its name; throws RequestError with
// the reason. `request` must outlive the result. A request of an unknown
// name passes with its arguments unread.
CheckedRequest checkRequest(const render::Request& request, const RequestContext& context);

// The blocks a scene nests, and the request that opens each ("FrameBegin").
enum class BlockKind { Frame, World, Attribute, Transform, Archive };
const char* beginName(BlockKind kind);

// A block that is open: the request that opened it and where that request
// was given ("scene.rib:3"; empty for a call of the library).
struct OpenBlock {
  const char* opened;
  std::string where;
};

// The error of a request that closes a block of `kind` where the innermost
// open block is another one (`innermost`), or where none is open (null).
// Writing RIB and rendering report it alike.
RequestError unmatchedEnd(BlockKind kind, const OpenBlock* innermost);

// How many open blocks a message lists before it says how many more there are.
constexpr std::size_t kListedBlocks = 4;

// "A (scene.rib:3), B, and 2 more": the first of `count` open blocks (at most
// kListedBlocks of them, in the order given), then how many are not listed.
std::string listBlocks(const std::vector<OpenBlock>& first, std::size_t count);

// The error of a scene that ends with `count` blocks still open, `outermost`
// holding the first of them, outermost first. Writing RIB and rendering
// report it alike.
RequestError blocksLeftOpen(const std::vector<OpenBlock>& outermost, std::size_t count);

}  // namespace quor

#endif
