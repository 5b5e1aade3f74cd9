// Clipping of playback: the clip region and clip paths, combined as the records ask.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

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
