// The device-independent bitmaps that metafile records carry, decoded by the BMP reader
// with the colours playback gives them.
#ifndef PIXOLITH_METAFILE_DIB_H
#define PIXOLITH_METAFILE_DIB_H

#include <cstdint>
#include <vector>

#include "metafile/records.h"

namespace pxmf {

// A decoded bitmap: 0xAARRGGBB pixels, rows top-down. The alpha byte is 0xFF except for
// 32-bit bitmaps, whose alpha the reader takes from the fourth byte or the alpha mask
// (only alpha blending reads it).
struct Raster {
  int width = 0;
  int height = 0;
  bool bottomUp = true;  // how the rows were stored (source rectangles depend on it)
  std::vector<uint32_t> pixels;
};

struct DibOptions {
  bool paletteIndices = false;                     // colour table holds indices (DIB_PAL_COLORS)
  const std::vector<uint32_t>* palette = nullptr;  // the selected palette, for those indices
  bool monoOverride = false;                       // 1-bit bitmaps take the two colours below
  uint32_t mono0 = 0;                              // colour of 0 bits (0x00RRGGBB)
  uint32_t mono1 = 0xFFFFFF;                       // colour of 1 bits
};

// The largest bitmap a record may describe, in pixels.
constexpr uint64_t kMaxDibPixels = uint64_t(1) << 26;

// Decodes a BITMAPINFO (header, masks and colour table) and its bits as the BMP reader
// decodes the file they would make. False for headers and compressions the reader
// refuses, for bitmaps larger than kMaxDibPixels, and for bits too short for the rows
// they claim; run-length bits that end early give the rows they hold.
bool DecodeDib(const ByteView& info, const ByteView& bits, const DibOptions& options, Raster* out);

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_DIB_H
