// Reduction of 24-bit images to an 8-bit palette: an octree palette builder and a mapper
// with error diffusion. Both are integer-only and scan in a fixed order, so the same image
// always gives the same palette and the same indices.
#include <algorithm>
#include <cstring>
#include <utility>

#include "processing/common.h"

namespace {

using pxproc::RowFits;
using pxproc::Table;

// Channel sums are 32-bit: 16,777,216 pixels of 255 still fit.
constexpr uint64_t kMaxQuantizePixels = 16777216;

struct Planes {
  uint8_t c[3][256];  // channel 0, 1, 2 of each palette entry
};

/* ---- Octree palette builder ------------------------------------------------------------- */

struct Node {
  uint32_t sum[3];
  uint32_t count;       // pixels merged into this node; nonzero once it is a colour
  uint32_t population;  // pixels of the whole subtree
  uint8_t children;     // bit d set when child with digit d is present
  uint8_t index;        // palette index given at the end
};

struct HeapEntry {
  uint8_t level;
  uint16_t node;
};

class PaletteBuilder {
 public:
  // Builds the palette of at most `wanted` colours into planes (zeroed first). Returns the
  // number of colours, or -1 with the operation's error set.
  int Build(px::Operation& op, const uint8_t* rgb, uint32_t width, uint32_t height, uint32_t stride,
            uint32_t bytesPerPixel, int wanted, bool report, Planes* planes);

 private:
  static constexpr uint32_t kLevelNodes[6] = {1, 8, 64, 512, 4096, 32768};

  Node& At(HeapEntry e) { return levels_[e.level][e.node]; }
  void SiftDown(uint32_t i);
  void Assign(int level, uint32_t index, Planes* planes);

  Table<Node> levels_[6];
  Table<HeapEntry> heap_;  // 1-based
  uint32_t heapSize_ = 0;
  int made_ = 0;
};

void PaletteBuilder::SiftDown(uint32_t i) {
  const uint32_t n = heapSize_;
  HeapEntry* h = heap_.get();
  for (;;) {
    uint32_t c = 2 * i;
    if (c > n) break;
    if (c + 1 <= n && At(h[c + 1]).population < At(h[c]).population) ++c;
    if (At(h[i]).population <= At(h[c]).population) break;
    std::swap(h[i], h[c]);
    i = c;
  }
}

// Gives palette indices depth first, the children with digits 7 down to 0 before the node.
void PaletteBuilder::Assign(int level, uint32_t index, Planes* planes) {
  Node& node = levels_[level][index];
  if (level < 5)
    for (int digit = 7; digit >= 0; --digit)
      if (node.children & (1u << digit)) Assign(level + 1, index << 3 | uint32_t(digit), planes);
  if (node.count) {
    node.index = uint8_t(made_);
    for (int c = 0; c < 3; ++c)
      planes->c[c][made_] = uint8_t((node.sum[c] + node.count / 2) / node.count);
    ++made_;
  }
}

int PaletteBuilder::Build(px::Operation& op, const uint8_t* rgb, uint32_t width, uint32_t height,
                          uint32_t stride, uint32_t bytesPerPixel, int wanted, bool report,
                          Planes* planes) {
  std::memset(planes, 0, sizeof *planes);
  auto stage = [&](uint32_t s) { return !report || op.Progress(s, 4); };

  // Spread the five top bits of each channel into the 15-bit leaf index: channel 0's bits
  // 7 ... 3 go to index bits 14, 11, 8, 5, 2, channel 1's one lower, channel 2's two lower.
  uint16_t spread[3][256];
  for (uint32_t v = 0; v < 256; ++v)
    for (int c = 0; c < 3; ++c) {
      uint32_t leaf = 0;
      for (int j = 0; j < 5; ++j)
        if (v & (0x80u >> j)) leaf |= 1u << (14 - 3 * j - c);
      spread[c][v] = uint16_t(leaf);
    }
  bool allocated = heap_.Allocate(32768 + 1);
  for (int level = 0; level < 6; ++level)
    allocated = allocated && levels_[level].Allocate(kLevelNodes[level]);
  if (!allocated) {
    op.SetError(PX_ERR_NO_MEMORY);
    return -1;
  }
  if (!stage(0)) return -1;

  Node* leaves = levels_[5].get();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* p = rgb + size_t(y) * stride;
    for (uint32_t x = 0; x < width; ++x, p += bytesPerPixel) {
      Node& leaf = leaves[spread[0][p[0]] | spread[1][p[1]] | spread[2][p[2]]];
      leaf.sum[0] += p[0];
      leaf.sum[1] += p[1];
      leaf.sum[2] += p[2];
      ++leaf.count;
    }
  }
  if (!stage(1)) return -1;

