// TIFF reader: pages, dimensions, tags, the 1-, 8-, 16-, 24- and 32-bit paths, the
// orientation table, packed DIBs, progress and damaged files. Fixtures are written with
// libtiff in the test.
#include <tiffio.h>

#include <cstring>
#include <random>
#include <string>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_tiff.h"
#include "reader_results.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::MemorySource;
using pxtest::TempDir;

struct Page {
  uint32_t width = 1;
  uint32_t height = 1;
  uint16_t bits = 8;
  uint16_t samples = 1;
  int photometric = PHOTOMETRIC_MINISBLACK;  // -1: no Photometric tag
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = 0;   // 0: no Orientation tag
  uint32_t rowsPerStrip = 0;  // 0: one strip
  uint32_t tile = 0;          // tile width and length; 0: strips
  std::vector<uint16_t> colormap;
  std::vector<uint16_t> extraSamples;
  float xResolution = 0;  // 0: no resolution tags
  float yResolution = 0;
  uint16_t resolutionUnit = RESUNIT_INCH;
  std::string software;
  uint64_t exifOffset = 0;    // 0: no EXIF directory tag
  bool inks = false;          // InkSet CMYK, for separated pages
  std::vector<uint8_t> data;  // rows as stored, packed, top row first

  size_t rowBytes() const { return (size_t(width) * bits * samples + 7) / 8; }
};

// A libtiff file image: `pages` written one directory each.
std::vector<uint8_t> MakeTIFF(const std::vector<Page>& pages) {
  TempDir dir;
  const std::string path = dir.File("fixture.tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(tif, nullptr);
  for (const Page& p : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samples);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
    // Written in any case (libtiff's encoders want it); removed below when asked.
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 p.photometric < 0 ? PHOTOMETRIC_MINISWHITE : uint16_t(p.photometric));
    if (p.orientation) TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
    if (!p.colormap.empty()) {
      const size_t n = p.colormap.size() / 3;
      TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + n,
                   p.colormap.data() + 2 * n);
    }
    if (!p.extraSamples.empty())
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(p.extraSamples.size()),
                   p.extraSamples.data());
    if (p.xResolution) {
      TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xResolution);
      TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yResolution);
      TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.resolutionUnit);
    }
    if (!p.software.empty()) TIFFSetField(tif, TIFFTAG_SOFTWARE, p.software.c_str());
    if (p.exifOffset) TIFFSetField(tif, TIFFTAG_EXIFIFD, p.exifOffset);
    if (p.inks) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    const size_t rowBytes = p.rowBytes();
    std::vector<uint8_t> data = p.data;
    data.resize(rowBytes * p.height);
    if (p.tile) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tile);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tile);
      // Tiles start on byte boundaries (tile widths are multiples of 16).
      const size_t tileRow = (size_t(p.tile) * p.bits * p.samples + 7) / 8;
      for (uint32_t ty = 0; ty < p.height; ty += p.tile) {
        for (uint32_t tx = 0; tx < p.width; tx += p.tile) {
          std::vector<uint8_t> tile(tileRow * p.tile, 0);
          const size_t from = size_t(tx) * p.bits * p.samples / 8;
          for (uint32_t r = 0; r < p.tile && ty + r < p.height; ++r)
            std::memcpy(&tile[r * tileRow], &data[(ty + r) * rowBytes + from],
                        std::min(tileRow, rowBytes - from));
          EXPECT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
        }
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : p.height);
      for (uint32_t y = 0; y < p.height; ++y)
        EXPECT_EQ(TIFFWriteScanline(tif, data.data() + y * rowBytes, y, 0), 1);
    }
    EXPECT_TRUE(TIFFWriteDirectory(tif));
  }
  TIFFClose(tif);
  std::vector<uint8_t> file = pxtest::ReadFile(path);
  if (pages.size() == 1 && pages[0].photometric < 0) {
    // Turn the Photometric entry into Threshholding (263), which nobody reads.
    const uint32_t ifd = px::LE32(file.data() + 4);
    const uint16_t count = px::LE16(file.data() + ifd);
    for (uint16_t i = 0; i < count; ++i) {
      uint8_t* entry = file.data() + ifd + 2 + 12 * i;
      if (px::LE16(entry) == TIFFTAG_PHOTOMETRIC) entry[0] = 263 & 0xFF;
    }
  }
  return file;
}

