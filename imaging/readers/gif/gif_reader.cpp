// GIF reader: the logical screen, the transparent colour and the first image.
#include <cstring>
#include <memory>

#include "core/dib.h"
#include "core/entry.h"
#include "pixolith/px_gif.h"
#include "readers/claimed_size.h"
#include "readers/gif/gif_decoder.h"

namespace {

// LZW packs at most a few thousand pixels into a byte (a 12-bit code for a string of
// up to 4096); a claim beyond this many per byte left in the file is no real image.
constexpr uint64_t kMaxPixelsPerByte = 8192;

// The output's rows and what comes before them.
size_t Stride(const pxgif::Header& h, bool dib) {
  return dib ? PXDIBRowBytes(h.imageWidth, 8) : h.imageWidth;
}

size_t TableBytes(bool dib) {
  return dib ? 40 + 1024 : 0;
}

}  // namespace

namespace pxgif {

bool ImageBytes(const Header& h, bool dib, size_t* bytes) {
  return px::BlockSize(h.imageHeight, Stride(h, dib), TableBytes(dib), bytes);
}

int CheckHeader(const Header& h, Output output, uint64_t availableBytes) {
  if (h.screenWidth == 0 || h.screenHeight == 0) return PX_ERR_BAD_GIF;
  if (output == Output::kScreen) return PX_OK;
  // An image without pixels has no rows to fill.
  if (h.imageWidth == 0 || h.imageHeight == 0) return PX_ERR_BAD_GIF;
  size_t total;
  if (!ImageBytes(h, output == Output::kPackedDIB, &total) ||
      !px::ClaimIsPlausible(total, uint64_t(h.imageWidth) * h.imageHeight, availableBytes,
                            kMaxPixelsPerByte))
    return PX_ERR_NO_MEMORY;
  return PX_OK;
}

}  // namespace pxgif

namespace {

using pxgif::Output;

bool ReadDimensions(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height,
                    uint32_t* bitsPerPixel, int* background, int* transparent, RGBQUAD* palette,
                    int* flag) {
  auto gif = std::make_unique<GIFDecoder>(io);
  if (int error = gif->ReadHeader()) return op.Fail(error);
  if (int error = CheckHeader(gif->header(), Output::kScreen, 0)) return op.Fail(error);
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
  return true;
}

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   int* background, int* transparent, RGBQUAD* palette, int* flag) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height, bitsPerPixel},
                            [&](px::Operation& op, CPXIO& io) {
                              return ReadDimensions(op, io, width, height, bitsPerPixel, background,
                                                    transparent, palette, flag);
                            });
}

uint8_t* ReadFirstImage(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height,
                        int* transparent, RGBQUAD* palette, DWORD flags) {
  const bool dib = flags & PX_GIF_DIB;
  if (!palette && !dib) return op.SetError(PX_ERR_PARAMETER), nullptr;
  auto gif = std::make_unique<GIFDecoder>(io);
  int error = gif->ReadHeader();
  if (!error) error = CheckHeader(gif->header(), Output::kScreen, 0);
  if (!error) error = gif->ReadImageDescriptor();
  if (!error)
    error = CheckHeader(gif->header(), dib ? Output::kPackedDIB : Output::kImage, io.Remaining());
  if (error) return op.SetError(error), nullptr;

  const pxgif::Header h = gif->header();
  const uint32_t w = h.imageWidth, ht = h.imageHeight;
  const size_t stride = Stride(h, dib);
  const size_t header = TableBytes(dib);
  size_t total = 0;
  pxgif::ImageBytes(h, dib, &total);
  px::Block result(total);
  if (!result) return op.SetError(PX_ERR_NO_MEMORY), nullptr;

  uint8_t* rows = result.get() + header;
  ptrdiff_t step = ptrdiff_t(stride);
  if (dib) {
    px::FillDIBHeader(reinterpret_cast<BITMAPINFOHEADER*>(result.get()), int32_t(w), int32_t(ht), 8,
                      256);
    rows += (ht - 1) * stride;  // bottom-up: the top row is the last one
    step = -step;
  }
  *width = w;
  *height = ht;
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
  // These two outputs are required before the source is looked at.
  if (!background || !flag) return px::RefuseCall(PX_ERR_PARAMETER), FALSE;
  return GetDimensions(source, width, height, bitsPerPixel, background, transparent, palette, flag);
}

extern "C" BOOL PXGetGIFDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   uint32_t* bitsPerPixel, int* transparent, RGBQUAD* palette) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr, transparent, palette, nullptr);
}

extern "C" BYTE* PXReadGIF(PXSource source, uint32_t* width, uint32_t* height, int* transparent,
                           RGBQUAD* palette, DWORD flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadFirstImage(op, io, width, height, transparent, palette, flags);
  });
}
