// Pixolith JPEG reader: JFIF and other baseline, progressive or arithmetic-coded JPEG
// files, decoded by libjpeg into 8-bit grey, 24-bit RGB or 32-bit four-channel images.
//
// Every header query and read clears this thread's lists of JPEG comments and markers
// and fills them with the COM and APP1..APP14 segments of the file just read, and takes
// the EXIF orientation of the file (PXGetLastJPEGOrientation).
#ifndef PIXOLITH_PX_JPEG_H
#define PIXOLITH_PX_JPEG_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Read flags of PXReadJPEG. */
#define PX_JPEG_RAW_CMYK 0x01u      /* CMYK/YCCK files come back as 32-bit raw channels */
#define PX_JPEG_DIB 0x02u           /* return a packed DIB in the file's own depth */
#define PX_JPEG_KEEP_YCBCR 0x04u    /* YCbCr files are not converted to RGB */
#define PX_JPEG_WINDOWS_ROWS 0x08u  /* rows padded to 4 bytes, RGB stored blue-green-red */
#define PX_JPEG_REWIND_UNUSED 0x10u /* leave the source right after the JPEG data */

/* Coding flags of PXGetJPEGDimensionsEx. */
#define PX_JPEG_PROGRESSIVE 0x01u
#define PX_JPEG_ARITHMETIC 0x02u

// Header of the JPEG at the source's position: size, bits per pixel (8 x output
// components), libjpeg's JPEG colour space code, coding flags and the JFIF density
// {x, y, unit: 0 aspect only, 1 per inch, 2 per centimetre}. colorSpace, codingFlags
// and resolution may be null. PX_ERR_BAD_JPEG when the file cannot be parsed.
BOOL PXGetJPEGDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                           uint32_t* bitsPerPixel, int* colorSpace, uint32_t* codingFlags,
                           PXResolution* resolution);
// The same without colour space and coding flags.
BOOL PXGetJPEGDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                         PXResolution* resolution);

// Decodes the JPEG at the source's position at depth 8 (grey), 24 (RGB, grey expanded,
// CMYK/YCCK converted) or 32 (raw CMYK/YCCK with PX_JPEG_RAW_CMYK). The per-thread
// scale options apply. A truncated file decodes without error, its missing part filled
// by libjpeg. On a decoding error (PX_ERR_FILE_READ) or an abort (PX_ERR_ABORTED) the rows
// made so far come back with the error.
BYTE* PXReadJPEG(PXSource source, uint32_t* width, uint32_t* height, int depth, DWORD flags);

// The EXIF orientation (PX_ORIENTATION_*, 1 to 8) of the file of this thread's last JPEG
// header query or read: the Orientation of the first APP1 segment holding EXIF, or 1 when
// there is none, it is damaged, or the last call failed before the segments were read.
// The reader never turns the rows itself.
int PXGetLastJPEGOrientation(void);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_JPEG_H
