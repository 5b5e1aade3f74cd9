// The HEIF file as the reader judges it: its brands, the turn and mirror of its primary
// image, and the checks of a read before anything is decoded.
#ifndef PIXOLITH_READERS_HEIF_HEIF_HEADER_H
#define PIXOLITH_READERS_HEIF_HEIF_HEADER_H

#include <cstddef>
#include <cstdint>

#include "pixolith/px_core.h"

namespace pxheif {

// The brands of the file type box (ftyp) at the start of a file, as far as `size` bytes
// show them.
struct FileType {
  char major[5] = {};
  bool image = false;     // a brand of a still image or an image sequence
  bool sequence = false;  // a brand of an image sequence (msf1, avis)
};
// False when the bytes do not start with a file type box.
bool ReadFileType(const uint8_t* head, size_t size, FileType* type);

// True when the file has a box of `type` at its top level (within `size`).
bool HasTopLevelBox(const uint8_t* file, size_t size, const char* type);

// The orientation (PX_ORIENTATION_*) that the irot and imir properties associated with
// item `item` make, applied in the order of association as libheif applies them: 1 when
// it has none or the boxes that would hold them are damaged. Reads only within `size`.
int ItemOrientation(const uint8_t* file, size_t size, uint32_t item);

// The largest canvas that a grid or overlay item of the file declares in its own data
// (libheif 1.15 composes it at that size, whatever the item's ispe says). False when the
// file has no such item or its data cannot be found; reads only within `size`.
bool LargestCanvas(const uint8_t* file, size_t size, uint64_t* width, uint64_t* height);

// The largest picture the file's coded data declares: the sizes of every HEVC sequence
// parameter set (in hvcC properties and in the data of hvc1 items) and every AV1
// sequence header (in av1C properties and in the data of av01 items). The decoders
// allocate each picture at that size, whatever the item's ispe says. False when there is
// none; reads only within `size`.
bool LargestCodedPicture(const uint8_t* file, size_t size, uint64_t* width, uint64_t* height);

// The primary image as libheif describes it before decoding.
struct Header {
  int width = 0;  // after the turn and the crop libheif applies
  int height = 0;
  bool alpha = false;
  uint64_t canvasWidth = 0;  // the largest canvas of a grid or overlay (LargestCanvas)
  uint64_t canvasHeight = 0;
  uint64_t codedWidth = 0;  // the largest coded picture (LargestCodedPicture)
  uint64_t codedHeight = 0;
};

// Bits per pixel of the file's own depth: 32 with alpha, 24 without.
uint32_t FileBits(const Header& header);
// The output depth of a read at `depth` with `flags` (PX_HEIF_*): the file's own with a
// packed DIB, else `depth` itself.
int OutputDepth(const Header& header, int depth, DWORD flags);

// The checks of a read: 0, or the error code: 5 for a depth other than 8, 24 and 32, 70
// for an image without pixels, 1 when a side of the image, of a canvas or of a coded
// picture is over 32768, the output cannot be one block, or the image, the largest canvas
// or the largest coded picture has more pixels than the `fileBytes` of the file could
// code. Pure.
int CheckHeader(const Header& header, int depth, DWORD flags, uint64_t fileBytes);

// The largest side the reader accepts (libheif is told the same).
constexpr int kMaxDimension = 32768;

}  // namespace pxheif

#endif  // PIXOLITH_READERS_HEIF_HEIF_HEADER_H
