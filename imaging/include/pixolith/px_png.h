// PNG: header queries, palette, reading at several depths, and writing.
//
// Bit depths and colour types are PNG's own: the bit depth is per sample (1, 2, 4, 8,
// 16) and the colour type is 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha.
// 16-bit samples are little-endian in image buffers.
#ifndef PIXOLITH_PX_PNG_H
#define PIXOLITH_PX_PNG_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Read flags of PXReadPNG. */
#define PX_PNG_READ_GAMMA 0x01  /* gamma-correct with the file's gAMA (or sRGB) */
#define PX_PNG_READ_DIB 0x02    /* return a packed DIB in the file's own depth */
#define PX_PNG_READ_GRAY16 0x04 /* depth 16: one raw 16-bit grey sample per pixel */

/* Write flags of PXWritePNG. */
#define PX_PNG_WRITE_INTERLACE 0x01     /* Adam7 interlacing */
#define PX_PNG_WRITE_PALETTE_ALPHA 0x02 /* palette reserved bytes become the tRNS table */
#define PX_PNG_WRITE_NO_TIME 0x04       /* no tIME chunk */

// Everything the header chunks tell. Every output pointer may be null. The palette,
// when given, needs room for 256 entries: PLTE entries (or a grey ramp for grey images
// without PLTE) as blue, green, red, 255, the remaining entries copies of entry 0, and
// tRNS alpha values in the reserved bytes. The four transparency outputs receive the
// grey or RGB transparent colour of a tRNS chunk and stay -1 otherwise; `reserved` is
// always -1. Resolution: pHYs pixels per unit, unit 0 unknown or 1 metre; all 0 without
// pHYs. Also refills this thread's list of text chunks read and its background colour.
// FALSE with PX_ERR_BAD_PNG when the header cannot be read.
BOOL PXGetPNGInfo(PXSource source, uint32_t* width, uint32_t* height, int* bitDepth, int* colorType,
                  int* interlace, PXResolution* resolution, int* paletteCount, RGBQUAD* palette,
                  int* reserved, int* transparentRed, int* transparentGreen, int* transparentBlue,
                  int* transparentGray);

// Dimensions, PNG bit depth per sample, colour type and interlace method (0 or 1);
// `resolution` may be null.
BOOL PXGetPNGDimensions(PXSource source, uint32_t* width, uint32_t* height, int* bitDepth,
                        int* colorType, int* interlace, PXResolution* resolution);

// The palette as PXGetPNGInfo fills it, and its entry count. The last error tells
// success.
void PXGetPNGPalette(PXSource source, int* count, RGBQUAD* palette);

// Reads the image at depth 1 or 8 (palette indices; the palette is filled), 16 (grey and
// alpha bytes, or with PX_PNG_READ_GRAY16 raw 16-bit grey), 24 (RGB), 32 (RGBA), 48
// (RGB, 16 bits each) or 64 (RGBA, 16 bits each). Transparent pixels are composited on
// the file's bKGD colour (else black) at depths 1, 8, 16 with PX_PNG_READ_GRAY16, 24 and
// 48. With PX_PNG_READ_DIB a packed DIB in the file's own depth comes back instead and
// the depth is ignored. A file that breaks off inside the image data gives the rows read
// so far together with a non-zero last error.
void* PXReadPNG(PXSource source, uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette,
                uint32_t flags);

// Writes an image buffer as one PNG stream to the sink: `stride` bytes from one row to
// the next, PNG bit depth and colour type, `paletteCount` RGBQUAD entries for PLTE (with
// colour type 3 at most 2^bitDepth), gAMA when gamma > 0, pHYs from `resolution` (null:
// 1, 1, unit 0), and the thread's text chunks. Returns the sink's size in bytes, 0 for
// bad arguments; the last error tells success.
uint32_t PXWritePNG(PXSink sink, const void* pixels, uint32_t width, uint32_t height,
                    uint32_t stride, int bitDepth, int paletteCount, const RGBQUAD* palette,
                    int colorType, double gamma, const PXResolution* resolution, uint32_t flags);

// Empties this thread's list of text chunks that PXWritePNG writes. Always TRUE.
BOOL PXClearPNGTextChunks(void);

// The EXIF orientation (PX_ORIENTATION_*) of the eXIf chunk before the image data of
// this thread's last PNG header query or read; 1 without one or when it is damaged. The
// reader never turns the rows itself.
int PXGetLastPNGOrientation(void);

// Sets the colour this thread's reads composite transparent pixels on when a file has
// no bKGD chunk, in the range of the output's samples (0-255 for 8-bit output). It is
// black until set.
void PXSetPNGDefaultBackground(uint16_t red, uint16_t green, uint16_t blue, uint16_t gray);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_PNG_H
