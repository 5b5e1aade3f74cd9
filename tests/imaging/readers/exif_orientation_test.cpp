// EXIF orientation: the parser on hand-built blocks (both byte orders, every value, every
// damaged shape), and the JPEG reader reporting it without changing its rows.
#include <cstring>

#include "jpeg_gif_psd_fixtures.h"
#include "pixolith/pixolith.h"
#include "png_test_support.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::Bytes;
using pxtest::MemorySource;

struct Entry {
  uint32_t tag;
  uint32_t type;
  uint32_t count;
  uint32_t value;  // for SHORTs, in the first two bytes of the field
};

// A TIFF header and one directory at `ifd` (8 unless moved), entries as given, and the
// next-directory link; "Exif" 00 00 first when `app1`. `claimedIfd` and `claimedCount`
// replace the header's directory offset and the entry count when not negative.
struct ExifBlock {
  bool bigEndian = false;
  bool app1 = true;
  uint32_t ifd = 8;
  std::vector<Entry> entries;
  int64_t claimedIfd = -1;
  int64_t claimedCount = -1;
  uint32_t next = 0;

  std::vector<uint8_t> Build() const {
    Bytes b;
    auto u16 = [&](uint32_t v) -> Bytes& { return bigEndian ? b.be16(v) : b.le16(v); };
    auto u32 = [&](uint32_t v) -> Bytes& { return bigEndian ? b.be32(v) : b.le32(v); };
    if (app1) b.str(std::string("Exif\0\0", 6));
    const size_t tiff = b.size();
    b.str(bigEndian ? "MM" : "II");
    u16(42);
    u32(claimedIfd >= 0 ? uint32_t(claimedIfd) : ifd);
    while (b.size() - tiff < ifd) b.u8(0);
    u16(claimedCount >= 0 ? uint32_t(claimedCount) : uint32_t(entries.size()));
    for (const Entry& e : entries) {
      u16(e.tag);
      u16(e.type);
      u32(e.count);
      if (e.type == 3) {
        u16(e.value);
        u16(0);
      } else {
        u32(e.value);
      }
    }
    u32(next);
    return b.data();
  }
};

constexpr uint32_t kShort = 3, kLong = 4;

ExifBlock WithOrientation(uint32_t value, bool bigEndian = false) {
  ExifBlock block;
  block.bigEndian = bigEndian;
  block.entries = {{0x010F, 2, 4, 0}, {0x0112, kShort, 1, value}, {0x011A, 5, 1, 200}};
  return block;
}

// The parser on an exact-size copy, so that a read past the end is a heap overflow the
// sanitizer build sees.
int Orientation(const std::vector<uint8_t>& block) {
  std::vector<uint8_t> exact(block);
  return PXGetExifOrientation(exact.empty() ? nullptr : exact.data(), exact.size());
}

TEST(ExifOrientation, EveryValueInBothByteOrdersWithAndWithoutTheExifHeader) {
  for (bool bigEndian : {false, true}) {
    for (bool app1 : {true, false}) {
      for (uint32_t value = 1; value <= 8; ++value) {
        ExifBlock block = WithOrientation(value, bigEndian);
        block.app1 = app1;
        EXPECT_EQ(Orientation(block.Build()), int(value))
            << value << (bigEndian ? " MM" : " II") << (app1 ? " APP1" : " bare");
      }
    }
  }
}

TEST(ExifOrientation, AbsentOrOutOfRangeValuesGiveOne) {
  ExifBlock none;
  none.entries = {{0x010F, 2, 4, 0}, {0x0110, 2, 4, 0}};
  EXPECT_EQ(Orientation(none.Build()), 1);
  ExifBlock empty;
  EXPECT_EQ(Orientation(empty.Build()), 1);
  for (uint32_t value : {0u, 9u, 255u, 0x0106u, 0xFFFFu})
    EXPECT_EQ(Orientation(WithOrientation(value, value % 2).Build()), 1) << value;
  EXPECT_EQ(Orientation({}), 1);
  EXPECT_EQ(PXGetExifOrientation(nullptr, 100), 1);
}

TEST(ExifOrientation, TheFirstOfTwoTagsCountsAndTheNextDirectoryIsNotRead) {
  ExifBlock twice;
  twice.entries = {{0x0112, kShort, 1, 6}, {0x0112, kShort, 1, 3}};
  EXPECT_EQ(Orientation(twice.Build()), 6);
  // A thumbnail's directory after the first one is not the image's orientation; a link
  // back to the first directory (a loop) is never followed.
  for (uint32_t next : {8u, 26u, 0xFFFFFFF0u}) {
    ExifBlock chained;
    chained.entries = {{0x0100, kLong, 1, 640}};
    chained.next = next;
    EXPECT_EQ(Orientation(chained.Build()), 1) << next;
  }
}

