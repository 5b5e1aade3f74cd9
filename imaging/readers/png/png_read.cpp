// PNG reader over libpng: header queries, palette, and the pixels at the depth the
// caller asks for, with libpng's transformations chosen per output layout.
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "codecs/png_support.h"
#include "core/dib.h"
#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_orientation.h"
#include "pixolith/px_png.h"
#include "readers/png/png_header.h"

namespace {

using pxpng::Header;
using pxpng::Layout;

// libpng's own allocations (zlib state, text and ICC chunks, row buffers) are metered:
// many large compressed text chunks would otherwise inflate into gigabytes of memory.
// Row buffers get their own allowance once the width is known.
constexpr size_t kLibpngBudget = size_t(64) << 20;
constexpr size_t kBlockHeader = 16;  // keeps the blocks handed to libpng 16-byte aligned

struct MemoryBudget {
  size_t remaining = kLibpngBudget;
};

png_voidp BudgetMalloc(png_structp png, png_alloc_size_t size) {
  auto* budget = static_cast<MemoryBudget*>(png_get_mem_ptr(png));
  if (size > budget->remaining) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  budget->remaining -= size;
  return block + kBlockHeader;
}

void BudgetFree(png_structp png, png_voidp pointer) {
  if (!pointer) return;
  unsigned char* block = static_cast<unsigned char*>(pointer) - kBlockHeader;
  size_t size;
  std::memcpy(&size, block, sizeof size);
  static_cast<MemoryBudget*>(png_get_mem_ptr(png))->remaining += size;
  std::free(block);
}

// One libpng read structure over a source. Owns everything the libpng calls need, so
// that libpng's error jump never skips a destructor (see px::PNGGuarded).
class ReadSession {
 public:
  ReadSession(px::Operation& op, const CPXIO& io) : op_(op), io_(io) {}
  ~ReadSession() {
    if (png_) png_destroy_read_struct(&png_, &info_, nullptr);
  }
  ReadSession(const ReadSession&) = delete;
  ReadSession& operator=(const ReadSession&) = delete;

  // Creates the libpng structures (PX_ERR_PNG_LIB) and reads the chunks before the image
  // data (PX_ERR_BAD_PNG).
  bool Open() {
    png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, this, px::PNGError, px::PNGWarning,
                                    &budget_, BudgetMalloc, BudgetFree);
    if (!png_) return op_.Fail(PX_ERR_PNG_LIB);
    info_ = png_create_info_struct(png_);
    if (!info_) return op_.Fail(PX_ERR_PNG_LIB);
    png_structp png = png_;
    png_infop info = info_;
    bool ok = px::PNGGuarded(png, [&] {
      png_set_read_fn(png, this, &ReadSession::ReadData);
      // Our own checks against the file size and the block limit decide what is too
      // large; libpng's default of a million pixels per side would refuse real files.
      png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
      png_read_info(png, info);
    });
    return ok ? true : op_.Fail(PX_ERR_BAD_PNG);
  }

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  CPXIO& io() { return io_; }
  void AllowRowBuffers(size_t bytes) { budget_.remaining += bytes; }

 private:
  static void ReadData(png_structp png, png_bytep data, size_t length) {
    auto* self = static_cast<ReadSession*>(png_get_io_ptr(png));
    if (!self->io_.ReadExactly(data, length)) png_error(png, "read Error");
  }

