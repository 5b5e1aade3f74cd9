// GIF reader: LZW decoding (codes across sub-blocks, interlacing, full tables), colour
// tables and transparency, the first image of an animation, and hostile code streams.
#include <cstring>
#include <random>

#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/pixolith.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::BuildGIF;
using pxtest::GIFFile;
using pxtest::GIFImage;
using pxtest::MemorySource;

std::vector<uint8_t> Ramp(int entries) {
  std::vector<uint8_t> t;
  for (int i = 0; i < entries; ++i) {
    t.push_back(uint8_t(i));
    t.push_back(uint8_t(255 - i));
    t.push_back(uint8_t(i * 7));
  }
  return t;
}

std::vector<uint8_t> RandomIndices(size_t n, int colors, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  // Runs of repeated values mixed with noise, so that the table holds long strings.
  for (size_t i = 0; i < n; ++i) v[i] = (rng() % 3 == 0 && i) ? v[i - 1] : uint8_t(rng() % colors);
  return v;
}

GIFFile OneImage(uint16_t w, uint16_t h, const std::vector<uint8_t>& indices, int minCodeSize = 8) {
  GIFFile gif;
  gif.width = w;
  gif.height = h;
  gif.globalTable = Ramp(1 << minCodeSize);
  GIFImage img;
  img.width = w;
  img.height = h;
  img.indices = indices;
  img.minCodeSize = minCodeSize;
  gif.images.push_back(img);
  return gif;
}

struct Read {
  BlockGuard block;
  uint32_t width = 0;
  uint32_t height = 0;
  int transparent = -2;
  RGBQUAD palette[256];
  int error = -1;
  std::vector<uint8_t> pixels() const {
    return block.block ? std::vector<uint8_t>(block.bytes(), block.bytes() + size_t(width) * height)
                       : std::vector<uint8_t>();
  }
};

void ReadGIF(const std::vector<uint8_t>& file, Read& r, DWORD flags = 0) {
  MemorySource src(file);
  std::memset(r.palette, 0xEE, sizeof r.palette);
  r.block.reset(PXReadGIF(src, &r.width, &r.height, &r.transparent, r.palette, flags));
  r.error = PXGetLastError();
}

TEST(GIFReader, RoundTripsWhateverTheSubBlockSize) {
  // 1-byte sub-blocks make every code of 9 bits or more straddle two or three of them.
  const uint16_t w = 37, h = 23;
  const auto indices = RandomIndices(size_t(w) * h, 256, 1);
  for (size_t sub : {size_t(1), size_t(2), size_t(3), size_t(100), size_t(255)}) {
    GIFFile gif = OneImage(w, h, indices);
    gif.images[0].subBlockSize = sub;
    Read r;
    ReadGIF(BuildGIF(gif), r);
    ASSERT_NE(r.block.block, nullptr) << sub;
    EXPECT_EQ(r.error, 0) << sub;
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(r.pixels(), indices) << "sub-block size " << sub;
  }
}

TEST(GIFReader, SmallCodeSizesAndTwoColourImages) {
  for (int min : {2, 3, 4}) {
    const auto indices = RandomIndices(50 * 9, 1 << min, unsigned(min));
    Read r;
    ReadGIF(BuildGIF(OneImage(50, 9, indices, min)), r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.pixels(), indices) << "minimum code size " << min;
  }
}

TEST(GIFReader, CodeSplitAcrossASubBlockBoundaryByHand) {
  // Clear (9 bits), then 0x41, 0x42 and end: bits 9..17 hold 0x41, so its code starts in
  // the first two-byte sub-block and ends in the second.
  auto data = pxtest::GIFCodes(8, {{256, 9}, {0x41, 9}, {0x42, 9}, {257, 9}}, 2);
  ASSERT_EQ(data[1], 2);  // first sub-block: two bytes
  GIFFile gif = OneImage(2, 1, {});
  gif.images[0].data = data;
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), (std::vector<uint8_t>{0x41, 0x42}));
}

