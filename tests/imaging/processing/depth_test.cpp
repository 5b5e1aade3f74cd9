// Colour-depth reduction: the colour matcher, packing, the black threshold, palette
// expansion and the palette builder with its mapper.
#include <algorithm>
#include <cstring>
#include <map>

#include "reference.h"
#include "test_support.h"

namespace {

using pxref::Bytes;

RGBQUAD Quad(int r, int g, int b) {
  return RGBQUAD{BYTE(b), BYTE(g), BYTE(r), 0};
}

std::vector<RGBQUAD> GreyPalette() {
  std::vector<RGBQUAD> p(256);
  for (int i = 0; i < 256; ++i) p[size_t(i)] = Quad(i, i, i);
  return p;
}

/* ---- Colour distance and matcher -------------------------------------------------------- */

TEST(ColorDistance, EqualColoursAndLimits) {
  EXPECT_TRUE(PXColorWithinDistance(0x123456, 0x123456, 0));
  EXPECT_FALSE(PXColorWithinDistance(0x000001, 0, 0));  // limit 0: only equal colours
  EXPECT_TRUE(PXColorWithinDistance(0x010101, 0, 3));
  EXPECT_FALSE(PXColorWithinDistance(0x010101, 0, 2));
  // Bytes are compared unsigned: 0xFF against 0 is 255, not -1.
  EXPECT_TRUE(PXColorWithinDistance(0xFF, 0, 65025));
  EXPECT_FALSE(PXColorWithinDistance(0xFF, 0, 65024));
  EXPECT_FALSE(PXColorWithinDistance(0xFF0000, 0, 65024));
}

TEST(ColorMatch, ExactDuplicateGoesToTheLowerIndex) {
  std::vector<RGBQUAD> pal(10, Quad(200, 200, 200));
  pal[3] = Quad(10, 20, 30);
  pal[7] = Quad(10, 20, 30);
  CPXColorMatch m;
  m.SetPalette(pal.data(), 10);
  EXPECT_EQ(m.MatchColor(10, 20, 30), 3);
  EXPECT_EQ(m.MatchColorKey(0x1E140A), 3);  // red in the low byte
  // Equal distances (1 away from both 4 and 6): the lower index wins.
  RGBQUAD two[2] = {Quad(4, 0, 0), Quad(6, 0, 0)};
  m.SetPalette(two, 2);
  EXPECT_EQ(m.MatchColor(5, 0, 0), 0);
  EXPECT_EQ(m.MatchColor(6, 0, 0), 1);
}

TEST(ColorMatch, WithoutPaletteOrEntriesTheAnswerIsZero) {
  CPXColorMatch m;
  EXPECT_EQ(m.MatchColor(255, 255, 255), 0);
  m.SetPalette(nullptr, 5);  // nothing copied; still no palette
  EXPECT_EQ(m.MatchColor(255, 255, 255), 0);
  RGBQUAD one = Quad(1, 2, 3);
  m.SetPalette(&one, 0);
  EXPECT_EQ(m.MatchColor(1, 2, 3), 0);
}

TEST(ColorMatch, CacheIsEmptiedWhenTheNextPairWouldExceed255) {
  auto grey = GreyPalette();
  CPXColorMatch m;
  m.SetPalette(grey.data(), 256);
  for (int i = 0; i < 255; ++i) EXPECT_EQ(m.MatchColor(i, i, i), i);
  EXPECT_EQ(m.CacheSize(), 255u);
  EXPECT_EQ(m.MatchColor(7, 7, 7), 7);  // a cached colour adds nothing
  EXPECT_EQ(m.CacheSize(), 255u);
  EXPECT_EQ(m.MatchColor(255, 255, 255), 255);
  EXPECT_EQ(m.CacheSize(), 1u);
  m.SetPalette(grey.data(), 256);
  EXPECT_EQ(m.CacheSize(), 0u);
}

TEST(ColorMatch, AgreesWithAPlainScanOfThePalette) {
  std::mt19937 rng(13);
  for (int round = 0; round < 40; ++round) {
    // Coarse levels give many duplicate entries and equal distances.
    const int levels = round % 2 ? 4 : 256, count = 1 + int(rng() % 256);
    std::vector<RGBQUAD> pal(256);
    auto level = [&] { return BYTE(levels == 256 ? rng() % 256 : rng() % 4 * 85); };
    for (auto& e : pal) e = RGBQUAD{level(), level(), level(), 0};
    CPXColorMatch m;
    m.SetPalette(pal.data(), count);
    for (int i = 0; i < 300; ++i) {
      const int r = int(rng() % 256), g = int(rng() % 256), b = int(rng() % 256);
      ASSERT_EQ(m.MatchColor(r, g, b), pxref::Nearest(pal.data(), count, r, g, b))
          << "round " << round << " colour " << r << "," << g << "," << b;
    }
  }
}

TEST(ColorMatch, CachedAnswerBelongsToThePaletteItWasFoundIn) {
  RGBQUAD a[2] = {Quad(0, 0, 0), Quad(100, 100, 100)};
  RGBQUAD b[2] = {Quad(100, 100, 100), Quad(0, 0, 0)};
  CPXColorMatch m;
  m.SetPalette(a, 2);
  EXPECT_EQ(m.MatchColor(90, 90, 90), 1);
  m.SetPalette(b, 2);
  EXPECT_EQ(m.MatchColor(90, 90, 90), 0);
}

TEST(ColorMatch, OversizedCountIsCappedAtTheTable) {
  std::vector<RGBQUAD> big(300, Quad(1, 1, 1));
  CPXColorMatch m;
  m.SetPalette(big.data(), 300);
  EXPECT_EQ(m.PaletteCount(), 256);
  EXPECT_EQ(m.MatchColor(300, -5, 1), 0);  // out-of-range channels are clamped, not indexed
}

/* ---- Packing ---------------------------------------------------------------------------- */

TEST(Pack, TenBitsInOneStream) {
  const uint8_t values[10] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  ASSERT_TRUE(PXPackBytesTo1Bit(values, 10, 1, 10, out, 1, FALSE, 0));
  EXPECT_EQ(out[0], 0xB2);
  EXPECT_EQ(out[1], 0xC0);
  EXPECT_EQ(out[2], 0xEE);
}

TEST(Pack, RowsFollowEachOtherWithoutAGap) {
  // The second row's values start right after the first row's last bit, also when a whole
  // group of eight could be packed at once.
  const uint8_t values[2][12] = {{1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 9, 9},
                                 {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 9, 9}};
  uint8_t out[3] = {};
  ASSERT_TRUE(PXPackBytesTo1Bit(&values[0][0], 10, 2, 12, out, 1, FALSE, 0));
  EXPECT_EQ(out[0], 0xB2);
  EXPECT_EQ(out[1], 0xC0);
  EXPECT_EQ(out[2], 0x30);
}

TEST(Pack, PerRowStreamsEndInTheirOwnByte) {
  const uint8_t values[2][10] = {{1, 0, 1, 1, 0, 0, 1, 0, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 1}};
  uint8_t out[2][4];
  std::memset(out, 0xEE, sizeof out);
  ASSERT_TRUE(PXPackBytesTo1Bit(&values[0][0], 10, 2, 10, &out[0][0], 1, TRUE, 4));
  EXPECT_EQ(out[0][0], 0xB2);
  EXPECT_EQ(out[0][1], 0xC0);
  EXPECT_EQ(out[0][2], 0xEE);
  EXPECT_EQ(out[1][0], 0xFF);
  EXPECT_EQ(out[1][1], 0x40);
}

TEST(Pack, WiderValuesAreMaskedAndStreamed) {
  const uint8_t values[6] = {3, 0x80, 2, 1, 7, 3};  // 0x80 & 3 = 0, 7 & 3 = 3
  uint8_t out[2] = {};
  ASSERT_TRUE(PXPackBytesTo1Bit(values, 3, 2, 3, out, 2, FALSE, 0));
  EXPECT_EQ(out[0], 0xC9);  // 11 00 10 01
  EXPECT_EQ(out[1], 0xF0);  // 11 11, then zero bits
}

TEST(Pack, BadArguments) {
  uint8_t in[16] = {}, out[16] = {};
  EXPECT_FALSE(PXPackBytesTo1Bit(nullptr, 8, 1, 8, out, 1, TRUE, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXPackBytesTo1Bit(in, 8, 1, 8, out, 0, TRUE, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXPackBytesTo1Bit(in, 8, 1, 8, out, 9, TRUE, 1));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXPackBytesTo1Bit(in, 8, 2, 4, out, 1, TRUE, 1));  // input stride < width
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXPackBytesTo1Bit(in, 9, 2, 9, out, 1, TRUE, 1));  // a 9-bit row needs 2 bytes
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXUnpack1BitToBytes(in, 8, 1, 9, out));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXUnpack1BitToBytes(in, 8, 1, 1, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_TRUE(PXUnpack1BitToBytes(in, 8, 1, 1, out));
  EXPECT_EQ(PXGetLastError(), 0);
}

TEST(Unpack, ValuesOfEveryWidth) {
  const uint8_t packed[2] = {0xB2, 0xC0};
  uint8_t out[10];
  ASSERT_TRUE(PXUnpack1BitToBytes(packed, 10, 1, 1, out));
  const uint8_t bits[10] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
  EXPECT_EQ(0, std::memcmp(out, bits, 10));
  ASSERT_TRUE(PXUnpack1BitToBytes(packed, 3, 1, 4, out));
  EXPECT_EQ(out[0], 0xB);
  EXPECT_EQ(out[1], 0x2);
  EXPECT_EQ(out[2], 0xC);
  // 3-bit values straddle byte boundaries: 101 100 101 100 0...
  ASSERT_TRUE(PXUnpack1BitToBytes(packed, 2, 2, 3, out));
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 4);
  EXPECT_EQ(out[2], 5);
  EXPECT_EQ(out[3], 4);
  ASSERT_TRUE(PXUnpack1BitToBytes(packed, 2, 1, 8, out));
  EXPECT_EQ(out[0], 0xB2);
  EXPECT_EQ(out[1], 0xC0);
}

