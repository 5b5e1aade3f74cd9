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

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0) return PX_ERR_PARAMETER;
  uint32_t width, height, bits;
  if (!PXGetPCXDimensionsEx(source, &width, &height, &bits, &out.resolution))
    return PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  // One-bit files stay 1-bit, palette files of up to 8 bits stay indexed, deeper ones
  // become true colour.
  if (depth == 0) depth = bits == 1 ? 1 : bits <= 8 ? 8 : 24;
  out.pixels = PXReadPCX(source, &out.width, &out.height, uint32_t(depth), out.palette, 0);
  int error = PXGetLastError();
  out.bitsPerPixel = uint32_t(depth);
  out.colors = depth <= 8 ? 256 : 0;
  return error;
}

const FormatRegistration kPCX({PX_FORMAT_PCX, "PCX", Describe, Decode,
                               kDepth1 | kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
