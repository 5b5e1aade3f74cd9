// Reader for TIFF files (single- and multi-page), through libtiff.
//
// Pages are numbered from 0 in directory order. Every function reads the file from its
// start (the source is sought to 0 first) and leaves the source open. Images come back as
// new image buffers (rows top-down, unpadded, upright as the page's Orientation tag says;
// 24-bit pixels red, green, blue; 32-bit red, green, blue, alpha) or, with
// PX_READ_PACKED_DIB, as a packed DIB in a depth chosen from the page. They belong to the
// caller (GlobalFree).
//
// Errors: 1 no memory, 3 the source cannot be sought to 0, 5 bad arguments or a page
// beyond the last, 14 aborted by the progress callback, 17 a 1-bit page with a turned
// orientation, 20 not a TIFF or a page libtiff cannot decode, 28 a page that the requested
// depth cannot represent, 38 an invalid source, 54 an absent or unsupported tag. A 1-, 8-
// or 16-bit read whose strips or tiles partly fail to decode returns the image with error
// 20 (failed parts stay zero): check PXGetLastError even when a buffer comes back.
#ifndef PIXOLITH_PX_TIFF_H
#define PIXOLITH_PX_TIFF_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef PX_READ_PACKED_DIB
// Read flag: return a packed DIB (header, colours, rows bottom-up padded to 4 bytes)
// in the file's own depth; the requested depth is then ignored.
#define PX_READ_PACKED_DIB 2u
#endif

// PXReadTIFF flags.
#define PX_TIFF_IGNORE_ORIENTATION 0x01u  // take every page as Orientation 1
#define PX_TIFF_RAW_CMYK 0x04u            // 32-bit: CMYK pages keep their C, M, Y, K bytes
#define PX_TIFF_1BIT_BOTTOM_UP 0x08u      // 1-bit: rows come out bottom row first
#define PX_TIFF_16BIT_PAD_ROWS 0x20u      // 16-bit: rows padded to a multiple of 4 bytes

// The number of pages (directories), 0 on failure.
uint32_t PXGetTIFFPageCount(PXSource source);
// Width, height and bits per pixel (BitsPerSample x SamplesPerPixel) of a page.
// `resolution` (may be null) receives XResolution and YResolution truncated to integers
// and ResolutionUnit as stored (1 none, 2 inch, 3 centimetre); absent tags give 0.
BOOL PXGetTIFFDimensions(PXSource source, uint32_t page, uint32_t* width, uint32_t* height,
                         uint32_t* bitsPerPixel, PXResolution* resolution);
// One tag of a page as a variant: VT_UI4 for 256, 257, 278, 322, 323, 332, 34665; VT_UI2
// for 258, 259, 262, 274, 296, 334; VT_R4 for 282, 283; VT_BSTR for the text tags 269,
// 270, 271, 272, 285, 305, 306, 315, 316, 333, 337; VT_ARRAY | VT_UI2 for 338. Other tags
// give VT_NULL with error 54, and a tag absent from the page error 54. Release the value
// with VariantClear.
BOOL PXGetTIFFTag(PXSource source, uint32_t page, uint32_t tag, VARIANT* value);
// Reads a page at depth 1 (bilevel pages), 8 (grey and palette pages of up to 8 bits, and
// 16-bit grey), 16 (16-bit grey), 24 or 32 (any page). `palette` (256 entries) is required
// for depths 1 and 8 and receives the colours: white and black at depth 1 (a set bit is
// black), the colour map or a grey ramp at depth 8.
BYTE* PXReadTIFF(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                 RGBQUAD* palette, uint32_t page, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_TIFF_H
