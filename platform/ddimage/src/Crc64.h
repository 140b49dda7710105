// The CRC-64 behind the change hash (ECMA-182 polynomial, most significant
// bit first, no final xor), in its two ways of reading bytes: table look-ups,
// on any processor, and 64-byte blocks folded with the carry-less multiply,
// on x86-64 processors that have it. Both give the same register.
#ifndef DDImage_Crc64_h
#define DDImage_Crc64_h

#include <cstddef>

#include "DDImage/Hash.h"

namespace DD {
namespace Image {
namespace crc64 {

// The register after `length` bytes from `data`, read from register `crc`,
// by table look-ups.
U64 portable(U64 crc, const unsigned char* data, size_t length);

// Whether this processor can run `folded`: false on any other than x86-64.
bool canFold();

// The same register as `portable`: the whole 64-byte blocks folded, the
// bytes after them looked up. Only where canFold(); elsewhere it reads as
// `portable` does.
U64 folded(U64 crc, const unsigned char* data, size_t length);

// What Hash reads with: `folded` for long runs where the processor can,
// `portable` otherwise.
U64 append(U64 crc, const unsigned char* data, size_t length);

}  // namespace crc64
}  // namespace Image
}  // namespace DD

#endif