TEST(ExifOrientation, HostileBlocksGiveOne) {
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
  };
  ExifBlock wrongType = WithOrientation(6);
  wrongType.entries[1].type = kLong;
  ExifBlock twoValues = WithOrientation(6);
  twoValues.entries[1].count = 2;
  ExifBlock hugeCount = WithOrientation(6);
  hugeCount.entries[1].count = 0xFFFFFFFF;
  ExifBlock overflowingEntries = WithOrientation(6, true);
  overflowingEntries.claimedCount = 0xFFFF;
  ExifBlock oneTooMany = WithOrientation(6);
  oneTooMany.claimedCount = 5;  // there is room for 3 entries and the link
  ExifBlock ifdPastEnd = WithOrientation(6);
  ifdPastEnd.claimedIfd = 0xFFFFFFF8;  // offset + 2 wraps a 32-bit sum
  ExifBlock ifdInHeader = WithOrientation(6);
  ifdInHeader.claimedIfd = 4;
  ExifBlock ifdAtLastByte = WithOrientation(6);
  ifdAtLastByte.claimedIfd = 8 + 2 + 3 * 12 + 4 - 1;
  std::vector<uint8_t> badOrder = WithOrientation(6).Build();
  badOrder[6 + 1] = 'M';  // "IM"
  std::vector<uint8_t> badMagic = WithOrientation(6).Build();
  badMagic[6 + 2] = 43;
  std::vector<uint8_t> shortHeader = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8};
  const Case cases[] = {
      {"orientation as a LONG", wrongType.Build()},
      {"orientation with two values", twoValues.Build()},
      {"orientation with 2^32 - 1 values", hugeCount.Build()},
      {"65535 entries in a block of three", overflowingEntries.Build()},
      {"one entry more than the block holds", oneTooMany.Build()},
      {"first directory past the end", ifdPastEnd.Build()},
      {"first directory inside the TIFF header", ifdInHeader.Build()},
      {"first directory at the last byte", ifdAtLastByte.Build()},
      {"byte order mark IM", badOrder},
      {"TIFF magic 43", badMagic},
      {"TIFF header cut short", shortHeader},
      {"Exif header alone", {'E', 'x', 'i', 'f', 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Orientation(c.block), 1) << c.what;
}

TEST(ExifOrientation, EveryCutOfABlockGivesOneUntilTheValueIsThere) {
  for (bool bigEndian : {false, true}) {
    ExifBlock block = WithOrientation(8, bigEndian);
    const std::vector<uint8_t> full = block.Build();
    // 6 + 8 header bytes, 2 for the count and three entries of 12: the whole directory
    // must be there, the link after it need not.
    const size_t needed = 6 + 8 + 2 + 3 * 12;
    for (size_t cut = 0; cut < full.size(); ++cut) {
      const std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
      EXPECT_EQ(Orientation(part), cut >= needed ? 8 : 1) << cut;
    }
    EXPECT_EQ(Orientation(full), 8);
  }
}

/* ---- The JPEG reader -------------------------------------------------------------------- */

std::vector<uint8_t> JPEGWith(const std::vector<std::vector<uint8_t>>& app1s, uint32_t w = 24,
                              uint32_t h = 16) {
  pxtest::JPEGOptions o;
  for (const auto& block : app1s)
    o.markers.push_back({0xE1, std::string(block.begin(), block.end())});
  return pxtest::EncodeJPEG(w, h, pxtest::TestPicture(w, h, 3), o);
}

TEST(JPEGOrientation, ReportedByTheHeaderQueryAndTheReadWithTheRowsAsStored) {
  const std::vector<uint8_t> plain = JPEGWith({});
  MemorySource plainSource(plain);
  uint32_t w = 0, h = 0, bpp = 0;
  BlockGuard expected(PXReadJPEG(plainSource, &w, &h, 24, 0));
  ASSERT_NE(expected.block, nullptr);
  EXPECT_EQ(PXGetLastJPEGOrientation(), 1);
  for (uint32_t value = 1; value <= 8; ++value) {
    const std::vector<uint8_t> file = JPEGWith({WithOrientation(value, value > 4).Build()});
    MemorySource src(file);
    ASSERT_TRUE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr));
    EXPECT_EQ(PXGetLastJPEGOrientation(), int(value));
    EXPECT_EQ(w, 24u);  // the header's size, not a turned one
    EXPECT_EQ(h, 16u);
    PXSeekSource(src, 0, PX_SEEK_SET);
    BlockGuard image(PXReadJPEG(src, &w, &h, 24, 0));
    ASSERT_NE(image.block, nullptr);
    EXPECT_EQ(PXGetLastJPEGOrientation(), int(value));
    EXPECT_EQ(std::memcmp(image.bytes(), expected.bytes(), size_t(w) * h * 3), 0) << value;
  }
}

