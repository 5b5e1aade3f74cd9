// BMP, PNG and TIFF files written by the tests themselves.
#ifndef PAGEWEAVER_TESTS_IMAGE_FILES_H
#define PAGEWEAVER_TESTS_IMAGE_FILES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pxtest {

// Colour of pixel (x, y) as 0xRRGGBB.
using PixelFn = std::function<uint32_t(uint32_t x, uint32_t y)>;

// A 24-bit bottom-up BMP.
void WriteBMP24(const std::string& path, uint32_t width, uint32_t height, const PixelFn& pixel);
// A 24-bit RGB PNG.
void WritePNG24(const std::string& path, uint32_t width, uint32_t height, const PixelFn& pixel);

struct TiffPage {
  uint32_t width = 8;
  uint32_t height = 8;
  int bits = 8;  // 1 (min-is-white, a set bit black), 8 (grey) or 24 (RGB)
  float xdpi = 72;
  float ydpi = 72;
  int compression = 1;
  PixelFn pixel;  // 0xRRGGBB; grey and 1-bit pages use the red byte (< 128 is black)
};
void WriteTIFF(const std::string& path, const std::vector<TiffPage>& pages);

// What libtiff reads from each directory of a file.
struct TiffDirectory {
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, unit = 0;
  float xres = 0, yres = 0;
};
std::vector<TiffDirectory> ReadTiffDirectories(const std::string& path);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_IMAGE_FILES_H
