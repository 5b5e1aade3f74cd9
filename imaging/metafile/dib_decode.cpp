// DIBs inside metafile records: every header field and every byte of bits is checked
// against the record before it is used.
#include "metafile/dib_decode.h"

#include <algorithm>
#include <new>

namespace pxmf {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct Masks {
  uint32_t m[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

uint8_t Channel(uint32_t v, uint32_t mask) {
  if (!mask) return 0;
  int shift = __builtin_ctz(mask);
  uint32_t max = mask >> shift;
  return uint8_t(uint64_t((v & mask) >> shift) * 255 / max);
}

// The colour table as 0xFFRRGGBB values.
std::vector<uint32_t> ReadColors(const ByteView& info, size_t offset, uint32_t count,
                                 size_t entryBytes, const DibOptions& opt) {
  std::vector<uint32_t> colors(count, 0xFF000000u);
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = offset + size_t(i) * entryBytes;
    if (opt.paletteIndices) {
      if (!info.Has(at, 2)) break;
      uint16_t index = info.U16(at);
      if (opt.palette && index < opt.palette->size())
        colors[i] = 0xFF000000u | (*opt.palette)[index];
      else
        colors[i] = 0xFF000000u | (index & 0xFF) * 0x010101u;  // no palette: a grey ramp
    } else {
      if (!info.Has(at, 3)) break;
      colors[i] = 0xFF000000u | (uint32_t(info.U8(at + 2)) << 16) |
                  (uint32_t(info.U8(at + 1)) << 8) | info.U8(at);
    }
  }
  if (opt.monoOverride && count >= 2) {
    colors[0] = 0xFF000000u | opt.mono0;
    colors[1] = 0xFF000000u | opt.mono1;
  }
  return colors;
}

class RleDecoder {
 public:
  RleDecoder(const ByteView& bits, int bpp, const std::vector<uint32_t>& colors, Raster* out)
      : bits_(bits), bpp_(bpp), colors_(colors), out_(out) {}

  void Run() {
    size_t p = 0;
    int x = 0, y = 0;  // y counts rows from the bottom
    while (p + 1 < bits_.size() && y < out_->height) {
      uint8_t count = bits_.U8(p), value = bits_.U8(p + 1);
      p += 2;
      if (count) {
        for (int i = 0; i < count; ++i) {
          uint8_t index = bpp_ == 8 ? value : ((i & 1) ? value & 15 : value >> 4);
          Put(x++, y, index);
        }
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++y;
      } else if (value == 1) {  // end of bitmap
        return;
      } else if (value == 2) {  // delta
        if (p + 1 >= bits_.size()) return;
        x += bits_.U8(p);
        y += bits_.U8(p + 1);
        p += 2;
      } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
        size_t bytes = bpp_ == 8 ? value : (size_t(value) + 1) / 2;
        if (!bits_.Has(p, bytes)) return;
        for (int i = 0; i < value; ++i) {
          uint8_t b = bits_.U8(p + (bpp_ == 8 ? i : i / 2));
          uint8_t index = bpp_ == 8 ? b : ((i & 1) ? b & 15 : b >> 4);
          Put(x++, y, index);
        }
        p += (bytes + 1) & ~size_t(1);
      }
    }
  }

 private:
  void Put(int x, int y, uint8_t index) {
    if (x < 0 || x >= out_->width || y < 0 || y >= out_->height) return;
    uint32_t c = index < colors_.size() ? colors_[index] : 0xFF000000u;
    out_->pixels[size_t(out_->height - 1 - y) * out_->width + x] = c;
  }

  const ByteView& bits_;
  int bpp_;
  const std::vector<uint32_t>& colors_;
  Raster* out_;
};

}  // namespace

