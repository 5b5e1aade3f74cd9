// PXWriteTIFF and PXWriteTIFFStride: pages of every depth and compression read back with
// the library's reader, the tags libtiff finds, the flags, the thread's write options and
// the argument checks.
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "core/operation.h"
#include "core/thread_state.h"
#include "pixolith/px_tiff.h"
#include "test_support.h"
#include "tiff_write_support.h"

namespace {

using pxtest::NoisePage;
using pxtest::ReadResult;
using pxtest::TempDir;
using pxtest::TestPage;
using pxtest::TIFFTags;

// Restores the thread's write options after a test that changes them.
class OptionsGuard {
 public:
  OptionsGuard() : saved_(Options()) {}
  ~OptionsGuard() { Options() = saved_; }
  static px::TIFFWriteOptions& Options() { return px::GetThreadState()->tiffWrite; }

 private:
  px::TIFFWriteOptions saved_;
};

std::vector<std::string> g_trace;
void KeepTrace(const char* text) {
  g_trace.push_back(text);
}

// A noise page asked for `compression`, written into `path` with `flags`.
TestPage WriteNoise(const std::string& path, uint32_t width, uint32_t height, uint32_t bits,
                    uint32_t compression, uint32_t flags = 0) {
  TestPage page = NoisePage(width, height, bits);
  page.compression = compression;
  EXPECT_EQ(pxtest::WriteTIFFFile(path, page, flags).error, 0);
  return page;
}

/* ---- Round trips ------------------------------------------------------------------------ */

struct RoundTrip {
  uint32_t bits;
  uint32_t compression;
  uint32_t flags;
};

std::string Name(const testing::TestParamInfo<RoundTrip>& info) {
  const RoundTrip& r = info.param;
  std::string name = std::to_string(r.bits) + "bit_c" + std::to_string(r.compression);
  if (r.flags & PX_TIFF_WRITE_PREDICTOR) name += "_predictor";
  if (r.flags & PX_TIFF_WRITE_TILES) name += "_tiles";
  return name;
}

std::vector<RoundTrip> LosslessCases() {
  std::vector<RoundTrip> cases;
  const uint32_t general[] = {1, 5, 32773, 8, 32946};
  const uint32_t ccitt[] = {2, 3, 4};
  for (uint32_t bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
    for (uint32_t flags : {0u, uint32_t(PX_TIFF_WRITE_TILES)}) {
      for (uint32_t c : general) {
        cases.push_back({bits, c, flags});
        if (bits != 1 && (c == 5 || c == 8 || c == 32946))
          cases.push_back({bits, c, flags | PX_TIFF_WRITE_PREDICTOR});
      }
      if (bits == 1)
        for (uint32_t c : ccitt) cases.push_back({bits, c, flags});
    }
  }
  return cases;
}

class TIFFWriteRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(TIFFWriteRoundTrip, PixelsAndLayoutComeBack) {
  const RoundTrip& r = GetParam();
  TempDir dir;
  const std::string path = dir.File("page.tif");
  // 300 x 70: several strips at 24 and 32 bits, and two tile columns, the second partial.
  TestPage page = NoisePage(300, 70, r.bits, r.bits + r.compression);
  page.compression = r.compression;
  const pxtest::WriteOutcome w = pxtest::WriteTIFFFile(path, page, r.flags);
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(w.result, pxtest::ReadFile(path).size());

  ReadResult back;
  pxtest::ReadBack(path, 0, pxtest::ReadDepth(r.bits), &back, PX_TIFF_RAW_CMYK);
  ASSERT_EQ(back.error, 0);
  ASSERT_EQ(back.width, 300u);
  ASSERT_EQ(back.height, 70u);
  const std::vector<uint8_t> expected = pxtest::ExpectedBytes(page);
  EXPECT_EQ(back.bytes(expected.size()), expected);
  if (r.bits == 4 || r.bits == 8) {
    for (int i = 0; i < (1 << r.bits); ++i) {
      ASSERT_EQ(back.palette[i].rgbRed, page.palette[i].rgbRed) << i;
      ASSERT_EQ(back.palette[i].rgbGreen, page.palette[i].rgbGreen) << i;
      ASSERT_EQ(back.palette[i].rgbBlue, page.palette[i].rgbBlue) << i;
    }
  }

