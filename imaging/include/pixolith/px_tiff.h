// TIFF files through libtiff: reading pages (single- and multi-page) and writing them.
//
// Pages are numbered from 0 in directory order. Every function reads the file from its
// start (the source is sought to 0 first) and leaves the source open. Images come back as
// new image buffers (rows top-down, unpadded, upright as the page's Orientation tag says;
// 24-bit pixels red, green, blue; 32-bit red, green, blue, alpha) or, with
// PX_READ_PACKED_DIB, as a packed DIB in a depth chosen from the page. They belong to the
// caller (GlobalFree).
//
// Errors: PX_ERR_NO_MEMORY; PX_ERR_FILE_READ, the source cannot be sought to 0;
// PX_ERR_PARAMETER, bad arguments or a page beyond the last; PX_ERR_ABORTED by the progress
// callback; PX_ERR_UNEXPECTED, a 1-bit page with a turned orientation; PX_ERR_BAD_TIFF, not
// a TIFF or a page libtiff cannot decode; PX_ERR_BIT_DEPTH, a page that the requested depth
// cannot represent; PX_ERR_INVALID_HANDLE, an invalid source; PX_ERR_TIFF_TAG, an absent or
// unsupported tag. A 1-, 8- or 16-bit read whose strips or tiles partly fail to decode
// returns the image with PX_ERR_BAD_TIFF (failed parts stay zero): check PXGetLastError
// even when a buffer comes back.
#ifndef PIXOLITH_PX_TIFF_H
#define PIXOLITH_PX_TIFF_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// PXReadTIFF flags.
#define PX_TIFF_IGNORE_ORIENTATION 0x01u  // take every page as Orientation 1
#define PX_TIFF_RAW_CMYK 0x04u            // 32-bit: CMYK pages keep their C, M, Y, K bytes
#define PX_TIFF_1BIT_BOTTOM_UP 0x08u      // 1-bit: rows come out bottom row first
#define PX_TIFF_16BIT_PAD_ROWS 0x20u      // 16-bit: rows padded to a multiple of 4 bytes

// The number of pages (directories), 0 on failure.
uint32_t PXGetTIFFPageCount(PXSource source);
// The directories chained from the header, counted by their links alone: none of them is
// read, so a directory libtiff would refuse still counts. 0 when the source holds no
// TIFF; a link that points outside the source ends the count. Much cheaper than
// PXGetTIFFPageCount, which reads the first directory with every tag.
uint32_t PXCountTIFFDirectories(PXSource source);
// Width, height and bits per pixel (BitsPerSample x SamplesPerPixel) of a page.
// `resolution` (may be null) receives XResolution and YResolution truncated to integers
// and ResolutionUnit as stored (1 none, 2 inch, 3 centimetre); absent tags give 0.
BOOL PXGetTIFFDimensions(PXSource source, uint32_t page, uint32_t* width, uint32_t* height,
                         uint32_t* bitsPerPixel, PXResolution* resolution);
// One tag of a page as a variant: VT_UI4 for 256, 257, 278, 322, 323, 332, 34665; VT_UI2
// for 258, 259, 262, 274, 296, 334; VT_R4 for 282, 283; VT_BSTR for the text tags 269,
// 270, 271, 272, 285, 305, 306, 315, 316, 333, 337; VT_ARRAY | VT_UI2 for 338. Other tags
// give VT_NULL with PX_ERR_TIFF_TAG, and a tag absent from the page PX_ERR_TIFF_TAG.
// Release the value with VariantClear.
BOOL PXGetTIFFTag(PXSource source, uint32_t page, uint32_t tag, VARIANT* value);
// Reads a page at depth 1 (bilevel pages), 8 (grey and palette pages of up to 8 bits, and
// 16-bit grey), 16 (16-bit grey), 24 or 32 (any page). `palette` (256 entries) is required
// for depths 1 and 8 and receives the colours: white and black at depth 1 (a set bit is
// black), the colour map or a grey ramp at depth 8.
BYTE* PXReadTIFF(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                 RGBQUAD* palette, uint32_t page, uint32_t flags);

/* ---- Writing ---------------------------------------------------------------------------- */

// Pages are written through libtiff, one directory per page, as they come. Image buffers
// are the library's (rows top-down and unpadded; 1-bit rows leftmost pixel in the most
// significant bit; 16-bit pages one native-order sample per pixel; 24-bit pixels red,
// green, blue; 32-bit red, green, blue and a fourth byte); the caller's pixels are never
// changed.
//
// Compression is a TIFF compression code, mapped for each depth: 1-bit pages write 0 and
// 7 (JPEG) uncompressed and keep every other code; deeper pages write 0 and the CCITT
// codes (2, 3, 4, 32771) uncompressed. A page asked for JPEG is one strip; an 8-bit one
// is a greyscale JPEG of the grey levels of its palette colours (with PX_TIFF_WRITE_GRAY,
// of its values). Pages are in strips of about 8 KB of rows, or in tiles of 256 x 256;
// the thread's TIFF write options can change these and add tags.
//
// Errors: PX_ERR_NO_MEMORY; PX_ERR_FILE_WRITE, the sink refused a write (also found when
// the data is flushed at the end); PX_ERR_PARAMETER, bad arguments (a depth the call does
// not take, an 8-bit page without a palette, a zero width or height, a compression libtiff
// does not have, append on a sink that cannot be read back, a refused caller-defined tag);
// PX_ERR_ABORTED by the progress callback; PX_ERR_BAD_TIFF, libtiff could not open the
// sink (append to a file that is not a TIFF); PX_ERR_INVALID_HANDLE, an invalid sink. A
// page that fails is not added: the file keeps the pages written before it (none for a
// single page), and the call returns 0 with the page's error.

