// The hairline page: a 300-dpi page of thin print, the hard case for shrinking: lines of glyph-like
// shapes drawn with strokes 1 or 2 pixels wide (stems, bars, diagonals, bowls), seven-segment
// digits, dashed rules and hairlines. Black on white, one grey byte per pixel, the same
// bytes on every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace textpage {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

class Canvas {
 public:
  Canvas(uint32_t width, uint32_t height)
      : width_(width), height_(height), pixels_(size_t(width) * height, 255) {}

  void Dot(int x, int y) {
    if (x >= 0 && y >= 0 && uint32_t(x) < width_ && uint32_t(y) < height_)
      pixels_[size_t(y) * width_ + uint32_t(x)] = 0;
  }
  // A filled w x h rectangle with its top left corner at (x, y).
  void Block(int x, int y, int w, int h) {
    for (int dy = 0; dy < h; ++dy)
      for (int dx = 0; dx < w; ++dx) Dot(x + dx, y + dy);
  }
  // A stroke from (x0, y0) to (x1, y1), `thick` pixels across.
  void Stroke(double x0, double y0, double x1, double y1, int thick) {
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int steps = std::max(1, int(std::ceil(length * 2)));
    const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
    for (int i = 0; i <= steps; ++i) {
      const double t = double(i) / steps;
      const int x = int(std::lround(x0 + (x1 - x0) * t)), y = int(std::lround(y0 + (y1 - y0) * t));
      for (int k = 0; k < thick; ++k) steep ? Dot(x + k, y) : Dot(x, y + k);
    }
  }
  std::vector<uint8_t>& Pixels() { return pixels_; }

 private:
  uint32_t width_, height_;
  std::vector<uint8_t> pixels_;
};

// Seven-segment digit d in a w x h box at (x, y).
inline void Digit(Canvas& c, int d, int x, int y, int w, int h, int thick) {
  static const uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
  const uint8_t s = kSegments[d % 10];
  const int m = y + h / 2;
  if (s & 0x01) c.Stroke(x, y, x + w, y, thick);
  if (s & 0x02) c.Stroke(x + w, y, x + w, m, thick);
  if (s & 0x04) c.Stroke(x + w, m, x + w, y + h, thick);
  if (s & 0x08) c.Stroke(x, y + h, x + w, y + h, thick);
  if (s & 0x10) c.Stroke(x, m, x, y + h, thick);
  if (s & 0x20) c.Stroke(x, y, x, m, thick);
  if (s & 0x40) c.Stroke(x, m, x + w, m, thick);
}

// A letter-like glyph: a few strokes chosen at random inside a w x h box.
inline void Glyph(Canvas& c, std::mt19937& rng, int x, int y, int w, int h, int thick) {
  const int shape = int(rng() % 6);
  switch (shape) {
    case 0:  // stem and bar ("t", "f")
      c.Stroke(x + w / 2, y, x + w / 2, y + h, thick);
      c.Stroke(x, y + h / 3, x + w, y + h / 3, thick);
      break;
    case 1:  // two stems and a shoulder ("n", "h")
      c.Stroke(x, y + h / 3, x, y + h, thick);
      c.Stroke(x + w, y + h / 2, x + w, y + h, thick);
      c.Stroke(x, y + h / 2, x + w / 2, y + h / 3, thick);
      c.Stroke(x + w / 2, y + h / 3, x + w, y + h / 2, thick);
      break;
    case 2:  // diagonals ("v", "x")
      c.Stroke(x, y + h / 3, x + w / 2, y + h, thick);
      c.Stroke(x + w / 2, y + h, x + w, y + h / 3, thick);
      if (rng() % 2) c.Stroke(x, y + h, x + w, y + h / 3, thick);
      break;
    case 3: {  // a bowl ("o", "e")
      const double cx = x + w / 2.0, cy = y + h * 2 / 3.0, rx = w / 2.0, ry = h / 3.0;
      for (int a = 0; a < 24; ++a) {
        const double t0 = a * 2 * M_PI / 24, t1 = (a + 1) * 2 * M_PI / 24;
        c.Stroke(cx + rx * std::cos(t0), cy + ry * std::sin(t0), cx + rx * std::cos(t1),
                 cy + ry * std::sin(t1), thick);
      }
      if (rng() % 2) c.Stroke(x, cy, x + w, cy, thick);
      break;
    }
    case 4:  // a tall stem with a dot ("i", "l"): a square as wide as the stem, and two
             // pixels side by side over a thin one
      c.Stroke(x + w / 2, y + h / 3, x + w / 2, y + h, thick);
      c.Block(x + w / 2, y + h / 6, std::max(thick, 2), thick > 2 ? thick : 1);
      break;
    default:  // the "4" of the fault report: a diagonal, a bar and a stem
      c.Stroke(x + w * 3 / 4, y, x, y + h * 2 / 3, thick);
      c.Stroke(x, y + h * 2 / 3, x + w, y + h * 2 / 3, thick);
      c.Stroke(x + w * 3 / 4, y, x + w * 3 / 4, y + h, thick);
      break;
  }
}

// The page as grey bytes, kWidth x kHeight.
inline std::vector<uint8_t> MakePage() {
  Canvas c(kWidth, kHeight);
  std::mt19937 rng(17);
  int y = 150;
  for (int line = 0; y + 60 < int(kHeight) - 150; ++line, y += 50) {
    if (line % 10 == 9) {
      // A dashed rule and a hairline under it.
      for (int x = 150; x + 12 < int(kWidth) - 150; x += 20) c.Stroke(x, y + 10, x + 11, y + 10, 1);
      c.Stroke(150, y + 25, kWidth - 150, y + 25, 1);
      continue;
    }
    int x = 150;
    while (x + 40 < int(kWidth) - 150) {
      const int thick = 1 + int(rng() % 2);
      if (line % 4 == 3) {
        Digit(c, int(rng() % 10), x, y + 4, 14, 28, thick);
        x += 22;
      } else {
        const int w = 12 + int(rng() % 8);
        Glyph(c, rng, x, y, w, 30, thick);
        x += w + 6;
      }
      if (rng() % 7 == 0) x += 14;  // a word space
    }
  }
  return std::move(c.Pixels());
}

}  // namespace textpage
