// Photoshop reader: every colour mode and depth of the merged image, raw and run-length,
// palettes and resolution, and files that lie about their sizes.
#include <cstring>

#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/pixolith.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::BuildPSD;
using pxtest::MemorySource;
using pxtest::PSDFile;

std::vector<uint8_t> Plane(uint32_t w, uint32_t h, int seed) {
  std::vector<uint8_t> p(size_t(w) * h);
  for (size_t i = 0; i < p.size(); ++i)
    p[i] = uint8_t((i / 3 % 4 == 0) ? seed * 30 : (i * 17 + size_t(seed) * 61) & 0xFF);
  return p;
}

PSDFile RGBFile(uint32_t w, uint32_t h, uint16_t channels = 3, uint16_t compression = 1) {
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = channels;
  psd.compression = compression;
  psd.layers = std::vector<uint8_t>(37, 0xCC);  // skipped by its length
  for (int c = 0; c < channels; ++c) psd.planes.push_back(Plane(w, h, c + 1));
  return psd;
}

struct Read {
  BlockGuard block;
  uint32_t width = 0;
  uint32_t height = 0;
  RGBQUAD palette[256];
  int error = -1;
  std::vector<uint8_t> bytes(size_t n) const {
    return block.block ? std::vector<uint8_t>(block.bytes(), block.bytes() + n)
                       : std::vector<uint8_t>();
  }
};

void ReadPSD(const std::vector<uint8_t>& file, int depth, Read& r, DWORD flags = 0) {
  MemorySource src(file);
  std::memset(r.palette, 0xEE, sizeof r.palette);
  r.block.reset(PXReadPSD(src, &r.width, &r.height, depth, r.palette, flags));
  r.error = PXGetLastError();
}

TEST(PSDReader, RGBRawAndRunLengthAt24And32) {
  const uint32_t w = 7, h = 5;
  for (uint16_t compression : {0, 1}) {
    for (uint16_t channels : {3, 4}) {
      PSDFile psd = RGBFile(w, h, channels, compression);
      auto file = BuildPSD(psd);
      Read r;
      ReadPSD(file, 24, r);
      ASSERT_EQ(r.error, 0);
      EXPECT_EQ(r.width, w);
      EXPECT_EQ(r.height, h);
      auto px = r.bytes(w * h * 3);
      for (size_t i = 0; i < w * h; ++i)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(px[3 * i + c], psd.planes[c][i]) << i;

      ReadPSD(file, 32, r);
      ASSERT_EQ(r.error, 0);
      px = r.bytes(w * h * 4);
      for (size_t i = 0; i < w * h; ++i) {
        ASSERT_EQ(px[4 * i + 1], psd.planes[1][i]);
        ASSERT_EQ(px[4 * i + 3], channels == 4 ? psd.planes[3][i] : 255) << i;
      }
      ReadPSD(file, 8, r);
      EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
      EXPECT_EQ(r.block.block, nullptr);
    }
  }
}

TEST(PSDReader, SixteenBitSamplesKeepTheirHighByte) {
  const uint32_t w = 3, h = 2;
  PSDFile psd = RGBFile(w, h, 3, 0);
  psd.depth = 16;
  for (auto& plane : psd.planes) {
    std::vector<uint8_t> wide;
    for (uint8_t v : plane) wide.insert(wide.end(), {v, uint8_t(255 - v)});
    plane = wide;
  }
  Read r;
  ReadPSD(BuildPSD(psd), 24, r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3)[0], psd.planes[0][0]);
  EXPECT_EQ(r.bytes(18)[3 * 5 + 2], psd.planes[2][10]);
  // Run-length rows of 16-bit samples are not read.
  psd.compression = 1;
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_PSD_SUBFORMAT);
}

TEST(PSDReader, GreyscaleAtDepth8And24) {
  const uint32_t w = 9, h = 4;
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 2;  // with an alpha channel, which the index plane ignores
  psd.mode = 1;
  psd.planes = {Plane(w, h, 3), Plane(w, h, 4)};
  auto file = BuildPSD(psd);
  Read r;
  ReadPSD(file, 8, r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(w * h), psd.planes[0]);
  EXPECT_EQ(r.palette[200].rgbRed, 200);
  EXPECT_EQ(r.palette[200].rgbBlue, 200);
  ReadPSD(file, 24, r);
  ASSERT_EQ(r.error, 0);
  auto px = r.bytes(w * h * 3);
  for (size_t i = 0; i < w * h; ++i) {
    ASSERT_EQ(px[3 * i], psd.planes[0][i]);
    ASSERT_EQ(px[3 * i + 1], psd.planes[0][i]);
    ASSERT_EQ(px[3 * i + 2], psd.planes[0][i]);
  }
}