  HeapEntry* heap = heap_.get();
  for (uint32_t leaf = 0; leaf < 32768; ++leaf) {
    const uint32_t count = leaves[leaf].count;
    if (!count) continue;
    heap[++heapSize_] = {5, uint16_t(leaf)};
    leaves[leaf].population = count;
    for (int level = 4; level >= 0; --level) {
      uint32_t child = leaf >> (3 * (4 - level));
      Node& node = levels_[level][child >> 3];
      node.population += count;
      node.children |= uint8_t(1u << (child & 7));
    }
  }
  for (uint32_t i = heapSize_; i >= 1; --i) SiftDown(i);

  // Merge the least populated node into its parent until few enough colours remain.
  while (heapSize_ > uint32_t(wanted)) {
    const HeapEntry top = heap[1];
    if (top.level == 0) break;  // the root alone; cannot happen with wanted >= 1
    Node& node = At(top);
    const HeapEntry up{uint8_t(top.level - 1), uint16_t(top.node >> 3)};
    Node& parent = At(up);
    if (parent.count)
      heap[1] = heap[heapSize_--];
    else
      heap[1] = up;
    for (int c = 0; c < 3; ++c) parent.sum[c] += node.sum[c];
    parent.count += node.count;
    parent.children &= uint8_t(~(1u << (top.node & 7)));
    SiftDown(1);
  }
  if (!stage(2)) return -1;

  Assign(0, 0, planes);
  if (!stage(3)) return -1;
  return made_;
}

void PlanesToPalette(const Planes& planes, RGBQUAD* palette, bool bgr) {
  for (int i = 0; i < 256; ++i) {
    palette[i].rgbRed = planes.c[bgr ? 2 : 0][i];
    palette[i].rgbGreen = planes.c[1][i];
    palette[i].rgbBlue = planes.c[bgr ? 0 : 2][i];
  }
}

void PaletteToPlanes(const RGBQUAD* palette, uint32_t count, bool bgr, Planes* planes) {
  std::memset(planes, 0, sizeof *planes);
  for (uint32_t i = 0; i < count; ++i) {
    planes->c[bgr ? 2 : 0][i] = palette[i].rgbRed;
    planes->c[1][i] = palette[i].rgbGreen;
    planes->c[bgr ? 0 : 2][i] = palette[i].rgbBlue;
  }
}

/* ---- Mapping with error diffusion ------------------------------------------------------- */

class PaletteMapper {
 public:
  PaletteMapper(const Planes& planes, uint32_t count, int errorLimit);
  bool Map(px::Operation& op, const uint8_t* rgb, uint32_t width, uint32_t height, uint32_t stride,
           uint32_t bytesPerPixel, uint8_t* out, uint32_t outStride, bool dither);

 private:
  template <bool Dither, int Dir>
  void MapRow(const uint8_t* in, uint32_t width, uint32_t bytesPerPixel, uint8_t* out, int16_t* cur,
              int16_t* next);
  uint8_t Nearest(int a0, int a1, int a2) const;

  const Planes& planes_;
  uint32_t count_;
  int limit_;                    // each channel's error is kept within -limit_ ... limit_
  int16_t cache_[32 * 32 * 32];  // palette index per 5-bit-per-channel cell, -1 when empty
  int32_t squares_[511];         // d^2 for d = -255 ... 255, from squares_ + 255
};

PaletteMapper::PaletteMapper(const Planes& planes, uint32_t count, int errorLimit)
    : planes_(planes), count_(count), limit_(std::clamp(errorLimit, 0, 255)) {
  std::fill(std::begin(cache_), std::end(cache_), int16_t(-1));
  for (int e = -255; e <= 255; ++e) squares_[e + 255] = e * e;
}