  TIFFTags tags(path, 0);
  ASSERT_TRUE(tags.ok());
  EXPECT_EQ(tags.U16(TIFFTAG_COMPRESSION), r.compression);
  const bool predictor = (r.flags & PX_TIFF_WRITE_PREDICTOR) && r.bits != 4;
  EXPECT_EQ(tags.U16(TIFFTAG_PREDICTOR).value_or(1), predictor ? 2 : 1);
  EXPECT_EQ(TIFFIsTiled(tags.tif()) != 0, (r.flags & PX_TIFF_WRITE_TILES) != 0);
  if (r.flags & PX_TIFF_WRITE_TILES) {
    EXPECT_EQ(tags.U32(TIFFTAG_TILEWIDTH), 256u);
    EXPECT_EQ(tags.U32(TIFFTAG_TILELENGTH), 256u);
  } else {
    // libtiff's default strips of 8192 bytes of rows.
    const uint32_t rowBytes = (300 * r.bits + 7) / 8;
    EXPECT_EQ(tags.U32(TIFFTAG_ROWSPERSTRIP), std::max(8192 / rowBytes, 1u));
  }
}

INSTANTIATE_TEST_SUITE_P(Lossless, TIFFWriteRoundTrip, testing::ValuesIn(LosslessCases()), Name);

// JPEG at the default quality 75 on smooth gradients, every channel at full resolution:
// libjpeg leaves about half a level on average and two at most; the bounds leave room
// for another DCT implementation, while a wrong colour order, a lost channel or a
// shifted row moves samples by tens of levels.
class TIFFWriteJPEG : public testing::TestWithParam<RoundTrip> {};

TEST_P(TIFFWriteJPEG, PixelsComeBackClose) {
  const RoundTrip& r = GetParam();
  TempDir dir;
  const std::string path = dir.File("jpeg.tif");
  TestPage page = pxtest::SmoothPage(96, 80, r.bits);
  page.compression = PX_TIFF_COMPRESSION_JPEG;
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page, r.flags).error, 0);

  ReadResult back;
  pxtest::ReadBack(path, 0, r.bits, &back);
  ASSERT_EQ(back.error, 0);
  ASSERT_EQ(back.width, 96u);
  double total = 0;
  int worst = 0;
  for (size_t i = 0; i < page.pixels.size(); ++i) {
    const int d = std::abs(int(back.pixels.bytes()[i]) - int(page.pixels[i]));
    total += d;
    worst = std::max(worst, d);
  }
  EXPECT_LT(total / double(page.pixels.size()), 1.0);
  EXPECT_LE(worst, 6);

  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U16(TIFFTAG_COMPRESSION), COMPRESSION_JPEG);
  EXPECT_EQ(tags.U16(TIFFTAG_PHOTOMETRIC), r.bits == 8 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  EXPECT_FALSE(tags.U16(TIFFTAG_COLORMAP));
  if (!(r.flags & PX_TIFF_WRITE_TILES)) {
    EXPECT_EQ(tags.U32(TIFFTAG_ROWSPERSTRIP), 80u);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, TIFFWriteJPEG,
                         testing::Values(RoundTrip{8, 7, 0}, RoundTrip{24, 7, 0},
                                         RoundTrip{32, 7, 0},
                                         RoundTrip{24, 7, PX_TIFF_WRITE_TILES}),
                         Name);

/* ---- Depth tags and compression mapping ------------------------------------------------- */

struct Layout {
  uint32_t bits;
  uint32_t flags;
  uint32_t compression;
  uint16_t photometric;
  uint16_t samples;
  uint16_t bitsPerSample;
  bool colorMap;
};

TEST(TIFFWriteTags, DepthTagsForEveryDepthAndFlag) {
  const Layout layouts[] = {
      {1, 0, 1, PHOTOMETRIC_MINISWHITE, 1, 1, false},
      {1, PX_TIFF_WRITE_1BIT_MINISBLACK, 1, PHOTOMETRIC_MINISBLACK, 1, 1, false},
      {4, 0, 1, PHOTOMETRIC_PALETTE, 1, 4, true},
      {4, PX_TIFF_WRITE_GRAY, 1, PHOTOMETRIC_MINISBLACK, 1, 4, false},
      {8, 0, 1, PHOTOMETRIC_PALETTE, 1, 8, true},
      {8, PX_TIFF_WRITE_GRAY, 5, PHOTOMETRIC_MINISBLACK, 1, 8, false},
      {8, 0, 7, PHOTOMETRIC_MINISBLACK, 1, 8, false},
      {16, 0, 1, PHOTOMETRIC_MINISBLACK, 1, 16, false},
      {24, 0, 1, PHOTOMETRIC_RGB, 3, 8, false},
      {32, 0, 1, PHOTOMETRIC_RGB, 4, 8, false},
      {32, PX_TIFF_WRITE_CMYK, 1, PHOTOMETRIC_SEPARATED, 4, 8, false},
  };
  TempDir dir;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(testing::Message() << l.bits << " bits, flags " << l.flags);
    const std::string path = dir.File("layout.tif");
    WriteNoise(path, 16, 16, l.bits, l.compression, l.flags);
    TIFFTags tags(path, 0);
    EXPECT_EQ(tags.U16(TIFFTAG_PHOTOMETRIC), l.photometric);
    EXPECT_EQ(tags.U16(TIFFTAG_SAMPLESPERPIXEL), l.samples);
    EXPECT_EQ(tags.U16(TIFFTAG_BITSPERSAMPLE), l.bitsPerSample);
    EXPECT_EQ(tags.U16(TIFFTAG_PLANARCONFIG), PLANARCONFIG_CONTIG);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    EXPECT_EQ(TIFFGetField(tags.tif(), TIFFTAG_COLORMAP, &red, &green, &blue) != 0, l.colorMap);
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    const bool hasExtra = TIFFGetField(tags.tif(), TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    EXPECT_EQ(hasExtra, l.bits == 32 && !l.flags);
    if (hasExtra) {
      ASSERT_EQ(extraCount, 1);
      EXPECT_EQ(extra[0], EXTRASAMPLE_ASSOCALPHA);
    }
    EXPECT_EQ(tags.U16(TIFFTAG_INKSET).has_value(), (l.flags & PX_TIFF_WRITE_CMYK) != 0);
  }
}

TEST(TIFFWriteTags, CompressionIsMappedForEachDepth) {
  struct Case {
    uint32_t bits, requested, written;
  } cases[] = {
      {1, 0, 1},          {1, 7, 1},  {1, 2, 2},  {1, 3, 3},  {1, 4, 4},  {1, 32773, 32773},
      {1, 5, 5},          {8, 0, 1},  {8, 2, 1},  {8, 3, 1},  {8, 4, 1},  {8, 32771, 1},
      {8, 5, 5},          {24, 0, 1}, {24, 2, 1}, {24, 3, 1}, {24, 4, 1}, {24, 32771, 1},
      {24, 32773, 32773}, {32, 4, 1}, {16, 4, 1}, {4, 3, 1},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits asked for " << c.requested);
    const std::string path = dir.File("mapped.tif");
    const TestPage page = WriteNoise(path, 20, 9, c.bits, c.requested);
    EXPECT_EQ(TIFFTags(path, 0).U16(TIFFTAG_COMPRESSION), c.written);
    ReadResult back;
    pxtest::ReadBack(path, 0, pxtest::ReadDepth(c.bits), &back);
    const std::vector<uint8_t> expected = pxtest::ExpectedBytes(page);
    EXPECT_EQ(back.bytes(expected.size()), expected);
  }
}

TEST(TIFFWriteTags, OneBitJPEGIsOneUncompressedStrip) {
  TempDir dir;
  const std::string path = dir.File("bilevel.tif");
  WriteNoise(path, 40, 300, 1, PX_TIFF_COMPRESSION_JPEG);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U16(TIFFTAG_COMPRESSION), COMPRESSION_NONE);
  EXPECT_EQ(tags.U32(TIFFTAG_ROWSPERSTRIP), 300u);
}

