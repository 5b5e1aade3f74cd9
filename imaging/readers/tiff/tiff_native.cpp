// The TIFF reader's native paths: 1-bit, 8-bit (indexed and grey) and 16-bit grey pages,
// decoded strip by strip or tile by tile into place.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/dib.h"
#include "readers/tiff/tiff_paths.h"

namespace pxtiff {

namespace {

constexpr RGBQUAD kWhite = {255, 255, 255, 0};
constexpr RGBQUAD kBlack = {0, 0, 0, 0};

uint32_t Luma(uint16_t r, uint16_t g, uint16_t b) {
  return 299u * r + 587u * g + 114u * b;
}

// A 1-bit palette page whose entry 0 is the darker one has its bits the way round of a
// min-is-black page.
bool DarkZero(TIFF* tif, const PageInfo& info) {
  if (info.photometric == PHOTOMETRIC_MINISBLACK) return true;
  uint16_t *r, *g, *b;
  if (info.photometric != PHOTOMETRIC_PALETTE || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) ||
      !r || !g || !b)
    return false;
  return Luma(r[0], g[0], b[0]) < Luma(r[1], g[1], b[1]);
}

// The result is cut short: PX_ERR_BAD_TIFF keeps the image, anything else discards it.
bool KeepsImage(int error) {
  return error == PX_OK || error == PX_ERR_BAD_TIFF;
}

}  // namespace

Transform RequestTransform(const PageInfo& info, const ReadRequest& request) {
  Transform t =
      OrientationTransform(request.flags & PX_TIFF_IGNORE_ORIENTATION ? 1 : info.orientation);
  if (request.dib) t.flipY = !t.flipY;
  return t;
}

px::Block AllocateOutput(px::Operation& op, TIFF* tif, uint64_t rows, uint64_t stride,
                         size_t prefix) {
  size_t bytes;
  if (!px::BlockSize(rows, stride, prefix, &bytes))
    return op.SetError(PX_ERR_NO_MEMORY), px::Block();
  if (!PlausibleSize(tif, bytes)) return op.SetError(PX_ERR_BAD_TIFF), px::Block();
  px::Block block(bytes);
  if (!block) op.SetError(PX_ERR_NO_MEMORY);
  return block;
}

BYTE* ReadBilevel(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                  uint32_t* width, uint32_t* height) {
  Transform t = RequestTransform(info, request);
  if (request.flags & PX_TIFF_1BIT_BOTTOM_UP) t.flipY = !t.flipY;

  const uint32_t w = info.width, h = info.height;
  const size_t rowBytes = PXImageRowBytes(w, 1);
  const size_t stride = request.dib ? PXDIBRowBytes(w, 1) : rowBytes;
  const size_t prefix = request.dib ? 48 : 0;
  px::Block out = AllocateOutput(op, tif, h, stride, prefix);
  if (!out) return nullptr;
  uint8_t* rows = out.get() + prefix;
  Placer placer(rows, stride, w, h, 1, t);
  const int error = ReadPlane(
      op, tif, info,
      [&](uint32_t x, uint32_t y, const uint8_t* d, uint32_t n) { placer.Place(x, y, d, n); });
  if (!KeepsImage(error)) return op.SetError(error), nullptr;

  // In the result a set bit is black.
  if (DarkZero(tif, info)) {
    const uint8_t lastMask = w % 8 ? uint8_t(0xFF << (8 - w % 8)) : 0xFF;
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* row = rows + size_t(y) * stride;
      for (size_t i = 0; i < rowBytes; ++i) row[i] = uint8_t(~row[i]);
      row[rowBytes - 1] &= lastMask;
    }
  }
  RGBQUAD* colors = request.dib ? reinterpret_cast<RGBQUAD*>(out.get() + 40) : request.palette;
  colors[0] = kWhite;
  colors[1] = kBlack;
  if (request.dib) {
    px::FillDIBHeader(reinterpret_cast<BITMAPINFOHEADER*>(out.get()), int32_t(w), int32_t(h), 1, 2,
                      info.xPelsPerMeter(), info.yPelsPerMeter());
  }
  op.SetError(error);
  *width = w;
  *height = h;
  return out.Release();
}

