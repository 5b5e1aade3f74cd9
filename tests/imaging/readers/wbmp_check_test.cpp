// The Wireless Bitmap header check on its own, no file involved.
#include <gtest/gtest.h>

#include "pixolith/px_core.h"
#include "readers/wbmp/wbmp_header.h"

namespace {

using pxwbmp::CheckHeader;
using pxwbmp::Header;
using pxwbmp::Output;

TEST(WBMPCheckHeader, TypesAndSizes) {
  for (Output output : {Output::kDimensions, Output::kImage}) {
    EXPECT_EQ(CheckHeader({1, 0, 8, 8}, output), PX_ERR_BAD_WBMP);
    EXPECT_EQ(CheckHeader({0, 1, 8, 8}, output), PX_ERR_BAD_WBMP);
    EXPECT_EQ(CheckHeader({0xFF, 0xFF, 8, 8}, output), PX_ERR_BAD_WBMP);
    EXPECT_EQ(CheckHeader({0, 0, 8, 8}, output), PX_OK);
    EXPECT_EQ(CheckHeader({0, 0, UINT32_MAX, UINT32_MAX}, output), PX_OK);
  }
  // Only an image needs pixels; the dimensions call reports the sizes as they are.
  EXPECT_EQ(CheckHeader({0, 0, 0, 8}, Output::kImage), PX_ERR_BAD_WBMP);
  EXPECT_EQ(CheckHeader({0, 0, 8, 0}, Output::kImage), PX_ERR_BAD_WBMP);
  EXPECT_EQ(CheckHeader({0, 0, 0, 0}, Output::kDimensions), PX_OK);
}

}  // namespace
