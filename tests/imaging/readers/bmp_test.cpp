// BMP reader: headers, colour tables, every bit depth and compression, packed DIBs, and
// files that lie about themselves. Fixtures are built byte by byte.
#include <cstring>
#include <optional>
#include <random>

#include "pixolith/px_bmp.h"
#include "reader_results.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::Bytes;
using pxtest::MemorySource;

// A bitmap file, field by field.
struct BMP {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bits = 24;
  uint32_t compression = BI_RGB;
  uint32_t clrUsed = 0;
  int32_t xPelsPerMeter = 2835;
  int32_t yPelsPerMeter = 3937;
  std::vector<RGBQUAD> colors;
  std::vector<uint32_t> masks;  // after a 40-byte header, inside larger ones
  uint32_t gap = 0;             // bytes between the colour table and the pixels
  std::optional<uint32_t> offBits;
  std::vector<uint8_t> pixels;  // as stored

  std::vector<uint8_t> Build() const {
    Bytes b;
    const bool core = headerSize == 12;
    const uint32_t table = uint32_t(colors.size()) * (core ? 3 : 4);
    const uint32_t maskBytes = headerSize == 40 ? uint32_t(masks.size()) * 4 : 0;
    const uint32_t off = 14 + headerSize + maskBytes + table + gap;
    b.str("BM").le32(off + uint32_t(pixels.size())).le16(0).le16(0).le32(offBits.value_or(off));
    if (core) {
      b.le32(12).le16(uint32_t(width)).le16(uint32_t(height)).le16(1).le16(bits);
    } else {
      b.le32(headerSize).le32(uint32_t(width)).le32(uint32_t(height)).le16(1).le16(bits);
      b.le32(compression).le32(uint32_t(pixels.size())).le32(uint32_t(xPelsPerMeter));
      b.le32(uint32_t(yPelsPerMeter)).le32(clrUsed).le32(0);
      if (headerSize > 40) {
        for (size_t i = 0; i < 4; ++i) b.le32(i < masks.size() ? masks[i] : 0);
        b.fill(headerSize - 56);
      } else {
        for (uint32_t m : masks) b.le32(m);
      }
    }
    for (const RGBQUAD& q : colors) {
      b.u8(q.rgbBlue).u8(q.rgbGreen).u8(q.rgbRed);
      if (!core) b.u8(q.rgbReserved);
    }
    b.fill(gap, 0xEE);
    b.raw(pixels);
    return b.data();
  }
};

// Stored rows, each padded to a multiple of 4 bytes, in the order given.
std::vector<uint8_t> Rows(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  for (const auto& r : rows) {
    out.insert(out.end(), r.begin(), r.end());
    out.resize(out.size() + (4 - r.size() % 4) % 4, 0);
  }
  return out;
}

using Result = pxtest::ReadResult;

void Read(const std::vector<uint8_t>& file, uint32_t depth, Result* r, uint32_t flags = 0) {
  MemorySource src(file);
  r->pixels.reset(PXReadBMP(src, &r->width, &r->height, depth, r->palette, flags));
  r->error = PXGetLastError();
}

const RGBQUAD kRed = {0, 0, 255, 0}, kGreen = {0, 255, 0, 0}, kBlue = {255, 0, 0, 0};
const RGBQUAD kWhite = {255, 255, 255, 0}, kBlack = {0, 0, 0, 0};

/* ---- Headers ---------------------------------------------------------------------------- */

