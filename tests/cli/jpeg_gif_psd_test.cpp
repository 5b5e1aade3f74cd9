// pageweaver-cli on JPEG, GIF and Photoshop files: what info reports, what decode writes.
#include "cli_support.h"
#include "jpeg_gif_psd_fixtures.h"
#include "json.h"
#include "test_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;

const json::Value& FirstPage(const json::Value& all) {
  return all.Items().at(0).Find("page_info")->Items().at(0);
}

json::Value Info(const std::string& path) {
  auto r = RunCli({"info", "--json", path});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::Parse(r.out, &v, &error)) << error;
  return v;
}

std::string Slurp(const std::string& path) {
  auto bytes = pxtest::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(CliJPEGGIFPSD, InfoReportsEachFormatsFacts) {
  TempDir dir;
  pxtest::JPEGOptions o;
  o.components = 1;
  o.progressive = true;
  o.densityUnit = 1;
  o.xDensity = o.yDensity = 200;
  const std::string jpg = dir.File("grey.jpg");
  pxtest::WriteFile(jpg, pxtest::EncodeJPEG(12, 7, pxtest::TestPicture(12, 7, 1), o));
  json::Value v = Info(jpg);
  EXPECT_EQ(v.Items()[0].Find("format")->AsString(), "JPEG");
  EXPECT_EQ(v.Items()[0].Find("pages")->AsNumber(), 1);
  const json::Value& page = FirstPage(v);
  EXPECT_EQ(page.Find("width")->AsNumber(), 12);
  EXPECT_EQ(page.Find("height")->AsNumber(), 7);
  EXPECT_EQ(page.Find("bpp")->AsNumber(), 8);
  EXPECT_EQ(page.Find("resolution")->Find("x")->AsNumber(), 200);
  EXPECT_EQ(page.Find("resolution")->Find("unit")->AsNumber(), 1);
  EXPECT_EQ(page.Find("color_space")->AsString(), "grayscale");
  EXPECT_TRUE(page.Find("progressive")->AsBool());

  pxtest::GIFFile g;
  g.width = 3;
  g.height = 2;
  g.globalTable = std::vector<uint8_t>(16 * 3, 9);
  pxtest::GIFImage img;
  img.width = 3;
  img.height = 2;
  img.minCodeSize = 4;
  img.indices = {1, 2, 3, 4, 5, 6};
  img.transparent = 4;
  g.images.push_back(img);
  const std::string gif = dir.File("t.gif");
  pxtest::WriteFile(gif, pxtest::BuildGIF(g));
  v = Info(gif);
  EXPECT_EQ(FirstPage(v).Find("bpp")->AsNumber(), 4);
  EXPECT_EQ(FirstPage(v).Find("transparent_index")->AsNumber(), 4);

  pxtest::PSDFile p;
  p.width = 2;
  p.height = 2;
  p.channels = 1;
  p.mode = 1;
  p.planes = {{0, 85, 170, 255}};
  p.resources = pxtest::PSDResolutionResource(150, 1, 150, 1);
  const std::string psd = dir.File("g.psd");
  pxtest::WriteFile(psd, pxtest::BuildPSD(p));
  v = Info(psd);
  EXPECT_EQ(FirstPage(v).Find("color_mode")->AsString(), "grayscale");
  EXPECT_EQ(FirstPage(v).Find("bpp")->AsNumber(), 8);
  EXPECT_EQ(FirstPage(v).Find("resolution")->Find("y")->AsNumber(), 150);
}

TEST(CliJPEGGIFPSD, DecodeWritesPixels) {
  TempDir dir;
  pxtest::GIFFile g;
  g.width = 2;
  g.height = 1;
  g.globalTable = {10, 20, 30, 40, 50, 60};
  pxtest::GIFImage img;
  img.width = 2;
  img.height = 1;
  img.minCodeSize = 2;
  img.indices = {1, 0};
  g.images.push_back(img);
  const std::string gif = dir.File("two.gif"), ppm = dir.File("two.ppm");
  pxtest::WriteFile(gif, pxtest::BuildGIF(g));
  auto r = RunCli({"decode", gif, "-o", ppm});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(ppm), std::string("P6\n2 1\n255\n") + "\x28\x32\x3C\x0A\x14\x1E");

  pxtest::PSDFile p;
  p.width = 2;
  p.height = 1;
  p.channels = 1;
  p.mode = 1;
  p.planes = {{7, 200}};
  const std::string psd = dir.File("g.psd"), pgm = dir.File("g.pgm");
  pxtest::WriteFile(psd, pxtest::BuildPSD(p));
  r = RunCli({"decode", psd, "--depth", "8", "-o", pgm});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(pgm), std::string("P5\n2 1\n255\n") + "\x07\xC8");
}

// A greyscale file of 16 bits a sample is a page the application reads at 8 bits; the
// tool decodes it alike instead of refusing it.
TEST(CliJPEGGIFPSD, DecodesSixteenBitGreyAsTheApplicationReadsIt) {
  TempDir dir;
  pxtest::PSDFile p;
  p.width = 2;
  p.height = 1;
  p.channels = 1;
  p.mode = 1;
  p.depth = 16;
  p.compression = 0;
  p.planes = {{0x07, 0x12, 0xC8, 0xFF}};
  const std::string psd = dir.File("g16.psd"), pgm = dir.File("g16.pgm");
  pxtest::WriteFile(psd, pxtest::BuildPSD(p));
  auto r = RunCli({"decode", psd, "-o", pgm});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Slurp(pgm), std::string("P5\n2 1\n255\n") + "\x07\xC8");
  r = RunCli({"build", "-o", dir.File("g16.tif"), "--quiet", psd});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliJPEGGIFPSD, DecodeReportsTheLibrarysErrors) {
  TempDir dir;
  const std::string jpg = dir.File("c.jpg"), out = dir.File("c.pgm");
  pxtest::WriteFile(jpg, pxtest::EncodeJPEG(4, 4, pxtest::TestPicture(4, 4, 3)));
  auto r = RunCli({"decode", jpg, "--depth", "8", "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 28"), std::string::npos) << r.err;

  const std::string bad = dir.File("v2.psd");
  pxtest::PSDFile p;
  p.version = 2;
  p.width = p.height = 1;
  pxtest::WriteFile(bad, pxtest::BuildPSD(p));
  r = RunCli({"decode", bad, "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 46: Invalid Photoshop file"), std::string::npos) << r.err;
}

}  // namespace
