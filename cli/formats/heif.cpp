// HEIF and AVIF in the command-line tool: header facts for `info`.
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

const FormatRegistration kHEIF({PX_FORMAT_HEIF, Describe});

}  // namespace

}  // namespace cli
