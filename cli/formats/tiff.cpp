// TIFF in the command-line tool: every page described, any one page decoded.
#include "formats.h"
#include "pixolith/px_tiff.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  const uint32_t count = PXGetTIFFPageCount(source);
  if (!count) return PXGetLastError();
  info.Set("pages", count);
  json::Value pages = json::Value::Array();
  int error = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t width = 0, height = 0, bits = 0;
    PXResolution res = {};
    if (!PXGetTIFFDimensions(source, i, &width, &height, &bits, &res)) {
      error = PXGetLastError();
      break;
    }
    json::Value& page = pages.Append(PageObject(width, height, bits, res));
    VARIANT compression;
    if (PXGetTIFFTag(source, i, 259, &compression)) page.Set("compression", compression.uiVal);
    VariantClear(&compression);
  }
  info.Set("page_info", std::move(pages));
  return error;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  uint32_t width = 0, height = 0, bits = 0;
  if (!PXGetTIFFDimensions(source, uint32_t(page), &width, &height, &bits, &out.resolution))
    return PXGetLastError();
  if (depth == 0) depth = bits == 1 ? 1 : bits <= 8 ? 8 : 24;
  out.pixels =
      PXReadTIFF(source, &out.width, &out.height, uint32_t(depth), out.palette, uint32_t(page), 0);
  int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = uint32_t(depth);
  out.colors = depth == 1 ? 2 : depth == 8 ? 256 : 0;
  return error;
}

const FormatRegistration kTIFF({PX_FORMAT_TIFF, "TIFF", Describe, Decode,
                                kDepth1 | kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
