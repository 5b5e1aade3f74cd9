// Pages encoded ahead and appended later make the very file the pixel writer makes.
#include <vector>

#include "test_support.h"
#include "tiff_write_support.h"

namespace {

using pxtest::TempDir;
using pxtest::TestPage;

struct Pages {
  std::vector<PXTIFFEncodedPage*> pages;
  size_t next = 0;
  ~Pages() {
    for (PXTIFFEncodedPage* p : pages) PXFreeTIFFEncodedPage(p);
  }
};

int NextEncoded(const PXTIFFEncodedPage** page, void* user) {
  auto* pages = static_cast<Pages*>(user);
  if (pages->next >= pages->pages.size()) return 0;
  *page = pages->pages[pages->next++];
  return 1;
}

// Writes the pages encoded ahead into `path`; the writer's result and last error.
pxtest::WriteOutcome WriteEncoded(const std::string& path, const std::vector<TestPage>& list,
                                  uint32_t flags) {
  Pages pages;
  for (const TestPage& p : list) {
    PXTIFFEncodedPage* encoded =
        PXEncodeTIFFPage(p.pixels.data(), p.width, p.height, p.bits, p.paletteOrNull(),
                         p.compression, &p.resolution, flags);
    EXPECT_NE(encoded, nullptr) << PXGetLastError();
    if (!encoded) return {};
    pages.pages.push_back(encoded);
  }
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  pxtest::WriteOutcome outcome;
  outcome.result = PXWriteEncodedTIFFPages(sink, NextEncoded, &pages, flags);
  outcome.error = PXGetLastError();
  PXCloseSink(sink);
  return outcome;
}

TEST(EncodedPages, SameBytesAsThePixelWriterForEveryDepthAndCompression) {
  TempDir dir;
  struct Case {
    uint32_t bits;
    std::vector<uint32_t> compressions;
  } cases[] = {
      {1, {1, 2, 3, 4, 5, 32773, 8, 32946}},
      {8, {1, 5, 7, 32773, 32946}},
      {24, {1, 5, 7, 32773, 32946}},
      {32, {1, 5, 32946}},
  };
  for (uint32_t flags : {0u, uint32_t(PX_TIFF_WRITE_TILES), uint32_t(PX_TIFF_WRITE_PREDICTOR)}) {
    for (const Case& c : cases) {
      std::vector<TestPage> pages;
      for (uint32_t compression : c.compressions) {
        // Pages of several strips, with a last strip shorter than the others.
        TestPage page = c.bits == 1 ? pxtest::NoisePage(1003, 77, 1, compression)
                                    : pxtest::SmoothPage(301, 97, c.bits);
        page.compression = compression;
        pages.push_back(page);
      }
      SCOPED_TRACE(testing::Message() << "bits " << c.bits << " flags " << flags);
      std::string plain = dir.File("plain.tif"), ahead = dir.File("ahead.tif");
      pxtest::WriteOutcome a = pxtest::WritePagesFile(plain, pages, flags);
      pxtest::WriteOutcome b = WriteEncoded(ahead, pages, flags);
      ASSERT_EQ(a.error, 0);
      ASSERT_EQ(b.error, 0);
      EXPECT_EQ(a.result, b.result);
      EXPECT_TRUE(pxtest::ReadFile(plain) == pxtest::ReadFile(ahead));
    }
  }
}

TEST(EncodedPages, MismatchedFlagsAndBadPagesAreRefused) {
  TempDir dir;
  TestPage page = pxtest::NoisePage(20, 10, 24);
  std::string path = dir.File("x.tif");
  // Encoded for tiles, written as strips.
  Pages pages;
  pages.pages.push_back(PXEncodeTIFFPage(page.pixels.data(), 20, 10, 24, nullptr, 5,
                                         &page.resolution, PX_TIFF_WRITE_TILES));
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  EXPECT_EQ(PXWriteEncodedTIFFPages(sink, NextEncoded, &pages, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  PXCloseSink(sink);
  EXPECT_EQ(PXEncodeTIFFPage(page.pixels.data(), 20, 10, 16, nullptr, 1, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXEncodeTIFFPage(page.pixels.data(), 20, 10, 8, nullptr, 1, nullptr, 0), nullptr);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXEncodeTIFFPage(nullptr, 20, 10, 24, nullptr, 1, nullptr, 0), nullptr);
  EXPECT_EQ(PXWriteEncodedTIFFPages(nullptr, NextEncoded, &pages, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
}

}  // namespace
