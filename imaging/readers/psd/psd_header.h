// The Photoshop file header and the checks each kind of read makes of it.
#ifndef PIXOLITH_READERS_PSD_PSD_HEADER_H
#define PIXOLITH_READERS_PSD_PSD_HEADER_H

#include <cstdint>

namespace pxpsd {

constexpr uint16_t kRaw = 0;
constexpr uint16_t kRunLength = 1;

// The fields of the 26-byte header, and the compression word of the image data section.
struct Header {
  uint32_t channels = 0;
  uint32_t height = 0;
  uint32_t width = 0;
  int depth = 0;  // bits per channel
  int mode = 0;   // PX_PSD_BITMAP ... PX_PSD_LAB
  uint16_t compression = kRaw;
};

// Bitmap, greyscale, indexed and duotone files hold one index or level per pixel.
bool IsIndexedMode(int mode);

// What a call makes of the file.
enum class Output {
  kDimensions,  // the header alone
  kPalette,     // the colour mode data of an indexed file
  kImage,       // the merged image at an output depth (8 indices, 24 or 32 bits)
};

// How far a reader has read: the header, or the compression word in front of the image
// data (which follows the colour mode data, the resources and the layers, so a file cut
// short in those reports the short read before the checks of the image data).
enum class Stage { kHeader, kImageData };

// The checks of `output` (the image at `depth`) that apply at `stage`: 0, or the error code:
// PX_ERR_BAD_PSD for a header without pixels or with too few channels for its mode,
// PX_ERR_PSD_SUBFORMAT for a depth or mode (or run-length 16-bit data) this reader does not decode,
// PX_ERR_BIT_DEPTH when the mode has no form at the requested depth. Pure: it reads nothing.
int CheckHeader(const Header& header, Output output, int depth, Stage stage);

}  // namespace pxpsd

#endif  // PIXOLITH_READERS_PSD_PSD_HEADER_H
