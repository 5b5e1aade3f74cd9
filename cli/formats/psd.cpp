// Photoshop files in the command-line tool: header facts for `info`.
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

int Describe(PXSource source, const std::string&, json::Value& info) {
  uint32_t w = 0, h = 0;
  int mode = 0;
  PXResolution res = {};
  if (!PXGetPSDDimensions(source, &w, &h, &mode, &res)) return PXGetLastError();
  // The depth the file is read at: a palette for the modes of one channel.
  const uint32_t bits = FindImageType(FindImageFormat(PX_FORMAT_PSD)->refine(source, 0).type)->bits;
  json::Value page = PageObject(w, h, bits, res);
  page.Set("color_mode", ModeName(mode));
  SetSinglePage(info, std::move(page));
  return 0;
}

const FormatRegistration kPSD({PX_FORMAT_PSD, Describe});

}  // namespace

}  // namespace cli
