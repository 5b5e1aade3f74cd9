// Pages taken over as stored: the strips of a copied page are the source's bytes, its
// pixels are the source's own decode, and a source whose directory does not agree with
// its data is never copied.
#include <tiffio.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/px_jpeg.h"
#include "pixolith/px_tiff.h"
#include "stored_page_support.h"
#include "test_support.h"

namespace {

using pxtest::SourceLayout;
using pxtest::TempDir;

struct Encoded {
  explicit Encoded(PXTIFFEncodedPage* p) : page(p) {}
  ~Encoded() { PXFreeTIFFEncodedPage(page); }
  Encoded(const Encoded&) = delete;
  Encoded& operator=(const Encoded&) = delete;
  PXTIFFEncodedPage* page;
};

int GiveOnce(const PXTIFFEncodedPage** page, void* user) {
  auto** next = static_cast<PXTIFFEncodedPage**>(user);
  if (!*next) return 0;
  *page = *next;
  *next = nullptr;
  return 1;
}

// Writes the page as the only page of `path`; the writer's last error.
int WritePage(PXTIFFEncodedPage* page, const std::string& path) {
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return -1;
  PXTIFFEncodedPage* next = page;
  PXWriteEncodedTIFFPages(sink, GiveOnce, &next, 0);
  int error = PXGetLastError();
  PXCloseSink(sink);
  return error;
}

PXStoredPage Stored(const std::string& path, uint32_t frame = 0) {
  const std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  pxtest::MemorySource source(bytes);
  PXStoredPage stored = {};
  EXPECT_TRUE(PXGetTIFFStoredPage(source, frame, &stored)) << PXGetLastError();
  return stored;
}

// The copy of a page; `error` gets the last error of the copy.
PXTIFFEncodedPage* CopyPage(const std::string& path, uint32_t frame = 0, int* error = nullptr) {
  const std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  pxtest::MemorySource source(bytes);
  const PXResolution resolution = {300, 300, 2};
  PXTIFFEncodedPage* page = PXCopyTIFFPage(source, frame, &resolution, 0);
  if (error) *error = PXGetLastError();
  return page;
}

struct Layout {
  const char* name;
  SourceLayout source;
};

std::vector<Layout> CopiedLayouts() {
  const auto layoutOf = pxtest::LayoutOf;
  SourceLayout predictor = layoutOf(24, COMPRESSION_LZW);
  predictor.predictor = PREDICTOR_HORIZONTAL;
  SourceLayout tiled = layoutOf(8, COMPRESSION_DEFLATE);
  tiled.tiled = true;
  SourceLayout palette = layoutOf(8, COMPRESSION_PACKBITS);
  palette.palette = true;
  SourceLayout ycbcr = layoutOf(24, COMPRESSION_JPEG);
  ycbcr.ycbcr = true;
  SourceLayout lsb = layoutOf(1, COMPRESSION_CCITTFAX3);
  lsb.fillOrder = FILLORDER_LSB2MSB;
  return {{"G4", layoutOf(1, COMPRESSION_CCITTFAX4)},
          {"G3 LSB first", lsb},
          {"Huffman", layoutOf(1, COMPRESSION_CCITTRLE)},
          {"LZW with predictor", predictor},
          {"Deflate tiles", tiled},
          {"PackBits palette", palette},
          {"uncompressed grey", layoutOf(8, COMPRESSION_NONE)},
          {"JPEG RGB", layoutOf(24, COMPRESSION_JPEG)},
          {"JPEG YCbCr", ycbcr}};
}

TEST(TIFFCopy, StripsAreTheSourcesBytesAndPixelsItsDecode) {
  TempDir dir;
  for (const Layout& layout : CopiedLayouts()) {
    SCOPED_TRACE(layout.name);
    const std::string source = dir.File("source.tif"), copied = dir.File("copied.tif");
    pxtest::WriteSourceTIFF(source, layout.source, 2);
    // The second page, so that the page chosen is the one copied.
    const PXStoredPage stored = Stored(source, 1);
    EXPECT_TRUE(stored.copyable);
    EXPECT_EQ(stored.width, layout.source.width);
    EXPECT_EQ(stored.bitsPerPixel, uint32_t(layout.source.bits));
    EXPECT_EQ(stored.compression, uint32_t(layout.source.compression));
    Encoded page(CopyPage(source, 1));
    ASSERT_NE(page.page, nullptr) << PXGetLastError();
    ASSERT_EQ(WritePage(page.page, copied), 0);

    const auto strips = pxtest::RawStrips(copied, 0);
    EXPECT_GT(strips.size(), 0u);
    EXPECT_EQ(strips, pxtest::RawStrips(source, 1));
    const auto pixels = pxtest::DecodeRGBA(copied, 0);
    EXPECT_FALSE(pixels.empty());
    EXPECT_EQ(pixels, pxtest::DecodeRGBA(source, 1));
    EXPECT_NE(pixels, pxtest::DecodeRGBA(source, 0));
    // The resolution is the output's, not the source's.
    auto dirs = pxtest::ReadTiffDirectories(copied);
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].xres, 300.0f);
    EXPECT_EQ(dirs[0].photometric, uint16_t(pxtest::TagValue(source, 1, TIFFTAG_PHOTOMETRIC)));
    EXPECT_EQ(pxtest::TagValue(copied, 0, TIFFTAG_FILLORDER),
              pxtest::TagValue(source, 1, TIFFTAG_FILLORDER));
    EXPECT_EQ(pxtest::TagValue(copied, 0, TIFFTAG_PREDICTOR),
              pxtest::TagValue(source, 1, TIFFTAG_PREDICTOR));
  }
}

