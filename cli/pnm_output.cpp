// Binary PBM/PGM/PPM output: images any program can read, written in a few lines.
#include <cstdio>
#include <memory>
#include <vector>

#include "formats.h"

namespace cli {

namespace {

bool IsGreyRamp(const Image& image) {
  for (uint32_t i = 0; i < std::max<uint32_t>(image.colors, 1) && i < 256; ++i) {
    const RGBQUAD& q = image.palette[i];
    if (q.rgbRed != q.rgbGreen || q.rgbGreen != q.rgbBlue) return false;
  }
  return true;
}

uint8_t Luma(const RGBQUAD& q) {
  return uint8_t((299 * q.rgbRed + 587 * q.rgbGreen + 114 * q.rgbBlue) / 1000);
}

int WritePNM(const Image& image, const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!out) return PX_ERR_FILE_OPEN;
  const uint32_t w = image.width, h = image.height;
  bool ok = true;
  if (image.bitsPerPixel == 1) {
    // PBM: a set bit is black, so index bits are flipped when index 1 is the lighter.
    bool invert = Luma(image.palette[1]) > Luma(image.palette[0]);
    std::fprintf(out.get(), "P4\n%u %u\n", w, h);
    size_t rowBytes = (size_t(w) + 7) / 8;
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < h && ok; ++y) {
      const uint8_t* src = image.pixels + y * rowBytes;
      for (size_t i = 0; i < rowBytes; ++i) row[i] = invert ? uint8_t(~src[i]) : src[i];
      ok = std::fwrite(row.data(), 1, rowBytes, out.get()) == rowBytes;
    }
  } else if (image.bitsPerPixel == 8 && IsGreyRamp(image)) {
    std::fprintf(out.get(), "P5\n%u %u\n255\n", w, h);
    std::vector<uint8_t> row(w);
    for (uint32_t y = 0; y < h && ok; ++y) {
      for (uint32_t x = 0; x < w; ++x)
        row[x] = image.palette[image.pixels[size_t(y) * w + x]].rgbRed;
      ok = std::fwrite(row.data(), 1, w, out.get()) == w;
    }
  } else if (image.bitsPerPixel == 8) {
    std::fprintf(out.get(), "P6\n%u %u\n255\n", w, h);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (uint32_t y = 0; y < h && ok; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        const RGBQUAD& q = image.palette[image.pixels[size_t(y) * w + x]];
        row[3 * x] = q.rgbRed;
        row[3 * x + 1] = q.rgbGreen;
        row[3 * x + 2] = q.rgbBlue;
      }
      ok = std::fwrite(row.data(), 1, row.size(), out.get()) == row.size();
    }
  } else if (image.bitsPerPixel == 24) {
    std::fprintf(out.get(), "P6\n%u %u\n255\n", w, h);
    size_t bytes = size_t(w) * 3 * h;
    ok = std::fwrite(image.pixels, 1, bytes, out.get()) == bytes;
  } else {
    return PX_ERR_PARAMETER;
  }
  if (std::fflush(out.get()) != 0) ok = false;
  return ok ? 0 : PX_ERR_FILE_WRITE;
}

const OutputRegistration kPPM({".ppm", WritePNM});
const OutputRegistration kPGM({".pgm", WritePNM});
const OutputRegistration kPBM({".pbm", WritePNM});
const OutputRegistration kPNM({".pnm", WritePNM});

}  // namespace

}  // namespace cli
