// The further resamplers: the two-pass filtered resize, area-averaging shrinks and the
// centre-aligned enlargement. All of them are one separable engine: each destination column
// (and row) is a weighted sum of a list of source columns (rows), and only the way those
// lists are made differs.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "processing/common.h"

namespace {

using pxproc::RowFits;
using pxproc::Table;

/* ---- Filters ---------------------------------------------------------------------------- */

double Sinc(double x) {
  if (x == 0) return 1;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

double BoxKernel(double x) {
  return x > -0.5 && x <= 0.5 ? 1 : 0;
}
double TriangleKernel(double x) {
  x = std::fabs(x);
  return x < 1 ? 1 - x : 0;
}
double HammingKernel(double x) {
  return std::fabs(x) < 1 ? 0.54 + 0.46 * std::cos(std::numbers::pi * x) : 0;
}
double GaussianKernel(double x) {
  return std::fabs(x) < 1.25 ? std::exp(-2 * x * x) * std::sqrt(2 / std::numbers::pi) : 0;
}
double BellKernel(double x) {
  x = std::fabs(x);
  if (x < 0.5) return 0.75 - x * x;
  if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0;
}
double BSplineKernel(double x) {
  x = std::fabs(x);
  if (x < 1) return 0.5 * x * x * x - x * x + 2.0 / 3;
  if (x < 2) return (2 - x) * (2 - x) * (2 - x) / 6;
  return 0;
}
double HermiteKernel(double x) {
  x = std::fabs(x);
  return x < 1 ? 2 * x * x * x - 3 * x * x + 1 : 0;
}
double LanczosKernel(double x) {
  return std::fabs(x) < 3 ? Sinc(x) * Sinc(x / 3) : 0;
}
double MitchellKernel(double x) {
  x = std::fabs(x);
  if (x < 1) return (7 * x * x * x - 12 * x * x + 16.0 / 3) / 6;
  if (x < 2) return (-7.0 / 3 * x * x * x + 12 * x * x - 20 * x + 32.0 / 3) / 6;
  return 0;
}
double SincKernel(double x) {
  return std::fabs(x) < 4 ? Sinc(x) : 0;
}
double HanningKernel(double x) {
  return std::fabs(x) < 1 ? 0.5 * (std::cos(std::numbers::pi * x) + 1) : 0;
}
double CatmullRomKernel(double x) {
  x = std::fabs(x);
  if (x < 1) return (3 * x * x * x - 5 * x * x + 2) / 2;
  if (x < 2) return (-x * x * x + 5 * x * x - 8 * x + 4) / 2;
  return 0;
}

struct Filter {
  double (*kernel)(double);
  double support;
};

constexpr Filter kFilters[] = {{BoxKernel, 0.5},       {TriangleKernel, 1.0},  {HammingKernel, 1.0},
                               {GaussianKernel, 1.25}, {BellKernel, 1.5},      {BSplineKernel, 2.0},
                               {HermiteKernel, 1.0},   {BSplineKernel, 2.0},   {LanczosKernel, 3.0},
                               {MitchellKernel, 2.0},  {SincKernel, 4.0},      {HermiteKernel, 1.0},
                               {HanningKernel, 1.0},   {CatmullRomKernel, 2.0}};
constexpr int kFilterCount = int(sizeof kFilters / sizeof kFilters[0]);

/* ---- Contribution lists ----------------------------------------------------------------- */

struct Tap {
  uint32_t index;
  float weight;
};

// For every destination position, the source positions and weights that make it.
class Contributions {
 public:
  bool Kernel(uint32_t s, uint32_t d, const Filter& filter);
  bool WholeCells(uint32_t s, uint32_t d);
  bool CoveredArea(uint32_t s, uint32_t d);
  bool Bilinear(uint32_t s, uint32_t d);
  // The covered area where the axis shrinks or keeps its size, the bilinear mapping where
  // it grows.
  bool Area(uint32_t s, uint32_t d) { return s >= d ? CoveredArea(s, d) : Bilinear(s, d); }

  const Tap* begin(uint32_t i) const { return taps_.get() + first_[i]; }
  const Tap* end(uint32_t i) const { return taps_.get() + first_[i + 1]; }

 private:
  bool Reserve(uint32_t d, size_t tapsPerPosition);
  void Add(uint32_t index, double weight) { taps_[count_++] = {index, float(weight)}; }
  void Close(uint32_t i, size_t start);

  Table<size_t> first_;
  Table<Tap> taps_;
  size_t count_ = 0;
};

bool Contributions::Reserve(uint32_t d, size_t tapsPerPosition) {
  size_t total;
  return px::MulSize(d, tapsPerPosition, &total) && first_.Allocate(size_t(d) + 1) &&
         taps_.Allocate(total);
}

// Ends position i's list, whose taps start at `start`: weights scaled to sum to 1.
void Contributions::Close(uint32_t i, size_t start) {
  double sum = 0;
  for (size_t t = start; t < count_; ++t) sum += taps_[t].weight;
  if (sum != 0)
    for (size_t t = start; t < count_; ++t) taps_[t].weight = float(taps_[t].weight / sum);
  first_[i] = start;
  first_[i + 1] = count_;
}

bool Contributions::Kernel(uint32_t s, uint32_t d, const Filter& filter) {
  // Shrinking widens the kernel so that every source pixel contributes.
  const double scale = double(d) / double(s);
  const double stretch = scale < 1 ? scale : 1;
  const double width = filter.support / stretch;
  if (!Reserve(d, size_t(2 * std::ceil(width)) + 2)) return false;
  for (uint32_t i = 0; i < d; ++i) {
    const double center = (i + 0.5) / scale - 0.5;
    const int64_t lo = int64_t(std::ceil(center - width));
    const int64_t hi = int64_t(std::floor(center + width));
    const size_t start = count_;
    for (int64_t j = lo; j <= hi; ++j) {
      const double w = filter.kernel((center - double(j)) * stretch);
      if (w == 0) continue;
      // Beyond the edges the edge pixel stands in.
      Add(uint32_t(std::clamp<int64_t>(j, 0, int64_t(s) - 1)), w);
    }
    if (count_ == start) Add(uint32_t(std::clamp<int64_t>(std::llround(center), 0, s - 1)), 1);
    Close(i, start);
  }
  return true;
}

// Destination position i averages the whole source positions floor(i s / d) ... before
// floor((i + 1) s / d), with equal weights.
bool Contributions::WholeCells(uint32_t s, uint32_t d) {
  if (!Reserve(d, s / d + 1)) return false;
  for (uint32_t i = 0; i < d; ++i) {
    const uint64_t lo = uint64_t(i) * s / d, hi = uint64_t(i + 1) * s / d;
    const size_t start = count_;
    for (uint64_t j = lo; j < hi; ++j) Add(uint32_t(j), 1);
    Close(i, start);
  }
  return true;
}

// Destination position i covers [i s / d, (i + 1) s / d) of the source; each source position
// counts with the part of it inside.
bool Contributions::CoveredArea(uint32_t s, uint32_t d) {
  if (!Reserve(d, s / d + 2)) return false;
  for (uint32_t i = 0; i < d; ++i) {
    // In units of 1/d of a source pixel: the cell is [i s, (i + 1) s), pixel j is [j d, (j + 1) d).
    const uint64_t cellLo = uint64_t(i) * s, cellHi = cellLo + s;
    const size_t start = count_;
    for (uint64_t j = cellLo / d; j * d < cellHi; ++j) {
      const uint64_t lo = std::max(cellLo, j * d), hi = std::min(cellHi, (j + 1) * d);
      if (hi > lo) Add(uint32_t(j), double(hi - lo));
    }
    Close(i, start);
  }
  return true;
}

// The two samples and weights of PXResizeRGB's mapping, so that enlarging keeps its results.
bool Contributions::Bilinear(uint32_t s, uint32_t d) {
  if (!Reserve(d, 2)) return false;
  const pxproc::AxisMap map(s, d);
  for (uint32_t i = 0; i < d; ++i) {
    uint32_t first, second;
    double fraction;
    map.At(i, s, &first, &second, &fraction);
    const size_t start = count_;
    Add(first, 1 - fraction);
    if (fraction != 0) Add(second, fraction);
    Close(i, start);
  }
  return true;
}

/* ---- The separable engine --------------------------------------------------------------- */

// fetch(y) gives source row y as `channels` bytes per pixel; store(y, values) receives the
// destination row as doubles. Progress runs over the source rows, then the destination rows.
template <class Fetch, class Store>
bool Separable(px::Operation& op, uint32_t sourceHeight, uint32_t destinationWidth,
               uint32_t destinationHeight, uint32_t channels, const Contributions& xs,
               const Contributions& ys, Fetch fetch, Store store) {
  size_t rowValues, tempBytes;
  Table<float> temp;
  Table<double> row;
  if (!px::MulSize(destinationWidth, channels, &rowValues) ||
      !px::BlockSize(sourceHeight, rowValues * sizeof(float), 0, &tempBytes) ||
      !temp.Allocate(tempBytes / sizeof(float)) || !row.Allocate(rowValues))
    return op.Fail(PX_ERR_NO_MEMORY);
  const uint32_t total =
      uint32_t(std::min<uint64_t>(uint64_t(sourceHeight) + destinationHeight, UINT32_MAX));

  for (uint32_t y = 0; y < sourceHeight; ++y) {
    const uint8_t* in = fetch(y);
    float* out = temp.get() + size_t(y) * rowValues;
    for (uint32_t x = 0; x < destinationWidth; ++x)
      for (uint32_t c = 0; c < channels; ++c) {
        double acc = 0;
        for (const Tap* t = xs.begin(x); t != xs.end(x); ++t)
          acc += t->weight * in[size_t(t->index) * channels + c];
        out[size_t(x) * channels + c] = float(acc);
      }
    if (!op.Progress(y, total)) return false;
  }
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    std::fill(row.get(), row.get() + rowValues, 0.0);
    for (const Tap* t = ys.begin(y); t != ys.end(y); ++t) {
      const float* in = temp.get() + size_t(t->index) * rowValues;
      for (size_t v = 0; v < rowValues; ++v) row[v] += t->weight * in[v];
    }
    store(y, row.get());
    if (!op.Progress(uint32_t(std::min<uint64_t>(uint64_t(sourceHeight) + y, UINT32_MAX)), total))
      return false;
  }
  return true;
}

inline uint8_t ToByte(double v) {
  return uint8_t(std::clamp<long>(std::lrint(v), 0, 255));
}

// Byte images in, byte images out.
bool ResampleBytes(px::Operation& op, const uint8_t* source, uint32_t sourceHeight,
                   uint32_t sourceStride, uint8_t* destination, uint32_t destinationWidth,
                   uint32_t destinationHeight, uint32_t destinationStride, uint32_t channels,
                   const Contributions& xs, const Contributions& ys) {
  return Separable(
      op, sourceHeight, destinationWidth, destinationHeight, channels, xs, ys,
      [&](uint32_t y) { return source + size_t(y) * sourceStride; },
      [&](uint32_t y, const double* values) {
        uint8_t* out = destination + size_t(y) * destinationStride;
        for (size_t v = 0; v < size_t(destinationWidth) * channels; ++v) out[v] = ToByte(values[v]);
      });
}

bool CheckBuffers(const uint8_t* source, uint32_t sw, uint32_t sh, uint32_t ss,
                  const uint8_t* destination, uint32_t dw, uint32_t dh, uint32_t ds, uint32_t bpp) {
  return source && destination && source != destination && sw && sh && dw && dh && bpp &&
         RowFits(ss, sw, bpp) && RowFits(ds, dw, bpp);
}

}  // namespace

