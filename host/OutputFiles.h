// Files that appear whole or not at all: each is written beside its target
// under a temporary name, TARGET.quorhost-PID-N (N counting the names this
// process made), and renamed onto the target.
#ifndef QUORHOST_OUTPUTFILES_H
#define QUORHOST_OUTPUTFILES_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorhost {

// A new temporary name beside `target`.
std::string temporaryBeside(const std::string& target);

// Throws HostError "cannot write TARGET: no folder FOLDER" when the folder
// that `target` goes in does not exist.
void requireFolder(const std::string& target);

// Writes a file: true when it wrote it whole; otherwise false, with the
// reason in *why when it knows one.
using FileWriter = std::function<bool(const std::string& path, std::string* why)>;

// Writes `target` at once through `write`, into a temporary file beside it,
// then renames that file onto it. Throws HostError ("cannot write TARGET",
// with the reason when known, or "cannot put TARGET in place: ..."), leaving
// no temporary file.
void writeBeside(const std::string& target, const FileWriter& write);
// Writes `text` to the file at `path`, a FileWriter's work for a text.
bool writeTextFile(const std::string& path, const std::string& text, std::string* why);
// writeBeside for a file that holds `text`.
void writeTextBeside(const std::string& target, const std::string& text);

// Output files of a run, written beside their targets under temporary
// names and put in place only when the whole run succeeded; removed
// otherwise.
class Outputs {
 public:
  Outputs() = default;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;
  ~Outputs();
  // The temporary file to write for `target`.
  std::string reserve(const std::string& target);
  // Renames every temporary file onto its target, in the order reserved.
  void commit();
  // Drops the files reserved for `target`, whose content a later write
  // already put in place.
  void cancel(const std::string& target);

 private:
  std::vector<std::pair<std::string, std::string>> files_;  // temporary, target
};

}  // namespace quorhost

#endif