using Result = pxtest::ReadResult;

void Read(const std::vector<uint8_t>& file, uint32_t depth, Result* r, uint32_t page = 0,
          uint32_t flags = 0) {
  MemorySource src(file);
  r->pixels.reset(PXReadTIFF(src, &r->width, &r->height, depth, r->palette, page, flags));
  r->error = PXGetLastError();
}

// An RGB page of w x h whose pixel (x, y) is (x, y, 7).
Page Coordinates(uint32_t w, uint32_t h) {
  Page p;
  p.width = w;
  p.height = h;
  p.samples = 3;
  p.photometric = PHOTOMETRIC_RGB;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      p.data.push_back(uint8_t(x));
      p.data.push_back(uint8_t(y));
      p.data.push_back(7);
    }
  return p;
}

/* ---- Pages, dimensions, tags ------------------------------------------------------------ */

TEST(TIFFPages, CountDimensionsAndResolution) {
  Page a = Coordinates(3, 2), b = Coordinates(5, 4), c;
  b.xResolution = 300.9f;
  b.yResolution = 150.2f;
  b.resolutionUnit = RESUNIT_CENTIMETER;
  c.bits = 4;
  c.width = 7;
  const std::vector<uint8_t> file = MakeTIFF({a, b, c});
  MemorySource src(file);
  EXPECT_EQ(PXGetTIFFPageCount(src), 3u);
  uint32_t w, h, bpp;
  PXResolution res = {9, 9, 9};
  ASSERT_TRUE(PXGetTIFFDimensions(src, 1, &w, &h, &bpp, &res));
  EXPECT_EQ(w, 5u);
  EXPECT_EQ(h, 4u);
  EXPECT_EQ(bpp, 24u);
  EXPECT_EQ(res.x, 300u);
  EXPECT_EQ(res.y, 150u);
  EXPECT_EQ(res.unit, 3u);
  ASSERT_TRUE(PXGetTIFFDimensions(src, 2, &w, &h, &bpp, &res));
  EXPECT_EQ(bpp, 4u);
  EXPECT_EQ(res.x, 0u);
  EXPECT_EQ(res.unit, 0u);

  EXPECT_FALSE(PXGetTIFFDimensions(src, 3, &w, &h, &bpp, &res));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  Result r;
  Read(file, 24, &r, 3);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  Read(file, 24, &r, 1);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 5u);
}

