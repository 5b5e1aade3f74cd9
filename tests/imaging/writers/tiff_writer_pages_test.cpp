// PXWriteMultiPageTIFF: pages asked for one at a time and written as they come, the end
// of the list, pages the writer refuses, aborts and sinks that refuse the data.
#include <sys/resource.h>
#include <tiffio.h>

#include <csignal>
#include <functional>
#include <string>

#include "pixolith/px_tiff.h"
#include "stored_page_support.h"
#include "test_support.h"
#include "tiff_write_support.h"
#include "writers/tiff/stored_writer.h"

namespace {

using pxtest::NoisePage;
using pxtest::ReadResult;
using pxtest::TempDir;
using pxtest::TestPage;
using pxtest::TIFFTags;

// A page callback made of a function: called with the index of the call (0 first).
struct Script {
  std::function<int(int call, BYTE** pixels, uint32_t* width, uint32_t* height, RGBQUAD** palette,
                    uint32_t* bits, uint32_t* compression, PXResolution* resolution)>
      step;
  int calls = 0;
};

int RunScript(BYTE** pixels, uint32_t* width, uint32_t* height, RGBQUAD** palette, uint32_t* bits,
              uint32_t* compression, PXResolution* resolution, void* user) {
  auto* script = static_cast<Script*>(user);
  return script->step(script->calls++, pixels, width, height, palette, bits, compression,
                      resolution);
}

// Delivers `page` as it is.
int Deliver(const TestPage& page, BYTE** pixels, uint32_t* width, uint32_t* height,
            RGBQUAD** palette, uint32_t* bits, uint32_t* compression) {
  *pixels = const_cast<BYTE*>(page.pixels.data());
  *width = page.width;
  *height = page.height;
  *palette = const_cast<RGBQUAD*>(page.paletteOrNull());
  *bits = page.bits;
  *compression = page.compression;
  return 1;
}

pxtest::WriteOutcome WriteScript(const std::string& path, Script& script, uint32_t flags = 0) {
  pxtest::WriteOutcome w;
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  EXPECT_NE(sink, nullptr);
  w.result = PXWriteMultiPageTIFF(sink, RunScript, &script, flags);
  w.error = PXGetLastError();
  PXCloseSink(sink);
  return w;
}

void ExpectPage(const std::string& path, uint32_t index, const TestPage& page) {
  SCOPED_TRACE(testing::Message() << "page " << index);
  ReadResult back;
  pxtest::ReadBack(path, index, page.bits, &back);
  ASSERT_EQ(back.error, 0);
  EXPECT_EQ(back.width, page.width);
  EXPECT_EQ(back.height, page.height);
  EXPECT_EQ(back.bytes(page.pixels.size()), page.pixels);
}

// A write that failed with `error` after `first` was finished: the file holds that page
// and claims no other.
void ExpectOnlyFirstPage(const std::string& path, const pxtest::WriteOutcome& w, int error,
                         const TestPage& first) {
  EXPECT_EQ(w.error, error);
  EXPECT_EQ(w.result, 0u);
  EXPECT_EQ(pxtest::ClaimedDirectories(path), 1u);
  ASSERT_EQ(pxtest::DirectoryCount(path), 1u);
  ExpectPage(path, 0, first);
}

TEST(TIFFWritePages, EachPageKeepsItsOwnPixelsAndTags) {
  TempDir dir;
  const std::string path = dir.File("three.tif");
  TestPage a = NoisePage(33, 20, 1, 1), b = NoisePage(17, 41, 8, 2), c = NoisePage(64, 9, 24, 3);
  a.compression = PX_TIFF_COMPRESSION_CCITT_G4;
  a.resolution = {200, 100, 2};
  b.compression = PX_TIFF_COMPRESSION_LZW;
  b.resolution = {150, 150, 3};
  c.compression = PX_TIFF_COMPRESSION_DEFLATE;
  c.resolution = {72, 96, 1};
  const pxtest::WriteOutcome w = pxtest::WritePagesFile(path, {a, b, c});
  ASSERT_EQ(w.error, 0);
  EXPECT_EQ(w.result, pxtest::ReadFile(path).size());
  ASSERT_EQ(pxtest::DirectoryCount(path), 3u);
  EXPECT_EQ(pxtest::ClaimedDirectories(path), 3u);
  const TestPage* pages[] = {&a, &b, &c};
  const uint16_t photometric[] = {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_PALETTE, PHOTOMETRIC_RGB};
  for (uint32_t i = 0; i < 3; ++i) {
    const TestPage& p = *pages[i];
    ExpectPage(path, i, p);
    TIFFTags tags(path, i);
    EXPECT_EQ(tags.U32(TIFFTAG_IMAGEWIDTH), p.width);
    EXPECT_EQ(tags.U16(TIFFTAG_COMPRESSION), p.compression);
    EXPECT_EQ(tags.U16(TIFFTAG_PHOTOMETRIC), photometric[i]);
    EXPECT_EQ(tags.Float(TIFFTAG_XRESOLUTION), float(p.resolution.x));
    EXPECT_EQ(tags.Float(TIFFTAG_YRESOLUTION), float(p.resolution.y));
    EXPECT_EQ(tags.U16(TIFFTAG_RESOLUTIONUNIT), p.resolution.unit);
  }
  ReadResult back;
  pxtest::ReadBack(path, 1, 8, &back);
  EXPECT_EQ(back.palette[9].rgbBlue, b.palette[9].rgbBlue);
}

TEST(TIFFWritePages, EachPageIsInTheFileBeforeTheNextIsAskedFor) {
  TempDir dir;
  const std::string path = dir.File("growing.tif");
  const TestPage page = NoisePage(20, 10, 24);
  std::vector<uint32_t> seen;
  Script script;
  script.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                    uint32_t* comp, PXResolution*) {
    seen.push_back(pxtest::DirectoryCount(path));
    return call < 3 ? Deliver(page, px, w, h, pal, bits, comp) : 0;
  };
  ASSERT_EQ(WriteScript(path, script).error, 0);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2, 3}));
}

