// Wireless Bitmap reader: header integers, row layout at both depths, DIBs, bad files.
#include <chrono>
#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::MemorySource;
using pxtest::WbmpHeader;
using Pixels = std::vector<uint8_t>;

using Result = pxtest::Decoded;

void Read(const std::vector<uint8_t>& file, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kWBMP, file, depth, r, flags);
}

Pixels File(uint32_t w, uint32_t h, const Pixels& rows) {
  Pixels f = WbmpHeader(w, h);
  f.insert(f.end(), rows.begin(), rows.end());
  return f;
}

TEST(Wbmp, NinePixelsWideStoresTwoBytesPerRow) {
  const Pixels file = File(9, 2, {0xB3, 0x80, 0x01, 0x7F});
  Result r;
  Read(file, 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 9u);
  EXPECT_EQ(r.height, 2u);
  EXPECT_EQ(r.Bytes(4), (Pixels{0xB3, 0x80, 0x01, 0x7F}));
  const RGBQUAD black = {0, 0, 0, 0}, white = {255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(&r.palette[0], &black, 4), 0);
  EXPECT_EQ(std::memcmp(&r.palette[1], &white, 4), 0);
  EXPECT_EQ(r.palette[2].rgbRed, 0xEE);  // only two entries are written

  Read(file, 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(18), (Pixels{1, 0, 1, 1, 0, 0, 1, 1, 1,  //
                                 0, 0, 0, 0, 0, 0, 0, 1, 0}));
}

TEST(Wbmp, MultiByteDimensions) {
  Pixels file = File(200, 1, Pixels(25, 0xFF));
  EXPECT_EQ(Pixels(file.begin(), file.begin() + 5), (Pixels{0, 0, 0x81, 0x48, 0x01}));
  MemorySource src(file);
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(PXGetWBMPDimensions(src, &w, &h));
  EXPECT_EQ(w, 200u);
  EXPECT_EQ(h, 1u);
  Result r;
  Read(file, 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(25), Pixels(25, 0xFF));
}

TEST(Wbmp, OneBitPackedDIB) {
  Result r;
  Read(File(9, 2, {0xB3, 0x80, 0x01, 0x7F}), 8, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(GlobalSize(r.block.block), 40u + 8 + 2 * 4);
  auto* h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_EQ(h->biClrUsed, 2u);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 56),
            (Pixels{0, 0, 0, 0, 255, 255, 255, 255, 0x01, 0x7F, 0, 0, 0xB3, 0x80, 0, 0}));
}

TEST(Wbmp, NotAWirelessBitmap) {
  const std::vector<Pixels> bad = {
      {0, 1, 2, 2, 0, 0},                       // 00 01: not type 0 with a plain header
      {1, 0, 2, 2, 0, 0},                       // type 1
      {0, 0},                                   // no dimensions
      {0, 0, 0x82},                             // width cut short
      {0, 0, 0x81, 0x81, 0x81, 0x81, 0x81, 1},  // more groups than 32 bits hold
      {0, 0, 0x9F, 0xFF, 0xFF, 0xFF, 0x7F, 1},  // five groups, 35 bits
  };
  for (const Pixels& file : bad) {
    MemorySource src(file);
    uint32_t w, h;
    EXPECT_FALSE(PXGetWBMPDimensions(src, &w, &h));
    EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_WBMP) << int(file.size());
    Result r;
    Read(file, 1, &r);
    EXPECT_EQ(r.block.block, nullptr);
    EXPECT_EQ(r.error, PX_ERR_BAD_WBMP) << int(file.size());
  }
  // A zero dimension is a header, but no image.
  const std::vector<uint8_t> zeroBytes = File(0, 5, {});  // outlives the source
  MemorySource zero(zeroBytes);
  uint32_t w, h;
  EXPECT_TRUE(PXGetWBMPDimensions(zero, &w, &h));
  Result r;
  Read(File(0, 5, {}), 1, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_WBMP);
}

TEST(Wbmp, BadRequestsAndShortFiles) {
  Result r;
  Read(File(8, 1, {0xFF}), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  const std::vector<uint8_t> srcBytes = File(8, 1, {0xFF});  // outlives the source
  MemorySource src(srcBytes);
  uint32_t w, h;
  EXPECT_EQ(PXReadWBMP(src, &w, &h, nullptr, 8, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);

  // Rows missing: refused before the image is allocated.
  Read(File(16, 3, {0xFF, 0xFF, 0x00}), 8, &r);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);

  auto start = std::chrono::steady_clock::now();
  Read(File(60000, 60000, Pixels(100, 0)), 8, &r);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

BOOL StopAtOnce(UINT, UINT, DWORD_PTR) {
  return FALSE;
}

TEST(Wbmp, AbortKeepsTheFirstRow) {
  PXSetProgressCallback(StopAtOnce, 0);
  Result r;
  Read(File(3, 2, {0xA0, 0xE0}), 8, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.Bytes(6), (Pixels{1, 0, 1, 0, 0, 0}));
}

}  // namespace
