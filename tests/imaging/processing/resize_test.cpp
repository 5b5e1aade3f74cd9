// Resizing: bilinear for byte, indexed and 1-bit images, nearest neighbour, and the
// filtered and area-averaging resamplers.
#include <cstring>

#include "reference.h"
#include "test_support.h"

namespace {

using pxref::Bytes;

std::vector<RGBQUAD> GreyPalette() {
  std::vector<RGBQUAD> p(256);
  for (int i = 0; i < 256; ++i) p[size_t(i)] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  return p;
}

// 2 x 2 enlarged to 4 x 4: each axis samples positions 0, 0.375, 0.75 and 1.125 (clamped), so
// with corners 0, 80, 160, 240 every value is a whole number.
const Bytes kTwoByTwo = {0, 80, 160, 240};
const Bytes kFourByFour = {0,   30,  60,  80,   //
                           60,  90,  120, 140,  //
                           120, 150, 180, 200,  //
                           160, 190, 220, 240};

TEST(ResizeRGB, TwoByTwoToFourByFour) {
  Bytes out(16, 0xEE);
  ASSERT_TRUE(PXResizeRGB(kTwoByTwo.data(), 2, 2, 2, out.data(), 4, 4, 4, 1));
  EXPECT_EQ(out, kFourByFour);
  // Three channels, the second and third scaled copies of the first.
  Bytes rgb, want;
  for (uint8_t v : kTwoByTwo) rgb.insert(rgb.end(), {v, uint8_t(v / 2), uint8_t(255 - v)});
  for (uint8_t v : kFourByFour) want.insert(want.end(), {v, uint8_t(v / 2), uint8_t(255 - v)});
  Bytes out3(48);
  ASSERT_TRUE(PXResizeRGB(rgb.data(), 2, 2, 6, out3.data(), 4, 4, 12, 3));
  EXPECT_EQ(out3, want);
}

TEST(ResizeRGB, ShrinkingSamplesWithoutAveraging) {
  const Bytes row = {10, 20, 30, 40};
  Bytes out(2);
  ASSERT_TRUE(PXResizeRGB(row.data(), 4, 1, 4, out.data(), 2, 1, 2, 1));
  EXPECT_EQ(out, (Bytes{10, 30}));
}

TEST(ResizeRGB, HalvesRoundToEven) {
  // 3 -> 2 puts column 1 at position 1.5: the mean of source columns 1 and 2.
  const Bytes row = {0, 0, 127, 126, 128, 127};  // two channels
  Bytes out(4);
  ASSERT_TRUE(PXResizeRGB(row.data(), 3, 1, 6, out.data(), 2, 1, 4, 2));
  EXPECT_EQ(out[2], 128);  // 127.5
  EXPECT_EQ(out[3], 126);  // 126.5
}

TEST(ResizeRGB, SameSizeCopiesTheWholeBuffer) {
  const Bytes in = {1, 2, 3, 4, 5, 6, 7, 8};  // 2 x 2 of 1 byte with stride 4
  Bytes out(8, 0);
  ASSERT_TRUE(PXResizeRGB(in.data(), 2, 2, 4, out.data(), 2, 2, 4, 1));
  EXPECT_EQ(out, in);
}

TEST(ResizeRGB, MatchesTheFormulaOnRandomImages) {
  std::mt19937 rng(1);
  for (int round = 0; round < 60; ++round) {
    const uint32_t bpp = 1 + rng() % 4;
    const uint32_t sw = 1 + rng() % 30, sh = 1 + rng() % 30;
    const uint32_t dw = round % 5 == 0 ? sw * 2 : 1 + rng() % 40;
    const uint32_t dh = round % 5 == 0 ? sh / 2 + 1 : 1 + rng() % 40;
    const uint32_t ss = sw * bpp + rng() % 3, ds = dw * bpp + rng() % 3;
    Bytes src = pxref::Random(rng, sh * ss, round % 2 ? 256 : 3);
    Bytes out(dh * ds, 0xEE);
    ASSERT_TRUE(PXResizeRGB(src.data(), sw, sh, ss, out.data(), dw, dh, ds, bpp));
    Bytes want = pxref::ResizeRGB(src, sw, sh, ss, dw, dh, ds, bpp);
    if (sw == dw && sh == dh && ss == ds) want = src;
    EXPECT_EQ(out, want) << sw << "x" << sh << " -> " << dw << "x" << dh << " bpp " << bpp;
  }
}

TEST(ResizeRGB, BadArgumentsAndAbort) {
  Bytes in(16), out(64);
  auto fails = [&](bool ok) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  };
  fails(PXResizeRGB(nullptr, 2, 2, 6, out.data(), 4, 4, 12, 3));
  fails(PXResizeRGB(in.data(), 2, 2, 6, nullptr, 4, 4, 12, 3));
  fails(PXResizeRGB(in.data(), 0, 2, 6, out.data(), 4, 4, 12, 3));
  fails(PXResizeRGB(in.data(), 2, 2, 6, out.data(), 4, 0, 12, 3));
  fails(PXResizeRGB(in.data(), 2, 2, 6, out.data(), 4, 4, 12, 0));
  fails(PXResizeRGB(in.data(), 2, 2, 5, out.data(), 4, 4, 12, 3));
  fails(PXResizeRGB(in.data(), 2, 2, 6, out.data(), 4, 4, 11, 3));
  // A width whose row would not fit in 32 bits cannot have a valid stride.
  fails(PXResizeRGB(in.data(), 0x80000000u, 1, 0xFFFFFFFFu, out.data(), 4, 4, 12, 3));
  fails(PXResizeNearest(in.data(), 2, 2, 5, out.data(), 4, 4, 12, 3));
  fails(PXResize1Bit(in.data(), 9, 2, 1, out.data(), 4, 4, 1));
  fails(PXResize1Bit(in.data(), 2, 2, 1, in.data(), 4, 4, 1));

