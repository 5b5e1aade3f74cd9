// Quarter-turn rotation and mirroring of byte images (in place) and 1-bit images.
#include <algorithm>
#include <array>
#include <cstring>

#include "processing/common.h"

namespace {

using pxproc::BitRowBytes;
using pxproc::RowFits;

constexpr std::array<uint8_t, 256> MakeReverseBits() {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    int r = 0;
    for (int k = 0; k < 8; ++k)
      if (b & (1 << k)) r |= 0x80 >> k;
    t[size_t(b)] = uint8_t(r);
  }
  return t;
}
// Each byte with its bit order reversed.
constexpr std::array<uint8_t, 256> kReverseTable = MakeReverseBits();

/* ---- Mirroring -------------------------------------------------------------------------- */

template <uint32_t N>
void MirrorPixels(uint8_t* row, uint32_t width, uint32_t bpp) {
  const uint32_t n = N ? N : bpp;
  uint8_t* a = row;
  uint8_t* b = row + size_t(width - 1) * n;
  for (; a < b; a += n, b -= n) std::swap_ranges(a, a + n, b);
}

bool FlipHorizontalRows(px::Operation& op, uint8_t* pixels, uint32_t width, uint32_t height,
                        uint32_t bpp, size_t stride) {
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = pixels + y * stride;
    switch (bpp) {
      case 1:
        std::reverse(row, row + width);
        break;
      case 3:
        MirrorPixels<3>(row, width, 3);
        break;
      case 4:
        MirrorPixels<4>(row, width, 4);
        break;
      default:
        MirrorPixels<0>(row, width, bpp);
    }
    if (!op.Progress(y, height)) return false;
  }
  return true;
}

bool FlipVerticalRows(px::Operation& op, uint8_t* pixels, size_t stride, uint32_t height) {
  for (uint32_t i = 0; i < (height + 1) / 2; ++i) {
    uint8_t* top = pixels + i * stride;
    uint8_t* bottom = pixels + (height - 1 - i) * stride;
    if (top != bottom) std::swap_ranges(top, top + stride, bottom);
    if (!op.Progress(2 * i, height)) return false;
  }
  return true;
}

// Mirrors a 1-bit row of width pixels in place: bytes reversed, bits reversed in each byte,
// then everything shifted left by the pad bits so that the row starts at bit 7 again. The
// vacated low bits of the last byte become 0.
void MirrorBitRow(uint8_t* row, uint32_t width) {
  const size_t bytes = BitRowBytes(width);
  for (size_t i = 0, j = bytes - 1; i < j; ++i, --j) {
    const uint8_t a = kReverseTable[row[i]];
    row[i] = kReverseTable[row[j]];
    row[j] = a;
  }
  if (bytes % 2) row[bytes / 2] = kReverseTable[row[bytes / 2]];
  if (const uint32_t pad = uint32_t(8 * bytes - width)) {
    for (size_t i = 0; i + 1 < bytes; ++i)
      row[i] = uint8_t(row[i] << pad | row[i + 1] >> (8 - pad));
    row[bytes - 1] = uint8_t(row[bytes - 1] << pad);
  }
}

/* ---- Byte rotation ---------------------------------------------------------------------- */

// Source rows are moved in bands: for each source column the band's pixels land next to each
// other in one temporary row, so both sides stay in the cache.
constexpr uint32_t kBand = 64;

template <uint32_t N>
void RotateBand(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bpp, uint32_t y0,
                uint32_t rows, int direction, uint8_t* temp, bool clear) {
  const uint32_t n = N ? N : bpp;
  const size_t stride = size_t(width) * n;
  const size_t tempStride = size_t(height) * n;
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* in = pixels + size_t(y0) * stride + size_t(x) * n;
    // Direction 0: (x, y) -> column height - 1 - y of row x; 2: column y of row width - 1 - x.
    uint8_t* out = direction == 0 ? temp + x * tempStride + size_t(height - 1 - y0) * n
                                  : temp + (width - 1 - x) * tempStride + size_t(y0) * n;
    const ptrdiff_t step = direction == 0 ? -ptrdiff_t(n) : ptrdiff_t(n);
    for (uint32_t k = 0; k < rows; ++k, in += stride, out += step) {
      if (clear)
        std::memset(out, 0, n);
      else
        std::memcpy(out, in, n);
    }
  }
}

