// Mapping, shapes, paths, pens, brushes, mix modes and clipping of metafile playback.
//
// Device coordinates are whole pixels as in GDI: a point (x, y) names the pixel whose
// top-left corner is (x, y). A figure from 0 to 10 fills pixels 0 to 9, and its one-pixel
// outline runs through pixels 0 and 10, leaving out the last pixel of each line.
#include <algorithm>
#include <cmath>

#include "metafile/player.h"

namespace pxmf {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLimit = 1e7;         // device coordinates are clamped here (Cairo's fixed point)
constexpr double kMaxPenExtent = 1e6;  // pixels; wider pens are drawn this wide

double Clamp(double v) {
  if (!std::isfinite(v)) return 0;
  return std::max(-kLimit, std::min(kLimit, v));
}

double Round(double v) {
  return std::floor(Clamp(v) + 0.5);
}

// A device coordinate for an integer region: a little beyond the canvas at most, so that
// region arithmetic cannot overflow.
int CanvasInt(double v, int limit) {
  return int(std::max(-1.0, std::min(double(limit) + 1, v)));
}

uint32_t Rop2(uint32_t code, uint32_t p, uint32_t d) {
  uint32_t table = code - 1, result = 0;
  for (uint32_t i = 0; i < 4; ++i)
    if (table & (1u << i)) result |= ((i & 2) ? p : ~p) & ((i & 1) ? d : ~d);
  return result & 0xFFFFFF;
}

}  // namespace

uint32_t Rop3(uint32_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t result = 0;
  for (uint32_t i = 0; i < 8; ++i)
    if (code & (1u << i)) result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  return result & 0xFFFFFF;
}

/* ---- Mapping ---------------------------------------------------------------------------- */