  pxref::ProgressRecorder progress(2);
  std::fill(out.begin(), out.end(), 0xEE);
  EXPECT_FALSE(PXResizeRGB(kTwoByTwo.data(), 2, 2, 2, out.data(), 4, 4, 4, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8),
            Bytes(kFourByFour.begin(), kFourByFour.begin() + 8));
  EXPECT_EQ(out[8], 0xEE);  // rows after the stop are untouched
  EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 4}, {1, 4}}));
}

TEST(ResizeIndexed, GreyPaletteFollowsTheRGBResult) {
  auto grey = GreyPalette();
  Bytes out(16);
  ASSERT_TRUE(PXResizeIndexed(kTwoByTwo.data(), 2, 2, 2, out.data(), 4, 4, 4, 256, grey.data()));
  EXPECT_EQ(out, kFourByFour);
}

TEST(ResizeIndexed, DuplicateColoursMapToTheFirstEntry) {
  std::vector<RGBQUAD> pal(256);
  pal[5] = RGBQUAD{50, 50, 50, 0};
  pal[9] = RGBQUAD{50, 50, 50, 0};
  const Bytes in = {9, 9, 9, 9};
  Bytes out(9);
  ASSERT_TRUE(PXResizeIndexed(in.data(), 2, 2, 2, out.data(), 3, 3, 3, 10, pal.data()));
  EXPECT_EQ(out, Bytes(9, 5));
}

TEST(ResizeIndexed, MatchesTheFormulaOnRandomImages) {
  std::mt19937 rng(2);
  for (int round = 0; round < 40; ++round) {
    const uint32_t sw = 1 + rng() % 25, sh = 1 + rng() % 25;
    const uint32_t dw = round % 4 == 0 ? (sw + 1) / 2 : 1 + rng() % 40;
    const uint32_t dh = round % 4 == 0 ? (sh + 1) / 2 : 1 + rng() % 40;
    const uint32_t ss = sw + rng() % 3, ds = dw + rng() % 3;
    const int count = 1 + int(rng() % 256);
    std::vector<RGBQUAD> pal(256);
    for (auto& e : pal) {
      // Few levels, so that duplicates and exact ties occur.
      e = RGBQUAD{BYTE(rng() % 4 * 85), BYTE(rng() % 4 * 85), BYTE(rng() % 4 * 85), 0};
    }
    Bytes src = pxref::Random(rng, sh * ss, round % 2 ? 256 : 4);
    Bytes out(dh * ds, 0xEE);
    ASSERT_TRUE(PXResizeIndexed(src.data(), sw, sh, ss, out.data(), dw, dh, ds, uint32_t(count),
                                pal.data()));
    Bytes want = pxref::ResizeIndexed(src, sw, sh, ss, dw, dh, ds, pal.data(), count);
    if (sw == dw && sh == dh && ss == ds) want = src;
    EXPECT_EQ(out, want) << sw << "x" << sh << " -> " << dw << "x" << dh;
  }
}