// Write flags (one word for every page of a call).
#define PX_TIFF_WRITE_APPEND 0x01u           // add the pages to the TIFF in the sink
#define PX_TIFF_WRITE_GRAY 0x02u             // 4- and 8-bit pages as greyscale, no colour map
#define PX_TIFF_WRITE_CMYK 0x04u             // 32-bit pages as CMYK instead of RGB + alpha
#define PX_TIFF_WRITE_1BIT_MINISBLACK 0x08u  // 1-bit pages: a set bit is white
#define PX_TIFF_WRITE_PREDICTOR 0x10u        // horizontal differencing for LZW and Deflate
#define PX_TIFF_WRITE_TILES 0x20u            // tiles instead of strips
#define PX_TIFF_WRITE_BGR 0x40u              // 24/32-bit source pixels are blue, green, red
#define PX_TIFF_WRITE_BOTTOM_UP 0x80u        // the source rows are bottom row first

// The quality (1 ... 100, 75 until set) this thread's writes give JPEG-compressed pages,
// from the next page on. FALSE with PX_ERR_PARAMETER for a value outside the range.
BOOL PXSetTIFFJPEGQuality(int quality);

// TIFF compression codes the writer takes.
#define PX_TIFF_COMPRESSION_NONE 1u
#define PX_TIFF_COMPRESSION_CCITT_HUFFMAN 2u
#define PX_TIFF_COMPRESSION_CCITT_G3 3u
#define PX_TIFF_COMPRESSION_CCITT_G4 4u
#define PX_TIFF_COMPRESSION_LZW 5u
#define PX_TIFF_COMPRESSION_JPEG 7u
#define PX_TIFF_COMPRESSION_ADOBE_DEFLATE 8u
#define PX_TIFF_COMPRESSION_PACKBITS 32773u
#define PX_TIFF_COMPRESSION_DEFLATE 32946u

// Asked once for every page and once more at the end: fills the page's pixels, width,
// height, palette (256 entries, needed for 8-bit pages), bits per pixel (1, 8, 24 or 32),
// compression and resolution (x, y, TIFF unit: 1 none, 2 inch, 3 centimetre) and returns
// nonzero; returns 0, or delivers no pixels, when there are no more pages. The pixels and
// the palette must stay valid until the next call. The resolution record is zero before
// the first page and keeps the previous page's values otherwise.
typedef int (*PXTIFFPageCallback)(BYTE** pixels, uint32_t* width, uint32_t* height,
                                  RGBQUAD** palette, uint32_t* bitsPerPixel, uint32_t* compression,
                                  PXResolution* resolution, void* userData);

// Writes the pages the callback delivers into one TIFF. Returns the sink's size in bytes
// after the last page, or 0 on failure. Pages are asked for one at a time and written
// before the next is asked for; progress is reported per row of each page.
uint32_t PXWriteMultiPageTIFF(PXSink sink, PXTIFFPageCallback callback, void* userData,
                              uint32_t flags);

// Writes one page of 1, 4 (16-entry palette), 8, 16, 24 or 32 bits per pixel whose rows
// lie `stride` bytes apart (for 16-bit pages, `stride` counts samples). `palette` is
// needed by 4- and 8-bit pages written with a colour map; `resolution` may be null (1, 1,
// no unit). Returns the sink's size in bytes, or 0 on failure.
uint32_t PXWriteTIFFStride(PXSink sink, const BYTE* pixels, uint32_t width, uint32_t height,
                           uint32_t bitsPerPixel, uint32_t stride, const RGBQUAD* palette,
                           uint32_t compression, const PXResolution* resolution, uint32_t flags);

// PXWriteTIFFStride for an unpadded image buffer.
uint32_t PXWriteTIFF(PXSink sink, const BYTE* pixels, uint32_t width, uint32_t height,
                     uint32_t bitsPerPixel, const RGBQUAD* palette, uint32_t compression,
                     const PXResolution* resolution, uint32_t flags);

/* ---- Pages encoded ahead --------------------------------------------------------------- */

