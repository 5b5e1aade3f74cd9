// The PNG reader on fixtures made with libpng, round trips through PXWritePNG, and
// hostile input.
#include <zlib.h>

#include <cmath>

#include "core/thread_state.h"
#include "pixolith/px_png.h"
#include "png_test_support.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::MemorySource;
using pxtest::PngImage;

PngImage Fixture(int colorType, int bitDepth, uint32_t width = 5, uint32_t height = 4) {
  PngImage p;
  p.width = width;
  p.height = height;
  p.colorType = colorType;
  p.bitDepth = bitDepth;
  p.rows = pxtest::PatternBytes(p.rowBytes() * height, uint32_t(colorType * 31 + bitDepth));
  if (colorType == 3) {
    p.palette = pxtest::PatternBytes(3 << bitDepth, 5);
    if (bitDepth == 8)  // keep indices inside a 200-entry palette
      for (uint8_t& b : p.rows) b %= 200;
    if (bitDepth == 8) p.palette.resize(600);
  }
  return p;
}

struct Read {
  BlockGuard pixels;
  uint32_t width = 0, height = 0;
  int error = -1;
  RGBQUAD palette[256] = {};
};

void ReadPNG(const std::vector<uint8_t>& data, int depth, uint32_t flags, Read* out) {
  MemorySource source(data);
  out->pixels.reset(PXReadPNG(source, &out->width, &out->height, depth, out->palette, flags));
  out->error = PXGetLastError();
}

std::vector<uint8_t> Bytes(const Read& r, size_t n) {
  return std::vector<uint8_t>(r.pixels.bytes(), r.pixels.bytes() + n);
}

TEST(PngReader, HeaderQueryOfPaletteFileWithTransparency) {
  PngImage p = Fixture(3, 4);
  p.paletteAlpha = {255, 255, 255, 0};
  p.physical = std::vector<uint32_t>{3780, 2835, 1};
  std::vector<uint8_t> file = pxtest::EncodePNG(p);
  MemorySource source(file);
  uint32_t w, h;
  int bits, type, interlace, count, reserved, r, g, b, grey;
  PXResolution res;
  RGBQUAD palette[256];
  ASSERT_TRUE(PXGetPNGInfo(source, &w, &h, &bits, &type, &interlace, &res, &count, palette,
                           &reserved, &r, &g, &b, &grey));
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(w, 5u);
  EXPECT_EQ(bits, 4);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(res.x, 3780u);
  EXPECT_EQ(res.y, 2835u);
  EXPECT_EQ(res.unit, 1u);
  EXPECT_EQ(reserved, -1);
  EXPECT_EQ(r, -1);  // palette transparency is per entry, not a colour
  EXPECT_EQ(palette[2].rgbRed, p.palette[6]);
  EXPECT_EQ(palette[2].rgbBlue, p.palette[8]);
  EXPECT_EQ(palette[2].rgbReserved, 255);
  EXPECT_EQ(palette[3].rgbReserved, 0);
  EXPECT_EQ(palette[200].rgbGreen, palette[0].rgbGreen);  // copies of entry 0
}

TEST(PngReader, HeaderQueryOfGreyFiles) {
  // 2-bit grey: the ramp of its depth, and the tRNS grey level.
  PngImage p = Fixture(0, 2);
  p.transparent = pxtest::PngColor16{0, 0, 0, 0, 2};
  std::vector<uint8_t> file = pxtest::EncodePNG(p);
  MemorySource source(file);
  int count, grey, red;
  PXResolution res = {9, 9, 9};
  RGBQUAD palette[256];
  ASSERT_TRUE(PXGetPNGInfo(source, nullptr, nullptr, nullptr, nullptr, nullptr, &res, &count,
                           palette, nullptr, &red, nullptr, nullptr, &grey));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(palette[2].rgbGreen, 170);
  EXPECT_EQ(grey, 2);
  EXPECT_EQ(res.x, 0u);  // no pHYs
  EXPECT_EQ(res.unit, 0u);

  // 16-bit grey offers its 256-step ramp; 65536 entries would overrun the palette.
  std::vector<uint8_t> file16 = pxtest::EncodePNG(Fixture(0, 16));
  MemorySource grey16(file16);
  PXGetPNGPalette(grey16, &count, palette);
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(count, 256);
  EXPECT_EQ(palette[255].rgbRed, 255);
}

