// BMP reader: dimensions, colour table, pixels at 1, 8, 24 or 32 bits, packed DIB.
#include "pixolith/px_bmp.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/dib.h"
#include "core/entry.h"
#include "readers/bmp/bmp_format.h"
#include "readers/claimed_size.h"

namespace {

using pxbmp::Header;
using pxbmp::Output;
using pxbmp::Stage;

// What one byte of run-length data can reasonably stand for: a two-byte run gives 255
// pixels of up to 4 bytes, and delta codes jump over background. Uncompressed data
// stands for itself: one byte of output per byte of file.
constexpr uint64_t kRLEExpansion = 1024;
constexpr uint64_t kStored = 1;

// Colour-table entries of a file of up to 8 bits: the colours used, at most 256. An OS/2
// core table has 2^bits entries unless bfOffBits shows that the writer stored fewer.
uint32_t TableColors(const Header& h) {
  uint64_t n = h.declaredColors();
  if (h.core() && h.offBits >= h.headersEnd())
    n = std::min<uint64_t>(n, (h.offBits - h.headersEnd()) / 3);
  return uint32_t(std::min<uint64_t>(n, 256));
}

// What to do when bfOffBits points before the current position.
enum class Backward { kRefuse, kSeek, kStay };

// Moves from `position` (bytes from the start of the file) to the pixel data at bfOffBits:
// forward by reading and discarding. Some writers store 54 (or 14) whatever their headers
// and colour table hold; such an offset, or one inside the headers, is not followed back:
// the pixels are taken to follow the colour table.
int MoveToPixels(CPXIO& io, const Header& h, uint64_t position, Backward backward) {
  if (h.offBits > position) return pxbmp::Skip(io, h.offBits - position) ? PX_OK : PX_ERR_BAD_BMP;
  if (h.offBits == position || h.offBits < h.headersEnd() || h.offBits == 54) return PX_OK;
  switch (backward) {
    case Backward::kRefuse:
      return PX_ERR_BAD_BMP;
    case Backward::kSeek:
      return io.Seek(h.offBits, PX_SEEK_SET) ? PX_OK : PX_ERR_BAD_BMP;
    case Backward::kStay:
      break;
  }
  return PX_OK;
}

// Allocates the zero-filled output of `rows` x `rowBytes`, or records why not: PX_ERR_NO_MEMORY
// when it cannot be had, PX_ERR_FILE_READ when the file cannot hold the data that stands for its
// `bytes` of output at `bytesPerByte` (see px::ClaimIsPlausible).
px::Block AllocateImage(px::Operation& op, CPXIO& io, uint64_t rows, uint64_t rowBytes,
                        size_t extra, uint64_t bytes, uint64_t bytesPerByte) {
  size_t total;
  if (!px::BlockSize(rows, rowBytes, extra, &total))
    return op.SetError(PX_ERR_NO_MEMORY), px::Block();
  if (!px::ClaimIsPlausible(total, bytes, io.Remaining(), bytesPerByte))
    return op.SetError(PX_ERR_FILE_READ), px::Block();
  px::Block block(total);
  if (!block) op.SetError(PX_ERR_NO_MEMORY);
  return block;
}

/* ---- Pixel conversion ------------------------------------------------------------------- */

// One colour channel of a bit-field pixel: the first run of set bits of its mask. Runs
// narrower than 8 bits are scaled to the full range (as 5-5-5 pixels are), so that white
// stays white; wider runs keep their top 8 bits.
struct Channel {
  int low = 0;
  uint32_t max = 0;  // the run's largest value; 0 for an empty mask
  int drop = 0;      // low bits dropped from runs wider than 8 bits

  static Channel From(uint32_t mask) {
    Channel c;
    if (!mask) return c;
    c.low = __builtin_ctz(mask);
    int width = 0;
    while (c.low + width < 32 && (mask >> (c.low + width)) & 1) ++width;
    c.drop = std::max(width - 8, 0);
    c.max = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    return c;
  }
  uint8_t Get(uint32_t pixel) const {
    if (!max) return 0;
    uint32_t v = (pixel >> low) & max;
    if (drop) return uint8_t(v >> drop);
    return uint8_t(max == 255 ? v : v * 255 / max);
  }
};

class RowConverter {
 public:
  RowConverter(const Header& h, const RGBQUAD* palette, const uint32_t* masks, uint32_t depth)
      : bits_(h.bitCount), palette_(palette), outBytes_(depth / 8) {
    if (!masks || (bits_ != 16 && bits_ != 32)) return;
    // 16-bit masks use their low 16 bits only.
    const uint32_t keep = bits_ == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 3; ++i) channels_[i] = Channel::From(masks[i] & keep);
    masked_ = true;
    if (bits_ == 32) {
      // Without an alpha mask the top byte is alpha when no colour uses it.
      uint32_t alphaMask = masks[3];
      if (!alphaMask && !((masks[0] | masks[1] | masks[2]) & 0xFF000000u)) alphaMask = 0xFF000000u;
      alpha_ = Channel::From(alphaMask);
      fixedAlpha_ = alphaMask == 0;
    }
  }

