// The renderer end to end: RIB text read, its frames built and rendered at
// 32 x 24 into a picture file, as quorrender does. A frame with an error
// writes no picture; a picture's pixels are finite and its alpha lies in
// [0, 1]. When fuzzing, every frame takes under 2 s of processor time (of
// all its threads, so that a busy machine does not count); a replay (a
// sanitizer build of the tests) checks the rest only.
#include <OpenImageIO/imageio.h>

#include <unistd.h>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "render/Interpreter.h"
#include "render/RibReader.h"

namespace {

namespace fs = std::filesystem;
using namespace quor::render;

class Counted : public Diagnostics {
 public:
  void report(int, Severity, const std::string&) override {}
};

// The picture file of every frame, in a folder of this process's own.
const fs::path& pictureFile() {
  static const fs::path file = [] {
    const fs::path folder = fs::temp_directory_path() / ("quor-fuzz-render-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder / "frame.exr";
  }();
  return file;
}

// Keeps the frame small and cheap: 32 x 24 pixels, at most 2 x 2 samples;
// archives only of the text itself, never files (a name such as /dev/zero
// would read without end).
bool keep(Request& r) {
  if (r.name == "Format") r.args = {Value::number(32), Value::number(24), Value::number(1)};
  if (r.name == "PixelSamples") {
    for (Value& v : r.args)
      for (float& f : v.numbers) f = std::isfinite(f) ? std::fmin(std::fmax(f, 1), 2) : f;
  }
  return r.name != "ReadArchive" || r.args.empty() || !r.args[0].isString() || r.args[0].strings.empty() ||
         r.args[0].strings[0].find('/') == std::string::npos;
}

// Checks the picture that the frame just wrote, and removes it.
void checkPicture() {
  auto in = OIIO::ImageInput::open(pictureFile().string());
  FUZZ_CHECK(in);
  const OIIO::ImageSpec& layout = in->spec();
  FUZZ_CHECK(layout.width == 32 && layout.height == 24);
  std::vector<float> pixels(std::size_t(layout.width) * layout.height * layout.nchannels);
  FUZZ_CHECK(in->read_image(0, 0, 0, layout.nchannels, OIIO::TypeDesc::FLOAT, pixels.data()));
  in->close();
  const int alpha = layout.alpha_channel;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    FUZZ_CHECK(std::isfinite(pixels[i]));
    if (alpha >= 0 && int(i % std::size_t(layout.nchannels)) == alpha) FUZZ_CHECK(pixels[i] >= 0 && pixels[i] <= 1);
  }
  fs::remove(pictureFile());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<Request> requests;
  std::string error;
  if (!parseRib(text, "fuzz.rib", requests, error)) return 0;
  requests.insert(requests.begin(), Request{"Format", {}, ""});  // made 32 x 24 by keep()
  Counted diagnostics;
  RenderSettings settings;
  settings.outputOverride = pictureFile().string();
  Interpreter interpreter(diagnostics, settings);
  fs::remove(pictureFile());
  int errors = 0, pictures = 0;
  [[maybe_unused]] std::clock_t frameStart = std::clock();
  for (Request& r : requests) {
    if (!keep(r)) continue;
    if (r.name == "WorldBegin") {
      errors = interpreter.errors();
      frameStart = std::clock();
    }
    interpreter.apply(r);
    if (r.name != "WorldEnd") continue;
#ifdef QUOR_FUZZING
    FUZZ_CHECK(std::clock() - frameStart < 2 * CLOCKS_PER_SEC);
#endif
    const bool written = interpreter.picturesWritten() > pictures;
    pictures = interpreter.picturesWritten();
    // An error inside the world leaves no picture.
    if (interpreter.errors() > errors) FUZZ_CHECK(!written && !fs::exists(pictureFile()));
    if (written) checkPicture();
    errors = interpreter.errors();
  }
  interpreter.finish("fuzz.rib");
  return 0;
}