TEST(TIFFCopy, LayoutsTheOutputCannotTakeAreNotCopyable) {
  TempDir dir;
  const std::string path = dir.File("page.tif");
  SourceLayout turned;
  turned.orientation = ORIENTATION_BOTRIGHT;
  pxtest::WriteSourceTIFF(path, turned);
  EXPECT_FALSE(Stored(path).copyable);  // the reader turns it; a copy would not
  int error = 0;
  Encoded none(CopyPage(path, 0, &error));
  EXPECT_EQ(none.page, nullptr);
  EXPECT_EQ(error, PX_ERR_PARAMETER);

  SourceLayout adobe;
  adobe.compression = COMPRESSION_ADOBE_DEFLATE;  // not a compression the output writes
  pxtest::WriteSourceTIFF(path, adobe);
  EXPECT_FALSE(Stored(path).copyable);
}

// A little-endian file of one uncompressed 8-bit page of `strips` strips.
std::vector<uint8_t> Uncompressed(TempDir& dir, uint32_t strips) {
  SourceLayout source;
  source.bits = 8;
  source.rowsPerStrip = source.height / strips;
  const std::string path = dir.File("plain.tif");
  pxtest::WriteSourceTIFF(path, source);
  return pxtest::ReadFile(path);
}

TEST(TIFFCopy, HostileDirectoriesAreNeverCopied) {
  TempDir dir;
  const std::string path = dir.File("hostile.tif");
  auto expectNotCopied = [&](const std::vector<uint8_t>& file, const char* what) {
    SCOPED_TRACE(what);
    pxtest::WriteFile(path, file);
    EXPECT_FALSE(Stored(path).copyable);
    Encoded page(CopyPage(path));
    EXPECT_EQ(page.page, nullptr);
  };
  std::vector<uint8_t> good = Uncompressed(dir, 1);
  uint32_t count = 0, offset = 0, bytes = 0;
  ASSERT_TRUE(pxtest::ReadEntry(good, TIFFTAG_STRIPOFFSETS, &count, &offset));
  ASSERT_TRUE(pxtest::ReadEntry(good, TIFFTAG_STRIPBYTECOUNTS, &count, &bytes));
  pxtest::WriteFile(path, good);
  EXPECT_TRUE(Stored(path).copyable);

  std::vector<uint8_t> f = good;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, 1, uint32_t(good.size()) + 100);
  expectNotCopied(f, "offset past the end");
  f = good;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPBYTECOUNTS, 1, uint32_t(good.size()));
  expectNotCopied(f, "byte count past the end");
  f = good;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, 1, 0xFFFFFFF0u);
  expectNotCopied(f, "offset near 4 GiB");
  f = good;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPBYTECOUNTS, 1, bytes - 1);
  expectNotCopied(f, "uncompressed strip short of the page");
  f = good;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPBYTECOUNTS, 1, 0);
  expectNotCopied(f, "empty strip");

  // Two strips, described as one.
  std::vector<uint8_t> two = Uncompressed(dir, 2);
  uint32_t offsets = 0;
  ASSERT_TRUE(pxtest::ReadEntry(two, TIFFTAG_STRIPOFFSETS, &count, &offsets));
  ASSERT_EQ(count, 2u);
  const uint32_t first = uint32_t(two[offsets]) | uint32_t(two[offsets + 1]) << 8 |
                         uint32_t(two[offsets + 2]) << 16 | uint32_t(two[offsets + 3]) << 24;
  f = two;
  pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, 1, first);
  pxtest::PatchEntry(&f, TIFFTAG_STRIPBYTECOUNTS, 1, bytes);
  expectNotCopied(f, "strip counts that disagree with the page's size");
}

