// PCX: header, palette and the scan lines, run-length coded or (encoding 0) stored as
// they are, of 1- to 8-bit (one to four planes) and 24-bit (three planes of 8 bits) files.
#include <cstring>
#include <vector>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "readers/pcx/pcx_header.h"
#include "readers/raster_output.h"

namespace {

using PCXHeader = pxpcx::Header;
using pxpcx::Output;

constexpr size_t kHeaderSize = 128;
constexpr size_t kTableSize = 769;  // marker byte 12 and 256 red-green-blue triples
constexpr uint8_t kTableMarker = 12;

// Reads the 128-byte header at the source's position and checks it for `output` (at
// `depth`); PX_ERR_BAD_PCX when it is short, else the code of CheckHeader.
bool ReadHeader(px::Operation& op, CPXIO& io, Output output, uint32_t depth, PCXHeader* h) {
  uint8_t b[kHeaderSize];
  if (!io.ReadExactly(b, sizeof b)) return op.Fail(PX_ERR_BAD_PCX);
  h->manufacturer = b[0];
  h->version = b[1];
  h->encoding = b[2];
  h->bitsPerPlane = b[3];
  h->xmin = px::LE16(b + 4), h->ymin = px::LE16(b + 6);
  h->xmax = px::LE16(b + 8), h->ymax = px::LE16(b + 10);
  h->dpiX = px::LE16(b + 12);
  h->dpiY = px::LE16(b + 14);
  for (int i = 0; i < 16; ++i) {
    const uint8_t* rgb = b + 16 + 3 * i;
    h->colors[i] = {rgb[2], rgb[1], rgb[0], 0};
  }
  h->planes = b[65];
  h->bytesPerLine = px::LE16(b + 66);
  h->width = uint32_t(h->xmax - h->xmin + 1);
  h->height = uint32_t(h->ymax - h->ymin + 1);
  h->pixelBits = uint32_t(h->planes) * h->bitsPerPlane;
  h->lineLength = size_t(h->planes) * h->bytesPerLine;
  if (int e = CheckHeader(*h, output, depth)) return op.Fail(e);
  return true;
}

// The palette of files of up to 8 bits per pixel (256 entries).
void BuildPalette(CPXIO& io, const PCXHeader& h, RGBQUAD* pal) {
  std::memset(pal, 0, 256 * sizeof(RGBQUAD));
  bool table = false;
  if (h.version == 5 && h.pixelBits == 8) {
    uint8_t t[kTableSize];
    if (io.Seek(-int64_t(kTableSize), PX_SEEK_END) && io.ReadExactly(t, sizeof t) &&
        t[0] == kTableMarker) {
      for (int i = 0; i < 256; ++i) pal[i] = {t[3 * i + 3], t[3 * i + 2], t[3 * i + 1], 0};
      table = true;
    }
  }
  if (!table)
    for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  if (h.pixelBits >= 8) return;
  uint32_t used;
  if (h.planes == 1 && h.bitsPerPlane == 1) {
    pal[0] = {0, 0, 0, 0};
    pal[1] = {255, 255, 255, 0};
    used = 2;
  } else {
    // The header holds 16 colours; 5- to 7-bit files get no more than those.
    used = std::min<uint32_t>(1u << h.pixelBits, 16);
    for (uint32_t i = 0; i < used; ++i) pal[i] = h.colors[i];
  }
  for (uint32_t i = used; i < 256; ++i) pal[i] = pal[0];
}

// Decodes one run-length coded scan line. Runs are cut at the end of the line.
bool DecodeLine(px::ByteInput& in, uint8_t* line, size_t length) {
  size_t pos = 0;
  while (pos < length) {
    uint8_t b;
    if (!in.Byte(&b)) return false;
    if ((b & 0xC0) != 0xC0) {
      line[pos++] = b;
      continue;
    }
    uint8_t value;
    if (!in.Byte(&value)) return false;
    size_t count = std::min<size_t>(b & 0x3F, length - pos);
    std::memset(line + pos, value, count);
    pos += count;
  }
  return true;
}

// Reads one scan line of `length` bytes as the header's encoding stores it.
bool ReadLine(const PCXHeader& h, px::ByteInput& in, uint8_t* line, size_t length) {
  return h.encoding == 0 ? in.ReadExactly(line, length) : DecodeLine(in, line, length);
}

enum class Conversion { kRGB, kCopyBits, kIndex };

// How a scan line becomes an output row, or false (PX_ERR_UNEXPECTED) for layouts that
// have no conversion to the output depth.
bool ChooseConversion(const PCXHeader& h, uint32_t depth, Conversion* c) {
  if (depth == 24 && h.planes == 3 && h.bitsPerPlane == 8) {
    *c = Conversion::kRGB;
    return true;
  }
  if (depth == 1 && h.pixelBits == 1) {
    *c = Conversion::kCopyBits;
    return true;
  }
  const uint8_t b = h.bitsPerPlane;
  if ((depth == 8 || depth == 24) && h.pixelBits <= 8 && (b == 1 || b == 2 || b == 4 || b == 8)) {
    *c = Conversion::kIndex;
    return true;
  }
  return false;
}

}  // namespace

