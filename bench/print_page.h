// A 300-dpi page of ordinary print, the usual case for shrinking: body text at 8, 10 and 12
// pt with stems of 3, 4 and 5 pixels (a regular face's stem is about a tenth of its em, and
// a point is 300 / 72 pixels), headings at 14 and 18 pt in bold (stems 7 and 9), and the thin
// lines such pages carry: 1-pixel hairline rules under the title and over the footer, dashed
// rules, and tables ruled in 1-pixel lines with figures at 8 pt. The shapes are text_page.h's
// glyphs and digits scaled to each size (its 30-pixel line is 10 pt), lines 1.2 em apart;
// black on white, one grey byte per pixel, the same bytes on every run.
#pragma once

#include "text_page.h"

namespace printpage {

using textpage::kHeight;
using textpage::kWidth;

constexpr int kMargin = 240;  // 2 cm
constexpr int kLeft = kMargin, kRight = int(kWidth) - kMargin;

// A type size in points and the stem width it is drawn with.
struct Face {
  int points;
  int stem;
};
constexpr Face kNote = {8, 3}, kBody = {10, 4}, kLarge = {12, 5}, kSubheading = {14, 7},
               kTitle = {18, 9};

// Line pitch of a size: 1.2 em, 5 pixels per point at 300 dpi.
constexpr int Pitch(const Face& f) {
  return 5 * f.points;
}

// One line of glyphs from kLeft to `right` with its top at y.
inline void TextLine(textpage::Canvas& c, std::mt19937& rng, const Face& f, int y, int right) {
  const int h = 3 * f.points;
  int x = kLeft;
  for (;;) {
    const int w = (12 + int(rng() % 8)) * f.points / 10;
    if (x + w + f.stem > right) break;
    textpage::Glyph(c, rng, x, y, w, h, f.stem);
    x += w + f.stem + 6 * f.points / 10;
    if (rng() % 7 == 0) x += 14 * f.points / 10;  // a word space
  }
}

// A paragraph of `lines` lines, the last one short; returns the y below it.
inline int Paragraph(textpage::Canvas& c, std::mt19937& rng, const Face& f, int y, int lines) {
  for (int i = 0; i < lines; ++i, y += Pitch(f))
    TextLine(c, rng, f, y, i + 1 < lines ? kRight : kLeft + (kRight - kLeft) * 2 / 5);
  return y;
}

inline void Hairline(textpage::Canvas& c, int y) {
  c.Stroke(kLeft, y, kRight, y, 1);
}

inline void DashedRule(textpage::Canvas& c, int y) {
  for (int x = kLeft; x + 12 < kRight; x += 20) c.Stroke(x, y, x + 11, y, 1);
}

// Figures at 8 pt: a digit box of 11 x 22 pixels with stems of 3.
inline void Figures(textpage::Canvas& c, std::mt19937& rng, int right, int y, int count) {
  for (int i = 0; i < count; ++i)
    textpage::Digit(c, int(rng() % 10), right - (i + 1) * 17, y, 11, 22, kNote.stem);
}

// A table of `rows` rows of 50 pixels and five columns, every cell ruled in 1-pixel lines
// and holding a right-aligned number; returns the y below it.
inline int Table(textpage::Canvas& c, std::mt19937& rng, int y, int rows) {
  constexpr int kColumns = 5, kRow = 50;
  const int columnWidth = (kRight - kLeft) / kColumns;
  for (int r = 0; r <= rows; ++r) Hairline(c, y + r * kRow);
  for (int k = 0; k <= kColumns; ++k)
    c.Stroke(kLeft + k * columnWidth, y, kLeft + k * columnWidth, y + rows * kRow, 1);
  for (int r = 0; r < rows; ++r)
    for (int k = 0; k < kColumns; ++k)
      Figures(c, rng, kLeft + (k + 1) * columnWidth - 14, y + r * kRow + 14, 2 + int(rng() % 5));
  return y + rows * kRow;
}

// The page as grey bytes, kWidth x kHeight.
inline std::vector<uint8_t> MakePage() {
  textpage::Canvas c(kWidth, kHeight);
  std::mt19937 rng(300);
  const int footer = int(kHeight) - kMargin;
  int y = kMargin;
  // The title, a hairline under it.
  TextLine(c, rng, kTitle, y, kLeft + (kRight - kLeft) * 3 / 5);
  y += Pitch(kTitle);
  Hairline(c, y);
  y += 60;
  for (int section = 0;; ++section) {
    const Face& body = section % 3 == 1 ? kLarge : kBody;
    const int lines = body.points == 12 ? 5 : 7;
    const bool table = section % 2 == 1, notes = section % 3 == 2;
    const int needed = Pitch(kSubheading) + lines * Pitch(body) + (table ? 6 * 50 + 40 : 0) +
                       (notes ? 4 * Pitch(kNote) + 40 : 0) + 60;
    if (y + needed > footer - 40) break;
    TextLine(c, rng, kSubheading, y, kLeft + (kRight - kLeft) * 2 / 5);
    y = Paragraph(c, rng, body, y + Pitch(kSubheading), lines) + 20;
    if (table) y = Table(c, rng, y, 6) + 40;
    if (notes) {
      DashedRule(c, y);
      y = Paragraph(c, rng, kNote, y + 20, 4) + 20;
    }
    y += 40;
  }
  // The footer: a hairline and a page number at 10 pt.
  Hairline(c, footer);
  for (int i = 0; i < 2; ++i)
    textpage::Digit(c, 7 * i + 1, int(kWidth) / 2 + 22 * (1 - i) - 11, footer + 30, 14, 28,
                    kBody.stem);
  return std::move(c.Pixels());
}

}  // namespace printpage
