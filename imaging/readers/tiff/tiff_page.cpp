// Opening pages, page facts, orientation and pixel placement, strip and tile reading.
#include "readers/tiff/tiff_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "readers/claimed_size.h"

namespace pxtiff {

/* ---- Page ------------------------------------------------------------------------------- */

int Page::OpenFile(PXSource source) {
  io_ = CPXIO(source);
  if (!io_.Rewind()) return PX_ERR_FILE_READ;
  tif_.Reset(OpenClient(&io_, "r"));
  return tif_ ? PX_OK : PX_ERR_BAD_TIFF;
}

int Page::Select(uint32_t page) {
  // Opening reads the first directory; reading it again would only repeat that work.
  if (TIFFCurrentDirectory(tif_.get()) == tdir_t(page)) return PX_OK;
  if (TIFFSetDirectory(tif_.get(), tdir_t(page))) return PX_OK;
  // A page the chain links to but libtiff cannot read (an empty or broken directory) is a
  // damaged file; only a page past the chain's end is the caller's mistake.
  return page < TIFFNumberOfDirectories(tif_.get()) ? PX_ERR_BAD_TIFF : PX_ERR_PARAMETER;
}

/* ---- PageInfo --------------------------------------------------------------------------- */

PageInfo PageInfo::Read(TIFF* tif) {
  PageInfo p;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.samplesPerPixel);
  uint16_t extraCount = 0;
  uint16_t* extraValues = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraValues))
    p.extraSamples = extraCount;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
  p.hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric);
  if (!p.hasPhotometric) {
    // Fax encoders often leave Photometric out; their pages are white on black bits.
    p.photometric =
        p.colorSamples() == 1 && p.ccitt() ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
  }
  if (!TIFFGetField(tif, TIFFTAG_ORIENTATION, &p.orientation)) p.orientation = 0;
  p.tiled = TIFFIsTiled(tif);
  if (p.tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &p.tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &p.tileLength);
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &p.rowsPerStrip);
    if (p.rowsPerStrip == 0 || p.rowsPerStrip > p.height) p.rowsPerStrip = p.height;
  }
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &p.xResolution)) p.xResolution = 0;
  if (!TIFFGetField(tif, TIFFTAG_YRESOLUTION, &p.yResolution)) p.yResolution = 0;
  if (!TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &p.resolutionUnit)) p.resolutionUnit = 0;
  return p;
}

namespace {

int32_t PelsPerMeter(float value, uint16_t unit) {
  double perMeter;
  switch (unit) {
    case RESUNIT_INCH:
      perMeter = double(value) / 0.0254;
      break;
    case RESUNIT_CENTIMETER:
      perMeter = double(value) * 100;
      break;
    default:
      return 0;
  }
  if (!(perMeter > 0)) return 0;  // also NaN
  return int32_t(std::min(perMeter + 0.5, double(INT32_MAX)));
}

}  // namespace

namespace {

uint32_t Truncate(float value) {
  if (!(value > 0)) return 0;  // also NaN
  return value >= 4294967295.0f ? 0xFFFFFFFFu : uint32_t(value);
}

}  // namespace

PXResolution PageInfo::dimensionResolution() const {
  return {Truncate(xResolution), Truncate(yResolution), resolutionUnit};
}

int32_t PageInfo::xPelsPerMeter() const {
  return PelsPerMeter(xResolution, resolutionUnit);
}

int32_t PageInfo::yPelsPerMeter() const {
  return PelsPerMeter(yResolution, resolutionUnit);
}

/* ---- Orientation and placement ---------------------------------------------------------- */

Transform OrientationTransform(uint16_t orientation) {
  switch (orientation) {
    case ORIENTATION_TOPRIGHT:
      return {false, true, false};
    case ORIENTATION_BOTRIGHT:
      return {false, true, true};
    case ORIENTATION_BOTLEFT:
      return {false, false, true};
    case ORIENTATION_LEFTTOP:
      return {true, false, false};
    case ORIENTATION_RIGHTTOP:
      return {true, true, false};
    case ORIENTATION_RIGHTBOT:
      return {true, true, true};
    case ORIENTATION_LEFTBOT:
      return {true, false, true};
    default:  // 1, absent, and values the format does not define
      return {};
  }
}

Placer::Placer(uint8_t* out, size_t outStride, uint32_t width, uint32_t height, uint32_t pixelBits,
               Transform transform)
    : out_(out),
      stride_(outStride),
      width_(width),
      height_(height),
      pixelBits_(pixelBits),
      transform_(transform) {}

