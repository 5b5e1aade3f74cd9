// Bitmap records of metafile playback: block transfers with raster operations,
// stretched DIBs, alpha blending, transparent blits and gradient fills.
#include <algorithm>
#include <cmath>

#include "metafile/player.h"

namespace pxmf {

namespace {

bool UsesSource(uint32_t code) {
  return (((code >> 2) ^ code) & 0x33) != 0;
}

bool UsesPattern(uint32_t code) {
  return (((code >> 4) ^ code) & 0x0F) != 0;
}

uint32_t RopCode(uint32_t rop) {
  return (rop >> 16) & 0xFF;
}

}  // namespace

std::span<const Player::Record> Player::BitmapRecords() {
  static constexpr Record kRecords[] = {
      {EMR_BITBLT, &Player::PlayBitBlt},
      {EMR_STRETCHBLT, &Player::PlayStretchBlt},
      {EMR_MASKBLT, &Player::PlayMaskBlt},
      {EMR_ALPHABLEND, &Player::PlayAlphaBlend},
      {EMR_TRANSPARENTBLT, &Player::PlayTransparentBlt},
      {EMR_STRETCHDIBITS, &Player::PlayStretchDIBits},
      {EMR_SETDIBITSTODEVICE, &Player::PlaySetDIBitsToDevice},
      {EMR_GRADIENTFILL, &Player::PlayGradientFill},
  };
  return kRecords;
}

bool Player::ReadDib(const ByteView& r, size_t offInfo, size_t cbInfo, size_t offBits,
                     size_t cbBits, DibOptions options, Raster* out) const {
  if (!cbInfo || !r.Has(offInfo, cbInfo) || !r.Has(offBits, cbBits)) return false;
  options.palette = dc_.palette.get();
  return DecodeDib(r.Sub(offInfo, cbInfo), r.Sub(offBits, cbBits), options, out);
}

/* ---- Block transfers -------------------------------------------------------------------- */

void Player::PlayBitBlt(const ByteView& r) {
  BlitRecord b;
  if (!ReadBlitRecord(r, &b)) return;
  if (!b.cbBmi) return PatternBlt(b.blit);
  Raster src;
  if (ReadBlitSource(r, b, false, &src)) DoBlit(b.blit);
}

void Player::PlayStretchBlt(const ByteView& r) {
  BlitRecord b;
  if (!ReadBlitRecord(r, &b)) return;
  if (!b.cbBmi) return PatternBlt(b.blit);
  Raster src;
  if (ReadBlitSource(r, b, true, &src)) DoBlit(b.blit);
}

void Player::PlayMaskBlt(const ByteView& r) {
  // The common layout, then the mask: its corner and the 1-bit DIB's offsets and sizes.
  BlitRecord b;
  Raster src, mask;
  if (!ReadBlitRecord(r, &b) || !b.cbBmi || !ReadBlitSource(r, b, false, &src)) return;
  // The raster operation's top byte is the background operation, for the mask's 0 bits.
  uint32_t rop = b.blit.rop;
  b.blit.rop = rop & 0x00FFFFFF;
  b.blit.backgroundRop = (rop >> 24) & 0xFF;
  if (ReadDib(r, r.U32(112), r.U32(116), r.U32(120), r.U32(124), DibOptions(), &mask))
    b.blit.mask = &mask;
  DoBlit(b.blit);
}

void Player::PlayAlphaBlend(const ByteView& r) {
  // The raster-operation field holds the blend function: constant alpha in its third
  // byte, AC_SRC_ALPHA in its fourth.
  BlitRecord b;
  Raster src;
  if (!ReadBlitRecord(r, &b) || !b.cbBmi || !ReadBlitSource(r, b, true, &src)) return;
  b.blit.mode = Blit::kAlpha;
  b.blit.constantAlpha = uint8_t(b.blit.rop >> 16);
  b.blit.sourceAlpha = (b.blit.rop >> 24) & 1;
  DoBlit(b.blit);
}

void Player::PlayTransparentBlt(const ByteView& r) {
  // The raster-operation field holds the colour that stays transparent.
  BlitRecord b;
  Raster src;
  if (!ReadBlitRecord(r, &b) || !b.cbBmi || !ReadBlitSource(r, b, true, &src)) return;
  b.blit.mode = Blit::kTransparent;
  b.blit.transparent = ColorRefToRGB(ResolveColor(b.blit.rop));
  DoBlit(b.blit);
}

bool Player::ReadBlitRecord(const ByteView& r, BlitRecord* b) const {
  // Bounds, destination rectangle, raster operation, source corner, source transform,
  // background colour, colour usage, then the source DIB's offsets and sizes.
  b->blit.dx = r.I32(24);
  b->blit.dy = r.I32(28);
  b->blit.dw = r.I32(32);
  b->blit.dh = r.I32(36);
  b->blit.rop = r.U32(40);
  Cairo().cairo_matrix_init(&b->xform, r.F32(52), r.F32(56), r.F32(60), r.F32(64), r.F32(68),
                            r.F32(72));
  b->usage = r.U32(80);
  b->offBmi = r.U32(84);
  b->cbBmi = r.U32(88);
  b->offBits = r.U32(92);
  b->cbBits = r.U32(96);
  return !r.overrun();
}

bool Player::ReadBlitSource(const ByteView& r, BlitRecord& b, bool stretch, Raster* src) const {
  DibOptions options;
  options.paletteIndices = b.usage == DIB_PAL_COLORS;
  if (!ReadDib(r, b.offBmi, b.cbBmi, b.offBits, b.cbBits, options, src)) return false;
  // The source rectangle is given in the source's own coordinates; records that stretch
  // give its size after the common layout, the others copy the destination's size.
  double sx = r.I32(44), sy = r.I32(48);
  double sw = b.blit.dw, sh = b.blit.dh;
  if (stretch) {
    sw = r.I32(100);
    sh = r.I32(104);
  }
  const cairo_matrix_t& xform = b.xform;
  if (std::isfinite(xform.xx) && std::isfinite(xform.yy) && std::isfinite(xform.x0) &&
      std::isfinite(xform.y0) && xform.xx != 0 && xform.yy != 0) {
    Cairo().cairo_matrix_transform_point(&xform, &sx, &sy);
    sw *= xform.xx;
    sh *= xform.yy;
  }
  b.blit.src = src;
  b.blit.sx = sx;
  b.blit.sy = sy;
  b.blit.sw = sw;
  b.blit.sh = sh;
  return true;
}

void Player::PatternBlt(const Blit& blit) {
  // No source: the brush and the destination only.
  uint32_t code = RopCode(blit.rop);
  if (UsesSource(code)) return;
  if (code == 0xF0) {
    FillRect(blit.dx, blit.dy, blit.dx + blit.dw, blit.dy + blit.dh, dc_.brush);
    return;
  }
  Path p;
  p.MoveTo(Dev(blit.dx, blit.dy));
  p.LineTo(Dev(blit.dx + blit.dw, blit.dy));
  p.LineTo(Dev(blit.dx + blit.dw, blit.dy + blit.dh));
  p.LineTo(Dev(blit.dx, blit.dy + blit.dh));
  p.Close();
  double b[4];
  PathBounds(p.ops, b);
  RasterOp(b, code, [&](cairo_t* c) {
    Cairo().cairo_set_source_rgb(c, 0, 0, 0);
    AddPath(c, p.ops);
    Cairo().cairo_fill(c);
  });
  ++drawn_;
}

// The layout EMR_STRETCHDIBITS and EMR_SETDIBITSTODEVICE share: destination corner at 24,
// source rectangle at 32, the DIB's offsets and sizes at 48 and its colour usage at 64.
bool Player::ReadDibBlit(const ByteView& r, Raster* src, Blit* blit) const {
  uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
  DibOptions options;
  options.paletteIndices = r.U32(64) == DIB_PAL_COLORS;
  if (r.overrun() || !ReadDib(r, offBmi, cbBmi, offBits, cbBits, options, src)) return false;
  blit->src = src;
  blit->dx = r.I32(24);
  blit->dy = r.I32(28);
  blit->sx = r.I32(32);
  blit->sy = r.I32(36);
  blit->sw = r.I32(40);
  blit->sh = r.I32(44);
  // The source rectangle of a bottom-up DIB is measured from its bottom row.
  if (src->bottomUp) blit->sy = src->height - blit->sy - blit->sh;
  return true;
}

void Player::PlayStretchDIBits(const ByteView& r) {
  Raster src;
  Blit blit;
  if (!ReadDibBlit(r, &src, &blit)) return;
  blit.rop = r.U32(68);
  blit.dw = r.I32(72);
  blit.dh = r.I32(76);
  DoBlit(blit);
}

void Player::PlaySetDIBitsToDevice(const ByteView& r) {
  Raster src;
  Blit blit;
  if (!ReadDibBlit(r, &src, &blit)) return;
  // The bits are copied pixel for pixel on the recording device.
  cairo_matrix_t page = PageMatrix(), worldPage;
  Cairo().cairo_matrix_multiply(&worldPage, &dc_.world, &page);
  double ux = blit.sw, uy = blit.sh;
  if (Cairo().cairo_matrix_invert(&worldPage) != CAIRO_STATUS_SUCCESS) return;
  Cairo().cairo_matrix_transform_distance(&worldPage, &ux, &uy);
  blit.dw = ux;
  blit.dh = uy;
  DoBlit(blit);
}

void Player::DoBlit(const Blit& b) {
  if (!b.src || !(std::abs(b.sw) >= 1e-9) || !(std::abs(b.sh) >= 1e-9) || b.dw == 0 || b.dh == 0)
    return;
  if (!std::isfinite(b.sx + b.sy + b.sw + b.sh + b.dx + b.dy + b.dw + b.dh)) return;
  const Raster& src = *b.src;

  // Source pixels -> logical destination -> device.
  cairo_matrix_t srcToLogical, srcToDev, devToSrc, full = Transform();
  Cairo().cairo_matrix_init(&srcToLogical, b.dw / b.sw, 0, 0, b.dh / b.sh,
                            b.dx - b.sx * b.dw / b.sw, b.dy - b.sy * b.dh / b.sh);
  Cairo().cairo_matrix_multiply(&srcToDev, &srcToLogical, &full);
  devToSrc = srcToDev;
  if (Cairo().cairo_matrix_invert(&devToSrc) != CAIRO_STATUS_SUCCESS) return;

  Path dest;
  double box[4];
  if (DeviceBox(b.dx, b.dy, b.dx + b.dw, b.dy + b.dh, box, false)) {
    dest.MoveTo({box[0], box[1]});
    dest.LineTo({box[2], box[1]});
    dest.LineTo({box[2], box[3]});
    dest.LineTo({box[0], box[3]});
  } else {
    dest.MoveTo(DevExact(b.dx, b.dy));
    dest.LineTo(DevExact(b.dx + b.dw, b.dy));
    dest.LineTo(DevExact(b.dx + b.dw, b.dy + b.dh));
    dest.LineTo(DevExact(b.dx, b.dy + b.dh));
  }
  dest.Close();
  double bounds[4];
  PathBounds(dest.ops, bounds);
  if (bounds[2] < 0 || bounds[3] < 0 || bounds[0] > width_ || bounds[1] > height_) return;

  std::vector<uint32_t> argb = SourcePixels(b);
  cairo_surface_t* surface = Cairo().cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(argb.data()), CAIRO_FORMAT_ARGB32, src.width, src.height,
      src.width * 4);
  if (Cairo().cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    Cairo().cairo_surface_destroy(surface);
    return;
  }
  cairo_pattern_t* pattern = Cairo().cairo_pattern_create_for_surface(surface);
  Cairo().cairo_pattern_set_matrix(pattern, &devToSrc);
  Cairo().cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  bool shrinking = std::abs(srcToDev.xx * srcToDev.yy - srcToDev.xy * srcToDev.yx) < 1;
  Cairo().cairo_pattern_set_filter(pattern, dc_.stretchMode == STRETCH_HALFTONE && shrinking
                                                ? CAIRO_FILTER_GOOD
                                                : CAIRO_FILTER_NEAREST);

