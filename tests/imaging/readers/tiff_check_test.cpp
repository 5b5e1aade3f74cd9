// The TIFF page check on its own: sizes, sample layouts and orientations against every
// output depth, no file involved.
#include <gtest/gtest.h>

#include "readers/tiff/tiff_paths.h"

namespace {

using pxtiff::CheckHeader;
using pxtiff::PageInfo;
using pxtiff::ReadRequest;

PageInfo Page(uint16_t bits, uint16_t samples, uint16_t photometric) {
  PageInfo p;
  p.width = 8;
  p.height = 8;
  p.bitsPerSample = bits;
  p.samplesPerPixel = samples;
  p.hasPhotometric = true;
  p.photometric = photometric;
  p.rowsPerStrip = 8;
  return p;
}

PageInfo Sized(uint32_t width, uint32_t height) {
  PageInfo p = Page(8, 3, PHOTOMETRIC_RGB);
  p.width = width;
  p.height = height;
  return p;
}

PageInfo Turned(uint16_t orientation) {
  PageInfo p = Page(1, 1, PHOTOMETRIC_MINISWHITE);
  p.orientation = orientation;
  return p;
}

PageInfo Planar(uint16_t bits, uint16_t samples) {
  PageInfo p = Page(bits, samples, PHOTOMETRIC_MINISBLACK);
  p.planar = 2;
  return p;
}

ReadRequest At(uint32_t depth, uint32_t flags = 0) {
  ReadRequest r;
  r.depth = depth;
  r.flags = flags;
  r.dib = flags & PX_READ_PACKED_DIB;
  return r;
}

struct Case {
  const char* what;
  PageInfo page;
  ReadRequest request;
  int expected;
};

const Case kCases[] = {
    {"zero width", Sized(0, 8), At(24), PX_ERR_BAD_TIFF},
    {"zero height", Sized(8, 0), At(1), PX_ERR_BAD_TIFF},
    {"wider than a DIB", Sized(0x80000000u, 1), At(24), PX_ERR_BAD_TIFF},
    {"taller than a DIB", Sized(1, UINT32_MAX), At(32), PX_ERR_BAD_TIFF},
    {"widest a DIB can be", Sized(INT32_MAX, 1), At(24), PX_OK},
    // 1 bit.
    {"2-bit page at 1 bit", Page(2, 1, PHOTOMETRIC_MINISBLACK), At(1), PX_ERR_BIT_DEPTH},
    {"two 1-bit samples", Page(1, 2, PHOTOMETRIC_MINISBLACK), At(1), PX_ERR_BIT_DEPTH},
    {"planar 1-bit samples", Planar(1, 2), At(1), PX_ERR_BIT_DEPTH},
    {"fax page", Page(1, 1, PHOTOMETRIC_MINISWHITE), At(1), PX_OK},
    {"1-bit page stored turned", Turned(ORIENTATION_LEFTTOP), At(1), PX_ERR_UNEXPECTED},
    {"... with orientation ignored", Turned(ORIENTATION_RIGHTBOT),
     At(1, PX_TIFF_IGNORE_ORIENTATION), PX_OK},
    {"1-bit page stored mirrored", Turned(ORIENTATION_BOTRIGHT), At(1), PX_OK},
    {"1-bit page turned, at 8 bits", Turned(ORIENTATION_LEFTBOT), At(8), PX_OK},
    // 8 bits.
    {"RGB as indices", Page(8, 3, PHOTOMETRIC_RGB), At(8), PX_ERR_BIT_DEPTH},
    {"CMYK as indices", Page(8, 4, PHOTOMETRIC_SEPARATED), At(8), PX_ERR_BIT_DEPTH},
    {"YCbCr as indices", Page(8, 3, PHOTOMETRIC_YCBCR), At(8), PX_ERR_BIT_DEPTH},
    {"LogLuv as indices", Page(16, 1, PHOTOMETRIC_LOGLUV), At(8), PX_ERR_BIT_DEPTH},
    {"grey and alpha as indices", Page(8, 2, PHOTOMETRIC_MINISBLACK), At(8), PX_ERR_BIT_DEPTH},
    {"0-bit samples", Page(0, 1, PHOTOMETRIC_MINISBLACK), At(8), PX_ERR_BIT_DEPTH},
    {"12-bit samples", Page(12, 1, PHOTOMETRIC_MINISBLACK), At(8), PX_ERR_BIT_DEPTH},
    {"32-bit samples", Page(32, 1, PHOTOMETRIC_MINISBLACK), At(8), PX_ERR_BIT_DEPTH},
    {"16-bit palette", Page(16, 1, PHOTOMETRIC_PALETTE), At(8), PX_ERR_PARAMETER},
    {"16-bit grey as indices", Page(16, 1, PHOTOMETRIC_MINISWHITE), At(8), PX_OK},
    {"4-bit palette", Page(4, 1, PHOTOMETRIC_PALETTE), At(8), PX_OK},
    // 16 bits.
    {"8-bit grey at 16 bits", Page(8, 1, PHOTOMETRIC_MINISBLACK), At(16), PX_ERR_BIT_DEPTH},
    {"16-bit RGB at 16 bits", Page(16, 3, PHOTOMETRIC_RGB), At(16), PX_ERR_BIT_DEPTH},
    {"16-bit grey at 16 bits", Page(16, 1, PHOTOMETRIC_MINISBLACK), At(16), PX_OK},
    // Colour is libtiff's to judge.
    {"LogLuv in colour", Page(16, 1, PHOTOMETRIC_LOGLUV), At(24), PX_OK},
    {"odd samples in colour", Page(3, 7, PHOTOMETRIC_SEPARATED), At(32, PX_READ_PACKED_DIB), PX_OK},
};

TEST(TIFFCheckHeader, HostileAndOddPages) {
  for (const Case& c : kCases) EXPECT_EQ(CheckHeader(c.page, c.request), c.expected) << c.what;
}

}  // namespace
