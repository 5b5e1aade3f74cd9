// The direct survey of stored TIFF pages against libtiff's: wherever it decides a page,
// it says what libtiff's survey says, to every tag and strip; a directory that is unusual
// or damaged it leaves to libtiff, and it never reads outside the file.
#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "copy.h"
#include "corpus_compare.h"
#include "stored_page_support.h"
#include "test_support.h"
#include "writers/tiff/stored_survey.h"

namespace {

using pxtest::LayoutOf;
using pxtest::SourceLayout;
using pxtest::TempDir;
using pxtiffw::StoredSurvey;

void ExpectSameSurvey(const StoredSurvey& a, const StoredSurvey& b) {
  EXPECT_EQ(a.stored.width, b.stored.width);
  EXPECT_EQ(a.stored.height, b.stored.height);
  EXPECT_EQ(a.stored.bitsPerPixel, b.stored.bitsPerPixel);
  EXPECT_EQ(a.stored.compression, b.stored.compression);
  EXPECT_EQ(a.stored.transparent, b.stored.transparent);
  EXPECT_EQ(a.stored.copyable, b.stored.copyable);
  EXPECT_EQ(a.stored.resolution.x, b.stored.resolution.x);
  EXPECT_EQ(a.stored.resolution.y, b.stored.resolution.y);
  EXPECT_EQ(a.stored.resolution.unit, b.stored.resolution.unit);
  const pxtiffw::StoredTags &s = a.tags, &t = b.tags;
  EXPECT_EQ(s.compression, t.compression);
  EXPECT_EQ(s.photometric, t.photometric);
  EXPECT_EQ(s.fillOrder, t.fillOrder);
  EXPECT_EQ(s.bitsPerSample, t.bitsPerSample);
  EXPECT_EQ(s.samplesPerPixel, t.samplesPerPixel);
  EXPECT_EQ(s.planar, t.planar);
  EXPECT_EQ(s.predictor, t.predictor);
  EXPECT_EQ(s.hasT4Options, t.hasT4Options);
  EXPECT_EQ(s.t4Options, t.t4Options);
  EXPECT_EQ(s.hasT6Options, t.hasT6Options);
  EXPECT_EQ(s.t6Options, t.t6Options);
  EXPECT_EQ(s.colorMap, t.colorMap);
  EXPECT_EQ(s.jpegTables, t.jpegTables);
  EXPECT_EQ(s.hasReferenceBlackWhite, t.hasReferenceBlackWhite);
  EXPECT_EQ(s.rowsPerStrip, t.rowsPerStrip);
  EXPECT_EQ(s.tileWidth, t.tileWidth);
  EXPECT_EQ(s.tileLength, t.tileLength);
  EXPECT_EQ(a.tiled, b.tiled);
  ASSERT_EQ(a.striles.size(), b.striles.size());
  for (size_t i = 0; i < a.striles.size(); ++i) {
    EXPECT_EQ(a.striles[i].offset, b.striles[i].offset) << "strile " << i;
    EXPECT_EQ(a.striles[i].bytes, b.striles[i].bytes) << "strile " << i;
  }
}

// The direct survey of page `frame` of `file` read as a file source, in pieces.
bool DecidesFromFile(const std::vector<uint8_t>& file, uint32_t frame, StoredSurvey* out) {
  // One file written over and over, each time with a time of its own: files rewritten
  // within one tick of the clock, at one size, would look alike to the index of surveyed
  // chains.
  static const TempDir dir;
  static time_t writes = 0;
  const std::string path = dir.File("surveyed.tif");
  pxtest::WriteFile(path, file);
  const timespec stamp[2] = {{1000000000 + ++writes, 0}, {1000000000 + writes, 0}};
  EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), stamp, 0), 0);
  PXSource source = PXOpenFileSource(path.c_str());
  EXPECT_NE(source, nullptr);
  if (!source) return false;
  CPXIO io(source);
  const bool decided = pxtiffw::SurveyCopyableDirectly(io, frame, out);
  PXCloseSource(source);
  return decided;
}

