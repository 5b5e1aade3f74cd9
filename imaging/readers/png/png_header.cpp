// PNG output layouts and the checks of a read, before libpng is asked for any pixels.
#include "readers/png/png_header.h"

#include <png.h>

#include <algorithm>

#include "core/dib.h"
#include "core/operation.h"
#include "pixolith/px_png.h"
#include "readers/claimed_size.h"

namespace pxpng {

namespace {

// Deflate expands data by at most about 1032:1, so N bytes of image data need at least
// N / 1032 bytes of file after the header. No size is taken on trust: libpng would only
// fail later on the missing data.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 1024;

// The layout for a requested depth, or false when the file's colour type cannot give it.
bool DepthLayout(const Header& h, int depth, uint32_t flags, Layout* out) {
  const int ct = h.colorType;
  const bool grey = ct == PNG_COLOR_TYPE_GRAY, palette = ct == PNG_COLOR_TYPE_PALETTE;
  switch (depth) {
    case 1:
      *out = Layout::kIndex1;
      return h.bitDepth == 1 && (grey || palette);
    case 8:
      *out = Layout::kIndex8;
      return grey || palette;
    case 16:
      if (flags & PX_PNG_READ_GRAY16) {
        *out = Layout::kGray16;
        return grey;
      }
      *out = Layout::kGrayAlpha8;
      return grey || ct == PNG_COLOR_TYPE_GRAY_ALPHA;
    case 24:
      *out = Layout::kRGB8;
      return true;
    case 32:
      *out = Layout::kRGBA8;
      return true;
    case 48:
      *out = Layout::kRGB16;
      return grey || ct == PNG_COLOR_TYPE_RGB || ct == PNG_COLOR_TYPE_RGB_ALPHA;
    case 64:
      *out = Layout::kRGBA16;
      return true;
  }
  return false;
}

// A packed DIB keeps the file's own depth: indices for palette and grey files (1 and 4
// bits as they are, 2, 8 and 16 bits as one byte), 24-bit colour, or 32 bits with alpha.
Layout DIBLayout(const Header& h) {
  switch (h.colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return h.bitDepth == 1   ? Layout::kIndex1
             : h.bitDepth == 4 ? Layout::kIndex4
                               : Layout::kIndex8;
    case PNG_COLOR_TYPE_RGB:
      return Layout::kRGB8;
    default:
      return Layout::kRGBA8;
  }
}

}  // namespace

uint32_t LayoutBits(Layout layout) {
  switch (layout) {
    case Layout::kIndex1:
      return 1;
    case Layout::kIndex4:
      return 4;
    case Layout::kIndex8:
      return 8;
    case Layout::kGrayAlpha8:
    case Layout::kGray16:
      return 16;
    case Layout::kRGB8:
      return 24;
    case Layout::kRGBA8:
      return 32;
    case Layout::kRGB16:
      return 48;
    case Layout::kRGBA16:
      return 64;
  }
  return 0;
}

bool IsIndexed(Layout layout) {
  return layout == Layout::kIndex1 || layout == Layout::kIndex4 || layout == Layout::kIndex8;
}

uint32_t LayoutColors(Layout layout) {
  return IsIndexed(layout) ? 1u << std::min<uint32_t>(LayoutBits(layout), 8) : 0;
}

bool ChooseLayout(const Header& h, int depth, uint32_t flags, Layout* layout) {
  if (!(flags & PX_PNG_READ_DIB)) return DepthLayout(h, depth, flags, layout);
  *layout = DIBLayout(h);
  return true;
}

size_t OutputSize(const Header& h, Layout layout, bool dib) {
  const uint32_t bits = LayoutBits(layout);
  size_t total = 0;
  if (dib)
    return h.width > INT32_MAX || h.height > INT32_MAX
               ? 0
               : px::DIBSize(h.width, h.height, uint16_t(bits), LayoutColors(layout));
  return px::BlockSize(h.height, PXImageRowBytes(h.width, bits), 0, &total) ? total : 0;
}

int CheckHeader(const Header& h, int depth, uint32_t flags, uint64_t availableBytes) {
  Layout layout;
  if (!ChooseLayout(h, depth, flags, &layout)) return PX_ERR_BIT_DEPTH;
  // The image data must fit in what is left of the file.
  const uint64_t fileBits = uint64_t(h.bitDepth) * h.channels;
  const uint64_t rawBytes = (uint64_t(h.width) * fileBits + 7) / 8 * h.height;
  if (!px::ClaimIsPlausible(rawBytes, rawBytes, availableBytes + kInflateSlack, kMaxInflateRatio,
                            0))
    return PX_ERR_BAD_PNG;
  return OutputSize(h, layout, flags & PX_PNG_READ_DIB) ? PX_OK : PX_ERR_NO_MEMORY;
}

}  // namespace pxpng
