// Device-independent bitmaps held in memory the way metafile records carry them: the
// BITMAPINFO (bitmap header, bit-field masks, colour table) and the bits apart. They are
// read by the reader's own code, as the bitmap file they would make, so that a DIB in a
// metafile gives the pixels the same DIB gives in a BMP file.
#ifndef PIXOLITH_READERS_BMP_DIB_H
#define PIXOLITH_READERS_BMP_DIB_H

#include <cstddef>
#include <cstdint>

#include "readers/bmp/bmp_format.h"

namespace pxbmp {

struct DIBParts {
  const uint8_t* info = nullptr;
  size_t infoBytes = 0;
  const uint8_t* bits = nullptr;
  size_t bitsBytes = 0;
};

// Reads the bitmap header at the start of the info as ReadHeader reads a file's. Returns
// 0 or the error code (PX_ERR_FILE_READ short, PX_ERR_BAD_BMP bad).
int ReadDIBHeader(const DIBParts& dib, Header* header);

// Where the colour table starts in the info (after the header and the bit-field masks
// that follow a 40-byte one) and how many entries of header.entrySize() bytes the reader
// takes from it.
struct DIBTable {
  size_t offset = 0;
  uint32_t count = 0;
};
DIBTable DIBColorTable(const Header& header);

// Decodes the DIB as PXReadBMP decodes a file at depth 32: a new block (GlobalFree) of
// width x rows pixels of red, green, blue and alpha, rows top-down. `colors`, when not
// null, holds DIBColorTable(header).count entries that stand for the stored table (a
// table of palette indices, resolved by the caller). Entries the info stops short of are
// black. `error` receives the reader's error code: with PX_ERR_FILE_READ (the bits end
// early) the rows decoded so far come back.
BYTE* DecodeDIB(const DIBParts& dib, const RGBQUAD* colors, uint32_t* width, uint32_t* rows,
                int* error);

}  // namespace pxbmp

#endif  // PIXOLITH_READERS_BMP_DIB_H