extern "C" BOOL PXResizeRGBFiltered(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                    uint32_t sourceStride, BYTE* destination,
                                    uint32_t destinationWidth, uint32_t destinationHeight,
                                    uint32_t destinationStride, uint32_t bytesPerPixel,
                                    int filter) {
  px::Operation op;
  if (!op) return FALSE;
  if (!CheckBuffers(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                    destinationHeight, destinationStride, bytesPerPixel) ||
      filter < 0 || filter >= kFilterCount)
    return op.Fail(PX_ERR_PARAMETER);
  const Filter& f = kFilters[filter];
  const double smallest = std::ceil(f.support);
  if (destinationWidth < smallest || destinationHeight < smallest)
    return op.Fail(PX_ERR_SIZE_OVERFLOW);
  Contributions xs, ys;
  if (!xs.Kernel(sourceWidth, destinationWidth, f) ||
      !ys.Kernel(sourceHeight, destinationHeight, f))
    return op.Fail(PX_ERR_NO_MEMORY);
  return ResampleBytes(op, source, sourceHeight, sourceStride, destination, destinationWidth,
                       destinationHeight, destinationStride, bytesPerPixel, xs, ys);
}

extern "C" BOOL PXShrinkRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                            uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                            uint32_t destinationHeight, uint32_t destinationStride, BOOL exact) {
  px::Operation op;
  if (!op) return FALSE;
  if (!CheckBuffers(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                    destinationHeight, destinationStride, 3) ||
      destinationWidth > sourceWidth || destinationHeight > sourceHeight)
    return op.Fail(PX_ERR_PARAMETER);
  Contributions xs, ys;
  const bool made = exact ? xs.CoveredArea(sourceWidth, destinationWidth) &&
                                ys.CoveredArea(sourceHeight, destinationHeight)
                          : xs.WholeCells(sourceWidth, destinationWidth) &&
                                ys.WholeCells(sourceHeight, destinationHeight);
  if (!made) return op.Fail(PX_ERR_NO_MEMORY);
  return ResampleBytes(op, source, sourceHeight, sourceStride, destination, destinationWidth,
                       destinationHeight, destinationStride, 3, xs, ys);
}

