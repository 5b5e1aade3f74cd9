// PXWritePNG: the chunks and pixels of written files, checked with libpng and by
// walking the chunk list.
#include <zlib.h>

#include <vector>

#include "core/operation.h"
#include "core/thread_state.h"
#include "pixolith/px_png.h"
#include "png_test_support.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using pxtest::ChunkTypes;
using pxtest::PngImage;

struct Written {
  uint32_t result = 0;
  int error = -1;
  std::vector<uint8_t> bytes;
};

struct Args {
  std::vector<uint8_t> pixels;
  uint32_t width = 4, height = 3, stride = 12;
  int bitDepth = 8, colorType = 2, paletteCount = 0;
  std::vector<RGBQUAD> palette;
  double gamma = 0;
  const PXResolution* resolution = nullptr;
  uint32_t flags = PX_PNG_WRITE_NO_TIME;
};

Written Write(const Args& a) {
  pxtest::TempDir dir;
  std::string path = dir.File("out.png");
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  Written w;
  w.result =
      PXWritePNG(sink, a.pixels.empty() ? nullptr : a.pixels.data(), a.width, a.height, a.stride,
                 a.bitDepth, a.paletteCount, a.palette.empty() ? nullptr : a.palette.data(),
                 a.colorType, a.gamma, a.resolution, a.flags);
  w.error = PXGetLastError();
  PXCloseSink(sink);
  w.bytes = pxtest::ReadFile(path);
  return w;
}

Args Rgb(uint32_t width, uint32_t height) {
  Args a;
  a.width = width;
  a.height = height;
  a.stride = width * 3;
  a.pixels = pxtest::PatternBytes(size_t(a.stride) * height, width + height);
  return a;
}

Args Palette8(int colors) {
  Args a;
  a.colorType = 3;
  a.stride = a.width;
  a.paletteCount = colors;
  for (int i = 0; i < colors; ++i)
    a.palette.push_back({BYTE(i), BYTE(2 * i), BYTE(3 * i), BYTE(255 - i)});
  a.pixels = pxtest::PatternBytes(a.stride * a.height, 7);
  for (uint8_t& p : a.pixels) p %= colors;
  return a;
}

struct ClearTexts : testing::Test {
  void SetUp() override { PXClearPNGTextChunks(); }
  void TearDown() override {
    PXClearPNGTextChunks();
    PXThreadState& s = *px::GetThreadState();
    s.png.writeBackground = {};
    s.png.writeTransparentValid = false;
    s.iccProfile.clear();
  }
};

using PngWriter = ClearTexts;

TEST_F(PngWriter, CacheImageIsInterlacedRgbWithGammaResolutionAndTime) {
  Args a = Rgb(33, 17);
  PXResolution res = {2835, 2835, 1};
  a.gamma = 0.345;
  a.resolution = &res;
  a.flags = PX_PNG_WRITE_INTERLACE;
  Written w = Write(a);
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(w.result, w.bytes.size());
  EXPECT_EQ(ChunkTypes(w.bytes), "IHDR gAMA pHYs tIME IDAT IEND");
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(w.bytes, &png));
  EXPECT_TRUE(png.interlaced);
  EXPECT_EQ(png.colorType, 2);
  EXPECT_EQ(png.gammaFixed, 34500);
  EXPECT_EQ(png.physical, (std::vector<uint32_t>{2835, 2835, 1}));
  EXPECT_TRUE(png.hasTime);
  EXPECT_EQ(png.rows, a.pixels);
}

TEST_F(PngWriter, OptionalChunksFollowTheArguments) {
  Written w = Write(Rgb(2, 2));  // no time, gamma 0, no resolution
  EXPECT_EQ(ChunkTypes(w.bytes), "IHDR pHYs IDAT IEND");
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(w.bytes, &png));
  EXPECT_EQ(png.physical, (std::vector<uint32_t>{1, 1, 0}));
}

