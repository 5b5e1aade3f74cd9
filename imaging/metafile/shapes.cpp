// The figures of playback: lines, curves, polygons, rectangles and arcs as device paths,
// drawn at once or added to the path being recorded.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

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
  Cairo().cairo_rectangle(cr_, p.x, p.y, 1, 1);
  Cairo().cairo_fill(cr_);
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
        Cairo().cairo_fill(c);
      },
      bounds, R2_COPYPEN);
  ++drawn_;
}

}  // namespace pxmf
