// Pixolith image processing: colour-depth reduction, resizing, rotation and flipping,
// and canvas drawing (fill, paste, lines).
//
// Every function works on caller-allocated packed image buffers (rows top-down; 24-bit
// pixels are three bytes, channel 0 first; 1-bit pixel x of a row is bit 7 - (x % 8) of
// byte x / 8). Each returns TRUE (or a non-zero result) on success; on failure it returns
// FALSE / 0 and records the thread's last error: PX_ERR_PARAMETER for missing pointers and
// bad arguments, PX_ERR_NO_MEMORY when a working buffer cannot be had, PX_ERR_ABORTED when
// the progress callback asked to stop (the output then holds the part done so far),
// PX_ERR_SIZE_OVERFLOW when a computed size does not fit.
#ifndef PIXOLITH_PX_PROCESSING_H
#define PIXOLITH_PX_PROCESSING_H

#include "pixolith/px_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// A point of a line (x to the right, y down).
typedef struct PXPoint {
  int32_t x;
  int32_t y;
} PXPoint;

/* ---- Flags ------------------------------------------------------------------------------ */

// 24-bit pixels (and packed colours) are in blue, green, red order: palettes are read and
// written with red and blue exchanged.
#define PX_FLAG_BGR 0x01
// Quantiser and mapper input has 4 bytes per pixel (the fourth is ignored).
#define PX_FLAG_4BYTE_INPUT 0x02
// Quantiser: the dynamically allocated palette builder. It gives the same palette as the
// default one here, so the flag is accepted and has no further effect.
#define PX_FLAG_DYNAMIC_OCTREE 0x100

// PXRotate1Bit90: write only the 1 bits (the destination is cleared beforehand).
#define PX_ROTATE_SET_ONLY 0x08

// PXPasteImage: source rows are taken bottom-up. The low byte selects the blend mode.
#define PX_PASTE_BOTTOM_UP 0x80000000u
enum PXBlendMode {
  PX_BLEND_NORMAL = 0,  // also 1
  PX_BLEND_DARKEN = 2,
  PX_BLEND_LIGHTEN = 3,
  PX_BLEND_MULTIPLY = 4,
  PX_BLEND_SCREEN = 5,
  PX_BLEND_DIFFERENCE = 6,
  PX_BLEND_ADD = 7,
  PX_BLEND_SUBTRACT = 8,
  PX_BLEND_AVERAGE = 9,
  PX_BLEND_OVERLAY = 11
};

// PXPasteImage1Bit: draw only one bit value; with PX_PASTE1_ONES the source's 1 bits,
// without it the source's 0 bits. PX_PASTE1_BOTTOM_UP takes the source rows bottom-up.
#define PX_PASTE1_SINGLE_VALUE 0x01
#define PX_PASTE1_ONES 0x02
#define PX_PASTE1_BOTTOM_UP 0x08

// PXDrawLine: an anti-aliased line (3 and 4 bytes per pixel only).
#define PX_LINE_ANTIALIAS 0x02

/* ---- Colour-depth reduction ------------------------------------------------------------- */

// Colours are packed as channel 0 | channel 1 << 8 | channel 2 << 16 (red in the low byte).
// TRUE when a equals b, or when the limit is not 0 and the sum of the squared differences
// of bytes 0, 1 and 2 is at most squaredLimit.
BOOL PXColorWithinDistance(uint32_t a, uint32_t b, uint32_t squaredLimit);

// Packs one value per input byte (the byte ANDed with 2^bits - 1) most significant first.
// With perRow each row is its own stream at row * outputStride, ending in its own partial
// byte; without it all rows form one continuous stream. Partial bytes are left-aligned with
// zero low bits. bitsPerPixel 1 ... 8.
BOOL PXPackBytesTo1Bit(const BYTE* bytes, uint32_t width, uint32_t rows, uint32_t inputStride,
                       BYTE* output, uint32_t bitsPerPixel, BOOL perRow, uint32_t outputStride);

// Reads width * rows values of bitsPerPixel (1 ... 8) bits as one continuous stream, most
// significant first, and stores each in one byte of output.
BOOL PXUnpack1BitToBytes(const BYTE* packed, uint32_t width, uint32_t rows, uint32_t bitsPerPixel,
                         BYTE* output);