TEST(ResizeIndexed, BadArguments) {
  auto grey = GreyPalette();
  Bytes in(16), out(16);
  for (uint32_t count : {0u, 257u}) {
    EXPECT_FALSE(PXResizeIndexed(in.data(), 2, 2, 2, out.data(), 4, 4, 4, count, grey.data()));
    EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  }
  EXPECT_FALSE(PXResizeIndexed(in.data(), 2, 2, 2, in.data(), 4, 4, 4, 256, grey.data()));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXResizeIndexed(in.data(), 2, 2, 2, out.data(), 4, 4, 4, 256, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXResizeIndexed(in.data(), 2, 2, 1, out.data(), 4, 4, 4, 256, grey.data()));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(Resize1Bit, ExactlyHalfClears) {
  // 3 x 3 -> 2 x 2: destination (1, 1) sits at (1.5, 1.5) with four equal weights over
  // source (1..2, 1..2).
  auto run = [](uint8_t r1, uint8_t r2) {
    const Bytes in = {0x00, r1, r2};
    Bytes out(2, 0);
    EXPECT_TRUE(PXResize1Bit(in.data(), 3, 3, 1, out.data(), 2, 2, 1));
    return (out[1] >> 6) & 1;
  };
  EXPECT_EQ(run(0x60, 0x00), 0);  // two of four set: 0.5 clears
  EXPECT_EQ(run(0x40, 0x40), 0);
  EXPECT_EQ(run(0x60, 0x20), 1);  // three of four
  EXPECT_EQ(run(0x60, 0x60), 1);
}

TEST(Resize1Bit, BitsBeyondTheWidthAreKept) {
  const Bytes in = {0xFF, 0xFF};
  Bytes out = {0x05, 0x00};
  ASSERT_TRUE(PXResize1Bit(in.data(), 8, 2, 1, out.data(), 5, 1, 1));
  EXPECT_EQ(out[0], 0xFD);
  EXPECT_EQ(out[1], 0x00);
}

TEST(Resize1Bit, MatchesTheFormulaOnRandomImages) {
  std::mt19937 rng(3);
  for (int round = 0; round < 60; ++round) {
    const uint32_t sw = 1 + rng() % 40, sh = 1 + rng() % 30;
    const uint32_t dw = 1 + rng() % 50, dh = 1 + rng() % 30;
    const uint32_t ss = (sw + 7) / 8 + rng() % 2, ds = (dw + 7) / 8 + rng() % 2;
    Bytes src = pxref::Random(rng, sh * ss, round % 2 ? 256 : 2);
    Bytes garbage = pxref::Random(rng, dh * ds);
    Bytes out = garbage, want = garbage;
    ASSERT_TRUE(PXResize1Bit(src.data(), sw, sh, ss, out.data(), dw, dh, ds));
    pxref::Resize1Bit(src, sw, sh, ss, want, dw, dh, ds);
    EXPECT_EQ(out, want) << sw << "x" << sh << " -> " << dw << "x" << dh;
  }
}

TEST(ResizeNearest, ThreeColumnsToTwoTakeColumnsZeroAndOne) {
  const Bytes in = {1, 2, 3};
  Bytes out(2);
  ASSERT_TRUE(PXResizeNearest(in.data(), 3, 1, 3, out.data(), 2, 1, 2, 1));
  EXPECT_EQ(out, (Bytes{1, 2}));
}

TEST(ResizeNearest, ReportsPerChannelAndStopsBetweenChannels) {
  const Bytes in = {1, 2, 3, 4, 5, 6};  // 2 x 1, 3 bytes
  Bytes out(12, 0);
  {
    pxref::ProgressRecorder progress;
    ASSERT_TRUE(PXResizeNearest(in.data(), 2, 1, 6, out.data(), 4, 1, 12, 3));
    EXPECT_EQ(out, (Bytes{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6}));
    EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 3}, {1, 3}, {2, 3}}));
  }
  std::fill(out.begin(), out.end(), 0);
  pxref::ProgressRecorder progress(1);
  EXPECT_FALSE(PXResizeNearest(in.data(), 2, 1, 6, out.data(), 4, 1, 12, 3));
  EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
  EXPECT_EQ(out, (Bytes{1, 0, 0, 1, 0, 0, 4, 0, 0, 4, 0, 0}));  // channel 0 only
}

