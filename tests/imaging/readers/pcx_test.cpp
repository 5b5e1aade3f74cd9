// PCX reader: plane layouts, palettes, run-length lines, packed DIBs and damaged files.
#include <chrono>
#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::MemorySource;
using pxtest::PcxFile;
using pxtest::RGB;

using Result = pxtest::Decoded;

void Read(const std::vector<uint8_t>& file, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, file, depth, r, flags);
}

// Splits pixel values into planes: plane p holds bits p*bits .. of every value, packed
// most significant first into `bytesPerLine` bytes.
std::vector<uint8_t> Planar(const std::vector<uint32_t>& values, uint32_t bits, uint32_t planes,
                            uint32_t bytesPerLine) {
  std::vector<uint8_t> line(size_t(planes) * bytesPerLine, 0);
  const uint32_t mask = (1u << bits) - 1;
  for (uint32_t p = 0; p < planes; ++p) {
    for (size_t x = 0; x < values.size(); ++x) {
      uint32_t v = (values[x] >> (p * bits)) & mask;
      size_t bit = x * bits;
      line[p * bytesPerLine + bit / 8] |= uint8_t(v << (8 - bits - bit % 8));
    }
  }
  return line;
}

RGBQUAD Quad(const RGB& c) {
  return {c[2], c[1], c[0], 0};
}

bool SameQuad(const RGBQUAD& a, const RGBQUAD& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

PcxFile SixteenColours() {
  PcxFile f;
  f.bitsPerPlane = 1;
  f.planes = 4;
  f.width = 16;
  f.height = 1;
  for (uint8_t i = 0; i < 16; ++i) f.headerColors.push_back({uint8_t(16 * i), uint8_t(255 - i), i});
  std::vector<uint32_t> values(16);
  for (uint32_t x = 0; x < 16; ++x) values[x] = x;
  f.lines.push_back(Planar(values, 1, 4, f.LineBytes()));
  return f;
}

TEST(Pcx, SixteenColourFourPlaneFileGivesIndicesAndTheHeaderPalette) {
  PcxFile f = SixteenColours();
  Result r;
  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(r.width, 16u);
  std::vector<uint8_t> want(16);
  for (int x = 0; x < 16; ++x) want[x] = uint8_t(x);
  EXPECT_EQ(r.Bytes(16), want);  // plane 0 is the lowest bit
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(SameQuad(r.palette[i], Quad(f.headerColors[i]))) << i;
  for (int i = 16; i < 256; ++i) EXPECT_TRUE(SameQuad(r.palette[i], r.palette[0])) << i;

  Result rgb;
  Read(f.Build(), 24, &rgb);
  ASSERT_EQ(rgb.error, 0);
  std::vector<uint8_t> colours = rgb.Bytes(48);
  for (int x = 0; x < 16; ++x)
    EXPECT_EQ((RGB{colours[3 * x], colours[3 * x + 1], colours[3 * x + 2]}), f.headerColors[x]);

  Result one;
  Read(f.Build(), 1, &one);
  EXPECT_EQ(one.block.block, nullptr);
  EXPECT_EQ(one.error, PX_ERR_BIT_DEPTH);
}

TEST(Pcx, TwoBitPlanesAndFourBitPixelsCombineLikewise) {
  PcxFile f;
  f.bitsPerPlane = 2;
  f.planes = 2;
  f.width = 5;
  std::vector<uint32_t> values = {0, 15, 6, 9, 12};
  f.lines.push_back(Planar(values, 2, 2, f.LineBytes()));
  Result r;
  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(5), (std::vector<uint8_t>{0, 15, 6, 9, 12}));

  PcxFile g;
  g.bitsPerPlane = 4;
  g.width = 3;
  g.lines.push_back(Planar({7, 0, 13}, 4, 1, g.LineBytes()));
  Read(g.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(3), (std::vector<uint8_t>{7, 0, 13}));
}

