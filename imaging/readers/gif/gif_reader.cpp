// GIF reader: the logical screen, the transparent colour and the first image.
#include <cstring>
#include <memory>
#include <new>

#include "core/dib.h"
#include "core/operation.h"
#include "pixolith/px_gif.h"
#include "readers/claimed_size.h"
#include "readers/gif/gif_decoder.h"

namespace {

// LZW packs at most a few thousand pixels into a byte (a 12-bit code for a string of
// up to 4096); a claim beyond this many per byte left in the file is no real image.
constexpr uint64_t kMaxPixelsPerByte = 8192;

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   int* background, int* transparent, RGBQUAD* palette, int* flag) {
  PXOperation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  if (!width || !height || !bitsPerPixel) return op.Fail(PX_ERR_PARAMETER);
  try {
    auto gif = std::make_unique<GIFDecoder>(CPXIO(source));
    if (int error = gif->ReadHeader()) return op.Fail(error);
    if (int error = gif->ScanForTransparency()) return op.Fail(error);
    *width = gif->screenWidth();
    *height = gif->screenHeight();
    *bitsPerPixel = gif->globalBits();
    if (background) *background = gif->background();
    if (transparent) *transparent = gif->transparentIndex();
    if (flag) *flag = 0;
    if (palette) {
      std::memset(palette, 0, 256 * sizeof(RGBQUAD));
      if (gif->hasGlobalTable()) gif->FillPalette(palette, false);
    }
    return TRUE;
  } catch (const std::bad_alloc&) {
    return op.Fail(PX_ERR_NO_MEMORY);
  }
}

uint8_t* ReadFirstImage(PXOperation& op, PXSource source, uint32_t* width, uint32_t* height,
                        int* transparent, RGBQUAD* palette, DWORD flags) {
  CPXIO io(source);
  auto gif = std::make_unique<GIFDecoder>(io);
  int error = gif->ReadHeader();
  if (!error) error = gif->ReadImageDescriptor();
  if (error) return op.SetError(error), nullptr;

  const uint32_t w = gif->imageWidth(), h = gif->imageHeight();
  const bool dib = flags & PX_GIF_DIB;
  const size_t stride = dib ? PXDIBRowBytes(w, 8) : w;
  const size_t header = dib ? 40 + 1024 : 0;
  size_t total;
  if (!PXBlockSize(h, stride, header, &total) ||
      !PXClaimIsPlausible(total, uint64_t(w) * h, io.Remaining(), kMaxPixelsPerByte))
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  PXBlock result(total);
  if (!result) return op.SetError(PX_ERR_NO_MEMORY), nullptr;

  uint8_t* rows = result.get() + header;
  ptrdiff_t step = ptrdiff_t(stride);
  if (dib) {
    PXFillDIBHeader(reinterpret_cast<BITMAPINFOHEADER*>(result.get()), int32_t(w), int32_t(h), 8,
                    256);
    rows += (h - 1) * stride;  // bottom-up: the top row is the last one
    step = -step;
  }
  *width = w;
  *height = h;
  error = gif->DecodeImage(op, rows, step);
  if (error && error != PX_ERR_FILE_READ && error != PX_ERR_ABORTED)
    return op.SetError(error), nullptr;
  op.SetError(error);
  if (transparent) *transparent = gif->transparentIndex();
  RGBQUAD* target = dib ? reinterpret_cast<RGBQUAD*>(result.get() + 40) : palette;
  gif->FillPalette(target, gif->hasLocalTable());
  return result.Release();
}

}  // namespace

extern "C" BOOL PXGetGIFDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                                     uint32_t* bitsPerPixel, int* background, int* transparent,
                                     RGBQUAD* palette, int* flag) {
  if (!background || !flag) {
    PXOperation op;
    if (op) op.SetError(PX_ERR_PARAMETER);
    return FALSE;
  }
  return GetDimensions(source, width, height, bitsPerPixel, background, transparent, palette, flag);
}

extern "C" BOOL PXGetGIFDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   uint32_t* bitsPerPixel, int* transparent, RGBQUAD* palette) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr, transparent, palette, nullptr);
}

extern "C" BYTE* PXReadGIF(PXSource source, uint32_t* width, uint32_t* height, int* transparent,
                           RGBQUAD* palette, DWORD flags) {
  PXOperation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  if (!width || !height || (!palette && !(flags & PX_GIF_DIB)))
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  try {
    return ReadFirstImage(op, source, width, height, transparent, palette, flags);
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
    return nullptr;
  }
}
