// Bilinear resizing of byte-per-channel, indexed and 1-bit images, and the nearest-neighbour
// resize.
//
// The bilinear results are defined by double arithmetic in one fixed order (see Blend), so
// every shortcut here is one that gives exactly the same bytes: the weights of a row are
// computed once (the same products the full formula forms), a pixel whose four neighbours
// are equal is that value (the weights sum to 1 within a few ulps, far from a rounding
// tie), and a pixel whose fractions are both 0 is its first neighbour.
#include <cmath>
#include <cstring>

#include "processing/common.h"

namespace {

using pxproc::AxisMap;
using pxproc::BitRowBytes;
using pxproc::ResizeArgumentsValid;
using pxproc::Table;

// Source columns and weights of one destination column.
struct Column {
  uint32_t c0;
  uint32_t c1;
  double fx;
};

// The four weights of one destination column in the current row.
struct Weights {
  double w11, w10, w01, w00;
  bool point;  // fx = fy = 0: the pixel is its first neighbour
};

// fx fy P11 + (1 - fx) fy P10 + fx (1 - fy) P01 + (1 - fx)(1 - fy) P00, rounded half to even.
inline long Blend(const Weights& w, double p11, double p10, double p01, double p00) {
  return std::lrint(w.w11 * p11 + w.w10 * p10 + w.w01 * p01 + w.w00 * p00);
}

// Builds the column table; false when it cannot be allocated.
bool MakeColumns(Table<Column>& columns, uint32_t sourceWidth, uint32_t destinationWidth) {
  if (!columns.Allocate(destinationWidth)) return false;
  const AxisMap map(sourceWidth, destinationWidth);
  for (uint32_t i = 0; i < destinationWidth; ++i) {
    Column& c = columns[i];
    map.At(i, sourceWidth, &c.c0, &c.c1, &c.fx);
  }
  return true;
}

void RowWeights(const Column* columns, uint32_t count, double fy, Weights* out) {
  for (uint32_t i = 0; i < count; ++i) {
    const double fx = columns[i].fx;
    out[i] = {fx * fy, (1 - fx) * fy, fx * (1 - fy), (1 - fx) * (1 - fy), fx == 0 && fy == 0};
  }
}

// The shared frame of the three bilinear resamplers: tables, rows, progress.
template <class RowFunction>
bool BilinearRows(px::Operation& op, uint32_t sourceWidth, uint32_t sourceHeight,
                  uint32_t destinationWidth, uint32_t destinationHeight, RowFunction row) {
  Table<Column> columns;
  Table<Weights> weights;
  if (!MakeColumns(columns, sourceWidth, destinationWidth) || !weights.Allocate(destinationWidth))
    return op.Fail(PX_ERR_NO_MEMORY);
  const AxisMap rows(sourceHeight, destinationHeight);
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    uint32_t r0, r1;
    double fy;
    rows.At(y, sourceHeight, &r0, &r1, &fy);
    RowWeights(columns.get(), destinationWidth, fy, weights.get());
    row(y, r0, r1, columns.get(), weights.get());
    if (!op.Progress(y, destinationHeight)) return false;
  }
  return true;
}

template <uint32_t Fixed>
void ResizeRGBRow(const uint8_t* row0, const uint8_t* row1, uint8_t* out, uint32_t width,
                  uint32_t bpp, const Column* columns, const Weights* weights) {
  const uint32_t n = Fixed ? Fixed : bpp;
  for (uint32_t i = 0; i < width; ++i, out += n) {
    const Column& c = columns[i];
    const Weights& w = weights[i];
    const uint8_t* p00 = row0 + size_t(c.c0) * n;
    if (w.point) {
      std::memcpy(out, p00, n);
      continue;
    }
    const uint8_t* p01 = row0 + size_t(c.c1) * n;
    const uint8_t* p10 = row1 + size_t(c.c0) * n;
    const uint8_t* p11 = row1 + size_t(c.c1) * n;
    for (uint32_t k = 0; k < n; ++k) {
      const uint8_t v = p00[k];
      if (p01[k] == v && p10[k] == v && p11[k] == v)
        out[k] = v;
      else
        out[k] = uint8_t(Blend(w, p11[k], p10[k], p01[k], v));
    }
  }
}

// Equal sizes and strides: the image is copied as it is (height x stride bytes) and true is
// returned.
bool CopiedAsIs(const uint8_t* source, uint32_t sw, uint32_t sh, uint32_t ss, uint8_t* destination,
                uint32_t dw, uint32_t dh, uint32_t ds) {
  if (sw != dw || sh != dh || ss != ds) return false;
  std::memmove(destination, source, size_t(sh) * ss);
  return true;
}

// A direct-mapped memo of colour -> palette index, used instead of the matcher's small cache:
// the nearest entry of a colour never changes during one call, and interpolated colours are
// too many for 255 pairs searched one by one.
class MatchMemo {
 public:
  bool Allocate() { return slots_.Allocate(kSlots); }
  uint8_t Match(CPXColorMatch& matcher, uint32_t r, uint32_t g, uint32_t b) {
    const uint32_t key = r | g << 8 | b << 16 | kUsed;
    Slot& s = slots_[(key * 2654435761u) >> (32 - kBits)];
    if (s.key != key) s = {key, matcher.Nearest(int(r), int(g), int(b))};
    return s.index;
  }

