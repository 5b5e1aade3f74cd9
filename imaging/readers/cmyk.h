// Four-channel colour as the JPEG and Photoshop readers turn it into RGB.
#ifndef PIXOLITH_READERS_CMYK_H
#define PIXOLITH_READERS_CMYK_H

#include <cstdint>

namespace px {

// red = C x K / 255, green = M x K / 255, blue = Y x K / 255 on the stored bytes. The
// files this is used for store ink inverted (255 = no ink), so the product is the
// light that is left.
inline void CMYKToRGB(const uint8_t* cmyk, uint8_t* rgb, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    uint32_t k = cmyk[3];
    rgb[0] = uint8_t(cmyk[0] * k / 255);
    rgb[1] = uint8_t(cmyk[1] * k / 255);
    rgb[2] = uint8_t(cmyk[2] * k / 255);
  }
}

}  // namespace px

#endif  // PIXOLITH_READERS_CMYK_H
