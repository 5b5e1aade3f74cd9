// Device contexts, device bitmaps, palettes and brushes: enough of a raster device for
// the library's bitmap conversions and for renderers that draw into device bitmaps.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi_objects.h"

namespace {

constexpr int kMaxBitmapPixels = int(PX_MAX_GLOBAL_BLOCK / 4);

PXBitmapObject* NewBitmap(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapPixels / height) return nullptr;
  try {
    return new PXBitmapObject(width, height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// The twenty static colours of a default system palette.
PXPaletteObject* DefaultPalette() {
  static PXPaletteObject* palette = [] {
    static const BYTE kColors[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    auto* p = new PXPaletteObject();
    p->stock = true;
    for (const auto& c : kColors) p->entries.push_back({c[0], c[1], c[2], 0});
    return p;
  }();
  return palette;
}

uint32_t Pack(BYTE r, BYTE g, BYTE b) {
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

uint32_t PackColorRef(COLORREF c) {
  return Pack(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Decodes DIB row `row` (0 = first row in memory) into 0x00RRGGBB pixels.
class DIBRowReader {
 public:
  DIBRowReader(const BITMAPINFO* info, const void* bits)
      : h_(info->bmiHeader),
        colors_(reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) +
                                                 info->bmiHeader.biSize)),
        bits_(static_cast<const BYTE*>(bits)),
        stride_(DIBStride(h_.biWidth, h_.biBitCount)) {
    colorCount_ = h_.biClrUsed ? h_.biClrUsed : (h_.biBitCount <= 8 ? 1u << h_.biBitCount : 0);
    if (h_.biCompression == BI_BITFIELDS) {
      const DWORD* m = reinterpret_cast<const DWORD*>(colors_);
      masks_[0] = m[0];
      masks_[1] = m[1];
      masks_[2] = m[2];
    } else if (h_.biBitCount == 16) {
      masks_[0] = 0x7C00;
      masks_[1] = 0x03E0;
      masks_[2] = 0x001F;
    } else {
      masks_[0] = 0xFF0000;
      masks_[1] = 0x00FF00;
      masks_[2] = 0x0000FF;
    }
  }

  static size_t DIBStride(LONG width, WORD bits) { return ((size_t(width) * bits + 31) / 32) * 4; }

  uint32_t Pixel(const BYTE* row, int x) const {
    switch (h_.biBitCount) {
      case 1:
        return Color((row[x >> 3] >> (7 - (x & 7))) & 1);
      case 4:
        return Color((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
      case 8:
        return Color(row[x]);
      case 16: {
        uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        return Pack(Channel(v, masks_[0]), Channel(v, masks_[1]), Channel(v, masks_[2]));
      }
      case 24:
        return Pack(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
      default: {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return Pack(Channel(v, masks_[0]), Channel(v, masks_[1]), Channel(v, masks_[2]));
      }
    }
  }

  const BYTE* Row(int memoryRow) const { return bits_ + stride_ * size_t(memoryRow); }

 private:
  uint32_t Color(uint32_t index) const {
    if (index >= colorCount_) return 0;
    const RGBQUAD& q = colors_[index];
    return Pack(q.rgbRed, q.rgbGreen, q.rgbBlue);
  }

  static BYTE Channel(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return BYTE(((v & mask) >> shift) * 255 / max);
  }

  const BITMAPINFOHEADER& h_;
  const RGBQUAD* colors_;
  const BYTE* bits_;
  size_t stride_;
  uint32_t colorCount_;
  uint32_t masks_[3];
};

bool SupportedDIB(const BITMAPINFOHEADER& h) {
  if (h.biSize < 40 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      return h.biCompression == BI_RGB;
    case 16:
    case 32:
      return h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    default:
      return false;
  }
}

}  // namespace

PXBitmapObject* PXDeviceContext::Target() {
  switch (kind) {
    case PXDC_MEMORY:
      return selectedBitmap;
    case PXDC_DISPLAY:
    case PXDC_PRINTER:
      if (!surface) surface.reset(NewBitmap(width, height));
      return surface.get();
    default:
      return nullptr;
  }
}

extern "C" HDC PXCreateDeviceContext(PXDCKind kind, int rasterCaps, int width, int height) {
  auto* dc = new (std::nothrow) PXDeviceContext();
  if (!dc) return nullptr;
  dc->kind = kind;
  dc->rasterCaps = rasterCaps;
  dc->width = width;
  dc->height = height;
  if (kind == PXDC_MEMORY) {
    dc->stockBitmap.reset(NewBitmap(1, 1));
    if (!dc->stockBitmap) {
      delete dc;
      return nullptr;
    }
    dc->stockBitmap->stock = true;
    dc->stockBitmap->selectedInto = dc;
    dc->selectedBitmap = dc->stockBitmap.get();
  }
  dc->palette = DefaultPalette();
  return dc;
}

extern "C" HDC GetDC(void* window) {
  if (window) return nullptr;
  return PXCreateDeviceContext(PXDC_DISPLAY, PX_DISPLAY_RASTERCAPS, PX_SCREEN_WIDTH,
                               PX_SCREEN_HEIGHT);
}

extern "C" int ReleaseDC(void*, HDC dc) {
  return DeleteDC(dc);
}

extern "C" HDC CreateCompatibleDC(HDC dc) {
  // Metafile contexts record drawing; there is no raster to be compatible with.
  if (dc && dc->kind == PXDC_METAFILE) return nullptr;
  int caps = dc ? dc->rasterCaps & ~RC_BANDING : PX_DISPLAY_RASTERCAPS;
  return PXCreateDeviceContext(PXDC_MEMORY, caps, 1, 1);
}

extern "C" BOOL DeleteDC(HDC dc) {
  if (!dc) return FALSE;
  if (dc->selectedBitmap) dc->selectedBitmap->selectedInto = nullptr;
  delete dc;
  return TRUE;
}

extern "C" int GetDeviceCaps(HDC dc, int index) {
  if (!dc) return 0;
  int w = dc->kind == PXDC_MEMORY ? PX_SCREEN_WIDTH : dc->width;
  int h = dc->kind == PXDC_MEMORY ? PX_SCREEN_HEIGHT : dc->height;
  switch (index) {
    case RASTERCAPS:
      return dc->rasterCaps;
    case HORZRES:
      return w;
    case VERTRES:
      return h;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return PX_SCREEN_DPI;
    case HORZSIZE:
      return int(w * 254 / (PX_SCREEN_DPI * 10));
    case VERTSIZE:
      return int(h * 254 / (PX_SCREEN_DPI * 10));
    case BITSPIXEL:
      return (dc->rasterCaps & RC_PALETTE) ? 8 : 32;
    default:
      return 0;
  }
}

extern "C" HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (!dc) return nullptr;
  return NewBitmap(width, height);
}

extern "C" HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init,
                                  const void* bits, const BITMAPINFO* info, UINT usage) {
  if (!dc || !header || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& h = *header;
  if (!SupportedDIB(h)) return nullptr;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  PXBitmapObject* bitmap = NewBitmap(h.biWidth, height);
  if (!bitmap) return nullptr;
  if ((init & CBM_INIT) && bits && info) {
    DIBRowReader reader(info, bits);
    for (int y = 0; y < height; ++y) {
      int memoryRow = h.biHeight < 0 ? y : height - 1 - y;
      const BYTE* row = reader.Row(memoryRow);
      uint32_t* out = &bitmap->pixels[size_t(y) * size_t(h.biWidth)];
      for (int x = 0; x < h.biWidth; ++x) out[x] = reader.Pixel(row, x);
    }
  }
  return bitmap;
}

extern "C" HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palVersion != 0x300) return nullptr;
  auto* p = new (std::nothrow) PXPaletteObject();
  if (!p) return nullptr;
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return p;
}

extern "C" HBRUSH CreateSolidBrush(COLORREF color) {
  return new (std::nothrow) PXBrushObject(color);
}

extern "C" HGDIOBJ GetStockObject(int object) {
  return object == DEFAULT_PALETTE ? static_cast<px::GdiObject*>(DefaultPalette()) : nullptr;
}

extern "C" HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  px::GdiObject* object = px::GdiFromHandle(handle);
  if (!dc || !object) return nullptr;
  switch (object->type) {
    case px::GdiObject::Type::kBitmap: {
      auto* bitmap = static_cast<PXBitmapObject*>(object);
      // Only memory contexts take bitmaps, and a bitmap is in one context at a time.
      if (dc->kind != PXDC_MEMORY) return nullptr;
      if (bitmap->selectedInto && bitmap->selectedInto != dc) return nullptr;
      PXBitmapObject* previous = dc->selectedBitmap;
      if (previous) previous->selectedInto = nullptr;
      bitmap->selectedInto = dc;
      dc->selectedBitmap = bitmap;
      return static_cast<px::GdiObject*>(previous);
    }
    case px::GdiObject::Type::kPalette:
      return SelectPalette(dc, static_cast<PXPaletteObject*>(object), FALSE);
    case px::GdiObject::Type::kBrush: {
      PXBrushObject* previous = dc->brush;
      dc->brush = static_cast<PXBrushObject*>(object);
      return static_cast<px::GdiObject*>(previous);
    }
  }
  return nullptr;
}

extern "C" BOOL DeleteObject(HGDIOBJ handle) {
  px::GdiObject* object = px::GdiFromHandle(handle);
  if (!object || object->stock) return FALSE;
  switch (object->type) {
    case px::GdiObject::Type::kBitmap: {
      auto* bitmap = static_cast<PXBitmapObject*>(object);
      if (bitmap->selectedInto) return FALSE;  // still drawn into by a context
      delete bitmap;
      break;
    }
    case px::GdiObject::Type::kPalette:
      delete static_cast<PXPaletteObject*>(object);
      break;
    case px::GdiObject::Type::kBrush:
      delete static_cast<PXBrushObject*>(object);
      break;
  }
  return TRUE;
}

extern "C" HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  if (!dc || !palette) return nullptr;
  HPALETTE previous = dc->palette;
  dc->palette = palette;
  return previous;
}

extern "C" UINT RealizePalette(HDC dc) {
  if (!dc || !dc->palette || !(dc->rasterCaps & RC_PALETTE)) return 0;
  return UINT(dc->palette->entries.size());
}

extern "C" HBITMAP PXGetCurrentBitmap(HDC dc) {
  return dc && dc->kind == PXDC_MEMORY ? dc->selectedBitmap : nullptr;
}

extern "C" BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                       DWORD rop) {
  if (!dest || !src || rop != SRCCOPY) return FALSE;
  PXBitmapObject* to = dest->Target();
  PXBitmapObject* from = src->Target();
  if (!to || !from) return FALSE;
  for (int row = 0; row < height; ++row) {
    int sy = srcY + row, dy = y + row;
    if (sy < 0 || sy >= from->height || dy < 0 || dy >= to->height) continue;
    for (int col = 0; col < width; ++col) {
      int sx = srcX + col, dx = x + col;
      if (sx < 0 || sx >= from->width || dx < 0 || dx >= to->width) continue;
      to->pixels[size_t(dy) * to->width + dx] = from->pixels[size_t(sy) * from->width + sx];
    }
  }
  return TRUE;
}

extern "C" int StretchDIBits(HDC dc, int destX, int destY, int destWidth, int destHeight, int srcX,
                             int srcY, int srcWidth, int srcHeight, const void* bits,
                             const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (!dc || !bits || !info || usage != DIB_RGB_COLORS || rop != SRCCOPY) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (!SupportedDIB(h) || srcWidth <= 0 || srcHeight <= 0 || destWidth == 0 || destHeight == 0)
    return 0;
  PXBitmapObject* to = dc->Target();
  if (!to) return 0;
  int dibHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  DIBRowReader reader(info, bits);
  int w = destWidth < 0 ? -destWidth : destWidth;
  int hgt = destHeight < 0 ? -destHeight : destHeight;
  for (int j = 0; j < hgt; ++j) {
    int dy = destHeight < 0 ? destY - j : destY + j;
    if (dy < 0 || dy >= to->height) continue;
    // Source rows are counted from the top of the picture.
    int sy = srcY + int(int64_t(j) * srcHeight / hgt);
    if (sy < 0 || sy >= dibHeight) continue;
    const BYTE* row = reader.Row(h.biHeight < 0 ? sy : dibHeight - 1 - sy);
    for (int i = 0; i < w; ++i) {
      int dx = destWidth < 0 ? destX - i : destX + i;
      int sx = srcX + int(int64_t(i) * srcWidth / w);
      if (dx < 0 || dx >= to->width || sx < 0 || sx >= h.biWidth) continue;
      to->pixels[size_t(dy) * to->width + dx] = reader.Pixel(row, sx);
    }
  }
  return srcHeight;
}

extern "C" int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits,
                         BITMAPINFO* info, UINT usage) {
  if (!dc || !bitmap || !info || usage != DIB_RGB_COLORS) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biBitCount == 0) {
    h.biSize = 40;
    h.biWidth = bitmap->width;
    h.biHeight = bitmap->height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
  }
  if (h.biBitCount != 24 && h.biBitCount != 32) return 0;
  size_t stride = ((size_t(bitmap->width) * h.biBitCount + 31) / 32) * 4;
  h.biSizeImage = DWORD(stride * size_t(bitmap->height));
  if (!bits) return int(bitmap->height);
  if (start >= UINT(bitmap->height)) return 0;
  UINT count = std::min<UINT>(lines, UINT(bitmap->height) - start);
  BYTE* out = static_cast<BYTE*>(bits);
  int bytes = h.biBitCount / 8;
  for (UINT i = 0; i < count; ++i) {
    // DIB row (start + i) counts from the bottom of the bitmap.
    int y = bitmap->height - 1 - int(start + i);
    const uint32_t* src = &bitmap->pixels[size_t(y) * bitmap->width];
    BYTE* row = out + stride * i;
    std::memset(row, 0, stride);
    for (int x = 0; x < bitmap->width; ++x) {
      row[x * bytes] = BYTE(src[x]);
      row[x * bytes + 1] = BYTE(src[x] >> 8);
      row[x * bytes + 2] = BYTE(src[x] >> 16);
    }
  }
  return int(count);
}

extern "C" int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!dc || !rect || !brush) return 0;
  PXBitmapObject* to = dc->Target();
  if (!to) return 0;
  int left = std::max<LONG>(rect->left, 0), top = std::max<LONG>(rect->top, 0);
  int right = std::min<LONG>(rect->right, to->width);
  int bottom = std::min<LONG>(rect->bottom, to->height);
  if (left >= right || top >= bottom) return 1;
  uint32_t value = PackColorRef(brush->color);
  for (int y = top; y < bottom; ++y)
    std::fill(&to->pixels[size_t(y) * to->width + left], &to->pixels[size_t(y) * to->width + right],
              value);
  return 1;
}

extern "C" int PXBitmapWidth(HBITMAP bitmap) {
  return bitmap ? bitmap->width : 0;
}

extern "C" int PXBitmapHeight(HBITMAP bitmap) {
  return bitmap ? bitmap->height : 0;
}

extern "C" uint32_t* PXBitmapBits(HBITMAP bitmap) {
  return bitmap ? bitmap->pixels.data() : nullptr;
}
