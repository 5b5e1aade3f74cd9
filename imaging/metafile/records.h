// Record numbers, GDI constants and a bounds-checked view for reading metafile records.
#ifndef PIXOLITH_METAFILE_RECORDS_H
#define PIXOLITH_METAFILE_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pxmf {

// Enhanced-metafile record types.
enum EmrType : uint32_t {
  EMR_HEADER = 1,
  EMR_POLYBEZIER = 2,
  EMR_POLYGON = 3,
  EMR_POLYLINE = 4,
  EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6,
  EMR_POLYPOLYLINE = 7,
  EMR_POLYPOLYGON = 8,
  EMR_SETWINDOWEXTEX = 9,
  EMR_SETWINDOWORGEX = 10,
  EMR_SETVIEWPORTEXTEX = 11,
  EMR_SETVIEWPORTORGEX = 12,
  EMR_SETBRUSHORGEX = 13,
  EMR_EOF = 14,
  EMR_SETPIXELV = 15,
  EMR_SETMAPPERFLAGS = 16,
  EMR_SETMAPMODE = 17,
  EMR_SETBKMODE = 18,
  EMR_SETPOLYFILLMODE = 19,
  EMR_SETROP2 = 20,
  EMR_SETSTRETCHBLTMODE = 21,
  EMR_SETTEXTALIGN = 22,
  EMR_SETTEXTCOLOR = 24,
  EMR_SETBKCOLOR = 25,
  EMR_OFFSETCLIPRGN = 26,
  EMR_MOVETOEX = 27,
  EMR_SETMETARGN = 28,
  EMR_EXCLUDECLIPRECT = 29,
  EMR_INTERSECTCLIPRECT = 30,
  EMR_SCALEVIEWPORTEXTEX = 31,
  EMR_SCALEWINDOWEXTEX = 32,
  EMR_SAVEDC = 33,
  EMR_RESTOREDC = 34,
  EMR_SETWORLDTRANSFORM = 35,
  EMR_MODIFYWORLDTRANSFORM = 36,
  EMR_SELECTOBJECT = 37,
  EMR_CREATEPEN = 38,
  EMR_CREATEBRUSHINDIRECT = 39,
  EMR_DELETEOBJECT = 40,
  EMR_ANGLEARC = 41,
  EMR_ELLIPSE = 42,
  EMR_RECTANGLE = 43,
  EMR_ROUNDRECT = 44,
  EMR_ARC = 45,
  EMR_CHORD = 46,
  EMR_PIE = 47,
  EMR_SELECTPALETTE = 48,
  EMR_CREATEPALETTE = 49,
  EMR_LINETO = 54,
  EMR_ARCTO = 55,
  EMR_POLYDRAW = 56,
  EMR_SETARCDIRECTION = 57,
  EMR_SETMITERLIMIT = 58,
  EMR_BEGINPATH = 59,
  EMR_ENDPATH = 60,
  EMR_CLOSEFIGURE = 61,
  EMR_FILLPATH = 62,
  EMR_STROKEANDFILLPATH = 63,
  EMR_STROKEPATH = 64,
  EMR_FLATTENPATH = 65,
  EMR_WIDENPATH = 66,
  EMR_SELECTCLIPPATH = 67,
  EMR_ABORTPATH = 68,
  EMR_GDICOMMENT = 70,
  EMR_FILLRGN = 71,
  EMR_FRAMERGN = 72,
  EMR_INVERTRGN = 73,
  EMR_PAINTRGN = 74,
  EMR_EXTSELECTCLIPRGN = 75,
  EMR_BITBLT = 76,
  EMR_STRETCHBLT = 77,
  EMR_MASKBLT = 78,
  EMR_PLGBLT = 79,
  EMR_SETDIBITSTODEVICE = 80,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTA = 83,
  EMR_EXTTEXTOUTW = 84,
  EMR_POLYBEZIER16 = 85,
  EMR_POLYGON16 = 86,
  EMR_POLYLINE16 = 87,
  EMR_POLYBEZIERTO16 = 88,
  EMR_POLYLINETO16 = 89,
  EMR_POLYPOLYLINE16 = 90,
  EMR_POLYPOLYGON16 = 91,
  EMR_POLYDRAW16 = 92,
  EMR_CREATEMONOBRUSH = 93,
  EMR_CREATEDIBPATTERNBRUSHPT = 94,
  EMR_EXTCREATEPEN = 95,
  EMR_POLYTEXTOUTA = 96,
  EMR_POLYTEXTOUTW = 97,
  EMR_SMALLTEXTOUT = 108,
  EMR_ALPHABLEND = 114,
  EMR_TRANSPARENTBLT = 116,
  EMR_GRADIENTFILL = 118,
};

