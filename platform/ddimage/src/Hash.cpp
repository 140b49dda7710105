#include "DDImage/Hash.h"

#include "Crc64.h"

namespace DD {
namespace Image {

void Hash::append(const void* data, size_t length) {
  value_ = crc64::append(value_, static_cast<const unsigned char*>(data), length);
}

void Hash::append(const char* text) {
  if (!text) text = "";
  size_t n = 0;
  while (text[n]) ++n;
  append(static_cast<const void*>(text), n + 1);
}

void Hash::append(const std::string& text) { append(static_cast<const void*>(text.c_str()), text.size() + 1); }

}  // namespace Image
}  // namespace DD
