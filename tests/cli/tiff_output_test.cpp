// pageweaver-cli decode -o x.tif: the page written by the library's TIFF writer, looked
// at through libtiff's own RGBA decoding.
#include <tiffio.h>

#include "cli_support.h"
#include "test_support.h"

namespace {

using pxtest::Bytes;
using pxtest::RunCli;
using pxtest::TempDir;

// A bottom-up BMP of `bits` 1, 8 or 24 with the given colour table and rows (top row
// first, unpadded, as the pixels are meant to be seen).
std::vector<uint8_t> BMP(uint32_t width, uint32_t height, uint32_t bits,
                         const std::vector<RGBQUAD>& colors,
                         const std::vector<std::vector<uint8_t>>& rows) {
  const uint32_t stride = ((width * bits + 31) / 32) * 4;
  const uint32_t offset = 54 + 4 * uint32_t(colors.size());
  Bytes b;
  b.str("BM").le32(offset + stride * height).le32(0).le32(offset);
  b.le32(40).le32(width).le32(height).le16(1).le16(bits).le32(0).le32(stride * height);
  b.le32(0).le32(0).le32(uint32_t(colors.size())).le32(0);
  for (const RGBQUAD& q : colors) b.u8(q.rgbBlue).u8(q.rgbGreen).u8(q.rgbRed).u8(0);
  for (uint32_t y = height; y-- > 0;) {
    std::vector<uint8_t> row = rows[y];
    row.resize(stride, 0);
    b.raw(row);
  }
  return b.data();
}

// The page as libtiff's RGBA decoding shows it: 0xAABBGGRR per pixel, top row first.
std::vector<uint32_t> Picture(const std::string& path, uint32_t* width, uint32_t* height) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  EXPECT_NE(tif, nullptr);
  if (!tif) return {};
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, height);
  std::vector<uint32_t> raster(size_t(*width) * *height);
  EXPECT_TRUE(
      TIFFReadRGBAImageOriented(tif, *width, *height, raster.data(), ORIENTATION_TOPLEFT, 1));
  uint16_t compression = 0;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  EXPECT_EQ(compression, COMPRESSION_NONE);
  TIFFClose(tif);
  return raster;
}

uint32_t Pixel(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t(b) << 16) | (uint32_t(g) << 8) | r;
}

std::vector<uint32_t> Decode(const std::vector<uint8_t>& bmp, const std::string& depth,
                             uint32_t* width, uint32_t* height) {
  TempDir dir;
  const std::string in = dir.File("in.bmp"), out = dir.File("out.TIFF");
  pxtest::WriteFile(in, bmp);
  auto r = RunCli({"decode", in, "--depth", depth, "-o", out});
  EXPECT_EQ(r.status, 0) << r.err;
  return Picture(out, width, height);
}

TEST(CliTIFFOutput, BilevelPagesKeepTheirSenseWhateverThePalette) {
  const RGBQUAD black = {0, 0, 0, 0}, white = {255, 255, 255, 0};
  // Row 0: first pixel index 1, the rest 0; row 1: the reverse.
  const std::vector<std::vector<uint8_t>> rows = {{0x80, 0x00}, {0x7F, 0xC0}};
  for (bool oneIsWhite : {true, false}) {
    SCOPED_TRACE(oneIsWhite ? "index 1 white" : "index 1 black");
    const std::vector<RGBQUAD> colors =
        oneIsWhite ? std::vector<RGBQUAD>{black, white} : std::vector<RGBQUAD>{white, black};
    uint32_t w = 0, h = 0;
    const std::vector<uint32_t> picture = Decode(BMP(10, 2, 1, colors, rows), "1", &w, &h);
    ASSERT_EQ(picture.size(), 20u);
    const uint32_t one = oneIsWhite ? Pixel(255, 255, 255) : Pixel(0, 0, 0);
    const uint32_t zero = oneIsWhite ? Pixel(0, 0, 0) : Pixel(255, 255, 255);
    for (uint32_t x = 0; x < 10; ++x) {
      EXPECT_EQ(picture[x], x == 0 ? one : zero) << x;
      EXPECT_EQ(picture[10 + x], x == 0 ? zero : one) << x;
    }
  }
}

TEST(CliTIFFOutput, PalettePagesAndTrueColour) {
  const std::vector<RGBQUAD> colors = {{10, 20, 30, 0}, {200, 100, 50, 0}, {0, 255, 0, 0}};
  const std::vector<std::vector<uint8_t>> indices = {{0, 1, 2}, {2, 2, 1}};
  uint32_t w = 0, h = 0;
  std::vector<uint32_t> picture = Decode(BMP(3, 2, 8, colors, indices), "8", &w, &h);
  ASSERT_EQ(picture.size(), 6u);
  const uint8_t order[] = {0, 1, 2, 2, 2, 1};
  for (int i = 0; i < 6; ++i) {
    const RGBQUAD& q = colors[order[i]];
    EXPECT_EQ(picture[i], Pixel(q.rgbRed, q.rgbGreen, q.rgbBlue)) << i;
  }

  // 24-bit rows are blue, green, red in the file.
  const std::vector<std::vector<uint8_t>> rgb = {{0, 0, 255, 0, 255, 0}, {255, 0, 0, 9, 8, 7}};
  picture = Decode(BMP(2, 2, 24, {}, rgb), "24", &w, &h);
  const std::vector<uint32_t> expected = {Pixel(255, 0, 0), Pixel(0, 255, 0), Pixel(0, 0, 255),
                                          Pixel(7, 8, 9)};
  EXPECT_EQ(picture, expected);
}

TEST(CliTIFFOutput, AFolderThatIsNotThereIsReported) {
  TempDir dir;
  const std::string in = dir.File("in.bmp");
  pxtest::WriteFile(in, BMP(1, 1, 24, {}, {{1, 2, 3}}));
  auto r = RunCli({"decode", in, "-o", dir.File("missing/out.tif")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error 2"), std::string::npos) << r.err;
}

}  // namespace
