// pageweaver-cli info and decode on BMP and TIFF files.
#include <tiffio.h>

#include "cli_support.h"
#include "json.h"
#include "test_support.h"

namespace {

using pxtest::Bytes;
using pxtest::RunCli;
using pxtest::TempDir;

json::Value Info(const std::string& path) {
  auto r = RunCli({"info", "--json", path});
  EXPECT_EQ(r.status, 0) << r.err;
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::Parse(r.out, &v, &error)) << error;
  return v.Items().empty() ? json::Value() : v.Items()[0];
}

// A top-down 2 x 2 24-bit bitmap: red, green / blue, white; 3780 pixels per metre.
std::vector<uint8_t> TopDownBMP() {
  Bytes b;
  b.str("BM").le32(54 + 16).le32(0).le32(54);
  b.le32(40).le32(2).le32(uint32_t(-2)).le16(1).le16(24).le32(0).le32(16);
  b.le32(3780).le32(3780).le32(0).le32(0);
  b.raw({0, 0, 255, 0, 255, 0, 0, 0}).raw({255, 0, 0, 255, 255, 255, 0, 0});
  return b.data();
}

// Two pages: a 3 x 1 LZW grey page and a 9 x 2 fax page with a black first pixel.
void WriteTwoPageTIFF(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 200.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 100.0f);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  uint8_t grey[3] = {0, 128, 255};
  TIFFWriteScanline(tif, grey, 0, 0);
  TIFFWriteDirectory(tif);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 9);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  uint8_t rows[2][2] = {{0x80, 0x00}, {0x00, 0x00}};
  TIFFWriteScanline(tif, rows[0], 0, 0);
  TIFFWriteScanline(tif, rows[1], 1, 0);
  TIFFClose(tif);
}

TEST(CliBMP, InfoReportsTheHeaderAsStored) {
  TempDir dir;
  const std::string path = dir.File("a.bmp");
  pxtest::WriteFile(path, TopDownBMP());
  json::Value info = Info(path);
  EXPECT_EQ(info.Find("pages")->AsNumber(), 1);
  const json::Value& page = info.Find("page_info")->Items().at(0);
  EXPECT_EQ(page.Find("width")->AsNumber(), 2);
  EXPECT_EQ(page.Find("height")->AsNumber(), -2);
  EXPECT_EQ(page.Find("bpp")->AsNumber(), 24);
  EXPECT_EQ(page.Find("resolution")->Find("x")->AsNumber(), 37);
  EXPECT_EQ(page.Find("resolution")->Find("unit")->AsNumber(), 1);
}

TEST(CliBMP, DecodeWritesThePicture) {
  TempDir dir;
  const std::string path = dir.File("a.bmp"), out = dir.File("a.ppm");
  pxtest::WriteFile(path, TopDownBMP());
  auto r = RunCli({"decode", path, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> want = Bytes().str("P6\n2 2\n255\n").data();
  want.insert(want.end(), {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  EXPECT_EQ(pxtest::ReadFile(out), want);

  r = RunCli({"decode", path, "--depth", "8", "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 28: The file was not of the requested bit-depth"), std::string::npos)
      << r.err;
  r = RunCli({"decode", path, "--page", "1", "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 5:"), std::string::npos) << r.err;
}

TEST(CliTIFF, InfoListsEveryPageWithItsCompression) {
  TempDir dir;
  const std::string path = dir.File("two.tif");
  WriteTwoPageTIFF(path);
  json::Value info = Info(path);
  EXPECT_EQ(info.Find("pages")->AsNumber(), 2);
  const auto& pages = info.Find("page_info")->Items();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Find("width")->AsNumber(), 3);
  EXPECT_EQ(pages[0].Find("bpp")->AsNumber(), 8);
  EXPECT_EQ(pages[0].Find("compression")->AsNumber(), 5);
  EXPECT_EQ(pages[0].Find("resolution")->Find("x")->AsNumber(), 200);
  EXPECT_EQ(pages[0].Find("resolution")->Find("y")->AsNumber(), 100);
  EXPECT_EQ(pages[0].Find("resolution")->Find("unit")->AsNumber(), 2);
  EXPECT_EQ(pages[1].Find("bpp")->AsNumber(), 1);
  EXPECT_EQ(pages[1].Find("compression")->AsNumber(), 4);
}

TEST(CliTIFF, DecodeChosenPages) {
  TempDir dir;
  const std::string path = dir.File("two.tif"), pgm = dir.File("p.pgm"), pbm = dir.File("p.pbm");
  WriteTwoPageTIFF(path);
  auto r = RunCli({"decode", path, "--depth", "8", "-o", pgm});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> want = Bytes().str("P5\n3 1\n255\n").data();
  want.insert(want.end(), {0, 128, 255});
  EXPECT_EQ(pxtest::ReadFile(pgm), want);

  r = RunCli({"decode", path, "--page", "1", "--depth", "1", "-o", pbm});
  ASSERT_EQ(r.status, 0) << r.err;
  want = Bytes().str("P4\n9 2\n").data();
  want.insert(want.end(), {0x80, 0x00, 0x00, 0x00});  // a set PBM bit is black
  EXPECT_EQ(pxtest::ReadFile(pbm), want);

  r = RunCli({"decode", path, "--page", "2", "-o", pbm});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 5: Internal parameter error"), std::string::npos) << r.err;
}

}  // namespace
