// The records behind the platform's GDI handles. Only the platform layer and the
// renderers that draw into device bitmaps look inside them.
#ifndef PIXOLITH_PLATFORM_GDI_OBJECTS_H
#define PIXOLITH_PLATFORM_GDI_OBJECTS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "pixolith/platform.h"

namespace px {

// The common head of every GDI object; handles of any kind pass through HGDIOBJ and
// are told apart by it.
struct GdiObject {
  enum class Type { kBitmap, kPalette, kBrush };
  explicit GdiObject(Type t) : type(t) {}
  Type type;
  bool stock = false;  // stock objects are never deleted
};

}  // namespace px

struct PXBitmapObject : px::GdiObject {
  PXBitmapObject(int w, int h)
      : px::GdiObject(Type::kBitmap), width(w), height(h), pixels(size_t(w) * size_t(h)) {}
  int width;
  int height;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top-down
  PXDeviceContext* selectedInto = nullptr;
};

struct PXPaletteObject : px::GdiObject {
  PXPaletteObject() : px::GdiObject(Type::kPalette) {}
  std::vector<PALETTEENTRY> entries;
};

struct PXBrushObject : px::GdiObject {
  explicit PXBrushObject(COLORREF c) : px::GdiObject(Type::kBrush), color(c) {}
  COLORREF color;
};

namespace px {

inline GdiObject* GdiFromHandle(HGDIOBJ handle) {
  return static_cast<GdiObject*>(handle);
}

}  // namespace px

struct PXDeviceContext {
  PXDCKind kind = PXDC_DISPLAY;
  int rasterCaps = PX_DISPLAY_RASTERCAPS;
  int width = 0;  // device size in pixels (display, printer)
  int height = 0;
  std::unique_ptr<PXBitmapObject> surface;      // display and printer surface, made on demand
  std::unique_ptr<PXBitmapObject> stockBitmap;  // the 1 x 1 bitmap a memory DC starts with
  PXBitmapObject* selectedBitmap = nullptr;     // memory DCs
  PXPaletteObject* palette = nullptr;
  PXBrushObject* brush = nullptr;

  // The raster drawing lands in, or null for devices without one.
  PXBitmapObject* Target();
};

#endif  // PIXOLITH_PLATFORM_GDI_OBJECTS_H