  void Convert(const uint8_t* in, uint8_t* out, uint32_t width) const {
    switch (bits_) {
      case 1:
      case 4:
      case 8: {
        const uint32_t perByte = 8 / bits_, mask = (1u << bits_) - 1;
        for (uint32_t x = 0; x < width; ++x, out += outBytes_) {
          uint32_t shift = bits_ * (perByte - 1 - x % perByte);
          Put(out, palette_[(in[x / perByte] >> shift) & mask]);
        }
        break;
      }
      case 16:
        for (uint32_t x = 0; x < width; ++x, in += 2, out += outBytes_) {
          uint32_t p = px::LE16(in);
          if (masked_) {
            Put(out, channels_[0].Get(p), channels_[1].Get(p), channels_[2].Get(p), 255);
          } else {
            Put(out, uint8_t(((p >> 10) & 31) * 255 / 31), uint8_t(((p >> 5) & 31) * 255 / 31),
                uint8_t((p & 31) * 255 / 31), 255);
          }
        }
        break;
      case 24:
        for (uint32_t x = 0; x < width; ++x, in += 3, out += outBytes_)
          Put(out, in[2], in[1], in[0], 255);
        break;
      case 32:
        for (uint32_t x = 0; x < width; ++x, in += 4, out += outBytes_) {
          uint32_t p = px::LE32(in);
          if (masked_) {
            Put(out, channels_[0].Get(p), channels_[1].Get(p), channels_[2].Get(p),
                fixedAlpha_ ? 255 : alpha_.Get(p));
          } else {
            Put(out, in[2], in[1], in[0], in[3]);
          }
        }
        break;
    }
  }

 private:
  void Put(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, uint8_t a) const {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    // Only 32-bit files carry alpha; every other pixel is opaque.
    if (outBytes_ == 4) out[3] = bits_ == 32 ? a : 255;
  }
  void Put(uint8_t* out, const RGBQUAD& q) const { Put(out, q.rgbRed, q.rgbGreen, q.rgbBlue, 255); }

  uint32_t bits_;
  const RGBQUAD* palette_;
  uint32_t outBytes_;
  bool masked_ = false;
  Channel channels_[3];
  Channel alpha_;
  bool fixedAlpha_ = true;
};

// Expands packed 1- or 4-bit indices to one byte each, or copies 8-bit ones.
void ExpandIndices(const uint8_t* in, uint8_t* out, uint32_t width, uint32_t bits) {
  if (bits == 8) {
    std::memcpy(out, in, width);
    return;
  }
  const uint32_t perByte = 8 / bits, mask = (1u << bits) - 1;
  for (uint32_t x = 0; x < width; ++x)
    out[x] = uint8_t((in[x / perByte] >> (bits * (perByte - 1 - x % perByte))) & mask);
}

/* ---- Reading paths ---------------------------------------------------------------------- */

// Run-length data into a width x height image of `depth` bits, cleared to palette entry 0.
BYTE* ReadRLE(px::Operation& op, CPXIO& io, const Header& h, const RGBQUAD* palette,
              uint64_t position, uint32_t depth, uint32_t* width, uint32_t* height) {
  if (int e = MoveToPixels(io, h, position, Backward::kRefuse)) return op.SetError(e), nullptr;
  const uint32_t w = uint32_t(h.width), rows = h.rows();
  const uint64_t pixelBytes = depth / 8;
  px::Block out = AllocateImage(op, io, rows, uint64_t(w) * pixelBytes, 0,
                                uint64_t(w) * rows * pixelBytes, kRLEExpansion);
  if (!out) return nullptr;
  if (depth != 8) {
    const RGBQUAD& bg = palette[0];
    uint8_t* p = out.get();
    for (uint64_t i = 0, n = uint64_t(w) * rows; i < n; ++i, p += pixelBytes) {
      p[0] = bg.rgbRed;
      p[1] = bg.rgbGreen;
      p[2] = bg.rgbBlue;
      if (depth == 32) p[3] = 255;
    }
  }
  op.SetError(pxbmp::DecodeRLE(op, io, h, palette, depth, out.get()));
  *width = w;
  *height = rows;
  return out.Release();
}

