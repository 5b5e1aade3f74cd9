// Fixture builders for PCX, TGA and Wireless Bitmap files and a common read call, shared
// by the reader tests and the command-line tests.
#ifndef PAGEWEAVER_TESTS_SMALL_FORMAT_FIXTURES_H
#define PAGEWEAVER_TESTS_SMALL_FORMAT_FIXTURES_H

#include <array>
#include <cstdint>
#include <vector>

#include "test_support.h"

namespace pxtest {

using RGB = std::array<uint8_t, 3>;

struct PcxFile {
  uint8_t manufacturer = 10, version = 5, bitsPerPlane = 8, planes = 1;
  uint8_t encoding = 1;                      // 0: the lines are stored as they are
  uint16_t xmin = 0, width = 1, height = 1;  // xmax = xmin + width - 1; ymin is 0
  uint16_t bytesPerLine = 0;                 // 0: the row's bytes rounded up to even
  uint16_t dpiX = 0, dpiY = 0;
  std::vector<RGB> headerColors;  // up to 16
  // Scan lines before encoding (planes x bytes per line each), run-length encoded one by
  // one (or stored raw with encoding 0), unless `data` is given: then that is the data.
  std::vector<std::vector<uint8_t>> lines;
  std::vector<uint8_t> data;
  int tableMarker = -1;    // 0..255: append a 769-byte tail of this marker and `table`
  std::vector<RGB> table;  // 256 colours

  uint16_t LineBytes() const;
  std::vector<uint8_t> Build() const;
};

struct TgaFile {
  uint8_t idLength = 0, colorMapType = 0, imageType = 2;
  uint16_t mapFirst = 0, mapLength = 0;
  uint8_t mapEntryBits = 0;
  uint16_t width = 1, height = 1;
  uint8_t pixelDepth = 24, descriptor = 0;
  std::vector<uint8_t> map;   // stored colour-map bytes
  std::vector<uint8_t> data;  // stored pixels, raw or in packets

  std::vector<uint8_t> Build() const;
};

// A type 0 Wireless Bitmap header with multi-byte width and height.
std::vector<uint8_t> WbmpHeader(uint32_t width, uint32_t height);

// What a read call gave: the block (freed with the object), its sizes, the last error and
// the palette, which starts filled with 0xEE so that entries left alone show.
struct Decoded {
  BlockGuard block;
  uint32_t width = 0, height = 0;
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
