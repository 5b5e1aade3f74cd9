// Photographs turned upright by their EXIF orientation as the image object loads them,
// and the phone and web formats read through the format table.
#include <cstring>

#include "document/page_image.h"
#include "document/preferences.h"
#include "jpeg_gif_psd_fixtures.h"
#include "test_support.h"
#include "webp_heif_fixtures.h"

namespace {

using pxtest::TempDir;

// Where a stored pixel belongs in the upright picture, by the definition of each value.
void UprightPosition(int orientation, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint32_t* ux,
                     uint32_t* uy) {
  switch (orientation) {
    case 2:
      *ux = w - 1 - x, *uy = y;
      break;
    case 3:
      *ux = w - 1 - x, *uy = h - 1 - y;
      break;
    case 4:
      *ux = x, *uy = h - 1 - y;
      break;
    case 5:
      *ux = y, *uy = x;
      break;
    case 6:
      *ux = h - 1 - y, *uy = x;
      break;
    case 7:
      *ux = h - 1 - y, *uy = w - 1 - x;
      break;
    case 8:
      *ux = y, *uy = w - 1 - x;
      break;
    default:
      *ux = x, *uy = y;
      break;
  }
}

class PhotoOrientation : public ::testing::Test {
 protected:
  void TearDown() override { CPageImage::SetTurnUpright(true); }

  // A 6 x 4 photograph of distinct pixels with the orientation in its EXIF (none for 0),
  // 300 x 150 dots per inch.
  std::string Photo(int orientation) {
    pxtest::JPEGOptions o;
    o.quality = 100;
    o.densityUnit = 1;
    o.xDensity = 300;
    o.yDensity = 150;
    if (orientation) o.markers.push_back({0xE1, pxtest::ExifSegment(uint16_t(orientation))});
    const std::string path = dir_.File("photo" + std::to_string(orientation) + ".jpg");
    pxtest::WriteFile(path, pxtest::EncodeJPEG(kW, kH, pxtest::TestPicture(kW, kH, 3), o));
    return path;
  }