TEST(ResizeNearest, MatchesTheDefinitionOnRandomImages) {
  std::mt19937 rng(4);
  for (int round = 0; round < 40; ++round) {
    const uint32_t bpp = 1 + rng() % 4;
    const uint32_t sw = 1 + rng() % 30, sh = 1 + rng() % 30, dw = 1 + rng() % 40,
                   dh = 1 + rng() % 40;
    const uint32_t ss = sw * bpp + rng() % 3, ds = dw * bpp + rng() % 3;
    Bytes src = pxref::Random(rng, sh * ss);
    Bytes out(dh * ds, 0xEE);
    ASSERT_TRUE(PXResizeNearest(src.data(), sw, sh, ss, out.data(), dw, dh, ds, bpp));
    Bytes want = pxref::ResizeNearest(src, sw, sh, ss, dw, dh, ds, bpp);
    if (sw == dw && sh == dh && ss == ds) want = src;
    EXPECT_EQ(out, want);
  }
}

/* ---- Filtered and area-averaging resamplers --------------------------------------------- */

TEST(ResizeFiltered, UnknownFilterAndTooSmallDestinations) {
  Bytes in(100 * 3, 7), out(100 * 3);
  EXPECT_FALSE(PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 5, 5, 15, 3, 14));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 5, 5, 15, 3, -1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(
      PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 2, 5, 6, 3, PX_FILTER_LANCZOS3));
  EXPECT_EQ(PXGetLastError(), PX_ERR_SIZE_OVERFLOW);
  EXPECT_FALSE(PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 5, 3, 15, 3, PX_FILTER_SINC));
  EXPECT_EQ(PXGetLastError(), PX_ERR_SIZE_OVERFLOW);
  EXPECT_FALSE(
      PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 1, 5, 3, 3, PX_FILTER_GAUSSIAN));
  EXPECT_EQ(PXGetLastError(), PX_ERR_SIZE_OVERFLOW);  // support 1.25 needs 2
  EXPECT_TRUE(
      PXResizeRGBFiltered(in.data(), 10, 10, 30, out.data(), 3, 4, 9, 3, PX_FILTER_LANCZOS3));
}

TEST(ResizeFiltered, EveryFilterKeepsAFlatImageFlat) {
  Bytes in(13 * 9 * 3);
  for (size_t i = 0; i < in.size(); i += 3) {
    in[i] = 200;
    in[i + 1] = 17;
    in[i + 2] = 255;
  }
  for (int filter = 0; filter <= 13; ++filter)
    for (auto [dw, dh] : {std::pair{5u, 4u}, std::pair{31u, 20u}}) {
      Bytes out(dw * dh * 3);
      ASSERT_TRUE(PXResizeRGBFiltered(in.data(), 13, 9, 39, out.data(), dw, dh, dw * 3, 3, filter))
          << filter;
      for (size_t i = 0; i < out.size(); i += 3)
        ASSERT_TRUE(out[i] == 200 && out[i + 1] == 17 && out[i + 2] == 255)
            << "filter " << filter << " pixel " << i / 3;
    }
}

TEST(ResizeFiltered, BoxHalvingAveragesPairs) {
  const Bytes in = {10, 20, 30, 41};  // 4 x 1
  Bytes out(2);
  ASSERT_TRUE(PXResizeRGBFiltered(in.data(), 4, 1, 4, out.data(), 2, 1, 2, 1, PX_FILTER_BOX));
  EXPECT_EQ(out, (Bytes{15, 36}));  // 35.5 rounds to even
}

