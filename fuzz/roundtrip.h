// The round trip: any input decoded as the application's image object decodes it,
// through its format table (format by content, depth by the dimension calls), written
// with the library's writers (PNG as the preview cache writes it, TIFF as the output
// does) and read back by its readers. Whatever was decoded without an error must come
// back unchanged.
#ifndef PAGEWEAVER_FUZZ_ROUNDTRIP_H
#define PAGEWEAVER_FUZZ_ROUNDTRIP_H

#include <iterator>
#include <memory>

#include "document/image_formats.h"
#include "document/pdf_page.h"
#include "document/pdf_writer.h"
#include "entries.h"
#include "pdf_check.h"

namespace pxfuzz {

// Decodes as the image object does, through the application's format table: true when a
// whole image came back without an error.
inline bool DecodeLikeTheApplication(const uint8_t* data, size_t size, DecodedImage& out) {
  Source source(data, size);
  if (!source) return false;
  // The input has no name: its content alone decides.
  ImageType type = CandidateType(source, std::string());
  const ImageTypeRow* row = FindImageType(type);
  if (!row) return false;
  type = RefineType(type, source, 0);
  std::string path;
  if (row->format->byPath && (path = ScratchFile::Write(data, size)).empty()) return false;
  return ReadImageType(source, path, type, 0, out) == 0 && out.width && out.height;
}

inline size_t RowBytes(const DecodedImage& image) {
  return PXImageRowBytes(image.width, image.bitsPerPixel);
}

// Pixels equal row by row; 1-bit rows only up to the last pixel, the pad bits after it
// carry nothing.
inline bool SamePixels(const DecodedImage& a, const BYTE* b) {
  size_t rowBytes = RowBytes(a);
  uint32_t tailBits = a.bitsPerPixel == 1 ? a.width % 8 : 0;
  BYTE tailMask = tailBits ? BYTE(0xFF << (8 - tailBits)) : BYTE(0xFF);
  for (uint32_t y = 0; y < a.height; ++y) {
    const BYTE* ra = a.pixels + y * rowBytes;
    const BYTE* rb = b + y * rowBytes;
    if (std::memcmp(ra, rb, rowBytes - 1) != 0) return false;
    if ((ra[rowBytes - 1] ^ rb[rowBytes - 1]) & tailMask) return false;
  }
  return true;
}

inline bool SameColors(const RGBQUAD* a, const RGBQUAD* b, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (a[i].rgbRed != b[i].rgbRed || a[i].rgbGreen != b[i].rgbGreen ||
        a[i].rgbBlue != b[i].rgbBlue)
      return false;
  return true;
}

// Writes the image as the preview cache does (interlaced PNG; 8 bits with a full
// palette, 1 bit with its two colours) and reads it back at the same depth.
inline Problem ThroughPNG(const DecodedImage& image) {
  std::string path = ScratchFile::Sibling(".png");
  if (path.empty()) return nullptr;
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return nullptr;
  int bitDepth = image.bitsPerPixel == 1 ? 1 : 8;
  int colorType = image.bitsPerPixel == 24 ? 2 : 3;
  int colors = image.bitsPerPixel == 24 ? 0 : image.bitsPerPixel == 1 ? 2 : 256;
  PXClearPNGTextChunks();
  PXWritePNG(sink, image.pixels, image.width, image.height, uint32_t(RowBytes(image)), bitDepth,
             colors, colors ? image.palette : nullptr, colorType, 0.345, nullptr,
             PX_PNG_WRITE_INTERLACE);
  int written = PXGetLastError();
  PXCloseSink(sink);
  if (written != 0) return written == PX_ERR_NO_MEMORY ? nullptr : "PNG writer refused an image";

  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) return "written PNG cannot be opened";
  uint32_t w = 0, h = 0;
  RGBQUAD palette[256] = {};
  void* back = PXReadPNG(source, &w, &h, int(image.bitsPerPixel), palette, 0);
  int error = PXGetLastError();
  PXCloseSource(source);
  Problem problem = nullptr;
  if (!back || error != 0) {
    problem = error == PX_ERR_NO_MEMORY ? nullptr : "written PNG does not read back";
  } else if (w != image.width || h != image.height) {
    problem = "PNG read back at another size";
  } else if (!SamePixels(image, static_cast<const BYTE*>(back))) {
    problem = "PNG read back with other pixels";
  } else if (colors && !SameColors(image.palette, palette, uint32_t(colors))) {
    problem = "PNG read back with another palette";
  }
  GlobalFree(back);
  return problem;
}

// The TIFF compressions that keep every pixel, per depth; JPEG is written too, and then
// only the size must come back.
constexpr uint32_t kBilevelCompressions[] = {
    PX_TIFF_COMPRESSION_NONE,     PX_TIFF_COMPRESSION_CCITT_HUFFMAN, PX_TIFF_COMPRESSION_CCITT_G3,
    PX_TIFF_COMPRESSION_CCITT_G4, PX_TIFF_COMPRESSION_LZW,           PX_TIFF_COMPRESSION_PACKBITS,
    PX_TIFF_COMPRESSION_DEFLATE};