TEST(TIFFWriteTags, ColorMapHoldsSixteenBitColours) {
  TempDir dir;
  const std::string path = dir.File("map.tif");
  TestPage page = NoisePage(8, 2, 8);
  page.palette[7] = {0x10, 0x20, 0x30, 0};  // blue, green, red
  page.palette[255] = {255, 255, 255, 0};
  page.palette[0] = {0, 0, 0, 0};
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page).error, 0);
  TIFFTags tags(path, 0);
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  ASSERT_TRUE(TIFFGetField(tags.tif(), TIFFTAG_COLORMAP, &red, &green, &blue));
  EXPECT_EQ(red[7], 0x3030);
  EXPECT_EQ(green[7], 0x2020);
  EXPECT_EQ(blue[7], 0x1010);
  EXPECT_EQ(red[255], 65535);
  EXPECT_EQ(blue[0], 0);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(green[i], page.palette[i].rgbGreen * 257) << i;
}

/* ---- Common tags ------------------------------------------------------------------------ */

TEST(TIFFWriteTags, ResolutionAsGivenOrOneByOneWithoutUnit) {
  TempDir dir;
  const std::string path = dir.File("res.tif");
  TestPage page = NoisePage(5, 5, 24);
  page.resolution = {300, 150, RESUNIT_CENTIMETER};
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page).error, 0);
  {
    TIFFTags tags(path, 0);
    EXPECT_EQ(tags.Float(TIFFTAG_XRESOLUTION), 300.0f);
    EXPECT_EQ(tags.Float(TIFFTAG_YRESOLUTION), 150.0f);
    EXPECT_EQ(tags.U16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_CENTIMETER);
  }
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page, 0, false).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.Float(TIFFTAG_XRESOLUTION), 1.0f);
  EXPECT_EQ(tags.Float(TIFFTAG_YRESOLUTION), 1.0f);
  EXPECT_EQ(tags.U16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_NONE);
}

