// The 8-bit and 1-bit versions of a benchmark's A4 page: its 24-bit pixels reduced to 256
// colours (dithered, error limit 20) and cut at threshold 128.
#pragma once

#include <cstdint>
#include <vector>

#include "pixolith/pixolith.h"

namespace benchpages {

struct IndexedPage {
  std::vector<uint8_t> pixels;
  std::vector<RGBQUAD> palette = std::vector<RGBQUAD>(256);
};

inline IndexedPage ToIndexed(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height) {
  IndexedPage p;
  p.pixels.resize(size_t(width) * height);
  PXQuantizeRGBToPalette(rgb.data(), width, height, width * 3, p.pixels.data(), width, 256,
                         p.palette.data(), TRUE, 20, 0);
  return p;
}

inline std::vector<uint8_t> ToOneBit(const std::vector<uint8_t>& rgb, uint32_t width,
                                     uint32_t height) {
  const uint32_t stride = (width + 7) / 8;
  std::vector<uint8_t> p(size_t(stride) * height);
  PXThresholdTo1Bit(rgb.data(), width, height, width * 3, 24, nullptr, p.data(), stride, 128);
  return p;
}

// The two, made once per run from the page that kPage gives.
template <const std::vector<uint8_t>& (*kPage)(), uint32_t kWidth, uint32_t kHeight>
const IndexedPage& IndexedOnce() {
  static const IndexedPage page = ToIndexed(kPage(), kWidth, kHeight);
  return page;
}
template <const std::vector<uint8_t>& (*kPage)(), uint32_t kWidth, uint32_t kHeight>
const std::vector<uint8_t>& OneBitOnce() {
  static const std::vector<uint8_t> page = ToOneBit(kPage(), kWidth, kHeight);
  return page;
}

}  // namespace benchpages
