// The output's per-page decision between copying a page as its source stores it and
// converting it, and what each gives: copied pages keep their source's bytes and pixels,
// every other page comes out exactly as it does with copying switched off.
#include <tiffio.h>

#include <string>
#include <vector>

#include "document/document.h"
#include "document/output.h"
#include "document/page_copy.h"
#include "document/page_image.h"
#include "document_support.h"
#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "stored_page_support.h"
#include "test_support.h"

namespace {

using pxtest::SourceLayout;
using pxtest::TempDir;

// A record whose output settings are the source page's own: what adding the page gives.
PageRecord Unchanged(const std::string& path, uint32_t w, uint32_t h, int bits, int compression,
                     int frame = 0) {
  PageRecord r;
  r.sourcePath = path;
  r.frameIndex = frame;
  r.output.width = int32_t(w);
  r.output.height = int32_t(h);
  r.output.bitsPerPixel = bits;
  r.output.compression = compression;
  r.output.resolutionX = r.output.resolutionY = 200;
  return r;
}

std::string WriteJPEG(const TempDir& dir, const std::string& name, uint32_t w, uint32_t h,
                      pxtest::JPEGOptions options = {}) {
  const std::string path = dir.File(name);
  pxtest::WriteFile(
      path, pxtest::EncodeJPEG(w, h, pxtest::TestPicture(w, h, options.components), options));
  return path;
}

std::string WriteG4(const TempDir& dir, int pages = 1) {
  SourceLayout layout;
  layout.bits = 1;
  layout.compression = COMPRESSION_CCITTFAX4;
  const std::string path = dir.File("fax.tif");
  pxtest::WriteSourceTIFF(path, layout, pages);
  return path;
}

TEST(PageCopyDecision, OnlyPagesTheSettingsLeaveAsTheyAreAreCopied) {
  TempDir dir;
  const std::string fax = WriteG4(dir);
  const PageRecord page = Unchanged(fax, 96, 64, 1, kCompressionGroup4);
  EXPECT_EQ(DecidePageHandling(page), PageHandling::kCopied);
  PageRecord keep = page;
  keep.output.bitsPerPixel = 0;  // the depth as loaded
  EXPECT_EQ(DecidePageHandling(keep), PageHandling::kCopied);

  struct Change {
    const char* what;
    void (*apply)(PageRecord*);
  } changes[] = {
      {"rotated", [](PageRecord* r) { r->output.rotation = 90; }},
      {"upside down", [](PageRecord* r) { r->output.rotation = 180; }},
      {"flipped", [](PageRecord* r) { r->output.flip = 1; }},
      {"resized", [](PageRecord* r) { r->output.width = 95; }},
      {"deeper", [](PageRecord* r) { r->output.bitsPerPixel = 8; }},
      {"recompressed", [](PageRecord* r) { r->output.compression = kCompressionLZW; }},
      {"copy switched off", [](PageRecord* r) { r->copyUnchanged = false; }},
      {"gone", [](PageRecord* r) { r->sourcePath += ".missing"; }},
  };
  for (const Change& c : changes) {
    PageRecord changed = page;
    c.apply(&changed);
    EXPECT_EQ(DecidePageHandling(changed), PageHandling::kConverted) << c.what;
    PXTIFFEncodedPage* copy = CopyUnchangedPage(changed);
    EXPECT_EQ(copy, nullptr) << c.what;
    PXFreeTIFFEncodedPage(copy);
  }
  // A 24-bit page asked for a bilevel code is written uncompressed: an uncompressed
  // source is then unchanged.
  SourceLayout plain;
  const std::string rgb = dir.File("rgb.tif");
  pxtest::WriteSourceTIFF(rgb, plain);
  EXPECT_EQ(DecidePageHandling(Unchanged(rgb, 96, 64, 24, kCompressionGroup4)),
            PageHandling::kCopied);
  EXPECT_EQ(DecidePageHandling(Unchanged(rgb, 96, 64, 8, kCompressionNone)),
            PageHandling::kConverted);
}

TEST(PageCopyDecision, JPEGFilesAreCopiedOnlyWhenSequentialGreyOrYCbCr) {
  TempDir dir;
  const std::string colour = WriteJPEG(dir, "colour.jpg", 50, 40);
  EXPECT_EQ(DecidePageHandling(Unchanged(colour, 50, 40, 24, kCompressionJPEG)),
            PageHandling::kCopied);
  EXPECT_EQ(DecidePageHandling(Unchanged(colour, 50, 40, 24, kCompressionLZW)),
            PageHandling::kConverted);
  pxtest::JPEGOptions grey;
  grey.components = 1;
  const std::string g = WriteJPEG(dir, "grey.jpg", 50, 40, grey);
  EXPECT_EQ(DecidePageHandling(Unchanged(g, 50, 40, 8, kCompressionJPEG)), PageHandling::kCopied);
  EXPECT_EQ(DecidePageHandling(Unchanged(g, 50, 40, 24, kCompressionJPEG)),
            PageHandling::kConverted);
  pxtest::JPEGOptions progressive, cmyk;
  progressive.progressive = true;
  cmyk.components = 4;
  EXPECT_EQ(DecidePageHandling(Unchanged(WriteJPEG(dir, "p.jpg", 50, 40, progressive), 50, 40, 24,
                                         kCompressionJPEG)),
            PageHandling::kConverted);
  EXPECT_EQ(DecidePageHandling(
                Unchanged(WriteJPEG(dir, "c.jpg", 50, 40, cmyk), 50, 40, 24, kCompressionJPEG)),
            PageHandling::kConverted);
}

// A photograph that loads turned upright no longer has its stored rows: a half turn or a
// mirror keeps the size, so only its orientation tells.
TEST(PageCopyDecision, PhotographsTurnedUprightAreConverted) {
  TempDir dir;
  for (uint16_t orientation : {uint16_t(2), uint16_t(3), uint16_t(4)}) {
    pxtest::JPEGOptions o;
    o.markers.push_back({0xE1, pxtest::ExifSegment(orientation)});
    const std::string path = WriteJPEG(dir, "turned.jpg", 50, 40, o);
    const PageRecord page = Unchanged(path, 50, 40, 24, kCompressionJPEG);
    EXPECT_EQ(DecidePageHandling(page), PageHandling::kConverted) << orientation;
    EXPECT_EQ(CopyUnchangedPage(page), nullptr);
    // Kept as stored, it is the stored page again.
    CPageImage::SetTurnUpright(false);
    EXPECT_EQ(DecidePageHandling(page), PageHandling::kCopied) << orientation;
    CPageImage::SetTurnUpright(true);
  }
}

TEST(PageCopyDecision, StoredFactsDescribeAPageAsLoadingItWould) {
  TempDir dir;
  pxtest::JPEGOptions grey;
  grey.components = 1;
  grey.densityUnit = 1;
  grey.xDensity = grey.yDensity = 240;
  SourceLayout palette;
  palette.bits = 8;
  palette.palette = true;
  palette.compression = COMPRESSION_LZW;
  palette.dpi = 96;
  const std::string indexed = dir.File("palette.tif");
  pxtest::WriteSourceTIFF(indexed, palette);
  for (const std::string& path : {WriteG4(dir), WriteJPEG(dir, "colour.jpg", 50, 40),
                                  WriteJPEG(dir, "grey.jpg", 50, 40, grey), indexed}) {
    SCOPED_TRACE(path);
    StoredInput stored;
    ASSERT_TRUE(DescribeStoredPage(path, 0, &stored));
    CPageImage image;
    ASSERT_EQ(image.Load(path), 0);
    EXPECT_EQ(stored.width, image.Width());
    EXPECT_EQ(stored.height, image.Height());
    EXPECT_EQ(stored.bitsPerPixel, image.BitsPerPixel());
    EXPECT_EQ(int(stored.resolution.x), image.ResolutionX());
    EXPECT_EQ(int(stored.resolution.y), image.ResolutionY());
    EXPECT_EQ(int(stored.resolution.unit), image.ResolutionUnit());
    EXPECT_EQ(stored.compression, image.SourceCompression());
  }
  // A colour page of unequal resolutions is stretched when loaded: it is not described.
  SourceLayout fax;
  const std::string stretched = dir.File("stretched.tif");
  pxtest::WriteSourceTIFF(stretched, fax);
  std::vector<uint8_t> file = pxtest::ReadFile(stretched);
  uint32_t count = 0, offset = 0;
  ASSERT_TRUE(pxtest::ReadEntry(file, TIFFTAG_YRESOLUTION, &count, &offset));
  file[offset] = 75;  // 75 of 150 dpi
  pxtest::WriteFile(stretched, file);
  StoredInput stored;
  EXPECT_FALSE(DescribeStoredPage(stretched, 0, &stored));
  pxtest::JPEGOptions progressive;
  progressive.progressive = true;
  EXPECT_FALSE(DescribeStoredPage(WriteJPEG(dir, "p.jpg", 50, 40, progressive), 0, &stored));
}

// Loading records the first page's resolution and compression whichever page it reads;
// a later page's stored facts say the same.
TEST(PageCopyDecision, StoredFactsOfALaterPageAreTheFirstPagesAsLoadingRecordsThem) {
  TempDir dir;
  const std::string path = dir.File("mixed.tif");
  std::vector<pxtest::TiffPage> pages(3);
  pages[0] = {
      64, 40, 1, 200, 200, 4, [](uint32_t x, uint32_t y) { return (x ^ y) & 4 ? 0u : 0xFFFFFFu; }};
  pages[1] = {50, 30, 8, 96, 96, 5, [](uint32_t x, uint32_t) { return x * 0x030303u; }};
  pages[2] = {40, 20, 24, 300, 300, 5, [](uint32_t x, uint32_t y) { return x * 0x0401u + y; }};
  pxtest::WriteTIFF(path, pages);
  for (int frame : {2, 1, 0}) {
    SCOPED_TRACE(frame);
    StoredInput stored;
    ASSERT_TRUE(DescribeStoredPage(path, frame, &stored));
    CPageImage image;
    ASSERT_EQ(image.Load(path, UNKNOWN, frame), 0);
    EXPECT_EQ(stored.width, image.Width());
    EXPECT_EQ(stored.height, image.Height());
    EXPECT_EQ(stored.bitsPerPixel, image.BitsPerPixel());
    EXPECT_EQ(int(stored.resolution.x), image.ResolutionX());
    EXPECT_EQ(int(stored.resolution.unit), image.ResolutionUnit());
    EXPECT_EQ(stored.compression, image.SourceCompression());
    EXPECT_EQ(stored.compression, 4);
  }
}

// Remembers how each page was reported.
struct HandlingProgress : ProgressSink {
  std::vector<PageHandling> handled;
  std::vector<bool> pictured;
  bool Progress(const std::string&, int, const CPageImage*) override {
    ADD_FAILURE() << "a page was reported without its handling";
    return true;
  }
  bool PageProgress(const std::string&, int, const CPageImage* image,
                    PageHandling handling) override {
    handled.push_back(handling);
    pictured.push_back(image != nullptr);
    return true;
  }
};

std::vector<PageRecord> WithoutCopies(std::vector<PageRecord> pages) {
  for (PageRecord& p : pages) p.copyUnchanged = false;
  return pages;
}

TEST(PageCopyOutput, CopiedPagesKeepTheirBytesAndPixelsOnAnyNumberOfThreads) {
  TempDir dir;
  const std::string fax = WriteG4(dir, 2);
  const std::string photo = WriteJPEG(dir, "photo.jpg", 61, 45);
  SourceLayout lzw;
  lzw.compression = COMPRESSION_LZW;
  lzw.predictor = PREDICTOR_HORIZONTAL;
  const std::string colour = dir.File("lzw.tif");
  pxtest::WriteSourceTIFF(colour, lzw);
  const std::vector<PageRecord> pages = {Unchanged(fax, 96, 64, 1, kCompressionGroup4, 1),
                                         Unchanged(photo, 61, 45, 24, kCompressionJPEG),
                                         Unchanged(colour, 96, 64, 24, kCompressionLZW)};
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    const std::string out = dir.File("out" + std::to_string(threads) + ".tif");
    HandlingProgress progress;
    OutputReport report = WriteOutputFile(pages, out, &progress, nullptr, threads);
    ASSERT_TRUE(report.ok()) << report.error;
    EXPECT_EQ(progress.handled, std::vector<PageHandling>(3, PageHandling::kCopied));
    // No preview was given, and a copied page is never decoded for its picture.
    EXPECT_EQ(progress.pictured, std::vector<bool>(3, false));

    EXPECT_EQ(pxtest::RawStrips(out, 0), pxtest::RawStrips(fax, 1));
    EXPECT_EQ(pxtest::DecodeRGBA(out, 0), pxtest::DecodeRGBA(fax, 1));
    const auto jpeg = pxtest::RawStrips(out, 1);
    ASSERT_EQ(jpeg.size(), 1u);
    EXPECT_EQ(jpeg[0], pxtest::ReadFile(photo));
    EXPECT_EQ(pxtest::RawStrips(out, 2), pxtest::RawStrips(colour, 0));
    EXPECT_EQ(pxtest::DecodeRGBA(out, 2), pxtest::DecodeRGBA(colour, 0));
    const auto dirs = pxtest::ReadTiffDirectories(out);
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[1].xres, 200.0f);  // the output's resolution
  }
  EXPECT_EQ(pxtest::ReadFile(dir.File("out1.tif")), pxtest::ReadFile(dir.File("out2.tif")));
}

