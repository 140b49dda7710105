// quorrender: renders RIB files with libQuor's renderer.
//
//   quorrender SCENE.rib [-o OUT]
//
// Every frame of the scene is rendered into its Display's file, or into OUT
// when given (its format from its extension: .tif, .tiff, .png or .exr).
// Warnings (a request the renderer does not know, a texture it cannot read)
// are printed and rendering goes on; an error (malformed RIB, a bad value,
// unbalanced blocks) leaves the frame without a picture. The exit status is
// 0 when every frame was written, 1 otherwise, 2 for a bad command line.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "render/Interpreter.h"
#include "render/RibReader.h"

namespace {

const char* kUsage =
    "usage: quorrender SCENE.rib [-o OUT]\n"
    "  renders every frame of SCENE.rib into its Display's file\n"
    "  -o OUT   write the picture into OUT instead (.tif, .tiff, .png or .exr)\n";

class PrintDiagnostics : public quor::render::Diagnostics {
 public:
  void report(int, quor::render::Severity severity, const std::string& message) override {
    const char* kind = severity >= quor::render::Severity::Error ? "error: " : "warning: ";
    std::cerr << "quorrender: " << kind << message << '\n';
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string scene, output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "-o") {
      if (i + 1 >= argc) {
        std::cerr << "quorrender: -o needs a file name\n" << kUsage;
        return 2;
      }
      output = argv[++i];
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "quorrender: unknown option " << arg << '\n' << kUsage;
      return 2;
    } else if (scene.empty()) {
      scene = arg;
    } else {
      std::cerr << "quorrender: more than one scene given\n" << kUsage;
      return 2;
    }
  }
  if (scene.empty()) {
    std::cerr << kUsage;
    return 2;
  }

  PrintDiagnostics diagnostics;
  std::vector<quor::render::Request> requests;
  std::string error;
  // The whole file is read first, so that malformed RIB renders nothing.
  if (!quor::render::readRibFile(scene, requests, error)) {
    std::cerr << "quorrender: error: " << error << "; no picture written\n";
    return 1;
  }
  quor::render::RenderSettings settings;
  settings.outputOverride = output;
  quor::render::Interpreter interpreter(diagnostics, settings);
  for (const quor::render::Request& r : requests) interpreter.apply(r);
  // The scene ends at its last request.
  interpreter.finish(requests.empty() ? scene : requests.back().where);
  if (interpreter.errors() > 0) return 1;
  if (interpreter.picturesWritten() == 0) {
    std::cerr << "quorrender: error: " << scene << " has no WorldBegin/WorldEnd: nothing to render\n";
    return 1;
  }
  return 0;
}