// Both surveys of page `frame` of `file`. Whenever the direct one decides, libtiff's must
// find the same copyable page; returns whether it decided. The survey of the file read
// in pieces decides as the one of the bytes in memory.
bool DecidesAsLibTIFF(const std::vector<uint8_t>& file, uint32_t frame) {
  StoredSurvey direct, fromFile;
  const bool decided = pxtiffw::SurveyCopyableDirectly(file.data(), file.size(), frame, &direct);
  EXPECT_EQ(DecidesFromFile(file, frame, &fromFile), decided);
  if (decided) ExpectSameSurvey(fromFile, direct);
  if (decided) {
    pxtest::MemorySource source(file);
    StoredSurvey lib;
    EXPECT_EQ(pxtiffw::SurveyWithLibTIFF(source, frame, &lib), PX_OK);
    EXPECT_TRUE(lib.stored.copyable);
    ExpectSameSurvey(direct, lib);
  }
  return decided;
}

std::vector<uint8_t> Written(const TempDir& dir, const SourceLayout& layout, int pages = 1) {
  const std::string path = dir.File("source.tif");
  pxtest::WriteSourceTIFF(path, layout, pages);
  return pxtest::ReadFile(path);
}

// A 1-bit Group 4 page written by libtiff in `mode` ("w", "wb" big-endian, "w8" BigTIFF).
std::vector<uint8_t> FaxPage(const TempDir& dir, const char* mode) {
  const std::string path = dir.File("fax.tif");
  TIFF* tif = TIFFOpen(path.c_str(), mode);
  EXPECT_NE(tif, nullptr);
  if (!tif) return {};
  const uint32_t width = 200, height = 40;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8u);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 98.0f);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
  std::vector<uint8_t> row(width / 8);
  for (uint32_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < row.size(); ++x) row[x] = uint8_t((x * 7 + y * 3) % 5 ? 0 : 0xF0);
    TIFFWriteScanline(tif, row.data(), y, 0);
  }
  TIFFClose(tif);
  return pxtest::ReadFile(path);
}

TEST(DirectSurvey, DecidesTheUsualCopyablePagesAsLibTIFFDoes) {
  TempDir dir;
  struct Case {
    const char* name;
    SourceLayout layout;
  };
  std::vector<Case> cases = {
      {"Group 4", LayoutOf(1, COMPRESSION_CCITTFAX4)},
      {"Group 3", LayoutOf(1, COMPRESSION_CCITTFAX3)},
      {"CCITT Huffman", LayoutOf(1, COMPRESSION_CCITTRLE)},
      {"LZW RGB", LayoutOf(24, COMPRESSION_LZW)},
      {"Deflate grey", LayoutOf(8, COMPRESSION_DEFLATE)},
      {"PackBits 1-bit", LayoutOf(1, COMPRESSION_PACKBITS)},
  };
  SourceLayout predictor = LayoutOf(24, COMPRESSION_LZW);
  predictor.predictor = PREDICTOR_HORIZONTAL;
  cases.push_back({"LZW with predictor", predictor});
  SourceLayout palette = LayoutOf(8, COMPRESSION_PACKBITS);
  palette.palette = true;
  cases.push_back({"PackBits palette", palette});
  SourceLayout tiled = LayoutOf(24, COMPRESSION_DEFLATE);
  tiled.tiled = true;
  cases.push_back({"Deflate tiles", tiled});
  SourceLayout lsb = LayoutOf(1, COMPRESSION_CCITTFAX4);
  lsb.fillOrder = FILLORDER_LSB2MSB;
  cases.push_back({"Group 4, LSB first", lsb});
  SourceLayout oneStrip = LayoutOf(1, COMPRESSION_CCITTFAX4);
  oneStrip.rowsPerStrip = 1000;
  oneStrip.dpi = 300.5f;
  cases.push_back({"one strip, fractional resolution", oneStrip});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(DecidesAsLibTIFF(Written(dir, c.layout), 0));
  }
  // Later pages of a file, and the other byte order and BigTIFF.
  const std::vector<uint8_t> three = Written(dir, LayoutOf(1, COMPRESSION_CCITTFAX4), 3);
  for (uint32_t frame = 0; frame < 3; ++frame) EXPECT_TRUE(DecidesAsLibTIFF(three, frame));
  StoredSurvey none;
  EXPECT_FALSE(pxtiffw::SurveyCopyableDirectly(three.data(), three.size(), 3, &none));
  for (const char* mode : {"w", "wb", "w8", "wb8"}) {
    SCOPED_TRACE(mode);
    EXPECT_TRUE(DecidesAsLibTIFF(FaxPage(dir, mode), 0));
  }
}