extern "C" BOOL PXEnlargeRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                             uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                             uint32_t destinationHeight, uint32_t destinationStride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!CheckBuffers(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                    destinationHeight, destinationStride, 3) ||
      destinationWidth < sourceWidth || destinationHeight < sourceHeight)
    return op.Fail(PX_ERR_PARAMETER);
  // The triangle filter at magnification is bilinear interpolation between pixel centres.
  Contributions xs, ys;
  if (!xs.Kernel(sourceWidth, destinationWidth, kFilters[PX_FILTER_TRIANGLE]) ||
      !ys.Kernel(sourceHeight, destinationHeight, kFilters[PX_FILTER_TRIANGLE]))
    return op.Fail(PX_ERR_NO_MEMORY);
  return ResampleBytes(op, source, sourceHeight, sourceStride, destination, destinationWidth,
                       destinationHeight, destinationStride, 3, xs, ys);
}

extern "C" BOOL PXShrinkIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                                uint32_t destinationHeight, uint32_t destinationStride,
                                uint32_t paletteCount, const RGBQUAD* palette) {
  px::Operation op;
  if (!op) return FALSE;
  if (!palette ||
      !CheckBuffers(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                    destinationHeight, destinationStride, 1) ||
      destinationWidth > sourceWidth || destinationHeight > sourceHeight || paletteCount < 1 ||
      paletteCount > 256)
    return op.Fail(PX_ERR_PARAMETER);
  Contributions xs, ys;
  Table<uint8_t> colors;
  if (!xs.WholeCells(sourceWidth, destinationWidth) ||
      !ys.WholeCells(sourceHeight, destinationHeight) || !colors.Allocate(size_t(sourceWidth) * 3))
    return op.Fail(PX_ERR_NO_MEMORY);
  CPXColorMatch matcher;
  matcher.SetPalette(palette, int(paletteCount));
  return Separable(
      op, sourceHeight, destinationWidth, destinationHeight, 3, xs, ys,
      [&](uint32_t y) {
        const uint8_t* in = source + size_t(y) * sourceStride;
        for (uint32_t x = 0; x < sourceWidth; ++x) {
          const RGBQUAD& e = palette[in[x]];
          colors[size_t(x) * 3] = e.rgbRed;
          colors[size_t(x) * 3 + 1] = e.rgbGreen;
          colors[size_t(x) * 3 + 2] = e.rgbBlue;
        }
        return colors.get();
      },
      [&](uint32_t y, const double* values) {
        uint8_t* out = destination + size_t(y) * destinationStride;
        for (uint32_t x = 0; x < destinationWidth; ++x, values += 3)
          out[x] = matcher.MatchColor(ToByte(values[0]), ToByte(values[1]), ToByte(values[2]));
      });
}

