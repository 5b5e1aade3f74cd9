#include "formats.h"

#include <algorithm>
#include <map>
#include <vector>

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

std::map<std::string, OutputWriter>& Outputs() {
  static std::map<std::string, OutputWriter> outputs;
  return outputs;
}

OutputRegistration::OutputRegistration(const OutputWriter& writer) {
  Outputs()[writer.extension] = writer;
}

const OutputWriter* FindOutputWriter(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return nullptr;
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  auto it = Outputs().find(ext);
  return it == Outputs().end() ? nullptr : &it->second;
}

json::Value PageObject(uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                       const PXResolution& resolution) {
  json::Value page = json::Value::Object();
  page.Set("width", width);
  page.Set("height", height);
  page.Set("bpp", bitsPerPixel);
  json::Value res = json::Value::Object();
  res.Set("x", resolution.x);
  res.Set("y", resolution.y);
  res.Set("unit", resolution.unit);
  page.Set("resolution", std::move(res));
  return page;
}

std::string DepthsSentence(const ImageFormat& format) {
  std::vector<std::string> depths;
  for (int depth : {1, 8, 24})
    if (ReadsAtDepth(format, depth)) depths.push_back(std::to_string(depth));
  std::string list;
  for (size_t i = 0; i < depths.size(); ++i)
    list += (i == 0 ? "" : i + 1 == depths.size() ? " or " : ", ") + depths[i];
  return std::string(format.name) + " files are read at " + list + " bits";
}

const FormatHandler* FindFormat(int id) {
  auto it = Handlers().find(id);
  return it == Handlers().end() ? nullptr : &it->second;
}

const char* FormatName(int id) {
  if (const ImageFormat* format = FindImageFormat(id)) return format->name;
  // Formats the library recognises but the application does not read.
  switch (id) {
    case PX_FORMAT_PAX:
      return "PAX";
    case PX_FORMAT_TLA:
      return "TLA";
    case PX_FORMAT_TLAU:
      return "TLAU";
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
    case PX_FORMAT_WEBP:
      return "WebP";
    case PX_FORMAT_HEIF:
      return "HEIF";
    default:
      return "unknown";
  }
}

}  // namespace cli
