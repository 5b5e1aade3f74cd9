// TGA reader: packets, origins, colour maps, grey and 16-bit pixels, DIBs, damaged files.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "core/operation.h"
#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::MemorySource;
using pxtest::TgaFile;

using Pixels = std::vector<uint8_t>;

using Result = pxtest::Decoded;

void Read(const std::vector<uint8_t>& file, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kTGA, file, depth, r, flags);
}

Pixels ReadOK(const TgaFile& f, uint32_t depth) {
  Result r;
  Read(f.Build(), depth, &r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.width, f.width);
  EXPECT_EQ(r.height, f.height);
  return r.Bytes(size_t(f.width) * f.height * depth / 8);
}

TgaFile TrueColour(uint16_t w, uint16_t h, uint8_t type = 2, uint8_t depth = 24) {
  TgaFile f;
  f.imageType = type;
  f.width = w;
  f.height = h;
  f.pixelDepth = depth;
  return f;
}

TEST(Tga, RunPacket83RepeatsOnePixelFourTimes) {
  TgaFile f = TrueColour(4, 1, 10);
  f.data = {0x83, 30, 20, 10};  // blue, green, red
  EXPECT_EQ(ReadOK(f, 24), (Pixels{10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30}));
}

TEST(Tga, RunLengthPacketsCrossRowEnds) {
  // 3 x 2, top-down: a run of four fills row 0 and starts row 1; a raw packet of two
  // finishes it.
  TgaFile f = TrueColour(3, 2, 10);
  f.descriptor = 0x20;
  f.data = {0x83, 3, 2, 1, 0x01, 6, 5, 4, 9, 8, 7};
  EXPECT_EQ(ReadOK(f, 24), (Pixels{1, 2, 3, 1, 2, 3, 1, 2, 3,  //
                                   1, 2, 3, 4, 5, 6, 7, 8, 9}));

  // Grey: a raw packet of five crosses the row end, a run finishes the image.
  TgaFile g = TrueColour(3, 2, 11, 8);
  g.descriptor = 0x20;
  g.data = {0x04, 10, 20, 30, 40, 50, 0x80, 60};
  Result r;
  Read(g.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(6), (Pixels{10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(ReadOK(g, 24), (Pixels{10, 10, 10, 20, 20, 20, 30, 30, 30,  //
                                   40, 40, 40, 50, 50, 50, 60, 60, 60}));
}

TEST(Tga, EveryOriginGivesTheSameTopDownBuffer) {
  // Logical image 2 x 2: row 0 = A B, row 1 = C D.
  const Pixels want = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  const uint8_t A = 1, B = 2, C = 3, D = 4;
  struct Stored {
    uint8_t descriptor;
    std::vector<uint8_t> order;
  } layouts[] = {
      {0x00, {C, D, A, B}},  // bottom-left
      {0x20, {A, B, C, D}},  // top-left
      {0x10, {D, C, B, A}},  // bottom-right
      {0x30, {B, A, D, C}},  // top-right
  };
  for (const Stored& s : layouts) {
    TgaFile f = TrueColour(2, 2);
    f.descriptor = s.descriptor;
    for (uint8_t v : s.order) f.data.insert(f.data.end(), {v, v, v});
    EXPECT_EQ(ReadOK(f, 24), want) << "descriptor " << int(s.descriptor);
  }
}

TEST(Tga, ColourMapEntriesLandAtTheirOwnIndices) {
  // The map starts at index 2 and holds two 24-bit entries; the pixels that follow must
  // not be taken for map entries.
  TgaFile f;
  f.colorMapType = 1;
  f.imageType = 1;
  f.mapFirst = 2;
  f.mapLength = 2;
  f.mapEntryBits = 24;
  f.map = {30, 20, 10, 60, 50, 40};
  f.width = 4;
  f.pixelDepth = 8;
  f.data = {2, 3, 3, 2};
  EXPECT_EQ(ReadOK(f, 24), (Pixels{10, 20, 30, 40, 50, 60, 40, 50, 60, 10, 20, 30}));

  const std::vector<uint8_t> srcBytes = f.Build();  // outlives the source
  MemorySource src(srcBytes);
  uint32_t count = 0;
  RGBQUAD pal[256];
  ASSERT_TRUE(PXGetTGAPalette(src, &count, pal));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(pal[2].rgbRed, 10);
  EXPECT_EQ(pal[3].rgbBlue, 60);
  EXPECT_EQ(pal[3].rgbReserved, 255);

  Result r;
  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(4), (Pixels{2, 3, 3, 2}));
  EXPECT_EQ(std::memcmp(r.palette, pal, sizeof pal), 0);
}

TEST(Tga, IndicesBeyondTheMapTakeEntryZero) {
  TgaFile f;
  f.colorMapType = 1;
  f.imageType = 1;
  f.mapLength = 2;
  f.mapEntryBits = 24;
  f.map = {3, 2, 1, 6, 5, 4};
  f.width = 3;
  f.pixelDepth = 8;
  f.data = {1, 200, 255};
  EXPECT_EQ(ReadOK(f, 24), (Pixels{4, 5, 6, 1, 2, 3, 1, 2, 3}));
  Result r;
  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  for (int i = 2; i < 256; ++i)
    ASSERT_EQ(std::memcmp(&r.palette[i], &r.palette[0], sizeof(RGBQUAD)), 0) << i;

  // 16-bit indices: one within a 300-entry map, one far beyond it.
  TgaFile g = f;
  g.mapLength = 300;
  g.map.assign(900, 0);
  g.map[3 * 299] = 99;  // blue of entry 299
  g.pixelDepth = 16;
  g.width = 2;
  g.data = {0x2B, 0x01, 0x34, 0x12};  // 299, 0x1234
  EXPECT_EQ(ReadOK(g, 24), (Pixels{0, 0, 99, 0, 0, 0}));
}

TEST(Tga, SixteenBitColoursScaleFiveBitsByEight) {
  TgaFile f = TrueColour(3, 1, 2, 16);
  f.data = {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C};  // white, blue, red
  EXPECT_EQ(ReadOK(f, 24), (Pixels{248, 248, 248, 0, 0, 248, 248, 0, 0}));
  EXPECT_EQ(ReadOK(f, 32), (Pixels{248, 248, 248, 255, 0, 0, 248, 255, 248, 0, 0, 255}));

  TgaFile m;
  m.colorMapType = 1;
  m.imageType = 1;
  m.mapLength = 2;
  m.mapEntryBits = 15;
  m.map = {0xE0, 0x03, 0x21, 0x04};  // green; red 1, green 1, blue 1
  m.width = 2;
  m.pixelDepth = 8;
  m.data = {0, 1};
  EXPECT_EQ(ReadOK(m, 24), (Pixels{0, 248, 0, 8, 8, 8}));
}

TEST(Tga, GreyFilesReadAsIndicesWithARamp) {
  for (uint8_t type : {3, 11}) {
    TgaFile f = TrueColour(2, 1, type, 8);
    f.data = type == 3 ? Pixels{7, 250} : Pixels{0x00, 7, 0x00, 250};
    Result r;
    Read(f.Build(), 8, &r);
    ASSERT_EQ(r.error, 0) << "type " << int(type);
    EXPECT_EQ(r.Bytes(2), (Pixels{7, 250}));
    for (int i = 0; i < 256; ++i) {
      RGBQUAD want = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
      ASSERT_EQ(std::memcmp(&r.palette[i], &want, sizeof want), 0) << i;
    }
    const std::vector<uint8_t> srcBytes = f.Build();  // outlives the source
    MemorySource src(srcBytes);
    uint32_t count = 0;
    RGBQUAD pal[256];
    ASSERT_TRUE(PXGetTGAPalette(src, &count, pal)) << "type " << int(type);
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(std::memcmp(pal, r.palette, sizeof pal), 0);
  }
}

TEST(Tga, GreyWithAlphaKeepsItsAlpha) {
  TgaFile f = TrueColour(2, 1, 3, 16);
  f.descriptor = 8;
  f.data = {100, 255, 30, 0};
  EXPECT_EQ(ReadOK(f, 32), (Pixels{100, 100, 100, 255, 30, 30, 30, 0}));
  EXPECT_EQ(ReadOK(f, 24), (Pixels{100, 100, 100, 30, 30, 30}));
}

TEST(Tga, PackedDIBs) {
  TgaFile f = TrueColour(1, 2, 2, 32);
  f.data = {1, 2, 3, 4, 5, 6, 7, 8};  // bottom row first
  Result r;
  Read(f.Build(), 8, &r, PX_READ_PACKED_DIB);  // the depth is ignored
  ASSERT_EQ(r.error, 0);
  auto* h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 32);
  EXPECT_EQ(h->biHeight, 2);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 48), (Pixels{1, 2, 3, 4, 5, 6, 7, 8}));

  TgaFile p;
  p.colorMapType = 1;
  p.imageType = 1;
  p.mapLength = 1;
  p.mapEntryBits = 24;
  p.map = {30, 20, 10};
  p.width = 2;
  p.pixelDepth = 8;
  p.data = {0, 0};
  Read(p.Build(), 24, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biClrUsed, 0u);
  ASSERT_EQ(GlobalSize(r.block.block), 48u);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 48),
            (Pixels{30, 20, 10, 30, 20, 10, 0, 0}));
}

