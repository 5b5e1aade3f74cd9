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

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0) return PX_ERR_PARAMETER;
  uint32_t width, height, bits;
  if (!PXGetTGADimensions(source, &width, &height, &bits)) return PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  // Colour-mapped and grey files of up to 8 bits stay indexed; the rest is true colour.
  if (depth == 0) depth = bits <= 8 ? 8 : 24;
  out.pixels = PXReadTGA(source, &out.width, &out.height, uint32_t(depth), out.palette, 0);
  int error = PXGetLastError();
  out.bitsPerPixel = uint32_t(depth);
  out.colors = depth <= 8 ? 256 : 0;
  return error;
}

const FormatRegistration kTGA({PX_FORMAT_TGA, "TGA", Describe, Decode, kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