TEST(JPEGOrientation, TheFirstExifSegmentCountsAndEachCallStartsAfresh) {
  const std::string xmp = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";
  std::vector<uint8_t> xmpBlock(xmp.begin(), xmp.end());
  const std::vector<uint8_t> file =
      JPEGWith({xmpBlock, WithOrientation(6).Build(), WithOrientation(3).Build()});
  MemorySource src(file);
  uint32_t w = 0, h = 0, bpp = 0;
  ASSERT_TRUE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastJPEGOrientation(), 6);

  // A failed call leaves no orientation of an earlier file behind.
  const auto junk = Bytes().u8(0xFF).u8(0xD8).fill(50, 0x11).data();
  MemorySource bad(junk);
  EXPECT_FALSE(PXGetJPEGDimensions(bad, &w, &h, &bpp, nullptr));
  EXPECT_EQ(PXGetLastJPEGOrientation(), 1);

  // Damaged EXIF does not change what the reader returns.
  ExifBlock hostile = WithOrientation(6);
  hostile.claimedCount = 0xFFFF;
  const std::vector<uint8_t> damaged = JPEGWith({hostile.Build()});
  MemorySource src2(damaged);
  BlockGuard image(PXReadJPEG(src2, &w, &h, 24, 0));
  EXPECT_NE(image.block, nullptr);
  EXPECT_EQ(PXGetLastError(), 0);
  EXPECT_EQ(PXGetLastJPEGOrientation(), 1);
}

// Real files of other programs, with the orientation their EXIF holds.
TEST(JPEGOrientation, CorpusFiles) {
  PXTEST_REQUIRE_CORPUS();
  const struct {
    const char* file;
    int orientation;
  } cases[] = {
      {"hopper_orientation_2.jpg", 2}, {"hopper_orientation_3.jpg", 3},
      {"hopper_orientation_4.jpg", 4}, {"hopper_orientation_5.jpg", 5},
      {"hopper_orientation_6.jpg", 6}, {"hopper_orientation_7.jpg", 7},
      {"hopper_orientation_8.jpg", 8}, {"orientation_rectangle.jpg", 8},
      {"empty_gps_ifd.jpg", 6},        {"invalid-exif.jpg", 1},
  };
  for (const auto& c : cases) {
    const std::string path = (pxtest::CorpusDir() / "files" / c.file).string();
    PXSource src = PXOpenFileSource(path.c_str());
    ASSERT_NE(src, nullptr) << path;
    uint32_t w = 0, h = 0, bpp = 0;
    EXPECT_TRUE(PXGetJPEGDimensions(src, &w, &h, &bpp, nullptr)) << c.file;
    EXPECT_EQ(PXGetLastJPEGOrientation(), c.orientation) << c.file;
    PXCloseSource(src);
  }
}

/* ---- The PNG reader's eXIf ------------------------------------------------------------- */

TEST(PNGOrientation, TheEXIfChunkIsReportedByTheHeaderQueryAndTheRead) {
  pxtest::PngImage image;
  image.width = 3;
  image.height = 2;
  image.rows.assign(image.height * image.rowBytes(), 0x40);
  for (uint32_t value : {6u, 3u}) {
    ExifBlock block = WithOrientation(value, value == 3);
    block.app1 = false;  // eXIf holds the TIFF block alone
    image.exif = block.Build();
    const std::vector<uint8_t> file = pxtest::EncodePNG(image);
    ASSERT_FALSE(file.empty());
    MemorySource src(file);
    uint32_t w = 0, h = 0;
    int depth, type, interlace;
    ASSERT_TRUE(PXGetPNGDimensions(src, &w, &h, &depth, &type, &interlace, nullptr));
    EXPECT_EQ(PXGetLastPNGOrientation(), int(value));
    PXSeekSource(src, 0, PX_SEEK_SET);
    BlockGuard pixels(PXReadPNG(src, &w, &h, 24, nullptr, 0));
    ASSERT_NE(pixels.block, nullptr);
    EXPECT_EQ(PXGetLastPNGOrientation(), int(value));
    EXPECT_EQ(pixels.bytes()[0], 0x40) << "the rows stay as stored";
  }
  image.exif.clear();
  const std::vector<uint8_t> plain = pxtest::EncodePNG(image);
  MemorySource src(plain);
  uint32_t w = 0, h = 0;
  BlockGuard pixels(PXReadPNG(src, &w, &h, 24, nullptr, 0));
  ASSERT_NE(pixels.block, nullptr);
  EXPECT_EQ(PXGetLastPNGOrientation(), 1);
}

}  // namespace