TEST(PSDReader, IndexedColoursComeFromTheColourModeData) {
  const uint32_t w = 4, h = 3;
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 1;
  psd.mode = 2;
  psd.compression = 0;
  for (int plane = 0; plane < 3; ++plane)
    for (int i = 0; i < 256; ++i) psd.colorModeData.push_back(uint8_t(i * (plane + 1)));
  psd.planes = {{0, 1, 2, 3, 10, 20, 30, 40, 255, 254, 128, 7}};
  auto file = BuildPSD(psd);
  Read r;
  ReadPSD(file, 8, r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(12), psd.planes[0]);
  EXPECT_EQ(r.palette[10].rgbRed, 10);
  EXPECT_EQ(r.palette[10].rgbGreen, 20);
  EXPECT_EQ(r.palette[10].rgbBlue, 30);

  MemorySource src(file);
  uint32_t count = 0;
  RGBQUAD pal[256];
  ASSERT_TRUE(PXGetPSDPalette(src, &count, pal));
  EXPECT_EQ(count, 256u);
  EXPECT_EQ(pal[100].rgbGreen, 200);

  ReadPSD(file, 24, r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(15)[12], 10);  // pixel 4 (index 10): red 10, green 20, blue 30
  EXPECT_EQ(r.bytes(15)[14], 30);
}

TEST(PSDReader, BitmapRowsOfOddWidth) {
  // 10 pixels: two bytes per stored row, the last 6 bits padding. A set bit is black.
  const uint32_t w = 10, h = 2;
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 1;
  psd.depth = 1;
  psd.mode = 0;
  psd.planes = {{0xA5, 0xC0, 0x0F, 0x7F}};
  const std::vector<uint8_t> expected = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1,
                                         0, 0, 0, 0, 1, 1, 1, 1, 0, 1};
  for (uint16_t compression : {0, 1}) {
    psd.compression = compression;
    auto file = BuildPSD(psd);
    Read r;
    ReadPSD(file, 8, r);
    ASSERT_EQ(r.error, 0);
    EXPECT_EQ(r.bytes(w * h), expected);
    EXPECT_EQ(r.palette[0].rgbRed, 255);
    EXPECT_EQ(r.palette[1].rgbRed, 0);
    ReadPSD(file, 24, r);
    ASSERT_EQ(r.error, 0);
    auto px = r.bytes(w * h * 3);
    for (size_t i = 0; i < w * h; ++i) ASSERT_EQ(px[3 * i + 1], expected[i] ? 0 : 255) << i;
  }
}

TEST(PSDReader, CMYKStoredInvertedBecomesRGB) {
  const uint32_t w = 3, h = 1;
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 4;
  psd.mode = 4;
  // No ink, full black, and a mixture.
  psd.planes = {{255, 255, 200}, {255, 255, 100}, {255, 255, 50}, {255, 0, 128}};
  auto file = BuildPSD(psd);
  Read r;
  ReadPSD(file, 24, r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(9), (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 200 * 128 / 255,
                                              100 * 128 / 255, 50 * 128 / 255}));
  ReadPSD(file, 32, r, 4);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(12),
            (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 0, 200, 100, 50, 128}));
  ReadPSD(file, 8, r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
}

TEST(PSDReader, PackedDIBInTheFilesOwnDepth) {
  PSDFile psd = RGBFile(5, 2);
  Read r;
  ReadPSD(BuildPSD(psd), 8, r, 2);  // the depth is ignored
  ASSERT_EQ(r.error, 0);
  const auto* hdr = reinterpret_cast<const BITMAPINFOHEADER*>(r.block.bytes());
  EXPECT_EQ(hdr->biBitCount, 24);
  EXPECT_EQ(GlobalSize(r.block.block), 40u + 2 * 16);
  const uint8_t* bottom = r.block.bytes() + 40;
  EXPECT_EQ(bottom[0], psd.planes[2][5]);  // blue of the first pixel of the last row
  EXPECT_EQ(bottom[2], psd.planes[0][5]);
  EXPECT_EQ(bottom[16 + 1], psd.planes[1][0]);
}