// The uncompressed row loop shared by the indexed and true-colour paths: rows go from
// the bottom up unless the file is top-down; a failed read or an abort keeps the rows
// read so far.
template <class ConvertRow>
BYTE* ReadRows(px::Operation& op, CPXIO& io, const Header& h, uint64_t outRowBytes, bool exactRows,
               ConvertRow convert, uint32_t* width, uint32_t* height) {
  const uint32_t w = uint32_t(h.width), rows = h.rows();
  const uint64_t fileRow = pxbmp::FileRowBytes(w, h.bitCount);
  px::Block out = AllocateImage(op, io, rows, outRowBytes, 0, fileRow * rows, kStored);
  if (!out) return nullptr;
  std::vector<uint8_t> row(fileRow);
  for (uint32_t i = 0; i < rows; ++i) {
    const uint32_t outRow = h.topDown() ? i : rows - 1 - i;
    if (!op.Progress(rows - 1 - outRow, rows)) break;
    if (exactRows) {
      if (!io.ReadExactly(row.data(), row.size())) {
        op.SetError(PX_ERR_FILE_READ);
        break;
      }
    } else {
      std::fill(row.begin(), row.end(), 0);
      if (io.Read(row.data(), row.size()) == 0) {
        op.SetError(PX_ERR_FILE_READ);
        break;
      }
    }
    convert(row.data(), out.get() + outRow * outRowBytes);
  }
  *width = w;
  *height = rows;
  return out.Release();
}

// Depth 1 or 8: one index per pixel (depth 8) or the packed bits (depth 1).
BYTE* ReadIndexed(px::Operation& op, CPXIO& io, uint32_t depth, RGBQUAD* palette, uint32_t* width,
                  uint32_t* height) {
  if (!palette) return op.SetError(PX_ERR_PARAMETER), nullptr;
  Header h;
  if (int e = pxbmp::ReadHeader(io, &h)) return op.SetError(e), nullptr;
  if (int e = CheckHeader(h, Output::kIndexed, depth, Stage::kHeader))
    return op.SetError(e), nullptr;

  const uint32_t colors = TableColors(h);
  if (!pxbmp::ReadColors(io, h, colors, palette)) return op.SetError(PX_ERR_FILE_READ), nullptr;
  const RGBQUAD fill = colors ? palette[0] : RGBQUAD{};
  std::fill(palette + colors, palette + 256, fill);
  const uint64_t position = h.headersEnd() + uint64_t(colors) * h.entrySize();
  if (int e = CheckHeader(h, Output::kIndexed, depth, Stage::kColorTable))
    return op.SetError(e), nullptr;

  if (pxbmp::IsRunLength(h)) return ReadRLE(op, io, h, palette, position, 8, width, height);
  if (int e = MoveToPixels(io, h, position, h.core() ? Backward::kStay : Backward::kRefuse))
    return op.SetError(e), nullptr;

  const uint32_t w = uint32_t(h.width), bits = h.bitCount;
  const uint64_t outRowBytes = PXImageRowBytes(w, depth);
  return ReadRows(
      op, io, h, outRowBytes, true,
      [&](const uint8_t* in, uint8_t* out) {
        if (depth == 1)
          std::memcpy(out, in, outRowBytes);
        else
          ExpandIndices(in, out, w, bits);
      },
      width, height);
}

