// Image buffers, packed DIBs and their conversion to device bitmaps.
#include "core/dib.h"

#include <cstring>

#include "core/operation.h"
#include "platform/gdi_objects.h"

/* ---- Sizes and headers ------------------------------------------------------------------ */

extern "C" size_t PXImageRowBytes(uint32_t width, uint32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
      return (size_t(width) + 7) / 8;
    case 4:
      return (size_t(width) + 1) / 2;
    default:
      return size_t(width) * bitsPerPixel / 8;
  }
}

extern "C" size_t PXDIBRowBytes(uint32_t width, uint32_t bitsPerPixel) {
  return ((size_t(width) * bitsPerPixel + 31) / 32) * 4;
}

namespace px {

void FillDIBHeader(BITMAPINFOHEADER* h, int32_t width, int32_t height, uint16_t bits,
                   uint32_t colorsUsed, int32_t xPelsPerMeter, int32_t yPelsPerMeter) {
  std::memset(h, 0, sizeof *h);
  uint32_t rows = height < 0 ? 0u - uint32_t(height) : uint32_t(height);
  h->biSize = 40;
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = bits;
  h->biCompression = BI_RGB;
  h->biSizeImage = uint32_t(PXDIBRowBytes(uint32_t(width), bits) * rows);
  h->biXPelsPerMeter = xPelsPerMeter;
  h->biYPelsPerMeter = yPelsPerMeter;
  h->biClrUsed = colorsUsed;
  h->biClrImportant = colorsUsed;
}

size_t DIBSize(uint32_t width, uint32_t height, uint16_t bits, uint32_t colors) {
  size_t total;
  if (!BlockSize(height, PXDIBRowBytes(width, bits), 40 + 4 * size_t(colors), &total)) return 0;
  return total;
}

uint8_t* AllocDIB(uint32_t width, uint32_t height, uint16_t bits, uint32_t colors,
                  size_t* totalSize) {
  size_t total = DIBSize(width, height, bits, colors);
  if (!total || width > INT32_MAX || height > INT32_MAX) return nullptr;
  if (totalSize) *totalSize = total;
  return static_cast<uint8_t*>(AllocBlock(total));
}

uint8_t* RGBToDIB(const uint8_t* pixels, uint32_t width, uint32_t height, uint8_t* output) {
  size_t total = DIBSize(width, height, 24, 0);
  if (!total || width > INT32_MAX || height > INT32_MAX) return nullptr;
  uint8_t* dib = output ? output : static_cast<uint8_t*>(AllocBlock(total));
  if (!dib) return nullptr;
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib);
  FillDIBHeader(h, int32_t(width), int32_t(height), 24, 0);
  h->biClrImportant = 0;
  size_t stride = PXDIBRowBytes(width, 24);
  uint8_t* rows = dib + 40;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = pixels + size_t(height - 1 - y) * width * 3;
    uint8_t* dst = rows + stride * y;
    for (uint32_t x = 0; x < width; ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
    std::memset(dst + 3 * size_t(width), 0, stride - 3 * size_t(width));
  }
  return dib;
}

}  // namespace px

/* ---- Conversions ------------------------------------------------------------------------ */

namespace {

// Restores a device context's palette when it goes out of scope.
class PaletteSelection {
 public:
  PaletteSelection(HDC dc, HPALETTE palette) : dc_(dc) {
    previous_ = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
  }
  ~PaletteSelection() {
    if (previous_) SelectPalette(dc_, previous_, FALSE);
  }

