// pageweaver-cli info: detection results as text and JSON, and exit statuses.
#include "cli_support.h"
#include "json.h"
#include "test_support.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;

json::Value ParseOutput(const std::string& text) {
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::Parse(text, &v, &error)) << error << "\n" << text;
  return v;
}

TEST(CliInfo, JsonListsFormatOrErrorPerFile) {
  TempDir dir;
  std::string bmp = dir.File("a.bmp"), junk = dir.File("b.dat"), missing = dir.File("c.png");
  pxtest::WriteFile(bmp, pxtest::Bytes().str("BM").fill(100));
  pxtest::WriteFile(junk, std::vector<uint8_t>(5000, 'x'));
  auto r = RunCli({"info", "--json", bmp, junk, missing});
  EXPECT_EQ(r.status, 1);  // two files were not recognised
  json::Value all = ParseOutput(r.out);
  ASSERT_EQ(all.Items().size(), 3u);
  const json::Value& first = all.Items()[0];
  EXPECT_EQ(first.Find("path")->AsString(), bmp);
  EXPECT_EQ(first.Find("format_id")->AsNumber(), 1);
  EXPECT_EQ(first.Find("format")->AsString(), "BMP");
  EXPECT_EQ(all.Items()[1].Find("format_id")->AsNumber(), 0);
  const json::Value& third = all.Items()[2];
  EXPECT_EQ(third.Find("error")->AsNumber(), 2);
  EXPECT_EQ(third.Find("message")->AsString(), "Error on file open");
  EXPECT_EQ(third.Find("format"), nullptr);
}

TEST(CliInfo, AllRecognisedExitsZeroAndPrintsText) {
  TempDir dir;
  std::string tif = dir.File("x.tif");
  pxtest::WriteFile(tif, pxtest::Bytes().str("II").le16(42).fill(60));
  auto r = RunCli({"info", tif});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("TIFF (format 6)"), std::string::npos) << r.out;
}

TEST(CliInfo, ShortFileReportsReadError) {
  TempDir dir;
  std::string path = dir.File("tiny.bin");
  pxtest::WriteFile(path, {0, 0, 1});
  auto r = RunCli({"info", "--json", path});
  EXPECT_EQ(r.status, 1);
  json::Value all = ParseOutput(r.out);
  EXPECT_EQ(all.Items()[0].Find("error")->AsNumber(), 3);
  EXPECT_EQ(all.Items()[0].Find("message")->AsString(), "Error on file read");
}

TEST(CliInfo, UsageErrorsExitTwo) {
  EXPECT_EQ(RunCli({"info"}).status, 2);
  EXPECT_EQ(RunCli({"info", "--bogus", "x"}).status, 2);
  EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
  EXPECT_EQ(RunCli({}).status, 2);
}

}  // namespace