  auto paintSource = [&](cairo_t* c) {
    Cairo().cairo_set_source(c, pattern);
    AddPath(c, dest.ops);
    if (b.mode == Blit::kAlpha && b.constantAlpha < 255) {
      Cairo().cairo_clip(c);
      Cairo().cairo_paint_with_alpha(c, b.constantAlpha / 255.0);
    } else {
      Cairo().cairo_fill(c);
    }
  };
  uint32_t code = RopCode(b.rop);
  if (b.mode != Blit::kRop || code == 0xCC) {
    Paint(paintSource, bounds, R2_COPYPEN);
  } else if (code != 0xAA) {
    RasterOp(bounds, code, paintSource);
  }
  Cairo().cairo_pattern_destroy(pattern);
  Cairo().cairo_surface_destroy(surface);
  ++drawn_;
}

std::vector<uint32_t> Player::SourcePixels(const Blit& b) {
  const Raster& src = *b.src;
  std::vector<uint32_t> argb(src.pixels.size());
  for (size_t i = 0; i < argb.size(); ++i) {
    uint32_t p = src.pixels[i];
    if (b.mode == Blit::kAlpha && b.sourceAlpha) {
      uint32_t a = p >> 24;
      uint32_t r = std::min((p >> 16) & 0xFF, a), g = std::min((p >> 8) & 0xFF, a),
               bl = std::min(p & 0xFF, a);
      argb[i] = (a << 24) | (r << 16) | (g << 8) | bl;
    } else if (b.mode == Blit::kTransparent && (p & 0xFFFFFF) == b.transparent) {
      argb[i] = 0;
    } else {
      argb[i] = 0xFF000000u | p;
    }
  }
  if (b.mask && b.backgroundRop == 0xAA) {
    // Where the mask is 0 the destination stays as it is.
    for (int y = 0; y < src.height; ++y)
      for (int x = 0; x < src.width; ++x) {
        bool on = x < b.mask->width && y < b.mask->height &&
                  (b.mask->pixels[size_t(y) * b.mask->width + x] & 0xFFFFFF) != 0;
        if (!on) argb[size_t(y) * src.width + x] = 0;
      }
  }
  return argb;
}