// The chain links to a second directory that has no entries, which libtiff refuses: the
// file counts two pages, and the second is a damaged page, not a page that is not there.
TEST(TIFFPages, ALinkedDirectoryLibTIFFCannotReadIsABadFile) {
  const std::vector<uint8_t> file = pxtest::ReadFile(
      (pxtest::TestDataDir() / "fuzz/copy/tiled-page-with-a-short-resolution.tif").string());
  MemorySource src(file);
  EXPECT_EQ(PXGetTIFFPageCount(src), 2u);
  uint32_t w, h, bpp;
  EXPECT_TRUE(PXGetTIFFDimensions(src, 0, &w, &h, &bpp, nullptr));
  EXPECT_FALSE(PXGetTIFFDimensions(src, 1, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_TIFF);
  Result r;
  Read(file, 24, &r, 1);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BAD_TIFF);
  EXPECT_FALSE(PXGetTIFFDimensions(src, 2, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

TEST(TIFFPages, NotATIFFAndBadArguments) {
  std::vector<uint8_t> junk = {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4};
  MemorySource src(junk);
  EXPECT_EQ(PXGetTIFFPageCount(src), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_BAD_TIFF);
  const std::vector<uint8_t> file = MakeTIFF({Coordinates(2, 2)});
  Result r;
  Read(file, 4, &r);
  EXPECT_EQ(r.error, PX_ERR_PARAMETER);
  MemorySource good(file);
  uint32_t w, h;
  EXPECT_EQ(PXReadTIFF(good, &w, &h, 8, nullptr, 0, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  PXSource closed = PXOpenMemorySource(file.data(), uint32_t(file.size()));
  PXCloseSource(closed);
  EXPECT_EQ(PXGetTIFFPageCount(closed), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

// Directories counted by their links alone, as files of hand-made chains give them.
TEST(TIFFPages, DirectoriesCountedByTheirLinks) {
  const std::vector<uint8_t> three = MakeTIFF({Coordinates(3, 2), Coordinates(5, 4), Page()});
  EXPECT_EQ(PXCountTIFFDirectories(MemorySource(three)), 3u);
  auto count = [](std::vector<uint8_t> bytes) {
    return PXCountTIFFDirectories(MemorySource(bytes));
  };
  // Header, then directories of no entries: a count of 0 and the link to the next.
  const std::vector<uint8_t> one = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(count(one), 1u);
  std::vector<uint8_t> two = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 14, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(count(two), 2u);
  // A link back to the first directory ends the count instead of running on.
  std::vector<uint8_t> loop = one;
  loop[10] = 8;
  EXPECT_EQ(count(loop), 1u);
  two[19] = 8;
  EXPECT_EQ(count(two), 2u);
  // A link cut off by the end of the file, or pointing past it.
  EXPECT_EQ(count({one.begin(), one.end() - 2}), 0u);
  std::vector<uint8_t> far = one;
  far[13] = 0x10;
  EXPECT_EQ(count(far), 1u);
  // BigTIFF: 8-byte counts and links.
  std::vector<uint8_t> big = {'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  big.resize(big.size() + 16, 0);
  EXPECT_EQ(count(big), 1u);
  EXPECT_EQ(count({'I', 'I', 42, 0}), 0u);
  EXPECT_EQ(count({'P', 'K', 3, 4, 8, 0, 0, 0}), 0u);
}

TEST(TIFFTags, ValuesByKind) {
  Page p = Coordinates(4, 3);
  p.compression = COMPRESSION_LZW;
  p.xResolution = p.yResolution = 72.5f;
  p.software = "Caf\xE9";  // Latin-1
  p.samples = 4;
  p.extraSamples = {EXTRASAMPLE_UNASSALPHA};
  p.exifOffset = 1234;
  p.data.assign(4 * 3 * 4, 200);
  const std::vector<uint8_t> file = MakeTIFF({p});
  MemorySource src(file);
  VARIANT v;
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 259, &v));
  EXPECT_EQ(v.vt, VT_UI2);
  EXPECT_EQ(v.uiVal, 5);
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 256, &v));
  EXPECT_EQ(v.vt, VT_UI4);
  EXPECT_EQ(v.ulVal, 4u);
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 282, &v));
  EXPECT_EQ(v.vt, VT_R4);
  EXPECT_FLOAT_EQ(v.fltVal, 72.5f);
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 305, &v));
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_STREQ(v.bstrVal, "Caf\xC3\xA9");
  VariantClear(&v);
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 338, &v));
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI2);
  ASSERT_EQ(v.parray->count, 1u);
  EXPECT_EQ(static_cast<uint16_t*>(v.parray->data)[0], EXTRASAMPLE_UNASSALPHA);
  VariantClear(&v);
  ASSERT_TRUE(PXGetTIFFTag(src, 0, 34665, &v));
  EXPECT_EQ(v.vt, VT_UI4);
  EXPECT_EQ(v.ulVal, 1234u);

  EXPECT_FALSE(PXGetTIFFTag(src, 0, 270, &v));  // no ImageDescription
  EXPECT_EQ(PXGetLastError(), PX_ERR_TIFF_TAG);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.bstrVal, nullptr);
  EXPECT_FALSE(PXGetTIFFTag(src, 0, 323, &v));  // a strip page has no TileLength
  EXPECT_EQ(PXGetLastError(), PX_ERR_TIFF_TAG);
  EXPECT_FALSE(PXGetTIFFTag(src, 0, 999, &v));
  EXPECT_EQ(PXGetLastError(), PX_ERR_TIFF_TAG);
  EXPECT_EQ(v.vt, VT_NULL);
}

