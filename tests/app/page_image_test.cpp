// The image object: detection, loading with resolution rules, conversions and thumbnails.
#include <png.h>
#include <tiffio.h>

#include <cstring>

#include "document/page_image.h"
#include "image_files.h"
#include "jpeg_gif_psd_fixtures.h"
#include "metafile_builder.h"
#include "test_support.h"

namespace {

using pxtest::TempDir;

uint32_t Checker(uint32_t x, uint32_t y) {
  return ((x + y) % 2) ? 0xFFFFFF : 0x000000;
}

TEST(PageImageTest, ContentDecidesOverTheExtension) {
  TempDir dir;
  std::string path = dir.File("really_a_png.jpg");
  pxtest::WritePNG24(path, 4, 3, [](uint32_t, uint32_t) { return 0x102030u; });
  EXPECT_EQ(CPageImage::DetectType(path), PNG_24);
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.Type(), PNG_24);
  EXPECT_EQ(image.Width(), 4u);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  EXPECT_EQ(image.Pixels()[0], 0x10);
  EXPECT_EQ(image.Pixels()[2], 0x30);
}

TEST(PageImageTest, UnknownFilesAndEmptyPaths) {
  TempDir dir;
  std::string path = dir.File("notes.txt");
  pxtest::WriteFile(path, std::vector<uint8_t>(5000, 'a'));
  CPageImage image;
  EXPECT_EQ(image.Load(path), PX_ERR_PARAMETER);
  EXPECT_FALSE(image.HasPixels());
  EXPECT_EQ(image.Load(""), PX_ERR_FILE_OPEN);
  EXPECT_EQ(image.Load(dir.File("missing.bmp")), PX_ERR_PARAMETER);
}

TEST(PageImageTest, FaxResolutionIsStretchedToSquarePixels) {
  TempDir dir;
  std::string path = dir.File("fax.tif");
  pxtest::TiffPage page;
  page.width = 1000;
  page.height = 1000;
  page.bits = 8;
  page.xdpi = 204;
  page.ydpi = 98;
  page.pixel = [](uint32_t x, uint32_t) { return x < 500 ? 0u : 0xFFFFFFu; };
  pxtest::WriteTIFF(path, {page});
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.Type(), TIF_PAL);
  EXPECT_EQ(image.Width(), 1000u);
  EXPECT_EQ(image.Height(), 2081u);
  EXPECT_EQ(image.ResolutionX(), 204);
  EXPECT_EQ(image.ResolutionY(), 98);
  EXPECT_EQ(image.ResolutionUnit(), 2);
}

TEST(PageImageTest, TiffPagesAndSourceCompression) {
  TempDir dir;
  std::string path = dir.File("pages.tif");
  pxtest::TiffPage one;
  one.bits = 1;
  one.compression = 4;
  one.pixel = Checker;
  pxtest::TiffPage rgb;
  rgb.bits = 24;
  rgb.pixel = [](uint32_t, uint32_t) { return 0x336699u; };
  pxtest::WriteTIFF(path, {one, rgb, rgb});
  EXPECT_EQ(CPageImage::PageCount(path), 3);
  EXPECT_EQ(CPageImage::DetectType(path, 0), TIF_1);
  EXPECT_EQ(CPageImage::DetectType(path, 1), TIF_24);
  CPageImage image;
  ASSERT_EQ(image.Load(path, UNKNOWN, 0), 0);
  EXPECT_EQ(image.BitsPerPixel(), 1u);
  EXPECT_EQ(image.SourceCompression(), 4);
  // A set bit is black, and the palette says so.
  EXPECT_EQ(image.Pixels()[0] & 0x80, 0x80);
  EXPECT_EQ(image.Palette()[1].rgbRed, 0);
  EXPECT_EQ(image.Palette()[0].rgbRed, 255);
  ASSERT_EQ(image.Load(path, UNKNOWN, 2), 0);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  EXPECT_EQ(image.SourceCompression(), 4);  // always the first page's
  EXPECT_EQ(image.FrameIndex(), 2);
  EXPECT_NE(image.Load(path, UNKNOWN, 3), 0);
  EXPECT_EQ(CPageImage::PageCount(dir.File("nothing.tif")), 0);
}

