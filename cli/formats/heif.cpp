// HEIF and AVIF in the command-line tool: header facts for `info`, pixels for `decode`.
#include "formats.h"
#include "formats/single_page.h"
#include "pixolith/px_heif.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0, bpp = 0, sampleBits = 0, images = 0;
  char brand[5] = {};
  if (!PXGetHEIFDimensionsEx(source, &w, &h, &bpp, brand, &sampleBits, &images))
    return PXGetLastError();
  json::Value page = PageObject(w, h, bpp, PXResolution{});
  page.Set("brand", brand);
  page.Set("bits_per_sample", sampleBits);
  page.Set("images", images);
  // The turn and mirror the reader has applied already.
  page.Set("orientation", PXGetLastHEIFOrientation());
  SetSinglePage(info, std::move(page));
  return 0;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0 || (depth != 0 && depth != 8 && depth != 24)) return PX_ERR_PARAMETER;
  if (depth == 0) depth = 24;
  out.pixels = PXReadHEIF(source, &out.width, &out.height, depth, out.palette, 0);
  const int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = uint32_t(depth);
  if (depth == 8) out.colors = 256;
  return error;
}

const FormatRegistration kHEIF({PX_FORMAT_HEIF, "HEIF", Describe, Decode, kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