/* ---- 1-bit path ------------------------------------------------------------------------- */

// A 10 x 3 picture: row 0 all black, row 1 the left pixel black, row 2 white.
Page Bilevel(int photometric, uint16_t compression) {
  Page p;
  p.width = 10;
  p.height = 3;
  p.bits = 1;
  p.photometric = photometric;
  p.compression = compression;
  const bool blackIsOne = photometric != PHOTOMETRIC_MINISBLACK;
  const uint8_t on = blackIsOne ? 0xFF : 0x00, off = blackIsOne ? 0x00 : 0xFF;
  p.data = {on, uint8_t(on & 0xC0), uint8_t(blackIsOne ? 0x80 : 0x7F), off, off, off};
  return p;
}

const std::vector<uint8_t> kBilevelWant = {0xFF, 0xC0, 0x80, 0x00, 0x00, 0x00};

TEST(TIFFBilevel, FaxPageWithoutPhotometricIsMinIsWhite) {
  Result r;
  Read(MakeTIFF({Bilevel(-1, COMPRESSION_CCITTFAX4)}), 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(6), kBilevelWant);
  EXPECT_EQ(r.palette[0].rgbRed, 255);
  EXPECT_EQ(r.palette[1].rgbRed, 0);
  // At 24 bits the same page must not come out inverted.
  Read(MakeTIFF({Bilevel(-1, COMPRESSION_CCITTFAX4)}), 24, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(r.pixels.bytes()[3 * 20], 255);
}

TEST(TIFFBilevel, MinIsBlackGivesTheSameBufferAsMinIsWhite) {
  Result white, black;
  Read(MakeTIFF({Bilevel(PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE)}), 1, &white);
  Read(MakeTIFF({Bilevel(PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS)}), 1, &black);
  ASSERT_EQ(white.error, 0);
  ASSERT_EQ(black.error, 0);
  EXPECT_EQ(white.bytes(6), kBilevelWant);
  EXPECT_EQ(black.bytes(6), kBilevelWant);  // padding bits stay clear
}

TEST(TIFFBilevel, OrientationAndRowOrder) {
  Page p = Bilevel(PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE);
  p.orientation = ORIENTATION_BOTRIGHT;
  Result r;
  Read(MakeTIFF({p}), 1, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x40, 0xFF, 0xC0}));
  Read(MakeTIFF({p}), 1, &r, 0, PX_TIFF_IGNORE_ORIENTATION | PX_TIFF_1BIT_BOTTOM_UP);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00, 0xFF, 0xC0}));
  p.orientation = ORIENTATION_RIGHTTOP;
  Read(MakeTIFF({p}), 1, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_UNEXPECTED);
}

