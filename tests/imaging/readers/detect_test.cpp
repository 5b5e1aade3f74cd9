// Format detection: every signature row, the extension and footer rules, Photo CD.
#include <cstring>

#include "test_support.h"

namespace {

using pxtest::Bytes;
using pxtest::MemorySource;
using pxtest::TempDir;

int GuessMemory(const std::vector<uint8_t>& data) {
  MemorySource src(data);
  return PXGuessFileType(src);
}

std::vector<uint8_t> WithHead(const std::vector<uint8_t>& head, size_t size = 64) {
  std::vector<uint8_t> data(std::max(size, head.size()), 0x55);
  std::copy(head.begin(), head.end(), data.begin());
  return data;
}

std::vector<uint8_t> Of(const char* s, size_t n) {
  return std::vector<uint8_t>(s, s + n);
}

struct Row {
  const char* name;
  std::vector<uint8_t> head;
  size_t offset;
  int id;
};

TEST(Detect, EverySignatureRow) {
  const Row rows[] = {
      {"BMP", Of("BM", 2), 0, 1},
      {"PAX", Of("PAX", 3), 0, 9},
      {"GIF89a", Of("GIF89a", 6), 0, 2},
      {"GIF87a", Of("GIF87a", 6), 0, 2},
      {"JFIF", Of("\xFF\xD8\xFF\xE0", 4), 0, 3},
      {"Exif", Of("\xFF\xD8\xFF\xE1", 4), 0, 3},
      {"PCX0", Of("\x0A\x00", 2), 0, 5},
      {"PCX2", Of("\x0A\x02", 2), 0, 5},
      {"PCX3", Of("\x0A\x03", 2), 0, 5},
      {"PCX5", Of("\x0A\x05", 2), 0, 5},
      {"TIFF MM", Of("MM", 2), 0, 6},
      {"TIFF II", Of("II", 2), 0, 6},
      {"PNG", Of("\x89PNG\r\n\x1A\n", 8), 0, 4},
      {"WMF", Of("\x01\x00\x09\x00\x00", 5), 0, 7},
      {"Placeable WMF", Of("\xD7\xCD\xC6\x9A", 4), 0, 7},
      {"EMF", Of(" EMF", 4), 40, 8},
      {"PSD", Of("8BPS", 4), 0, 10},
      {"TLA", Of("TLA\x01", 4), 0, 11},
      {"TLAU", Of("TLAU", 4), 0, 12},
      {"PCD_OPA", Of("PCD_OPA", 7), 0, 15},
      {"JP2", Of("jP  \r", 5), 4, 17},
      {"J2K", Of("\xFF\x4F", 2), 0, 17},
      {"J2K at 4", Of("\xFF\x4F", 2), 4, 18},
      {"OLE", Of("\xD0\xCF\x11\xE0", 4), 0, 19},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> data(64, 0x55);
    std::copy(row.head.begin(), row.head.end(), data.begin() + long(row.offset));
    EXPECT_EQ(GuessMemory(data), row.id) << row.name;
    EXPECT_EQ(PXGetLastError(), 0) << row.name;
  }
}

TEST(Detect, EarlierRowsWin) {
  // "BM" decides even when other signatures follow; PCX version 1 is not PCX.
  EXPECT_EQ(GuessMemory(WithHead(Of("BM\x89PNG", 6))), 1);
  EXPECT_EQ(GuessMemory(WithHead(Of("\x0A\x01", 2), 4096)), 0);
  // GIF88a is no GIF.
  EXPECT_EQ(GuessMemory(WithHead(Of("GIF88a", 6), 4096)), 0);
}

TEST(Detect, TwoZeroBytesAreWBMPUnlessTheFooterSaysTGA) {
  std::vector<uint8_t> wbmp = WithHead({0, 0, 10, 10}, 64);
  EXPECT_EQ(GuessMemory(wbmp), 13);
  std::vector<uint8_t> tga = WithHead({0, 0, 2, 0}, 64);
  std::string footer = "TRUEVISION-XFILE.";
  std::copy(footer.begin(), footer.end(), tga.end() - 18);
  tga.back() = 0;
  EXPECT_EQ(GuessMemory(tga), 14);
}

TEST(Detect, TGAExtensionWinsOverTwoZeroBytes) {
  TempDir dir;
  std::string path = dir.File("picture.TGA");
  pxtest::WriteFile(path, WithHead({0, 0, 2, 0}, 100));
  PXSource src = PXOpenFileSource(path.c_str());
  EXPECT_EQ(PXGuessFileType(src), 14);
  PXCloseSource(src);
}

TEST(Detect, WBMPExtensionNeedsNoFooter) {
  TempDir dir;
  for (const char* name : {"a.wbmp", "b.WBM"}) {
    std::string path = dir.File(name);
    pxtest::WriteFile(path, {0, 0, 1, 1, 0x80});  // 5 bytes: no footer could be read
    PXSource src = PXOpenFileSource(path.c_str());
    EXPECT_EQ(PXGuessFileType(src), 13) << name;
    EXPECT_EQ(PXGetLastError(), 0);
    PXCloseSource(src);
  }
}

TEST(Detect, ShortZeroFileWithOtherNameFailsTheFooterRead) {
  TempDir dir;
  std::string path = dir.File("small.bin");
  pxtest::WriteFile(path, WithHead({0, 0}, 17));
  PXSource src = PXOpenFileSource(path.c_str());
  EXPECT_EQ(PXGuessFileType(src), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
  PXCloseSource(src);
}

TEST(Detect, EMFNeedsAllFortyFourBytes) {
  std::vector<uint8_t> data(43, 0x55);
  std::memcpy(data.data() + 40, " EM", 3);
  EXPECT_NE(GuessMemory(data), 8);
  data.resize(44);
  data[43] = 'F';
  EXPECT_EQ(GuessMemory(data), 8);
}

TEST(Detect, UnknownFilesAndPhotoCD) {
  EXPECT_EQ(GuessMemory(WithHead(Of("hello", 5), 4096)), 0);
  EXPECT_EQ(PXGetLastError(), 0);

  std::vector<uint8_t> pcd = WithHead(Of("hello", 5), 4096);
  std::memcpy(pcd.data() + 2048, "PCD", 3);
  EXPECT_EQ(GuessMemory(pcd), 16);

  // From a file, an unrecognised file shorter than 2051 bytes cannot read the mark.
  TempDir dir;
  std::string path = dir.File("short.dat");
  pxtest::WriteFile(path, WithHead(Of("hello", 5), 2050));
  PXSource src = PXOpenFileSource(path.c_str());
  EXPECT_EQ(PXGuessFileType(src), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
  PXCloseSource(src);
  // A memory source cannot even seek there: no error.
  EXPECT_EQ(GuessMemory(WithHead(Of("hello", 5), 2048)), 0);
  EXPECT_EQ(PXGetLastError(), 0);
}

TEST(Detect, EmptyFileIsAReadError) {
  TempDir dir;
  std::string path = dir.File("empty.bmp");
  pxtest::WriteFile(path, {});
  PXSource src = PXOpenFileSource(path.c_str());
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(PXGuessFileType(src), 0);
  EXPECT_EQ(PXGetLastError(), PX_ERR_FILE_READ);
  PXCloseSource(src);
}

TEST(Detect, ReadsFromTheCurrentPosition) {
  std::vector<uint8_t> data = WithHead(Of("xxBM", 4), 64);
  MemorySource src(data);
  ASSERT_TRUE(PXSeekSource(src, 2, PX_SEEK_SET));
  EXPECT_EQ(PXGuessFileType(src), 1);
}

}  // namespace

namespace {

// A file type box of `size` bytes: the major brand, a minor version and compatible brands.
std::vector<uint8_t> FileTypeBox(const std::string& major, const std::vector<std::string>& brands,
                                 uint32_t padTo = 0) {
  Bytes b;
  const uint32_t size = std::max<uint32_t>(16 + 4 * uint32_t(brands.size()), padTo);
  b.be32(size).str("ftyp").str(major).be32(0);
  for (const std::string& brand : brands) b.str(brand);
  while (b.size() < size) b.str("isom");
  b.be32(8).str("mdat");
  return WithHead(b.data(), 256);
}

TEST(Detect, WebPIsRIFFWithWEBPAtEight) {
  EXPECT_EQ(GuessMemory(WithHead(Of("RIFF\x10\0\0\0WEBPVP8L", 16))), PX_FORMAT_WEBP);
  EXPECT_EQ(PXGetLastError(), 0);
  // Other RIFF files (AVI, WAVE) are not WebP, nor is a RIFF header cut before "WEBP".
  EXPECT_EQ(GuessMemory(WithHead(Of("RIFF\x10\0\0\0AVI LIST", 16), 4096)), PX_FORMAT_UNKNOWN);
  EXPECT_EQ(GuessMemory(Of("RIFF\x10\0\0\0WEB", 11)), PX_FORMAT_UNKNOWN);
}

TEST(Detect, HEIFByAnImageBrandOfTheFileTypeBox) {
  for (const char* brand : {"heic", "heix", "mif1", "msf1", "avif"}) {
    EXPECT_EQ(GuessMemory(FileTypeBox(brand, {})), PX_FORMAT_HEIF) << "major " << brand;
    EXPECT_EQ(PXGetLastError(), 0);
    EXPECT_EQ(GuessMemory(FileTypeBox("isom", {"iso8", brand})), PX_FORMAT_HEIF) << brand;
  }
  // A brand past the 44 bytes first read still counts: the whole box is looked at.
  std::vector<std::string> many(10, "iso8");
  many.push_back("avif");
  EXPECT_EQ(GuessMemory(FileTypeBox("isom", many)), PX_FORMAT_HEIF);
  // MP4 and QuickTime files have an ftyp box too; two zero bytes start it, so without an
  // image brand the walk goes on to the weak WBMP row.
  EXPECT_EQ(GuessMemory(FileTypeBox("isom", {"iso2", "avc1", "mp41"})), PX_FORMAT_WBMP);
  EXPECT_EQ(GuessMemory(FileTypeBox("qt  ", {})), PX_FORMAT_WBMP);
}

TEST(Detect, WebPAndHEIFExtensionsWinOverTwoZeroBytes) {
  TempDir dir;
  const struct {
    const char* name;
    int id;
  } cases[] = {{"a.webp", PX_FORMAT_WEBP},
               {"b.HEIC", PX_FORMAT_HEIF},
               {"c.heif", PX_FORMAT_HEIF},
               {"d.avif", PX_FORMAT_HEIF}};
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    pxtest::WriteFile(path, {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'X', 'X'});
    PXSource src = PXOpenFileSource(path.c_str());
    EXPECT_EQ(PXGuessFileType(src), c.id) << c.name;
    EXPECT_EQ(PXGetLastError(), 0);
    PXCloseSource(src);
  }
  // The content still decides first: a PNG named .webp is a PNG.
  const std::string png = dir.File("really-a-png.webp");
  pxtest::WriteFile(png, WithHead(Of("\x89PNG\r\n\x1A\n", 8)));
  PXSource src = PXOpenFileSource(png.c_str());
  EXPECT_EQ(PXGuessFileType(src), PX_FORMAT_PNG);
  PXCloseSource(src);
}

}  // namespace
