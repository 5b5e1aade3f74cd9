// Converting Windows-metafile records into enhanced-metafile records.
//
// The enhanced metafile's reference device has 100 pixels per millimetre, so one device
// pixel is one hundredth of a millimetre and the picture extents map exactly onto the
// frame. The picture's viewport belongs to the conversion: the metafile's own window
// records choose what part of its coordinate space fills the picture.
#include "metafile/wmf_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

namespace pxmf {

namespace {

constexpr size_t kWmfHeaderBytes = 18;
constexpr int32_t kDevicePixelsPerMM = 100;
constexpr uint32_t kMaxSlots = 65535;

class EmfWriter {
 public:
  void Begin(uint32_t type) {
    start_ = out_.size();
    U32(type);
    U32(0);
  }
  void End() {
    while (out_.size() % 4) out_.push_back(0);
    Patch32(start_ + 4, uint32_t(out_.size() - start_));
    ++records_;
  }
  void Emit(uint32_t type, std::initializer_list<int64_t> values) {
    Begin(type);
    for (int64_t v : values) U32(uint32_t(v));
    End();
  }
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  void Zero(size_t n) { out_.insert(out_.end(), n, 0); }
  void Raw(const ByteView& v) { out_.insert(out_.end(), v.data(), v.data() + v.size()); }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + i] = uint8_t(v >> (8 * i));
  }
  void Patch16(size_t at, uint16_t v) {
    out_[at] = uint8_t(v);
    out_[at + 1] = uint8_t(v >> 8);
  }
  size_t size() const { return out_.size(); }
  uint32_t records() const { return records_; }
  std::vector<uint8_t>& bytes() { return out_; }

 private:
  std::vector<uint8_t> out_;
  size_t start_ = 0;
  uint32_t records_ = 0;
};

// Parameters of a Windows-metafile record, addressed in 16-bit words.
struct Params {
  ByteView v;
  size_t words() const { return v.size() / 2; }
  int16_t I(size_t i) const { return v.I16(2 * i); }
  uint16_t U(size_t i) const { return v.U16(2 * i); }
  uint32_t U32(size_t i) const { return v.U32(2 * i); }
};

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool any = false;
  void Add(double x, double y) {
    if (!any) {
      x0 = x1 = x;
      y0 = y1 = y;
      any = true;
      return;
    }
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
};

// Walks the records after the header. Returns false when a record runs past the end.
template <class F>
bool ForEachRecord(const ByteView& bits, F visit) {
  size_t at = kWmfHeaderBytes;
  while (at + 6 <= bits.size()) {
    uint32_t words = bits.U32(at);
    uint16_t func = bits.U16(at + 4);
    if (words < 3 || words > (bits.size() - at) / 2) return false;
    if (func == META_EOF) return true;
    visit(func, Params{bits.Sub(at + 6, size_t(words) * 2 - 6)});
    at += size_t(words) * 2;
  }
  return true;
}

// Coordinates a drawing record touches, for the extent of the drawing.
void AddDrawingPoints(uint16_t func, const Params& p, Box* box) {
  size_t n = p.words();
  auto rect = [&](size_t at) {  // bottom, right, top, left
    if (n < at + 4) return;
    box->Add(p.I(at + 3), p.I(at + 2));
    box->Add(p.I(at + 1), p.I(at));
  };
  switch (func) {
    case META_LINETO:
    case META_MOVETO:
      if (n >= 2) box->Add(p.I(1), p.I(0));
      break;
    case META_RECTANGLE:
    case META_ELLIPSE:
      rect(0);
      break;
    case META_ROUNDRECT:
      rect(2);
      break;
    case META_ARC:
    case META_PIE:
    case META_CHORD:
      rect(4);
      break;
    case META_POLYGON:
    case META_POLYLINE: {
      size_t count = n ? p.U(0) : 0;
      for (size_t i = 0; i < count && 2 + 2 * i < n; ++i) box->Add(p.I(1 + 2 * i), p.I(2 + 2 * i));
      break;
    }
    case META_POLYPOLYGON: {
      size_t polys = n ? p.U(0) : 0, total = 0;
      for (size_t i = 0; i < polys && 1 + i < n; ++i) total += p.U(1 + i);
      size_t first = 1 + polys;
      for (size_t i = 0; i < total && first + 2 * i + 1 < n; ++i)
        box->Add(p.I(first + 2 * i), p.I(first + 2 * i + 1));
      break;
    }
    case META_TEXTOUT: {
      size_t count = n ? p.U(0) : 0, at = 1 + (count + 1) / 2;
      if (at + 1 < n) box->Add(p.I(at + 1), p.I(at));
      break;
    }
    case META_EXTTEXTOUT:
      if (n >= 2) box->Add(p.I(1), p.I(0));
      break;
    case META_PATBLT:
      if (n >= 6) {
        box->Add(p.I(5), p.I(4));
        box->Add(p.I(5) + p.I(3), p.I(4) + p.I(2));
      }
      break;
    case META_STRETCHDIB:  // ..., destHeight, destWidth, yDest, xDest at words 7-10
      if (n >= 11) {
        box->Add(p.I(10), p.I(9));
        box->Add(p.I(10) + p.I(8), p.I(9) + p.I(7));
      }
      break;
    default:
      break;
  }
}