cairo_matrix_t Player::PageMatrix() const {
  double sx = 1, sy = 1;
  switch (dc_.mapMode) {
    case MM_LOMETRIC:
      sx = pxPerMMX_ * 0.1;
      sy = -pxPerMMY_ * 0.1;
      break;
    case MM_HIMETRIC:
      sx = pxPerMMX_ * 0.01;
      sy = -pxPerMMY_ * 0.01;
      break;
    case MM_LOENGLISH:
      sx = pxPerMMX_ * 0.254;
      sy = -pxPerMMY_ * 0.254;
      break;
    case MM_HIENGLISH:
      sx = pxPerMMX_ * 0.0254;
      sy = -pxPerMMY_ * 0.0254;
      break;
    case MM_TWIPS:
      sx = pxPerMMX_ * 25.4 / 1440;
      sy = -pxPerMMY_ * 25.4 / 1440;
      break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
      sx = dc_.wExtX ? dc_.vExtX / dc_.wExtX : 1;
      sy = dc_.wExtY ? dc_.vExtY / dc_.wExtY : 1;
      if (dc_.mapMode == MM_ISOTROPIC) {
        double m = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default:
      break;
  }
  cairo_matrix_t m;
  cairo_matrix_init(&m, sx, 0, 0, sy, dc_.vOrgX - dc_.wOrgX * sx, dc_.vOrgY - dc_.wOrgY * sy);
  return m;
}

cairo_matrix_t Player::Transform() const {
  cairo_matrix_t page = PageMatrix(), worldPage, full;
  cairo_matrix_multiply(&worldPage, &dc_.world, &page);
  cairo_matrix_multiply(&full, &worldPage, &base_);
  return full;
}

Pt Player::DevExact(double x, double y) const {
  cairo_matrix_t m = Transform();
  cairo_matrix_transform_point(&m, &x, &y);
  return {Clamp(x), Clamp(y)};
}

Pt Player::Dev(double x, double y) const {
  Pt p = DevExact(x, y);
  return {Round(p.x), Round(p.y)};
}

Pt Player::ToLogical(Pt device) const {
  cairo_matrix_t m = Transform();
  if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return dc_.cur;
  cairo_matrix_transform_point(&m, &device.x, &device.y);
  return device;
}

double Player::ScaleOf(const cairo_matrix_t& m) const {
  double det = m.xx * m.yy - m.xy * m.yx;
  double s = std::sqrt(std::abs(det));
  return std::isfinite(s) ? s : 1;
}

bool Player::DeviceBox(double l, double t, double r, double b, double box[4],
                       bool excludeEdges) const {
  cairo_matrix_t m = Transform();
  if (std::abs(m.xy) > 1e-9 || std::abs(m.yx) > 1e-9) return false;
  Pt a = Dev(l, t), c = Dev(r, b);
  box[0] = std::min(a.x, c.x);
  box[1] = std::min(a.y, c.y);
  box[2] = std::max(a.x, c.x);
  box[3] = std::max(a.y, c.y);
  // The right and bottom edges are not part of a figure.
  if (excludeEdges && box[2] > box[0]) box[2] -= 1;
  if (excludeEdges && box[3] > box[1]) box[3] -= 1;
  return true;
}

/* ---- Shapes ----------------------------------------------------------------------------- */

void Player::EnsureFigure() {
  if (path_.empty() || path_.ops.back().kind == PathOp::kClose)
    path_.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
}

void Player::Emit(const Path& path, bool fill, bool stroke) {
  if (path.empty()) return;
  if (inPath_) {
    path_.ops.insert(path_.ops.end(), path.ops.begin(), path.ops.end());
    return;
  }
  DrawPath(path, fill, stroke);
}

void Player::Polyline(const std::vector<Pt>& pts, bool close, bool fill) {
  if (pts.size() < 2) return;
  Path p;
  p.MoveTo(Dev(pts[0].x, pts[0].y));
  for (size_t i = 1; i < pts.size(); ++i) p.LineTo(Dev(pts[i].x, pts[i].y));
  if (close) p.Close();
  Emit(p, fill, true);
}

void Player::PolylineTo(const std::vector<Pt>& pts) {
  if (pts.empty()) return;
  if (inPath_) {
    EnsureFigure();
    for (const Pt& q : pts) path_.LineTo(Dev(q.x, q.y));
  } else {
    Path p;
    p.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
    for (const Pt& q : pts) p.LineTo(Dev(q.x, q.y));
    DrawPath(p, false, true);
  }
  dc_.cur = pts.back();
}

void Player::LineTo(double x, double y) {
  PolylineTo({{x, y}});
}

void Player::PolyPolygon(const std::vector<Pt>& pts, const std::vector<uint32_t>& counts,
                         bool fill) {
  Path p;
  size_t at = 0;
  for (uint32_t n : counts) {
    if (n >= 2) {
      p.MoveTo(Dev(pts[at].x, pts[at].y));
      for (size_t i = 1; i < n; ++i) p.LineTo(Dev(pts[at + i].x, pts[at + i].y));
      if (fill) p.Close();
    }
    at += n;
  }
  Emit(p, fill, true);
}

void Player::PolyBezier(const std::vector<Pt>& pts, bool to) {
  size_t first = to ? 0 : 1;
  if (pts.size() < first + 3) return;
  Path p;
  Path& target = inPath_ && to ? path_ : p;
  if (to) {
    if (inPath_)
      EnsureFigure();
    else
      p.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
  } else {
    p.MoveTo(Dev(pts[0].x, pts[0].y));
  }
  size_t i = first;
  for (; i + 2 < pts.size(); i += 3)
    target.CurveTo(DevExact(pts[i].x, pts[i].y), DevExact(pts[i + 1].x, pts[i + 1].y),
                   Dev(pts[i + 2].x, pts[i + 2].y));
  if (to) dc_.cur = pts[i - 1];
  if (&target == &p) Emit(p, false, true);
}

void Player::PolyDraw(const std::vector<Pt>& pts, const std::vector<uint8_t>& types) {
  Path p;
  Path& target = inPath_ ? path_ : p;
  if (inPath_)
    EnsureFigure();
  else
    p.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
  for (size_t i = 0; i < pts.size(); ++i) {
    uint8_t kind = types[i] & ~PT_CLOSEFIGURE;
    if (kind == PT_MOVETO) {
      target.MoveTo(Dev(pts[i].x, pts[i].y));
    } else if (kind == PT_LINETO) {
      target.LineTo(Dev(pts[i].x, pts[i].y));
    } else if (kind == PT_BEZIERTO && i + 2 < pts.size()) {
      target.CurveTo(DevExact(pts[i].x, pts[i].y), DevExact(pts[i + 1].x, pts[i + 1].y),
                     Dev(pts[i + 2].x, pts[i + 2].y));
      i += 2;
    } else {
      break;
    }
    dc_.cur = pts[i];
    if (types[i] & PT_CLOSEFIGURE) target.Close();
  }
  if (!inPath_) DrawPath(p, false, true);
}

void Player::Rectangle(double l, double t, double r, double b) {
  Path p;
  double box[4];
  if (DeviceBox(l, t, r, b, box)) {
    p.MoveTo({box[0], box[1]});
    p.LineTo({box[2], box[1]});
    p.LineTo({box[2], box[3]});
    p.LineTo({box[0], box[3]});
  } else {
    p.MoveTo(DevExact(l, t));
    p.LineTo(DevExact(r, t));
    p.LineTo(DevExact(r, b));
    p.LineTo(DevExact(l, b));
  }
  p.Close();
  Emit(p, true, true);
}

void Player::AppendArc(Path& path, const std::function<Pt(double, double)>& map, double cx,
                       double cy, double rx, double ry, double a0, double sweep, bool connect) {
  auto at = [&](double a) { return Pt{cx + rx * std::cos(a), cy + ry * std::sin(a)}; };
  Pt s = at(a0);
  Pt ms = map(s.x, s.y);
  if (connect && !path.empty())
    path.LineTo(ms);
  else
    path.MoveTo(ms);
  int pieces = std::max(1, int(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9)));
  double step = sweep / pieces;
  double k = 4.0 / 3.0 * std::tan(step / 4);
  for (int i = 0; i < pieces; ++i) {
    double a = a0 + step * i, e = a + step;
    Pt p0 = at(a), p3 = at(e);
    Pt c1{p0.x - k * rx * std::sin(a), p0.y + k * ry * std::cos(a)};
    Pt c2{p3.x + k * rx * std::sin(e), p3.y - k * ry * std::cos(e)};
    path.CurveTo(map(c1.x, c1.y), map(c2.x, c2.y), map(p3.x, p3.y));
  }
}

