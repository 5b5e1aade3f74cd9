// JPEG output modes and the checks of a read.
#include "readers/jpeg/jpeg_header.h"

#include "core/operation.h"
#include "pixolith/px_jpeg.h"
#include "readers/claimed_size.h"

namespace pxjpeg {

namespace {

// Huffman coding spends at least one bit on every 8 x 8 block, so no such file packs
// more than 512 pixels of its finest component into a byte; twice that is surely a lie.
// Arithmetic coding has no such floor and is not judged.
constexpr uint64_t kMaxPixelsPerByte = 1024;

bool IsFourChannel(InputMode in) {
  return in == kInCMYK || in == kInYCCK;
}

}  // namespace

InputMode Header::input() const {
  switch (outputComponents) {
    case 1:
      return kInGrey;
    case 3:
      return outputYCbCr ? kInYCbCr : kInRGB;
    case 4:
      if (jpegCMYK) return kInCMYK;
      if (jpegYCCK) return kInYCCK;
      return kInUnsupported;
    default:
      return kInUnsupported;
  }
}

int ChooseOutputMode(InputMode in, int depth, DWORD flags, OutputMode* out) {
  if (flags & PX_JPEG_DIB) {
    if (in == kInGrey) depth = 8;
    if (IsFourChannel(in)) depth = 24;
  }
  auto give = [out](OutputMode mode) {
    *out = mode;
    return PX_OK;
  };
  switch (in) {
    case kInGrey:
      // 8-bit files read at 8 or 24 bits.
      if (depth == 8) return give(kOutGrey);
      return depth == 24 ? give(kOutRGB) : PX_ERR_BIT_DEPTH;
    case kInRGB:
      return depth == 24 ? give(kOutRGB) : PX_ERR_BIT_DEPTH;
    case kInCMYK:
    case kInYCCK:
      // Raw CMYK and YCCK only at 32 bits, converted ones only at 24.
      if (flags & PX_JPEG_RAW_CMYK)
        return depth == 32 ? give(in == kInCMYK ? kOutCMYK : kOutYCCK) : PX_ERR_BIT_DEPTH;
      return depth == 24 ? give(kOutRGB) : PX_ERR_BIT_DEPTH;
    case kInYCbCr:
      return depth == 24 ? give(kOutYCbCr) : PX_ERR_BIT_DEPTH;
    default:
      return PX_ERR_BAD_JPEG;
  }
}

uint32_t BytesPerPixel(OutputMode out) {
  switch (out) {
    case kOutGrey:
      return 1;
    case kOutRGB:
    case kOutYCbCr:
      return 3;
    case kOutCMYK:
    case kOutYCCK:
      return 4;
  }
  return 0;
}

size_t RowBytes(const Header& h, OutputMode out, DWORD flags) {
  uint32_t bytes = h.outputWidth * BytesPerPixel(out);
  if (flags & (PX_JPEG_DIB | PX_JPEG_WINDOWS_ROWS)) bytes = (bytes + 3) & ~3u;
  return bytes;
}

int CheckHeader(const Header& h, int depth, DWORD flags, uint64_t fileBytes) {
  OutputMode out;
  if (int e = ChooseOutputMode(h.input(), depth, flags, &out)) return e;
  size_t bytes;
  if (!px::BlockSize(h.outputHeight, RowBytes(h, out, flags), 0, &bytes)) return PX_ERR_NO_MEMORY;
  const uint64_t pixels = uint64_t(h.imageWidth) * h.imageHeight;
  const uint64_t fullBytes = pixels * h.components;
  if (!h.arithmetic && !px::ClaimIsPlausible(fullBytes, pixels, fileBytes, kMaxPixelsPerByte))
    return PX_ERR_NO_MEMORY;
  return PX_OK;
}

}  // namespace pxjpeg
