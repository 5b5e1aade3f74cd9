// Transparency as the readers of formats with an alpha channel drop it at 24 bits.
#ifndef PIXOLITH_READERS_ALPHA_H
#define PIXOLITH_READERS_ALPHA_H

#include <cstdint>

namespace px {

// Composites a row of straight red, green, blue, alpha onto white: a page has no other
// background, and white is what paper shows where an image is clear.
inline void RGBAOnWhite(const uint8_t* rgba, uint8_t* rgb, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, rgba += 4, rgb += 3) {
    const uint32_t a = rgba[3];
    const uint32_t white = 255 * (255 - a);
    for (int c = 0; c < 3; ++c) rgb[c] = uint8_t((rgba[c] * a + white + 127) / 255);
  }
}

// Bits per pixel of a true-colour file's own depth: 32 with alpha, 24 without.
inline uint32_t TrueColourBits(bool alpha) {
  return alpha ? 32 : 24;
}
// The output depth of a read at `depth`: the file's own for a packed DIB.
inline int TrueColourOutputDepth(bool alpha, int depth, bool packedDIB) {
  return packedDIB ? int(TrueColourBits(alpha)) : depth;
}

}  // namespace px

#endif  // PIXOLITH_READERS_ALPHA_H