  px::Operation& op_;
  CPXIO io_;
  MemoryBudget budget_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

Header ReadHeader(png_structp png, png_infop info) {
  Header h;
  png_uint_32 w = 0, ht = 0;
  int compression, filter;
  png_get_IHDR(png, info, &w, &ht, &h.bitDepth, &h.colorType, &h.interlace, &compression, &filter);
  h.width = w;
  h.height = ht;
  h.channels = png_get_channels(png, info);
  png_uint_32 x, y;
  int unit;
  if (png_get_pHYs(png, info, &x, &y, &unit)) h.resolution = {x, y, uint32_t(unit)};
  h.hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  return h;
}

// Fills all 256 entries: PLTE as blue, green, red, 255 (or, for grey images without
// PLTE, the grey ramp of their depth), the remaining entries copies of entry 0, then
// tRNS alpha values in the reserved bytes. Returns the entry count: PLTE's, else the
// ramp's, which stops at 256 steps (16-bit grey has no larger palette to offer).
int FillPalette(png_structp png, png_infop info, RGBQUAD* palette) {
  std::memset(palette, 0, 256 * sizeof(RGBQUAD));
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  png_colorp plte = nullptr;
  int count = 0, filled = 0;
  if (png_get_PLTE(png, info, &plte, &count)) {
    if (colorType == PNG_COLOR_TYPE_PALETTE && count <= 256) {
      for (int i = 0; i < count; ++i) palette[i] = {plte[i].blue, plte[i].green, plte[i].red, 255};
      filled = count;
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY) {
    count = 1 << std::min(bitDepth, 8);
    for (int i = 0; i < count; ++i) {
      auto v = BYTE(i * 255 / (count - 1));
      palette[i] = {v, v, v, 255};
    }
    filled = count;
  }
  if (filled > 0)
    for (int i = filled; i < 256; ++i) palette[i] = palette[0];
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  png_color_16p color = nullptr;
  if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_tRNS(png, info, &alpha, &alphaCount, &color) &&
      alpha)
    for (int i = 0; i < std::min(alphaCount, 256); ++i) palette[i].rgbReserved = alpha[i];
  return count;
}

// Copies text chunks from index `from` on into the thread's list.
void AppendTexts(png_structp png, png_infop info, int from, std::vector<px::PNGText>& list) {
  png_textp text = nullptr;
  int count = png_get_text(png, info, &text, nullptr);
  for (int i = from; i < count; ++i) {
    const png_text& t = text[i];
    int compressed =
        t.compression == PNG_TEXT_COMPRESSION_zTXt || t.compression == PNG_ITXT_COMPRESSION_zTXt;
    list.push_back({compressed, t.key ? t.key : "", t.text ? t.text : ""});
  }
}

// The thread's record of the last file: its background colour and text chunks.
// Returns the number of text chunks seen so far.
int RecordFileMetadata(png_structp png, png_infop info, px::PNGState& state) {
  png_color_16p bg = nullptr;
  state.fileBackgroundValid = png_get_bKGD(png, info, &bg) != 0;
  state.fileBackground = {};
  if (state.fileBackgroundValid)
    state.fileBackground = {bg->index, bg->red, bg->green, bg->blue, bg->gray};
  state.textRead.clear();
  AppendTexts(png, info, 0, state.textRead);
  png_uint_32 exifBytes = 0;
  png_bytep exif = nullptr;
  state.orientationRead = png_get_eXIf_1(png, info, &exifBytes, &exif) && exif
                              ? PXGetExifOrientation(exif, exifBytes)
                              : PX_ORIENTATION_TOP_LEFT;
  return png_get_text(png, info, nullptr, nullptr);
}

struct HeaderResult {
  Header header;
  int paletteCount = 0;
  int transparent[4] = {-1, -1, -1, -1};  // red, green, blue, grey
};

bool QueryHeader(px::Operation& op, CPXIO& io, HeaderResult* out, RGBQUAD* palette) {
  op.state().png.textRead.clear();
  op.state().png.orientationRead = PX_ORIENTATION_TOP_LEFT;
  ReadSession session(op, io);
  if (!session.Open()) return false;
  png_structp png = session.png();
  png_infop info = session.info();
  out->header = ReadHeader(png, info);
  if (palette) out->paletteCount = FillPalette(png, info, palette);
  png_bytep alpha;
  int alphaCount;
  png_color_16p color = nullptr;
  if (png_get_tRNS(png, info, &alpha, &alphaCount, &color) && color &&
      out->header.colorType != PNG_COLOR_TYPE_PALETTE) {
    out->transparent[0] = color->red;
    out->transparent[1] = color->green;
    out->transparent[2] = color->blue;
    out->transparent[3] = color->gray;
  }
  RecordFileMetadata(png, info, op.state().png);
  return true;
}

/* ---- Reading the pixels ----------------------------------------------------------------- */

// Composites transparent pixels on the file's bKGD colour, else on the thread's default
// background (black unless changed). libpng does not widen the bKGD level of grey files
// below 8 bits along with their samples, so for layouts that widen them the level is
// scaled here to `outputMax` (255, or 65535 for 16-bit layouts; 0 keeps the file's
// scale, for indices).
void RequestCompositing(png_structp png, png_infop info, const px::PNGState& state,
                        uint32_t outputMax) {
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(png, info, &fileBackground)) {
    const int bitDepth = png_get_bit_depth(png, info);
    if (!outputMax || (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) || bitDepth >= 8) {
      png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
      return;
    }
    const uint32_t top = (1u << bitDepth) - 1;
    png_color_16 background = *fileBackground;
    background.gray = png_uint_16((background.gray & top) * outputMax / top);
    background.red = background.green = background.blue = background.gray;
    png_set_background(png, &background, PNG_BACKGROUND_GAMMA_FILE, 0, 1.0);
    return;
  }
  const px::PNGColor& d = state.defaultBackground;
  png_color_16 background = {d.index, d.red, d.green, d.blue, d.gray};
  png_set_background(png, &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
}

// Gamma correction on request: an sRGB file is decoded with the sRGB curve, any other
// with its gAMA value (or, without one, the value that matches the screen).
void RequestGamma(png_structp png, png_infop info, double screenGamma) {
  if (screenGamma <= 0) return;
  int intent;
  if (png_get_sRGB(png, info, &intent)) {
    png_set_gamma(png, screenGamma, PNG_DEFAULT_sRGB);
    return;
  }
  double fileGamma;
  if (!png_get_gAMA(png, info, &fileGamma) || fileGamma <= 0) fileGamma = 1.0 / screenGamma;
  png_set_gamma(png, screenGamma, fileGamma);
}

// Sets up libpng's transformations for the layout. Runs under px::PNGGuarded.
void ApplyTransforms(png_structp png, png_infop info, const Header& h, Layout layout, bool bgr,
                     uint32_t flags, const px::PNGState& state) {
  const int ct = h.colorType, bd = h.bitDepth;
  const bool grey = !(ct & PNG_COLOR_MASK_COLOR);
  const bool alpha = (ct & PNG_COLOR_MASK_ALPHA) || h.hasTransparency;
  if (flags & PX_PNG_READ_GAMMA)
    RequestGamma(png, info, state.screenGamma);
  else
    // Without gamma correction samples are taken as stored, compositing included;
    // libpng would otherwise composite in linear light (through 8-bit tables that
    // crush dark tones) whenever the file states its gamma.
    png_set_gamma(png, 1.0, 1.0);
  switch (layout) {
    case Layout::kIndex1:
    case Layout::kIndex4:
      if (grey && h.hasTransparency) RequestCompositing(png, info, state, 0);
      break;
    case Layout::kIndex8:
      if (bd < 8) png_set_packing(png);
      if (bd == 16) png_set_strip_16(png);
      if (grey && h.hasTransparency) RequestCompositing(png, info, state, 0);
      break;
    case Layout::kGrayAlpha8:
      if (bd < 8) png_set_expand_gray_1_2_4_to_8(png);
      if (bd == 16) png_set_strip_16(png);
      if (h.hasTransparency) png_set_tRNS_to_alpha(png);
      png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
      break;
    case Layout::kGray16:
      if (bd < 16) png_set_expand_16(png);
      if (h.hasTransparency) png_set_tRNS_to_alpha(png);
      if (alpha) RequestCompositing(png, info, state, 65535);
      png_set_swap(png);
      break;
    case Layout::kRGB8:
    case Layout::kRGBA8:
      png_set_expand(png);  // palette to RGB, grey to 8 bits, tRNS to alpha
      if (bd == 16) png_set_strip_16(png);
      if (grey) png_set_gray_to_rgb(png);
      if (layout == Layout::kRGB8 && alpha) RequestCompositing(png, info, state, 255);
      if (layout == Layout::kRGBA8) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
      if (bgr) png_set_bgr(png);
      break;
    case Layout::kRGB16:
    case Layout::kRGBA16:
      png_set_expand(png);
      if (bd < 16) png_set_expand_16(png);
      if (grey) png_set_gray_to_rgb(png);
      if (layout == Layout::kRGB16 && alpha) RequestCompositing(png, info, state, 65535);
      if (layout == Layout::kRGBA16) png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
      png_set_swap(png);
      break;
  }
}

// Where the decoded rows go: an image buffer (top-down, no padding) or the pixel area of
// a packed DIB (bottom-up, rows padded to 4 bytes).
struct Target {
  uint8_t* rows = nullptr;
  size_t stride = 0;
  uint32_t height = 0;
  bool bottomUp = false;
  uint8_t* Row(uint32_t y) const { return rows + stride * (bottomUp ? height - 1 - y : y); }
};

void* ReadImage(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, int depth,
                RGBQUAD* palette, uint32_t flags) {
  px::PNGState& state = op.state().png;
  state.textRead.clear();
  state.orientationRead = PX_ORIENTATION_TOP_LEFT;
  ReadSession session(op, io);
  if (!session.Open()) return nullptr;
  png_structp png = session.png();
  png_infop info = session.info();
  const int textsBefore = RecordFileMetadata(png, info, state);
  const Header h = ReadHeader(png, info);

  if (int e = pxpng::CheckHeader(h, depth, flags, session.io().Remaining())) {
    if (e == PX_ERR_BAD_PNG)
      px::Trace("PXLib PNG Error : %s\n", "image data cannot fit in the file");
    return op.SetError(e), nullptr;
  }
  const bool dib = flags & PX_PNG_READ_DIB;
  Layout layout = Layout::kRGB8;
  pxpng::ChooseLayout(h, depth, flags, &layout);
  const uint32_t bits = pxpng::LayoutBits(layout);
  const size_t rowBytes = PXImageRowBytes(h.width, bits);
  const uint32_t colors = pxpng::LayoutColors(layout);
  const size_t total = pxpng::OutputSize(h, layout, dib);
  // libpng keeps a few rows of its own (the widest pixel it can make is 8 bytes).
  session.AllowRowBuffers(3 * (size_t(h.width) * 8 + 64));

  int passes = 1;
  bool ok = px::PNGGuarded(png, [&] {
    ApplyTransforms(png, info, h, layout, dib, flags, state);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
  });
  if (!ok) return op.SetError(PX_ERR_BAD_PNG), nullptr;
  if (png_get_rowbytes(png, info) != rowBytes) {
    px::Trace("PXLib PNG Error : row of %zu bytes, expected %zu\n",
              size_t(png_get_rowbytes(png, info)), rowBytes);
    return op.SetError(PX_ERR_UNEXPECTED), nullptr;
  }

  px::Block block(total);
  if (!block) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  Target target;
  target.height = h.height;
  if (dib) {
    RGBQUAD table[256];
    if (colors) FillPalette(png, info, table);
    for (uint32_t i = 0; i < colors; ++i) table[i].rgbReserved = 0;
    bool metre = h.resolution.unit == PNG_RESOLUTION_METER;
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block.get());
    px::FillDIBHeader(header, int32_t(h.width), int32_t(h.height), uint16_t(bits), colors,
                      metre ? int32_t(std::min<uint32_t>(h.resolution.x, INT32_MAX)) : 0,
                      metre ? int32_t(std::min<uint32_t>(h.resolution.y, INT32_MAX)) : 0);
    std::memcpy(block.get() + 40, table, 4 * size_t(colors));
    target.rows = block.get() + 40 + 4 * size_t(colors);
    target.stride = PXDIBRowBytes(h.width, bits);
    target.bottomUp = true;
  } else {
    if (pxpng::IsIndexed(layout)) FillPalette(png, info, palette);
    target.rows = block.get();
    target.stride = rowBytes;
  }
  *width = h.width;
  *height = h.height;

