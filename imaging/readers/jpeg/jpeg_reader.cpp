// JPEG reader: header queries and decoding through libjpeg.
#include <cstring>
#include <new>

#include "core/dib.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_jpeg.h"
#include "readers/claimed_size.h"
#include "readers/cmyk.h"
#include "readers/jpeg/jpeg_decoder.h"

namespace {

// What the file holds, as libjpeg will deliver it.
enum InputMode {
  kInUnsupported = 0,
  kInGrey = 1,
  kInRGB = 2,
  kInCMYK = 3,
  kInYCCK = 4,
  kInYCbCr = 5
};
// What the reader stores.
enum OutputMode { kOutGrey = 1, kOutRGB = 2, kOutCMYK = 3, kOutYCCK = 4, kOutYCbCr = 5 };

// Huffman coding spends at least one bit on every 8 x 8 block, so no such file packs
// more than 512 pixels of its finest component into a byte; twice that is surely a lie.
// Arithmetic coding has no such floor and is not judged.
constexpr uint64_t kMaxPixelsPerByte = 1024;

InputMode InputModeOf(const jpeg_decompress_struct& c) {
  switch (c.output_components) {
    case 1:
      return kInGrey;
    case 3:
      return c.out_color_space == JCS_YCbCr ? kInYCbCr : kInRGB;
    case 4:
      if (c.jpeg_color_space == JCS_CMYK) return kInCMYK;
      if (c.jpeg_color_space == JCS_YCCK) return kInYCCK;
      return kInUnsupported;
    default:
      return kInUnsupported;
  }
}

bool IsFourChannel(InputMode in) {
  return in == kInCMYK || in == kInYCCK;
}

// The output mode for a requested depth, or a PXException with the reason.
OutputMode ChooseOutputMode(InputMode in, int depth, DWORD flags) {
  if (flags & PX_JPEG_DIB) {
    if (in == kInGrey) depth = 8;
    if (IsFourChannel(in)) depth = 24;
  }
  switch (in) {
    case kInGrey:
      if (depth == 8) return kOutGrey;
      if (depth == 24) return kOutRGB;
      throw PXException(PX_ERR_BIT_DEPTH,
                        "Invalid bit depth requested (can't read 8-bit to 32-bit)");
    case kInRGB:
      if (depth == 24) return kOutRGB;
      throw PXException(PX_ERR_BIT_DEPTH,
                        "Invalid bit depth requested (can't read RGB to any other bit depth)");
    case kInCMYK:
    case kInYCCK:
      if (flags & PX_JPEG_RAW_CMYK) {
        if (depth == 32) return in == kInCMYK ? kOutCMYK : kOutYCCK;
        throw PXException(PX_ERR_BIT_DEPTH,
                          "Invalid bit depth requested (can only read CMYK/YCCK to 32bpp)");
      }
      if (depth == 24) return kOutRGB;
      throw PXException(PX_ERR_BIT_DEPTH, "Invalid bit depth requested");
    case kInYCbCr:
      if (depth == 24) return kOutYCbCr;
      throw PXException(PX_ERR_BIT_DEPTH,
                        "Invalid bit depth requested (can't read YCbCr to any other bit depth)");
    default:
      throw PXException(PX_ERR_BAD_JPEG, "Invalid JPG colorspace");
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
  throw PXException(PX_ERR_UNEXPECTED, "Unexpected output mode");
}

// JFIF density in pixels per metre, for a DIB header.
int32_t PelsPerMeter(uint16_t density, uint8_t unit) {
  if (unit == 1) return int32_t((uint32_t(density) * 10000 + 127) / 254);
  if (unit == 2) return int32_t(density) * 100;
  return 0;
}

void SwapRedBlue(uint8_t* row, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

/* ---- libjpeg steps ---------------------------------------------------------------------- */

void ReadHeader(JPEGDecoder* d, void*) {
  jpeg_read_header(&d->cinfo, TRUE);
}
void CalcOutput(JPEGDecoder* d, void*) {
  jpeg_calc_output_dimensions(&d->cinfo);
}
void Start(JPEGDecoder* d, void*) {
  jpeg_start_decompress(&d->cinfo);
}
void ReadScanline(JPEGDecoder* d, void* row) {
  JSAMPROW rows[1] = {static_cast<JSAMPROW>(row)};
  d->linesRead = jpeg_read_scanlines(&d->cinfo, rows, 1);
}
void Finish(JPEGDecoder* d, void*) {
  jpeg_finish_decompress(&d->cinfo);
}

/* ---- Header query ----------------------------------------------------------------------- */

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   int* colorSpace, uint32_t* codingFlags, PXResolution* resolution) {
  PXOperation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  if (!width || !height) return op.Fail(PX_ERR_PARAMETER);
  PXThreadState& state = op.state();
  try {
    state.jpeg.commentsRead.clear();
    state.jpeg.markersRead.clear();
    JPEGDecoderOwner owner;
    JPEGDecoder* d = owner.Create(CPXIO(source), false, PX_ERR_BAD_JPEG);
    JPEGRun(d, PX_ERR_BAD_JPEG, ReadHeader);
    JPEGRun(d, PX_ERR_BAD_JPEG, CalcOutput);
    const jpeg_decompress_struct& c = d->cinfo;
    *width = c.image_width;
    *height = c.image_height;
    if (bitsPerPixel) *bitsPerPixel = 8 * uint32_t(c.output_components);
    if (colorSpace) *colorSpace = int(c.jpeg_color_space);
    if (codingFlags)
      *codingFlags = (c.progressive_mode ? PX_JPEG_PROGRESSIVE : 0u) |
                     (c.arith_code ? PX_JPEG_ARITHMETIC : 0u);
    if (resolution) *resolution = {c.X_density, c.Y_density, c.density_unit};
    JPEGCopyMarkers(d, state);
    return TRUE;
  } catch (const PXException& e) {
    return op.Fail(e.code());
  } catch (const std::bad_alloc&) {
    return op.Fail(PX_ERR_NO_MEMORY);
  }
}

/* ---- Reading ---------------------------------------------------------------------------- */

class JPEGReader {
 public:
  JPEGReader(PXOperation& op, PXSource source, DWORD flags) : op_(op), io_(source), flags_(flags) {}

  uint8_t* Read(uint32_t* width, uint32_t* height, int depth);

 private:
  void Setup(int depth);
  void Allocate();
  // Decodes output row j into place; false with the error recorded when it fails.
  bool DecodeRow(uint32_t j);

  PXOperation& op_;
  CPXIO io_;
  DWORD flags_;
  JPEGDecoderOwner owner_;
  JPEGDecoder* d_ = nullptr;
  InputMode in_ = kInUnsupported;
  OutputMode out_ = kOutGrey;
  uint32_t rowBytes_ = 0;
  PXBlock result_;
  uint8_t* rows_ = nullptr;  // first pixel row inside the result
};

void JPEGReader::Setup(int depth) {
  d_ = owner_.Create(io_, flags_ & PX_JPEG_REWIND_UNUSED, PX_ERR_FILE_READ);
  jpeg_decompress_struct& c = d_->cinfo;
  JPEGRun(d_, PX_ERR_FILE_READ, ReadHeader);
  const PXJPEGState& options = op_.state().jpeg;
  c.scale_num = unsigned(options.scaleNum > 0 ? options.scaleNum : 1);
  c.scale_denom = unsigned(options.scaleDenom > 0 ? options.scaleDenom : 1);
  // libjpeg only hands out the YCbCr it decodes: grey, RGB-coded and four-channel files
  // keep their own colour space.
  if ((flags_ & PX_JPEG_KEEP_YCBCR) && c.jpeg_color_space == JCS_YCbCr)
    c.out_color_space = JCS_YCbCr;
  JPEGRun(d_, PX_ERR_FILE_READ, CalcOutput);
  JPEGCopyMarkers(d_, op_.state());

  in_ = InputModeOf(c);
  out_ = ChooseOutputMode(in_, depth, flags_);
  rowBytes_ = c.output_width * BytesPerPixel(out_);
  if (flags_ & (PX_JPEG_DIB | PX_JPEG_WINDOWS_ROWS)) rowBytes_ = (rowBytes_ + 3) & ~3u;

  // Judge the claimed size before libjpeg allocates its own buffers for it.
  size_t bytes;
  if (!PXBlockSize(c.output_height, rowBytes_, 0, &bytes))
    throw PXException(PX_ERR_NO_MEMORY, "Image too large");
  // The whole image is decoded also when it is scaled down, so judge its full size.
  uint64_t fileBytes = 0;
  io_.Size(&fileBytes);
  uint64_t pixels = uint64_t(c.image_width) * c.image_height;
  uint64_t fullBytes = pixels * uint64_t(c.num_components);
  if (!c.arith_code && !PXClaimIsPlausible(fullBytes, pixels, fileBytes, kMaxPixelsPerByte))
    throw PXException(PX_ERR_NO_MEMORY, "Image dimensions exceed the file's data");

  JPEGRun(d_, PX_ERR_FILE_READ, Start);
  if (!owner_.AllocRowBuffer()) throw PXException(PX_ERR_NO_MEMORY, "No row buffer");
}

void JPEGReader::Allocate() {
  const jpeg_decompress_struct& c = d_->cinfo;
  const bool dib = flags_ & PX_JPEG_DIB;
  const size_t header = dib ? 40 + (out_ == kOutGrey ? 1024 : 0) : 0;
  size_t total;
  if (!PXBlockSize(c.output_height, rowBytes_, header, &total) ||
      (dib && (c.output_width > INT32_MAX || c.output_height > INT32_MAX)))
    throw PXException(PX_ERR_NO_MEMORY, "Image too large");
  result_ = PXBlock(total);
  if (!result_) throw PXException(PX_ERR_NO_MEMORY, "Out of memory");
  rows_ = result_.get() + header;
  if (!dib) return;

  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(result_.get());
  const uint16_t bits = uint16_t(8 * BytesPerPixel(out_));
  PXFillDIBHeader(h, int32_t(c.output_width), int32_t(c.output_height), bits,
                  out_ == kOutGrey ? 256 : 0, PelsPerMeter(c.X_density, c.density_unit),
                  PelsPerMeter(c.Y_density, c.density_unit));
  h->biClrImportant = 0;
  if (out_ == kOutGrey) {
    auto* table = reinterpret_cast<RGBQUAD*>(result_.get() + 40);
    for (int i = 0; i < 256; ++i) table[i] = {BYTE(i), BYTE(i), BYTE(i), 255};
  }
}

bool JPEGReader::DecodeRow(uint32_t j) {
  jpeg_decompress_struct& c = d_->cinfo;
  if (c.output_scanline >= c.output_height) return op_.Fail(PX_ERR_END_OF_IMAGE);
  const bool dib = flags_ & PX_JPEG_DIB;
  uint8_t* row = rows_ + size_t(dib ? c.output_height - 1 - j : j) * rowBytes_;
  const bool viaBuffer = out_ == kOutRGB && in_ != kInRGB;
  uint8_t* target = viaBuffer ? owner_.rowBuffer() : row;
  if (!JPEGGuarded(d_, ReadScanline, target) || d_->linesRead != 1)
    return op_.Fail(PX_ERR_FILE_READ);

  const uint32_t w = c.output_width;
  if (viaBuffer && in_ == kInGrey) {
    for (uint32_t x = 0; x < w; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = target[x];
  } else if (viaBuffer) {
    PXCMYKToRGB(target, row, w);
  }
  if (out_ == kOutRGB && (dib || (flags_ & PX_JPEG_WINDOWS_ROWS))) SwapRedBlue(row, w);
  return true;
}

uint8_t* JPEGReader::Read(uint32_t* width, uint32_t* height, int depth) {
  Setup(depth);
  Allocate();
  const jpeg_decompress_struct& c = d_->cinfo;
  *width = c.output_width;
  *height = c.output_height;
  bool complete = true;
  for (uint32_t j = 0; j < c.output_height; ++j) {
    if (!DecodeRow(j) || !op_.Progress(j, c.output_height)) {
      complete = false;
      break;
    }
  }
  // After a failed or abandoned row the decompressor is only destroyed: finishing would
  // complain about the missing rows, and the row's error is the one to report.
  if (complete && !JPEGGuarded(d_, Finish)) op_.SetError(PX_ERR_FILE_READ);
  return result_.Release();
}

}  // namespace

extern "C" BOOL PXGetJPEGDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                                      uint32_t* bitsPerPixel, int* colorSpace,
                                      uint32_t* codingFlags, PXResolution* resolution) {
  return GetDimensions(source, width, height, bitsPerPixel, colorSpace, codingFlags, resolution);
}

extern "C" BOOL PXGetJPEGDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                    uint32_t* bitsPerPixel, PXResolution* resolution) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr, nullptr, resolution);
}

extern "C" BYTE* PXReadJPEG(PXSource source, uint32_t* width, uint32_t* height, int depth,
                            DWORD flags) {
  PXOperation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  if (!width || !height || (depth != 8 && depth != 24 && depth != 32))
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  try {
    op.state().jpeg.commentsRead.clear();
    op.state().jpeg.markersRead.clear();
    JPEGReader reader(op, source, flags);
    return reader.Read(width, height, depth);
  } catch (const PXException& e) {
    op.SetError(e.code());
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
  }
  return nullptr;
}