void Player::RasterOp(const double b[4], uint32_t code,
                      const std::function<void(cairo_t*)>& drawSource) {
  int x0 = int(std::max(0.0, std::floor(b[0]))), y0 = int(std::max(0.0, std::floor(b[1])));
  int x1 = int(std::min(double(width_), std::ceil(b[2]) + 1));
  int y1 = int(std::min(double(height_), std::ceil(b[3]) + 1));
  if (x0 >= x1 || y0 >= y1) return;
  auto scratchFor = [&](bool clip, const std::function<void(cairo_t*)>& draw) {
    cairo_surface_t* s = Cairo().cairo_image_surface_create(CAIRO_FORMAT_ARGB32, x1 - x0, y1 - y0);
    if (Cairo().cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      Cairo().cairo_surface_destroy(s);
      return static_cast<cairo_surface_t*>(nullptr);
    }
    Cairo().cairo_surface_set_device_offset(s, -x0, -y0);
    cairo_t* c = Cairo().cairo_create(s);
    Cairo().cairo_set_antialias(c, CAIRO_ANTIALIAS_NONE);
    if (clip) ApplyClip(c);
    draw(c);
    Cairo().cairo_destroy(c);
    Cairo().cairo_surface_flush(s);
    return s;
  };
  cairo_surface_t* source = scratchFor(true, drawSource);
  if (!source) return;
  cairo_surface_t* brush = nullptr;
  uint32_t solid = 0;
  if (UsesPattern(code)) {
    if (dc_.brush.style == BS_SOLID || dc_.brush.IsNull()) {
      solid = ColorRefToRGB(ResolveColor(dc_.brush.color));
    } else {
      brush = scratchFor(false, [&](cairo_t* c) {
        if (SetBrushSource(c, dc_.brush)) Cairo().cairo_paint(c);
      });
    }
  }
  Cairo().cairo_surface_flush(surface_);
  const uint8_t* sdata = Cairo().cairo_image_surface_get_data(source);
  int sstride = Cairo().cairo_image_surface_get_stride(source);
  const uint8_t* bdata = brush ? Cairo().cairo_image_surface_get_data(brush) : nullptr;
  for (int y = y0; y < y1; ++y) {
    const uint32_t* s = reinterpret_cast<const uint32_t*>(sdata + size_t(y - y0) * sstride);
    const uint32_t* p =
        bdata ? reinterpret_cast<const uint32_t*>(bdata + size_t(y - y0) * sstride) : nullptr;
    uint32_t* d = pixels_ + size_t(y) * width_;
    for (int x = x0; x < x1; ++x) {
      uint32_t sv = s[x - x0];
      if ((sv >> 24) < 128) continue;
      uint32_t pv = p ? p[x - x0] & 0xFFFFFF : solid;
      d[x] = Rop3(code, pv, sv & 0xFFFFFF, d[x] & 0xFFFFFF);
    }
  }
  Cairo().cairo_surface_mark_dirty(surface_);
  Cairo().cairo_surface_destroy(source);
  if (brush) Cairo().cairo_surface_destroy(brush);
}

