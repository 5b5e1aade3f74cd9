// Canvas operations on byte and 1-bit images: rectangle fill, paste and straight lines. All
// of them clip to the destination, so no coordinate can reach outside the buffer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "processing/common.h"

namespace {

using pxproc::BitRowBytes;
using pxproc::RowFits;

// A colour's pixel bytes (byte 0 first), with bytes 0 and 2 exchanged for PX_FLAG_BGR.
struct PixelBytes {
  uint8_t b[4];
  PixelBytes(uint32_t color, uint32_t bytesPerPixel, uint32_t flags) {
    for (int k = 0; k < 4; ++k) b[k] = uint8_t(color >> (8 * k));
    if ((flags & PX_FLAG_BGR) && bytesPerPixel >= 3) std::swap(b[0], b[2]);
  }
};

// Half-open span [lo, hi) of one axis after clipping to [0, size).
struct Span {
  int64_t lo, hi;
  bool Empty() const { return hi <= lo; }
  int64_t Size() const { return hi - lo; }
};

Span Clip(int64_t lo, int64_t hi, uint32_t size) {
  return {std::max<int64_t>(lo, 0), std::min<int64_t>(hi, size)};
}

inline void SetBit(uint8_t* row, int64_t x, bool on) {
  const uint8_t m = uint8_t(0x80 >> (x & 7));
  row[x >> 3] = on ? uint8_t(row[x >> 3] | m) : uint8_t(row[x >> 3] & ~m);
}

// Sets or clears pixels [x0, x1) of a 1-bit row: whole bytes in the middle, masks at the ends.
void FillBits(uint8_t* row, int64_t x0, int64_t x1, bool on) {
  int64_t first = x0 >> 3, last = (x1 - 1) >> 3;
  uint8_t head = uint8_t(0xFF >> (x0 & 7));
  uint8_t tail = uint8_t(0xFF << (7 - ((x1 - 1) & 7)));
  auto apply = [on](uint8_t& b, uint8_t m) { b = on ? uint8_t(b | m) : uint8_t(b & ~m); };
  if (first == last) return apply(row[first], uint8_t(head & tail));
  apply(row[first], head);
  if (last > first + 1) std::memset(row + first + 1, on ? 0xFF : 0, size_t(last - first - 1));
  apply(row[last], tail);
}

// Fills n pixels of bpp bytes with one pixel value: one pixel, then doubling copies.
void FillPixels(uint8_t* out, int64_t n, uint32_t bpp, const uint8_t* pixel) {
  const size_t total = size_t(n) * bpp;
  std::memcpy(out, pixel, bpp);
  for (size_t done = bpp; done < total;) {
    const size_t chunk = std::min(done, total - done);
    std::memcpy(out + done, out, chunk);
    done += chunk;
  }
}

/* ---- Blending --------------------------------------------------------------------------- */

bool KnownBlendMode(uint32_t mode) {
  return mode <= PX_BLEND_AVERAGE || mode == PX_BLEND_OVERLAY;
}

// The blend mode's value of one channel before the opacity is applied.
inline uint32_t BlendChannel(uint32_t mode, uint32_t d, uint32_t s) {
  switch (mode) {
    case PX_BLEND_DARKEN:
      return std::min(d, s);
    case PX_BLEND_LIGHTEN:
      return std::max(d, s);
    case PX_BLEND_MULTIPLY:
      return (d * s + 127) / 255;
    case PX_BLEND_SCREEN:
      return 255 - ((255 - d) * (255 - s) + 127) / 255;
    case PX_BLEND_DIFFERENCE:
      return d > s ? d - s : s - d;
    case PX_BLEND_ADD:
      return std::min(d + s, 255u);
    case PX_BLEND_SUBTRACT:
      return d > s ? d - s : 0;
    case PX_BLEND_AVERAGE:
      return (d + s + 1) / 2;
    case PX_BLEND_OVERLAY:
      return d < 128 ? (2 * d * s + 127) / 255 : 255 - (2 * (255 - d) * (255 - s) + 127) / 255;
    default:
      return s;
  }
}

inline uint8_t Mix(uint32_t d, uint32_t t, double opacity) {
  return uint8_t(std::lrint(d * (1 - opacity) + t * opacity));
}

/* ---- Lines ------------------------------------------------------------------------------ */

// The pixels of a line from (x1, y1) to (x2, y2), both ends included, as the classic
// integer algorithm steps them, but only the part whose major coordinate lies inside
// [0, majorSize): the state at the first such step is computed in closed form, so a line
// with far-away end points costs no more than one across the image.
template <class Plot>
void TraceLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t width, uint32_t height,
               Plot plot) {
  const int64_t adx = x2 > x1 ? x2 - x1 : x1 - x2, ady = y2 > y1 ? y2 - y1 : y1 - y2;
  const int64_t sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
  const bool xMajor = ady < adx;
  // a: minor extent, b: major extent (a <= b); m: major axis, n: minor axis.
  const int64_t a = xMajor ? ady : adx, b = xMajor ? adx : ady;
  const int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
  const int64_t sm = xMajor ? sx : sy, sn = xMajor ? sy : sx;
  const int64_t majorSize = xMajor ? width : height;

  // Steps k = 0 ... b put the major coordinate at m1 + sm k; keep those inside the image.
  int64_t kLo, kHi;
  if (sm > 0) {
    kLo = -m1;
    kHi = majorSize - 1 - m1;
  } else {
    kLo = m1 - (majorSize - 1);
    kHi = m1;
  }
  kLo = std::max<int64_t>(kLo, 0);
  kHi = std::min<int64_t>(kHi, b);
  if (kLo > kHi) return;

  // After k steps the minor coordinate has moved floor((2 a k + b) / 2b) times, and the
  // decision value of the next step is 2a(k + 1) - b - 2b n.
  int64_t n = 0;
  if (b > 0) n = int64_t((__int128(2) * a * kLo + b) / (__int128(2) * b));
  int64_t d = int64_t(__int128(2) * a * (kLo + 1) - b - __int128(2) * b * n);
  for (int64_t k = kLo; k <= kHi; ++k) {
    const int64_t major = m1 + sm * k, minor = n1 + sn * n;
    if (xMajor)
      plot(major, minor);
    else
      plot(minor, major);
    if (d >= 0) {
      ++n;
      d += 2 * a - 2 * b;
    } else {
      d += 2 * a;
    }
  }
}

