// Wireless Bitmap, type 0: a two-byte zero header, width and height as multi-byte
// integers, then uncompressed 1-bit rows (a set bit is white).
#include <algorithm>
#include <cstring>
#include <vector>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "readers/raster_output.h"
#include "readers/wbmp/wbmp_header.h"

namespace pxwbmp {

int CheckHeader(const Header& h, Output output) {
  if (h.type != 0 || h.fixed != 0) return PX_ERR_BAD_WBMP;
  if (output == Output::kImage && (h.width == 0 || h.height == 0)) return PX_ERR_BAD_WBMP;
  return PX_OK;
}

}  // namespace pxwbmp

namespace {

using pxwbmp::Output;

// A multi-byte integer: seven bits per byte, most significant group first, bit 7 set on
// every byte but the last. Five groups already exceed 32 bits, so a longer chain (or a
// value that does not fit) is no dimension this reader can use.
bool ReadMultiByte(CPXIO& io, uint32_t* value) {
  uint64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    uint8_t b;
    if (!io.ReadU8(&b)) return false;
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) {
      if (v > UINT32_MAX) return false;
      *value = uint32_t(v);
      return true;
    }
  }
  return false;
}

// Reads the header and checks it for `output`; PX_ERR_BAD_WBMP when it is short or
// refused.
bool ReadHeader(px::Operation& op, CPXIO& io, Output output, pxwbmp::Header* h) {
  uint8_t type[2];
  if (!io.ReadExactly(type, 2)) return op.Fail(PX_ERR_BAD_WBMP);
  h->type = type[0];
  h->fixed = type[1];
  if (!ReadMultiByte(io, &h->width) || !ReadMultiByte(io, &h->height))
    return op.Fail(PX_ERR_BAD_WBMP);
  if (int e = CheckHeader(*h, output)) return op.Fail(e);
  return true;
}

BYTE* ReadWBMP(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, RGBQUAD* palette,
               uint32_t depth, uint32_t flags) {
  const bool dib = (flags & PX_READ_PACKED_DIB) != 0;
  if (!dib && ((depth != 1 && depth != 8) || !palette))
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  if (dib) depth = 1;

  pxwbmp::Header header;
  if (!ReadHeader(op, io, Output::kImage, &header)) return nullptr;
  const uint32_t w = header.width, h = header.height;

  const RGBQUAD colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 255}};
  if (palette) std::memcpy(palette, colors, sizeof colors);

  const size_t stored = PXImageRowBytes(w, 1);
  px::ByteInput in(io);
  if (!in.Holds(uint64_t(stored) * h)) return op.SetError(PX_ERR_FILE_READ), nullptr;
  px::RasterOutput out;
  if (!out.Allocate(op, w, h, depth, dib, dib ? 2 : 0, colors)) return nullptr;
  std::vector<uint8_t> bits(stored);
  std::vector<uint8_t> row(depth == 8 ? size_t(w) : 0);
  for (uint32_t y = 0; y < h; ++y) {
    std::fill(bits.begin(), bits.end(), 0);
    const bool complete = in.ReadExactly(bits.data(), stored);
    if (depth == 1) {
      out.StoreRow(y, bits.data());
    } else {
      for (uint32_t x = 0; x < w; ++x) row[x] = (bits[x >> 3] >> (7 - (x & 7))) & 1;
      out.StoreRow(y, row.data());
    }
    if (!complete) {
      op.SetError(PX_ERR_FILE_READ);
      break;
    }
    if (!op.Progress(y, h)) break;
  }
  return out.Release(width, height);
}

}  // namespace

extern "C" BOOL PXGetWBMPDimensions(PXSource source, uint32_t* width, uint32_t* height) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height}, [&](px::Operation& op, CPXIO& io) {
    pxwbmp::Header h;
    if (!ReadHeader(op, io, Output::kDimensions, &h)) return FALSE;
    *width = h.width;
    *height = h.height;
    return TRUE;
  });
}

extern "C" BYTE* PXReadWBMP(PXSource source, uint32_t* width, uint32_t* height, RGBQUAD* palette,
                            uint32_t depth, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadWBMP(op, io, width, height, palette, depth, flags);
  });
}