TEST(PageImageTest, BmpResolutionIsPerCentimetre) {
  TempDir dir;
  std::string path = dir.File("r.bmp");
  pxtest::WriteBMP24(path, 3, 2, Checker);  // 2835 pixels per metre
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.Type(), BMP_24);
  EXPECT_EQ(image.ResolutionX(), 28);
  EXPECT_EQ(image.ResolutionUnit(), 3);
  EXPECT_EQ(image.Pixels()[3], 0xFF);  // pixel (1, 0) is white
}

TEST(PageImageTest, FitSizeKeepsTheAspectRatio) {
  CPageImage image;
  uint32_t w = 9, h = 9;
  image.FitSize(100, 100, &w, &h);
  EXPECT_EQ(w, 0u);  // no image
  image.Adopt(static_cast<uint8_t*>(GlobalAlloc(GPTR, 400 * 100 * 3)), 400, 100, 24, nullptr, 0);
  image.FitSize(100, 100, &w, &h);
  EXPECT_EQ(w, 100u);
  EXPECT_EQ(h, 25u);
  image.FitSize(1000, 1000, &w, &h);
  EXPECT_EQ(w, 1000u);
  EXPECT_EQ(h, 250u);
  image.Adopt(static_cast<uint8_t*>(GlobalAlloc(GPTR, 3000 * 1000 * 3)), 3000, 1000, 24, nullptr,
              0);
  image.FitSize(1000, 1000, &w, &h);
  EXPECT_EQ(w, 1000u);
  EXPECT_EQ(h, 333u);
  image.Adopt(static_cast<uint8_t*>(GlobalAlloc(GPTR, 1 * 5000)), 1, 5000, 8, nullptr, 256);
  image.FitSize(100, 100, &w, &h);
  EXPECT_EQ(w, 1u);  // never below one pixel
  EXPECT_EQ(h, 100u);
}

CPageImage MakeRGB(uint32_t w, uint32_t h, const pxtest::PixelFn& fn) {
  auto* p = static_cast<uint8_t*>(GlobalAlloc(GPTR, size_t(w) * h * 3));
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t c = fn(x, y);
      p[(y * w + x) * 3] = uint8_t(c >> 16);
      p[(y * w + x) * 3 + 1] = uint8_t(c >> 8);
      p[(y * w + x) * 3 + 2] = uint8_t(c);
    }
  CPageImage image;
  image.Adopt(p, w, h, 24, nullptr, 0);
  return image;
}

TEST(PageImageTest, ThresholdMakesBlackSetBitsWithAMatchingPalette) {
  CPageImage image = MakeRGB(3, 1, [](uint32_t x, uint32_t) {
    return x == 0 ? 0x000000u : x == 1 ? 0x808080u : 0x818080u;
  });
  ASSERT_EQ(image.To1Bit(128), 0);
  EXPECT_EQ(image.BitsPerPixel(), 1u);
  EXPECT_EQ(image.Pixels()[0], 0xC0);  // black and mid-grey set, (129,128,128) clear
  // Drawn through its own palette a set bit must be black.
  EXPECT_EQ(image.Palette()[1].rgbRed, 0);
  EXPECT_EQ(image.Palette()[0].rgbRed, 255);
  ASSERT_EQ(image.To24Bit(), 0);
  EXPECT_EQ(image.Pixels()[0], 0);
  EXPECT_EQ(image.Pixels()[6], 255);

  CPageImage only = MakeRGB(2, 1, [](uint32_t x, uint32_t) { return x ? 0x010101u : 0u; });
  ASSERT_EQ(only.To1Bit(0), 0);
  EXPECT_EQ(only.Pixels()[0], 0x80);  // threshold 0: only pure black
}