TEST(Pcx, PlanesStartEveryBytesPerLineEvenWhenItIsOdd) {
  // 24-bit, 5 pixels: red, green and blue planes of 5 bytes each, then the same with two
  // padding bytes per plane.
  for (uint16_t bpl : {5, 7}) {
    PcxFile f;
    f.planes = 3;
    f.width = 5;
    f.height = 2;
    f.bytesPerLine = bpl;
    for (uint8_t y = 0; y < 2; ++y) {
      std::vector<uint8_t> line(3 * size_t(bpl), 0xEE);
      for (uint8_t x = 0; x < 5; ++x) {
        line[x] = uint8_t(10 * x + y);
        line[bpl + x] = uint8_t(100 + x);
        line[2 * bpl + x] = uint8_t(200 + x + y);
      }
      f.lines.push_back(line);
    }
    Result r;
    Read(f.Build(), 24, &r);
    ASSERT_EQ(r.error, 0) << bpl;
    std::vector<uint8_t> want;
    for (uint8_t y = 0; y < 2; ++y)
      for (uint8_t x = 0; x < 5; ++x)
        want.insert(want.end(), {uint8_t(10 * x + y), uint8_t(100 + x), uint8_t(200 + x + y)});
    EXPECT_EQ(r.Bytes(30), want) << "bytes per line " << bpl;
  }
}

TEST(Pcx, TheTailTableNeedsMarker12AndVersion5) {
  PcxFile f;
  f.width = 4;
  f.lines.push_back({0, 1, 128, 255});
  for (int i = 0; i < 256; ++i) f.table.push_back({uint8_t(255 - i), uint8_t(i), uint8_t(i / 2)});

  struct Case {
    uint8_t version;
    int marker;
    bool table;
  } cases[] = {{5, 12, true}, {5, 11, false}, {3, 12, false}, {5, -1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("version " + std::to_string(c.version) + " marker " + std::to_string(c.marker));
    f.version = c.version;
    f.tableMarker = c.marker;
    const std::vector<uint8_t> srcBytes = f.Build();  // outlives the source
    MemorySource src(srcBytes);
    uint32_t count = 0;
    RGBQUAD pal[256];
    ASSERT_TRUE(PXGetPCXPalette(src, &count, pal));
    EXPECT_EQ(count, 256u);
    for (int i = 0; i < 256; ++i) {
      RGBQUAD want = c.table ? Quad(f.table[i]) : RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
      ASSERT_TRUE(SameQuad(pal[i], want)) << i;
    }
    Result r;
    Read(f.Build(), 24, &r);
    ASSERT_EQ(r.error, 0);
    std::vector<uint8_t> want;
    for (uint8_t v : {0, 1, 128, 255})
      want.insert(want.end(), {pal[v].rgbRed, pal[v].rgbGreen, pal[v].rgbBlue});
    EXPECT_EQ(r.Bytes(12), want);
  }
}

TEST(Pcx, RunByteC5RepeatsFiveTimesAndRunsStopAtTheLineEnd) {
  PcxFile f;
  f.width = 7;
  f.height = 3;
  f.bytesPerLine = 7;
  // Row 0: C5 07 gives five 07, then two literals. Row 1: a run of 9 is cut after 7
  // bytes. Row 2 starts afresh; C0 is an empty run whose value byte is skipped.
  f.data = {0xC5, 0x07, 0x01, 0x02, 0xC9, 0x03, 0xC0, 0x55,
            0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0xC1, 0xC1};
  Result r;
  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(21), (std::vector<uint8_t>{7, 7, 7, 7, 7, 1,  2,  //
                                               3, 3, 3, 3, 3, 3,  3,  //
                                               4, 5, 6, 8, 9, 10, 0xC1}));
}