TEST(PageCopyOutput, PagesThatAreNotCopiedComeOutAsWithCopyingOff) {
  TempDir dir;
  const std::string fax = WriteG4(dir);
  const std::string photo = WriteJPEG(dir, "photo.jpg", 61, 45);
  pxtest::JPEGOptions progressive;
  progressive.progressive = true;
  const std::string prog = WriteJPEG(dir, "prog.jpg", 61, 45, progressive);
  PageRecord turned = Unchanged(fax, 96, 64, 1, kCompressionGroup4);
  turned.output.rotation = 270;
  PageRecord flipped = turned;
  flipped.output.rotation = 0;
  flipped.output.flip = 2;
  PageRecord smaller = Unchanged(photo, 30, 30, 24, kCompressionJPEG);
  PageRecord grey = Unchanged(photo, 61, 45, 8, kCompressionLZW);
  const std::vector<PageRecord> pages = {turned, flipped, smaller, grey,
                                         Unchanged(prog, 61, 45, 24, kCompressionJPEG)};
  HandlingProgress progress;
  ASSERT_TRUE(WriteOutputFile(pages, dir.File("copy.tif"), &progress).ok());
  EXPECT_EQ(progress.handled, std::vector<PageHandling>(5, PageHandling::kConverted));
  EXPECT_EQ(progress.pictured, std::vector<bool>(5, true));
  ASSERT_TRUE(WriteOutputFile(WithoutCopies(pages), dir.File("convert.tif"), nullptr).ok());
  EXPECT_EQ(pxtest::ReadFile(dir.File("copy.tif")), pxtest::ReadFile(dir.File("convert.tif")));
}

