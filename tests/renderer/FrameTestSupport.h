// Helpers of the renderer's tests: scenes written as RIB text and rendered
// in memory, pictures read back, and the commands run as subprocesses.
#ifndef TESTS_RENDER_FRAME_FRAMETESTSUPPORT_H
#define TESTS_RENDER_FRAME_FRAMETESTSUPPORT_H

#include <memory>
#include <string>
#include <vector>

#include "render/Frame.h"
#include "render/Renderer.h"

namespace frametest {

const std::string kQuorrender = QUOR_BUILD_DIR "/bin/quorrender";
const std::string kQuorhost = QUOR_BUILD_DIR "/bin/quorhost";
const std::string kPlugins = QUOR_BUILD_DIR "/plugins";

// What a scene reported, by severity.
struct Reports {
  std::vector<std::string> warnings;
  std::vector<std::string> errors;
  std::string all() const;
};

// The frame a RIB text describes, checked but not rendered; null when the
// text is malformed or the frame had an error (see `reports`).
std::unique_ptr<quor::render::FrameScene> frameOf(const std::string& rib, Reports& reports);

// A picture in memory: rows top first, `channels` floats a pixel.
struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<float> values;
  // When read from a file: its pixel type ("uint8", "uint16", "float", ...)
  // and its format ("png", "tiff", "openexr", ...).
  std::string format, fileFormat;
  float at(int x, int y, int c) const { return values[(std::size_t(y) * width + x) * channels + c]; }
};

// Renders the frame of a RIB text in memory, without exposure or
// quantization; an empty picture when it has none.
Picture render(const std::string& rib, Reports& reports);
// The same for a text that must render without errors: a test failure that
// shows the reports when it does not.
Picture render(const std::string& rib);

// Reads a picture file through OpenImageIO, its values as the file holds
// them; empty when it cannot be read.
Picture readPicture(const std::string& path);

// Renders a RIB text as a renderer's command does, writing its Display's
// file; what it reported.
Reports renderToFile(const std::string& rib);

// The camera lines of an orthographic view whose screen is the raster:
// world (x, y) lands on raster (x, height - y), camera space = world space.
std::string rasterCamera(int width, int height, int samples = 8, const std::string& filter = "\"box\" 1 1");

// A bilinear patch: the four corners given as x y z triples in the order
// (0,0) (1,0) (0,1) (1,1).
std::string bilinearPatch(const std::vector<float>& corners, const std::string& extra = std::string());

}  // namespace frametest

#endif
