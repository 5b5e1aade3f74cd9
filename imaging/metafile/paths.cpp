// Figure records and the path bracket of playback: lines, curves, polygons, rectangles
// and arcs, and the records that record a path and then fill, stroke or widen it.
#include "metafile/player.h"

namespace pxmf {

namespace {

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

// The points of a polyline-shaped record (bounds, count, points); false when there are
// none or they do not fit.
bool ReadPolyPoints(const ByteView& r, bool small, std::vector<Pt>* pts) {
  uint32_t count = r.U32(24);
  *pts = ReadPoints(r, 28, count, small);
  return pts->size() == count && count;
}

}  // namespace

std::span<const Player::Record> Player::PathRecords() {
  static constexpr Record kRecords[] = {
      {EMR_POLYBEZIER, &Player::PlayPolyBezier<false>},
      {EMR_POLYBEZIER16, &Player::PlayPolyBezier<true>},
      {EMR_POLYBEZIERTO, &Player::PlayPolyBezierTo<false>},
      {EMR_POLYBEZIERTO16, &Player::PlayPolyBezierTo<true>},
      {EMR_POLYGON, &Player::PlayPolygon<false>},
      {EMR_POLYGON16, &Player::PlayPolygon<true>},
      {EMR_POLYLINE, &Player::PlayPolyline<false>},
      {EMR_POLYLINE16, &Player::PlayPolyline<true>},
      {EMR_POLYLINETO, &Player::PlayPolylineTo<false>},
      {EMR_POLYLINETO16, &Player::PlayPolylineTo<true>},
      {EMR_POLYPOLYLINE, &Player::PlayPolyPoly<false, false>},
      {EMR_POLYPOLYLINE16, &Player::PlayPolyPoly<true, false>},
      {EMR_POLYPOLYGON, &Player::PlayPolyPoly<false, true>},
      {EMR_POLYPOLYGON16, &Player::PlayPolyPoly<true, true>},
      {EMR_POLYDRAW, &Player::PlayPolyDraw<false>},
      {EMR_POLYDRAW16, &Player::PlayPolyDraw<true>},
      {EMR_SETPIXELV, &Player::PlaySetPixelV},
      {EMR_MOVETOEX, &Player::PlayMoveToEx},
      {EMR_LINETO, &Player::PlayLineTo},
      {EMR_RECTANGLE, &Player::PlayRectangle},
      {EMR_ROUNDRECT, &Player::PlayRoundRect},
      {EMR_ELLIPSE, &Player::PlayArc<ArcKind::kEllipse>},
      {EMR_ARC, &Player::PlayArc<ArcKind::kArc>},
      {EMR_ARCTO, &Player::PlayArc<ArcKind::kArcTo>},
      {EMR_CHORD, &Player::PlayArc<ArcKind::kChord>},
      {EMR_PIE, &Player::PlayArc<ArcKind::kPie>},
      {EMR_ANGLEARC, &Player::PlayAngleArc},
      {EMR_BEGINPATH, &Player::PlayBeginPath},
      {EMR_ENDPATH, &Player::PlayEndPath},
      {EMR_ABORTPATH, &Player::PlayAbortPath},
      {EMR_CLOSEFIGURE, &Player::PlayCloseFigure},
      {EMR_FILLPATH, &Player::PlayDrawPath<true, false>},
      {EMR_STROKEPATH, &Player::PlayDrawPath<false, true>},
      {EMR_STROKEANDFILLPATH, &Player::PlayDrawPath<true, true>},
      {EMR_WIDENPATH, &Player::PlayWidenPath},
      // EMR_FLATTENPATH changes nothing: curves are flattened when they are drawn.
  };
  return kRecords;
}

/* ---- Figures ---------------------------------------------------------------------------- */

template <bool kSmall>
void Player::PlayPolyBezier(const ByteView& r) {
  std::vector<Pt> pts;
  if (ReadPolyPoints(r, kSmall, &pts)) PolyBezier(pts, false);
}

template <bool kSmall>
void Player::PlayPolyBezierTo(const ByteView& r) {
  std::vector<Pt> pts;
  if (ReadPolyPoints(r, kSmall, &pts)) PolyBezier(pts, true);
}

template <bool kSmall>
void Player::PlayPolygon(const ByteView& r) {
  std::vector<Pt> pts;
  if (ReadPolyPoints(r, kSmall, &pts)) Polyline(pts, true, true);
}

template <bool kSmall>
void Player::PlayPolyline(const ByteView& r) {
  std::vector<Pt> pts;
  if (ReadPolyPoints(r, kSmall, &pts)) Polyline(pts, false, false);
}

template <bool kSmall>
void Player::PlayPolylineTo(const ByteView& r) {
  std::vector<Pt> pts;
  if (ReadPolyPoints(r, kSmall, &pts)) PolylineTo(pts);
}

template <bool kSmall, bool kFill>
void Player::PlayPolyPoly(const ByteView& r) {
  // Bounds, figure count, point count, the figures' point counts, the points.
  uint32_t polys = r.U32(24), total = r.U32(28);
  if (!r.HasArray(32, polys, 4)) return;
  std::vector<uint32_t> counts(polys);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < polys; ++i) sum += counts[i] = r.U32(32 + 4 * size_t(i));
  if (sum > total) return;
  std::vector<Pt> pts = ReadPoints(r, 32 + 4 * size_t(polys), total, kSmall);
  if (pts.size() != total) return;
  PolyPolygon(pts, counts, kFill);
}