constexpr uint32_t kColourCompressions[] = {
    PX_TIFF_COMPRESSION_NONE,    PX_TIFF_COMPRESSION_LZW,           PX_TIFF_COMPRESSION_PACKBITS,
    PX_TIFF_COMPRESSION_DEFLATE, PX_TIFF_COMPRESSION_ADOBE_DEFLATE, PX_TIFF_COMPRESSION_JPEG};

// Writes the image as one TIFF page, as the output does (flags 0) or, varied by the
// input, in tiles and with the predictor, and reads it back at the same depth.
inline Problem ThroughTIFF(const DecodedImage& image, size_t inputSize) {
  std::string path = ScratchFile::Sibling(".tif");
  if (path.empty()) return nullptr;
  uint32_t compression = image.bitsPerPixel == 1
                             ? kBilevelCompressions[inputSize % std::size(kBilevelCompressions)]
                             : kColourCompressions[inputSize % std::size(kColourCompressions)];
  uint32_t flags = (inputSize / 8) % 2 ? PX_TIFF_WRITE_TILES | PX_TIFF_WRITE_PREDICTOR : 0;
  PXResolution resolution = {300, 300, 2};
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return nullptr;
  PXWriteTIFF(sink, image.pixels, image.width, image.height, image.bitsPerPixel, image.palette,
              compression, &resolution, flags);
  int written = PXGetLastError();
  PXCloseSink(sink);
  if (written != 0) return written == PX_ERR_NO_MEMORY ? nullptr : "TIFF writer refused an image";

  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) return "written TIFF cannot be opened";
  uint32_t w = 0, h = 0;
  RGBQUAD palette[256] = {};
  BYTE* back = PXReadTIFF(source, &w, &h, image.bitsPerPixel, palette, 0, 0);
  int error = PXGetLastError();
  PXCloseSource(source);
  Problem problem = nullptr;
  if (!back || error != 0) {
    problem = error == PX_ERR_NO_MEMORY ? nullptr : "written TIFF does not read back";
  } else if (w != image.width || h != image.height) {
    problem = "TIFF read back at another size";
  } else if (compression != PX_TIFF_COMPRESSION_JPEG) {
    if (!SamePixels(image, back)) problem = "TIFF read back with other pixels";
    if (image.bitsPerPixel == 8 && !SameColors(image.palette, palette, 256))
      problem = "TIFF read back with another palette";
  }
  GlobalFree(back);
  return problem;
}

// Writes the image as one PDF page, as the output does (asked for JPEG or not, varied by
// the input), and reads the file back with libqpdf: its objects, the image's size, its
// stream as written and, for Flate pages of colours or indices, the pixels.
inline Problem ThroughPDF(const DecodedImage& image, size_t inputSize) {
  std::string path = ScratchFile::Sibling(".pdf");
  if (path.empty()) return nullptr;
  CPageImage page;
  const size_t bytes = RowBytes(image) * image.height;
  auto* copy = static_cast<uint8_t*>(GlobalAlloc(GPTR, bytes));
  if (!copy) return nullptr;
  std::memcpy(copy, image.pixels, bytes);
  page.Adopt(copy, image.width, image.height, image.bitsPerPixel, image.palette,
             image.bitsPerPixel == 24  ? 0
             : image.bitsPerPixel == 1 ? 2
                                       : 256);
  PageOutputSettings out;
  out.compression = inputSize % 3 == 0 ? kCompressionJPEG : kCompressionDeflate;
  out.resolutionX = out.resolutionY = 300;
  auto encoded = std::make_unique<PdfPage>();
  if (int error = EncodePdfImage(page, out, encoded.get()))
    return error == PX_ERR_NO_MEMORY || error == PX_ERR_PARAMETER ? nullptr
                                                                  : "PDF page refused an image";
  const PdfPage::Filter filter = encoded->filter;
  const PdfPage::Colors colors = encoded->colors;
  const bool predicted = encoded->predictor;
  const std::vector<uint8_t> written(encoded->data, encoded->data + encoded->size);
  PdfWriter writer("roundtrip");
  if (writer.AddPage(std::move(encoded)) || writer.Write(path)) return "PDF writer refused a page";
  const bool exact =
      filter == PdfPage::Filter::kFlate &&
      (colors == PdfPage::Colors::kIndexed || (colors == PdfPage::Colors::kRGB && predicted));
  return CheckPdfPage(path, image.width, image.height, written, exact ? image.pixels : nullptr,
                      bytes);
}

inline Problem RoundTrip(const uint8_t* data, size_t size) {
  DecodedImage image;
  if (!DecodeLikeTheApplication(data, size, image)) return nullptr;
  Problem problem = ThroughPNG(image);
  if (!problem) problem = ThroughTIFF(image, size);
  return problem ? problem : ThroughPDF(image, size);
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_ROUNDTRIP_H