TEST(PageImageTest, RotationAndFlipChangeTheRightPixels) {
  CPageImage image = MakeRGB(3, 1, [](uint32_t x, uint32_t) { return 0x10u * (x + 1); });
  EXPECT_EQ(image.Rotate(45), PX_ERR_PARAMETER);
  EXPECT_EQ(image.Width(), 3u);
  ASSERT_EQ(image.Rotate(90), 0);
  EXPECT_EQ(image.Width(), 1u);
  EXPECT_EQ(image.Height(), 3u);
  EXPECT_EQ(image.Pixels()[2], 0x10);  // leftmost pixel is now on top
  ASSERT_EQ(image.Flip(2), 0);
  EXPECT_EQ(image.Pixels()[2], 0x30);
  EXPECT_EQ(image.Flip(3), PX_ERR_PARAMETER);
}

TEST(PageImageTest, OneBitRotationSwapsTheSize) {
  CPageImage image =
      MakeRGB(10, 3, [](uint32_t x, uint32_t y) { return (x == 9 && y == 0) ? 0u : 0xFFFFFFu; });
  ASSERT_EQ(image.To1Bit(128), 0);
  ASSERT_EQ(image.Rotate(90), 0);
  EXPECT_EQ(image.Width(), 3u);
  EXPECT_EQ(image.Height(), 10u);
  // (9, 0) turns clockwise to (2, 9).
  EXPECT_EQ(image.Pixels()[9 * 1] & 0x20, 0x20);
}

TEST(PageImageTest, ThumbnailCentresTheImageInsideAFrame) {
  CPageImage image = MakeRGB(40, 20, [](uint32_t, uint32_t) { return 0xFF0000u; });
  ASSERT_EQ(image.Thumbnail(100, 100, RGB(0, 0, 255), true, RGB(0, 0, 0)), 0);
  ASSERT_EQ(image.Width(), 100u);
  ASSERT_EQ(image.Height(), 100u);
  auto at = [&](uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixels() + (y * 100 + x) * 3;
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  };
  // Fitted 100 x 50, less 2 for the frame: 98 x 48 at (1, 26), framed from (0, 25).
  EXPECT_EQ(at(50, 50), 0xFF0000u);
  EXPECT_EQ(at(50, 5), 0x0000FFu);  // background
  EXPECT_EQ(at(0, 24), 0x0000FFu);
  EXPECT_EQ(at(0, 25), 0x000000u);  // frame corners
  EXPECT_EQ(at(99, 74), 0x000000u);
  EXPECT_EQ(at(1, 26), 0xFF0000u);
  EXPECT_EQ(at(98, 73), 0xFF0000u);

  CPageImage plain = MakeRGB(40, 20, [](uint32_t, uint32_t) { return 0xFF0000u; });
  ASSERT_EQ(plain.Thumbnail(100, 100, RGB(0, 0, 255), false, 0), 0);
  const uint8_t* corner = plain.Pixels() + (25 * 100 + 0) * 3;
  EXPECT_EQ(corner[0], 0xFF);  // no frame: the image reaches the edge
}

TEST(PageImageTest, IndexedThumbnailAddsBackgroundAndFrameColours) {
  // A two-colour palette image (red, green) has room for the box's colours.
  auto* pixels = static_cast<uint8_t*>(GlobalAlloc(GPTR, 100));
  for (int i = 0; i < 100; ++i) pixels[i] = uint8_t(i % 10 < 5 ? 0 : 1);
  RGBQUAD palette[256] = {};
  palette[0] = {0, 0, 255, 0};
  palette[1] = {0, 255, 0, 0};
  CPageImage image;
  image.Adopt(pixels, 10, 10, 8, palette, 2);
  ASSERT_EQ(image.Thumbnail(30, 20, RGB(0, 0, 255), true, RGB(0, 0, 0)), 0);
  EXPECT_EQ(image.BitsPerPixel(), 8u);
  EXPECT_EQ(image.ColorCount(), 4u);
  // Fitted 20 x 20, framed 18 x 18 at (6, 1).
  EXPECT_EQ(image.Pixels()[0], 2);  // background: blue, added as entry 2
  EXPECT_EQ(image.Palette()[2].rgbBlue, 255);
  EXPECT_EQ(image.Pixels()[5], 3);  // the frame: black, entry 3
  EXPECT_EQ(image.Pixels()[30 * 1 + 6], 0);
  EXPECT_EQ(image.Palette()[3].rgbRed, 0);
  EXPECT_EQ(image.Palette()[3].rgbGreen, 0);
}