TEST(TIFFWriteTags, OrientationSoftwareAndNothingElse) {
  TempDir dir;
  const std::string path = dir.File("common.tif");
  ASSERT_EQ(pxtest::WriteTIFFFile(path, NoisePage(5, 5, 1)).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U16(TIFFTAG_ORIENTATION), ORIENTATION_TOPLEFT);
  EXPECT_EQ(tags.Text(TIFFTAG_SOFTWARE),
            std::string("Pixolith (PX 3.0.58.6), using ") + TIFFGetVersion());
  // Nothing beyond the layout, resolution, orientation and Software: no SubfileType,
  // PageNumber, DateTime, FillOrder or Group3Options.
  const std::vector<uint16_t> stored = {256, 257, 258, 259, 262, 273, 274, 277,
                                        278, 279, 282, 283, 284, 296, 305};
  EXPECT_EQ(pxtest::StoredTags(path, 0), stored);
  WriteNoise(path, 30, 10, 1, PX_TIFF_COMPRESSION_CCITT_G3);
  EXPECT_EQ(pxtest::StoredTags(path, 0), stored);
}

TEST(TIFFWriteTags, LargeRowsGetFewRowsPerStrip) {
  TempDir dir;
  const std::string path = dir.File("wide.tif");
  ASSERT_EQ(pxtest::WriteTIFFFile(path, NoisePage(1000, 9, 24)).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U32(TIFFTAG_ROWSPERSTRIP), 2u);
  EXPECT_EQ(TIFFNumberOfStrips(tags.tif()), 5u);
}

/* ---- Thread options --------------------------------------------------------------------- */

TEST(TIFFWriteOptions, StripsTilesOrientationAndSoftware) {
  OptionsGuard guard;
  px::TIFFWriteOptions& o = OptionsGuard::Options();
  TempDir dir;
  const std::string path = dir.File("options.tif");
  TestPage page = NoisePage(50, 40, 8);

  o.rowsPerStrip = 7;
  o.orientation = 4;
  o.software = "made by hand";
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page).error, 0);
  {
    TIFFTags tags(path, 0);
    EXPECT_EQ(tags.U32(TIFFTAG_ROWSPERSTRIP), 7u);
    EXPECT_EQ(tags.U16(TIFFTAG_ORIENTATION), 4);
    EXPECT_EQ(tags.Text(TIFFTAG_SOFTWARE), "made by hand");
  }
  // Orientation 4 is bottom-left: the reader turns the page over.
  ReadResult back;
  pxtest::ReadBack(path, 0, 8, &back);
  ASSERT_EQ(back.error, 0);
  EXPECT_EQ(std::vector<uint8_t>(back.pixels.bytes(), back.pixels.bytes() + 50),
            std::vector<uint8_t>(page.pixels.end() - 50, page.pixels.end()));

  o.rowsPerStrip = 0;  // anything but -1 and positive counts means one row
  o.tileWidth = 100;   // rounded up to a multiple of 16
  o.tileLength = 0;
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page).error, 0);
  EXPECT_EQ(TIFFTags(path, 0).U32(TIFFTAG_ROWSPERSTRIP), 1u);
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page, PX_TIFF_WRITE_TILES).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U32(TIFFTAG_TILEWIDTH), 112u);
  EXPECT_EQ(tags.U32(TIFFTAG_TILELENGTH), 256u);
}

TEST(TIFFWriteOptions, JPEGQualityChangesTheData) {
  OptionsGuard guard;
  TempDir dir;
  TestPage page = NoisePage(64, 64, 24);
  page.compression = PX_TIFF_COMPRESSION_JPEG;
  OptionsGuard::Options().jpegQuality = 20;
  const uint32_t low = pxtest::WriteTIFFFile(dir.File("low.tif"), page).result;
  OptionsGuard::Options().jpegQuality = 95;
  const uint32_t high = pxtest::WriteTIFFFile(dir.File("high.tif"), page).result;
  EXPECT_GT(low, 0u);
  EXPECT_GT(high, low + 4000);
}

