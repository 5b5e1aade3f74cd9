// The area reduction of byte images (PXResizeArea) and its integer shortcut for whole-factor
// reductions, which must give the general engine's bytes.
#include <cmath>

#include "processing/common.h"
#include "reference.h"
#include "test_support.h"

namespace {

using pxref::Bytes;

// The exact mean sum / n rounded to nearest, ties to even, as the engine rounds.
uint8_t RoundedMean(uint32_t sum, uint32_t n) {
  const uint32_t q = sum / n, twice = 2 * (sum % n);
  return uint8_t(q + (twice > n || (twice == n && q % 2 == 1)));
}

// A w x h image of one colour, ch bytes per pixel, rows padded to stride.
Bytes Flat(const Bytes& colour, uint32_t w, uint32_t h, uint32_t stride) {
  Bytes img(size_t(stride) * h, 0xEE);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      std::copy(colour.begin(), colour.end(), img.begin() + y * stride + x * colour.size());
  return img;
}

// Whole factors (the shortcut), odd block counts, a fit of 2480 columns into 1700 whose
// cells cut source pixels, and an axis that grows: a flat colour comes out as exactly that
// colour, so the weights of every cell sum to one.
TEST(ResizeArea, FlatColourStaysExactAtEveryRatio) {
  const Bytes colour = {17, 200, 93};
  const uint32_t sizes[][4] = {{40, 30, 20, 15},   {39, 27, 13, 9},  {2480, 7, 1700, 3},
                               {2480, 4, 1700, 4}, {31, 17, 30, 16}, {11, 6, 5, 13},
                               {255, 3, 1, 1},     {300, 1, 1, 1}};
  for (const auto& s : sizes) {
    const uint32_t sw = s[0], sh = s[1], dw = s[2], dh = s[3];
    const Bytes in = Flat(colour, sw, sh, sw * 3 + 5);
    Bytes out(size_t(dw) * 3 * dh, 0xEE);
    ASSERT_TRUE(PXResizeArea(in.data(), sw, sh, sw * 3 + 5, out.data(), dw, dh, dw * 3, 3));
    EXPECT_EQ(out, Flat(colour, dw, dh, dw * 3)) << sw << "x" << sh << " to " << dw << "x" << dh;
  }
}

TEST(ResizeArea, ExactHalfIsTheRoundedMeanOfEachBlock) {
  std::mt19937 rng(3);
  const uint32_t dw = 19, dh = 13, sw = 2 * dw, sh = 2 * dh, stride = sw * 3 + 3;
  const Bytes in = pxref::Random(rng, size_t(stride) * sh);
  Bytes out(size_t(dw) * 3 * dh, 0xEE);
  ASSERT_TRUE(PXResizeArea(in.data(), sw, sh, stride, out.data(), dw, dh, dw * 3, 3));
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x)
      for (uint32_t c = 0; c < 3; ++c) {
        const auto at = [&](uint32_t dx, uint32_t dy) {
          return uint32_t(in[(2 * y + dy) * stride + (2 * x + dx) * 3 + c]);
        };
        const uint32_t sum = at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1);
        ASSERT_EQ(out[(y * dw + x) * 3 + c], RoundedMean(sum, 4))
            << "block " << x << "," << y << " channel " << c;
      }
  // Halves go to the even neighbour: 0.5 to 0, 1.5 to 2.
  const Bytes ties = {0, 1, 1, 2, 0, 1, 1, 2};  // 4 x 2, grey
  Bytes two(2);
  ASSERT_TRUE(PXResizeArea(ties.data(), 4, 2, 4, two.data(), 2, 1, 2, 1));
  EXPECT_EQ(two, (Bytes{0, 2}));
}

// A 1-pixel black line on white, in each of the three columns (rows) of its cell, comes out
// of a 3:1 reduction as one line of grey 170 (a third black) over white: nothing skips it.
TEST(ResizeArea, OnePixelLineSurvivesThreeToOne) {
  const uint32_t n = 30, d = 10;
  for (bool vertical : {true, false})
    for (uint32_t at = 12; at < 15; ++at) {
      Bytes in = Flat({255, 255, 255}, n, n, n * 3);
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t x = vertical ? at : i, y = vertical ? i : at;
        std::fill_n(in.begin() + y * n * 3 + x * 3, 3, 0);
      }
      Bytes out(d * d * 3);
      ASSERT_TRUE(PXResizeArea(in.data(), n, n, n * 3, out.data(), d, d, d * 3, 3));
      for (uint32_t y = 0; y < d; ++y)
        for (uint32_t x = 0; x < d; ++x)
          ASSERT_EQ(out[(y * d + x) * 3], (vertical ? x : y) == at / 3 ? 170 : 255)
              << (vertical ? "column " : "row ") << at << ", output " << x << "," << y;
    }
}

