// The formats the command-line tool knows: names for every library format id, and for
// each readable format what `info` shows of it. Each reader's file under formats/
// registers its handler; decoding goes through the application's format table.
#ifndef PAGEWEAVER_CLI_FORMATS_H
#define PAGEWEAVER_CLI_FORMATS_H

#include <cstdint>
#include <string>

#include "document/image_formats.h"
#include "json.h"
#include "pixolith/px_core.h"

namespace cli {

// An image decoded by the library, as the application's format table reads it.
using Image = DecodedImage;

// What `info` says of a format beyond its name: the format's own fields.
struct FormatHandler {
  int id = 0;
  // Adds the format's fields to a file's info object ("pages", and per page "width",
  // "height", "bpp", "resolution"...). Returns 0 or the library's error code.
  int (*describe)(PXSource source, const std::string& path, json::Value& info) = nullptr;
};

// "WBMP files are read at 1 or 8 bits".
std::string DepthsSentence(const ImageFormat& format);

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