TEST(TIFFCopy, CutJPEGTablesAreNotCopied) {
  TempDir dir;
  const std::string path = dir.File("jpeg.tif");
  SourceLayout source;
  source.compression = COMPRESSION_JPEG;
  source.ycbcr = true;
  pxtest::WriteSourceTIFF(path, source);
  std::vector<uint8_t> file = pxtest::ReadFile(path);
  uint32_t count = 0, offset = 0;
  ASSERT_TRUE(pxtest::ReadEntry(file, TIFFTAG_JPEGTABLES, &count, &offset));
  EXPECT_TRUE(Stored(path).copyable);
  for (uint32_t cut : {2u, 30u, count - 4}) {
    SCOPED_TRACE(cut);
    std::vector<uint8_t> f = file;
    pxtest::PatchEntry(&f, TIFFTAG_JPEGTABLES, count - cut, offset);
    pxtest::WriteFile(path, f);
    EXPECT_FALSE(Stored(path).copyable);
    Encoded page(CopyPage(path));
    EXPECT_EQ(page.page, nullptr);
  }
}

/* ---- JPEG files ------------------------------------------------------------------------- */

PXStoredPage StoredJPEG(const std::vector<uint8_t>& file) {
  pxtest::MemorySource source(file);
  PXStoredPage stored = {};
  EXPECT_TRUE(PXGetJPEGStoredPage(source, &stored)) << PXGetLastError();
  return stored;
}

PXTIFFEncodedPage* CopyJPEG(const std::vector<uint8_t>& file) {
  pxtest::MemorySource source(file);
  return PXCopyJPEGPage(source, nullptr, 0);
}

// The file decoded by libjpeg as RGBA words, as libtiff's RGBA interface gives them.
std::vector<uint32_t> LibjpegRGBA(const std::vector<uint8_t>& file) {
  pxtest::JPEGPixels d = pxtest::DecodeJPEGDirect(file);
  std::vector<uint32_t> raster(size_t(d.width) * d.height);
  for (size_t i = 0; i < raster.size(); ++i) {
    const uint8_t* p = &d.pixels[i * size_t(d.components)];
    const uint32_t r = p[0], g = d.components == 3 ? p[1] : r, b = d.components == 3 ? p[2] : r;
    raster[i] = r | g << 8 | b << 16 | 0xFF000000u;
  }
  return raster;
}

