// The WebP file as the reader judges it before decoding, and the checks of a read.
#ifndef PIXOLITH_READERS_WEBP_WEBP_HEADER_H
#define PIXOLITH_READERS_WEBP_WEBP_HEADER_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace pxwebp {

// What libwebp's header parsing and the demuxer tell of a file.
struct Header {
  uint32_t width = 0;  // of the canvas, for an animation
  uint32_t height = 0;
  bool alpha = false;
  bool animated = false;
  bool lossless = false;
  uint32_t frames = 1;
};

// Bits per pixel of the file's own depth: 32 with transparency, 24 without.
uint32_t FileBits(const Header& header);

// The output depth of a read at `depth` with `flags` (PX_WEBP_*): the file's own with a
// packed DIB, else `depth` itself.
int OutputDepth(const Header& header, int depth, DWORD flags);

// The checks of a read: 0, or the error code: 28 at depth 8 (WebP has no palette
// images), 69 for a canvas without pixels or beyond the format's 16383 x 16383, 1 when
// the output cannot be one block or its size is more than the `fileBytes` of the file
// could code. Pure: it reads nothing.
int CheckHeader(const Header& header, int depth, DWORD flags, uint64_t fileBytes);

}  // namespace pxwebp

#endif  // PIXOLITH_READERS_WEBP_WEBP_HEADER_H