 private:
  static constexpr uint32_t kBits = 16;
  static constexpr uint32_t kSlots = 1u << kBits;
  static constexpr uint32_t kUsed = 1u << 24;
  struct Slot {
    uint32_t key;
    uint8_t index;
  };
  Table<Slot> slots_;
};

// The byte resamplers' common start: checks the arguments (PX_ERR_PARAMETER) and copies an
// image of the same shape as it is. False when nothing more is to be done; *result is the answer.
bool NeedsResampling(px::Operation& op, const uint8_t* source, uint32_t sw, uint32_t sh,
                     uint32_t ss, uint8_t* destination, uint32_t dw, uint32_t dh, uint32_t ds,
                     uint32_t bytesPerPixel, BOOL* result) {
  *result = FALSE;
  if (!ResizeArgumentsValid(source, sw, sh, ss, destination, dw, dh, ds, bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  if (!CopiedAsIs(source, sw, sh, ss, destination, dw, dh, ds)) return true;
  *result = TRUE;
  return false;
}

}  // namespace

extern "C" BOOL PXResizeRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                            uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                            uint32_t destinationHeight, uint32_t destinationStride,
                            uint32_t bytesPerPixel) {
  px::Operation op;
  if (!op) return FALSE;
  BOOL result;
  if (!NeedsResampling(op, source, sourceWidth, sourceHeight, sourceStride, destination,
                       destinationWidth, destinationHeight, destinationStride, bytesPerPixel,
                       &result))
    return result;
  auto row = [&](uint32_t y, uint32_t r0, uint32_t r1, const Column* c, const Weights* w) {
    const uint8_t* row0 = source + size_t(r0) * sourceStride;
    const uint8_t* row1 = source + size_t(r1) * sourceStride;
    uint8_t* out = destination + size_t(y) * destinationStride;
    switch (bytesPerPixel) {
      case 1:
        return ResizeRGBRow<1>(row0, row1, out, destinationWidth, 1, c, w);
      case 3:
        return ResizeRGBRow<3>(row0, row1, out, destinationWidth, 3, c, w);
      case 4:
        return ResizeRGBRow<4>(row0, row1, out, destinationWidth, 4, c, w);
      default:
        return ResizeRGBRow<0>(row0, row1, out, destinationWidth, bytesPerPixel, c, w);
    }
  };
  return BilinearRows(op, sourceWidth, sourceHeight, destinationWidth, destinationHeight, row);
}

extern "C" BOOL PXResizeIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                                uint32_t destinationHeight, uint32_t destinationStride,
                                uint32_t paletteCount, const RGBQUAD* palette) {
  px::Operation op;
  if (!op) return FALSE;
  if (!palette || source == destination || paletteCount < 1 || paletteCount > 256 ||
      !ResizeArgumentsValid(source, sourceWidth, sourceHeight, sourceStride, destination,
                            destinationWidth, destinationHeight, destinationStride, 1))
    return op.Fail(PX_ERR_PARAMETER);
  if (CopiedAsIs(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                 destinationHeight, destinationStride))
    return TRUE;
  CPXColorMatch matcher;
  matcher.SetPalette(palette, int(paletteCount));
  MatchMemo memo;
  if (!memo.Allocate()) return op.Fail(PX_ERR_NO_MEMORY);

  auto row = [&](uint32_t y, uint32_t r0, uint32_t r1, const Column* columns,
                 const Weights* weights) {
    const uint8_t* row0 = source + size_t(r0) * sourceStride;
    const uint8_t* row1 = source + size_t(r1) * sourceStride;
    uint8_t* out = destination + size_t(y) * destinationStride;
    for (uint32_t i = 0; i < destinationWidth; ++i) {
      const Column& c = columns[i];
      const Weights& w = weights[i];
      const RGBQUAD& e00 = palette[row0[c.c0]];
      if (w.point) {
        out[i] = memo.Match(matcher, e00.rgbRed, e00.rgbGreen, e00.rgbBlue);
        continue;
      }
      const RGBQUAD& e01 = palette[row0[c.c1]];
      const RGBQUAD& e10 = palette[row1[c.c0]];
      const RGBQUAD& e11 = palette[row1[c.c1]];
      auto channel = [&](BYTE RGBQUAD::*m) -> uint32_t {
        const uint8_t v = e00.*m;
        if (e01.*m == v && e10.*m == v && e11.*m == v) return v;
        return uint32_t(Blend(w, e11.*m, e10.*m, e01.*m, v)) & 0xFF;
      };
      out[i] = memo.Match(matcher, channel(&RGBQUAD::rgbRed), channel(&RGBQUAD::rgbGreen),
                          channel(&RGBQUAD::rgbBlue));
    }
  };
  return BilinearRows(op, sourceWidth, sourceHeight, destinationWidth, destinationHeight, row);
}