// Anti-aliased line: along the major axis, the two pixels nearest the exact minor position
// share the colour by their distance from it.
template <class Blend>
void TraceSmoothLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t width,
                     uint32_t height, Blend blend) {
  const int64_t adx = std::llabs(x2 - x1), ady = std::llabs(y2 - y1);
  const bool xMajor = ady < adx;
  const int64_t m1 = xMajor ? x1 : y1, m2 = xMajor ? x2 : y2;
  const int64_t n1 = xMajor ? y1 : x1, n2 = xMajor ? y2 : x2;
  const int64_t b = std::max(adx, ady);
  const int64_t sm = m2 >= m1 ? 1 : -1;
  const int64_t majorSize = xMajor ? width : height;
  int64_t kLo = sm > 0 ? -m1 : m1 - (majorSize - 1), kHi = sm > 0 ? majorSize - 1 - m1 : m1;
  kLo = std::max<int64_t>(kLo, 0);
  kHi = std::min<int64_t>(kHi, b);
  const double slope = b ? double(n2 - n1) / double(b) : 0.0;
  for (int64_t k = kLo; k <= kHi; ++k) {
    const int64_t major = m1 + sm * k;
    const double exact = double(n1) + slope * double(k);
    const double base = std::floor(exact);
    const double frac = exact - base;
    const int64_t minor = int64_t(base);
    auto put = [&](int64_t mn, double coverage) {
      if (coverage <= 0) return;
      if (xMajor)
        blend(major, mn, coverage);
      else
        blend(mn, major, coverage);
    };
    put(minor, 1 - frac);
    put(minor + 1, frac);
  }
}

}  // namespace

