// Small JPEG, GIF and Photoshop files made by the tests themselves: JPEG through
// libjpeg's compressor, GIF and Photoshop byte by byte with their own encoders.
#ifndef PAGEWEAVER_TESTS_JPEG_GIF_PSD_FIXTURES_H
#define PAGEWEAVER_TESTS_JPEG_GIF_PSD_FIXTURES_H

#include <cstdint>
#include <string>
#include <vector>

namespace pxtest {

/* ---- JPEG ------------------------------------------------------------------------------- */

struct JPEGOptions {
  int components = 3;  // 1 grey, 3 RGB, 4 CMYK
  bool ycck = false;   // 4 components stored as YCCK
  bool progressive = false;
  bool arithmetic = false;
  int quality = 90;
  int densityUnit = 0;  // 0 aspect only, 1 per inch, 2 per cm
  int xDensity = 1;
  int yDensity = 1;
  std::string comment;                               // a COM segment when not empty
  std::vector<std::pair<int, std::string>> markers;  // further APPn segments (code, data)
};

// Compresses `pixels` (rows of width x components bytes) into a JPEG file. Four-component
// files get an Adobe segment, as the compressor writes them.
std::vector<uint8_t> EncodeJPEG(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels,
                                const JPEGOptions& options = {});

// Decodes a JPEG with libjpeg directly, in its default output colour space, optionally
// scaled: what the reader should deliver, to compare with.
struct JPEGPixels {
  uint32_t width = 0;
  uint32_t height = 0;
  int components = 0;
  std::vector<uint8_t> pixels;
};
JPEGPixels DecodeJPEGDirect(const std::vector<uint8_t>& file, unsigned scaleNum = 1,
                            unsigned scaleDenom = 1);

// A smooth test picture with some detail: rows of width x components bytes.
std::vector<uint8_t> TestPicture(uint32_t width, uint32_t height, int components);

/* ---- GIF -------------------------------------------------------------------------------- */

// LZW-compresses palette indices as a GIF image stream: the minimum code size byte, then
// sub-blocks of at most `subBlockSize` bytes and the terminator. `clearWhenFull` false
// keeps using a full code table instead of sending a clear code; `endCode` false leaves
// out the end code.
std::vector<uint8_t> GIFImageData(const std::vector<uint8_t>& indices, int minCodeSize,
                                  size_t subBlockSize = 255, bool clearWhenFull = true,
                                  bool endCode = true);
// Packs raw codes of the given sizes (least significant bit first) into sub-blocks.
std::vector<uint8_t> GIFCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes,
                              size_t subBlockSize = 255);

struct GIFImage {
  uint16_t left = 0;
  uint16_t top = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  bool interlaced = false;
  std::vector<uint8_t> localTable;  // RGB triples; 2, 4, ... 256 entries, or none
  std::vector<uint8_t> indices;     // in the file's row order (interlaced: pass order)
  int minCodeSize = 8;
  size_t subBlockSize = 255;
  int transparent = -1;       // a graphic control extension when >= 0
  std::vector<uint8_t> data;  // a ready image stream instead of `indices`
};

struct GIFFile {
  std::string version = "89a";
  uint16_t width = 0;
  uint16_t height = 0;
  std::vector<uint8_t> globalTable;  // RGB triples
  uint8_t background = 0;
  std::vector<std::vector<uint8_t>> extensionsBeforeImages;  // raw blocks starting "!"
  std::vector<GIFImage> images;
  bool trailer = true;
};
std::vector<uint8_t> BuildGIF(const GIFFile& gif);

// Rows of an image in the order an interlaced GIF stores them.
std::vector<uint8_t> InterlaceRows(const std::vector<uint8_t>& indices, uint32_t width,
                                   uint32_t height);

/* ---- Photoshop -------------------------------------------------------------------------- */

struct PSDFile {
  uint16_t version = 1;
  uint16_t channels = 3;
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t depth = 8;
  uint16_t mode = 3;
  std::vector<uint8_t> colorModeData;
  std::vector<uint8_t> resources;  // resource blocks
  std::vector<uint8_t> layers;     // layer and mask section contents
  uint16_t compression = 1;
  // Channel planes, each height rows of the stored row length.
  std::vector<std::vector<uint8_t>> planes;
};
// Writes the sections; with compression 1 the planes are PackBits-coded row by row.
std::vector<uint8_t> BuildPSD(const PSDFile& psd);
// PackBits coding of one row.
std::vector<uint8_t> PackBits(const std::vector<uint8_t>& row);
// A resolution resource block (id 1005) with integer resolutions and units.
std::vector<uint8_t> PSDResolutionResource(uint32_t x, uint16_t xUnit, uint32_t y, uint16_t yUnit);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_JPEG_GIF_PSD_FIXTURES_H