TEST(TIFFWritePages, TheListEndsWithoutAnError) {
  TempDir dir;
  const std::string path = dir.File("end.tif");
  const TestPage page = NoisePage(12, 12, 8);
  // No page at all: the write ends at once and without an error.
  Script none;
  none.step = [](int, BYTE**, uint32_t*, uint32_t*, RGBQUAD**, uint32_t*, uint32_t*,
                 PXResolution*) { return 0; };
  pxtest::WriteOutcome w = WriteScript(path, none);
  EXPECT_EQ(w.error, 0);
  EXPECT_EQ(none.calls, 1);
  EXPECT_EQ(pxtest::DirectoryCount(path), 0u);

  // One page, then no pixels: a valid one-page file.
  Script one;
  one.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                 uint32_t* comp, PXResolution*) {
    Deliver(page, px, w, h, pal, bits, comp);
    if (call == 1) *px = nullptr;
    return 1;
  };
  w = WriteScript(path, one);
  EXPECT_EQ(w.error, 0);
  EXPECT_EQ(one.calls, 2);
  EXPECT_EQ(w.result, pxtest::ReadFile(path).size());
  ASSERT_EQ(pxtest::DirectoryCount(path), 1u);
  ExpectPage(path, 0, page);
}

TEST(TIFFWritePages, CompressionIsMappedPerPage) {
  TempDir dir;
  const std::string path = dir.File("mixed.tif");
  TestPage fax1 = NoisePage(40, 30, 1, 1), fax2 = NoisePage(50, 20, 1, 2);
  TestPage colour = NoisePage(30, 30, 24, 3);
  fax1.compression = fax2.compression = colour.compression = PX_TIFF_COMPRESSION_CCITT_G4;
  ASSERT_EQ(pxtest::WritePagesFile(path, {fax1, fax2, colour}).error, 0);
  EXPECT_EQ(TIFFTags(path, 0).U16(TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX4);
  EXPECT_EQ(TIFFTags(path, 1).U16(TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX4);
  TIFFTags third(path, 2);
  EXPECT_EQ(third.U16(TIFFTAG_COMPRESSION), COMPRESSION_NONE);
  EXPECT_EQ(third.U16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_RGB);
  ExpectPage(path, 2, colour);
}

TEST(TIFFWritePages, ARefusedPageEndsTheWriteWithItsError) {
  TempDir dir;
  const TestPage good = NoisePage(10, 10, 24);
  TestPage fourBit = NoisePage(10, 10, 4), sixteen = NoisePage(10, 10, 16);
  TestPage noPalette = NoisePage(10, 10, 8);
  noPalette.palette.clear();
  TestPage empty = NoisePage(10, 10, 24);
  empty.width = 0;
  TestPage unknown = NoisePage(10, 10, 24);
  unknown.compression = 4242;
  for (const TestPage* bad : {&fourBit, &sixteen, &noPalette, &empty, &unknown}) {
    SCOPED_TRACE(testing::Message() << bad->bits << " bits, width " << bad->width);
    const std::string path = dir.File("refused.tif");
    // The page before it is complete; nothing after it was asked for.
    ExpectOnlyFirstPage(path, pxtest::WritePagesFile(path, {good, *bad, good}), PX_ERR_PARAMETER,
                        good);
  }
}

TEST(TIFFWritePages, APalettePointerIsNotCarriedToTheNextPage) {
  TempDir dir;
  const TestPage page = NoisePage(6, 6, 8);
  Script script;
  script.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                    uint32_t* comp, PXResolution*) {
    if (call == 2) return 0;
    *px = const_cast<BYTE*>(page.pixels.data());
    *w = *h = 6;
    *bits = 8;
    *comp = 1;
    if (call == 0) *pal = const_cast<RGBQUAD*>(page.palette.data());
    return 1;
  };
  const std::string path = dir.File("palette.tif");
  EXPECT_EQ(WriteScript(path, script).error, PX_ERR_PARAMETER);
  EXPECT_EQ(pxtest::DirectoryCount(path), 1u);
}

TEST(TIFFWritePages, TheResolutionRecordStartsAtZeroAndCarriesOver) {
  TempDir dir;
  const TestPage page = NoisePage(6, 6, 24);
  std::vector<PXResolution> offered;
  Script script;
  script.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                    uint32_t* comp, PXResolution* res) {
    offered.push_back(*res);
    if (call == 0) *res = {120, 60, 3};
    return call < 2 ? Deliver(page, px, w, h, pal, bits, comp) : 0;
  };
  const std::string path = dir.File("resolution.tif");
  ASSERT_EQ(WriteScript(path, script).error, 0);
  ASSERT_EQ(offered.size(), 3u);
  EXPECT_EQ(offered[0].x + offered[0].y + offered[0].unit, 0u);
  EXPECT_EQ(offered[1].x, 120u);
  TIFFTags second(path, 1);
  EXPECT_EQ(second.Float(TIFFTAG_XRESOLUTION), 120.0f);
  EXPECT_EQ(second.Float(TIFFTAG_YRESOLUTION), 60.0f);
  EXPECT_EQ(second.U16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_CENTIMETER);
}

