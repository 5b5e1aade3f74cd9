// Pixolith platform layer: the small Windows-style types and services the library's
// interface is written in terms of (global memory blocks, device bitmaps, device
// contexts, palettes, variants), implemented by the library itself on Linux.
//
// Byte layouts that files fix (RGBQUAD, BITMAPINFOHEADER, the packed DIB) are exactly
// the Windows ones. Device bitmaps are owned rasters of 0x00RRGGBB pixels, one 32-bit
// value per pixel, rows top-down: the same memory layout as Cairo's RGB24 surfaces and
// Qt's QImage::Format_RGB32, so views and renderers draw from them without conversion.
#ifndef PIXOLITH_PLATFORM_H
#define PIXOLITH_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef uint32_t COLORREF;  // 0x00BBGGRR, red in the low byte

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)((c)&0xFF))
#define GetGValue(c) ((BYTE)(((c) >> 8) & 0xFF))
#define GetBValue(c) ((BYTE)(((c) >> 16) & 0xFF))

/* ---- Global memory blocks ------------------------------------------------------------ */

typedef void* HGLOBAL;

#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// The largest block the allocator hands out; larger requests fail without allocating.
#define PX_MAX_GLOBAL_BLOCK ((SIZE_T)2147348478u)

// Allocates a block of `bytes` bytes. Blocks are always zero-filled (whatever the flags
// say) and owned by the receiver, who releases them with GlobalFree. Returns null above
// PX_MAX_GLOBAL_BLOCK or when memory is short. A request for 0 bytes yields a valid
// 0-byte block.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Releases a block from GlobalAlloc (null is ignored). Returns null, as Windows does on
// success.
HGLOBAL GlobalFree(HGLOBAL block);
// The size the block was allocated with; 0 for null.
SIZE_T GlobalSize(HGLOBAL block);
// Fixed blocks are their own addresses; these exist so that code reads as it would
// against the Windows heap.
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);

/* ---- Bitmap structures (Windows byte layout) -------------------------------------------- */

#pragma pack(push, 1)
typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagRGBTRIPLE {
  BYTE rgbtBlue;
  BYTE rgbtGreen;
  BYTE rgbtRed;
} RGBTRIPLE;

typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagBITMAPCOREHEADER {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
} BITMAPCOREHEADER;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

typedef struct tagPALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
} PALETTEENTRY;

typedef struct tagLOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
} LOGPALETTE;
#pragma pack(pop)

#define BI_RGB 0u
#define BI_RLE8 1u
#define BI_RLE4 2u
#define BI_BITFIELDS 3u

#define DIB_RGB_COLORS 0u
#define CBM_INIT 0x04u

/* ---- GDI objects ------------------------------------------------------------------------ */

typedef void* HGDIOBJ;  // any of the handles below
typedef struct PXBitmapObject* HBITMAP;
typedef struct PXPaletteObject* HPALETTE;
typedef struct PXBrushObject* HBRUSH;
typedef struct PXDeviceContext* HDC;

// Raster capabilities (GetDeviceCaps(RASTERCAPS)).
#define RC_BITBLT 0x0001
#define RC_BANDING 0x0002
#define RC_SCALING 0x0004
#define RC_BITMAP64 0x0008
#define RC_DI_BITMAP 0x0080
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// GetDeviceCaps indices.
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90

#define SRCCOPY 0x00CC0020u

// Stock objects.
#define DEFAULT_PALETTE 15

// The screen this platform pretends to have: 96 pixels per inch, as the renderers and
// the metafile sizes expect.
#define PX_SCREEN_WIDTH 1920
#define PX_SCREEN_HEIGHT 1080
#define PX_SCREEN_DPI 96

// Kinds of device context the platform can make. Real programs meet the display and
// memory kinds; the others model devices whose missing abilities the library must
// report (banding printers, information contexts without a surface, metafile DCs that
// cannot make compatible contexts).
typedef enum PXDCKind {
  PXDC_DISPLAY = 0,
  PXDC_MEMORY = 1,
  PXDC_PRINTER = 2,
  PXDC_INFORMATION = 3,
  PXDC_METAFILE = 4
} PXDCKind;

// Capabilities of displays and memory contexts: everything a raster device offers.
#define PX_DISPLAY_RASTERCAPS                                                             \
  (RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB | \
   RC_SCALING)

HDC GetDC(void* window);  // only the screen (null window) is available
int ReleaseDC(void* window, HDC dc);
HDC CreateCompatibleDC(HDC dc);  // null: compatible with the screen
BOOL DeleteDC(HDC dc);
// Makes a device context of the given kind and raster capabilities; a surface bitmap of
// width x height is attached for kinds that have one (display, printer). Used by tests
// and by code that needs a device with particular abilities.
HDC PXCreateDeviceContext(PXDCKind kind, int rasterCaps, int width, int height);
int GetDeviceCaps(HDC dc, int index);

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int object);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
HBITMAP PXGetCurrentBitmap(HDC dc);

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
int StretchDIBits(HDC dc, int destX, int destY, int destWidth, int destHeight, int srcX, int srcY,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop);
// Reads rows of a bitmap into DIB form. Supports 24- and 32-bit requests; `lines` rows
// starting at `start`, counted from the bottom as DIB rows are. With bits null only the
// header's biSizeImage is filled in. Returns the number of rows copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info,
              UINT usage);
// Fills the rectangle (right and bottom exclusive) of the device's raster with the brush.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// Direct access to a device bitmap's raster: width, height and 0x00RRGGBB pixels,
// rows top-down, stride width * 4 bytes.
int PXBitmapWidth(HBITMAP bitmap);
int PXBitmapHeight(HBITMAP bitmap);
uint32_t* PXBitmapBits(HBITMAP bitmap);

/* ---- Variants ------------------------------------------------------------------------- */

typedef uint16_t VARTYPE;
enum {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_ARRAY = 0x2000
};

typedef char* BSTR;  // zero-terminated UTF-8 text owned by the variant

typedef struct tagSAFEARRAY {
  VARTYPE vt;      // element type
  uint32_t count;  // number of elements
  void* data;      // count elements of the element type
} SAFEARRAY;

typedef struct tagVARIANT {
  VARTYPE vt;
  union {
    int8_t cVal;
    uint8_t bVal;
    int16_t iVal;
    uint16_t uiVal;
    int32_t lVal;
    uint32_t ulVal;
    float fltVal;
    double dblVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
  };
} VARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (text, array) and leaves it VT_EMPTY.
int VariantClear(VARIANT* v);
BSTR SysAllocString(const char* text);
void SysFreeString(BSTR text);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, long lowerBound, uint32_t count);
int SafeArrayDestroy(SAFEARRAY* array);

#ifdef __cplusplus
}
#endif

#endif  // PIXOLITH_PLATFORM_H