// Depth 24 or 32: red, green, blue (and alpha) per pixel.
BYTE* ReadTrueColor(px::Operation& op, CPXIO& io, uint32_t depth, uint32_t* width,
                    uint32_t* height) {
  Header h;
  if (int e = pxbmp::ReadHeader(io, &h)) return op.SetError(e), nullptr;
  if (int e = CheckHeader(h, Output::kTrueColor, depth, Stage::kHeader))
    return op.SetError(e), nullptr;
  uint64_t position = h.headersEnd();

  uint32_t masks[4] = {};
  const bool masked = !h.core() && h.compression == BI_BITFIELDS;
  if (masked && h.headerMasks) {
    std::copy(h.masks, h.masks + 4, masks);
  } else if (masked) {
    uint8_t b[12];
    if (!io.ReadExactly(b, sizeof b)) return op.SetError(PX_ERR_FILE_READ), nullptr;
    for (int i = 0; i < 3; ++i) masks[i] = px::LE32(b + 4 * i);
    position += sizeof b;
  }
  if (int e = CheckHeader(h, Output::kTrueColor, depth, Stage::kMasks))
    return op.SetError(e), nullptr;

  RGBQUAD palette[256] = {};
  if (h.bitCount <= 8) {
    const uint32_t colors = TableColors(h);
    if (!pxbmp::ReadColors(io, h, colors, palette)) return op.SetError(PX_ERR_FILE_READ), nullptr;
    position += uint64_t(colors) * h.entrySize();
  }
  if (int e = CheckHeader(h, Output::kTrueColor, depth, Stage::kColorTable))
    return op.SetError(e), nullptr;
  if (pxbmp::IsRunLength(h)) return ReadRLE(op, io, h, palette, position, depth, width, height);
  if (int e = MoveToPixels(io, h, position, h.core() ? Backward::kStay : Backward::kSeek))
    return op.SetError(e), nullptr;

  const uint32_t w = uint32_t(h.width);
  RowConverter converter(h, palette, masked ? masks : nullptr, depth);
  return ReadRows(
      op, io, h, uint64_t(w) * (depth / 8), false,
      [&](const uint8_t* in, uint8_t* out) { converter.Convert(in, out, w); }, width, height);
}

// An OS/2 core bitmap as a Windows packed DIB: 40-byte header, 4-byte colours, the rows.
BYTE* ReadCoreDIB(px::Operation& op, CPXIO& io, const Header& h, uint32_t* width,
                  uint32_t* height) {
  const uint32_t bits = h.bitCount;
  const uint32_t w = uint32_t(h.width), rows = h.rows();
  const uint32_t colors = bits <= 8 ? 1u << bits : 0;
  const uint64_t rowBytes = PXDIBRowBytes(w, bits);
  px::Block dib =
      AllocateImage(op, io, rows, rowBytes, 40 + 4 * size_t(colors), rowBytes * rows, kStored);
  if (!dib) return nullptr;
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.get());
  px::FillDIBHeader(header, int32_t(w), int32_t(rows), uint16_t(bits), colors);
  auto* table = reinterpret_cast<RGBQUAD*>(dib.get() + 40);
  const uint32_t stored = bits <= 8 ? TableColors(h) : 0;
  if (!pxbmp::ReadColors(io, h, stored, table)) return op.SetError(PX_ERR_FILE_READ), nullptr;
  if (int e = MoveToPixels(io, h, h.headersEnd() + 3 * uint64_t(stored), Backward::kStay))
    return op.SetError(e), nullptr;
  if (!io.ReadExactly(dib.get() + 40 + 4 * size_t(colors), rowBytes * rows))
    return op.SetError(PX_ERR_FILE_READ), nullptr;
  *width = w;
  *height = rows;
  return dib.Release();
}

// The bitmap as a packed DIB in its own depth and compression.
BYTE* ReadPackedDIB(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height) {
  uint64_t fileSize = 0;
  io.Size(&fileSize);
  Header h;
  if (int e = pxbmp::ReadHeader(io, &h)) return op.SetError(e), nullptr;
  if (int e = CheckHeader(h, Output::kPackedDIB, 0, Stage::kHeader)) return op.SetError(e), nullptr;
  if (h.core()) return ReadCoreDIB(op, io, h, width, height);

  const uint32_t w = uint32_t(h.width), rows = h.rows(), bits = h.bitCount;
  const uint32_t colors = bits <= 8 ? TableColors(h) : 0;
  const bool masks = h.compression == BI_BITFIELDS && (bits == 16 || bits == 32);
  const size_t table = masks ? 12 : 4 * size_t(colors);
  // The block holds the rows the header describes, or all the data the file has after
  // bfOffBits when that is more (run-length data, trailing bytes).
  const uint64_t needed = PXDIBRowBytes(w, bits) * uint64_t(rows);
  const uint64_t available = fileSize > h.offBits ? fileSize - h.offBits : 0;
  const uint64_t pixelBytes = std::max(needed, available);
  px::Block dib = AllocateImage(op, io, 1, pixelBytes, 40 + table, needed, kStored);
  if (!dib) return nullptr;

  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.get());
  header->biSize = 40;
  header->biWidth = h.width;
  header->biHeight = h.height;
  header->biPlanes = h.planes;
  header->biBitCount = h.bitCount;
  header->biCompression = h.compression;
  header->biSizeImage = h.sizeImage ? h.sizeImage : uint32_t(needed);
  header->biXPelsPerMeter = h.xPelsPerMeter;
  header->biYPelsPerMeter = h.yPelsPerMeter;
  // The table holds at most 256 colours; readers of the DIB find the rows by this count.
  // Deeper DIBs carry no colour table here.
  header->biClrUsed = bits <= 8 && h.clrUsed ? colors : 0;
  header->biClrImportant = std::min(h.clrImportant, header->biClrUsed);

  uint64_t position = h.headersEnd();
  if (masks && h.headerMasks) {
    for (int i = 0; i < 3; ++i) std::memcpy(dib.get() + 40 + 4 * i, &h.masks[i], 4);
  } else if (table) {
    if (!io.ReadExactly(dib.get() + 40, table)) return op.SetError(PX_ERR_FILE_READ), nullptr;
    position += table;
  }
  if (int e = MoveToPixels(io, h, position, Backward::kSeek)) return op.SetError(e), nullptr;
  io.Read(dib.get() + 40 + table, pixelBytes);  // a short file leaves zeros
  *width = w;
  *height = rows;
  return dib.Release();
}

