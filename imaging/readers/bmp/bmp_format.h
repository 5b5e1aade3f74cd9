// BMP internals shared by the reader's entry points: the parsed headers, the colour table
// and the run-length decoder.
#ifndef PIXOLITH_READERS_BMP_FORMAT_H
#define PIXOLITH_READERS_BMP_FORMAT_H

#include <cstdint>

#include "core/io.h"
#include "core/operation.h"

namespace pxbmp {

enum class HeaderKind {
  kCore,     // 12-byte OS/2 1.x header: 16-bit sizes, 3-byte colours
  kInfo,     // 40-byte BITMAPINFOHEADER and the Windows headers that extend it
  kOS2Info,  // OS/2 2.x header (16 to 64 bytes): the 40-byte layout, truncated or extended
};

struct Header {
  uint32_t offBits = 0;     // bfOffBits
  uint32_t headerSize = 0;  // as stored
  HeaderKind kind = HeaderKind::kInfo;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top-down
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
  // Bit-field masks (red, green, blue, alpha) stored inside headers of 52 bytes and more.
  bool headerMasks = false;
  uint32_t masks[4] = {};

  bool core() const { return kind == HeaderKind::kCore; }
  uint32_t rows() const { return height < 0 ? 0u - uint32_t(height) : uint32_t(height); }
  bool topDown() const { return height < 0; }
  // Bytes of the file header and this header: where a colour table would start.
  uint32_t headersEnd() const { return 14 + headerSize; }
  // Bytes per colour-table entry.
  uint32_t entrySize() const { return core() ? 3 : 4; }
  // Entries in the colour table the file announces (biClrUsed, or 2^bits when 0), before
  // any cap.
  uint64_t declaredColors() const;
};

// Reads the file header and the bitmap header from the current position, leaving the
// source just after the bitmap header. Returns 0 or the error code (PX_ERR_FILE_READ short,
// PX_ERR_BAD_BMP bad).
int ReadHeader(CPXIO& io, Header* header);

// What a call makes of the bitmap; its header is checked against it.
enum class Output {
  kIndexed,    // an image buffer of 1 or 8 bits: indices into the file's colour table
  kTrueColor,  // an image buffer of 24 or 32 bits
  kPackedDIB,  // the bitmap as a packed DIB in its own depth and compression
  kPalette,    // the colour table alone
};

// How far a reader has read when it checks the header. The faults of a bitmap's coding
// (its compression, the bit count of a bit-field file) are judged only once the masks or
// the colour table before the pixels have been read, so a file cut short there reports
// the short read, PX_ERR_FILE_READ.
enum class Stage { kHeader, kMasks, kColorTable };

// True for run-length data the reader decodes: RLE4 with 4-bit or RLE8 with 8-bit pixels.
bool IsRunLength(const Header& header);

// The header checks of `output` (at `depth`, for kIndexed) that apply at `stage`: 0, or the error
// code: PX_ERR_BIT_DEPTH when the file's pixels cannot be given at the requested depth,
// PX_ERR_BAD_BMP for sizes, bit counts and compressions this reader cannot read. Pure: it reads
// nothing.
int CheckHeader(const Header& header, Output output, uint32_t depth, Stage stage);

// Reads `count` (at most 256) colour-table entries into `palette`, widening 3-byte OS/2
// entries. Returns false on a short read.
bool ReadColors(CPXIO& io, const Header& header, uint32_t count, RGBQUAD* palette);

// Moves forward over `count` bytes by reading them (sources may be pipes of data that
// only read forward). Returns false when the data ends first.
bool Skip(CPXIO& io, uint64_t count);

// Bytes of one stored row: the packed pixels rounded up to a multiple of 4.
inline uint64_t FileRowBytes(uint32_t width, uint32_t bits) {
  return ((uint64_t(width) * bits + 31) / 32) * 4;
}

// Decodes RLE4/RLE8 data from the current position into `out` (width x rows, top-down,
// `depth` 8, 24 or 32 bits), which the caller has cleared to the background. Returns the
// error code: 0 at the end-of-bitmap code, PX_ERR_FILE_READ when the data ends first,
// PX_ERR_BAD_BMP for an impossible state, PX_ERR_ABORTED on abort; the image decoded so
// far stays in `out`.
int DecodeRLE(px::Operation& op, CPXIO& io, const Header& header, const RGBQUAD* palette,
              uint32_t depth, uint8_t* out);

}  // namespace pxbmp

#endif  // PIXOLITH_READERS_BMP_FORMAT_H
