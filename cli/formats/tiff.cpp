// TIFF in the command-line tool: every page described.
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

const FormatRegistration kTIFF({PX_FORMAT_TIFF, Describe});

}  // namespace

}  // namespace cli