template <bool kSmall>
void Player::PlayPolyDraw(const ByteView& r) {
  // Bounds, count, the points, then a type byte per point.
  uint32_t count = r.U32(24);
  std::vector<Pt> pts = ReadPoints(r, 28, count, kSmall);
  size_t typesAt = 28 + size_t(count) * (kSmall ? 4 : 8);
  if (pts.size() != count || !r.HasArray(typesAt, count, 1)) return;
  std::vector<uint8_t> types(r.data() + typesAt, r.data() + typesAt + count);
  PolyDraw(pts, types);
}

void Player::PlaySetPixelV(const ByteView& r) {
  SetPixel(r.I32(8), r.I32(12), r.U32(16));
}

void Player::PlayMoveToEx(const ByteView& r) {
  dc_.cur = {double(r.I32(8)), double(r.I32(12))};
  if (inPath_) path_.MoveTo(Dev(dc_.cur.x, dc_.cur.y));
}

void Player::PlayLineTo(const ByteView& r) {
  LineTo(r.I32(8), r.I32(12));
}

void Player::PlayRectangle(const ByteView& r) {
  Rectangle(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
}

void Player::PlayRoundRect(const ByteView& r) {
  RoundRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28));
}

template <Player::ArcKind kKind>
void Player::PlayArc(const ByteView& r) {
  // The bounding box, then (but for ellipses) the start and end points.
  double box[4] = {double(r.I32(8)), double(r.I32(12)), double(r.I32(16)), double(r.I32(20))};
  Pt start{double(r.I32(24)), double(r.I32(28))}, end{double(r.I32(32)), double(r.I32(36))};
  ArcShape(kKind, box, start, end);
}

void Player::PlayAngleArc(const ByteView& r) {
  AngleArc(r.I32(8), r.I32(12), r.U32(16), r.F32(20), r.F32(24));
}

/* ---- The path bracket ------------------------------------------------------------------- */

void Player::PlayBeginPath(const ByteView&) {
  inPath_ = true;
  path_ = Path();
  pathWidened_ = false;
}

void Player::PlayEndPath(const ByteView&) {
  inPath_ = false;
}

void Player::PlayAbortPath(const ByteView&) {
  inPath_ = false;
  path_ = Path();
}

void Player::PlayCloseFigure(const ByteView&) {
  if (inPath_ && !path_.empty()) path_.Close();
}

template <bool kFill, bool kStroke>
void Player::PlayDrawPath(const ByteView&) {
  if (inPath_) return;
  Path path = std::move(path_);
  path_ = Path();
  if (pathWidened_ && kFill) {
    // A widened path is the pen's outline: filling it paints the stroke in the brush.
    Pen saved = dc_.pen;
    Brush brush = dc_.brush;
    dc_.pen.color = brush.style == BS_SOLID ? brush.color : dc_.pen.color;
    DrawPath(path, false, true);
    dc_.pen = saved;
  } else {
    DrawPath(path, kFill, kStroke);
  }
}

void Player::PlayWidenPath(const ByteView&) {
  pathWidened_ = true;
}

}  // namespace pxmf