TEST(EnlargeRGB, PixelCentresAreAligned) {
  // 2 -> 4: centres at -0.25, 0.25, 0.75, 1.25 of the source.
  const Bytes in = {0, 0, 0, 200, 100, 40};
  Bytes out(12);
  ASSERT_TRUE(PXEnlargeRGB(in.data(), 2, 1, 6, out.data(), 4, 1, 12));
  EXPECT_EQ(out, (Bytes{0, 0, 0, 50, 25, 10, 150, 75, 30, 200, 100, 40}));
  EXPECT_FALSE(PXEnlargeRGB(in.data(), 2, 1, 6, out.data(), 1, 1, 3));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(ShrinkRGB, WholeCellsAndCoveredArea) {
  const Bytes in = {0, 0, 0, 90, 90, 90, 30, 30, 30};  // 3 x 1
  Bytes out(6);
  // Whole cells: columns [0, 1) and [1, 3).
  ASSERT_TRUE(PXShrinkRGB(in.data(), 3, 1, 9, out.data(), 2, 1, 6, FALSE));
  EXPECT_EQ(out, (Bytes{0, 0, 0, 60, 60, 60}));
  // Covered area: [0, 1.5) and [1.5, 3): (0 + 0.5 * 90) / 1.5 and (0.5 * 90 + 30) / 1.5.
  ASSERT_TRUE(PXShrinkRGB(in.data(), 3, 1, 9, out.data(), 2, 1, 6, TRUE));
  EXPECT_EQ(out, (Bytes{30, 30, 30, 50, 50, 50}));
  EXPECT_FALSE(PXShrinkRGB(in.data(), 3, 1, 9, out.data(), 4, 1, 12, TRUE));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(ShrinkIndexed, MeanColourIsMatched) {
  auto grey = GreyPalette();
  const Bytes in = {10, 30, 100, 101, 7, 7, 7, 7};  // 4 x 2
  Bytes out(2);
  ASSERT_TRUE(PXShrinkIndexed(in.data(), 4, 2, 4, out.data(), 2, 1, 2, 256, grey.data()));
  EXPECT_EQ(out, (Bytes{14, 54}));  // (10 + 30 + 7 + 7) / 4 = 13.5, (100 + 101 + 14) / 4 = 53.75
}

// A 1-bit image (set bit = colour 1) as the colours of its palette entries.
Bytes ExpandBits(const Bytes& bits, uint32_t w, uint32_t h, const RGBQUAD* palette, uint32_t ch) {
  const uint32_t stride = (w + 7) / 8;
  Bytes out;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const RGBQUAD& e = palette[(bits[y * stride + x / 8] >> (7 - x % 8)) & 1];
      if (ch == 1)
        out.push_back(
            BYTE((299u * e.rgbRed + 587u * e.rgbGreen + 114u * e.rgbBlue + 500u) / 1000u));
      else
        out.insert(out.end(), {e.rgbRed, e.rgbGreen, e.rgbBlue});
    }
  return out;
}

// The bit-counting 1-bit path against the byte path over the same colours, at sizes with
// and without integer ratios, an axis that grows, and a width that ends inside a byte.
TEST(ResizeAreaIndexed, OneBitAgreesWithTheByteAreaOfItsColours) {
  const uint32_t w = 61, h = 37, stride = 8;
  Bytes bits(stride * h);
  uint32_t seed = 5;
  for (auto& b : bits) b = BYTE((seed = seed * 1103515245u + 12345u) >> 24);
  const RGBQUAD pairs[2][2] = {{{255, 255, 255, 0}, {0, 0, 0, 0}},
                               {{20, 200, 90, 0}, {250, 10, 60, 0}}};
  const uint32_t sizes[][2] = {{30, 18}, {20, 12}, {7, 5}, {1, 1}, {45, 50}, {61, 20}};
  for (const auto& pair : pairs) {
    std::vector<RGBQUAD> palette(256);
    palette[0] = pair[0], palette[1] = pair[1];
    for (uint32_t ch : {1u, 3u}) {
      const Bytes colours = ExpandBits(bits, w, h, palette.data(), ch);
      for (const auto& size : sizes) {
        const uint32_t dw = size[0], dh = size[1];
        Bytes fast(dw * dh * ch, 0xEE), bytes(dw * dh * ch, 0xEE);
        ASSERT_TRUE(PXResizeAreaIndexed(bits.data(), w, h, stride, 1, palette.data(), fast.data(),
                                        dw, dh, dw * ch, ch));
        ASSERT_TRUE(PXResizeArea(colours.data(), w, h, w * ch, bytes.data(), dw, dh, dw * ch, ch));
        for (size_t i = 0; i < fast.size(); ++i)
          ASSERT_NEAR(fast[i], bytes[i], 1) << dw << "x" << dh << " channels " << ch << " at " << i;
      }
    }
  }
}

TEST(ResizeAreaIndexed, OneBitFlatAreasAndExactHalves) {
  std::vector<RGBQUAD> palette(256);
  palette[0] = {255, 255, 255, 0};
  for (BYTE fill : {BYTE(0x00), BYTE(0xFF)}) {
    const Bytes bits(4 * 30, fill);  // 30 x 30
    Bytes out(9 * 7);
    ASSERT_TRUE(
        PXResizeAreaIndexed(bits.data(), 30, 30, 4, 1, palette.data(), out.data(), 9, 7, 9, 1));
    EXPECT_EQ(out, Bytes(out.size(), fill ? 0 : 255));
  }
  // 8 x 2 with 0, 1, 2 and 4 set bits in its 2 x 2 blocks: 255 (4 - k) / 4, rounded half to even.
  const Bytes bits = {0b00100111, 0b00001011};
  Bytes out(4);
  ASSERT_TRUE(PXResizeAreaIndexed(bits.data(), 8, 2, 1, 1, palette.data(), out.data(), 4, 1, 4, 1));
  EXPECT_EQ(out, (Bytes{255, 191, 128, 0}));
}

}  // namespace
