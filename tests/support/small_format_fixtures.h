// Fixture builders for PCX, TGA and Wireless Bitmap files, shared by the reader tests and
// the command-line tests.
#ifndef PAGEWEAVER_TESTS_SMALL_FORMAT_FIXTURES_H
#define PAGEWEAVER_TESTS_SMALL_FORMAT_FIXTURES_H

#include <array>
#include <cstdint>
#include <vector>

#include "test_support.h"

namespace pxtest {

using RGB = std::array<uint8_t, 3>;

struct PcxFile {
  uint8_t manufacturer = 10;
  uint8_t version = 5;
  uint8_t bitsPerPlane = 8;
  uint8_t planes = 1;
  uint16_t xmin = 0, ymin = 0;
  uint16_t width = 1, height = 1;  // xmax = xmin + width - 1, likewise y
  uint16_t bytesPerLine = 0;       // 0: the pixels' bytes rounded up to an even count
  uint16_t dpiX = 0, dpiY = 0;
  std::vector<RGB> headerColors;  // up to 16
  // Scan lines as they are before encoding (planes x bytes per line each); each is
  // run-length encoded on its own unless `data` is given.
  std::vector<std::vector<uint8_t>> lines;
  std::vector<uint8_t> data;  // encoded data used as it is, instead of `lines`
  int tableMarker = -1;       // 0..255: a 769-byte tail of this marker and `table`
  std::vector<RGB> table;     // 256 colours

  uint16_t LineBytes() const;
  std::vector<uint8_t> Build() const;
};

// PCX run-length encoding of one scan line: runs of equal bytes, and single bytes with
// both top bits set, as count-value pairs; other bytes as themselves.
std::vector<uint8_t> PcxEncode(const std::vector<uint8_t>& line);

struct TgaFile {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 2;
  uint16_t mapFirst = 0, mapLength = 0;
  uint8_t mapEntryBits = 0;
  uint16_t width = 1, height = 1;
  uint8_t pixelDepth = 24;
  uint8_t descriptor = 0;
  std::vector<uint8_t> map;   // stored colour-map bytes
  std::vector<uint8_t> data;  // stored pixel data (raw or packets)
  bool footer = false;        // append a 2.0 footer (with no extension area)

  std::vector<uint8_t> Build() const;
};

// A type 0 Wireless Bitmap header with multi-byte width and height.
std::vector<uint8_t> WbmpHeader(uint32_t width, uint32_t height);
std::vector<uint8_t> WbmpMultiByte(uint32_t value);

// What a read call gave: the block (freed with the object), its sizes, the last error and
// the palette, which starts filled with 0xEE so that entries left alone show.
struct Decoded {
  BlockGuard block;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = -1;
  RGBQUAD palette[256];
  std::vector<uint8_t> Bytes(size_t n) const;
};

enum class SmallFormat { kPCX, kTGA, kWBMP };

// Reads `file` from a memory source with the format's read call.
void DecodeSmallFormat(SmallFormat format, const std::vector<uint8_t>& file, uint32_t depth,
                       Decoded* out, uint32_t flags = 0);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_SMALL_FORMAT_FIXTURES_H