TEST(TIFFBilevel, TilesAndPackedDIB) {
  Page p = Bilevel(PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE);
  p.width = 20;
  p.height = 17;
  p.data.assign(3 * 17, 0);
  p.data[3 * 16 + 2] = 0x10;  // pixel (19, 16), in the fourth tile
  p.data[0] = 0x80;
  p.tile = 16;
  p.xResolution = p.yResolution = 254;
  Result r;
  Read(MakeTIFF({p}), 1, &r);
  ASSERT_EQ(r.error, 0);
  std::vector<uint8_t> want(3 * 17, 0);
  want[0] = 0x80;
  want[3 * 16 + 2] = 0x10;
  EXPECT_EQ(r.bytes(want.size()), want);

  Read(MakeTIFF({p}), 0, &r, 0, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_EQ(h->biClrUsed, 2u);
  EXPECT_EQ(h->biXPelsPerMeter, 10000);
  const uint8_t* rows = r.pixels.bytes() + 48;
  EXPECT_EQ(rows[0 * 4 + 2], 0x10);  // bottom row first
  EXPECT_EQ(rows[16 * 4], 0x80);
}

/* ---- 8-bit path ------------------------------------------------------------------------- */

TEST(TIFFIndexed, ColourMapScaling) {
  Page p;
  p.width = 2;
  p.photometric = PHOTOMETRIC_PALETTE;
  p.data = {1, 2};
  p.colormap.assign(3 * 256, 0);
  p.colormap[1] = 200;  // red of entry 1, an 8-bit map
  p.colormap[256 + 2] = 255;
  Result r;
  Read(MakeTIFF({p}), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(2), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(r.palette[1].rgbRed, 200);
  EXPECT_EQ(r.palette[2].rgbGreen, 255);
  // 16-bit maps: c * 257 and c * 256 both give c.
  p.colormap[1] = 200 * 257;
  p.colormap[256 + 2] = 100 * 256;
  Read(MakeTIFF({p}), 8, &r);
  EXPECT_EQ(r.palette[1].rgbRed, 200);
  EXPECT_EQ(r.palette[2].rgbGreen, 100);
}

TEST(TIFFIndexed, GreyRamps) {
  Page p;
  p.width = 4;
  p.bits = 4;
  p.data = {0x05, 0xAF};
  Result r;
  Read(MakeTIFF({p}), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{0, 5, 10, 15}));
  // The ramp spreads 16 levels over the full range, so the picture keeps its brightness.
  EXPECT_EQ(r.palette[15].rgbRed, 255);
  EXPECT_EQ(r.palette[5].rgbGreen, 85);
  p.bits = 8;
  p.photometric = PHOTOMETRIC_MINISWHITE;
  p.data = {0, 1, 2, 3};
  Read(MakeTIFF({p}), 8, &r);
  EXPECT_EQ(r.palette[0].rgbBlue, 255);
  EXPECT_EQ(r.palette[200].rgbBlue, 55);
  // 16-bit grey is reduced to 8 bits.
  p.bits = 16;
  p.photometric = PHOTOMETRIC_MINISBLACK;
  const uint16_t v[4] = {0, 257, 32896, 65535};
  p.data.assign(reinterpret_cast<const uint8_t*>(v), reinterpret_cast<const uint8_t*>(v) + 8);
  Read(MakeTIFF({p}), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{0, 1, 128, 255}));
  Read(MakeTIFF({p}), 16, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(8), p.data);
  p.width = 3;
  p.height = 2;
  Read(MakeTIFF({p}), 16, &r);
  EXPECT_EQ(GlobalSize(r.pixels.block), 12u);
  Read(MakeTIFF({p}), 16, &r, 0, PX_TIFF_16BIT_PAD_ROWS);
  EXPECT_EQ(GlobalSize(r.pixels.block), 16u);
}

TEST(TIFFIndexed, PagesTheEightBitPathDoesNotRead) {
  Result r;
  Read(MakeTIFF({Coordinates(2, 2)}), 8, &r);
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
  Read(MakeTIFF({Coordinates(2, 2)}), 24, &r);
  EXPECT_EQ(r.error, 0);
  Page greyAlpha;
  greyAlpha.samples = 2;
  greyAlpha.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
  greyAlpha.data = {10, 255};
  Read(MakeTIFF({greyAlpha}), 8, &r);  // its alpha bytes would pass for pixels
  EXPECT_EQ(r.error, PX_ERR_BIT_DEPTH);
}