TEST(TIFFWriteOptions, MetadataBlocksAreWrittenAsGiven) {
  OptionsGuard guard;
  px::TIFFWriteOptions& o = OptionsGuard::Options();
  o.xmp = {'<', 'x', '/', '>'};
  o.annotations = {1, 2, 3};
  o.iptc = {0x1C, 2, 0, 0, 0};
  o.icc = std::vector<uint8_t>(132, 7);
  o.photoshop = {'8', 'B', 'I', 'M'};
  TempDir dir;
  const std::string path = dir.File("meta.tif");
  ASSERT_EQ(pxtest::WriteTIFFFile(path, NoisePage(4, 4, 24)).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.Block(TIFFTAG_XMLPACKET), o.xmp);
  EXPECT_EQ(tags.Block(32932), o.annotations);
  EXPECT_EQ(tags.Block(TIFFTAG_RICHTIFFIPTC), o.iptc);
  EXPECT_EQ(tags.Block(TIFFTAG_ICCPROFILE), o.icc);
  EXPECT_EQ(tags.Block(TIFFTAG_PHOTOSHOP), o.photoshop);
}

VARIANT Value(VARTYPE vt, double v) {
  VARIANT out;
  VariantInit(&out);
  out.vt = vt;
  switch (vt) {
    case VT_UI1:
      out.bVal = uint8_t(v);
      break;
    case VT_UI2:
      out.uiVal = uint16_t(v);
      break;
    case VT_UI4:
      out.ulVal = uint32_t(v);
      break;
    case VT_R4:
      out.fltVal = float(v);
      break;
    default:
      out.dblVal = v;
  }
  return out;
}

px::TIFFExtraTag Tag(uint32_t tag, int type, VARTYPE vt, std::vector<double> values) {
  px::TIFFExtraTag t;
  t.tag = tag;
  t.fieldType = type;
  t.count = uint32_t(values.size());
  for (double v : values) t.values.push_back(Value(vt, v));
  return t;
}

px::TIFFExtraTag Text(uint32_t tag, const std::string& text) {
  std::vector<double> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return Tag(tag, TIFF_ASCII, VT_UI1, bytes);
}

TEST(TIFFWriteOptions, ExtraTagsInTheirCallingForms) {
  OptionsGuard guard;
  px::TIFFWriteOptions& o = OptionsGuard::Options();
  o.extraTags = {
      Text(TIFFTAG_IMAGEDESCRIPTION, "a page"),
      Tag(TIFFTAG_PAGENUMBER, TIFF_SHORT, VT_UI2, {2, 9}),
      Tag(TIFFTAG_WHITEPOINT, TIFF_RATIONAL, VT_R4, {0.3125, 0.329}),
      Tag(TIFFTAG_SUBFILETYPE, TIFF_LONG, VT_UI4, {FILETYPE_PAGE}),
      Tag(TIFFTAG_XPOSITION, TIFF_RATIONAL, VT_R4, {1.5}),
      Tag(33550, TIFF_DOUBLE, VT_R8, {0.25, 0.5, 0}),   // GeoPixelScale, a counted array
      Tag(TIFFTAG_IMAGEWIDTH, TIFF_LONG, VT_UI4, {7}),  // the writer's own: skipped
  };
  g_trace.clear();
  px::TraceHook old = px::SetTraceHook(KeepTrace);
  TempDir dir;
  const std::string path = dir.File("extra.tif");
  const pxtest::WriteOutcome w = pxtest::WriteTIFFFile(path, NoisePage(12, 3, 24));
  px::SetTraceHook(old);
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(g_trace, std::vector<std::string>{"Writing of tag 256 is not permitted"});

  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.U32(TIFFTAG_IMAGEWIDTH), 12u);
  EXPECT_EQ(tags.Text(TIFFTAG_IMAGEDESCRIPTION), "a page");
  uint16_t page = 0, pages = 0;
  ASSERT_TRUE(TIFFGetField(tags.tif(), TIFFTAG_PAGENUMBER, &page, &pages));
  EXPECT_EQ(page, 2);
  EXPECT_EQ(pages, 9);
  float* white = nullptr;
  ASSERT_TRUE(TIFFGetField(tags.tif(), TIFFTAG_WHITEPOINT, &white));
  EXPECT_NEAR(white[0], 0.3125, 1e-6);
  EXPECT_NEAR(white[1], 0.329, 1e-6);
  EXPECT_EQ(tags.U32(TIFFTAG_SUBFILETYPE), uint32_t(FILETYPE_PAGE));
  EXPECT_EQ(tags.Float(TIFFTAG_XPOSITION), 1.5f);
  uint16_t count = 0;
  double* scale = nullptr;
  ASSERT_TRUE(TIFFGetField(tags.tif(), 33550, &count, &scale));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(scale[1], 0.5);
}

