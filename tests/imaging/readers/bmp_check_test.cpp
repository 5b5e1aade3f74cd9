// The BMP header check on its own: hostile and odd headers against every kind of read, no
// file involved. The reader's own tests show the same codes through PXReadBMP.
#include <gtest/gtest.h>

#include <cstdint>

#include "header_cases.h"
#include "readers/bmp/bmp_format.h"

namespace {

using pxbmp::CheckHeader;
using pxbmp::Header;
using pxbmp::HeaderKind;
using pxbmp::Output;
using pxbmp::Stage;

Header Info(int32_t width, int32_t height, uint16_t bits, uint32_t compression = BI_RGB) {
  Header h;
  h.headerSize = 40;
  h.kind = HeaderKind::kInfo;
  h.width = width;
  h.height = height;
  h.planes = 1;
  h.bitCount = bits;
  h.compression = compression;
  return h;
}

Header Core(int32_t width, int32_t height, uint16_t bits) {
  Header h = Info(width, height, bits);
  h.headerSize = 12;
  h.kind = HeaderKind::kCore;
  return h;
}

using Case = pxtest::HeaderCase<Header, Output, Stage>;

constexpr Output kIndexed = Output::kIndexed;
constexpr Output kTrue = Output::kTrueColor;
constexpr Output kDIB = Output::kPackedDIB;
constexpr Output kPalette = Output::kPalette;
constexpr Stage kHeader = Stage::kHeader;
constexpr Stage kMasks = Stage::kMasks;
constexpr Stage kTable = Stage::kColorTable;

const Case kCases[] = {
    // Sizes: nothing to decode.
    {"zero width", Info(0, 5, 24), kTrue, 24, kHeader, PX_ERR_BAD_BMP},
    {"negative width", Info(-5, 5, 24), kTrue, 24, kHeader, PX_ERR_BAD_BMP},
    {"zero height", Info(5, 0, 24), kTrue, 24, kHeader, PX_ERR_BAD_BMP},
    {"zero height, indexed", Info(5, 0, 8), kIndexed, 8, kHeader, PX_ERR_BAD_BMP},
    {"most negative width", Info(INT32_MIN, 1, 8), kIndexed, 8, kHeader, PX_ERR_BAD_BMP},
    {"zero width, DIB", Info(0, 1, 8), kDIB, 0, kHeader, PX_ERR_BAD_BMP},
    {"zero-width core DIB", Core(0, 1, 8), kDIB, 0, kHeader, PX_ERR_BAD_BMP},
    // The header says nothing of the size of the block: that is judged when allocating.
    {"widest image", Info(INT32_MAX, INT32_MIN, 32), kTrue, 32, kHeader, PX_OK},
    {"widest DIB", Info(INT32_MAX, INT32_MAX, 32), kDIB, 0, kHeader, PX_OK},
    {"top-down image", Info(3, -3, 24), kTrue, 24, kHeader, PX_OK},
    // Depths.
    {"24-bit file as indices", Info(1, 1, 24), kIndexed, 8, kHeader, PX_ERR_BIT_DEPTH},
    {"4-bit file at depth 1", Info(1, 1, 4), kIndexed, 1, kHeader, PX_ERR_BIT_DEPTH},
    {"1-bit file at depth 8", Info(1, 1, 1), kIndexed, 8, kHeader, PX_OK},
    {"2-bit file as indices", Info(1, 1, 2), kIndexed, 8, kHeader, PX_ERR_BAD_BMP},
    {"0-bit file as indices", Info(1, 1, 0), kIndexed, 8, kHeader, PX_ERR_BAD_BMP},
    {"2-bit file in true colour", Info(1, 1, 2), kTrue, 24, kMasks, PX_ERR_BAD_BMP},
    {"64-bit file in true colour", Info(1, 1, 64), kTrue, 24, kMasks, PX_ERR_BAD_BMP},
    {"huge bit count", Info(1, 1, 0xFFFF), kTrue, 32, kMasks, PX_ERR_BAD_BMP},
    {"16-bit file in true colour", Info(1, 1, 16), kTrue, 24, kMasks, PX_OK},
    {"16-bit core file", Core(1, 1, 16), kTrue, 24, kMasks, PX_ERR_BAD_BMP},
    {"32-bit core file", Core(1, 1, 32), kTrue, 32, kMasks, PX_ERR_BAD_BMP},
    {"24-bit core file", Core(1, 1, 24), kTrue, 24, kMasks, PX_OK},
    {"16-bit core DIB", Core(1, 1, 16), kDIB, 0, kHeader, PX_ERR_BAD_BMP},
    {"7-bit DIB", Info(1, 1, 7), kDIB, 0, kHeader, PX_ERR_BAD_BMP},
    {"palette of a 24-bit file", Info(1, 1, 24), kPalette, 0, kHeader, PX_ERR_BIT_DEPTH},
    {"palette of a 0-bit file", Info(1, 1, 0), kPalette, 0, kHeader, PX_ERR_BIT_DEPTH},
    {"palette of a 4-bit file", Info(1, 1, 4), kPalette, 0, kHeader, PX_OK},
    // Compressions.
    {"JPEG compression in true colour", Info(1, 1, 24, 4), kTrue, 24, kHeader, PX_ERR_BAD_BMP},
    {"RLE8 on a 24-bit file", Info(1, 1, 24, BI_RLE8), kTrue, 24, kHeader, PX_ERR_BAD_BMP},
    {"bit fields", Info(1, 1, 16, BI_BITFIELDS), kTrue, 24, kHeader, PX_OK},
    {"RLE4 on a 4-bit file", Info(1, 1, 4, BI_RLE4), kTrue, 24, kHeader, PX_OK},
    {"RLE4 on an 8-bit file as indices", Info(1, 1, 8, BI_RLE4), kIndexed, 8, kTable,
     PX_ERR_BAD_BMP},
    {"bit fields as indices", Info(1, 1, 8, BI_BITFIELDS), kIndexed, 8, kTable, PX_ERR_BAD_BMP},
    {"top-down RLE8 as indices", Info(2, -2, 8, BI_RLE8), kIndexed, 8, kTable, PX_ERR_BAD_BMP},
    {"bottom-up RLE8 as indices", Info(2, 2, 8, BI_RLE8), kIndexed, 8, kTable, PX_OK},
    {"top-down RLE4 in true colour", Info(2, -2, 4, BI_RLE4), kTrue, 32, kTable, PX_ERR_BAD_BMP},
    {"top-down plain rows", Info(2, -2, 8), kTrue, 32, kTable, PX_OK},
    {"unknown compression in a DIB", Info(1, 1, 8, 4), kDIB, 0, kHeader, PX_ERR_BAD_BMP},
    {"top-down RLE8 DIB", Info(2, -2, 8, BI_RLE8), kDIB, 0, kHeader, PX_OK},
};

TEST(BMPCheckHeader, HostileAndOddHeaders) {
  pxtest::ExpectHeaderCases(kCases, CheckHeader);
}

// Each fault is reported at one stage only: the reader asks at every stage and must not
// hear of a fault again, or earlier than its turn.
TEST(BMPCheckHeader, FaultsBelongToOneStage) {
  const Header twoBit = Info(1, 1, 2, BI_BITFIELDS);
  EXPECT_EQ(CheckHeader(twoBit, kTrue, 24, kHeader), PX_OK);
  EXPECT_EQ(CheckHeader(twoBit, kTrue, 24, kTable), PX_OK);
  const Header topDownRLE = Info(2, -2, 8, BI_RLE8);
  EXPECT_EQ(CheckHeader(topDownRLE, kIndexed, 8, kHeader), PX_OK);
  EXPECT_EQ(CheckHeader(topDownRLE, kTrue, 24, kHeader), PX_OK);
  EXPECT_EQ(CheckHeader(topDownRLE, kTrue, 24, kMasks), PX_OK);
  const Header zeroWide = Info(0, 1, 24);
  EXPECT_EQ(CheckHeader(zeroWide, kTrue, 24, kMasks), PX_OK);
  EXPECT_EQ(CheckHeader(zeroWide, kDIB, 0, kTable), PX_OK);
  EXPECT_EQ(CheckHeader(Info(1, 1, 24), kPalette, 0, kMasks), PX_OK);
}

TEST(BMPCheckHeader, RowsOfTheMostNegativeHeightDoNotWrap) {
  const Header h = Info(1, INT32_MIN, 24);
  EXPECT_EQ(h.rows(), 2147483648u);
  EXPECT_TRUE(h.topDown());
  // The widest possible row, in 64 bits.
  EXPECT_EQ(pxbmp::FileRowBytes(UINT32_MAX, 32), uint64_t(UINT32_MAX) * 4);
}

}  // namespace
