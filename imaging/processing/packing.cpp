// Packing bytes into 1- to 8-bit streams and back, the black threshold to 1 bit, and the
// expansion of indexed images to 24 bits.
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "processing/common.h"

namespace {

using pxproc::BitRowBytes;
using pxproc::RowFits;

// The lowest bits of eight consecutive bytes as one byte, first byte in bit 7.
inline uint8_t GatherLowBits(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    // Each byte's bit 0 lands on its own bit of the top byte; no two products collide.
    return uint8_t(((v & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56);
  } else {
    uint8_t out = 0;
    for (int k = 0; k < 8; ++k) out = uint8_t(out << 1 | (p[k] & 1));
    return out;
  }
}

// Bytes 0/1 of every bit of a byte, bit 7 first, as one little-endian 64-bit value.
constexpr std::array<uint64_t, 256> MakeSpread() {
  std::array<uint64_t, 256> t{};
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 8; ++k)
      if (b & (0x80 >> k)) t[size_t(b)] |= uint64_t(1) << (8 * k);
  return t;
}
constexpr std::array<uint64_t, 256> kSpread = MakeSpread();

// Writes values into a stream most significant first; partial bytes are left-aligned.
class BitWriter {
 public:
  BitWriter(uint8_t* out, uint32_t bits) : out_(out), bits_(bits), mask_((1u << bits) - 1) {}
  void Put(uint32_t value) {
    acc_ = acc_ << bits_ | (value & mask_);
    count_ += bits_;
    if (count_ >= 8) {
      count_ -= 8;
      *out_++ = uint8_t(acc_ >> count_);
    }
  }
  bool Aligned() const { return count_ == 0; }
  void PutByte(uint8_t b) { *out_++ = b; }
  // Writes the partial byte, if any, with zero low bits.
  void Finish() {
    if (count_) *out_++ = uint8_t(acc_ << (8 - count_));
    count_ = 0;
  }

 private:
  uint8_t* out_;
  uint32_t bits_;
  uint32_t mask_;
  uint32_t acc_ = 0;
  uint32_t count_ = 0;
};

void PackRow(BitWriter& writer, const uint8_t* in, uint32_t width, uint32_t bits) {
  uint32_t x = 0;
  if (bits == 1 && writer.Aligned())
    for (; x + 8 <= width; x += 8) writer.PutByte(GatherLowBits(in + x));
  for (; x < width; ++x) writer.Put(in[x]);
}

// Packs the 0/1 values value(0 ... width - 1) into one row, pad bits 0.
template <class Value>
void ThresholdRow(uint8_t* out, uint32_t width, Value value) {
  const uint32_t whole = width / 8;
  for (uint32_t b = 0; b < whole; ++b) {
    uint32_t bits = 0;
    for (uint32_t k = 0; k < 8; ++k) bits = bits << 1 | value(b * 8 + k);
    out[b] = uint8_t(bits);
  }
  if (width % 8) {
    uint32_t bits = 0;
    for (uint32_t x = whole * 8; x < width; ++x) bits = bits << 1 | value(x);
    out[whole] = uint8_t(bits << (8 - width % 8));
  }
}

}  // namespace

extern "C" BOOL PXPackBytesTo1Bit(const BYTE* bytes, uint32_t width, uint32_t rows,
                                  uint32_t inputStride, BYTE* output, uint32_t bitsPerPixel,
                                  BOOL perRow, uint32_t outputStride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!bytes || !output || bitsPerPixel < 1 || bitsPerPixel > 8 || !width || !rows)
    return op.Fail(PX_ERR_PARAMETER);
  if (rows > 1 && inputStride < width) return op.Fail(PX_ERR_PARAMETER);
  if (perRow && rows > 1 && (uint64_t(width) * bitsPerPixel + 7) / 8 > outputStride)
    return op.Fail(PX_ERR_PARAMETER);

  if (perRow) {
    for (uint32_t y = 0; y < rows; ++y) {
      BitWriter writer(output + size_t(y) * outputStride, bitsPerPixel);
      PackRow(writer, bytes + size_t(y) * inputStride, width, bitsPerPixel);
      writer.Finish();
    }
  } else {
    // One continuous stream: a row's values follow the previous row's without a gap.
    BitWriter writer(output, bitsPerPixel);
    for (uint32_t y = 0; y < rows; ++y)
      PackRow(writer, bytes + size_t(y) * inputStride, width, bitsPerPixel);
    writer.Finish();
  }
  return TRUE;
}

