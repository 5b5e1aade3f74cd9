#include "readers/raster_output.h"

#include <algorithm>
#include <cstring>

#include "core/dib.h"

namespace px {

size_t ByteInput::Read(uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (pos_ == end_) {
      // Large reads go straight to the source once the buffer is empty.
      if (n - done >= sizeof buffer_) {
        size_t got = io_.Read(out + done, n - done);
        return done + got;
      }
      if (!Refill()) break;
    }
    size_t take = std::min(n - done, end_ - pos_);
    std::memcpy(out + done, buffer_ + pos_, take);
    pos_ += take;
    done += take;
  }
  return done;
}

bool ByteInput::Skip(size_t n) {
  while (n > 0) {
    if (pos_ == end_ && !Refill()) return false;
    size_t take = std::min(n, end_ - pos_);
    pos_ += take;
    n -= take;
  }
  return true;
}

bool ByteInput::Refill() {
  pos_ = 0;
  end_ = io_.Read(buffer_, sizeof buffer_);
  return end_ > 0;
}

bool RasterOutput::Allocate(Operation& op, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                            bool packedDIB, uint32_t colors, const RGBQUAD* palette) {
  GlobalFree(block_);
  block_ = nullptr;
  width_ = width;
  height_ = height;
  bits_ = bitsPerPixel;
  dib_ = packedDIB;
  rowBytes_ = PXImageRowBytes(width, bitsPerPixel);
  if (packedDIB) {
    stride_ = PXDIBRowBytes(width, bitsPerPixel);
    block_ = AllocDIB(width, height, uint16_t(bitsPerPixel), colors);
    if (!block_) return op.Fail(PX_ERR_NO_MEMORY);
    FillDIBHeader(reinterpret_cast<BITMAPINFOHEADER*>(block_), int32_t(width), int32_t(height),
                  uint16_t(bitsPerPixel), colors);
    if (colors && palette) std::memcpy(block_ + 40, palette, 4 * size_t(colors));
    rows_ = block_ + 40 + 4 * size_t(colors);
    return true;
  }
  stride_ = rowBytes_;
  size_t total;
  if (!BlockSize(height, rowBytes_, 0, &total)) return op.Fail(PX_ERR_NO_MEMORY);
  block_ = static_cast<uint8_t*>(AllocBlock(total));
  if (!block_) return op.Fail(PX_ERR_NO_MEMORY);
  rows_ = block_;
  return true;
}

void RasterOutput::StoreRow(uint32_t y, const uint8_t* row) {
  if (!block_ || y >= height_) return;
  if (!dib_) {
    std::memcpy(rows_ + size_t(y) * stride_, row, rowBytes_);
    return;
  }
  // DIB rows run bottom-up and keep their colours in blue, green, red order; the padding
  // after each row is already zero.
  uint8_t* dst = rows_ + size_t(height_ - 1 - y) * stride_;
  if (bits_ == 24 || bits_ == 32) {
    const size_t step = bits_ / 8;
    for (size_t i = 0; i + step <= rowBytes_; i += step) {
      dst[i] = row[i + 2];
      dst[i + 1] = row[i + 1];
      dst[i + 2] = row[i];
      if (step == 4) dst[i + 3] = row[i + 3];
    }
  } else {
    std::memcpy(dst, row, rowBytes_);
  }
}

BYTE* RasterOutput::Release(uint32_t* width, uint32_t* height) {
  if (width) *width = width_;
  if (height) *height = height_;
  uint8_t* block = block_;
  block_ = nullptr;
  return block;
}

}  // namespace px