// Makes a 1-bit image from an 8-bit (with palette) or 24-bit image: a pixel becomes 1
// (black in the output files) when its colour is pure black or r^2 + g^2 + b^2 <= 3 T^2.
// Each destination row is packed from bit 7 of its first byte; its pad bits become 0.
BOOL PXThresholdTo1Bit(const BYTE* source, uint32_t width, uint32_t height, uint32_t sourceStride,
                       uint32_t bitsPerPixel, const RGBQUAD* palette, BYTE* destination,
                       uint32_t destinationStride, uint32_t threshold);

// Makes a 1-bit image by error diffusion: each pixel's grey level (0.299 R + 0.587 G +
// 0.114 B) plus the error carried to it becomes 1 (black) below the middle grey, and the
// difference is spread Floyd-Steinberg fashion (7/16 ahead, 3/16, 5/16 and 1/16 on the next
// row), rows alternating direction. The same input always gives the same bits; pad bits 0.
BOOL PXDitherTo1Bit(const BYTE* source, uint32_t width, uint32_t height, uint32_t sourceStride,
                    uint32_t bitsPerPixel, const RGBQUAD* palette, BYTE* destination,
                    uint32_t destinationStride);

// Builds an octree palette of at most colorsWanted (1 ... 256) colours for a 24-bit image of
// at most 16,777,216 pixels and writes it into the 256 entries of palette (unused entries
// black, reserved bytes untouched). Returns the number of colours made, 0 on failure.
// Reports progress as (stage 0 ... 3, 4).
int PXBuildPalette(const BYTE* rgb, uint32_t width, uint32_t height, uint32_t inputStride,
                   int colorsWanted, RGBQUAD* palette, uint32_t flags);

// Reduces a 24-bit image to 8-bit indices: builds a palette of colorsWanted colours (made 1
// below 2 and 256 above 256) and maps the pixels to its first colorsWanted entries.
BOOL PXQuantizeRGBToPalette(const BYTE* rgb, uint32_t width, uint32_t height, uint32_t inputStride,
                            BYTE* indices, uint32_t outputStride, int colorsWanted,
                            RGBQUAD* palette, BOOL dither, int errorLimit, uint32_t flags);

// Maps a 24-bit image to the nearest of paletteCount (1 ... 256) palette entries, with
// Floyd-Steinberg error diffusion when dither is set (else a simpler two-way spread), each
// channel's error limited to +-errorLimit. Rows are scanned in alternating directions.
BOOL PXMapRGBToPalette(const BYTE* rgb, uint32_t width, uint32_t height, uint32_t inputStride,
                       BYTE* indices, uint32_t outputStride, uint32_t paletteCount,
                       const RGBQUAD* palette, BOOL dither, int errorLimit, uint32_t flags);

// Expands 8-bit indices to 24-bit pixels through the 256-entry palette.
BOOL PXPaletteToRGB(const BYTE* indices, uint32_t width, uint32_t height, uint32_t inputStride,
                    BYTE* rgb, uint32_t outputStride, uint32_t paletteCount, const RGBQUAD* palette,
                    uint32_t flags);

/* ---- Resizing --------------------------------------------------------------------------- */

// Bilinear resize of images with bytesPerPixel bytes per pixel, each byte a channel. The
// top-left pixels coincide; shrinking samples the source at regular steps.
BOOL PXResizeRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                 uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                 uint32_t destinationHeight, uint32_t destinationStride, uint32_t bytesPerPixel);

// Bilinear resize of an 8-bit indexed image: the palette colours of the four neighbours are
// interpolated and the nearest of the paletteCount (1 ... 256) entries is taken.
BOOL PXResizeIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                     uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                     uint32_t destinationHeight, uint32_t destinationStride, uint32_t paletteCount,
                     const RGBQUAD* palette);

// Bilinear weighting of 1-bit images: a destination bit is set when the weighted sum of its
// four neighbours exceeds 0.5. Bits beyond the destination width are left as they are.
BOOL PXResize1Bit(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                  uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                  uint32_t destinationHeight, uint32_t destinationStride);

// Nearest-neighbour resize: destination (i, j) takes source (i * sw / dw, j * sh / dh).
// Progress is reported once per channel.
BOOL PXResizeNearest(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                     uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                     uint32_t destinationHeight, uint32_t destinationStride,
                     uint32_t bytesPerPixel);