TEST(Tga, BadFilesAndRequests) {
  struct Case {
    const char* name;
    TgaFile file;
    uint32_t depth;
    int error;
  };
  auto mapped = [] {
    TgaFile f;
    f.colorMapType = 1;
    f.imageType = 1;
    f.mapLength = 1;
    f.mapEntryBits = 24;
    f.map = {1, 2, 3};
    f.pixelDepth = 8;
    f.data = {0};
    return f;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, TgaFile f, auto change, uint32_t depth, int error) {
    change(f);
    cases.push_back({name, f, depth, error});
  };
  TgaFile rgb = TrueColour(1, 1);
  rgb.data = {1, 2, 3};
  add(
      "type 0", rgb, [](TgaFile& f) { f.imageType = 0; }, 24, PX_ERR_BAD_TGA);
  add(
      "type 4", rgb, [](TgaFile& f) { f.imageType = 4; }, 24, PX_ERR_BAD_TGA);
  add(
      "depth 40", rgb, [](TgaFile& f) { f.pixelDepth = 40; }, 24, PX_ERR_BAD_TGA);
  add(
      "depth 0", rgb, [](TgaFile& f) { f.pixelDepth = 0; }, 24, PX_ERR_BAD_TGA);
  add(
      "depth 12", rgb, [](TgaFile& f) { f.pixelDepth = 12; }, 24, PX_ERR_BAD_TGA);
  add(
      "grey depth 4 at 8", rgb, [](TgaFile& f) { f.imageType = 3, f.pixelDepth = 4; }, 8,
      PX_ERR_BAD_TGA);
  add(
      "width 0", rgb, [](TgaFile& f) { f.width = 0; }, 24, PX_ERR_BAD_TGA);
  add(
      "height 0", rgb, [](TgaFile& f) { f.height = 0; }, 24, PX_ERR_BAD_TGA);
  add(
      "read at 16", rgb, [](TgaFile&) {}, 16, PX_ERR_PARAMETER);
  add(
      "24-bit at 8", rgb, [](TgaFile&) {}, 8, PX_ERR_BIT_DEPTH);
  add(
      "true colour 8-bit at 8", rgb, [](TgaFile& f) { f.pixelDepth = 8, f.data = {1}; }, 8,
      PX_ERR_BIT_DEPTH);
  add(
      "mapped 24-bit pixels", mapped(), [](TgaFile& f) { f.pixelDepth = 24; }, 24, PX_ERR_BAD_TGA);
  add(
      "mapped without map at 24", mapped(), [](TgaFile& f) { f.colorMapType = 0, f.map = {}; }, 24,
      PX_ERR_BAD_TGA);
  add(
      "mapped without map at 8", mapped(), [](TgaFile& f) { f.colorMapType = 0, f.map = {}; }, 8,
      PX_ERR_BAD_TGA);
  add(
      "map entries of 12 bits", mapped(), [](TgaFile& f) { f.mapEntryBits = 12; }, 24,
      PX_ERR_BAD_TGA);
  add(
      "map longer than the file", mapped(), [](TgaFile& f) { f.mapLength = 65535; }, 24,
      PX_ERR_FILE_READ);
  add(
      "raw 60000 x 60000", rgb, [](TgaFile& f) { f.width = f.height = 60000; }, 24,
      PX_ERR_FILE_READ);
  add(
      "run-length 60000 x 60000", rgb,
      [](TgaFile& f) {
        f.imageType = 10, f.width = f.height = 60000, f.data = {0xFF, 1, 2, 3};
      },
      24, PX_ERR_FILE_READ);
  for (const Case& c : cases) {
    auto start = std::chrono::steady_clock::now();
    Result r;
    Read(c.file.Build(), c.depth, &r);
    EXPECT_EQ(r.block.block, nullptr) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
  }

  // An image ID longer than what follows the header.
  TgaFile named = rgb;
  named.idLength = 200;
  std::vector<uint8_t> cut = named.Build();
  cut.resize(18 + 50);
  Result r;
  Read(cut, 24, &r);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);

  uint32_t w, h, bits, count;
  RGBQUAD pal[256];
  std::vector<uint8_t> shortHeader(17, 0);
  MemorySource s1(shortHeader);
  EXPECT_FALSE(PXGetTGADimensions(s1, &w, &h, &bits));
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
  TgaFile deep = rgb;
  deep.pixelDepth = 33;
  const std::vector<uint8_t> s2Bytes = deep.Build();  // outlives the source
  MemorySource s2(s2Bytes);
  EXPECT_FALSE(PXGetTGADimensions(s2, &w, &h, &bits));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_TGA);
  const std::vector<uint8_t> s3Bytes = rgb.Build();  // outlives the source
  MemorySource s3(s3Bytes);
  EXPECT_FALSE(PXGetTGAPalette(s3, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BIT_DEPTH);
  TgaFile unmapped = mapped();
  unmapped.colorMapType = 0;
  unmapped.map = {};
  const std::vector<uint8_t> s4Bytes = unmapped.Build();  // outlives the source
  MemorySource s4(s4Bytes);
  EXPECT_FALSE(PXGetTGAPalette(s4, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_TGA);
  const std::vector<uint8_t> s5Bytes = mapped().Build();  // outlives the source
  MemorySource s5(s5Bytes);
  EXPECT_EQ(PXReadTGA(s5, &w, &h, 8, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(Tga, RunLengthDataEndingEarlyKeepsTheRowsReadWithError3) {
  TgaFile f = TrueColour(2, 3, 10);
  f.descriptor = 0x20;
  f.data = {0x81, 1, 2, 3, 0x01, 4, 5, 6};  // two rows and a packet without its pixels
  Result r;
  Read(f.Build(), 24, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ASSERT_NE(r.block.block, nullptr);
  EXPECT_EQ(r.Bytes(18), (Pixels{3, 2, 1, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

BOOL StopAtOnce(UINT, UINT, DWORD_PTR) {
  return FALSE;
}

TEST(Tga, AbortKeepsTheFirstRow) {
  TgaFile f = TrueColour(1, 2);
  f.data = {1, 2, 3, 4, 5, 6};  // bottom-up: the first stored row is the bottom one
  PXSetProgressCallback(StopAtOnce, 0);
  Result r;
  Read(f.Build(), 24, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.Bytes(6), (Pixels{0, 0, 0, 3, 2, 1}));
}

std::vector<std::string> traces;
void KeepTrace(const char* text) {
  traces.emplace_back(text);
}

TEST(Tga, TheFooterIsTracedAndChangesNothing) {
  TgaFile f = TrueColour(2, 1);
  f.data = {1, 2, 3, 4, 5, 6};
  Pixels plain = ReadOK(f, 24);
  f.footer = true;
  traces.clear();
  PXTraceHook old = PXSetTraceHook(KeepTrace);
  Pixels withFooter = ReadOK(f, 24);
  PXSetTraceHook(old);
  EXPECT_EQ(plain, withFooter);
  EXPECT_NE(std::find(traces.begin(), traces.end(), "Found TGA footer\n"), traces.end());
}

}  // namespace