TEST(BMPHeader, DimensionsAndResolution) {
  BMP bmp;
  bmp.width = 3;
  bmp.height = -2;  // top-down
  bmp.pixels = Rows({{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}});
  const std::vector<uint8_t> srcFile = bmp.Build();
  MemorySource src(srcFile);
  int32_t w, h;
  uint32_t bpp;
  PXResolution res = {};
  ASSERT_TRUE(PXGetBMPDimensions(src, &w, &h, &bpp, &res));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, -2);
  EXPECT_EQ(bpp, 24u);
  EXPECT_EQ(res.x, 28u);  // 2835 per metre, truncated per centimetre
  EXPECT_EQ(res.y, 39u);
  EXPECT_EQ(res.unit, 1u);
  PXSeekSource(src, 0, PX_SEEK_SET);
  ASSERT_TRUE(PXGetBMPDimensionsEx(src, &w, &h, &bpp, &res, PX_BMP_RES_PER_METRE));
  EXPECT_EQ(res.x, 2835u);
  EXPECT_EQ(res.y, 3937u);
  EXPECT_EQ(res.unit, 2u);

  // A negative density means nothing; an OS/2 core header has none and leaves it alone.
  bmp.xPelsPerMeter = -5000;
  const std::vector<uint8_t> negative = bmp.Build();
  MemorySource src2(negative);
  ASSERT_TRUE(PXGetBMPDimensions(src2, &w, &h, &bpp, &res));
  EXPECT_EQ(res.x, 0u);
  bmp.headerSize = 12;
  bmp.height = 2;
  const std::vector<uint8_t> os2 = bmp.Build();
  MemorySource src3(os2);
  res = {7, 8, 9};
  ASSERT_TRUE(PXGetBMPDimensions(src3, &w, &h, &bpp, &res));
  EXPECT_EQ(res.x, 7u);
  EXPECT_EQ(res.unit, 9u);
}