// Area-averaging shrink of a 24-bit image. With exact 0 every destination pixel is the mean
// of the whole source pixels of its cell; with exact 1 source pixels cut by a cell edge
// count with the part of them that lies inside. The destination may not be larger.
BOOL PXShrinkRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                 uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                 uint32_t destinationHeight, uint32_t destinationStride, BOOL exact);

// Bilinear enlargement of a 24-bit image with pixel centres aligned (each source pixel
// covers an equal share of the destination). The destination may not be smaller.
BOOL PXEnlargeRGB(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                  uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                  uint32_t destinationHeight, uint32_t destinationStride);

// Area-averaging shrink of an 8-bit indexed image: the mean colour of each cell's whole
// source pixels is matched against the paletteCount (1 ... 256) palette entries.
BOOL PXShrinkIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                     uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                     uint32_t destinationHeight, uint32_t destinationStride, uint32_t paletteCount,
                     const RGBQUAD* palette);

// Area resize of images with bytesPerPixel bytes per pixel, each byte a channel. Along an
// axis that shrinks, every destination pixel is the mean of the source area it covers,
// source pixels cut by its edges counting with the part of them inside, so no source pixel
// is skipped; along an axis that grows, the positions and weights of PXResizeRGB are used.
BOOL PXResizeArea(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                  uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                  uint32_t destinationHeight, uint32_t destinationStride, uint32_t bytesPerPixel);

// PXResizeArea for an indexed image of 1 or 8 bits per pixel (palette of 256 entries; a
// 1-bit image uses entries 0 and 1): the colours of the indices are averaged into a 24-bit
// image (outputChannels 3: red, green, blue) or a grey one (outputChannels 1, each colour
// taken as its grey level 0.299 R + 0.587 G + 0.114 B).
BOOL PXResizeAreaIndexed(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                         uint32_t sourceStride, uint32_t bitsPerPixel, const RGBQUAD* palette,
                         BYTE* destination, uint32_t destinationWidth, uint32_t destinationHeight,
                         uint32_t destinationStride, uint32_t outputChannels);

// Filters of PXResizeRGBFiltered.
enum PXResizeFilter {
  PX_FILTER_BOX = 0,
  PX_FILTER_TRIANGLE = 1,
  PX_FILTER_HAMMING = 2,
  PX_FILTER_GAUSSIAN = 3,
  PX_FILTER_BELL = 4,
  PX_FILTER_BSPLINE = 5,
  PX_FILTER_HERMITE = 6,
  PX_FILTER_BSPLINE2 = 7,
  PX_FILTER_LANCZOS3 = 8,
  PX_FILTER_MITCHELL = 9,
  PX_FILTER_SINC = 10,
  PX_FILTER_HERMITE2 = 11,
  PX_FILTER_HANNING = 12,
  PX_FILTER_CATMULL_ROM = 13
};

// Two-pass filtered resize (horizontal, then vertical) with one of the filters above. An
// unknown filter gives PX_ERR_PARAMETER; a destination side smaller than the filter's
// support rounded up gives PX_ERR_SIZE_OVERFLOW.
BOOL PXResizeRGBFiltered(const BYTE* source, uint32_t sourceWidth, uint32_t sourceHeight,
                         uint32_t sourceStride, BYTE* destination, uint32_t destinationWidth,
                         uint32_t destinationHeight, uint32_t destinationStride,
                         uint32_t bytesPerPixel, int filter);

/* ---- Rotation and flipping -------------------------------------------------------------- */

// Directions: 0 = 90 degrees clockwise, 1 = 180 degrees, 2 = 270 degrees clockwise.
#define PX_ROTATE_90 0
#define PX_ROTATE_180 1
#define PX_ROTATE_270 2

// Rotates a packed image (stride = width * bytesPerPixel) in place. For directions 0 and 2
// the buffer then holds a height x width image.
BOOL PXRotate90(BYTE* pixels, uint32_t width, uint32_t height, int direction,
                uint32_t bytesPerPixel);

// Rotates a 1-bit image into destination, allocated at the rotated size. The low two bits of
// directionWord give the direction; PX_ROTATE_SET_ONLY writes only the 1 bits. Direction 3
// returns FALSE and leaves the error code PX_OK.
BOOL PXRotate1Bit90(const BYTE* source, uint32_t width, uint32_t height, uint32_t sourceStride,
                    BYTE* destination, uint32_t destinationStride, uint32_t directionWord);

