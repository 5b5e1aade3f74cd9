// The device-context state of playback: the objects a metafile creates (pens, brushes,
// fonts, palettes), paths, clipping, and the modes GDI keeps while a metafile plays.
#ifndef PIXOLITH_METAFILE_DC_STATE_H
#define PIXOLITH_METAFILE_DC_STATE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metafile/cairo_library.h"
#include "metafile/dib.h"
#include "metafile/records.h"
#include "platform/metafile.h"

namespace pxmf {

struct Pt {
  double x = 0;
  double y = 0;
};

// Paths are kept in output-device coordinates, as GDI keeps them in device units.
struct PathOp {
  enum Kind : uint8_t { kMove, kLine, kCurve, kClose } kind;
  Pt p[3];
};

struct Path {
  std::vector<PathOp> ops;
  void MoveTo(Pt p) { ops.push_back({PathOp::kMove, {p, {}, {}}}); }
  void LineTo(Pt p) { ops.push_back({PathOp::kLine, {p, {}, {}}}); }
  void CurveTo(Pt a, Pt b, Pt c) { ops.push_back({PathOp::kCurve, {a, b, c}}); }
  void Close() { ops.push_back({PathOp::kClose, {}}); }
  bool empty() const { return ops.empty(); }
};

struct Pen {
  uint32_t style = PS_SOLID;  // style, end cap, join and type bits
  double width = 0;           // logical units; 0 draws one pixel wide
  uint32_t color = 0;         // COLORREF
  std::vector<double> userDashes;
  bool IsNull() const { return (style & PS_STYLE_MASK) == PS_NULL; }
  bool Geometric() const { return (style & PS_TYPE_MASK) == PS_GEOMETRIC; }
};

struct Brush {
  uint32_t style = BS_SOLID;
  uint32_t color = 0xFFFFFF;
  uint32_t hatch = 0;
  std::shared_ptr<const Raster> pattern;
  bool IsNull() const { return style == BS_NULL || (IsPattern() && !pattern); }
  bool IsPattern() const {
    return style == BS_PATTERN || style == BS_DIBPATTERN || style == BS_DIBPATTERNPT;
  }
};

struct Font {
  int32_t height = 0;
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  uint8_t charset = 0;
  std::string face;  // UTF-8
};

struct GdiObject {
  enum Kind { kNone, kPen, kBrush, kFont, kPalette } kind = kNone;
  Pen pen;
  Brush brush;
  Font font;
  std::shared_ptr<const std::vector<uint32_t>> palette;
};

// An owned cairo region (integer device rectangles).
class Region {
 public:
  Region() : r_(Cairo().cairo_region_create()) {}
  explicit Region(const cairo_rectangle_int_t& rect)
      : r_(Cairo().cairo_region_create_rectangle(&rect)) {}
  Region(const Region& o) : r_(Cairo().cairo_region_copy(o.r_)) {}
  Region& operator=(const Region& o) {
    if (this != &o) {
      Cairo().cairo_region_destroy(r_);
      r_ = Cairo().cairo_region_copy(o.r_);
    }
    return *this;
  }
  ~Region() { Cairo().cairo_region_destroy(r_); }
  cairo_region_t* get() const { return r_; }

 private:
  cairo_region_t* r_;
};

struct ClipPath {
  std::vector<PathOp> ops;
  cairo_fill_rule_t rule = CAIRO_FILL_RULE_WINDING;
};

// A clipping area: a region (absent = unrestricted) intersected with paths.
struct Clip {
  std::shared_ptr<const Region> region;
  std::vector<ClipPath> paths;
};

struct DCState {
  uint32_t mapMode = MM_TEXT;
  double wOrgX = 0, wOrgY = 0, wExtX = 1, wExtY = 1;
  double vOrgX = 0, vOrgY = 0, vExtX = 1, vExtY = 1;
  cairo_matrix_t world;
  Pen pen;
  Brush brush;
  Font font;
  std::shared_ptr<const std::vector<uint32_t>> palette;
  uint32_t textColor = 0;
  uint32_t bkColor = 0xFFFFFF;
  uint32_t bkMode = OPAQUE_BK;
  uint32_t textAlign = 0;
  uint32_t fillMode = ALTERNATE;
  uint32_t rop2 = R2_COPYPEN;
  uint32_t stretchMode = 1;
  uint32_t arcDirection = AD_COUNTERCLOCKWISE;
  double miterLimit = 10;
  Pt cur;  // current position, logical
  Pt brushOrg;
  std::shared_ptr<const Clip> clip;
  std::shared_ptr<const Clip> metaClip;
};

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_DC_STATE_H
