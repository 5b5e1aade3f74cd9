// TGA reader: packets, origins, colour maps, grey and 16-bit pixels, DIBs, damaged files.
#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"

namespace {

using pxtest::TgaFile;
using Result = pxtest::Decoded;
using Pixels = std::vector<uint8_t>;

void Read(const TgaFile& f, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kTGA, f.Build(), depth, r, flags);
}

Pixels ReadOK(const TgaFile& f, uint32_t depth) {
  Result r;
  Read(f, depth, &r);
  EXPECT_EQ(r.error, 0);
  return r.Bytes(size_t(f.width) * f.height * depth / 8);
}

TgaFile Image(uint8_t type, uint16_t w, uint16_t h, uint8_t depth, Pixels data) {
  TgaFile f;
  f.imageType = type;
  f.width = w;
  f.height = h;
  f.pixelDepth = depth;
  f.data = std::move(data);
  return f;
}

TgaFile Mapped(uint16_t first, uint16_t length, Pixels map, Pixels data, uint8_t depth = 8) {
  const auto width = uint16_t(data.size() * 8 / depth);
  TgaFile f = Image(1, width, 1, depth, std::move(data));
  f.colorMapType = 1;
  f.mapFirst = first;
  f.mapLength = length;
  f.mapEntryBits = uint8_t(map.size() / length * 8);
  f.map = std::move(map);
  return f;
}

TEST(Tga, RunLengthPacketsRepeatAndCrossRowEnds) {
  // Packet 83 gives four pixels; in a 3-wide image the fourth starts row 1, and a raw
  // packet of two finishes it.
  TgaFile f = Image(10, 3, 2, 24, {0x83, 3, 2, 1, 0x01, 6, 5, 4, 9, 8, 7});
  f.descriptor = 0x20;
  EXPECT_EQ(ReadOK(f, 24), (Pixels{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  TgaFile g = Image(11, 3, 2, 8, {0x04, 10, 20, 30, 40, 50, 0x80, 60});
  g.descriptor = 0x20;
  Result r;
  Read(g, 8, &r);  // run-length grey files read as indices too
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(6), (Pixels{10, 20, 30, 40, 50, 60}));
}

TEST(Tga, EveryOriginGivesTheSameTopDownBuffer) {
  // The image is 1 2 / 3 4 (grey levels); each origin stores it in its own order.
  const std::pair<uint8_t, Pixels> layouts[] = {
      {0x00, {3, 4, 1, 2}}, {0x20, {1, 2, 3, 4}}, {0x10, {4, 3, 2, 1}}, {0x30, {2, 1, 4, 3}}};
  for (const auto& [descriptor, stored] : layouts) {
    TgaFile f = Image(3, 2, 2, 8, stored);
    f.descriptor = descriptor;
    EXPECT_EQ(ReadOK(f, 24), (Pixels{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4})) << int(descriptor);
  }
}

TEST(Tga, ColourMapEntriesLandAtTheirIndicesAndOthersTakeEntryZero) {
  // Two entries stored from index 2: the pixels after them are pixels, not map entries.
  TgaFile f = Mapped(2, 2, {30, 20, 10, 60, 50, 40}, {2, 3, 0, 200});
  EXPECT_EQ(ReadOK(f, 24), (Pixels{10, 20, 30, 40, 50, 60, 0, 0, 0, 0, 0, 0}));
  const Pixels file = f.Build();  // outlives the source
  pxtest::MemorySource src(file);
  uint32_t count = 0;
  RGBQUAD pal[256];
  ASSERT_TRUE(PXGetTGAPalette(src, &count, pal));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(pal[3].rgbBlue, 60);
  EXPECT_EQ(pal[3].rgbReserved, 255);
  Result r;
  Read(f, 8, &r);
  EXPECT_EQ(r.Bytes(4), (Pixels{2, 3, 0, 200}));
  EXPECT_EQ(std::memcmp(r.palette, pal, sizeof pal), 0);

  // 16-bit indices: 299 within a 300-entry map, 0x1234 far beyond it.
  Pixels map(900, 0);
  map[3 * 299] = 99;  // blue of entry 299
  EXPECT_EQ(ReadOK(Mapped(0, 300, map, {0x2B, 0x01, 0x34, 0x12}, 16), 24),
            (Pixels{0, 0, 99, 0, 0, 0}));
}

TEST(Tga, FiveBitChannelsAreScaledByEight) {
  TgaFile f = Image(2, 3, 1, 16, {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C});  // white, blue, red
  EXPECT_EQ(ReadOK(f, 32), (Pixels{248, 248, 248, 255, 0, 0, 248, 255, 248, 0, 0, 255}));
  EXPECT_EQ(ReadOK(Mapped(0, 2, {0xE0, 0x03, 0x21, 0x04}, {0, 1}), 24),
            (Pixels{0, 248, 0, 8, 8, 8}));
}

TEST(Tga, GreyFiles) {
  Result r;
  Read(Image(3, 2, 1, 8, {7, 250}), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(2), (Pixels{7, 250}));
  const RGBQUAD ramp7 = {7, 7, 7, 255};
  EXPECT_EQ(std::memcmp(&r.palette[7], &ramp7, 4), 0);
  const Pixels file = Image(11, 1, 1, 8, {0, 9}).Build();  // outlives the source
  pxtest::MemorySource src(file);
  uint32_t count = 0;
  RGBQUAD pal[256];
  ASSERT_TRUE(PXGetTGAPalette(src, &count, pal));
  EXPECT_EQ(count, 256u);
  EXPECT_EQ(std::memcmp(pal, r.palette, sizeof pal), 0);
  // 16-bit grey files hold a grey level and an alpha.
  EXPECT_EQ(ReadOK(Image(3, 2, 1, 16, {100, 255, 30, 0}), 32),
            (Pixels{100, 100, 100, 255, 30, 30, 30, 0}));
}

TEST(Tga, PackedDIBs) {
  Result r;
  Read(Image(2, 1, 2, 32, {1, 2, 3, 4, 5, 6, 7, 8}), 8, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(r.block.block)->biBitCount, 32);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 48), (Pixels{1, 2, 3, 4, 5, 6, 7, 8}));
  Read(Mapped(0, 1, {30, 20, 10}, {0, 0}), 24, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(GlobalSize(r.block.block), 48u);
  EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(r.block.block)->biBitCount, 24);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 48),
            (Pixels{30, 20, 10, 30, 20, 10, 0, 0}));
}