void Player::ArcShape(ArcKind kind, const double logicalBox[4], Pt start, Pt end) {
  double box[4];
  std::function<Pt(double, double)> map;
  bool clockwiseDecreasing;  // whether the arc runs through decreasing angles
  bool ccw = dc_.arcDirection != AD_CLOCKWISE;
  if (DeviceBox(logicalBox[0], logicalBox[1], logicalBox[2], logicalBox[3], box)) {
    map = [](double x, double y) { return Pt{x, y}; };
    start = DevExact(start.x, start.y);
    end = DevExact(end.x, end.y);
    cairo_matrix_t m = Transform();
    bool flipped = m.xx * m.yy - m.xy * m.yx < 0;
    clockwiseDecreasing = ccw != flipped;
  } else {
    for (int i = 0; i < 4; ++i) box[i] = logicalBox[i];
    map = [this](double x, double y) { return DevExact(x, y); };
    clockwiseDecreasing = ccw;
  }
  double cx = (box[0] + box[2]) / 2, cy = (box[1] + box[3]) / 2;
  double rx = std::abs(box[2] - box[0]) / 2, ry = std::abs(box[3] - box[1]) / 2;
  if (rx <= 0 || ry <= 0) return;

  Path p;
  Path& target = kind == ArcKind::kArcTo && inPath_ ? path_ : p;
  if (kind == ArcKind::kEllipse) {
    AppendArc(p, map, cx, cy, rx, ry, 0, 2 * kPi, false);
    p.Close();
    Emit(p, true, true);
    return;
  }
  double a0 = std::atan2((start.y - cy) / ry, (start.x - cx) / rx);
  double a1 = std::atan2((end.y - cy) / ry, (end.x - cx) / rx);
  double sweep = a1 - a0;
  if (clockwiseDecreasing) {
    while (sweep >= 0) sweep -= 2 * kPi;
    while (sweep < -2 * kPi) sweep += 2 * kPi;
  } else {
    while (sweep <= 0) sweep += 2 * kPi;
    while (sweep > 2 * kPi) sweep -= 2 * kPi;
  }
  if (kind == ArcKind::kArcTo) {
    if (inPath_)
      EnsureFigure();
    else
      p.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
  } else if (kind == ArcKind::kPie) {
    p.MoveTo(map(cx, cy));
  }
  AppendArc(target, map, cx, cy, rx, ry, a0, sweep,
            kind == ArcKind::kArcTo || kind == ArcKind::kPie);
  if (kind == ArcKind::kArcTo) {
    Pt last = target.ops.back().p[2];
    dc_.cur = ToLogical(last);
    if (!inPath_) DrawPath(p, false, true);
    return;
  }
  bool closed = kind == ArcKind::kChord || kind == ArcKind::kPie;
  if (closed) p.Close();
  Emit(p, closed, true);
}

void Player::RoundRect(double l, double t, double r, double b, double cw, double ch) {
  double box[4];
  std::function<Pt(double, double)> map;
  double rx, ry;
  if (DeviceBox(l, t, r, b, box)) {
    cairo_matrix_t m = Transform();
    map = [](double x, double y) { return Pt{x, y}; };
    rx = std::abs(cw * m.xx) / 2;
    ry = std::abs(ch * m.yy) / 2;
  } else {
    box[0] = std::min(l, r);
    box[1] = std::min(t, b);
    box[2] = std::max(l, r);
    box[3] = std::max(t, b);
    map = [this](double x, double y) { return DevExact(x, y); };
    rx = std::abs(cw) / 2;
    ry = std::abs(ch) / 2;
  }
  rx = std::min(rx, (box[2] - box[0]) / 2);
  ry = std::min(ry, (box[3] - box[1]) / 2);
  Path p;
  double h = kPi / 2;
  AppendArc(p, map, box[2] - rx, box[1] + ry, rx, ry, -h, h, false);
  AppendArc(p, map, box[2] - rx, box[3] - ry, rx, ry, 0, h, true);
  AppendArc(p, map, box[0] + rx, box[3] - ry, rx, ry, h, h, true);
  AppendArc(p, map, box[0] + rx, box[1] + ry, rx, ry, 2 * h, h, true);
  p.Close();
  Emit(p, true, true);
}

void Player::AngleArc(double cx, double cy, double radius, double startDeg, double sweepDeg) {
  if (!std::isfinite(startDeg) || !std::isfinite(sweepDeg) || radius > 1e9) return;
  sweepDeg = std::max(-3600.0, std::min(3600.0, sweepDeg));
  Path p;
  Path& target = inPath_ ? path_ : p;
  if (inPath_)
    EnsureFigure();
  else
    p.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
  // Counter-clockwise on the page: y grows downwards, so the radius runs upwards.
  auto map = [this](double x, double y) { return DevExact(x, y); };
  AppendArc(target, map, cx, cy, radius, -radius, startDeg * kPi / 180, sweepDeg * kPi / 180, true);
  double e = (startDeg + sweepDeg) * kPi / 180;
  dc_.cur = {cx + radius * std::cos(e), cy - radius * std::sin(e)};
  if (!inPath_) DrawPath(p, false, true);
}