// Windows-metafile record functions.
enum WmfFunction : uint16_t {
  META_EOF = 0x0000,
  META_REALIZEPALETTE = 0x0035,
  META_SETPALENTRIES = 0x0037,
  META_SETBKMODE = 0x0102,
  META_SETMAPMODE = 0x0103,
  META_SETROP2 = 0x0104,
  META_SETRELABS = 0x0105,
  META_SETPOLYFILLMODE = 0x0106,
  META_SETSTRETCHBLTMODE = 0x0107,
  META_SETTEXTCHAREXTRA = 0x0108,
  META_RESTOREDC = 0x0127,
  META_INVERTREGION = 0x012A,
  META_PAINTREGION = 0x012B,
  META_SELECTCLIPREGION = 0x012C,
  META_SELECTOBJECT = 0x012D,
  META_SETTEXTALIGN = 0x012E,
  META_RESIZEPALETTE = 0x0139,
  META_DIBCREATEPATTERNBRUSH = 0x0142,
  META_SETLAYOUT = 0x0149,
  META_DELETEOBJECT = 0x01F0,
  META_CREATEPATTERNBRUSH = 0x01F9,
  META_SETBKCOLOR = 0x0201,
  META_SETTEXTCOLOR = 0x0209,
  META_SETTEXTJUSTIFICATION = 0x020A,
  META_SETWINDOWORG = 0x020B,
  META_SETWINDOWEXT = 0x020C,
  META_SETVIEWPORTORG = 0x020D,
  META_SETVIEWPORTEXT = 0x020E,
  META_OFFSETWINDOWORG = 0x020F,
  META_OFFSETVIEWPORTORG = 0x0211,
  META_LINETO = 0x0213,
  META_MOVETO = 0x0214,
  META_OFFSETCLIPRGN = 0x0220,
  META_FILLREGION = 0x0228,
  META_SETMAPPERFLAGS = 0x0231,
  META_SELECTPALETTE = 0x0234,
  META_CREATEPENINDIRECT = 0x02FA,
  META_CREATEFONTINDIRECT = 0x02FB,
  META_CREATEBRUSHINDIRECT = 0x02FC,
  META_POLYGON = 0x0324,
  META_POLYLINE = 0x0325,
  META_SCALEWINDOWEXT = 0x0410,
  META_SCALEVIEWPORTEXT = 0x0412,
  META_EXCLUDECLIPRECT = 0x0415,
  META_INTERSECTCLIPRECT = 0x0416,
  META_ELLIPSE = 0x0418,
  META_FLOODFILL = 0x0419,
  META_FRAMEREGION = 0x0429,
  META_ANIMATEPALETTE = 0x0436,
  META_TEXTOUT = 0x0521,
  META_POLYPOLYGON = 0x0538,
  META_EXTFLOODFILL = 0x0548,
  META_RECTANGLE = 0x041B,
  META_SETPIXEL = 0x041F,
  META_ROUNDRECT = 0x061C,
  META_PATBLT = 0x061D,
  META_SAVEDC = 0x001E,
  META_PIE = 0x081A,
  META_STRETCHBLT = 0x0B23,
  META_ESCAPE = 0x0626,
  META_ARC = 0x0817,
  META_CHORD = 0x0830,
  META_BITBLT = 0x0922,
  META_EXTTEXTOUT = 0x0A32,
  META_SETDIBTODEV = 0x0D33,
  META_DIBBITBLT = 0x0940,
  META_DIBSTRETCHBLT = 0x0B41,
  META_STRETCHDIB = 0x0F43,
  META_CREATEPALETTE = 0x00F7,
  META_CREATEREGION = 0x06FF,
};