TEST(TIFFWriteOptions, RefusedExtraTagsFailThePage) {
  struct Case {
    px::TIFFExtraTag tag;
    const char* trace;
  };
  px::TIFFExtraTag short1 = Tag(TIFFTAG_ARTIST, TIFF_ASCII, VT_UI1, {65, 0});
  short1.count = 3;  // one value missing
  px::TIFFExtraTag mixed = Tag(TIFFTAG_PAGENUMBER, TIFF_SHORT, VT_UI2, {1, 2});
  mixed.values[1] = Value(VT_UI4, 2);
  const Case cases[] = {
      {short1, "Not enough data elements in TIFF tag\n"},
      {Tag(65000, TIFF_SHORT, VT_UI2, {1}), "Unsupported TIFF tag\n"},
      {Tag(TIFFTAG_COLORMAP, TIFF_SHORT, VT_UI2, {1, 2, 3}), "Unsupported TIFF tag\n"},
      {Tag(TIFFTAG_ARTIST, TIFF_SHORT, VT_UI2, {1}), "Incorrect TIFF tag data type\n"},
      {Tag(TIFFTAG_WHITEPOINT, TIFF_RATIONAL, VT_R4, {0.3}), "Incorrect TIFF tag data count\n"},
      {mixed, "Bad Variant type in TIFF tag\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    OptionsGuard guard;
    OptionsGuard::Options().extraTags = {c.tag};
    g_trace.clear();
    px::TraceHook old = px::SetTraceHook(KeepTrace);
    const std::string path = dir.File("refused.tif");
    const pxtest::WriteOutcome w = pxtest::WriteTIFFFile(path, NoisePage(4, 4, 8));
    px::SetTraceHook(old);
    EXPECT_EQ(w.error, PX_ERR_PARAMETER);
    EXPECT_EQ(w.result, 0u);
    ASSERT_FALSE(g_trace.empty());
    EXPECT_EQ(g_trace[0], c.trace);
    EXPECT_EQ(pxtest::DirectoryCount(path), 0u);
  }
}

TEST(TIFFWriteOptions, AnUnwritableFieldTypeEndsTheList) {
  OptionsGuard guard;
  OptionsGuard::Options().extraTags = {Text(TIFFTAG_ARTIST, "first"),
                                       Tag(TIFFTAG_MAKE, TIFF_SBYTE, VT_I1, {1}),
                                       Text(TIFFTAG_MODEL, "never")};
  TempDir dir;
  const std::string path = dir.File("stop.tif");
  ASSERT_EQ(pxtest::WriteTIFFFile(path, NoisePage(4, 4, 8)).error, 0);
  TIFFTags tags(path, 0);
  EXPECT_EQ(tags.Text(TIFFTAG_ARTIST), "first");
  EXPECT_FALSE(tags.Text(TIFFTAG_MODEL));
}

/* ---- Flags and strides ------------------------------------------------------------------ */

// The page as a reader sees it when the source was stored bottom-up in BGR order.
TestPage Reordered(const TestPage& page, bool bottomUp, bool bgr) {
  TestPage out = page;
  const size_t rowBytes = page.pixels.size() / page.height;
  const size_t step = page.bits / 8;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* src = page.pixels.data() + (bottomUp ? page.height - 1 - y : y) * rowBytes;
    uint8_t* dst = out.pixels.data() + y * rowBytes;
    std::memcpy(dst, src, rowBytes);
    if (bgr)
      for (size_t x = 0; x < page.width; ++x) std::swap(dst[x * step], dst[x * step + 2]);
  }
  return out;
}

TEST(TIFFWriteFlags, BottomUpAndBlueFirstSourcesInStripsAndTiles) {
  TempDir dir;
  for (uint32_t bits : {8u, 24u, 32u}) {
    for (uint32_t layout : {0u, uint32_t(PX_TIFF_WRITE_TILES)}) {
      for (uint32_t order : {uint32_t(PX_TIFF_WRITE_BOTTOM_UP), uint32_t(PX_TIFF_WRITE_BGR),
                             uint32_t(PX_TIFF_WRITE_BOTTOM_UP | PX_TIFF_WRITE_BGR)}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, flags " << (layout | order));
        const std::string path = dir.File("order.tif");
        const TestPage page = NoisePage(270, 20, bits, order);
        const std::vector<uint8_t> before = page.pixels;
        ASSERT_EQ(pxtest::WriteTIFFFile(path, page, layout | order).error, 0);
        EXPECT_EQ(page.pixels, before);
        const bool bgr = (order & PX_TIFF_WRITE_BGR) && bits != 8;
        const TestPage expected = Reordered(page, order & PX_TIFF_WRITE_BOTTOM_UP, bgr);
        ReadResult back;
        pxtest::ReadBack(path, 0, bits, &back);
        ASSERT_EQ(back.error, 0);
        EXPECT_EQ(back.bytes(expected.pixels.size()), expected.pixels);
      }
    }
  }
}

