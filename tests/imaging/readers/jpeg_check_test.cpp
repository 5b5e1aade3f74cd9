// The JPEG frame check on its own: the output modes each colour space has, and claimed
// sizes against the file and the largest block, no file involved.
#include <gtest/gtest.h>

#include "pixolith/px_jpeg.h"
#include "readers/jpeg/jpeg_header.h"

namespace {

using pxjpeg::CheckHeader;
using pxjpeg::Header;

Header Frame(uint32_t width, uint32_t height, uint32_t components) {
  Header h;
  h.imageWidth = h.outputWidth = width;
  h.imageHeight = h.outputHeight = height;
  h.components = h.outputComponents = components;
  return h;
}

Header CMYK() {
  Header h = Frame(4, 4, 4);
  h.jpegCMYK = true;
  return h;
}

Header YCbCr() {
  Header h = Frame(4, 4, 3);
  h.outputYCbCr = true;
  return h;
}

constexpr uint64_t kPlenty = uint64_t(1) << 40;

TEST(JPEGCheckHeader, ModesEachColourSpaceHas) {
  struct Case {
    const char* what;
    Header frame;
    int depth;
    DWORD flags;
    int expected;
  } cases[] = {
      {"grey at 8", Frame(4, 4, 1), 8, 0, PX_OK},
      {"grey at 24", Frame(4, 4, 1), 24, 0, PX_OK},
      {"grey at 32", Frame(4, 4, 1), 32, 0, PX_ERR_BIT_DEPTH},
      {"grey DIB whatever the depth", Frame(4, 4, 1), 32, PX_JPEG_DIB, PX_OK},
      {"RGB at 8", Frame(4, 4, 3), 8, 0, PX_ERR_BIT_DEPTH},
      {"RGB at 32", Frame(4, 4, 3), 32, 0, PX_ERR_BIT_DEPTH},
      {"CMYK at 24", CMYK(), 24, 0, PX_OK},
      {"CMYK at 32", CMYK(), 32, 0, PX_ERR_BIT_DEPTH},
      {"raw CMYK at 32", CMYK(), 32, PX_JPEG_RAW_CMYK, PX_OK},
      {"raw CMYK at 24", CMYK(), 24, PX_JPEG_RAW_CMYK, PX_ERR_BIT_DEPTH},
      {"raw CMYK DIB", CMYK(), 32, PX_JPEG_RAW_CMYK | PX_JPEG_DIB, PX_ERR_BIT_DEPTH},
      {"YCbCr at 32", YCbCr(), 32, 0, PX_ERR_BIT_DEPTH},
      {"four channels neither CMYK nor YCCK", Frame(4, 4, 4), 24, 0, PX_ERR_BAD_JPEG},
      {"two channels", Frame(4, 4, 2), 24, 0, PX_ERR_BAD_JPEG},
      {"no channels", Frame(4, 4, 0), 8, 0, PX_ERR_BAD_JPEG},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckHeader(c.frame, c.depth, c.flags, kPlenty), c.expected) << c.what;
}

TEST(JPEGCheckHeader, ClaimedSizesAgainstTheFile) {
  // The largest frame, scaled to an eighth: the output is one block, but all of the
  // frame is decoded, and Huffman data codes at most 1024 pixels a byte.
  Header big = Frame(65500, 65500, 3);
  big.outputWidth = big.outputHeight = 8188;
  const uint64_t least = uint64_t(65500) * 65500 / 1024;
  EXPECT_EQ(CheckHeader(big, 24, 0, least), PX_OK);
  EXPECT_EQ(CheckHeader(big, 24, 0, least - 1), PX_ERR_NO_MEMORY);
  // Arithmetic coding has no such floor.
  big.arithmetic = true;
  EXPECT_EQ(CheckHeader(big, 24, 0, 0), PX_OK);
  // Unscaled, the output is more than one block.
  EXPECT_EQ(CheckHeader(Frame(65500, 65500, 3), 24, 0, kPlenty), PX_ERR_NO_MEMORY);
  // Up to 64 MiB of samples a frame is read as far as its data goes.
  EXPECT_EQ(CheckHeader(Frame(4096, 4096, 3), 24, 0, 0), PX_OK);
  // The mode is judged before the size.
  EXPECT_EQ(CheckHeader(Frame(4096, 4097, 4), 24, 0, 0), PX_ERR_BAD_JPEG);
  Header cmyk = CMYK();
  cmyk.imageWidth = cmyk.outputWidth = 4096;
  cmyk.imageHeight = cmyk.outputHeight = 4097;
  EXPECT_EQ(CheckHeader(cmyk, 24, 0, 0), PX_ERR_NO_MEMORY);
}

TEST(JPEGCheckHeader, RowsPaddedForDIBsAndWindowsRows) {
  const Header h = Frame(5, 1, 3);
  EXPECT_EQ(pxjpeg::RowBytes(h, pxjpeg::kOutRGB, 0), 15u);
  EXPECT_EQ(pxjpeg::RowBytes(h, pxjpeg::kOutRGB, PX_JPEG_WINDOWS_ROWS), 16u);
  EXPECT_EQ(pxjpeg::RowBytes(h, pxjpeg::kOutGrey, PX_JPEG_DIB), 8u);
  EXPECT_EQ(pxjpeg::RowBytes(h, pxjpeg::kOutCMYK, 0), 20u);
}

}  // namespace
