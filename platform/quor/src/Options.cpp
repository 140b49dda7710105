// Integer options, kept in a small text file so that they outlive the process.
//
// The file holds one option a line, "name=value", with the value a decimal
// integer; blank lines and lines starting with "#" are comments. A line that
// does not read as an option is ignored, and kept as it is when the file is
// rewritten. A file that cannot be read as text is never rewritten: the
// options in it would be lost. Every read goes to the file, since another process may have
// changed it; every write replaces the file in one rename, under a lock on a
// ".lock" file beside it so that two processes do not lose each other's
// changes.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <boost/algorithm/string/trim.hpp>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#pragma GCC visibility push(default)
#include <Quor/Quor.h>
#pragma GCC visibility pop

#include "Scene.h"

namespace fs = std::filesystem;

namespace {

const char* nonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// $QUOR_OPTIONS_FILE, else $XDG_CONFIG_HOME/quor/options (an absolute
// $XDG_CONFIG_HOME only), else $HOME/.config/quor/options; empty when none.
fs::path optionsFile() {
  if (const char* file = nonEmptyEnv("QUOR_OPTIONS_FILE")) return file;
  const char* config = nonEmptyEnv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return fs::path(config) / "quor" / "options";
  if (const char* home = nonEmptyEnv("HOME")) return fs::path(home) / ".config" / "quor" / "options";
  return {};
}

bool validName(const char* name) {
  if (!name || !*name || *name == '#') return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c == '=' || c == 0x7f) return false;
  }
  return true;
}

struct Entry {
  std::string name;
  int value;
};

// The option on one line of the file, if the line holds one.
std::optional<Entry> parseLine(const std::string& line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  Entry entry;
  entry.name = boost::algorithm::trim_copy(line.substr(0, equals));
  const std::string value = boost::algorithm::trim_copy(line.substr(equals + 1));
  if (!validName(entry.name.c_str()) || value.empty()) return std::nullopt;
  const char* end = value.data() + value.size();
  auto result = std::from_chars(value.data(), end, entry.value);
  if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return entry;
}

// The lines of the file: none when it does not exist, nothing when it exists
// but cannot be read as text: it does not open, reading fails part way (a
// folder fails only there), or it holds a NUL byte, so it is some other kind
// of file. Such a file is never replaced by the options read from it.
std::optional<std::vector<std::string>> readLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  if (!in) {
    std::error_code error;
    if (fs::exists(file, error) || error) return std::nullopt;
    return lines;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.find('\0') != std::string::npos) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (in.bad()) return std::nullopt;
  return lines;
}

// Writes `text` to a new file beside `file` and renames it over `file`, so a
// reader sees the old file or the new one, never a part.
bool replaceFile(const fs::path& file, const std::string& text) {
  std::string temp = file.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  const char* p = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// Holds an exclusive lock on "<file>.lock" for its lifetime.
class FileLock {
 public:
  explicit FileLock(const fs::path& file) {
    fd_ = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

int Quor_getOptionInt(const char* name, int defaultValue) {
  const fs::path file = optionsFile();
  if (!validName(name) || file.empty()) return defaultValue;
  int value = defaultValue;
  const auto lines = readLines(file);
  if (!lines) return defaultValue;
  for (const std::string& line : *lines) {
    const std::optional<Entry> entry = parseLine(line);
    if (entry && entry->name == name) value = entry->value;  // the last one counts
  }
  return value;
}

int Quor_setOptionInt(const char* name, int value) {
  if (!validName(name)) {
    quor::report("Quor_setOptionInt", "invalid option name");
    return -1;
  }
  const fs::path file = optionsFile();
  if (file.empty()) {
    quor::report("Quor_setOptionInt", "no options file: set QUOR_OPTIONS_FILE or HOME");
    return -1;
  }
  std::error_code error;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
  FileLock lock(file);
  if (!lock.held()) {
    quor::report("Quor_setOptionInt", "cannot lock \"" + file.string() + ".lock\"");
    return -1;
  }
  // An unreadable file is left alone rather than replaced by this one option.
  const auto lines = readLines(file);
  if (!lines) {
    quor::report("Quor_setOptionInt", "cannot read \"" + file.string() + "\"");
    return -1;
  }
  std::string text;
  bool written = false;
  const std::string entry = std::string(name) + "=" + std::to_string(value) + "\n";
  for (const std::string& line : *lines) {
    const std::optional<Entry> old = parseLine(line);
    if (!old || old->name != name) {
      text += line + "\n";
    } else if (!written) {
      text += entry;
      written = true;
    }
  }
  if (!written) text += entry;
  if (!replaceFile(file, text)) {
    quor::report("Quor_setOptionInt", "cannot write \"" + file.string() + "\"");
    return -1;
  }
  return 0;
}
