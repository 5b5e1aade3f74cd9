// TIFF output for `decode -o`: the decoded page through the library's own writer,
// uncompressed.

#include "formats.h"
#include "pixolith/px_tiff.h"

namespace cli {

namespace {

int Luma(const RGBQUAD& q) {
  return 299 * q.rgbRed + 587 * q.rgbGreen + 114 * q.rgbBlue;
}

int WriteTIFF(const Image& image, const std::string& path) {
  uint32_t flags = 0;
  // The writer stores 1-bit pages with a set bit black unless told that a set bit is
  // white; the page's own palette says which it is.
  if (image.bitsPerPixel == 1 && Luma(image.palette[1]) > Luma(image.palette[0]))
    flags |= PX_TIFF_WRITE_1BIT_MINISBLACK;
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return PXGetLastError();
  // The readers' resolution units differ from format to format, so none is claimed.
  PXWriteTIFF(sink, image.pixels, image.width, image.height, image.bitsPerPixel, image.palette,
              PX_TIFF_COMPRESSION_NONE, nullptr, flags);
  const int error = PXGetLastError();
  PXCloseSink(sink);
  return error;
}

const OutputRegistration kTIF({".tif", WriteTIFF});
const OutputRegistration kTIFF({".tiff", WriteTIFF});

}  // namespace

}  // namespace cli