 private:
  HDC dc_;
  HPALETTE previous_;
};

HBITMAP DIBToHBITMAP(px::Operation& op, const void* packed, HPALETTE palette, HDC given) {
  const auto* h = static_cast<const BITMAPINFOHEADER*>(packed);
  if (!h) return op.SetError(PX_ERR_PARAMETER), nullptr;
  if (h->biSize != 40) return op.SetError(PX_ERR_PARAMETER), nullptr;

  HDC dc = given;
  bool ownDC = false;
  if (!dc) {
    dc = h->biBitCount == 1 ? CreateCompatibleDC(nullptr) : GetDC(nullptr);
    if (!dc) return op.SetError(PX_ERR_DEVICE_CONTEXT), nullptr;
    ownDC = true;
  }
  struct DCRelease {
    HDC dc;
    bool own;
    ~DCRelease() {
      if (own) DeleteDC(dc);
    }
  } release{dc, ownDC};

  if (!(GetDeviceCaps(dc, RASTERCAPS) & RC_DI_BITMAP))
    return op.SetError(PX_ERR_DEVICE_CAPS), nullptr;

  uint64_t colors = h->biClrUsed         ? h->biClrUsed
                    : h->biBitCount < 32 ? (uint64_t(1) << h->biBitCount)
                                         : uint64_t(1) << 32;
  const auto* base = static_cast<const uint8_t*>(packed);
  const uint8_t* bits;
  if (h->biBitCount <= 8)
    bits = base + 40 + 4 * colors;
  else
    bits = base + 40 + 4 * (uint64_t(h->biClrUsed) + (h->biCompression == BI_BITFIELDS ? 3 : 0));

  HPALETTE built = nullptr;
  HPALETTE use = palette;
  if (!use && colors <= 256 && (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) {
    struct {
      WORD version;
      WORD count;
      PALETTEENTRY entries[256];
    } logical;
    logical.version = 0x300;
    logical.count = WORD(colors);
    const auto* table = reinterpret_cast<const RGBQUAD*>(base + 40);
    for (uint64_t i = 0; i < colors; ++i)
      logical.entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    built = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical));
    use = built;
  }
  HBITMAP bitmap;
  {
    HPALETTE previous = use ? SelectPalette(dc, use, FALSE) : nullptr;
    if (use) RealizePalette(dc);
    bitmap = CreateDIBitmap(dc, h, CBM_INIT, bits, static_cast<const BITMAPINFO*>(packed),
                            DIB_RGB_COLORS);
    if (previous) SelectPalette(dc, previous, FALSE);
  }
  if (built) DeleteObject(built);
  if (!bitmap) op.SetError(PX_ERR_CREATE_DIBITMAP);
  return bitmap;
}

BOOL DrawBitmap(px::Operation& op, HDC dc, HBITMAP bitmap, int x, int y, int width, int height,
                HPALETTE palette) {
  if (!dc || !bitmap) return op.Fail(PX_ERR_PARAMETER);
  if (!(GetDeviceCaps(dc, RASTERCAPS) & RC_BITBLT)) return op.Fail(PX_ERR_DEVICE_CAPS);
  HPALETTE use =
      palette ? palette : static_cast<HPALETTE>(px::GdiFromHandle(GetStockObject(DEFAULT_PALETTE)));
  PaletteSelection targetPalette(dc, use);
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) return op.Fail(PX_ERR_DEVICE_CONTEXT);
  SelectPalette(memory, use, FALSE);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  if (!previous) {
    DeleteDC(memory);
    return op.Fail((GetDeviceCaps(dc, RASTERCAPS) & RC_BANDING) ? PX_ERR_BANDING_DEVICE
                                                                : PX_ERR_DEVICE_CAPS);
  }
  BOOL copied = BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  if (!copied) return op.Fail(PX_ERR_BITBLT);
  return TRUE;
}

}  // namespace

extern "C" HBITMAP PXDIBToHBITMAP(const void* packedDIB, HPALETTE palette, HDC dc) {
  px::Operation op;
  if (!op) return nullptr;
  return DIBToHBITMAP(op, packedDIB, palette, dc);
}

extern "C" HBITMAP PXRGBToHBITMAP(const BYTE* pixels, uint32_t width, uint32_t height,
                                  HPALETTE palette, HDC dc) {
  px::Operation op;
  if (!op) return nullptr;
  if (!pixels) return op.SetError(PX_ERR_PARAMETER), nullptr;
  uint8_t* dib = px::RGBToDIB(pixels, width, height);
  if (!dib) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  HBITMAP bitmap = DIBToHBITMAP(op, dib, palette, dc);
  GlobalFree(dib);
  return bitmap;
}

namespace {

void* IndexedToDIB(px::Operation& op, const BYTE* pixels, uint32_t width, uint32_t height,
                   uint32_t colorCount, uint32_t dibBits, const RGBQUAD* palette, void* output) {
  if (!pixels || (colorCount && !palette)) return op.SetError(PX_ERR_PARAMETER), nullptr;
  if ((dibBits != 1 && dibBits != 4 && dibBits != 8) || colorCount > 256)
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  uint8_t* dib = static_cast<uint8_t*>(output);
  if (!dib) dib = px::AllocDIB(width, height, uint16_t(dibBits), colorCount);
  if (!dib) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib);
  px::FillDIBHeader(h, int32_t(width), int32_t(height), uint16_t(dibBits), colorCount);
  if (colorCount) std::memcpy(dib + 40, palette, 4 * size_t(colorCount));
  size_t stride = PXDIBRowBytes(width, dibBits);
  uint8_t* rows = dib + 40 + 4 * size_t(colorCount);
  const uint32_t perByte = 8 / dibBits;
  const uint32_t mask = (1u << dibBits) - 1;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = pixels + size_t(height - 1 - y) * width;
    uint8_t* dst = rows + stride * y;
    std::memset(dst, 0, stride);
    if (dibBits == 8) {
      std::memcpy(dst, src, width);
      continue;
    }
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t shift = dibBits * (perByte - 1 - x % perByte);
      dst[x / perByte] |= uint8_t((src[x] & mask) << shift);
    }
  }
  return dib;
}

}  // namespace

