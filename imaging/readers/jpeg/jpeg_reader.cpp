// JPEG reader: header queries and decoding through libjpeg.
#include <cstring>

#include "core/dib.h"
#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_jpeg.h"
#include "pixolith/px_orientation.h"
#include "readers/cmyk.h"
#include "readers/jpeg/jpeg_decoder.h"
#include "readers/jpeg/jpeg_header.h"

namespace {

using namespace pxjpeg;

// The frame libjpeg has read, for the checks.
Header FrameOf(const jpeg_decompress_struct& c) {
  Header h;
  h.imageWidth = c.image_width;
  h.imageHeight = c.image_height;
  h.outputWidth = c.output_width;
  h.outputHeight = c.output_height;
  h.components = uint32_t(c.num_components);
  h.outputComponents = uint32_t(c.output_components);
  h.jpegCMYK = c.jpeg_color_space == JCS_CMYK;
  h.jpegYCCK = c.jpeg_color_space == JCS_YCCK;
  h.outputYCbCr = c.out_color_space == JCS_YCbCr;
  h.arithmetic = c.arith_code;
  return h;
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

bool ReadDimensions(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height,
                    uint32_t* bitsPerPixel, int* colorSpace, uint32_t* codingFlags,
                    PXResolution* resolution) {
  PXThreadState& state = op.state();
  state.jpeg.ClearRead();
  JPEGDecoderOwner owner;
  JPEGDecoder* d = owner.Create(io, false, PX_ERR_BAD_JPEG);
  JPEGRun(d, PX_ERR_BAD_JPEG, ReadHeader);
  JPEGRun(d, PX_ERR_BAD_JPEG, CalcOutput);
  const jpeg_decompress_struct& c = d->cinfo;
  *width = c.image_width;
  *height = c.image_height;
  if (bitsPerPixel) *bitsPerPixel = 8 * uint32_t(c.output_components);
  if (colorSpace) *colorSpace = int(c.jpeg_color_space);
  if (codingFlags)
    *codingFlags =
        (c.progressive_mode ? PX_JPEG_PROGRESSIVE : 0u) | (c.arith_code ? PX_JPEG_ARITHMETIC : 0u);
  if (resolution) *resolution = {c.X_density, c.Y_density, c.density_unit};
  JPEGCopyMarkers(d, state);
  return true;
}

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   int* colorSpace, uint32_t* codingFlags, PXResolution* resolution) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height}, [&](px::Operation& op, CPXIO& io) {
    return ReadDimensions(op, io, width, height, bitsPerPixel, colorSpace, codingFlags, resolution);
  });
}

/* ---- Reading ---------------------------------------------------------------------------- */

class JPEGReader {
 public:
  JPEGReader(px::Operation& op, const CPXIO& io, DWORD flags) : op_(op), io_(io), flags_(flags) {}

  uint8_t* Read(uint32_t* width, uint32_t* height, int depth);

 private:
  void Setup(int depth);
  void Allocate();
  // Decodes output row j into place; false with the error recorded when it fails.
  bool DecodeRow(uint32_t j);

  px::Operation& op_;
  CPXIO io_;
  DWORD flags_;
  JPEGDecoderOwner owner_;
  JPEGDecoder* d_ = nullptr;
  InputMode in_ = kInUnsupported;
  OutputMode out_ = kOutGrey;
  uint32_t rowBytes_ = 0;
  px::Block result_;
  uint8_t* rows_ = nullptr;  // first pixel row inside the result
};

void JPEGReader::Setup(int depth) {
  d_ = owner_.Create(io_, flags_ & PX_JPEG_REWIND_UNUSED, PX_ERR_FILE_READ);
  jpeg_decompress_struct& c = d_->cinfo;
  JPEGRun(d_, PX_ERR_FILE_READ, ReadHeader);
  const px::JPEGState& options = op_.state().jpeg;
  c.scale_num = unsigned(options.scaleNum > 0 ? options.scaleNum : 1);
  c.scale_denom = unsigned(options.scaleDenom > 0 ? options.scaleDenom : 1);
  // libjpeg only hands out the YCbCr it decodes: grey, RGB-coded and four-channel files
  // keep their own colour space.
  if ((flags_ & PX_JPEG_KEEP_YCBCR) && c.jpeg_color_space == JCS_YCbCr)
    c.out_color_space = JCS_YCbCr;
  JPEGRun(d_, PX_ERR_FILE_READ, CalcOutput);
  JPEGCopyMarkers(d_, op_.state());

  // Judge the claimed size before libjpeg allocates its own buffers for it.
  const Header frame = FrameOf(c);
  uint64_t fileBytes = 0;
  io_.Size(&fileBytes);
  if (int e = CheckHeader(frame, depth, flags_, fileBytes))
    throw PXException(e, "JPEG frame refused");
  in_ = frame.input();
  ChooseOutputMode(in_, depth, flags_, &out_);
  rowBytes_ = uint32_t(RowBytes(frame, out_, flags_));

  JPEGRun(d_, PX_ERR_FILE_READ, Start);
  if (!owner_.AllocRowBuffer()) throw PXException(PX_ERR_NO_MEMORY, "No row buffer");
}

void JPEGReader::Allocate() {
  const jpeg_decompress_struct& c = d_->cinfo;
  const bool dib = flags_ & PX_JPEG_DIB;
  const size_t header = dib ? 40 + (out_ == kOutGrey ? 1024 : 0) : 0;
  size_t total;
  if (!px::BlockSize(c.output_height, rowBytes_, header, &total) ||
      (dib && (c.output_width > INT32_MAX || c.output_height > INT32_MAX)))
    throw PXException(PX_ERR_NO_MEMORY, "Image too large");
  result_ = px::Block(total);
  if (!result_) throw PXException(PX_ERR_NO_MEMORY, "Out of memory");
  rows_ = result_.get() + header;
  if (!dib) return;

  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(result_.get());
  const uint16_t bits = uint16_t(8 * BytesPerPixel(out_));
  px::FillDIBHeader(h, int32_t(c.output_width), int32_t(c.output_height), bits,
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
    px::CMYKToRGB(target, row, w);
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

extern "C" int PXGetLastJPEGOrientation(void) {
  PXThreadState* state = px::GetThreadState();
  return state ? state->jpeg.orientationRead : PX_ORIENTATION_TOP_LEFT;
}

extern "C" BYTE* PXReadJPEG(PXSource source, uint32_t* width, uint32_t* height, int depth,
                            DWORD flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) -> BYTE* {
    if (depth != 8 && depth != 24 && depth != 32) return op.SetError(PX_ERR_PARAMETER), nullptr;
    op.state().jpeg.ClearRead();
    return JPEGReader(op, io, flags).Read(width, height, depth);
  });
}