TEST(PageCopyOutput, ASourceWithStripsOutsideTheFileFailsItsPage) {
  TempDir dir;
  SourceLayout layout;
  layout.bits = 8;
  layout.compression = COMPRESSION_LZW;
  layout.rowsPerStrip = layout.height;
  const std::string path = dir.File("broken.tif");
  pxtest::WriteSourceTIFF(path, layout);
  std::vector<uint8_t> file = pxtest::ReadFile(path);
  ASSERT_TRUE(pxtest::PatchEntry(&file, TIFFTAG_STRIPOFFSETS, 1, uint32_t(file.size()) + 4096));
  pxtest::WriteFile(path, file);
  const std::string fine = WriteG4(dir);
  const std::vector<PageRecord> pages = {Unchanged(fine, 96, 64, 1, kCompressionGroup4),
                                         Unchanged(path, 96, 64, 8, kCompressionLZW)};
  EXPECT_EQ(DecidePageHandling(pages[1]), PageHandling::kConverted);
  const std::string out = dir.File("out.tif");
  OutputReport report = WriteOutputFile(pages, out, nullptr);
  EXPECT_FALSE(report.ok());
  EXPECT_NE(report.error, 0);
  EXPECT_EQ(report.failedPage, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  // As with copying off.
  EXPECT_EQ(WriteOutputFile(WithoutCopies(pages), out, nullptr).error, report.error);
}

TEST(PageCopyDocument, JPEGPagesStartWithJPEGAndTheSwitchConvertsThem) {
  TempDir dir;
  const std::string photo = WriteJPEG(dir, "photo.jpg", 40, 30);
  CPageWeaverDoc doc(nullptr, nullptr);
  pxtest::AddedOrder order;
  doc.AddView(&order);
  doc.SetPageOrder(&order);
  ASSERT_EQ(doc.AddPage(photo, 0, false), 0);
  const PageRecord& page = doc.Pages().begin()->second;
  EXPECT_EQ(page.output.compression, kCompressionJPEG);
  EXPECT_EQ(DecidePageHandling(page), PageHandling::kCopied);

  doc.SetCopyUnchangedPages(false);
  ASSERT_TRUE(doc.Save(dir.File("out.tif")).ok());
  EXPECT_NE(pxtest::RawStrips(dir.File("out.tif"), 0).at(0), pxtest::ReadFile(photo));
  // The run's switch is not stored in the page.
  EXPECT_TRUE(doc.Pages().begin()->second.copyUnchanged);
  doc.SetCopyUnchangedPages(true);
  ASSERT_TRUE(doc.Save(dir.File("out.tif")).ok());
  EXPECT_EQ(pxtest::RawStrips(dir.File("out.tif"), 0).at(0), pxtest::ReadFile(photo));
}

TEST(PageCopyDocument, TheHandlingShownIsThatOfTheFormatSavedOrOfBoth) {
  TempDir dir;
  const std::string photo = WriteJPEG(dir, "photo.jpg", 40, 30);
  const std::string chart = dir.File("chart.png");
  pxtest::WritePNG24(chart, 30, 20, [](uint32_t x, uint32_t y) { return x * 5 << 8 | y; });
  CPageWeaverDoc doc(nullptr, nullptr);
  pxtest::AddedOrder order;
  doc.AddView(&order);
  doc.SetPageOrder(&order);
  ASSERT_EQ(doc.AddPage(photo, 0, false), 0);
  ASSERT_EQ(doc.AddPage(chart, 0, false), 0);
  const PageRecord jpeg = doc.Pages().begin()->second;
  const PageRecord png = std::next(doc.Pages().begin())->second;
  // A PNG's data goes into a PDF as it is, never into a TIFF.
  EXPECT_EQ(doc.PageHandlingText(jpeg), "copied");
  EXPECT_EQ(doc.PageHandlingText(png), "converted for TIFF, copied for PDF");
  doc.SetOutputFormat(OutputFormat::kPDF);
  EXPECT_EQ(doc.PageHandlingText(png), "copied");
  doc.SetOutputFormat(OutputFormat::kTIFF);
  EXPECT_EQ(doc.PageHandlingText(png), "converted");
  // Without one set, the format of the name the document was saved under.
  doc.SetOutputFormat(std::nullopt);
  ASSERT_TRUE(doc.Save(dir.File("out.pdf")).ok());
  EXPECT_EQ(doc.PageHandlingText(png), "copied");
  doc.SetCopyUnchangedPages(false);
  EXPECT_EQ(doc.PageHandlingText(png), "converted");
}

TEST(PageCopyDocument, ThePreferenceSwitchesCopyingOff) {
  TempDir dir;
  const std::string photo = WriteJPEG(dir, "photo.jpg", 40, 30);
  Preferences preferences(dir.File("settings.ini"));
  CPageWeaverDoc doc(&preferences, nullptr);
  pxtest::AddedOrder order;
  doc.AddView(&order);
  doc.SetPageOrder(&order);
  ASSERT_EQ(doc.AddPage(photo, 0, false), 0);
  const PageRecord page = doc.Pages().begin()->second;
  EXPECT_EQ(doc.PageHandlingOf(page), PageHandling::kCopied);
  ASSERT_TRUE(preferences.WriteCopyUnchangedPages(false));
  EXPECT_EQ(doc.PageHandlingOf(page), PageHandling::kConverted);
  ASSERT_TRUE(doc.Save(dir.File("out.tif")).ok());
  EXPECT_NE(pxtest::RawStrips(dir.File("out.tif"), 0).at(0), pxtest::ReadFile(photo));
}

}  // namespace
