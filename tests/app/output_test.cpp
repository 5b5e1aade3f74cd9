// The output run: page order, per-page conversion, progress, and what failures leave.
#include <filesystem>
#include <thread>

#include "document/output.h"
#include "document_support.h"
#include "image_files.h"
#include "test_support.h"

namespace {

using pxtest::TempDir;
namespace fs = std::filesystem;

// Files in a folder other than the ones named.
std::vector<std::string> OtherFiles(const fs::path& folder, std::vector<std::string> known) {
  std::vector<std::string> others;
  for (const auto& item : fs::directory_iterator(folder)) {
    std::string name = item.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
  }
  return others;
}

PageRecord Page(const std::string& path, int32_t w, int32_t h) {
  PageRecord r;
  r.sourcePath = path;
  r.frameIndex = 0;
  r.output.width = w;
  r.output.height = h;
  r.output.bitsPerPixel = 24;
  return r;
}

struct RecordingProgress : ProgressSink {
  std::vector<int> percents;
  size_t stopAfter = 1000;
  bool Progress(const std::string&, int percent, const CPageImage* image) override {
    EXPECT_NE(image, nullptr);
    percents.push_back(percent);
    return percents.size() <= stopAfter;
  }
};

uint32_t Stripes(uint32_t x, uint32_t) {
  return (x / 10) % 2 ? 0xFFFFFFu : 0x204060u;
}

TEST(ErrorTextTest, MessagesAndFallback) {
  EXPECT_EQ(ErrorText(3), "Error on file read");
  EXPECT_EQ(ErrorText(99), "Error 99");
  EXPECT_EQ(ErrorText(38), "Error 38");
}

TEST(OutputTest, FourPagesReportQuarterSteps) {
  TempDir dir;
  std::vector<PageRecord> pages;
  for (int i = 0; i < 4; ++i) {
    std::string p = dir.File("p" + std::to_string(i) + ".bmp");
    pxtest::WriteBMP24(p, 20, 10, Stripes);
    pages.push_back(Page(p, 20, 10));
  }
  RecordingProgress progress;
  OutputReport report = WriteOutputFile(pages, dir.File("out.tif"), &progress);
  ASSERT_TRUE(report.ok()) << report.error;
  EXPECT_EQ(progress.percents, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(pxtest::ReadTiffDirectories(dir.File("out.tif")).size(), 4u);
}

TEST(OutputTest, PagesAreFittedThenRotated) {
  TempDir dir;
  std::string src = dir.File("wide.bmp");
  pxtest::WriteBMP24(src, 3000, 1000, Stripes);
  PageRecord plain = Page(src, 1000, 1000);
  PageRecord turned = plain;
  turned.output.rotation = 90;
  turned.output.bitsPerPixel = 1;
  turned.output.compression = 4;
  turned.output.resolutionX = 300;
  turned.output.resolutionY = 300;
  turned.output.resolutionUnit = 2;
  OutputReport report = WriteOutputFile({plain, turned}, dir.File("out.tif"), nullptr);
  ASSERT_TRUE(report.ok()) << report.error;
  auto dirs = pxtest::ReadTiffDirectories(dir.File("out.tif"));
  ASSERT_EQ(dirs.size(), 2u);
  EXPECT_EQ(dirs[0].width, 1000u);
  EXPECT_EQ(dirs[0].height, 333u);
  EXPECT_EQ(dirs[0].samples, 3);
  EXPECT_EQ(dirs[1].width, 333u);
  EXPECT_EQ(dirs[1].height, 1000u);
  EXPECT_EQ(dirs[1].bits, 1);
  EXPECT_EQ(dirs[1].compression, 4);
  EXPECT_EQ(dirs[1].unit, 2);
  EXPECT_FLOAT_EQ(dirs[1].xres, 300);
}

TEST(OutputTest, PagesWithoutResolutionAreWrittenAsOneByOneWithoutUnits) {
  TempDir dir;
  std::string src = dir.File("p.bmp");
  pxtest::WriteBMP24(src, 8, 8, Stripes);
  PageRecord page = Page(src, 8, 8);
  page.output.resolutionX = 0;
  page.output.resolutionY = 0;
  page.output.resolutionUnit = 0;  // what a metafile page starts with
  ASSERT_TRUE(WriteOutputFile({page}, dir.File("o.tif"), nullptr).ok());
  auto dirs = pxtest::ReadTiffDirectories(dir.File("o.tif"));
  ASSERT_EQ(dirs.size(), 1u);
  EXPECT_FLOAT_EQ(dirs[0].xres, 1);
  EXPECT_FLOAT_EQ(dirs[0].yres, 1);
  EXPECT_EQ(dirs[0].unit, 1);
}

class FailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) {
      std::string p = dir_.File("s" + std::to_string(i) + ".bmp");
      pxtest::WriteBMP24(p, 16, 16, Stripes);
      pages_.push_back(Page(p, 16, 16));
      names_.push_back("s" + std::to_string(i) + ".bmp");
    }
    target_ = dir_.File("target.tif");
    pxtest::WriteFile(target_, {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'});
    names_.push_back("target.tif");
  }
  TempDir dir_;
  std::vector<PageRecord> pages_;
  std::vector<std::string> names_;
  std::string target_;
};

TEST_F(FailureTest, AFailingPageFailsTheRunAndKeepsTheTarget) {
  fs::remove(pages_[2].sourcePath);  // deleted after it was added
  OutputReport report = WriteOutputFile(pages_, target_, nullptr);
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(report.failedPage, 2);
  EXPECT_EQ(report.failedPath, pages_[2].sourcePath);
  EXPECT_NE(report.error, 0);
  EXPECT_EQ(pxtest::ReadFile(target_),
            (std::vector<uint8_t>{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'}));
  names_.erase(names_.begin() + 2);
  EXPECT_TRUE(OtherFiles(dir_.path(), names_).empty());
}

TEST_F(FailureTest, CancelIsReportedAndKeepsTheTarget) {
  RecordingProgress progress;
  progress.stopAfter = 2;
  OutputReport report = WriteOutputFile(pages_, target_, &progress);
  EXPECT_TRUE(report.cancelled);
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(progress.percents.size(), 3u);  // the third report said stop
  EXPECT_EQ(pxtest::ReadFile(target_).size(), 8u);
  EXPECT_TRUE(OtherFiles(dir_.path(), names_).empty());
}

TEST_F(FailureTest, SuccessReplacesTheTarget) {
  OutputReport report = WriteOutputFile(pages_, target_, nullptr);
  ASSERT_TRUE(report.ok());
  EXPECT_EQ(pxtest::ReadTiffDirectories(target_).size(), 5u);
  EXPECT_EQ(report.bytes, fs::file_size(target_));
  EXPECT_TRUE(OtherFiles(dir_.path(), names_).empty());
}

TEST(DocumentSaveTest, FailuresAreToldAndTheDocumentPathStays) {
  TempDir dir;
  Preferences prefs(dir.File("s.ini"));
  CPageWeaverDoc doc(&prefs, nullptr);
  pxtest::ScriptedUI ui;
  pxtest::AddedOrder order;
  doc.AddView(&order);
  doc.SetUserInterface(&ui);
  doc.SetPageOrder(&order);
  std::string a = dir.File("a.bmp"), b = dir.File("b.bmp");
  pxtest::WriteBMP24(a, 8, 8, Stripes);
  pxtest::WriteBMP24(b, 8, 8, Stripes);
  doc.AddPage(a, 0, false);
  doc.AddPage(b, 0, false);

  OutputReport report = doc.Save(dir.File("no/such/folder/x.tif"));
  EXPECT_FALSE(report.ok());
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0], "Couldn't open output file");
  EXPECT_TRUE(doc.Path().empty());

  fs::remove(b);
  ui.asked.clear();
  report = doc.Save(dir.File("x.tif"));
  EXPECT_EQ(report.failedPage, 1);
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_NE(ui.asked[0].find("Page 2 of 2"), std::string::npos) << ui.asked[0];
  EXPECT_NE(ui.asked[0].find(b), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("x.tif")));
  EXPECT_TRUE(doc.Path().empty());

  pxtest::WriteBMP24(b, 8, 8, Stripes);
  report = doc.Save(dir.File("x.tif"));
  EXPECT_TRUE(report.ok());
  EXPECT_EQ(doc.Path(), dir.File("x.tif"));
  EXPECT_FALSE(doc.Busy());
}

}  // namespace

