// Packed-DIB helpers shared by the conversions and the readers that return DIBs.
#ifndef PIXOLITH_CORE_DIB_H
#define PIXOLITH_CORE_DIB_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace px {

// Fills a 40-byte header: planes 1, no compression, biSizeImage = padded row x |height|,
// the given resolution (pixels per metre) and colour counts.
void FillDIBHeader(BITMAPINFOHEADER* header, int32_t width, int32_t height, uint16_t bitsPerPixel,
                   uint32_t colorsUsed, int32_t xPelsPerMeter = 0, int32_t yPelsPerMeter = 0);

// Allocates a zero-filled packed DIB: header, `colors` palette entries and |height| rows
// of the padded row length. Returns null when the size does not fit a block.
uint8_t* AllocDIB(uint32_t width, uint32_t height, uint16_t bitsPerPixel, uint32_t colors,
                  size_t* totalSize = nullptr);

// Size of a packed DIB with `colors` palette entries, or 0 when it would not fit.
size_t DIBSize(uint32_t width, uint32_t height, uint16_t bitsPerPixel, uint32_t colors);

// Builds the 24-bit packed DIB of a top-down RGB image buffer into `output` (which must
// hold DIBSize(width, height, 24, 0) bytes) or a new block. Null when it cannot be
// allocated.
uint8_t* RGBToDIB(const uint8_t* pixels, uint32_t width, uint32_t height,
                  uint8_t* output = nullptr);

}  // namespace px

#endif  // PIXOLITH_CORE_DIB_H