// The size of a packed DIB's header and colour table, or 0 when it does not fit.
size_t DibInfoSize(const ByteView& dib, bool paletteIndices) {
  uint32_t headerSize = dib.U32(0);
  if (dib.overrun() || headerSize < 12 || headerSize > dib.size()) return 0;
  uint64_t colors, bpp;
  uint64_t extra = 0;
  if (headerSize == 12) {
    bpp = dib.U16(10);
    colors = bpp <= 8 ? (uint64_t(1) << bpp) : 0;
    uint64_t size = headerSize + colors * (paletteIndices ? 2 : 3);
    return size <= dib.size() ? size_t(size) : 0;
  }
  if (headerSize < 40) return 0;
  bpp = dib.U16(14);
  uint32_t compression = dib.U32(16), used = dib.U32(32);
  if (bpp <= 8)
    colors = used && used <= (1u << bpp) ? used : (uint64_t(1) << bpp);
  else
    colors = used <= 256 ? used : 0;
  if (headerSize == 40 && compression == 3) extra = 12;
  if (headerSize == 40 && compression == 6) extra = 16;
  uint64_t size = headerSize + extra + colors * (paletteIndices ? 2 : 4);
  return size <= dib.size() ? size_t(size) : 0;
}

class Converter {
 public:
  Converter(const ByteView& bits, const METAFILEPICT* picture) : bits_(bits) {
    if (picture && picture->xExt > 0 && picture->yExt > 0) {
      extX_ = picture->xExt;
      extY_ = picture->yExt;
    }
  }

  bool Run(std::vector<uint8_t>* out) {
    Prescan();
    if (extX_ <= 0 || extY_ <= 0) {
      // No picture size: the drawing's own extent at 96 units per inch.
      extX_ = std::max<int64_t>(1, int64_t(std::abs(windowW_) * 2540 / 96));
      extY_ = std::max<int64_t>(1, int64_t(std::abs(windowH_) * 2540 / 96));
    }
    extX_ = std::min<int64_t>(extX_, INT32_MAX / kDevicePixelsPerMM);
    extY_ = std::min<int64_t>(extY_, INT32_MAX / kDevicePixelsPerMM);
    WriteHeader();
    w_.Emit(EMR_SETMAPMODE, {MM_ANISOTROPIC});
    w_.Emit(EMR_SETVIEWPORTORGEX, {0, 0});
    w_.Emit(EMR_SETVIEWPORTEXTEX, {extX_, extY_});
    if (windowChosen_) {
      w_.Emit(EMR_SETWINDOWORGEX, {int64_t(windowX_), int64_t(windowY_)});
      w_.Emit(EMR_SETWINDOWEXTEX, {int64_t(windowW_), int64_t(windowH_)});
    }
    bool whole = ForEachRecord(bits_, [&](uint16_t func, const Params& p) { Record(func, p); });
    if (whole) {
      w_.Emit(EMR_EOF, {0, 16, 20});
    } else {
      // The damaged record stays damaged: a record header claiming more than remains.
      w_.U32(EMR_EOF);
      w_.U32(0x7FFFFFF0u);
    }
    w_.Patch32(48, uint32_t(w_.size()));
    w_.Patch32(52, w_.records() + (whole ? 0 : 1));
    w_.Patch16(56, uint16_t(std::min<size_t>(slots_.size() + 1, 0xFFFF)));
    *out = std::move(w_.bytes());
    return true;
  }

