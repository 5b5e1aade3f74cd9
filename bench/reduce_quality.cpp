// Writes the two test pages, the hairline page of text_page.h and the print page of
// print_page.h, and their reductions to 1/2 and 1/3 as PGM files into the folder given (names
// starting with the page's name), for bench/quality.sh to hold against a Lanczos-3 reduction
// made by other software: the area reduction the application uses and the bilinear mapping
// it used before, for 24-bit and 1-bit pages.
#include <cstdio>
#include <string>
#include <vector>

#include "pixolith/pixolith.h"
#include "print_page.h"
#include "text_page.h"

namespace {

using textpage::kHeight;
using textpage::kWidth;

bool WritePGM(const std::string& path, const uint8_t* grey, uint32_t width, uint32_t height,
              uint32_t step) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P5\n%u %u\n255\n", width, height);
  bool ok = true;
  for (size_t i = 0; i < size_t(width) * height && ok; ++i) ok = std::fputc(grey[i * step], f) >= 0;
  return std::fclose(f) == 0 && ok;
}

// A 1-bit image (set bit black) as grey bytes.
std::vector<uint8_t> Expand(const std::vector<uint8_t>& bits, uint32_t width, uint32_t height) {
  const uint32_t stride = (width + 7) / 8;
  std::vector<uint8_t> grey(size_t(width) * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      grey[size_t(y) * width + x] = (bits[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
  return grey;
}

// Writes `name`_page.pgm and the reductions of the page.
bool WritePage(const std::string& dir, const std::string& name, const std::vector<uint8_t>& grey) {
  std::vector<uint8_t> rgb(grey.size() * 3);
  for (size_t i = 0; i < grey.size(); ++i) rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = grey[i];
  const uint32_t stride1 = (kWidth + 7) / 8;
  std::vector<uint8_t> bits(size_t(stride1) * kHeight);
  if (!PXThresholdTo1Bit(rgb.data(), kWidth, kHeight, kWidth * 3, 24, nullptr, bits.data(), stride1,
                         128))
    return false;
  RGBQUAD palette[256] = {};
  palette[0] = {255, 255, 255, 0};
  const std::string prefix = dir + "/" + name + "_";
  if (!WritePGM(prefix + "page.pgm", grey.data(), kWidth, kHeight, 1)) return false;

  for (uint32_t f = 2; f <= 3; ++f) {
    const uint32_t w = kWidth / f, h = kHeight / f, s1 = (w + 7) / 8;
    const std::string n = std::to_string(f);
    std::vector<uint8_t> out(size_t(w) * h * 3), outBits(size_t(s1) * h), outGrey(size_t(w) * h);
    bool ok = PXResizeArea(rgb.data(), kWidth, kHeight, kWidth * 3, out.data(), w, h, w * 3, 3) &&
              WritePGM(prefix + "area24_" + n + ".pgm", out.data(), w, h, 3);
    ok = ok && PXResizeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, out.data(), w, h, w * 3, 3) &&
         WritePGM(prefix + "bilinear24_" + n + ".pgm", out.data(), w, h, 3);
    // The library's own Lanczos-3, a check on the references rather than a candidate.
    ok = ok &&
         PXResizeRGBFiltered(rgb.data(), kWidth, kHeight, kWidth * 3, out.data(), w, h, w * 3, 3,
                             PX_FILTER_LANCZOS3) &&
         WritePGM(prefix + "lanczos24_" + n + ".pgm", out.data(), w, h, 3);
    ok = ok &&
         PXResizeAreaIndexed(bits.data(), kWidth, kHeight, stride1, 1, palette, outGrey.data(), w,
                             h, w, 1) &&
         WritePGM(prefix + "area1_" + n + ".pgm", outGrey.data(), w, h, 1);
    ok = ok && PXResize1Bit(bits.data(), kWidth, kHeight, stride1, outBits.data(), w, h, s1) &&
         WritePGM(prefix + "bilinear1_" + n + ".pgm", Expand(outBits, w, h).data(), w, h, 1);
    if (!ok) {
      std::fprintf(stderr, "reduce_quality: %s page, reduction to 1/%u failed (error %d)\n",
                   name.c_str(), f, PXGetLastError());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: reduce_quality FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  return WritePage(dir, "hairline", textpage::MakePage()) &&
                 WritePage(dir, "print", printpage::MakePage())
             ? 0
             : 1;
}