void Placer::Place(uint32_t x, uint32_t y, const uint8_t* pixels, uint32_t count) {
  const Transform& t = transform_;
  if (pixelBits_ == 1) {
    uint8_t* row = out_ + size_t(t.flipY ? height_ - 1 - y : y) * stride_;
    if (!t.flipX && x % 8 == 0) {
      std::memcpy(row + x / 8, pixels, count / 8);
      if (uint32_t rest = count % 8) {
        const uint8_t mask = uint8_t(0xFF << (8 - rest));
        uint8_t& last = row[(x + count) / 8];
        last = uint8_t((last & ~mask) | (pixels[count / 8] & mask));
      }
      return;
    }
    for (uint32_t i = 0; i < count; ++i) {
      const bool bit = (pixels[i / 8] >> (7 - i % 8)) & 1;
      const uint32_t ox = t.flipX ? width_ - 1 - (x + i) : x + i;
      const uint8_t mask = uint8_t(0x80 >> (ox % 8));
      row[ox / 8] = uint8_t(bit ? row[ox / 8] | mask : row[ox / 8] & ~mask);
    }
    return;
  }
  const uint32_t pb = pixelBits_ / 8;
  if (!t.transpose) {
    uint8_t* row = out_ + size_t(t.flipY ? height_ - 1 - y : y) * stride_;
    if (!t.flipX) {
      std::memcpy(row + size_t(x) * pb, pixels, size_t(count) * pb);
    } else {
      for (uint32_t i = 0; i < count; ++i)
        std::memcpy(row + size_t(width_ - 1 - x - i) * pb, pixels + size_t(i) * pb, pb);
    }
    return;
  }
  // Transposed: stored row y becomes output column y, stored column x output row x.
  const size_t column = size_t(t.flipX ? height_ - 1 - y : y) * pb;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t oy = t.flipY ? width_ - 1 - (x + i) : x + i;
    std::memcpy(out_ + size_t(oy) * stride_ + column, pixels + size_t(i) * pb, pb);
  }
}

/* ---- Size check ------------------------------------------------------------------------- */

namespace {

// What one byte of compressed data can stand for in an output image at the most: fax
// and deflate data of blank areas expand by thousands.
constexpr uint64_t kMaxExpansion = 4096;

// The bytes of the page's strips or tiles (each at most the file's size), counted until
// they reach `enough`.
uint64_t StrileBytes(TIFF* tif, uint64_t enough) {
  const uint64_t fileSize = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
  const uint32_t striles = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  uint64_t data = 0;
  for (uint32_t i = 0; i < striles && data < enough; ++i)
    data += std::min(TIFFGetStrileByteCount(tif, i), fileSize);
  return data;
}

}  // namespace

bool PlausibleSize(TIFF* tif, uint64_t bytes) {
  // The strips are only looked at for a size beyond trust.
  if (bytes <= kTrustedImageBytes) return true;
  return px::ClaimIsPlausible(bytes, bytes, StrileBytes(tif, bytes / kMaxExpansion), kMaxExpansion,
                              kTrustedImageBytes);
}

/* ---- Strips and tiles ------------------------------------------------------------------- */

int ReadPlane(px::Operation& op, TIFF* tif, const PageInfo& info, const PlaneSink& sink) {
  const bool tiled = info.tiled;
  const tmsize_t bufferSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
  const tmsize_t rowSize = tiled ? TIFFTileRowSize(tif) : TIFFScanlineSize(tif);
  const uint32_t blockWidth = tiled ? info.tileWidth : info.width;
  const uint32_t blockHeight = tiled ? info.tileLength : info.rowsPerStrip;
  if (bufferSize <= 0 || rowSize <= 0 || blockWidth == 0 || blockHeight == 0)
    return PX_ERR_BAD_TIFF;
  // Each row of a strip or tile must hold the pixels handed on from it.
  if (uint64_t(rowSize) * 8 < uint64_t(blockWidth) * info.bitsPerSample ||
      uint64_t(bufferSize) < uint64_t(rowSize) * blockHeight)
    return PX_ERR_BAD_TIFF;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(bufferSize)]);
  if (!buffer) {
    px::Trace("%s", tiled ? "No space for tile buffer" : "No space for strip buffer");
    return PX_ERR_NO_MEMORY;
  }

  int result = PX_OK;
  for (uint64_t y0 = 0; y0 < info.height; y0 += blockHeight) {
    const uint32_t rows = uint32_t(std::min<uint64_t>(blockHeight, info.height - y0));
    for (uint64_t x0 = 0; x0 < info.width; x0 += blockWidth) {
      std::memset(buffer.get(), 0, size_t(bufferSize));
      tmsize_t got;
      if (tiled) {
        got = TIFFReadTile(tif, buffer.get(), uint32_t(x0), uint32_t(y0), 0, 0);
      } else {
        got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, uint32_t(y0), 0), buffer.get(),
                                   rowSize * rows);
      }
      if (got < 0) {
        result = PX_ERR_BAD_TIFF;  // the block stays zero; the rest is still read
        continue;
      }
      const uint32_t count = uint32_t(std::min<uint64_t>(blockWidth, info.width - x0));
      for (uint32_t r = 0; r < rows; ++r)
        sink(uint32_t(x0), uint32_t(y0 + r), buffer.get() + size_t(r) * rowSize, count);
    }
    if (!op.Progress(uint32_t(y0), info.height)) return PX_ERR_ABORTED;
  }
  return result;
}

}  // namespace pxtiff
