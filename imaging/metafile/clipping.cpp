// Clipping records of playback: the clip region and clip paths combined as the records
// ask, the meta region, and the records that paint regions.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

namespace {

void AddRegion(cairo_t* c, const Region& region) {
  int n = Cairo().cairo_region_num_rectangles(region.get());
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    Cairo().cairo_region_get_rectangle(region.get(), i, &r);
    Cairo().cairo_rectangle(c, r.x, r.y, r.width, r.height);
  }
}

// The region's device extent; false when it is empty.
bool RegionBounds(const Region& region, double bounds[4]) {
  if (Cairo().cairo_region_num_rectangles(region.get()) == 0) return false;
  cairo_rectangle_int_t ext;
  Cairo().cairo_region_get_extents(region.get(), &ext);
  bounds[0] = ext.x;
  bounds[1] = ext.y;
  bounds[2] = double(ext.x) + ext.width;
  bounds[3] = double(ext.y) + ext.height;
  return true;
}

}  // namespace

std::span<const Player::Record> Player::ClipRecords() {
  static constexpr Record kRecords[] = {
      {EMR_INTERSECTCLIPRECT, &Player::PlayClipRect<false>},
      {EMR_EXCLUDECLIPRECT, &Player::PlayClipRect<true>},
      {EMR_EXTSELECTCLIPRGN, &Player::PlayExtSelectClipRgn},
      {EMR_OFFSETCLIPRGN, &Player::PlayOffsetClipRgn},
      {EMR_SETMETARGN, &Player::PlaySetMetaRgn},
      {EMR_SELECTCLIPPATH, &Player::PlaySelectClipPath},
      {EMR_FILLRGN, &Player::PlayFillRgn},
      {EMR_PAINTRGN, &Player::PlayPaintRgn},
      {EMR_FRAMERGN, &Player::PlayFrameRgn},
      {EMR_INVERTRGN, &Player::PlayInvertRgn},
  };
  return kRecords;
}

/* ---- Records ---------------------------------------------------------------------------- */

template <bool kExclude>
void Player::PlayClipRect(const ByteView& r) {
  ClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), kExclude);
}

void Player::PlayExtSelectClipRgn(const ByteView& r) {
  uint32_t bytes = r.U32(8), mode = r.U32(12);
  if (bytes == 0 || !r.Has(16, bytes)) {
    if (mode == RGN_COPY) SetClip(nullptr);  // back to the whole surface
    return;
  }
  Region region;
  if (ReadRegion(r, 16, bytes, &region)) CombineRegion(region, mode);
}

void Player::PlayOffsetClipRgn(const ByteView& r) {
  cairo_matrix_t m = Transform();
  double dx = r.I32(8), dy = r.I32(12);
  Cairo().cairo_matrix_transform_distance(&m, &dx, &dy);
  OffsetClip(dx, dy);
}

void Player::PlaySetMetaRgn(const ByteView&) {
  // The current clip becomes part of the meta region and the clip starts afresh.
  if (dc_.clip) {
    if (!dc_.metaClip) {
      dc_.metaClip = dc_.clip;
    } else {
      auto merged = std::make_shared<Clip>(*dc_.metaClip);
      if (dc_.clip->region) {
        auto region =
            std::make_shared<Region>(merged->region ? *merged->region : ClipRegionOrCanvas());
        Cairo().cairo_region_intersect(region->get(), dc_.clip->region->get());
        merged->region = region;
      }
      merged->paths.insert(merged->paths.end(), dc_.clip->paths.begin(), dc_.clip->paths.end());
      dc_.metaClip = merged;
    }
  }
  SetClip(nullptr);
}

void Player::PlaySelectClipPath(const ByteView& r) {
  SelectClipPath(r.U32(8));
}

void Player::PlayFillRgn(const ByteView& r) {
  // Bounds, cbRgnData, ihBrush, then the region.
  Region region;
  Brush brush;
  if (!ReadRegion(r, 32, r.U32(24), &region) || !RegionBrush(r.U32(28), &brush)) return;
  PaintRegion(region, brush, 0);
}