namespace pxpcx {

int CheckHeader(const Header& h, Output output, uint32_t depth) {
  const uint8_t v = h.version;
  if (h.manufacturer != 10 || (v != 0 && v != 2 && v != 3 && v != 5)) return PX_ERR_BAD_PCX;
  // Unsigned corners: a maximum below the minimum describes no image rather than one
  // 65,000 pixels wide.
  if (h.xmax < h.xmin || h.ymax < h.ymin) return PX_ERR_BAD_PCX;
  if (h.pixelBits < 1 || h.pixelBits > 32) return PX_ERR_BAD_PCX;
  switch (output) {
    case Output::kDimensions:
      return PX_OK;
    case Output::kPalette:
      return h.pixelBits > 8 ? PX_ERR_BIT_DEPTH : PX_OK;
    case Output::kImage:
      break;
  }
  if (depth < h.pixelBits) return PX_ERR_BIT_DEPTH;
  Conversion conversion;
  if (!ChooseConversion(h, depth, &conversion)) return PX_ERR_UNEXPECTED;
  // Every plane of a line must hold the bits of the whole row.
  if (uint64_t(h.bytesPerLine) * 8 < uint64_t(h.width) * h.bitsPerPlane) return PX_ERR_BAD_PCX;
  return PX_OK;
}

}  // namespace pxpcx

namespace {

// Combines the planes of pixel x into one value; plane 0 gives the lowest bits.
inline uint32_t PixelValue(const PCXHeader& h, const uint8_t* line, uint32_t x) {
  const uint32_t bits = h.bitsPerPlane;
  const size_t bit = size_t(x) * bits;
  const uint32_t shift = 8 - bits - uint32_t(bit & 7);
  const uint32_t mask = (1u << bits) - 1;
  uint32_t value = 0;
  for (uint32_t p = 0; p < h.planes; ++p) {
    uint32_t v = (line[size_t(p) * h.bytesPerLine + (bit >> 3)] >> shift) & mask;
    value |= v << (p * bits);
  }
  return value;
}

void ConvertLine(const PCXHeader& h, Conversion c, uint32_t depth, const RGBQUAD* pal,
                 const uint8_t* line, uint8_t* row) {
  const uint32_t w = h.width;
  switch (c) {
    case Conversion::kRGB: {
      const uint8_t* r = line;
      const uint8_t* g = line + h.bytesPerLine;
      const uint8_t* b = line + 2 * size_t(h.bytesPerLine);
      for (uint32_t x = 0; x < w; ++x) {
        row[3 * x] = r[x];
        row[3 * x + 1] = g[x];
        row[3 * x + 2] = b[x];
      }
      break;
    }
    case Conversion::kCopyBits:
      std::memcpy(row, line, PXImageRowBytes(w, 1));
      break;
    case Conversion::kIndex:
      if (depth == 8 && h.planes == 1 && h.bitsPerPlane == 8) {
        std::memcpy(row, line, w);
      } else if (depth == 8) {
        for (uint32_t x = 0; x < w; ++x) row[x] = uint8_t(PixelValue(h, line, x));
      } else {
        for (uint32_t x = 0; x < w; ++x) {
          const RGBQUAD& q = pal[PixelValue(h, line, x)];
          row[3 * x] = q.rgbRed;
          row[3 * x + 1] = q.rgbGreen;
          row[3 * x + 2] = q.rgbBlue;
        }
      }
      break;
  }
}

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bits,
                   PXResolution* res) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height, bits},
                            [&](px::Operation& op, CPXIO& io) {
                              PCXHeader h;
                              if (!ReadHeader(op, io, Output::kDimensions, 0, &h)) return FALSE;
                              *width = h.width;
                              *height = h.height;
                              *bits = h.pixelBits;
                              if (res) *res = {h.dpiX, h.dpiY, 0};
                              return TRUE;
                            });
}