namespace {

class ThreadedTest : public FailureTest {};

TEST_F(ThreadedTest, ConvertingAheadWritesTheSameBytes) {
  // Different settings per page, so that a page taken out of order would show.
  for (size_t i = 0; i < pages_.size(); ++i) {
    pages_[i].output.width = int32_t(8 + 3 * i);
    pages_[i].output.bitsPerPixel = i % 3 == 0 ? 1 : i % 3 == 1 ? 8 : 24;
    pages_[i].output.rotation = int32_t(90 * (i % 4));
  }
  std::string one = dir_.File("one.tif"), three = dir_.File("three.tif");
  ASSERT_TRUE(WriteOutputFile(pages_, one, nullptr, nullptr, 1).ok());
  RecordingProgress progress;
  ASSERT_TRUE(WriteOutputFile(pages_, three, &progress, nullptr, 3).ok());
  EXPECT_EQ(pxtest::ReadFile(one), pxtest::ReadFile(three));
  EXPECT_EQ(progress.percents, (std::vector<int>{20, 40, 60, 80, 100}));
}

TEST_F(ThreadedTest, AFailingPageStillFailsTheRun) {
  fs::remove(pages_[3].sourcePath);
  OutputReport report = WriteOutputFile(pages_, target_, nullptr, nullptr, 3);
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(report.failedPage, 3);
  EXPECT_EQ(report.pagesWritten, 3);
  EXPECT_EQ(pxtest::ReadFile(target_).size(), 8u);
  names_.erase(names_.begin() + 3);
  EXPECT_TRUE(OtherFiles(dir_.path(), names_).empty());
}

TEST_F(ThreadedTest, CancelStopsBetweenPages) {
  RecordingProgress progress;
  progress.stopAfter = 1;
  OutputReport report = WriteOutputFile(pages_, target_, &progress, nullptr, 4);
  EXPECT_TRUE(report.cancelled);
  EXPECT_EQ(progress.percents.size(), 2u);
  EXPECT_EQ(pxtest::ReadFile(target_).size(), 8u);
  EXPECT_TRUE(OtherFiles(dir_.path(), names_).empty());
}

// Everything a report carried.
struct Report {
  std::string text;
  int percent;
  std::thread::id thread;
  uint32_t width = 0, height = 0, bits = 0;
};

struct ReportLog : ProgressSink {
  std::vector<Report> reports;
  bool Progress(const std::string& text, int percent, const CPageImage* image) override {
    Report r{text, percent, std::this_thread::get_id()};
    if (image) {
      r.width = image->Width();
      r.height = image->Height();
      r.bits = image->BitsPerPixel();
    }
    reports.push_back(r);
    return true;
  }
  std::vector<int> Percents() const {
    std::vector<int> p;
    for (const Report& r : reports) p.push_back(r.percent);
    return p;
  }
};

TEST_F(ThreadedTest, EachPageIsReportedAsLoadedOnTheCallersThread) {
  for (PageRecord& page : pages_) {
    pxtest::WriteBMP24(page.sourcePath, 600, 200, Stripes);
    page.output.width = page.output.height = 600;
    page.output.bitsPerPixel = 1;
    page.output.rotation = 90;
  }
  ReportLog log;
  ASSERT_TRUE(WriteOutputFile(pages_, target_, &log, nullptr, 3).ok());
  ASSERT_EQ(log.Percents(), (std::vector<int>{20, 40, 60, 80, 100}));
  for (size_t i = 0; i < log.reports.size(); ++i) {
    const Report& r = log.reports[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(r.text, pages_[i].sourcePath);
    EXPECT_EQ(r.thread, std::this_thread::get_id());
    // The page as loaded (24 bits, wide), not as converted (1 bit, turned), and small.
    EXPECT_EQ(r.bits, 24u);
    EXPECT_EQ(r.width, 256u);
    EXPECT_EQ(r.height, 85u);
  }
}

TEST_F(ThreadedTest, APageIsReportedBeforeItIsConverted) {
  // Page 3 loads but cannot be turned: it is reported as it starts, as on one thread,
  // and the run fails at it. (Pages after it may have started, and been reported, while
  // it was converted.)
  pages_[2].output.rotation = 45;
  ReportLog one, three;
  OutputReport a = WriteOutputFile(pages_, target_, &one, nullptr, 1);
  OutputReport b = WriteOutputFile(pages_, target_, &three, nullptr, 3);
  EXPECT_EQ(a.failedPage, 2);
  EXPECT_EQ(b.failedPage, 2);
  EXPECT_EQ(one.Percents(), (std::vector<int>{20, 40, 60}));
  std::vector<int> threaded = three.Percents();
  ASSERT_GE(threaded.size(), 3u);
  EXPECT_EQ(std::vector<int>(threaded.begin(), threaded.begin() + 3), one.Percents());
}

}  // namespace

namespace {

// A 1-bit page of 90 x 90 (a set bit black) through the output conversion to 30 x 30 at
// 1 bit; the result's bits, true for black, row by row.
std::vector<std::vector<bool>> ReducedOneBit(const pxtest::PixelFn& pixel, bool dither) {
  TempDir dir;
  const std::string path = dir.File("page.tif");
  pxtest::TiffPage page;
  page.width = page.height = 90;
  page.bits = 1;
  page.pixel = pixel;
  pxtest::WriteTIFF(path, {page});
  PageRecord record = Page(path, 30, 30);
  record.output.bitsPerPixel = 1;
  record.output.threshold = 128;
  record.output.dither = dither;
  CPageImage image;
  EXPECT_EQ(PreparePage(record, &image, nullptr), 0);
  EXPECT_EQ(image.BitsPerPixel(), 1u);
  std::vector<std::vector<bool>> rows;
  if (image.Width() != 30 || image.Height() != 30 || image.BitsPerPixel() != 1) return rows;
  // Entry 1 is black after the conversion.
  const size_t stride = (image.Width() + 7) / 8;
  for (uint32_t y = 0; y < 30; ++y) {
    rows.emplace_back();
    for (uint32_t x = 0; x < 30; ++x)
      rows.back().push_back((image.Pixels()[y * stride + x / 8] >> (7 - x % 8)) & 1);
  }
  return rows;
}

size_t BlackCount(const std::vector<std::vector<bool>>& rows) {
  size_t n = 0;
  for (const auto& r : rows) n += size_t(std::count(r.begin(), r.end(), true));
  return n;
}

// 1-pixel lines shrunk 3:1 cover a third of their cells (grey 170), which threshold 128
// alone would turn white.
TEST(OutputTest, OneBitPagesShrunkToOneBitKeepTheirThinLines) {
  const auto lines = [](uint32_t x, uint32_t y) { return x == 40 || y == 61 ? 0u : 0xFFFFFFu; };
  const auto rows = ReducedOneBit(lines, false);
  ASSERT_EQ(rows.size(), 30u);
  for (uint32_t i = 0; i < 30; ++i) {
    EXPECT_TRUE(rows[i][13]) << "vertical line broken in row " << i;
    EXPECT_TRUE(rows[20][i]) << "horizontal line broken in column " << i;
  }
  // The lines stay one pixel wide: nothing else is black.
  EXPECT_EQ(BlackCount(rows), 59u);
  // Dithered, the error spread near the crossing may open a pixel, no more.
  const auto dithered = ReducedOneBit(lines, true);
  ASSERT_EQ(dithered.size(), 30u);
  size_t onLines = 0;
  for (uint32_t i = 0; i < 30; ++i) onLines += dithered[i][13] + (i != 13 && dithered[20][i]);
  EXPECT_GE(onLines, 56u);
  EXPECT_EQ(BlackCount(dithered), onLines);
}

TEST(OutputTest, OneBitPagesShrunkToOneBitKeepFlatAreasAndDensity) {
  for (bool dither : {false, true}) {
    SCOPED_TRACE(dither ? "dither" : "threshold");
    EXPECT_EQ(BlackCount(ReducedOneBit([](uint32_t, uint32_t) { return 0xFFFFFFu; }, dither)), 0u);
    EXPECT_EQ(BlackCount(ReducedOneBit([](uint32_t, uint32_t) { return 0u; }, dither)), 900u);
    // A checkerboard, half black, stays about half black.
    const size_t half = BlackCount(
        ReducedOneBit([](uint32_t x, uint32_t y) { return (x + y) % 2 ? 0u : 0xFFFFFFu; }, dither));
    EXPECT_GE(half, 360u);
    EXPECT_LE(half, 540u);
  }
}

}  // namespace