extern "C" void* PXIndexedToDIB(const BYTE* pixels, uint32_t width, uint32_t height,
                                uint32_t colorCount, uint32_t dibBits, const RGBQUAD* palette,
                                void* output) {
  px::Operation op;
  if (!op) return nullptr;
  return IndexedToDIB(op, pixels, width, height, colorCount, dibBits, palette, output);
}

extern "C" void* PX1BitToDIB(const BYTE* pixels, uint32_t width, uint32_t height,
                             const RGBQUAD* twoColors, void* output) {
  px::Operation op;
  if (!op) return nullptr;
  if (!pixels || !twoColors) return op.SetError(PX_ERR_PARAMETER), nullptr;
  uint8_t* dib = static_cast<uint8_t*>(output);
  if (!dib) dib = px::AllocDIB(width, height, 1, 2);
  if (!dib) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib);
  px::FillDIBHeader(h, int32_t(width), int32_t(height), 1, 2);
  h->biClrImportant = 0;
  std::memcpy(dib + 40, twoColors, 8);
  size_t stride = PXDIBRowBytes(width, 1);
  size_t rowBytes = PXImageRowBytes(width, 1);
  uint8_t* rows = dib + 48;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* dst = rows + stride * y;
    std::memcpy(dst, pixels + size_t(height - 1 - y) * rowBytes, rowBytes);
    std::memset(dst + rowBytes, 0, stride - rowBytes);
  }
  return dib;
}

extern "C" BOOL PXDrawDIBToDC(HDC dc, HBITMAP bitmap, int x, int y, int width, int height,
                              HPALETTE palette) {
  px::Operation op;
  if (!op) return FALSE;
  return DrawBitmap(op, dc, bitmap, x, y, width, height, palette);
}

extern "C" BOOL PXStretchDIBToDC(HDC dc, const void* packedDIB, int x, int y, int width,
                                 int height) {
  px::Operation op;
  if (!op) return FALSE;
  if (!dc || !packedDIB) return op.Fail(PX_ERR_PARAMETER);
  if (!(GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHDIB)) return op.Fail(PX_ERR_DEVICE_CAPS);
  const auto* h = static_cast<const BITMAPINFOHEADER*>(packedDIB);
  if (h->biSize != 40) return op.Fail(PX_ERR_PARAMETER);
  uint64_t colors = h->biClrUsed         ? h->biClrUsed
                    : h->biBitCount <= 8 ? (uint64_t(1) << h->biBitCount)
                                         : (h->biCompression == BI_BITFIELDS ? 3 : 0);
  const uint8_t* bits = static_cast<const uint8_t*>(packedDIB) + 40 + 4 * colors;
  int dibHeight = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  int lines = StretchDIBits(dc, x, y, width, height, 0, 0, h->biWidth, dibHeight, bits,
                            static_cast<const BITMAPINFO*>(packedDIB), DIB_RGB_COLORS, SRCCOPY);
  if (lines != dibHeight) return op.Fail(PX_ERR_DEVICE_CONTEXT);
  return TRUE;
}

extern "C" BOOL PXDrawRGBToDC(HDC dc, const BYTE* pixels, uint32_t imageWidth, uint32_t imageHeight,
                              int x, int y, int width, int height, HPALETTE palette) {
  px::Operation op;
  if (!op) return FALSE;
  if (!pixels) return op.Fail(PX_ERR_PARAMETER);
  uint8_t* dib = px::RGBToDIB(pixels, imageWidth, imageHeight);
  if (!dib) return op.Fail(PX_ERR_NO_MEMORY);
  HBITMAP bitmap = DIBToHBITMAP(op, dib, palette, dc);
  GlobalFree(dib);
  if (!bitmap) return FALSE;
  BOOL drawn = DrawBitmap(op, dc, bitmap, x, y, width, height, palette);
  DeleteObject(bitmap);
  return drawn;
}

extern "C" BOOL PXDrawIndexedToDC(HDC dc, const BYTE* pixels, uint32_t imageWidth,
                                  uint32_t imageHeight, const RGBQUAD* colors, int x, int y,
                                  int width, int height, HPALETTE palette) {
  px::Operation op;
  if (!op) return FALSE;
  void* dib = IndexedToDIB(op, pixels, imageWidth, imageHeight, 256, 8, colors, nullptr);
  if (!dib) return FALSE;
  HBITMAP bitmap = DIBToHBITMAP(op, dib, palette, dc);
  GlobalFree(dib);
  if (!bitmap) return FALSE;
  BOOL drawn = DrawBitmap(op, dc, bitmap, x, y, width, height, palette);
  DeleteObject(bitmap);
  return drawn;
}