void Player::SetPixel(double x, double y, uint32_t color) {
  Pt p = Dev(x, y);
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return;
  EnsureClip();
  SetColor(cr_, color);
  cairo_rectangle(cr_, p.x, p.y, 1, 1);
  cairo_fill(cr_);
  ++drawn_;
}

void Player::FillRect(double l, double t, double r, double b, const Brush& brush) {
  Path p;
  p.MoveTo(Dev(l, t));
  p.LineTo(Dev(r, t));
  p.LineTo(Dev(r, b));
  p.LineTo(Dev(l, b));
  p.Close();
  double bounds[4];
  PathBounds(p.ops, bounds);
  Paint(
      [&](cairo_t* c) {
        if (!SetBrushSource(c, brush)) return;
        AddPath(c, p.ops);
        cairo_fill(c);
      },
      bounds, R2_COPYPEN);
  ++drawn_;
}

/* ---- Painting --------------------------------------------------------------------------- */

void Player::AddPath(cairo_t* c, const std::vector<PathOp>& ops) {
  // Pixels are sampled at their centres: the figure moves by just under half a pixel so
  // that a pixel belongs to it when its top-left corner does, ties going to the right
  // and bottom neighbours.
  const double o = 0.499;
  cairo_new_path(c);
  for (const PathOp& op : ops) {
    switch (op.kind) {
      case PathOp::kMove:
        cairo_move_to(c, op.p[0].x + o, op.p[0].y + o);
        break;
      case PathOp::kLine:
        cairo_line_to(c, op.p[0].x + o, op.p[0].y + o);
        break;
      case PathOp::kCurve:
        cairo_curve_to(c, op.p[0].x + o, op.p[0].y + o, op.p[1].x + o, op.p[1].y + o, op.p[2].x + o,
                       op.p[2].y + o);
        break;
      case PathOp::kClose:
        cairo_close_path(c);
        break;
    }
  }
}

void Player::PathBounds(const std::vector<PathOp>& ops, double b[4]) {
  b[0] = b[1] = kLimit;
  b[2] = b[3] = -kLimit;
  for (const PathOp& op : ops) {
    int n = op.kind == PathOp::kCurve ? 3 : op.kind == PathOp::kClose ? 0 : 1;
    for (int i = 0; i < n; ++i) {
      b[0] = std::min(b[0], op.p[i].x);
      b[1] = std::min(b[1], op.p[i].y);
      b[2] = std::max(b[2], op.p[i].x);
      b[3] = std::max(b[3], op.p[i].y);
    }
  }
}

uint32_t Player::ResolveColor(uint32_t c) const {
  if ((c >> 24) == 1) {  // an index into the selected palette
    uint32_t index = c & 0xFFFF;
    if (dc_.palette && index < dc_.palette->size()) {
      uint32_t rgb = (*dc_.palette)[index];
      return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    }
    return 0;
  }
  return c & 0xFFFFFF;
}

void Player::SetColor(cairo_t* c, uint32_t colorref) const {
  uint32_t v = ResolveColor(colorref);
  cairo_set_source_rgb(c, (v & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0,
                       ((v >> 16) & 0xFF) / 255.0);
}

bool Player::SetBrushSource(cairo_t* c, const Brush& brush) const {
  if (brush.IsNull()) return false;
  if (brush.style == BS_SOLID) {
    SetColor(c, brush.color);
    return true;
  }
  cairo_surface_t* tile;
  if (brush.style == BS_HATCHED) {
    tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    if (cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(tile);
      return false;
    }
    cairo_surface_flush(tile);
    uint32_t* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(tile));
    int stride = cairo_image_surface_get_stride(tile) / 4;
    uint32_t fg = 0xFF000000u | ColorRefToRGB(ResolveColor(brush.color));
    uint32_t bg =
        dc_.bkMode == OPAQUE_BK ? 0xFF000000u | ColorRefToRGB(ResolveColor(dc_.bkColor)) : 0;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        bool on;
        switch (brush.hatch) {
          case HS_HORIZONTAL:
            on = y == 7;
            break;
          case HS_VERTICAL:
            on = x == 7;
            break;
          case HS_FDIAGONAL:
            on = x == y;
            break;
          case HS_BDIAGONAL:
            on = x + y == 7;
            break;
          case HS_CROSS:
            on = x == 7 || y == 7;
            break;
          default:
            on = x == y || x + y == 7;
            break;
        }
        px[y * stride + x] = on ? fg : bg;
      }
    }
    cairo_surface_mark_dirty(tile);
  } else {
    const Raster& r = *brush.pattern;
    tile = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(r.pixels.data())),
        CAIRO_FORMAT_RGB24, r.width, r.height, r.width * 4);
    if (cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(tile);
      return false;
    }
  }
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  // Brush patterns are not scaled: they tile the device from the brush origin.
  double ox = dc_.brushOrg.x, oy = dc_.brushOrg.y;
  cairo_matrix_transform_point(&base_, &ox, &oy);
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, -Round(ox), -Round(oy));
  cairo_pattern_set_matrix(pattern, &m);
  cairo_set_source(c, pattern);
  cairo_pattern_destroy(pattern);
  cairo_surface_destroy(tile);
  return true;
}

