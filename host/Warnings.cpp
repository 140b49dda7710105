#include "Warnings.h"

#include <iostream>
#include <streambuf>

namespace quorhost {

// Passes every character on to the stream buffer that std::cerr had, and
// keeps a copy.
class WarningCapture::Tee : public std::streambuf {
 public:
  explicit Tee(std::streambuf* out) : out_(out) {}
  std::string kept;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    kept.push_back(traits_type::to_char_type(c));
    return out_ ? out_->sputc(traits_type::to_char_type(c)) : c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    kept.append(s, static_cast<size_t>(n));
    return out_ ? out_->sputn(s, n) : n;
  }
  int sync() override { return out_ ? out_->pubsync() : 0; }

 private:
  std::streambuf* out_;
};

WarningCapture::WarningCapture() : tee_(new Tee(std::cerr.rdbuf())), before_(std::cerr.rdbuf(tee_)) {}

WarningCapture::~WarningCapture() {
  std::cerr.rdbuf(before_);
  delete tee_;
}

std::string WarningCapture::text() const {
  std::string t = tee_->kept;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  return t;
}

}  // namespace quorhost