TEST(BMPHeader, BadHeadersAndArguments) {
  int32_t w, h;
  uint32_t bpp;
  std::vector<uint8_t> good = BMP().Build();
  good.resize(good.size() + 4);

  std::vector<uint8_t> notBM = good;
  notBM[0] = 'X';
  MemorySource a(notBM);
  EXPECT_FALSE(PXGetBMPDimensions(a, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_BMP);

  std::vector<uint8_t> oddSize = good;
  oddSize[14] = 66;  // no header has 66 bytes
  MemorySource b(oddSize);
  EXPECT_FALSE(PXGetBMPDimensions(b, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_BMP);

  const std::vector<uint8_t> cut(good.begin(), good.begin() + 30);
  MemorySource c(cut);
  EXPECT_FALSE(PXGetBMPDimensions(c, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);

  MemorySource d(good);
  EXPECT_FALSE(PXGetBMPDimensions(d, nullptr, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  uint32_t uw, uh;
  EXPECT_EQ(PXReadBMP(d, &uw, &uh, 4, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  RGBQUAD pal[256];
  EXPECT_EQ(PXReadBMP(d, &uw, &uh, 16, pal, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXReadBMP(nullptr, &uw, &uh, 24, pal, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);

  PXSource closed = PXOpenMemorySource(good.data(), uint32_t(good.size()));
  PXCloseSource(closed);
  EXPECT_EQ(PXReadBMP(closed, &uw, &uh, 24, pal, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

TEST(BMPHeader, PaletteCounts) {
  BMP bmp;
  bmp.bits = 8;
  bmp.clrUsed = 3;
  bmp.colors = {kRed, kGreen, kBlue};
  bmp.pixels = Rows({{2}});
  const std::vector<uint8_t> srcFile = bmp.Build();
  MemorySource src(srcFile);
  RGBQUAD pal[256];
  std::memset(pal, 0x77, sizeof pal);
  uint32_t count = 0;
  ASSERT_TRUE(PXGetBMPPalette(src, &count, pal));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(pal[2].rgbBlue, 255);
  EXPECT_EQ(pal[3].rgbBlue, 0x77);  // untouched

  BMP os2;
  os2.headerSize = 12;
  os2.bits = 1;
  os2.colors = {kWhite, kRed};
  os2.pixels = Rows({{0x80}});
  const std::vector<uint8_t> src2File = os2.Build();
  MemorySource src2(src2File);
  ASSERT_TRUE(PXGetBMPPalette(src2, &count, pal));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(pal[1].rgbRed, 255);
  EXPECT_EQ(pal[1].rgbGreen, 0);
  EXPECT_EQ(pal[1].rgbReserved, 0);

  const std::vector<uint8_t> rgbFile = BMP().Build();
  MemorySource src3(rgbFile);
  EXPECT_FALSE(PXGetBMPPalette(src3, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BIT_DEPTH);
}

/* ---- Indexed output --------------------------------------------------------------------- */

TEST(BMPIndexed, OneBitAtDepthsOneAndEight) {
  BMP bmp;
  bmp.bits = 1;
  bmp.width = 10;
  bmp.height = 2;
  bmp.colors = {kBlack, kWhite};
  bmp.pixels = Rows({{0xA5, 0xC0}, {0x0F, 0x40}});  // bottom row first
  Result one, eight;
  Read(bmp.Build(), 1, &one);
  ASSERT_EQ(one.error, 0);
  EXPECT_EQ(one.bytes(4), (std::vector<uint8_t>{0x0F, 0x40, 0xA5, 0xC0}));
  EXPECT_EQ(one.palette[1].rgbRed, 255);
  Read(bmp.Build(), 8, &eight);
  ASSERT_EQ(eight.error, 0);
  EXPECT_EQ(eight.bytes(20), (std::vector<uint8_t>{0, 0, 0, 0, 1, 1, 1, 1, 0, 1,  //
                                                   1, 0, 1, 0, 0, 1, 0, 1, 1, 1}));
}

TEST(BMPIndexed, FourBitFileAtDepthOneIsRefused) {
  BMP bmp;
  bmp.bits = 4;
  bmp.colors = std::vector<RGBQUAD>(16, kRed);
  bmp.pixels = Rows({{0x30}});
  Result r;
  Read(bmp.Build(), 1, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  Read(bmp.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels.bytes()[0], 3);
}

TEST(BMPIndexed, UnusedPaletteEntriesCopyEntryZero) {
  BMP bmp;
  bmp.bits = 8;
  bmp.clrUsed = 2;
  bmp.colors = {kGreen, kRed};
  bmp.pixels = Rows({{1}});
  Result r;
  Read(bmp.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.palette[1].rgbRed, 255);
  for (int i = 2; i < 256; ++i) ASSERT_EQ(r.palette[i].rgbGreen, 255) << i;
}

TEST(BMPIndexed, PixelsStartAtOffBitsInEveryPath) {
  BMP bmp;
  bmp.bits = 8;
  bmp.clrUsed = 2;
  bmp.colors = {kGreen, kRed};
  bmp.gap = 100;
  bmp.pixels = Rows({{1, 0}});
  bmp.width = 2;
  Result eight, rgb, dib;
  Read(bmp.Build(), 8, &eight);
  EXPECT_EQ(eight.bytes(2), (std::vector<uint8_t>{1, 0}));
  Read(bmp.Build(), 24, &rgb);
  EXPECT_EQ(rgb.bytes(6), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0}));
  Read(bmp.Build(), 0, &dib, PX_READ_PACKED_DIB);
  ASSERT_NE(dib.pixels.block, nullptr);
  EXPECT_EQ(dib.pixels.bytes()[40 + 8], 1);  // the first pixel after the two colours
}

TEST(BMPIndexed, OffBitsPointingBackIntoTheTable) {
  BMP bmp;
  bmp.bits = 8;
  bmp.clrUsed = 2;
  bmp.colors = {kGreen, kRed};
  bmp.pixels = Rows({{1}});
  // Inside the colour table: an indexed read cannot honour it.
  bmp.offBits = 58;
  Result r;
  Read(bmp.Build(), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_BMP);
  // 54, which some writers store whatever precedes the pixels: the pixels follow the table.
  bmp.offBits = 54;
  Read(bmp.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels.bytes()[0], 1);
  Read(bmp.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{255, 0, 0}));
}

TEST(BMPIndexed, ShortFileReturnsRowsReadWithError3) {
  BMP bmp;
  bmp.bits = 8;
  bmp.width = 4;
  bmp.height = 3;
  bmp.colors = std::vector<RGBQUAD>(256, kBlack);
  bmp.pixels = Rows({{1, 1, 1, 1}, {2, 2, 2, 2}});  // the top row is missing
  Result r;
  Read(bmp.Build(), 8, &r);
  ASSERT_NE(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.bytes(12), (std::vector<uint8_t>{0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1}));
}

using pxtest::ProgressLog;

TEST(BMPIndexed, ProgressCountsAndAbort) {
  BMP bmp;
  bmp.bits = 8;
  bmp.width = 1;
  bmp.height = -3;  // top-down: output rows 0, 1, 2 are read in that order
  bmp.colors = std::vector<RGBQUAD>(256, kBlack);
  bmp.pixels = Rows({{7}, {8}, {9}});
  ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  Result r;
  Read(bmp.Build(), 8, &r);
  EXPECT_EQ(log.calls, (std::vector<std::pair<UINT, UINT>>{{2, 3}, {1, 3}, {0, 3}}));
  log.calls.clear();
  log.stopAt = 2;
  Read(bmp.Build(), 8, &r);
  PXSetProgressCallback(nullptr, 0);
  ASSERT_NE(r.pixels.block, nullptr);  // the rows read so far come back
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{7, 0, 0}));
}

/* ---- True colour ------------------------------------------------------------------------ */

TEST(BMPTrueColor, TopDownAndBottomUpGiveTheSameBuffer) {
  BMP up, down;
  up.width = down.width = 2;
  up.height = 2;
  down.height = -2;
  const std::vector<uint8_t> top = {1, 2, 3, 4, 5, 6}, bottom = {7, 8, 9, 10, 11, 12};
  up.pixels = Rows({bottom, top});
  down.pixels = Rows({top, bottom});
  Result a, b;
  Read(up.Build(), 24, &a);
  Read(down.Build(), 24, &b);
  ASSERT_EQ(a.error, 0);
  ASSERT_EQ(b.error, 0);
  const std::vector<uint8_t> want = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10};  // BGR swapped
  EXPECT_EQ(a.bytes(12), want);
  EXPECT_EQ(b.bytes(12), want);
}

TEST(BMPTrueColor, AlphaAtDepth32) {
  BMP bmp;
  bmp.bits = 32;
  bmp.pixels = {10, 20, 30, 40};
  Result r;
  Read(bmp.Build(), 32, &r);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{30, 20, 10, 40}));
  Read(bmp.Build(), 24, &r);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{30, 20, 10}));
  BMP rgb;
  rgb.pixels = Rows({{10, 20, 30}});
  Read(rgb.Build(), 32, &r);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{30, 20, 10, 255}));
}

TEST(BMPTrueColor, SixteenBitPixels) {
  BMP bmp;
  bmp.bits = 16;
  bmp.width = 2;
  bmp.pixels = {0xFF, 0x7F, 0x10, 0x42};  // 5-5-5: white, then (16, 16, 16) of 31
  Result r;
  Read(bmp.Build(), 24, &r);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{255, 255, 255, 131, 131, 131}));

  // 5-6-5 masks: full-range channels, so white stays white.
  bmp.compression = BI_BITFIELDS;
  bmp.masks = {0xF800, 0x07E0, 0x001F};
  bmp.pixels = {0xFF, 0xFF, 0x00, 0x84};  // white; red 16 of 31, green 32 of 63, blue 0
  Read(bmp.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{255, 255, 255, 131, 129, 0}));
}