// Little-endian classic TIFF access for the patches below.
uint32_t Le16(const std::vector<uint8_t>& f, uint32_t at) {
  return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8;
}

uint32_t Le32(const std::vector<uint8_t>& f, uint32_t at) {
  return Le16(f, at) | Le16(f, at + 2) << 16;
}

// Where the first directory's entry of `tag` starts; 0 when it has none.
uint32_t EntryAt(const std::vector<uint8_t>& f, uint16_t tag) {
  const uint32_t ifd = Le32(f, 4);
  for (uint32_t i = 0, n = Le16(f, ifd); i < n; ++i)
    if (Le16(f, ifd + 2 + i * 12) == tag) return ifd + 2 + i * 12;
  return 0;
}

TEST(DirectSurvey, LeavesWhatTakesLibTIFFsJudgementToLibTIFF) {
  TempDir dir;
  const std::vector<uint8_t> good = Written(dir, LayoutOf(1, COMPRESSION_CCITTFAX4));
  ASSERT_TRUE(DecidesAsLibTIFF(good, 0));
  auto leftToLibTIFF = [](const std::vector<uint8_t>& f, const char* what) {
    SCOPED_TRACE(what);
    StoredSurvey s;
    EXPECT_FALSE(pxtiffw::SurveyCopyableDirectly(f.data(), f.size(), 0, &s));
  };
  std::vector<uint8_t> f = good;
  pxtest::PatchEntry(&f, TIFFTAG_ORIENTATION, 1, ORIENTATION_BOTLEFT);
  if (EntryAt(good, TIFFTAG_ORIENTATION)) leftToLibTIFF(f, "turned page");
  f = good;
  ASSERT_TRUE(pxtest::PatchEntry(&f, TIFFTAG_ROWSPERSTRIP, 1, 0));
  leftToLibTIFF(f, "no rows per strip");
  f = good;
  uint32_t count = 0, value = 0;
  ASSERT_TRUE(pxtest::ReadEntry(good, TIFFTAG_STRIPOFFSETS, &count, &value));
  ASSERT_GT(count, 1u);
  ASSERT_TRUE(pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, count - 1, value));
  leftToLibTIFF(f, "fewer strips than the page has");
  f = good;
  ASSERT_TRUE(pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, count, uint32_t(good.size()) - 8));
  leftToLibTIFF(f, "strip offsets past the end");
  f = good;
  ASSERT_TRUE(pxtest::PatchEntry(&f, TIFFTAG_STRIPOFFSETS, 0x40000000u, value));
  leftToLibTIFF(f, "a count far beyond the file");
  f = good;
  ASSERT_TRUE(pxtest::PatchEntry(&f, TIFFTAG_PHOTOMETRIC, 1, PHOTOMETRIC_RGB));
  leftToLibTIFF(f, "a layout the output cannot take");
  // Photometric renamed to the tag after it: libtiff would assume one.
  f = good;
  const uint32_t photometric = EntryAt(f, TIFFTAG_PHOTOMETRIC);
  ASSERT_NE(photometric, 0u);
  f[photometric] = uint8_t(TIFFTAG_PHOTOMETRIC + 1);
  leftToLibTIFF(f, "no Photometric");
  // The first two entries swapped: out of order.
  f = good;
  const uint32_t first = EntryAt(f, TIFFTAG_IMAGEWIDTH);
  ASSERT_NE(first, 0u);
  std::swap_ranges(f.begin() + first, f.begin() + first + 12, f.begin() + first + 12);
  leftToLibTIFF(f, "entries out of order");
  // Compression stored as LONG: libtiff converts it, the direct survey does not try.
  f = good;
  const uint32_t compression = EntryAt(f, TIFFTAG_COMPRESSION);
  f[compression + 2] = TIFF_LONG;
  leftToLibTIFF(f, "a LONG compression");

  for (int c : {COMPRESSION_NONE, COMPRESSION_JPEG}) {
    SourceLayout layout = LayoutOf(24, c);
    leftToLibTIFF(Written(dir, layout), c == COMPRESSION_NONE ? "uncompressed" : "JPEG");
  }
}

