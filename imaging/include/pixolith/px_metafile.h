// Pixolith metafile rendering: Windows metafiles (plain and placeable) and enhanced
// metafiles played into a raster of the screen's resolution (96 pixels per inch).
#ifndef PIXOLITH_PX_METAFILE_H
#define PIXOLITH_PX_METAFILE_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of PXRenderMetafileFile. */
#define PX_METAFILE_PIXELS 0x01u  /* the two values are the raster size in pixels */
#define PX_METAFILE_DIB 0x02u     /* return a packed 24-bit DIB instead of an image buffer */
#define PX_METAFILE_PERCENT 0x04u /* the two values are percentages of the natural size */

/* Renders the metafile at `path` into a 24-bit image buffer (rows top-down, red, green,
 * blue), or a packed DIB with PX_METAFILE_DIB, on the background colour. The natural
 * size comes from a placeable file's bounding box or an enhanced metafile's frame.
 * Without PX_METAFILE_PIXELS or PX_METAFILE_PERCENT the two values are the picture
 * extents (hundredths of a millimetre) of a metafile that can only be read raw.
 * Reports progress 0 to 3 of 4. Null with the error on failure (2 missing file, 14
 * aborted, 23 raster too large, 27 not a usable metafile, 41 playback impossible). */
BYTE* PXRenderMetafileFile(const char* path, uint32_t* width, uint32_t* height, int horizontal,
                           int vertical, COLORREF background, DWORD flags);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_METAFILE_H
