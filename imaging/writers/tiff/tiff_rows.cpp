// The pixels of a written page: rows copied one at a time into a reused buffer (libtiff's
// encoders may change what they are given, and the caller's image stays untouched), then
// fed to libtiff as scanlines or assembled into tiles.
#include <algorithm>
#include <cstring>

#include "pixolith/px_tiff.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

namespace {

// What happens to the source bytes of a row on their way to libtiff.
class RowFilter {
 public:
  RowFilter(const PageSpec& page, uint32_t flags) : bits_(page.bitsPerPixel) {
    swap_ = (flags & PX_TIFF_WRITE_BGR) && (bits_ == 24 || bits_ == 32);
    // A JPEG page of 8 bits is greyscale: it carries the grey level of each pixel's
    // palette colour, which for the usual grey ramp is the index itself.
    const bool greyJPEG = bits_ == 8 && !(flags & PX_TIFF_WRITE_GRAY) &&
                          MapCompression(bits_, page.compression) == COMPRESSION_JPEG;
    if (greyJPEG && page.palette) {
      for (int i = 0; i < 256; ++i) {
        const RGBQUAD& q = page.palette[i];
        levels_[i] = uint8_t((299 * q.rgbRed + 587 * q.rgbGreen + 114 * q.rgbBlue + 500) / 1000);
        if (levels_[i] != i) mapLevels_ = true;
      }
    }
  }

  // `pixels` whole pixels of a row in `row`.
  void Apply(uint8_t* row, size_t pixels) const {
    if (swap_) {
      const size_t step = bits_ / 8;
      for (size_t i = 0; i < pixels; ++i) std::swap(row[i * step], row[i * step + 2]);
    } else if (mapLevels_) {
      for (size_t i = 0; i < pixels; ++i) row[i] = levels_[row[i]];
    }
  }

 private:
  uint32_t bits_;
  bool swap_ = false;
  bool mapLevels_ = false;
  uint8_t levels_[256] = {};
};

// Source row `y` of the page as it is shown (top row 0).
const uint8_t* SourceRow(const PageSpec& page, uint32_t flags, uint32_t y) {
  const uint32_t stored = (flags & PX_TIFF_WRITE_BOTTOM_UP) ? page.height - 1 - y : y;
  return page.pixels + size_t(stored) * page.stride;
}

int WriteStrips(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags,
                const RowFilter& filter) {
  const size_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  px::Block row(rowBytes);
  if (!row) return PX_ERR_NO_MEMORY;
  for (uint32_t y = 0; y < page.height; ++y) {
    std::memcpy(row.get(), SourceRow(page, flags, y), rowBytes);
    filter.Apply(row.get(), page.width);
    if (TIFFWriteScanline(tif, row.get(), y, 0) < 0) return PX_ERR_FILE_WRITE;
    if (!op.Progress(y, page.height)) return PX_ERR_ABORTED;
  }
  return PX_OK;
}

int WriteTiles(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags,
               const RowFilter& filter) {
  uint32_t tileWidth = 0, tileLength = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
  const tmsize_t tileBytes = TIFFTileSize(tif);
  const tmsize_t tileRowBytes = TIFFTileRowSize(tif);
  if (!tileWidth || !tileLength || tileBytes <= 0 || tileRowBytes <= 0) return PX_ERR_NO_MEMORY;
  px::Block tile{size_t(tileBytes)};
  if (!tile) return PX_ERR_NO_MEMORY;
  const size_t rowBytes = RowBytes(page.width, page.bitsPerPixel);
  for (uint64_t y0 = 0; y0 < page.height; y0 += tileLength) {
    const auto rows = uint32_t(std::min<uint64_t>(tileLength, page.height - y0));
    for (uint64_t x0 = 0; x0 < page.width; x0 += tileWidth) {
      // Tile widths are multiples of 16, so every tile starts on a byte.
      const size_t offset = RowBytes(uint32_t(x0), page.bitsPerPixel);
      const size_t bytes = std::min<size_t>(size_t(tileRowBytes), rowBytes - offset);
      const auto pixels = size_t(std::min<uint64_t>(tileWidth, page.width - x0));
      std::memset(tile.get(), 0, size_t(tileBytes));
      for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* out = tile.get() + size_t(r) * size_t(tileRowBytes);
        std::memcpy(out, SourceRow(page, flags, uint32_t(y0) + r) + offset, bytes);
        filter.Apply(out, pixels);
      }
      if (TIFFWriteTile(tif, tile.get(), uint32_t(x0), uint32_t(y0), 0, 0) < 0)
        return PX_ERR_FILE_WRITE;
    }
    if (!op.Progress(uint32_t(y0), page.height)) return PX_ERR_ABORTED;
  }
  return PX_OK;
}

}  // namespace

int WritePixels(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags) {
  const RowFilter filter(page, flags);
  if (flags & PX_TIFF_WRITE_TILES) return WriteTiles(op, tif, page, flags, filter);
  return WriteStrips(op, tif, page, flags, filter);
}

}  // namespace pxtiffw