/* ---- Progress and aborts ---------------------------------------------------------------- */

TEST(TIFFWritePages, ProgressCountsTheRowsOfEachPageOnly) {
  TempDir dir;
  const std::string path = dir.File("progress.tif");
  const TestPage small = NoisePage(5, 3, 24), other = NoisePage(4, 2, 8);
  // The page callback uses the library too; only the writer's rows are reported, and
  // the inner call's failure is not what the write reports.
  const std::vector<uint8_t> junk(40, 0);
  Script script;
  script.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                    uint32_t* comp, PXResolution*) {
    pxtest::MemorySource source(junk);
    uint32_t width = 0, height = 0;
    RGBQUAD palette[256];
    EXPECT_EQ(PXReadTIFF(source, &width, &height, 24, palette, 0, 0), nullptr);
    EXPECT_NE(PXGetLastError(), 0);
    if (call == 0) return Deliver(small, px, w, h, pal, bits, comp);
    if (call == 1) return Deliver(other, px, w, h, pal, bits, comp);
    return 0;
  };
  pxtest::ProgressLog log;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  const pxtest::WriteOutcome w = WriteScript(path, script);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(w.error, 0);
  const std::vector<std::pair<UINT, UINT>> rows = {{0, 3}, {1, 3}, {2, 3}, {0, 2}, {1, 2}};
  EXPECT_EQ(log.calls, rows);
}