TEST_F(PngWriter, PaletteImageGetsPlteAndBackgroundIndexZero) {
  Args a = Palette8(16);
  Written w = Write(a);
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(ChunkTypes(w.bytes), "IHDR PLTE bKGD pHYs IDAT IEND");
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(w.bytes, &png));
  ASSERT_EQ(png.palette.size(), 48u);
  EXPECT_EQ(png.palette[3 * 5], 3 * 5);      // red from rgbRed
  EXPECT_EQ(png.palette[3 * 5 + 1], 2 * 5);  // green
  EXPECT_EQ(png.palette[3 * 5 + 2], 5);      // blue
  ASSERT_TRUE(png.background);
  EXPECT_EQ(png.background->index, 0);
  EXPECT_TRUE(png.paletteAlpha.empty());
  EXPECT_EQ(png.rows, a.pixels);
}

TEST_F(PngWriter, PaletteAlphaFlagWritesReservedBytesAsTrns) {
  Args a = Palette8(4);
  a.flags |= PX_PNG_WRITE_PALETTE_ALPHA;
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(Write(a).bytes, &png));
  EXPECT_EQ(png.paletteAlpha, (std::vector<uint8_t>{255, 254, 253, 252}));

  // An RGB image has no alpha table: without a transparent colour no tRNS is written
  // (one of zeros would make black transparent); with one, that colour is.
  Args rgb = Rgb(4, 3);
  rgb.paletteCount = 4;
  rgb.palette = a.palette;
  rgb.flags |= PX_PNG_WRITE_PALETTE_ALPHA;
  EXPECT_EQ(ChunkTypes(Write(rgb).bytes), "IHDR PLTE bKGD pHYs IDAT IEND");
  PXThreadState& s = *px::GetThreadState();
  s.png.writeTransparentValid = true;
  s.png.writeTransparent = {0, 1, 2, 3, 0};
  ASSERT_TRUE(pxtest::DecodePNG(Write(rgb).bytes, &png));
  ASSERT_TRUE(png.transparent);
  EXPECT_EQ(png.transparent->red, 1);
  EXPECT_EQ(png.transparent->blue, 3);
}

TEST_F(PngWriter, AlphaImagesGetBackgroundAndTransparentColourGoesToTrns) {
  PXThreadState& s = *px::GetThreadState();
  s.png.writeBackground = {0, 10, 20, 30, 0};
  Args a = Rgb(3, 3);
  a.colorType = 6;
  a.stride = 12;
  a.pixels = pxtest::PatternBytes(36, 3);
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(Write(a).bytes, &png));
  ASSERT_TRUE(png.background);
  EXPECT_EQ(png.background->green, 20);
  EXPECT_EQ(png.rows, a.pixels);

  s.png.writeTransparentValid = true;
  s.png.writeTransparent = {0, 0, 0, 0, 7};
  Args grey = Rgb(3, 3);
  grey.colorType = 0;
  grey.stride = 3;
  ASSERT_TRUE(pxtest::DecodePNG(Write(grey).bytes, &png));
  ASSERT_TRUE(png.transparent);
  EXPECT_EQ(png.transparent->gray, 7);
}

TEST_F(PngWriter, TextChunksInListOrderUntilCleared) {
  PXThreadState& s = *px::GetThreadState();
  s.png.textToWrite = {{0, "Title", "plain"}, {1, "Comment", std::string(500, 'z')}};
  Written w = Write(Rgb(2, 2));
  EXPECT_EQ(ChunkTypes(w.bytes), "IHDR pHYs tEXt zTXt IDAT IEND");
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(w.bytes, &png));
  ASSERT_EQ(png.texts.size(), 2u);
  EXPECT_EQ(png.texts[0].keyword, "Title");
  EXPECT_EQ(png.texts[0].text, "plain");
  EXPECT_EQ(png.texts[1].text, std::string(500, 'z'));
  EXPECT_TRUE(png.texts[1].compressed);
  EXPECT_TRUE(PXClearPNGTextChunks());
  EXPECT_EQ(ChunkTypes(Write(Rgb(2, 2)).bytes), "IHDR pHYs IDAT IEND");
}