 private:
  enum class Slot { kFree, kObject, kRegion };

  // Finds the window the drawing lives in. Files that never set a window get the extent
  // of what they draw. Some writers displace every coordinate away from the window they
  // declare; when the drawing is no larger than that window but lies largely outside
  // it, the picture shows the drawing instead of the empty part of the page.
  void Prescan() {
    Box content;
    int exts = 0, orgs = 0;
    bool moved = false;
    double ox = 0, oy = 0, ex = 0, ey = 0, widestPen = 0;
    ForEachRecord(bits_, [&](uint16_t func, const Params& p) {
      if (func == META_CREATEPENINDIRECT && p.words() >= 2 && (p.U(0) & PS_STYLE_MASK) != PS_NULL)
        widestPen = std::max(widestPen, std::abs(double(p.I(1))));
      AddDrawingPoints(func, p, &content);
      if (func == META_SETWINDOWEXT && p.words() >= 2) {
        if (exts++ == 0) {
          ey = p.I(0);
          ex = p.I(1);
        }
      } else if (func == META_SETWINDOWORG && p.words() >= 2) {
        if (orgs++ == 0) {
          oy = p.I(0);
          ox = p.I(1);
        }
      } else if (func == META_OFFSETWINDOWORG || func == META_SCALEWINDOWEXT) {
        moved = true;
      }
    });
    if (content.any) {
      // Outlines reach half the pen's width beyond the points.
      content.x0 -= widestPen / 2;
      content.y0 -= widestPen / 2;
      content.x1 += widestPen / 2;
      content.y1 += widestPen / 2;
    }
    double cw = content.x1 - content.x0, ch = content.y1 - content.y0;
    if (exts == 0) {
      if (content.any && cw > 0 && ch > 0) Choose(content.x0, content.y0, cw, ch, false);
      return;
    }
    windowW_ = ex;
    windowH_ = ey;
    if (exts != 1 || orgs > 1 || moved || !content.any || ex == 0 || ey == 0) return;
    double wx0 = std::min(ox, ox + ex), wx1 = std::max(ox, ox + ex);
    double wy0 = std::min(oy, oy + ey), wy1 = std::max(oy, oy + ey);
    if (cw <= 0 || ch <= 0 || cw > (wx1 - wx0) * 1.05 || ch > (wy1 - wy0) * 1.05) return;
    double ix = std::max(0.0, std::min(wx1, content.x1) - std::max(wx0, content.x0));
    double iy = std::max(0.0, std::min(wy1, content.y1) - std::max(wy0, content.y0));
    double inside = ix * iy / (cw * ch);
    if (inside < 0.9) {
      // Keep the window's orientation: a negative extent runs from the far edge.
      double x = ex < 0 ? content.x1 : content.x0, y = ey < 0 ? content.y1 : content.y0;
      Choose(x, y, ex < 0 ? -cw : cw, ey < 0 ? -ch : ch, true);
    }
  }

  void Choose(double x, double y, double w, double h, bool replaces) {
    windowChosen_ = true;
    replacesWindow_ = replaces;
    windowX_ = x;
    windowY_ = y;
    windowW_ = w;
    windowH_ = h;
  }

  void WriteHeader() {
    // One device pixel is a hundredth of a millimetre: bounds and frame share numbers.
    w_.Begin(EMR_HEADER);
    for (int64_t v : {int64_t(0), int64_t(0), extX_ - 1, extY_ - 1}) w_.U32(uint32_t(v));
    for (int64_t v : {int64_t(0), int64_t(0), int64_t(extX_), int64_t(extY_)}) w_.U32(uint32_t(v));
    w_.U32(PX_EMF_SIGNATURE);
    w_.U32(0x10000);  // version
    w_.U32(0);        // bytes, patched
    w_.U32(0);        // records, patched
    w_.U16(0);        // handles, patched
    w_.U16(0);
    w_.U32(0);  // no description
    w_.U32(0);
    w_.U32(0);  // no palette
    w_.U32(100000);
    w_.U32(100000);
    w_.U32(100000 / kDevicePixelsPerMM);
    w_.U32(100000 / kDevicePixelsPerMM);
    w_.U32(0);  // no pixel format
    w_.U32(0);
    w_.U32(0);  // no OpenGL
    w_.U32(100000 / kDevicePixelsPerMM * 1000);
    w_.U32(100000 / kDevicePixelsPerMM * 1000);
    w_.End();
  }

