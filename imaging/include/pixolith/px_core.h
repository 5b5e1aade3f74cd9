// Pixolith core: the calling frame shared by every PX function (per-thread last error,
// progress callback, version), image buffers and packed DIBs, and sources and sinks.
//
// Every PX function returns a result or 0 / null and records a numeric last error for
// the calling thread (0 on success); read it with PXGetLastError. Readers that stop in
// the middle of an image may return the rows made so far together with a non-zero last
// error, so callers check the last error even when a buffer comes back.
#ifndef PIXOLITH_PX_CORE_H
#define PIXOLITH_PX_CORE_H

#include "pixolith/platform.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PX_VERSION_TEXT "PX 3.0.58.6"

/* ---- Error codes ------------------------------------------------------------------------ */

enum PXErrorCode {
  PX_OK = 0,
  PX_ERR_NO_MEMORY = 1,
  PX_ERR_FILE_OPEN = 2,
  PX_ERR_FILE_READ = 3,
  PX_ERR_FILE_WRITE = 4,
  PX_ERR_PARAMETER = 5,
  PX_ERR_BAD_BMP = 6,
  PX_ERR_BMP_RLE = 7,
  PX_ERR_GIF87_MULTIFRAME = 8,
  PX_ERR_BAD_JPEG = 9,
  PX_ERR_DEVICE_CONTEXT = 10,
  PX_ERR_GETDIBITS_CALL = 11,
  PX_ERR_BAD_GIF = 12,
  PX_ERR_RESOURCE = 13,
  PX_ERR_ABORTED = 14,
  PX_ERR_BAD_PNG = 15,
  PX_ERR_PNG_LIB = 16,
  PX_ERR_UNEXPECTED = 17,
  PX_ERR_FONT = 18,
  PX_ERR_TIFF_INTERNAL = 19,
  PX_ERR_BAD_TIFF = 20,
  PX_ERR_TIFF_LZW = 21,
  PX_ERR_BAD_PCX = 22,
  PX_ERR_CREATE_BITMAP = 23,
  PX_ERR_END_OF_IMAGE = 24,
  PX_ERR_GETDIBITS = 25,
  PX_ERR_DEVICE_CAPS = 26,
  PX_ERR_BAD_METAFILE = 27,
  PX_ERR_BIT_DEPTH = 28,
  PX_ERR_BITBLT = 29,
  PX_ERR_BUFFER_TOO_SMALL = 30,
  PX_ERR_PALETTE_FULL = 31,
  PX_ERR_BAD_TGA = 32,
  PX_ERR_CREATE_DIBITMAP = 35,
  PX_ERR_BANDING_DEVICE = 37,
  PX_ERR_INVALID_HANDLE = 38,
  PX_ERR_METAFILE_RENDER = 41,
  PX_ERR_EMF_OUTPUT = 42,
  PX_ERR_BAD_PSD = 46,
  PX_ERR_PSD_SUBFORMAT = 47,
  PX_ERR_BAD_WBMP = 53,
  PX_ERR_TIFF_TAG = 54,
  PX_ERR_NO_THREAD_STATE = 55,
  PX_ERR_SIZE_OVERFLOW = 68,
  PX_ERR_BAD_WEBP = 69,
  PX_ERR_BAD_HEIF = 70,
  PX_ERR_HEIF_SUBFORMAT = 71
};

// The message text of an error code, or null for codes that have none.
const char* PXGetErrorMessage(int code);
// The text an application shows for a code: its message, or "Error %d" for codes
// without one. The returned text stays valid until the next call on the same thread.
const char* PXGetErrorText(int code);

/* ---- Frame ------------------------------------------------------------------------------ */

// Progress callback: (current, total, user value) -> FALSE to abort the running
// operation (PX_ERR_ABORTED). Only the outermost library operation on a thread reports.
typedef BOOL (*PXProgressCallback)(UINT current, UINT total, DWORD_PTR userValue);

void PXSetProgressCallback(PXProgressCallback callback, DWORD_PTR userValue);
// This thread's last error; PX_ERR_NO_THREAD_STATE when no per-thread state can be had.
int PXGetLastError(void);
// Copies "PX 3.0.58.6" into buffer, padded with zero bytes to 20 bytes.
void PXGetVersion(char* buffer);

/* ---- Resolution ------------------------------------------------------------------------- */

