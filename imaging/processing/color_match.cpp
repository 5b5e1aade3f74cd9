// Nearest palette colour with a cache, and the colour-distance test.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "processing/common.h"

namespace {

// Larger than any distance of two colours (3 * 255^2), so the first entry always wins.
constexpr int32_t kNoDistance = 0x30000;
// The cache is emptied before a pair is added once it holds this many.
constexpr size_t kCachePairs = 255;

int Clamp255(int v) {
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

}  // namespace

CPXColorMatch::CPXColorMatch() : sq_(squares_ + 255) {
  std::memset(palette_, 0, sizeof palette_);
  std::memset(byRed_, 0, sizeof byRed_);
  std::memset(redStart_, 0, sizeof redStart_);
  for (int d = -255; d <= 255; ++d) squares_[d + 255] = d * d;
  cache_.reserve(kCachePairs + 1);
}

CPXColorMatch::~CPXColorMatch() = default;

void CPXColorMatch::SetPalette(const RGBQUAD* palette, int count) {
  if (palette) {
    if (count < 0) count = 0;
    if (count > 256) count = 256;  // the copy holds 256 entries
    std::memcpy(palette_, palette, size_t(count) * sizeof(RGBQUAD));
    count_ = count;
    paletteSet_ = true;
    std::iota(byRed_, byRed_ + count, 0);
    std::stable_sort(byRed_, byRed_ + count, [this](uint8_t a, uint8_t b) {
      return palette_[a].rgbRed < palette_[b].rgbRed;
    });
    for (int r = 0, k = 0; r < 256; ++r) {
      while (k < count && palette_[byRed_[k]].rgbRed < r) ++k;
      redStart_[r] = uint16_t(k);
    }
  }
  cache_.clear();
  cache_.reserve(kCachePairs + 1);
}

BYTE CPXColorMatch::MatchColor(int c0, int c1, int c2) {
  if (!paletteSet_) return 0;
  c0 = Clamp255(c0);
  c1 = Clamp255(c1);
  c2 = Clamp255(c2);
  uint32_t key = uint32_t(c0) | uint32_t(c1) << 8 | uint32_t(c2) << 16;
  for (const Pair& pair : cache_)
    if (pair.key == key) return BYTE(pair.index);

  const uint32_t index = Nearest(c0, c1, c2);
  if (cache_.size() >= kCachePairs) cache_.clear();
  cache_.push_back({key, index});
  return BYTE(index);
}

// The entry with the smallest distance (green, blue and red squared differences), the lowest
// index among equal distances: what a scan of entries 0, 1, ... taking only strictly smaller
// distances finds.
BYTE CPXColorMatch::Nearest(int c0, int c1, int c2) const {
  int32_t best = kNoDistance;
  int index = 0;
  auto consider = [&](int i) {
    const RGBQUAD& e = palette_[i];
    const int32_t distance = sq_[e.rgbGreen - c1] + sq_[e.rgbBlue - c2] + sq_[e.rgbRed - c0];
    if (distance < best || (distance == best && i < index)) {
      best = distance;
      index = i;
    }
  };
  // Entries further away in red than the best distance cannot win (nor tie).
  int up = redStart_[c0], down = up - 1;
  while (up < count_ || down >= 0) {
    if (up < count_) {
      const int i = byRed_[up];
      if (sq_[palette_[i].rgbRed - c0] > best)
        up = count_;
      else
        consider(i), ++up;
    }
    if (down >= 0) {
      const int i = byRed_[down];
      if (sq_[palette_[i].rgbRed - c0] > best)
        down = -1;
      else
        consider(i), --down;
    }
  }
  return BYTE(index);
}

extern "C" BOOL PXColorWithinDistance(uint32_t a, uint32_t b, uint32_t squaredLimit) {
  px::Operation op;
  if (a == b) return TRUE;
  if (squaredLimit == 0) return FALSE;
  uint32_t sum = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    sum += uint32_t(d * d);
  }
  return sum <= squaredLimit;
}