TEST(JPEGCopy, OneStripHoldsTheStreamAndDecodesToLibjpegsPixels) {
  TempDir dir;
  for (int components : {3, 1}) {
    SCOPED_TRACE(components);
    const uint32_t w = 123, h = 77;  // not multiples of the MCU
    pxtest::JPEGOptions options;
    options.components = components;
    options.comment = "scanned";
    std::vector<uint8_t> file =
        pxtest::EncodeJPEG(w, h, pxtest::TestPicture(w, h, components), options);
    const std::vector<uint8_t> stream = file;
    file.insert(file.end(), {0x00, 0x12, 0x34, 0xFF});  // trailing bytes are not the page's

    const PXStoredPage stored = StoredJPEG(file);
    EXPECT_TRUE(stored.copyable);
    EXPECT_EQ(stored.width, w);
    EXPECT_EQ(stored.height, h);
    EXPECT_EQ(stored.bitsPerPixel, 8u * uint32_t(components));
    EXPECT_EQ(stored.compression, uint32_t(COMPRESSION_JPEG));
    Encoded page(CopyJPEG(file));
    ASSERT_NE(page.page, nullptr) << PXGetLastError();
    const std::string out = dir.File("copied.tif");
    ASSERT_EQ(WritePage(page.page, out), 0);

    const auto strips = pxtest::RawStrips(out, 0);
    ASSERT_EQ(strips.size(), 1u);
    EXPECT_EQ(strips[0], stream);
    EXPECT_EQ(pxtest::TagValue(out, 0, TIFFTAG_PHOTOMETRIC),
              components == 3 ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(pxtest::DecodeRGBA(out, 0), LibjpegRGBA(stream));
  }
}

TEST(JPEGCopy, SubsamplingComesFromTheFrameHeader) {
  TempDir dir;
  // libjpeg's compressor samples chroma 2 x 2 by default.
  std::vector<uint8_t> file = pxtest::EncodeJPEG(64, 48, pxtest::TestPicture(64, 48, 3));
  Encoded page(CopyJPEG(file));
  ASSERT_NE(page.page, nullptr);
  const std::string out = dir.File("copied.tif");
  ASSERT_EQ(WritePage(page.page, out), 0);
  TIFF* tif = TIFFOpen(out.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint16_t h = 0, v = 0;
  EXPECT_TRUE(TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v));
  TIFFClose(tif);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(v, 2);
}

TEST(JPEGCopy, ProgressiveArithmeticCMYKAndBrokenStreamsAreNotCopyable) {
  const auto picture3 = pxtest::TestPicture(40, 30, 3);
  pxtest::JPEGOptions progressive, arithmetic, cmyk;
  progressive.progressive = true;
  arithmetic.arithmetic = true;
  cmyk.components = 4;
  for (const auto& [name, file] : std::vector<std::pair<const char*, std::vector<uint8_t>>>{
           {"progressive", pxtest::EncodeJPEG(40, 30, picture3, progressive)},
           {"arithmetic", pxtest::EncodeJPEG(40, 30, picture3, arithmetic)},
           {"CMYK", pxtest::EncodeJPEG(40, 30, pxtest::TestPicture(40, 30, 4), cmyk)}}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(StoredJPEG(file).copyable);
    Encoded page(CopyJPEG(file));
    EXPECT_EQ(page.page, nullptr);
  }
  // Cut before its end-of-image marker: the structure breaks off.
  std::vector<uint8_t> cut = pxtest::EncodeJPEG(40, 30, picture3);
  cut.resize(cut.size() - 20);
  EXPECT_FALSE(StoredJPEG(cut).copyable);
  Encoded none(CopyJPEG(cut));
  EXPECT_EQ(none.page, nullptr);
}

// What a copy's filter was shown, and its answer.
struct FilterLog {
  BOOL answer = TRUE;
  int calls = 0;
  PXStoredPage seen = {};
};

BOOL LogFilter(const PXStoredPage* stored, void* user) {
  auto* log = static_cast<FilterLog*>(user);
  ++log->calls;
  log->seen = *stored;
  return log->answer;
}

TEST(StoredPageFilter, TheCopySurveysOnceAndMayBeDeclined) {
  TempDir dir;
  const std::string path = dir.File("fax.tif");
  SourceLayout fax;
  fax.bits = 1;
  fax.compression = COMPRESSION_CCITTFAX4;
  fax.dpi = 204;
  pxtest::WriteSourceTIFF(path, fax, 2);
  const std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  const PXResolution out = {300, 300, 2};
  for (uint32_t frame : {0u, 1u}) {
    SCOPED_TRACE(frame);
    const PXStoredPage stored = Stored(path, frame);
    EXPECT_EQ(stored.resolution.x, 204u);
    EXPECT_EQ(stored.resolution.unit, uint32_t(RESUNIT_INCH));
    FilterLog log;
    {
      pxtest::MemorySource source(bytes);
      Encoded page(PXCopyTIFFPageIf(source, frame, &out, 0, LogFilter, &log));
      ASSERT_NE(page.page, nullptr) << PXGetLastError();
      EXPECT_EQ(log.calls, 1);
      EXPECT_EQ(std::memcmp(&log.seen, &stored, sizeof stored), 0);
      const std::string copied = dir.File("copied.tif");
      ASSERT_EQ(WritePage(page.page, copied), 0);
      EXPECT_EQ(pxtest::RawStrips(copied, 0), pxtest::RawStrips(path, frame));
    }
    log = FilterLog();
    log.answer = FALSE;
    pxtest::MemorySource source(bytes);
    EXPECT_EQ(PXCopyTIFFPageIf(source, frame, &out, 0, LogFilter, &log), nullptr);
    EXPECT_EQ(PXGetLastError(), PX_OK);  // declined, not failed
    EXPECT_EQ(log.calls, 1);
  }

  // A page that cannot be copied is refused before the filter is asked.
  std::vector<uint8_t> hostile = Uncompressed(dir, 1);
  pxtest::PatchEntry(&hostile, TIFFTAG_STRIPOFFSETS, 1, uint32_t(hostile.size()) + 100);
  FilterLog log;
  pxtest::MemorySource source(hostile);
  EXPECT_EQ(PXCopyTIFFPageIf(source, 0, &out, 0, LogFilter, &log), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(log.calls, 0);
}

TEST(StoredPageFilter, AJPEGCopyMayBeDeclined) {
  const std::vector<uint8_t> file =
      pxtest::EncodeJPEG(40, 24, pxtest::TestPicture(40, 24, 3), pxtest::JPEGOptions());
  const PXResolution out = {300, 300, 2};
  FilterLog log;
  log.answer = FALSE;
  {
    pxtest::MemorySource source(file);
    EXPECT_EQ(PXCopyJPEGPageIf(source, &out, 0, LogFilter, &log), nullptr);
    EXPECT_EQ(PXGetLastError(), PX_OK);
  }
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.seen.width, 40u);
  EXPECT_EQ(log.seen.compression, uint32_t(COMPRESSION_JPEG));
  log.answer = TRUE;
  pxtest::MemorySource source(file);
  Encoded page(PXCopyJPEGPageIf(source, &out, 0, LogFilter, &log));
  ASSERT_NE(page.page, nullptr) << PXGetLastError();
  EXPECT_EQ(log.calls, 2);
}

}  // namespace
