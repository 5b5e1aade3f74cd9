// Pens of playback: styles, widths, caps and joins, and the one-pixel lines GDI steps
// from pixel to pixel.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

namespace {

constexpr double kMaxPenExtent = 1e6;  // pixels; wider pens are drawn this wide

}  // namespace

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
  if (extent <= kMaxPenExtent && Cairo().cairo_matrix_invert(&inverse) == CAIRO_STATUS_SUCCESS) {
    Cairo().cairo_set_matrix(c, &m);
  } else {
    // A degenerate mapping, or one that stretches the pen past what Cairo's fixed-point
    // geometry holds (an absurd reference device, extents or world transform): a round
    // pen of the capped extent. Through such a mapping Cairo builds strokes of
    // astronomic size and allocates hundreds of megabytes for one line.
    width = PenExtent();
  }
  Cairo().cairo_set_line_width(c, width);
  uint32_t cap = pen.style & PS_ENDCAP_MASK, join = pen.style & PS_JOIN_MASK;
  Cairo().cairo_set_line_cap(c, cap == PS_ENDCAP_FLAT     ? CAIRO_LINE_CAP_BUTT
                                : cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                                                          : CAIRO_LINE_CAP_ROUND);
  Cairo().cairo_set_line_join(c, join == PS_JOIN_BEVEL   ? CAIRO_LINE_JOIN_BEVEL
                                 : join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                         : CAIRO_LINE_JOIN_ROUND);
  Cairo().cairo_set_miter_limit(c, dc_.miterLimit);
  std::vector<double> dashes = PenDashes(false);
  Cairo().cairo_set_dash(c, dashes.empty() ? nullptr : dashes.data(), int(dashes.size()), 0);
}

namespace {

// One-pixel lines step from pixel to pixel as GDI's do: one pixel per row or column,
// the last pixel of each line left out, styles counted in pixels.
class ThinLines {
 public:
  ThinLines(int x0, int y0, int x1, int y1, const std::vector<double>& dashes, bool gaps)
      : x0_(x0), y0_(y0), w_(x1 - x0), h_(y1 - y0), dashes_(dashes) {
    for (double d : dashes_) period_ += d;
    on_ = Cairo().cairo_image_surface_create(CAIRO_FORMAT_A8, w_, h_);
    if (gaps) off_ = Cairo().cairo_image_surface_create(CAIRO_FORMAT_A8, w_, h_);
  }
  ~ThinLines() {
    Cairo().cairo_surface_destroy(on_);
    if (off_) Cairo().cairo_surface_destroy(off_);
  }
  bool ok() const {
    return Cairo().cairo_surface_status(on_) == CAIRO_STATUS_SUCCESS &&
           (!off_ || Cairo().cairo_surface_status(off_) == CAIRO_STATUS_SUCCESS);
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
    unsigned char* data = Cairo().cairo_image_surface_get_data(target);
    data[size_t(my) * Cairo().cairo_image_surface_get_stride(target) + mx] = 255;
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
  Cairo().cairo_surface_flush(lines.on());
  if (lines.off()) Cairo().cairo_surface_flush(lines.off());
  // Curves are flattened first; the flat path carries the pixel offset of all figures.
  cairo_surface_t* scratch = Cairo().cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* t = Cairo().cairo_create(scratch);
  Cairo().cairo_set_tolerance(t, 0.2);
  AddPath(t, ops);
  cairo_path_t* flat = Cairo().cairo_copy_path_flat(t);
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
  Cairo().cairo_path_destroy(flat);
  Cairo().cairo_destroy(t);
  Cairo().cairo_surface_destroy(scratch);
  Cairo().cairo_surface_mark_dirty(lines.on());
  if (lines.off()) {
    Cairo().cairo_surface_mark_dirty(lines.off());
    SetColor(c, dc_.bkColor);
    Cairo().cairo_mask_surface(c, lines.off(), x0, y0);
  }
  SetColor(c, dc_.pen.color);
  Cairo().cairo_mask_surface(c, lines.on(), x0, y0);
}

}  // namespace pxmf