// The nearest of the palette entries; ties keep the lower index.
uint8_t PaletteMapper::Nearest(int a0, int a1, int a2) const {
  const int32_t* sq = squares_ + 255;
  int32_t best = 0xFD0300;
  uint32_t index = 0;
  for (uint32_t i = 0; i < count_; ++i) {
    int32_t d = sq[a0 - planes_.c[0][i]] + sq[a1 - planes_.c[1][i]] + sq[a2 - planes_.c[2][i]];
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return uint8_t(index);
}

template <bool Dither, int Dir>
void PaletteMapper::MapRow(const uint8_t* in, uint32_t width, uint32_t bytesPerPixel, uint8_t* out,
                           int16_t* cur, int16_t* next) {
  // Locals rather than members: the byte stores to `out` could otherwise alias them and force
  // reloads on every pixel.
  const int limit = limit_;
  const uint8_t* plane0 = planes_.c[0];
  const uint8_t* plane1 = planes_.c[1];
  const uint8_t* plane2 = planes_.c[2];
  int16_t* cache = cache_;
  // Error rows have one spare pixel on each side, so x - 1 and x + 1 are always there. The
  // error a pixel passes on is kept in registers until its slot is complete: the next pixel's
  // share (7/16, or all of it without dither) and the next row's slots behind and below,
  // which are each written once.
  int forward[3] = {}, behind[3] = {}, below[3] = {};
  int x = Dir > 0 ? 0 : int(width) - 1;
  for (uint32_t n = 0; n < width; ++n, x += Dir) {
    const uint8_t* p = in + size_t(x) * bytesPerPixel;
    const int16_t* e = cur + (x + 1) * 3;
    int a[3];
    for (int c = 0; c < 3; ++c) {
      const int acc = e[c] + forward[c];
      a[c] = std::clamp(p[c] + (Dither ? (acc + 8) >> 4 : acc >> 1), 0, 255);
    }
    int16_t& cell = cache[(a[0] >> 3) * 1024 + (a[1] >> 3) * 32 + (a[2] >> 3)];
    if (cell < 0) cell = Nearest(a[0], a[1], a[2]);
    const uint8_t index = uint8_t(cell);
    out[x] = index;

    const int value[3] = {plane0[index], plane1[index], plane2[index]};
    int16_t* slot = next + (x + 1) * 3;
    for (int c = 0; c < 3; ++c) {
      const int err = std::clamp(a[c] - value[c], -limit, limit);
      if (Dither) {
        // 3/16 behind, 5/16 below, 1/16 ahead in the next row.
        slot[-Dir * 3 + c] = int16_t(behind[c] + 3 * err);
        behind[c] = below[c] + 5 * err;
        below[c] = err;
        forward[c] = 7 * err;
      } else {
        slot[c] = int16_t(err);
        forward[c] = err;
      }
    }
  }
  if (Dither && width) {
    int16_t* last = next + (x - Dir + 1) * 3;  // the row's last pixel and the one after it
    for (int c = 0; c < 3; ++c) {
      last[c] = int16_t(behind[c]);
      last[Dir * 3 + c] = int16_t(below[c]);
    }
  }
}

bool PaletteMapper::Map(px::Operation& op, const uint8_t* rgb, uint32_t width, uint32_t height,
                        uint32_t stride, uint32_t bytesPerPixel, uint8_t* out, uint32_t outStride,
                        bool dither) {
  const size_t rowValues = (size_t(width) + 2) * 3;
  Table<int16_t> rows[2];
  if (!rows[0].Allocate(rowValues) || !rows[1].Allocate(rowValues))
    return op.Fail(PX_ERR_NO_MEMORY);
  int16_t* cur = rows[0].get();
  int16_t* next = rows[1].get();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = rgb + size_t(y) * stride;
    uint8_t* o = out + size_t(y) * outStride;
    const bool forward = y % 2 == 0;  // rows alternate direction
    if (dither)
      forward ? MapRow<true, 1>(in, width, bytesPerPixel, o, cur, next)
              : MapRow<true, -1>(in, width, bytesPerPixel, o, cur, next);
    else
      forward ? MapRow<false, 1>(in, width, bytesPerPixel, o, cur, next)
              : MapRow<false, -1>(in, width, bytesPerPixel, o, cur, next);
    std::swap(cur, next);
    if (!op.Progress(y, height)) return false;
  }
  return true;
}