// Unit numbering is that of the format that produced the record.
typedef struct PXResolution {
  uint32_t x;
  uint32_t y;
  uint32_t unit;
} PXResolution;

/* ---- Image buffers and packed DIBs ------------------------------------------------------ */

// Bytes in one row of an image buffer (no padding): 1-bit (w+7)/8, 4-bit (w+1)/2,
// otherwise w * bpp / 8.
size_t PXImageRowBytes(uint32_t width, uint32_t bitsPerPixel);
// Bytes in one row of a packed DIB: rounded up to a multiple of 4.
size_t PXDIBRowBytes(uint32_t width, uint32_t bitsPerPixel);

HBITMAP PXRGBToHBITMAP(const BYTE* pixels, uint32_t width, uint32_t height, HPALETTE palette,
                       HDC dc);
HBITMAP PXDIBToHBITMAP(const void* packedDIB, HPALETTE palette, HDC dc);
// Packs a one-byte-per-pixel indexed buffer into a packed DIB of dibBits (1, 4 or 8)
// bits per pixel. `output` may be a caller block large enough for the result, or null.
void* PXIndexedToDIB(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t colorCount,
                     uint32_t dibBits, const RGBQUAD* palette, void* output);
void* PX1BitToDIB(const BYTE* pixels, uint32_t width, uint32_t height, const RGBQUAD* twoColors,
                  void* output);
BOOL PXDrawDIBToDC(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, HPALETTE palette);
BOOL PXStretchDIBToDC(HDC dc, const void* packedDIB, int x, int y, int width, int height);
BOOL PXDrawRGBToDC(HDC dc, const BYTE* pixels, uint32_t imageWidth, uint32_t imageHeight, int x,
                   int y, int width, int height, HPALETTE palette);
BOOL PXDrawIndexedToDC(HDC dc, const BYTE* pixels, uint32_t imageWidth, uint32_t imageHeight,
                       const RGBQUAD* colors, int x, int y, int width, int height,
                       HPALETTE palette);

// Read flag shared by the readers: return a packed DIB (header, colours, rows bottom-up
// padded to 4 bytes) in the file's own depth; the requested depth is then ignored.
#define PX_READ_PACKED_DIB 2u

/* ---- Sources and sinks ------------------------------------------------------------------ */

typedef struct PXHandle PXHandle;
typedef PXHandle* PXSource;
typedef PXHandle* PXSink;

#define PX_SEEK_SET 0
#define PX_SEEK_CUR 1
#define PX_SEEK_END 2

PXSource PXOpenFileSource(const char* path);
// The block is not copied: keep it alive and unchanged until the source is closed.
PXSource PXOpenMemorySource(const void* data, uint32_t size);
BOOL PXSeekSource(PXSource source, long offset, int origin);
// Closes the source and returns the position it stood at.
uint32_t PXCloseSource(PXSource source);
PXSink PXOpenFileSink(const char* path, BOOL append);
// Closes the sink and returns its size in bytes.
uint32_t PXCloseSink(PXSink sink);

/* ---- Format detection ------------------------------------------------------------------- */

enum PXFormatId {
  PX_FORMAT_UNKNOWN = 0,
  PX_FORMAT_BMP = 1,
  PX_FORMAT_GIF = 2,
  PX_FORMAT_JPEG = 3,
  PX_FORMAT_PNG = 4,
  PX_FORMAT_PCX = 5,
  PX_FORMAT_TIFF = 6,
  PX_FORMAT_WMF = 7,
  PX_FORMAT_EMF = 8,
  PX_FORMAT_PAX = 9,
  PX_FORMAT_PSD = 10,
  PX_FORMAT_TLA = 11,
  PX_FORMAT_TLAU = 12,
  PX_FORMAT_WBMP = 13,
  PX_FORMAT_TGA = 14,
  PX_FORMAT_PCD_OPA = 15,
  PX_FORMAT_PHOTO_CD = 16,
  PX_FORMAT_JP2 = 17,
  PX_FORMAT_J2K_CODESTREAM = 18,
  PX_FORMAT_OLE = 19,
  PX_FORMAT_WEBP = 20,
  PX_FORMAT_HEIF = 21  // HEIF and AVIF: HEIC, AVIF and other brands in an ftyp box
};

// Recognises the format of the data from the source's current position. Callers seek
// the source to 0 first and back to 0 afterwards.
int PXGuessFileType(PXSource source);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PX_CORE_H
