// The Wireless Bitmap header and the checks each kind of read makes of it.
#ifndef PIXOLITH_READERS_WBMP_WBMP_HEADER_H
#define PIXOLITH_READERS_WBMP_WBMP_HEADER_H

#include <cstdint>

namespace pxwbmp {

// The type field, the fixed header field, and the two multi-byte sizes.
struct Header {
  uint8_t type = 0;
  uint8_t fixed = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// What a call makes of the file.
enum class Output { kDimensions, kImage };

// 0, or 53 for a type other than 0 (or a fixed header field not 0), and for an image
// without pixels. Pure: it reads nothing.
int CheckHeader(const Header& header, Output output);

}  // namespace pxwbmp

#endif  // PIXOLITH_READERS_WBMP_WBMP_HEADER_H
