// Wireless Bitmap reader: header integers, row layout at both depths, DIBs, bad files.
#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"

namespace {

using Result = pxtest::Decoded;
using Pixels = std::vector<uint8_t>;

Pixels File(uint32_t w, uint32_t h, const Pixels& rows) {
  Pixels f = pxtest::WbmpHeader(w, h);
  f.insert(f.end(), rows.begin(), rows.end());
  return f;
}

void Read(const Pixels& file, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kWBMP, file, depth, r, flags);
}

TEST(Wbmp, NinePixelsWideStoresTwoBytesPerRow) {
  const Pixels file = File(9, 2, {0xB3, 0x80, 0x01, 0x7F});
  Result r;
  Read(file, 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(4), (Pixels{0xB3, 0x80, 0x01, 0x7F}));
  const RGBQUAD two[3] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {0xEE, 0xEE, 0xEE, 0xEE}};
  EXPECT_EQ(std::memcmp(r.palette, two, sizeof two), 0);  // only two entries are written
  Read(file, 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(18), (Pixels{1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
  Read(file, 8, &r, PX_READ_PACKED_DIB);  // 1-bit, bottom-up, rows padded to 4 bytes
  ASSERT_EQ(GlobalSize(r.block.block), 40u + 8 + 2 * 4);
  EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(r.block.block)->biClrUsed, 2u);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 56),
            (Pixels{0, 0, 0, 0, 255, 255, 255, 255, 0x01, 0x7F, 0, 0, 0xB3, 0x80, 0, 0}));
}

TEST(Wbmp, HeadersThatAreNoWirelessBitmap) {
  const Pixels wide = File(200, 1, Pixels(25, 0xFF));
  EXPECT_EQ(Pixels(wide.begin(), wide.begin() + 5), (Pixels{0, 0, 0x81, 0x48, 0x01}));
  pxtest::MemorySource good(wide);
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(PXGetWBMPDimensions(good, &w, &h));
  EXPECT_EQ(w, 200u);
  const Pixels bad[] = {
      {0, 1, 2, 2, 0, 0},                       // 00 01
      {0, 0, 0x82},                             // width cut short
      {0, 0, 0x81, 0x81, 0x81, 0x81, 0x81, 1},  // more groups than 32 bits hold
      {0, 0, 0x9F, 0xFF, 0xFF, 0xFF, 0x7F, 1},  // five groups, 35 bits
  };
  for (const Pixels& file : bad) {
    pxtest::MemorySource src(file);
    EXPECT_FALSE(PXGetWBMPDimensions(src, &w, &h));
    EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_WBMP) << file.size();
    Result r;
    Read(file, 1, &r);
    EXPECT_EQ(r.error, PX_ERR_BAD_WBMP) << file.size();
  }
  Result r;
  Read(File(0, 5, {}), 1, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_WBMP);
}

TEST(Wbmp, BadRequestsShortFilesAndAbort) {
  Result r;
  Read(File(8, 1, {0xFF}), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  Read(File(16, 3, {0xFF, 0xFF, 0x00}), 8, &r);  // rows missing: nothing allocated
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  Read(File(60000, 60000, Pixels(100, 0)), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  PXSetProgressCallback([](UINT, UINT, DWORD_PTR) -> BOOL { return FALSE; }, 0);
  Read(File(3, 2, {0xA0, 0xE0}), 8, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.Bytes(6), (Pixels{1, 0, 1, 0, 0, 0}));
}

}  // namespace