/* ---- Area reduction --------------------------------------------------------------------- */

namespace {

// Each destination row is made in two steps: the source rows it covers are added up with
// their weights into one row of source width (a plain run along the row, which the compiler
// vectorises), and that row is reduced along x. Summing along y first does the per-tap work
// of the x axis once per destination row rather than once per source row.
//
// accumulate(y, weight, columns, first, begin, end) adds weight times source row y to values
// begin ... before end of `columns` (columnValues floats, kChannels per source pixel), or with
// `first` sets them to it; store(y, values) receives each destination row as floats, which it
// may change. Progress runs over the destination rows.
//
// The rows of a cell are added up `span` values at a time (a multiple of 24, so that spans
// hold whole pixels and whole bytes of a 1-bit row), all of them over one span before the
// next: the sums of a span stay in the first-level cache while the rows are read side by
// side. Each value still gets the same additions in the same order.
template <uint32_t kChannels, class Accumulate, class Store>
bool AreaRows(px::Operation& op, size_t columnValues, size_t span, uint32_t destinationWidth,
              uint32_t destinationHeight, const Contributions& xs, const Contributions& ys,
              Accumulate accumulate, Store store) {
  const size_t values = size_t(destinationWidth) * kChannels;
  Table<float> columns, row;
  if (!columns.Allocate(columnValues) || !row.Allocate(values)) return op.Fail(PX_ERR_NO_MEMORY);
  float* const col = columns.get();
  float* const out = row.get();
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    if (ys.begin(y) == ys.end(y)) std::fill(col, col + columnValues, 0.0f);
    for (size_t begin = 0; begin < columnValues; begin += span) {
      const size_t end = std::min(columnValues, begin + span);
      for (const Tap* t = ys.begin(y); t != ys.end(y); ++t)
        accumulate(t->index, t->weight, col, t == ys.begin(y), begin, end);
    }
    for (uint32_t x = 0; x < destinationWidth; ++x) {
      float acc[kChannels] = {};
      for (const Tap* t = xs.begin(x); t != xs.end(x); ++t) {
        const float* p = col + size_t(t->index) * kChannels;
        for (uint32_t c = 0; c < kChannels; ++c) acc[c] += t->weight * p[c];
      }
      for (uint32_t c = 0; c < kChannels; ++c) out[size_t(x) * kChannels + c] = acc[c];
    }
    store(y, out);
    if (!op.Progress(y, destinationHeight)) return false;
  }
  return true;
}

