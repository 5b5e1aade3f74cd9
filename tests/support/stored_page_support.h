// Source files for the copy of stored pages, written with libtiff itself in every layout
// the output can take over, and what libtiff reads back from a page: its raw strips and
// its pixels.
#ifndef PAGEWEAVER_TESTS_STORED_PAGE_SUPPORT_H
#define PAGEWEAVER_TESTS_STORED_PAGE_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace pxtest {

struct SourceLayout {
  uint32_t width = 96;
  uint32_t height = 64;
  int bits = 24;        // 1 (min-is-white), 8 (grey, or palette with `palette`) or 24
  int compression = 1;  // TIFF code
  bool palette = false;
  bool ycbcr = false;  // JPEG pages: YCbCr with 2 x 2 subsampling instead of RGB
  uint32_t rowsPerStrip = 16;
  bool tiled = false;  // 32 x 32 tiles
  int predictor = 1;
  int orientation = 1;
  int fillOrder = 1;
  float dpi = 150;
};

// The default layout at another depth and compression.
inline SourceLayout LayoutOf(int bits, int compression) {
  SourceLayout s;
  s.bits = bits;
  s.compression = compression;
  return s;
}

// Writes one page (pages > 1: that many, each with other pixels) of a picture with
// detail in the layout described.
void WriteSourceTIFF(const std::string& path, const SourceLayout& layout, int pages = 1);

// The bytes of every strip or tile of a page, as stored.
std::vector<std::vector<uint8_t>> RawStrips(const std::string& path, uint32_t page);

// A page decoded by libtiff's RGBA interface, top row first; empty when it fails.
std::vector<uint32_t> DecodeRGBA(const std::string& path, uint32_t page);

// A tag's value as libtiff reads it from a page (16-bit tags); -1 when absent.
int TagValue(const std::string& path, uint32_t page, uint32_t tag);

// Sets the count and value (or value offset) of an entry of the first directory of a
// little-endian classic TIFF in memory; false when there is no such entry.
bool PatchEntry(std::vector<uint8_t>* file, uint16_t tag, uint32_t count, uint32_t value);
// The count and value (or value offset) of such an entry; false when there is none.
bool ReadEntry(const std::vector<uint8_t>& file, uint16_t tag, uint32_t* count, uint32_t* value);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_STORED_PAGE_SUPPORT_H