TEST(PngReader, MetadataGoesToTheThreadState) {
  PngImage p = Fixture(2, 8);
  p.background = pxtest::PngColor16{0, 1, 2, 3, 0};
  p.texts = {{"Title", "before", false, false}, {"Note", "after", true, true}};
  std::vector<uint8_t> file = pxtest::EncodePNG(p);
  MemorySource source(file);
  Read r;
  ReadPNG(file, 24, 0, &r);
  ASSERT_EQ(r.error, 0);
  const px::PNGState& s = px::GetThreadState()->png;
  EXPECT_TRUE(s.fileBackgroundValid);
  EXPECT_EQ(s.fileBackground.blue, 3);
  ASSERT_EQ(s.textRead.size(), 2u);
  EXPECT_EQ(s.textRead[0].keyword, "Title");
  EXPECT_EQ(s.textRead[0].compressed, 0);
  EXPECT_EQ(s.textRead[1].text, "after");
  EXPECT_EQ(s.textRead[1].compressed, 1);
  // A header query only sees the chunks before the image data, and starts afresh.
  uint32_t w, h;
  int bits, type, interlace;
  ASSERT_TRUE(PXGetPNGDimensions(source, &w, &h, &bits, &type, &interlace, nullptr));
  EXPECT_EQ(s.textRead.size(), 1u);
  ReadPNG(pxtest::EncodePNG(Fixture(2, 8)), 24, 0, &r);
  EXPECT_FALSE(s.fileBackgroundValid);
  EXPECT_TRUE(s.textRead.empty());
}

// Each depth against the same pixels written by PXWritePNG.
struct RoundTrip {
  int colorType, bitDepth, readDepth;
  uint32_t readFlags;
};

class PngRoundTrip : public testing::TestWithParam<std::tuple<RoundTrip, bool>> {};

TEST_P(PngRoundTrip, WrittenPixelsReadBackUnchanged) {
  auto [c, interlaced] = GetParam();
  const uint32_t w = 13, h = 7;
  PngImage shape;
  shape.width = w;
  shape.colorType = c.colorType;
  shape.bitDepth = c.bitDepth;
  const size_t rowBytes = shape.rowBytes();
  std::vector<uint8_t> pixels = pxtest::PatternBytes(rowBytes * h, uint32_t(c.readDepth));
  std::vector<RGBQUAD> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 255};
  const int colors = c.colorType == 3 ? 1 << c.bitDepth : 0;
  if (c.bitDepth == 1) pixels[0] |= 0x80;  // both indices occur

  pxtest::TempDir dir;
  std::string path = dir.File("rt.png");
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  PXWritePNG(sink, pixels.data(), w, h, uint32_t(rowBytes), c.bitDepth, colors,
             colors ? palette.data() : nullptr, c.colorType, 0, nullptr,
             interlaced ? PX_PNG_WRITE_INTERLACE : 0);
  ASSERT_EQ(PXGetLastError(), 0);
  PXCloseSink(sink);

  Read r;
  ReadPNG(pxtest::ReadFile(path), c.readDepth, c.readFlags, &r);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.width, w);
  ASSERT_EQ(GlobalSize(r.pixels.block), rowBytes * h);
  if (c.bitDepth == 1) {  // the pad bits after the last pixel carry nothing
    for (uint32_t y = 0; y < h; ++y) pixels[y * rowBytes + rowBytes - 1] &= 0xF8;
    for (uint32_t y = 0; y < h; ++y) r.pixels.bytes()[y * rowBytes + rowBytes - 1] &= 0xF8;
  }
  EXPECT_EQ(Bytes(r, pixels.size()), pixels);
  for (int i = 0; i < colors; ++i) {
    EXPECT_EQ(r.palette[i].rgbRed, palette[i].rgbRed);
    EXPECT_EQ(r.palette[i].rgbGreen, palette[i].rgbGreen);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PngRoundTrip,
    testing::Combine(testing::Values(RoundTrip{3, 1, 1, 0}, RoundTrip{3, 8, 8, 0},
                                     RoundTrip{0, 8, 8, 0},
                                     RoundTrip{0, 16, 16, PX_PNG_READ_GRAY16},
                                     RoundTrip{4, 8, 16, 0}, RoundTrip{2, 8, 24, 0},
                                     RoundTrip{6, 8, 32, 0}, RoundTrip{2, 16, 48, 0},
                                     RoundTrip{6, 16, 64, 0}),
                     testing::Bool()));

