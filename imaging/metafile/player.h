// Enhanced-metafile playback over Cairo: the device-context state GDI keeps while a
// metafile plays (objects, mapping, transform, clipping, paths, modes) and the drawing
// of every record kind real files use.
#ifndef PIXOLITH_METAFILE_PLAYER_H
#define PIXOLITH_METAFILE_PLAYER_H

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "metafile/dib_decode.h"
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
  Region() : r_(cairo_region_create()) {}
  explicit Region(const cairo_rectangle_int_t& rect) : r_(cairo_region_create_rectangle(&rect)) {}
  Region(const Region& o) : r_(cairo_region_copy(o.r_)) {}
  Region& operator=(const Region& o) {
    if (this != &o) {
      cairo_region_destroy(r_);
      r_ = cairo_region_copy(o.r_);
    }
    return *this;
  }
  ~Region() { cairo_region_destroy(r_); }
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

class Player {
 public:
  Player(uint32_t* pixels, int width, int height, const ENHMETAHEADER& header, const RECT& rect,
         ByteView data);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool ok() const { return cr_ != nullptr; }
  void Run(PXPlaybackReport* report);

 private:
  // ---- records (player.cpp)
  void Play(uint32_t type, const ByteView& r);
  void CreateObject(uint32_t index, GdiObject object);
  GdiObject* ObjectAt(uint32_t index);
  void SelectObject(uint32_t index);
  void DeleteObject(uint32_t index);
  void RestoreDC(int32_t relative);
  void SetMapMode(uint32_t mode);
  void ModifyWorld(const cairo_matrix_t& m, uint32_t mode);
  Pen ReadExtPen(const ByteView& r);
  Brush ReadPatternBrush(const ByteView& r, bool mono);
  Font ReadFont(const ByteView& r, size_t at);

  // ---- geometry and drawing (draw.cpp)
  cairo_matrix_t PageMatrix() const;
  cairo_matrix_t Transform() const;  // logical -> output device
  Pt Dev(double x, double y) const;  // rounded to whole pixels, as GDI does
  Pt DevExact(double x, double y) const;
  Pt ToLogical(Pt device) const;
  double ScaleOf(const cairo_matrix_t& m) const;
  bool DeviceBox(double l, double t, double r, double b, double box[4],
                 bool excludeEdges = true) const;
  void Polyline(const std::vector<Pt>& logical, bool close, bool fill);
  void PolylineTo(const std::vector<Pt>& logical);
  void EnsureFigure();
  void PolyPolygon(const std::vector<Pt>& logical, const std::vector<uint32_t>& counts, bool fill);
  void PolyBezier(const std::vector<Pt>& logical, bool to);
  void PolyDraw(const std::vector<Pt>& logical, const std::vector<uint8_t>& types);
  void LineTo(double x, double y);
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double cw, double ch);
  enum class ArcKind { kArc, kArcTo, kChord, kPie, kEllipse };
  void ArcShape(ArcKind kind, const double box[4], Pt start, Pt end);
  void AngleArc(double cx, double cy, double radius, double startDeg, double sweepDeg);
  void AppendArc(Path& path, const std::function<Pt(double, double)>& map, double cx, double cy,
                 double rx, double ry, double a0, double sweep, bool connect);
  // Draws a finished figure, or adds it to the path being recorded.
  void Emit(const Path& path, bool fill, bool stroke);
  void DrawPath(const Path& path, bool fill, bool stroke);
  void SetPixel(double x, double y, uint32_t color);
  void FillRect(double l, double t, double r, double b, const Brush& brush);

  // painting with the clip, the brush, the pen and the mix mode
  void Paint(const std::function<void(cairo_t*)>& draw, double bounds[4], uint32_t rop2);
  void ApplyClip(cairo_t* c) const;
  void EnsureClip();
  void ResetContext();
  void SetColor(cairo_t* c, uint32_t colorref) const;
  uint32_t ResolveColor(uint32_t colorref) const;
  bool SetBrushSource(cairo_t* c, const Brush& brush) const;
  void SetPenStroke(cairo_t* c) const;
  std::vector<double> PenDashes(bool thin) const;
  void StrokeThin(cairo_t* c, const std::vector<PathOp>& ops, const double bounds[4]) const;
  double PenExtent() const;
  static void AddPath(cairo_t* c, const std::vector<PathOp>& ops);
  static void PathBounds(const std::vector<PathOp>& ops, double bounds[4]);

  // clipping
  void SetClip(std::shared_ptr<const Clip> clip);
  Region ClipRegionOrCanvas() const;
  void CombineRegion(const Region& region, uint32_t mode);
  void ClipRect(double l, double t, double r, double b, bool exclude);
  bool ReadRegion(const ByteView& r, size_t at, size_t bytes, Region* out) const;
  void SelectClipPath(uint32_t mode);
  void OffsetClip(double dx, double dy);

  // ---- bitmaps (bitmaps.cpp)
  void BitBltRecord(const ByteView& r, uint32_t type);
  void StretchDIBitsRecord(const ByteView& r);
  void SetDIBitsRecord(const ByteView& r);
  void GradientFill(const ByteView& r);
  bool ReadDib(const ByteView& r, size_t offInfo, size_t cbInfo, size_t offBits, size_t cbBits,
               DibOptions options, Raster* out) const;
  struct Blit {
    const Raster* src = nullptr;
    double sx = 0, sy = 0, sw = 0, sh = 0;  // source rectangle, pixels from the top
    double dx = 0, dy = 0, dw = 0, dh = 0;  // destination, logical
    uint32_t rop = SRCCOPY_ROP;
    enum Mode { kRop, kAlpha, kTransparent } mode = kRop;
    uint8_t constantAlpha = 255;
    bool sourceAlpha = false;
    uint32_t transparent = 0;
    const Raster* mask = nullptr;  // 1 = foreground operation
    uint32_t backgroundRop = 0;
  };
  bool ReadDibBlit(const ByteView& r, Raster* src, Blit* blit) const;
  void DoBlit(const Blit& blit);
  void RasterOp(const double bounds[4], uint32_t rop3,
                const std::function<void(cairo_t*)>& drawSource);

  // ---- text (text.cpp)
  struct TextRun {
    Pt ref;  // logical
    std::u32string text;
    std::vector<double> dx;  // logical advances, empty for the font's own
    std::vector<double> dy;
    uint32_t options = 0;
    uint32_t graphicsMode = GM_COMPATIBLE;
    bool hasRect = false;
    double rect[4] = {0, 0, 0, 0};  // logical
  };
  void TextOut(const TextRun& run);
  bool ReadEmrText(const ByteView& r, size_t at, bool wide, TextRun* run) const;
  cairo_font_face_t* FontFace(const Font& font);

  uint32_t* pixels_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int width_, height_;
  ENHMETAHEADER header_;
  ByteView data_;
  cairo_matrix_t base_;  // reference device -> output device
  double pxPerMMX_, pxPerMMY_;

  DCState dc_;
  std::vector<DCState> saved_;
  std::vector<GdiObject> objects_;
  bool clipDirty_ = true;

  bool inPath_ = false;
  Path path_;
  bool pathWidened_ = false;

  uint32_t drawn_ = 0;
  std::map<std::string, cairo_font_face_t*> faces_;
};

// A COLORREF as Cairo wants it: 0x00RRGGBB.
inline uint32_t ColorRefToRGB(uint32_t c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// The bitwise result of a ternary raster operation (pattern, source, destination).
uint32_t Rop3(uint32_t code, uint32_t p, uint32_t s, uint32_t d);

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_PLAYER_H
