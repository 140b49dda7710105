// What nodes write on std::cerr (their warnings) while a WarningCapture
// lives: still written to the terminal, and kept for the window to show.
#ifndef QUORHOST_WARNINGS_H
#define QUORHOST_WARNINGS_H

#include <iosfwd>
#include <string>

namespace quorhost {

class WarningCapture {
 public:
  WarningCapture();
  ~WarningCapture();
  WarningCapture(const WarningCapture&) = delete;
  WarningCapture& operator=(const WarningCapture&) = delete;

  // The lines written so far, without the last line break.
  std::string text() const;

 private:
  class Tee;
  Tee* tee_;
  std::streambuf* before_;
};

}  // namespace quorhost

#endif
