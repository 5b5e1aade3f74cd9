// PNG for the command-line tool: info fields, decoding, and `decode -o x.png`.
#include <algorithm>

#include "formats.h"
#include "pixolith/px_png.h"

namespace cli {

namespace {

int SamplesPerPixel(int colorType) {
  switch (colorType) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;
  }
}

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t width, height;
  int bitDepth, colorType, interlace;
  PXResolution resolution = {};
  if (!PXGetPNGDimensions(source, &width, &height, &bitDepth, &colorType, &interlace, &resolution))
    return PXGetLastError();
  info.Set("pages", 1);
  info.Set("bit_depth", bitDepth);
  info.Set("color_type", colorType);
  info.Set("interlace", interlace);
  json::Value pages = json::Value::Array();
  pages.Append(
      PageObject(width, height, uint32_t(bitDepth * SamplesPerPixel(colorType)), resolution));
  info.Set("page_info", std::move(pages));
  return 0;
}

// Depth 0 is the image object's choice: 1-bit files stay 1-bit, palette files of up to
// 8 bits stay indexed, everything else becomes RGB.
int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0) return PX_ERR_PARAMETER;
  uint32_t width, height;
  int bitDepth, colorType, interlace, colors = 0;
  PXResolution resolution = {};
  if (!PXGetPNGInfo(source, &width, &height, &bitDepth, &colorType, &interlace, &resolution,
                    &colors, out.palette, nullptr, nullptr, nullptr, nullptr, nullptr))
    return PXGetLastError();
  if (depth == 0) depth = bitDepth == 1 ? 1 : (colorType == 3 && bitDepth <= 8) ? 8 : 24;
  PXSeekSource(source, 0, PX_SEEK_SET);
  out.pixels =
      static_cast<uint8_t*>(PXReadPNG(source, &out.width, &out.height, depth, out.palette, 0));
  int error = PXGetLastError();
  out.bitsPerPixel = uint32_t(depth);
  out.colors = depth == 1 ? 2 : depth == 8 ? uint32_t(std::min(colors, 256)) : 0;
  out.resolution = resolution;
  return error;
}

// 24-bit images as RGB, 8-bit as palette images with their palette, 1-bit as two-entry
// palette images.
int WritePNGFile(const Image& image, const std::string& path) {
  int colorType = 2, bitDepth = 8, colors = 0;
  uint32_t stride = image.width * 3;
  if (image.bitsPerPixel == 8) {
    colorType = 3;
    colors = image.colors ? int(image.colors) : 256;
    stride = image.width;
  } else if (image.bitsPerPixel == 1) {
    colorType = 3;
    bitDepth = 1;
    colors = 2;
    stride = (image.width + 7) / 8;
  } else if (image.bitsPerPixel != 24) {
    return PX_ERR_PARAMETER;
  }
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return PXGetLastError();
  PXClearPNGTextChunks();
  PXWritePNG(sink, image.pixels, image.width, image.height, stride, bitDepth, colors,
             colors ? image.palette : nullptr, colorType, 0, nullptr, PX_PNG_WRITE_NO_TIME);
  int error = PXGetLastError();
  PXCloseSink(sink);
  return error;
}

const FormatRegistration kPNG({PX_FORMAT_PNG, "PNG", Describe, Decode,
                               kDepth1 | kDepth8 | kDepth24});
const OutputRegistration kPNGOutput({".png", WritePNGFile});

}  // namespace

}  // namespace cli