// Rounds as lrint does (to nearest, ties to even) without its library call: adding 1.5 * 2^23
// leaves no bits for a fraction, so the float addition itself rounds.
inline uint8_t FloatToByte(float v) {
  const float clamped = std::min(std::max(v, 0.0f), 255.0f);
  return uint8_t(int((clamped + 12582912.0f) - 12582912.0f));
}

// A row of FloatToByte. On SSE2 four values at a time: the conversion rounds to nearest
// even (the default rounding mode, as lrint), and the two saturating packs clamp to 0 ... 255.
void StoreBytes(const float* __restrict v, uint8_t* __restrict out, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i a = _mm_cvtps_epi32(_mm_loadu_ps(v + i));
    const __m128i b = _mm_cvtps_epi32(_mm_loadu_ps(v + i + 4));
    const __m128i c = _mm_cvtps_epi32(_mm_loadu_ps(v + i + 8));
    const __m128i d = _mm_cvtps_epi32(_mm_loadu_ps(v + i + 12));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
  }
#endif
  for (; i < n; ++i) out[i] = FloatToByte(v[i]);
}

template <uint32_t kChannels>
bool AreaBytes(px::Operation& op, const uint8_t* source, uint32_t sourceWidth,
               uint32_t sourceStride, uint8_t* destination, uint32_t destinationWidth,
               uint32_t destinationHeight, uint32_t destinationStride, const Contributions& xs,
               const Contributions& ys) {
  // Spans pay off here, where a row's bytes are few work per value; the palette and 1-bit
  // rows did not gain from them.
  return AreaRows<kChannels>(
      op, size_t(sourceWidth) * kChannels, 1536, destinationWidth, destinationHeight, xs, ys,
      [&](uint32_t y, float w, float* __restrict col, bool first, size_t begin, size_t end) {
        const uint8_t* __restrict in = source + size_t(y) * sourceStride;
        if (first)
          for (size_t v = begin; v < end; ++v) col[v] = w * float(in[v]);
        else
          for (size_t v = begin; v < end; ++v) col[v] += w * float(in[v]);
      },
      [&](uint32_t y, const float* v) {
        StoreBytes(v, destination + size_t(y) * destinationStride,
                   size_t(destinationWidth) * kChannels);
      });
}

// Adds w times the colours of a row of indices to `col` (kChannels per pixel), or with
// kSet sets `col` to them.
template <uint32_t kChannels, bool kSet>
void AddIndexedRow(const uint8_t* __restrict in, uint32_t width, const float (*lookup)[3], float w,
                   float* __restrict col) {
  for (uint32_t x = 0; x < width; ++x, col += kChannels) {
    const float* e = lookup[in[x]];
    for (uint32_t c = 0; c < kChannels; ++c) {
      if constexpr (kSet)
        col[c] = w * e[c];
      else
        col[c] += w * e[c];
    }
  }
}

/* ---- Whole blocks ---------------------------------------------------------------------- */

// Where both axes shrink by whole factors kx and ky, every destination pixel is the mean of
// one kx x ky block, and the float engine's result is that mean rounded to nearest, ties to
// even, whenever the two can be shown to agree: with power-of-two factors its weights and
// sums are exact; with an odd block count n no mean lies on a half (it is at least 1 / (2 n)
// away from one), and the engine's error, under (kx + ky + 2) units of 2^-24 relative to a
// value of at most 255, stays below that. Such blocks are summed in integers and rounded
// from a table instead; other ratios keep the engine. Block counts above 256 would overflow
// the 16-bit sums.
bool WholeFactor(uint32_t s, uint32_t d, uint32_t* k) {
  *k = s / d;
  return s >= d && s % d == 0;
}