// Aborts the write at the given progress call (1-based) and returns the outcome.
pxtest::WriteOutcome WriteAborting(const std::string& path, const std::vector<TestPage>& pages,
                                   size_t stopAt) {
  pxtest::ProgressLog log;
  log.stopAt = stopAt;
  PXSetProgressCallback(pxtest::RecordProgress, reinterpret_cast<DWORD_PTR>(&log));
  const pxtest::WriteOutcome w = pxtest::WritePagesFile(path, pages);
  PXSetProgressCallback(nullptr, 0);
  EXPECT_EQ(log.calls.size(), stopAt);
  return w;
}

TEST(TIFFWritePages, AnAbortKeepsTheFinishedPages) {
  TempDir dir;
  const TestPage first = NoisePage(30, 8, 24, 1);
  // The second page is stopped at its 4th row, half-way through a strip of its encoder.
  for (uint32_t compression : {PX_TIFF_COMPRESSION_NONE, PX_TIFF_COMPRESSION_JPEG}) {
    SCOPED_TRACE(compression);
    TestPage second = NoisePage(30, 8, 8, 2);
    second.compression = compression;
    const std::string path = dir.File("aborted.tif");
    ExpectOnlyFirstPage(path, WriteAborting(path, {first, second, first}, 12), PX_ERR_ABORTED,
                        first);
  }
  // Stopped inside the first page: there is no page to keep.
  const std::string path = dir.File("nothing.tif");
  const pxtest::WriteOutcome w = WriteAborting(path, {first, first}, 3);
  EXPECT_EQ(w.error, PX_ERR_ABORTED);
  EXPECT_EQ(w.result, 0u);
  EXPECT_EQ(pxtest::ClaimedDirectories(path), 0u);
}

/* ---- Sinks that refuse the data --------------------------------------------------------- */

TEST(TIFFWriteSinks, AFullDeviceIsAWriteError) {
  PXSink sink = PXOpenFileSink("/dev/full", FALSE);
  if (!sink) GTEST_SKIP() << "no /dev/full here";
  const TestPage page = NoisePage(40, 40, 24);
  EXPECT_EQ(PXWriteTIFF(sink, page.pixels.data(), 40, 40, 24, nullptr, 1, nullptr, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_WRITE);
  PXCloseSink(sink);

  const std::vector<TestPage> pages = {page, page};
  for (size_t count : {size_t(0), size_t(1), size_t(2)}) {
    SCOPED_TRACE(count);
    sink = PXOpenFileSink("/dev/full", FALSE);
    std::vector<TestPage> some(pages.begin(), pages.begin() + count);
    Script script;
    script.step = [&](int call, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                      uint32_t* comp, PXResolution*) {
      return size_t(call) < some.size() ? Deliver(some[call], px, w, h, pal, bits, comp) : 0;
    };
    EXPECT_EQ(PXWriteMultiPageTIFF(sink, RunScript, &script, 0), 0u);
    EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_WRITE);
    EXPECT_LE(script.calls, 1);  // the first page already fails
    PXCloseSink(sink);
  }
}

