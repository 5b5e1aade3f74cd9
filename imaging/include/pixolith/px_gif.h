// Pixolith GIF reader: GIF87a and GIF89a files, the first image as 8-bit palette
// indices. Later frames of an animation are not read.
#ifndef PIXOLITH_PX_GIF_H
#define PIXOLITH_PX_GIF_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PX_GIF_DIB 0x02u /* PXReadGIF returns a packed 8-bit DIB */

// The logical screen: its size, bits per pixel of the global colour table, background
// index and the transparent index of the first image's graphic control (-1 when none;
// only GIF89a files are scanned for it). `palette` (room for 256 entries) may be null;
// it is cleared and filled from the global colour table. `flag` carries nothing and is
// set to 0; it and `background` are required.
BOOL PXGetGIFDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                          uint32_t* bitsPerPixel, int* background, int* transparent,
                          RGBQUAD* palette, int* flag);
BOOL PXGetGIFDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                        int* transparent, RGBQUAD* palette);

// Decodes the first image: width x height index bytes, rows top-down (or a packed DIB
// with PX_GIF_DIB). The palette (256 entries, required without PX_GIF_DIB) comes from
// the local colour table, else the global one; the transparent entry has reserved byte
// 0. A code stream that ends early leaves the remaining rows at index 0 without error.
BYTE* PXReadGIF(PXSource source, uint32_t* width, uint32_t* height, int* transparent,
                RGBQUAD* palette, DWORD flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_GIF_H
