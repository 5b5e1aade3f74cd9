// Pixolith Photoshop reader: the merged (composite) image of version-1 files in bitmap,
// greyscale, indexed, duotone, RGB and CMYK modes with 1, 8 or 16 bits per channel.
// Layers are not read.
#ifndef PIXOLITH_PX_PSD_H
#define PIXOLITH_PX_PSD_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Colour modes reported by PXGetPSDDimensions. */
#define PX_PSD_BITMAP 0
#define PX_PSD_GRAYSCALE 1
#define PX_PSD_INDEXED 2
#define PX_PSD_RGB 3
#define PX_PSD_CMYK 4
#define PX_PSD_MULTICHANNEL 7
#define PX_PSD_DUOTONE 8
#define PX_PSD_LAB 9

/* Read flags of PXReadPSD. */
#define PX_PSD_DIB 0x02u      /* return a packed DIB in the file's own depth */
#define PX_PSD_RAW_CMYK 0x04u /* CMYK read at depth 32 keeps its four stored channels */

// Size, colour mode and resolution ({x, y, unit: 1 per inch, 2 per centimetre, 0 none})
// of the file. The resolution may be null.
BOOL PXGetPSDDimensions(PXSource source, uint32_t* width, uint32_t* height, int* colorMode,
                        PXResolution* resolution);
// The 256-entry palette of a bitmap, greyscale, indexed or duotone file.
BOOL PXGetPSDPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette);
// Reads the composite image at depth 8 (bitmap, greyscale, indexed, duotone: indices
// into `palette`), 24 (RGB) or 32 (RGB with the fourth channel, greyscale with the
// second, 255 where the file has none; or raw CMYK).
BYTE* PXReadPSD(PXSource source, uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette,
                DWORD flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_PSD_H
