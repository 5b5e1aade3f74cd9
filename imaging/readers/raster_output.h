// Small pieces shared by the readers that decode their pixels themselves: buffered byte
// input over a source, and the output block (image buffer or packed DIB) that decoded
// rows are stored into.
#ifndef PIXOLITH_READERS_RASTER_OUTPUT_H
#define PIXOLITH_READERS_RASTER_OUTPUT_H

#include <cstddef>
#include <cstdint>

#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"

namespace px {

// Reads a source through a buffer, so that byte-at-a-time decoders (run-length packets)
// do not pay for a stream call per byte. It reads ahead: after it has been used, the
// source's position is undefined.
class ByteInput {
 public:
  explicit ByteInput(CPXIO& io) : io_(io) {}
  ByteInput(const ByteInput&) = delete;
  ByteInput& operator=(const ByteInput&) = delete;

  bool Byte(uint8_t* v) {
    if (pos_ == end_ && !Refill()) return false;
    *v = buffer_[pos_++];
    return true;
  }
  // Copies up to n bytes; returns how many there were.
  size_t Read(uint8_t* out, size_t n);
  bool ReadExactly(uint8_t* out, size_t n) { return Read(out, n) == n; }
  bool Skip(size_t n);
  // True when at least `bytes` more bytes can be read. Readers ask this with the least
  // number of bytes their pixel data can be encoded in before they allocate, so that a
  // small file claiming a huge image is refused at once.
  bool Holds(uint64_t bytes) {
    return bytes <= end_ - pos_ || io_.Remaining() >= bytes - (end_ - pos_);
  }

 private:
  bool Refill();

  CPXIO& io_;
  size_t pos_ = 0;
  size_t end_ = 0;
  uint8_t buffer_[16384];
};

// The block a reader hands to its caller: an image buffer (rows top-down, unpadded,
// red-green-blue order) or a packed DIB (header, palette, rows bottom-up padded to four
// bytes, blue-green-red order). Rows are given to StoreRow in image-buffer form; rows never
// stored stay zero. The block is freed unless Release() is called.
class RasterOutput {
 public:
  RasterOutput() = default;
  ~RasterOutput() { GlobalFree(block_); }
  RasterOutput(const RasterOutput&) = delete;
  RasterOutput& operator=(const RasterOutput&) = delete;

  // Allocates the block; false (PX_ERR_NO_MEMORY recorded) when it does not fit or memory
  // is short. `colors` palette entries are copied into a DIB from `palette`.
  bool Allocate(Operation& op, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                bool packedDIB, uint32_t colors = 0, const RGBQUAD* palette = nullptr);
  // Bytes in one row as StoreRow takes it.
  size_t RowBytes() const { return rowBytes_; }
  // Stores image row y (0 = top).
  void StoreRow(uint32_t y, const uint8_t* row);
  // Hands the block over, with the width and height the caller is told.
  BYTE* Release(uint32_t* width, uint32_t* height);

 private:
  uint8_t* block_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t bits_ = 0;
  bool dib_ = false;
  size_t rowBytes_ = 0;
  size_t stride_ = 0;
  uint8_t* rows_ = nullptr;
};

}  // namespace px

#endif  // PIXOLITH_READERS_RASTER_OUTPUT_H
