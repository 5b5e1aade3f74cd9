// Image data as the self-contained compressed streams that page-description files embed
// (a PDF image's data, for one): one stream for a whole image, nothing around it.
//
// Image buffers are the library's: rows top-down and unpadded, 1-bit rows leftmost pixel
// in the most significant bit, 24-bit pixels red, green, blue; the caller's pixels are
// never changed. Each function returns a new block (free it with GlobalFree) and its
// size, or null with the last error: PX_ERR_PARAMETER, bad arguments; PX_ERR_NO_MEMORY;
// PX_ERR_ABORTED by the progress callback, which is told of every row.
#ifndef PIXOLITH_PX_STREAMS_H
#define PIXOLITH_PX_STREAMS_H

#include "pixolith/px_core.h"
#include "pixolith/px_tiff.h"

#ifdef __cplusplus
extern "C" {
#endif

// A 1-bit image as one CCITT Group 4 (T.6) stream ending in EOFB, a set bit coded as
// black, bits filled from the most significant one.
BYTE* PXEncodeG4Stream(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t* size);

// An 8-bit grey or 24-bit RGB image as one baseline JPEG stream (JFIF; colour as YCbCr)
// at `quality` (1 ... 100).
BYTE* PXEncodeJPEGStream(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                         int quality, uint32_t* size);

// An 8- or 24-bit image as one zlib stream. With `predict`, every row is preceded by
// the PNG filter type that suits it best and filtered with it (what a reader's PNG
// predictor 15 undoes); without, the rows go in as they are.
BYTE* PXDeflateStream(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                      BOOL predict, uint32_t* size);

// The JPEG file in `source` from its start-of-image to its end-of-image marker, byte for
// byte, when PXGetJPEGStoredPage calls it copyable (`stored`, may be null, receives its
// facts); null with PX_ERR_PARAMETER when it is not, PX_ERR_BAD_JPEG when no JPEG.
BYTE* PXReadJPEGStream(PXSource source, PXStoredPage* stored, uint32_t* size);

// What a PNG file stores of its image, for taking its data over as it is: an opaque,
// non-interlaced image of 8-bit grey (colour type 0) or RGB (2) samples, or of 2-, 4- or
// 8-bit palette indices (3), whose IDAT chunks, joined, are one zlib stream of
// PNG-filtered rows.
typedef struct PXPNGStream {
  uint32_t width;
  uint32_t height;
  uint32_t bitDepth;      // per sample
  uint32_t colorType;     // PNG's: 0 grey, 2 RGB, 3 palette
  uint32_t samples;       // per pixel: 1, or 3 for RGB
  uint32_t paletteCount;  // PLTE entries of a palette file
  BYTE palette[768];      // red, green, blue per entry
  // Nonzero when the file is such an image: a valid header, no tRNS, PLTE where the
  // colour type needs one (at most 2^bitDepth entries), one run of IDAT chunks within the file,
  // then only ancillary chunks up to IEND, and no critical chunk with a wrong CRC.
  uint32_t copyable;
} PXPNGStream;

// Surveys the PNG in `source` by walking its chunks; the image data is neither read nor
// inflated. Nonzero with `facts` filled, or 0 when the source holds no PNG header
// (PX_ERR_BAD_PNG).
BOOL PXGetPNGStream(PXSource source, PXPNGStream* facts);

// The joined IDAT data of a copyable PNG (`facts`, may be null, receives the survey),
// once inflating it has shown one complete zlib stream of exactly the image's rows,
// each led by a filter type of 0 to 4, with nothing after it. Null with PX_ERR_PARAMETER
// when the file is not copyable, PX_ERR_BAD_PNG when its data is not such a stream.
BYTE* PXReadPNGStream(PXSource source, PXPNGStream* facts, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_STREAMS_H