TEST(BMPTrueColor, MasksOfAnyWidthAndPlace) {
  // A 9-bit field ends on bit 8; an 8-bit field high in the word; a 2-bit field low.
  BMP bmp;
  bmp.bits = 16;
  bmp.compression = BI_BITFIELDS;
  bmp.masks = {0x01FF, 0xC000, 0x0600};
  bmp.pixels = {0xFE, 0xC5};  // 0xC5FE: red 0x1FE, green 3, blue 2
  Result r;
  Read(bmp.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{0xFF, 255, 170}));

  // 32-bit pixels follow their masks (here blue, green, red from the top byte down).
  BMP xbgr;
  xbgr.bits = 32;
  xbgr.compression = BI_BITFIELDS;
  xbgr.masks = {0x0000FF00, 0x00FF0000, 0xFF000000};
  xbgr.pixels = {0x00, 0x11, 0x22, 0x33};
  Read(xbgr.Build(), 32, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 255}));
}

TEST(BMPTrueColor, LargerHeadersCarryTheirMasks) {
  BMP v5;
  v5.headerSize = 124;
  v5.bits = 32;
  v5.compression = BI_BITFIELDS;
  v5.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};  // red, green, blue, alpha
  v5.pixels = {1, 2, 3, 4};
  Result r;
  Read(v5.Build(), 32, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{1, 2, 3, 4}));

  BMP v4;
  v4.headerSize = 108;
  v4.bits = 8;
  v4.colors = std::vector<RGBQUAD>(256, kBlack);
  v4.colors[5] = kBlue;
  v4.pixels = Rows({{5}});
  Read(v4.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{0, 0, 255}));
}