TEST(GIFReader, InterlacedRowsLandInPassOrder) {
  // Ten rows, each filled with its own row number; the file stores them as 0, 8, 4, 2,
  // 6, 1, 3, 5, 7, 9.
  const uint16_t w = 5, h = 10;
  std::vector<uint8_t> image;
  for (uint32_t y = 0; y < h; ++y) image.insert(image.end(), w, uint8_t(y));
  auto stored = pxtest::InterlaceRows(image, w, h);
  ASSERT_EQ(stored[w * 1], 8);
  ASSERT_EQ(stored[w * 2], 4);
  GIFFile gif = OneImage(w, h, stored);
  gif.images[0].interlaced = true;
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), image);

  // Heights where whole passes are empty.
  for (uint16_t height : {1, 2, 3, 4, 5, 9}) {
    std::vector<uint8_t> img;
    for (uint32_t y = 0; y < height; ++y) img.insert(img.end(), w, uint8_t(y + 1));
    GIFFile g = OneImage(w, height, pxtest::InterlaceRows(img, w, height));
    g.images[0].interlaced = true;
    Read r2;
    ReadGIF(BuildGIF(g), r2);
    EXPECT_EQ(r2.pixels(), img) << "height " << height;
  }
}

TEST(GIFReader, FullTableWithoutClearCodeKeepsDecoding) {
  // An encoder may keep using a full table instead of sending a clear code: the image
  // must still come out whole, not stop when the table fills.
  const uint16_t w = 200, h = 150;
  const auto indices = RandomIndices(size_t(w) * h, 256, 7);
  GIFFile gif = OneImage(w, h, {});
  gif.images[0].data = pxtest::GIFImageData(indices, 8, 255, /*clearWhenFull=*/false);
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), indices);
}

TEST(GIFReader, StreamEndingEarlyLeavesTheRestZeroWithoutError) {
  const uint16_t w = 16, h = 8;
  std::vector<uint8_t> top(w * 3, 5);
  GIFFile gif = OneImage(w, h, {});
  gif.images[0].data = pxtest::GIFImageData(top, 8, 255, true, /*endCode=*/false);
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  auto px = r.pixels();
  ASSERT_EQ(px.size(), size_t(w) * h);
  EXPECT_TRUE(std::all_of(px.begin(), px.begin() + w * 3, [](uint8_t v) { return v == 5; }));
  EXPECT_TRUE(std::all_of(px.begin() + w * 3, px.end(), [](uint8_t v) { return v == 0; }));

  // Cut inside the data: the file simply ends.
  auto file = BuildGIF(OneImage(w, h, RandomIndices(w * h, 256, 3)));
  file.erase(file.end() - 40, file.end());
  Read cut;
  ReadGIF(file, cut);
  EXPECT_NE(cut.block.block, nullptr);
  EXPECT_EQ(cut.error, 0);
}

TEST(GIFReader, TransparencyFromTheGraphicControlExtension) {
  GIFFile gif = OneImage(4, 2, {7, 1, 2, 3, 4, 5, 6, 7});
  gif.images[0].transparent = 7;
  auto file = BuildGIF(gif);
  Read r;
  ReadGIF(file, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.transparent, 7);
  EXPECT_EQ(r.palette[7].rgbReserved, 0);
  EXPECT_EQ(r.palette[0].rgbReserved, 255);
  EXPECT_EQ(r.palette[8].rgbReserved, 255);

  MemorySource src(file);
  uint32_t w, h, bits;
  int transparent = -2;
  RGBQUAD pal[256];
  ASSERT_TRUE(PXGetGIFDimensions(src, &w, &h, &bits, &transparent, pal));
  EXPECT_EQ(transparent, 7);
  EXPECT_EQ(bits, 8u);
  EXPECT_EQ(pal[7].rgbReserved, 0);
  EXPECT_EQ(pal[3].rgbRed, 3);
  EXPECT_EQ(pal[3].rgbGreen, 252);
  EXPECT_EQ(pal[3].rgbBlue, 21);

  // Without transparency the index is -1 and entry 0 carries the zero reserved byte.
  Read plain;
  ReadGIF(BuildGIF(OneImage(4, 2, {1, 2, 3, 4, 5, 6, 7, 8})), plain);
  EXPECT_EQ(plain.transparent, -1);
  EXPECT_EQ(plain.palette[0].rgbReserved, 0);
  EXPECT_EQ(plain.palette[1].rgbReserved, 255);
}

TEST(GIFReader, ExtensionsEndingAtTheirFirstSubBlock) {
  // A graphic control and a comment whose first sub-block is already the terminator:
  // nothing after it belongs to them.
  GIFFile gif = OneImage(2, 2, {3, 4, 5, 6});
  gif.extensionsBeforeImages = {{'!', 0xF9, 0}, {'!', 0xFE, 0}, {'!', 0xFF, 0}};
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), (std::vector<uint8_t>{3, 4, 5, 6}));
  EXPECT_EQ(r.transparent, -1);
}