TEST(TIFFIndexed, TurnedPageAndPackedDIB) {
  Page p;
  p.width = 3;
  p.height = 2;
  p.data = {1, 2, 3, 4, 5, 6};
  p.orientation = ORIENTATION_RIGHTTOP;  // turned a quarter clockwise to show upright
  Result r;
  Read(MakeTIFF({p}), 8, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.width, 2u);
  EXPECT_EQ(r.height, 3u);
  EXPECT_EQ(r.bytes(6), (std::vector<uint8_t>{4, 1, 5, 2, 6, 3}));
  Read(MakeTIFF({p}), 0, &r, 0, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(h->biClrUsed, 256u);
  EXPECT_EQ(h->biWidth, 2);
  const uint8_t* rows = r.pixels.bytes() + 1064;
  EXPECT_EQ(std::vector<uint8_t>(rows, rows + 2), (std::vector<uint8_t>{6, 3}));  // bottom
}

/* ---- 24- and 32-bit path ---------------------------------------------------------------- */

// The upright picture of a 3 x 2 page stored with each orientation: for every output
// pixel, the stored (x, y) it shows.
TEST(TIFFRGBA, OrientationTable) {
  struct Case {
    uint16_t orientation;
    uint32_t w, h;
    std::vector<std::pair<int, int>> from;  // output row by row
  };
  const Case cases[] = {
      {1, 3, 2, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}},
      {2, 3, 2, {{2, 0}, {1, 0}, {0, 0}, {2, 1}, {1, 1}, {0, 1}}},
      {3, 3, 2, {{2, 1}, {1, 1}, {0, 1}, {2, 0}, {1, 0}, {0, 0}}},
      {4, 3, 2, {{0, 1}, {1, 1}, {2, 1}, {0, 0}, {1, 0}, {2, 0}}},
      {5, 2, 3, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}},
      {6, 2, 3, {{0, 1}, {0, 0}, {1, 1}, {1, 0}, {2, 1}, {2, 0}}},
      {7, 2, 3, {{2, 1}, {2, 0}, {1, 1}, {1, 0}, {0, 1}, {0, 0}}},
      {8, 2, 3, {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}}},
      {9, 3, 2, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    Page p = Coordinates(3, 2);
    p.orientation = c.orientation;
    const std::vector<uint8_t> file = MakeTIFF({p});
    Result r;
    Read(file, 24, &r);
    ASSERT_EQ(r.error, 0);
    ASSERT_EQ(r.width, c.w);
    ASSERT_EQ(r.height, c.h);
    for (size_t i = 0; i < c.from.size(); ++i) {
      EXPECT_EQ(r.pixels.bytes()[3 * i], c.from[i].first) << i;
      EXPECT_EQ(r.pixels.bytes()[3 * i + 1], c.from[i].second) << i;
    }
    Read(file, 24, &r, 0, PX_TIFF_IGNORE_ORIENTATION);
    EXPECT_EQ(r.bytes(18), p.data);
  }
}

TEST(TIFFRGBA, PackedDIBAndAlpha) {
  Page p = Coordinates(3, 2);
  p.xResolution = p.yResolution = 100;
  p.resolutionUnit = RESUNIT_CENTIMETER;
  Result r;
  Read(MakeTIFF({p}), 0, &r, 0, PX_READ_PACKED_DIB);
  ASSERT_EQ(r.error, 0);
  auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes());
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biHeight, 2);
  EXPECT_EQ(h->biYPelsPerMeter, 10000);
  EXPECT_EQ(GlobalSize(r.pixels.block), 40u + 2 * 12);
  // Bottom row first, blue, green, red, padded.
  EXPECT_EQ(std::vector<uint8_t>(r.pixels.bytes() + 40, r.pixels.bytes() + 52),
            (std::vector<uint8_t>{7, 1, 0, 7, 1, 1, 7, 1, 2, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(r.pixels.bytes(), r.pixels.bytes() + 4),
            (std::vector<uint8_t>{40, 0, 0, 0}));

  Page rgba;
  rgba.samples = 4;
  rgba.photometric = PHOTOMETRIC_RGB;
  rgba.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
  rgba.data = {100, 50, 20, 128};
  Read(MakeTIFF({rgba}), 32, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), rgba.data);
  Read(MakeTIFF({rgba}), 0, &r, 0, PX_READ_PACKED_DIB);
  EXPECT_EQ(reinterpret_cast<const BITMAPINFOHEADER*>(r.pixels.bytes())->biBitCount, 32);
  EXPECT_EQ(std::vector<uint8_t>(r.pixels.bytes() + 40, r.pixels.bytes() + 44),
            (std::vector<uint8_t>{20, 50, 100, 128}));
}