bool BlockMeansAgree(uint32_t sourceWidth, uint32_t sourceHeight, uint32_t destinationWidth,
                     uint32_t destinationHeight, uint32_t* kx, uint32_t* ky) {
  if (!WholeFactor(sourceWidth, destinationWidth, kx) ||
      !WholeFactor(sourceHeight, destinationHeight, ky))
    return false;
  const uint64_t n = uint64_t(*kx) * *ky;
  if (n > 256) return false;
  const auto powerOfTwo = [](uint32_t k) { return (k & (k - 1)) == 0; };
  if (powerOfTwo(*kx) && powerOfTwo(*ky)) return true;
  // 261 > 255 * 1.02, room for the rounding of the weights themselves.
  return n % 2 == 1 && 2 * n * (*kx + *ky + 2) * 261 < (uint64_t(1) << 24);
}

// addRow(y, sums, first) adds source row y to `sums` (kLanes 16-bit values per source pixel,
// channel c in lane c; the source width being destinationWidth kx), or with `first` sets
// them to it.
template <uint32_t kChannels, uint32_t kLanes = kChannels, class AddRow>
bool BlockMeans(px::Operation& op, uint32_t kx, uint32_t ky, uint8_t* destination,
                uint32_t destinationWidth, uint32_t destinationHeight, uint32_t destinationStride,
                AddRow addRow) {
  const uint32_t n = kx * ky;
  const size_t columns = size_t(destinationWidth) * kx * kLanes;
  Table<uint16_t> sums;
  Table<uint8_t> mean;
  if (!sums.Allocate(columns) || !mean.Allocate(255 * n + 1)) return op.Fail(PX_ERR_NO_MEMORY);
  for (uint32_t s = 0; s <= 255 * n; ++s) {
    const uint32_t q = s / n, twice = 2 * (s % n);
    mean[s] = uint8_t(q + (twice > n || (twice == n && q % 2 == 1)));
  }
  const uint16_t* const col = sums.get();
  const uint8_t* const round = mean.get();
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    for (uint32_t r = 0; r < ky; ++r) addRow(y * ky + r, sums.get(), r == 0);
    uint8_t* out = destination + size_t(y) * destinationStride;
    if (kx == 1 && kLanes == kChannels) {
      for (size_t v = 0; v < columns; ++v) out[v] = round[col[v]];
    } else if (kx == 2) {
      for (uint32_t x = 0; x < destinationWidth; ++x, out += kChannels) {
        const uint16_t* p = col + size_t(x) * 2 * kLanes;
        for (uint32_t c = 0; c < kChannels; ++c) out[c] = round[p[c] + p[c + kLanes]];
      }
    } else {
      for (uint32_t x = 0; x < destinationWidth; ++x, out += kChannels) {
        const uint16_t* p = col + size_t(x) * kx * kLanes;
        for (uint32_t c = 0; c < kChannels; ++c) {
          uint32_t s = 0;
          for (uint32_t t = 0; t < kx; ++t) s += p[t * kLanes + c];
          out[c] = round[s];
        }
      }
    }
    if (!op.Progress(y, destinationHeight)) return false;
  }
  return true;
}

template <uint32_t kChannels>
bool BlockBytes(px::Operation& op, const uint8_t* source, uint32_t sourceStride, uint32_t kx,
                uint32_t ky, uint8_t* destination, uint32_t destinationWidth,
                uint32_t destinationHeight, uint32_t destinationStride) {
  const size_t n = size_t(destinationWidth) * kx * kChannels;
  return BlockMeans<kChannels>(op, kx, ky, destination, destinationWidth, destinationHeight,
                               destinationStride,
                               [&](uint32_t y, uint16_t* __restrict sums, bool first) {
                                 const uint8_t* __restrict in = source + size_t(y) * sourceStride;
                                 if (first)
                                   for (size_t v = 0; v < n; ++v) sums[v] = in[v];
                                 else
                                   for (size_t v = 0; v < n; ++v)
                                     sums[v] = uint16_t(sums[v] + in[v]);
                               });
}

// Luma of a palette colour (ITU-R BT.601 weights), rounded.
inline uint8_t Luma(const RGBQUAD& q) {
  return uint8_t((299u * q.rgbRed + 587u * q.rgbGreen + 114u * q.rgbBlue + 500u) / 1000u);
}

}  // namespace

