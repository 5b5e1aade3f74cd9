// Helpers of the TIFF writer tests: pages to write, writing them into files, reading the
// files back with the library's reader and their tags with libtiff.
#ifndef PAGEWEAVER_TESTS_TIFF_WRITE_SUPPORT_H
#define PAGEWEAVER_TESTS_TIFF_WRITE_SUPPORT_H

#include <tiffio.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pixolith/px_tiff.h"
#include "reader_results.h"

namespace pxtest {

// A page as the tests hand it to the writer: unpadded rows, top row first.
struct TestPage {
  std::vector<uint8_t> pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0;
  std::vector<RGBQUAD> palette;  // 256 entries for 4- and 8-bit pages, else empty
  uint32_t compression = PX_TIFF_COMPRESSION_NONE;
  PXResolution resolution = {300, 150, 2};

  const RGBQUAD* paletteOrNull() const { return palette.empty() ? nullptr : palette.data(); }
};

// Deterministic noise of 1, 4, 8, 16, 24 or 32 bits per pixel (the unused bits at the end
// of 1- and 4-bit rows are 0), with a colour palette for 4 and 8 bits.
TestPage NoisePage(uint32_t width, uint32_t height, uint32_t bits, uint32_t seed = 1);
// Smooth gradients of 8 (grey ramp palette), 24 or 32 bits, which JPEG keeps close.
TestPage SmoothPage(uint32_t width, uint32_t height, uint32_t bits);

struct WriteOutcome {
  uint32_t result = 0;  // what the writer returned
  int error = -1;       // the last error right after it
};

// PXWriteTIFF of one page into a new file; `resolution` false passes none.
WriteOutcome WriteTIFFFile(const std::string& path, const TestPage& page, uint32_t flags = 0,
                           bool resolution = true);
// PXWriteMultiPageTIFF of the pages into a new file.
WriteOutcome WritePagesFile(const std::string& path, const std::vector<TestPage>& pages,
                            uint32_t flags = 0);

// One directory of a file, read with libtiff.
class TIFFTags {
 public:
  TIFFTags(const std::string& path, uint32_t directory);
  ~TIFFTags();
  TIFFTags(const TIFFTags&) = delete;
  TIFFTags& operator=(const TIFFTags&) = delete;

  bool ok() const { return ok_; }
  TIFF* tif() const { return tif_; }
  std::optional<uint16_t> U16(uint32_t tag) const;
  std::optional<uint32_t> U32(uint32_t tag) const;
  std::optional<float> Float(uint32_t tag) const;
  std::optional<std::string> Text(uint32_t tag) const;
  // A variable-length block tag (count, data).
  std::optional<std::vector<uint8_t>> Block(uint32_t tag) const;

 private:
  TIFF* tif_ = nullptr;
  bool ok_ = false;
};

// The tag numbers stored in directory `index` of a little-endian classic TIFF, in file
// order; empty when there is no such directory.
std::vector<uint16_t> StoredTags(const std::string& path, uint32_t index);

// The number of directories the file's chain of links claims, following every nonzero link
// of a little-endian classic TIFF whether or not a directory can be read there.
uint32_t ClaimedDirectories(const std::string& path);

// The number of directories libtiff finds, 0 when it cannot open the file.
uint32_t DirectoryCount(const std::string& path);

// PXReadTIFF of one page of a file.
void ReadBack(const std::string& path, uint32_t page, uint32_t depth, ReadResult* out,
              uint32_t flags = 0);

// The bytes PXReadTIFF gives back for a page written from `page` without flags: its own
// bytes, except 4-bit pages which come back one index per byte.
std::vector<uint8_t> ExpectedBytes(const TestPage& page);
// The depth to read a written page back at.
uint32_t ReadDepth(uint32_t bits);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_TIFF_WRITE_SUPPORT_H
