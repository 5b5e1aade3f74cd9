// DIBs inside metafile records: the sizes a record may ask for are checked here, the
// colours it names through the selected palette are resolved here, and the BMP reader
// decodes the rest.
#include "metafile/dib.h"

#include <memory>
#include <new>

#include "readers/bmp/bmp_dib.h"

namespace pxmf {

namespace {

RGBQUAD Quad(uint32_t rgb) {
  return {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), 0};
}

// Whether the bits can hold what the header claims, before anything is decoded.
bool Plausible(const pxbmp::Header& h, size_t bitsBytes) {
  const uint64_t width = h.width > 0 ? uint64_t(h.width) : 0, rows = h.rows();
  if (!width || !rows || width * rows > kMaxDibPixels || h.bitCount > 32) return false;
  if (!h.core() && (h.compression == BI_RLE8 || h.compression == BI_RLE4)) {
    // Runs expand at most 255 pixels per two bytes (and deltas leave rows untouched), so
    // a short run list cannot ask for a huge bitmap.
    return width * rows <= (uint64_t(1) << 22) + 256 * uint64_t(bitsBytes);
  }
  // A bitmap whose last row lacks only its padding is still whole.
  const uint64_t stride = pxbmp::FileRowBytes(uint32_t(width), h.bitCount);
  return bitsBytes >= stride * (rows - 1) + (width * h.bitCount + 7) / 8;
}

// The colour table as playback sees it: entries that are indices into the selected
// palette (a grey ramp without one), and the two colours of monochrome pattern brushes.
std::vector<RGBQUAD> ResolveColors(const pxbmp::Header& h, const ByteView& info,
                                   const DibOptions& opt) {
  const pxbmp::DIBTable table = pxbmp::DIBColorTable(h);
  std::vector<RGBQUAD> colors(table.count, RGBQUAD{0, 0, 0, 0});
  const size_t entry = opt.paletteIndices ? 2 : h.entrySize();
  for (uint32_t i = 0; i < table.count; ++i) {
    size_t at = table.offset + size_t(i) * entry;
    if (opt.paletteIndices) {
      if (!info.Has(at, 2)) break;
      uint16_t index = info.U16(at);
      colors[i] = Quad(opt.palette && index < opt.palette->size() ? (*opt.palette)[index]
                                                                  : (index & 0xFF) * 0x010101u);
    } else {
      if (!info.Has(at, 3)) break;
      colors[i] = {info.U8(at), info.U8(at + 1), info.U8(at + 2), 0};
    }
  }
  if (opt.monoOverride && table.count >= 2) {
    colors[0] = Quad(opt.mono0);
    colors[1] = Quad(opt.mono1);
  }
  return colors;
}

}  // namespace

bool DecodeDib(const ByteView& info, const ByteView& bits, const DibOptions& opt, Raster* out) {
  const pxbmp::DIBParts parts{info.data(), info.size(), bits.data(), bits.size()};
  pxbmp::Header h;
  if (pxbmp::ReadDIBHeader(parts, &h) != PX_OK || !Plausible(h, bits.size())) return false;
  std::vector<RGBQUAD> colors;
  if (opt.paletteIndices || opt.monoOverride) colors = ResolveColors(h, info, opt);
  uint32_t width = 0, rows = 0;
  int error = PX_OK;
  std::unique_ptr<BYTE, decltype(&GlobalFree)> rgba(
      pxbmp::DecodeDIB(parts, colors.empty() ? nullptr : colors.data(), &width, &rows, &error),
      &GlobalFree);
  // Run-length bits that end before their end code still give the rows they hold.
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (!rgba || (error != PX_OK && !(rle && error == PX_ERR_FILE_READ))) return false;
  out->width = int(width);
  out->height = int(rows);
  out->bottomUp = !h.topDown();
  try {
    out->pixels.resize(size_t(width) * rows);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const BYTE* p = rgba.get();
  for (uint32_t& pixel : out->pixels) {
    pixel = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    p += 4;
  }
  return true;
}

}  // namespace pxmf
