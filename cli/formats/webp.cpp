// WebP in the command-line tool: header facts for `info`.
#include "formats.h"
#include "formats/single_page.h"
#include "pixolith/px_webp.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0, bpp = 0, coding = 0, frames = 0;
  if (!PXGetWebPDimensionsEx(source, &w, &h, &bpp, &coding, &frames)) return PXGetLastError();
  json::Value page = PageObject(w, h, bpp, PXResolution{});
  page.Set("coding", (coding & PX_WEBP_ANIMATED)   ? "animation"
                     : (coding & PX_WEBP_LOSSLESS) ? "lossless"
                                                   : "lossy");
  page.Set("frames", frames);
  page.Set("alpha", bool(coding & PX_WEBP_ALPHA));
  page.Set("orientation", PXGetLastWebPOrientation());
  SetSinglePage(info, std::move(page));
  return 0;
}

const FormatRegistration kWebP({PX_FORMAT_WEBP, Describe});

}  // namespace

}  // namespace cli
