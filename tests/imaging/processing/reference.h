// Plain, unoptimised versions of the processing algorithms, written straight from their
// definitions, and random test images. The library's fast paths must give the same bytes.
#ifndef PAGEWEAVER_TESTS_PROCESSING_REFERENCE_H
#define PAGEWEAVER_TESTS_PROCESSING_REFERENCE_H

#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "pixolith/px_processing.h"

namespace pxref {

using Bytes = std::vector<uint8_t>;

// Random bytes drawn from `levels` distinct values, so that images have flat regions as well
// as edges.
inline Bytes Random(std::mt19937& rng, size_t n, int levels = 256) {
  Bytes b(n);
  std::uniform_int_distribution<int> d(0, levels - 1);
  for (auto& v : b) v = uint8_t(levels >= 256 ? d(rng) : d(rng) * 255 / std::max(1, levels - 1));
  return b;
}

inline int Bit(const uint8_t* row, size_t x) {
  return (row[x / 8] >> (7 - x % 8)) & 1;
}
inline void PutBit(uint8_t* row, size_t x, int v) {
  if (v)
    row[x / 8] |= uint8_t(0x80 >> (x % 8));
  else
    row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
}

// Source sample positions of the bilinear resamplers.
struct Sample {
  uint32_t first, second;
  double fraction;
};
inline Sample Map(uint32_t i, uint32_t s, uint32_t d) {
  double scale = s >= d ? double(s) / d : (s - double(s) / d) / d;
  double position = i * scale;
  uint32_t first = uint32_t(std::trunc(position));
  Sample r;
  r.fraction = position - std::trunc(position);
  r.first = std::min(first, s - 1);
  r.second = std::min(first + 1, s - 1);
  return r;
}

inline double Bilinear(double fx, double fy, double p11, double p10, double p01, double p00) {
  return fx * fy * p11 + (1 - fx) * fy * p10 + fx * (1 - fy) * p01 + (1 - fx) * (1 - fy) * p00;
}

inline Bytes ResizeRGB(const Bytes& src, uint32_t sw, uint32_t sh, uint32_t ss, uint32_t dw,
                       uint32_t dh, uint32_t ds, uint32_t bpp) {
  Bytes out(size_t(dh) * ds, 0xEE);
  for (uint32_t y = 0; y < dh; ++y) {
    Sample r = Map(y, sh, dh);
    for (uint32_t x = 0; x < dw; ++x) {
      Sample c = Map(x, sw, dw);
      for (uint32_t k = 0; k < bpp; ++k) {
        auto P = [&](uint32_t row, uint32_t col) { return double(src[row * ss + col * bpp + k]); };
        double v = Bilinear(c.fraction, r.fraction, P(r.second, c.second), P(r.second, c.first),
                            P(r.first, c.second), P(r.first, c.first));
        out[y * ds + x * bpp + k] = uint8_t(long(std::nearbyint(v)));
      }
    }
  }
  return out;
}

// Nearest palette entry: strictly smaller distance wins, distance 0 ends the search.
inline uint8_t Nearest(const RGBQUAD* pal, int count, int r, int g, int b) {
  int best = 0x30000, index = 0;
  for (int i = 0; i < count; ++i) {
    int d = (pal[i].rgbRed - r) * (pal[i].rgbRed - r) +
            (pal[i].rgbGreen - g) * (pal[i].rgbGreen - g) +
            (pal[i].rgbBlue - b) * (pal[i].rgbBlue - b);
    if (d < best) {
      best = d;
      index = i;
      if (!d) break;
    }
  }
  return uint8_t(index);
}

inline Bytes ResizeIndexed(const Bytes& src, uint32_t sw, uint32_t sh, uint32_t ss, uint32_t dw,
                           uint32_t dh, uint32_t ds, const RGBQUAD* pal, int count) {
  Bytes out(size_t(dh) * ds, 0xEE);
  for (uint32_t y = 0; y < dh; ++y) {
    Sample r = Map(y, sh, dh);
    for (uint32_t x = 0; x < dw; ++x) {
      Sample c = Map(x, sw, dw);
      const RGBQUAD& e00 = pal[src[r.first * ss + c.first]];
      const RGBQUAD& e01 = pal[src[r.first * ss + c.second]];
      const RGBQUAD& e10 = pal[src[r.second * ss + c.first]];
      const RGBQUAD& e11 = pal[src[r.second * ss + c.second]];
      auto ch = [&](BYTE RGBQUAD::*m) {
        return int(long(std::nearbyint(
                   Bilinear(c.fraction, r.fraction, e11.*m, e10.*m, e01.*m, e00.*m)))) &
               0xFF;
      };
      out[y * ds + x] =
          Nearest(pal, count, ch(&RGBQUAD::rgbRed), ch(&RGBQUAD::rgbGreen), ch(&RGBQUAD::rgbBlue));
    }
  }
  return out;
}

// 1-bit resize into an existing destination (bits beyond the width are kept).
inline void Resize1Bit(const Bytes& src, uint32_t sw, uint32_t sh, uint32_t ss, Bytes& dst,
                       uint32_t dw, uint32_t dh, uint32_t ds) {
  for (uint32_t y = 0; y < dh; ++y) {
    Sample r = Map(y, sh, dh);
    for (uint32_t x = 0; x < dw; ++x) {
      Sample c = Map(x, sw, dw);
      auto P = [&](uint32_t row, uint32_t col) { return double(Bit(&src[row * ss], col)); };
      double v = Bilinear(c.fraction, r.fraction, P(r.second, c.second), P(r.second, c.first),
                          P(r.first, c.second), P(r.first, c.first));
      PutBit(&dst[y * ds], x, v > 0.5);
    }
  }
}

inline Bytes ResizeNearest(const Bytes& src, uint32_t sw, uint32_t sh, uint32_t ss, uint32_t dw,
                           uint32_t dh, uint32_t ds, uint32_t bpp) {
  Bytes out(size_t(dh) * ds, 0xEE);
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x)
      for (uint32_t k = 0; k < bpp; ++k)
        out[y * ds + x * bpp + k] = src[size_t(y) * sh / dh * ss + size_t(x) * sw / dw * bpp + k];
  return out;
}

