// Enhanced-metafile playback over Cairo: the record loop, a handler for every record
// kind real files use (listed by subject: objects.cpp, state.cpp, paths.cpp, text.cpp,
// bitmaps.cpp, clipping.cpp), and the drawing they share (mapping.cpp, shapes.cpp,
// painting.cpp, pens.cpp).
#ifndef PIXOLITH_METAFILE_PLAYER_H
#define PIXOLITH_METAFILE_PLAYER_H

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "metafile/cairo_library.h"
#include "metafile/dc_state.h"
#include "metafile/record_table.h"

namespace pxmf {

// Object slots a metafile may ask for; a file that asks for more gets no more, rather
// than exhausting memory.
constexpr uint32_t kMaxObjects = 65536;

// A face's ascent, descent and average lower-case width, per unit of em.
struct FaceMetrics {
  double ascent = 0.8;
  double descent = 0.2;
  double average = 0.5;
};

class Player {
 public:
  Player(uint32_t* pixels, int width, int height, const ENHMETAHEADER& header, const RECT& rect,
         ByteView data);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool ok() const { return cr_ != nullptr; }
  void Run(px::PlaybackReport* report);

 private:
  // One record's handler: it reads the record's fields and changes the state or draws.
  using Handler = void (Player::*)(const ByteView& record);
  using Record = RecordEntry<Handler>;
  static Handler HandlerFor(uint32_t type);
  static std::span<const Record> ObjectRecords();
  static std::span<const Record> StateRecords();
  static std::span<const Record> PathRecords();
  static std::span<const Record> TextRecords();
  static std::span<const Record> BitmapRecords();
  static std::span<const Record> ClipRecords();

  // ---- objects (objects.cpp)
  void PlayCreatePen(const ByteView& r);
  void PlayExtCreatePen(const ByteView& r);
  void PlayCreateBrushIndirect(const ByteView& r);
  template <bool kMono>
  void PlayCreatePatternBrush(const ByteView& r);
  void PlayExtCreateFontIndirectW(const ByteView& r);
  void PlayCreatePalette(const ByteView& r);
  void PlaySelectObject(const ByteView& r);
  void PlaySelectPalette(const ByteView& r);
  void PlayDeleteObject(const ByteView& r);
  void CreateObject(uint32_t index, GdiObject object);
  GdiObject* ObjectAt(uint32_t index);
  // The object an index names: a stock object (made in `stock`) or a slot; null if none.
  const GdiObject* FindObject(uint32_t index, GdiObject* stock);
  Pen ReadExtPen(const ByteView& r);
  Brush ReadPatternBrush(const ByteView& r, bool mono);
  Font ReadFont(const ByteView& r, size_t at);

  // ---- state (state.cpp)
  void PlaySaveDC(const ByteView& r);
  void PlayRestoreDC(const ByteView& r);
  void PlaySetMapMode(const ByteView& r);
  template <double DCState::*kX, double DCState::*kY>
  void PlaySetExtent(const ByteView& r);
  template <double DCState::*kX, double DCState::*kY>
  void PlayScaleExtent(const ByteView& r);
  template <double DCState::*kX, double DCState::*kY>
  void PlaySetOrigin(const ByteView& r);
  void PlaySetBrushOrgEx(const ByteView& r);
  void PlaySetWorldTransform(const ByteView& r);
  void PlayModifyWorldTransform(const ByteView& r);
  template <uint32_t DCState::*kField>
  void PlaySetValue(const ByteView& r);
  void PlaySetROP2(const ByteView& r);
  void PlaySetMiterLimit(const ByteView& r);
  bool Scalable() const;  // isotropic or anisotropic mapping
  void ModifyWorld(const cairo_matrix_t& m, uint32_t mode);

  // ---- figures and the path bracket (paths.cpp)
  template <bool kSmall>
  void PlayPolyBezier(const ByteView& r);
  template <bool kSmall>
  void PlayPolyBezierTo(const ByteView& r);
  template <bool kSmall>
  void PlayPolygon(const ByteView& r);
  template <bool kSmall>
  void PlayPolyline(const ByteView& r);
  template <bool kSmall>
  void PlayPolylineTo(const ByteView& r);
  template <bool kSmall, bool kFill>
  void PlayPolyPoly(const ByteView& r);
  template <bool kSmall>
  void PlayPolyDraw(const ByteView& r);
  void PlaySetPixelV(const ByteView& r);
  void PlayMoveToEx(const ByteView& r);
  void PlayLineTo(const ByteView& r);
  void PlayRectangle(const ByteView& r);
  void PlayRoundRect(const ByteView& r);
  enum class ArcKind { kArc, kArcTo, kChord, kPie, kEllipse };
  template <ArcKind kKind>
  void PlayArc(const ByteView& r);
  void PlayAngleArc(const ByteView& r);
  void PlayBeginPath(const ByteView& r);
  void PlayEndPath(const ByteView& r);
  void PlayAbortPath(const ByteView& r);
  void PlayCloseFigure(const ByteView& r);
  template <bool kFill, bool kStroke>
  void PlayDrawPath(const ByteView& r);
  void PlayWidenPath(const ByteView& r);

  // ---- geometry (mapping.cpp)
  cairo_matrix_t PageMatrix() const;
  cairo_matrix_t Transform() const;  // logical -> output device
  Pt Dev(double x, double y) const;  // rounded to whole pixels, as GDI does
  Pt DevExact(double x, double y) const;
  Pt ToLogical(Pt device) const;
  double ScaleOf(const cairo_matrix_t& m) const;
  bool DeviceBox(double l, double t, double r, double b, double box[4],
                 bool excludeEdges = true) const;

