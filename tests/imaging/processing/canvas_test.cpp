// Canvas operations: rectangle fill, paste and lines, clipped to the image.
#include <climits>
#include <cstring>
#include <set>

#include "reference.h"
#include "test_support.h"

namespace {

using pxref::Bytes;

RECT Rect(int l, int t, int r, int b) {
  return RECT{l, t, r, b};
}

// The pixels the classic stepping visits, both ends included.
std::vector<std::pair<int64_t, int64_t>> StepLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  std::vector<std::pair<int64_t, int64_t>> pts;
  int64_t dx = x2 - x1, dy = y2 - y1, adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1, x = x1, y = y1;
  if (ady < adx) {
    int64_t d = 2 * ady - adx;
    for (int64_t i = 0; i <= adx; ++i) {
      pts.emplace_back(x, y);
      if (d >= 0) {
        y += sy;
        d += 2 * ady - 2 * adx;
      } else {
        d += 2 * ady;
      }
      x += sx;
    }
  } else {
    int64_t d = 2 * adx - ady;
    for (int64_t i = 0; i <= ady; ++i) {
      pts.emplace_back(x, y);
      if (d >= 0) {
        x += sx;
        d += 2 * adx - 2 * ady;
      } else {
        d += 2 * adx;
      }
      y += sy;
    }
  }
  return pts;
}

/* ---- Fill ------------------------------------------------------------------------------- */

TEST(FillRect, WholeImageRectangleFillsEveryPixel) {
  const uint32_t w = 5, h = 3, stride = 17;
  Bytes img(h * stride, 0);
  RECT r = Rect(0, 0, w, h);
  ASSERT_TRUE(PXFillRect(img.data(), w, h, 3, stride, &r, 0x332211, 0));
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = &img[y * stride + x * 3];
      ASSERT_TRUE(p[0] == 0x11 && p[1] == 0x22 && p[2] == 0x33) << x << "," << y;
    }
    EXPECT_EQ(img[y * stride + 15], 0);  // the extra column is cut at the edge
  }
  r = Rect(0, 0, 10, h);
  Bytes all(h * 2, 0);
  ASSERT_TRUE(PXFillRect1Bit(all.data(), 10, h, 2, &r, 1));
  EXPECT_EQ(all, (Bytes{0xFF, 0xC0, 0xFF, 0xC0, 0xFF, 0xC0}));
}

