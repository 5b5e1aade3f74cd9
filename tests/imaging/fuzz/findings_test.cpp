// What the fuzzers found, each pinned to its exact outcome on the minimised input in
// tests/data/fuzz/<target>/ (the README there tells each file's story).
#include <sys/resource.h>

#include <string>

#include "copy.h"
#include "pixolith/pixolith.h"
#include "readers/heif/heif_header.h"
#include "test_support.h"

namespace {

std::string Finding(const std::string& target, const std::string& name) {
  return (pxtest::TestDataDir() / "fuzz" / target / name).string();
}

// The process's peak resident memory so far, in KiB.
long PeakKiB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

/* ---- TIFF: the page count ------------------------------------------------------------- */

// A file cut off inside the last directory's link to the next one: libtiff's directory
// count leaves that directory out although it reads. One page gave a count of 0 with
// no error; two pages gave 1, so the application never offered the second.
TEST(FuzzFindingsTIFF, ACutLinkAfterTheLastDirectoryLosesNoPage) {
  for (auto [name, pages] : {std::pair{"last-link-cut-one-page.tif", 1u},
                             std::pair{"last-link-cut-two-pages.tif", 2u}}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = pxtest::ReadFile(Finding("tiff_info", name));
    pxtest::MemorySource source(file);
    EXPECT_EQ(PXGetTIFFPageCount(source), pages);
    EXPECT_EQ(PXGetLastError(), 0);
    // Every page counted reads, and none beyond.
    uint32_t width = 0, height = 0;
    RGBQUAD palette[256];
    pxtest::BlockGuard last(PXReadTIFF(source, &width, &height, 8, palette, pages - 1, 0));
    ASSERT_NE(last.block, nullptr) << PXGetLastError();
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 2u);
    EXPECT_EQ(last.bytes()[3], 255);
    EXPECT_EQ(PXReadTIFF(source, &width, &height, 8, palette, pages, 0), nullptr);
    EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  }
}

/* ---- JPEG copies: corrupt scan data ---------------------------------------------------- */

// A JPEG whose scan data is corrupt decodes differently in libjpeg depending on how its
// input is buffered: the library's reader and libtiff, which hands libjpeg the whole
// strip, disagree on a block or two. libjpeg warned of the first file (extraneous bytes
// before its end marker, having lost step earlier) and says nothing of the second. Their
// markers are sound, so both pages are copied as they came, byte for byte; the copy check
// holds such files to their bytes, not to one decode.
TEST(FuzzFindingsJPEG, CorruptScanDataIsCopiedAsItCame) {
  const std::vector<uint8_t> clean = pxtest::ReadFile(pxtest::SourceDir() / "samples/hopper.jpg");
  EXPECT_TRUE(pxfuzz::DecodesOneWay(clean.data(), clean.size()));
  for (auto [name, warns] :
       {std::pair{"corrupt-scan-data-decoded-two-ways.jpg", true},
        std::pair{"corrupt-scan-data-decoded-two-ways-without-a-warning.jpg", false}}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = pxtest::ReadFile(Finding("copy", name));
    EXPECT_FALSE(pxfuzz::DecodesOneWay(file.data(), file.size()));
    const std::vector<JSAMPLE> whole = pxfuzz::DecodeInPieces(file.data(), file.size(), 0);
    EXPECT_EQ(whole.empty(), warns);
    if (!warns) {
      EXPECT_NE(pxfuzz::DecodeInPieces(file.data(), file.size(), 4096), whole);
    }

    pxtest::MemorySource source(file);
    PXStoredPage stored = {};
    ASSERT_TRUE(PXGetJPEGStoredPage(source, &stored));
    EXPECT_TRUE(stored.copyable);
    PXTIFFEncodedPage* copy = PXCopyJPEGPage(source, nullptr, 0);
    ASSERT_NE(copy, nullptr) << PXGetLastError();
    pxtest::TempDir dir;
    const std::string path = dir.File("copy.tif");
    ASSERT_EQ(pxfuzz::WriteEncoded(copy, path), 0);
    PXFreeTIFFEncodedPage(copy);
    pxfuzz::LibTIFF out(path);
    ASSERT_NE(out.get(), nullptr);
    const auto strips = pxfuzz::RawStriles(out.get());
    ASSERT_EQ(strips.size(), 1u);
    const std::vector<uint8_t>& strip = strips[0];
    ASSERT_GE(strip.size(), 4u);
    ASSERT_LE(strip.size(), file.size());
    EXPECT_TRUE(std::equal(strip.begin(), strip.end(), file.begin()));
    EXPECT_EQ(strip[strip.size() - 2], 0xFF);
    EXPECT_EQ(strip.back(), 0xD9);
  }
}

/* ---- Metafiles: pens through absurd mappings ------------------------------------------ */

// An EMF whose reference device claims 5 pixels across a kilometre stretches its x axis
// by about 10^12; a wide pen drawn through that mapping made Cairo allocate some 760 MB
// for one line. The picture still renders, within ordinary memory.
TEST(FuzzFindingsMetafile, AWidePenThroughAnAbsurdMappingStaysSmall) {
  const long before = PeakKiB();
  uint32_t width = 0, height = 0;
  pxtest::BlockGuard image(
      PXRenderMetafileFile(Finding("metafile", "wide-pen-absurd-reference-device.emf").c_str(),
                           &width, &height, 100, 100, 0, 0));
  ASSERT_NE(image.block, nullptr) << PXGetLastError();
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(width, 656u);
  EXPECT_EQ(height, 658u);
  EXPECT_LT(PeakKiB() - before, 200 * 1024) << "KiB more at the peak";
}

