// Quarter turns and mirroring of byte and 1-bit images.
#include <cstring>

#include "reference.h"
#include "test_support.h"

namespace {

using pxref::Bytes;

// 3 x 2, 24-bit: pixel (x, y) is (10 y + x, 100 + 10 y + x, 200 + 10 y + x).
Bytes ThreeByTwo() {
  Bytes b;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      b.insert(b.end(),
               {uint8_t(10 * y + x), uint8_t(100 + 10 * y + x), uint8_t(200 + 10 * y + x)});
  return b;
}

// The first byte of each pixel of a 24-bit image, row by row.
Bytes Firsts(const Bytes& rgb) {
  Bytes f;
  for (size_t i = 0; i < rgb.size(); i += 3) f.push_back(rgb[i]);
  return f;
}

TEST(Rotate90, ThreeByTwoInEachDirection) {
  Bytes img = ThreeByTwo();
  ASSERT_TRUE(PXRotate90(img.data(), 3, 2, PX_ROTATE_90, 3));
  // 2 x 3: the top row (0, 1, 2) is now the right-hand column, top to bottom.
  EXPECT_EQ(Firsts(img), (Bytes{10, 0, 11, 1, 12, 2}));
  EXPECT_EQ(img[3], 0);
  EXPECT_EQ(img[4], 100);  // bytes inside a pixel keep their order
  EXPECT_EQ(img[5], 200);
  ASSERT_TRUE(PXRotate90(img.data(), 2, 3, PX_ROTATE_270, 3));
  EXPECT_EQ(img, ThreeByTwo());

  ASSERT_TRUE(PXRotate90(img.data(), 3, 2, PX_ROTATE_270, 3));
  EXPECT_EQ(Firsts(img), (Bytes{2, 12, 1, 11, 0, 10}));
  ASSERT_TRUE(PXRotate90(img.data(), 2, 3, PX_ROTATE_90, 3));
  EXPECT_EQ(img, ThreeByTwo());

  ASSERT_TRUE(PXRotate90(img.data(), 3, 2, PX_ROTATE_180, 3));
  EXPECT_EQ(Firsts(img), (Bytes{12, 11, 10, 2, 1, 0}));
  ASSERT_TRUE(PXRotate90(img.data(), 3, 2, PX_ROTATE_180, 3));
  EXPECT_EQ(img, ThreeByTwo());
}

TEST(Rotate90, FourQuarterTurnsGiveTheOriginal) {
  std::mt19937 rng(21);
  for (int round = 0; round < 20; ++round) {
    const uint32_t bpp = 1 + rng() % 4, w = 1 + rng() % 50, h = 1 + rng() % 50;
    const Bytes original = pxref::Random(rng, w * h * bpp);
    Bytes img = original;
    for (int turn = 0; turn < 4; ++turn) {
      const uint32_t cw = turn % 2 ? h : w, ch = turn % 2 ? w : h;
      const Bytes before = img;
      ASSERT_TRUE(PXRotate90(img.data(), cw, ch, PX_ROTATE_90, bpp));
      ASSERT_EQ(img, pxref::Rotate(before, cw, ch, 0, bpp)) << w << "x" << h << " bpp " << bpp;
    }
    EXPECT_EQ(img, original);
    ASSERT_TRUE(PXRotate90(img.data(), w, h, PX_ROTATE_270, bpp));
    EXPECT_EQ(img, pxref::Rotate(original, w, h, 2, bpp));
  }
}

TEST(Rotate90, HalfTurnIsBothFlips) {
  std::mt19937 rng(22);
  const uint32_t w = 7, h = 5;
  const Bytes original = pxref::Random(rng, w * h);
  Bytes a = original, b = original;
  ASSERT_TRUE(PXRotate90(a.data(), w, h, PX_ROTATE_180, 1));
  ASSERT_TRUE(PXFlipVertical(b.data(), w, h));
  ASSERT_TRUE(PXFlipHorizontal(b.data(), w, h, 1, w));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, pxref::Rotate(original, w, h, 1, 1));
}

TEST(Rotate90, StopLeavesTheRowsDoneAndZeroElsewhere) {
  // 40 rows, stopped after row 20: the rows moved so far are in place, the rest is zero,
  // whatever the internal grouping of rows.
  std::mt19937 rng(23);
  const uint32_t w = 9, h = 40;
  const Bytes original = pxref::Random(rng, w * h * 3);
  for (int dir : {0, 2}) {
    Bytes img = original;
    pxref::ProgressRecorder progress(21);
    EXPECT_FALSE(PXRotate90(img.data(), w, h, dir, 3));
    EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
    EXPECT_EQ(progress.calls.size(), 21u);
    EXPECT_EQ(progress.calls.back(), (std::pair<UINT, UINT>{20, 40}));
    EXPECT_EQ(img, pxref::Rotate(original, w, h, dir, 3, 21)) << dir;
  }
}