// Common argument checks of the builder, the quantiser and the mapper (the builder has no
// indices: it passes its palette there and a stride covering the width).
bool CheckRGBInput(px::Operation& op, const uint8_t* rgb, uint32_t width, uint32_t height,
                   uint32_t stride, const void* indices, uint32_t indexStride,
                   const RGBQUAD* palette, uint32_t flags, uint32_t* bytesPerPixel) {
  *bytesPerPixel = flags & PX_FLAG_4BYTE_INPUT ? 4 : 3;
  if (!rgb || !indices || !palette || !width || !height || indexStride < width ||
      !RowFits(stride, width, *bytesPerPixel))
    return op.Fail(PX_ERR_PARAMETER);
  return true;
}

int ClampWanted(int wanted) {
  return wanted < 2 ? 1 : wanted > 256 ? 256 : wanted;
}

}  // namespace

extern "C" int PXBuildPalette(const BYTE* rgb, uint32_t width, uint32_t height,
                              uint32_t inputStride, int colorsWanted, RGBQUAD* palette,
                              uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  uint32_t bpp;
  if (!CheckRGBInput(op, rgb, width, height, inputStride, palette, width, palette, flags, &bpp))
    return 0;
  if (uint64_t(width) * height > kMaxQuantizePixels) return op.Fail(PX_ERR_PARAMETER);

  Planes planes;
  PaletteBuilder builder;
  int made = builder.Build(op, rgb, width, height, inputStride, bpp, ClampWanted(colorsWanted),
                           true, &planes);
  if (made < 0) return 0;
  PlanesToPalette(planes, palette, flags & PX_FLAG_BGR);
  return made;
}

extern "C" BOOL PXQuantizeRGBToPalette(const BYTE* rgb, uint32_t width, uint32_t height,
                                       uint32_t inputStride, BYTE* indices, uint32_t outputStride,
                                       int colorsWanted, RGBQUAD* palette, BOOL dither,
                                       int errorLimit, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  uint32_t bpp;
  if (!CheckRGBInput(op, rgb, width, height, inputStride, indices, outputStride, palette, flags,
                     &bpp))
    return FALSE;
  if (uint64_t(width) * height > kMaxQuantizePixels) return op.Fail(PX_ERR_PARAMETER);
  const int wanted = ClampWanted(colorsWanted);

  // The builder's stages are not reported here; the mapping reports its rows.
  Planes planes;
  {
    PaletteBuilder builder;
    if (builder.Build(op, rgb, width, height, inputStride, bpp, wanted, false, &planes) < 0)
      return FALSE;
  }
  PlanesToPalette(planes, palette, flags & PX_FLAG_BGR);
  PaletteMapper mapper(planes, uint32_t(wanted), errorLimit);
  return mapper.Map(op, rgb, width, height, inputStride, bpp, indices, outputStride, dither);
}

extern "C" BOOL PXMapRGBToPalette(const BYTE* rgb, uint32_t width, uint32_t height,
                                  uint32_t inputStride, BYTE* indices, uint32_t outputStride,
                                  uint32_t paletteCount, const RGBQUAD* palette, BOOL dither,
                                  int errorLimit, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  uint32_t bpp;
  if (!CheckRGBInput(op, rgb, width, height, inputStride, indices, outputStride, palette, flags,
                     &bpp))
    return FALSE;
  if (paletteCount < 1 || paletteCount > 256) return op.Fail(PX_ERR_PARAMETER);

  Planes planes;
  PaletteToPlanes(palette, paletteCount, flags & PX_FLAG_BGR, &planes);
  PaletteMapper mapper(planes, paletteCount, errorLimit);
  return mapper.Map(op, rgb, width, height, inputStride, bpp, indices, outputStride, dither);
}