  // ---- shapes (shapes.cpp)
  void Polyline(const std::vector<Pt>& logical, bool close, bool fill);
  void PolylineTo(const std::vector<Pt>& logical);
  void EnsureFigure();
  void PolyPolygon(const std::vector<Pt>& logical, const std::vector<uint32_t>& counts, bool fill);
  void PolyBezier(const std::vector<Pt>& logical, bool to);
  void PolyDraw(const std::vector<Pt>& logical, const std::vector<uint8_t>& types);
  void LineTo(double x, double y);
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double cw, double ch);
  void ArcShape(ArcKind kind, const double box[4], Pt start, Pt end);
  void AngleArc(double cx, double cy, double radius, double startDeg, double sweepDeg);
  void AppendArc(Path& path, const std::function<Pt(double, double)>& map, double cx, double cy,
                 double rx, double ry, double a0, double sweep, bool connect);
  // Draws a finished figure, or adds it to the path being recorded.
  void Emit(const Path& path, bool fill, bool stroke);
  void SetPixel(double x, double y, uint32_t color);
  void FillRect(double l, double t, double r, double b, const Brush& brush);

  // ---- painting with the clip, the brush and the mix mode (painting.cpp)
  void DrawPath(const Path& path, bool fill, bool stroke);
  void Paint(const std::function<void(cairo_t*)>& draw, double bounds[4], uint32_t rop2);
  void EnsureClip();
  void ResetContext();
  void SetColor(cairo_t* c, uint32_t colorref) const;
  uint32_t ResolveColor(uint32_t colorref) const;
  bool SetBrushSource(cairo_t* c, const Brush& brush) const;
  static void AddPath(cairo_t* c, const std::vector<PathOp>& ops);
  static void PathBounds(const std::vector<PathOp>& ops, double bounds[4]);

  // ---- pens (pens.cpp)
  void SetPenStroke(cairo_t* c) const;
  std::vector<double> PenDashes(bool thin) const;
  void StrokeThin(cairo_t* c, const std::vector<PathOp>& ops, const double bounds[4]) const;
  double PenExtent() const;

  // ---- clipping and regions (clipping.cpp)
  template <bool kExclude>
  void PlayClipRect(const ByteView& r);
  void PlayExtSelectClipRgn(const ByteView& r);
  void PlayOffsetClipRgn(const ByteView& r);
  void PlaySetMetaRgn(const ByteView& r);
  void PlaySelectClipPath(const ByteView& r);
  void PlayFillRgn(const ByteView& r);
  void PlayPaintRgn(const ByteView& r);
  void PlayFrameRgn(const ByteView& r);
  void PlayInvertRgn(const ByteView& r);
  void ApplyClip(cairo_t* c) const;
  void SetClip(std::shared_ptr<const Clip> clip);
  Region ClipRegionOrCanvas() const;
  void CombineRegion(const Region& region, uint32_t mode);
  void ClipRect(double l, double t, double r, double b, bool exclude);
  bool ReadRegion(const ByteView& r, size_t at, size_t bytes, Region* out) const;
  bool RegionBrush(uint32_t index, Brush* brush);
  // Fills the region's rectangles with the brush, or strokes them `frame` pixels wide.
  void PaintRegion(const Region& region, const Brush& brush, double frame);
  void SelectClipPath(uint32_t mode);
  void OffsetClip(double dx, double dy);

  // ---- bitmaps (bitmaps.cpp)
  void PlayBitBlt(const ByteView& r);
  void PlayStretchBlt(const ByteView& r);
  void PlayMaskBlt(const ByteView& r);
  void PlayAlphaBlend(const ByteView& r);
  void PlayTransparentBlt(const ByteView& r);
  void PlayStretchDIBits(const ByteView& r);
  void PlaySetDIBitsToDevice(const ByteView& r);
  void PlayGradientFill(const ByteView& r);
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
  // The fields the block-transfer records share.
  struct BlitRecord {
    Blit blit;
    cairo_matrix_t xform;  // source transform
    uint32_t usage = 0, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
  };
  bool ReadBlitRecord(const ByteView& r, BlitRecord* b) const;
  bool ReadBlitSource(const ByteView& r, BlitRecord& b, bool stretch, Raster* src) const;
  void PatternBlt(const Blit& blit);
  bool ReadDibBlit(const ByteView& r, Raster* src, Blit* blit) const;
  void DoBlit(const Blit& blit);
  // The source as Cairo wants it: premultiplied ARGB, opaque unless blending.
  static std::vector<uint32_t> SourcePixels(const Blit& blit);
  void RasterOp(const double bounds[4], uint32_t rop3,
                const std::function<void(cairo_t*)>& drawSource);

  // ---- text (text.cpp)
  template <bool kWide>
  void PlayExtTextOut(const ByteView& r);
  template <bool kWide>
  void PlayPolyTextOut(const ByteView& r);
  void PlaySmallTextOut(const ByteView& r);
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
  struct TextFrame {
    Pt baseline;  // device vector of one logical unit along the baseline
    Pt glyphX;    // the font matrix: one em along the baseline and downwards
    Pt glyphY;
  };
  struct GlyphRun {
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    Pt width;  // device vector from the first glyph's origin to the end of the run
  };
  void TextOut(const TextRun& run);
  bool FrameText(const TextRun& run, const FaceMetrics& metrics, TextFrame* frame) const;
  bool LayOutGlyphs(cairo_scaled_font_t* font, const TextRun& run, Pt baseline,
                    GlyphRun* out) const;
  void DrawGlyphs(const TextRun& run, cairo_scaled_font_t* font, const TextFrame& frame,
                  const FaceMetrics& metrics, GlyphRun* glyphs);
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
