#include "FrameTestSupport.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"
#include "render/Interpreter.h"
#include "render/RibReader.h"

namespace frametest {

using namespace quor::render;

namespace {

class Collect : public Diagnostics {
 public:
  explicit Collect(Reports& r) : r_(r) {}
  void report(int, Severity severity, const std::string& message) override {
    (severity >= Severity::Error ? r_.errors : r_.warnings).push_back(message);
  }

 private:
  Reports& r_;
};

}  // namespace

std::string Reports::all() const {
  std::string text;
  for (const std::string& w : warnings) text += "warning: " + w + "\n";
  for (const std::string& e : errors) text += "error: " + e + "\n";
  return text;
}

// Reads and interprets a RIB text, rendering its frames unless `dryRun`;
// the frame last seen, null when the text is malformed or anything failed.
static std::unique_ptr<FrameScene> interpret(const std::string& rib, Reports& reports, bool dryRun) {
  std::vector<Request> requests;
  std::string error;
  if (!parseRib(rib, "scene.rib", requests, error)) {
    reports.errors.push_back(error);
    return nullptr;
  }
  Collect collect(reports);
  RenderSettings settings;
  settings.dryRun = dryRun;
  Interpreter interpreter(collect, settings);
  for (const Request& r : requests) interpreter.apply(r);
  interpreter.finish("scene.rib");
  if (!interpreter.lastFrame() || !reports.errors.empty()) return nullptr;
  return std::make_unique<FrameScene>(*interpreter.lastFrame());
}

std::unique_ptr<FrameScene> frameOf(const std::string& rib, Reports& reports) { return interpret(rib, reports, true); }

Reports renderToFile(const std::string& rib) {
  Reports reports;
  interpret(rib, reports, false);
  return reports;
}

Picture render(const std::string& rib, Reports& reports) {
  const std::unique_ptr<FrameScene> frame = frameOf(rib, reports);
  FloatPicture picture;
  Collect collect(reports);
  if (!frame ||
      !renderPicture(*frame, picture, [&](int code, Severity s, const std::string& m) { collect.report(code, s, m); }))
    return Picture();
  return Picture{picture.width, picture.height, 4, std::move(picture.rgba), "", ""};
}

Picture render(const std::string& rib) {
  Reports reports;
  Picture p = render(rib, reports);
  EXPECT_TRUE(p.width > 0 && reports.errors.empty()) << reports.all();
  return p;
}

Picture readPicture(const std::string& path) {
  // The values as the file holds them: PNG colour is not premultiplied.
  OIIO::ImageSpec hints;
  hints.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &hints);
  if (!in) {
    OIIO::geterror();
    return Picture();
  }
  const OIIO::ImageSpec& layout = in->spec();
  Picture p{layout.width,          layout.height,
            layout.nchannels,      std::vector<float>(std::size_t(layout.width) * layout.height * layout.nchannels),
            layout.format.c_str(), in->format_name()};
  if (!in->read_image(0, 0, 0, p.channels, OIIO::TypeDesc::FLOAT, p.values.data())) p = Picture();
  return p;
}

std::string rasterCamera(int width, int height, int samples, const std::string& filter) {
  std::ostringstream s;
  s << "Format " << width << " " << height << " 1\n"
    << "Projection \"orthographic\"\n"
    << "ScreenWindow 0 " << width << " 0 " << height << "\n"
    << "PixelSamples " << samples << " " << samples << "\n"
    << "PixelFilter " << filter << "\n";
  return s.str();
}

std::string bilinearPatch(const std::vector<float>& corners, const std::string& extra) {
  std::ostringstream s;
  s << "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [";
  for (std::size_t i = 0; i < corners.size(); ++i) s << (i ? " " : "") << corners[i];
  s << "]" << extra << "\n";
  return s.str();
}

}  // namespace frametest