TEST(GIFReader, GIF87aIsNotScannedForTransparency) {
  // The file ends right after the colour table: the 87a dimension query does not look
  // further, the 89a one runs into the end of the data.
  GIFFile gif;
  gif.width = 3;
  gif.height = 4;
  gif.globalTable = Ramp(4);
  gif.trailer = false;
  gif.version = "87a";
  auto file87 = BuildGIF(gif);
  gif.version = "89a";
  auto file89 = BuildGIF(gif);
  uint32_t w = 0, h = 0, bits = 0;
  int transparent = 5;
  {
    MemorySource src(file87);
    EXPECT_TRUE(PXGetGIFDimensions(src, &w, &h, &bits, &transparent, nullptr));
    EXPECT_EQ(transparent, -1);
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(bits, 2u);
  }
  {
    MemorySource src(file89);
    EXPECT_FALSE(PXGetGIFDimensions(src, &w, &h, &bits, &transparent, nullptr));
    EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
  }
}

TEST(GIFReader, AnimationYieldsItsFirstFrame) {
  GIFFile gif;
  gif.width = 20;
  gif.height = 10;
  gif.globalTable = Ramp(256);
  GIFImage first;
  first.left = 3;
  first.top = 2;
  first.width = 6;
  first.height = 4;
  first.indices = RandomIndices(24, 256, 11);
  first.localTable = Ramp(16);  // 16 entries, unlike the global table
  for (size_t i = 0; i < first.localTable.size(); ++i)
    first.localTable[i] = uint8_t(200 - first.localTable[i] / 2);
  GIFImage second = first;
  second.localTable.clear();
  second.indices = std::vector<uint8_t>(24, 9);
  first.indices = RandomIndices(24, 16, 12);
  gif.images = {first, second};
  auto file = BuildGIF(gif);

  Read r;
  ReadGIF(file, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 6u);
  EXPECT_EQ(r.height, 4u);
  EXPECT_EQ(r.pixels(), first.indices);
  // The local table, and zero beyond its 16 entries.
  EXPECT_EQ(r.palette[1].rgbRed, first.localTable[3]);
  EXPECT_EQ(r.palette[15].rgbBlue, first.localTable[47]);
  EXPECT_EQ(r.palette[16].rgbRed, 0);
  EXPECT_EQ(r.palette[16].rgbBlue, 0);

  MemorySource src(file);
  uint32_t w, h, bits;
  int transparent;
  ASSERT_TRUE(PXGetGIFDimensions(src, &w, &h, &bits, &transparent, nullptr));
  EXPECT_EQ(w, 20u);
  EXPECT_EQ(h, 10u);
}

TEST(GIFReader, PackedDIBIsBottomUpWithItsPalette) {
  const uint16_t w = 5, h = 3;
  const std::vector<uint8_t> indices = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  Read r;
  const auto file = BuildGIF(OneImage(w, h, indices));
  MemorySource src(file);
  r.block.reset(PXReadGIF(src, &r.width, &r.height, &r.transparent, nullptr, 2));
  ASSERT_NE(r.block.block, nullptr);
  const auto* hdr = reinterpret_cast<const BITMAPINFOHEADER*>(r.block.bytes());
  EXPECT_EQ(hdr->biSize, 40u);
  EXPECT_EQ(hdr->biWidth, 5);
  EXPECT_EQ(hdr->biHeight, 3);
  EXPECT_EQ(hdr->biBitCount, 8);
  EXPECT_EQ(hdr->biClrUsed, 256u);
  EXPECT_EQ(GlobalSize(r.block.block), 40u + 1024 + 3 * 8);
  const auto* table = reinterpret_cast<const RGBQUAD*>(r.block.bytes() + 40);
  EXPECT_EQ(table[2].rgbRed, 2);
  EXPECT_EQ(table[2].rgbBlue, 14);
  const uint8_t* rows = r.block.bytes() + 40 + 1024;
  EXPECT_EQ(rows[0], 11);     // bottom row first
  EXPECT_EQ(rows[2 * 8], 1);  // top row last
  EXPECT_EQ(rows[2 * 8 + 4], 5);
  EXPECT_EQ(rows[5], 0);  // padding
}