TEST(DirectSurvey, AChainThatLoopsEndsTheSearch) {
  TempDir dir;
  std::vector<uint8_t> f = Written(dir, LayoutOf(1, COMPRESSION_CCITTFAX4), 2);
  // The second directory's link points back at the first.
  const uint32_t ifd0 = Le32(f, 4);
  const uint32_t ifd1 = Le32(f, ifd0 + 2 + Le16(f, ifd0) * 12);
  ASSERT_GT(ifd1, ifd0);
  const uint32_t link1 = ifd1 + 2 + Le16(f, ifd1) * 12;
  std::memcpy(&f[link1], &f[4], 4);
  EXPECT_TRUE(DecidesAsLibTIFF(f, 1));
  for (uint32_t frame : {2u, 3u, 1000u, 65535u, 0xFFFFFFFFu}) {
    StoredSurvey s;
    EXPECT_FALSE(pxtiffw::SurveyCopyableDirectly(f.data(), f.size(), frame, &s)) << frame;
  }
}

// Every cut of a file and thousands of damaged copies: the direct survey never decides
// otherwise than libtiff (and, under the sanitizers, never reads past the bytes it has).
TEST(DirectSurvey, CutAndDamagedFilesAreDecidedAsLibTIFFOrNotAtAll) {
  TempDir dir;
  for (const char* mode : {"w", "wb8"}) {
    SCOPED_TRACE(mode);
    const std::vector<uint8_t> whole = FaxPage(dir, mode);
    ASSERT_TRUE(DecidesAsLibTIFF(whole, 0));
    int decided = 0;
    for (size_t size = 0; size < whole.size(); ++size) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + ptrdiff_t(size));
      decided += DecidesAsLibTIFF(cut, 0);
    }
    // Only a cut of the file's last bytes after the directory can still hold the page.
    EXPECT_LT(decided, 16);
    std::mt19937 random(7);
    int stillDecided = 0;
    for (int i = 0; i < 3000; ++i) {
      std::vector<uint8_t> f = whole;
      for (int k = 0; k < 3; ++k) f[random() % f.size()] = uint8_t(random());
      stillDecided += DecidesAsLibTIFF(f, 0);
    }
    // Most damage lands in the strips, which the directory does not see.
    EXPECT_GT(stillDecided, 500);
  }
}

TEST(DirectSurvey, AgreesWithLibTIFFOverTheCorpus) {
  PXTEST_REQUIRE_CORPUS();
  int pages = 0, decided = 0, copyable = 0;
  for (const pxtest::CorpusEntry& e : pxtest::CorpusFilesStartingWith({"II", "MM"})) {
    SCOPED_TRACE(e.path);
    const std::vector<uint8_t> file =
        pxtest::ReadFile((pxtest::CorpusDir() / "files" / e.path).string());
    pxtest::MemorySource source(file);
    for (uint32_t frame = 0; frame < 4; ++frame) {
      StoredSurvey lib;
      if (pxtiffw::SurveyWithLibTIFF(source, frame, &lib) != PX_OK) break;
      ++pages;
      const bool inScope = lib.stored.copyable && lib.stored.compression != COMPRESSION_NONE &&
                           lib.stored.compression != COMPRESSION_JPEG;
      copyable += inScope;
      const bool d = DecidesAsLibTIFF(file, frame);
      if (inScope && !d) std::printf("undecided: %s %u\n", e.path.c_str(), frame);
      decided += d;
    }
  }
  std::printf("direct survey: %d of %d corpus pages decided, of %d copyable in its scope\n",
              decided, pages, copyable);
  EXPECT_GT(pages, 100);
  EXPECT_GT(copyable, 10);
  // Real files of other programs are decided, not only the library's own.
  EXPECT_GE(decided * 10, copyable * 8);
}

