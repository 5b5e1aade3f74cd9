// BMP file and bitmap headers, colour tables.
#include <algorithm>
#include <cstring>

#include "readers/bmp/bmp_format.h"

namespace pxbmp {

namespace {

constexpr uint32_t kCoreSize = 12;
constexpr uint32_t kInfoSize = 40;
constexpr uint32_t kLargestHeader = 124;  // BITMAPV5HEADER
// Compression value given to OS/2 2.x codings (Huffman 1-D, RLE24) that share numbers
// with Windows ones but are not decoded here.
constexpr uint32_t kUnsupportedCompression = 0xFFFFFFFFu;

bool IsWindowsSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool IsOS2InfoSize(uint32_t size) {
  return size >= 16 && size <= 64 && !IsWindowsSize(size);
}

}  // namespace

uint64_t Header::declaredColors() const {
  if (core()) return bitCount <= 8 ? uint64_t(1) << bitCount : 0;
  if (clrUsed) return clrUsed;
  return bitCount < 32 ? uint64_t(1) << bitCount : 0;
}

int ReadHeader(CPXIO& io, Header* h) {
  uint8_t file[14];
  if (!io.ReadExactly(file, sizeof file)) return PX_ERR_FILE_READ;
  if (file[0] != 'B' || file[1] != 'M') return PX_ERR_BAD_BMP;
  h->offBits = px::LE32(file + 10);

  uint8_t b[kLargestHeader] = {};
  if (!io.ReadExactly(b, 4)) return PX_ERR_FILE_READ;
  h->headerSize = px::LE32(b);
  if (h->headerSize == kCoreSize) {
    if (!io.ReadExactly(b + 4, kCoreSize - 4)) return PX_ERR_FILE_READ;
    h->kind = HeaderKind::kCore;
    h->width = px::LE16(b + 4);
    h->height = px::LE16(b + 6);
    h->planes = px::LE16(b + 8);
    h->bitCount = px::LE16(b + 10);
    return PX_OK;
  }
  if (!IsWindowsSize(h->headerSize) && !IsOS2InfoSize(h->headerSize)) return PX_ERR_BAD_BMP;
  if (!io.ReadExactly(b + 4, h->headerSize - 4)) return PX_ERR_FILE_READ;
  h->kind = IsWindowsSize(h->headerSize) ? HeaderKind::kInfo : HeaderKind::kOS2Info;
  // Fields an OS/2 2.x header leaves out read as zero, as that format defines them.
  h->width = int32_t(px::LE32(b + 4));
  h->height = int32_t(px::LE32(b + 8));
  h->planes = px::LE16(b + 12);
  h->bitCount = px::LE16(b + 14);
  h->compression = px::LE32(b + 16);
  h->sizeImage = px::LE32(b + 20);
  h->xPelsPerMeter = int32_t(px::LE32(b + 24));
  h->yPelsPerMeter = int32_t(px::LE32(b + 28));
  h->clrUsed = px::LE32(b + 32);
  h->clrImportant = px::LE32(b + 36);
  if (h->kind == HeaderKind::kOS2Info) {
    if (h->compression >= BI_BITFIELDS) h->compression = kUnsupportedCompression;
  } else if (h->headerSize > kInfoSize) {
    h->headerMasks = true;
    for (int i = 0; i < 4; ++i)
      h->masks[i] = 40 + 4 * uint32_t(i) + 4 <= h->headerSize ? px::LE32(b + 40 + 4 * i) : 0;
  }
  return PX_OK;
}

bool ReadColors(CPXIO& io, const Header& h, uint32_t count, RGBQUAD* palette) {
  count = std::min<uint32_t>(count, 256);
  uint8_t table[256 * 4];
  const uint32_t entry = h.entrySize();
  if (!io.ReadExactly(table, size_t(count) * entry)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = table + size_t(i) * entry;
    palette[i].rgbBlue = e[0];
    palette[i].rgbGreen = e[1];
    palette[i].rgbRed = e[2];
    palette[i].rgbReserved = entry == 4 ? e[3] : 0;
  }
  return true;
}

bool Skip(CPXIO& io, uint64_t count) {
  uint8_t scratch[4096];
  while (count > 0) {
    size_t n = size_t(std::min<uint64_t>(count, sizeof scratch));
    if (!io.ReadExactly(scratch, n)) return false;
    count -= n;
  }
  return true;
}

}  // namespace pxbmp
