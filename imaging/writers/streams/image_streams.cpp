// Whole-image compressed streams: Group 4 through libtiff's fax encoder (one strip of
// the whole page, taken out of a TIFF written in memory), JPEG through libjpeg into
// memory, and zlib with PNG row filters.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "core/operation.h"
#include "pixolith/px_streams.h"
#include "writers/tiff/tiff_writer.h"

namespace {

// The caller's stream in a new global block.
BYTE* ToBlock(px::Operation& op, const uint8_t* data, size_t size, uint32_t* out) {
  if (size > PX_MAX_GLOBAL_BLOCK) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  px::Block block(size);
  if (!block) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  if (size) std::memcpy(block.get(), data, size);
  *out = uint32_t(size);
  return block.Release();
}

// Bytes of one unpadded row, or false when the image is larger than a block.
bool ImageRowBytes(uint32_t width, uint32_t height, uint32_t bits, size_t* rowBytes) {
  *rowBytes = pxtiffw::RowBytes(width, bits);
  size_t total;
  return px::BlockSize(height, *rowBytes, 0, &total);
}

/* ---- Group 4 ---------------------------------------------------------------------- */

int EncodeG4(px::Operation& op, const BYTE* pixels, uint32_t width, uint32_t height,
             std::vector<uint8_t>* out) {
  size_t rowBytes;
  if (!ImageRowBytes(width, height, 1, &rowBytes)) return PX_ERR_NO_MEMORY;
  pxtiffw::MemoryFile file;
  pxtiff::ClientTIFF tif(pxtiffw::OpenMemoryTIFF(&file));
  if (!tif) return PX_ERR_NO_MEMORY;
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  // The fax coder codes 0 bits as white runs: a set bit is black.
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  // One strip: the stream codes every row against the one above it, from the first.
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
  px::Block row(rowBytes);
  if (!row) return PX_ERR_NO_MEMORY;
  for (uint32_t y = 0; y < height; ++y) {
    // The coder may change the row it is given.
    std::memcpy(row.get(), pixels + size_t(y) * rowBytes, rowBytes);
    if (TIFFWriteScanline(t, row.get(), y, 0) < 0) return PX_ERR_NO_MEMORY;
    if (!op.Progress(y, height)) return PX_ERR_ABORTED;
  }
  if (!TIFFFlushData(t)) return PX_ERR_NO_MEMORY;
  const uint8_t* data;
  size_t size;
  if (!pxtiffw::StrileBytes(t, file, 0, &data, &size)) return PX_ERR_UNEXPECTED;
  out->assign(data, data + size);
  return PX_OK;
}

/* ---- JPEG ------------------------------------------------------------------------- */

// libjpeg's fatal errors longjmp back to CompressJPEG; nothing between it and libjpeg
// owns anything with a destructor, and this record lives on the heap.
struct JPEGEncoder {
  jpeg_compress_struct cinfo;
  struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
  } error;
  unsigned char* buffer = nullptr;  // libjpeg's memory destination (malloc'd)
  unsigned long size = 0;
  bool created = false;
};

void OnJPEGError(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<JPEGEncoder::ErrorManager*>(cinfo->err);
  std::longjmp(error->jump, 1);
}

void OnJPEGMessage(j_common_ptr) {}

// PX_OK, PX_ERR_ABORTED, or PX_ERR_NO_MEMORY when libjpeg gave up.
int CompressJPEG(JPEGEncoder* e, px::Operation* op, const BYTE* pixels, uint32_t width,
                 uint32_t height, int components, int quality, size_t rowBytes) {
  if (setjmp(e->error.jump)) return PX_ERR_NO_MEMORY;
  jpeg_compress_struct* c = &e->cinfo;
  c->err = jpeg_std_error(&e->error.pub);
  e->error.pub.error_exit = OnJPEGError;
  e->error.pub.output_message = OnJPEGMessage;
  jpeg_create_compress(c);
  e->created = true;
  jpeg_mem_dest(c, &e->buffer, &e->size);
  c->image_width = width;
  c->image_height = height;
  c->input_components = components;
  c->in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, quality, TRUE);
  jpeg_start_compress(c, TRUE);
  while (c->next_scanline < height) {
    const uint32_t y = c->next_scanline;
    JSAMPROW row = const_cast<JSAMPROW>(pixels + size_t(y) * rowBytes);
    jpeg_write_scanlines(c, &row, 1);
    if (!op->Progress(y, height)) return PX_ERR_ABORTED;
  }
  jpeg_finish_compress(c);
  return PX_OK;
}

/* ---- zlib with PNG filters -------------------------------------------------------- */

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = int(a) + int(b) - int(c);
  const int pa = std::abs(p - int(a)), pb = std::abs(p - int(b)), pc = std::abs(p - int(c));
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filters `row` (above: the previous row, or zeros) with PNG filter `type` into
// out[1...], out[0] being the type; returns the sum of the filtered bytes taken as
// signed, the usual measure of how well the row will compress.
uint64_t FilterRow(int type, const uint8_t* row, const uint8_t* above, size_t bytes, size_t bpp,
                   uint8_t* out) {
  out[0] = uint8_t(type);
  uint64_t sum = 0;
  for (size_t i = 0; i < bytes; ++i) {
    const uint8_t a = i >= bpp ? row[i - bpp] : 0;
    const uint8_t b = above[i];
    const uint8_t c = i >= bpp ? above[i - bpp] : 0;
    uint8_t predicted = 0;
    switch (type) {
      case 1:
        predicted = a;
        break;
      case 2:
        predicted = b;
        break;
      case 3:
        predicted = uint8_t((int(a) + int(b)) / 2);
        break;
      case 4:
        predicted = Paeth(a, b, c);
        break;
      default:
        break;
    }
    const auto v = uint8_t(row[i] - predicted);
    out[i + 1] = v;
    sum += v < 128 ? v : 256 - v;
  }
  return sum;
}

