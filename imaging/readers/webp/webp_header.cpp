// WebP output depths and the checks of a read.
#include "readers/webp/webp_header.h"

#include "core/operation.h"
#include "pixolith/px_webp.h"
#include "readers/alpha.h"
#include "readers/claimed_size.h"

namespace pxwebp {

namespace {

// The format's own limit: 14 bits a dimension.
constexpr uint32_t kMaxDimension = 16383;
// Lossless WebP can spend no bits at all on a flat image, so no bound of pixels per byte
// is strict. Photographs and scans need far more than a byte per 2^16 pixels; refusing
// a near-empty file that claims more than the trusted size costs nothing real and keeps
// a few hundred bytes from making the reader take a gigabyte.
constexpr uint64_t kMaxPixelsPerByte = uint64_t(1) << 16;

}  // namespace

uint32_t FileBits(const Header& h) {
  return px::TrueColourBits(h.alpha);
}

int OutputDepth(const Header& h, int depth, DWORD flags) {
  return px::TrueColourOutputDepth(h.alpha, depth, (flags & PX_WEBP_DIB) != 0);
}

int CheckHeader(const Header& h, int depth, DWORD flags, uint64_t fileBytes) {
  depth = OutputDepth(h, depth, flags);
  if (depth == 8) return PX_ERR_BIT_DEPTH;
  if (depth != 24 && depth != 32) return PX_ERR_PARAMETER;
  if (h.width == 0 || h.height == 0 || h.width > kMaxDimension || h.height > kMaxDimension)
    return PX_ERR_BAD_WEBP;
  size_t bytes;
  if (!px::BlockSize(h.height, size_t(h.width) * uint32_t(depth / 8), 0, &bytes))
    return PX_ERR_NO_MEMORY;
  // libwebp decodes into a four-byte-a-pixel canvas of its own besides the output.
  const uint64_t pixels = uint64_t(h.width) * h.height;
  if (!px::ClaimIsPlausible(pixels * 4, pixels, fileBytes, kMaxPixelsPerByte))
    return PX_ERR_NO_MEMORY;
  return PX_OK;
}

}  // namespace pxwebp
