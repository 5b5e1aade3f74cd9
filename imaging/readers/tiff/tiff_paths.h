// The TIFF reader's decoding paths, one per output depth.
#ifndef PIXOLITH_READERS_TIFF_PATHS_H
#define PIXOLITH_READERS_TIFF_PATHS_H

#include "pixolith/px_tiff.h"
#include "readers/tiff/tiff_page.h"

namespace pxtiff {

struct ReadRequest {
  uint32_t depth = 0;
  RGBQUAD* palette = nullptr;  // 256 entries, or null when a DIB is made
  uint32_t flags = 0;
  bool dib = false;
};

// The checks of reading the page as `request` asks, before any path is taken: 0, or the
// error code: PX_ERR_BAD_TIFF for a page without pixels or larger than a DIB can describe,
// PX_ERR_BIT_DEPTH when its samples have no form at the requested depth, PX_ERR_PARAMETER
// for 16-bit samples read as indices of a colour page, PX_ERR_UNEXPECTED for a 1-bit page
// the orientation would turn. Pure: it reads nothing.
int CheckHeader(const PageInfo& info, const ReadRequest& request);

// Each path reads a page CheckHeader has passed for the request. It returns the new image
// buffer or packed DIB and its width and height, or null with the error recorded in `op`.
// A buffer may come back together with PX_ERR_BAD_TIFF.
BYTE* ReadBilevel(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                  uint32_t* width, uint32_t* height);
BYTE* ReadIndexed(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                  uint32_t* width, uint32_t* height);
BYTE* ReadGrey16(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
                 uint32_t* width, uint32_t* height);
BYTE* ReadRGBA(px::Operation& op, TIFF* tif, const PageInfo& info, const ReadRequest& request,
               uint32_t* width, uint32_t* height);

// The transform that brings the page upright in the requested form: the Orientation tag
// (or none with PX_TIFF_IGNORE_ORIENTATION), rows bottom-up for a DIB.
Transform RequestTransform(const PageInfo& info, const ReadRequest& request);

// Allocates `rows` rows of `stride` bytes after `prefix` bytes, or records why not:
// PX_ERR_NO_MEMORY when the size cannot be had, PX_ERR_BAD_TIFF when the page's data could
// not describe that much.
px::Block AllocateOutput(px::Operation& op, TIFF* tif, uint64_t rows, uint64_t stride,
                         size_t prefix);

}  // namespace pxtiff

#endif  // PIXOLITH_READERS_TIFF_PATHS_H
