// PNG for the command-line tool: info fields and `decode -o x.png`.
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

const FormatRegistration kPNG({PX_FORMAT_PNG, Describe});
const OutputRegistration kPNGOutput({".png", WritePNGFile});

}  // namespace

}  // namespace cli
