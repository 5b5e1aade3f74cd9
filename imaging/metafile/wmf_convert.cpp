// Converting Windows-metafile records into enhanced-metafile records.
//
// The enhanced metafile's reference device has 100 pixels per millimetre, so one device
// pixel is one hundredth of a millimetre and the picture extents map exactly onto the
// frame. The picture's viewport belongs to the conversion: the metafile's own window
// records choose what part of its coordinate space fills the picture.
#include "metafile/wmf_convert.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "metafile/wmf_converter.h"

namespace pxmf {

namespace {

constexpr size_t kWmfHeaderBytes = 18;
constexpr int32_t kDevicePixelsPerMM = 100;

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

}  // namespace

Converter::Converter(const ByteView& bits, const METAFILEPICT* picture) : bits_(bits) {
  if (picture && picture->xExt > 0 && picture->yExt > 0) {
    extX_ = picture->xExt;
    extY_ = picture->yExt;
  }
}

bool Converter::Run(std::vector<uint8_t>* out) {
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
  bool whole = ForEachRecord(bits_, [&](uint16_t func, const Params& p) {
    if (Handler handler = HandlerFor(func)) (this->*handler)(p);
  });
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

// Finds the window the drawing lives in. Files that never set a window get the extent
// of what they draw. Some writers displace every coordinate away from the window they
// declare; when the drawing is no larger than that window but lies largely outside
// it, the picture shows the drawing instead of the empty part of the page.
void Converter::Prescan() {
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

void Converter::Choose(double x, double y, double w, double h, bool replaces) {
  windowChosen_ = true;
  replacesWindow_ = replaces;
  windowX_ = x;
  windowY_ = y;
  windowW_ = w;
  windowH_ = h;
}

void Converter::WriteHeader() {
  // One device pixel is a hundredth of a millimetre: bounds and frame share numbers.
  w_.Begin(EMR_HEADER);
  for (int64_t v : {int64_t(0), int64_t(0), extX_ - 1, extY_ - 1}) w_.U32(uint32_t(v));
  for (int64_t v : {int64_t(0), int64_t(0), int64_t(extX_), int64_t(extY_)}) w_.U32(uint32_t(v));
  w_.U32(px::kEmfSignature);
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

Converter::Handler Converter::HandlerFor(uint16_t function) {
  static const RecordTable<Handler> table({StateRecords(), ObjectRecords(), DrawingRecords()});
  return table.Find(function);
}

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
