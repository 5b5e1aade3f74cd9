// BMP in the command-line tool: one page, as the library's dimension call describes it.
#include "formats.h"
#include "pixolith/px_bmp.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  int32_t width = 0, height = 0;
  uint32_t bits = 0;
  PXResolution res = {};
  PXSeekSource(source, 0, PX_SEEK_SET);
  if (!PXGetBMPDimensions(source, &width, &height, &bits, &res)) return PXGetLastError();
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  json::Value& page = pages.Append(PageObject(uint32_t(width), uint32_t(height), bits, res));
  // Top-down files report a negative height, as the library does.
  page.Set("width", width);
  page.Set("height", height);
  info.Set("page_info", std::move(pages));
  return 0;
}

const FormatRegistration kBMP({PX_FORMAT_BMP, Describe});

}  // namespace

}  // namespace cli
