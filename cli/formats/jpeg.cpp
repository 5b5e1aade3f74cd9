// JPEG in the command-line tool: header facts for `info`.
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

const FormatRegistration kJPEG({PX_FORMAT_JPEG, Describe});

}  // namespace

}  // namespace cli
