// The round trip: any input decoded the way the application's image object decodes it
// (format by content, depth by the dimension calls), written with the library's writers
// (PNG as the preview cache writes it, TIFF as the output does) and read back by its
// readers. Whatever was decoded without an error must come back unchanged.
#ifndef PAGEWEAVER_FUZZ_ROUNDTRIP_H
#define PAGEWEAVER_FUZZ_ROUNDTRIP_H

#include <algorithm>
#include <iterator>

#include "entries.h"

namespace pxfuzz {

// An image at 1, 8 or 24 bits with its palette, owning its global block.
struct Decoded {
  Decoded() = default;
  ~Decoded() { GlobalFree(pixels); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;

  BYTE* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0;
  uint32_t colors = 0;
  RGBQUAD palette[256] = {};
};

inline void GreyRamp(RGBQUAD* palette) {
  for (int i = 0; i < 256; ++i) palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
}

// Decodes as the image object does: true when a whole image came back without an error.
inline bool DecodeLikeTheApplication(const uint8_t* data, size_t size, Decoded& out) {
  Source source(data, size);
  if (!source) return false;
  int format = PXGuessFileType(source.Rewound());
  uint32_t w = 0, h = 0, bits = 24, count = 0;
  int32_t sw = 0, sh = 0;
  int pngDepth = 0, pngType = 0, interlace = 0, mode = 0, pngCount = 0;
  BYTE* pixels = nullptr;
  switch (format) {
    case PX_FORMAT_BMP:
      if (PXGetBMPDimensions(source.Rewound(), &sw, &sh, &bits, nullptr) && bits <= 8) {
        bits = 8;
        if (!PXGetBMPPalette(source.Rewound(), &count, out.palette)) return false;
      } else {
        bits = 24;
      }
      pixels = PXReadBMP(source.Rewound(), &w, &h, bits, out.palette, 0);
      out.colors = bits == 8 ? count : 0;
      break;
    case PX_FORMAT_GIF: {
      int transparent;
      pixels = PXReadGIF(source.Rewound(), &w, &h, &transparent, out.palette, 0);
      if (!pixels) break;
      uint32_t gw, gh;
      if (!PXGetGIFDimensions(source.Rewound(), &gw, &gh, &count, &transparent, nullptr)) break;
      bits = 8;
      out.colors = 1u << std::min<uint32_t>(count, 8);
      break;
    }
    case PX_FORMAT_JPEG:
      if (PXGetJPEGDimensions(source.Rewound(), &w, &h, &bits, nullptr) && bits <= 8) {
        bits = 8;
        GreyRamp(out.palette);
        out.colors = 256;
      } else {
        bits = 24;
      }
      pixels = PXReadJPEG(source.Rewound(), &w, &h, int(bits), 0);
      break;
    case PX_FORMAT_PNG:
      PXGetPNGDimensions(source.Rewound(), &w, &h, &pngDepth, &pngType, &interlace, nullptr);
      bits = pngDepth == 1 ? 1 : (pngType == 3 && pngDepth <= 8) ? 8 : 24;
      pixels = static_cast<BYTE*>(PXReadPNG(source.Rewound(), &w, &h, int(bits), out.palette, 0));
      if (bits <= 8) {
        PXGetPNGPalette(source.Rewound(), &pngCount, out.palette);
        out.colors = uint32_t(std::clamp(pngCount, 0, 256));
      }
      break;
    case PX_FORMAT_PCX:
      bits = PXGetPCXDimensions(source.Rewound(), &w, &h, &bits) && bits <= 8 ? 8 : 24;
      pixels = PXReadPCX(source.Rewound(), &w, &h, bits, out.palette, 0);
      if (bits == 8) PXGetPCXPalette(source.Rewound(), &out.colors, out.palette);
      break;
    case PX_FORMAT_TIFF:
      if (!PXGetTIFFDimensions(source, 0, &w, &h, &bits, nullptr)) bits = 24;
      bits = bits == 1 ? 1 : bits <= 8 ? 8 : 24;
      pixels = PXReadTIFF(source, &w, &h, bits, out.palette, 0, 0);
      out.colors = bits == 1 ? 2 : bits == 8 ? 256 : 0;
      if (bits == 1) {
        out.palette[0] = RGBQUAD{255, 255, 255, 0};
        out.palette[1] = RGBQUAD{0, 0, 0, 0};
      }
      break;
    case PX_FORMAT_TGA:
      bits = PXGetTGADimensions(source.Rewound(), &w, &h, &bits) && bits <= 8 ? 8 : 24;
      pixels = PXReadTGA(source.Rewound(), &w, &h, bits, out.palette, 0);
      if (bits == 8) PXGetTGAPalette(source.Rewound(), &out.colors, out.palette);
      break;
    case PX_FORMAT_PSD:
      bits = 24;
      if (PXGetPSDDimensions(source.Rewound(), &w, &h, &mode, nullptr) &&
          (mode == PX_PSD_BITMAP || mode == PX_PSD_GRAYSCALE || mode == PX_PSD_INDEXED ||
           mode == PX_PSD_DUOTONE))
        bits = 8;
      pixels = PXReadPSD(source.Rewound(), &w, &h, int(bits), out.palette, 0);
      if (bits == 8) PXGetPSDPalette(source.Rewound(), &out.colors, out.palette);
      break;
    case PX_FORMAT_WBMP:
      bits = 8;
      pixels = PXReadWBMP(source.Rewound(), &w, &h, out.palette, 8, 0);
      out.colors = 2;
      break;
    case PX_FORMAT_WMF:
    case PX_FORMAT_EMF:
      if (const std::string path = ScratchFile::Write(data, size); !path.empty())
        pixels = PXRenderMetafileFile(path.c_str(), &w, &h, 100, 100, 0, 0);
      break;
    default:
      return false;
  }
  int error = PXGetLastError();
  out.pixels = pixels;
  out.width = w;
  out.height = h;
  out.bits = bits;
  out.colors = std::min<uint32_t>(out.colors, 256);
  return pixels && error == 0 && w && h;
}

inline size_t RowBytes(const Decoded& image) {
  return PXImageRowBytes(image.width, image.bits);
}

// Pixels equal row by row; 1-bit rows only up to the last pixel, the pad bits after it
// carry nothing.
inline bool SamePixels(const Decoded& a, const BYTE* b) {
  size_t rowBytes = RowBytes(a);
  uint32_t tailBits = a.bits == 1 ? a.width % 8 : 0;
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
inline Problem ThroughPNG(const Decoded& image) {
  std::string path = ScratchFile::Sibling(".png");
  if (path.empty()) return nullptr;
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return nullptr;
  int bitDepth = image.bits == 1 ? 1 : 8;
  int colorType = image.bits == 24 ? 2 : 3;
  int colors = image.bits == 24 ? 0 : image.bits == 1 ? 2 : 256;
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
  void* back = PXReadPNG(source, &w, &h, int(image.bits), palette, 0);
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
inline Problem ThroughTIFF(const Decoded& image, size_t inputSize) {
  std::string path = ScratchFile::Sibling(".tif");
  if (path.empty()) return nullptr;
  uint32_t compression = image.bits == 1
                             ? kBilevelCompressions[inputSize % std::size(kBilevelCompressions)]
                             : kColourCompressions[inputSize % std::size(kColourCompressions)];
  uint32_t flags = (inputSize / 8) % 2 ? PX_TIFF_WRITE_TILES | PX_TIFF_WRITE_PREDICTOR : 0;
  PXResolution resolution = {300, 300, 2};
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return nullptr;
  PXWriteTIFF(sink, image.pixels, image.width, image.height, image.bits, image.palette, compression,
              &resolution, flags);
  int written = PXGetLastError();
  PXCloseSink(sink);
  if (written != 0) return written == PX_ERR_NO_MEMORY ? nullptr : "TIFF writer refused an image";

  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) return "written TIFF cannot be opened";
  uint32_t w = 0, h = 0;
  RGBQUAD palette[256] = {};
  BYTE* back = PXReadTIFF(source, &w, &h, image.bits, palette, 0, 0);
  int error = PXGetLastError();
  PXCloseSource(source);
  Problem problem = nullptr;
  if (!back || error != 0) {
    problem = error == PX_ERR_NO_MEMORY ? nullptr : "written TIFF does not read back";
  } else if (w != image.width || h != image.height) {
    problem = "TIFF read back at another size";
  } else if (compression != PX_TIFF_COMPRESSION_JPEG) {
    if (!SamePixels(image, back)) problem = "TIFF read back with other pixels";
    if (image.bits == 8 && !SameColors(image.palette, palette, 256))
      problem = "TIFF read back with another palette";
  }
  GlobalFree(back);
  return problem;
}

inline Problem RoundTrip(const uint8_t* data, size_t size) {
  Decoded image;
  if (!DecodeLikeTheApplication(data, size, image)) return nullptr;
  Problem problem = ThroughPNG(image);
  return problem ? problem : ThroughTIFF(image, size);
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_ROUNDTRIP_H
