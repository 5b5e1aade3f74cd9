// TIFF reader internals: a page opened on a source, the facts of a page the reading paths
// decide by, and the placement of decoded pixels into an upright output image.
#ifndef PIXOLITH_READERS_TIFF_PAGE_H
#define PIXOLITH_READERS_TIFF_PAGE_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "codecs/tiff_client.h"
#include "core/operation.h"

namespace pxtiff {

// A TIFF file opened on a caller's source, with one page selected. Not movable: libtiff
// keeps the address of its CPXIO.
class Page {
 public:
  Page() = default;
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Seeks the source to 0 and opens libtiff on it: 0, 3 (no seek) or 20 (not a TIFF).
  int OpenFile(PXSource source);
  // Selects a page: 0, or 5 when the file has no such page.
  int Select(uint32_t page);
  TIFF* tif() const { return tif_.get(); }

 private:
  CPXIO io_;
  ClientTIFF tif_;
};

// The facts of the selected page.
struct PageInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bitsPerSample = 1;
  uint16_t samplesPerPixel = 1;
  uint16_t extraSamples = 0;
  bool hasPhotometric = false;
  uint16_t photometric = 0;  // as stored, or the value assumed when absent (see Read)
  uint16_t planar = 1;
  uint16_t compression = 1;
  uint16_t orientation = 1;  // 0 when absent
  bool tiled = false;
  uint32_t rowsPerStrip = 0;  // at most the height
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  float xResolution = 0;
  float yResolution = 0;
  uint16_t resolutionUnit = 0;  // 0 when absent

  // Reads the tags of the current page. A missing Photometric tag is taken as
  // min-is-white for CCITT pages and min-is-black otherwise.
  static PageInfo Read(TIFF* tif);

  uint32_t colorSamples() const {
    return samplesPerPixel > extraSamples ? uint32_t(samplesPerPixel - extraSamples) : 0;
  }
  bool separate() const { return planar == 2 && samplesPerPixel > 1; }
  bool ccitt() const {
    return compression == 2 || compression == 3 || compression == 4 || compression == 32771;
  }
  // Bits per pixel as the dimension call reports them.
  uint32_t bitsPerPixel() const { return uint32_t(bitsPerSample) * samplesPerPixel; }
  // The resolution as the dimension call reports it: whole dots per unit (0 for none or
  // nonsense), the unit as stored (0 when absent).
  PXResolution dimensionResolution() const;
  // The resolution in pixels per metre for a DIB header (0 without a known unit).
  int32_t xPelsPerMeter() const;
  int32_t yPelsPerMeter() const;
};

// How stored pixels map onto the output: transposed (width and height exchange), then
// mirrored left-right and top-bottom.
struct Transform {
  bool transpose = false;
  bool flipX = false;
  bool flipY = false;
};

// The transform that shows a page stored with the given Orientation tag upright.
Transform OrientationTransform(uint16_t orientation);

// Writes runs of decoded pixels, given in stored coordinates (x to the right, y down, as
// the page is stored), into an output image under a transform. `pixelBits` is 1 (packed,
// most significant bit first; no transpose) or a multiple of 8.
class Placer {
 public:
  Placer(uint8_t* out, size_t outStride, uint32_t width, uint32_t height, uint32_t pixelBits,
         Transform transform);

  uint32_t outWidth() const { return transform_.transpose ? height_ : width_; }
  uint32_t outHeight() const { return transform_.transpose ? width_ : height_; }
  // Places `count` pixels of stored row y, starting at column x. The run must lie inside
  // the stored image.
  void Place(uint32_t x, uint32_t y, const uint8_t* pixels, uint32_t count);

 private:
  uint8_t* out_;
  size_t stride_;
  uint32_t width_;
  uint32_t height_;
  uint32_t pixelBits_;
  Transform transform_;
};

// Images up to this size are allocated whatever the page's data; beyond it the strips or
// tiles must be able to describe them (see PlausibleSize).
constexpr uint64_t kTrustedImageBytes = uint64_t(256) << 20;

// False when an output of `bytes` is far more than the page's compressed data could
// stand for, so that a few bytes claiming a huge page are refused before allocating.
bool PlausibleSize(TIFF* tif, uint64_t bytes);

// Decodes plane 0 of a one-sample page strip by strip (or tile row by tile row) and hands
// each decoded run to `sink(x, y, data, count)`: `count` samples of stored row y from
// column x, packed as stored. Reports progress after each strip or tile row. Returns 0,
// PX_ERR_BAD_TIFF when some strips or tiles could not be decoded (they stay zero and
// reading goes on), PX_ERR_ABORTED on abort or PX_ERR_NO_MEMORY when the buffer cannot be
// had.
using PlaneSink = std::function<void(uint32_t x, uint32_t y, const uint8_t* data, uint32_t count)>;
int ReadPlane(px::Operation& op, TIFF* tif, const PageInfo& info, const PlaneSink& sink);

}  // namespace pxtiff

#endif  // PIXOLITH_READERS_TIFF_PAGE_H