TEST_F(PngWriter, IccProfileIsWrittenAsIcm) {
  // A minimal RGB display profile: header only, no tags.
  std::vector<uint8_t> profile = pxtest::Bytes()
                                     .be32(132)
                                     .fill(4)
                                     .be32(0x02100000)
                                     .str("mntrRGB XYZ ")
                                     .fill(12)
                                     .str("acsp")
                                     .fill(28)
                                     .be32(0xF6D6)
                                     .be32(0x10000)
                                     .be32(0xD32D)
                                     .fill(48)
                                     .be32(0);
  px::GetThreadState()->iccProfile = profile;
  Written w = Write(Rgb(2, 2));
  EXPECT_EQ(ChunkTypes(w.bytes), "IHDR iCCP pHYs IDAT IEND");
  for (const pxtest::PngChunk& c : pxtest::ListChunks(w.bytes)) {
    if (c.type != "iCCP") continue;
    ASSERT_EQ(std::string(c.data.begin(), c.data.begin() + 5), "icm"s + '\0' + '\0');
    std::vector<uint8_t> inflated(1000);
    uLongf size = inflated.size();
    ASSERT_EQ(uncompress(inflated.data(), &size, c.data.data() + 5, c.data.size() - 5), Z_OK);
    inflated.resize(size);
    EXPECT_EQ(inflated, profile);
  }
}

TEST_F(PngWriter, SixteenBitSamplesAreSwappedToBigEndian) {
  Args a;
  a.width = 2, a.height = 1, a.stride = 4, a.bitDepth = 16, a.colorType = 0;
  a.pixels = {0x34, 0x12, 0xCD, 0xAB};
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(Write(a).bytes, &png));
  EXPECT_EQ(png.rows, (std::vector<uint8_t>{0x12, 0x34, 0xAB, 0xCD}));
}

TEST_F(PngWriter, RowsAreTakenAtTheStride) {
  Args a = Rgb(2, 3);
  a.stride = 10;  // 6 bytes of pixels and 4 of padding per row
  a.pixels = pxtest::PatternBytes(30, 9);
  PngImage png;
  ASSERT_TRUE(pxtest::DecodePNG(Write(a).bytes, &png));
  for (int y = 0; y < 3; ++y)
    EXPECT_TRUE(std::equal(a.pixels.begin() + 10 * y, a.pixels.begin() + 10 * y + 6,
                           png.rows.begin() + 6 * y));
}

// libpng's default limit of a million pixels per side is its own, not the format's: a
// long strip was refused with PX_ERR_FILE_WRITE.
TEST_F(PngWriter, ImagesWiderThanAMillionPixelsAreWrittenAndReadBack) {
  Args a;
  a.width = 1000003, a.height = 2, a.stride = a.width, a.colorType = 0;
  a.pixels = pxtest::PatternBytes(size_t(a.stride) * a.height, 5);
  Written w = Write(a);
  ASSERT_EQ(w.error, 0);
  PXSource source = PXOpenMemorySource(w.bytes.data(), uint32_t(w.bytes.size()));
  uint32_t width = 0, height = 0;
  RGBQUAD palette[256];
  void* pixels = PXReadPNG(source, &width, &height, 8, palette, 0);
  EXPECT_EQ(PXGetLastError(), 0);
  PXCloseSource(source);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(width, a.width);
  EXPECT_EQ(height, a.height);
  const auto* rows = static_cast<const uint8_t*>(pixels);
  const size_t rowBytes = PXImageRowBytes(a.width, 8);
  for (uint32_t y = 0; y < a.height; ++y)
    EXPECT_TRUE(std::equal(a.pixels.begin() + size_t(a.stride) * y,
                           a.pixels.begin() + size_t(a.stride) * (y + 1), rows + rowBytes * y));
  GlobalFree(pixels);
}