TEST(GIFReader, HeaderErrors) {
  Read r;
  ReadGIF(pxtest::Bytes().str("GIF88a").le16(1).le16(1).fill(20), r);
  EXPECT_EQ(r.error, PX_ERR_BAD_GIF);
  EXPECT_EQ(r.block.block, nullptr);
  ReadGIF(pxtest::Bytes().str("GIF89a").le16(1), r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  ReadGIF(pxtest::Bytes().str("GIF89a").le16(0).le16(5).fill(20), r);
  EXPECT_EQ(r.error, PX_ERR_BAD_GIF);
  // A global table cut short.
  ReadGIF(pxtest::Bytes().str("GIF89a").le16(2).le16(2).u8(0x87).u8(0).u8(0).fill(30), r);
  EXPECT_EQ(r.error, PX_ERR_BAD_GIF);
  // No image before the data ends: the trailer is skipped like any other byte.
  GIFFile empty;
  empty.width = empty.height = 2;
  ReadGIF(BuildGIF(empty), r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.block.block, nullptr);
  // A missing palette pointer is refused before anything is read.
  const auto one = BuildGIF(OneImage(1, 1, {0}));
  MemorySource src(one);
  uint32_t w, h;
  EXPECT_EQ(PXReadGIF(src, &w, &h, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(GIFReader, HostileStreamsEndWithoutOverrun) {
  // Minimum code size 12 would put the clear code outside the table.
  GIFFile gif = OneImage(4, 4, {});
  gif.images[0].data = {12, 2, 0xFF, 0xFF, 0};
  Read r;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, PX_ERR_BAD_GIF);
  EXPECT_EQ(r.block.block, nullptr);

  // Code size 11, as one encoder writes: values keep their low byte.
  auto indices = RandomIndices(64, 256, 5);
  gif.images[0].data = pxtest::GIFImageData(indices, 11);
  gif.images[0].width = gif.images[0].height = 8;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), indices);

  // Codes far beyond the table, and a code that comes to name itself as its prefix: the
  // first-after-clear code 300 is no pixel, the rest must not loop or overrun.
  std::vector<std::pair<int, int>> codes = {{256, 9}, {65, 9}};
  for (int i = 0; i < 60; ++i) codes.push_back({300, 9});
  for (int i = 0; i < 60; ++i) codes.push_back({511, 9});
  gif.images[0].width = 64;
  gif.images[0].height = 64;
  gif.images[0].data = pxtest::GIFCodes(8, codes);
  ReadGIF(BuildGIF(gif), r);
  EXPECT_NE(r.block.block, nullptr);
  EXPECT_EQ(r.error, 0);
  gif.images[0].data = pxtest::GIFCodes(8, {{256, 9}, {300, 9}, {65, 9}});
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels()[0], 0);  // nothing decoded

  // Indices beyond a two-entry table: their palette entries are empty, not read from
  // beyond the table.
  gif = OneImage(3, 1, {0, 1, 9}, 4);
  gif.globalTable = Ramp(2);
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.pixels(), (std::vector<uint8_t>{0, 1, 9}));
  EXPECT_EQ(r.palette[1].rgbGreen, 254);
  EXPECT_EQ(r.palette[9].rgbRed, 0);
  EXPECT_EQ(r.palette[9].rgbGreen, 0);

  // An image without pixels.
  gif = OneImage(4, 4, {1});
  gif.images[0].width = 0;
  ReadGIF(BuildGIF(gif), r);
  EXPECT_EQ(r.error, PX_ERR_BAD_GIF);
}

TEST(GIFReader, ImpossibleSizesAreRefusedBeforeAllocating) {
  // 65535 x 65535 does not fit a block; 30000 x 30000 (900 MB) cannot come from a
  // 60-byte file.
  for (uint16_t side : {uint16_t(65535), uint16_t(30000)}) {
    GIFFile gif = OneImage(side, side, {});
    gif.images[0].data = pxtest::GIFImageData(std::vector<uint8_t>(10, 1), 8);
    Read r;
    ReadGIF(BuildGIF(gif), r);
    EXPECT_EQ(r.error, PX_ERR_NO_MEMORY) << side;
    EXPECT_EQ(r.block.block, nullptr);
  }
}

TEST(GIFReader, ProgressCountsRowsAndAbortKeepsThem) {
  static std::vector<UINT> seen;
  seen.clear();
  PXSetProgressCallback(
      [](UINT current, UINT total, DWORD_PTR) -> BOOL {
        seen.push_back(current);
        EXPECT_EQ(total, 6u);
        return current < 3;
      },
      0);
  auto indices = std::vector<uint8_t>(4 * 6, 9);
  Read r;
  ReadGIF(BuildGIF(OneImage(4, 6, indices)), r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_NE(r.block.block, nullptr);
  EXPECT_EQ(seen, (std::vector<UINT>{1, 2, 3}));
  auto px = r.pixels();
  EXPECT_EQ(px[4 * 3 - 1], 9);  // rows done are kept
  EXPECT_EQ(px[4 * 3], 0);
}

}  // namespace