void RotateBandAny(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bpp,
                   uint32_t y0, uint32_t rows, int direction, uint8_t* temp, bool clear) {
  switch (bpp) {
    case 1:
      return RotateBand<1>(pixels, width, height, 1, y0, rows, direction, temp, clear);
    case 3:
      return RotateBand<3>(pixels, width, height, 3, y0, rows, direction, temp, clear);
    case 4:
      return RotateBand<4>(pixels, width, height, 4, y0, rows, direction, temp, clear);
    default:
      return RotateBand<0>(pixels, width, height, bpp, y0, rows, direction, temp, clear);
  }
}

/* ---- 1-bit rotation --------------------------------------------------------------------- */

// Transposes an 8 x 8 bit matrix held as 8 bytes, row 0 in the top byte and column 0 in
// each byte's bit 7.
inline uint64_t Transpose8(uint64_t x) {
  x = (x & 0xAA55AA55AA55AA55ull) | ((x & 0x00AA00AA00AA00AAull) << 7) |
      ((x >> 7) & 0x00AA00AA00AA00AAull);
  x = (x & 0xCCCC3333CCCC3333ull) | ((x & 0x0000CCCC0000CCCCull) << 14) |
      ((x >> 14) & 0x0000CCCC0000CCCCull);
  x = (x & 0xF0F0F0F00F0F0F0Full) | ((x & 0x00000000F0F0F0F0ull) << 28) |
      ((x >> 28) & 0x00000000F0F0F0F0ull);
  return x;
}

// Writes the top `count` bits of value at bit offset `offset` of a row.
inline void WriteBits(uint8_t* row, size_t offset, uint8_t value, uint32_t count, bool setOnly) {
  const uint8_t mask = uint8_t(0xFF00u >> count);
  const uint32_t shift = uint32_t(offset & 7);
  uint8_t* p = row + offset / 8;
  auto put = [setOnly](uint8_t& d, uint8_t v, uint8_t m) {
    d = setOnly ? uint8_t(d | (v & m)) : uint8_t((d & ~m) | (v & m));
  };
  put(p[0], uint8_t(value >> shift), uint8_t(mask >> shift));
  if (shift + count > 8) put(p[1], uint8_t(value << (8 - shift)), uint8_t(mask << (8 - shift)));
}

// Moves source rows y0 ... y0 + rows - 1 (rows <= 8) for a quarter turn (direction 0 or 2).
void RotateBitBand(const uint8_t* source, uint32_t width, uint32_t height, uint32_t sourceStride,
                   uint8_t* destination, uint32_t destinationStride, int direction, uint32_t y0,
                   uint32_t rows, bool setOnly) {
  const uint8_t* in = source + size_t(y0) * sourceStride;
  // Direction 0 puts (x, y) at column height - 1 - y of row x: the band's rows appear in
  // reverse order, so they are gathered bottom row first. Direction 2 puts it at column y of
  // row width - 1 - x.
  const size_t column = direction == 0 ? size_t(height) - y0 - rows : y0;
  const size_t byteColumns = BitRowBytes(width);
  for (size_t bx = 0; bx < byteColumns; ++bx) {
    uint64_t m = 0;
    for (uint32_t k = 0; k < rows; ++k) {
      const uint32_t r = direction == 0 ? rows - 1 - k : k;
      m |= uint64_t(in[size_t(r) * sourceStride + bx]) << (56 - 8 * k);
    }
    if (!m && setOnly) continue;
    m = Transpose8(m);
    const uint32_t columns = uint32_t(std::min<size_t>(8, width - bx * 8));
    for (uint32_t j = 0; j < columns; ++j) {
      const size_t x = bx * 8 + j;
      const size_t row = direction == 0 ? x : width - 1 - x;
      WriteBits(destination + row * destinationStride, column, uint8_t(m >> (56 - 8 * j)), rows,
                setOnly);
    }
  }
}

// Rows reported before the stop (the stopping row included); all of them when none stopped.
uint32_t ReportRows(px::Operation& op, uint32_t y0, uint32_t rows, uint32_t height) {
  for (uint32_t k = 0; k < rows; ++k)
    if (!op.Progress(y0 + k, height)) return k + 1;
  return rows;
}

}  // namespace

