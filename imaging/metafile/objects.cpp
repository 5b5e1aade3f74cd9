// Object records of playback: pens, brushes, fonts and palettes created into the
// object table, selected into the device context and deleted.
#include <cmath>

#include "metafile/player.h"

namespace pxmf {

namespace {

GdiObject MakeStockObject(uint32_t id) {
  GdiObject o;
  auto brush = [&](uint32_t style, uint32_t grey) {
    o.kind = GdiObject::kBrush;
    o.brush.style = style;
    o.brush.color = grey * 0x010101u;
  };
  auto pen = [&](uint32_t style, uint32_t color) {
    o.kind = GdiObject::kPen;
    o.pen.style = style;
    o.pen.color = color;
  };
  switch (id) {
    case WHITE_BRUSH:
    case DC_BRUSH:
      brush(BS_SOLID, 255);
      break;
    case LTGRAY_BRUSH:
      brush(BS_SOLID, 192);
      break;
    case GRAY_BRUSH:
      brush(BS_SOLID, 128);
      break;
    case DKGRAY_BRUSH:
      brush(BS_SOLID, 64);
      break;
    case BLACK_BRUSH:
      brush(BS_SOLID, 0);
      break;
    case NULL_BRUSH:
      brush(BS_NULL, 0);
      break;
    case WHITE_PEN:
      pen(PS_SOLID, 0xFFFFFF);
      break;
    case BLACK_PEN:
    case DC_PEN:
      pen(PS_SOLID, 0);
      break;
    case NULL_PEN:
      pen(PS_NULL, 0);
      break;
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
      o.kind = GdiObject::kFont;
      o.font.height = 16;
      o.font.face = "monospace";
      break;
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case DEFAULT_GUI_FONT:
      o.kind = GdiObject::kFont;
      o.font.height = 16;
      o.font.face = "sans-serif";
      break;
    default:
      break;
  }
  return o;
}

}  // namespace

std::span<const Player::Record> Player::ObjectRecords() {
  static constexpr Record kRecords[] = {
      {EMR_CREATEPEN, &Player::PlayCreatePen},
      {EMR_EXTCREATEPEN, &Player::PlayExtCreatePen},
      {EMR_CREATEBRUSHINDIRECT, &Player::PlayCreateBrushIndirect},
      {EMR_CREATEMONOBRUSH, &Player::PlayCreatePatternBrush<true>},
      {EMR_CREATEDIBPATTERNBRUSHPT, &Player::PlayCreatePatternBrush<false>},
      {EMR_EXTCREATEFONTINDIRECTW, &Player::PlayExtCreateFontIndirectW},
      {EMR_CREATEPALETTE, &Player::PlayCreatePalette},
      {EMR_SELECTOBJECT, &Player::PlaySelectObject},
      {EMR_SELECTPALETTE, &Player::PlaySelectPalette},
      {EMR_DELETEOBJECT, &Player::PlayDeleteObject},
  };
  return kRecords;
}

void Player::PlayCreatePen(const ByteView& r) {
  // ihPen, then LOGPEN: style, width (a point), colour.
  GdiObject o;
  o.kind = GdiObject::kPen;
  o.pen.style = r.U32(12) & 0xFF0F;  // style, cap and join
  o.pen.width = std::abs(double(r.I32(16)));
  o.pen.color = r.U32(24);
  CreateObject(r.U32(8), o);
}

void Player::PlayExtCreatePen(const ByteView& r) {
  GdiObject o;
  o.kind = GdiObject::kPen;
  o.pen = ReadExtPen(r);
  CreateObject(r.U32(8), o);
}

void Player::PlayCreateBrushIndirect(const ByteView& r) {
  // ihBrush, then LOGBRUSH: style, colour, hatch.
  GdiObject o;
  o.kind = GdiObject::kBrush;
  o.brush.style = r.U32(12);
  o.brush.color = r.U32(16);
  o.brush.hatch = r.U32(20);
  if (o.brush.style != BS_SOLID && o.brush.style != BS_HATCHED) o.brush.style = BS_NULL;
  CreateObject(r.U32(8), o);
}

template <bool kMono>
void Player::PlayCreatePatternBrush(const ByteView& r) {
  GdiObject o;
  o.kind = GdiObject::kBrush;
  o.brush = ReadPatternBrush(r, kMono);
  CreateObject(r.U32(8), o);
}

void Player::PlayExtCreateFontIndirectW(const ByteView& r) {
  GdiObject o;
  o.kind = GdiObject::kFont;
  o.font = ReadFont(r, 12);
  CreateObject(r.U32(8), o);
}

void Player::PlayCreatePalette(const ByteView& r) {
  // ihPal, then LOGPALETTE: version, count, entries (red, green, blue, flags).
  uint32_t count = r.U16(14);
  auto palette = std::make_shared<std::vector<uint32_t>>();
  for (uint32_t k = 0; k < count && r.Has(16 + 4 * size_t(k), 4); ++k) {
    size_t at = 16 + 4 * size_t(k);
    palette->push_back((uint32_t(r.U8(at)) << 16) | (uint32_t(r.U8(at + 1)) << 8) | r.U8(at + 2));
  }
  GdiObject o;
  o.kind = GdiObject::kPalette;
  o.palette = palette;
  CreateObject(r.U32(8), o);
}

void Player::PlaySelectPalette(const ByteView& r) {
  uint32_t index = r.U32(8);
  if (index & kStockFlag) {
    dc_.palette.reset();
  } else if (GdiObject* o = ObjectAt(index); o && o->kind == GdiObject::kPalette) {
    dc_.palette = o->palette;
  }
}

GdiObject* Player::ObjectAt(uint32_t index) {
  if (index == 0 || index >= objects_.size()) return nullptr;
  return &objects_[index];
}

void Player::CreateObject(uint32_t index, GdiObject object) {
  if (index == 0 || index >= kMaxObjects) return;
  if (index >= objects_.size()) objects_.resize(index + 1);
  objects_[index] = std::move(object);
}

const GdiObject* Player::FindObject(uint32_t index, GdiObject* stock) {
  if (!(index & kStockFlag)) return ObjectAt(index);
  *stock = MakeStockObject(index & ~kStockFlag);
  return stock;
}

void Player::PlaySelectObject(const ByteView& r) {
  GdiObject stock;
  const GdiObject* o = FindObject(r.U32(8), &stock);
  if (!o) return;
  switch (o->kind) {
    case GdiObject::kPen:
      dc_.pen = o->pen;
      break;
    case GdiObject::kBrush:
      dc_.brush = o->brush;
      break;
    case GdiObject::kFont:
      dc_.font = o->font;
      break;
    case GdiObject::kPalette:
      dc_.palette = o->palette;
      break;
    case GdiObject::kNone:
      break;
  }
}

void Player::PlayDeleteObject(const ByteView& r) {
  if (GdiObject* o = ObjectAt(r.U32(8))) *o = GdiObject();
}

Pen Player::ReadExtPen(const ByteView& r) {
  // ihPen, offBmi, cbBmi, offBits, cbBits, then the extended pen.
  Pen pen;
  pen.style = r.U32(28);
  // Cosmetic pens are one pixel wide whatever their width says.
  pen.width = pen.Geometric() ? r.U32(32) : 0;
  uint32_t brushStyle = r.U32(36);
  pen.color = r.U32(40);
  uint32_t entries = r.U32(48);
  if (brushStyle == BS_NULL) pen.style = (pen.style & ~PS_STYLE_MASK) | PS_NULL;
  if ((pen.style & PS_STYLE_MASK) == PS_USERSTYLE && entries && r.HasArray(52, entries, 4) &&
      entries <= 64) {
    for (uint32_t i = 0; i < entries; ++i) pen.userDashes.push_back(r.U32(52 + 4 * i));
  }
  return pen;
}

Brush Player::ReadPatternBrush(const ByteView& r, bool mono) {
  // ihBrush, iUsage, offBmi, cbBmi, offBits, cbBits.
  Brush brush;
  brush.style = BS_DIBPATTERNPT;
  auto raster = std::make_shared<Raster>();
  DibOptions options;
  options.paletteIndices = r.U32(12) == DIB_PAL_COLORS;
  if (mono) {
    // Monochrome pattern brushes take the text and background colours; they are fixed
    // here at creation, which is when metafile writers set them.
    options.monoOverride = true;
    options.mono0 = ColorRefToRGB(ResolveColor(dc_.textColor));
    options.mono1 = ColorRefToRGB(ResolveColor(dc_.bkColor));
  }
  if (ReadDib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), options, raster.get()))
    brush.pattern = raster;
  return brush;
}

Font Player::ReadFont(const ByteView& r, size_t at) {
  Font f;
  f.height = r.I32(at);
  f.width = r.I32(at + 4);
  f.escapement = r.I32(at + 8);
  f.weight = r.I32(at + 16);
  f.italic = r.U8(at + 20) != 0;
  f.underline = r.U8(at + 21) != 0;
  f.strikeout = r.U8(at + 22) != 0;
  f.charset = r.U8(at + 23);
  for (int i = 0; i < 32; ++i) {
    uint32_t c = r.U16(at + 28 + 2 * i);
    if (!c) break;
    if (c < 0x80) {
      f.face += char(c);
    } else if (c < 0x800) {
      f.face += char(0xC0 | (c >> 6));
      f.face += char(0x80 | (c & 0x3F));
    } else {
      f.face += char(0xE0 | (c >> 12));
      f.face += char(0x80 | ((c >> 6) & 0x3F));
      f.face += char(0x80 | (c & 0x3F));
    }
  }
  return f;
}

}  // namespace pxmf
