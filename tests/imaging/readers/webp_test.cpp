// WebP reader: lossless files pixel for pixel, lossy ones against libwebp's own decoding,
// alpha at 32 bits and on white at 24, the first frame of an animation, the EXIF
// orientation, progress, and damaged, cut and hostile files.
#include <webp/decode.h>

#include <cstring>

#include "entries.h"
#include "pixolith/pixolith.h"
#include "reader_results.h"
#include "test_support.h"
#include "webp_heif_fixtures.h"

namespace {

using pxtest::BlockGuard;
using pxtest::Bytes;
using pxtest::MemorySource;
using pxtest::OnWhite;

std::vector<uint8_t> RGBOf(const std::vector<uint8_t>& rgba) {
  return pxtest::Channels(rgba, 0, 3);
}

using Read = pxtest::ReadResult;

void ReadWebP(const std::vector<uint8_t>& file, int depth, DWORD flags, Read& r) {
  MemorySource src(file);
  r.pixels.reset(PXReadWebP(src, &r.width, &r.height, depth, flags));
  r.error = PXGetLastError();
}

TEST(WebPReader, LosslessPixelForPixelAt24And32) {
  const uint32_t w = 37, h = 23;
  const auto rgba = pxtest::TestRGBA(w, h, false);
  pxtest::WebPOptions o;
  o.alpha = false;
  const auto file = pxtest::EncodeWebP(w, h, rgba, o);
  MemorySource src(file);
  uint32_t dw = 0, dh = 0, bpp = 0, coding = 0, frames = 0;
  ASSERT_TRUE(PXGetWebPDimensionsEx(src, &dw, &dh, &bpp, &coding, &frames));
  EXPECT_EQ(dw, w);
  EXPECT_EQ(dh, h);
  EXPECT_EQ(bpp, 24u);
  EXPECT_EQ(coding, PX_WEBP_LOSSLESS);
  EXPECT_EQ(frames, 1u);
  Read r;
  ReadWebP(file, 24, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.width, w);
  EXPECT_EQ(r.height, h);
  EXPECT_EQ(r.bytes(size_t(w) * h * 3), RGBOf(rgba));
  ReadWebP(file, 32, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(size_t(w) * h * 4), rgba) << "no alpha in the file: 255 throughout";
}

TEST(WebPReader, AlphaKeptAt32AndOnWhiteAt24) {
  const uint32_t w = 40, h = 9;
  const auto rgba = pxtest::TestRGBA(w, h, true);
  const auto file = pxtest::EncodeWebP(w, h, rgba);
  MemorySource src(file);
  uint32_t dw = 0, dh = 0, bpp = 0, coding = 0, frames = 0;
  ASSERT_TRUE(PXGetWebPDimensionsEx(src, &dw, &dh, &bpp, &coding, &frames));
  EXPECT_EQ(bpp, 32u);
  EXPECT_EQ(coding, PX_WEBP_LOSSLESS | PX_WEBP_ALPHA);
  Read r;
  ReadWebP(file, 32, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(size_t(w) * h * 4), rgba);
  ReadWebP(file, 24, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(size_t(w) * h * 3), OnWhite(rgba));
}

TEST(WebPReader, LossyLikeLibwebpAndCloseToTheOriginal) {
  const uint32_t w = 64, h = 48;
  const auto rgba = pxtest::TestRGBA(w, h, false);
  for (bool alpha : {false, true}) {
    pxtest::WebPOptions o;
    o.lossless = false;
    o.alpha = alpha;
    const auto source = alpha ? pxtest::TestRGBA(w, h, true) : rgba;
    const auto file = pxtest::EncodeWebP(w, h, source, o);
    int lw = 0, lh = 0;
    uint8_t* direct = WebPDecodeRGBA(file.data(), file.size(), &lw, &lh);
    ASSERT_NE(direct, nullptr);
    const std::vector<uint8_t> expected(direct, direct + size_t(w) * h * 4);
    WebPFree(direct);
    Read r;
    ReadWebP(file, 32, 0, r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.bytes(expected.size()), expected) << alpha;
    // Lossy coding at quality 90 stays close to what was coded.
    const auto got = r.bytes(expected.size());
    uint64_t sum = 0;
    for (size_t i = 0; i < got.size(); ++i)
      if (i % 4 != 3) sum += uint64_t(std::abs(int(got[i]) - int(source[i])));
    EXPECT_LT(double(sum) / (double(w) * h * 3), 20.0) << alpha;
    ReadWebP(file, 24, 0, r);
    EXPECT_EQ(r.bytes(size_t(w) * h * 3), alpha ? OnWhite(expected) : RGBOf(expected));
  }
}

TEST(WebPReader, AnAnimationGivesItsFirstFrame) {
  const uint32_t w = 20, h = 14;
  const auto first = pxtest::TestRGBA(w, h, true, 0);
  const auto second = pxtest::TestRGBA(w, h, false, 1);
  const auto file = pxtest::EncodeAnimatedWebP(w, h, {first, second});
  MemorySource src(file);
  uint32_t dw = 0, dh = 0, bpp = 0, coding = 0, frames = 0;
  ASSERT_TRUE(PXGetWebPDimensionsEx(src, &dw, &dh, &bpp, &coding, &frames));
  EXPECT_EQ(frames, 2u);
  EXPECT_TRUE(coding & PX_WEBP_ANIMATED);
  EXPECT_EQ(dw, w);
  EXPECT_EQ(dh, h);
  Read r;
  ReadWebP(file, 32, 0, r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(size_t(w) * h * 4), first);
  ReadWebP(file, 24, 0, r);
  EXPECT_EQ(r.bytes(size_t(w) * h * 3), OnWhite(first));
}

TEST(WebPReader, DepthsFlagsAndPackedDIBs) {
  const uint32_t w = 5, h = 3;
  const auto rgba = pxtest::TestRGBA(w, h, true);
  const auto file = pxtest::EncodeWebP(w, h, rgba);
  Read r;
  ReadWebP(file, 8, 0, r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  EXPECT_EQ(r.pixels.block, nullptr);
  ReadWebP(file, 16, 0, r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  // A DIB in the file's own depth (32 bits here), bottom-up, blue-green-red-alpha.
  ReadWebP(file, 8, PX_WEBP_DIB, r);
  ASSERT_EQ(r.error, 0);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(header->biBitCount, 32);
  EXPECT_EQ(header->biWidth, int32_t(w));
  EXPECT_EQ(header->biHeight, int32_t(h));
  const uint8_t* bottom = r.pixels.bytes() + 40;  // the last image row
  const uint8_t* last = &rgba[size_t(h - 1) * w * 4];
  EXPECT_EQ(bottom[0], last[2]);
  EXPECT_EQ(bottom[1], last[1]);
  EXPECT_EQ(bottom[2], last[0]);
  EXPECT_EQ(bottom[3], last[3]);
  uint32_t dw, dh;
  EXPECT_EQ(PXReadWebP(nullptr, &dw, &dh, 24, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(WebPReader, TheEXIFOrientationIsReportedAndTheRowsStayAsStored) {
  const uint32_t w = 6, h = 4;
  const auto rgba = pxtest::TestRGBA(w, h, false);
  for (uint16_t value : {1, 6, 8}) {
    pxtest::WebPOptions o;
    o.alpha = false;
    o.exif = pxtest::ExifOrientation(value, false);
    const auto file = pxtest::EncodeWebP(w, h, rgba, o);
    Read r;
    ReadWebP(file, 24, 0, r);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(PXGetLastWebPOrientation(), value);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.bytes(size_t(w) * h * 3), RGBOf(rgba));
    MemorySource src(file);
    uint32_t dw, dh, bpp;
    ASSERT_TRUE(PXGetWebPDimensions(src, &dw, &dh, &bpp));
    EXPECT_EQ(PXGetLastWebPOrientation(), value);
  }
  Read r;
  ReadWebP(pxtest::EncodeWebP(w, h, rgba), 24, 0, r);
  EXPECT_EQ(PXGetLastWebPOrientation(), 1);
}

TEST(WebPReader, ProgressOncePerRowAndAnAbortKeepsTheRowsSoFar) {
  const uint32_t w = 8, h = 30;
  const auto rgba = pxtest::TestRGBA(w, h, false);
  pxtest::WebPOptions o;
  o.alpha = false;
  const auto file = pxtest::EncodeWebP(w, h, rgba, o);
  pxtest::ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  Read r;
  ReadWebP(file, 24, 0, r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(log.calls.size(), h);
  for (UINT i = 0; i < h; ++i) EXPECT_EQ(log.calls[i], std::make_pair(i, UINT(h)));

  pxtest::ProgressLog stop;
  stop.stopAt = 1;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&stop));
  ReadWebP(file, 24, 0, r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  ASSERT_NE(r.pixels.block, nullptr);
  const std::vector<uint8_t> rgb = RGBOf(rgba);
  EXPECT_EQ(r.bytes(w * 3), std::vector<uint8_t>(rgb.begin(), rgb.begin() + w * 3))
      << "the first row was stored before the callback stopped the read";
}

TEST(WebPReader, ACutFileGivesItsRowsSoFarOrAnError) {
  const uint32_t w = 64, h = 64;
  pxtest::WebPOptions o;
  o.lossless = false;
  o.alpha = false;
  const auto file = pxtest::EncodeWebP(w, h, pxtest::TestRGBA(w, h, false), o);
  // Cut in the middle of the coded data: the top rows come back with error 69.
  const std::vector<uint8_t> half(file.begin(), file.begin() + long(file.size() * 2 / 3));
  Read r;
  ReadWebP(half, 24, 0, r);
  EXPECT_EQ(r.error, PX_ERR_BAD_WEBP);
  EXPECT_NE(r.pixels.block, nullptr);
  // Every cut: an error code, or (when only bytes the decoder never needed are gone) the
  // whole image; never a crash.
  Read whole;
  ReadWebP(file, 24, 0, whole);
  ASSERT_EQ(whole.error, 0);
  const std::vector<uint8_t> complete = whole.bytes(size_t(w) * h * 3);
  for (size_t cut = 0; cut < file.size(); ++cut) {
    const std::vector<uint8_t> part(file.begin(), file.begin() + long(cut));
    EXPECT_EQ(pxfuzz::WebP(part.data(), part.size()), nullptr) << cut;
    ReadWebP(part, 24, 0, r);
    if (r.error == 0) {
      EXPECT_EQ(r.bytes(complete.size()), complete) << cut;
    }
  }
}

TEST(WebPReader, FlippedBytesGiveAnErrorCodeOrAnImage) {
  pxtest::WebPOptions lossy;
  lossy.lossless = false;
  const std::vector<std::vector<uint8_t>> files = {
      pxtest::EncodeWebP(17, 11, pxtest::TestRGBA(17, 11, true)),
      pxtest::EncodeWebP(17, 11, pxtest::TestRGBA(17, 11, true), lossy),
      pxtest::EncodeAnimatedWebP(9, 7,
                                 {pxtest::TestRGBA(9, 7, true), pxtest::TestRGBA(9, 7, false)}),
  };
  for (const auto& file : files) {
    for (size_t at = 0; at < file.size(); ++at) {
      for (uint8_t flip : {0x01, 0x80, 0xFF}) {
        std::vector<uint8_t> damaged = file;
        damaged[at] ^= flip;
        EXPECT_EQ(pxfuzz::WebP(damaged.data(), damaged.size()), nullptr) << at;
      }
    }
  }
}

TEST(WebPReader, HostileHeadersAreRefusedBeforeDecoding) {
  // A lossless header of 16383 x 16383 in a file of 30 bytes: a gigabyte no such file
  // can hold.
  auto vp8l = [](uint32_t w, uint32_t h) {
    const uint32_t bits = (w - 1) | ((h - 1) << 14);
    return Bytes()
        .str("RIFF")
        .le32(4 + 8 + 10)
        .str("WEBP")
        .str("VP8L")
        .le32(10)
        .u8(0x2F)
        .le32(bits)
        .fill(5, 0)
        .data();
  };
  Read r;
  ReadWebP(vp8l(16383, 16383), 24, 0, r);
  EXPECT_EQ(r.error, PX_ERR_NO_MEMORY);
  EXPECT_EQ(r.pixels.block, nullptr);
  const std::vector<uint8_t> huge = vp8l(16383, 16383);
  MemorySource src(huge);
  uint32_t w, h, bpp;
  EXPECT_TRUE(PXGetWebPDimensions(src, &w, &h, &bpp)) << "the header itself is sound";
  EXPECT_EQ(w, 16383u);
  // Not WebP at all, or RIFF of another kind.
  for (const std::vector<uint8_t>& junk :
       {Bytes().str("RIFF").le32(100).str("AVI LIST").fill(20).data(),
        Bytes().str("RIFF").le32(0).str("WEBP").data(), Bytes().str("RIF").data()}) {
    MemorySource j(junk);
    EXPECT_FALSE(PXGetWebPDimensions(j, &w, &h, &bpp));
    EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_WEBP);
    ReadWebP(junk, 24, 0, r);
    EXPECT_EQ(r.error, PX_ERR_BAD_WEBP);
    EXPECT_EQ(r.pixels.block, nullptr);
  }
}

}  // namespace