  // Rows of every interlace pass; progress counts rows over all passes.
  bool aborted = false;
  uint64_t done = 0;
  uint32_t reported = 0;
  ok = px::PNGGuarded(png, [&] {
    for (int pass = 0; pass < passes; ++pass) {
      for (uint32_t y = 0; y < h.height; ++y) {
        png_read_row(png, target.Row(y), nullptr);
        auto current = uint32_t(++done / uint64_t(passes));
        if (current == reported) continue;
        reported = current;
        if (!op.Progress(current, h.height)) {
          aborted = true;
          return;
        }
      }
    }
    png_read_end(png, info);
  });
  if (!ok) op.SetError(PX_ERR_BAD_PNG);
  if (ok && !aborted) AppendTexts(png, info, textsBefore, state.textRead);
  return block.Release();
}

bool IsReadDepth(int depth) {
  switch (depth) {
    case 1:
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      return true;
    default:
      return false;
  }
}

template <class T>
void Put(T* out, T value) {
  if (out) *out = value;
}

}  // namespace

extern "C" BOOL PXGetPNGInfo(PXSource source, uint32_t* width, uint32_t* height, int* bitDepth,
                             int* colorType, int* interlace, PXResolution* resolution,
                             int* paletteCount, RGBQUAD* palette, int* reserved,
                             int* transparentRed, int* transparentGreen, int* transparentBlue,
                             int* transparentGray) {
  // Every output is cleared first, also when the source is refused.
  Put(width, 0u), Put(height, 0u), Put(bitDepth, 0), Put(colorType, 0), Put(interlace, 0);
  Put(resolution, PXResolution{}), Put(paletteCount, 0), Put(reserved, -1);
  Put(transparentRed, -1), Put(transparentGreen, -1), Put(transparentBlue, -1);
  Put(transparentGray, -1);
  return px::RunEntry<BOOL>(source, FALSE, {}, [&](px::Operation& op, CPXIO& io) {
    HeaderResult r;
    if (!QueryHeader(op, io, &r, palette)) return FALSE;
    Put(width, r.header.width), Put(height, r.header.height), Put(bitDepth, r.header.bitDepth);
    Put(colorType, r.header.colorType), Put(interlace, r.header.interlace);
    Put(resolution, r.header.resolution), Put(paletteCount, r.paletteCount);
    Put(transparentRed, r.transparent[0]), Put(transparentGreen, r.transparent[1]);
    Put(transparentBlue, r.transparent[2]), Put(transparentGray, r.transparent[3]);
    return TRUE;
  });
}

