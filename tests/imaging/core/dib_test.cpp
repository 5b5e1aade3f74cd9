// Image buffers, packed DIBs and device bitmaps.
#include <cstring>

#include "core/dib.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;

const BITMAPINFOHEADER& Header(const BlockGuard& g) {
  return *reinterpret_cast<const BITMAPINFOHEADER*>(g.block);
}

TEST(ImageBuffer, RowLengths) {
  EXPECT_EQ(PXImageRowBytes(9, 1), 2u);
  EXPECT_EQ(PXDIBRowBytes(9, 1), 4u);
  EXPECT_EQ(PXImageRowBytes(5, 4), 3u);
  EXPECT_EQ(PXImageRowBytes(5, 8), 5u);
  EXPECT_EQ(PXDIBRowBytes(5, 8), 8u);
  EXPECT_EQ(PXImageRowBytes(5, 24), 15u);
  EXPECT_EQ(PXDIBRowBytes(5, 24), 16u);
  EXPECT_EQ(PXImageRowBytes(3, 48), 18u);
  EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
  EXPECT_EQ(sizeof(RGBQUAD), 4u);
  EXPECT_EQ(sizeof(BITMAPFILEHEADER), 14u);
}

TEST(PackedDIB, OnePixelRGBIs44BytesInBGROrder) {
  const uint8_t rgb[3] = {0x11, 0x22, 0x33};
  BlockGuard dib(px::RGBToDIB(rgb, 1, 1));
  ASSERT_NE(dib.block, nullptr);
  EXPECT_EQ(GlobalSize(dib.block), 44u);
  EXPECT_EQ(Header(dib).biSize, 40u);
  EXPECT_EQ(Header(dib).biBitCount, 24);
  EXPECT_EQ(Header(dib).biPlanes, 1);
  EXPECT_EQ(Header(dib).biSizeImage, 4u);
  const uint8_t* px = dib.bytes() + 40;
  EXPECT_EQ(px[0], 0x33);
  EXPECT_EQ(px[1], 0x22);
  EXPECT_EQ(px[2], 0x11);
  EXPECT_EQ(px[3], 0);
}

TEST(PackedDIB, RGBRowsAreStoredBottomUp) {
  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};  // 1 x 2: top pixel then bottom pixel
  BlockGuard dib(px::RGBToDIB(rgb, 1, 2));
  ASSERT_NE(dib.block, nullptr);
  const uint8_t* rows = dib.bytes() + 40;
  EXPECT_EQ(rows[0], 6);  // first DIB row = bottom image row, blue first
  EXPECT_EQ(rows[4], 3);
}

TEST(PackedDIB, IndexedWith256ColoursAndTopRowLast) {
  const uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
  RGBQUAD palette[256] = {};
  palette[5] = {10, 20, 30, 40};
  BlockGuard dib(PXIndexedToDIB(pixels, 3, 2, 256, 8, palette, nullptr));
  ASSERT_NE(dib.block, nullptr);
  EXPECT_EQ(GlobalSize(dib.block), 40u + 1024u + 2 * 4u);
  EXPECT_EQ(Header(dib).biClrUsed, 256u);
  EXPECT_EQ(Header(dib).biClrImportant, 256u);
  EXPECT_EQ(std::memcmp(dib.bytes() + 40 + 5 * 4, &palette[5], 4), 0);
  const uint8_t* rows = dib.bytes() + 40 + 1024;
  EXPECT_EQ(rows[0], 4);  // bottom row first
  EXPECT_EQ(rows[4], 1);  // top row last
  EXPECT_EQ(rows[3], 0);  // padding
}