double Player::PenExtent() const {
  if (dc_.pen.width <= 0) return 1;
  // The pen is a shape in logical units: its extent on the device is the larger of its
  // transformed width and height.
  cairo_matrix_t m = Transform();
  double w = dc_.pen.width * std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
  return std::isfinite(w) ? std::min(w, kMaxPenExtent) : 1;
}

std::vector<double> Player::PenDashes(bool thin) const {
  const Pen& pen = dc_.pen;
  double u = thin ? 1 : pen.width;
  switch (pen.style & PS_STYLE_MASK) {
    case PS_DASH:
      return thin ? std::vector<double>{18, 6} : std::vector<double>{3 * u, u};
    case PS_DOT:
      return thin ? std::vector<double>{3, 3} : std::vector<double>{u, u};
    case PS_DASHDOT:
      return thin ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3 * u, u, u, u};
    case PS_DASHDOTDOT:
      return thin ? std::vector<double>{9, 3, 3, 3, 3, 3}
                  : std::vector<double>{3 * u, u, u, u, u, u};
    case PS_ALTERNATE:
      return {1, 1};
    case PS_USERSTYLE: {
      std::vector<double> dashes;
      double total = 0;
      for (double d : pen.userDashes) {
        dashes.push_back(std::max(0.0, std::min(1e6, d)));
        total += dashes.back();
      }
      if (total <= 0) dashes.clear();
      return dashes;
    }
    default:
      return {};
  }
}