BOOL pxproc::ResizeArea(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                        uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                        uint32_t destinationHeight, uint32_t destinationStride,
                        uint32_t bytesPerPixel, bool wholeBlocks) {
  px::Operation op;
  if (!op) return FALSE;
  if (!CheckBuffers(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                    destinationHeight, destinationStride, bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  uint32_t kx, ky;
  if (wholeBlocks &&
      BlockMeansAgree(sourceWidth, sourceHeight, destinationWidth, destinationHeight, &kx, &ky)) {
    switch (bytesPerPixel) {
      case 1:
        return BlockBytes<1>(op, source, sourceStride, kx, ky, destination, destinationWidth,
                             destinationHeight, destinationStride);
      case 3:
        return BlockBytes<3>(op, source, sourceStride, kx, ky, destination, destinationWidth,
                             destinationHeight, destinationStride);
      case 4:
        return BlockBytes<4>(op, source, sourceStride, kx, ky, destination, destinationWidth,
                             destinationHeight, destinationStride);
      default:
        break;
    }
  }
  Contributions xs, ys;
  if (!xs.Area(sourceWidth, destinationWidth) || !ys.Area(sourceHeight, destinationHeight))
    return op.Fail(PX_ERR_NO_MEMORY);
  switch (bytesPerPixel) {
    case 1:
      return AreaBytes<1>(op, source, sourceWidth, sourceStride, destination, destinationWidth,
                          destinationHeight, destinationStride, xs, ys);
    case 3:
      return AreaBytes<3>(op, source, sourceWidth, sourceStride, destination, destinationWidth,
                          destinationHeight, destinationStride, xs, ys);
    case 4:
      return AreaBytes<4>(op, source, sourceWidth, sourceStride, destination, destinationWidth,
                          destinationHeight, destinationStride, xs, ys);
    default:
      // Other layouts go through the general engine, one byte at a time.
      return ResampleBytes(op, source, sourceHeight, sourceStride, destination, destinationWidth,
                           destinationHeight, destinationStride, bytesPerPixel, xs, ys);
  }
}

BOOL pxproc::ResizeAreaIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                               uint32_t sourceStride, uint32_t bitsPerPixel, const RGBQUAD* palette,
                               BYTE* destination, uint32_t destinationWidth,
                               uint32_t destinationHeight, uint32_t destinationStride,
                               uint32_t outputChannels, bool wholeBlocks) {
  px::Operation op;
  if (!op) return FALSE;
  const bool oneBit = bitsPerPixel == 1;
  if (!palette || (bitsPerPixel != 1 && bitsPerPixel != 8) ||
      (outputChannels != 1 && outputChannels != 3) || !source || !destination || !sourceWidth ||
      !sourceHeight || !destinationWidth || !destinationHeight ||
      (oneBit ? pxproc::BitRowBytes(sourceWidth) > sourceStride
              : !RowFits(sourceStride, sourceWidth, 1)) ||
      !RowFits(destinationStride, destinationWidth, outputChannels))
    return op.Fail(PX_ERR_PARAMETER);
  uint32_t kx, ky;
  if (wholeBlocks && !oneBit &&
      BlockMeansAgree(sourceWidth, sourceHeight, destinationWidth, destinationHeight, &kx, &ky)) {
    const size_t width = size_t(destinationWidth) * kx;
    if (outputChannels == 1) {
      uint8_t grey[256];
      for (uint32_t i = 0; i < 256; ++i) grey[i] = Luma(palette[i]);
      return BlockMeans<1>(op, kx, ky, destination, destinationWidth, destinationHeight,
                           destinationStride,
                           [&](uint32_t y, uint16_t* __restrict sums, bool first) {
                             const uint8_t* in = source + size_t(y) * sourceStride;
                             for (size_t x = 0; x < width; ++x)
                               sums[x] = uint16_t((first ? 0 : sums[x]) + grey[in[x]]);
                           });
    }
    // Each colour as the four 16-bit lanes red, green, blue, 0 of one 64-bit word, so that a
    // pixel's three sums take one addition: no lane carries into the next, the sums staying
    // below 2^16.
    uint64_t colours[256];
    for (uint32_t i = 0; i < 256; ++i) {
      const RGBQUAD& e = palette[i];
      const uint16_t lanes[4] = {e.rgbRed, e.rgbGreen, e.rgbBlue, 0};
      std::memcpy(&colours[i], lanes, sizeof lanes);
    }
    return BlockMeans<3, 4>(op, kx, ky, destination, destinationWidth, destinationHeight,
                            destinationStride,
                            [&](uint32_t y, uint16_t* __restrict sums, bool first) {
                              const uint8_t* in = source + size_t(y) * sourceStride;
                              for (size_t x = 0; x < width; ++x, sums += 4) {
                                uint64_t v = 0;
                                if (!first) std::memcpy(&v, sums, sizeof v);
                                v += colours[in[x]];
                                std::memcpy(sums, &v, sizeof v);
                              }
                            });
  }
  Contributions xs, ys;
  if (!xs.Area(sourceWidth, destinationWidth) || !ys.Area(sourceHeight, destinationHeight))
    return op.Fail(PX_ERR_NO_MEMORY);
  float lookup[256][3];
  for (uint32_t i = 0; i < (oneBit ? 2u : 256u); ++i) {
    const RGBQUAD& e = palette[i];
    if (outputChannels == 1)
      lookup[i][0] = Luma(e);
    else
      lookup[i][0] = e.rgbRed, lookup[i][1] = e.rgbGreen, lookup[i][2] = e.rgbBlue;
  }
  if (oneBit) {
    // The weighted share of set bits (coverage) is what gets averaged; each destination
    // pixel is then colour 0 plus coverage times the step to colour 1, so that a flat area
    // keeps its colour exactly. Whole bytes are spread with a table, clear ones skipped.
    static const auto kBits = [] {
      std::array<std::array<float, 8>, 256> bits{};
      for (uint32_t b = 0; b < 256; ++b)
        for (uint32_t k = 0; k < 8; ++k) bits[b][k] = float((b >> (7 - k)) & 1u);
      return bits;
    }();
    const uint32_t rowBytes = pxproc::BitRowBytes(sourceWidth);
    float base[3], step[3];
    for (uint32_t c = 0; c < outputChannels; ++c)
      base[c] = lookup[0][c], step[c] = lookup[1][c] - lookup[0][c];
    return AreaRows<1>(
        op, size_t(rowBytes) * 8, size_t(rowBytes) * 8, destinationWidth, destinationHeight, xs, ys,
        [&](uint32_t y, float w, float* __restrict col, bool first, size_t begin, size_t end) {
          if (first) std::fill(col + begin, col + end, 0.0f);
          const uint8_t* in = source + size_t(y) * sourceStride;
          col += begin;
          for (size_t b = begin / 8; b < end / 8; ++b, col += 8) {
            if (!in[b]) continue;
            const float* bits = kBits[in[b]].data();
            for (uint32_t k = 0; k < 8; ++k) col[k] += w * bits[k];
          }
        },
        [&](uint32_t y, float* coverage) {
          uint8_t* out = destination + size_t(y) * destinationStride;
          if (outputChannels == 1) {
            for (uint32_t x = 0; x < destinationWidth; ++x)
              coverage[x] = base[0] + step[0] * coverage[x];
            StoreBytes(coverage, out, destinationWidth);
            return;
          }
          for (uint32_t x = 0; x < destinationWidth; ++x)
            for (uint32_t c = 0; c < outputChannels; ++c)
              *out++ = FloatToByte(base[c] + step[c] * coverage[x]);
        });
  }
  auto store = [&](uint32_t y, const float* v) {
    StoreBytes(v, destination + size_t(y) * destinationStride,
               size_t(destinationWidth) * outputChannels);
  };
  auto accumulate = [&](uint32_t y, float w, float* col, bool first, size_t begin, size_t end) {
    const uint32_t from = uint32_t(begin / outputChannels),
                   count = uint32_t((end - begin) / outputChannels);
    const uint8_t* in = source + size_t(y) * sourceStride + from;
    col += begin;
    if (outputChannels == 1)
      first ? AddIndexedRow<1, true>(in, count, lookup, w, col)
            : AddIndexedRow<1, false>(in, count, lookup, w, col);
    else
      first ? AddIndexedRow<3, true>(in, count, lookup, w, col)
            : AddIndexedRow<3, false>(in, count, lookup, w, col);
  };
  const size_t columns = size_t(sourceWidth) * outputChannels;
  return outputChannels == 1 ? AreaRows<1>(op, columns, columns, destinationWidth,
                                           destinationHeight, xs, ys, accumulate, store)
                             : AreaRows<3>(op, columns, columns, destinationWidth,
                                           destinationHeight, xs, ys, accumulate, store);
}

extern "C" BOOL PXResizeArea(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                             uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                             uint32_t destinationHeight, uint32_t destinationStride,
                             uint32_t bytesPerPixel) {
  return pxproc::ResizeArea(source, sourceWidth, sourceHeight, sourceStride, destination,
                            destinationWidth, destinationHeight, destinationStride, bytesPerPixel,
                            true);
}

extern "C" BOOL PXResizeAreaIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                    uint32_t sourceStride, uint32_t bitsPerPixel,
                                    const RGBQUAD* palette, BYTE* destination,
                                    uint32_t destinationWidth, uint32_t destinationHeight,
                                    uint32_t destinationStride, uint32_t outputChannels) {
  return pxproc::ResizeAreaIndexed(source, sourceWidth, sourceHeight, sourceStride, bitsPerPixel,
                                   palette, destination, destinationWidth, destinationHeight,
                                   destinationStride, outputChannels, true);
}
