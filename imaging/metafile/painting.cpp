// Painting of playback: device paths filled with the brush and stroked with the pen
// through the clip and the mix mode.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

namespace {

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

void Player::AddPath(cairo_t* c, const std::vector<PathOp>& ops) {
  // Pixels are sampled at their centres: the figure moves by just under half a pixel so
  // that a pixel belongs to it when its top-left corner does, ties going to the right
  // and bottom neighbours.
  const double o = 0.499;
  Cairo().cairo_new_path(c);
  for (const PathOp& op : ops) {
    switch (op.kind) {
      case PathOp::kMove:
        Cairo().cairo_move_to(c, op.p[0].x + o, op.p[0].y + o);
        break;
      case PathOp::kLine:
        Cairo().cairo_line_to(c, op.p[0].x + o, op.p[0].y + o);
        break;
      case PathOp::kCurve:
        Cairo().cairo_curve_to(c, op.p[0].x + o, op.p[0].y + o, op.p[1].x + o, op.p[1].y + o,
                               op.p[2].x + o, op.p[2].y + o);
        break;
      case PathOp::kClose:
        Cairo().cairo_close_path(c);
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
  Cairo().cairo_set_source_rgb(c, (v & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0,
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
    tile = Cairo().cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    if (Cairo().cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
      Cairo().cairo_surface_destroy(tile);
      return false;
    }
    Cairo().cairo_surface_flush(tile);
    uint32_t* px = reinterpret_cast<uint32_t*>(Cairo().cairo_image_surface_get_data(tile));
    int stride = Cairo().cairo_image_surface_get_stride(tile) / 4;
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
    Cairo().cairo_surface_mark_dirty(tile);
  } else {
    const Raster& r = *brush.pattern;
    tile = Cairo().cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(r.pixels.data())),
        CAIRO_FORMAT_RGB24, r.width, r.height, r.width * 4);
    if (Cairo().cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
      Cairo().cairo_surface_destroy(tile);
      return false;
    }
  }
  cairo_pattern_t* pattern = Cairo().cairo_pattern_create_for_surface(tile);
  Cairo().cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
  Cairo().cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  // Brush patterns are not scaled: they tile the device from the brush origin.
  double ox = dc_.brushOrg.x, oy = dc_.brushOrg.y;
  Cairo().cairo_matrix_transform_point(&base_, &ox, &oy);
  cairo_matrix_t m;
  Cairo().cairo_matrix_init_translate(&m, -Round(ox), -Round(oy));
  Cairo().cairo_pattern_set_matrix(pattern, &m);
  Cairo().cairo_set_source(c, pattern);
  Cairo().cairo_pattern_destroy(pattern);
  Cairo().cairo_surface_destroy(tile);
  return true;
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
          Cairo().cairo_set_fill_rule(c, rule);
          Cairo().cairo_fill(c);
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
            Cairo().cairo_save(c);
            Cairo().cairo_set_dash(c, nullptr, 0, 0);
            SetColor(c, dc_.bkColor);
            Cairo().cairo_stroke_preserve(c);
            Cairo().cairo_restore(c);
          }
          Cairo().cairo_stroke(c);
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
    Cairo().cairo_save(cr_);
    draw(cr_);
    Cairo().cairo_restore(cr_);
    if (Cairo().cairo_status(cr_) != CAIRO_STATUS_SUCCESS) ResetContext();
    return;
  }
  // Other mixes combine the pen or brush with the pixels already there: draw into a
  // scratch surface over the figure, then mix pixel by pixel.
  int x0 = int(std::max(0.0, std::floor(b[0]) - 1)), y0 = int(std::max(0.0, std::floor(b[1]) - 1));
  int x1 = int(std::min(double(width_), std::ceil(b[2]) + 2));
  int y1 = int(std::min(double(height_), std::ceil(b[3]) + 2));
  if (x0 >= x1 || y0 >= y1) return;
  cairo_surface_t* scratch =
      Cairo().cairo_image_surface_create(CAIRO_FORMAT_ARGB32, x1 - x0, y1 - y0);
  if (Cairo().cairo_surface_status(scratch) != CAIRO_STATUS_SUCCESS) {
    Cairo().cairo_surface_destroy(scratch);
    return;
  }
  Cairo().cairo_surface_set_device_offset(scratch, -x0, -y0);
  cairo_t* c = Cairo().cairo_create(scratch);
  Cairo().cairo_set_antialias(c, CAIRO_ANTIALIAS_NONE);
  ApplyClip(c);
  draw(c);
  Cairo().cairo_destroy(c);
  Cairo().cairo_surface_flush(scratch);
  Cairo().cairo_surface_flush(surface_);
  const uint8_t* data = Cairo().cairo_image_surface_get_data(scratch);
  int stride = Cairo().cairo_image_surface_get_stride(scratch);
  for (int y = y0; y < y1; ++y) {
    const uint32_t* src = reinterpret_cast<const uint32_t*>(data + size_t(y - y0) * stride);
    uint32_t* dst = pixels_ + size_t(y) * width_;
    for (int x = x0; x < x1; ++x) {
      uint32_t s = src[x - x0];
      if ((s >> 24) < 128) continue;
      dst[x] = Rop2(rop2, s & 0xFFFFFF, dst[x] & 0xFFFFFF);
    }
  }
  Cairo().cairo_surface_mark_dirty(surface_);
  Cairo().cairo_surface_destroy(scratch);
}

void Player::ResetContext() {
  // A drawing call that put the context in an error state must not end playback.
  Cairo().cairo_destroy(cr_);
  cr_ = Cairo().cairo_create(surface_);
  Cairo().cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  clipDirty_ = true;
}

void Player::EnsureClip() {
  if (!clipDirty_) return;
  Cairo().cairo_reset_clip(cr_);
  ApplyClip(cr_);
  clipDirty_ = false;
}

}  // namespace pxmf
