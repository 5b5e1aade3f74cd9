// GIF in the command-line tool: the logical screen for `info`.
#include "formats.h"
#include "formats/single_page.h"
#include "pixolith/px_gif.h"

namespace cli {

namespace {

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0, bits = 0;
  int background = 0, transparent = -1, flag = 0;
  if (!PXGetGIFDimensionsEx(source, &w, &h, &bits, &background, &transparent, nullptr, &flag))
    return PXGetLastError();
  json::Value page = PageObject(w, h, bits, PXResolution{});
  page.Set("background_index", background);
  page.Set("transparent_index", transparent);
  SetSinglePage(info, std::move(page));
  return 0;
}

const FormatRegistration kGIF({PX_FORMAT_GIF, Describe});

}  // namespace

}  // namespace cli
