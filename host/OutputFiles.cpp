#include "OutputFiles.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "HostError.h"

namespace quorhost {

namespace fs = std::filesystem;

namespace {

// Renames `temporary` onto `target`. Throws HostError when it cannot.
void putInPlace(const std::string& temporary, const std::string& target) {
  if (std::rename(temporary.c_str(), target.c_str()) != 0)
    throw HostError("cannot put " + target + " in place: " + std::strerror(errno));
}

}  // namespace

std::string temporaryBeside(const std::string& target) {
  static std::atomic<unsigned long> made{0};
  return target + ".quorhost-" + std::to_string(getpid()) + "-" + std::to_string(made++);
}

void requireFolder(const std::string& target) {
  const fs::path folder = fs::absolute(target).parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw HostError("cannot write " + target + ": no folder " + folder.string());
}

void writeBeside(const std::string& target, const FileWriter& write) {
  const std::string temporary = temporaryBeside(target);
  std::string why;
  if (!write(temporary, &why)) {
    std::remove(temporary.c_str());
    throw HostError("cannot write " + target + (why.empty() ? std::string() : ": " + why));
  }
  try {
    putInPlace(temporary, target);
  } catch (const HostError&) {
    std::remove(temporary.c_str());
    throw;
  }
}

bool writeTextFile(const std::string& path, const std::string& text, std::string* why) {
  std::ofstream out(path, std::ios::binary);
  if (!out) {
    *why = std::strerror(errno);
    return false;
  }
  out << text;
  out.close();
  return !out.fail();
}

void writeTextBeside(const std::string& target, const std::string& text) {
  writeBeside(target, [&text](const std::string& path, std::string* why) { return writeTextFile(path, text, why); });
}

Outputs::~Outputs() {
  for (const auto& f : files_) std::remove(f.first.c_str());
}

std::string Outputs::reserve(const std::string& target) {
  const std::string temporary = temporaryBeside(target);
  files_.emplace_back(temporary, target);
  return temporary;
}

void Outputs::cancel(const std::string& target) {
  const fs::path wanted = fs::absolute(target).lexically_normal();
  for (auto f = files_.begin(); f != files_.end();) {
    if (fs::absolute(f->second).lexically_normal() == wanted) {
      std::remove(f->first.c_str());
      f = files_.erase(f);
    } else {
      ++f;
    }
  }
}

void Outputs::commit() {
  while (!files_.empty()) {
    putInPlace(files_.front().first, files_.front().second);
    files_.erase(files_.begin());
  }
}

}  // namespace quorhost