bool ReadDimensions(px::Operation& op, CPXIO& io, int32_t* width, int32_t* height,
                    uint32_t* bitsPerPixel, PXResolution* resolution, uint32_t flags) {
  Header h;
  if (int e = pxbmp::ReadHeader(io, &h)) return op.Fail(e);
  *width = h.width;
  *height = h.height;
  *bitsPerPixel = h.bitCount;
  if (resolution && !h.core()) {
    // A negative density means nothing; it is reported as unknown.
    const uint32_t x = uint32_t(std::max(h.xPelsPerMeter, 0));
    const uint32_t y = uint32_t(std::max(h.yPelsPerMeter, 0));
    if (flags & PX_BMP_RES_PER_METRE)
      *resolution = {x, y, 2};
    else
      *resolution = {x / 100, y / 100, 1};
  }
  return true;
}

BOOL GetDimensions(PXSource source, int32_t* width, int32_t* height, uint32_t* bitsPerPixel,
                   PXResolution* resolution, uint32_t flags) {
  return px::RunEntry<BOOL>(
      source, FALSE, {width, height, bitsPerPixel}, [&](px::Operation& op, CPXIO& io) {
        return ReadDimensions(op, io, width, height, bitsPerPixel, resolution, flags);
      });
}

bool ReadPalette(px::Operation& op, CPXIO& io, uint32_t* colorCount, RGBQUAD* palette) {
  Header h;
  if (int e = pxbmp::ReadHeader(io, &h)) return op.Fail(e);
  if (int e = CheckHeader(h, Output::kPalette, 0, Stage::kHeader)) return op.Fail(e);
  const uint32_t colors = TableColors(h);
  if (!pxbmp::ReadColors(io, h, colors, palette)) return op.Fail(PX_ERR_FILE_READ);
  *colorCount = colors;
  return true;
}

BYTE* ReadBitmap(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, uint32_t depth,
                 RGBQUAD* palette, uint32_t flags) {
  if (flags & PX_READ_PACKED_DIB) return ReadPackedDIB(op, io, width, height);
  switch (depth) {
    case 1:
    case 8:
      return ReadIndexed(op, io, depth, palette, width, height);
    case 24:
    case 32:
      return ReadTrueColor(op, io, depth, width, height);
    default:
      return op.SetError(PX_ERR_PARAMETER), nullptr;
  }
}

}  // namespace

extern "C" BOOL PXGetBMPDimensions(PXSource source, int32_t* width, int32_t* height,
                                   uint32_t* bitsPerPixel, PXResolution* resolution) {
  return GetDimensions(source, width, height, bitsPerPixel, resolution, 0);
}

extern "C" BOOL PXGetBMPDimensionsEx(PXSource source, int32_t* width, int32_t* height,
                                     uint32_t* bitsPerPixel, PXResolution* resolution,
                                     uint32_t flags) {
  return GetDimensions(source, width, height, bitsPerPixel, resolution, flags);
}

extern "C" BOOL PXGetBMPPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette) {
  return px::RunEntry<BOOL>(
      source, FALSE, {colorCount, palette},
      [&](px::Operation& op, CPXIO& io) { return ReadPalette(op, io, colorCount, palette); });
}

extern "C" BYTE* PXReadBMP(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                           RGBQUAD* palette, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadBitmap(op, io, width, height, depth, palette, flags);
  });
}