extern "C" BOOL PXResize1Bit(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                             uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                             uint32_t destinationHeight, uint32_t destinationStride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!source || !destination || source == destination || !sourceWidth || !sourceHeight ||
      !destinationWidth || !destinationHeight || BitRowBytes(sourceWidth) > sourceStride ||
      BitRowBytes(destinationWidth) > destinationStride)
    return op.Fail(PX_ERR_PARAMETER);

  auto row = [&](uint32_t y, uint32_t r0, uint32_t r1, const Column* columns,
                 const Weights* weights) {
    const uint8_t* row0 = source + size_t(r0) * sourceStride;
    const uint8_t* row1 = source + size_t(r1) * sourceStride;
    uint8_t* out = destination + size_t(y) * destinationStride;
    auto bit = [](const uint8_t* r, uint32_t x) -> uint32_t {
      return (r[x >> 3] >> (7 - (x & 7))) & 1;
    };
    uint32_t acc = 0;
    for (uint32_t i = 0; i < destinationWidth; ++i) {
      const Column& c = columns[i];
      const Weights& w = weights[i];
      const uint32_t b00 = bit(row0, c.c0);
      uint32_t set = b00;
      if (!w.point) {
        const uint32_t b01 = bit(row0, c.c1), b10 = bit(row1, c.c0), b11 = bit(row1, c.c1);
        // Four equal bits give 0 or a sum of about 1; otherwise the weighted sum decides,
        // and exactly 0.5 clears.
        if (b01 != b00 || b10 != b00 || b11 != b00)
          set = w.w11 * b11 + w.w10 * b10 + w.w01 * b01 + w.w00 * b00 > 0.5;
      }
      acc = acc << 1 | set;
      if ((i & 7) == 7) {
        out[i >> 3] = uint8_t(acc);
        acc = 0;
      }
    }
    if (const uint32_t tail = destinationWidth & 7) {
      // Bits of the last byte beyond the width are kept.
      const uint8_t mask = uint8_t(0xFF00 >> tail);
      uint8_t& last = out[destinationWidth >> 3];
      last = uint8_t((last & ~mask) | (acc << (8 - tail)));
    }
  };
  return BilinearRows(op, sourceWidth, sourceHeight, destinationWidth, destinationHeight, row);
}

extern "C" BOOL PXResizeNearest(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                                uint32_t destinationHeight, uint32_t destinationStride,
                                uint32_t bytesPerPixel) {
  px::Operation op;
  if (!op) return FALSE;
  BOOL result;
  if (!NeedsResampling(op, source, sourceWidth, sourceHeight, sourceStride, destination,
                       destinationWidth, destinationHeight, destinationStride, bytesPerPixel,
                       &result))
    return result;
  Table<size_t> columns;
  if (!columns.Allocate(destinationWidth)) return op.Fail(PX_ERR_NO_MEMORY);
  for (uint32_t i = 0; i < destinationWidth; ++i)
    columns[i] = size_t(bytesPerPixel) * (uint64_t(i) * sourceWidth / destinationWidth);
  auto sourceRow = [&](uint32_t j) {
    return source + size_t(sourceStride) * (uint64_t(j) * sourceHeight / destinationHeight);
  };

  // The copy runs channel by channel, reporting after each channel. Without anyone to report
  // to, and when the buffers do not overlap, whole pixels are copied at once: the same bytes.
  const uint8_t* sourceEnd = source + size_t(sourceHeight) * sourceStride;
  const uint8_t* destinationEnd = destination + size_t(destinationHeight) * destinationStride;
  const bool overlap = source < destinationEnd && destination < sourceEnd;
  if (!op.Reporting() && !overlap) {
    for (uint32_t j = 0; j < destinationHeight; ++j) {
      const uint8_t* in = sourceRow(j);
      uint8_t* out = destination + size_t(j) * destinationStride;
      if (bytesPerPixel == 3)
        for (uint32_t i = 0; i < destinationWidth; ++i, out += 3)
          std::memcpy(out, in + columns[i], 3);
      else if (bytesPerPixel == 1)
        for (uint32_t i = 0; i < destinationWidth; ++i) out[i] = in[columns[i]];
      else
        for (uint32_t i = 0; i < destinationWidth; ++i, out += bytesPerPixel)
          std::memcpy(out, in + columns[i], bytesPerPixel);
    }
    return TRUE;
  }
  for (uint32_t k = 0; k < bytesPerPixel; ++k) {
    for (uint32_t j = 0; j < destinationHeight; ++j) {
      const uint8_t* in = sourceRow(j) + k;
      uint8_t* out = destination + size_t(j) * destinationStride + k;
      for (uint32_t i = 0; i < destinationWidth; ++i, out += bytesPerPixel) *out = in[columns[i]];
    }
    if (!op.Progress(k, bytesPerPixel)) return FALSE;
  }
  return TRUE;
}