extern "C" BOOL PXFillRect(BYTE* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                           uint32_t stride, const RECT* rect, uint32_t color, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || !rect || (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4) ||
      !RowFits(stride, width, bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  // Columns left ... right inclusive, rows top ... bottom - 1; parts outside are cut off.
  const Span xs = Clip(rect->left, int64_t(rect->right) + 1, width);
  const Span ys = Clip(rect->top, rect->bottom, height);
  if (xs.Empty() || ys.Empty()) return TRUE;

  const PixelBytes px(color, bytesPerPixel, flags);
  const bool uniform = bytesPerPixel == 1 || (px.b[0] == px.b[1] && px.b[1] == px.b[2] &&
                                              (bytesPerPixel == 3 || px.b[2] == px.b[3]));
  const uint32_t rows = uint32_t(ys.Size());
  for (uint32_t r = 0; r < rows; ++r) {
    uint8_t* out = pixels + size_t(ys.lo + r) * stride + size_t(xs.lo) * bytesPerPixel;
    if (uniform)
      std::memset(out, px.b[0], size_t(xs.Size()) * bytesPerPixel);
    else
      FillPixels(out, xs.Size(), bytesPerPixel, px.b);
    if (!op.Progress(r, rows)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXFillRect1Bit(BYTE* pixels, uint32_t width, uint32_t height, uint32_t stride,
                               const RECT* rect, uint32_t bit) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || !rect || BitRowBytes(width) > stride) return op.Fail(PX_ERR_PARAMETER);
  // Columns left ... right - 1, rows top ... bottom - 1.
  const Span xs = Clip(rect->left, rect->right, width);
  const Span ys = Clip(rect->top, rect->bottom, height);
  if (xs.Empty() || ys.Empty()) return TRUE;
  const uint32_t rows = uint32_t(ys.Size());
  for (uint32_t r = 0; r < rows; ++r) {
    FillBits(pixels + size_t(ys.lo + r) * stride, xs.lo, xs.hi, bit != 0);
    if (!op.Progress(r, rows)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXPasteImage(BYTE* destination, uint32_t destinationWidth,
                             uint32_t destinationHeight, uint32_t bytesPerPixel,
                             uint32_t destinationStride, const BYTE* source, uint32_t sourceWidth,
                             uint32_t sourceHeight, uint32_t sourceStride, int x, int y,
                             double opacity, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  const uint32_t mode = flags & 0xFF;
  if (!destination || !source || destination == source || bytesPerPixel < 1 || bytesPerPixel > 4 ||
      !RowFits(destinationStride, destinationWidth, bytesPerPixel) ||
      !RowFits(sourceStride, sourceWidth, bytesPerPixel) || !KnownBlendMode(mode))
    return op.Fail(PX_ERR_PARAMETER);
  const Span xs = Clip(x, int64_t(x) + sourceWidth, destinationWidth);
  const Span ys = Clip(y, int64_t(y) + sourceHeight, destinationHeight);
  if (xs.Empty() || ys.Empty()) return TRUE;
  if (!(opacity > 0)) return TRUE;  // nothing shows (NaN included)
  if (opacity > 1) opacity = 1;
  const bool copy = opacity == 1 && mode <= 1;

  const uint32_t rows = uint32_t(ys.Size());
  const size_t bytes = size_t(xs.Size()) * bytesPerPixel;
  for (uint32_t r = 0; r < rows; ++r) {
    int64_t sy = ys.lo + r - y;
    if (flags & PX_PASTE_BOTTOM_UP) sy = int64_t(sourceHeight) - 1 - sy;
    const uint8_t* in = source + size_t(sy) * sourceStride + size_t(xs.lo - x) * bytesPerPixel;
    uint8_t* out =
        destination + size_t(ys.lo + r) * destinationStride + size_t(xs.lo) * bytesPerPixel;
    if (copy) {
      std::memcpy(out, in, bytes);
    } else {
      for (size_t i = 0; i < bytes; ++i)
        out[i] = Mix(out[i], BlendChannel(mode, out[i], in[i]), opacity);
    }
    if (!op.Progress(r, rows)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXPasteImage1Bit(BYTE* destination, uint32_t destinationWidth,
                                 uint32_t destinationHeight, uint32_t destinationStride,
                                 const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                 uint32_t sourceStride, int x, int y, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  if (!destination || !source || destination == source ||
      BitRowBytes(destinationWidth) > destinationStride || BitRowBytes(sourceWidth) > sourceStride)
    return op.Fail(PX_ERR_PARAMETER);
  const Span xs = Clip(x, int64_t(x) + sourceWidth, destinationWidth);
  const Span ys = Clip(y, int64_t(y) + sourceHeight, destinationHeight);
  if (xs.Empty() || ys.Empty()) return TRUE;

  const int64_t sourceBytes = int64_t(BitRowBytes(sourceWidth));
  const int64_t shift = -int64_t(x);  // source bit = destination bit + shift
  const uint32_t rows = uint32_t(ys.Size());
  for (uint32_t r = 0; r < rows; ++r) {
    int64_t sy = ys.lo + r - y;
    if (flags & PX_PASTE1_BOTTOM_UP) sy = int64_t(sourceHeight) - 1 - sy;
    const uint8_t* in = source + size_t(sy) * sourceStride;
    uint8_t* out = destination + size_t(ys.lo + r) * destinationStride;
    auto sourceByte = [&](int64_t i) -> uint32_t { return i >= 0 && i < sourceBytes ? in[i] : 0; };
    for (int64_t db = xs.lo >> 3; db <= (xs.hi - 1) >> 3; ++db) {
      // The destination bits of this byte inside the area, and the source bits that go there.
      const int64_t lo = std::max(xs.lo, db * 8), hi = std::min(xs.hi, db * 8 + 8);
      const uint8_t mask = uint8_t((0xFF >> (lo - db * 8)) & (0xFF << (db * 8 + 8 - hi)));
      const int64_t s = db * 8 + shift;
      const int64_t sb = s >> 3, sr = s & 7;  // floor division, also for negative s
      const uint8_t bits = uint8_t((sourceByte(sb) << 8 | sourceByte(sb + 1)) >> (8 - sr));
      uint8_t& d = out[db];
      if (!(flags & PX_PASTE1_SINGLE_VALUE))
        d = uint8_t((d & ~mask) | (bits & mask));
      else if (flags & PX_PASTE1_ONES)
        d = uint8_t(d | (bits & mask));
      else
        d = uint8_t(d & ~(~bits & mask));
    }
    if (!op.Progress(r, rows)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXDrawLine(BYTE* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                           uint32_t stride, uint32_t color, PXPoint from, PXPoint to,
                           uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || bytesPerPixel < 1 || bytesPerPixel > 4 || !RowFits(stride, width, bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  const bool smooth = flags & PX_LINE_ANTIALIAS;
  if (smooth && bytesPerPixel < 3) return op.Fail(PX_ERR_PARAMETER);
  const PixelBytes px(color, bytesPerPixel, flags);
  auto at = [&](int64_t px_, int64_t py) -> uint8_t* {
    if (px_ < 0 || py < 0 || px_ >= int64_t(width) || py >= int64_t(height)) return nullptr;
    return pixels + size_t(py) * stride + size_t(px_) * bytesPerPixel;
  };
  if (smooth) {
    TraceSmoothLine(from.x, from.y, to.x, to.y, width, height,
                    [&](int64_t u, int64_t v, double coverage) {
                      if (uint8_t* p = at(u, v))
                        for (uint32_t k = 0; k < bytesPerPixel; ++k)
                          p[k] = Mix(p[k], px.b[k], coverage);
                    });
  } else {
    TraceLine(from.x, from.y, to.x, to.y, width, height, [&](int64_t u, int64_t v) {
      if (uint8_t* p = at(u, v)) std::memcpy(p, px.b, bytesPerPixel);
    });
  }
  return TRUE;
}

extern "C" BOOL PXDrawLine1Bit(BYTE* pixels, uint32_t width, uint32_t height, uint32_t stride,
                               uint32_t bit, PXPoint from, PXPoint to, uint32_t /*flags*/) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels || BitRowBytes(width) > stride) return op.Fail(PX_ERR_PARAMETER);
  TraceLine(from.x, from.y, to.x, to.y, width, height, [&](int64_t u, int64_t v) {
    if (u >= 0 && v >= 0 && u < int64_t(width) && v < int64_t(height))
      SetBit(pixels + size_t(v) * stride, u, bit != 0);
  });
  return TRUE;
}