TEST(BMPTrueColor, OS2CoreFiles) {
  BMP os2;
  os2.headerSize = 12;
  os2.bits = 4;
  os2.width = 3;
  os2.colors = std::vector<RGBQUAD>(16, kBlack);
  os2.colors[1] = kRed;
  os2.colors[2] = kBlue;
  os2.pixels = Rows({{0x12, 0x00}});
  Result r;
  Read(os2.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(9), (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 0, 0}));
  // A writer that stored fewer colours says so through bfOffBits.
  os2.colors.resize(3);
  Read(os2.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{1, 2, 0}));
  EXPECT_EQ(r.palette[2].rgbBlue, 255);
}

TEST(BMPTrueColor, ShortRowIsZeroFilledWithError3) {
  BMP bmp;
  bmp.width = 2;
  bmp.height = 2;
  bmp.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9};  // the top row is cut short
  Result r;
  Read(bmp.Build(), 24, &r);
  ASSERT_NE(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, 0);  // a partial row is not a failed read
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{9, 8, 7, 0, 0, 0}));
  bmp.height = 3;
  Read(bmp.Build(), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
}

/* ---- Run-length data -------------------------------------------------------------------- */

BMP RLE8(int32_t width, int32_t height, std::vector<uint8_t> data) {
  BMP bmp;
  bmp.bits = 8;
  bmp.compression = BI_RLE8;
  bmp.width = width;
  bmp.height = height;
  bmp.colors = std::vector<RGBQUAD>(256, kBlack);
  bmp.colors[0] = {9, 9, 9, 0};
  bmp.colors[1] = kRed;
  bmp.colors[2] = kGreen;
  bmp.colors[3] = kBlue;
  bmp.pixels = std::move(data);
  return bmp;
}

TEST(BMPRunLength, RLE8RunsAbsoluteDeltaAndEnd) {
  // Bottom row: run of 2 x index 1, absolute 3 pixels (2, 3, 1) + padding, end of line.
  // Next row: delta right 1 up 0, run 1 x 3, end of bitmap. The top row is background.
  const std::vector<uint8_t> data = {2, 1, 0, 3, 2, 3, 1, 0, 0, 0,  //
                                     0, 2, 1, 0, 1, 3, 0, 1};
  Result r;
  Read(RLE8(5, 3, data).Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(15), (std::vector<uint8_t>{0, 0, 0, 0, 0,  //
                                               0, 3, 0, 0, 0,  //
                                               1, 1, 2, 3, 1}));
  Read(RLE8(5, 3, data).Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{9, 9, 9, 9, 9, 9}));  // palette entry 0
  EXPECT_EQ(std::vector<uint8_t>(r.pixels.bytes() + 18, r.pixels.bytes() + 21),
            (std::vector<uint8_t>{0, 0, 255}));
}

TEST(BMPRunLength, StreamWithoutEndCodeGivesImageAndError3) {
  Result r;
  Read(RLE8(2, 1, {2, 3, 0, 0}).Build(), 8, &r);
  ASSERT_NE(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.bytes(2), (std::vector<uint8_t>{3, 3}));
}

TEST(BMPRunLength, RunsAreClippedAndRowsAboveTheTopIgnored) {
  // A run longer than the row, then end-of-line twice more than there are rows.
  Result r;
  Read(RLE8(2, 1, {9, 1, 0, 0, 0, 0, 4, 2, 0, 1}).Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(2), (std::vector<uint8_t>{1, 1}));
}