bool DecodeDib(const ByteView& info, const ByteView& bits, const DibOptions& opt, Raster* out) {
  uint32_t headerSize = info.U32(0);
  if (info.overrun() || headerSize < 12 || !info.Has(0, headerSize)) return false;
  int64_t width, height;
  uint32_t bpp, compression = kBiRgb, clrUsed = 0;
  size_t entryBytes = opt.paletteIndices ? 2 : 4;
  if (headerSize == 12) {  // the old core header
    width = info.U16(4);
    height = info.I16(6);
    bpp = info.U16(10);
    if (!opt.paletteIndices) entryBytes = 3;
  } else {
    if (headerSize < 40) return false;
    width = info.I32(4);
    height = info.I32(8);
    bpp = info.U16(14);
    compression = info.U32(16);
    clrUsed = info.U32(32);
  }
  bool bottomUp = height > 0;
  height = height < 0 ? -height : height;
  if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > kMaxDibPixels) return false;

  Masks masks;
  size_t colorOffset = headerSize;
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (bpp != 16 && bpp != 32) return false;
    int n = compression == kBiAlphaBitfields ? 4 : 3;
    // Version 4 and 5 headers hold the masks; the 40-byte header is followed by them.
    size_t at = headerSize >= 52 ? 40 : headerSize;
    if (!info.Has(at, 4 * size_t(n))) return false;
    for (int i = 0; i < n; ++i) masks.m[i] = info.U32(at + 4 * i);
    if (headerSize < 52) colorOffset += 4 * n;
  } else if (bpp == 16) {
    masks.m[0] = 0x7C00;
    masks.m[1] = 0x03E0;
    masks.m[2] = 0x001F;
  } else if (bpp == 24 || bpp == 32) {
    masks.m[0] = 0xFF0000;
    masks.m[1] = 0x00FF00;
    masks.m[2] = 0x0000FF;
  }

  bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (rle) {
    if ((compression == kBiRle8 && bpp != 8) || (compression == kBiRle4 && bpp != 4)) return false;
    // Runs expand at most 255 pixels per two bytes (and deltas leave rows untouched), so
    // a short run list cannot ask for a huge bitmap.
    if (uint64_t(width) * uint64_t(height) > (uint64_t(1) << 22) + 256 * uint64_t(bits.size()))
      return false;
  } else if (compression != kBiRgb && compression != kBiBitfields &&
             compression != kBiAlphaBitfields) {
    return false;  // embedded JPEG or PNG, or unknown
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

  std::vector<uint32_t> colors;
  if (bpp <= 8) {
    uint32_t count = clrUsed && clrUsed <= (1u << bpp) ? clrUsed : (1u << bpp);
    colors = ReadColors(info, colorOffset, count, entryBytes, opt);
  }

  size_t stride = ((size_t(width) * bpp + 31) / 32) * 4;
  if (!rle && !bits.HasArray(0, uint64_t(height), stride)) {
    // A bitmap whose last row lacks only its padding is still whole.
    size_t needed = stride * size_t(height - 1) + (size_t(width) * bpp + 7) / 8;
    if (bits.size() < needed) return false;
  }

  out->width = int(width);
  out->height = int(height);
  out->bottomUp = bottomUp;
  try {
    out->pixels.assign(size_t(width) * size_t(height), 0xFF000000u);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (rle) {
    RleDecoder(bits, int(bpp), colors, out).Run();
    return true;
  }
  const uint8_t* data = bits.data();
  for (int64_t y = 0; y < height; ++y) {
    size_t rowStart = size_t(bottomUp ? height - 1 - y : y) * stride;
    const uint8_t* row = data + rowStart;
    size_t rowBytes = std::min(stride, bits.size() - rowStart);
    uint32_t* dst = &out->pixels[size_t(y) * size_t(width)];
    for (int64_t x = 0; x < width; ++x) {
      uint32_t c;
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          size_t bit = size_t(x) * bpp;
          if (bit / 8 >= rowBytes) {
            c = 0xFF000000u;
            break;
          }
          uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
          c = index < colors.size() ? colors[index] : 0xFF000000u;
          break;
        }
        case 16: {
          size_t at = size_t(x) * 2;
          uint32_t v = at + 1 < rowBytes ? row[at] | (row[at + 1] << 8) : 0;
          c = 0xFF000000u | (uint32_t(Channel(v, masks.m[0])) << 16) |
              (uint32_t(Channel(v, masks.m[1])) << 8) | Channel(v, masks.m[2]);
          break;
        }
        case 24: {
          size_t at = size_t(x) * 3;
          c = at + 2 < rowBytes ? 0xFF000000u | (uint32_t(row[at + 2]) << 16) |
                                      (uint32_t(row[at + 1]) << 8) | row[at]
                                : 0xFF000000u;
          break;
        }
        default: {
          size_t at = size_t(x) * 4;
          uint32_t v = at + 3 < rowBytes
                           ? uint32_t(row[at]) | (uint32_t(row[at + 1]) << 8) |
                                 (uint32_t(row[at + 2]) << 16) | (uint32_t(row[at + 3]) << 24)
                           : 0;
          uint32_t alpha = masks.m[3] ? Channel(v, masks.m[3]) : v >> 24;
          if (compression != kBiRgb && !masks.m[3]) alpha = 0xFF;
          c = (alpha << 24) | (uint32_t(Channel(v, masks.m[0])) << 16) |
              (uint32_t(Channel(v, masks.m[1])) << 8) | Channel(v, masks.m[2]);
          break;
        }
      }
      dst[x] = c;
    }
  }
  return true;
}

}  // namespace pxmf
