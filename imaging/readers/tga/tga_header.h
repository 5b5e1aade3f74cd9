// The TGA file header, how its pixels become colours, and the checks each kind of read
// makes of it.
#ifndef PIXOLITH_READERS_TGA_TGA_HEADER_H
#define PIXOLITH_READERS_TGA_TGA_HEADER_H

#include <cstddef>
#include <cstdint>

namespace pxtga {

// The 18-byte header.
struct Header {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 0;
  uint16_t mapFirst = 0;
  uint16_t mapLength = 0;
  uint8_t mapEntryBits = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t pixelDepth = 0;
  uint8_t descriptor = 0;

  bool Accepted() const {
    return (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
  }
  bool ColorMapped() const { return imageType == 1 || imageType == 9; }
  bool Grey() const { return imageType == 3 || imageType == 11; }
  bool RunLength() const { return imageType >= 9; }
  bool HasMap() const { return colorMapType != 0 && mapLength != 0; }
  bool TopDown() const { return (descriptor & 0x20) != 0; }
  bool RightToLeft() const { return (descriptor & 0x10) != 0; }
};

// Bytes of one colour-map entry, or 0 for sizes without a layout.
size_t MapEntryBytes(uint8_t bits);

enum class PixelKind { kIndex8, kIndex16, kGrey8, kGreyAlpha16, kColor16, kBGR24, kBGRA32 };

// How stored pixels of this file become colours; false when they cannot.
bool ChoosePixelKind(const Header& header, PixelKind* kind);

// What a call makes of the file.
enum class Output {
  kDimensions,  // the header alone
  kPalette,     // the 256 colours of a file of up to 8 bits
  kImage,       // the image at an output depth (8 indices, 24 or 32 bits)
};

// How far a reader has read: the header, or the image ID after it (a file cut short
// there reports the short read before any fault of its colour map).
enum class Stage { kHeader, kImageID };

// The checks of `output` (the image at `depth`) that apply at `stage`: 0, or the error
// code: PX_ERR_BIT_DEPTH when the file's pixels have no form at the requested depth,
// PX_ERR_BAD_TGA for an image type, pixel depth, colour map or size this reader does not
// decode. Pure: it reads
// nothing.
int CheckHeader(const Header& header, Output output, uint32_t depth, Stage stage);

}  // namespace pxtga

#endif  // PIXOLITH_READERS_TGA_TGA_HEADER_H
