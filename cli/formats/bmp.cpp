// BMP in the command-line tool: one page, described and decoded by the library's reader.
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

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0) return PX_ERR_PARAMETER;
  int32_t width = 0, height = 0;
  uint32_t bits = 0;
  PXSeekSource(source, 0, PX_SEEK_SET);
  if (!PXGetBMPDimensions(source, &width, &height, &bits, &out.resolution)) return PXGetLastError();
  if (depth == 0) depth = bits == 1 ? 1 : bits <= 8 ? 8 : 24;
  PXSeekSource(source, 0, PX_SEEK_SET);
  out.pixels = PXReadBMP(source, &out.width, &out.height, uint32_t(depth), out.palette, 0);
  int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = uint32_t(depth);
  out.colors = depth == 24 ? 0 : 256;
  return error;
}

const FormatRegistration kBMP({PX_FORMAT_BMP, "BMP", Describe, Decode,
                               kDepth1 | kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
