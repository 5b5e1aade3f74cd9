// Device geometry shared by the drawing files of playback.
//
// Device coordinates are whole pixels as in GDI: a point (x, y) names the pixel whose
// top-left corner is (x, y). A figure from 0 to 10 fills pixels 0 to 9, and its one-pixel
// outline runs through pixels 0 and 10, leaving out the last pixel of each line.
#ifndef PIXOLITH_METAFILE_GEOMETRY_H
#define PIXOLITH_METAFILE_GEOMETRY_H

#include <algorithm>
#include <cmath>

namespace pxmf {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLimit = 1e7;  // device coordinates are clamped here (Cairo's fixed point)

inline double Clamp(double v) {
  if (!std::isfinite(v)) return 0;
  return std::max(-kLimit, std::min(kLimit, v));
}

inline double Round(double v) {
  return std::floor(Clamp(v) + 0.5);
}

// A device coordinate for an integer region: a little beyond the canvas at most, so that
// region arithmetic cannot overflow.
inline int CanvasInt(double v, int limit) {
  return int(std::max(-1.0, std::min(double(limit) + 1, v)));
}

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_GEOMETRY_H