BYTE* ReadIndexed(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                  uint32_t* width, uint32_t* height) {
  const uint16_t ph = info.photometric, bits = info.bitsPerSample;
  RGBQUAD palette[256] = {};
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) && bits <= 8) {
    if (!r || !g || !b) return op.SetError(PX_ERR_BAD_TIFF), nullptr;
    const uint32_t n = 1u << bits;
    bool wide = false;
    for (uint32_t i = 0; i < n; ++i) wide |= r[i] > 255 || g[i] > 255 || b[i] > 255;
    // 16-bit maps keep their high bytes, so that maps written as c * 257 and as c * 256
    // both give c back; some writers store 8-bit values.
    auto level = [wide](uint16_t v) { return uint8_t(wide ? v >> 8 : v); };
    for (uint32_t i = 0; i < n; ++i) palette[i] = {level(b[i]), level(g[i]), level(r[i]), 0};
  } else if (ph == PHOTOMETRIC_PALETTE) {
    return op.SetError(PX_ERR_BAD_TIFF), nullptr;
  } else if (bits == 1) {
    const bool whiteZero = ph == PHOTOMETRIC_MINISWHITE;
    palette[0] = whiteZero ? kWhite : kBlack;
    palette[1] = whiteZero ? kBlack : kWhite;
  } else {
    // Samples keep their values; the ramp spreads 2- to 7-bit levels over the full range.
    const uint32_t levels = bits >= 8 ? 256 : 1u << bits;
    for (uint32_t i = 0; i < levels; ++i) {
      uint8_t v = uint8_t(i * 255 / (levels - 1));
      if (ph == PHOTOMETRIC_MINISWHITE) v = uint8_t(255 - v);
      palette[i] = {v, v, v, 0};
    }
  }

  const Transform t = RequestTransform(info, request);
  const uint32_t w = info.width, h = info.height;
  const uint32_t outW = t.transpose ? h : w, outH = t.transpose ? w : h;
  const size_t stride = request.dib ? PXDIBRowBytes(outW, 8) : outW;
  const size_t prefix = request.dib ? 40 + 256 * 4 : 0;
  px::Block out = AllocateOutput(op, tif, outH, stride, prefix);
  if (!out) return nullptr;
  Placer placer(out.get() + prefix, stride, w, h, 8, t);
  std::vector<uint8_t> row(w);
  const int error =
      ReadPlane(op, tif, info, [&](uint32_t x, uint32_t y, const uint8_t* d, uint32_t n) {
        if (bits == 8) return placer.Place(x, y, d, n);
        if (bits == 16) {
          for (uint32_t i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, d + 2 * size_t(i), 2);
            row[i] = uint8_t(v * 255u / 65535u);
          }
        } else {
          const uint32_t mask = (1u << bits) - 1;
          for (uint32_t i = 0; i < n; ++i) {
            const size_t bit = size_t(i) * bits;
            const uint32_t pair =
                uint32_t(d[bit / 8] << 8) | (bit % 8 + bits > 8 ? d[bit / 8 + 1] : 0);
            row[i] = uint8_t((pair >> (16 - bit % 8 - bits)) & mask);
          }
        }
        placer.Place(x, y, row.data(), n);
      });
  if (!KeepsImage(error)) return op.SetError(error), nullptr;

  if (request.dib) {
    px::FillDIBHeader(reinterpret_cast<BITMAPINFOHEADER*>(out.get()), int32_t(outW), int32_t(outH),
                      8, 256, info.xPelsPerMeter(), info.yPelsPerMeter());
    std::memcpy(out.get() + 40, palette, sizeof palette);
  } else {
    std::memcpy(request.palette, palette, sizeof palette);
  }
  op.SetError(error);
  *width = outW;
  *height = outH;
  return out.Release();
}

BYTE* ReadGrey16(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                 uint32_t* width, uint32_t* height) {
  const Transform t = RequestTransform(info, request);
  const uint32_t w = info.width, h = info.height;
  const uint32_t outW = t.transpose ? h : w, outH = t.transpose ? w : h;
  size_t stride = size_t(outW) * 2;
  if (request.flags & PX_TIFF_16BIT_PAD_ROWS) stride = (stride + 3) & ~size_t(3);
  px::Block out = AllocateOutput(op, tif, outH, stride, 0);
  if (!out) return nullptr;
  Placer placer(out.get(), stride, w, h, 16, t);
  const int error = ReadPlane(
      op, tif, info,
      [&](uint32_t x, uint32_t y, const uint8_t* d, uint32_t n) { placer.Place(x, y, d, n); });
  if (!KeepsImage(error)) return op.SetError(error), nullptr;
  op.SetError(error);
  *width = outW;
  *height = outH;
  return out.Release();
}

}  // namespace pxtiff