TEST(FillRect, RightIsInclusiveBottomIsNot) {
  Bytes img(16, 0);  // 4 x 4, 1 byte
  RECT r = Rect(1, 1, 2, 2);
  ASSERT_TRUE(PXFillRect(img.data(), 4, 4, 1, 4, &r, 0x1FF, 0));
  EXPECT_EQ(img, (Bytes{0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Bytes bits(4, 0);  // 8 x 4, 1 bit: columns 1 ... right - 1
  ASSERT_TRUE(PXFillRect1Bit(bits.data(), 8, 4, 1, &r, 1));
  EXPECT_EQ(bits, (Bytes{0, 0x40, 0, 0}));
}

TEST(FillRect, ColourBytesAndChannelOrder) {
  Bytes img(8, 0);
  RECT r = Rect(0, 0, 1, 1);
  ASSERT_TRUE(PXFillRect(img.data(), 2, 1, 4, 8, &r, 0x44332211, 0));
  EXPECT_EQ(img, (Bytes{0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0x33, 0x44}));
  ASSERT_TRUE(PXFillRect(img.data(), 2, 1, 3, 8, &r, 0x332211, PX_FLAG_BGR));
  EXPECT_EQ(Bytes(img.begin(), img.begin() + 6), (Bytes{0x33, 0x22, 0x11, 0x33, 0x22, 0x11}));
  ASSERT_TRUE(PXFillRect(img.data(), 2, 1, 3, 8, &r, 0x777777, 0));  // all bytes equal
  EXPECT_EQ(Bytes(img.begin(), img.begin() + 6), Bytes(6, 0x77));
  EXPECT_FALSE(PXFillRect(img.data(), 2, 1, 2, 8, &r, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXFillRect(img.data(), 2, 1, 3, 8, nullptr, 0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(FillRect, RectanglesReachingOutsideAreClippedOnEverySide) {
  Bytes img(4 * 3, 0);  // 4 x 3, 1 byte
  RECT r = Rect(-100, -7, 1, 2);
  ASSERT_TRUE(PXFillRect(img.data(), 4, 3, 1, 4, &r, 9, 0));
  EXPECT_EQ(img, (Bytes{9, 9, 0, 0, 9, 9, 0, 0, 0, 0, 0, 0}));
  r = Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  ASSERT_TRUE(PXFillRect(img.data(), 4, 3, 1, 4, &r, 5, 0));
  EXPECT_EQ(img, Bytes(12, 5));
  Bytes bits(3 * 2, 0);  // 12 x 3, 1 bit
  r = Rect(-5, -5, 3, 1);
  ASSERT_TRUE(PXFillRect1Bit(bits.data(), 12, 3, 2, &r, 1));
  EXPECT_EQ(bits, (Bytes{0xE0, 0, 0, 0, 0, 0}));
  // Empty and entirely outside: nothing, and success.
  for (RECT e : {Rect(4, 0, 9, 3), Rect(0, 3, 3, 9), Rect(2, 2, 0, 3), Rect(0, 2, 3, 2),
                 Rect(-9, 0, -2, 3)}) {
    Bytes before = img;
    EXPECT_TRUE(PXFillRect(img.data(), 4, 3, 1, 4, &e, 1, 0));
    EXPECT_EQ(img, before);
  }
}

TEST(FillRect1Bit, PartialBytesAtBothEnds) {
  Bytes row = {0x00, 0x00, 0xFF};
  RECT r = Rect(3, 0, 13, 1);
  ASSERT_TRUE(PXFillRect1Bit(row.data(), 24, 1, 3, &r, 1));
  EXPECT_EQ(row, (Bytes{0x1F, 0xF8, 0xFF}));
  Bytes full(3, 0xFF);
  ASSERT_TRUE(PXFillRect1Bit(full.data(), 24, 1, 3, &r, 0));
  EXPECT_EQ(full, (Bytes{0xE0, 0x07, 0xFF}));
  r = Rect(2, 0, 5, 1);
  ASSERT_TRUE(PXFillRect1Bit(full.data(), 24, 1, 3, &r, 0));
  EXPECT_EQ(full[0], 0xC0);
}

/* ---- Paste ------------------------------------------------------------------------------ */

TEST(PasteImage, PartlyOutsideIsClipped) {
  // A 10 x 10 source at (-3, 5) in a 20 x 12 destination: source columns 3 ... 9 go to
  // columns 0 ... 6, source rows 0 ... 6 to rows 5 ... 11.
  Bytes src(100);
  for (int i = 0; i < 100; ++i) src[size_t(i)] = uint8_t(i + 1);
  Bytes dst(20 * 12, 0);
  ASSERT_TRUE(PXPasteImage(dst.data(), 20, 12, 1, 20, src.data(), 10, 10, 10, -3, 5, 1.0, 0));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) {
      int want = y >= 5 && x <= 6 ? (y - 5) * 10 + (x + 3) + 1 : 0;
      ASSERT_EQ(dst[size_t(y * 20 + x)], want) << x << "," << y;
    }
}

TEST(PasteImage, BottomUpOpacityAndBlending) {
  const Bytes src = {10, 20, 30, 40};  // 1 x 2, 2 bytes per pixel
  Bytes dst(2 * 2, 100);
  ASSERT_TRUE(
      PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 1.0, PX_PASTE_BOTTOM_UP));
  EXPECT_EQ(dst, (Bytes{30, 40, 10, 20}));
  ASSERT_TRUE(PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 0.0, 0));
  EXPECT_EQ(dst, (Bytes{30, 40, 10, 20}));
  ASSERT_TRUE(PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 0.5, 0));
  EXPECT_EQ(dst, (Bytes{20, 30, 20, 30}));
  ASSERT_TRUE(PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 7.0, 0));
  EXPECT_EQ(dst, src);  // opacity above 1 counts as 1
  ASSERT_TRUE(PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 1.0, PX_BLEND_ADD));
  EXPECT_EQ(dst, (Bytes{20, 40, 60, 80}));
  ASSERT_TRUE(
      PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 1.0, PX_BLEND_DARKEN));
  EXPECT_EQ(dst, (Bytes{10, 20, 30, 40}));
  EXPECT_FALSE(PXPasteImage(dst.data(), 1, 2, 2, 2, src.data(), 1, 2, 2, 0, 0, 1.0, 10));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXPasteImage(dst.data(), 1, 2, 2, 2, dst.data(), 1, 2, 2, 0, 0, 1.0, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(PasteImage, FarAwayOffsetsDoNothing) {
  const Bytes src(9, 1);
  Bytes dst(9, 0);
  for (auto [x, y] : {std::pair{INT_MAX, 0}, std::pair{INT_MIN, 0}, std::pair{0, INT_MIN},
                      std::pair{3, 0}, std::pair{-3, 0}}) {
    ASSERT_TRUE(PXPasteImage(dst.data(), 3, 3, 1, 3, src.data(), 3, 3, 3, x, y, 1.0, 0));
    EXPECT_EQ(dst, Bytes(9, 0));
  }
}

TEST(PasteImage1Bit, ModesAndOffsetsMatchBitByBit) {
  std::mt19937 rng(31);
  for (int round = 0; round < 80; ++round) {
    const uint32_t sw = 1 + rng() % 30, sh = 1 + rng() % 8, dw = 1 + rng() % 40,
                   dh = 1 + rng() % 10;
    const uint32_t ss = (sw + 7) / 8 + rng() % 2, ds = (dw + 7) / 8 + rng() % 2;
    const int x = int(rng() % 50) - 20, y = int(rng() % 16) - 6;
    const uint32_t flags = rng() % 16;
    const Bytes src = pxref::Random(rng, sh * ss);
    Bytes out = pxref::Random(rng, dh * ds), want = out;
    ASSERT_TRUE(PXPasteImage1Bit(out.data(), dw, dh, ds, src.data(), sw, sh, ss, x, y, flags));
    for (uint32_t sy = 0; sy < sh; ++sy)
      for (uint32_t sx = 0; sx < sw; ++sx) {
        const int64_t px = x + int64_t(sx), py = y + int64_t(sy);
        if (px < 0 || py < 0 || px >= dw || py >= dh) continue;
        const uint32_t row = flags & PX_PASTE1_BOTTOM_UP ? sh - 1 - sy : sy;
        const int v = pxref::Bit(&src[row * ss], sx);
        uint8_t* d = &want[size_t(py) * ds];
        if (!(flags & PX_PASTE1_SINGLE_VALUE))
          pxref::PutBit(d, size_t(px), v);
        else if ((flags & PX_PASTE1_ONES) && v)
          pxref::PutBit(d, size_t(px), 1);
        else if (!(flags & PX_PASTE1_ONES) && !v)
          pxref::PutBit(d, size_t(px), 0);
      }
    EXPECT_EQ(out, want) << "round " << round << " at " << x << "," << y << " flags " << flags;
  }
}

/* ---- Lines ------------------------------------------------------------------------------ */

std::set<std::pair<int64_t, int64_t>> SetPixels(const Bytes& img, uint32_t w, uint32_t h) {
  std::set<std::pair<int64_t, int64_t>> s;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      if (img[y * w + x]) s.emplace(x, y);
  return s;
}

TEST(DrawLine, ShallowLineGolden) {
  Bytes img(5 * 3, 0);
  ASSERT_TRUE(PXDrawLine(img.data(), 5, 3, 1, 5, 1, {0, 0}, {4, 2}, 0));
  EXPECT_EQ(SetPixels(img, 5, 3),
            (std::set<std::pair<int64_t, int64_t>>{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
  Bytes bits(3, 0);
  ASSERT_TRUE(PXDrawLine1Bit(bits.data(), 5, 3, 1, 1, {0, 0}, {4, 2}, 0));
  EXPECT_EQ(bits, (Bytes{0x80, 0x60, 0x18}));
}

TEST(DrawLine, MatchesStepByStepWithEndsOutside) {
  std::mt19937 rng(32);
  const uint32_t w = 17, h = 11;
  for (int round = 0; round < 300; ++round) {
    const int x1 = int(rng() % 80) - 30, y1 = int(rng() % 60) - 25, x2 = int(rng() % 80) - 30,
              y2 = int(rng() % 60) - 25;
    Bytes img(w * h, 0);
    ASSERT_TRUE(PXDrawLine(img.data(), w, h, 1, w, 1, {x1, y1}, {x2, y2}, 0));
    std::set<std::pair<int64_t, int64_t>> want;
    for (auto p : StepLine(x1, y1, x2, y2))
      if (p.first >= 0 && p.second >= 0 && p.first < w && p.second < h) want.insert(p);
    ASSERT_EQ(SetPixels(img, w, h), want) << x1 << "," << y1 << " -> " << x2 << "," << y2;
  }
}

TEST(DrawLine, ExtremeEndPointsFinishAndDrawTheInsidePart) {
  Bytes img(6 * 4, 0);
  ASSERT_TRUE(PXDrawLine(img.data(), 6, 4, 1, 6, 1, {INT_MIN, 2}, {INT_MAX, 2}, 0));
  EXPECT_EQ(SetPixels(img, 6, 4), (std::set<std::pair<int64_t, int64_t>>{
                                      {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}));
  // A long diagonal through the image: the inside part is the diagonal itself.
  std::fill(img.begin(), img.end(), 0);
  ASSERT_TRUE(PXDrawLine(img.data(), 6, 4, 1, 6, 1, {-1000000000, -1000000000},
                         {1000000000, 1000000000}, 0));
  EXPECT_EQ(SetPixels(img, 6, 4),
            (std::set<std::pair<int64_t, int64_t>>{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
  // A steep line far from the image along a shallow one's path.
  std::fill(img.begin(), img.end(), 0);
  ASSERT_TRUE(PXDrawLine(img.data(), 6, 4, 1, 6, 1, {INT_MIN, INT_MIN}, {INT_MAX, INT_MIN + 5}, 0));
  EXPECT_TRUE(SetPixels(img, 6, 4).empty());
  Bytes bits(4, 0);
  ASSERT_TRUE(PXDrawLine1Bit(bits.data(), 6, 4, 1, 1, {2, INT_MIN}, {2, INT_MAX}, 0));
  EXPECT_EQ(bits, Bytes(4, 0x20));
}

TEST(DrawLine, PixelSizesAndAntiAliasing) {
  Bytes img(3 * 2, 0);
  ASSERT_TRUE(PXDrawLine(img.data(), 3, 1, 2, 6, 0xAABBCCDD, {0, 0}, {1, 0}, 0));
  EXPECT_EQ(img, (Bytes{0xDD, 0xCC, 0xDD, 0xCC, 0, 0}));  // low 16 bits
  EXPECT_FALSE(PXDrawLine(img.data(), 3, 1, 2, 6, 1, {0, 0}, {1, 0}, PX_LINE_ANTIALIAS));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXDrawLine(img.data(), 3, 1, 5, 15, 1, {0, 0}, {1, 0}, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  // An anti-aliased horizontal line is solid; a half-way line shares the colour.
  Bytes rgb(4 * 2 * 3, 0);
  ASSERT_TRUE(PXDrawLine(rgb.data(), 4, 2, 3, 12, 0xFFFFFF, {0, 0}, {3, 0}, PX_LINE_ANTIALIAS));
  EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 12), Bytes(12, 0xFF));
  EXPECT_EQ(Bytes(rgb.begin() + 12, rgb.end()), Bytes(12, 0));
  std::fill(rgb.begin(), rgb.end(), 0);
  ASSERT_TRUE(PXDrawLine(rgb.data(), 4, 2, 3, 12, 0xC8C8C8, {0, 0}, {2, 1}, PX_LINE_ANTIALIAS));
  EXPECT_EQ(rgb[0], 200);       // (0, 0) exact
  EXPECT_EQ(rgb[3], 100);       // (1, 0) half
  EXPECT_EQ(rgb[12 + 3], 100);  // (1, 1) half
  EXPECT_EQ(rgb[12 + 6], 200);  // (2, 1) exact
  // Far-away ends do not hang and stay inside.
  ASSERT_TRUE(
      PXDrawLine(rgb.data(), 4, 2, 3, 12, 1, {INT_MIN, 0}, {INT_MAX, 1}, PX_LINE_ANTIALIAS));
}

}  // namespace