TEST(Pcx, OneBitFileAtEveryDepth) {
  PcxFile f;
  f.bitsPerPlane = 1;
  f.width = 10;
  f.height = 2;
  f.headerColors = {{255, 0, 0}, {0, 255, 0}};  // ignored: 1-bit files are black and white
  f.lines = {{0xA5, 0xC0}, {0x00, 0x40}};
  Result r;
  Read(f.Build(), 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(4), (std::vector<uint8_t>{0xA5, 0xC0, 0x00, 0x40}));
  EXPECT_TRUE(SameQuad(r.palette[0], RGBQUAD{0, 0, 0, 0}));
  EXPECT_TRUE(SameQuad(r.palette[1], RGBQUAD{255, 255, 255, 0}));
  EXPECT_TRUE(SameQuad(r.palette[255], RGBQUAD{0, 0, 0, 0}));

  Read(f.Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(20), (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1, 1, 1,  //
                                               0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  Read(f.Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  std::vector<uint8_t> rgb = r.Bytes(60);
  EXPECT_EQ(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 6),
            (std::vector<uint8_t>{255, 255, 255, 0, 0, 0}));
}

TEST(Pcx, PackedDIBsInTheFilesOwnDepth) {
  PcxFile f;
  f.width = 3;
  f.height = 2;
  f.lines = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  Result r;
  Read(f.Build(), 24, &r, PX_READ_PACKED_DIB);  // the depth is ignored
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(GlobalSize(r.block.block), 40u + 1024 + 2 * 4);
  auto* h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(h->biClrUsed, 256u);
  EXPECT_EQ(h->biHeight, 2);
  const uint8_t* rows = r.block.bytes() + 40 + 1024;
  EXPECT_EQ(std::vector<uint8_t>(rows, rows + 8), (std::vector<uint8_t>{4, 5, 6, 0, 1, 2, 3, 0}));

  PcxFile c;
  c.planes = 3;
  c.width = 1;
  c.height = 2;
  c.lines = {{10, 0, 20, 0, 30, 0}, {40, 0, 50, 0, 60, 0}};
  Read(c.Build(), 8, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biClrUsed, 0u);
  rows = r.block.bytes() + 40;
  EXPECT_EQ(std::vector<uint8_t>(rows, rows + 8),
            (std::vector<uint8_t>{60, 50, 40, 0, 30, 20, 10, 0}));

  PcxFile b;
  b.bitsPerPlane = 1;
  b.width = 9;
  b.lines = {{0xFF, 0x80}};
  Read(b.Build(), 0, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_EQ(h->biClrUsed, 2u);
  const uint8_t* dib = r.block.bytes();
  EXPECT_EQ(std::vector<uint8_t>(dib + 40, dib + 52),
            (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0, 0xFF, 0x80, 0, 0}));

  // A 16-colour file has no DIB form here.
  Read(SixteenColours().Build(), 0, &r, PX_READ_PACKED_DIB);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_UNEXPECTED);
}

TEST(Pcx, DimensionsAndResolution) {
  PcxFile f;
  f.xmin = 10;
  f.ymin = 20;
  f.width = 300;
  f.height = 2;
  f.planes = 3;
  f.dpiX = 300;
  f.dpiY = 150;
  const std::vector<uint8_t> srcBytes = f.Build();  // outlives the source
  MemorySource src(srcBytes);
  uint32_t w = 0, h = 0, bits = 0;
  PXResolution res = {9, 9, 9};
  ASSERT_TRUE(PXGetPCXDimensionsEx(src, &w, &h, &bits, &res));
  EXPECT_EQ(w, 300u);
  EXPECT_EQ(h, 2u);
  EXPECT_EQ(bits, 24u);
  EXPECT_EQ(res.x, 300u);
  EXPECT_EQ(res.y, 150u);
  EXPECT_EQ(res.unit, 0u);
  PXSeekSource(src, 0, PX_SEEK_SET);
  uint32_t count;
  RGBQUAD pal[256];
  EXPECT_FALSE(PXGetPCXPalette(src, &count, pal));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BIT_DEPTH);
}

