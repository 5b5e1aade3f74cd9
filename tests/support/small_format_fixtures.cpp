#include "small_format_fixtures.h"

#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"

namespace pxtest {

uint16_t PcxFile::LineBytes() const {
  if (bytesPerLine) return bytesPerLine;
  uint32_t bytes = (uint32_t(width) * bitsPerPlane + 7) / 8;
  return uint16_t(bytes + (bytes & 1));
}

std::vector<uint8_t> PcxEncode(const std::vector<uint8_t>& line) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || (line[i] & 0xC0) == 0xC0) {
      out.push_back(uint8_t(0xC0 | run));
      out.push_back(line[i]);
    } else {
      out.push_back(line[i]);
    }
    i += run;
  }
  return out;
}

std::vector<uint8_t> PcxFile::Build() const {
  Bytes b;
  b.u8(manufacturer).u8(version).u8(1).u8(bitsPerPlane);
  b.le16(xmin).le16(ymin).le16(uint16_t(xmin + width - 1)).le16(uint16_t(ymin + height - 1));
  b.le16(dpiX).le16(dpiY);
  for (size_t i = 0; i < 16; ++i) {
    RGB c = i < headerColors.size() ? headerColors[i] : RGB{0, 0, 0};
    b.u8(c[0]).u8(c[1]).u8(c[2]);
  }
  b.u8(0).u8(planes).le16(LineBytes()).le16(1).fill(58);
  std::vector<uint8_t> out = b.data();
  if (!data.empty()) {
    out.insert(out.end(), data.begin(), data.end());
  } else {
    for (const auto& line : lines) {
      std::vector<uint8_t> enc = PcxEncode(line);
      out.insert(out.end(), enc.begin(), enc.end());
    }
  }
  if (tableMarker >= 0) {
    out.push_back(uint8_t(tableMarker));
    for (size_t i = 0; i < 256; ++i) {
      RGB c = i < table.size() ? table[i] : RGB{0, 0, 0};
      out.insert(out.end(), c.begin(), c.end());
    }
  }
  return out;
}

std::vector<uint8_t> TgaFile::Build() const {
  Bytes b;
  b.u8(idLength).u8(colorMapType).u8(imageType).le16(mapFirst).le16(mapLength).u8(mapEntryBits);
  b.le16(0).le16(0).le16(width).le16(height).u8(pixelDepth).u8(descriptor);
  b.fill(idLength, 'i');
  b.raw(map).raw(data);
  if (footer) b.le32(0).le32(0).str("TRUEVISION-XFILE.").u8(0);
  return b.data();
}

std::vector<uint8_t> WbmpMultiByte(uint32_t value) {
  std::vector<uint8_t> groups;
  do {
    groups.insert(groups.begin(), uint8_t(value & 0x7F));
    value >>= 7;
  } while (value);
  for (size_t i = 0; i + 1 < groups.size(); ++i) groups[i] |= 0x80;
  return groups;
}

std::vector<uint8_t> WbmpHeader(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out = {0, 0};
  for (uint32_t v : {width, height}) {
    std::vector<uint8_t> m = WbmpMultiByte(v);
    out.insert(out.end(), m.begin(), m.end());
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
  uint32_t* w = &out->width;
  uint32_t* h = &out->height;
  switch (format) {
    case SmallFormat::kPCX:
      out->block.reset(PXReadPCX(src, w, h, depth, out->palette, flags));
      break;
    case SmallFormat::kTGA:
      out->block.reset(PXReadTGA(src, w, h, depth, out->palette, flags));
      break;
    case SmallFormat::kWBMP:
      out->block.reset(PXReadWBMP(src, w, h, out->palette, depth, flags));
      break;
  }
  out->error = PXGetLastError();
}

}  // namespace pxtest
