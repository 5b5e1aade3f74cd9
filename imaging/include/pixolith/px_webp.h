// Pixolith WebP reader: lossy, lossless and animated WebP files, decoded by libwebp into
// 24-bit RGB or 32-bit RGBA images. An animation gives its first frame on its canvas.
//
// The whole file is read from the source's current position: seek the source to 0 first.
// At 24 bits, transparent pixels land on white. A file cut short returns the rows decoded
// so far together with error 69, and a read stopped by the progress callback the rows so
// far with error 14: check PXGetLastError even when a buffer comes back.
#ifndef PIXOLITH_PX_WEBP_H
#define PIXOLITH_PX_WEBP_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Read flags of PXReadWebP. */
#define PX_WEBP_DIB 0x02u /* return a packed DIB: 32-bit with alpha, 24-bit without */

/* Coding flags of PXGetWebPDimensionsEx. */
#define PX_WEBP_LOSSLESS 0x01u /* a still image in the lossless coding */
#define PX_WEBP_ANIMATED 0x02u /* an animation; its first frame is read */
#define PX_WEBP_ALPHA 0x04u    /* the file says it has transparency */

// Size (of the canvas, for an animation) and bits per pixel: 32 when the file has
// transparency, 24 otherwise. Error 69 for a file that is not WebP or whose header is
// damaged.
BOOL PXGetWebPDimensions(PXSource source, uint32_t* width, uint32_t* height,
                         uint32_t* bitsPerPixel);
// The same, plus the coding flags (PX_WEBP_*) and the number of frames (1 for a still
// image). codingFlags and frameCount may be null.
BOOL PXGetWebPDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                           uint32_t* bitsPerPixel, uint32_t* codingFlags, uint32_t* frameCount);

// Decodes the image (the first frame of an animation, placed on its canvas) at depth 24
// (red, green, blue; transparency on white) or 32 (red, green, blue, alpha as stored,
// 255 where the file has none). Depth 8 fails with 28: WebP holds no palette or grey
// images. Errors: 1, 5, 14, 28, 69.
BYTE* PXReadWebP(PXSource source, uint32_t* width, uint32_t* height, int depth, DWORD flags);

// The EXIF orientation (PX_ORIENTATION_*) of this thread's last WebP header query or
// read: the Orientation in the file's EXIF chunk, or 1 when there is none or it is
// damaged. The reader never turns the rows itself.
int PXGetLastWebPOrientation(void);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_WEBP_H
