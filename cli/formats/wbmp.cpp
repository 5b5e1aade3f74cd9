// Wireless Bitmap in the command-line tool: one black-and-white page.
#include "formats.h"
#include "pixolith/px_pcx_tga_wbmp.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t width, height;
  if (!PXGetWBMPDimensions(source, &width, &height)) return PXGetLastError();
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  pages.Append(PageObject(width, height, 1, PXResolution{}));
  info.Set("page_info", std::move(pages));
  return 0;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0) return PX_ERR_PARAMETER;
  // A type 0 Wireless Bitmap is one bit per pixel.
  if (depth == 0) depth = 1;
  out.pixels = PXReadWBMP(source, &out.width, &out.height, out.palette, uint32_t(depth), 0);
  int error = PXGetLastError();
  out.bitsPerPixel = uint32_t(depth);
  out.colors = 2;
  return error;
}

const FormatRegistration kWBMP({PX_FORMAT_WBMP, "WBMP", Describe, Decode, kDepth1 | kDepth8});

}  // namespace

}  // namespace cli
