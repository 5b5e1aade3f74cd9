// pageweaver-cli with PNG files: info fields, and decode -o x.png written through the
// library's PNG writer and read back with libpng.
#include "cli_support.h"
#include "json.h"
#include "png_test_support.h"
#include "test_support.h"

namespace {

using pxtest::PngImage;
using pxtest::RunCli;
using pxtest::TempDir;

PngImage Image(int colorType, int bitDepth) {
  PngImage p;
  p.width = 11;
  p.height = 5;
  p.colorType = colorType;
  p.bitDepth = bitDepth;
  p.rows = pxtest::PatternBytes(p.rowBytes() * p.height, 3);
  if (colorType == 3) p.palette = pxtest::PatternBytes(3 << bitDepth, 4);
  return p;
}

TEST(CliPng, InfoReportsHeaderAndResolution) {
  TempDir dir;
  PngImage p = Image(6, 8);
  p.interlaced = true;
  p.physical = std::vector<uint32_t>{3780, 3780, 1};
  std::string path = dir.File("a.png");
  pxtest::WriteFile(path, pxtest::EncodePNG(p));
  auto r = RunCli({"info", "--json", path});
  ASSERT_EQ(r.status, 0) << r.err;
  json::Value all;
  std::string error;
  ASSERT_TRUE(json::Parse(r.out, &all, &error)) << error;
  const json::Value& info = all.Items().at(0);
  EXPECT_EQ(info.Find("pages")->AsNumber(), 1);
  EXPECT_EQ(info.Find("bit_depth")->AsNumber(), 8);
  EXPECT_EQ(info.Find("color_type")->AsNumber(), 6);
  EXPECT_EQ(info.Find("interlace")->AsNumber(), 1);
  const json::Value& page = info.Find("page_info")->Items().at(0);
  EXPECT_EQ(page.Find("width")->AsNumber(), 11);
  EXPECT_EQ(page.Find("bpp")->AsNumber(), 32);
  EXPECT_EQ(page.Find("resolution")->Find("x")->AsNumber(), 3780);
  EXPECT_EQ(page.Find("resolution")->Find("unit")->AsNumber(), 1);
}

TEST(CliPng, DecodeWritesPngAtEachDepth) {
  TempDir dir;
  struct Case {
    PngImage input;
    std::string depth;
    int colorType, bitDepth;
  } cases[] = {{Image(2, 8), "24", 2, 8}, {Image(3, 8), "8", 3, 8}, {Image(3, 1), "1", 3, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    std::string in = dir.File("in.png"), out = dir.File("out.png");
    pxtest::WriteFile(in, pxtest::EncodePNG(c.input));
    auto r = RunCli({"decode", in, "--depth", c.depth, "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    PngImage written;
    ASSERT_TRUE(pxtest::DecodePNG(pxtest::ReadFile(out), &written));
    EXPECT_EQ(written.colorType, c.colorType);
    EXPECT_EQ(written.bitDepth, c.bitDepth);
    EXPECT_EQ(written.palette, c.input.palette);
    if (c.bitDepth == 1) {  // padding bits after the last pixel carry nothing
      for (size_t y = 0; y < 5; ++y) written.rows[y * 2 + 1] &= 0xE0;
      PngImage expected = c.input;
      for (size_t y = 0; y < 5; ++y) expected.rows[y * 2 + 1] &= 0xE0;
      EXPECT_EQ(written.rows, expected.rows);
    } else {
      EXPECT_EQ(written.rows, c.input.rows);
    }
  }
}

TEST(CliPng, BrokenFileReportsTheLibraryError) {
  TempDir dir;
  std::vector<uint8_t> bytes = pxtest::EncodePNG(Image(2, 8));
  bytes.resize(30);
  std::string path = dir.File("cut.png");
  pxtest::WriteFile(path, bytes);
  auto r = RunCli({"decode", path, "-o", dir.File("x.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 15: Possible bad PNG file"), std::string::npos) << r.err;
}

}  // namespace
