// Enhanced-metafile playback: the record loop, the object table and the device-context
// state records change.
#include "metafile/player.h"

#include <algorithm>
#include <cmath>

namespace pxmf {

namespace {

// Saved states and object slots a metafile may ask for; a file that asks for more gets
// no more, rather than exhausting memory.
constexpr size_t kMaxSavedStates = 4096;
constexpr uint32_t kMaxObjects = 65536;

std::vector<Pt> ReadPoints(const ByteView& r, size_t at, uint32_t count, bool small) {
  std::vector<Pt> pts;
  size_t elem = small ? 4 : 8;
  if (!r.HasArray(at, count, elem)) return pts;
  pts.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    size_t p = at + size_t(i) * elem;
    if (small)
      pts.push_back({double(r.I16(p)), double(r.I16(p + 2))});
    else
      pts.push_back({double(r.I32(p)), double(r.I32(p + 4))});
  }
  return pts;
}

cairo_matrix_t ReadXform(const ByteView& r, size_t at) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16),
                    r.F32(at + 20));
  return m;
}

bool Finite(const cairo_matrix_t& m) {
  return std::isfinite(m.xx) && std::isfinite(m.yx) && std::isfinite(m.xy) && std::isfinite(m.yy) &&
         std::isfinite(m.x0) && std::isfinite(m.y0);
}

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

Player::Player(uint32_t* pixels, int width, int height, const ENHMETAHEADER& header,
               const RECT& rect, ByteView data)
    : pixels_(pixels), width_(width), height_(height), header_(header), data_(data) {
  surface_ = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                 CAIRO_FORMAT_RGB24, width, height, width * 4);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
  cr_ = cairo_create(surface_);
  if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr_);
    cr_ = nullptr;
    return;
  }
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  cairo_matrix_init_identity(&dc_.world);

  // The reference device's resolution, preferring the finer micrometre sizes of newer
  // headers when they agree with the millimetres.
  double mmX = header.szlMillimetersCx, mmY = header.szlMillimetersCy;
  double umX = header.szlMicrometersCx / 1000.0, umY = header.szlMicrometersCy / 1000.0;
  if (std::abs(umX - mmX) <= std::max(2.0, mmX / 10) &&
      std::abs(umY - mmY) <= std::max(2.0, mmY / 10)) {
    mmX = umX;
    mmY = umY;
  }
  pxPerMMX_ = header.szlDeviceCx > 0 && mmX > 0 ? header.szlDeviceCx / mmX : 96 / 25.4;
  pxPerMMY_ = header.szlDeviceCy > 0 && mmY > 0 ? header.szlDeviceCy / mmY : 96 / 25.4;

  // The picture frame (hundredths of a millimetre) fills the target rectangle; a file
  // without a usable frame falls back on its device bounds.
  double fl = header.rclFrame.left * pxPerMMX_ / 100.0;
  double ft = header.rclFrame.top * pxPerMMY_ / 100.0;
  double fw = (double(header.rclFrame.right) - header.rclFrame.left) * pxPerMMX_ / 100.0;
  double fh = (double(header.rclFrame.bottom) - header.rclFrame.top) * pxPerMMY_ / 100.0;
  if (!(fw > 0) || !(fh > 0)) {
    fl = header.rclBounds.left;
    ft = header.rclBounds.top;
    fw = double(header.rclBounds.right) - header.rclBounds.left + 1;
    fh = double(header.rclBounds.bottom) - header.rclBounds.top + 1;
  }
  double rw = double(rect.right) - rect.left, rh = double(rect.bottom) - rect.top;
  if (!(fw > 0) || !(fh > 0)) {
    fl = ft = 0;
    fw = rw;
    fh = rh;
  }
  double sx = rw / fw, sy = rh / fh;
  cairo_matrix_init(&base_, sx, 0, 0, sy, rect.left - fl * sx, rect.top - ft * sy);

  uint32_t handles = std::max<uint32_t>(header.nHandles, 1);
  objects_.resize(std::min(handles, kMaxObjects));
}