extern "C" BOOL PXUnpack1BitToBytes(const BYTE* packed, uint32_t width, uint32_t rows,
                                    uint32_t bitsPerPixel, BYTE* output) {
  px::Operation op;
  if (!op) return FALSE;
  if (!packed || !output || bitsPerPixel < 1 || bitsPerPixel > 8 || !width || !rows)
    return op.Fail(PX_ERR_PARAMETER);
  size_t count;
  if (!px::MulSize(width, rows, &count)) return op.Fail(PX_ERR_PARAMETER);

  if (bitsPerPixel == 8) {
    std::memcpy(output, packed, count);
    return TRUE;
  }
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    if (bitsPerPixel == 1)
      for (; i + 8 <= count; i += 8) std::memcpy(output + i, &kSpread[packed[i / 8]], 8);
  }
  const uint32_t mask = (1u << bitsPerPixel) - 1;
  uint64_t bit = uint64_t(i) * bitsPerPixel;
  for (; i < count; ++i, bit += bitsPerPixel) {
    // A value may straddle two bytes; read only the bytes it covers.
    size_t byte = size_t(bit / 8);
    uint32_t offset = uint32_t(bit % 8);
    uint32_t window = uint32_t(packed[byte]) << 8;
    if (offset + bitsPerPixel > 8) window |= packed[byte + 1];
    output[i] = uint8_t((window >> (16 - offset - bitsPerPixel)) & mask);
  }
  return TRUE;
}