TEST(Pcx, BadHeadersAndImpossibleRequests) {
  auto base = [] {
    PcxFile f;
    f.width = 4;
    f.lines = {{1, 2, 3, 4}};
    return f;
  };
  struct Case {
    const char* name;
    PcxFile file;
    uint32_t depth;
    int error;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, auto change, uint32_t depth, int error) {
    PcxFile f = base();
    change(f);
    cases.push_back({name, f, depth, error});
  };
  add(
      "manufacturer 11", [](PcxFile& f) { f.manufacturer = 11; }, 8, PX_ERR_BAD_PCX);
  add(
      "version 1", [](PcxFile& f) { f.version = 1; }, 8, PX_ERR_BAD_PCX);
  add(
      "version 4", [](PcxFile& f) { f.version = 4; }, 8, PX_ERR_BAD_PCX);
  add(
      "no planes", [](PcxFile& f) { f.planes = 0; }, 8, PX_ERR_BAD_PCX);
  add(
      "no bits", [](PcxFile& f) { f.bitsPerPlane = 0; }, 8, PX_ERR_BAD_PCX);
  add(
      "40 bits", [](PcxFile& f) { f.planes = 5; }, 24, PX_ERR_BAD_PCX);
  add(
      "xmax below xmin", [](PcxFile& f) { f.xmin = 5, f.width = 0xFFFF; }, 8, PX_ERR_BAD_PCX);
  add(
      "line shorter than the row", [](PcxFile& f) { f.bytesPerLine = 3; }, 8, PX_ERR_BAD_PCX);
  add(
      "depth 16", [](PcxFile&) {}, 16, PX_ERR_PARAMETER);
  add(
      "8-bit at depth 1", [](PcxFile&) {}, 1, PX_ERR_BIT_DEPTH);
  add(
      "24-bit at depth 8", [](PcxFile& f) { f.planes = 3; }, 8, PX_ERR_BIT_DEPTH);
  add(
      "32-bit at depth 24", [](PcxFile& f) { f.planes = 4; }, 24, PX_ERR_BIT_DEPTH);
  add(
      "16-bit at depth 24", [](PcxFile& f) { f.planes = 2; }, 24, PX_ERR_UNEXPECTED);
  add(
      "3-bit planes", [](PcxFile& f) { f.bitsPerPlane = 3; }, 8, PX_ERR_UNEXPECTED);
  for (const Case& c : cases) {
    Result r;
    Read(c.file.Build(), c.depth, &r);
    EXPECT_EQ(r.block.block, nullptr) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }

  std::vector<uint8_t> header = base().Build();
  header.resize(100);
  Result r;
  Read(header, 8, &r);
  EXPECT_EQ(r.error, PX_ERR_BAD_PCX);
  MemorySource src(header);
  uint32_t w, h, bits;
  EXPECT_FALSE(PXGetPCXDimensions(src, &w, &h, &bits));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_PCX);

  Read(base().Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  RGBQUAD pal[256];
  EXPECT_EQ(PXReadPCX(nullptr, &w, &h, 8, pal, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  const std::vector<uint8_t> goodBytes = base().Build();  // outlives the source
  MemorySource good(goodBytes);
  EXPECT_EQ(PXReadPCX(good, &w, &h, 8, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(Pcx, HugeClaimInASmallFileIsRefusedBeforeAllocating) {
  PcxFile f;
  f.width = 60000;
  f.height = 60000;
  f.planes = 3;
  f.data = {0xFF, 0x00, 0xFF, 0x00};
  auto start = std::chrono::steady_clock::now();
  Result r;
  Read(f.Build(), 24, &r);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  // Refused from the header, not after touching 10 gigabytes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(Pcx, DataEndingInsideTheRowsKeepsTheRowsReadWithError3) {
  PcxFile f;
  f.width = 4;
  f.height = 4;
  f.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC9};  // two rows, then half a run pair
  Result r;
  Read(f.Build(), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ASSERT_NE(r.block.block, nullptr);
  EXPECT_EQ(r.width, 4u);
  EXPECT_EQ(r.height, 4u);
  EXPECT_EQ(r.Bytes(16), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0}));
}

struct ProgressLog {
  std::vector<std::pair<UINT, UINT>> calls;
  int stopAt = -1;
};

BOOL LogProgress(UINT current, UINT total, DWORD_PTR user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.emplace_back(current, total);
  return int(log->calls.size()) != log->stopAt + 1;
}

TEST(Pcx, ProgressPerLineAndAbortKeepsTheRowsDone) {
  PcxFile f;
  f.width = 2;
  f.height = 3;
  f.lines = {{1, 2}, {3, 4}, {5, 6}};
  ProgressLog log;
  PXSetProgressCallback(LogProgress, reinterpret_cast<DWORD_PTR>(&log));
  Result r;
  Read(f.Build(), 8, &r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(log.calls, (std::vector<std::pair<UINT, UINT>>{{0, 3}, {1, 3}, {2, 3}}));

  log = {};
  log.stopAt = 0;
  Read(f.Build(), 8, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_NE(r.block.block, nullptr);
  EXPECT_EQ(r.Bytes(6), (std::vector<uint8_t>{1, 2, 0, 0, 0, 0}));
}

}  // namespace
