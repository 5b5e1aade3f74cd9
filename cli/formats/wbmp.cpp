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

const FormatRegistration kWBMP({PX_FORMAT_WBMP, Describe});

}  // namespace

}  // namespace cli