void Player::SetPenStroke(cairo_t* c) const {
  // Called with the path in place: the pen is drawn through the mapping, so a wide pen
  // stretches with the page as GDI's geometric pens do.
  const Pen& pen = dc_.pen;
  SetColor(c, pen.color);
  cairo_matrix_t m = Transform(), inverse;
  m.x0 = m.y0 = 0;
  inverse = m;
  double width = pen.width;
  double extent = pen.width * std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
  if (extent <= kMaxPenExtent && cairo_matrix_invert(&inverse) == CAIRO_STATUS_SUCCESS) {
    cairo_set_matrix(c, &m);
  } else {
    // A degenerate mapping, or one that stretches the pen past what Cairo's fixed-point
    // geometry holds (an absurd reference device, extents or world transform): a round
    // pen of the capped extent. Through such a mapping Cairo builds strokes of
    // astronomic size and allocates hundreds of megabytes for one line.
    width = PenExtent();
  }
  cairo_set_line_width(c, width);
  uint32_t cap = pen.style & PS_ENDCAP_MASK, join = pen.style & PS_JOIN_MASK;
  cairo_set_line_cap(c, cap == PS_ENDCAP_FLAT     ? CAIRO_LINE_CAP_BUTT
                        : cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                  : CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(c, join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                         : join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                 : CAIRO_LINE_JOIN_ROUND);
  cairo_set_miter_limit(c, dc_.miterLimit);
  std::vector<double> dashes = PenDashes(false);
  cairo_set_dash(c, dashes.empty() ? nullptr : dashes.data(), int(dashes.size()), 0);
}

namespace {

// One-pixel lines step from pixel to pixel as GDI's do: one pixel per row or column,
// the last pixel of each line left out, styles counted in pixels.
class ThinLines {
 public:
  ThinLines(int x0, int y0, int x1, int y1, const std::vector<double>& dashes, bool gaps)
      : x0_(x0), y0_(y0), w_(x1 - x0), h_(y1 - y0), dashes_(dashes) {
    for (double d : dashes_) period_ += d;
    on_ = cairo_image_surface_create(CAIRO_FORMAT_A8, w_, h_);
    if (gaps) off_ = cairo_image_surface_create(CAIRO_FORMAT_A8, w_, h_);
  }
  ~ThinLines() {
    cairo_surface_destroy(on_);
    if (off_) cairo_surface_destroy(off_);
  }
  bool ok() const {
    return cairo_surface_status(on_) == CAIRO_STATUS_SUCCESS &&
           (!off_ || cairo_surface_status(off_) == CAIRO_STATUS_SUCCESS);
  }
  cairo_surface_t* on() const { return on_; }
  cairo_surface_t* off() const { return off_; }

  void Line(double ax, double ay, double bx, double by) {
    // Clip to the mask (a pixel beyond it) so a huge line costs no more than a short one,
    // keeping the style's phase by counting the pixels skipped.
    double t0 = 0, t1 = 1, dx = bx - ax, dy = by - ay;
    double lo[2] = {double(x0_) - 2, double(y0_) - 2},
           hi[2] = {double(x0_ + w_) + 2, double(y0_ + h_) + 2};
    double p[2] = {ax, ay}, d[2] = {dx, dy};
    for (int k = 0; k < 2; ++k) {
      if (d[k] == 0) {
        if (p[k] < lo[k] || p[k] > hi[k]) return Advance(std::max(std::abs(dx), std::abs(dy)));
        continue;
      }
      double ta = (lo[k] - p[k]) / d[k], tb = (hi[k] - p[k]) / d[k];
      t0 = std::max(t0, std::min(ta, tb));
      t1 = std::min(t1, std::max(ta, tb));
    }
    double steps = std::max(std::abs(dx), std::abs(dy));
    if (t0 >= t1) return Advance(steps);
    Advance(std::floor(t0 * steps));
    int x = int(std::floor(ax + t0 * dx)), y = int(std::floor(ay + t0 * dy));
    int ex = int(std::floor(ax + t1 * dx)), ey = int(std::floor(ay + t1 * dy));
    if (t1 < 1) {  // the line goes on beyond the mask: draw through the clipped end
      ex += ex > x ? 1 : ex < x ? -1 : 0;
      ey += ey > y ? 1 : ey < y ? -1 : 0;
    }
    int adx = std::abs(ex - x), ady = -std::abs(ey - y);
    int sx = x < ex ? 1 : -1, sy = y < ey ? 1 : -1, err = adx + ady;
    while (x != ex || y != ey) {
      Plot(x, y);
      int e2 = 2 * err;
      if (e2 >= ady) {
        err += ady;
        x += sx;
      }
      if (e2 <= adx) {
        err += adx;
        y += sy;
      }
    }
  }

 private:
  void Advance(double pixels) {
    if (period_ > 0) phase_ = std::fmod(phase_ + pixels, period_);
  }
  void Plot(int x, int y) {
    bool on = true;
    if (period_ > 0) {
      double at = phase_;
      for (size_t i = 0; i < dashes_.size(); ++i) {
        if (at < dashes_[i]) {
          on = i % 2 == 0;
          break;
        }
        at -= dashes_[i];
      }
      Advance(1);
    }
    int mx = x - x0_, my = y - y0_;
    if (mx < 0 || my < 0 || mx >= w_ || my >= h_) return;
    cairo_surface_t* target = on ? on_ : off_;
    if (!target) return;
    unsigned char* data = cairo_image_surface_get_data(target);
    data[size_t(my) * cairo_image_surface_get_stride(target) + mx] = 255;
  }

  int x0_, y0_, w_, h_;
  std::vector<double> dashes_;
  double period_ = 0, phase_ = 0;
  cairo_surface_t* on_ = nullptr;
  cairo_surface_t* off_ = nullptr;
};

}  // namespace

void Player::StrokeThin(cairo_t* c, const std::vector<PathOp>& ops, const double b[4]) const {
  int x0 = int(std::max(-1.0, std::floor(b[0]) - 1)),
      y0 = int(std::max(-1.0, std::floor(b[1]) - 1));
  int x1 = int(std::min(double(width_) + 1, std::ceil(b[2]) + 2));
  int y1 = int(std::min(double(height_) + 1, std::ceil(b[3]) + 2));
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<double> dashes = PenDashes(true);
  uint32_t style = dc_.pen.style & PS_STYLE_MASK;
  bool gaps = !dashes.empty() && style != PS_ALTERNATE && dc_.bkMode == OPAQUE_BK;
  ThinLines lines(x0, y0, x1, y1, dashes, gaps);
  if (!lines.ok()) return;
  cairo_surface_flush(lines.on());
  if (lines.off()) cairo_surface_flush(lines.off());
  // Curves are flattened first; the flat path carries the pixel offset of all figures.
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* t = cairo_create(scratch);
  cairo_set_tolerance(t, 0.2);
  AddPath(t, ops);
  cairo_path_t* flat = cairo_copy_path_flat(t);
  double cx = 0, cy = 0, sx = 0, sy = 0;
  for (int i = 0; flat->status == CAIRO_STATUS_SUCCESS && i < flat->num_data;
       i += flat->data[i].header.length) {
    const cairo_path_data_t* d = &flat->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        cx = sx = d[1].point.x;
        cy = sy = d[1].point.y;
        break;
      case CAIRO_PATH_LINE_TO:
        lines.Line(cx, cy, d[1].point.x, d[1].point.y);
        cx = d[1].point.x;
        cy = d[1].point.y;
        break;
      case CAIRO_PATH_CLOSE_PATH:
        lines.Line(cx, cy, sx, sy);
        cx = sx;
        cy = sy;
        break;
      default:
        break;
    }
  }
  cairo_path_destroy(flat);
  cairo_destroy(t);
  cairo_surface_destroy(scratch);
  cairo_surface_mark_dirty(lines.on());
  if (lines.off()) {
    cairo_surface_mark_dirty(lines.off());
    SetColor(c, dc_.bkColor);
    cairo_mask_surface(c, lines.off(), x0, y0);
  }
  SetColor(c, dc_.pen.color);
  cairo_mask_surface(c, lines.on(), x0, y0);
}