TEST(TIFFWriteFlags, OneBitSenseAndGreyAndCMYK) {
  TempDir dir;
  const std::string path = dir.File("sense.tif");
  const TestPage bilevel = NoisePage(21, 6, 1);
  // A set bit is white: the reader, which gives set bits as black, sees it inverted.
  ASSERT_EQ(pxtest::WriteTIFFFile(path, bilevel, PX_TIFF_WRITE_1BIT_MINISBLACK).error, 0);
  ReadResult back;
  pxtest::ReadBack(path, 0, 1, &back);
  ASSERT_EQ(back.error, 0);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 21; ++x) {
      const int written = (bilevel.pixels[y * 3 + x / 8] >> (7 - x % 8)) & 1;
      const int read = (back.pixels.bytes()[y * 3 + x / 8] >> (7 - x % 8)) & 1;
      ASSERT_EQ(read, 1 - written) << x << "," << y;
    }

  const TestPage grey = NoisePage(9, 4, 8);
  ASSERT_EQ(pxtest::WriteTIFFFile(path, grey, PX_TIFF_WRITE_GRAY).error, 0);
  pxtest::ReadBack(path, 0, 8, &back);
  EXPECT_EQ(back.bytes(36), grey.pixels);
  EXPECT_EQ(back.palette[200].rgbRed, 200);  // a grey ramp, not the page's palette

  const TestPage cmyk = NoisePage(9, 4, 32);
  ASSERT_EQ(pxtest::WriteTIFFFile(path, cmyk, PX_TIFF_WRITE_CMYK).error, 0);
  pxtest::ReadBack(path, 0, 32, &back, PX_TIFF_RAW_CMYK);
  EXPECT_EQ(back.bytes(cmyk.pixels.size()), cmyk.pixels);
}

TEST(TIFFWriteFlags, StridesAreHonoured) {
  TempDir dir;
  const std::string path = dir.File("stride.tif");
  for (uint32_t bits : {1u, 8u, 16u, 24u}) {
    SCOPED_TRACE(bits);
    const TestPage page = NoisePage(13, 5, bits);
    const size_t rowBytes = page.pixels.size() / 5;
    std::vector<uint8_t> padded(5 * (rowBytes + 6), 0xEE);
    for (uint32_t y = 0; y < 5; ++y)
      std::memcpy(&padded[y * (rowBytes + 6)], &page.pixels[y * rowBytes], rowBytes);
    // 16-bit strides count samples.
    const uint32_t stride = uint32_t(bits == 16 ? (rowBytes + 6) / 2 : rowBytes + 6);
    PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
    PXWriteTIFFStride(sink, padded.data(), 13, 5, bits, stride, page.paletteOrNull(), 1, nullptr,
                      0);
    EXPECT_EQ(PXGetLastError(), 0);
    PXCloseSink(sink);
    ReadResult back;
    pxtest::ReadBack(path, 0, bits, &back);
    EXPECT_EQ(back.bytes(page.pixels.size()), page.pixels);
  }
}

TEST(TIFFWriteFlags, EightBitJPEGCarriesTheGreyLevelsOfThePalette) {
  // A min-is-white grey page as the reader gives it: index 0 is white.
  TestPage page = pxtest::SmoothPage(64, 32, 8);
  for (int i = 0; i < 256; ++i)
    page.palette[i] = {uint8_t(255 - i), uint8_t(255 - i), uint8_t(255 - i), 0};
  page.compression = PX_TIFF_COMPRESSION_JPEG;
  TempDir dir;
  const std::string path = dir.File("grey.tif");
  ASSERT_EQ(pxtest::WriteTIFFFile(path, page).error, 0);
  ReadResult back;
  pxtest::ReadBack(path, 0, 8, &back);
  ASSERT_EQ(back.error, 0);
  double total = 0;
  for (size_t i = 0; i < page.pixels.size(); ++i)
    total += std::abs(int(back.pixels.bytes()[i]) - (255 - int(page.pixels[i])));
  EXPECT_LT(total / double(page.pixels.size()), 1.5);
}

/* ---- Arguments, progress, append -------------------------------------------------------- */

