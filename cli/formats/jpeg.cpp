// JPEG in the command-line tool: header facts for `info`, pixels for `decode`.
#include "formats.h"
#include "formats/single_page.h"
#include "pixolith/px_jpeg.h"

namespace cli {

namespace {

const char* ColorSpaceName(int space) {
  switch (space) {
    case 1:
      return "grayscale";
    case 2:
      return "RGB";
    case 3:
      return "YCbCr";
    case 4:
      return "CMYK";
    case 5:
      return "YCCK";
    default:
      return "unknown";
  }
}

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0, bpp = 0, coding = 0;
  int space = 0;
  PXResolution res = {};
  if (!PXGetJPEGDimensionsEx(source, &w, &h, &bpp, &space, &coding, &res)) return PXGetLastError();
  json::Value page = PageObject(w, h, bpp, res);
  page.Set("color_space", ColorSpaceName(space));
  page.Set("progressive", bool(coding & PX_JPEG_PROGRESSIVE));
  page.Set("arithmetic", bool(coding & PX_JPEG_ARITHMETIC));
  page.Set("orientation", PXGetLastJPEGOrientation());
  SetSinglePage(info, std::move(page));
  return 0;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0 || (depth != 0 && depth != 8 && depth != 24)) return PX_ERR_PARAMETER;
  uint32_t w = 0, h = 0, bpp = 0;
  PXResolution res = {};
  if (!PXGetJPEGDimensions(source, &w, &h, &bpp, &res)) return PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  // Grey files come as 8-bit images over a grey ramp, everything else as RGB.
  if (depth == 0) depth = bpp <= 8 ? 8 : 24;
  out.pixels = PXReadJPEG(source, &out.width, &out.height, depth, 0);
  int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = uint32_t(depth);
  out.resolution = res;
  if (depth == 8) {
    out.colors = 256;
    for (int i = 0; i < 256; ++i) out.palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  }
  return error;
}

const FormatRegistration kJPEG({PX_FORMAT_JPEG, "JPEG", Describe, Decode, kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