// Text whose font the mapping makes 5640 pixels tall and 16 times as wide: FreeType
// refuses glyphs over 65535 pixels, and Cairo leaks the scaled font it failed to make
// (the sanitizer build's leak check sees it). Such text is drawn at most 20000 pixels
// wide, and the file renders.
TEST(FuzzFindingsMetafile, TextStretchedPastTheFontEngineRenders) {
  uint32_t width = 0, height = 0;
  pxtest::BlockGuard image(
      PXRenderMetafileFile(Finding("metafile", "text-stretched-past-the-font-engine.emf").c_str(),
                           &width, &height, 100, 100, 0, 0));
  ASSERT_NE(image.block, nullptr) << PXGetLastError();
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(width, 623u);
  EXPECT_EQ(height, 468u);
}

/* ---- PNG writer: libpng's own size limit ---------------------------------------------- */

// An 88-byte RLE4 BMP a million pixels wide and 4 rows high decodes, but writing it as
// PNG failed with PX_ERR_FILE_WRITE: libpng refuses more than a million pixels per side unless told
// otherwise. It is written and reads back at its size.
TEST(FuzzFindingsPNG, AMillionPixelWideImageIsWritten) {
  std::vector<uint8_t> file =
      pxtest::ReadFile(Finding("roundtrip", "png-wider-than-a-million-pixels.bmp"));
  pxtest::MemorySource source(file);
  uint32_t width = 0, height = 0;
  RGBQUAD palette[256];
  pxtest::BlockGuard image(PXReadBMP(source, &width, &height, 8, palette, 0));
  ASSERT_NE(image.block, nullptr) << PXGetLastError();
  EXPECT_EQ(width, 1000008u);
  EXPECT_EQ(height, 4u);

  pxtest::TempDir dir;
  const std::string path = dir.File("wide.png");
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  PXWritePNG(sink, image.block, width, height, uint32_t(PXImageRowBytes(width, 8)), 8, 256, palette,
             3, 0, nullptr, PX_PNG_WRITE_INTERLACE);
  EXPECT_EQ(PXGetLastError(), 0);
  PXCloseSink(sink);
  std::vector<uint8_t> png = pxtest::ReadFile(path);
  pxtest::MemorySource written(png);
  uint32_t readWidth = 0, readHeight = 0;
  int depth = 0, colorType = 0, interlace = 0;
  ASSERT_TRUE(PXGetPNGDimensions(written, &readWidth, &readHeight, &depth, &colorType, &interlace,
                                 nullptr));
  EXPECT_EQ(readWidth, width);
  EXPECT_EQ(readHeight, height);
}

/* ---- HEIF: a grid's own canvas ---------------------------------------------------------- */

// The header query tells the ispe's size; the read refuses with error 1 before libheif
// decodes, well under the memory the file claims.
void ExpectRefusedBeforeDecoding(const std::vector<uint8_t>& file, uint32_t ispeWidth,
                                 uint32_t ispeHeight) {
  pxtest::MemorySource source(file);
  uint32_t width = 0, height = 0, bits = 0;
  ASSERT_TRUE(PXGetHEIFDimensions(source, &width, &height, &bits));
  EXPECT_EQ(width, ispeWidth);
  EXPECT_EQ(height, ispeHeight);
  PXSeekSource(source, 0, PX_SEEK_SET);
  const long before = PeakKiB();
  RGBQUAD palette[256];
  EXPECT_EQ(PXReadHEIF(source, &width, &height, 24, palette, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_NO_MEMORY);
  EXPECT_LT(PeakKiB() - before, 64 * 1024);
}

// The ispe of the grid says 24 x 16, the grid's data in idat a canvas hundreds of times
// larger, and libheif 1.15 composes what the data says: 706 MB for a file of 1017 bytes.
// The header query still tells the ispe's size; the read refuses before decoding.
// The second file puts the grid's data behind an iloc index field of 7 bytes, which
// libheif reads as nothing: the reader's walk must find the data where libheif does.
TEST(FuzzFindingsHEIF, AGridCanvasBeyondItsIspeIsJudgedBeforeDecoding) {
  for (const char* name :
       {"grid-canvas-larger-than-its-ispe.heic", "grid-data-behind-an-index-of-seven-bytes.heic"}) {
    SCOPED_TRACE(name);
    ExpectRefusedBeforeDecoding(pxtest::ReadFile(Finding("heif", name)), 24, 16);
  }
}

/* ---- HEIF: a coded picture beyond its ispe ------------------------------------------- */

// 371 bytes whose ispe says 64 x 64 while the sequence parameter set in its hvcC says
// 16000 x 16000: libde265 allocates the picture the parameters describe (1.5 GB of
// memory when libheif's own tool converts it). The reader reads the parameter sets itself
// and refuses the read before decoding; the header query still tells the ispe's size.
TEST(FuzzFindingsHEIF, ACodedPictureBeyondItsIspeIsJudgedBeforeDecoding) {
  std::vector<uint8_t> file =
      pxtest::ReadFile(Finding("heif", "sequence-parameters-larger-than-its-ispe.heic"));
  uint64_t w = 0, h = 0;
  ASSERT_TRUE(pxheif::LargestCodedPicture(file.data(), file.size(), &w, &h));
  EXPECT_EQ(w, 16000u);
  EXPECT_EQ(h, 16000u);
  ExpectRefusedBeforeDecoding(file, 64, 64);
}

}  // namespace
