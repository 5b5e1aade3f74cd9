// The JPEG frame as the reader sizes its output by it, the output modes, and the checks
// of a read before libjpeg is started.
#ifndef PIXOLITH_READERS_JPEG_JPEG_HEADER_H
#define PIXOLITH_READERS_JPEG_JPEG_HEADER_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace pxjpeg {

// What the file holds, as libjpeg will deliver it.
enum InputMode {
  kInUnsupported = 0,
  kInGrey = 1,
  kInRGB = 2,
  kInCMYK = 3,
  kInYCCK = 4,
  kInYCbCr = 5
};
// What the reader stores.
enum OutputMode { kOutGrey = 1, kOutRGB = 2, kOutCMYK = 3, kOutYCCK = 4, kOutYCbCr = 5 };

// The frame after libjpeg has read the header and worked out the output (scaled) size.
struct Header {
  uint32_t imageWidth = 0;
  uint32_t imageHeight = 0;
  uint32_t outputWidth = 0;
  uint32_t outputHeight = 0;
  uint32_t components = 0;        // in the file
  uint32_t outputComponents = 0;  // as libjpeg hands them out
  bool jpegCMYK = false;          // the file's colour space is CMYK
  bool jpegYCCK = false;          // ... or YCCK
  bool outputYCbCr = false;       // libjpeg hands out YCbCr as it is
  bool arithmetic = false;        // arithmetic coding
  InputMode input() const;
};

// The output mode of a read at `depth` with `flags` (PX_JPEG_*): 0, or PX_ERR_BIT_DEPTH
// when the file's colours have no form at that depth, PX_ERR_BAD_JPEG when libjpeg gives
// them in no form the reader knows.
int ChooseOutputMode(InputMode in, int depth, DWORD flags, OutputMode* out);
uint32_t BytesPerPixel(OutputMode out);
// Bytes of one stored row: padded to 4 for DIBs and Windows rows.
size_t RowBytes(const Header& header, OutputMode out, DWORD flags);

// The checks of a read: the output mode as above, then 1 when the output cannot be one
// block or when the full image (also when it is scaled down, all of it is decoded) claims
// more pixels than the `fileBytes` of the file could code. Pure: it reads nothing.
int CheckHeader(const Header& header, int depth, DWORD flags, uint64_t fileBytes);

}  // namespace pxjpeg

#endif  // PIXOLITH_READERS_JPEG_JPEG_HEADER_H
