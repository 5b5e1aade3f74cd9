#include "image_files.h"

#include <tiffio.h>

#include <cstdio>
#include <stdexcept>

#include "pixolith/px_png.h"
#include "test_support.h"

namespace pxtest {

void WriteBMP24(const std::string& path, uint32_t width, uint32_t height, const PixelFn& pixel) {
  uint32_t stride = (width * 3 + 3) & ~3u;
  Bytes b;
  b.str("BM").le32(54 + stride * height).le32(0).le32(54);
  b.le32(40).le32(width).le32(height).le16(1).le16(24).le32(0).le32(stride * height);
  b.le32(2835).le32(2835).le32(0).le32(0);
  for (uint32_t row = 0; row < height; ++row) {
    uint32_t y = height - 1 - row;
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t c = pixel(x, y);
      b.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF);
    }
    b.fill(stride - width * 3);
  }
  WriteFile(path, b.data());
}

void WritePNG24(const std::string& path, uint32_t width, uint32_t height, const PixelFn& pixel) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t c = pixel(x, y);
      uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
      p[0] = uint8_t(c >> 16);
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c);
    }
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) throw std::runtime_error("cannot write " + path);
  PXWritePNG(sink, rgb.data(), width, height, width * 3, 8, 0, nullptr, 2, 0, nullptr, 4);
  PXCloseSink(sink);
}

void WriteTIFF(const std::string& path, const std::vector<TiffPage>& pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) throw std::runtime_error("cannot write " + path);
  for (const TiffPage& page : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.xdpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.ydpi);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    int samples = page.bits == 24 ? 3 : 1;
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits == 1 ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 page.bits == 24  ? PHOTOMETRIC_RGB
                 : page.bits == 1 ? PHOTOMETRIC_MINISWHITE
                                  : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.height);
    size_t rowBytes = page.bits == 1 ? (page.width + 7) / 8 : size_t(page.width) * samples;
    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < page.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      for (uint32_t x = 0; x < page.width; ++x) {
        uint32_t c = page.pixel ? page.pixel(x, y) : 0xFFFFFF;
        if (page.bits == 1) {
          if (((c >> 16) & 0xFF) < 128) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (page.bits == 8) {
          row[x] = uint8_t(c >> 16);
        } else {
          row[3 * x] = uint8_t(c >> 16);
          row[3 * x + 1] = uint8_t(c >> 8);
          row[3 * x + 2] = uint8_t(c);
        }
      }
      TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

std::vector<TiffDirectory> ReadTiffDirectories(const std::string& path) {
  std::vector<TiffDirectory> dirs;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return dirs;
  do {
    TiffDirectory d;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &d.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &d.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &d.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &d.samples);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &d.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &d.photometric);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &d.unit);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &d.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &d.yres);
    dirs.push_back(d);
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return dirs;
}

}  // namespace pxtest
