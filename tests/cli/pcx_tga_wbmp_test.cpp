// pageweaver-cli with PCX, TGA and Wireless Bitmap files: info and decode.
#include <filesystem>

#include "cli_support.h"
#include "json.h"
#include "small_format_fixtures.h"

namespace {

using pxtest::RunCli;

TEST(CliSmallFormats, InfoDescribesTheOnePage) {
  pxtest::TempDir dir;
  pxtest::PcxFile pcx;
  pcx.width = 3;
  pcx.planes = 3;
  pcx.dpiX = 300;
  pcx.dpiY = 200;
  pcx.lines = {std::vector<uint8_t>(12, 7)};
  pxtest::TgaFile tga;
  tga.imageType = 3;
  tga.pixelDepth = 8;
  tga.data = {9};
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* format;
    double width, bpp, dpiX, dpiY;
  } cases[] = {{"a.pcx", pcx.Build(), "PCX", 3, 24, 300, 200},
               {"b.tga", tga.Build(), "TGA", 1, 8, 0, 0},
               {"c.wbmp", pxtest::WbmpHeader(9, 1), "WBMP", 9, 1, 0, 0}};
  for (const auto& c : cases) {
    pxtest::WriteFile(dir.File(c.name), c.bytes);
    auto r = RunCli({"info", "--json", dir.File(c.name)});
    json::Value all;
    std::string error;
    ASSERT_TRUE(json::Parse(r.out, &all, &error)) << error;
    const json::Value& info = all.Items()[0];
    EXPECT_EQ(info.Find("format")->AsString(), c.format);
    EXPECT_EQ(info.Find("pages")->AsNumber(), 1) << c.name;
    ASSERT_NE(info.Find("page_info"), nullptr) << c.name;
    const json::Value& page = info.Find("page_info")->Items().at(0);
    EXPECT_EQ(page.Find("width")->AsNumber(), c.width) << c.name;
    EXPECT_EQ(page.Find("height")->AsNumber(), 1) << c.name;
    EXPECT_EQ(page.Find("bpp")->AsNumber(), c.bpp) << c.name;
    EXPECT_EQ(page.Find("resolution")->Find("x")->AsNumber(), c.dpiX) << c.name;
    EXPECT_EQ(page.Find("resolution")->Find("y")->AsNumber(), c.dpiY) << c.name;
  }
}

TEST(CliSmallFormats, DecodeWritesThePixelsOrTheReadersError) {
  pxtest::TempDir dir;
  pxtest::TgaFile tga;
  tga.width = 2;
  tga.imageType = 10;
  tga.data = {0x81, 30, 20, 10};
  pxtest::WriteFile(dir.File("x.tga"), tga.Build());
  auto r = RunCli({"decode", dir.File("x.tga"), "-o", dir.File("x.ppm")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string ppm = "P6\n2 1\n255\n\x0A\x14\x1E\x0A\x14\x1E";
  EXPECT_EQ(pxtest::ReadFile(dir.File("x.ppm")), std::vector<uint8_t>(ppm.begin(), ppm.end()));

  // In a PBM a set bit is black: the white pixels of a WBMP come out clear.
  std::vector<uint8_t> wbmp = pxtest::WbmpHeader(8, 1);
  wbmp.push_back(0xF0);
  pxtest::WriteFile(dir.File("y.wbmp"), wbmp);
  r = RunCli({"decode", dir.File("y.wbmp"), "--depth", "1", "-o", dir.File("y.pbm")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pxtest::ReadFile(dir.File("y.pbm")).back(), 0x0F);

  r = RunCli({"decode", dir.File("x.tga"), "--depth", "1", "-o", dir.File("z.pbm")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("TGA files are read at 8 or 24 bits"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("z.pbm")));
}

TEST(CliSmallFormats, DecodeWithoutDepthTakesTheFilesOwn) {
  pxtest::TempDir dir;
  // A WBMP 9 pixels wide: white, black, white... in its first row, all black below.
  std::vector<uint8_t> wbmp = pxtest::WbmpHeader(9, 2);
  wbmp.insert(wbmp.end(), {0xAA, 0x80, 0x00, 0x00});
  pxtest::WriteFile(dir.File("w.wbmp"), wbmp);
  auto r = RunCli({"decode", dir.File("w.wbmp"), "-o", dir.File("w.pbm")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string pbm = "P4\n9 2\n\x55\x7F\xFF\xFF";  // a set PBM bit is black
  EXPECT_EQ(pxtest::ReadFile(dir.File("w.pbm")), std::vector<uint8_t>(pbm.begin(), pbm.end()));
  r = RunCli({"decode", dir.File("w.wbmp"), "--depth", "8", "-o", dir.File("w.pgm")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string pgm = "P5\n9 2\n255\n";
  for (int x = 0; x < 9; ++x) pgm += x % 2 ? '\0' : '\xFF';
  pgm += std::string(9, '\0');
  EXPECT_EQ(pxtest::ReadFile(dir.File("w.pgm")), std::vector<uint8_t>(pgm.begin(), pgm.end()));
  r = RunCli({"decode", dir.File("w.wbmp"), "--depth", "24", "-o", dir.File("w.ppm")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("WBMP files are read at 1 or 8 bits"), std::string::npos) << r.err;

  // A 1-bit PCX stays 1-bit, and comes out in true colour when asked for 24 bits.
  pxtest::PcxFile pcx;
  pcx.width = 8;
  pcx.height = 1;
  pcx.bitsPerPlane = 1;
  pcx.planes = 1;
  pcx.lines = {{0x0F, 0x00}};
  pxtest::WriteFile(dir.File("p.pcx"), pcx.Build());
  r = RunCli({"decode", dir.File("p.pcx"), "-o", dir.File("p.pbm")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string onebit = "P4\n8 1\n\xF0";
  EXPECT_EQ(pxtest::ReadFile(dir.File("p.pbm")),
            std::vector<uint8_t>(onebit.begin(), onebit.end()));
  r = RunCli({"decode", dir.File("p.pcx"), "--depth", "24", "-o", dir.File("p.ppm")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pxtest::ReadFile(dir.File("p.ppm")).size(), std::string("P6\n8 1\n255\n").size() + 24);
}

}  // namespace
