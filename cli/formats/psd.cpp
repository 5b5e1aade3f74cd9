// Photoshop files in the command-line tool: header facts for `info`, the merged image
// for `decode`.
#include "formats.h"
#include "formats/single_page.h"
#include "pixolith/px_psd.h"

namespace cli {

namespace {

const char* ModeName(int mode) {
  switch (mode) {
    case PX_PSD_BITMAP:
      return "bitmap";
    case PX_PSD_GRAYSCALE:
      return "grayscale";
    case PX_PSD_INDEXED:
      return "indexed";
    case PX_PSD_RGB:
      return "RGB";
    case PX_PSD_CMYK:
      return "CMYK";
    case PX_PSD_MULTICHANNEL:
      return "multichannel";
    case PX_PSD_DUOTONE:
      return "duotone";
    case PX_PSD_LAB:
      return "Lab";
    default:
      return "unknown";
  }
}

bool IsPaletteMode(int mode) {
  return mode == PX_PSD_BITMAP || mode == PX_PSD_GRAYSCALE || mode == PX_PSD_INDEXED ||
         mode == PX_PSD_DUOTONE;
}

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0;
  int mode = 0;
  PXResolution res = {};
  if (!PXGetPSDDimensions(source, &w, &h, &mode, &res)) return PXGetLastError();
  json::Value page = PageObject(w, h, IsPaletteMode(mode) ? 8 : 24, res);
  page.Set("color_mode", ModeName(mode));
  SetSinglePage(info, std::move(page));
  return 0;
}

int Decode(PXSource source, const std::string&, int page, int depth, Image& out) {
  if (page != 0 || (depth != 0 && depth != 8 && depth != 24)) return PX_ERR_PARAMETER;
  uint32_t w = 0, h = 0;
  int mode = 0;
  PXResolution res = {};
  if (!PXGetPSDDimensions(source, &w, &h, &mode, &res)) return PXGetLastError();
  if (depth == 0) depth = IsPaletteMode(mode) ? 8 : 24;
  if (depth == 8) {
    PXSeekSource(source, 0, PX_SEEK_SET);
    if (!PXGetPSDPalette(source, &out.colors, out.palette)) return PXGetLastError();
  }
  PXSeekSource(source, 0, PX_SEEK_SET);
  out.pixels = PXReadPSD(source, &out.width, &out.height, depth, out.palette, 0);
  int error = PXGetLastError();
  if (!out.pixels) return error;
  out.bitsPerPixel = uint32_t(depth);
  out.resolution = res;
  return error;
}

const FormatRegistration kPSD({PX_FORMAT_PSD, "PSD", Describe, Decode, kDepth8 | kDepth24});

}  // namespace

}  // namespace cli
