// Helpers shared by the test suites: running quorhost, temporary folders,
// files, knob listings and PNG pictures.
#ifndef TESTS_SUPPORT_TESTSUPPORT_H
#define TESTS_SUPPORT_TESTSUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

const std::string kHost = QUOR_BUILD_DIR "/bin/quorhost";
const std::string kTestPlugins = QUOR_BUILD_DIR "/test-plugins";

struct HostRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out, err;
};

// Runs the program argv[0] with the rest of `argv` in `folder` (empty: the
// working folder of the test), and collects its output.
HostRun runCommand(const std::vector<std::string>& argv, const std::string& folder = std::string());
// Runs quorhost with `--plugin-path pluginDir` and `args`, as runCommand.
HostRun runHost(const std::vector<std::string>& args, const std::string& pluginDir = kTestPlugins,
                const std::string& folder = std::string());

// A fresh folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> list() const;  // the names in it, sorted

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
std::vector<std::string> lines(const std::string& text);
// The rows of a --knobs listing among other output: lines of four tab-separated fields.
std::vector<std::vector<std::string>> knobRows(const std::string& text);
// Writes an 8-bit RGBA PNG; `rgba` holds the rows top first.
bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgba);

// An 8-bit RGBA picture, rows top first, colour as the file stores it.
struct Image8 {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};
// The picture of an image file; an unreadable file fails the test.
Image8 readImage8(const std::string& path);

}  // namespace testsupport

#endif
