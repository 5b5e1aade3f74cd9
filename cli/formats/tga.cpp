// TGA in the command-line tool: one page; the format stores no resolution.
#include "formats.h"
#include "pixolith/px_pcx_tga_wbmp.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t width, height, bits;
  if (!PXGetTGADimensions(source, &width, &height, &bits)) return PXGetLastError();
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  pages.Append(PageObject(width, height, bits, PXResolution{}));
  info.Set("page_info", std::move(pages));
  return 0;
}

const FormatRegistration kTGA({PX_FORMAT_TGA, Describe});

}  // namespace

}  // namespace cli
