#include "stored_page_support.h"

#include <tiffio.h>

#include <algorithm>

#include "jpeg_gif_psd_fixtures.h"

namespace pxtest {

namespace {

void SetLayout(TIFF* tif, const SourceLayout& layout) {
  const uint16_t samples = layout.bits == 24 ? 3 : 1;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits == 1 ? 1 : 8));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(layout.compression));
  uint16_t photometric = layout.bits == 1 ? PHOTOMETRIC_MINISWHITE
                         : layout.bits == 8
                             ? (layout.palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISBLACK)
                             : PHOTOMETRIC_RGB;
  if (layout.ycbcr) photometric = PHOTOMETRIC_YCBCR;
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  if (layout.ycbcr) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  if (layout.palette) {
    std::vector<uint16_t> map(768);
    for (int i = 0; i < 256; ++i) {
      map[i] = uint16_t(i * 257);
      map[256 + i] = uint16_t((255 - i) * 257);
      map[512 + i] = uint16_t((i * 7 % 256) * 257);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
  }
  if (layout.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(layout.predictor));
  if (layout.orientation != 1) TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(layout.orientation));
  if (layout.fillOrder != 1) TIFFSetField(tif, TIFFTAG_FILLORDER, uint16_t(layout.fillOrder));
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, layout.dpi);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, layout.dpi);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (layout.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 32u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 32u);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                 layout.compression == COMPRESSION_JPEG ? layout.height : layout.rowsPerStrip);
  }
}

// Rows of the page's samples: the test picture, thresholded for bilevel pages.
std::vector<uint8_t> PageRows(const SourceLayout& layout, int page) {
  const int components = layout.bits == 24 ? 3 : 1;
  std::vector<uint8_t> picture =
      TestPicture(layout.width, layout.height + uint32_t(page), components);
  picture.erase(picture.begin(), picture.begin() + long(page) * layout.width * components);
  if (layout.bits != 1) return picture;
  const size_t rowBytes = (layout.width + 7) / 8;
  std::vector<uint8_t> packed(rowBytes * layout.height);
  for (uint32_t y = 0; y < layout.height; ++y)
    for (uint32_t x = 0; x < layout.width; ++x)
      if (picture[size_t(y) * layout.width + x] < 128)
        packed[y * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
  return packed;
}

}  // namespace

void WriteSourceTIFF(const std::string& path, const SourceLayout& layout, int pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return;
  for (int p = 0; p < pages; ++p) {
    SetLayout(tif, layout);
    std::vector<uint8_t> rows = PageRows(layout, p);
    const size_t rowBytes = rows.size() / layout.height;
    if (layout.tiled) {
      const size_t tileBytes = size_t(TIFFTileSize(tif));
      std::vector<uint8_t> tile(tileBytes);
      const size_t bytesPerPixel = rowBytes / layout.width;
      for (uint32_t ty = 0; ty < layout.height; ty += 32)
        for (uint32_t tx = 0; tx < layout.width; tx += 32) {
          std::fill(tile.begin(), tile.end(), 0);
          for (uint32_t y = 0; y < 32 && ty + y < layout.height; ++y)
            for (uint32_t x = 0; x < 32 && tx + x < layout.width; ++x)
              std::copy_n(&rows[(ty + y) * rowBytes + (tx + x) * bytesPerPixel], bytesPerPixel,
                          &tile[(y * 32 + x) * bytesPerPixel]);
          TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
        }
    } else {
      for (uint32_t y = 0; y < layout.height; ++y)
        TIFFWriteScanline(tif, &rows[y * rowBytes], y, 0);
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

std::vector<std::vector<uint8_t>> RawStrips(const std::string& path, uint32_t page) {
  std::vector<std::vector<uint8_t>> strips;
  TIFF* tif = TIFFOpen(path.c_str(), "rc");
  if (!tif) return strips;
  if (TIFFSetDirectory(tif, tdir_t(page))) {
    const bool tiled = TIFFIsTiled(tif);
    const uint32_t n = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t s = 0; s < n; ++s) {
      std::vector<uint8_t> data(static_cast<size_t>(TIFFGetStrileByteCount(tif, s)));
      tmsize_t got = tiled ? TIFFReadRawTile(tif, s, data.data(), tmsize_t(data.size()))
                           : TIFFReadRawStrip(tif, s, data.data(), tmsize_t(data.size()));
      data.resize(got < 0 ? 0 : size_t(got));
      strips.push_back(std::move(data));
    }
  }
  TIFFClose(tif);
  return strips;
}

std::vector<uint32_t> DecodeRGBA(const std::string& path, uint32_t page) {
  std::vector<uint32_t> raster;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return raster;
  uint32_t w = 0, h = 0;
  if (TIFFSetDirectory(tif, tdir_t(page)) && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) &&
      TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h)) {
    raster.resize(size_t(w) * h);
    if (!TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1))
      raster.clear();
  }
  TIFFClose(tif);
  return raster;
}

int TagValue(const std::string& path, uint32_t page, uint32_t tag) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return -1;
  uint16_t v = 0;
  const bool found = TIFFSetDirectory(tif, tdir_t(page)) && TIFFGetField(tif, tag, &v);
  TIFFClose(tif);
  return found ? v : -1;
}

namespace {

uint32_t LE(const std::vector<uint8_t>& f, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(f[at + size_t(i)]) << (8 * i);
  return v;
}

// The position of the entry of `tag` in the first directory; 0 when there is none.
size_t FindEntry(const std::vector<uint8_t>& f, uint16_t tag) {
  if (f.size() < 8 || f[0] != 'I') return 0;
  const size_t ifd = LE(f, 4, 4);
  if (ifd + 2 > f.size()) return 0;
  const size_t n = LE(f, ifd, 2);
  for (size_t i = 0; i < n && ifd + 2 + (i + 1) * 12 <= f.size(); ++i)
    if (LE(f, ifd + 2 + i * 12, 2) == tag) return ifd + 2 + i * 12;
  return 0;
}

}  // namespace

bool PatchEntry(std::vector<uint8_t>* file, uint16_t tag, uint32_t count, uint32_t value) {
  const size_t at = FindEntry(*file, tag);
  if (!at) return false;
  for (int i = 0; i < 4; ++i) {
    (*file)[at + 4 + size_t(i)] = uint8_t(count >> (8 * i));
    (*file)[at + 8 + size_t(i)] = uint8_t(value >> (8 * i));
  }
  return true;
}

bool ReadEntry(const std::vector<uint8_t>& file, uint16_t tag, uint32_t* count, uint32_t* value) {
  const size_t at = FindEntry(file, tag);
  if (!at) return false;
  *count = LE(file, at + 4, 4);
  *value = LE(file, at + 8, 4);
  return true;
}

}  // namespace pxtest