void Player::PlayGradientFill(const ByteView& r) {
  uint32_t vertices = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
  if (!r.HasArray(36, vertices, 16)) return;
  size_t shapesAt = 36 + 16 * size_t(vertices);
  size_t shapeBytes = mode == 2 ? 12 : 8;
  if (!r.HasArray(shapesAt, shapes, shapeBytes) || mode > 2) return;
  struct Vertex {
    Pt p;
    double rgb[3];
  };
  auto vertex = [&](uint32_t i) {
    size_t at = 36 + 16 * size_t(i);
    Vertex v;
    v.p = DevExact(r.I32(at), r.I32(at + 4));
    for (int k = 0; k < 3; ++k) v.rgb[k] = (r.U16(at + 8 + 2 * k) >> 8) / 255.0;
    return v;
  };
  for (uint32_t s = 0; s < shapes; ++s) {
    size_t at = shapesAt + shapeBytes * s;
    uint32_t idx[3] = {r.U32(at), r.U32(at + 4), mode == 2 ? r.U32(at + 8) : 0};
    if (idx[0] >= vertices || idx[1] >= vertices || idx[2] >= vertices) continue;
    Vertex v[3] = {vertex(idx[0]), vertex(idx[1]), vertex(idx[2])};
    cairo_pattern_t* pattern;
    Path p;
    if (mode == 2) {
      pattern = Cairo().cairo_pattern_create_mesh();
      Cairo().cairo_mesh_pattern_begin_patch(pattern);
      Cairo().cairo_mesh_pattern_move_to(pattern, v[0].p.x, v[0].p.y);
      Cairo().cairo_mesh_pattern_line_to(pattern, v[1].p.x, v[1].p.y);
      Cairo().cairo_mesh_pattern_line_to(pattern, v[2].p.x, v[2].p.y);
      for (int k = 0; k < 3; ++k)
        Cairo().cairo_mesh_pattern_set_corner_color_rgb(pattern, k, v[k].rgb[0], v[k].rgb[1],
                                                        v[k].rgb[2]);
      Cairo().cairo_mesh_pattern_end_patch(pattern);
      p.MoveTo(v[0].p);
      p.LineTo(v[1].p);
      p.LineTo(v[2].p);
    } else {
      double x0 = std::floor(v[0].p.x + 0.5), y0 = std::floor(v[0].p.y + 0.5);
      double x1 = std::floor(v[1].p.x + 0.5), y1 = std::floor(v[1].p.y + 0.5);
      pattern = mode == 0 ? Cairo().cairo_pattern_create_linear(x0, 0, x1, 0)
                          : Cairo().cairo_pattern_create_linear(0, y0, 0, y1);
      Cairo().cairo_pattern_add_color_stop_rgb(pattern, 0, v[0].rgb[0], v[0].rgb[1], v[0].rgb[2]);
      Cairo().cairo_pattern_add_color_stop_rgb(pattern, 1, v[1].rgb[0], v[1].rgb[1], v[1].rgb[2]);
      p.MoveTo({x0, y0});
      p.LineTo({x1, y0});
      p.LineTo({x1, y1});
      p.LineTo({x0, y1});
    }
    p.Close();
    double bounds[4];
    PathBounds(p.ops, bounds);
    Paint(
        [&](cairo_t* c) {
          Cairo().cairo_set_source(c, pattern);
          AddPath(c, p.ops);
          Cairo().cairo_fill(c);
        },
        bounds, R2_COPYPEN);
    Cairo().cairo_pattern_destroy(pattern);
  }
  if (shapes) ++drawn_;
}

}  // namespace pxmf
