// RLE4 and RLE8 bitmap data.
#include <algorithm>

#include "readers/bmp/bmp_format.h"

namespace pxbmp {

namespace {

// Hands out the source's bytes one at a time from a block buffer, counting them from 1.
class ByteStream {
 public:
  explicit ByteStream(CPXIO& io) : io_(io) {}

  bool Next(uint8_t* b) {
    if (pos_ == end_) {
      end_ = io_.Read(buffer_, sizeof buffer_);
      pos_ = 0;
      if (end_ == 0) return false;
    }
    *b = buffer_[pos_++];
    ++count_;
    return true;
  }
  uint64_t count() const { return count_; }

 private:
  CPXIO& io_;
  uint8_t buffer_[4096];
  size_t pos_ = 0;
  size_t end_ = 0;
  uint64_t count_ = 0;
};

class RLEWriter {
 public:
  RLEWriter(const Header& h, const RGBQUAD* palette, uint32_t depth, uint8_t* out)
      : width_(uint32_t(h.width)),
        height_(h.rows()),
        palette_(palette),
        pixelBytes_(depth / 8),
        out_(out),
        row_(int64_t(height_) - 1) {}

  // Writes `count` pixels at the current position: run[i] is the index of pixel i.
  template <class IndexOf>
  void Write(uint32_t count, IndexOf indexOf) {
    if (row_ < 0 || column_ >= width_) return;
    uint32_t n = std::min(count, width_ - column_);
    uint8_t* p = out_ + (size_t(row_) * width_ + column_) * pixelBytes_;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t index = indexOf(i);
      if (pixelBytes_ == 1) {
        *p++ = index;
        continue;
      }
      const RGBQUAD& q = palette_[index];
      p[0] = q.rgbRed;
      p[1] = q.rgbGreen;
      p[2] = q.rgbBlue;
      if (pixelBytes_ == 4) p[3] = 255;
      p += pixelBytes_;
    }
    column_ += n;
  }

  void EndOfLine() {
    if (row_ >= 0) --row_;
    column_ = 0;
  }
  void Delta(uint8_t right, uint8_t up) {
    column_ = std::min<uint32_t>(column_ + right, width_);
    row_ = std::max<int64_t>(row_ - up, -1);
  }
  int64_t row() const { return row_; }

 private:
  uint32_t width_;
  uint32_t height_;
  const RGBQUAD* palette_;
  uint32_t pixelBytes_;
  uint8_t* out_;
  int64_t row_;
  uint32_t column_ = 0;
};

enum class State { kCount, kRunValue, kEscape, kAbsolute };

}  // namespace

int DecodeRLE(px::Operation& op, CPXIO& io, const Header& h, const RGBQUAD* palette, uint32_t depth,
              uint8_t* out) {
  const bool rle4 = h.compression == BI_RLE4;
  const uint32_t height = h.rows();
  ByteStream in(io);
  RLEWriter writer(h, palette, depth, out);
  State state = State::kCount;
  uint32_t runLength = 0;    // pixels of the pending run
  uint32_t remaining = 0;    // pixels of the absolute block still to come
  bool padding = false;      // the absolute block is followed by a padding byte
  int64_t reportedRow = -2;  // no row reported yet

  for (;;) {
    if (writer.row() != reportedRow && writer.row() >= 0) {
      reportedRow = writer.row();
      if (!op.Progress(uint32_t(height - 1 - reportedRow), height)) return PX_ERR_ABORTED;
    }
    uint8_t b;
    if (!in.Next(&b)) return PX_ERR_FILE_READ;
    switch (state) {
      case State::kCount:
        if (b != 0) {
          runLength = b;
          state = State::kRunValue;
        } else if (in.count() % 2 == 1) {
          state = State::kEscape;  // a zero at an even count is a stray filler: skipped
        }
        break;
      case State::kRunValue:
        if (rle4) {
          const uint8_t hi = b >> 4, lo = b & 15;
          writer.Write(runLength, [&](uint32_t i) { return i % 2 ? lo : hi; });
        } else {
          writer.Write(runLength, [&](uint32_t) { return b; });
        }
        state = State::kCount;
        break;
      case State::kEscape:
        if (b == 0) {
          writer.EndOfLine();
          state = State::kCount;
        } else if (b == 1) {
          return PX_OK;
        } else if (b == 2) {
          uint8_t right, up;
          if (!in.Next(&right) || !in.Next(&up)) return PX_ERR_FILE_READ;
          writer.Delta(right, up);
          state = State::kCount;
        } else {
          remaining = b;
          // Absolute data is padded to a whole number of 16-bit words.
          padding = rle4 ? (b % 4 == 1 || b % 4 == 2) : (b % 2 == 1);
          state = State::kAbsolute;
        }
        break;
      case State::kAbsolute:
        if (rle4) {
          const uint8_t pair[2] = {uint8_t(b >> 4), uint8_t(b & 15)};
          uint32_t n = std::min<uint32_t>(remaining, 2);
          writer.Write(n, [&](uint32_t i) { return pair[i]; });
          remaining -= n;
        } else {
          writer.Write(1, [&](uint32_t) { return b; });
          --remaining;
        }
        if (remaining == 0) {
          uint8_t pad;
          if (padding && !in.Next(&pad)) return PX_ERR_FILE_READ;
          state = State::kCount;
        }
        break;
    }
  }
}

}  // namespace pxbmp
