// The GIF header check on its own: screen and image sizes and the claimed size against the
// data left in the file, no file involved.
#include <gtest/gtest.h>

#include "readers/gif/gif_decoder.h"

namespace {

using pxgif::CheckHeader;
using pxgif::Header;
using pxgif::Output;

Header Make(uint32_t screenW, uint32_t screenH, uint32_t imageW, uint32_t imageH) {
  return {screenW, screenH, imageW, imageH};
}

TEST(GIFCheckHeader, ScreensAndImagesWithoutPixels) {
  for (Output output : {Output::kScreen, Output::kImage, Output::kPackedDIB}) {
    EXPECT_EQ(CheckHeader(Make(0, 5, 5, 5), output, 1000), PX_ERR_BAD_GIF);
    EXPECT_EQ(CheckHeader(Make(5, 0, 5, 5), output, 1000), PX_ERR_BAD_GIF);
  }
  // The screen call does not look at the image.
  EXPECT_EQ(CheckHeader(Make(5, 5, 0, 0), Output::kScreen, 0), PX_OK);
  EXPECT_EQ(CheckHeader(Make(5, 5, 0, 5), Output::kImage, 1000), PX_ERR_BAD_GIF);
  EXPECT_EQ(CheckHeader(Make(5, 5, 5, 0), Output::kPackedDIB, 1000), PX_ERR_BAD_GIF);
  // An image larger than its screen is read at its own size.
  EXPECT_EQ(CheckHeader(Make(1, 1, 300, 200), Output::kImage, 10), PX_OK);
}

TEST(GIFCheckHeader, ClaimedSizesAgainstTheData) {
  const Header largest = Make(65535, 65535, 65535, 65535);
  // 4 GB of indices cannot be one block; the image buffer of 65535 x 32000 can, but
  // LZW codes at most 8192 pixels a byte, so it needs some 250 KiB of data.
  EXPECT_EQ(CheckHeader(largest, Output::kImage, UINT64_MAX), PX_ERR_NO_MEMORY);
  EXPECT_EQ(CheckHeader(largest, Output::kPackedDIB, UINT64_MAX), PX_ERR_NO_MEMORY);
  const Header tall = Make(65535, 32000, 65535, 32000);
  const uint64_t least = uint64_t(65535) * 32000 / 8192;
  EXPECT_EQ(CheckHeader(tall, Output::kImage, least), PX_OK);
  EXPECT_EQ(CheckHeader(tall, Output::kImage, least - 1), PX_ERR_NO_MEMORY);
  EXPECT_EQ(CheckHeader(tall, Output::kImage, 0), PX_ERR_NO_MEMORY);
  // Up to 64 MiB an image is read as far as its data goes, even with none.
  EXPECT_EQ(CheckHeader(Make(8192, 8192, 8192, 8192), Output::kImage, 0), PX_OK);
  EXPECT_EQ(CheckHeader(Make(8192, 8193, 8192, 8193), Output::kImage, 0), PX_ERR_NO_MEMORY);
}

TEST(GIFCheckHeader, BlockSizes) {
  size_t bytes = 0;
  ASSERT_TRUE(pxgif::ImageBytes(Make(3, 2, 3, 2), false, &bytes));
  EXPECT_EQ(bytes, 6u);
  ASSERT_TRUE(pxgif::ImageBytes(Make(3, 2, 3, 2), true, &bytes));
  EXPECT_EQ(bytes, 40u + 1024 + 2 * 4);
  EXPECT_FALSE(pxgif::ImageBytes(Make(1, 1, 65535, 65535), false, &bytes));
}

}  // namespace
