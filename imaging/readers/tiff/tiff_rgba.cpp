// The TIFF reader's 24- and 32-bit path: any page libtiff's RGBA decoding accepts, decoded
// in bands of rows so that progress is reported and an abort is honoured between bands.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "core/dib.h"
#include "readers/tiff/tiff_paths.h"

namespace pxtiff {

namespace {

// Rows decoded at a time: whole strips or tile rows, some 256 rows, within this much
// raster memory (a single strip larger than that is one band).
constexpr uint64_t kBandRows = 256;
constexpr uint64_t kBandBytes = uint64_t(64) << 20;

// Keeps the C, M, Y and K bytes of 8-bit contiguous CMYK data as they are, in the four
// bytes of the raster pixel (in the layout of libtiff's put routines).
void PutRawCMYK(TIFFRGBAImage* img, uint32_t* cp, uint32_t, uint32_t, uint32_t w, uint32_t h,
                int32_t fromskew, int32_t toskew, unsigned char* pp) {
  const int samples = img->samplesperpixel;
  fromskew *= samples;
  for (; h > 0; --h) {
    for (uint32_t x = w; x > 0; --x) {
      *cp++ =
          uint32_t(pp[0]) | uint32_t(pp[1]) << 8 | uint32_t(pp[2]) << 16 | uint32_t(pp[3]) << 24;
      pp += samples;
    }
    cp += toskew;
    pp += fromskew;
  }
}

class RGBAImage {
 public:
  RGBAImage() = default;
  ~RGBAImage() {
    if (begun_) TIFFRGBAImageEnd(&img_);
  }
  RGBAImage(const RGBAImage&) = delete;
  RGBAImage& operator=(const RGBAImage&) = delete;

  bool Begin(TIFF* tif, char* message) {
    begun_ = TIFFRGBAImageBegin(&img_, tif, 1, message);
    return begun_;
  }
  TIFFRGBAImage& img() { return img_; }

 private:
  TIFFRGBAImage img_ = {};
  bool begun_ = false;
};

uint32_t BandRows(const PageInfo& info) {
  const uint64_t unit = std::max<uint64_t>(info.tiled ? info.tileLength : info.rowsPerStrip, 1);
  uint64_t band = unit * std::max<uint64_t>(1, kBandRows / unit);
  while (band > unit && band * info.width * 4 > kBandBytes) band -= unit;
  return uint32_t(std::min<uint64_t>(band, info.height));
}

}  // namespace

BYTE* ReadRGBA(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
               uint32_t* width, uint32_t* height) {
  const uint32_t depth = request.depth;
  if (depth != 24 && depth != 32) return op.SetError(PX_ERR_UNEXPECTED), nullptr;

  // A fax page without Photometric reads as the 1-bit path reads it: white on black bits.
  if (!info.hasPhotometric && info.colorSamples() == 1)
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, info.photometric);
  const int interpretation = op.state().tiffWrite.extraSampleInterpretation;
  if (interpretation >= 0 && info.extraSamples > 0) {
    uint16_t count = 0;
    uint16_t* stored = nullptr;
    TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &stored);
    std::vector<uint16_t> values(stored, stored + count);
    values[0] = uint16_t(interpretation);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, values.data());
  }

  char message[1024] = {};
  RGBAImage image;
  if (!TIFFRGBAImageOK(tif, message) || !image.Begin(tif, message)) {
    px::Trace("LibTiff Error: %s", message);
    return op.SetError(PX_ERR_BAD_TIFF), nullptr;
  }
  TIFFRGBAImage& img = image.img();
  // Decode as stored; the orientation is applied when the pixels are placed.
  img.orientation = ORIENTATION_TOPLEFT;
  img.req_orientation = ORIENTATION_TOPLEFT;
  if (depth == 32 && (request.flags & PX_TIFF_RAW_CMYK) &&
      img.photometric == PHOTOMETRIC_SEPARATED && img.isContig && img.bitspersample == 8 &&
      img.samplesperpixel >= 4)
    img.put.contig = PutRawCMYK;

  const Transform t = RequestTransform(info, request);
  const uint32_t w = info.width, h = info.height;
  const uint32_t outW = t.transpose ? h : w, outH = t.transpose ? w : h;
  const uint32_t pixelBytes = depth / 8;
  const size_t stride = request.dib ? PXDIBRowBytes(outW, depth) : size_t(outW) * pixelBytes;
  const size_t prefix = request.dib ? 40 : 0;
  px::Block out = AllocateOutput(op, tif, outH, stride, prefix);
  if (!out) return nullptr;

  // libtiff (4.5) refuses an uncompressed tile when the raw buffer it allocated itself,
  // rounded up to a multiple of 1024 bytes, is larger than the tile: give it one of
  // exactly one tile.
  std::unique_ptr<uint8_t[]> rawTile;
  if (info.tiled && info.compression == COMPRESSION_NONE) {
    const tmsize_t tileSize = TIFFTileSize(tif);
    if (tileSize > 0) rawTile.reset(new (std::nothrow) uint8_t[size_t(tileSize)]);
    if (!rawTile || !TIFFReadBufferSetup(tif, rawTile.get(), tileSize))
      return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  }

  const uint32_t band = BandRows(info);
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[size_t(band) * w]);
  std::vector<uint8_t> row;
  if (!raster) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  row.resize(size_t(w) * pixelBytes);
  Placer placer(out.get() + prefix, stride, w, h, depth, t);
  // DIB pixels are blue, green, red.
  const int red = request.dib ? 2 : 0, blue = request.dib ? 0 : 2;
  for (uint32_t y0 = 0; y0 < h; y0 += band) {
    if (!op.Progress(y0, h)) return nullptr;
    const uint32_t rows = std::min(band, h - y0);
    img.row_offset = int(y0);
    img.col_offset = 0;
    if (!TIFFRGBAImageGet(&img, raster.get(), w, rows))
      return op.SetError(PX_ERR_BAD_TIFF), nullptr;
    for (uint32_t r = 0; r < rows; ++r) {
      const uint32_t* in = raster.get() + size_t(r) * w;
      uint8_t* p = row.data();
      for (uint32_t x = 0; x < w; ++x, p += pixelBytes) {
        p[red] = uint8_t(TIFFGetR(in[x]));
        p[1] = uint8_t(TIFFGetG(in[x]));
        p[blue] = uint8_t(TIFFGetB(in[x]));
        if (pixelBytes == 4) p[3] = uint8_t(TIFFGetA(in[x]));
      }
      placer.Place(0, y0 + r, row.data(), w);
    }
  }
  if (request.dib) {
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(out.get());
    px::FillDIBHeader(header, int32_t(outW), int32_t(outH), uint16_t(depth), 0,
                      info.xPelsPerMeter(), info.yPelsPerMeter());
  }
  *width = outW;
  *height = outH;
  return out.Release();
}

}  // namespace pxtiff
