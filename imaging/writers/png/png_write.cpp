// PNG writer over libpng: one image buffer to one PNG stream on a sink, with the chunks
// chosen from the arguments and the thread's PNG options.
#include <png.h>

#include <cmath>
#include <ctime>
#include <new>
#include <vector>

#include "codecs/png_support.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_png.h"

namespace {

// One libpng write structure over a sink; destroys it with the object.
class WriteSession {
 public:
  explicit WriteSession(PXSink sink) : io_(sink) {}
  ~WriteSession() {
    if (png_) png_destroy_write_struct(&png_, &info_);
  }
  WriteSession(const WriteSession&) = delete;
  WriteSession& operator=(const WriteSession&) = delete;

  bool Create() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, px::PNGError, px::PNGWarning);
    if (!png_) return false;
    info_ = png_create_info_struct(png_);
    return info_ != nullptr;
  }

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  CPXIO& io() { return io_; }

  static void WriteData(png_structp png, png_bytep data, size_t length) {
    auto* self = static_cast<WriteSession*>(png_get_io_ptr(png));
    if (!self->io_.Write(data, 1, length)) png_error(png, "Write error");
  }
  static void FlushData(png_structp png) {
    auto* self = static_cast<WriteSession*>(png_get_io_ptr(png));
    if (!self->io_.Flush()) png_error(png, "Write error");
  }

 private:
  CPXIO io_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The combinations PNG allows; libpng would otherwise refuse them as a write error.
bool ValidFormat(int bitDepth, int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case PNG_COLOR_TYPE_PALETTE:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return bitDepth == 8 || bitDepth == 16;
    default:
      return false;
  }
}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

png_color_16 ToPNG(const px::PNGColor& c) {
  return {c.index, c.red, c.green, c.blue, c.gray};
}

uint32_t SinkSize(PXSink sink) {
  uint64_t size = 0;
  CPXIO(sink).Size(&size);
  return uint32_t(std::min<uint64_t>(size, UINT32_MAX));
}

struct WriteRequest {
  const uint8_t* pixels;
  uint32_t width;
  uint32_t height;
  uint32_t stride;
  int bitDepth;
  int paletteCount;
  const RGBQUAD* palette;
  int colorType;
  double gamma;
  const PXResolution* resolution;
  uint32_t flags;
};

// Tables the chunks point into; built before libpng runs so that its error path skips
// no destructor.
struct ChunkTables {
  std::vector<png_color> plte;
  std::vector<png_byte> alpha;
  std::vector<png_text> text;
};

void BuildTables(const WriteRequest& r, const px::PNGState& state, ChunkTables* t) {
  if (r.paletteCount >= 1 && r.paletteCount <= 256) {
    for (int i = 0; i < r.paletteCount; ++i)
      t->plte.push_back({r.palette[i].rgbRed, r.palette[i].rgbGreen, r.palette[i].rgbBlue});
    for (int i = 0; i < r.paletteCount; ++i) t->alpha.push_back(r.palette[i].rgbReserved);
  }
  for (const px::PNGText& entry : state.textToWrite) {
    png_text text = {};
    text.compression = entry.compressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(entry.keyword.c_str());
    text.text = const_cast<char*>(entry.text.c_str());
    text.text_length = entry.text.size();
    t->text.push_back(text);
  }
}

