#include "TestSupport.h"

#include <DDImageHost/ImageFiles.h>
#include <DDImageHost/OffscreenGL.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

// A word for the shell: in single quotes, each quote written as '\''.
static std::string quoted(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

HostRun runCommand(const std::vector<std::string>& argv, const std::string& folder) {
  TempDir capture;
  std::string command = folder.empty() ? "exec" : "cd " + quoted(folder) + " && exec";
  for (const std::string& a : argv) command += " " + quoted(a);
  command += " </dev/null >" + quoted(capture.file("out")) + " 2>" + quoted(capture.file("err"));
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(capture.file("out")), readFile(capture.file("err"))};
}

HostRun runHost(const std::vector<std::string>& args, const std::string& pluginDir, const std::string& folder) {
  std::vector<std::string> argv{kHost};
  if (!pluginDir.empty()) argv.insert(argv.end(), {"--plugin-path", pluginDir});
  argv.insert(argv.end(), args.begin(), args.end());
  return runCommand(argv, folder);
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "quorhost-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;  // a destructor must not throw
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::list() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::vector<std::vector<std::string>> knobRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : lines(text)) {
    std::vector<std::string> fields(1);
    for (char c : line) c == '\t' ? fields.emplace_back() : fields.back() += c;
    if (fields.size() == 4) rows.push_back(fields);
  }
  return rows;
}

bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgba) {
  return DD::Image::writePng(path, width, height, rgba, nullptr);
}

Image8 readImage8(const std::string& path) {
  DD::Image::ImageFile file;
  std::string error;
  Image8 image;
  if (!DD::Image::readImageFile(path, true, file, error)) {
    ADD_FAILURE() << error;
    return image;
  }
  image.width = file.width, image.height = file.height;
  image.rgba = DD::Image::rgba8(file, false);
  return image;
}

}  // namespace testsupport