class Deflater {
 public:
  ~Deflater() {
    if (open_) deflateEnd(&z_);
  }
  bool Open(bool filtered) {
    open_ = deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8,
                         filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY) == Z_OK;
    return open_;
  }
  bool Add(const uint8_t* data, size_t size, bool last) {
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = uInt(size);
    for (;;) {
      if (out_.size() - used_ < 65536) out_.resize(out_.size() + std::max<size_t>(65536, used_));
      z_.next_out = out_.data() + used_;
      z_.avail_out = uInt(out_.size() - used_);
      const int result = deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH);
      used_ = out_.size() - z_.avail_out;
      if (result == Z_STREAM_END) return true;
      if (result != Z_OK && result != Z_BUF_ERROR) return false;
      if (z_.avail_in == 0 && z_.avail_out != 0 && !last) return true;
    }
  }
  const uint8_t* data() const { return out_.data(); }
  size_t size() const { return used_; }

 private:
  z_stream z_ = {};
  bool open_ = false;
  std::vector<uint8_t> out_;
  size_t used_ = 0;
};

int DeflateRows(px::Operation& op, const BYTE* pixels, uint32_t width, uint32_t height,
                uint32_t bits, bool predict, Deflater* z) {
  size_t rowBytes;
  if (!ImageRowBytes(width, height, bits, &rowBytes) || rowBytes >= UINT32_MAX / 2)
    return PX_ERR_NO_MEMORY;
  if (!z->Open(predict)) return PX_ERR_NO_MEMORY;
  const size_t bpp = bits / 8;
  std::vector<uint8_t> zeros(predict ? rowBytes : 0);
  std::vector<uint8_t> best(predict ? rowBytes + 1 : 0), trial(best.size());
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = pixels + size_t(y) * rowBytes;
    const bool last = y + 1 == height;
    bool added;
    if (predict) {
      const uint8_t* above = y ? row - rowBytes : zeros.data();
      uint64_t least = FilterRow(0, row, above, rowBytes, bpp, best.data());
      for (int type = 1; type <= 4; ++type) {
        const uint64_t sum = FilterRow(type, row, above, rowBytes, bpp, trial.data());
        if (sum < least) {
          least = sum;
          best.swap(trial);
        }
      }
      added = z->Add(best.data(), best.size(), last);
    } else {
      added = z->Add(row, rowBytes, last);
    }
    if (!added) return PX_ERR_NO_MEMORY;
    if (!op.Progress(y, height)) return PX_ERR_ABORTED;
  }
  return PX_OK;
}

// Runs an encoder body in an operation: the library's codes for its failures.
template <class Body>
BYTE* Guarded(px::Operation& op, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
  }
  return nullptr;
}

}  // namespace

extern "C" BYTE* PXEncodeG4Stream(const BYTE* pixels, uint32_t width, uint32_t height,
                                  uint32_t* size) {
  px::Operation op;
  if (!op) return nullptr;
  if (!pixels || !size || !width || !height) return op.SetError(PX_ERR_PARAMETER), nullptr;
  return Guarded(op, [&]() -> BYTE* {
    std::vector<uint8_t> stream;
    if (int error = EncodeG4(op, pixels, width, height, &stream))
      return op.SetError(error), nullptr;
    return ToBlock(op, stream.data(), stream.size(), size);
  });
}

extern "C" BYTE* PXEncodeJPEGStream(const BYTE* pixels, uint32_t width, uint32_t height,
                                    uint32_t bitsPerPixel, int quality, uint32_t* size) {
  px::Operation op;
  if (!op) return nullptr;
  if (!pixels || !size || !width || !height || (bitsPerPixel != 8 && bitsPerPixel != 24) ||
      quality < 1 || quality > 100 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  size_t rowBytes;
  if (!ImageRowBytes(width, height, bitsPerPixel, &rowBytes))
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  auto* encoder = new (std::nothrow) JPEGEncoder();
  if (!encoder) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  const int error =
      CompressJPEG(encoder, &op, pixels, width, height, int(bitsPerPixel / 8), quality, rowBytes);
  BYTE* result = error ? nullptr : ToBlock(op, encoder->buffer, encoder->size, size);
  if (error) op.SetError(error);
  if (encoder->created) jpeg_destroy_compress(&encoder->cinfo);
  std::free(encoder->buffer);
  delete encoder;
  return result;
}

extern "C" BYTE* PXDeflateStream(const BYTE* pixels, uint32_t width, uint32_t height,
                                 uint32_t bitsPerPixel, BOOL predict, uint32_t* size) {
  px::Operation op;
  if (!op) return nullptr;
  if (!pixels || !size || !width || !height || (bitsPerPixel != 8 && bitsPerPixel != 24))
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  return Guarded(op, [&]() -> BYTE* {
    Deflater z;
    if (int error = DeflateRows(op, pixels, width, height, bitsPerPixel, predict != FALSE, &z))
      return op.SetError(error), nullptr;
    return ToBlock(op, z.data(), z.size(), size);
  });
}
