// Builds enhanced and Windows metafiles record by record for the tests.
#ifndef PAGEWEAVER_TESTS_METAFILE_BUILDER_H
#define PAGEWEAVER_TESTS_METAFILE_BUILDER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pxtest {

// An enhanced metafile whose reference device has 10 pixels per millimetre and whose
// frame covers width x height of those pixels, so that rendering it at that size in
// pixels maps device coordinates one to one.
class EmfBuilder {
 public:
  EmfBuilder(int width, int height);
  // A record of 32-bit fields.
  EmfBuilder& Add(uint32_t type, std::initializer_list<int64_t> fields);
  // A record with a raw body (padded to 4 bytes).
  EmfBuilder& AddRaw(uint32_t type, const std::vector<uint8_t>& body);
  // Adds the end-of-file record and fixes the header's totals.
  std::vector<uint8_t> Finish(uint16_t handles = 16);

 private:
  std::vector<uint8_t> data_;
  uint32_t records_ = 1;
};

// A Windows metafile, optionally placeable (bounding box and units per inch).
class WmfBuilder {
 public:
  WmfBuilder& Add(uint16_t function, std::initializer_list<int32_t> words);
  WmfBuilder& AddWords(uint16_t function, const std::vector<int32_t>& words);
  std::vector<uint8_t> Finish(bool placeable, int16_t left = 0, int16_t top = 0, int16_t right = 0,
                              int16_t bottom = 0, uint16_t unitsPerInch = 1440);

 private:
  std::vector<uint8_t> records_;
};

// Little-endian bytes of 32-bit fields, for raw record bodies.
std::vector<uint8_t> Fields(std::initializer_list<int64_t> fields);

// A device-independent bitmap as records carry it: the BITMAPINFO (header, masks,
// colours) and the bits.
struct Dib {
  std::vector<uint8_t> info;
  std::vector<uint8_t> bits;
  int width = 0;
  int height = 0;
};
// A bottom-up 24-bit DIB of 0xRRGGBB pixels, given top row first.
Dib Dib24(int width, int height, const std::vector<uint32_t>& rgb);
// A bottom-up 1-bit DIB: the colours of 0 and 1 (0xRRGGBB), pixels top row first.
Dib Dib1(int width, int height, uint32_t color0, uint32_t color1, const std::vector<int>& pixels);

// The body of EMR_STRETCHDIBITS drawing the whole DIB into the rectangle.
std::vector<uint8_t> StretchDIBitsBody(int x, int y, int w, int h, const Dib& dib,
                                       uint32_t usage = 0, uint32_t rop = 0x00CC0020);
// The body of a block transfer (EMR_BITBLT and the records that extend its layout): the
// destination, the raster operation, source corner (0, 0) with an identity transform,
// the DIB; `extra` fields follow the common layout (source size, blend function...).
// With `mask` (EMR_MASKBLT) the extra fields are the mask's corner (0, 0) and DIB.
std::vector<uint8_t> BlitBody(int x, int y, int w, int h, uint32_t rop, const Dib& dib,
                              std::initializer_list<int64_t> extra = {}, const Dib* mask = nullptr);

// A metafile rendered by PXRenderMetafileFile from a file written for it.
struct Rendering {
  int error = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3, or a packed DIB with the DIB flag
  // 0xRRGGBB of a pixel of the image buffer.
  uint32_t At(uint32_t x, uint32_t y) const;
  bool Uniform(uint32_t rgb) const;
};
Rendering RenderMetafileFile(const std::string& path, int horizontal, int vertical, uint32_t flags,
                             uint32_t background = 0xFFFFFF);
// Writes the bytes to a file in a fresh folder and renders it at width x height pixels.
Rendering RenderMetafileBytes(const std::vector<uint8_t>& bytes, int width, int height,
                              uint32_t flags = 1, uint32_t background = 0xFFFFFF);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_METAFILE_BUILDER_H
