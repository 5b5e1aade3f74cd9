// The TIFF reader's checks of a page against the read asked of it.
#include "readers/tiff/tiff_paths.h"

namespace pxtiff {

namespace {

// Other samples' bits would be mixed into the picture: only one-sample pages are read.
int CheckBilevel(const PageInfo& info, const ReadRequest& request) {
  if (info.bitsPerSample != 1 || info.separate() || info.samplesPerPixel != 1)
    return PX_ERR_BIT_DEPTH;
  // Packed bits are placed row by row; they are not turned.
  return RequestTransform(info, request).transpose ? PX_ERR_UNEXPECTED : PX_OK;
}

int CheckIndexed(const PageInfo& info) {
  const uint16_t ph = info.photometric, bits = info.bitsPerSample;
  if ((ph == PHOTOMETRIC_RGB && bits >= 8) || ph == PHOTOMETRIC_SEPARATED ||
      ph == PHOTOMETRIC_YCBCR || ph == PHOTOMETRIC_LOGLUV)
    return PX_ERR_BIT_DEPTH;
  // One sample per pixel, of 1 to 8 bits or 16: other layouts would be unpacked wrongly.
  if (info.samplesPerPixel != 1 || bits == 0 || (bits > 8 && bits != 16)) return PX_ERR_BIT_DEPTH;
  if (bits == 16 && ph != PHOTOMETRIC_MINISWHITE && ph != PHOTOMETRIC_MINISBLACK)
    return PX_ERR_PARAMETER;
  return PX_OK;
}

}  // namespace

int CheckHeader(const PageInfo& info, const ReadRequest& request) {
  // Sizes beyond what a DIB header (and libtiff's own row offsets) can hold are refused.
  if (info.width == 0 || info.height == 0 || info.width > INT32_MAX || info.height > INT32_MAX)
    return PX_ERR_BAD_TIFF;
  switch (request.depth) {
    case 1:
      return CheckBilevel(info, request);
    case 8:
      return CheckIndexed(info);
    case 16:
      return info.bitsPerSample == 16 && info.samplesPerPixel == 1 ? PX_OK : PX_ERR_BIT_DEPTH;
    default:
      return PX_OK;  // libtiff's RGBA decoding judges the page
  }
}

}  // namespace pxtiff
