// Figure, text and bitmap records of the Windows-metafile converter.
#include "metafile/wmf_converter.h"

namespace pxmf {

std::span<const Converter::Record> Converter::DrawingRecords() {
  static constexpr Record kRecords[] = {
      {META_MOVETO, &Converter::Reversed<EMR_MOVETOEX, 2>},
      {META_LINETO, &Converter::Reversed<EMR_LINETO, 2>},
      {META_RECTANGLE, &Converter::Reversed<EMR_RECTANGLE, 4>},
      {META_ELLIPSE, &Converter::Reversed<EMR_ELLIPSE, 4>},
      {META_ROUNDRECT, &Converter::Reversed<EMR_ROUNDRECT, 6>},
      {META_ARC, &Converter::Reversed<EMR_ARC, 8>},
      {META_PIE, &Converter::Reversed<EMR_PIE, 8>},
      {META_CHORD, &Converter::Reversed<EMR_CHORD, 8>},
      {META_SETPIXEL, &Converter::SetPixel},
      {META_POLYGON, &Converter::Poly<EMR_POLYGON>},
      {META_POLYLINE, &Converter::Poly<EMR_POLYLINE>},
      {META_POLYPOLYGON, &Converter::PolyPolygon},
      {META_TEXTOUT, &Converter::TextOut},
      {META_EXTTEXTOUT, &Converter::ExtTextOut},
      {META_PATBLT, &Converter::PatBlt},
      {META_DIBBITBLT, &Converter::DibBitBlt},
      {META_DIBSTRETCHBLT, &Converter::DibStretchBlt},
      {META_STRETCHDIB, &Converter::StretchDib},
      {META_SETDIBTODEV, &Converter::SetDibToDev},
      // Escapes, palette animation, flood fills and old device bitmaps are not drawn.
  };
  return kRecords;
}

void Converter::SetPixel(const Params& p) {
  // Colour, y, x.
  if (p.words() >= 4) w_.Emit(EMR_SETPIXELV, {p.I(3), p.I(2), p.U32(0)});
}

template <uint32_t kType>
void Converter::Poly(const Params& p) {
  // Count, then x and y of each point.
  if (p.words() >= 1 && p.words() >= 1 + 2 * size_t(p.U(0))) Points(kType, p, 0, p.U(0));
}

void Converter::PolyPolygon(const Params& p) {
  // Polygon count, the polygons' point counts, then the points.
  size_t n = p.words();
  if (n < 1) return;
  size_t polys = p.U(0), total = 0;
  if (n < 1 + polys) return;
  for (size_t i = 0; i < polys; ++i) total += p.U(1 + i);
  if (n < 1 + polys + 2 * total) return;
  w_.Begin(EMR_POLYPOLYGON);
  w_.Zero(16);
  w_.U32(uint32_t(polys));
  w_.U32(uint32_t(total));
  for (size_t i = 0; i < polys; ++i) w_.U32(p.U(1 + i));
  for (size_t i = 0; i < 2 * total; ++i) w_.U32(uint32_t(int32_t(p.I(1 + polys + i))));
  w_.End();
}

void Converter::TextOut(const Params& p) {
  // Count, the characters padded to a word, y, x.
  if (p.words() < 1) return;
  size_t count = p.U(0), at = 1 + (count + 1) / 2;
  if (p.words() < at + 2) return;
  Text(p.I(at + 1), p.I(at), 0, nullptr, p.v.Sub(2, count), nullptr, 0);
}

void Converter::ExtTextOut(const Params& p) {
  // y, x, count, options, the rectangle with ETO_OPAQUE or ETO_CLIPPED, the characters
  // padded to a word, then the advances when there are words for them.
  size_t n = p.words();
  if (n < 4) return;
  size_t count = p.U(2), options = p.U(3), at = 4;
  int16_t rect[4];
  bool hasRect = options & (ETO_OPAQUE | ETO_CLIPPED);
  if (hasRect) {
    if (n < 8) return;
    for (int k = 0; k < 4; ++k) rect[k] = p.I(4 + k);
    at = 8;
  }
  size_t dxAt = at + (count + 1) / 2;
  if (n < dxAt) return;
  bool hasDx = n >= dxAt + count && count > 0;
  Text(p.I(1), p.I(0), uint32_t(options), hasRect ? rect : nullptr, p.v.Sub(2 * at, count),
       hasDx ? &p : nullptr, dxAt);
}

void Converter::PatBlt(const Params& p) {
  // rop, height, width, y, x
  if (p.words() >= 6) EmitPatBlt(p.U32(0), p.I(5), p.I(4), p.I(3), p.I(2));
}

void Converter::DibBitBlt(const Params& p) {
  // rop, ySrc, xSrc, [reserved without a bitmap], height, width, yDest, xDest, DIB
  size_t n = p.words();
  if (n < 8) return;
  if (n == 9) return EmitPatBlt(p.U32(0), p.I(8), p.I(7), p.I(6), p.I(5));
  Dib(p.v.Sub(16, p.v.size() - 16), 0, p.U32(0), p.I(7), p.I(6), p.I(5), p.I(4), p.I(3), p.I(2),
      p.I(5), p.I(4), true);
}

void Converter::DibStretchBlt(const Params& p) {
  // rop, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest, DIB
  size_t n = p.words();
  if (n < 10) return;
  if (n == 11) return EmitPatBlt(p.U32(0), p.I(10), p.I(9), p.I(8), p.I(7));
  Dib(p.v.Sub(20, p.v.size() - 20), 0, p.U32(0), p.I(9), p.I(8), p.I(7), p.I(6), p.I(5), p.I(4),
      p.I(3), p.I(2), true);
}

void Converter::StretchDib(const Params& p) {
  // rop, usage, srcHeight, srcWidth, ySrc, xSrc, destHeight, destWidth, yDest, xDest
  if (p.words() < 11) return;
  Dib(p.v.Sub(22, p.v.size() - 22), p.U(2), p.U32(0), p.I(10), p.I(9), p.I(8), p.I(7), p.I(6),
      p.I(5), p.I(4), p.I(3), false);
}

void Converter::SetDibToDev(const Params& p) {
  // usage, scan count, start scan, ySrc, xSrc, height, width, yDest, xDest, DIB
  if (p.words() < 9) return;
  Dib(p.v.Sub(18, p.v.size() - 18), p.U(0), SRCCOPY_ROP, p.I(8), p.I(7), p.I(6), p.I(5), p.I(4),
      p.I(3), p.I(6), p.I(5), false);
}

void Converter::Points(uint32_t type, const Params& p, size_t countAt, size_t count) {
  w_.Begin(type);
  w_.Zero(16);  // bounds
  w_.U32(uint32_t(count));
  for (size_t i = 0; i < count; ++i) {
    w_.U32(uint32_t(int32_t(p.I(countAt + 1 + 2 * i))));
    w_.U32(uint32_t(int32_t(p.I(countAt + 2 + 2 * i))));
  }
  w_.End();
}

// A text record: reference point, characters and optional advances, all in words.
void Converter::Text(int32_t x, int32_t y, uint32_t options, const int16_t* rect,
                     const ByteView& chars, const Params* dx, size_t dxAt) {
  size_t count = chars.size();
  size_t offString = 76, offDx = offString + ((count + 3) & ~size_t(3));
  bool hasDx = dx != nullptr;
  w_.Begin(EMR_EXTTEXTOUTA);
  w_.Zero(16);
  w_.U32(GM_COMPATIBLE);
  w_.F32(1);
  w_.F32(1);
  w_.U32(uint32_t(x));
  w_.U32(uint32_t(y));
  w_.U32(uint32_t(count));
  w_.U32(uint32_t(offString));
  w_.U32(options & ~(ETO_GLYPH_INDEX | ETO_PDY));
  for (int k = 0; k < 4; ++k) w_.U32(uint32_t(int32_t(rect ? rect[k] : 0)));
  w_.U32(hasDx ? uint32_t(offDx) : 0);
  w_.Raw(chars);
  while (w_.size() % 4) w_.U8(0);
  if (hasDx)
    for (size_t i = 0; i < count; ++i) w_.U32(uint32_t(int32_t(dx->I(dxAt + i))));
  w_.End();
}

// A bitmap record as a stretched DIB. `dib` is the packed DIB; ySrc counts from the top
// when `fromTop`.
void Converter::Dib(const ByteView& dib, uint32_t usage, uint32_t rop, int32_t xDest, int32_t yDest,
                    int32_t cxDest, int32_t cyDest, int32_t xSrc, int32_t ySrc, int32_t cxSrc,
                    int32_t cySrc, bool fromTop) {
  size_t info = DibInfoSize(dib, usage == DIB_PAL_COLORS);
  if (!info) return;
  int32_t height = dib.U32(0) == 12 ? dib.I16(6) : dib.I32(8);
  if (fromTop && height > 0) ySrc = height - ySrc - cySrc;
  size_t infoPadded = (info + 3) & ~size_t(3);
  w_.Begin(EMR_STRETCHDIBITS);
  w_.Zero(16);
  for (int32_t v : {xDest, yDest, xSrc, ySrc, cxSrc, cySrc}) w_.U32(uint32_t(v));
  w_.U32(80);
  w_.U32(uint32_t(info));
  w_.U32(uint32_t(80 + infoPadded));
  w_.U32(uint32_t(dib.size() - info));
  w_.U32(usage);
  w_.U32(rop);
  w_.U32(uint32_t(cxDest));
  w_.U32(uint32_t(cyDest));
  w_.Raw(dib.Sub(0, info));
  while (w_.size() % 4) w_.U8(0);
  w_.Raw(dib.Sub(info, dib.size() - info));
  w_.End();
}

void Converter::EmitPatBlt(uint32_t rop, int32_t x, int32_t y, int32_t w, int32_t h) {
  w_.Begin(EMR_BITBLT);
  w_.Zero(16);
  for (int32_t v : {x, y, w, h}) w_.U32(uint32_t(v));
  w_.U32(rop);
  w_.Zero(8);
  for (float f : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f}) w_.F32(f);
  w_.Zero(24);
  w_.End();
}

size_t DibInfoSize(const ByteView& dib, bool paletteIndices) {
  uint32_t headerSize = dib.U32(0);
  if (dib.overrun() || headerSize < 12 || headerSize > dib.size()) return 0;
  uint64_t colors, bpp;
  uint64_t extra = 0;
  if (headerSize == 12) {
    bpp = dib.U16(10);
    colors = bpp <= 8 ? (uint64_t(1) << bpp) : 0;
    uint64_t size = headerSize + colors * (paletteIndices ? 2 : 3);
    return size <= dib.size() ? size_t(size) : 0;
  }
  if (headerSize < 40) return 0;
  bpp = dib.U16(14);
  uint32_t compression = dib.U32(16), used = dib.U32(32);
  if (bpp <= 8)
    colors = used && used <= (1u << bpp) ? used : (uint64_t(1) << bpp);
  else
    colors = used <= 256 ? used : 0;
  if (headerSize == 40 && compression == 3) extra = 12;
  if (headerSize == 40 && compression == 6) extra = 16;
  uint64_t size = headerSize + extra + colors * (paletteIndices ? 2 : 4);
  return size <= dib.size() ? size_t(size) : 0;
}

}  // namespace pxmf
