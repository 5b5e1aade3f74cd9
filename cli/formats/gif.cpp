// GIF in the command-line tool: the logical screen for `info`, the first image for
// `decode`.
#include <cstring>

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

// The palette image turned into RGB.
int ExpandToRGB(Image& image) {
  size_t pixels = size_t(image.width) * image.height;
  auto* rgb = static_cast<uint8_t*>(GlobalAlloc(GPTR, pixels * 3));
  if (!rgb) return PX_ERR_NO_MEMORY;
  for (size_t i = 0; i < pixels; ++i) {
    const RGBQUAD& q = image.palette[image.pixels[i]];
    rgb[3 * i] = q.rgbRed;
    rgb[3 * i + 1] = q.rgbGreen;
    rgb[3 * i + 2] = q.rgbBlue;
  }
  GlobalFree(image.pixels);
  image.pixels = rgb;
  image.bitsPerPixel = 24;
  return 0;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0 || (depth != 0 && depth != 8 && depth != 24)) return PX_ERR_PARAMETER;
  int transparent = -1;
  out.pixels = PXReadGIF(source, &out.width, &out.height, &transparent, out.palette, 0);
  int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = 8;
  // As the application does: the colour count from the screen's bits per pixel.
  PXSeekSource(source, 0, PX_SEEK_SET);
  uint32_t w, h, bits = 8;
  if (!PXGetGIFDimensions(source, &w, &h, &bits, &transparent, nullptr)) bits = 8;
  out.colors = 1u << bits;
  if (depth == 24) {
    if (int e = ExpandToRGB(out)) return e;
  }
  return error;
}

const FormatRegistration kGIF({PX_FORMAT_GIF, "GIF", Describe, Decode, kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