TEST(TIFFRGBA, AlphaInterpretationAndRawCMYK) {
  Page rgba;
  rgba.samples = 4;
  rgba.photometric = PHOTOMETRIC_RGB;
  rgba.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
  rgba.data = {100, 50, 20, 128};
  const std::vector<uint8_t> file = MakeTIFF({rgba});
  // Taken as unassociated, the colours are composited over black.
  PXThreadState* state = px::GetThreadState();
  state->tiffWrite.extraSampleInterpretation = EXTRASAMPLE_UNASSALPHA;
  Result r;
  Read(file, 24, &r);
  state->tiffWrite.extraSampleInterpretation = -1;
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{50, 25, 10}));

  Page cmyk;
  cmyk.samples = 4;
  cmyk.photometric = PHOTOMETRIC_SEPARATED;
  cmyk.inks = true;
  cmyk.data = {0, 255, 255, 0};  // red
  Read(MakeTIFF({cmyk}), 32, &r);
  ASSERT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes(4), (std::vector<uint8_t>{255, 0, 0, 255}));
  Read(MakeTIFF({cmyk}), 32, &r, 0, PX_TIFF_RAW_CMYK);
  EXPECT_EQ(r.bytes(4), cmyk.data);
  Read(MakeTIFF({cmyk}), 24, &r, 0, PX_TIFF_RAW_CMYK);  // only 32-bit output keeps inks
  EXPECT_EQ(r.bytes(3), (std::vector<uint8_t>{255, 0, 0}));
}

TEST(TIFFRGBA, StripsAndTilesGiveTheSamePicture) {
  Page strips = Coordinates(40, 35), tiles = Coordinates(40, 35);
  strips.rowsPerStrip = 3;
  strips.compression = COMPRESSION_DEFLATE;
  tiles.tile = 16;
  Result a, b;
  Read(MakeTIFF({strips}), 24, &a);
  Read(MakeTIFF({tiles}), 24, &b);
  ASSERT_EQ(a.error, 0);
  ASSERT_EQ(b.error, 0);
  EXPECT_EQ(a.bytes(strips.data.size()), strips.data);
  EXPECT_EQ(b.bytes(strips.data.size()), strips.data);
}

using pxtest::ProgressLog;

TEST(TIFFRGBA, ProgressBetweenBandsAndAbort) {
  Page p = Coordinates(4, 600);
  p.rowsPerStrip = 100;
  const std::vector<uint8_t> file = MakeTIFF({p});
  ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  Result r;
  Read(file, 24, &r);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(log.calls, (std::vector<std::pair<UINT, UINT>>{{0, 600}, {200, 600}, {400, 600}}));
  log.calls.clear();
  log.stopAt = 2;
  Read(file, 24, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
  // The native paths report after each strip, with the strip's first row.
  Page grey;
  grey.width = 2;
  grey.height = 5;
  grey.rowsPerStrip = 2;
  log.calls.clear();
  log.stopAt = SIZE_MAX;
  Read(MakeTIFF({grey}), 8, &r);
  EXPECT_EQ(log.calls, (std::vector<std::pair<UINT, UINT>>{{0, 5}, {2, 5}, {4, 5}}));
  log.stopAt = 1;
  Read(MakeTIFF({grey}), 8, &r);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_ABORTED);
}

/* ---- Damaged files ---------------------------------------------------------------------- */