TEST(Rotate90, BadArguments) {
  Bytes img(6);
  for (int dir : {-1, 3, 4}) {
    EXPECT_FALSE(PXRotate90(img.data(), 2, 3, dir, 1));
    EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  }
  EXPECT_FALSE(PXRotate90(nullptr, 2, 3, 0, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXRotate90(img.data(), 0, 3, 0, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  // No temporary image can be that large; nothing is touched.
  EXPECT_FALSE(PXRotate90(img.data(), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 4));
  EXPECT_EQ(PXGetLastError(), PX_ERR_NO_MEMORY);
}

/* ---- 1-bit rotation --------------------------------------------------------------------- */

TEST(Rotate1Bit90, ThreeByTwoGolden) {
  // Rows 101 and 011 (x = 0 ... 2).
  const Bytes in = {0xA0, 0x60};
  Bytes out(3, 0);
  ASSERT_TRUE(PXRotate1Bit90(in.data(), 3, 2, 1, out.data(), 1, 0));
  // Clockwise: row x reads the column x from bottom to top.
  EXPECT_EQ(out, (Bytes{0x40, 0x80, 0xC0}));  // 01, 10, 11
  ASSERT_TRUE(PXRotate1Bit90(in.data(), 3, 2, 1, out.data(), 1, 2));
  EXPECT_EQ(out, (Bytes{0xC0, 0x40, 0x80}));  // 11, 01, 10
  Bytes half(2, 0);
  ASSERT_TRUE(PXRotate1Bit90(in.data(), 3, 2, 1, half.data(), 1, 1));
  EXPECT_EQ(half, (Bytes{0xC0, 0xA0}));  // 110, 101
}

TEST(Rotate1Bit90, MatchesBitByBitForWidthsNotAMultipleOfEight) {
  std::mt19937 rng(24);
  for (int round = 0; round < 60; ++round) {
    const uint32_t w = 1 + rng() % 45, h = 1 + rng() % 45;
    const int dir = round % 3;
    const bool setOnly = round % 2;
    const uint32_t ss = (w + 7) / 8 + rng() % 2;
    const uint32_t dw = dir == 1 ? w : h, dh = dir == 1 ? h : w;
    const uint32_t ds = (dw + 7) / 8 + rng() % 2;
    const Bytes src = pxref::Random(rng, h * ss, round % 4 < 2 ? 256 : 2);
    const Bytes garbage = pxref::Random(rng, dh * ds);
    Bytes out = garbage, want = garbage;
    ASSERT_TRUE(PXRotate1Bit90(src.data(), w, h, ss, out.data(), ds,
                               uint32_t(dir) | (setOnly ? PX_ROTATE_SET_ONLY : 0)));
    pxref::Rotate1Bit(src, w, h, ss, want, ds, dir, setOnly);
    EXPECT_EQ(out, want) << w << "x" << h << " dir " << dir << " setOnly " << setOnly;
  }
}

TEST(Rotate1Bit90, FourQuarterTurnsGiveTheOriginal) {
  std::mt19937 rng(25);
  const uint32_t w = 13, h = 21;
  Bytes img = pxref::Random(rng, h * 2);
  for (uint32_t y = 0; y < h; ++y) img[y * 2 + 1] &= 0xF8;  // pad bits 0
  Bytes cur = img;
  uint32_t cw = w, ch = h;
  for (int turn = 0; turn < 4; ++turn) {
    Bytes next(size_t(cw) * ((ch + 7) / 8), 0);
    ASSERT_TRUE(PXRotate1Bit90(cur.data(), cw, ch, (cw + 7) / 8, next.data(), (ch + 7) / 8, 0));
    cur = next;
    std::swap(cw, ch);
  }
  EXPECT_EQ(cur, img);
}

TEST(Rotate1Bit90, StopWritesExactlyTheRowsDone) {
  std::mt19937 rng(26);
  const uint32_t w = 19, h = 13;
  const Bytes src = pxref::Random(rng, h * 3);
  for (int dir : {0, 1, 2}) {
    const uint32_t dw = dir == 1 ? w : h, dh = dir == 1 ? h : w, ds = (dw + 7) / 8;
    Bytes out(dh * ds, 0x5A), want(dh * ds, 0x5A);
    pxref::ProgressRecorder progress(11);
    EXPECT_FALSE(PXRotate1Bit90(src.data(), w, h, 3, out.data(), ds, uint32_t(dir)));
    EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
    pxref::Rotate1Bit(src, w, h, 3, want, ds, dir, false, 11);
    EXPECT_EQ(out, want) << dir;
  }
}

TEST(Rotate1Bit90, DirectionThreeFailsWithoutAnErrorCode) {
  const Bytes in(4, 0xFF);
  Bytes out(4, 0);
  EXPECT_FALSE(PXRotate1Bit90(in.data(), 8, 4, 1, out.data(), 1, 3));
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(out, Bytes(4, 0));
  EXPECT_FALSE(PXRotate1Bit90(in.data(), 8, 4, 1, const_cast<uint8_t*>(in.data()), 1, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXRotate1Bit90(nullptr, 8, 4, 1, out.data(), 1, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  // A destination row of 9 pixels needs 2 bytes.
  EXPECT_FALSE(PXRotate1Bit90(in.data(), 8, 9, 1, out.data(), 1, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

/* ---- Mirroring -------------------------------------------------------------------------- */

TEST(FlipHorizontal1Bit, TenPixelRowAndItsPadBits) {
  Bytes row = {0xC0, 0x7F};  // 11000000 01 plus pad bits 111111
  ASSERT_TRUE(PXFlipHorizontal1Bit(row.data(), 10, 1, 2));
  EXPECT_EQ(row, (Bytes{0x80, 0xC0}));  // 10000000 11, pad bits 0
}

TEST(FlipHorizontal1Bit, TwoFlipsGiveTheOriginal) {
  std::mt19937 rng(27);
  for (uint32_t w : {1u, 7u, 8u, 9u, 15u, 16u, 33u}) {
    const uint32_t h = 4, stride = (w + 7) / 8 + 1;
    Bytes img = pxref::Random(rng, h * stride);
    for (uint32_t y = 0; y < h; ++y)
      if (w % 8) img[y * stride + (w - 1) / 8] &= uint8_t(0xFF00 >> (w % 8));
    Bytes flipped = img;
    ASSERT_TRUE(PXFlipHorizontal1Bit(flipped.data(), w, h, stride));
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        ASSERT_EQ(pxref::Bit(&flipped[y * stride], x), pxref::Bit(&img[y * stride], w - 1 - x));
    ASSERT_TRUE(PXFlipHorizontal1Bit(flipped.data(), w, h, stride));
    EXPECT_EQ(flipped, img) << w;
  }
}

TEST(FlipHorizontal1Bit, EmptyImageIsDoneAtOnce) {
  EXPECT_TRUE(PXFlipHorizontal1Bit(nullptr, 0, 5, 1));
  EXPECT_TRUE(PXFlipHorizontal1Bit(nullptr, 5, 0, 1));
  EXPECT_FALSE(PXFlipHorizontal1Bit(nullptr, 5, 5, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(FlipHorizontal, PixelsKeepTheirByteOrder) {
  Bytes img = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE};  // 3 pixels, stride 10
  ASSERT_TRUE(PXFlipHorizontal(img.data(), 3, 1, 3, 10));
  EXPECT_EQ(img, (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3, 0xEE}));
  EXPECT_FALSE(PXFlipHorizontal(img.data(), 4, 1, 3, 10));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(FlipHorizontal, TwoFlipsGiveTheOriginal) {
  std::mt19937 rng(28);
  for (uint32_t bpp = 1; bpp <= 5; ++bpp) {
    const uint32_t w = 11, h = 3, stride = w * bpp + 2;
    const Bytes img = pxref::Random(rng, h * stride);
    Bytes f = img;
    ASSERT_TRUE(PXFlipHorizontal(f.data(), w, h, bpp, stride));
    EXPECT_NE(f, img);
    ASSERT_TRUE(PXFlipHorizontal(f.data(), w, h, bpp, stride));
    EXPECT_EQ(f, img) << bpp;
  }
}

TEST(FlipVertical, OneRowAndOddHeights) {
  Bytes row = {1, 2, 3};
  {
    pxref::ProgressRecorder progress;
    ASSERT_TRUE(PXFlipVertical(row.data(), 3, 1));
    EXPECT_EQ(row, (Bytes{1, 2, 3}));
    EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 1}}));
  }
  Bytes three = {1, 2, 3, 4, 5, 6};
  pxref::ProgressRecorder progress;
  ASSERT_TRUE(PXFlipVertical(three.data(), 2, 3));
  EXPECT_EQ(three, (Bytes{5, 6, 3, 4, 1, 2}));
  EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 3}, {2, 3}}));
  ASSERT_TRUE(PXFlipVertical(three.data(), 2, 3));
  EXPECT_EQ(three, (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(PXFlipVertical(nullptr, 2, 3));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

}  // namespace