// Lets files of this process grow to `bytes` only, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_;
  void (*previous_)(int);
};

// The end of the last strip of a directory.
uint64_t DataEnd(const std::string& path, uint32_t directory) {
  TIFFTags tags(path, directory);
  uint64_t end = 0;
  for (uint32_t s = 0; s < TIFFNumberOfStrips(tags.tif()); ++s)
    end = std::max(end, TIFFGetStrileOffset(tags.tif(), s) + TIFFGetStrileByteCount(tags.tif(), s));
  return end;
}

TEST(TIFFWriteSinks, AFullDiskNeverLeavesAClaimedPageBehind) {
  TempDir dir;
  const TestPage first = NoisePage(100, 60, 24, 1), second = NoisePage(100, 60, 24, 2);
  const std::string probe = dir.File("probe.tif");
  ASSERT_EQ(pxtest::WritePagesFile(probe, {first, second}).error, 0);
  const uint64_t firstPage = DataEnd(probe, 0);
  const uint64_t secondData = DataEnd(probe, 1);
  ASSERT_GT(secondData, firstPage + 12000);
  ASSERT_GT(pxtest::ReadFile(probe).size(), secondData + 4);

  // The disk fills up in the middle of the second page's strips, and right after them,
  // where the second directory goes (libtiff links a directory before writing it).
  for (uint64_t limit : {firstPage + 12000, secondData + 4}) {
    SCOPED_TRACE(limit);
    const std::string path = dir.File("full.tif");
    pxtest::WriteOutcome w;
    {
      FileSizeLimit full(limit);
      w = pxtest::WritePagesFile(path, {first, second});
    }
    ExpectOnlyFirstPage(path, w, PX_ERR_FILE_WRITE, first);
  }
}

