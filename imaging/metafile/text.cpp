// Text records of metafile playback, drawn with the fonts fontconfig offers for the
// face names the metafile asks for.
#include <algorithm>
#include <cmath>

#include "metafile/geometry.h"
#include "metafile/player.h"

namespace pxmf {

namespace {

// The largest glyph drawn, in pixels along either axis. FreeType takes no more than
// 65535, and Cairo leaks a little memory on every scaled font it then fails to make.
constexpr double kMaxGlyphPixels = 20000;

// Windows code page 1252 for the bytes 0x80-0x9F; the other bytes are Latin-1.
const char16_t kCp1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x2026, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromAnsi(uint8_t c) {
  return c >= 0x80 && c < 0xA0 ? kCp1252[c - 0x80] : c;
}

std::string ToUtf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

cairo_font_options_t* TextOptions() {
  cairo_font_options_t* o = Cairo().cairo_font_options_create();
  Cairo().cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_NONE);
  Cairo().cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  return o;
}

// A face's ascent, descent and average lower-case width, per unit of em.
FaceMetrics MeasureFace(cairo_font_face_t* face, const cairo_font_options_t* options) {
  cairo_matrix_t unit, identity;
  Cairo().cairo_matrix_init_identity(&unit);
  Cairo().cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* unitFont = Cairo().cairo_scaled_font_create(face, &unit, &identity, options);
  cairo_font_extents_t fe;
  Cairo().cairo_scaled_font_extents(unitFont, &fe);
  cairo_text_extents_t te;
  Cairo().cairo_scaled_font_text_extents(unitFont, "abcdefghijklmnopqrstuvwxyz", &te);
  Cairo().cairo_scaled_font_destroy(unitFont);
  FaceMetrics m;
  m.ascent = fe.ascent > 0 ? fe.ascent : 0.8;
  m.descent = fe.descent > 0 ? fe.descent : 0.2;
  m.average = te.x_advance > 0 ? te.x_advance / 26 : 0.5;
  return m;
}

Pt Scale(Pt v, double s) {
  return {v.x * s, v.y * s};
}

Pt Add(Pt a, Pt b) {
  return {a.x + b.x, a.y + b.y};
}

double Length(Pt v) {
  return std::hypot(v.x, v.y);
}

}  // namespace

std::span<const Player::Record> Player::TextRecords() {
  static constexpr Record kRecords[] = {
      {EMR_EXTTEXTOUTA, &Player::PlayExtTextOut<false>},
      {EMR_EXTTEXTOUTW, &Player::PlayExtTextOut<true>},
      {EMR_POLYTEXTOUTA, &Player::PlayPolyTextOut<false>},
      {EMR_POLYTEXTOUTW, &Player::PlayPolyTextOut<true>},
      {EMR_SMALLTEXTOUT, &Player::PlaySmallTextOut},
  };
  return kRecords;
}

template <bool kWide>
void Player::PlayExtTextOut(const ByteView& r) {
  // Bounds, graphics mode, scales, then one EMRTEXT.
  TextRun run;
  if (ReadEmrText(r, 36, kWide, &run)) TextOut(run);
}

template <bool kWide>
void Player::PlayPolyTextOut(const ByteView& r) {
  // Bounds, graphics mode, scales, a count, then that many EMRTEXTs of 40 bytes.
  uint32_t strings = r.U32(36);
  if (!r.HasArray(40, strings, 40)) return;
  for (uint32_t i = 0; i < strings; ++i) {
    TextRun run;
    if (ReadEmrText(r, 40 + 40 * size_t(i), kWide, &run)) TextOut(run);
  }
}

void Player::PlaySmallTextOut(const ByteView& r) {
  // Reference point, character count, options, graphics mode, scales, the rectangle
  // unless ETO_NO_RECT, then the characters: bytes with ETO_SMALL_CHARS, else UTF-16.
  TextRun run;
  run.ref = {double(r.I32(8)), double(r.I32(12))};
  uint32_t chars = r.U32(16), options = r.U32(20);
  run.options = options;
  run.graphicsMode = r.U32(24);
  size_t at = 36;
  if (!(options & ETO_NO_RECT)) {
    run.hasRect = true;
    for (int k = 0; k < 4; ++k) run.rect[k] = r.I32(at + 4 * k);
    at += 16;
  }
  bool narrow = options & ETO_SMALL_CHARS;
  if (!r.HasArray(at, chars, narrow ? 1 : 2)) return;
  for (uint32_t k = 0; k < chars; ++k)
    run.text.push_back(narrow ? r.U8(at + k) : r.U16(at + 2 * size_t(k)));
  TextOut(run);
}

