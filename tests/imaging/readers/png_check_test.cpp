// The PNG header check on its own: the layouts each depth can have, and claimed sizes
// against the data left in the file and the largest block, no file involved.
#include <gtest/gtest.h>
#include <png.h>

#include "pixolith/px_png.h"
#include "readers/png/png_header.h"

namespace {

using pxpng::CheckHeader;
using pxpng::Header;

Header Make(uint32_t width, uint32_t height, int bitDepth, int colorType, uint32_t channels) {
  Header h;
  h.width = width;
  h.height = height;
  h.bitDepth = bitDepth;
  h.colorType = colorType;
  h.channels = channels;
  return h;
}

constexpr uint64_t kPlenty = uint64_t(1) << 40;

TEST(PNGCheckHeader, DepthsTheColourTypeCannotGive) {
  const Header rgb = Make(4, 4, 8, PNG_COLOR_TYPE_RGB, 3);
  const Header grey2 = Make(4, 4, 2, PNG_COLOR_TYPE_GRAY, 1);
  const Header palette = Make(4, 4, 8, PNG_COLOR_TYPE_PALETTE, 1);
  const Header greyAlpha = Make(4, 4, 8, PNG_COLOR_TYPE_GRAY_ALPHA, 2);
  struct Case {
    const char* what;
    Header header;
    int depth;
    uint32_t flags;
    int expected;
  } cases[] = {
      {"RGB as indices", rgb, 8, 0, PX_ERR_BIT_DEPTH},
      {"RGB as 1 bit", rgb, 1, 0, PX_ERR_BIT_DEPTH},
      {"RGB as grey and alpha", rgb, 16, 0, PX_ERR_BIT_DEPTH},
      {"2-bit grey as 1 bit", grey2, 1, 0, PX_ERR_BIT_DEPTH},
      {"2-bit grey as indices", grey2, 8, 0, PX_OK},
      {"palette as 16-bit grey", palette, 16, PX_PNG_READ_GRAY16, PX_ERR_BIT_DEPTH},
      {"palette as 48 bits", palette, 48, 0, PX_ERR_BIT_DEPTH},
      {"grey and alpha as 16-bit grey", greyAlpha, 16, PX_PNG_READ_GRAY16, PX_ERR_BIT_DEPTH},
      {"grey and alpha as grey and alpha", greyAlpha, 16, 0, PX_OK},
      {"no such depth", rgb, 12, 0, PX_ERR_BIT_DEPTH},
      {"zero depth", rgb, 0, 0, PX_ERR_BIT_DEPTH},
      {"any depth in a DIB", rgb, 12, PX_PNG_READ_DIB, PX_OK},
      {"palette in 64 bits", palette, 64, 0, PX_OK},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckHeader(c.header, c.depth, c.flags, kPlenty), c.expected) << c.what;
}

TEST(PNGCheckHeader, ClaimedSizesAgainstTheData) {
  // 10000 x 10000 grey bytes: deflate needs at least 1/1040 of them, less 1 KiB of slack.
  const Header grey = Make(10000, 10000, 8, PNG_COLOR_TYPE_GRAY, 1);
  const uint64_t least = 100000000 / 1040 - 1024;
  EXPECT_EQ(CheckHeader(grey, 8, 0, least), PX_OK);
  EXPECT_EQ(CheckHeader(grey, 8, 0, least - 1), PX_ERR_BAD_PNG);
  // No size is trusted: even a small image must fit in what is left.
  const Header small = Make(2000, 2000, 8, PNG_COLOR_TYPE_RGB, 3);
  EXPECT_EQ(CheckHeader(small, 24, 0, 0), PX_ERR_BAD_PNG);
  EXPECT_EQ(CheckHeader(Make(100, 100, 8, PNG_COLOR_TYPE_RGB, 3), 24, 0, 0), PX_OK);
  // The file's data is judged in its stored bits, not the output's.
  const Header bits = Make(30000, 30000, 1, PNG_COLOR_TYPE_GRAY, 1);
  EXPECT_EQ(CheckHeader(bits, 1, 0, 112500000 / 1040 - 1024), PX_OK);
  EXPECT_EQ(CheckHeader(bits, 8, 0, 100), PX_ERR_BAD_PNG);
}

TEST(PNGCheckHeader, OutputsBeyondOneBlock) {
  const Header wide = Make(65536, 65536, 8, PNG_COLOR_TYPE_RGB, 3);
  EXPECT_EQ(CheckHeader(wide, 24, 0, kPlenty), PX_ERR_NO_MEMORY);
  EXPECT_EQ(CheckHeader(wide, 0, PX_PNG_READ_DIB, kPlenty), PX_ERR_NO_MEMORY);
  // 46000 x 46000 bytes fit one block, as 8-bit indices but not as RGB.
  const Header grey = Make(46000, 46000, 8, PNG_COLOR_TYPE_GRAY, 1);
  EXPECT_EQ(CheckHeader(grey, 8, 0, kPlenty), PX_OK);
  EXPECT_EQ(CheckHeader(grey, 24, 0, kPlenty), PX_ERR_NO_MEMORY);
  EXPECT_EQ(
      pxpng::OutputSize(Make(3, 2, 8, PNG_COLOR_TYPE_PALETTE, 1), pxpng::Layout::kIndex8, true),
      40u + 1024 + 2 * 4);
}

}  // namespace