TEST(Unpack, UndoesPackingAtEveryDepth) {
  std::mt19937 rng(7);
  for (uint32_t bits = 1; bits <= 8; ++bits)
    for (uint32_t width : {1u, 7u, 8u, 9u, 23u, 64u}) {
      const uint32_t rows = 3;
      Bytes values = pxref::Random(rng, width * rows);
      for (auto& v : values) v &= uint8_t((1u << bits) - 1);
      // One stream over all rows.
      Bytes packed(width * rows + 1), back(width * rows);
      ASSERT_TRUE(
          PXPackBytesTo1Bit(values.data(), width, rows, width, packed.data(), bits, FALSE, 0));
      ASSERT_TRUE(PXUnpack1BitToBytes(packed.data(), width, rows, bits, back.data()));
      EXPECT_EQ(back, values) << bits << " bits, width " << width;
      // Row by row, as the application does it.
      const uint32_t stride = (width * bits + 7) / 8 + 2;
      Bytes rowsPacked(stride * rows);
      ASSERT_TRUE(PXPackBytesTo1Bit(values.data(), width, rows, width, rowsPacked.data(), bits,
                                    TRUE, stride));
      for (uint32_t y = 0; y < rows; ++y)
        ASSERT_TRUE(PXUnpack1BitToBytes(&rowsPacked[y * stride], width, 1, bits, &back[y * width]));
      EXPECT_EQ(back, values) << bits << " bits, width " << width << ", per row";
    }
}

