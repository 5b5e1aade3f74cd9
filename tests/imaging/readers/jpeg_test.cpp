// JPEG reader: output modes against libjpeg's own decoding, CMYK and YCCK, the row
// forms, markers and comments, truncated and hostile files.
#include <cstring>

#include "core/io.h"
#include "core/operation.h"
#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/pixolith.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::DecodeJPEGDirect;
using pxtest::EncodeJPEG;
using pxtest::JPEGOptions;
using pxtest::MemorySource;
using pxtest::TestPicture;

struct Read {
  BlockGuard block;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = -1;
  std::vector<uint8_t> bytes(size_t n) const {
    return block.block ? std::vector<uint8_t>(block.bytes(), block.bytes() + n)
                       : std::vector<uint8_t>();
  }
};

void ReadJPEG(const std::vector<uint8_t>& file, int depth, DWORD flags, Read& r) {
  MemorySource src(file);
  r.block.reset(PXReadJPEG(src, &r.width, &r.height, depth, flags));
  r.error = PXGetLastError();
}

std::vector<uint8_t> Picture(uint32_t w, uint32_t h, int components, JPEGOptions o = {}) {
  o.components = components;
  return EncodeJPEG(w, h, TestPicture(w, h, components), o);
}

TEST(JPEGReader, GreyAtDepth8And24) {
  const uint32_t w = 19, h = 13;
  auto file = Picture(w, h, 1);
  auto direct = DecodeJPEGDirect(file);
  Read r;
  ReadJPEG(file, 8, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.width, w);
  EXPECT_EQ(r.height, h);
  EXPECT_EQ(r.bytes(w * h), direct.pixels);

  ReadJPEG(file, 24, 0, r);
  EXPECT_EQ(r.error, 0);
  auto rgb = r.bytes(w * h * 3);
  for (size_t i = 0; i < w * h; ++i) {
    ASSERT_EQ(rgb[3 * i], direct.pixels[i]) << i;
    ASSERT_EQ(rgb[3 * i + 1], direct.pixels[i]);
    ASSERT_EQ(rgb[3 * i + 2], direct.pixels[i]);
  }

  ReadJPEG(file, 32, 0, r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  EXPECT_EQ(r.block.block, nullptr);
  ReadJPEG(file, 16, 0, r);  // not a depth this reader knows
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
}

TEST(JPEGReader, ColourAt24OnlyAndLikeLibjpeg) {
  const uint32_t w = 33, h = 17;
  for (bool progressive : {false, true}) {
    JPEGOptions o;
    o.progressive = progressive;
    auto file = Picture(w, h, 3, o);
    Read r;
    ReadJPEG(file, 24, 0, r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.bytes(w * h * 3), DecodeJPEGDirect(file).pixels) << progressive;
    ReadJPEG(file, 8, 0, r);
    EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
    ReadJPEG(file, 32, 0, r);
    EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  }
}

TEST(JPEGReader, HeaderQueryReportsCodingAndDensity) {
  JPEGOptions o;
  o.progressive = true;
  o.densityUnit = 1;
  o.xDensity = 300;
  o.yDensity = 150;
  auto file = Picture(40, 30, 3, o);
  MemorySource src(file);
  uint32_t w = 0, h = 0, bpp = 0, coding = 9;
  int space = 0;
  PXResolution res = {};
  ASSERT_TRUE(PXGetJPEGDimensionsEx(src, &w, &h, &bpp, &space, &coding, &res));
  EXPECT_EQ(w, 40u);
  EXPECT_EQ(h, 30u);
  EXPECT_EQ(bpp, 24u);
  EXPECT_EQ(space, 3);  // YCbCr
  EXPECT_EQ(coding, 1u);
  EXPECT_EQ(res.x, 300u);
  EXPECT_EQ(res.y, 150u);
  EXPECT_EQ(res.unit, 1u);

  JPEGOptions a;
  a.arithmetic = true;
  auto arith = Picture(8, 8, 1, a);
  MemorySource src2(arith);
  ASSERT_TRUE(PXGetJPEGDimensionsEx(src2, &w, &h, &bpp, &space, &coding, nullptr));
  EXPECT_EQ(coding, 2u);
  EXPECT_EQ(bpp, 8u);
  EXPECT_EQ(space, 1);

  // Not a JPEG at all.
  const auto junk = pxtest::Bytes().u8(0xFF).u8(0xD8).fill(50, 0x11).data();
  MemorySource src3(junk);
  EXPECT_FALSE(PXGetJPEGDimensions(src3, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_JPEG);
  EXPECT_FALSE(PXGetJPEGDimensions(src3, nullptr, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(JPEGReader, CMYKWithTheAdobeSegmentIsConvertedFromStoredInk) {
  const uint32_t w = 16, h = 8;
  for (bool ycck : {false, true}) {
    JPEGOptions o;
    o.ycck = ycck;
    o.quality = 100;
    auto file = Picture(w, h, 4, o);
    ASSERT_NE(std::string(file.begin(), file.end()).find("Adobe"), std::string::npos);
    auto direct = DecodeJPEGDirect(file);  // CMYK as libjpeg delivers it
    ASSERT_EQ(direct.components, 4);

    MemorySource src(file);
    uint32_t dw, dh, bpp;
    int space;
    uint32_t coding;
    ASSERT_TRUE(PXGetJPEGDimensionsEx(src, &dw, &dh, &bpp, &space, &coding, nullptr));
    EXPECT_EQ(bpp, 32u);
    EXPECT_EQ(space, ycck ? 5 : 4);

    Read r;
    ReadJPEG(file, 24, 0, r);
    EXPECT_EQ(r.error, 0);
    auto rgb = r.bytes(w * h * 3);
    for (size_t i = 0; i < w * h; ++i) {
      const uint8_t* c = &direct.pixels[4 * i];
      ASSERT_EQ(rgb[3 * i], c[0] * c[3] / 255) << i;
      ASSERT_EQ(rgb[3 * i + 1], c[1] * c[3] / 255) << i;
      ASSERT_EQ(rgb[3 * i + 2], c[2] * c[3] / 255) << i;
    }
    ReadJPEG(file, 32, 1, r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.bytes(w * h * 4), direct.pixels);
    ReadJPEG(file, 24, 1, r);
    EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
    ReadJPEG(file, 32, 0, r);
    EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
    // As a packed DIB it comes at 24 bits whatever was asked.
    ReadJPEG(file, 8, 2, r);
    EXPECT_EQ(r.error, 0);
    ASSERT_NE(r.block.block, nullptr);
    EXPECT_EQ(reinterpret_cast<const BITMAPINFOHEADER*>(r.block.bytes())->biBitCount, 24);
  }
}

TEST(JPEGReader, WindowsRowsArePaddedAndBlueFirst) {
  const uint32_t w = 5, h = 3;
  auto file = Picture(w, h, 3);
  auto direct = DecodeJPEGDirect(file);
  Read r;
  ReadJPEG(file, 24, 8, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(GlobalSize(r.block.block), 16u * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(r.block.bytes()[y * 16 + x * 3 + c], direct.pixels[(y * w + x) * 3 + 2 - c]);

  // Grey rows are padded only.
  auto grey = Picture(w, h, 1);
  ReadJPEG(grey, 8, 8, r);
  EXPECT_EQ(GlobalSize(r.block.block), 8u * h);
  EXPECT_EQ(r.block.bytes()[8 + 2], DecodeJPEGDirect(grey).pixels[w + 2]);
}

TEST(JPEGReader, PackedDIB) {
  const uint32_t w = 5, h = 3;
  JPEGOptions o;
  o.densityUnit = 1;
  o.xDensity = o.yDensity = 300;
  auto file = Picture(w, h, 3, o);
  auto direct = DecodeJPEGDirect(file);
  Read r;
  ReadJPEG(file, 24, 2, r);
  ASSERT_NE(r.block.block, nullptr);
  const auto* hdr = reinterpret_cast<const BITMAPINFOHEADER*>(r.block.bytes());
  EXPECT_EQ(hdr->biSize, 40u);
  EXPECT_EQ(hdr->biWidth, 5);
  EXPECT_EQ(hdr->biHeight, 3);
  EXPECT_EQ(hdr->biBitCount, 24);
  EXPECT_EQ(hdr->biSizeImage, 48u);
  EXPECT_EQ(hdr->biXPelsPerMeter, 11811);
  EXPECT_EQ(hdr->biClrUsed, 0u);
  EXPECT_EQ(GlobalSize(r.block.block), 40u + 48);
  const uint8_t* bottom = r.block.bytes() + 40;  // the last image row comes first
  EXPECT_EQ(bottom[0], direct.pixels[(2 * w) * 3 + 2]);
  EXPECT_EQ(bottom[2], direct.pixels[(2 * w) * 3]);

  // Grey: 8 bits with a grey colour table whatever depth was asked.
  auto grey = Picture(w, h, 1);
  ReadJPEG(grey, 24, 2, r);
  ASSERT_NE(r.block.block, nullptr);
  hdr = reinterpret_cast<const BITMAPINFOHEADER*>(r.block.bytes());
  EXPECT_EQ(hdr->biBitCount, 8);
  EXPECT_EQ(hdr->biClrUsed, 256u);
  EXPECT_EQ(GlobalSize(r.block.block), 40u + 1024 + 8 * 3);
  const auto* table = reinterpret_cast<const RGBQUAD*>(r.block.bytes() + 40);
  EXPECT_EQ(table[77].rgbRed, 77);
  EXPECT_EQ(table[77].rgbReserved, 255);
}

TEST(JPEGReader, CommentsAndMarkersAreListed) {
  JPEGOptions o;
  o.comment = "abc";
  o.markers = {{0xE1, "Exif"}, {0xEF, "last"}, {0xEE, "Adob"}};
  auto file = Picture(8, 8, 3, o);
  Read r;
  ReadJPEG(file, 24, 0, r);
  ASSERT_EQ(r.error, 0);
  PXThreadState* state = px::GetThreadState();
  ASSERT_EQ(state->jpeg.commentsRead.size(), 1u);
  EXPECT_EQ(state->jpeg.commentsRead[0].data, (std::vector<uint8_t>{'a', 'b', 'c', 0}));
  // APP0 (JFIF) and APP15 are not kept; APP1 and APP14 are, in file order.
  ASSERT_EQ(state->jpeg.markersRead.size(), 2u);
  EXPECT_EQ(state->jpeg.markersRead[0].id, 0xE1);
  EXPECT_EQ(state->jpeg.markersRead[0].data, (std::vector<uint8_t>{'E', 'x', 'i', 'f'}));
  EXPECT_EQ(state->jpeg.markersRead[1].id, 0xEE);

  // The next read starts the lists afresh; so does a header query.
  ReadJPEG(Picture(8, 8, 3), 24, 0, r);
  EXPECT_TRUE(state->jpeg.commentsRead.empty());
  EXPECT_TRUE(state->jpeg.markersRead.empty());
  MemorySource src(file);
  uint32_t w, h, bpp;
  ASSERT_TRUE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr));
  EXPECT_EQ(state->jpeg.commentsRead.size(), 1u);
}

TEST(JPEGReader, TruncatedFileDecodesWithoutError) {
  const uint32_t w = 64, h = 64;
  for (bool progressive : {false, true}) {
    JPEGOptions o;
    o.progressive = progressive;
    auto file = Picture(w, h, 3, o);
    auto full = DecodeJPEGDirect(file);
    file.resize(file.size() * 2 / 3);
    Read r;
    ReadJPEG(file, 24, 0, r);
    EXPECT_EQ(r.error, 0) << progressive;
    ASSERT_NE(r.block.block, nullptr);
    if (!progressive) {  // the top rows came before the cut
      auto px = r.bytes(w * h * 3);
      EXPECT_TRUE(std::equal(px.begin(), px.begin() + w * 8 * 3, full.pixels.begin()));
    }
  }
}

TEST(JPEGReader, EmptyInputIsLibjpegsError) {
  auto file = Picture(8, 8, 3);
  MemorySource src(file);
  ASSERT_TRUE(PXSeekSource(src, 0, PX_SEEK_END));  // the first read returns nothing
  uint32_t w, h, bpp;
  EXPECT_FALSE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_JPEG);
  EXPECT_EQ(PXReadJPEG(src, &w, &h, 24, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
}

TEST(JPEGReader, RewindFlagLeavesTheSourceAfterTheData) {
  auto file = Picture(30, 20, 3);
  const size_t length = file.size();
  file.insert(file.end(), 5000, 0x5A);  // more than the source reads ahead
  for (DWORD flags : {DWORD(16), DWORD(0)}) {
    MemorySource src(file);
    uint32_t w, h;
    BlockGuard b(PXReadJPEG(src, &w, &h, 24, flags));
    ASSERT_NE(b.block, nullptr);
    uint8_t next = 0;
    ASSERT_TRUE(PXSeekSource(src, 0, PX_SEEK_CUR));
    CPXIO io(src.get());
    uint64_t pos = 0;
    io.Tell(&pos);
    if (flags) {
      EXPECT_EQ(pos, length);
      io.Read(&next, 1);
      EXPECT_EQ(next, 0x5A);
    } else {
      EXPECT_GT(pos, length);
    }
  }
}

TEST(JPEGReader, ScaleOptionsApply) {
  auto file = Picture(64, 40, 3);
  PXThreadState* state = px::GetThreadState();
  state->jpeg.scaleNum = 1;
  state->jpeg.scaleDenom = 4;
  Read r;
  ReadJPEG(file, 24, 0, r);
  state->jpeg.scaleDenom = 1;
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 16u);
  EXPECT_EQ(r.height, 10u);
  EXPECT_EQ(r.bytes(16 * 10 * 3), DecodeJPEGDirect(file, 1, 4).pixels);
}

TEST(JPEGReader, ImpossibleSizesAreRefusedBeforeDecoding) {
  // Patch the frame header of a small file to claim 60000 x 60000 (10.8 GB at 24 bits)
  // and 20000 x 20000 (1.2 GB from a few hundred bytes).
  auto file = Picture(16, 16, 3);
  size_t sof = 0;
  for (size_t i = 2; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  ASSERT_NE(sof, 0u);
  for (uint16_t side : {uint16_t(60000), uint16_t(20000)}) {
    auto big = file;
    big[sof + 5] = uint8_t(side >> 8);
    big[sof + 6] = uint8_t(side);
    big[sof + 7] = uint8_t(side >> 8);
    big[sof + 8] = uint8_t(side);
    Read r;
    ReadJPEG(big, 24, 0, r);
    EXPECT_EQ(r.error, PX_ERR_NO_MEMORY) << side;
    EXPECT_EQ(r.block.block, nullptr);
  }
}

TEST(JPEGReader, EndlessProgressiveScansAreRefused) {
  // A progressive file whose last scan repeats over and over: each repeat costs a pass
  // over the whole image, so past a few hundred the file is refused.
  JPEGOptions o;
  o.progressive = true;
  auto file = Picture(16, 16, 1, o);
  size_t lastScan = 0;
  for (size_t i = 2; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xDA) lastScan = i;
  ASSERT_NE(lastScan, 0u);
  const std::vector<uint8_t> scan(file.begin() + long(lastScan), file.end() - 2);
  auto Repeated = [&](int times) {
    std::vector<uint8_t> f(file.begin(), file.end() - 2);
    for (int i = 0; i < times; ++i) f.insert(f.end(), scan.begin(), scan.end());
    f.push_back(0xFF);
    f.push_back(0xD9);
    return f;
  };
  Read r;
  ReadJPEG(Repeated(20), 8, 0, r);
  EXPECT_EQ(r.error, 0);
  ReadJPEG(Repeated(600), 8, 0, r);
  EXPECT_EQ(r.error, PX_ERR_FILE_READ);
  EXPECT_EQ(r.block.block, nullptr);
}

TEST(JPEGReader, TwoComponentFilesHaveNoColourSpace) {
  auto file = Picture(8, 8, 2);
  MemorySource src(file);
  uint32_t w, h, bpp;
  ASSERT_TRUE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr));
  EXPECT_EQ(bpp, 16u);
  for (int depth : {8, 24, 32}) {
    Read r;
    ReadJPEG(file, depth, 0, r);
    EXPECT_EQ(r.error, PX_ERR_BAD_JPEG) << depth;
    EXPECT_EQ(r.block.block, nullptr);
  }
}

TEST(JPEGReader, ProgressAbortReturnsTheRowsSoFar) {
  PXSetProgressCallback(
      [](UINT current, UINT total, DWORD_PTR) -> BOOL { return current < 5 && total == 32; }, 0);
  Read r;
  ReadJPEG(Picture(16, 32, 1), 8, 0, r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_NE(r.block.block, nullptr);
  EXPECT_EQ(r.height, 32u);
}

}  // namespace