BYTE* ReadPCX(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, uint32_t depth,
              RGBQUAD* palette, uint32_t flags) {
  const bool dib = (flags & PX_READ_PACKED_DIB) != 0;
  if (!dib && depth != 1 && depth != 8 && depth != 24)
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  if (!dib && depth <= 8 && !palette) return op.SetError(PX_ERR_PARAMETER), nullptr;

  PCXHeader h;
  if (!ReadHeader(op, io, Output::kDimensions, 0, &h)) return nullptr;
  if (dib) depth = h.pixelBits;
  if (int e = CheckHeader(h, Output::kImage, depth)) return op.SetError(e), nullptr;
  Conversion conversion = Conversion::kIndex;
  ChooseConversion(h, depth, &conversion);

  RGBQUAD pal[256] = {};
  if (h.pixelBits <= 8) BuildPalette(io, h, pal);
  if (depth <= 8 && palette) std::memcpy(palette, pal, sizeof pal);

  if (!io.Seek(kHeaderSize, PX_SEEK_SET)) return op.SetError(PX_ERR_FILE_READ), nullptr;
  // A run byte pair makes at most 63 bytes, so a line takes at least 2/63 of its length.
  // Raw lines are held to the same bound, so that a cut raw file, like a cut coded one,
  // gives the rows it holds.
  const uint64_t leastPerLine = (2 * uint64_t(h.lineLength) + 62) / 63;
  px::ByteInput in(io);
  if (!in.Holds(leastPerLine * h.height)) return op.SetError(PX_ERR_FILE_READ), nullptr;

  px::RasterOutput out;
  const uint32_t colors = dib && depth <= 8 ? 1u << depth : 0;
  if (!out.Allocate(op, h.width, h.height, depth, dib, colors, pal)) return nullptr;
  std::vector<uint8_t> line(h.lineLength);
  std::vector<uint8_t> row(out.RowBytes());
  for (uint32_t y = 0; y < h.height; ++y) {
    if (!ReadLine(h, in, line.data(), line.size())) {
      op.SetError(PX_ERR_FILE_READ);
      break;
    }
    ConvertLine(h, conversion, depth, pal, line.data(), row.data());
    out.StoreRow(y, row.data());
    if (!op.Progress(y, h.height)) break;
  }
  return out.Release(width, height);
}

}  // namespace

extern "C" BOOL PXGetPCXDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   uint32_t* bitsPerPixel) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr);
}

extern "C" BOOL PXGetPCXDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                                     uint32_t* bitsPerPixel, PXResolution* resolution) {
  return GetDimensions(source, width, height, bitsPerPixel, resolution);
}

extern "C" BOOL PXGetPCXPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette) {
  return px::RunEntry<BOOL>(source, FALSE, {colorCount, palette},
                            [&](px::Operation& op, CPXIO& io) {
                              PCXHeader h;
                              if (!ReadHeader(op, io, Output::kPalette, 0, &h)) return FALSE;
                              BuildPalette(io, h, palette);
                              *colorCount = 256;
                              return TRUE;
                            });
}

extern "C" BYTE* PXReadPCX(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                           RGBQUAD* palette, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadPCX(op, io, width, height, depth, palette, flags);
  });
}