TEST(TIFFWriteSinks, SinksAndCallbacksAreChecked) {
  TempDir dir;
  const TestPage page = NoisePage(4, 4, 24);
  PXSink sink = PXOpenFileSink(dir.File("x.tif").c_str(), FALSE);
  EXPECT_EQ(PXWriteMultiPageTIFF(sink, nullptr, nullptr, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  PXCloseSink(sink);
  Script script;
  script.step = [&](int, BYTE** px, uint32_t* w, uint32_t* h, RGBQUAD** pal, uint32_t* bits,
                    uint32_t* comp,
                    PXResolution*) { return Deliver(page, px, w, h, pal, bits, comp); };
  EXPECT_EQ(PXWriteMultiPageTIFF(nullptr, RunScript, &script, 0), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(PXWriteMultiPageTIFF(sink, RunScript, &script, 0), 0u);  // closed
  EXPECT_EQ(PXGetLastError(), PX_ERR_INVALID_HANDLE);

  // A source is not a sink: appending needs to read and write it, and writing fails.
  const std::vector<uint8_t> bytes(64, 0);
  pxtest::MemorySource source(bytes);
  EXPECT_EQ(PXWriteMultiPageTIFF(source, RunScript, &script, PX_TIFF_WRITE_APPEND), 0u);
  EXPECT_EQ(PXGetLastError(), PX_ERR_PARAMETER);
  EXPECT_EQ(script.calls, 0);
  EXPECT_EQ(PXWriteMultiPageTIFF(source, RunScript, &script, 0), 0u);
  EXPECT_NE(PXGetLastError(), 0);
  EXPECT_EQ(bytes, std::vector<uint8_t>(64, 0));
}

TEST(TIFFWritePages, AppendingAddsToTheFile) {
  TempDir dir;
  const std::string path = dir.File("more.tif");
  const TestPage a = NoisePage(9, 9, 1, 1), b = NoisePage(8, 3, 32, 2), c = NoisePage(5, 5, 8, 3);
  ASSERT_EQ(pxtest::WritePagesFile(path, {a}).error, 0);
  ASSERT_EQ(pxtest::WritePagesFile(path, {b, c}, PX_TIFF_WRITE_APPEND).error, 0);
  ASSERT_EQ(pxtest::DirectoryCount(path), 3u);
  ExpectPage(path, 0, a);
  ExpectPage(path, 1, b);
  ExpectPage(path, 2, c);
}

}  // namespace

namespace {

// Pages copied as stored, written straight into the file or through libtiff: the two
// writers' files must be the same bytes.

struct Encoded {
  explicit Encoded(PXTIFFEncodedPage* p = nullptr) : page(p) {}
  ~Encoded() { PXFreeTIFFEncodedPage(page); }
  Encoded(Encoded&& other) noexcept : page(other.page) { other.page = nullptr; }
  Encoded(const Encoded&) = delete;
  Encoded& operator=(const Encoded&) = delete;
  PXTIFFEncodedPage* page;
};

Encoded StoredPageOf(const TempDir& dir, const pxtest::SourceLayout& layout,
                     const PXResolution& resolution) {
  const std::string path = dir.File("stored-source.tif");
  pxtest::WriteSourceTIFF(path, layout);
  const std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  pxtest::MemorySource source(bytes);
  Encoded page(PXCopyTIFFPage(source, 0, &resolution, 0));
  EXPECT_NE(page.page, nullptr) << PXGetLastError();
  return page;
}

struct PageList {
  std::vector<const PXTIFFEncodedPage*> pages;
  size_t next = 0;
};

int GiveNext(const PXTIFFEncodedPage** page, void* user) {
  auto* list = static_cast<PageList*>(user);
  if (list->next == list->pages.size()) return 0;
  *page = list->pages[list->next++];
  return 1;
}

// The file the pages make, written with the direct writer on or off.
std::vector<uint8_t> WrittenWith(bool direct, const std::vector<const PXTIFFEncodedPage*>& pages,
                                 const std::string& path, int* error) {
  pxtiffw::g_writeStoredPagesDirectly = direct;
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  PageList list{pages};
  PXWriteEncodedTIFFPages(sink, GiveNext, &list, 0);
  *error = PXGetLastError();
  PXCloseSink(sink);
  pxtiffw::g_writeStoredPagesDirectly = true;
  return pxtest::ReadFile(path);
}

TEST(StoredPageWriter, WritesTheBytesLibTIFFWrites) {
  TempDir dir;
  using pxtest::SourceLayout;
  const auto layoutOf = pxtest::LayoutOf;
  SourceLayout oneStrip = layoutOf(1, COMPRESSION_CCITTFAX4);
  oneStrip.rowsPerStrip = 10000;
  SourceLayout lsb = layoutOf(1, COMPRESSION_PACKBITS);
  lsb.fillOrder = FILLORDER_LSB2MSB;
  SourceLayout palette = layoutOf(8, COMPRESSION_PACKBITS);
  palette.palette = true;
  SourceLayout wide = layoutOf(1, COMPRESSION_CCITTFAX4);
  wide.width = 70000;
  wide.height = 3;
  const struct {
    const char* name;
    SourceLayout layout;
    PXResolution resolution;
    bool direct;  // taken by the direct writer (a Group 3 page without options is not)
  } cases[] = {
      {"Group 4 strips", layoutOf(1, COMPRESSION_CCITTFAX4), {300, 300, 2}, true},
      {"Group 4, one strip", oneStrip, {204, 98, 2}, true},
      {"Group 3 without options", layoutOf(1, COMPRESSION_CCITTFAX3), {72, 72, 1}, false},
      {"CCITT Huffman", layoutOf(1, COMPRESSION_CCITTRLE), {118, 118, 3}, true},
      {"PackBits, LSB first", lsb, {600, 600, 2}, true},
      {"PackBits palette", palette, {96, 96, 2}, true},
      {"PackBits RGB", layoutOf(24, COMPRESSION_PACKBITS), {150, 150, 2}, true},
      {"70000 wide", wide, {200, 200, 2}, true},
  };
  const px::TIFFWriteOptions options;
  std::vector<Encoded> all;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Encoded page = StoredPageOf(dir, c.layout, c.resolution);
    ASSERT_NE(page.page, nullptr);
    // Where the direct writer takes the page, the comparison is of two writers.
    EXPECT_EQ(pxtiffw::WritesStoredPageDirectly(*pxtiffw::EncodedPageOf(page.page), options),
              c.direct);
    int directError = -1, libError = -1;
    const std::vector<uint8_t> direct =
        WrittenWith(true, {page.page, page.page}, dir.File("direct.tif"), &directError);
    const std::vector<uint8_t> lib =
        WrittenWith(false, {page.page, page.page}, dir.File("libtiff.tif"), &libError);
    EXPECT_EQ(directError, 0);
    EXPECT_EQ(libError, 0);
    EXPECT_EQ(direct, lib);
    EXPECT_EQ(pxtest::DirectoryCount(dir.File("direct.tif")), 2u);
    all.push_back(std::move(page));
  }
  // Every kind in one file; then a converted page in the middle, after which libtiff
  // appends the rest to what was written directly; and no page at all.
  std::vector<const PXTIFFEncodedPage*> pages;
  for (const Encoded& e : all) pages.push_back(e.page);
  const TestPage noise = NoisePage(40, 30, 8, 3);
  const PXResolution res = {150, 150, 2};
  Encoded converted(PXEncodeTIFFPage(noise.pixels.data(), noise.width, noise.height, noise.bits,
                                     noise.paletteOrNull(), COMPRESSION_LZW, &res, 0));
  ASSERT_NE(converted.page, nullptr);
  std::vector<const PXTIFFEncodedPage*> mixed = {pages[0], pages[1], converted.page, pages[2],
                                                 pages[0]};
  for (const auto& list : {pages, mixed, std::vector<const PXTIFFEncodedPage*>{}}) {
    SCOPED_TRACE(list.size());
    int directError = -1, libError = -1;
    EXPECT_EQ(WrittenWith(true, list, dir.File("direct.tif"), &directError),
              WrittenWith(false, list, dir.File("libtiff.tif"), &libError));
    EXPECT_EQ(directError, libError);
    EXPECT_EQ(pxtest::DirectoryCount(dir.File("direct.tif")), uint32_t(list.size()));
  }
}

TEST(StoredPageWriter, AFullDiskNeverLeavesAClaimedPageBehind) {
  TempDir dir;
  pxtest::SourceLayout layout;
  layout.bits = 1;
  layout.compression = COMPRESSION_PACKBITS;
  layout.width = 800;
  layout.height = 600;
  const Encoded page = StoredPageOf(dir, layout, {300, 300, 2});
  ASSERT_NE(page.page, nullptr);
  int error = -1;
  const std::vector<uint8_t> whole =
      WrittenWith(true, {page.page, page.page}, dir.File("probe.tif"), &error);
  ASSERT_EQ(error, 0);
  const uint64_t pageBytes = whole.size() / 2;
  // In the middle of the second page's strips, and where its directory goes.
  for (uint64_t limit : {pageBytes + pageBytes / 2, whole.size() - 20}) {
    SCOPED_TRACE(limit);
    const std::string path = dir.File("full.tif");
    {
      FileSizeLimit full(limit);
      WrittenWith(true, {page.page, page.page}, path, &error);
    }
    EXPECT_EQ(error, PX_ERR_FILE_WRITE);
    EXPECT_EQ(pxtest::ClaimedDirectories(path), 1u);
    EXPECT_EQ(pxtest::DirectoryCount(path), 1u);
  }
}

}  // namespace