void Player::DrawPath(const Path& path, bool fill, bool stroke) {
  if (path.empty()) return;
  double b[4];
  PathBounds(path.ops, b);
  bool drew = false;
  if (fill && !dc_.brush.IsNull()) {
    cairo_fill_rule_t rule =
        dc_.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD;
    Paint(
        [&](cairo_t* c) {
          if (!SetBrushSource(c, dc_.brush)) return;
          AddPath(c, path.ops);
          cairo_set_fill_rule(c, rule);
          cairo_fill(c);
        },
        b, dc_.rop2);
    drew = true;
  }
  if (stroke && !dc_.pen.IsNull()) {
    double extent = PenExtent();
    double margin = extent * std::max(1.0, dc_.miterLimit) / 2 + 2;
    double sb[4] = {b[0] - margin, b[1] - margin, b[2] + margin, b[3] + margin};
    uint32_t style = dc_.pen.style & PS_STYLE_MASK;
    bool dashed = style >= PS_DASH && style <= PS_DASHDOTDOT;
    Paint(
        [&](cairo_t* c) {
          // Pens that would cover less than a pixel and a half draw one-pixel lines.
          if (extent < 1.5) return StrokeThin(c, path.ops, sb);
          AddPath(c, path.ops);
          SetPenStroke(c);
          if (dashed && dc_.bkMode == OPAQUE_BK) {
            // The gaps of styled lines take the background colour.
            cairo_save(c);
            cairo_set_dash(c, nullptr, 0, 0);
            SetColor(c, dc_.bkColor);
            cairo_stroke_preserve(c);
            cairo_restore(c);
          }
          cairo_stroke(c);
        },
        sb, dc_.rop2);
    drew = true;
  }
  if (drew) ++drawn_;
}

void Player::Paint(const std::function<void(cairo_t*)>& draw, double b[4], uint32_t rop2) {
  if (rop2 == R2_NOP) return;
  if (rop2 == R2_COPYPEN) {
    EnsureClip();
    cairo_save(cr_);
    draw(cr_);
    cairo_restore(cr_);
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) ResetContext();
    return;
  }
  // Other mixes combine the pen or brush with the pixels already there: draw into a
  // scratch surface over the figure, then mix pixel by pixel.
  int x0 = int(std::max(0.0, std::floor(b[0]) - 1)), y0 = int(std::max(0.0, std::floor(b[1]) - 1));
  int x1 = int(std::min(double(width_), std::ceil(b[2]) + 2));
  int y1 = int(std::min(double(height_), std::ceil(b[3]) + 2));
  if (x0 >= x1 || y0 >= y1) return;
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, x1 - x0, y1 - y0);
  if (cairo_surface_status(scratch) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(scratch);
    return;
  }
  cairo_surface_set_device_offset(scratch, -x0, -y0);
  cairo_t* c = cairo_create(scratch);
  cairo_set_antialias(c, CAIRO_ANTIALIAS_NONE);
  ApplyClip(c);
  draw(c);
  cairo_destroy(c);
  cairo_surface_flush(scratch);
  cairo_surface_flush(surface_);
  const uint8_t* data = cairo_image_surface_get_data(scratch);
  int stride = cairo_image_surface_get_stride(scratch);
  for (int y = y0; y < y1; ++y) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(data + size_t(y - y0) * stride);
    uint32_t* dst = pixels_ + size_t(y) * width_;
    for (int x = x0; x < x1; ++x) {
      uint32_t s = src[x - x0];
      if ((s >> 24) < 128) continue;
      dst[x] = Rop2(rop2, s & 0xFFFFFF, dst[x] & 0xFFFFFF);
    }
  }
  cairo_surface_mark_dirty(surface_);
  cairo_surface_destroy(scratch);
}

/* ---- Clipping --------------------------------------------------------------------------- */

void Player::ApplyClip(cairo_t* c) const {
  for (const auto* clip : {dc_.metaClip.get(), dc_.clip.get()}) {
    if (!clip) continue;
    if (clip->region) {
      cairo_new_path(c);
      int n = cairo_region_num_rectangles(clip->region->get());
      for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(clip->region->get(), i, &r);
        cairo_rectangle(c, r.x, r.y, r.width, r.height);
      }
      cairo_clip(c);
    }
    for (const ClipPath& p : clip->paths) {
      AddPath(c, p.ops);
      cairo_set_fill_rule(c, p.rule);
      cairo_clip(c);
    }
  }
  cairo_set_fill_rule(c, CAIRO_FILL_RULE_WINDING);
  cairo_new_path(c);
}

