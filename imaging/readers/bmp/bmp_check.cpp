// BMP header checks: what each kind of read accepts, in the order the reader meets it.
#include "readers/bmp/bmp_format.h"

namespace pxbmp {

namespace {

bool IsValidBitCount(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// OS/2 core bitmaps know indices and 24-bit colour only.
bool IsValidCoreBitCount(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

bool HasPixels(const Header& h) {
  return h.width > 0 && h.rows() > 0;
}

int CheckIndexed(const Header& h, uint32_t depth, Stage stage) {
  switch (stage) {
    case Stage::kHeader:
      // A 4- or 8-bit file has no 1-bit form.
      if (h.bitCount > 8 || depth < h.bitCount) return PX_ERR_BIT_DEPTH;
      return IsValidBitCount(h.bitCount) && HasPixels(h) ? PX_OK : PX_ERR_BAD_BMP;
    case Stage::kMasks:
      return PX_OK;
    case Stage::kColorTable:
      // Run-length data is always stored bottom-up; a negative height is a broken header.
      if (IsRunLength(h)) return h.topDown() ? PX_ERR_BAD_BMP : PX_OK;
      return h.compression == BI_RGB ? PX_OK : PX_ERR_BAD_BMP;
  }
  return PX_ERR_BAD_BMP;
}

int CheckTrueColor(const Header& h, Stage stage) {
  switch (stage) {
    case Stage::kHeader:
      if (!HasPixels(h)) return PX_ERR_BAD_BMP;
      if (!h.core() && h.compression != BI_RGB && h.compression != BI_BITFIELDS && !IsRunLength(h))
        return PX_ERR_BAD_BMP;
      return PX_OK;
    case Stage::kMasks:
      if (h.core()) return IsValidCoreBitCount(h.bitCount) ? PX_OK : PX_ERR_BAD_BMP;
      return IsValidBitCount(h.bitCount) ? PX_OK : PX_ERR_BAD_BMP;
    case Stage::kColorTable:
      return IsRunLength(h) && h.topDown() ? PX_ERR_BAD_BMP : PX_OK;
  }
  return PX_ERR_BAD_BMP;
}

// The DIB keeps the file's coding: any the reader knows of, run-length data included.
int CheckPackedDIB(const Header& h) {
  if (!HasPixels(h)) return PX_ERR_BAD_BMP;
  if (h.core()) return IsValidCoreBitCount(h.bitCount) ? PX_OK : PX_ERR_BAD_BMP;
  return IsValidBitCount(h.bitCount) && h.compression <= BI_BITFIELDS ? PX_OK : PX_ERR_BAD_BMP;
}

}  // namespace

bool IsRunLength(const Header& h) {
  return !h.core() && ((h.compression == BI_RLE4 && h.bitCount == 4) ||
                       (h.compression == BI_RLE8 && h.bitCount == 8));
}

int CheckHeader(const Header& h, Output output, uint32_t depth, Stage stage) {
  switch (output) {
    case Output::kIndexed:
      return CheckIndexed(h, depth, stage);
    case Output::kTrueColor:
      return CheckTrueColor(h, stage);
    case Output::kPackedDIB:
      return stage == Stage::kHeader ? CheckPackedDIB(h) : PX_OK;
    case Output::kPalette:
      if (stage != Stage::kHeader) return PX_OK;
      return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 ? PX_OK : PX_ERR_BIT_DEPTH;
  }
  return PX_ERR_BAD_BMP;
}

}  // namespace pxbmp