// A page compressed exactly as PXWriteMultiPageTIFF would write it (same tags, same strips
// or tiles, byte for byte), kept in memory until it is appended. Compressing is most of a
// writer's work: pages encoded on several threads are then only copied into the file.
typedef struct PXTIFFEncodedPage PXTIFFEncodedPage;

// Encodes one page of 1, 8, 24 or 32 bits per pixel (unpadded rows, top row first). The
// flags are those the file will be written with. Null on failure (the last error says
// why: PX_ERR_NO_MEMORY, PX_ERR_PARAMETER, PX_ERR_ABORTED, ...). Free the page with
// PXFreeTIFFEncodedPage.
PXTIFFEncodedPage* PXEncodeTIFFPage(const BYTE* pixels, uint32_t width, uint32_t height,
                                    uint32_t bitsPerPixel, const RGBQUAD* palette,
                                    uint32_t compression, const PXResolution* resolution,
                                    uint32_t flags);
void PXFreeTIFFEncodedPage(PXTIFFEncodedPage* page);

// Asked once for every page and once more at the end, like PXTIFFPageCallback: sets
// *page and returns nonzero, or returns 0 when there are no more pages. The page stays the
// caller's and must stay valid until the next call.
typedef int (*PXTIFFEncodedPageCallback)(const PXTIFFEncodedPage** page, void* userData);

// PXWriteMultiPageTIFF for pages encoded ahead, with the same flags they were encoded with
// (others give PX_ERR_PARAMETER). The file is the one PXWriteMultiPageTIFF writes from the pixels.
uint32_t PXWriteEncodedTIFFPages(PXSink sink, PXTIFFEncodedPageCallback callback, void* userData,
                                 uint32_t flags);

/* ---- Pages taken over as they are stored ---------------------------------------------- */

// A page as its file stores it, before anything is decoded.
typedef struct PXStoredPage {
  uint32_t width;
  uint32_t height;
  uint32_t bitsPerPixel;  // bits per sample times samples per pixel
  uint32_t compression;   // TIFF compression code; 7 for a JPEG file
  uint32_t transparent;   // nonzero when the page has an alpha or other extra sample
  // Nonzero when the compressed data can go into another TIFF as it is: every strip or
  // tile lies within the file, the counts agree with the page's size, and the tags are
  // ones an output page may carry (no orientation other than top-left, no sample format
  // other than unsigned integers, one of the compressions the writer offers).
  uint32_t copyable;
  // TIFF pages: the resolution as PXGetTIFFDimensions gives it. JPEG files: all 0.
  PXResolution resolution;
} PXStoredPage;

// Describes page `frame` of the TIFF in `source`. Reads the directory and the first
// bytes of each strip or tile, never the data. Returns nonzero with `stored` filled, or
// 0 when the source is no TIFF or has no such page (PX_ERR_BAD_TIFF, PX_ERR_PARAMETER).
BOOL PXGetTIFFStoredPage(PXSource source, uint32_t frame, PXStoredPage* stored);

// Describes the JPEG file in `source`: copyable when it is baseline or extended
// sequential Huffman coding of 8-bit grey or YCbCr samples whose sampling TIFF can
// describe, with a complete marker structure up to its end-of-image marker. Nonzero
// with `stored` filled, or 0 when the source holds no readable JPEG header
// (PX_ERR_BAD_JPEG).
BOOL PXGetJPEGStoredPage(PXSource source, PXStoredPage* stored);

// A copyable TIFF page as an encoded page: its strips or tiles byte for byte, with every
// tag needed to decode them; the size, resolution and the writer's common tags are as
// for any page. Null when the page is not copyable (PX_ERR_PARAMETER) or cannot be read.
PXTIFFEncodedPage* PXCopyTIFFPage(PXSource source, uint32_t frame, const PXResolution* resolution,
                                  uint32_t flags);

// A copyable JPEG file as an encoded page: one strip holding its stream from the
// start-of-image to the end-of-image marker, Photometric and YCbCr subsampling from its
// frame header. Null when the file is not copyable (PX_ERR_PARAMETER) or cannot be read.
PXTIFFEncodedPage* PXCopyJPEGPage(PXSource source, const PXResolution* resolution, uint32_t flags);

// Asked, once a page is surveyed and found copyable, whether it is to be copied; nonzero
// lets the copy go on (a TIFF page's strips are read only then).
typedef BOOL (*PXStoredPageFilter)(const PXStoredPage* stored, void* user);

// PXCopyTIFFPage and PXCopyJPEGPage with one survey of the source for both the decision
// and the copy: `accept` (may be null: every copyable page) sees the page's stored facts
// first. Null with the last error 0 when `accept` declined the page.
PXTIFFEncodedPage* PXCopyTIFFPageIf(PXSource source, uint32_t frame, const PXResolution* resolution,
                                    uint32_t flags, PXStoredPageFilter accept, void* user);
PXTIFFEncodedPage* PXCopyJPEGPageIf(PXSource source, const PXResolution* resolution, uint32_t flags,
                                    PXStoredPageFilter accept, void* user);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_TIFF_H
