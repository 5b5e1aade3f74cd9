// PCX in the command-line tool: one page, with its resolution in dots per inch.
#include "formats.h"
#include "pixolith/px_pcx_tga_wbmp.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t width, height, bits;
  PXResolution resolution = {};
  if (!PXGetPCXDimensionsEx(source, &width, &height, &bits, &resolution)) return PXGetLastError();
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  pages.Append(PageObject(width, height, bits, resolution));
  info.Set("page_info", std::move(pages));
  return 0;
}

const FormatRegistration kPCX({PX_FORMAT_PCX, Describe});

}  // namespace

}  // namespace cli