// Each output pixel of a 2480 to 1700 row against the covered-area mean computed in doubles:
// the cut pixels at both ends of a cell count with the part of them inside.
TEST(ResizeArea, NonIntegerRatioWeighsEachPixelByItsCoveredPart) {
  std::mt19937 rng(11);
  const uint32_t sw = 2480, dw = 1700;
  const Bytes in = pxref::Random(rng, sw);
  Bytes out(dw);
  ASSERT_TRUE(PXResizeArea(in.data(), sw, 1, sw, out.data(), dw, 1, dw, 1));
  for (uint32_t i = 0; i < dw; ++i) {
    // Cell i is [i sw / dw, (i + 1) sw / dw) of the source.
    const double lo = double(i) * sw / dw, hi = double(i + 1) * sw / dw;
    double sum = 0;
    for (uint32_t j = uint32_t(lo); j < sw && j < hi; ++j)
      sum += (std::min(hi, j + 1.0) - std::max(lo, double(j))) * in[j];
    ASSERT_NEAR(out[i], sum / (hi - lo), 0.5 + 1e-3) << "column " << i;
  }
}

// One column or one row reduced to a single pixel is the mean of all of it, per channel,
// through the shortcut (block counts up to 256) and the engine (300).
TEST(ResizeArea, SingleRowsAndColumnsReduceToTheirMean) {
  for (uint32_t len : {1u, 2u, 7u, 255u, 256u, 300u})
    for (bool column : {true, false}) {
      const uint32_t w = column ? 1 : len, h = column ? len : 1;
      Bytes in(size_t(len) * 3);
      uint32_t sums[3] = {};
      for (size_t i = 0; i < in.size(); ++i) sums[i % 3] += in[i] = uint8_t(i * 37 % 256);
      Bytes out(3, 0xEE);
      ASSERT_TRUE(PXResizeArea(in.data(), w, h, w * 3, out.data(), 1, 1, 3, 3));
      for (uint32_t c = 0; c < 3; ++c)
        EXPECT_NEAR(out[c], double(sums[c]) / len, 0.5 + 1e-3) << w << "x" << h << " channel " << c;
    }
}

// The shortcut against the general engine, byte for byte, on random images: factors that are
// powers of two, odd block counts up to 225, odd destination sizes, padded strides, 1, 3 and
// 4 channels and 8-bit palette images to grey and colour; and factors the shortcut leaves to
// the engine (2 x 3, 6 x 6), which must not change either.
TEST(ResizeArea, WholeBlocksGiveTheGeneralEnginesBytes) {
  std::mt19937 rng(29);
  const uint32_t factors[][2] = {{1, 1}, {2, 2}, {2, 1}, {1, 2}, {4, 4},   {8, 2}, {16, 16},
                                 {3, 3}, {3, 1}, {5, 3}, {7, 9}, {15, 15}, {2, 3}, {6, 6}};
  const uint32_t outputs[][2] = {{13, 7}, {1, 5}, {9, 1}};
  for (const auto& f : factors)
    for (const auto& o : outputs) {
      const uint32_t dw = o[0], dh = o[1], sw = dw * f[0], sh = dh * f[1];
      SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to " << dw << "x" << dh);
      for (uint32_t ch : {1u, 3u, 4u}) {
        const uint32_t stride = sw * ch + 7;
        // Two levels as well as all 256, so that sums land on halves often.
        const Bytes in = pxref::Random(rng, size_t(stride) * sh, ch == 1 ? 2 : 256);
        const uint32_t outStride = dw * ch + 5;
        Bytes fast(size_t(outStride) * dh, 0xEE), general = fast;
        ASSERT_TRUE(pxproc::ResizeArea(in.data(), sw, sh, stride, fast.data(), dw, dh, outStride,
                                       ch, true));
        ASSERT_TRUE(pxproc::ResizeArea(in.data(), sw, sh, stride, general.data(), dw, dh, outStride,
                                       ch, false));
        ASSERT_EQ(fast, general) << ch << " channels";
      }
      std::vector<RGBQUAD> palette(256);
      for (auto& e : palette) e = {BYTE(rng()), BYTE(rng()), BYTE(rng()), 0};
      const Bytes in = pxref::Random(rng, size_t(sw + 3) * sh);
      for (uint32_t ch : {1u, 3u}) {
        Bytes fast(size_t(dw) * ch * dh, 0xEE), general = fast;
        ASSERT_TRUE(pxproc::ResizeAreaIndexed(in.data(), sw, sh, sw + 3, 8, palette.data(),
                                              fast.data(), dw, dh, dw * ch, ch, true));
        ASSERT_TRUE(pxproc::ResizeAreaIndexed(in.data(), sw, sh, sw + 3, 8, palette.data(),
                                              general.data(), dw, dh, dw * ch, ch, false));
        ASSERT_EQ(fast, general) << "8-bit palette to " << ch << " channels";
      }
    }
}

}  // namespace