extern "C" BOOL PXRotate90(BYTE* pixels, uint32_t width, uint32_t height, int direction,
                           uint32_t bytesPerPixel) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || direction < 0 || direction > 2 || !width || !height || !bytesPerPixel)
    return op.Fail(PX_ERR_PARAMETER);
  size_t stride, total;
  if (!px::MulSize(width, bytesPerPixel, &stride) || !px::BlockSize(height, stride, 0, &total))
    return op.Fail(PX_ERR_NO_MEMORY);  // no temporary image of that size can be had

  if (direction == 1)
    return FlipVerticalRows(op, pixels, stride, height) &&
           FlipHorizontalRows(op, pixels, width, height, bytesPerPixel, stride);

  px::Block temp(total);
  if (!temp) return op.Fail(PX_ERR_NO_MEMORY);
  for (uint32_t y0 = 0; y0 < height; y0 += kBand) {
    const uint32_t rows = std::min(kBand, height - y0);
    RotateBandAny(pixels, width, height, bytesPerPixel, y0, rows, direction, temp.get(), false);
    const uint32_t done = ReportRows(op, y0, rows, height);
    if (done < rows) {
      // Stopped: the rows after the stopping one go back to the state they had before.
      RotateBandAny(pixels, width, height, bytesPerPixel, y0 + done, rows - done, direction,
                    temp.get(), true);
      break;
    }
  }
  std::memcpy(pixels, temp.get(), total);
  return op.error() == 0;
}

extern "C" BOOL PXRotate1Bit90(const BYTE* source, uint32_t width, uint32_t height,
                               uint32_t sourceStride, BYTE* destination, uint32_t destinationStride,
                               uint32_t directionWord) {
  px::Operation op;
  if (!op) return FALSE;
  if (!source || !destination || source == destination) return op.Fail(PX_ERR_PARAMETER);
  const int direction = int(directionWord & 3);
  if (direction == 3) return FALSE;  // not a direction; no error is recorded
  const bool setOnly = directionWord & PX_ROTATE_SET_ONLY;
  const uint32_t destinationWidth = direction == 1 ? width : height;
  if (!width || !height || BitRowBytes(width) > sourceStride ||
      BitRowBytes(destinationWidth) > destinationStride)
    return op.Fail(PX_ERR_PARAMETER);

  if (direction == 1) {
    // (x, y) -> (width - 1 - x, height - 1 - y): each row mirrored into the opposite row.
    const size_t bytes = BitRowBytes(width);
    pxproc::Table<uint8_t> row;
    if (!row.Allocate(bytes)) return op.Fail(PX_ERR_NO_MEMORY);
    const uint32_t tail = width & 7;
    for (uint32_t y = 0; y < height; ++y) {
      std::memcpy(row.get(), source + size_t(y) * sourceStride, bytes);
      MirrorBitRow(row.get(), width);
      uint8_t* out = destination + size_t(height - 1 - y) * destinationStride;
      if (setOnly) {
        for (size_t i = 0; i < bytes; ++i) out[i] |= row[i];
      } else {
        std::memcpy(out, row.get(), tail ? bytes - 1 : bytes);
        if (tail) WriteBits(out, bytes * 8 - 8, row[bytes - 1], tail, false);
      }
      if (!op.Progress(y, height)) return FALSE;
    }
    return TRUE;
  }
  for (uint32_t y0 = 0; y0 < height; y0 += 8) {
    const uint32_t rows = std::min(8u, height - y0);
    const uint32_t done = ReportRows(op, y0, rows, height);
    RotateBitBand(source, width, height, sourceStride, destination, destinationStride, direction,
                  y0, done, setOnly);
    if (done < rows) return FALSE;
  }
  return op.error() == 0;
}

extern "C" BOOL PXFlipHorizontal(BYTE* pixels, uint32_t width, uint32_t height,
                                 uint32_t bytesPerPixel, uint32_t stride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || !width || !height || !bytesPerPixel || !RowFits(stride, width, bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  return FlipHorizontalRows(op, pixels, width, height, bytesPerPixel, stride);
}

extern "C" BOOL PXFlipHorizontal1Bit(BYTE* pixels, uint32_t width, uint32_t height,
                                     uint32_t stride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!width || !height) return TRUE;
  if (!pixels || BitRowBytes(width) > stride) return op.Fail(PX_ERR_PARAMETER);
  for (uint32_t y = 0; y < height; ++y) {
    MirrorBitRow(pixels + size_t(y) * stride, width);
    if (!op.Progress(y, height)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXFlipVertical(BYTE* pixels, uint32_t stride, uint32_t height) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || !stride || !height) return op.Fail(PX_ERR_PARAMETER);
  return FlipVerticalRows(op, pixels, stride, height);
}