TEST(Tga, BadFilesAndRequests) {
  struct Case {
    const char* name;
    void (*change)(TgaFile&);
    uint32_t depth;
    int error;
  } cases[] = {
      {"type 4", [](TgaFile& f) { f.imageType = 4; }, 24, PX_ERR_BAD_TGA},
      {"depth 40", [](TgaFile& f) { f.pixelDepth = 40; }, 24, PX_ERR_BAD_TGA},
      {"depth 12", [](TgaFile& f) { f.pixelDepth = 12; }, 24, PX_ERR_BAD_TGA},
      {"grey depth 4", [](TgaFile& f) { f.imageType = 3, f.pixelDepth = 4; }, 8, PX_ERR_BAD_TGA},
      {"width 0", [](TgaFile& f) { f.width = 0; }, 24, PX_ERR_BAD_TGA},
      {"depth 16 asked", [](TgaFile&) {}, 16, PX_ERR_PARAMETER},
      {"24-bit at 8", [](TgaFile&) {}, 8, PX_ERR_BIT_DEPTH},
      {"mapped 24-bit pixels", [](TgaFile& f) { f.imageType = 1; }, 24, PX_ERR_BAD_TGA},
      {"mapped without a map", [](TgaFile& f) { f.imageType = 1, f.pixelDepth = 8; }, 24,
       PX_ERR_BAD_TGA},
      {"map entries of 12 bits",
       [](TgaFile& f) { f.colorMapType = 1, f.mapLength = 1, f.mapEntryBits = 12; }, 24,
       PX_ERR_BAD_TGA},
      {"map beyond the file", [](TgaFile& f) { f.colorMapType = 1, f.mapLength = 9999; }, 24,
       PX_ERR_FILE_READ},
      {"raw 60000 x 60000", [](TgaFile& f) { f.width = f.height = 60000; }, 24, PX_ERR_FILE_READ},
      {"run-length 60000 x 60000", [](TgaFile& f) { f.imageType = 10, f.width = f.height = 60000; },
       24, PX_ERR_FILE_READ},
  };
  for (const Case& c : cases) {
    TgaFile f = Image(2, 1, 1, 24, {1, 2, 3});
    f.mapEntryBits = 24;
    c.change(f);
    Result r;
    Read(f, c.depth, &r);
    EXPECT_EQ(r.block.block, nullptr) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }
  const Pixels file = Image(2, 1, 1, 16, {0, 0}).Build();  // outlives the source
  pxtest::MemorySource src(file);
  uint32_t count;
  RGBQUAD pal[256];
  EXPECT_FALSE(PXGetTGAPalette(src, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BIT_DEPTH);
}

BOOL StopAtOnce(UINT, UINT, DWORD_PTR) {
  return FALSE;
}

// The colour map is judged after the image ID: a file cut short inside the ID reports the
// short read, a complete one the map's fault.
TEST(Tga, ColourMapFaultsAfterTheImageID) {
  TgaFile f = Image(1, 2, 1, 8, {0, 1});
  f.colorMapType = 1;
  f.mapLength = 2;
  f.mapEntryBits = 12;
  f.idLength = 10;
  f.map = Pixels(4, 0x55);
  std::vector<uint8_t> cut = f.Build();
  cut.resize(18 + 5);
  for (uint32_t depth : {8u, 24u}) {
    Result r;
    Read(f, depth, &r);
    EXPECT_EQ(r.error, PX_ERR_BAD_TGA) << depth;
    pxtest::DecodeSmallFormat(pxtest::SmallFormat::kTGA, cut, depth, &r, 0);
    EXPECT_EQ(r.error, PX_ERR_FILE_READ) << depth;
  }
}

TEST(Tga, ShortDataAndAbortReturnTheRowsDone) {
  // Bottom-up: the first stored row is the last image row.
  TgaFile f = Image(10, 2, 3, 24, {0x81, 1, 2, 3, 0x01, 4, 5, 6});
  Result r;
  Read(f, 24, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.Bytes(18), (Pixels{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1, 3, 2, 1}));
  PXSetProgressCallback(StopAtOnce, 0);
  Read(f, 24, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.Bytes(18), (Pixels{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1, 3, 2, 1}));
}

}  // namespace
