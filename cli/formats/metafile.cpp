// WMF and EMF in the command-line tool: rendered at their natural size on white, as the
// application shows them.
#include "formats.h"
#include "pixolith/px_metafile.h"

namespace cli {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Renders the file; the picture extents 100 x 100 are what the application passes.
int Render(const std::string& path, Image& out) {
  uint32_t w = 0, h = 0;
  BYTE* pixels = PXRenderMetafileFile(path.c_str(), &w, &h, 100, 100, kWhite, 0);
  if (!pixels) return PXGetLastError();
  GlobalFree(out.pixels);
  out.pixels = pixels;
  out.width = w;
  out.height = h;
  out.bitsPerPixel = 24;
  out.colors = 0;
  out.resolution = {};
  return 0;
}

int Describe(PXSource, const std::string& path, json::Value& info) {
  Image image;
  if (int error = Render(path, image)) return error;
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  pages.Append(PageObject(image.width, image.height, 24, image.resolution));
  info.Set("page_info", std::move(pages));
  return 0;
}

int Decode(PXSource, const std::string& path, int page, int depth, Image& out) {
  if (page != 0 || (depth != 0 && depth != 24)) return PX_ERR_PARAMETER;
  return Render(path, out);
}

const FormatRegistration kWmf({PX_FORMAT_WMF, "WMF", Describe, Decode, kDepth24});
const FormatRegistration kEmf({PX_FORMAT_EMF, "EMF", Describe, Decode, kDepth24});

}  // namespace

}  // namespace cli
