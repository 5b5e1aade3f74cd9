// Reader for Windows and OS/2 bitmap files (signature "BM").
//
// Headers: the 12-byte OS/2 core header, the 40-byte BITMAPINFOHEADER and the larger
// Windows headers that extend it (52, 56, 108 and 124 bytes; their bit-field masks are
// used), and OS/2 2.x headers of 16 to 64 bytes. Bit counts 1, 4, 8, 16, 24 and 32;
// uncompressed, RLE8, RLE4 and bit-field data.
//
// Every function reads from the source's current position, which must be the start of
// the file. Images come back as new image buffers (rows top-down, unpadded; 24-bit pixels
// red, green, blue; 32-bit red, green, blue, alpha) or, with PX_READ_PACKED_DIB, as a
// packed DIB in the file's own depth. They belong to the caller (GlobalFree).
//
// Errors: PX_ERR_NO_MEMORY; PX_ERR_FILE_READ, a short read; PX_ERR_PARAMETER, bad
// arguments; PX_ERR_BAD_BMP, not a BMP / bad header / unsupported compression or bit count;
// PX_ERR_BMP_RLE, run-length data that is not RLE4 with 4 bits or RLE8 with 8 bits;
// PX_ERR_ABORTED by the progress callback; PX_ERR_BIT_DEPTH, the file has no such depth.
// When the pixel data ends early or the callback aborts, the rows read so far come back
// (the rest zero, or the background colour for run-length files) together with
// PX_ERR_FILE_READ or PX_ERR_ABORTED: check PXGetLastError even when a buffer comes back.
#ifndef PIXOLITH_PX_BMP_H
#define PIXOLITH_PX_BMP_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// PXGetBMPDimensionsEx flag: report the resolution in pixels per metre (unit 2) instead
// of pixels per centimetre (unit 1).
#define PX_BMP_RES_PER_METRE 1u

// Width, height (negative for a top-down file) and bit count as stored. `resolution`
// (may be null) receives {x, y, unit}: pixels per centimetre, unit 1, truncated toward
// zero; OS/2 core headers carry no resolution and leave it untouched.
BOOL PXGetBMPDimensions(PXSource source, int32_t* width, int32_t* height, uint32_t* bitsPerPixel,
                        PXResolution* resolution);
// As PXGetBMPDimensions; with PX_BMP_RES_PER_METRE the resolution is the stored pixels per
// metre with unit 2.
BOOL PXGetBMPDimensionsEx(PXSource source, int32_t* width, int32_t* height, uint32_t* bitsPerPixel,
                          PXResolution* resolution, uint32_t flags);
// The colour table of a 1-, 4- or 8-bit file (PX_ERR_BIT_DEPTH otherwise): `colorCount` entries
// (the colours used, at most 256) are stored in `palette`; later entries are untouched.
BOOL PXGetBMPPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette);
// Reads the image at depth 1 (1-bit files), 8 (files of up to 8 bits; one index per
// pixel), 24 or 32. `palette` (256 entries) is required for depths 1 and 8 and receives
// the file's colours, unused entries copying entry 0.
BYTE* PXReadBMP(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                RGBQUAD* palette, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_BMP_H