// Quarter turn of a packed byte image into a new buffer; rows done = how many source rows
// were moved (the rest of the result stays zero).
inline Bytes Rotate(const Bytes& src, uint32_t w, uint32_t h, int dir, uint32_t bpp,
                    uint32_t rowsDone = UINT32_MAX) {
  Bytes out(src.size(), 0);
  if (dir == 1) {
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        for (uint32_t k = 0; k < bpp; ++k)
          out[((h - 1 - y) * w + (w - 1 - x)) * bpp + k] = src[(y * w + x) * bpp + k];
    return out;
  }
  for (uint32_t y = 0; y < h && y < rowsDone; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      // The result is h wide.
      uint32_t dx = dir == 0 ? h - 1 - y : y, dy = dir == 0 ? x : w - 1 - x;
      for (uint32_t k = 0; k < bpp; ++k) out[(dy * h + dx) * bpp + k] = src[(y * w + x) * bpp + k];
    }
  return out;
}

// 1-bit rotation into an existing destination, bit by bit.
inline void Rotate1Bit(const Bytes& src, uint32_t w, uint32_t h, uint32_t ss, Bytes& dst,
                       uint32_t ds, int dir, bool setOnly, uint32_t rowsDone = UINT32_MAX) {
  for (uint32_t y = 0; y < h && y < rowsDone; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      int v = Bit(&src[y * ss], x);
      uint32_t col, row;
      if (dir == 0) {
        col = h - 1 - y;
        row = x;
      } else if (dir == 1) {
        col = w - 1 - x;
        row = h - 1 - y;
      } else {
        col = y;
        row = w - 1 - x;
      }
      if (setOnly && !v) continue;
      PutBit(&dst[row * ds], col, v);
    }
}

// The mapper with error diffusion, step by step as defined.
inline Bytes MapToPalette(const Bytes& rgb, uint32_t w, uint32_t h, uint32_t stride,
                          const RGBQUAD* pal, int count, bool dither, int limit) {
  Bytes out(size_t(w) * h);
  std::vector<int> cur((w + 2) * 3), next((w + 2) * 3), cache(32768, -1);
  auto sat = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  auto clampErr = [&](int e) { return e < -limit ? -limit : e > limit ? limit : e; };
  for (uint32_t y = 0; y < h; ++y) {
    std::fill(next.begin(), next.end(), 0);
    int dir = y % 2 ? -1 : 1;
    for (uint32_t n = 0; n < w; ++n) {
      int x = dir > 0 ? int(n) : int(w - 1 - n);
      const uint8_t* p = &rgb[y * stride + x * 3];
      int a[3];
      for (int c = 0; c < 3; ++c) {
        int acc = cur[(x + 1) * 3 + c];
        a[c] = dither ? sat(p[c] + ((acc + 8) >> 4)) : sat(p[c] + (acc >> 1));
      }
      int& cell = cache[(a[0] >> 3) * 1024 + (a[1] >> 3) * 32 + (a[2] >> 3)];
      if (cell < 0) {
        int best = 0xFD0300;
        cell = 0;
        for (int i = 0; i < count; ++i) {
          int d = (a[0] - pal[i].rgbRed) * (a[0] - pal[i].rgbRed) +
                  (a[1] - pal[i].rgbGreen) * (a[1] - pal[i].rgbGreen) +
                  (a[2] - pal[i].rgbBlue) * (a[2] - pal[i].rgbBlue);
          if (d < best) {
            best = d;
            cell = i;
          }
        }
      }
      out[y * w + x] = uint8_t(cell);
      const int value[3] = {pal[cell].rgbRed, pal[cell].rgbGreen, pal[cell].rgbBlue};
      for (int c = 0; c < 3; ++c) {
        int e = clampErr(a[c] - value[c]);
        if (dither) {
          cur[(x + dir + 1) * 3 + c] += 7 * e;
          next[(x - dir + 1) * 3 + c] += 3 * e;
          next[(x + 1) * 3 + c] += 5 * e;
          next[(x + dir + 1) * 3 + c] += e;
        } else {
          cur[(x + dir + 1) * 3 + c] += e;
          next[(x + 1) * 3 + c] += e;
        }
      }
    }
    std::swap(cur, next);
  }
  return out;
}

// Records the progress calls of one scope and can stop the operation at the n-th call.
class ProgressRecorder {
 public:
  explicit ProgressRecorder(size_t stopAt = SIZE_MAX) : stopAt_(stopAt) {
    PXSetProgressCallback(&Callback, reinterpret_cast<DWORD_PTR>(this));
  }
  ~ProgressRecorder() { PXSetProgressCallback(nullptr, 0); }
  ProgressRecorder(const ProgressRecorder&) = delete;
  ProgressRecorder& operator=(const ProgressRecorder&) = delete;
  std::vector<std::pair<UINT, UINT>> calls;

 private:
  static BOOL Callback(UINT current, UINT total, DWORD_PTR user) {
    auto* self = reinterpret_cast<ProgressRecorder*>(user);
    self->calls.emplace_back(current, total);
    return self->calls.size() < self->stopAt_;
  }
  size_t stopAt_;
};

}  // namespace pxref

#endif  // PAGEWEAVER_TESTS_PROCESSING_REFERENCE_H