// Mirrors each row in place, keeping the byte order inside each pixel.
BOOL PXFlipHorizontal(BYTE* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                      uint32_t stride);

// Mirrors each 1-bit row in place; the pad bits of each row's last byte become 0.
BOOL PXFlipHorizontal1Bit(BYTE* pixels, uint32_t width, uint32_t height, uint32_t stride);

// Reverses the order of the rows in place.
BOOL PXFlipVertical(BYTE* pixels, uint32_t stride, uint32_t height);

/* ---- Canvas fill, paste and lines ------------------------------------------------------- */

// Colours: the low byte for 1-byte pixels, bytes 0, 1, 2 for 3-byte pixels and all four for
// 4-byte pixels (PX_FLAG_BGR exchanges bytes 0 and 2). Drawing is clipped to the image.

// Fills columns left ... right (inclusive) and rows top ... bottom - 1. bytesPerPixel 1, 3, 4.
BOOL PXFillRect(BYTE* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                uint32_t stride, const RECT* rect, uint32_t color, uint32_t flags);

// Fills columns left ... right - 1 and rows top ... bottom - 1 with the bit value (0 or 1).
BOOL PXFillRect1Bit(BYTE* pixels, uint32_t width, uint32_t height, uint32_t stride,
                    const RECT* rect, uint32_t bit);

// Pastes source with its top-left corner at (x, y). Opacity 1 copies, 0 leaves the
// destination, anything between blends; the low byte of flags picks a PXBlendMode.
BOOL PXPasteImage(BYTE* destination, uint32_t destinationWidth, uint32_t destinationHeight,
                  uint32_t bytesPerPixel, uint32_t destinationStride, const BYTE* source,
                  uint32_t sourceWidth, uint32_t sourceHeight, uint32_t sourceStride, int x, int y,
                  double opacity, uint32_t flags);

// Pastes a 1-bit source with its top-left corner at (x, y) (PX_PASTE1_* flags).
BOOL PXPasteImage1Bit(BYTE* destination, uint32_t destinationWidth, uint32_t destinationHeight,
                      uint32_t destinationStride, const BYTE* source, uint32_t sourceWidth,
                      uint32_t sourceHeight, uint32_t sourceStride, int x, int y, uint32_t flags);

// Draws a straight line including both end points (bytesPerPixel 1 ... 4; 2-byte pixels take
// the low 16 bits of the colour).
BOOL PXDrawLine(BYTE* pixels, uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                uint32_t stride, uint32_t color, PXPoint from, PXPoint to, uint32_t flags);

BOOL PXDrawLine1Bit(BYTE* pixels, uint32_t width, uint32_t height, uint32_t stride, uint32_t bit,
                    PXPoint from, PXPoint to, uint32_t flags);

#ifdef __cplusplus
}  // extern "C"

#include <vector>

// Nearest palette colour with a small cache of the colours matched last. Ties go to the
// lower index; the cache holds at most 255 (colour, index) pairs and is emptied when full.
class CPXColorMatch {
 public:
  CPXColorMatch();
  virtual ~CPXColorMatch();
  CPXColorMatch(const CPXColorMatch&) = delete;
  CPXColorMatch& operator=(const CPXColorMatch&) = delete;

  // Copies count (at most 256) entries when palette is set; always empties the cache.
  void SetPalette(const RGBQUAD* palette, int count);
  BYTE MatchColor(int c0, int c1, int c2);
  BYTE MatchColorKey(uint32_t packed) {
    return MatchColor(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
  }
  // The answer MatchColor gives (channels 0 ... 255), found without the cache: callers that
  // keep their own memo of answers use it.
  BYTE Nearest(int c0, int c1, int c2) const;

  int PaletteCount() const { return count_; }
  size_t CacheSize() const { return cache_.size(); }

 private:
  struct Pair {
    uint32_t key;
    uint32_t index;
  };
  RGBQUAD palette_[256];
  int count_ = 0;
  bool paletteSet_ = false;
  int32_t squares_[511];
  const int32_t* sq_;  // squares_ + 255, so sq_[d] = d * d for d = -255 ... 255
  std::vector<Pair> cache_;
  // The entries ordered by red (then index), and for each red value the first of them whose
  // red is not smaller: the search walks outwards from there and stops on each side once the
  // red difference alone is too large.
  uint8_t byRed_[256];
  uint16_t redStart_[256];
};
#endif

#endif  // PIXOLITH_PX_PROCESSING_H
