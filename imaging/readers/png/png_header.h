// The PNG header as the reader sees it, the output layouts it makes, and the checks of a
// read before anything is allocated.
#ifndef PIXOLITH_READERS_PNG_PNG_HEADER_H
#define PIXOLITH_READERS_PNG_PNG_HEADER_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace pxpng {

// IHDR and the chunks before the image data, as libpng reports them.
struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int interlace = 0;
  uint32_t channels = 0;  // samples per pixel as stored
  PXResolution resolution = {};
  bool hasTransparency = false;  // a tRNS chunk
};

// The pixel layouts PXReadPNG produces.
enum class Layout {
  kIndex1,      // 1-bit indices (1-bit files only)
  kIndex4,      // 4-bit indices (packed DIBs of 4-bit files)
  kIndex8,      // one index or grey level per byte
  kGrayAlpha8,  // grey, alpha
  kGray16,      // one 16-bit grey sample
  kRGB8,
  kRGBA8,
  kRGB16,
  kRGBA16,
};

uint32_t LayoutBits(Layout layout);
bool IsIndexed(Layout layout);
// Palette entries an output of the layout carries: 2^bits (at most 256) for indices.
uint32_t LayoutColors(Layout layout);

// The layout of a read at `depth` with `flags` (PX_PNG_READ_*): the depth's layout, or with
// PX_PNG_READ_DIB the file's own. False when the file's colour type cannot give it.
bool ChooseLayout(const Header& header, int depth, uint32_t flags, Layout* layout);

// Bytes of the image buffer or packed DIB of the layout, or 0 when it cannot be one block.
size_t OutputSize(const Header& header, Layout layout, bool dib);

// The checks of a read at `depth` with `flags`: 0, or the error code: PX_ERR_BIT_DEPTH when
// the colour type has no form at the depth, PX_ERR_BAD_PNG when the image data cannot fit
// in the `availableBytes` left of the file, PX_ERR_NO_MEMORY when the output cannot be one
// block. Pure.
int CheckHeader(const Header& header, int depth, uint32_t flags, uint64_t availableBytes);

}  // namespace pxpng

#endif  // PIXOLITH_READERS_PNG_PNG_HEADER_H
