// The formats the command-line tool knows: names for every library format id, and for
// each readable format the few calls `info` and `decode` need. Each reader's file under
// formats/ registers its handler; the tool itself never looks inside a format.
#ifndef PAGEWEAVER_CLI_FORMATS_H
#define PAGEWEAVER_CLI_FORMATS_H

#include <cstdint>
#include <string>

#include "json.h"
#include "pixolith/px_core.h"

namespace cli {

// An image decoded by the library: the buffer is a global block owned here.
struct Image {
  Image() = default;
  ~Image() { GlobalFree(pixels); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;  // 1, 8 or 24
  RGBQUAD palette[256] = {};
  uint32_t colors = 0;
  PXResolution resolution = {};
};

struct FormatHandler {
  int id = 0;
  const char* name = "";
  // Adds the format's fields to a file's info object ("pages", and per page "width",
  // "height", "bpp", "resolution"...). Returns 0 or the library's error code.
  int (*describe)(PXSource source, const std::string& path, json::Value& info) = nullptr;
  // Decodes one page at the requested depth (1, 8 or 24; 0 lets the format choose).
  // Returns 0, or the error code (a partial image may still be in `out`).
  int (*decode)(PXSource source, const std::string& path, int page, int depth,
                Image& out) = nullptr;
  // The depths of 1, 8 and 24 the format's reader gives, as bits: kDepth1 | kDepth8...
  unsigned depths = 0;
};

constexpr unsigned kDepth1 = 1, kDepth8 = 2, kDepth24 = 4;

// True when the handler reads at depth 1, 8 or 24 as asked.
bool OffersDepth(const FormatHandler& handler, int depth);
// "WBMP files are read at 1 or 8 bits".
std::string DepthsSentence(const FormatHandler& handler);

// How decoded images are written by `decode -o`: chosen by the output's extension
// (".ppm", ".pgm", ".pbm" and ".pnm" are built in; writers of the library register
// theirs). Returns 0 or a library error code.
struct OutputWriter {
  const char* extension = "";  // lower case, with the dot
  int (*write)(const Image& image, const std::string& path) = nullptr;
};

struct OutputRegistration {
  explicit OutputRegistration(const OutputWriter& writer);
};

// The writer for a path's extension, or null.
const OutputWriter* FindOutputWriter(const std::string& path);

// One entry of an info object's "page_info" list.
json::Value PageObject(uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                       const PXResolution& resolution);

// The handler registered for a format id, or null.
const FormatHandler* FindFormat(int id);
// A short name for any library format id ("BMP", "TIFF", ..., "unknown").
const char* FormatName(int id);

struct FormatRegistration {
  explicit FormatRegistration(const FormatHandler& handler);
};

}  // namespace cli

#endif  // PAGEWEAVER_CLI_FORMATS_H