// Every colour type and bit depth, plain, with tRNS and with bKGD, interlaced or not,
// against the independent model of the expected RGB.
TEST(PngReader, EveryFormatAtDepth24MatchesTheModel) {
  const std::pair<int, int> formats[] = {{0, 1}, {0, 2},  {0, 4},  {0, 8}, {0, 16},
                                         {2, 8}, {2, 16}, {3, 1},  {3, 2}, {3, 4},
                                         {3, 8}, {4, 8},  {4, 16}, {6, 8}, {6, 16}};
  for (auto [type, bits] : formats) {
    for (int variant = 0; variant < 8; ++variant) {
      PngImage p = Fixture(type, bits, 9, 7);
      p.interlaced = variant & 1;
      if ((variant & 2) && type == 3) {
        p.paletteAlpha = {0, 77, 255, 128};
        p.paletteAlpha.resize(std::min<size_t>(4, p.palette.size() / 3));
      }
      if ((variant & 2) && (type == 0 || type == 2)) {  // the first pixel is transparent
        pxtest::PngColor16 t;
        t.gray = uint16_t(pxtest::Sample(p, 0, 0));
        t.red = t.gray;
        t.green = uint16_t(pxtest::Sample(p, 0, 1));
        t.blue = uint16_t(pxtest::Sample(p, 0, 2));
        p.transparent = t;
      }
      if (variant & 4) {  // a stated gamma must not change compositing without the flag
        p.gammaFixed = 45455;
        const uint16_t top = uint16_t(bits == 16 ? 0xFFFF : (1 << bits) - 1);
        p.background = pxtest::PngColor16{1, uint16_t(top / 3), top, uint16_t(top / 2), top};
      }
      SCOPED_TRACE(testing::Message()
                   << "type " << type << " bits " << bits << " variant " << variant);
      Read r;
      ReadPNG(pxtest::EncodePNG(p), 24, 0, &r);
      ASSERT_EQ(r.error, 0);
      std::vector<uint8_t> expected = pxtest::ExpectedRGB(p);
      EXPECT_EQ(Bytes(r, expected.size()), expected);
      if (p.background) continue;
      // Depths 32 and 64 keep the alpha: put over black, they give the same.
      Read rgba;
      ReadPNG(pxtest::EncodePNG(p), bits == 16 ? 64 : 32, 0, &rgba);
      ASSERT_EQ(rgba.error, 0);
      std::vector<uint8_t> overBlack(expected.size());
      for (size_t i = 0; i < overBlack.size(); ++i) {
        const size_t pixel = i / 3, c = i % 3;
        if (bits == 16) {
          auto sample = [&](size_t k) {
            const uint8_t* q = rgba.pixels.bytes() + 8 * pixel + 2 * k;
            return uint64_t(q[0] | q[1] << 8);
          };
          overBlack[i] = uint8_t(((sample(c) * sample(3) + 32767) / 65535) >> 8);
        } else {
          const uint8_t* q = rgba.pixels.bytes() + 4 * pixel;
          overBlack[i] = uint8_t((q[c] * q[3] + 127) / 255);
        }
      }
      EXPECT_EQ(overBlack, expected);
    }
  }
}

