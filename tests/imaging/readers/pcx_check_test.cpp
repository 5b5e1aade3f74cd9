// The PCX header check on its own: versions, windows, plane layouts and line lengths
// against every kind of read, no file involved.
#include <gtest/gtest.h>

#include "header_cases.h"
#include "readers/pcx/pcx_header.h"

namespace {

using pxpcx::CheckHeader;
using pxpcx::Header;
using pxpcx::Output;

// A file of `planes` planes of `bits` bits over the window (0, 0) to (xmax, ymax), with
// lines just long enough.
Header Make(uint8_t planes, uint8_t bits, int32_t xmax = 7, int32_t ymax = 7) {
  Header h;
  h.manufacturer = 10;
  h.version = 5;
  h.planes = planes;
  h.bitsPerPlane = bits;
  h.xmax = xmax;
  h.ymax = ymax;
  h.width = uint32_t(xmax + 1);
  h.height = uint32_t(ymax + 1);
  h.pixelBits = uint32_t(planes) * bits;
  h.bytesPerLine = uint16_t((uint64_t(h.width) * bits + 7) / 8);
  h.lineLength = size_t(planes) * h.bytesPerLine;
  return h;
}

Header With(Header h, uint8_t manufacturer, uint8_t version) {
  h.manufacturer = manufacturer;
  h.version = version;
  return h;
}

Header Window(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) {
  Header h = Make(1, 8);
  h.xmin = xmin, h.ymin = ymin, h.xmax = xmax, h.ymax = ymax;
  return h;
}

Header ShortLines(Header h) {
  --h.bytesPerLine;
  return h;
}

Header Lines(Header h, uint16_t bytesPerLine) {
  h.bytesPerLine = bytesPerLine;
  return h;
}

// The output enum has no stages; the table's stage column is unused.
enum class Stage { kHeader };
using Case = pxtest::HeaderCase<Header, Output, Stage>;
constexpr Output kDims = Output::kDimensions;
constexpr Output kPal = Output::kPalette;
constexpr Output kImage = Output::kImage;
constexpr Stage kAny = Stage::kHeader;

const Case kCases[] = {
    {"not ZSoft", With(Make(1, 8), 9, 5), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"version 1", With(Make(1, 8), 10, 1), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"version 4", With(Make(1, 8), 10, 4), kImage, 8, kAny, PX_ERR_BAD_PCX},
    {"version 0", With(Make(1, 8), 10, 0), kImage, 8, kAny, PX_OK},
    {"maximum left of the minimum", Window(5, 0, 4, 7), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"maximum above the minimum", Window(0, 65535, 7, 0), kPal, 0, kAny, PX_ERR_BAD_PCX},
    {"one pixel", Window(9, 9, 9, 9), kDims, 0, kAny, PX_OK},
    {"no planes", Make(0, 8), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"no bits", Make(1, 0), kImage, 24, kAny, PX_ERR_BAD_PCX},
    {"more than 32 bits", Make(5, 8), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"255 planes of 255 bits", Make(255, 255), kDims, 0, kAny, PX_ERR_BAD_PCX},
    {"32 bits", Make(4, 8), kDims, 0, kAny, PX_OK},
    // Palettes and depths.
    {"palette of 24 bits", Make(3, 8), kPal, 0, kAny, PX_ERR_BIT_DEPTH},
    {"palette of 4 bits", Make(4, 1), kPal, 0, kAny, PX_OK},
    {"8 bits at depth 1", Make(1, 8), kImage, 1, kAny, PX_ERR_BIT_DEPTH},
    {"24 bits at depth 8", Make(3, 8), kImage, 8, kAny, PX_ERR_BIT_DEPTH},
    {"1 bit at depth 1", Make(1, 1), kImage, 1, kAny, PX_OK},
    {"4 planes of 1 bit at depth 8", Make(4, 1), kImage, 8, kAny, PX_OK},
    {"32 bits at depth 24", Make(4, 8), kImage, 24, kAny, PX_ERR_BIT_DEPTH},
    // Plane layouts without a conversion.
    {"3 planes of 4 bits", Make(3, 4), kImage, 24, kAny, PX_ERR_UNEXPECTED},
    {"1 plane of 3 bits", Make(1, 3), kImage, 8, kAny, PX_ERR_UNEXPECTED},
    {"2 planes of 8 bits", Make(2, 8), kImage, 24, kAny, PX_ERR_UNEXPECTED},
    // Lines too short for the window.
    {"short 8-bit lines", ShortLines(Make(1, 8)), kImage, 8, kAny, PX_ERR_BAD_PCX},
    {"short 24-bit lines", ShortLines(Make(3, 8, 99, 0)), kImage, 24, kAny, PX_ERR_BAD_PCX},
    {"short lines, dimensions", ShortLines(Make(1, 8)), kDims, 0, kAny, PX_OK},
    {"widest window", Make(1, 1, 65535, 65535), kImage, 1, kAny, PX_OK},
    // 65536 bytes of 8-bit pixels are more than the 16-bit line length can say.
    {"widest 8-bit window", Lines(Make(1, 8, 65535, 0), 65535), kImage, 8, kAny, PX_ERR_BAD_PCX},
};

TEST(PCXCheckHeader, HostileAndOddHeaders) {
  pxtest::ExpectHeaderCases(kCases, [](const Header& h, Output output, uint32_t depth, Stage) {
    return CheckHeader(h, output, depth);
  });
}

}  // namespace
