// Mapping of playback: logical coordinates through the page (mapping mode, window and
// viewport), the world transform and the reference device to whole output pixels.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

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
  Cairo().cairo_matrix_init(&m, sx, 0, 0, sy, dc_.vOrgX - dc_.wOrgX * sx,
                            dc_.vOrgY - dc_.wOrgY * sy);
  return m;
}

cairo_matrix_t Player::Transform() const {
  cairo_matrix_t page = PageMatrix(), worldPage, full;
  Cairo().cairo_matrix_multiply(&worldPage, &dc_.world, &page);
  Cairo().cairo_matrix_multiply(&full, &worldPage, &base_);
  return full;
}

Pt Player::DevExact(double x, double y) const {
  cairo_matrix_t m = Transform();
  Cairo().cairo_matrix_transform_point(&m, &x, &y);
  return {Clamp(x), Clamp(y)};
}

Pt Player::Dev(double x, double y) const {
  Pt p = DevExact(x, y);
  return {Round(p.x), Round(p.y)};
}

Pt Player::ToLogical(Pt device) const {
  cairo_matrix_t m = Transform();
  if (Cairo().cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return dc_.cur;
  Cairo().cairo_matrix_transform_point(&m, &device.x, &device.y);
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

}  // namespace pxmf