  static constexpr uint32_t kW = 6, kH = 4;
  TempDir dir_;
};

TEST_F(PhotoOrientation, EachOfTheEightValuesComesOutUpright) {
  CPageImage stored;
  ASSERT_EQ(stored.Load(Photo(0)), 0);
  ASSERT_EQ(stored.Width(), kW);
  for (int o = 1; o <= 8; ++o) {
    CPageImage image;
    ASSERT_EQ(image.Load(Photo(o)), 0) << o;
    const bool quarter = o >= 5;
    ASSERT_EQ(image.Width(), quarter ? kH : kW) << o;
    ASSERT_EQ(image.Height(), quarter ? kW : kH) << o;
    EXPECT_EQ(image.TurnedFrom(), o);
    // The dots per inch follow the axes they measure.
    EXPECT_EQ(image.ResolutionX(), quarter ? 150 : 300) << o;
    EXPECT_EQ(image.ResolutionY(), quarter ? 300 : 150) << o;
    int wrong = 0;
    for (uint32_t y = 0; y < kH; ++y)
      for (uint32_t x = 0; x < kW; ++x) {
        uint32_t ux, uy;
        UprightPosition(o, kW, kH, x, y, &ux, &uy);
        const uint8_t* want = stored.Pixels() + y * stored.RowBytes() + x * 3;
        const uint8_t* got = image.Pixels() + uy * image.RowBytes() + ux * 3;
        wrong += std::memcmp(want, got, 3) != 0;
      }
    EXPECT_EQ(wrong, 0) << "orientation " << o;
  }
}

TEST_F(PhotoOrientation, SwitchedOffThePageStaysAsStored) {
  CPageImage::SetTurnUpright(false);
  CPageImage image;
  ASSERT_EQ(image.Load(Photo(6)), 0);
  EXPECT_EQ(image.Width(), kW);
  EXPECT_EQ(image.Height(), kH);
  EXPECT_EQ(image.TurnedFrom(), 1);
  EXPECT_EQ(image.ResolutionX(), 300);
}

TEST_F(PhotoOrientation, ACopyRemembersTheTurn) {
  CPageImage image, copy;
  ASSERT_EQ(image.Load(Photo(8)), 0);
  ASSERT_EQ(image.CopyTo(&copy), 0);
  EXPECT_EQ(copy.TurnedFrom(), 8);
  ASSERT_EQ(image.Load(Photo(0)), 0);
  EXPECT_EQ(image.TurnedFrom(), 1);  // a new load forgets the old file's turn
}

TEST_F(PhotoOrientation, TheWebPEXIFChunkTurnsItToo) {
  const auto rgba = pxtest::TestRGBA(5, 3, false);
  pxtest::WebPOptions o;
  o.alpha = false;
  o.exif = pxtest::ExifOrientation(6, false);  // WebP's chunk holds the bare TIFF header
  const std::string path = dir_.File("turned.webp");
  pxtest::WriteFile(path, pxtest::EncodeWebP(5, 3, rgba, o));
  CPageImage image;
  ASSERT_EQ(image.Load(path), 0);
  EXPECT_EQ(image.Type(), WEBP);
  ASSERT_EQ(image.Width(), 3u);
  ASSERT_EQ(image.Height(), 5u);
  // The stored top-left pixel is the upright top-right one; lossless, so exact.
  EXPECT_EQ(std::memcmp(image.Pixels() + 2 * 3, rgba.data(), 3), 0);
}

TEST(PhoneFormats, WebPAndHEIFPagesThroughTheImageObject) {
  TempDir dir;
  const auto rgba = pxtest::TestRGBA(9, 7, true);
  const std::string webp = dir.File("clear.webp");
  pxtest::WriteFile(webp, pxtest::EncodeWebP(9, 7, rgba));
  EXPECT_EQ(CPageImage::DetectType(webp), WEBP);
  CPageImage image;
  ASSERT_EQ(image.Load(webp), 0);
  EXPECT_EQ(image.BitsPerPixel(), 24u);
  // Lossless with alpha: every pixel exactly as composited on white paper.
  const auto onWhite = pxtest::OnWhite(rgba);
  ASSERT_EQ(image.RowBytes(), 9u * 3);  // 27 bytes, no padding
  EXPECT_EQ(std::vector<uint8_t>(image.Pixels(), image.Pixels() + onWhite.size()), onWhite);

  pxtest::HEIFOptions h;
  h.orientation = 6;
  const std::string heic = dir.File("turned.heic");
  pxtest::WriteFile(heic, pxtest::EncodeHEIF(8, 6, pxtest::TestRGBA(8, 6, false), h));
  EXPECT_EQ(CPageImage::DetectType(heic), HEIF);
  ASSERT_EQ(image.Load(heic), 0);
  EXPECT_EQ(image.Type(), HEIF);
  // libheif turns it by its boxes; the image object adds no turn of its own.
  EXPECT_EQ(image.Width(), 6u);
  EXPECT_EQ(image.Height(), 8u);
  EXPECT_EQ(image.TurnedFrom(), 1);

  // A damaged file is the format's error, not a page.
  const std::string cut = dir.File("cut.webp");
  auto bytes = pxtest::EncodeWebP(9, 7, rgba);
  bytes.resize(bytes.size() / 2);
  pxtest::WriteFile(cut, bytes);
  EXPECT_NE(image.Load(cut), 0);
  EXPECT_FALSE(image.HasPixels());
}

TEST(PhoneFormats, ThePreferenceIsOnUntilSwitchedOff) {
  TempDir dir;
  Preferences prefs(dir.File("prefs.ini"));
  EXPECT_TRUE(prefs.TurnPhotographsUpright());
  ASSERT_TRUE(prefs.WriteTurnPhotographsUpright(false));
  Preferences again(dir.File("prefs.ini"));
  EXPECT_FALSE(again.TurnPhotographsUpright());
}

}  // namespace
