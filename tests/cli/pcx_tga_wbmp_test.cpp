// pageweaver-cli with PCX, TGA and Wireless Bitmap files: info and decode.
#include "cli_support.h"
#include "json.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;

json::Value Info(const std::string& path) {
  auto r = RunCli({"info", "--json", path});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::Parse(r.out, &v, &error)) << error;
  return v.Items().empty() ? json::Value() : v.Items()[0];
}

double Number(const json::Value& v, const char* key) {
  const json::Value* m = v.Find(key);
  return m ? m->AsNumber() : -1;
}

TEST(CliSmallFormats, InfoDescribesTheOnePage) {
  TempDir dir;
  pxtest::PcxFile pcx;
  pcx.width = 3;
  pcx.height = 2;
  pcx.planes = 3;
  pcx.dpiX = 300;
  pcx.dpiY = 200;
  pcx.lines.assign(2, std::vector<uint8_t>(12, 7));
  pxtest::TgaFile tga;
  tga.width = 5;
  tga.height = 4;
  tga.imageType = 3;
  tga.pixelDepth = 8;
  tga.data.assign(20, 9);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* format;
    double width, height, bpp, dpiX, dpiY;
  } cases[] = {
      {"a.pcx", pcx.Build(), "PCX", 3, 2, 24, 300, 200},
      {"b.tga", tga.Build(), "TGA", 5, 4, 8, 0, 0},
      {"c.wbmp", pxtest::WbmpHeader(9, 1), "WBMP", 9, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    std::string path = dir.File(c.name);
    pxtest::WriteFile(path, c.bytes);
    json::Value info = Info(path);
    EXPECT_EQ(info.Find("format")->AsString(), c.format);
    EXPECT_EQ(Number(info, "pages"), 1) << c.name;
    const json::Value* pages = info.Find("page_info");
    ASSERT_NE(pages, nullptr) << c.name;
    ASSERT_EQ(pages->Items().size(), 1u);
    const json::Value& page = pages->Items()[0];
    EXPECT_EQ(Number(page, "width"), c.width) << c.name;
    EXPECT_EQ(Number(page, "height"), c.height) << c.name;
    EXPECT_EQ(Number(page, "bpp"), c.bpp) << c.name;
    EXPECT_EQ(Number(*page.Find("resolution"), "x"), c.dpiX) << c.name;
    EXPECT_EQ(Number(*page.Find("resolution"), "y"), c.dpiY) << c.name;
  }
}

TEST(CliSmallFormats, DecodeWritesThePixels) {
  TempDir dir;
  pxtest::TgaFile tga;
  tga.width = 2;
  tga.height = 1;
  tga.imageType = 10;
  tga.data = {0x81, 30, 20, 10};
  std::string in = dir.File("x.tga"), out = dir.File("x.ppm");
  pxtest::WriteFile(in, tga.Build());
  auto r = RunCli({"decode", in, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> ppm = pxtest::ReadFile(out);
  std::vector<uint8_t> want = {'P', '6',  '\n', '2', ' ', '1', '\n', '2', '5',
                               '5', '\n', 10,   20,  30,  10,  20,   30};
  EXPECT_EQ(ppm, want);

  // A WBMP at depth 1 becomes a PBM, where a set bit is black: white pixels clear.
  std::string wbmp = dir.File("y.wbmp"), pbm = dir.File("y.pbm");
  std::vector<uint8_t> file = pxtest::WbmpHeader(8, 1);
  file.push_back(0xF0);
  pxtest::WriteFile(wbmp, file);
  r = RunCli({"decode", wbmp, "--depth", "1", "-o", pbm});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> bits = pxtest::ReadFile(pbm);
  ASSERT_FALSE(bits.empty());
  EXPECT_EQ(bits.back(), 0x0F);
}

TEST(CliSmallFormats, DecodeReportsTheReadersError) {
  TempDir dir;
  pxtest::PcxFile pcx;
  pcx.planes = 3;
  pcx.lines.assign(1, std::vector<uint8_t>(6, 1));
  std::string in = dir.File("x.pcx");
  pxtest::WriteFile(in, pcx.Build());
  auto r = RunCli({"decode", in, "--depth", "8", "-o", dir.File("x.ppm")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 28"), std::string::npos) << r.err;
}

}  // namespace