TEST(PngReader, FourBitPaletteAtDepthEightUnpacksIndices) {
  PngImage p = Fixture(3, 4, 3, 1);
  p.rows = {0x1F, 0xA0};
  Read r;
  ReadPNG(pxtest::EncodePNG(p), 8, 0, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(Bytes(r, 3), (std::vector<uint8_t>{1, 15, 10}));
  EXPECT_EQ(r.palette[15].rgbGreen, p.palette[46]);
}

TEST(PngReader, SixteenBitGreyWithAndWithoutRawFlag) {
  PngImage p = Fixture(0, 16, 2, 1);
  p.rows = {0x12, 0x34, 0xAB, 0xCD};
  std::vector<uint8_t> file = pxtest::EncodePNG(p);
  Read raw, pairs, rgb;
  ReadPNG(file, 16, PX_PNG_READ_GRAY16, &raw);
  EXPECT_EQ(Bytes(raw, 4), (std::vector<uint8_t>{0x34, 0x12, 0xCD, 0xAB}));
  ReadPNG(file, 16, 0, &pairs);
  EXPECT_EQ(Bytes(pairs, 4), (std::vector<uint8_t>{0x12, 255, 0xAB, 255}));
  ReadPNG(file, 24, 0, &rgb);
  EXPECT_EQ(Bytes(rgb, 6), (std::vector<uint8_t>{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));
}

// Compositing at the depths the systematic test above does not cover.
TEST(PngReader, TransparencyIsCompositedOnBackground) {
  // Grey with a tRNS level: at depth 8 that level becomes the background's.
  Read r;
  PngImage g = Fixture(0, 8, 3, 1);
  g.rows = {7, 9, 7};
  g.transparent = pxtest::PngColor16{0, 0, 0, 0, 7};
  g.background = pxtest::PngColor16{0, 0, 0, 0, 99};
  ReadPNG(pxtest::EncodePNG(g), 8, 0, &r);
  EXPECT_EQ(Bytes(r, 3), (std::vector<uint8_t>{99, 9, 99}));

  // Below 8 bits the bKGD level is scaled with the samples: 15 of 4 bits is white.
  PngImage g4 = Fixture(0, 4, 2, 1);
  g4.rows = {0x5A};
  g4.transparent = pxtest::PngColor16{0, 0, 0, 0, 5};
  g4.background = pxtest::PngColor16{0, 0, 0, 0, 15};
  ReadPNG(pxtest::EncodePNG(g4), 24, 0, &r);
  EXPECT_EQ(Bytes(r, 6), (std::vector<uint8_t>{255, 255, 255, 170, 170, 170}));
  ReadPNG(pxtest::EncodePNG(g4), 8, 0, &r);  // indices stay in the file's scale
  EXPECT_EQ(Bytes(r, 2), (std::vector<uint8_t>{15, 10}));
  ReadPNG(pxtest::EncodePNG(g4), 16, PX_PNG_READ_GRAY16, &r);
  EXPECT_EQ(Bytes(r, 4), (std::vector<uint8_t>{255, 255, 170, 170}));
  ReadPNG(pxtest::EncodePNG(g4), 48, 0, &r);
  EXPECT_EQ(Bytes(r, 12),
            (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 170, 170, 170, 170, 170, 170}));

  // The thread's default background is used when the file names none.
  px::GetThreadState()->png.defaultBackground = {0, 10, 20, 30, 0};
  g.background.reset();
  ReadPNG(pxtest::EncodePNG(g), 24, 0, &r);
  px::GetThreadState()->png.defaultBackground = {};
  EXPECT_EQ(Bytes(r, 6), (std::vector<uint8_t>{10, 20, 30, 9, 9, 9}));
}

TEST(PngReader, GammaFlagCorrectsWithFileAndScreenGamma) {
  PngImage p = Fixture(0, 8, 1, 1);
  p.rows = {128};
  std::vector<uint8_t> plain = pxtest::EncodePNG(p);
  p.gammaFixed = 100000;
  std::vector<uint8_t> linear = pxtest::EncodePNG(p);
  p.gammaFixed.reset();
  p.srgb = true;
  std::vector<uint8_t> srgb = pxtest::EncodePNG(p);
  auto value = [](const std::vector<uint8_t>& file, uint32_t flags) {
    Read r;
    ReadPNG(file, 24, flags, &r);
    return int(r.pixels.bytes()[0]);
  };
  EXPECT_EQ(value(linear, 0), 128);
  EXPECT_EQ(value(plain, PX_PNG_READ_GAMMA), 128);  // no gAMA: taken to suit the screen
  EXPECT_NEAR(value(linear, PX_PNG_READ_GAMMA), 255 * std::pow(128 / 255.0, 1 / 2.9), 1);
  EXPECT_NEAR(value(srgb, PX_PNG_READ_GAMMA), 255 * std::pow(128 / 255.0, 1 / (2.9 * 0.45455)), 1);
}

std::vector<UINT> g_progress;
size_t g_stopAfter = 0;
BOOL Record(UINT current, UINT total, DWORD_PTR) {
  EXPECT_EQ(total, 6u);
  g_progress.push_back(current);
  return g_progress.size() != g_stopAfter;
}

TEST(PngReader, InterlacedFileReportsProgressOverAllPasses) {
  PngImage p = Fixture(2, 8, 9, 6);
  std::vector<uint8_t> plainFile = pxtest::EncodePNG(p);
  p.interlaced = true;
  std::vector<uint8_t> interlacedFile = pxtest::EncodePNG(p);
  Read plain, interlaced;
  ReadPNG(plainFile, 24, 0, &plain);
  PXSetProgressCallback(Record, 0);
  g_progress.clear();
  g_stopAfter = 0;
  ReadPNG(interlacedFile, 24, 0, &interlaced);
  EXPECT_EQ(g_progress, (std::vector<UINT>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Bytes(interlaced, p.rows.size()), Bytes(plain, p.rows.size()));

  g_progress.clear();
  g_stopAfter = 1;
  Read aborted;
  ReadPNG(interlacedFile, 24, 0, &aborted);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(aborted.error, PX_ERR_ABORTED);
  EXPECT_NE(aborted.pixels.block, nullptr);  // the rows made so far come back
}

TEST(PngReader, PackedDIBInTheFilesOwnDepth) {
  PngImage p = Fixture(2, 8, 3, 2);
  p.physical = std::vector<uint32_t>{2835, 5670, 1};
  Read r;
  ReadPNG(pxtest::EncodePNG(p), 8, PX_PNG_READ_DIB, &r);  // depth ignored
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(r.pixels.block);
  EXPECT_EQ(h->biSize, 40u);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biHeight, 2);
  EXPECT_EQ(h->biYPelsPerMeter, 5670);
  EXPECT_EQ(GlobalSize(r.pixels.block), 40u + 2 * 12);
  const uint8_t* bottomRow = r.pixels.bytes() + 40;  // the file's last row, as B, G, R
  EXPECT_EQ(bottomRow[0], p.rows[9 + 2]);
  EXPECT_EQ(bottomRow[2], p.rows[9]);

  ReadPNG(pxtest::EncodePNG(Fixture(3, 4, 3, 2)), 0, PX_PNG_READ_DIB, &r);
  h = reinterpret_cast<BITMAPINFOHEADER*>(r.pixels.block);
  EXPECT_EQ(h->biBitCount, 4);
  EXPECT_EQ(h->biClrUsed, 16u);
  EXPECT_EQ(GlobalSize(r.pixels.block), 40u + 64 + 2 * 4);
}

TEST(PngReader, DepthAndArgumentErrors) {
  std::vector<uint8_t> rgb = pxtest::EncodePNG(Fixture(2, 8));
  std::vector<uint8_t> pal = pxtest::EncodePNG(Fixture(3, 8));
  Read r;
  ReadPNG(rgb, 4, 0, &r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  ReadPNG(rgb, 8, 0, &r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  ReadPNG(pal, 1, 0, &r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  ReadPNG(pal, 48, 0, &r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  EXPECT_EQ(r.pixels.block, nullptr);
  MemorySource source(pal);
  uint32_t w, h;
  EXPECT_EQ(PXReadPNG(source, &w, &h, 8, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXReadPNG(nullptr, &w, &h, 24, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  PXSource closed = PXOpenMemorySource(pal.data(), uint32_t(pal.size()));
  PXCloseSource(closed);
  EXPECT_EQ(PXReadPNG(closed, &w, &h, 24, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

TEST(PngReader, TruncatedFiles) {
  std::vector<uint8_t> file = pxtest::EncodePNG(Fixture(2, 8, 64, 64));
  // Inside the header: the query fails.
  std::vector<uint8_t> head(file.begin(), file.begin() + 20);
  MemorySource source(head);
  uint32_t w, h;
  int bits, type, interlace;
  EXPECT_FALSE(PXGetPNGDimensions(source, &w, &h, &bits, &type, &interlace, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_PNG);
  // Inside the second IDAT chunk: the rows of the first one come back, with PX_ERR_BAD_PNG.
  std::vector<uint8_t> half(file.begin(), file.begin() + long(file.size() * 3 / 4));
  Read r;
  ReadPNG(half, 24, 0, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PNG);
  ASSERT_NE(r.pixels.block, nullptr);
  Read full;
  ReadPNG(file, 24, 0, &full);
  EXPECT_EQ(Bytes(r, 64 * 3 * 10), Bytes(full, 64 * 3 * 10));
}

// A chunk with its length and CRC.
std::vector<uint8_t> Chunk(const std::string& type, const std::vector<uint8_t>& data) {
  pxtest::Bytes b;
  b.be32(uint32_t(data.size())).str(type).raw(data);
  uLong crc = crc32(0, b.data().data() + 4, uInt(data.size() + 4));
  return b.be32(uint32_t(crc));
}

std::vector<uint8_t> Header(uint32_t width, uint32_t height, int bitDepth, int colorType) {
  return pxtest::Bytes()
      .u8(0x89)
      .str("PNG\r\n\x1a\n")
      .raw(Chunk(
          "IHDR",
          pxtest::Bytes().be32(width).be32(height).u8(bitDepth).u8(colorType).u8(0).u8(0).u8(0)));
}

TEST(PngReader, HugeClaimsFailBeforeAllocating) {
  // The first fits a block (768 MB at depth 24) and must still not be allocated.
  for (auto [w, h] :
       {std::pair{16000u, 16000u}, std::pair{100000u, 100000u}, std::pair{0x7FFFFFFFu, 1u}}) {
    std::vector<uint8_t> file = pxtest::Bytes()
                                    .raw(Header(w, h, 8, 6))
                                    .raw(Chunk("IDAT", {0x78, 0x9C, 0x03, 0x00}))
                                    .raw(Chunk("IEND", {}));
    Read r;
    ReadPNG(file, 24, 0, &r);
    EXPECT_EQ(r.error, PX_ERR_BAD_PNG);
    EXPECT_EQ(r.pixels.block, nullptr);
  }
}

TEST(PngReader, CompressedTextBombIsBounded) {
  // Twelve zTXt chunks of 7 MB each when inflated: 84 MB from a 100 KB file.
  std::vector<uint8_t> zeros(7'000'000, 'a');
  std::vector<uint8_t> packed(compressBound(uLong(zeros.size())));
  uLongf size = packed.size();
  ASSERT_EQ(compress(packed.data(), &size, zeros.data(), uLong(zeros.size())), Z_OK);
  packed.resize(size);
  pxtest::Bytes file;
  file.raw(Header(1, 1, 8, 0));
  for (int i = 0; i < 12; ++i)
    file.raw(Chunk("zTXt", pxtest::Bytes().str("Bomb").u8(0).u8(0).raw(packed)));
  std::vector<uint8_t> row = {0, 42}, idat(64);
  size = idat.size();
  compress(idat.data(), &size, row.data(), uLong(row.size()));
  idat.resize(size);
  file.raw(Chunk("IDAT", idat)).raw(Chunk("IEND", {}));
  Read r;
  ReadPNG(file, 8, 0, &r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels.bytes()[0], 42);
  size_t kept = 0;
  for (const px::PNGText& t : px::GetThreadState()->png.textRead) kept += t.text.size();
  EXPECT_LT(kept, size_t(64) << 20);
}

TEST(PngReader, DamagedFilesNeverCrash) {
  PngImage p = Fixture(3, 4, 40, 30);
  p.interlaced = true;
  p.paletteAlpha = {0, 128};
  p.texts = {{"Key", "value", true, false}};
  const std::vector<uint8_t> file = pxtest::EncodePNG(p);
  for (size_t i = 8; i < file.size(); i += 3) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + long(i));
    std::vector<uint8_t> flipped = file;
    flipped[i] ^= uint8_t(0x55 + i);
    for (const auto* data : {&cut, &flipped}) {
      for (int depth : {1, 8, 24, 64}) {
        Read r;
        ReadPNG(*data, depth, 0, &r);
        EXPECT_TRUE(r.error == 0 || r.error == PX_ERR_BAD_PNG || r.error == PX_ERR_BIT_DEPTH)
            << i << " " << r.error;
        if (r.pixels.block && r.error) {
          EXPECT_EQ(r.error, PX_ERR_BAD_PNG);
        }
      }
    }
  }
}

}  // namespace