// Stock objects, referenced in enhanced metafiles with the top bit set.
constexpr uint32_t kStockFlag = 0x80000000u;
enum StockObject {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  OEM_FIXED_FONT = 10,
  ANSI_FIXED_FONT = 11,
  ANSI_VAR_FONT = 12,
  SYSTEM_FONT = 13,
  DEVICE_DEFAULT_FONT = 14,
  DEFAULT_PALETTE_STOCK = 15,
  SYSTEM_FIXED_FONT = 16,
  DEFAULT_GUI_FONT = 17,
  DC_BRUSH = 18,
  DC_PEN = 19,
};

// Pen styles.
constexpr uint32_t PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4,
                   PS_NULL = 5, PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8,
                   PS_STYLE_MASK = 0xF;
constexpr uint32_t PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200,
                   PS_ENDCAP_MASK = 0xF00;
constexpr uint32_t PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000,
                   PS_JOIN_MASK = 0xF000;
constexpr uint32_t PS_GEOMETRIC = 0x10000, PS_TYPE_MASK = 0xF0000;

// Brush styles and hatches.
constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5,
                   BS_DIBPATTERNPT = 6;
constexpr uint32_t HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3,
                   HS_CROSS = 4, HS_DIAGCROSS = 5;

// Device-context modes.
constexpr uint32_t TRANSPARENT_BK = 1, OPAQUE_BK = 2;
constexpr uint32_t ALTERNATE = 1, WINDING = 2;
constexpr uint32_t R2_BLACK = 1, R2_NOP = 11, R2_COPYPEN = 13, R2_WHITE = 16;
constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_HMASK = 6, TA_BOTTOM = 8,
                   TA_BASELINE = 24, TA_VMASK = 24;
constexpr uint32_t GM_COMPATIBLE = 1, GM_ADVANCED = 2;
constexpr uint32_t MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3, MWT_SET = 4;
constexpr uint32_t AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2;
constexpr uint32_t RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;
constexpr uint32_t STRETCH_HALFTONE = 4;
constexpr uint32_t DIB_PAL_COLORS = 1;
constexpr uint32_t ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_NO_RECT = 0x100,
                   ETO_SMALL_CHARS = 0x200, ETO_PDY = 0x2000;
constexpr uint32_t PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6;
constexpr uint32_t ANSI_CHARSET = 0, SYMBOL_CHARSET = 2;

// Raster operations.
constexpr uint32_t SRCCOPY_ROP = 0x00CC0020u, PATCOPY_ROP = 0x00F00021u;

// A bounds-checked little-endian view of bytes: every read past the end yields zeros and
// marks the view as overrun, so a record parser can read fields and check once.
class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }
  bool overrun() const { return overrun_; }
  bool Has(size_t offset, size_t bytes) const { return offset <= size_ && bytes <= size_ - offset; }
  // Checks room for count elements of `elem` bytes at offset, without overflowing.
  bool HasArray(size_t offset, uint64_t count, size_t elem) const {
    if (offset > size_) return false;
    return count <= (size_ - offset) / (elem ? elem : 1);
  }

  uint8_t U8(size_t at) const { return Has(at, 1) ? data_[at] : Miss(); }
  uint16_t U16(size_t at) const {
    return Has(at, 2) ? uint16_t(data_[at] | (data_[at + 1] << 8)) : Miss();
  }
  int16_t I16(size_t at) const { return int16_t(U16(at)); }
  uint32_t U32(size_t at) const {
    if (!Has(at, 4)) return Miss();
    return uint32_t(data_[at]) | (uint32_t(data_[at + 1]) << 8) | (uint32_t(data_[at + 2]) << 16) |
           (uint32_t(data_[at + 3]) << 24);
  }
  int32_t I32(size_t at) const { return int32_t(U32(at)); }
  float F32(size_t at) const {
    uint32_t v = U32(at);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  // A sub-view of `bytes` bytes at offset; empty (and overrun) when it does not fit.
  ByteView Sub(size_t offset, size_t bytes) const {
    if (!Has(offset, bytes)) {
      Miss();
      return ByteView();
    }
    return ByteView(data_ + offset, bytes);
  }

 private:
  uint8_t Miss() const {
    overrun_ = true;
    return 0;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  mutable bool overrun_ = false;
};

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_RECORDS_H