  // Objects take the lowest free slot, as the Windows-metafile object table does.
  int NewSlot(Slot kind) {
    for (size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i] == Slot::kFree) {
        slots_[i] = kind;
        return int(i);
      }
    if (slots_.size() >= kMaxSlots) return -1;
    slots_.push_back(kind);
    regions_.resize(slots_.size());
    return int(slots_.size() - 1);
  }

  Slot SlotKind(size_t index) const { return index < slots_.size() ? slots_[index] : Slot::kFree; }

  void NullBrush(int slot) { w_.Emit(EMR_CREATEBRUSHINDIRECT, {slot + 1, BS_NULL, 0, 0}); }

  void ReadRegion(const Params& p, std::vector<std::array<int16_t, 4>>* rects) {
    // Header: next, type, count, size, scan count, max scan, bounding box; then scans of
    // (count, top, bottom, count / 2 pairs of left and right, count).
    size_t n = p.words();
    if (n < 11) return;
    size_t scans = p.U(5), at = 11;
    for (size_t s = 0; s < scans && at + 3 <= n; ++s) {
      size_t count = p.U(at);
      int16_t top = p.I(at + 1), bottom = p.I(at + 2);
      size_t pairs = count / 2;
      if (at + 3 + 2 * pairs + 1 > n) break;
      for (size_t k = 0; k < pairs; ++k)
        rects->push_back({p.I(at + 3 + 2 * k), top, p.I(at + 4 + 2 * k), bottom});
      at += 3 + 2 * pairs + 1;
    }
  }

  void FillRegion(size_t region, int brushIndex) {
    if (SlotKind(region) != Slot::kRegion) return;
    w_.Emit(EMR_SAVEDC, {});
    if (brushIndex >= 0) w_.Emit(EMR_SELECTOBJECT, {brushIndex + 1});
    w_.Emit(EMR_SELECTOBJECT, {int64_t(kStockFlag | NULL_PEN)});
    for (const auto& r : regions_[region])  // without a pen a rectangle loses its far edges
      w_.Emit(EMR_RECTANGLE, {r[0], r[1], r[2] + 1, r[3] + 1});
    w_.Emit(EMR_RESTOREDC, {-1});
  }

  void SelectClipRegion(size_t region) {
    w_.Emit(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
    if (SlotKind(region) != Slot::kRegion || regions_[region].empty()) return;
    Box b;
    for (const auto& r : regions_[region]) {
      b.Add(r[0], r[1]);
      b.Add(r[2], r[3]);
    }
    w_.Emit(EMR_INTERSECTCLIPRECT, {int64_t(b.x0), int64_t(b.y0), int64_t(b.x1), int64_t(b.y1)});
  }

  void Points(uint32_t type, const Params& p, size_t countAt, size_t count) {
    w_.Begin(type);
    w_.Zero(16);  // bounds
    w_.U32(uint32_t(count));
    for (size_t i = 0; i < count; ++i) {
      w_.U32(uint32_t(int32_t(p.I(countAt + 1 + 2 * i))));
      w_.U32(uint32_t(int32_t(p.I(countAt + 2 + 2 * i))));
    }
    w_.End();
  }

  // A text record: reference point, characters and optional advances, all in words.
  void Text(int32_t x, int32_t y, uint32_t options, const int16_t* rect, const ByteView& chars,
            const Params* dx, size_t dxAt) {
    size_t count = chars.size();
    size_t offString = 76, offDx = offString + ((count + 3) & ~size_t(3));
    bool hasDx = dx != nullptr;
    w_.Begin(EMR_EXTTEXTOUTA);
    w_.Zero(16);
    w_.U32(GM_COMPATIBLE);
    w_.F32(1);
    w_.F32(1);
    w_.U32(uint32_t(x));
    w_.U32(uint32_t(y));
    w_.U32(uint32_t(count));
    w_.U32(uint32_t(offString));
    w_.U32(options & ~(ETO_GLYPH_INDEX | ETO_PDY));
    for (int k = 0; k < 4; ++k) w_.U32(uint32_t(int32_t(rect ? rect[k] : 0)));
    w_.U32(hasDx ? uint32_t(offDx) : 0);
    w_.Raw(chars);
    while (w_.size() % 4) w_.U8(0);
    if (hasDx)
      for (size_t i = 0; i < count; ++i) w_.U32(uint32_t(int32_t(dx->I(dxAt + i))));
    w_.End();
  }

  // A bitmap record as a stretched DIB. `dib` is the packed DIB; ySrc counts from the top
  // when `fromTop`.
  void Dib(const ByteView& dib, uint32_t usage, uint32_t rop, int32_t xDest, int32_t yDest,
           int32_t cxDest, int32_t cyDest, int32_t xSrc, int32_t ySrc, int32_t cxSrc, int32_t cySrc,
           bool fromTop) {
    size_t info = DibInfoSize(dib, usage == DIB_PAL_COLORS);
    if (!info) return;
    int32_t height = dib.U32(0) == 12 ? dib.I16(6) : dib.I32(8);
    if (fromTop && height > 0) ySrc = height - ySrc - cySrc;
    size_t infoPadded = (info + 3) & ~size_t(3);
    w_.Begin(EMR_STRETCHDIBITS);
    w_.Zero(16);
    for (int32_t v : {xDest, yDest, xSrc, ySrc, cxSrc, cySrc}) w_.U32(uint32_t(v));
    w_.U32(80);
    w_.U32(uint32_t(info));
    w_.U32(uint32_t(80 + infoPadded));
    w_.U32(uint32_t(dib.size() - info));
    w_.U32(usage);
    w_.U32(rop);
    w_.U32(uint32_t(cxDest));
    w_.U32(uint32_t(cyDest));
    w_.Raw(dib.Sub(0, info));
    while (w_.size() % 4) w_.U8(0);
    w_.Raw(dib.Sub(info, dib.size() - info));
    w_.End();
  }

  void PatBlt(uint32_t rop, int32_t x, int32_t y, int32_t w, int32_t h) {
    w_.Begin(EMR_BITBLT);
    w_.Zero(16);
    for (int32_t v : {x, y, w, h}) w_.U32(uint32_t(v));
    w_.U32(rop);
    w_.Zero(8);
    for (float f : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f}) w_.F32(f);
    w_.Zero(24);
    w_.End();
  }

  void Record(uint16_t func, const Params& p) {
    size_t n = p.words();
    auto need = [&](size_t words) { return n >= words; };
    switch (func) {
      case META_SAVEDC:
        saved_.push_back({orgX_, orgY_});
        w_.Emit(EMR_SAVEDC, {});
        break;
      case META_RESTOREDC:
        if (!need(1)) break;
        if (p.I(0) < 0 && size_t(-p.I(0)) <= saved_.size()) {
          size_t level = saved_.size() - size_t(-p.I(0));
          orgX_ = saved_[level].first;
          orgY_ = saved_[level].second;
          saved_.resize(level);
        }
        w_.Emit(EMR_RESTOREDC, {p.I(0)});
        break;
      case META_SETBKMODE:
        if (need(1)) w_.Emit(EMR_SETBKMODE, {p.U(0)});
        break;
      case META_SETMAPMODE:
        // The picture owns the mapping; only the choice of keeping the aspect passes.
        if (need(1) && (p.U(0) == MM_ISOTROPIC || p.U(0) == MM_ANISOTROPIC))
          w_.Emit(EMR_SETMAPMODE, {p.U(0)});
        break;
      case META_SETROP2:
        if (need(1)) w_.Emit(EMR_SETROP2, {p.U(0)});
        break;
      case META_SETPOLYFILLMODE:
        if (need(1)) w_.Emit(EMR_SETPOLYFILLMODE, {p.U(0)});
        break;
      case META_SETSTRETCHBLTMODE:
        if (need(1)) w_.Emit(EMR_SETSTRETCHBLTMODE, {p.U(0)});
        break;
      case META_SETTEXTALIGN:
        if (need(1)) w_.Emit(EMR_SETTEXTALIGN, {p.U(0)});
        break;
      case META_SETBKCOLOR:
        if (need(2)) w_.Emit(EMR_SETBKCOLOR, {p.U32(0)});
        break;
      case META_SETTEXTCOLOR:
        if (need(2)) w_.Emit(EMR_SETTEXTCOLOR, {p.U32(0)});
        break;
      case META_SETWINDOWORG:
        if (!need(2) || replacesWindow_) break;
        orgX_ = p.I(1);
        orgY_ = p.I(0);
        w_.Emit(EMR_SETWINDOWORGEX, {orgX_, orgY_});
        break;
      case META_OFFSETWINDOWORG:
        if (!need(2) || replacesWindow_) break;
        orgX_ += p.I(1);
        orgY_ += p.I(0);
        w_.Emit(EMR_SETWINDOWORGEX, {orgX_, orgY_});
        break;
      case META_SETWINDOWEXT:
        if (need(2) && !replacesWindow_) w_.Emit(EMR_SETWINDOWEXTEX, {p.I(1), p.I(0)});
        break;
      case META_SCALEWINDOWEXT:  // yDenom, yNum, xDenom, xNum
        if (need(4) && !replacesWindow_)
          w_.Emit(EMR_SCALEWINDOWEXTEX, {p.I(3), p.I(2), p.I(1), p.I(0)});
        break;
      case META_MOVETO:
        if (need(2)) w_.Emit(EMR_MOVETOEX, {p.I(1), p.I(0)});
        break;
      case META_LINETO:
        if (need(2)) w_.Emit(EMR_LINETO, {p.I(1), p.I(0)});
        break;
      case META_EXCLUDECLIPRECT:
      case META_INTERSECTCLIPRECT:
        if (need(4))
          w_.Emit(func == META_EXCLUDECLIPRECT ? EMR_EXCLUDECLIPRECT : EMR_INTERSECTCLIPRECT,
                  {p.I(3), p.I(2), p.I(1), p.I(0)});
        break;
      case META_OFFSETCLIPRGN:
        if (need(2)) w_.Emit(EMR_OFFSETCLIPRGN, {p.I(1), p.I(0)});
        break;
      case META_RECTANGLE:
      case META_ELLIPSE:
        if (need(4))
          w_.Emit(func == META_RECTANGLE ? EMR_RECTANGLE : EMR_ELLIPSE,
                  {p.I(3), p.I(2), p.I(1), p.I(0)});
        break;
      case META_ROUNDRECT:
        if (need(6)) w_.Emit(EMR_ROUNDRECT, {p.I(5), p.I(4), p.I(3), p.I(2), p.I(1), p.I(0)});
        break;
      case META_ARC:
      case META_PIE:
      case META_CHORD:
        if (need(8))
          w_.Emit(func == META_ARC   ? EMR_ARC
                  : func == META_PIE ? EMR_PIE
                                     : EMR_CHORD,
                  {p.I(7), p.I(6), p.I(5), p.I(4), p.I(3), p.I(2), p.I(1), p.I(0)});
        break;
      case META_SETPIXEL:
        if (need(4)) w_.Emit(EMR_SETPIXELV, {p.I(3), p.I(2), p.U32(0)});
        break;
      case META_POLYGON:
      case META_POLYLINE:
        if (need(1) && n >= 1 + 2 * size_t(p.U(0)))
          Points(func == META_POLYGON ? EMR_POLYGON : EMR_POLYLINE, p, 0, p.U(0));
        break;
      case META_POLYPOLYGON: {
        if (!need(1)) break;
        size_t polys = p.U(0), total = 0;
        if (n < 1 + polys) break;
        for (size_t i = 0; i < polys; ++i) total += p.U(1 + i);
        if (n < 1 + polys + 2 * total) break;
        w_.Begin(EMR_POLYPOLYGON);
        w_.Zero(16);
        w_.U32(uint32_t(polys));
        w_.U32(uint32_t(total));
        for (size_t i = 0; i < polys; ++i) w_.U32(p.U(1 + i));
        for (size_t i = 0; i < 2 * total; ++i) w_.U32(uint32_t(int32_t(p.I(1 + polys + i))));
        w_.End();
        break;
      }
      case META_TEXTOUT: {
        if (!need(1)) break;
        size_t count = p.U(0), at = 1 + (count + 1) / 2;
        if (n < at + 2) break;
        Text(p.I(at + 1), p.I(at), 0, nullptr, p.v.Sub(2, count), nullptr, 0);
        break;
      }
      case META_EXTTEXTOUT: {
        if (!need(4)) break;
        size_t count = p.U(2), options = p.U(3), at = 4;
        int16_t rect[4];
        bool hasRect = options & (ETO_OPAQUE | ETO_CLIPPED);
        if (hasRect) {
          if (!need(8)) break;
          for (int k = 0; k < 4; ++k) rect[k] = p.I(4 + k);
          at = 8;
        }
        size_t dxAt = at + (count + 1) / 2;
        if (n < dxAt) break;
        bool hasDx = n >= dxAt + count && count > 0;
        Text(p.I(1), p.I(0), uint32_t(options), hasRect ? rect : nullptr, p.v.Sub(2 * at, count),
             hasDx ? &p : nullptr, dxAt);
        break;
      }
      case META_CREATEPENINDIRECT: {
        int slot = NewSlot(Slot::kObject);
        if (slot < 0 || !need(5)) {
          if (slot >= 0) NullBrush(slot);
          break;
        }
        w_.Emit(EMR_CREATEPEN, {slot + 1, p.U(0), std::abs(int(p.I(1))), 0, p.U32(3)});
        break;
      }
      case META_CREATEBRUSHINDIRECT: {
        int slot = NewSlot(Slot::kObject);
        if (slot < 0) break;
        uint32_t style = need(1) ? p.U(0) : BS_NULL;
        if (style != BS_SOLID && style != BS_HATCHED) style = BS_NULL;
        w_.Emit(EMR_CREATEBRUSHINDIRECT, {slot + 1, style, p.U32(1), p.U(3)});
        break;
      }
      case META_CREATEFONTINDIRECT: {
        int slot = NewSlot(Slot::kObject);
        if (slot < 0) break;
        w_.Begin(EMR_EXTCREATEFONTINDIRECTW);
        w_.U32(uint32_t(slot + 1));
        for (size_t k = 0; k < 5; ++k) w_.U32(uint32_t(int32_t(p.I(k))));
        for (size_t k = 10; k < 18; ++k) w_.U8(p.v.U8(k));
        bool ended = false;
        for (size_t k = 0; k < 32; ++k) {
          uint8_t c = ended ? 0 : p.v.U8(18 + k);
          if (!c) ended = true;
          w_.U16(c);
        }
        w_.End();
        break;
      }
      case META_CREATEPALETTE: {
        int slot = NewSlot(Slot::kObject);
        if (slot < 0) break;
        size_t count = need(2) ? std::min<size_t>(p.U(1), (p.v.size() - 4) / 4) : 0;
        w_.Begin(EMR_CREATEPALETTE);
        w_.U32(uint32_t(slot + 1));
        w_.U16(0x300);
        w_.U16(uint16_t(count));
        w_.Raw(p.v.Sub(4, 4 * count));
        w_.End();
        break;
      }
      case META_DIBCREATEPATTERNBRUSH: {
        int slot = NewSlot(Slot::kObject);
        if (slot < 0) break;
        uint32_t usage = need(2) ? p.U(1) : 0;
        ByteView dib = p.v.size() > 4 ? p.v.Sub(4, p.v.size() - 4) : ByteView();
        size_t info =
            need(2) && p.U(0) != BS_PATTERN ? DibInfoSize(dib, usage == DIB_PAL_COLORS) : 0;
        if (!info) {
          NullBrush(slot);
          break;
        }
        size_t infoPadded = (info + 3) & ~size_t(3);
        w_.Begin(EMR_CREATEDIBPATTERNBRUSHPT);
        w_.U32(uint32_t(slot + 1));
        w_.U32(usage);
        w_.U32(32);
        w_.U32(uint32_t(info));
        w_.U32(uint32_t(32 + infoPadded));
        w_.U32(uint32_t(dib.size() - info));
        w_.Raw(dib.Sub(0, info));
        while (w_.size() % 4) w_.U8(0);
        w_.Raw(dib.Sub(info, dib.size() - info));
        w_.End();
        break;
      }
      case META_CREATEPATTERNBRUSH: {
        int slot = NewSlot(Slot::kObject);
        if (slot >= 0) NullBrush(slot);
        break;
      }
      case META_CREATEREGION: {
        int slot = NewSlot(Slot::kRegion);
        if (slot < 0) break;
        regions_[size_t(slot)].clear();
        ReadRegion(p, &regions_[size_t(slot)]);
        break;
      }
      case META_SELECTOBJECT:
        if (!need(1)) break;
        if (SlotKind(p.U(0)) == Slot::kRegion)
          SelectClipRegion(p.U(0));
        else if (SlotKind(p.U(0)) == Slot::kObject)
          w_.Emit(EMR_SELECTOBJECT, {p.U(0) + 1});
        break;
      case META_SELECTPALETTE:
        if (need(1) && SlotKind(p.U(0)) == Slot::kObject) w_.Emit(EMR_SELECTPALETTE, {p.U(0) + 1});
        break;
      case META_DELETEOBJECT:
        if (!need(1)) break;
        if (SlotKind(p.U(0)) == Slot::kObject) w_.Emit(EMR_DELETEOBJECT, {p.U(0) + 1});
        if (p.U(0) < slots_.size()) {
          slots_[p.U(0)] = Slot::kFree;
          regions_[p.U(0)].clear();
        }
        break;
      case META_SELECTCLIPREGION:
        if (need(1)) SelectClipRegion(p.U(0));
        break;
      case META_FILLREGION:
        if (need(2) && SlotKind(p.U(1)) == Slot::kObject) FillRegion(p.U(0), p.U(1));
        break;
      case META_PAINTREGION:
        if (need(1)) FillRegion(p.U(0), -1);
        break;
      case META_PATBLT:
        if (need(6)) PatBlt(p.U32(0), p.I(5), p.I(4), p.I(3), p.I(2));
        break;
      case META_DIBBITBLT: {
        // rop, ySrc, xSrc, [reserved without a bitmap], height, width, yDest, xDest, DIB
        if (!need(8)) break;
        if (n == 9) {
          PatBlt(p.U32(0), p.I(8), p.I(7), p.I(6), p.I(5));
          break;
        }
        Dib(p.v.Sub(16, p.v.size() - 16), 0, p.U32(0), p.I(7), p.I(6), p.I(5), p.I(4), p.I(3),
            p.I(2), p.I(5), p.I(4), true);
        break;
      }
      case META_DIBSTRETCHBLT: {
        // rop, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
        if (!need(10)) break;
        if (n == 11) {
          PatBlt(p.U32(0), p.I(10), p.I(9), p.I(8), p.I(7));
          break;
        }
        Dib(p.v.Sub(20, p.v.size() - 20), 0, p.U32(0), p.I(9), p.I(8), p.I(7), p.I(6), p.I(5),
            p.I(4), p.I(3), p.I(2), true);
        break;
      }
      case META_STRETCHDIB:
        // rop, usage, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest
        if (!need(11)) break;
        Dib(p.v.Sub(22, p.v.size() - 22), p.U(2), p.U32(0), p.I(10), p.I(9), p.I(8), p.I(7), p.I(6),
            p.I(5), p.I(4), p.I(3), false);
        break;
      case META_SETDIBTODEV:
        // usage, scan count, start scan, ySrc, xSrc, height, width, yDest, xDest, DIB
        if (!need(9)) break;
        Dib(p.v.Sub(18, p.v.size() - 18), p.U(0), SRCCOPY_ROP, p.I(8), p.I(7), p.I(6), p.I(5),
            p.I(4), p.I(3), p.I(6), p.I(5), false);
        break;
      default:
        break;  // escapes, palettes animation, flood fills and old device bitmaps
    }
  }

  ByteView bits_;
  EmfWriter w_;
  int64_t extX_ = 0, extY_ = 0;
  bool windowChosen_ = false, replacesWindow_ = false;
  double windowX_ = 0, windowY_ = 0, windowW_ = 0, windowH_ = 0;
  int64_t orgX_ = 0, orgY_ = 0;
  std::vector<std::pair<int64_t, int64_t>> saved_;
  std::vector<Slot> slots_;
  std::vector<std::vector<std::array<int16_t, 4>>> regions_;
};

}  // namespace

bool IsWindowsMetafileHeader(const ByteView& bits) {
  if (bits.size() < kWmfHeaderBytes) return false;
  uint16_t type = bits.U16(0), headerWords = bits.U16(2), version = bits.U16(4);
  return (type == 1 || type == 2) && headerWords == 9 && (version == 0x100 || version == 0x300);
}

bool ConvertWindowsMetafile(const ByteView& bits, const METAFILEPICT* picture,
                            std::vector<uint8_t>* emf) {
  if (!IsWindowsMetafileHeader(bits)) return false;
  try {
    return Converter(bits, picture).Run(emf);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace pxmf
