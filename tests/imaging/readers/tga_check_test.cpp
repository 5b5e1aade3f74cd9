// The TGA header check on its own: image types, pixel depths, colour maps and sizes
// against every kind of read, no file involved.
#include <gtest/gtest.h>

#include "header_cases.h"
#include "pixolith/px_core.h"
#include "readers/tga/tga_header.h"

namespace {

using pxtga::CheckHeader;
using pxtga::Header;
using pxtga::Output;
using pxtga::Stage;

Header Make(uint8_t type, uint8_t pixelDepth, uint16_t width = 4, uint16_t height = 4) {
  Header h;
  h.imageType = type;
  h.pixelDepth = pixelDepth;
  h.width = width;
  h.height = height;
  return h;
}

Header Mapped(uint8_t type, uint8_t pixelDepth, uint8_t entryBits, uint16_t length = 256) {
  Header h = Make(type, pixelDepth);
  h.colorMapType = 1;
  h.mapLength = length;
  h.mapEntryBits = entryBits;
  return h;
}

using Case = pxtest::HeaderCase<Header, Output, Stage>;

constexpr Output kDims = Output::kDimensions;
constexpr Output kPal = Output::kPalette;
constexpr Output kImage = Output::kImage;
constexpr Stage kHeader = Stage::kHeader;
constexpr Stage kID = Stage::kImageID;

const Case kCases[] = {
    // Image types and pixel depths.
    {"type 0", Make(0, 24), kDims, 0, kHeader, PX_ERR_BAD_TGA},
    {"type 4", Make(4, 24), kImage, 24, kHeader, PX_ERR_BAD_TGA},
    {"type 255", Make(255, 8), kPal, 0, kHeader, PX_ERR_BAD_TGA},
    {"33-bit pixels", Make(2, 33), kDims, 0, kHeader, PX_ERR_BAD_TGA},
    {"255-bit pixels", Make(2, 255), kImage, 32, kHeader, PX_ERR_BAD_TGA},
    {"4-bit pixels", Make(3, 4), kImage, 24, kHeader, PX_ERR_BAD_TGA},
    {"0-bit pixels", Make(2, 0), kImage, 32, kHeader, PX_ERR_BAD_TGA},
    {"12-bit pixels", Make(2, 12), kImage, 24, kHeader, PX_ERR_BAD_TGA},
    {"24-bit indices", Make(1, 24), kImage, 24, kHeader, PX_ERR_BAD_TGA},
    {"15-bit colour", Make(10, 15), kImage, 32, kHeader, PX_OK},
    {"16-bit grey and alpha", Make(3, 16), kImage, 32, kHeader, PX_OK},
    // Sizes.
    {"zero width", Make(2, 24, 0, 4), kImage, 24, kHeader, PX_ERR_BAD_TGA},
    {"zero height", Make(2, 24, 4, 0), kImage, 32, kHeader, PX_ERR_BAD_TGA},
    {"zero width, dimensions", Make(2, 24, 0, 0), kDims, 0, kHeader, PX_OK},
    {"largest size", Make(2, 32, 65535, 65535), kImage, 32, kHeader, PX_OK},
    // Depths.
    {"colour as indices", Make(2, 8), kImage, 8, kHeader, PX_ERR_BIT_DEPTH},
    {"16-bit indices as indices", Make(1, 16), kImage, 8, kHeader, PX_ERR_BIT_DEPTH},
    {"grey as indices", Make(11, 8), kImage, 8, kHeader, PX_OK},
    {"palette of 16-bit pixels", Make(1, 16), kPal, 0, kHeader, PX_ERR_BIT_DEPTH},
    {"palette of 255-bit pixels", Make(2, 255), kPal, 0, kHeader, PX_ERR_BIT_DEPTH},
    {"palette of 8-bit colour", Make(2, 8), kPal, 0, kHeader, PX_OK},
    // The colour map, after the image ID.
    {"indices without a map", Make(1, 8), kImage, 24, kID, PX_ERR_BAD_TGA},
    {"indices, map of no entries", Mapped(1, 8, 24, 0), kImage, 8, kID, PX_ERR_BAD_TGA},
    {"palette of 8-bit colour", Make(2, 8), kPal, 0, kID, PX_ERR_BAD_TGA},
    {"grey without a map", Make(3, 8), kPal, 0, kID, PX_OK},
    {"colour without a map", Make(2, 24), kImage, 24, kID, PX_OK},
    {"12-bit map entries", Mapped(1, 8, 12), kImage, 32, kID, PX_ERR_BAD_TGA},
    {"0-bit map entries of a grey file", Mapped(3, 8, 0), kPal, 0, kID, PX_ERR_BAD_TGA},
    {"15-bit map entries", Mapped(9, 8, 15), kImage, 8, kID, PX_OK},
    {"dimensions of a broken map", Mapped(1, 8, 12), kDims, 0, kID, PX_OK},
    // Each fault at its own stage only.
    {"broken map at the header", Mapped(1, 8, 12), kImage, 24, kHeader, PX_OK},
    {"type 0 at the image ID", Make(0, 24), kImage, 24, kID, PX_OK},
};

TEST(TGACheckHeader, HostileAndOddHeaders) {
  pxtest::ExpectHeaderCases(kCases, CheckHeader);
}

TEST(TGACheckHeader, PixelKinds) {
  pxtga::PixelKind kind;
  ASSERT_TRUE(pxtga::ChoosePixelKind(Make(9, 16), &kind));
  EXPECT_EQ(kind, pxtga::PixelKind::kIndex16);
  ASSERT_TRUE(pxtga::ChoosePixelKind(Make(2, 16), &kind));
  EXPECT_EQ(kind, pxtga::PixelKind::kColor16);
  ASSERT_TRUE(pxtga::ChoosePixelKind(Make(11, 8), &kind));
  EXPECT_EQ(kind, pxtga::PixelKind::kGrey8);
  EXPECT_FALSE(pxtga::ChoosePixelKind(Make(1, 32), &kind));
  EXPECT_EQ(pxtga::MapEntryBytes(15), 2u);
  EXPECT_EQ(pxtga::MapEntryBytes(31), 0u);
}

}  // namespace
