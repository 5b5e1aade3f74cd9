#include "small_format_fixtures.h"

#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"

namespace pxtest {

uint16_t PcxFile::LineBytes() const {
  if (bytesPerLine) return bytesPerLine;
  uint32_t bytes = (uint32_t(width) * bitsPerPlane + 7) / 8;
  return uint16_t(bytes + (bytes & 1));
}

std::vector<uint8_t> PcxFile::Build() const {
  Bytes b;
  b.u8(manufacturer).u8(version).u8(encoding).u8(bitsPerPlane).le16(xmin).le16(0);
  b.le16(uint16_t(xmin + width - 1)).le16(uint16_t(height - 1)).le16(dpiX).le16(dpiY);
  for (size_t i = 0; i < 16; ++i) {
    RGB c = i < headerColors.size() ? headerColors[i] : RGB{};
    b.u8(c[0]).u8(c[1]).u8(c[2]);
  }
  b.u8(0).u8(planes).le16(LineBytes()).le16(1).fill(58).raw(data);
  for (const auto& line : data.empty() ? lines : std::vector<std::vector<uint8_t>>()) {
    if (encoding == 0) {
      b.raw(line);
      continue;
    }
    // Runs of equal bytes, and single bytes with both top bits set, as count-value pairs.
    for (size_t i = 0, run; i < line.size(); i += run) {
      for (run = 1; i + run < line.size() && run < 63 && line[i + run] == line[i];) ++run;
      if (run > 1 || line[i] >= 0xC0) b.u8(0xC0 | run);
      b.u8(line[i]);
    }
  }
  if (tableMarker >= 0) {
    b.u8(uint8_t(tableMarker));
    for (size_t i = 0; i < 256; ++i) {
      RGB c = i < table.size() ? table[i] : RGB{};
      b.u8(c[0]).u8(c[1]).u8(c[2]);
    }
  }
  return b.data();
}

std::vector<uint8_t> TgaFile::Build() const {
  Bytes b;
  b.u8(idLength).u8(colorMapType).u8(imageType).le16(mapFirst).le16(mapLength).u8(mapEntryBits);
  b.le16(0).le16(0).le16(width).le16(height).u8(pixelDepth).u8(descriptor);
  return b.fill(idLength, 'i').raw(map).raw(data).data();
}

std::vector<uint8_t> WbmpHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out = {0, 0};
  for (uint32_t v : {width, height}) {
    size_t at = out.size();
    for (uint8_t last = 0x00; at == out.size() || v; v >>= 7, last = 0x80)
      out.insert(out.begin() + long(at), uint8_t((v & 0x7F) | last));
  }
  return out;
}

std::vector<uint8_t> Decoded::Bytes(size_t n) const {
  return block.block ? std::vector<uint8_t>(block.bytes(), block.bytes() + n)
                     : std::vector<uint8_t>();
}

void DecodeSmallFormat(SmallFormat format, const std::vector<uint8_t>& file, uint32_t depth,
                       Decoded* out, uint32_t flags) {
  MemorySource src(file);
  std::memset(out->palette, 0xEE, sizeof out->palette);
  uint32_t *w = &out->width, *h = &out->height;
  if (format == SmallFormat::kPCX)
    out->block.reset(PXReadPCX(src, w, h, depth, out->palette, flags));
  else if (format == SmallFormat::kTGA)
    out->block.reset(PXReadTGA(src, w, h, depth, out->palette, flags));
  else
    out->block.reset(PXReadWBMP(src, w, h, out->palette, depth, flags));
  out->error = PXGetLastError();
}

}  // namespace pxtest