// The pages of a long file are surveyed one by one, in any order, each from where the
// chain's index says its directory is; a file rewritten is walked again.
TEST(DirectSurvey, EveryPageOfALongFileIsFoundThroughTheIndexOfItsChain) {
  TempDir dir;
  const std::string path = dir.File("long.tif");
  // Each page of the file at `path` as libtiff surveys it; false when it has no `frame`.
  auto surveysAsLibTIFF = [&](uint32_t frame) {
    SCOPED_TRACE(frame);
    const std::vector<uint8_t> bytes = pxtest::ReadFile(path);
    pxtest::MemorySource memory(bytes);
    PXSource source = PXOpenFileSource(path.c_str());
    EXPECT_NE(source, nullptr);
    CPXIO io(source);
    StoredSurvey direct, lib;
    const bool decided = pxtiffw::SurveyCopyableDirectly(io, frame, &direct);
    PXCloseSource(source);
    if (pxtiffw::SurveyWithLibTIFF(memory, frame, &lib) != PX_OK) return decided;
    EXPECT_TRUE(decided);
    ExpectSameSurvey(direct, lib);
    return true;
  };
  const int pages = 70;
  pxtest::WriteSourceTIFF(path, LayoutOf(1, COMPRESSION_CCITTFAX4), pages);
  std::vector<uint32_t> order;
  for (uint32_t frame = pages; frame-- > 0;) order.push_back(frame);  // the last first
  std::mt19937 random(3);
  for (int i = 0; i < 200; ++i) order.push_back(random() % pages);
  for (uint32_t frame : order) EXPECT_TRUE(surveysAsLibTIFF(frame));
  // The same name written again with fewer, other pages: the survey finds the new file's.
  const std::string other = dir.File("other.tif");
  pxtest::WriteSourceTIFF(other, LayoutOf(24, COMPRESSION_LZW), 3);
  std::filesystem::rename(other, path);
  for (uint32_t frame : {2u, 0u, 1u}) EXPECT_TRUE(surveysAsLibTIFF(frame));
  EXPECT_FALSE(surveysAsLibTIFF(3));
}

