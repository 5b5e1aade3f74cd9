// Files of the TIFF writer as libtiff's own tools see them: tiffcmp against the same page
// written directly with libtiff, tiffinfo decoding every page, tiffdump listing the
// stored tags. Skipped where the tools are not installed.
#include <tiffio.h>

#include <string>

#include "pixolith/px_tiff.h"
#include "test_support.h"
#include "tiff_write_support.h"
#include "tool_support.h"

namespace {

using pxtest::NoisePage;
using pxtest::TempDir;
using pxtest::TestPage;

#define REQUIRE_TOOL(var, name)                   \
  const std::string var = pxtest::FindTool(name); \
  if (var.empty()) GTEST_SKIP() << name << " is not installed (libtiff-tools)"

// The page written by libtiff itself with the tags the library's writer gives it.
void WriteReference(const std::string& path, const TestPage& page) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const uint16_t samples = page.bits == 24 ? 3 : page.bits == 32 ? 4 : 1;
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(page.bits / samples));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  std::vector<uint16_t> map(768);
  switch (page.bits) {
    case 1:
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
      break;
    case 8:
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
      for (int i = 0; i < 256; ++i) {
        map[i] = page.palette[i].rgbRed * 257;
        map[256 + i] = page.palette[i].rgbGreen * 257;
        map[512 + i] = page.palette[i].rgbBlue * 257;
      }
      TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
      break;
    default: {
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      const uint16_t alpha[1] = {EXTRASAMPLE_ASSOCALPHA};
      if (page.bits == 32) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, alpha);
    }
  }
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(page.compression));
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(page.resolution.unit));
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(page.resolution.x));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(page.resolution.y));
  const std::string software = std::string("Pixolith (PX 3.0.58.6), using ") + TIFFGetVersion();
  TIFFSetField(tif, TIFFTAG_SOFTWARE, software.c_str());
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  const size_t rowBytes = page.pixels.size() / page.height;
  std::vector<uint8_t> row(rowBytes);
  for (uint32_t y = 0; y < page.height; ++y) {
    std::copy_n(page.pixels.begin() + y * rowBytes, rowBytes, row.begin());
    ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
  }
  TIFFClose(tif);
}

TEST(TIFFInterop, TiffcmpFindsTheSamePageAsLibtiffWritesIt) {
  REQUIRE_TOOL(tiffcmp, "tiffcmp");
  TempDir dir;
  struct Case {
    uint32_t bits, compression;
  } cases[] = {{1, 4}, {1, 32773}, {8, 5}, {8, 1}, {24, 32946}, {24, 1}, {32, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, compression " << c.compression);
    TestPage page = NoisePage(123, 45, c.bits, c.bits);
    page.compression = c.compression;
    const std::string ours = dir.File("ours.tif"), theirs = dir.File("theirs.tif");
    ASSERT_EQ(pxtest::WriteTIFFFile(ours, page).error, 0);
    WriteReference(theirs, page);
    const pxtest::ToolResult same = pxtest::RunTool(tiffcmp, {ours, theirs});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    EXPECT_EQ(same.out, "");

    // One pixel different: tiffcmp must see it, or the comparison above proves nothing.
    page.pixels[page.pixels.size() / 2] ^= 0x10;
    WriteReference(theirs, page);
    const pxtest::ToolResult differs = pxtest::RunTool(tiffcmp, {ours, theirs});
    EXPECT_NE(differs.status, 0);
  }
}

TEST(TIFFInterop, TiffinfoDecodesEveryPage) {
  REQUIRE_TOOL(tiffinfo, "tiffinfo");
  TempDir dir;
  const std::string path = dir.File("pages.tif");
  TestPage fax = NoisePage(200, 120, 1, 1), palette = NoisePage(64, 50, 8, 2);
  TestPage photo = pxtest::SmoothPage(90, 70, 24), alpha = NoisePage(33, 17, 32, 3);
  fax.compression = PX_TIFF_COMPRESSION_CCITT_G3;
  palette.compression = PX_TIFF_COMPRESSION_PACKBITS;
  photo.compression = PX_TIFF_COMPRESSION_JPEG;
  alpha.compression = PX_TIFF_COMPRESSION_LZW;
  ASSERT_EQ(
      pxtest::WritePagesFile(path, {fax, palette, photo, alpha}, PX_TIFF_WRITE_PREDICTOR).error, 0);
  const pxtest::ToolResult info = pxtest::RunTool(tiffinfo, {"-D", path});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.err, "");
  const std::string& out = info.out;
  size_t directories = 0;
  for (size_t at = out.find("=== TIFF directory"); at != std::string::npos;
       at = out.find("=== TIFF directory", at + 1))
    ++directories;
  EXPECT_EQ(directories, 4u) << out;
  for (const char* text :
       {"Image Width: 200 Image Length: 120", "Image Width: 64 Image Length: 50",
        "Image Width: 90 Image Length: 70", "Image Width: 33 Image Length: 17",
        "Compression Scheme: CCITT Group 3", "Compression Scheme: PackBits",
        "Compression Scheme: JPEG", "Compression Scheme: LZW",
        "Photometric Interpretation: palette", "Photometric Interpretation: min-is-white",
        "Resolution: 300, 150 pixels/inch", "Extra Samples: 1<assoc-alpha>",
        "Predictor: horizontal differencing"})
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
}

TEST(TIFFInterop, TiffdumpListsTheStoredTags) {
  REQUIRE_TOOL(tiffdump, "tiffdump");
  TempDir dir;
  const std::string path = dir.File("dump.tif");
  TestPage page = NoisePage(1000, 3, 24);
  page.resolution = {96, 96, 3};
  ASSERT_EQ(pxtest::WritePagesFile(path, {page, NoisePage(4, 4, 8)}).error, 0);
  const pxtest::ToolResult dump = pxtest::RunTool(tiffdump, {path});
  EXPECT_EQ(dump.status, 0);
  const std::string& out = dump.out;
  for (const char* text :
       {"Directory 0:", "Directory 1:", "RowsPerStrip (278) SHORT (3) 1<2>",
        "ResolutionUnit (296) SHORT (3) 1<3>", "XResolution (282) RATIONAL (5) 1<96>",
        "Orientation (274) SHORT (3) 1<1>", "Colormap (320) SHORT (3) 768<257 2056 3855"})
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  EXPECT_EQ(out.find("Directory 2:"), std::string::npos);
}

}  // namespace