extern "C" BOOL PXGetPNGDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   int* bitDepth, int* colorType, int* interlace,
                                   PXResolution* resolution) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height, bitDepth, colorType, interlace},
                            [&](px::Operation& op, CPXIO& io) {
                              HeaderResult r;
                              if (!QueryHeader(op, io, &r, nullptr)) return FALSE;
                              *width = r.header.width;
                              *height = r.header.height;
                              *bitDepth = r.header.bitDepth;
                              *colorType = r.header.colorType;
                              *interlace = r.header.interlace;
                              Put(resolution, r.header.resolution);
                              return TRUE;
                            });
}

extern "C" void PXGetPNGPalette(PXSource source, int* count, RGBQUAD* palette) {
  px::RunEntry<bool>(source, false, {count, palette}, [&](px::Operation& op, CPXIO& io) {
    *count = 0;
    HeaderResult r;
    if (!QueryHeader(op, io, &r, palette)) return false;
    *count = r.paletteCount;
    return true;
  });
}

extern "C" void* PXReadPNG(PXSource source, uint32_t* width, uint32_t* height, int depth,
                           RGBQUAD* palette, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) -> BYTE* {
    *width = *height = 0;
    if (!(flags & PX_PNG_READ_DIB)) {
      if (!IsReadDepth(depth)) return op.SetError(PX_ERR_PARAMETER), nullptr;
      if ((depth == 1 || depth == 8) && !palette) return op.SetError(PX_ERR_PARAMETER), nullptr;
    }
    return static_cast<BYTE*>(ReadImage(op, io, width, height, depth, palette, flags));
  });
}

extern "C" void PXSetPNGDefaultBackground(uint16_t red, uint16_t green, uint16_t blue,
                                          uint16_t gray) {
  px::Operation op;
  if (!op) return;
  px::PNGColor& background = op.state().png.defaultBackground;
  background.red = red;
  background.green = green;
  background.blue = blue;
  background.gray = gray;
}

extern "C" int PXGetLastPNGOrientation(void) {
  PXThreadState* state = px::GetThreadState();
  return state ? state->png.orientationRead : PX_ORIENTATION_TOP_LEFT;
}