void Player::PlayPaintRgn(const ByteView& r) {
  // Bounds, cbRgnData, then the region, painted with the selected brush.
  Region region;
  if (!ReadRegion(r, 28, r.U32(24), &region)) return;
  PaintRegion(region, dc_.brush, 0);
}

void Player::PlayFrameRgn(const ByteView& r) {
  // Bounds, cbRgnData, ihBrush, the frame's width and height, then the region.
  Region region;
  Brush brush;
  if (!ReadRegion(r, 40, r.U32(24), &region) || !RegionBrush(r.U32(28), &brush)) return;
  // The region's outline, one stroke-width wide.
  PaintRegion(region, brush, std::max(1.0, std::abs(double(r.I32(32))) * ScaleOf(base_)));
}

void Player::PlayInvertRgn(const ByteView& r) {
  Region region;
  double bounds[4];
  if (!ReadRegion(r, 28, r.U32(24), &region) || !RegionBounds(region, bounds)) return;
  RasterOp(bounds, 0x55, [&](cairo_t* c) {
    AddRegion(c, region);
    Cairo().cairo_fill(c);
  });
  ++drawn_;
}

bool Player::RegionBrush(uint32_t index, Brush* brush) {
  GdiObject stock;
  const GdiObject* o = FindObject(index, &stock);
  if (!o || o->kind != GdiObject::kBrush) return false;
  *brush = o->brush;
  return true;
}

void Player::PaintRegion(const Region& region, const Brush& brush, double frame) {
  double bounds[4];
  if (!RegionBounds(region, bounds)) return;
  Paint(
      [&](cairo_t* c) {
        if (!SetBrushSource(c, brush)) return;
        AddRegion(c, region);
        if (frame > 0) {
          Cairo().cairo_set_line_width(c, frame);
          Cairo().cairo_stroke(c);
        } else {
          Cairo().cairo_fill(c);
        }
      },
      bounds, frame > 0 ? R2_COPYPEN : dc_.rop2);
  ++drawn_;
}

/* ---- The clip --------------------------------------------------------------------------- */

void Player::ApplyClip(cairo_t* c) const {
  for (const auto* clip : {dc_.metaClip.get(), dc_.clip.get()}) {
    if (!clip) continue;
    if (clip->region) {
      Cairo().cairo_new_path(c);
      AddRegion(c, *clip->region);
      Cairo().cairo_clip(c);
    }
    for (const ClipPath& p : clip->paths) {
      AddPath(c, p.ops);
      Cairo().cairo_set_fill_rule(c, p.rule);
      Cairo().cairo_clip(c);
    }
  }
  Cairo().cairo_set_fill_rule(c, CAIRO_FILL_RULE_WINDING);
  Cairo().cairo_new_path(c);
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
      Cairo().cairo_region_intersect(combined->get(), region.get());
      if (dc_.clip) clip->paths = dc_.clip->paths;
      break;
    case RGN_OR:
      Cairo().cairo_region_union(combined->get(), region.get());
      break;
    case RGN_XOR:
      Cairo().cairo_region_xor(combined->get(), region.get());
      break;
    case RGN_DIFF:
      Cairo().cairo_region_subtract(combined->get(), region.get());
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
    Cairo().cairo_matrix_transform_point(&m, &x, &y);
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
    Cairo().cairo_matrix_transform_point(&base_, &l, &t);
    Cairo().cairo_matrix_transform_point(&base_, &rr, &bb);
    int x0 = CanvasInt(Round(std::min(l, rr)), width_),
        x1 = CanvasInt(Round(std::max(l, rr)), width_);
    int y0 = CanvasInt(Round(std::min(t, bb)), height_),
        y1 = CanvasInt(Round(std::max(t, bb)), height_);
    if (x1 > x0 && y1 > y0) rects.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  cairo_region_t* region = Cairo().cairo_region_create_rectangles(rects.data(), int(rects.size()));
  *out = Region();
  Cairo().cairo_region_union(out->get(), region);
  Cairo().cairo_region_destroy(region);
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
    Cairo().cairo_region_translate(region->get(), ix, iy);
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
