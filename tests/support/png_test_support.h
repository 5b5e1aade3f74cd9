// PNG fixtures and inspection for the tests, written directly against libpng so that
// the library's reader and writer are checked by an independent implementation.
#ifndef PAGEWEAVER_TESTS_PNG_TEST_SUPPORT_H
#define PAGEWEAVER_TESTS_PNG_TEST_SUPPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pxtest {

struct PngColor16 {
  uint8_t index = 0;
  uint16_t red = 0, green = 0, blue = 0, gray = 0;
};

struct PngText {
  std::string keyword;
  std::string text;
  bool compressed = false;
  bool afterImage = false;  // written after IDAT (fixtures only)
};

// A PNG file's content as libpng sees it, and what fixtures are built from. Rows are in
// the file's own form: packed below 8 bits, 16-bit samples big-endian.
struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colorType = 2;
  bool interlaced = false;
  std::vector<uint8_t> rows;              // height * rowBytes()
  std::vector<uint8_t> palette;           // PLTE as r, g, b triples
  std::vector<uint8_t> paletteAlpha;      // tRNS for palette images
  std::optional<PngColor16> transparent;  // tRNS for grey and RGB images
  std::optional<PngColor16> background;   // bKGD
  std::optional<int> gammaFixed;          // gAMA, times 100000
  bool srgb = false;
  std::optional<std::vector<uint32_t>> physical;  // pHYs x, y, unit
  bool hasTime = false;
  std::optional<std::vector<uint8_t>> iccProfile;
  std::vector<PngText> texts;
  std::vector<uint8_t> exif;  // eXIf (a bare TIFF block) when not empty

  size_t rowBytes() const;
  int channels() const;
};

// Encodes with libpng; empty on failure.
std::vector<uint8_t> EncodePNG(const PngImage& image);
// Decodes with libpng without transformations; false when libpng refuses the data.
bool DecodePNG(const std::vector<uint8_t>& data, PngImage* out);

struct PngChunk {
  std::string type;
  std::vector<uint8_t> data;
};
// The chunk sequence of a PNG stream, parsed byte by byte (no CRC check).
std::vector<PngChunk> ListChunks(const std::vector<uint8_t>& data);
// The types in order, "IHDR PLTE ... IEND".
std::string ChunkTypes(const std::vector<uint8_t>& data);

// One sample of a decoded row (index counts samples, not pixels).
uint32_t Sample(const PngImage& image, uint32_t y, size_t index);
// The colour transparent pixels are composited on: bKGD as 8-bit RGB, else black.
void BackgroundOf(const PngImage& image, uint8_t rgb[3]);
// Per-pixel alpha that tRNS gives (0 or 255 for grey and RGB, the table's value for
// palette images; only the low bits of a tRNS sample count); empty without tRNS and for
// images with an alpha channel.
std::vector<uint8_t> TransparencyOf(const PngImage& image);
// The image as 8-bit RGB composited on BackgroundOf, on the stored values (16-bit
// images composited at 16 bits, then cut to their high byte).
std::vector<uint8_t> ExpectedRGB(const PngImage& image);

// Deterministic pseudo-random bytes for fixture pixels.
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_PNG_TEST_SUPPORT_H