TEST(PageImageTest, SaveAndLoadAPalettePNG) {
  TempDir dir;
  CPageImage image = MakeRGB(5, 5, [](uint32_t x, uint32_t) { return x < 2 ? 0xFF0000u : 0xFFu; });
  ASSERT_EQ(image.Save(dir.File("p.dat"), PNG_PAL), 0);
  EXPECT_EQ(image.BitsPerPixel(), 24u);  // the copy was converted, not the image
  CPageImage back;
  ASSERT_EQ(back.Load(dir.File("p.dat")), 0);
  EXPECT_EQ(back.Type(), PNG_PAL);
  ASSERT_EQ(back.To24Bit(), 0);
  EXPECT_EQ(back.Pixels()[0], 0xFF);
  EXPECT_EQ(back.Pixels()[3 * 4 + 2], 0xFF);
}

}  // namespace

namespace {

TEST(PageImageTest, TransparentPngPagesShowWhitePaper) {
  TempDir dir;
  // A 2 x 1 RGBA PNG without a background chunk: an opaque black pixel and a fully
  // transparent one.
  std::vector<uint8_t> rgba = {0, 0, 0, 255, 0, 0, 0, 0};
  std::string path = dir.File("logo.png");
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  png.width = 2;
  png.height = 1;
  png.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr));
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  ASSERT_EQ(image.BitsPerPixel(), 24u);
  EXPECT_EQ(image.Pixels()[0], 0);
  EXPECT_EQ(image.Pixels()[3], 255);
  EXPECT_EQ(image.Pixels()[5], 255);
}

}  // namespace

namespace {

TEST(PageImageTest, MetafilesAreDrawnOnWhitePaper) {
  TempDir dir;
  // An enhanced metafile with one black-outlined, black-filled rectangle in one corner.
  pxtest::EmfBuilder emf(400, 400);
  emf.Add(39, {1, 0, 0, 0});  // EMR_CREATEBRUSHINDIRECT 1: solid black
  emf.Add(37, {1});           // EMR_SELECTOBJECT
  emf.Add(43, {0, 0, 100, 100});
  std::string path = dir.File("drawing.emf");
  pxtest::WriteFile(path, emf.Finish());
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.Type(), EMF);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  EXPECT_EQ(image.ResolutionUnit(), 0);
  ASSERT_GT(image.Width(), 20u);
  const uint8_t* far =
      image.Pixels() + ((image.Height() - 2) * image.Width() + image.Width() - 2) * 3;
  EXPECT_EQ(far[0], 255);  // nothing drawn there: paper
  EXPECT_EQ(far[2], 255);
  EXPECT_EQ(image.Pixels()[3 * (2 * image.Width() + 2)], 0);  // inside the rectangle
}

}  // namespace

namespace {

TEST(PageImageTest, GifPagesKeepTheirImageSizeAndColourCount) {
  TempDir dir;
  // A 4-colour screen of 10 x 10 whose first image is 4 x 2.
  pxtest::GIFFile gif;
  gif.width = 10;
  gif.height = 10;
  gif.globalTable = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  pxtest::GIFImage image;
  image.width = 4;
  image.height = 2;
  image.minCodeSize = 2;
  image.indices = {0, 1, 2, 3, 3, 2, 1, 0};
  gif.images.push_back(image);
  std::string path = dir.File("small.gif");
  pxtest::WriteFile(path, pxtest::BuildGIF(gif));
  CPageImage page;
  ASSERT_EQ(page.Load(path), 0);
  EXPECT_EQ(page.Type(), GIF);
  EXPECT_EQ(page.Width(), 4u);
  EXPECT_EQ(page.Height(), 2u);
  EXPECT_EQ(page.ColorCount(), 4u);
  EXPECT_EQ(page.Pixels()[1], 1);
  EXPECT_EQ(page.Palette()[1].rgbRed, 255);
}

}  // namespace

