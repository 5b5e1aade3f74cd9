// Orientation of photographs: the EXIF Orientation values (tag 274 of the first image
// file directory) and the parser that finds one in an EXIF block.
//
// The value tells how the stored rows relate to the picture as it is meant to be seen.
// Readers report it and leave the rows as stored, unless their own header says otherwise.
#ifndef PIXOLITH_PX_ORIENTATION_H
#define PIXOLITH_PX_ORIENTATION_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Orientation values: where the stored first row and first column belong. */
#define PX_ORIENTATION_TOP_LEFT 1     /* upright as stored */
#define PX_ORIENTATION_TOP_RIGHT 2    /* mirrored left to right */
#define PX_ORIENTATION_BOTTOM_RIGHT 3 /* turned 180 degrees */
#define PX_ORIENTATION_BOTTOM_LEFT 4  /* mirrored top to bottom */
#define PX_ORIENTATION_LEFT_TOP 5     /* mirrored about the main diagonal */
#define PX_ORIENTATION_RIGHT_TOP 6    /* to be turned 90 degrees clockwise */
#define PX_ORIENTATION_RIGHT_BOTTOM 7 /* mirrored about the other diagonal */
#define PX_ORIENTATION_LEFT_BOTTOM 8  /* to be turned 90 degrees anticlockwise */

// The Orientation of an EXIF block: the bytes of a JPEG APP1 segment after its marker
// and length ("Exif" 00 00, then a TIFF header), or a bare TIFF header and what follows
// (the EXIF of PNG, WebP and HEIF files). Reads the first directory only, within `size`
// bytes, in either byte order. Returns 1 to 8, or 1 when the block holds no orientation
// or anything about it is damaged: an offset or a count that leads outside the block, a
// field of the wrong type, a value outside 1 to 8. Sets no error; any pointer may be null
// when `size` is 0.
int PXGetExifOrientation(const BYTE* exif, size_t size);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_ORIENTATION_H
