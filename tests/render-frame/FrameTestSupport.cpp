#include "FrameTestSupport.h"

#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "TestSupport.h"
#include "render/Interpreter.h"
#include "render/RibReader.h"

extern char** environ;

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

std::unique_ptr<FrameScene> frameOf(const std::string& rib, Reports& reports) {
  std::vector<Request> requests;
  std::string error;
  if (!parseRib(rib, "scene.rib", requests, error)) {
    reports.errors.push_back(error);
    return nullptr;
  }
  Collect collect(reports);
  RenderSettings settings;
  settings.dryRun = true;
  Interpreter interpreter(collect, settings);
  for (const Request& r : requests) interpreter.apply(r);
  interpreter.finish("scene.rib");
  if (!interpreter.lastFrame() || !reports.errors.empty()) return nullptr;
  return std::make_unique<FrameScene>(*interpreter.lastFrame());
}

Picture render(const std::string& rib, Reports& reports) {
  Picture out;
  const std::unique_ptr<FrameScene> frame = frameOf(rib, reports);
  if (!frame) return out;
  FloatPicture picture;
  Collect collect(reports);
  if (!renderPicture(*frame, picture,
                     [&](int code, Severity s, const std::string& m) { collect.report(code, s, m); })) {
    return out;
  }
  out.width = picture.width;
  out.height = picture.height;
  out.channels = 4;
  out.values = std::move(picture.rgba);
  return out;
}

Picture readPicture(const std::string& path) {
  Picture p;
  // The values as the file holds them: PNG colour is not premultiplied.
  OIIO::ImageSpec hints;
  hints.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &hints);
  if (!in) {
    OIIO::geterror();
    return p;
  }
  const OIIO::ImageSpec& spec = in->spec();
  p.width = spec.width;
  p.height = spec.height;
  p.channels = spec.nchannels;
  p.format = spec.format.c_str();
  p.values.resize(std::size_t(p.width) * p.height * p.channels);
  if (!in->read_image(0, 0, 0, p.channels, OIIO::TypeDesc::FLOAT, p.values.data())) p = Picture();
  return p;
}

bool writePicture(const std::string& path, const Picture& picture, bool floats) {
  auto out = OIIO::ImageOutput::create(path);
  if (!out) return false;
  OIIO::ImageSpec spec(picture.width, picture.height, picture.channels,
                       floats ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8);
  if (picture.channels == 4) spec.alpha_channel = 3;
  spec.attribute("oiio:UnassociatedAlpha", 1);
  return out->open(path, spec) && out->write_image(OIIO::TypeDesc::FLOAT, picture.values.data()) && out->close();
}

CommandRun run(const std::vector<std::string>& args, const std::string& folder,
               const std::vector<std::string>& environment) {
  testsupport::TempDir capture;
  const std::string outPath = capture.file("out"), errPath = capture.file("err");
  std::vector<std::string> all = args;
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  const int started = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  CommandRun r;
  if (started != 0) {
    r.err = "cannot start " + all[0] + ": " + std::strerror(started);
    return r;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = testsupport::readFile(outPath);
  r.err = testsupport::readFile(errPath);
  return r;
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
