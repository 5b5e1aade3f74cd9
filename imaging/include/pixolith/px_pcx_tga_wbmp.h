// Readers for PCX, TGA and Wireless Bitmap (WBMP, type 0) files.
//
// Each format has a dimensions call, a palette call where the format has colours, and a
// read call that returns a new image buffer (rows top-down, unpadded, 24-bit pixels as
// red, green, blue) or, with PX_READ_PACKED_DIB in the flags, a packed DIB in the file's
// own depth. Buffers and DIBs belong to the caller, who frees them with GlobalFree.
//
// The header is read from the source's current position: seek the source to 0 first.
//
// A file that ends before the pixel data it announces is refused with PX_ERR_FILE_READ
// before any image memory is allocated, when it is too short to hold even the most compact
// encoding of that data. A run-length file that runs out in the middle of its rows, and a
// read stopped by the progress callback (PX_ERR_ABORTED), return the rows decoded so far (the rest
// zero) together with the error: check PXGetLastError even when a buffer comes back.
#ifndef PIXOLITH_PX_PCX_TGA_WBMP_H
#define PIXOLITH_PX_PCX_TGA_WBMP_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- PCX -------------------------------------------------------------------------------- */

// Width, height and bits per pixel (planes x bits per plane). PX_ERR_BAD_PCX for a header
// that is not a PCX header of version 0, 2, 3 or 5 or that describes no pixels.
BOOL PXGetPCXDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel);
// As PXGetPCXDimensions, plus the resolution {horizontal DPI, vertical DPI, unit 0}
// when `resolution` is not null.
BOOL PXGetPCXDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                          uint32_t* bitsPerPixel, PXResolution* resolution);
// The palette of a file of up to 8 bits per pixel (PX_ERR_BIT_DEPTH for deeper files): the
// 256-colour table at the end of the file, the header's 16 colours, black and white for
// 1-bit files, or a grey ramp. `colorCount` is always 256; unused entries copy entry 0.
BOOL PXGetPCXPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette);
// Reads the image at depth 1 (1-bit files), 8 (files of up to 8 bits, one index per
// pixel) or 24. `palette` (256 entries) is required for depths 1 and 8 and receives the
// file's palette. Errors: PX_ERR_NO_MEMORY, PX_ERR_FILE_READ, PX_ERR_PARAMETER,
// PX_ERR_ABORTED, PX_ERR_UNEXPECTED (a layout this reader cannot convert), PX_ERR_BAD_PCX,
// PX_ERR_BIT_DEPTH (the file is deeper than the requested depth).
BYTE* PXReadPCX(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                RGBQUAD* palette, uint32_t flags);

/* ---- TGA -------------------------------------------------------------------------------- */

// Width, height and pixel depth. PX_ERR_FILE_READ for a short header, PX_ERR_BAD_TGA for a
// pixel depth above 32 or an image type other than 1-3 and 9-11.
BOOL PXGetTGADimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* pixelDepth);
// The colour map of a colour-mapped file (count = first index + length, at most 256;
// entries from the stored map land at their own indices; the rest copy entry 0), or the
// grey ramp (i, i, i, 255) of a grey file. PX_ERR_BIT_DEPTH for pixel depths of 9 and
// more, PX_ERR_BAD_TGA for a colour-mapped file without a map.
BOOL PXGetTGAPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette);
// Reads the image at depth 24 (red, green, blue), 32 (red, green, blue, alpha) or 8 (the
// stored index or grey byte of an 8-bit colour-mapped or grey file, with the palette of
// PXGetTGAPalette in `palette`). Rows come top-down whatever the stored origin. With
// PX_READ_PACKED_DIB the DIB is 32-bit for 32-bit files and 24-bit otherwise.
// Errors: PX_ERR_NO_MEMORY, PX_ERR_FILE_READ, PX_ERR_PARAMETER, PX_ERR_ABORTED,
// PX_ERR_BIT_DEPTH, PX_ERR_BAD_TGA.
BYTE* PXReadTGA(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                RGBQUAD* palette, uint32_t flags);

/* ---- WBMP ------------------------------------------------------------------------------- */

// Width and height of a type 0 Wireless Bitmap; PX_ERR_BAD_WBMP when the header is not
// one.
BOOL PXGetWBMPDimensions(PXSource source, uint32_t* width, uint32_t* height);
// Reads the image at depth 1 (the stored rows) or 8 (one byte 0 or 1 per pixel).
// `palette` receives entry 0 black and entry 1 white; it is required without
// PX_READ_PACKED_DIB, which returns a 1-bit DIB. Errors: PX_ERR_NO_MEMORY,
// PX_ERR_FILE_READ, PX_ERR_PARAMETER, PX_ERR_ABORTED, PX_ERR_BAD_WBMP.
BYTE* PXReadWBMP(PXSource source, uint32_t* width, uint32_t* height, RGBQUAD* palette,
                 uint32_t depth, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_PCX_TGA_WBMP_H
