#include "formats.h"

#include <map>

namespace cli {

namespace {

std::map<int, FormatHandler>& Handlers() {
  static std::map<int, FormatHandler> handlers;
  return handlers;
}

}  // namespace

FormatRegistration::FormatRegistration(const FormatHandler& handler) {
  Handlers()[handler.id] = handler;
}

const FormatHandler* FindFormat(int id) {
  auto it = Handlers().find(id);
  return it == Handlers().end() ? nullptr : &it->second;
}

const char* FormatName(int id) {
  switch (id) {
    case PX_FORMAT_BMP:
      return "BMP";
    case PX_FORMAT_GIF:
      return "GIF";
    case PX_FORMAT_JPEG:
      return "JPEG";
    case PX_FORMAT_PNG:
      return "PNG";
    case PX_FORMAT_PCX:
      return "PCX";
    case PX_FORMAT_TIFF:
      return "TIFF";
    case PX_FORMAT_WMF:
      return "WMF";
    case PX_FORMAT_EMF:
      return "EMF";
    case PX_FORMAT_PAX:
      return "PAX";
    case PX_FORMAT_PSD:
      return "PSD";
    case PX_FORMAT_TLA:
      return "TLA";
    case PX_FORMAT_TLAU:
      return "TLAU";
    case PX_FORMAT_WBMP:
      return "WBMP";
    case PX_FORMAT_TGA:
      return "TGA";
    case PX_FORMAT_PCD_OPA:
      return "PCD_OPA";
    case PX_FORMAT_PHOTO_CD:
      return "Photo CD";
    case PX_FORMAT_JP2:
      return "JPEG 2000";
    case PX_FORMAT_J2K_CODESTREAM:
      return "JPEG 2000 codestream";
    case PX_FORMAT_OLE:
      return "OLE compound document";
    default:
      return "unknown";
  }
}

}  // namespace cli
