// TIFF writer internals: one page as the writer sees it, the tags of a page, the pixels
// of a page, and the directory chain of a file written so far.
#ifndef PIXOLITH_WRITERS_TIFF_WRITER_H
#define PIXOLITH_WRITERS_TIFF_WRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "codecs/tiff_client.h"
#include "core/operation.h"
#include "pixolith/px_tiff.h"

namespace pxtiffw {

// An allocator whose elements start out unset: a page's bytes are read or written over
// at once, and zeroing them first cost as much as copying them.
template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Compressed page data.
using PageBytes = std::vector<uint8_t, UnsetAllocator<uint8_t>>;

struct PageSpec {
  const uint8_t* pixels = nullptr;  // first byte of the top row (bottom row when bottom-up)
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;         // 1, 4, 8, 16, 24 or 32
  size_t stride = 0;                 // bytes from one row to the next
  const RGBQUAD* palette = nullptr;  // 16 or 256 entries, or null
  uint32_t compression = 0;          // as the caller asked for it
  PXResolution resolution = {1, 1, 1};
};

// A page of the multi-page writers: unpadded rows, top row first. Null when the depth is
// not one of theirs (1, 8, 24, 32) or an 8-bit page comes without a palette.
bool MultiPage(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t bits,
               const RGBQUAD* palette, uint32_t compression, const PXResolution& resolution,
               PageSpec* page);

// The compression code written for a page of `bits` per pixel asked for `requested`.
uint32_t MapCompression(uint32_t bits, uint32_t requested);

// Bytes of one unpadded row.
size_t RowBytes(uint32_t width, uint32_t bits);

// Checks what can be checked before anything of the page is written: 0 or 5.
int CheckPage(const PageSpec& page, uint32_t flags);

// Sets every tag of the page on the current directory: 0, or 5 when a caller-defined tag
// is refused.
int SetPageTags(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags);

// Writes the page's strips or tiles: 0, or PX_ERR_NO_MEMORY, PX_ERR_FILE_WRITE (libtiff
// refused the data), PX_ERR_ABORTED, PX_ERR_END_OF_IMAGE (more rows than the page has).
int WritePixels(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags);

// The tags that decode data taken over from another TIFF (or a JPEG file) as it is.
struct StoredTags {
  uint16_t compression = COMPRESSION_NONE;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t fillOrder = FILLORDER_MSB2LSB;
  uint16_t bitsPerSample = 1;
  uint16_t samplesPerPixel = 1;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t predictor = PREDICTOR_NONE;
  bool hasT4Options = false;
  uint32_t t4Options = 0;
  bool hasT6Options = false;
  uint32_t t6Options = 0;
  std::vector<uint16_t> colorMap;  // red, green and blue arrays, one after the other
  std::vector<uint8_t> jpegTables;
  uint16_t subsampling[2] = {2, 2};  // YCbCr pages only
  uint16_t positioning = YCBCRPOSITION_CENTERED;
  bool hasCoefficients = false;
  float coefficients[3] = {};
  bool hasReferenceBlackWhite = false;
  float referenceBlackWhite[6] = {};
  uint32_t rowsPerStrip = 0;  // strips
  uint32_t tileWidth = 0;     // tiles
  uint32_t tileLength = 0;
};

// A page compressed ahead: its description (without pixels) and the bytes of each of its
// strips or tiles, in order. A page taken over from a source carries that source's
// decoding tags; its layout then gives only the size and the resolution.
struct EncodedPage {
  PageSpec layout;
  RGBQUAD palette[256] = {};
  uint32_t flags = 0;
  bool tiled = false;
  PageBytes data;
  std::vector<size_t> ends;  // end of each strip or tile in data
  bool stored = false;
  StoredTags storedTags;
};

// Sets the tags of a page taken over from a source: its decoding tags and geometry, and
// the size, resolution and common tags as SetPageTags sets them. 0, or 5 when a
// caller-defined tag is refused.
int SetStoredPageTags(px::Operation& op, TIFF* tif, const EncodedPage& page);

// A growing file in memory that libtiff writes pages into.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
};

// libtiff opened for writing into `file` (which must outlive it), its handlers set up;
// null when libtiff refuses.
TIFF* OpenMemoryTIFF(MemoryFile* file);

// Where strip or tile `strile` of the flushed page lies in `file`; false when libtiff's
// offsets point outside it.
bool StrileBytes(TIFF* tif, const MemoryFile& file, uint32_t strile, const uint8_t** data,
                 size_t* size);

// Compresses a checked page into `out`: 0, or the code of WritePixels or PX_ERR_NO_MEMORY.
int EncodePage(px::Operation& op, const PageSpec& page, uint32_t flags, EncodedPage* out);

}  // namespace pxtiffw

struct PXTIFFEncodedPage {
  pxtiffw::EncodedPage page;
};

namespace pxtiffw {

// The page behind the public handle, or null.
const EncodedPage* EncodedPageOf(const PXTIFFEncodedPage* page);

// A page read from a source to be appended as it is: where each strip or tile lies and
// how many of its bytes the page needs.
struct Strile {
  uint64_t offset;
  uint64_t bytes;
};

// Reads the striles into `out`: 0, PX_ERR_NO_MEMORY or PX_ERR_FILE_READ.
int TakeStriles(CPXIO& io, const std::vector<Strile>& striles, EncodedPage* out);

// Makes `out` a page taken over from a source with these facts (size, depth,
// compression) and the output's resolution (null: none) and flags.
void DescribeStored(const PXStoredPage& stored, const PXResolution* resolution, uint32_t flags,
                    EncodedPage* out);

// The number of directories chained from the header of a TIFF in `io` (0 when it holds
// no TIFF, as an empty sink does).
uint32_t CountDirectories(CPXIO& io);

// Ends the directory chain after the first `keep` directories, so that a file whose last
// directory could not be completed does not point at it. Best effort: the write that
// failed before is already reported.
void CutDirectoryChain(CPXIO& io, uint32_t keep);

}  // namespace pxtiffw

#endif  // PIXOLITH_WRITERS_TIFF_WRITER_H