void Player::ResetContext() {
  // A drawing call that put the context in an error state must not end playback.
  cairo_destroy(cr_);
  cr_ = cairo_create(surface_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  clipDirty_ = true;
}

void Player::EnsureClip() {
  if (!clipDirty_) return;
  cairo_reset_clip(cr_);
  ApplyClip(cr_);
  clipDirty_ = false;
}

void Player::SetClip(std::shared_ptr<const Clip> clip) {
  dc_.clip = std::move(clip);
  clipDirty_ = true;
}

Region Player::ClipRegionOrCanvas() const {
  if (dc_.clip && dc_.clip->region) return *dc_.clip->region;
  return Region(cairo_rectangle_int_t{0, 0, width_, height_});
}

void Player::CombineRegion(const Region& region, uint32_t mode) {
  auto clip = std::make_shared<Clip>();
  if (mode == RGN_COPY) {
    clip->region = std::make_shared<Region>(region);
    SetClip(clip);
    return;
  }
  auto combined = std::make_shared<Region>(ClipRegionOrCanvas());
  switch (mode) {
    case RGN_AND:
      cairo_region_intersect(combined->get(), region.get());
      if (dc_.clip) clip->paths = dc_.clip->paths;
      break;
    case RGN_OR:
      cairo_region_union(combined->get(), region.get());
      break;
    case RGN_XOR:
      cairo_region_xor(combined->get(), region.get());
      break;
    case RGN_DIFF:
      cairo_region_subtract(combined->get(), region.get());
      if (dc_.clip) clip->paths = dc_.clip->paths;
      break;
    default:
      return;
  }
  clip->region = combined;
  SetClip(clip);
}

void Player::ClipRect(double l, double t, double r, double b, bool exclude) {
  cairo_matrix_t m = Transform();
  double xs[4] = {l, r, r, l}, ys[4] = {t, t, b, b};
  double minX = kLimit, minY = kLimit, maxX = -kLimit, maxY = -kLimit;
  for (int i = 0; i < 4; ++i) {
    double x = xs[i], y = ys[i];
    cairo_matrix_transform_point(&m, &x, &y);
    minX = std::min(minX, Round(x));
    minY = std::min(minY, Round(y));
    maxX = std::max(maxX, Round(x));
    maxY = std::max(maxY, Round(y));
  }
  int x0 = CanvasInt(minX, width_), y0 = CanvasInt(minY, height_);
  int x1 = CanvasInt(maxX, width_), y1 = CanvasInt(maxY, height_);
  Region rect(cairo_rectangle_int_t{x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)});
  CombineRegion(rect, exclude ? RGN_DIFF : RGN_AND);
}

bool Player::ReadRegion(const ByteView& r, size_t at, size_t bytes, Region* out) const {
  ByteView rgn = r.Sub(at, bytes);
  if (rgn.size() < 32) return false;
  uint32_t headerSize = rgn.U32(0), count = rgn.U32(8);
  if (headerSize < 32 || !rgn.HasArray(headerSize, count, 16)) return false;
  std::vector<cairo_rectangle_int_t> rects;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    size_t p = headerSize + 16 * size_t(i);
    double l = rgn.I32(p), t = rgn.I32(p + 4), rr = rgn.I32(p + 8), bb = rgn.I32(p + 12);
    cairo_matrix_transform_point(&base_, &l, &t);
    cairo_matrix_transform_point(&base_, &rr, &bb);
    int x0 = CanvasInt(Round(std::min(l, rr)), width_),
        x1 = CanvasInt(Round(std::max(l, rr)), width_);
    int y0 = CanvasInt(Round(std::min(t, bb)), height_),
        y1 = CanvasInt(Round(std::max(t, bb)), height_);
    if (x1 > x0 && y1 > y0) rects.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  cairo_region_t* region = cairo_region_create_rectangles(rects.data(), int(rects.size()));
  *out = Region();
  cairo_region_union(out->get(), region);
  cairo_region_destroy(region);
  return true;
}

void Player::SelectClipPath(uint32_t mode) {
  if (inPath_ || path_.empty()) return;
  ClipPath cp;
  cp.ops = std::move(path_.ops);
  cp.rule = dc_.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD;
  path_ = Path();
  if (mode == RGN_COPY || mode == RGN_AND) {
    auto clip = std::make_shared<Clip>();
    if (mode == RGN_AND && dc_.clip) *clip = *dc_.clip;
    clip->paths.push_back(std::move(cp));
    SetClip(clip);
    return;
  }
  // Union and differences with a curved area are kept as its bounding rectangle.
  double b[4];
  PathBounds(cp.ops, b);
  int x0 = CanvasInt(std::floor(b[0]), width_), y0 = CanvasInt(std::floor(b[1]), height_);
  int x1 = CanvasInt(std::ceil(b[2]), width_), y1 = CanvasInt(std::ceil(b[3]), height_);
  CombineRegion(Region(cairo_rectangle_int_t{x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)}),
                mode);
}

void Player::OffsetClip(double dx, double dy) {
  if (!dc_.clip) return;
  int ix = int(std::max(-1e6, std::min(1e6, Round(dx))));
  int iy = int(std::max(-1e6, std::min(1e6, Round(dy))));
  auto clip = std::make_shared<Clip>(*dc_.clip);
  if (clip->region) {
    auto region = std::make_shared<Region>(*clip->region);
    cairo_region_translate(region->get(), ix, iy);
    clip->region = region;
  }
  for (ClipPath& p : clip->paths)
    for (PathOp& op : p.ops)
      for (Pt& q : op.p) {
        q.x += ix;
        q.y += iy;
      }
  SetClip(clip);
}

}  // namespace pxmf