TEST(TIFFHostile, DamagedStripsKeepTheImageOnlyOnNativePaths) {
  Page p = Bilevel(PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
  p.rowsPerStrip = 1;
  std::vector<uint8_t> file = MakeTIFF({p});
  // Spoil the strips' data (it lies between the header and the directory).
  const uint32_t ifd = px::LE32(file.data() + 4);
  for (uint32_t i = 8; i < ifd; ++i) file[i] = 0x00;
  Result r;
  Read(file, 1, &r);
  ASSERT_NE(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BAD_TIFF);
  Read(file, 24, &r);
  EXPECT_EQ(r.pixels.block, nullptr);
  EXPECT_EQ(r.error, PX_ERR_BAD_TIFF);
}

// Sets a one-value tag of the first directory to a LONG value.
void PatchTag(std::vector<uint8_t>& file, uint16_t tag, uint32_t value) {
  const uint32_t ifd = px::LE32(file.data() + 4);
  for (uint16_t i = 0, n = px::LE16(file.data() + ifd); i < n; ++i) {
    uint8_t* e = file.data() + ifd + 2 + 12 * i;
    if (px::LE16(e) != tag) continue;
    e[2] = TIFF_LONG;
    e[3] = 0;
    for (int k = 0; k < 4; ++k) e[8 + k] = uint8_t(value >> (8 * k));
  }
}

TEST(TIFFHostile, HugePageOnATinyFileIsRefusedWithoutAllocating) {
  // A small blank fax page whose header then claims 25000 x 25000 pixels in one strip.
  Page p = Bilevel(PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
  std::vector<uint8_t> file = MakeTIFF({p});
  for (uint16_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP})
    PatchTag(file, tag, 25000);
  for (uint32_t depth : {8u, 24u}) {
    Result r;
    Read(file, depth, &r);
    EXPECT_EQ(r.pixels.block, nullptr) << depth;
    EXPECT_EQ(r.error, PX_ERR_BAD_TIFF) << depth;
  }
}

std::vector<std::string>* g_traced = nullptr;
void CollectTrace(const char* text) {
  g_traced->push_back(text);
}

TEST(TIFFHostile, DamagedFilesNeverCrashAndLibTIFFOnlyTraces) {
  std::vector<std::vector<uint8_t>> seeds;
  Page tiled = Coordinates(20, 18);
  tiled.tile = 16;
  tiled.compression = COMPRESSION_LZW;
  seeds.push_back(MakeTIFF({tiled}));
  seeds.push_back(MakeTIFF({Bilevel(-1, COMPRESSION_CCITTFAX4)}));
  Page pal;
  pal.width = 9;
  pal.height = 4;
  pal.bits = 4;
  pal.photometric = PHOTOMETRIC_PALETTE;
  pal.colormap.assign(3 * 16, 1000);
  pal.data.assign(20, 0x12);
  pal.rowsPerStrip = 1;
  seeds.push_back(MakeTIFF({pal, Coordinates(3, 3)}));

  std::vector<std::string> traced;
  g_traced = &traced;
  px::SetTraceHook(CollectTrace);
  std::mt19937 rng(99);
  for (int round = 0; round < 600; ++round) {
    std::vector<uint8_t> file = seeds[round % seeds.size()];
    for (int i = 0, n = 1 + int(rng() % 4); i < n; ++i) file[rng() % file.size()] = uint8_t(rng());
    if (rng() % 5 == 0) file.resize(8 + rng() % (file.size() - 8));
    for (uint32_t depth : {1u, 8u, 16u, 24u, 32u}) {
      Result r;
      Read(file, depth, &r, round % 2, depth == 32 && round % 3 == 0 ? PX_READ_PACKED_DIB : 0);
      if (!r.pixels.block) {
        ASSERT_NE(r.error, 0);
      }
    }
  }
  px::SetTraceHook(nullptr);
  ASSERT_FALSE(traced.empty());
  EXPECT_EQ(traced[0].rfind("LibTiff ", 0), 0u) << traced[0];
}

}  // namespace