bool Player::ReadEmrText(const ByteView& r, size_t at, bool wide, TextRun* run) const {
  run->ref = {double(r.I32(at)), double(r.I32(at + 4))};
  uint32_t chars = r.U32(at + 8), offString = r.U32(at + 12);
  run->options = r.U32(at + 16);
  for (int k = 0; k < 4; ++k) run->rect[k] = r.I32(at + 20 + 4 * k);
  run->hasRect = (run->options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
  uint32_t offDx = r.U32(at + 36);
  run->graphicsMode = r.U32(24);
  if (r.overrun() || !r.HasArray(offString, chars, wide ? 2 : 1)) return false;
  bool glyphs = run->options & ETO_GLYPH_INDEX;
  for (uint32_t i = 0; i < chars; ++i) {
    char32_t c;
    if (wide) {
      c = r.U16(offString + 2 * size_t(i));
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars) {
        char32_t low = r.U16(offString + 2 * size_t(i) + 2);
        if (low >= 0xDC00 && low < 0xE000) {
          // A surrogate pair is one character with the advances of two.
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          run->text.push_back(c);
          run->text.push_back(0);
          ++i;
          continue;
        }
      }
    } else {
      c = FromAnsi(r.U8(offString + i));
    }
    if (glyphs) {
      // Glyph numbers of the writer's font; most fonts number the printable ASCII
      // characters from glyph 3 in order, which keeps such text readable.
      c = c >= 3 && c <= 0x61 ? c + 29 : 0x20;
    }
    run->text.push_back(c);
  }
  bool pdy = run->options & ETO_PDY;
  if (offDx && r.HasArray(offDx, uint64_t(chars) * (pdy ? 2 : 1), 4)) {
    for (uint32_t i = 0; i < chars; ++i) {
      run->dx.push_back(r.I32(offDx + 4 * size_t(pdy ? 2 * i : i)));
      if (pdy) run->dy.push_back(r.I32(offDx + 8 * size_t(i) + 4));
    }
  }
  return true;
}