// A file source is surveyed from its directory: a BigTIFF page whose strips lie past
// 4 GiB in a sparse file is found without the file being read, and copied.
TEST(DirectSurvey, AFileIsReadWhereItsDirectoryIsNotWhole) {
  TempDir dir;
  std::vector<uint8_t> page = FaxPage(dir, "w8");
  ASSERT_FALSE(page.empty());
  StoredSurvey small;
  ASSERT_TRUE(pxtiffw::SurveyCopyableDirectly(page.data(), page.size(), 0, &small));
  // The same page with everything after its header moved 5 GiB on, offsets and links
  // with it: BigTIFF's header link at 8, every strip offset.
  const uint64_t shift = uint64_t(5) << 30;
  const std::string path = dir.File("sparse.tif");
  {
    std::vector<uint8_t> header(page.begin(), page.begin() + 16);
    uint64_t ifd = 0;
    std::memcpy(&ifd, &header[8], 8);
    ifd += shift;
    std::memcpy(&header[8], &ifd, 8);
    std::vector<uint8_t> rest(page.begin() + 16, page.end());
    // Entries: count (8 bytes) then 20-byte entries; strip offsets are LONG8 or LONG
    // values, inline for one strip or in an array (BigTIFF keeps 8 bytes inline).
    const uint64_t at = ifd - shift - 16;
    uint64_t entries = 0;
    std::memcpy(&entries, &rest[at], 8);
    for (uint64_t i = 0; i < entries; ++i) {
      uint8_t* e = &rest[at + 8 + i * 20];
      uint16_t tag = 0, type = 0;
      uint64_t count = 0, value = 0;
      std::memcpy(&tag, e, 2);
      std::memcpy(&type, e + 2, 2);
      std::memcpy(&count, e + 4, 8);
      std::memcpy(&value, e + 12, 8);
      const int bytes = type == TIFF_SHORT                            ? 2
                        : type == TIFF_LONG                           ? 4
                        : type == TIFF_RATIONAL || type == TIFF_LONG8 ? 8
                                                                      : 1;
      const bool inline_ = count * uint64_t(bytes) <= 8;
      if (!inline_) {
        value += shift;
        std::memcpy(e + 12, &value, 8);
      }
      if (tag == TIFFTAG_STRIPOFFSETS) {
        ASSERT_EQ(type, TIFF_LONG8);
        uint8_t* values = inline_ ? e + 12 : &rest[value - shift - 16];
        for (uint64_t k = 0; k < count; ++k) {
          uint64_t offset = 0;
          std::memcpy(&offset, values + k * 8, 8);
          offset += shift;
          std::memcpy(values + k * 8, &offset, 8);
        }
      }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(header.data(), 1, header.size(), f), header.size());
    ASSERT_EQ(fseeko(f, off_t(16 + shift), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(rest.data(), 1, rest.size(), f), rest.size());
    ASSERT_EQ(std::fclose(f), 0);
  }
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr);
  CPXIO io(source);
  StoredSurvey big;
  EXPECT_TRUE(pxtiffw::SurveyCopyableDirectly(io, 0, &big));
  ASSERT_EQ(big.striles.size(), small.striles.size());
  for (size_t i = 0; i < big.striles.size(); ++i) {
    EXPECT_EQ(big.striles[i].offset, small.striles[i].offset + shift);
    EXPECT_EQ(big.striles[i].bytes, small.striles[i].bytes);
  }
  const PXResolution resolution = {204, 98, 2};
  PXTIFFEncodedPage* copy = PXCopyTIFFPage(source, 0, &resolution, 0);
  ASSERT_NE(copy, nullptr) << PXGetLastError();
  EXPECT_EQ(pxtiffw::EncodedPageOf(copy)->ends.size(), small.striles.size());
  const std::string out = dir.File("copy.tif");
  EXPECT_EQ(pxfuzz::WriteEncoded(copy, out), PX_OK);
  PXFreeTIFFEncodedPage(copy);
  PXCloseSource(source);
  EXPECT_EQ(pxtest::RawStrips(out, 0), pxtest::RawStrips(dir.File("fax.tif"), 0));
}

// Found by fuzzing: a tiled page whose YResolution is stored as a SHORT. The direct survey
// reads its tiles, then leaves the page to libtiff at the resolution; the survey it was
// given must be as it was, or libtiff's tiles come after its own and the copy holds twice
// as many tiles as the page.
TEST(DirectSurvey, APageLeftToLibTIFFIsSurveyedOnceAndCopied) {
  const std::vector<uint8_t> file = pxtest::ReadFile(
      (pxtest::TestDataDir() / "fuzz/copy/tiled-page-with-a-short-resolution.tif").string());
  StoredSurvey survey;
  survey.striles.push_back({1, 2});
  EXPECT_FALSE(pxtiffw::SurveyCopyableDirectly(file.data(), file.size(), 0, &survey));
  ASSERT_EQ(survey.striles.size(), 1u);
  EXPECT_EQ(survey.striles[0].offset, 1u);

  pxtest::MemorySource source(file);
  const PXResolution resolution = {300, 300, 2};
  PXTIFFEncodedPage* copy = PXCopyTIFFPage(source, 0, &resolution, 0);
  ASSERT_NE(copy, nullptr) << PXGetLastError();
  EXPECT_EQ(pxtiffw::EncodedPageOf(copy)->ends.size(), 32u);
  TempDir dir;
  const std::string path = dir.File("copy.tif");
  EXPECT_EQ(pxfuzz::WriteEncoded(copy, path), PX_OK);
  PXFreeTIFFEncodedPage(copy);
  EXPECT_EQ(pxtest::RawStrips(path, 0).size(), 32u);
}

}  // namespace
