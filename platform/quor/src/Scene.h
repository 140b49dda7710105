// The state of the library: where it lives, and the one scene being written.
#ifndef QUOR_SRC_SCENE_H
#define QUOR_SRC_SCENE_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RequestRules.h"

namespace quor {

class Line;

// The patch steps set by Basis: how far a bicubic patch mesh advances from one
// patch to the next. Bezier, the initial basis, steps by 3.
struct Steps {
  int u = 3;
  int v = 3;
};

// One open RIB file (or standard output) and the nesting written to it.
class Scene {
 public:
  // Opens `name`, or standard output for "-"; throws RequestError on failure.
  explicit Scene(const char* name);
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Writes one request line, indented by the nesting depth.
  void write(const std::string& request);
  void write(const Line& request);
  // Writes the request that opens `block`, then enters it. Every block but
  // Transform saves and restores the attribute state that this library
  // follows (the basis steps).
  void begin(BlockKind block, const std::string& request);
  // Leaves `block` and writes its closing request; throws RequestError
  // (nesting, as the renderer reports it) when `block` is not the innermost
  // open one.
  void end(BlockKind block, const std::string& request);

  std::size_t openBlocks() const { return stack_.size(); }
  // The outermost kListedBlocks of the open blocks, outermost first.
  std::vector<OpenBlock> outermostBlocks() const;
  Steps steps() const { return steps_; }
  void setSteps(Steps steps) { steps_ = steps; }
  int nextLightNumber() { return ++lights_; }

  // Flushes and closes the file; false when anything failed to be written.
  bool close();

 private:
  void indent();

  struct Level {
    BlockKind block;
    Steps saved;
  };
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  std::vector<Level> stack_;
  Steps steps_;
  int lights_ = 0;
};

// All state of the library, in one object.
struct Library {
  std::string libraryPath;
  std::string homeDir;
  std::unique_ptr<Scene> scene;

  // The open scene; throws RequestError when there is none.
  Scene& openScene();
};

Library& library();

// Reports a failed call to the error handler, "what: message", with the
// code of its failure; the initial handler prints it on standard error as
// "libQuor: what: message".
void report(const char* what, const std::string& message, int code = 0);

}  // namespace quor

#endif
