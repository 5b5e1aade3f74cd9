// The PCX file header and the checks each kind of read makes of it.
#ifndef PIXOLITH_READERS_PCX_PCX_HEADER_H
#define PIXOLITH_READERS_PCX_PCX_HEADER_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace pxpcx {

// The fields of the 128-byte header the reader uses, and the sizes they give.
struct Header {
  uint8_t manufacturer = 0;  // 10 for ZSoft files
  uint8_t version = 0;
  uint8_t encoding = 1;  // 0: scan lines stored raw; any other value: run-length coded
  uint8_t bitsPerPlane = 0;
  int32_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;  // the window, corners included
  uint8_t planes = 0;
  uint16_t bytesPerLine = 0;
  uint16_t dpiX = 0;
  uint16_t dpiY = 0;
  RGBQUAD colors[16] = {};
  uint32_t width = 0;   // xmax - xmin + 1, for a window CheckHeader accepts
  uint32_t height = 0;  // ymax - ymin + 1
  uint32_t pixelBits = 0;
  size_t lineLength = 0;  // one scan line of every plane
};

// What a call makes of the file.
enum class Output { kDimensions, kPalette, kImage };

// The checks of `output` (the image at `depth`, 1, 8 or 24): 0, or the error code: PX_ERR_BAD_PCX
// for a header that is not a PCX header of a known version or whose lines cannot hold its pixels,
// PX_ERR_BIT_DEPTH when its pixels have no form at the depth (or no palette), PX_ERR_UNEXPECTED for
// plane layouts that have no conversion to the depth. Pure: it reads nothing.
int CheckHeader(const Header& header, Output output, uint32_t depth);

}  // namespace pxpcx

#endif  // PIXOLITH_READERS_PCX_PCX_HEADER_H
