// The Orientation tag of an EXIF block, read without trusting any of its offsets.
#include <cstring>

#include "core/io.h"
#include "pixolith/px_orientation.h"

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kTIFFHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;

// The TIFF structure inside the block, in its own byte order.
class TIFFView {
 public:
  TIFFView(const uint8_t* data, size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  // False when the `bytes` at `offset` are not all inside the block.
  bool Holds(uint64_t offset, uint64_t bytes) const {
    return offset <= size_ && bytes <= size_ - offset;
  }
  uint16_t U16(size_t at) const { return bigEndian_ ? px::BE16(data_ + at) : px::LE16(data_ + at); }
  uint32_t U32(size_t at) const { return bigEndian_ ? px::BE32(data_ + at) : px::LE32(data_ + at); }

 private:
  const uint8_t* data_;
  size_t size_;
  bool bigEndian_;
};

int OrientationOf(const uint8_t* tiff, size_t size) {
  if (size < kTIFFHeaderBytes) return PX_ORIENTATION_TOP_LEFT;
  bool bigEndian;
  if (std::memcmp(tiff, "II\x2A\x00", 4) == 0) {
    bigEndian = false;
  } else if (std::memcmp(tiff, "MM\x00\x2A", 4) == 0) {
    bigEndian = true;
  } else {
    return PX_ORIENTATION_TOP_LEFT;
  }
  const TIFFView view(tiff, size, bigEndian);
  // Only the first directory holds the main image's orientation; its link to the next
  // is never followed, so a chain that loops costs nothing.
  const uint32_t ifd = view.U32(4);
  if (ifd < kTIFFHeaderBytes || !view.Holds(ifd, 2)) return PX_ORIENTATION_TOP_LEFT;
  const uint32_t count = view.U16(ifd);
  // A directory that claims more entries than the block holds is damaged as a whole.
  if (!view.Holds(uint64_t(ifd) + 2, uint64_t(count) * kEntryBytes)) return PX_ORIENTATION_TOP_LEFT;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = size_t(ifd) + 2 + i * kEntryBytes;
    if (view.U16(entry) != kOrientationTag) continue;
    // A SHORT with one value sits in the first two bytes of the value field.
    if (view.U16(entry + 2) != kTypeShort || view.U32(entry + 4) != 1)
      return PX_ORIENTATION_TOP_LEFT;
    const uint16_t value = view.U16(entry + 8);
    return value >= 1 && value <= 8 ? value : PX_ORIENTATION_TOP_LEFT;
  }
  return PX_ORIENTATION_TOP_LEFT;
}

}  // namespace

extern "C" int PXGetExifOrientation(const BYTE* exif, size_t size) {
  if (!exif) return PX_ORIENTATION_TOP_LEFT;
  if (size >= sizeof kExifHeader && std::memcmp(exif, kExifHeader, sizeof kExifHeader) == 0) {
    exif += sizeof kExifHeader;
    size -= sizeof kExifHeader;
  }
  return OrientationOf(exif, size);
}