cairo_font_face_t* Player::FontFace(const Font& font) {
  std::string family = font.face.empty() ? "sans-serif" : font.face;
  bool bold = font.weight >= 600, italic = font.italic;
  std::string key = family + (bold ? "|b" : "|") + (italic ? "i" : "");
  auto it = faces_.find(key);
  if (it != faces_.end()) return it->second;
  cairo_font_face_t* face = Cairo().cairo_toy_font_face_create(
      family.c_str(), italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
      bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  faces_[key] = face;
  return face;
}

void Player::TextOut(const TextRun& run) {
  if ((run.options & ETO_OPAQUE) && run.hasRect) {
    Brush bk;
    bk.color = dc_.bkColor;
    FillRect(run.rect[0], run.rect[1], run.rect[2], run.rect[3], bk);
  }
  if (run.text.empty()) return;
  cairo_font_face_t* face = FontFace(dc_.font);
  cairo_font_options_t* options = TextOptions();
  FaceMetrics metrics = MeasureFace(face, options);
  TextFrame frame;
  cairo_scaled_font_t* font = nullptr;
  if (FrameText(run, metrics, &frame)) {
    cairo_matrix_t fontMatrix, identity;
    Cairo().cairo_matrix_init(&fontMatrix, frame.glyphX.x, frame.glyphX.y, frame.glyphY.x,
                              frame.glyphY.y, 0, 0);
    Cairo().cairo_matrix_init_identity(&identity);
    cairo_matrix_t check = fontMatrix;
    if (Cairo().cairo_matrix_invert(&check) == CAIRO_STATUS_SUCCESS)
      font = Cairo().cairo_scaled_font_create(face, &fontMatrix, &identity, options);
  }
  Cairo().cairo_font_options_destroy(options);
  if (!font) return;
  GlyphRun glyphs;
  if (Cairo().cairo_scaled_font_status(font) == CAIRO_STATUS_SUCCESS &&
      LayOutGlyphs(font, run, frame.baseline, &glyphs))
    DrawGlyphs(run, font, frame, metrics, &glyphs);
  Cairo().cairo_glyph_free(glyphs.glyphs);
  Cairo().cairo_scaled_font_destroy(font);
}

bool Player::FrameText(const TextRun& run, const FaceMetrics& metrics, TextFrame* frame) const {
  const Font& f = dc_.font;
  cairo_matrix_t m = Transform();
  // Character height in logical units: negative heights give the em, positive ones the
  // cell (ascent plus descent); 0 asks for the default, 12 points on a 96-dpi screen.
  double em;
  if (f.height < 0) {
    em = -double(f.height);
  } else if (f.height > 0) {
    em = f.height / (metrics.ascent + metrics.descent);
  } else {
    cairo_matrix_t page = PageMatrix(), worldPage;
    Cairo().cairo_matrix_multiply(&worldPage, &dc_.world, &page);
    em = 16 / std::max(1e-6, ScaleOf(worldPage));
  }

  double theta = f.escapement / 10.0 * kPi / 180;
  Pt baseline, up;  // device vectors of one logical unit along the baseline and upwards
  if (run.graphicsMode == GM_ADVANCED) {
    double bx = std::cos(theta), by = -std::sin(theta);
    double ux = -std::sin(theta), uy = -std::cos(theta);
    Cairo().cairo_matrix_transform_distance(&m, &bx, &by);
    Cairo().cairo_matrix_transform_distance(&m, &ux, &uy);
    baseline = {bx, by};
    up = {ux, uy};
  } else {
    // Text stays upright and unmirrored whatever the mapping does to the axes.
    double sx = std::hypot(m.xx, m.yx), sy = std::hypot(m.xy, m.yy);
    baseline = {std::cos(theta) * sx, -std::sin(theta) * sx};
    up = {-std::sin(theta) * sy, -std::cos(theta) * sy};
  }
  double upLength = Length(up), baseLength = Length(baseline);
  if (!(upLength > 1e-9) || !(baseLength > 1e-9) || !std::isfinite(em) || em <= 0) return false;
  double emDevice = em * upLength;
  if (emDevice > kMaxGlyphPixels) em *= kMaxGlyphPixels / emDevice;
  double widthFactor = 1;
  if (f.width != 0)
    widthFactor = std::abs(double(f.width)) * baseLength / (metrics.average * em * upLength);
  widthFactor = std::max(0.05, std::min(20.0, widthFactor));
  Pt glyphX = Scale(baseline, em * upLength * widthFactor / baseLength);
  if (run.graphicsMode == GM_ADVANCED) glyphX = Scale(baseline, em * widthFactor);
  // Text stretched wider than that is drawn that wide.
  double along = Length(glyphX);
  if (along > kMaxGlyphPixels) glyphX = Scale(glyphX, kMaxGlyphPixels / along);
  frame->baseline = baseline;
  frame->glyphX = glyphX;
  frame->glyphY = Scale(up, -em);
  return true;
}

bool Player::LayOutGlyphs(cairo_scaled_font_t* font, const TextRun& run, Pt baseline,
                          GlyphRun* out) const {
  // Characters the font draws: zero placeholders (second halves of pairs) are dropped
  // but keep their advances.
  std::u32string visible;
  std::vector<double> advances;
  for (size_t i = 0; i < run.text.size(); ++i) {
    double dx = i < run.dx.size() ? run.dx[i] : 0;
    if (run.text[i] == 0) {
      if (!advances.empty()) advances.back() += dx;
      continue;
    }
    visible.push_back(run.text[i]);
    advances.push_back(dx);
  }
  std::string utf8 = ToUtf8(visible);
  cairo_status_t status = Cairo().cairo_scaled_font_text_to_glyphs(
      font, 0, 0, utf8.data(), int(utf8.size()), &out->glyphs, &out->count, nullptr, nullptr,
      nullptr);
  if (status != CAIRO_STATUS_SUCCESS || out->count <= 0) return false;
  bool explicitAdvances = !run.dx.empty() && size_t(out->count) == visible.size();
  if (explicitAdvances) {
    double along = 0;
    for (int i = 0; i < out->count; ++i) {
      out->glyphs[i].x = baseline.x * along;
      out->glyphs[i].y = baseline.y * along;
      along += advances[size_t(i)];
    }
    out->width = Scale(baseline, along);
  } else {
    cairo_text_extents_t extents;
    Cairo().cairo_scaled_font_glyph_extents(font, out->glyphs, out->count, &extents);
    out->width = {extents.x_advance, extents.y_advance};
  }
  return true;
}

void Player::DrawGlyphs(const TextRun& run, cairo_scaled_font_t* font, const TextFrame& frame,
                        const FaceMetrics& metrics, GlyphRun* glyphs) {
  const Pt width = glyphs->width;
  Pt ref = (dc_.textAlign & TA_UPDATECP) ? DevExact(dc_.cur.x, dc_.cur.y)
                                         : DevExact(run.ref.x, run.ref.y);
  Pt start = ref;
  uint32_t h = dc_.textAlign & TA_HMASK, v = dc_.textAlign & TA_VMASK;
  if (h == TA_RIGHT) start = Add(ref, Scale(width, -1));
  if (h == TA_CENTER) start = Add(ref, Scale(width, -0.5));
  Pt cellDown = frame.glyphY;  // one em downwards in device units
  Pt origin = start;
  if (v == 0) origin = Add(start, Scale(cellDown, metrics.ascent));
  if (v == TA_BOTTOM) origin = Add(start, Scale(cellDown, -metrics.descent));
  if (dc_.textAlign & TA_UPDATECP) {
    if (h == 0) dc_.cur = ToLogical(Add(ref, width));
    if (h == TA_RIGHT) dc_.cur = ToLogical(Add(ref, Scale(width, -1)));
  }

  Pt top = Add(origin, Scale(cellDown, -metrics.ascent));
  Pt bottom = Add(origin, Scale(cellDown, metrics.descent));
  double bounds[4] = {std::min({top.x, bottom.x, top.x + width.x, bottom.x + width.x}),
                      std::min({top.y, bottom.y, top.y + width.y, bottom.y + width.y}),
                      std::max({top.x, bottom.x, top.x + width.x, bottom.x + width.x}),
                      std::max({top.y, bottom.y, top.y + width.y, bottom.y + width.y})};
  for (int i = 0; i < glyphs->count; ++i) {
    glyphs->glyphs[i].x += origin.x;
    glyphs->glyphs[i].y += origin.y;
  }
  if (bounds[2] < 0 || bounds[3] < 0 || bounds[0] > width_ || bounds[1] > height_) return;
  EnsureClip();
  Cairo().cairo_save(cr_);
  if ((run.options & ETO_CLIPPED) && run.hasRect) {
    Pt a = Dev(run.rect[0], run.rect[1]), c = Dev(run.rect[2], run.rect[3]);
    Cairo().cairo_rectangle(cr_, std::min(a.x, c.x), std::min(a.y, c.y), std::abs(c.x - a.x),
                            std::abs(c.y - a.y));
    Cairo().cairo_clip(cr_);
  }
  if (dc_.bkMode == OPAQUE_BK && !(run.options & ETO_OPAQUE)) {
    SetColor(cr_, dc_.bkColor);
    Cairo().cairo_move_to(cr_, top.x, top.y);
    Cairo().cairo_line_to(cr_, top.x + width.x, top.y + width.y);
    Cairo().cairo_line_to(cr_, bottom.x + width.x, bottom.y + width.y);
    Cairo().cairo_line_to(cr_, bottom.x, bottom.y);
    Cairo().cairo_close_path(cr_);
    Cairo().cairo_fill(cr_);
  }
  SetColor(cr_, dc_.textColor);
  Cairo().cairo_set_scaled_font(cr_, font);
  Cairo().cairo_show_glyphs(cr_, glyphs->glyphs, glyphs->count);
  double thickness = std::max(1.0, Length(cellDown) / 14);
  auto line = [&](double offset) {
    Pt a = Add(origin, Scale(cellDown, offset));
    Cairo().cairo_move_to(cr_, a.x, a.y);
    Cairo().cairo_line_to(cr_, a.x + width.x, a.y + width.y);
    Cairo().cairo_set_line_width(cr_, thickness);
    Cairo().cairo_stroke(cr_);
  };
  if (dc_.font.underline) line(0.12);
  if (dc_.font.strikeout) line(-0.28);
  Cairo().cairo_restore(cr_);
  ++drawn_;
}

}  // namespace pxmf