Player::~Player() {
  for (auto& [name, face] : faces_) cairo_font_face_destroy(face);
  if (cr_) cairo_destroy(cr_);
  if (surface_) {
    cairo_surface_flush(surface_);
    cairo_surface_destroy(surface_);
  }
}

void Player::Run(PXPlaybackReport* report) {
  size_t offset = 0;
  bool complete = false;
  uint32_t records = 0;
  while (offset < data_.size()) {
    if (!data_.Has(offset, 8)) break;
    uint32_t type = data_.U32(offset), size = data_.U32(offset + 4);
    // A record must hold its own type and size and end inside the file.
    if (size < 8 || !data_.Has(offset, size)) break;
    ByteView record = data_.Sub(offset, size);
    ++records;
    if (type == EMR_EOF) {
      complete = true;
      break;
    }
    if (!(records == 1 && type == EMR_HEADER)) Play(type, record);
    offset += size;
    if (offset == data_.size()) complete = true;
  }
  cairo_surface_flush(surface_);
  if (report) {
    report->complete = complete;
    report->drawn = drawn_;
    report->records = records;
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

void Player::SelectObject(uint32_t index) {
  GdiObject stock;
  const GdiObject* o;
  if (index & kStockFlag) {
    stock = MakeStockObject(index & ~kStockFlag);
    o = &stock;
  } else {
    o = ObjectAt(index);
  }
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

void Player::DeleteObject(uint32_t index) {
  if (GdiObject* o = ObjectAt(index)) *o = GdiObject();
}

void Player::RestoreDC(int32_t relative) {
  // Negative: that many levels back; positive: an absolute level counted from 1.
  int64_t level = relative < 0 ? int64_t(saved_.size()) + relative : int64_t(relative) - 1;
  if (level < 0 || level >= int64_t(saved_.size())) return;
  dc_ = saved_[size_t(level)];
  saved_.resize(size_t(level));
  clipDirty_ = true;
}

void Player::SetMapMode(uint32_t mode) {
  if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
  // Leaving the scalable modes resets the extents; entering them keeps the current ones.
  if (mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC) {
    dc_.wExtX = dc_.wExtY = dc_.vExtX = dc_.vExtY = 1;
  } else if (dc_.mapMode != MM_ISOTROPIC && dc_.mapMode != MM_ANISOTROPIC) {
    // The extents a fixed mode had in effect become the starting ones.
    cairo_matrix_t page = PageMatrix();
    dc_.wExtX = dc_.wExtY = 1;
    dc_.vExtX = page.xx;
    dc_.vExtY = page.yy;
  }
  dc_.mapMode = mode;
}

void Player::ModifyWorld(const cairo_matrix_t& m, uint32_t mode) {
  if (!Finite(m)) return;
  cairo_matrix_t result;
  switch (mode) {
    case MWT_IDENTITY:
      cairo_matrix_init_identity(&dc_.world);
      return;
    case MWT_LEFTMULTIPLY:
      cairo_matrix_multiply(&result, &m, &dc_.world);
      break;
    case MWT_RIGHTMULTIPLY:
      cairo_matrix_multiply(&result, &dc_.world, &m);
      break;
    case MWT_SET:
      result = m;
      break;
    default:
      return;
  }
  dc_.world = result;
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

void Player::Play(uint32_t type, const ByteView& r) {
  auto i32 = [&](size_t at) { return r.I32(at); };
  auto u32 = [&](size_t at) { return r.U32(at); };
  switch (type) {
    // ---- drawing
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: {
      bool small = type >= EMR_POLYBEZIER16;
      uint32_t count = u32(24);
      std::vector<Pt> pts = ReadPoints(r, 28, count, small);
      if (pts.size() != count || !count) return;
      switch (small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type) {
        case EMR_POLYBEZIER:
          PolyBezier(pts, false);
          break;
        case EMR_POLYBEZIERTO:
          PolyBezier(pts, true);
          break;
        case EMR_POLYGON:
          Polyline(pts, true, true);
          break;
        case EMR_POLYLINE:
          Polyline(pts, false, false);
          break;
        case EMR_POLYLINETO:
          PolylineTo(pts);
          break;
      }
      return;
    }
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: {
      bool small = type >= EMR_POLYPOLYLINE16;
      uint32_t polys = u32(24), total = u32(28);
      if (!r.HasArray(32, polys, 4)) return;
      std::vector<uint32_t> counts(polys);
      uint64_t sum = 0;
      for (uint32_t i = 0; i < polys; ++i) sum += counts[i] = u32(32 + 4 * size_t(i));
      if (sum > total) return;
      std::vector<Pt> pts = ReadPoints(r, 32 + 4 * size_t(polys), total, small);
      if (pts.size() != total) return;
      PolyPolygon(pts, counts, type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16);
      return;
    }
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16: {
      bool small = type == EMR_POLYDRAW16;
      uint32_t count = u32(24);
      std::vector<Pt> pts = ReadPoints(r, 28, count, small);
      size_t typesAt = 28 + size_t(count) * (small ? 4 : 8);
      if (pts.size() != count || !r.HasArray(typesAt, count, 1)) return;
      std::vector<uint8_t> types(r.data() + typesAt, r.data() + typesAt + count);
      PolyDraw(pts, types);
      return;
    }
    case EMR_SETPIXELV:
      SetPixel(i32(8), i32(12), u32(16));
      return;
    case EMR_MOVETOEX:
      dc_.cur = {double(i32(8)), double(i32(12))};
      if (inPath_) path_.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
      return;
    case EMR_LINETO:
      LineTo(i32(8), i32(12));
      return;
    case EMR_RECTANGLE:
      Rectangle(i32(8), i32(12), i32(16), i32(20));
      return;
    case EMR_ROUNDRECT:
      RoundRect(i32(8), i32(12), i32(16), i32(20), i32(24), i32(28));
      return;
    case EMR_ELLIPSE:
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
      double box[4] = {double(i32(8)), double(i32(12)), double(i32(16)), double(i32(20))};
      Pt start{double(i32(24)), double(i32(28))}, end{double(i32(32)), double(i32(36))};
      ArcKind kind = type == EMR_ELLIPSE ? ArcKind::kEllipse
                     : type == EMR_ARC   ? ArcKind::kArc
                     : type == EMR_ARCTO ? ArcKind::kArcTo
                     : type == EMR_CHORD ? ArcKind::kChord
                                         : ArcKind::kPie;
      ArcShape(kind, box, start, end);
      return;
    }
    case EMR_ANGLEARC:
      AngleArc(i32(8), i32(12), u32(16), r.F32(20), r.F32(24));
      return;
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW: {
      TextRun run;
      if (ReadEmrText(r, 36, type == EMR_EXTTEXTOUTW, &run)) TextOut(run);
      return;
    }
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
      uint32_t strings = u32(36);
      if (!r.HasArray(40, strings, 40)) return;
      for (uint32_t i = 0; i < strings; ++i) {
        TextRun run;
        if (ReadEmrText(r, 40 + 40 * size_t(i), type == EMR_POLYTEXTOUTW, &run)) TextOut(run);
      }
      return;
    }
    case EMR_SMALLTEXTOUT: {
      TextRun run;
      run.ref = {double(i32(8)), double(i32(12))};
      uint32_t chars = u32(16), options = u32(20);
      run.options = options;
      run.graphicsMode = u32(24);
      size_t at = 36;
      if (!(options & ETO_NO_RECT)) {
        run.hasRect = true;
        for (int k = 0; k < 4; ++k) run.rect[k] = i32(at + 4 * k);
        at += 16;
      }
      bool narrow = options & ETO_SMALL_CHARS;
      if (!r.HasArray(at, chars, narrow ? 1 : 2)) return;
      for (uint32_t k = 0; k < chars; ++k)
        run.text.push_back(narrow ? r.U8(at + k) : r.U16(at + 2 * size_t(k)));
      TextOut(run);
      return;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
      BitBltRecord(r, type);
      return;
    case EMR_STRETCHDIBITS:
      StretchDIBitsRecord(r);
      return;
    case EMR_SETDIBITSTODEVICE:
      SetDIBitsRecord(r);
      return;
    case EMR_GRADIENTFILL:
      GradientFill(r);
      return;
    case EMR_FILLRGN:
    case EMR_PAINTRGN:
    case EMR_INVERTRGN:
    case EMR_FRAMERGN: {
      size_t rgnAt = type == EMR_FILLRGN ? 32 : type == EMR_FRAMERGN ? 40 : 28;
      Region region;
      if (!ReadRegion(r, rgnAt, u32(24), &region)) return;
      Brush brush = dc_.brush;
      if (type == EMR_FILLRGN || type == EMR_FRAMERGN) {
        uint32_t index = u32(28);
        GdiObject stock = index & kStockFlag ? MakeStockObject(index & ~kStockFlag) : GdiObject();
        const GdiObject* o = index & kStockFlag ? &stock : ObjectAt(index);
        if (!o || o->kind != GdiObject::kBrush) return;
        brush = o->brush;
      }
      int n = cairo_region_num_rectangles(region.get());
      if (n == 0) return;
      cairo_rectangle_int_t ext;
      cairo_region_get_extents(region.get(), &ext);
      double bounds[4] = {double(ext.x), double(ext.y), double(ext.x) + ext.width,
                          double(ext.y) + ext.height};
      auto addRects = [&](cairo_t* c) {
        for (int k = 0; k < n; ++k) {
          cairo_rectangle_int_t rc;
          cairo_region_get_rectangle(region.get(), k, &rc);
          cairo_rectangle(c, rc.x, rc.y, rc.width, rc.height);
        }
      };
      if (type == EMR_INVERTRGN) {
        RasterOp(bounds, 0x55, [&](cairo_t* c) {
          addRects(c);
          cairo_fill(c);
        });
      } else if (type == EMR_FRAMERGN) {
        // The region's outline, one stroke-width wide.
        double w = std::max(1.0, std::abs(double(i32(32))) * ScaleOf(base_));
        Paint(
            [&](cairo_t* c) {
              if (!SetBrushSource(c, brush)) return;
              addRects(c);
              cairo_set_line_width(c, w);
              cairo_stroke(c);
            },
            bounds, R2_COPYPEN);
      } else {
        Paint(
            [&](cairo_t* c) {
              if (!SetBrushSource(c, brush)) return;
              addRects(c);
              cairo_fill(c);
            },
            bounds, dc_.rop2);
      }
      ++drawn_;
      return;
    }

    // ---- paths
    case EMR_BEGINPATH:
      inPath_ = true;
      path_ = Path();
      pathWidened_ = false;
      return;
    case EMR_ENDPATH:
      inPath_ = false;
      return;
    case EMR_ABORTPATH:
      inPath_ = false;
      path_ = Path();
      return;
    case EMR_CLOSEFIGURE:
      if (inPath_ && !path_.empty()) path_.Close();
      return;
    case EMR_FILLPATH:
    case EMR_STROKEPATH:
    case EMR_STROKEANDFILLPATH: {
      if (inPath_) return;
      Path path = std::move(path_);
      path_ = Path();
      bool fill = type != EMR_STROKEPATH, stroke = type != EMR_FILLPATH;
      if (pathWidened_ && fill) {
        // A widened path is the pen's outline: filling it paints the stroke in the brush.
        Pen saved = dc_.pen;
        Brush brush = dc_.brush;
        dc_.pen.color = brush.style == BS_SOLID ? brush.color : dc_.pen.color;
        DrawPath(path, false, true);
        dc_.pen = saved;
      } else {
        DrawPath(path, fill, stroke);
      }
      return;
    }
    case EMR_FLATTENPATH:
      return;
    case EMR_WIDENPATH:
      pathWidened_ = true;
      return;
    case EMR_SELECTCLIPPATH:
      SelectClipPath(u32(8));
      return;

    // ---- objects
    case EMR_SELECTOBJECT:
      SelectObject(u32(8));
      return;
    case EMR_DELETEOBJECT:
      DeleteObject(u32(8));
      return;
    case EMR_CREATEPEN: {
      GdiObject o;
      o.kind = GdiObject::kPen;
      o.pen.style = u32(12) & 0xFF0F;  // style, cap and join
      o.pen.width = std::abs(double(i32(16)));
      o.pen.color = u32(24);
      CreateObject(u32(8), o);
      return;
    }
    case EMR_EXTCREATEPEN: {
      GdiObject o;
      o.kind = GdiObject::kPen;
      o.pen = ReadExtPen(r);
      CreateObject(u32(8), o);
      return;
    }
    case EMR_CREATEBRUSHINDIRECT: {
      GdiObject o;
      o.kind = GdiObject::kBrush;
      o.brush.style = u32(12);
      o.brush.color = u32(16);
      o.brush.hatch = u32(20);
      if (o.brush.style != BS_SOLID && o.brush.style != BS_HATCHED) o.brush.style = BS_NULL;
      CreateObject(u32(8), o);
      return;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      GdiObject o;
      o.kind = GdiObject::kBrush;
      o.brush = ReadPatternBrush(r, type == EMR_CREATEMONOBRUSH);
      CreateObject(u32(8), o);
      return;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      GdiObject o;
      o.kind = GdiObject::kFont;
      o.font = ReadFont(r, 12);
      CreateObject(u32(8), o);
      return;
    }
    case EMR_CREATEPALETTE: {
      // ihPal, then LOGPALETTE: version, count, entries (red, green, blue, flags).
      uint32_t count = r.U16(14);
      auto palette = std::make_shared<std::vector<uint32_t>>();
      for (uint32_t k = 0; k < count && r.Has(16 + 4 * size_t(k), 4); ++k) {
        size_t at = 16 + 4 * size_t(k);
        palette->push_back((uint32_t(r.U8(at)) << 16) | (uint32_t(r.U8(at + 1)) << 8) |
                           r.U8(at + 2));
      }
      GdiObject o;
      o.kind = GdiObject::kPalette;
      o.palette = palette;
      CreateObject(u32(8), o);
      return;
    }
    case EMR_SELECTPALETTE: {
      uint32_t index = u32(8);
      if (index & kStockFlag) {
        dc_.palette.reset();
      } else if (GdiObject* o = ObjectAt(index); o && o->kind == GdiObject::kPalette) {
        dc_.palette = o->palette;
      }
      return;
    }

    // ---- state
    case EMR_SAVEDC:
      if (saved_.size() < kMaxSavedStates) saved_.push_back(dc_);
      return;
    case EMR_RESTOREDC:
      RestoreDC(i32(8));
      return;
    case EMR_SETMAPMODE:
      SetMapMode(u32(8));
      return;
    case EMR_SETWINDOWEXTEX:
      if (i32(8) && i32(12) && (dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC)) {
        dc_.wExtX = i32(8);
        dc_.wExtY = i32(12);
      }
      return;
    case EMR_SETVIEWPORTEXTEX:
      if (i32(8) && i32(12) && (dc_.mapMode == MM_ISOTROPIC || dc_.mapMode == MM_ANISOTROPIC)) {
        dc_.vExtX = i32(8);
        dc_.vExtY = i32(12);
      }
      return;
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SCALEVIEWPORTEXTEX: {
      if (dc_.mapMode != MM_ISOTROPIC && dc_.mapMode != MM_ANISOTROPIC) return;
      if (!i32(12) || !i32(20) || !i32(8) || !i32(16)) return;
      double fx = double(i32(8)) / i32(12), fy = double(i32(16)) / i32(20);
      if (type == EMR_SCALEWINDOWEXTEX) {
        dc_.wExtX *= fx;
        dc_.wExtY *= fy;
      } else {
        dc_.vExtX *= fx;
        dc_.vExtY *= fy;
      }
      return;
    }
    case EMR_SETWINDOWORGEX:
      dc_.wOrgX = i32(8);
      dc_.wOrgY = i32(12);
      return;
    case EMR_SETVIEWPORTORGEX:
      dc_.vOrgX = i32(8);
      dc_.vOrgY = i32(12);
      return;
    case EMR_SETBRUSHORGEX:
      dc_.brushOrg = {double(i32(8)), double(i32(12))};
      return;
    case EMR_SETWORLDTRANSFORM:
      ModifyWorld(ReadXform(r, 8), MWT_SET);
      return;
    case EMR_MODIFYWORLDTRANSFORM:
      ModifyWorld(ReadXform(r, 8), u32(32));
      return;
    case EMR_SETBKMODE:
      dc_.bkMode = u32(8);
      return;
    case EMR_SETPOLYFILLMODE:
      dc_.fillMode = u32(8);
      return;
    case EMR_SETROP2:
      if (u32(8) >= 1 && u32(8) <= 16) dc_.rop2 = u32(8);
      return;
    case EMR_SETSTRETCHBLTMODE:
      dc_.stretchMode = u32(8);
      return;
    case EMR_SETTEXTALIGN:
      dc_.textAlign = u32(8);
      return;
    case EMR_SETTEXTCOLOR:
      dc_.textColor = u32(8);
      return;
    case EMR_SETBKCOLOR:
      dc_.bkColor = u32(8);
      return;
    case EMR_SETARCDIRECTION:
      dc_.arcDirection = u32(8);
      return;
    case EMR_SETMITERLIMIT: {
      double limit = u32(8);
      // Some writers store the limit as a float.
      if (limit > 1e6) limit = r.F32(8);
      if (std::isfinite(limit) && limit >= 1 && limit < 1e6) dc_.miterLimit = limit;
      return;
    }

    // ---- clipping
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
      ClipRect(i32(8), i32(12), i32(16), i32(20), type == EMR_EXCLUDECLIPRECT);
      return;
    case EMR_EXTSELECTCLIPRGN: {
      uint32_t bytes = u32(8), mode = u32(12);
      if (bytes == 0 || !r.Has(16, bytes)) {
        if (mode == RGN_COPY) SetClip(nullptr);  // back to the whole surface
        return;
      }
      Region region;
      if (ReadRegion(r, 16, bytes, &region)) CombineRegion(region, mode);
      return;
    }
    case EMR_OFFSETCLIPRGN: {
      cairo_matrix_t m = Transform();
      double dx = i32(8), dy = i32(12);
      cairo_matrix_transform_distance(&m, &dx, &dy);
      OffsetClip(dx, dy);
      return;
    }
    case EMR_SETMETARGN: {
      // The current clip becomes part of the meta region and the clip starts afresh.
      if (dc_.clip) {
        if (!dc_.metaClip) {
          dc_.metaClip = dc_.clip;
        } else {
          auto merged = std::make_shared<Clip>(*dc_.metaClip);
          if (dc_.clip->region) {
            auto region =
                std::make_shared<Region>(merged->region ? *merged->region : ClipRegionOrCanvas());
            cairo_region_intersect(region->get(), dc_.clip->region->get());
            merged->region = region;
          }
          merged->paths.insert(merged->paths.end(), dc_.clip->paths.begin(), dc_.clip->paths.end());
          dc_.metaClip = merged;
        }
      }
      SetClip(nullptr);
      return;
    }
    default:
      return;  // comments, colour management and the records nobody draws with
  }
}

}  // namespace pxmf