extern "C" BOOL PXThresholdTo1Bit(const BYTE* source, uint32_t width, uint32_t height,
                                  uint32_t sourceStride, uint32_t bitsPerPixel,
                                  const RGBQUAD* palette, BYTE* destination,
                                  uint32_t destinationStride, uint32_t threshold) {
  px::Operation op;
  if (!op) return FALSE;
  if (!source || !destination || !width || !height) return op.Fail(PX_ERR_PARAMETER);
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return op.Fail(PX_ERR_PARAMETER);
  if (bitsPerPixel == 8 && !palette) return op.Fail(PX_ERR_PARAMETER);
  if (!RowFits(sourceStride, width, bitsPerPixel / 8) || BitRowBytes(width) > destinationStride)
    return op.Fail(PX_ERR_PARAMETER);

  // A colour is within the distance of black when r^2 + g^2 + b^2 <= 3 T^2; the sum is 0
  // only for black itself, so T = 0 leaves exactly the black pixels.
  uint64_t limit64 = 3ull * threshold * threshold;
  const uint32_t limit = limit64 > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(limit64);
  uint32_t sq[256];
  for (uint32_t v = 0; v < 256; ++v) sq[v] = v * v;
  uint8_t black[256];
  if (bitsPerPixel == 8)
    for (int i = 0; i < 256; ++i)
      black[i] = sq[palette[i].rgbRed] + sq[palette[i].rgbGreen] + sq[palette[i].rgbBlue] <= limit;

  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = source + size_t(y) * sourceStride;
    uint8_t* out = destination + size_t(y) * destinationStride;
    if (bitsPerPixel == 8)
      ThresholdRow(out, width, [&](uint32_t x) -> uint32_t { return black[in[x]]; });
    else
      ThresholdRow(out, width, [&](uint32_t x) -> uint32_t {
        const uint8_t* p = in + size_t(x) * 3;
        return sq[p[0]] + sq[p[1]] + sq[p[2]] <= limit;
      });
    if (!op.Progress(y, height)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXDitherTo1Bit(const BYTE* source, uint32_t width, uint32_t height,
                               uint32_t sourceStride, uint32_t bitsPerPixel, const RGBQUAD* palette,
                               BYTE* destination, uint32_t destinationStride) {
  px::Operation op;
  if (!op) return FALSE;
  if (!source || !destination || !width || !height) return op.Fail(PX_ERR_PARAMETER);
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return op.Fail(PX_ERR_PARAMETER);
  if (bitsPerPixel == 8 && !palette) return op.Fail(PX_ERR_PARAMETER);
  if (!RowFits(sourceStride, width, bitsPerPixel / 8) || BitRowBytes(width) > destinationStride)
    return op.Fail(PX_ERR_PARAMETER);
  // Grey levels in 1/16 steps, so that the 7, 5, 3, 1 shares stay whole numbers.
  auto luma = [](uint32_t r, uint32_t g, uint32_t b) {
    return int32_t((299 * r + 587 * g + 114 * b) * 16 / 1000);
  };
  int32_t levels[256] = {};
  if (bitsPerPixel == 8)
    for (int i = 0; i < 256; ++i)
      levels[i] = luma(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
  // Errors of this row and the next, one slot of margin on each side.
  std::vector<int32_t> here(size_t(width) + 2), next(size_t(width) + 2);
  std::vector<uint8_t> bits(width);
  constexpr int32_t kWhite = 255 * 16, kMiddle = 128 * 16;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = source + size_t(y) * sourceStride;
    std::fill(next.begin(), next.end(), 0);
    // Serpentine: even rows run left to right, odd rows right to left.
    const bool forward = y % 2 == 0;
    const int step = forward ? 1 : -1;
    for (uint32_t n = 0; n < width; ++n) {
      const uint32_t x = forward ? n : width - 1 - n;
      const int32_t level =
          bitsPerPixel == 8 ? levels[in[x]]
                            : luma(in[size_t(x) * 3], in[size_t(x) * 3 + 1], in[size_t(x) * 3 + 2]);
      const size_t i = size_t(x) + 1;
      const int32_t wanted = level + here[i] / 16;
      const bool black = wanted < kMiddle;
      bits[x] = black;
      const int32_t error = wanted - (black ? 0 : kWhite);
      here[i + step] += error * 7;
      next[i - step] += error * 3;
      next[i] += error * 5;
      next[i + step] += error;
    }
    ThresholdRow(destination + size_t(y) * destinationStride, width,
                 [&](uint32_t x) -> uint32_t { return bits[x]; });
    std::swap(here, next);
    if (!op.Progress(y, height)) return FALSE;
  }
  return TRUE;
}

extern "C" BOOL PXPaletteToRGB(const BYTE* indices, uint32_t width, uint32_t height,
                               uint32_t inputStride, BYTE* rgb, uint32_t outputStride,
                               uint32_t /*paletteCount*/, const RGBQUAD* palette, uint32_t flags) {
  px::Operation op;
  if (!op) return FALSE;
  if (!indices || !rgb || !palette || !width || !height) return op.Fail(PX_ERR_PARAMETER);
  if (inputStride < width || !RowFits(outputStride, width, 3)) return op.Fail(PX_ERR_PARAMETER);

  // Every index has an entry: palettes always hold 256.
  uint8_t colors[256][3];
  const bool bgr = flags & PX_FLAG_BGR;
  for (int i = 0; i < 256; ++i) {
    colors[i][0] = bgr ? palette[i].rgbBlue : palette[i].rgbRed;
    colors[i][1] = palette[i].rgbGreen;
    colors[i][2] = bgr ? palette[i].rgbRed : palette[i].rgbBlue;
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = indices + size_t(y) * inputStride;
    uint8_t* out = rgb + size_t(y) * outputStride;
    for (uint32_t x = 0; x < width; ++x, out += 3) std::memcpy(out, colors[in[x]], 3);
    if (!op.Progress(y, height)) return FALSE;
  }
  return TRUE;
}
