// Small helpers shared by the processing functions: argument checks and per-call tables.
#ifndef PIXOLITH_PROCESSING_COMMON_H
#define PIXOLITH_PROCESSING_COMMON_H

#include <cstddef>
#include <cstdint>

#include "core/operation.h"
#include "pixolith/px_processing.h"

namespace pxproc {

// Bytes of one packed 1-bit row.
inline size_t BitRowBytes(uint32_t width) {
  return (size_t(width) + 7) / 8;
}

// True when a row of width pixels of bytesPerPixel bytes fits in stride bytes.
inline bool RowFits(uint32_t stride, uint32_t width, uint32_t bytesPerPixel) {
  return uint64_t(width) * bytesPerPixel <= stride;
}

// Both buffers set, all sizes nonzero and both strides large enough: what every resampler
// needs before it touches a pixel.
inline bool ResizeArgumentsValid(const void* source, uint32_t sourceWidth, uint32_t sourceHeight,
                                 uint32_t sourceStride, const void* destination,
                                 uint32_t destinationWidth, uint32_t destinationHeight,
                                 uint32_t destinationStride, uint32_t bytesPerPixel) {
  return source && destination && sourceWidth && sourceHeight && destinationWidth &&
         destinationHeight && bytesPerPixel && RowFits(sourceStride, sourceWidth, bytesPerPixel) &&
         RowFits(destinationStride, destinationWidth, bytesPerPixel);
}

// A zero-filled working table of count elements for one call. Tables come from the global
// heap so that absurd sizes are refused (the caller records PX_ERR_NO_MEMORY) instead of
// thrown.
template <class T>
class Table {
 public:
  bool Allocate(size_t count) {
    size_t bytes;
    if (!px::BlockSize(count, sizeof(T), 0, &bytes)) return false;
    block_ = px::Block(bytes ? bytes : 1);
    return bool(block_);
  }
  T* get() const { return reinterpret_cast<T*>(block_.get()); }
  T& operator[](size_t i) const { return get()[i]; }

 private:
  px::Block block_;
};

// Source positions of one axis for the bilinear resamplers: destination position i maps to
// i * scale, scale = S / D when shrinking and (S - S / D) / D when enlarging; the first
// sample is the truncated position clamped to S - 1, the second one past it (clamped), and
// the fraction is the weight of the second.
struct AxisMap {
  double scale;
  AxisMap(uint32_t s, uint32_t d)
      : scale(s >= d ? double(s) / double(d) : (double(s) - double(s) / double(d)) / double(d)) {}
  void At(uint32_t i, uint32_t s, uint32_t* first, uint32_t* second, double* fraction) const {
    double position = double(i) * scale;
    double whole = double(int64_t(position));
    *fraction = position - whole;
    uint64_t f = uint64_t(whole);
    if (f > s - 1) f = s - 1;
    *first = uint32_t(f);
    *second = f + 1 > s - 1 ? s - 1 : uint32_t(f + 1);
  }
};

// PXResizeArea and PXResizeAreaIndexed, with wholeBlocks false never taking the integer
// shortcut for whole-factor reductions, so that it can be held against the general engine.
BOOL ResizeArea(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                uint32_t destinationHeight, uint32_t destinationStride, uint32_t bytesPerPixel,
                bool wholeBlocks);
BOOL ResizeAreaIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                       uint32_t sourceStride, uint32_t bitsPerPixel, const RGBQUAD* palette,
                       BYTE* destination, uint32_t destinationWidth, uint32_t destinationHeight,
                       uint32_t destinationStride, uint32_t outputChannels, bool wholeBlocks);

}  // namespace pxproc

#endif  // PIXOLITH_PROCESSING_COMMON_H