TEST(BMPRunLength, RLE4AbsolutePadding) {
  BMP bmp;
  bmp.bits = 4;
  bmp.compression = BI_RLE4;
  bmp.width = 8;
  bmp.colors = std::vector<RGBQUAD>(16, kBlack);
  // 5 pixels take 3 bytes and a padding byte (here not zero, as some writers leave it);
  // 4 pixels take 2 bytes and none. A reader that got either wrong would take a data
  // byte for a count or the reverse.
  bmp.pixels = {0, 5, 0x12, 0x34, 0x50, 0x77, 0, 4, 0x67, 0x89, 0, 1};
  Result r;
  Read(bmp.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  bmp.width = 9;
  bmp.pixels = {0, 4, 0x12, 0x34, 0, 5, 0x56, 0x78, 0x90, 0x77, 0, 1};
  Read(bmp.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(9), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // Runs alternate their two nibbles.
  bmp.width = 5;
  bmp.pixels = {5, 0xAB, 0, 1};
  Read(bmp.Build(), 8, &r);
  EXPECT_EQ(r.bytes(5), (std::vector<uint8_t>{10, 11, 10, 11, 10}));
}

TEST(BMPRunLength, TopDownRunLengthIsRefused) {
  Result r;
  Read(RLE8(2, -1, {2, 1, 0, 1}).Build(), 8, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BAD_BMP);
  BMP wrongBits = RLE8(2, 1, {2, 1, 0, 1});
  wrongBits.compression = BI_RLE4;  // RLE4 on an 8-bit file
  Read(wrongBits.Build(), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_BMP);
}

/* ---- Packed DIB ------------------------------------------------------------------------- */

TEST(BMPPackedDIB, HeaderColoursAndRows) {
  BMP bmp;
  bmp.headerSize = 124;
  bmp.bits = 8;
  bmp.width = 3;
  bmp.clrUsed = 300;  // more than a DIB can have
  bmp.colors = std::vector<RGBQUAD>(256, kBlue);
  bmp.gap = 4 * 44;
  bmp.pixels = Rows({{1, 2, 3}});
  Result r;
  Read(bmp.Build(), 0, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(h->biSize, 40u);
  EXPECT_EQ(h->biClrUsed, 256u);
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(r.width, 3u);
  EXPECT_EQ(r.pixels.bytes()[40 + 1024], 1);
  EXPECT_EQ(r.pixels.bytes()[40 + 1026], 3);
}

TEST(BMPPackedDIB, OS2BecomesAWindowsDIB) {
  BMP os2;
  os2.headerSize = 12;
  os2.bits = 1;
  os2.width = 9;
  os2.colors = {kWhite, kRed};
  os2.pixels = Rows({{0x80, 0x80}});
  Result r;
  Read(os2.Build(), 0, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(h->biSize, 40u);
  EXPECT_EQ(h->biClrUsed, 2u);
  EXPECT_EQ(h->biSizeImage, 4u);
  EXPECT_EQ(r.pixels.bytes()[44 + 2], 255);  // entry 1 red
  EXPECT_EQ(r.pixels.bytes()[48], 0x80);
  EXPECT_EQ(GlobalSize(r.pixels.block), 52u);
}

/* ---- Hostile files ---------------------------------------------------------------------- */

TEST(BMPHostile, HugeDimensionsOnATinyFileAreRefusedWithoutAllocating) {
  for (uint32_t flags : {0u, PX_READ_PACKED_DIB}) {
    for (uint32_t depth : {8u, 24u, 32u}) {
      BMP bmp;
      bmp.bits = 8;
      bmp.width = 20000;  // 1.6 GB at 32 bits: a block could be had
      bmp.height = 20000;
      bmp.colors = std::vector<RGBQUAD>(256, kBlack);
      bmp.pixels = {1, 2, 3, 4};
      Result r;
      Read(bmp.Build(), depth, &r, flags);
      EXPECT_EQ(r.pixels.block, nullptr);
      EXPECT_EQ(r.error, PX_ERR_FILE_READ);
      bmp.compression = BI_RLE8;
      Read(bmp.Build(), depth, &r, flags);
      EXPECT_EQ(r.pixels.block, nullptr);
      EXPECT_NE(r.error, 0);
    }
  }
  BMP wide;
  wide.width = INT32_MAX;
  wide.height = INT32_MIN;
  Result r;
  Read(wide.Build(), 24, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_NO_MEMORY);
}

TEST(BMPHostile, ZeroAndNegativeSizesAndOddBitCounts) {
  for (int32_t width : {0, -5}) {
    BMP bmp;
    bmp.width = width;
    Result r;
    Read(bmp.Build(), 24, &r);
    EXPECT_EQ(r.error, PX_ERR_BAD_BMP) << width;
  }
  for (uint16_t bits : {0, 2, 3, 7, 30000}) {
    BMP bmp;
    bmp.bits = bits;
    bmp.pixels = {0, 0, 0, 0};
    Result r;
    Read(bmp.Build(), 24, &r);
    EXPECT_EQ(r.error, PX_ERR_BAD_BMP) << bits;
    Read(bmp.Build(), 8, &r);
    EXPECT_NE(r.error, 0) << bits;
  }
}

// Faults of a bitmap's coding are judged once the masks and colour table are read: a file
// cut short inside them reports the short read, a complete one the fault.
TEST(BMPHostile, CodingFaultsAfterTheTables) {
  BMP twoBit;
  twoBit.bits = 2;
  twoBit.compression = BI_BITFIELDS;
  Result r;
  Read(twoBit.Build(), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  twoBit.masks = {0xF800, 0x07E0, 0x001F};
  twoBit.pixels = {0, 0, 0, 0};
  Read(twoBit.Build(), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_BMP);

  BMP jpeg;
  jpeg.bits = 8;
  jpeg.compression = 4;
  jpeg.clrUsed = 256;
  Read(jpeg.Build(), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  jpeg.colors = std::vector<RGBQUAD>(256, kRed);
  Read(jpeg.Build(), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_BMP);

  BMP topDownRLE = RLE8(2, -1, {2, 1, 0, 1});
  topDownRLE.clrUsed = 256;
  topDownRLE.colors.clear();
  topDownRLE.pixels.clear();
  for (uint32_t depth : {8u, 24u}) {
    Read(topDownRLE.Build(), depth, &r);
    EXPECT_EQ(r.error, PX_ERR_FILE_READ) << depth;
  }
}

// Random damage to valid files of every kind must give an image or an error, never a
// crash or a read outside the data (the sanitizer build checks the latter).
TEST(BMPHostile, DamagedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> seeds;
  seeds.push_back(RLE8(5, 3, {2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 0, 1, 3, 0, 1}).Build());
  BMP pal4;
  pal4.bits = 4;
  pal4.width = 7;
  pal4.height = 2;
  pal4.colors = std::vector<RGBQUAD>(16, kRed);
  pal4.pixels = Rows({{1, 2, 3, 4}, {5, 6, 7, 8}});
  seeds.push_back(pal4.Build());
  BMP bf;
  bf.headerSize = 124;
  bf.bits = 16;
  bf.width = 3;
  bf.compression = BI_BITFIELDS;
  bf.masks = {0xF800, 0x07E0, 0x001F};
  bf.pixels = Rows({{1, 2, 3, 4, 5, 6}});
  seeds.push_back(bf.Build());
  BMP os2;
  os2.headerSize = 12;
  os2.bits = 8;
  os2.colors = std::vector<RGBQUAD>(256, kRed);
  os2.pixels = Rows({{1}});
  seeds.push_back(os2.Build());

  std::mt19937 rng(1234);
  int images = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> file = seeds[round % seeds.size()];
    const int hits = 1 + int(rng() % 4);
    for (int i = 0; i < hits; ++i) file[rng() % file.size()] = uint8_t(rng());
    if (rng() % 4 == 0) file.resize(1 + rng() % file.size());
    for (uint32_t depth : {1u, 8u, 24u, 32u}) {
      Result r;
      Read(file, depth, &r, depth == 32 && round % 2 ? PX_READ_PACKED_DIB : 0);
      if (r.pixels.block) {
        ++images;
        // Large images come only from files that hold their data.
        ASSERT_LE(GlobalSize(r.pixels.block), (size_t(64) << 20) + 2048);
      } else {
        ASSERT_NE(r.error, 0);
      }
    }
  }
  EXPECT_GT(images, 100);
}

}  // namespace
