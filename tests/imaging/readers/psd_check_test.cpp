// The Photoshop header check on its own: sizes, channel counts, depths and modes against
// every kind of read, no file involved.
#include <gtest/gtest.h>

#include "header_cases.h"
#include "pixolith/px_psd.h"
#include "readers/psd/psd_header.h"

namespace {

using pxpsd::CheckHeader;
using pxpsd::Header;
using pxpsd::Output;
using pxpsd::Stage;

Header Make(uint32_t channels, uint32_t width, uint32_t height, int depth, int mode,
            uint16_t compression = pxpsd::kRaw) {
  Header h;
  h.channels = channels;
  h.width = width;
  h.height = height;
  h.depth = depth;
  h.mode = mode;
  h.compression = compression;
  return h;
}

using Case = pxtest::HeaderCase<Header, Output, Stage>;

constexpr Output kDims = Output::kDimensions;
constexpr Output kPal = Output::kPalette;
constexpr Output kImage = Output::kImage;
constexpr Stage kHeader = Stage::kHeader;
constexpr Stage kData = Stage::kImageData;

const Case kCases[] = {
    {"no channels", Make(0, 4, 4, 8, PX_PSD_RGB), kDims, 0, kHeader, PX_ERR_BAD_PSD},
    {"57 channels", Make(57, 4, 4, 8, PX_PSD_RGB), kImage, 24, kHeader, PX_ERR_BAD_PSD},
    {"65535 channels", Make(65535, 4, 4, 8, PX_PSD_RGB), kPal, 0, kHeader, PX_ERR_BAD_PSD},
    {"56 channels", Make(56, 4, 4, 8, PX_PSD_RGB), kImage, 24, kHeader, PX_OK},
    {"zero width", Make(3, 0, 4, 8, PX_PSD_RGB), kDims, 0, kHeader, PX_ERR_BAD_PSD},
    {"zero height", Make(3, 4, 0, 8, PX_PSD_RGB), kImage, 32, kHeader, PX_ERR_BAD_PSD},
    // Sizes beyond any block are judged when allocating, against the file's data.
    {"largest sizes", Make(3, UINT32_MAX, UINT32_MAX, 8, PX_PSD_RGB), kImage, 24, kHeader, PX_OK},
    {"4-bit channels", Make(3, 4, 4, 4, PX_PSD_RGB), kImage, 24, kHeader, PX_ERR_PSD_SUBFORMAT},
    {"32-bit channels", Make(3, 4, 4, 32, PX_PSD_RGB), kImage, 32, kHeader, PX_ERR_PSD_SUBFORMAT},
    {"0-bit channels", Make(1, 4, 4, 0, PX_PSD_GRAYSCALE), kImage, 8, kHeader,
     PX_ERR_PSD_SUBFORMAT},
    {"RGB as indices", Make(3, 4, 4, 8, PX_PSD_RGB), kImage, 8, kHeader, PX_ERR_BIT_DEPTH},
    {"CMYK as indices", Make(4, 4, 4, 8, PX_PSD_CMYK), kImage, 8, kHeader, PX_ERR_BIT_DEPTH},
    {"Lab as indices", Make(3, 4, 4, 8, PX_PSD_LAB), kImage, 8, kHeader, PX_ERR_PSD_SUBFORMAT},
    {"Lab in colour", Make(3, 4, 4, 8, PX_PSD_LAB), kImage, 24, kHeader, PX_ERR_PSD_SUBFORMAT},
    {"multichannel", Make(3, 4, 4, 8, PX_PSD_MULTICHANNEL), kImage, 24, kHeader,
     PX_ERR_PSD_SUBFORMAT},
    {"duotone in colour", Make(1, 4, 4, 8, PX_PSD_DUOTONE), kImage, 24, kHeader, PX_OK},
    {"mode 65535", Make(1, 4, 4, 8, 65535), kImage, 32, kHeader, PX_ERR_PSD_SUBFORMAT},
    {"bitmap as indices", Make(1, 4, 4, 1, PX_PSD_BITMAP), kImage, 8, kHeader, PX_OK},
    {"palette of an RGB file", Make(3, 4, 4, 8, PX_PSD_RGB), kPal, 0, kHeader, PX_ERR_BIT_DEPTH},
    {"palette of 16-bit grey", Make(1, 4, 4, 16, PX_PSD_GRAYSCALE), kPal, 0, kHeader,
     PX_ERR_PSD_SUBFORMAT},
    {"palette of indexed", Make(1, 4, 4, 8, PX_PSD_INDEXED), kPal, 0, kHeader, PX_OK},
    {"dimensions of Lab", Make(3, 4, 4, 32, PX_PSD_LAB), kDims, 0, kHeader, PX_OK},
    // The image data section: channels for the mode, and its coding.
    {"RGB of two channels", Make(2, 4, 4, 8, PX_PSD_RGB), kImage, 24, kData, PX_ERR_BAD_PSD},
    {"CMYK of three channels", Make(3, 4, 4, 8, PX_PSD_CMYK), kImage, 24, kData, PX_ERR_BAD_PSD},
    {"16-bit run-length", Make(3, 4, 4, 16, PX_PSD_RGB, pxpsd::kRunLength), kImage, 24, kData,
     PX_ERR_PSD_SUBFORMAT},
    {"16-bit raw", Make(3, 4, 4, 16, PX_PSD_RGB), kImage, 24, kData, PX_OK},
    {"grey of one channel", Make(1, 4, 4, 8, PX_PSD_GRAYSCALE), kImage, 8, kData, PX_OK},
    // Each fault at its own stage only.
    {"two channels at the header", Make(2, 4, 4, 8, PX_PSD_RGB), kImage, 24, kHeader, PX_OK},
    {"Lab at the image data", Make(3, 4, 4, 8, PX_PSD_LAB), kImage, 24, kData, PX_OK},
    {"dimensions at the image data", Make(2, 4, 4, 8, PX_PSD_RGB), kDims, 0, kData, PX_OK},
};

TEST(PSDCheckHeader, HostileAndOddHeaders) {
  pxtest::ExpectHeaderCases(kCases, CheckHeader);
}

}  // namespace