TEST(PSDReader, ModesAndVersionsRefused) {
  PSDFile psd = RGBFile(2, 2);
  Read r;
  psd.version = 2;
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
  psd.version = 1;
  psd.mode = 9;  // Lab
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_PSD_SUBFORMAT);
  ReadPSD(BuildPSD(psd), 8, r);
  EXPECT_EQ(r.error, PX_ERR_PSD_SUBFORMAT);
  psd.mode = 7;  // multichannel
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_PSD_SUBFORMAT);
  psd.mode = 3;
  for (uint16_t depth : {2, 4, 32}) {  // there are no 4-bit Photoshop channels
    psd.depth = depth;
    ReadPSD(BuildPSD(psd), 24, r);
    EXPECT_EQ(r.error, PX_ERR_PSD_SUBFORMAT) << depth;
  }
  psd.depth = 8;
  psd.compression = 2;  // zip
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ReadPSD(pxtest::Bytes().str("8BPX").fill(40), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
  ReadPSD(pxtest::Bytes().str("8BPS").be16(1), 24, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ReadPSD(BuildPSD(RGBFile(2, 2)), 16, r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);

  const auto rgb = BuildPSD(RGBFile(2, 2));
  MemorySource src(rgb);
  uint32_t count;
  RGBQUAD pal[256];
  EXPECT_FALSE(PXGetPSDPalette(src, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BIT_DEPTH);
  EXPECT_FALSE(PXGetPSDPalette(src, &count, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

// The channels a mode needs are counted at the image data: a file cut short before it
// reports the short read.
TEST(PSDReader, TooFewChannelsAreJudgedAtTheImageData) {
  PSDFile one = RGBFile(2, 2, 1);
  Read r;
  ReadPSD(BuildPSD(one), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
  ReadPSD(pxtest::Bytes().str("8BPS").be16(1).fill(6).be16(1).be32(2).be32(2).be16(8).be16(3), 24,
          r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
}

TEST(PSDReader, DimensionsAndResolution) {
  PSDFile psd = RGBFile(6, 4);
  psd.resources =
      std::vector<uint8_t>{'8', 'B', 'I', 'M', 0x04, 0x04, 3, 'a', 'b', 'c', 0, 0, 0, 1, 9, 0};
  auto res = pxtest::PSDResolutionResource(72, 1, 72, 1);
  psd.resources.insert(psd.resources.end(), res.begin(), res.end());
  auto file = BuildPSD(psd);
  MemorySource src(file);
  uint32_t w = 0, h = 0;
  int mode = -1;
  PXResolution r = {};
  ASSERT_TRUE(PXGetPSDDimensions(src, &w, &h, &mode, &r));
  EXPECT_EQ(w, 6u);
  EXPECT_EQ(h, 4u);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(r.x, 72u);
  EXPECT_EQ(r.y, 72u);
  EXPECT_EQ(r.unit, 1u);

  // Both values are stored per inch whatever unit is shown: a vertical unit of
  // centimetres does not change the number.
  psd.resources = pxtest::PSDResolutionResource(300, 1, 200, 2);
  auto mixed = BuildPSD(psd);
  MemorySource src2(mixed);
  ASSERT_TRUE(PXGetPSDDimensions(src2, &w, &h, &mode, &r));
  EXPECT_EQ(r.x, 300u);
  EXPECT_EQ(r.y, 200u);
  EXPECT_EQ(r.unit, 1u);

  psd.resources.clear();
  auto none = BuildPSD(psd);
  MemorySource src3(none);
  r = {5, 5, 5};
  ASSERT_TRUE(PXGetPSDDimensions(src3, &w, &h, &mode, &r));
  EXPECT_EQ(r.x, 0u);
  EXPECT_EQ(r.unit, 0u);
  EXPECT_FALSE(PXGetPSDDimensions(src3, &w, &h, nullptr, &r));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(PSDReader, RunLengthRowsThatOverrunOrRunOut) {
  const uint32_t w = 6, h = 3;
  PSDFile psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 1;
  psd.mode = 1;
  psd.compression = 0;  // written by hand below
  auto file = BuildPSD(psd);
  // Count table, then rows: a literal of 8 bytes for a 6-byte row (cut at the row's
  // end), a run of 100 (cut), and a row whose data ends after 2 of its 6 bytes.
  const std::vector<std::vector<uint8_t>> rows = {
      {7, 1, 2, 3, 4, 5, 6, 7, 8}, {0x9D, 9}, {0x01, 4, 4}};
  file.back() = 1;  // compression word: run-length
  for (const auto& row : rows) file.insert(file.end(), {0, uint8_t(row.size())});
  for (const auto& row : rows) file.insert(file.end(), row.begin(), row.end());
  Read r;
  ReadPSD(file, 8, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ASSERT_NE(r.block.block, nullptr);  // the rows before the broken one
  EXPECT_EQ(r.bytes(18),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 9, 9, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0}));
}

TEST(PSDReader, SectionsAndTablesBeyondTheEndOfTheFile) {
  Read r;
  // A layer section longer than the file.
  PSDFile psd = RGBFile(4, 4);
  auto file = BuildPSD(psd);
  auto layers = file;
  const size_t layerLength = 26 + 4 + 4;
  layers[layerLength] = 0x7F;
  ReadPSD(layers, 24, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.block.block, nullptr);
  // A count table cut short: nothing is allocated for the image.
  auto cut = file;
  cut.resize(26 + 12 + 37 + 2 + 10);
  ReadPSD(cut, 24, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.block.block, nullptr);
  // Raw data cut short: the rows read so far come back.
  psd.compression = 0;
  auto raw = BuildPSD(psd);
  raw.erase(raw.end() - 20, raw.end());
  ReadPSD(raw, 24, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_NE(r.block.block, nullptr);
  // Fewer channels than the mode needs.
  psd = RGBFile(4, 4, 2);
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
  // No pixels or no channels.
  psd = RGBFile(0, 4);
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
  psd = RGBFile(4, 4, 0);
  ReadPSD(BuildPSD(psd), 24, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PSD);
}

TEST(PSDReader, ImpossibleSizesAreRefusedBeforeAllocating) {
  for (uint32_t side : {60000u, 20000u, 0x40000000u}) {
    for (uint16_t compression : {0, 1}) {
      PSDFile psd = RGBFile(1, 1, 3, compression);
      auto file = BuildPSD(psd);
      for (int i = 0; i < 4; ++i) {
        file[14 + i] = uint8_t(side >> (24 - 8 * i));
        file[18 + i] = uint8_t(side >> (24 - 8 * i));
      }
      Read r;
      ReadPSD(file, 24, r);
      EXPECT_NE(r.error, 0) << side << " " << compression;
      EXPECT_TRUE(r.error == PX_ERR_NO_MEMORY || r.error == PX_ERR_FILE_READ) << r.error;
      EXPECT_EQ(r.block.block, nullptr);
    }
  }
}

TEST(PSDReader, ProgressAbortKeepsTheRowsSoFar) {
  PXSetProgressCallback([](UINT current, UINT, DWORD_PTR) -> BOOL { return current < 2; }, 0);
  Read r;
  ReadPSD(BuildPSD(RGBFile(4, 6)), 24, r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_NE(r.block.block, nullptr);
}

TEST(PSDReader, GreyscaleAt32CarriesItsSecondChannelAsAlpha) {
  const uint32_t w = 5, h = 3;
  for (uint16_t channels : {1, 2}) {
    PSDFile psd = RGBFile(w, h, channels);
    psd.mode = PX_PSD_GRAYSCALE;
    Read r;
    ReadPSD(BuildPSD(psd), 32, r);
    ASSERT_EQ(r.error, 0);
    const auto px = r.bytes(w * h * 4);
    for (size_t i = 0; i < w * h; ++i) {
      ASSERT_EQ(px[4 * i], psd.planes[0][i]) << i;
      ASSERT_EQ(px[4 * i + 2], psd.planes[0][i]) << i;
      ASSERT_EQ(px[4 * i + 3], channels == 2 ? psd.planes[1][i] : 255) << i;
    }
  }
}

}  // namespace