TEST_F(PngWriter, BadArgumentsAreRefusedBeforeWriting) {
  auto error = [](Args a) {
    Written w = Write(a);
    EXPECT_EQ(w.result, 0u);
    return w.error;
  };
  Args noPixels = Rgb(2, 2);
  noPixels.pixels.clear();
  EXPECT_EQ(error(noPixels), PX_ERR_PARAMETER);
  Args noPalette = Palette8(4);
  noPalette.palette.clear();
  EXPECT_EQ(error(noPalette), PX_ERR_PARAMETER);
  Args badDepth = Rgb(2, 2);
  badDepth.bitDepth = 4;  // RGB has 8 or 16 bits
  EXPECT_EQ(error(badDepth), PX_ERR_PARAMETER);
  Args shortStride = Rgb(2, 2);
  shortStride.stride = 5;
  EXPECT_EQ(error(shortStride), PX_ERR_PARAMETER);
  Args bigPalette = Palette8(8);
  bigPalette.bitDepth = 2;  // 2 bits index 4 entries
  EXPECT_EQ(error(bigPalette), PX_ERR_PARAMETER);

  std::vector<uint8_t> px(12);
  EXPECT_EQ(PXWritePNG(nullptr, px.data(), 2, 2, 6, 8, 0, nullptr, 2, 0, nullptr, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  pxtest::TempDir dir;
  PXSink closed = PXOpenFileSink(dir.File("x.png").c_str(), FALSE);
  PXCloseSink(closed);
  EXPECT_EQ(PXWritePNG(closed, px.data(), 2, 2, 6, 8, 0, nullptr, 2, 0, nullptr, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

std::vector<std::string> g_traces;
void KeepTrace(const char* text) {
  g_traces.push_back(text);
}

TEST_F(PngWriter, FailedSinkWriteIsErrorFour) {
  PXSink sink = PXOpenFileSink("/dev/full", FALSE);
  ASSERT_NE(sink, nullptr);
  g_traces.clear();
  px::TraceHook old = px::SetTraceHook(KeepTrace);
  Args a = Rgb(64, 64);
  PXWritePNG(sink, a.pixels.data(), a.width, a.height, a.stride, 8, 0, nullptr, 2, 0, nullptr, 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_WRITE);
  px::SetTraceHook(old);
  PXCloseSink(sink);
  EXPECT_NE(std::find(g_traces.begin(), g_traces.end(), "PXLib PNG Error : Write error\n"),
            g_traces.end());
}

std::vector<UINT> g_progress;
UINT g_stopAt = 0;
BOOL Record(UINT current, UINT total, DWORD_PTR user) {
  EXPECT_EQ(user, 77u);
  EXPECT_EQ(total, 9u);
  g_progress.push_back(current);
  return g_progress.size() != g_stopAt;
}

TEST_F(PngWriter, ProgressCountsRowsOverAllPassesAndAborts) {
  PXSetProgressCallback(Record, 77);
  for (uint32_t flags : {0u, uint32_t(PX_PNG_WRITE_INTERLACE)}) {
    g_progress.clear();
    g_stopAt = 0;
    Args a = Rgb(5, 9);
    a.flags = flags;
    EXPECT_EQ(Write(a).error, 0);
    EXPECT_EQ(g_progress, (std::vector<UINT>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  }
  g_progress.clear();
  g_stopAt = 1;
  Written w = Write(Rgb(5, 9));
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(w.error, PX_ERR_ABORTED);
  EXPECT_EQ(w.result, w.bytes.size());  // what was written so far
  EXPECT_GT(w.result, 0u);
  EXPECT_EQ(g_progress.size(), 1u);
}

}  // namespace
