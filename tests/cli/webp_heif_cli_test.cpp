// pageweaver-cli on WebP, HEIF and AVIF files, and the orientation info reports for
// photographs: what info says, what decode writes.
#include "cli_support.h"
#include "jpeg_gif_psd_fixtures.h"
#include "json.h"
#include "test_support.h"
#include "webp_heif_fixtures.h"

namespace {

using pxtest::RunCli;
using pxtest::TempDir;

json::Value FirstPage(const std::string& path, std::string* format) {
  auto r = RunCli({"info", "--json", path});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::Parse(r.out, &v, &error)) << error;
  *format = v.Items().at(0).Find("format")->AsString();
  return v.Items().at(0).Find("page_info")->Items().at(0);
}

TEST(CliWebPHEIF, InfoReportsTheFactsOfEachFormat) {
  TempDir dir;
  pxtest::WebPOptions o;
  o.exif = pxtest::ExifOrientation(6, false, true);  // a WebP EXIF chunk has no "Exif" header
  const std::string webp = dir.File("photo.webp");
  pxtest::WriteFile(webp, pxtest::EncodeWebP(9, 5, pxtest::TestRGBA(9, 5, true), o));
  std::string format;
  json::Value page = FirstPage(webp, &format);
  EXPECT_EQ(format, "WebP");
  EXPECT_EQ(page.Find("width")->AsNumber(), 9);
  EXPECT_EQ(page.Find("bpp")->AsNumber(), 32);
  EXPECT_EQ(page.Find("coding")->AsString(), "lossless");
  EXPECT_TRUE(page.Find("alpha")->AsBool());
  EXPECT_EQ(page.Find("orientation")->AsNumber(), 6);

  pxtest::HEIFOptions h;
  h.coding = pxtest::HEIFCoding::kAV1;
  h.orientation = 8;
  const std::string avif = dir.File("photo.avif");
  pxtest::WriteFile(avif, pxtest::EncodeHEIF(12, 4, pxtest::TestRGBA(12, 4, false), h));
  page = FirstPage(avif, &format);
  EXPECT_EQ(format, "HEIF");
  EXPECT_EQ(page.Find("width")->AsNumber(), 4) << "turned upright";
  EXPECT_EQ(page.Find("height")->AsNumber(), 12);
  EXPECT_EQ(page.Find("brand")->AsString(), "avif");
  EXPECT_EQ(page.Find("orientation")->AsNumber(), 8);

  pxtest::JPEGOptions j;
  j.markers.push_back({0xE1, pxtest::ExifSegment(3, true)});
  const std::string jpg = dir.File("photo.jpg");
  pxtest::WriteFile(jpg, pxtest::EncodeJPEG(6, 4, pxtest::TestPicture(6, 4, 3), j));
  page = FirstPage(jpg, &format);
  EXPECT_EQ(page.Find("orientation")->AsNumber(), 3);
}

TEST(CliWebPHEIF, DecodeWritesTheImage) {
  TempDir dir;
  const auto rgba = pxtest::TestRGBA(7, 3, false);
  const std::string webp = dir.File("a.webp");
  pxtest::WebPOptions o;
  o.alpha = false;
  pxtest::WriteFile(webp, pxtest::EncodeWebP(7, 3, rgba, o));
  const std::string ppm = dir.File("a.ppm");
  auto r = RunCli({"decode", "-o", ppm, webp});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto bytes = pxtest::ReadFile(ppm);
  const std::string header = "P6\n7 3\n255\n";
  ASSERT_EQ(bytes.size(), header.size() + 7 * 3 * 3);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(header.size()), bytes.end()),
            pxtest::Channels(rgba, 0, 3));

  const std::string heic = dir.File("b.heic");
  pxtest::WriteFile(heic, pxtest::EncodeHEIF(8, 6, pxtest::TestRGBA(8, 6, false)));
  r = RunCli({"decode", "-o", dir.File("b.ppm"), heic});
  EXPECT_EQ(r.status, 0) << r.err;
  // A colour HEIC has no 8-bit form; WebP none at all.
  r = RunCli({"decode", "--depth", "8", "-o", dir.File("b.pgm"), heic});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("The file was not of the requested bit-depth"), std::string::npos) << r.err;
  r = RunCli({"decode", "--depth", "8", "-o", dir.File("a.pgm"), webp});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("WebP files are read at 24 bits"), std::string::npos) << r.err;
}

// The page of a photograph stored on its side is upright in the output, unless asked not to.
TEST(CliWebPHEIF, BuildTurnsPhotographsUprightUnlessToldNot) {
  TempDir dir;
  pxtest::JPEGOptions o;
  o.markers.push_back({0xE1, pxtest::ExifSegment(6, true)});
  const std::string photo = dir.File("side.jpg");
  pxtest::WriteFile(photo, pxtest::EncodeJPEG(30, 20, pxtest::TestPicture(30, 20, 3), o));
  const std::string webp = dir.File("web.webp");
  pxtest::WriteFile(webp, pxtest::EncodeWebP(7, 5, pxtest::TestRGBA(7, 5, true)));
  struct Case {
    std::vector<std::string> extra;
    uint32_t width, height;
  } cases[] = {{{}, 20, 30}, {{"--no-auto-orient"}, 30, 20}};
  for (const Case& c : cases) {
    const std::string out = dir.File("out.tif");
    std::vector<std::string> args = {"build", "-q", "-o", out};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(photo);
    args.push_back(webp);
    auto r = RunCli(args);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunCli({"info", "--json", out});
    json::Value v;
    std::string error;
    ASSERT_TRUE(json::Parse(r.out, &v, &error)) << error;
    const auto& pages = v.Items().at(0).Find("page_info")->Items();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].Find("width")->AsNumber(), double(c.width));
    EXPECT_EQ(pages[0].Find("height")->AsNumber(), double(c.height));
    EXPECT_EQ(pages[1].Find("width")->AsNumber(), 7.0);
  }
}

}  // namespace