// The chunks before the image data, in this order: IHDR, PLTE, tRNS, bKGD, tIME, pHYs,
// gAMA, text, iCCP (libpng places each where PNG wants it). Runs under px::PNGGuarded.
void SetChunks(png_structp png, png_infop info, const WriteRequest& r, const px::PNGState& state,
               const std::vector<uint8_t>& icc, ChunkTables& t) {
  png_set_IHDR(png, info, r.width, r.height, r.bitDepth, r.colorType,
               (r.flags & PX_PNG_WRITE_INTERLACE) ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color_16 background = ToPNG(state.writeBackground);
  png_color_16 transparent = ToPNG(state.writeTransparent);
  png_color_16p transparentOrNull = state.writeTransparentValid ? &transparent : nullptr;
  if (!t.plte.empty()) {
    png_set_PLTE(png, info, t.plte.data(), int(t.plte.size()));
    if ((r.flags & PX_PNG_WRITE_PALETTE_ALPHA) && (r.colorType & 3) != 0) {
      // The alpha table belongs to palette images. Another colour type's tRNS holds
      // one transparent colour, so it is written only when that colour was set: an
      // unset one would mark black as transparent.
      if (r.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_tRNS(png, info, t.alpha.data(), int(t.alpha.size()), transparentOrNull);
      else if (transparentOrNull && r.colorType == PNG_COLOR_TYPE_RGB)
        png_set_tRNS(png, info, nullptr, 0, transparentOrNull);
    }
    png_set_bKGD(png, info, &background);
  } else if (transparentOrNull && !(r.colorType & PNG_COLOR_MASK_ALPHA)) {
    png_set_tRNS(png, info, nullptr, 0, transparentOrNull);
  }
  if (!(r.flags & PX_PNG_WRITE_NO_TIME)) {
    png_time now;
    png_convert_from_time_t(&now, std::time(nullptr));
    png_set_tIME(png, info, &now);
  }
  if (r.colorType & PNG_COLOR_MASK_ALPHA) png_set_bKGD(png, info, &background);
  if (r.resolution)
    png_set_pHYs(png, info, r.resolution->x, r.resolution->y, int(r.resolution->unit));
  else
    png_set_pHYs(png, info, 1, 1, PNG_RESOLUTION_UNKNOWN);
  if (r.gamma > 0) png_set_gAMA(png, info, r.gamma);
  if (!t.text.empty()) png_set_text(png, info, t.text.data(), int(t.text.size()));
  if (!icc.empty())
    png_set_iCCP(png, info, "icm", PNG_COMPRESSION_TYPE_BASE, icc.data(), png_uint_32(icc.size()));
}

uint32_t WriteImage(px::Operation& op, PXSink sink, const WriteRequest& r) {
  const PXThreadState& thread = op.state();
  ChunkTables tables;
  try {
    BuildTables(r, thread.png, &tables);
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
    return SinkSize(sink);
  }

  WriteSession session(sink);
  if (!session.Create()) return op.SetError(PX_ERR_PNG_LIB), 0;
  png_structp png = session.png();
  png_infop info = session.info();
  bool ok = px::PNGGuarded(png, [&] {
    png_set_write_fn(png, &session, &WriteSession::WriteData, &WriteSession::FlushData);
    // Chunks libpng cannot store (an out-of-range gamma, a malformed ICC profile) are
    // left out with a warning instead of failing the whole image.
    png_set_benign_errors(png, 1);
    // libpng refuses to write more than a million pixels per side by default; the format
    // and our reader take up to 2^31 - 1.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    SetChunks(png, info, r, thread.png, thread.iccProfile, tables);
    png_write_info(png, info);
    if (r.bitDepth == 16) png_set_swap(png);
    const int passes = png_set_interlace_handling(png);
    uint64_t done = 0;
    uint32_t reported = 0;
    for (int pass = 0; pass < passes; ++pass) {
      for (uint32_t y = 0; y < r.height; ++y) {
        png_write_row(png, r.pixels + size_t(y) * r.stride);
        auto current = uint32_t(++done / uint64_t(passes));
        if (current == reported) continue;
        reported = current;
        if (!op.Progress(current, r.height)) return;  // PX_ERR_ABORTED is recorded
      }
    }
    png_write_end(png, info);
    // A sink holds back what it was given; a full disk shows only when it is pushed out.
    WriteSession::FlushData(png);
  });
  if (!ok) op.SetError(PX_ERR_FILE_WRITE);
  return SinkSize(sink);
}

}  // namespace

extern "C" uint32_t PXWritePNG(PXSink sink, const void* pixels, uint32_t width, uint32_t height,
                               uint32_t stride, int bitDepth, int paletteCount,
                               const RGBQUAD* palette, int colorType, double gamma,
                               const PXResolution* resolution, uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  if (!pixels || (paletteCount >= 1 && paletteCount <= 256 && !palette))
    return op.SetError(PX_ERR_PARAMETER), 0;
  // Arguments libpng would refuse half-way through the stream, or that would make it
  // read past the caller's rows, are refused before anything is written.
  const bool sizeOk =
      width >= 1 && height >= 1 && width <= PNG_UINT_31_MAX && height <= PNG_UINT_31_MAX;
  const bool formatOk = ValidFormat(bitDepth, colorType);
  const uint64_t rowBytes =
      formatOk ? (uint64_t(width) * bitDepth * Channels(colorType) + 7) / 8 : 0;
  const bool paletteOk =
      colorType != PNG_COLOR_TYPE_PALETTE || (paletteCount >= 1 && paletteCount <= (1 << bitDepth));
  if (!sizeOk || !formatOk || stride < rowBytes || !paletteOk || !std::isfinite(gamma) ||
      gamma >= 21474.0)
    return op.SetError(PX_ERR_PARAMETER), 0;

  WriteRequest request{static_cast<const uint8_t*>(pixels),
                       width,
                       height,
                       stride,
                       bitDepth,
                       paletteCount,
                       palette,
                       colorType,
                       gamma,
                       resolution,
                       flags};
  return px::PNGShielded(op, [&] { return WriteImage(op, sink, request); });
}

extern "C" BOOL PXClearPNGTextChunks(void) {
  px::Operation op;
  if (!op) return TRUE;
  op.state().png.textToWrite.clear();
  return TRUE;
}
