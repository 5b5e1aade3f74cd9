// pageweaver-cli with WMF and EMF files: info gives the natural raster size, decode
// renders on white.
#include <cstdio>

#include "cli_support.h"
#include "json.h"
#include "metafile_builder.h"
#include "test_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;

// A placeable metafile of one inch by half an inch with a red rectangle in its left half.
std::vector<uint8_t> HalfRed() {
  pxtest::WmfBuilder w;
  w.Add(0x020C, {720, 1440})           // window extent
      .Add(0x02FC, {0, 0xFF, 0, 0})    // solid red brush
      .Add(0x012D, {0})                // select it
      .Add(0x041B, {720, 720, 0, 0});  // rectangle
  return w.Finish(true, 0, 0, 1440, 720, 1440);
}

TEST(CliMetafile, InfoReportsTheNaturalSize) {
  TempDir dir;
  std::string path = dir.File("half.wmf");
  pxtest::WriteFile(path, HalfRed());
  auto r = RunCli({"info", "--json", path});
  ASSERT_EQ(r.status, 0) << r.err;
  json::Value all;
  std::string error;
  ASSERT_TRUE(json::Parse(r.out, &all, &error)) << error;
  const json::Value& info = all.Items()[0];
  EXPECT_EQ(info.Find("format")->AsString(), "WMF");
  EXPECT_EQ(info.Find("pages")->AsNumber(), 1);
  const json::Value& page = info.Find("page_info")->Items()[0];
  EXPECT_NEAR(page.Find("width")->AsNumber(), 96, 1);
  EXPECT_NEAR(page.Find("height")->AsNumber(), 48, 1);
  EXPECT_EQ(page.Find("bpp")->AsNumber(), 24);
}

TEST(CliMetafile, DecodeRendersOnWhite) {
  TempDir dir;
  std::string path = dir.File("half.wmf"), out = dir.File("half.ppm");
  pxtest::WriteFile(path, HalfRed());
  auto r = RunCli({"decode", path, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<uint8_t> ppm = pxtest::ReadFile(out);
  int w = 0, h = 0, max = 0, header = 0;
  std::string text(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 32));
  ASSERT_EQ(std::sscanf(text.c_str(), "P6 %d %d %d%n", &w, &h, &max, &header), 3);
  size_t pixels = ppm.size() - size_t(w) * h * 3;
  ASSERT_EQ(pixels, size_t(header) + 1);
  // Left half red inside the default black outline, right half the white background.
  size_t inside = pixels + (size_t(10) * w + 10) * 3;
  EXPECT_EQ(ppm[pixels], 0);
  EXPECT_EQ(ppm[inside], 255);
  EXPECT_EQ(ppm[inside + 1], 0);
  EXPECT_EQ(ppm[inside + 2], 0);
  EXPECT_EQ(ppm[ppm.size() - 3], 255);
  EXPECT_EQ(ppm[ppm.size() - 2], 255);
  EXPECT_EQ(ppm[ppm.size() - 1], 255);
}

TEST(CliMetafile, BrokenMetafileReportsItsError) {
  TempDir dir;
  std::string path = dir.File("bad.wmf"), out = dir.File("bad.ppm");
  std::vector<uint8_t> bytes = HalfRed();
  bytes[14] = bytes[15] = 0;  // no units per inch
  pxtest::WriteFile(path, bytes);
  auto r = RunCli({"decode", path, "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Invalid windows metafile"), std::string::npos) << r.err;
}

}  // namespace