TEST(TIFFWriteArguments, BadArgumentsWriteNothing) {
  TempDir dir;
  const std::string path = dir.File("bad.tif");
  const TestPage page = NoisePage(4, 4, 8);
  struct Case {
    const BYTE* pixels;
    uint32_t width, height, bits;
    const RGBQUAD* palette;
    uint32_t compression;
    uint32_t flags;
  } cases[] = {
      {nullptr, 4, 4, 8, page.palette.data(), 1, 0},
      {page.pixels.data(), 0, 4, 8, page.palette.data(), 1, 0},
      {page.pixels.data(), 4, 0, 8, page.palette.data(), 1, 0},
      {page.pixels.data(), 4, 4, 12, page.palette.data(), 1, 0},
      {page.pixels.data(), 4, 4, 8, nullptr, 1, 0},
      {page.pixels.data(), 4, 4, 8, page.palette.data(), 12345, 0},
      {page.pixels.data(), 4, 4, 8, page.palette.data(), 0x10005, 0},
  };
  for (const Case& c : cases) {
    PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
    EXPECT_EQ(PXWriteTIFF(sink, c.pixels, c.width, c.height, c.bits, c.palette, c.compression,
                          nullptr, c.flags),
              0u);
    EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
    PXCloseSink(sink);
    EXPECT_EQ(pxtest::ReadFile(path).size(), 0u);
  }
  // A stride shorter than a row.
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  EXPECT_EQ(PXWriteTIFFStride(sink, page.pixels.data(), 4, 4, 24, 11, nullptr, 1, nullptr, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  // Grey pages need no palette.
  EXPECT_GT(PXWriteTIFF(sink, page.pixels.data(), 4, 4, 8, nullptr, 1, nullptr, PX_TIFF_WRITE_GRAY),
            0u);
  EXPECT_EQ(PXGetLastError(), 0);
  PXCloseSink(sink);
  EXPECT_EQ(PXWriteTIFF(nullptr, page.pixels.data(), 4, 4, 8, nullptr, 1, nullptr, 2), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXWriteTIFF(sink, page.pixels.data(), 4, 4, 8, nullptr, 1, nullptr, 2), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);
}

TEST(TIFFWriteProgress, EveryRowIsReportedAndAnAbortLeavesNoPage) {
  TempDir dir;
  const std::string path = dir.File("progress.tif");
  pxtest::ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  const pxtest::WriteOutcome done = pxtest::WriteTIFFFile(path, NoisePage(10, 6, 24));
  EXPECT_EQ(done.error, 0);
  const std::vector<std::pair<UINT, UINT>> rows = {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}};
  EXPECT_EQ(log.calls, rows);

  log = {};
  log.stopAt = 3;
  const pxtest::WriteOutcome aborted = pxtest::WriteTIFFFile(path, NoisePage(10, 6, 24));
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(aborted.error, PX_ERR_ABORTED);
  EXPECT_EQ(aborted.result, 0u);
  EXPECT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(pxtest::DirectoryCount(path), 0u);
}

TEST(TIFFWriteProgress, TilesReportEachRowOfTiles) {
  TempDir dir;
  pxtest::ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  const pxtest::WriteOutcome w =
      pxtest::WriteTIFFFile(dir.File("tiles.tif"), NoisePage(20, 600, 8), PX_TIFF_WRITE_TILES);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(w.error, 0);
  const std::vector<std::pair<UINT, UINT>> rows = {{0, 600}, {256, 600}, {512, 600}};
  EXPECT_EQ(log.calls, rows);
}

TEST(TIFFWriteAppend, PagesAreAddedToAnExistingFile) {
  TempDir dir;
  const std::string path = dir.File("append.tif");
  const TestPage first = NoisePage(7, 3, 24, 1), second = NoisePage(9, 5, 8, 2);
  ASSERT_EQ(pxtest::WriteTIFFFile(path, first).error, 0);
  const pxtest::WriteOutcome w = pxtest::WriteTIFFFile(path, second, PX_TIFF_WRITE_APPEND);
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(w.result, pxtest::ReadFile(path).size());
  ASSERT_EQ(pxtest::DirectoryCount(path), 2u);
  ReadResult back;
  pxtest::ReadBack(path, 0, 24, &back);
  EXPECT_EQ(back.bytes(first.pixels.size()), first.pixels);
  pxtest::ReadBack(path, 1, 8, &back);
  EXPECT_EQ(back.bytes(second.pixels.size()), second.pixels);

  // Appending to a file that is something else is refused.
  const std::string other = dir.File("other.tif");
  pxtest::WriteFile(other, std::vector<uint8_t>(100, 'x'));
  EXPECT_EQ(pxtest::WriteTIFFFile(other, first, PX_TIFF_WRITE_APPEND).error, PX_ERR_BAD_TIFF);
  // A missing file is created.
  const std::string fresh = dir.File("fresh.tif");
  EXPECT_EQ(pxtest::WriteTIFFFile(fresh, first, PX_TIFF_WRITE_APPEND).error, 0);
  EXPECT_EQ(pxtest::DirectoryCount(fresh), 1u);
}

}  // namespace
