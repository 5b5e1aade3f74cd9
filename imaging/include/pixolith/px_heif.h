// Pixolith HEIF reader: HEIC (HEVC), AVIF (AV1) and other HEIF files, decoded by libheif
// into 8-bit grey, 24-bit RGB or 32-bit RGBA images. The primary image is read; an image
// sequence gives the still image it carries as its primary image.
//
// The whole file is read from the source's current position: seek the source to 0 first.
// The rows come upright: libheif applies the file's crop (clap), turn (irot) and mirror
// (imir), and PXGetLastHEIFOrientation tells which turn and mirror that was. At 24 bits,
// transparent pixels land on white. A read stopped by the progress callback returns the
// rows made so far with error 14: check PXGetLastError even when a buffer comes back.
#ifndef PIXOLITH_PX_HEIF_H
#define PIXOLITH_PX_HEIF_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Read flags of PXReadHEIF. */
#define PX_HEIF_DIB 0x02u /* return a packed DIB: 32-bit with alpha, 24-bit without */

// Size of the primary image as it is shown (after its turn and crop) and bits per pixel:
// 32 when it has an alpha channel, 24 otherwise. Errors: 70 for a file that is not HEIF
// or is damaged, 71 for one libheif cannot read (an image sequence without a primary
// image, a coding it has no decoder for), 1 for a side over 32768 pixels.
BOOL PXGetHEIFDimensions(PXSource source, uint32_t* width, uint32_t* height,
                         uint32_t* bitsPerPixel);
// The same, plus the major brand of the file type box ("heic", "avif", "mif1"... as four
// characters and a zero, so `brand` needs room for 5), the bits per sample of the coded
// image (8, 10 or 12; 0 when unknown) and the number of images that are not thumbnails
// or auxiliary images. brand, bitsPerSample and imageCount may be null.
BOOL PXGetHEIFDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                           uint32_t* bitsPerPixel, char* brand, uint32_t* bitsPerSample,
                           uint32_t* imageCount);

// Decodes the primary image at depth 8 (a monochrome image: grey levels with a grey ramp
// in `palette`, which is then required; a colour image fails with 28), 24 (red, green,
// blue; transparency on white) or 32 (red, green, blue, alpha, not premultiplied, 255
// without an alpha channel). Samples of more than 8 bits are reduced to 8. libheif
// decodes the whole image before the rows are stored, and progress is reported once per
// stored row. Errors: 1, 5, 14, 28, 70, 71.
BYTE* PXReadHEIF(PXSource source, uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette,
                 DWORD flags);

// The turn and mirror (as PX_ORIENTATION_* values: how the coded image relates to the
// upright one) that this thread's last HEIF header query or read found for the primary
// image and libheif applied to its rows; 1 when there was none or the file could not be
// opened.
int PXGetLastHEIFOrientation(void);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_HEIF_H
