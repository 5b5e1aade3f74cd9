// PCX reader: plane layouts, palettes, run-length lines, packed DIBs and damaged files.
#include <cstring>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"

namespace {

using pxtest::PcxFile;
using Result = pxtest::Decoded;
using Pixels = std::vector<uint8_t>;

void Read(const PcxFile& f, uint32_t depth, Result* r, uint32_t flags = 0) {
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, f.Build(), depth, r, flags);
}

bool Same(const RGBQUAD& a, const RGBQUAD& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Pcx, SixteenColourFourPlaneFile) {
  // Pixel x has value x; plane p holds bit p of every pixel.
  PcxFile f;
  f.bitsPerPlane = 1;
  f.planes = 4;
  f.width = 16;
  Pixels line(8, 0);
  for (int x = 0; x < 16; ++x)
    for (int p = 0; p < 4; ++p)
      if (x >> p & 1) line[2 * p + x / 8] |= uint8_t(0x80 >> (x % 8));
  f.lines = {line};
  for (uint8_t i = 0; i < 16; ++i) f.headerColors.push_back({uint8_t(16 * i), uint8_t(255 - i), i});
  Result r;
  Read(f, 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(16), (Pixels{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r.palette[i].rgbRed, 16 * i) << i;
  EXPECT_EQ(r.palette[5].rgbGreen, 250);
  for (int i = 16; i < 256; ++i) EXPECT_TRUE(Same(r.palette[i], r.palette[0])) << i;
  Read(f, 1, &r);
  EXPECT_EQ(r.block.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  // A 4-bit file has no DIB form here.
  Read(f, 0, &r, PX_READ_PACKED_DIB);
  EXPECT_EQ(r.error, PX_ERR_UNEXPECTED);
  // Five planes: 32 colours wanted, 16 in the header; the others copy entry 0.
  f.planes = 5;
  f.lines[0].resize(10, 0xFF);
  Read(f, 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(2), (Pixels{16, 17}));
  EXPECT_TRUE(Same(r.palette[17], r.palette[0]));
}

TEST(Pcx, PlanesStartEveryBytesPerLineEvenWhenItIsOdd) {
  for (uint16_t bpl : {5, 7}) {  // 24-bit, 5 pixels, with and without padding
    PcxFile f;
    f.planes = 3;
    f.width = 5;
    f.bytesPerLine = bpl;
    Pixels line(3 * size_t(bpl), 0xEE), want;
    for (uint8_t x = 0; x < 5; ++x) {
      line[x] = 10 * x, line[bpl + x] = 100 + x, line[2 * bpl + x] = 200 + x;
      want.insert(want.end(), {uint8_t(10 * x), uint8_t(100 + x), uint8_t(200 + x)});
    }
    f.lines = {line};
    Result r;
    Read(f, 24, &r);
    ASSERT_EQ(r.error, 0);
    EXPECT_EQ(r.Bytes(15), want) << "bytes per line " << bpl;
  }
}

TEST(Pcx, TheTailTableNeedsMarker12AndVersion5) {
  PcxFile f;
  f.width = 2;
  f.lines = {{1, 255}};
  for (int i = 0; i < 256; ++i) f.table.push_back({uint8_t(255 - i), uint8_t(i), 7});
  struct {
    uint8_t version;
    int marker;
    bool table;
  } cases[] = {{5, 12, true}, {5, 11, false}, {3, 12, false}, {5, -1, false}};
  for (const auto& c : cases) {
    f.version = c.version;
    f.tableMarker = c.marker;
    Result r;
    Read(f, 24, &r);
    ASSERT_EQ(r.error, 0);
    Pixels want = c.table ? Pixels{254, 1, 7, 0, 255, 7} : Pixels{1, 1, 1, 255, 255, 255};
    EXPECT_EQ(r.Bytes(6), want) << int(c.version) << " " << c.marker;
    const Pixels file = f.Build();  // outlives the source
    pxtest::MemorySource src(file);
    uint32_t count = 0;
    RGBQUAD pal[256];
    ASSERT_TRUE(PXGetPCXPalette(src, &count, pal));
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(pal[1].rgbRed, want[0]);
  }
}

TEST(Pcx, RunByteC5RepeatsFiveTimesAndRunsStopAtTheLineEnd) {
  PcxFile f;
  f.width = 7;
  f.height = 3;
  f.bytesPerLine = 7;
  // Row 1 is a run of 9 cut after 7 bytes; row 2 starts afresh, with an empty run (C0).
  f.data = {0xC5, 7, 1, 2, 0xC9, 3, 0xC0, 0x55, 4, 5, 6, 8, 9, 10, 0xC1, 0xC1};
  Result r;
  Read(f, 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(21),
            (Pixels{7, 7, 7, 7, 7, 1, 2, 3, 3, 3, 3, 3, 3, 3, 4, 5, 6, 8, 9, 10, 0xC1}));
}

TEST(Pcx, OneBitFileIsBlackAndWhiteAtEveryDepth) {
  PcxFile f;
  f.bitsPerPlane = 1;
  f.width = 10;
  f.headerColors = {{255, 0, 0}, {0, 255, 0}};  // not used by 1-bit files
  f.lines = {{0xA5, 0xC0}};
  Result r;
  Read(f, 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(2), (Pixels{0xA5, 0xC0}));
  EXPECT_TRUE(Same(r.palette[1], {255, 255, 255, 0}));
  EXPECT_TRUE(Same(r.palette[2], {0, 0, 0, 0}));
  Read(f, 8, &r);
  EXPECT_EQ(r.Bytes(10), (Pixels{1, 0, 1, 0, 0, 1, 0, 1, 1, 1}));
  Read(f, 24, &r);
  EXPECT_EQ(r.Bytes(6), (Pixels{255, 255, 255, 0, 0, 0}));
}

TEST(Pcx, PackedDIBsAreBottomUpInTheFilesOwnDepth) {
  PcxFile f;
  f.width = 3;
  f.height = 2;
  f.lines = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  Result r;
  Read(f, 24, &r, PX_READ_PACKED_DIB);  // the requested depth does not count
  ASSERT_EQ(r.error, 0);
  ASSERT_EQ(GlobalSize(r.block.block), 40u + 1024 + 8);
  auto* h = static_cast<BITMAPINFOHEADER*>(r.block.block);
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(h->biClrUsed, 256u);
  EXPECT_EQ(Pixels(r.block.bytes() + 1064, r.block.bytes() + 1072),
            (Pixels{4, 5, 6, 0, 1, 2, 3, 0}));
  f.planes = 3;
  f.width = 1;
  f.lines = {{10, 0, 20, 0, 30, 0}, {40, 0, 50, 0, 60, 0}};
  Read(f, 8, &r, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(static_cast<BITMAPINFOHEADER*>(r.block.block)->biBitCount, 24);
  EXPECT_EQ(Pixels(r.block.bytes() + 40, r.block.bytes() + 48),
            (Pixels{60, 50, 40, 0, 30, 20, 10, 0}));
}

TEST(Pcx, BadHeadersAndImpossibleRequests) {
  struct Case {
    const char* name;
    void (*change)(PcxFile&);
    uint32_t depth;
    int error;
  } cases[] = {
      {"manufacturer 11", [](PcxFile& f) { f.manufacturer = 11; }, 8, PX_ERR_BAD_PCX},
      {"version 4", [](PcxFile& f) { f.version = 4; }, 8, PX_ERR_BAD_PCX},
      {"no planes", [](PcxFile& f) { f.planes = 0; }, 8, PX_ERR_BAD_PCX},
      {"40 bits", [](PcxFile& f) { f.planes = 5; }, 24, PX_ERR_BAD_PCX},
      {"xmax below xmin", [](PcxFile& f) { f.xmin = 5, f.width = 0xFFFF; }, 8, PX_ERR_BAD_PCX},
      {"line shorter than a row", [](PcxFile& f) { f.bytesPerLine = 3; }, 8, PX_ERR_BAD_PCX},
      {"depth 16", [](PcxFile&) {}, 16, PX_ERR_PARAMETER},
      {"8-bit at depth 1", [](PcxFile&) {}, 1, PX_ERR_BIT_DEPTH},
      {"24-bit at depth 8", [](PcxFile& f) { f.planes = 3; }, 8, PX_ERR_BIT_DEPTH},
      {"16-bit at depth 24", [](PcxFile& f) { f.planes = 2; }, 24, PX_ERR_UNEXPECTED},
      {"3-bit planes", [](PcxFile& f) { f.bitsPerPlane = 3; }, 8, PX_ERR_UNEXPECTED},
      // 10 gigabytes claimed by a file of 132 bytes: refused before allocating.
      {"60000 x 60000", [](PcxFile& f) { f.planes = 3, f.width = f.height = 60000; }, 24,
       PX_ERR_FILE_READ},
  };
  for (const Case& c : cases) {
    PcxFile f;
    f.width = 4;
    f.lines = {{1, 2, 3, 4}};
    c.change(f);
    Result r;
    Read(f, c.depth, &r);
    EXPECT_EQ(r.block.block, nullptr) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }
  Pixels cut = PcxFile().Build();
  cut.resize(100);
  pxtest::MemorySource src(cut);
  uint32_t w, h, bits;
  EXPECT_FALSE(PXGetPCXDimensions(src, &w, &h, &bits));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_PCX);
  EXPECT_EQ(PXReadPCX(src, &w, &h, 8, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

BOOL StopAtOnce(UINT, UINT, DWORD_PTR) {
  return FALSE;
}

TEST(Pcx, ShortDataAndAbortReturnTheRowsDone) {
  PcxFile f;
  f.width = 2;
  f.height = 3;
  f.data = {1, 2, 3, 4, 0xC9};  // two rows, then a run without its value
  Result r;
  Read(f, 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.height, 3u);
  EXPECT_EQ(r.Bytes(6), (Pixels{1, 2, 3, 4, 0, 0}));
  PXSetProgressCallback(StopAtOnce, 0);
  Read(f, 8, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  EXPECT_EQ(r.Bytes(6), (Pixels{1, 2, 0, 0, 0, 0}));
}

// The same picture at 1, 8 (grey table) and 24 bits, its lines stored with `encoding`.
// Bytes from 0xC0 up are common in it: read as run-length data they would be counts.
std::vector<PcxFile> EveryDepth(uint8_t encoding) {
  const uint16_t w = 10, h = 4;
  PcxFile one, grey, rgb;
  for (PcxFile* f : {&one, &grey, &rgb}) {
    f->encoding = encoding;
    f->width = w;
    f->height = h;
  }
  one.bitsPerPlane = 1;
  grey.tableMarker = 12;
  for (int i = 0; i < 256; ++i) grey.table.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
  rgb.planes = 3;
  for (uint16_t y = 0; y < h; ++y) {
    Pixels bits(one.LineBytes(), 0), index(grey.LineBytes(), 0), planes(3 * rgb.LineBytes(), 0);
    for (uint16_t x = 0; x < w; ++x) {
      uint8_t v = uint8_t(0xC0 + 7 * x + 16 * y);
      if ((x + y) % 3 == 0) bits[x / 8] |= uint8_t(0x80 >> (x % 8));
      index[x] = v;
      for (int p = 0; p < 3; ++p) planes[size_t(p) * rgb.LineBytes() + x] = uint8_t(v + 50 * p);
    }
    one.lines.push_back(bits);
    grey.lines.push_back(index);
    rgb.lines.push_back(planes);
  }
  return {one, grey, rgb};
}

TEST(Pcx, RawLinesOfEncodingZeroReadLikeCodedOnes) {
  const std::vector<PcxFile> raw = EveryDepth(0), coded = EveryDepth(1);
  const uint32_t depths[] = {1, 8, 24};
  for (size_t i = 0; i < raw.size(); ++i) {
    SCOPED_TRACE(depths[i]);
    const std::vector<uint8_t> rawFile = raw[i].Build(), codedFile = coded[i].Build();
    ASSERT_NE(rawFile, codedFile);
    // Dimensions and palette come from the header and the table whatever the encoding.
    pxtest::MemorySource src(rawFile);
    uint32_t w = 0, h = 0, bits = 0;
    ASSERT_TRUE(PXGetPCXDimensions(src, &w, &h, &bits));
    EXPECT_EQ(w, 10u);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(bits, depths[i]);
    if (depths[i] <= 8) {
      RGBQUAD fromRaw[256], fromCoded[256];
      uint32_t count = 0;
      pxtest::MemorySource again(rawFile), other(codedFile);
      ASSERT_TRUE(PXGetPCXPalette(again, &count, fromRaw));
      ASSERT_TRUE(PXGetPCXPalette(other, &count, fromCoded));
      EXPECT_EQ(std::memcmp(fromRaw, fromCoded, sizeof fromRaw), 0);
    }
    for (uint32_t depth : {1u, 8u, 24u}) {
      if (depth < depths[i]) continue;
      Result a, b;
      pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, rawFile, depth, &a);
      pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, codedFile, depth, &b);
      ASSERT_EQ(a.error, 0) << depth;
      ASSERT_EQ(b.error, 0) << depth;
      size_t bytes = PXImageRowBytes(10, depth) * 4;
      EXPECT_EQ(a.Bytes(bytes), b.Bytes(bytes)) << depth;
    }
  }
  // The pixels themselves: grey value at (x, y), and red, green, blue of the 24-bit file.
  Result r;
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, raw[1].Build(), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(40)[3 * 10 + 9], uint8_t(0xC0 + 63 + 48));
  EXPECT_EQ(r.palette[0xF5].rgbBlue, 0xF5);
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, raw[2].Build(), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(6), (Pixels{0xC0, 0xF2, 0x24, 0xC7, 0xF9, 0x2B}));
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, raw[0].Build(), 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.Bytes(2), (Pixels{0x92, 0x40}));  // pixels 0, 3, 6 and 9 of row 0
}

TEST(Pcx, CutRawFileGivesTheRowsItHolds) {
  PcxFile f = EveryDepth(0)[1];
  f.tableMarker = -1;
  std::vector<uint8_t> file = f.Build();
  file.resize(128 + 2 * f.LineBytes() + 3);  // two lines and a bit of the third
  Result r;
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, file, 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ASSERT_EQ(r.height, 4u);
  Pixels rows = r.Bytes(40);
  EXPECT_EQ(rows[10], 0xD0);  // row 1 is there
  EXPECT_EQ(Pixels(rows.begin() + 20, rows.end()), Pixels(20, 0));
  // A header that promises far more rows than the file could hold is refused at once.
  f.height = 60000;
  f.lines.resize(1);
  pxtest::DecodeSmallFormat(pxtest::SmallFormat::kPCX, f.Build(), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.block.block, nullptr);
}

}  // namespace