namespace {

// A one-row TIFF of `samples` 8-bit samples per pixel, the last an extra sample of the
// given kind when `extra` is set.
void WriteOneRowTIFF(const std::string& path, uint16_t samples, const std::vector<uint8_t>& row,
                     int extra) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const uint32_t width = uint32_t(row.size() / samples);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1u);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  if (extra >= 0) {
    const uint16_t kind = uint16_t(extra);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  std::vector<uint8_t> data = row;
  ASSERT_EQ(TIFFWriteScanline(tif, data.data(), 0, 0), 1);
  TIFFClose(tif);
}

std::vector<uint8_t> LoadedRGB(const std::string& path) {
  CPageImage image;
  EXPECT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  if (image.BitsPerPixel() != 24) return {};
  return {image.Pixels(), image.Pixels() + size_t(image.Width()) * 3};
}

TEST(PageImageTest, TiffPagesWithAlphaShowWhitePaper) {
  TempDir dir;
  // Unassociated alpha: opaque red, black at alpha 128 (half the paper), a transparent colour.
  const std::string rgba = dir.File("rgba.tif");
  WriteOneRowTIFF(rgba, 4, {255, 0, 0, 255, 0, 0, 0, 128, 10, 20, 30, 0}, EXTRASAMPLE_UNASSALPHA);
  EXPECT_EQ(LoadedRGB(rgba), (std::vector<uint8_t>{255, 0, 0, 127, 127, 127, 255, 255, 255}));
  // Associated alpha: the colours are already scaled by it.
  const std::string assoc = dir.File("assoc.tif");
  WriteOneRowTIFF(assoc, 4, {50, 60, 70, 100, 0, 0, 0, 0}, EXTRASAMPLE_ASSOCALPHA);
  EXPECT_EQ(LoadedRGB(assoc), (std::vector<uint8_t>{205, 215, 225, 255, 255, 255}));
  // Grey and alpha.
  const std::string grey = dir.File("grey.tif");
  WriteOneRowTIFF(grey, 2, {100, 255, 0, 0}, EXTRASAMPLE_UNASSALPHA);
  EXPECT_EQ(LoadedRGB(grey), (std::vector<uint8_t>{100, 100, 100, 255, 255, 255}));
  // A fourth sample of no stated meaning is not transparency.
  const std::string other = dir.File("other.tif");
  WriteOneRowTIFF(other, 4, {1, 2, 3, 0, 40, 50, 60, 0}, EXTRASAMPLE_UNSPECIFIED);
  EXPECT_EQ(LoadedRGB(other), (std::vector<uint8_t>{1, 2, 3, 40, 50, 60}));
}

TEST(PageImageTest, GreyPhotoshopPagesWithAlphaShowWhitePaper) {
  TempDir dir;
  pxtest::PSDFile psd;
  psd.mode = 1;  // greyscale
  psd.width = 3;
  psd.height = 1;
  psd.channels = 2;
  psd.planes = {{0, 0, 90}, {255, 0, 128}};
  const std::string path = dir.File("grey.psd");
  pxtest::WriteFile(path, pxtest::BuildPSD(psd));
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  ASSERT_EQ(image.BitsPerPixel(), 8u);
  ASSERT_TRUE(image.HasGreyPalette());
  std::vector<uint8_t> levels;
  for (uint32_t x = 0; x < 3; ++x) levels.push_back(image.Palette()[image.Pixels()[x]].rgbRed);
  // Opaque black, transparent black, 90 at alpha 128: (90 * 128 + 255 * 127 + 127) / 255.
  EXPECT_EQ(levels, (std::vector<uint8_t>{0, 255, 172}));
  // Without the second channel the page is read as it always was.
  psd.channels = 1;
  psd.planes.pop_back();
  pxtest::WriteFile(path, pxtest::BuildPSD(psd));
  ASSERT_EQ(image.Load(path), 0);
  ASSERT_EQ(image.BitsPerPixel(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(image.Pixels(), image.Pixels() + 3),
            (std::vector<uint8_t>{0, 0, 90}));
}

}  // namespace