/* ---- Threshold to 1 bit ----------------------------------------------------------------- */

TEST(Threshold, MidGreyAtThreshold128) {
  const uint8_t rgb[6] = {128, 128, 128, 129, 128, 128};
  uint8_t out = 0xFF;
  ASSERT_TRUE(PXThresholdTo1Bit(rgb, 2, 1, 6, 24, nullptr, &out, 1, 128));
  EXPECT_EQ(out, 0x80);  // first pixel black (1), second white, pad bits 0
}

TEST(Threshold, ZeroLeavesOnlyPureBlack) {
  const uint8_t rgb[9] = {0, 0, 0, 0, 0, 1, 1, 0, 0};
  uint8_t out = 0;
  ASSERT_TRUE(PXThresholdTo1Bit(rgb, 3, 1, 9, 24, nullptr, &out, 1, 0));
  EXPECT_EQ(out, 0x80);
  // Beyond 255 every colour is within the distance.
  ASSERT_TRUE(PXThresholdTo1Bit(rgb, 3, 1, 9, 24, nullptr, &out, 1, 70000));
  EXPECT_EQ(out, 0xE0);
}

TEST(Threshold, CheckerboardTo1Bit) {
  const uint32_t w = 10, h = 2, stride = 3;
  Bytes rgb(w * h * 3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      if ((x + y) % 2) std::memset(&rgb[(y * w + x) * 3], 255, 3);
  Bytes out(h * stride, 0xEE);
  ASSERT_TRUE(PXThresholdTo1Bit(rgb.data(), w, h, w * 3, 24, nullptr, out.data(), stride, 128));
  EXPECT_EQ(out, (Bytes{0xAA, 0x80, 0xEE, 0x55, 0x40, 0xEE}));
}

TEST(Threshold, IndexedPixelsUseTheirPaletteColour) {
  std::vector<RGBQUAD> pal(256, Quad(255, 255, 255));
  pal[1] = Quad(0, 0, 0);
  pal[2] = Quad(100, 100, 100);
  pal[3] = Quad(255, 0, 0);  // 255^2 <= 3 * 150^2
  const uint8_t idx[9] = {0, 1, 2, 3, 0, 0, 0, 0, 1};
  uint8_t out[2] = {};
  ASSERT_TRUE(PXThresholdTo1Bit(idx, 9, 1, 9, 8, pal.data(), out, 2, 150));
  EXPECT_EQ(out[0], 0x70);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_FALSE(PXThresholdTo1Bit(idx, 9, 1, 9, 8, nullptr, out, 2, 150));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(Threshold, MatchesTheDistanceTestOnRandomImages) {
  std::mt19937 rng(11);
  for (uint32_t w : {1u, 8u, 13u, 40u}) {
    const uint32_t h = 5, stride = (w + 7) / 8 + 1;
    Bytes rgb = pxref::Random(rng, w * h * 3);
    for (uint32_t t : {0u, 1u, 60u, 128u, 255u}) {
      Bytes out(h * stride, 0xEE), want(h * stride, 0xEE);
      for (uint32_t y = 0; y < h; ++y) {
        Bytes values(w);
        for (uint32_t x = 0; x < w; ++x) {
          const uint8_t* p = &rgb[(y * w + x) * 3];
          values[x] = PXColorWithinDistance(p[0] | p[1] << 8 | p[2] << 16, 0, 3 * t * t);
        }
        ASSERT_TRUE(PXPackBytesTo1Bit(values.data(), w, 1, w, &want[y * stride], 1, TRUE, 0));
      }
      ASSERT_TRUE(PXThresholdTo1Bit(rgb.data(), w, h, w * 3, 24, nullptr, out.data(), stride, t));
      EXPECT_EQ(out, want) << "width " << w << ", threshold " << t;
    }
  }
}

/* ---- Palette to RGB --------------------------------------------------------------------- */

TEST(PaletteToRGB, ChannelOrderAndStrides) {
  std::vector<RGBQUAD> pal(256);
  pal[0] = Quad(1, 2, 3);
  pal[200] = Quad(10, 20, 30);
  const uint8_t idx[4] = {200, 0, 9, 9};  // 2 x 1 with an input stride of 3
  uint8_t out[8];
  std::memset(out, 0xEE, sizeof out);
  ASSERT_TRUE(PXPaletteToRGB(idx, 2, 1, 3, out, 7, 2, pal.data(), 0));
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{10, 20, 30, 1, 2, 3, 0xEE, 0xEE}));
  ASSERT_TRUE(PXPaletteToRGB(idx, 2, 1, 3, out, 7, 2, pal.data(), PX_FLAG_BGR));
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{30, 20, 10, 3, 2, 1}));
  EXPECT_FALSE(PXPaletteToRGB(idx, 2, 1, 3, out, 5, 2, pal.data(), 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

/* ---- Palette building and mapping ------------------------------------------------------- */

// Appends n pixels of one colour.
void AddPixels(Bytes& rgb, int n, uint8_t c0, uint8_t c1, uint8_t c2) {
  for (int i = 0; i < n; ++i) {
    rgb.push_back(c0);
    rgb.push_back(c1);
    rgb.push_back(c2);
  }
}

uint32_t Leaf(const uint8_t* c) {
  uint32_t leaf = 0;
  for (int j = 0; j < 5; ++j)
    for (int ch = 0; ch < 3; ++ch)
      if (c[ch] & (0x80 >> j)) leaf |= 1u << (14 - 3 * j - ch);
  return leaf;
}

TEST(Quantize, ThreeColoursComeBackExactlyInTreeOrder) {
  const Bytes rgb = {10, 200, 30,  200, 10,  30, 30,  30, 200,  // row 0
                     30, 30,  200, 10,  200, 30, 200, 10, 30};
  std::vector<RGBQUAD> pal(256, RGBQUAD{9, 9, 9, 77});
  Bytes idx(6, 0xEE);
  ASSERT_TRUE(
      PXQuantizeRGBToPalette(rgb.data(), 3, 2, 9, idx.data(), 3, 3, pal.data(), TRUE, 20, 0));
  // Larger leaf index first: the top bit of channel 0 decides first, then channel 1.
  EXPECT_EQ(pal[0].rgbRed, 200);
  EXPECT_EQ(pal[0].rgbGreen, 10);
  EXPECT_EQ(pal[0].rgbBlue, 30);
  EXPECT_EQ(pal[1].rgbRed, 10);
  EXPECT_EQ(pal[1].rgbGreen, 200);
  EXPECT_EQ(pal[2].rgbBlue, 200);
  EXPECT_EQ(pal[3].rgbRed, 0);        // beyond the colours made: black
  EXPECT_EQ(pal[3].rgbReserved, 77);  // reserved bytes are not written
  EXPECT_EQ(idx, (Bytes{1, 0, 2, 2, 1, 0}));
}

TEST(Quantize, TenColoursInTenCellsGiveExactlyThoseColours) {
  std::mt19937 rng(3);
  Bytes colours;
  std::map<uint32_t, int> leaves;
  while (leaves.size() < 10) {
    Bytes c = pxref::Random(rng, 3);
    c[0] |= 0x20;  // keep them away from black
    if (leaves.count(Leaf(c.data()))) continue;
    leaves[Leaf(c.data())] = int(colours.size() / 3);
    colours.insert(colours.end(), c.begin(), c.end());
  }
  // 4 x 5 pixels, every colour twice.
  Bytes rgb;
  for (int i = 0; i < 20; ++i)
    rgb.insert(rgb.end(), &colours[(i % 10) * 3], &colours[(i % 10) * 3 + 3]);
  std::vector<RGBQUAD> pal(256, Quad(1, 1, 1));
  Bytes idx(20);
  ASSERT_TRUE(
      PXQuantizeRGBToPalette(rgb.data(), 4, 5, 12, idx.data(), 4, 256, pal.data(), TRUE, 20, 0));
  int entry = 0;
  for (auto it = leaves.rbegin(); it != leaves.rend(); ++it, ++entry) {
    const uint8_t* c = &colours[size_t(it->second) * 3];
    EXPECT_EQ(pal[size_t(entry)].rgbRed, c[0]) << entry;
    EXPECT_EQ(pal[size_t(entry)].rgbGreen, c[1]) << entry;
    EXPECT_EQ(pal[size_t(entry)].rgbBlue, c[2]) << entry;
  }
  for (size_t i = 10; i < 256; ++i)
    ASSERT_TRUE(pal[i].rgbRed == 0 && pal[i].rgbGreen == 0 && pal[i].rgbBlue == 0) << i;
  for (int i = 0; i < 20; ++i) {
    const RGBQUAD& e = pal[idx[size_t(i)]];
    const uint8_t* c = &colours[size_t(i % 10) * 3];
    EXPECT_TRUE(e.rgbRed == c[0] && e.rgbGreen == c[1] && e.rgbBlue == c[2]) << i;
  }
}

TEST(Quantize, ColoursOfOneCellBecomeTheirWeightedMean) {
  Bytes rgb;
  AddPixels(rgb, 3, 100, 100, 100);
  AddPixels(rgb, 1, 103, 101, 102);
  std::vector<RGBQUAD> pal(256);
  EXPECT_EQ(PXBuildPalette(rgb.data(), 4, 1, 12, 256, pal.data(), 0), 1);
  EXPECT_EQ(pal[0].rgbRed, 101);  // (300 + 103 + 2) / 4
  EXPECT_EQ(pal[0].rgbGreen, 100);
  EXPECT_EQ(pal[0].rgbBlue, 101);
}

TEST(Quantize, LeastPopulatedNodesMergeFirst) {
  // Five black, four white and one light grey pixel reduced to 2 colours: the grey leaf joins
  // its parent, then the white leaf joins that parent too.
  Bytes rgb;
  AddPixels(rgb, 5, 0, 0, 0);
  AddPixels(rgb, 4, 255, 255, 255);
  AddPixels(rgb, 1, 240, 240, 240);
  std::vector<RGBQUAD> pal(256);
  Bytes idx(10);
  ASSERT_TRUE(
      PXQuantizeRGBToPalette(rgb.data(), 10, 1, 30, idx.data(), 10, 2, pal.data(), TRUE, 20, 0));
  EXPECT_EQ(pal[0].rgbRed, 252);  // (4 * 255 + 240 + 2) / 5
  EXPECT_EQ(pal[0].rgbBlue, 252);
  EXPECT_EQ(pal[1].rgbRed, 0);
  EXPECT_EQ(idx, (Bytes{1, 1, 1, 1, 1, 0, 0, 0, 0, 0}));
}

TEST(Quantize, OneColourWantedIsTheMeanOfAll) {
  const Bytes rgb = {0, 0, 0, 255, 255, 255};
  for (int wanted : {-3, 0, 1}) {
    std::vector<RGBQUAD> pal(256);
    Bytes idx(2, 9);
    ASSERT_TRUE(PXQuantizeRGBToPalette(rgb.data(), 2, 1, 6, idx.data(), 2, wanted, pal.data(), TRUE,
                                       20, 0));
    EXPECT_EQ(pal[0].rgbRed, 128) << wanted;
    EXPECT_EQ(idx, (Bytes{0, 0})) << wanted;
  }
}

TEST(Quantize, BlueFirstInputSwapsThePalette) {
  const Bytes bgr = {30, 20, 10};
  std::vector<RGBQUAD> pal(256);
  Bytes idx(1);
  ASSERT_TRUE(PXQuantizeRGBToPalette(bgr.data(), 1, 1, 3, idx.data(), 1, 256, pal.data(), TRUE, 20,
                                     PX_FLAG_BGR));
  EXPECT_EQ(pal[0].rgbRed, 10);
  EXPECT_EQ(pal[0].rgbBlue, 30);
  // Four bytes per pixel, the fourth ignored.
  const Bytes rgba = {10, 20, 30, 99, 10, 20, 30, 0};
  Bytes two(2);
  ASSERT_TRUE(PXQuantizeRGBToPalette(rgba.data(), 2, 1, 8, two.data(), 2, 256, pal.data(), TRUE, 20,
                                     PX_FLAG_4BYTE_INPUT));
  EXPECT_EQ(pal[0].rgbRed, 10);
  EXPECT_EQ(pal[0].rgbBlue, 30);
  EXPECT_EQ(pal[1].rgbRed, 0);
  EXPECT_EQ(two, (Bytes{0, 0}));
}

TEST(Quantize, TooManyPixelsAreRefusedBeforeAnythingIsRead) {
  const uint8_t tiny[3] = {};
  RGBQUAD pal[256];
  uint8_t idx[1];
  EXPECT_FALSE(PXQuantizeRGBToPalette(tiny, 16777217, 1, 16777217u * 3, idx, 16777217, 256, pal,
                                      TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(
      PXQuantizeRGBToPalette(tiny, 4097, 4096, 4097 * 3, idx, 4097, 256, pal, TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXBuildPalette(tiny, 16777217, 1, 16777217u * 3, 256, pal, 0), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXQuantizeRGBToPalette(nullptr, 1, 1, 3, idx, 1, 256, pal, TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXQuantizeRGBToPalette(tiny, 1, 1, 2, idx, 1, 256, pal, TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(Quantize, SameInputGivesTheSamePaletteAndIndices) {
  std::mt19937 rng(5);
  const uint32_t w = 61, h = 37;
  Bytes rgb = pxref::Random(rng, w * h * 3);
  std::vector<RGBQUAD> p1(256), p2(256);
  Bytes i1(w * h), i2(w * h);
  ASSERT_TRUE(
      PXQuantizeRGBToPalette(rgb.data(), w, h, w * 3, i1.data(), w, 200, p1.data(), TRUE, 20, 0));
  ASSERT_TRUE(
      PXQuantizeRGBToPalette(rgb.data(), w, h, w * 3, i2.data(), w, 200, p2.data(), TRUE, 20, 0));
  EXPECT_EQ(0, std::memcmp(p1.data(), p2.data(), 1024));
  EXPECT_EQ(i1, i2);
  // The builder makes at most the colours wanted, and the quantiser maps against them.
  std::vector<RGBQUAD> p3(256);
  EXPECT_LE(PXBuildPalette(rgb.data(), w, h, w * 3, 200, p3.data(), 0), 200);
  EXPECT_EQ(0, std::memcmp(p1.data(), p3.data(), 1024));
  EXPECT_EQ(pxref::MapToPalette(rgb, w, h, w * 3, p1.data(), 200, true, 20), i1);
}

TEST(Quantize, BuilderReportsFourStagesOnlyWhenOutermost) {
  const Bytes rgb = {1, 2, 3, 200, 5, 6};
  std::vector<RGBQUAD> pal(256);
  {
    pxref::ProgressRecorder progress;
    EXPECT_EQ(PXBuildPalette(rgb.data(), 2, 1, 6, 256, pal.data(), 0), 2);
    EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
  }
  {
    pxref::ProgressRecorder progress;
    Bytes idx(2);
    ASSERT_TRUE(
        PXQuantizeRGBToPalette(rgb.data(), 1, 2, 3, idx.data(), 1, 256, pal.data(), TRUE, 20, 0));
    EXPECT_EQ(progress.calls, (std::vector<std::pair<UINT, UINT>>{{0, 2}, {1, 2}}));
  }
  {
    pxref::ProgressRecorder progress(2);
    EXPECT_EQ(PXBuildPalette(rgb.data(), 2, 1, 6, 256, pal.data(), 0), 0);
    EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
  }
}

TEST(MapToPalette, MatchesTheStepByStepMapperOnRandomImages) {
  std::mt19937 rng(9);
  for (int round = 0; round < 12; ++round) {
    const uint32_t w = 1 + rng() % 40, h = 1 + rng() % 20, stride = w * 3 + rng() % 4;
    Bytes rgb = pxref::Random(rng, h * stride, round % 3 ? 256 : 5);
    const int count = 1 + int(rng() % 256);
    std::vector<RGBQUAD> pal(256);
    for (auto& e : pal) e = Quad(int(rng() % 256), int(rng() % 256), int(rng() % 256));
    const bool dither = round % 2;
    const int limit = round % 4 == 3 ? 255 : 20;
    Bytes idx(w * h + 5, 0xEE);
    ASSERT_TRUE(PXMapRGBToPalette(rgb.data(), w, h, stride, idx.data(), w, uint32_t(count),
                                  pal.data(), dither, limit, 0));
    idx.resize(w * h);
    EXPECT_EQ(idx, pxref::MapToPalette(rgb, w, h, stride, pal.data(), count, dither, limit))
        << "round " << round;
  }
}

TEST(MapToPalette, UnusedBlackEntriesTakeDarkPixels) {
  // Ten bright colours followed by black entries: a dark pixel goes to the first black one.
  std::vector<RGBQUAD> pal(256);
  for (int i = 0; i < 10; ++i) pal[size_t(i)] = Quad(150 + i * 10, 200, 200);
  const Bytes rgb = {150, 200, 200, 12, 10, 8};
  Bytes idx(2);
  ASSERT_TRUE(PXMapRGBToPalette(rgb.data(), 2, 1, 6, idx.data(), 2, 256, pal.data(), TRUE, 20, 0));
  EXPECT_EQ(idx, (Bytes{0, 10}));
  EXPECT_FALSE(PXMapRGBToPalette(rgb.data(), 2, 1, 6, idx.data(), 2, 0, pal.data(), TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_FALSE(PXMapRGBToPalette(rgb.data(), 2, 1, 6, idx.data(), 2, 257, pal.data(), TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(MapToPalette, StopsWhenTheCallbackSaysSo) {
  const Bytes rgb(4 * 3 * 3, 100);
  std::vector<RGBQUAD> pal(256);
  Bytes idx(12, 0xEE);
  pxref::ProgressRecorder progress(2);
  EXPECT_FALSE(PXMapRGBToPalette(rgb.data(), 4, 3, 12, idx.data(), 4, 1, pal.data(), TRUE, 20, 0));
  EXPECT_EQ(PXGetLastError(), PX_ERR_ABORTED);
  EXPECT_EQ(idx[7], 0);     // rows 0 and 1 were mapped
  EXPECT_EQ(idx[8], 0xEE);  // row 2 was not
}

}  // namespace