TEST(PackedDIB, IndexedPacksToFourAndOneBits) {
  const uint8_t pixels[3] = {1, 0xF, 2};
  RGBQUAD palette[16] = {};
  BlockGuard four(PXIndexedToDIB(pixels, 3, 1, 16, 4, palette, nullptr));
  ASSERT_NE(four.block, nullptr);
  EXPECT_EQ(Header(four).biBitCount, 4);
  const uint8_t* row = four.bytes() + 40 + 64;
  EXPECT_EQ(row[0], 0x1F);
  EXPECT_EQ(row[1], 0x20);

  const uint8_t bits[9] = {1, 0, 1, 1, 0, 0, 0, 0, 1};
  BlockGuard one(PXIndexedToDIB(bits, 9, 1, 2, 1, palette, nullptr));
  ASSERT_NE(one.block, nullptr);
  const uint8_t* r1 = one.bytes() + 40 + 8;
  EXPECT_EQ(r1[0], 0xB0);
  EXPECT_EQ(r1[1], 0x80);
  EXPECT_EQ(PXIndexedToDIB(bits, 9, 1, 2, 3, palette, nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(PackedDIB, OneBitCopiesRowsAndTwoColours) {
  const uint8_t pixels[4] = {0xFF, 0x80, 0x00, 0x00};  // 9 x 2
  const RGBQUAD two[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
  BlockGuard dib(PX1BitToDIB(pixels, 9, 2, two, nullptr));
  ASSERT_NE(dib.block, nullptr);
  EXPECT_EQ(GlobalSize(dib.block), 40u + 8u + 2 * 4u);
  EXPECT_EQ(Header(dib).biClrUsed, 2u);
  EXPECT_EQ(Header(dib).biClrImportant, 0u);
  const uint8_t* rows = dib.bytes() + 48;
  EXPECT_EQ(rows[0], 0x00);  // bottom row
  EXPECT_EQ(rows[4], 0xFF);
  EXPECT_EQ(rows[5], 0x80);
}

TEST(PackedDIB, MissingPixelsGiveError5) {
  RGBQUAD two[2] = {};
  EXPECT_EQ(PX1BitToDIB(nullptr, 1, 1, two, nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXRGBToHBITMAP(nullptr, 1, 1, nullptr, nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

// A memory context drawing into a bitmap the test can read back.
class Canvas {
 public:
  Canvas(int w, int h)
      : dc_(CreateCompatibleDC(nullptr)), bitmap_(CreateCompatibleBitmap(dc_, w, h)) {
    SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  HDC dc() const { return dc_; }
  uint32_t At(int x, int y) const { return PXBitmapBits(bitmap_)[y * PXBitmapWidth(bitmap_) + x]; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
};

TEST(DeviceBitmap, RGBBufferDrawsWithItsColours) {
  const uint8_t rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};  // 2 x 2
  Canvas canvas(4, 4);
  ASSERT_TRUE(PXDrawRGBToDC(canvas.dc(), rgb, 2, 2, 1, 1, 2, 2, nullptr));
  EXPECT_EQ(canvas.At(1, 1), 0xFF0000u);
  EXPECT_EQ(canvas.At(2, 1), 0x00FF00u);
  EXPECT_EQ(canvas.At(1, 2), 0x0000FFu);
  EXPECT_EQ(canvas.At(2, 2), 0x0A141Eu);
  EXPECT_EQ(canvas.At(0, 0), 0u);
}

TEST(DeviceBitmap, IndexedBufferDrawsThroughItsPalette) {
  const uint8_t pixels[2] = {0, 7};
  RGBQUAD palette[256] = {};
  palette[7] = {0x30, 0x20, 0x10, 0};
  Canvas canvas(2, 1);
  ASSERT_TRUE(PXDrawIndexedToDC(canvas.dc(), pixels, 2, 1, palette, 0, 0, 2, 1, nullptr));
  EXPECT_EQ(canvas.At(1, 0), 0x102030u);
}

TEST(DeviceBitmap, HeaderSizeOtherThan40IsError5) {
  BITMAPINFOHEADER h = {};
  h.biSize = 12;
  EXPECT_EQ(PXDIBToHBITMAP(&h, nullptr, nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(DeviceBitmap, UnsupportedDIBIsError35) {
  BITMAPINFOHEADER h = {};
  h.biSize = 40;
  h.biWidth = 1;
  h.biHeight = 1;
  h.biPlanes = 1;
  h.biBitCount = 7;  // no such DIB depth
  EXPECT_EQ(PXDIBToHBITMAP(&h, nullptr, nullptr), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_CREATE_DIBITMAP);
}

TEST(DeviceBitmap, DeviceWithoutDIBSupportIsError26) {
  const uint8_t rgb[3] = {1, 2, 3};
  HDC dc = PXCreateDeviceContext(PXDC_PRINTER, RC_BITBLT, 10, 10);
  EXPECT_EQ(PXRGBToHBITMAP(rgb, 1, 1, nullptr, dc), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_DEVICE_CAPS);
  DeleteDC(dc);
}

class DrawErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    const uint8_t rgb[3] = {1, 2, 3};
    bitmap_ = PXRGBToHBITMAP(rgb, 1, 1, nullptr, nullptr);
    ASSERT_NE(bitmap_, nullptr);
  }
  void TearDown() override { DeleteObject(bitmap_); }
  HBITMAP bitmap_ = nullptr;
};

TEST_F(DrawErrors, NoBitBltCapabilityIs26) {
  HDC dc = PXCreateDeviceContext(PXDC_PRINTER, RC_DI_BITMAP, 10, 10);
  EXPECT_FALSE(PXDrawDIBToDC(dc, bitmap_, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_DEVICE_CAPS);
  DeleteDC(dc);
}

TEST_F(DrawErrors, NoCompatibleContextIs10) {
  HDC dc = PXCreateDeviceContext(PXDC_METAFILE, PX_DISPLAY_RASTERCAPS, 10, 10);
  EXPECT_FALSE(PXDrawDIBToDC(dc, bitmap_, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_DEVICE_CONTEXT);
  DeleteDC(dc);
}

TEST_F(DrawErrors, BitmapInUseIs37OnBandingDevicesAnd26Elsewhere) {
  HDC holder = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(holder, bitmap_), nullptr);
  HDC printer = PXCreateDeviceContext(PXDC_PRINTER, PX_DISPLAY_RASTERCAPS | RC_BANDING, 10, 10);
  EXPECT_FALSE(PXDrawDIBToDC(printer, bitmap_, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BANDING_DEVICE);
  HDC screen = GetDC(nullptr);
  EXPECT_FALSE(PXDrawDIBToDC(screen, bitmap_, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_DEVICE_CAPS);
  ReleaseDC(nullptr, screen);
  DeleteDC(printer);
  DeleteDC(holder);  // releases the bitmap for TearDown
}

TEST_F(DrawErrors, DeviceWithoutSurfaceIs29) {
  HDC info = PXCreateDeviceContext(PXDC_INFORMATION, PX_DISPLAY_RASTERCAPS, 10, 10);
  EXPECT_FALSE(PXDrawDIBToDC(info, bitmap_, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BITBLT);
  DeleteDC(info);
}

TEST(StretchDIB, FillsTheRectangleAndNeedsStretchCapability) {
  const uint8_t rgb[6] = {255, 0, 0, 0, 0, 255};  // 2 x 1: red, blue
  BlockGuard dib(px::RGBToDIB(rgb, 2, 1));
  Canvas canvas(4, 2);
  ASSERT_TRUE(PXStretchDIBToDC(canvas.dc(), dib.block, 0, 0, 4, 2));
  EXPECT_EQ(canvas.At(0, 0), 0xFF0000u);
  EXPECT_EQ(canvas.At(1, 1), 0xFF0000u);
  EXPECT_EQ(canvas.At(2, 0), 0x0000FFu);
  EXPECT_EQ(canvas.At(3, 1), 0x0000FFu);

  HDC plain = PXCreateDeviceContext(PXDC_PRINTER, RC_BITBLT | RC_DI_BITMAP, 4, 2);
  EXPECT_FALSE(PXStretchDIBToDC(plain, dib.block, 0, 0, 4, 2));
  EXPECT_EQ(PXGetLastError(), PX_ERR_DEVICE_CAPS);
  DeleteDC(plain);
  EXPECT_FALSE(PXStretchDIBToDC(nullptr, dib.block, 0, 0, 4, 2));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

}  // namespace
