#include "image_formats.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "pixolith/pixolith.h"

namespace {

// Every call reads from the start of the file.
PXSource AtStart(PXSource source) {
  PXSeekSource(source, 0, PX_SEEK_SET);
  return source;
}

// The last error of a library call that failed, never 0.
int LastErrorOr(int fallback) {
  int e = PXGetLastError();
  return e ? e : fallback;
}

// The palette a reader fills: none for true colour.
RGBQUAD* PaletteFor(const ReadCall& call, DecodedImage& out) {
  return call.depth == 24 ? nullptr : out.palette;
}

// What a reader's call leaves: its code, read before any other call can change it, and
// the image's depth and palette size.
int Finish(DecodedImage& out, uint32_t depth, uint32_t colors) {
  int error = out.pixels ? PXGetLastError() : LastErrorOr(PX_ERR_UNEXPECTED);
  out.bitsPerPixel = depth;
  out.colors = colors;
  return error;
}

void GreyRamp(RGBQUAD* palette) {
  for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
}

// The palette image turned into RGB.
int ExpandToRGB(DecodedImage& image) {
  size_t pixels = size_t(image.width) * image.height;
  auto* rgb = static_cast<uint8_t*>(GlobalAlloc(GPTR, pixels * 3));
  if (!rgb) return PX_ERR_NO_MEMORY;
  for (size_t i = 0; i < pixels; ++i) {
    const RGBQUAD& q = image.palette[image.pixels[i]];
    rgb[3 * i] = q.rgbRed;
    rgb[3 * i + 1] = q.rgbGreen;
    rgb[3 * i + 2] = q.rgbBlue;
  }
  GlobalFree(image.pixels);
  image.pixels = rgb;
  image.bitsPerPixel = 24;
  image.colors = 0;
  return 0;
}

/* ---- Transparency on paper ------------------------------------------------------------ */

// What a colour of this alpha shows on white paper.
inline uint8_t OnWhite(uint32_t value, uint32_t alpha) {
  return uint8_t((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Palette entries whose reserved byte holds an alpha below 255 (PNG's tRNS) become the
// colour they show on white; the reserved bytes are then 0 as in every other palette.
void PaletteOnPaper(RGBQUAD* palette) {
  // A palette the reader left without alpha bytes has nothing to composite.
  if (std::none_of(palette, palette + 256, [](const RGBQUAD& e) { return e.rgbReserved == 255; }))
    return;
  for (int i = 0; i < 256; ++i) {
    RGBQUAD& e = palette[i];
    if (e.rgbReserved != 255) {
      e.rgbRed = OnWhite(e.rgbRed, e.rgbReserved);
      e.rgbGreen = OnWhite(e.rgbGreen, e.rgbReserved);
      e.rgbBlue = OnWhite(e.rgbBlue, e.rgbReserved);
    }
    e.rgbReserved = 0;
  }
}

// A 32-bit image read with its alpha becomes the 24-bit image it shows on white paper;
// premultiplied colours (already scaled by their alpha) only get the paper's share added.
// Many writers leave the fourth byte of BMP and TGA pixels at 0 without meaning
// transparency: a straight-alpha image whose alpha is 0 everywhere counts as opaque.
int RGBAOnPaper(DecodedImage& image, bool premultiplied = false) {
  const size_t pixels = size_t(image.width) * image.height;
  bool anyAlpha = premultiplied;
  for (size_t i = 0; i < pixels && !anyAlpha; ++i) anyAlpha = image.pixels[4 * i + 3] != 0;
  auto* rgb = static_cast<uint8_t*>(GlobalAlloc(GPTR, pixels * 3));
  if (!rgb) return PX_ERR_NO_MEMORY;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = image.pixels + 4 * i;
    const uint32_t alpha = anyAlpha ? p[3] : 255;
    for (int c = 0; c < 3; ++c)
      rgb[3 * i + c] = alpha == 255    ? p[c]
                       : premultiplied ? uint8_t(std::min<uint32_t>(255, p[c] + 255 - alpha))
                                       : OnWhite(p[c], alpha);
  }
  GlobalFree(image.pixels);
  image.pixels = rgb;
  image.bitsPerPixel = 24;
  return 0;
}

// The depth to ask a true-colour reader for: 32, with the alpha, when the page goes on
// paper and the file may hold transparency.
uint32_t DepthOnPaper(const ReadCall& call, bool mayHoldAlpha) {
  return call.depth == 24 && call.onPaper && mayHoldAlpha ? 32 : call.depth;
}

// A reader's 32-bit result put on paper; others as they came.
int FinishOnPaper(DecodedImage& out, uint32_t readDepth, int error) {
  if (readDepth != 32 || !out.pixels) return error;
  if (int e = RGBAOnPaper(out)) return e;
  return error;
}

/* ---- Reading at a depth ----------------------------------------------------------------- */

// Only 32-bit files carry alpha.
int ReadBMP(const ReadCall& call, DecodedImage& out) {
  int32_t width = 0, height = 0;
  uint32_t bits = 0;
  const bool alpha =
      PXGetBMPDimensions(AtStart(call.source), &width, &height, &bits, nullptr) && bits == 32;
  const uint32_t depth = DepthOnPaper(call, alpha);
  out.pixels =
      PXReadBMP(AtStart(call.source), &out.width, &out.height, depth, PaletteFor(call, out), 0);
  return FinishOnPaper(out, depth, Finish(out, call.depth, call.depth == 24 ? 0 : 256));
}

// The first image, on its own palette; at 24 bits through that palette.
int ReadGIF(const ReadCall& call, DecodedImage& out) {
  int transparent = -1;
  out.pixels =
      PXReadGIF(AtStart(call.source), &out.width, &out.height, &transparent, out.palette, 0);
  int error = Finish(out, 8, 256);
  if (!out.pixels) return error;
  // The palette size from the screen's bits per pixel; the image's own size stays.
  uint32_t screenWidth, screenHeight, bits = 8;
  if (!PXGetGIFDimensions(AtStart(call.source), &screenWidth, &screenHeight, &bits, &transparent,
                          nullptr))
    bits = 8;
  out.colors = 1u << std::min<uint32_t>(bits, 8);
  // The transparent index shows the paper.
  if (call.onPaper && transparent >= 0 && transparent < 256)
    out.palette[transparent] = {255, 255, 255, 0};
  if (call.depth == 24) {
    if (int e = ExpandToRGB(out)) return e;
  }
  return error;
}

// Grey files at 8 bits come over a grey ramp.
int ReadJPEG(const ReadCall& call, DecodedImage& out) {
  out.pixels = PXReadJPEG(AtStart(call.source), &out.width, &out.height, int(call.depth), 0);
  int error = Finish(out, call.depth, 0);
  out.orientation = PXGetLastJPEGOrientation();
  if (out.pixels && call.depth == 8) {
    GreyRamp(out.palette);
    out.colors = 256;
  }
  return error;
}

int ReadPCX(const ReadCall& call, DecodedImage& out) {
  out.pixels = PXReadPCX(AtStart(call.source), &out.width, &out.height, call.depth,
                         PaletteFor(call, out), 0);
  return Finish(out, call.depth, call.depth == 24 ? 0 : 256);
}

int ReadPNG(const ReadCall& call, DecodedImage& out) {
  // The file's palette and its size; the reader fills the palette again where it
  // indexes the pixels.
  int count = 0;
  if (call.depth != 24) PXGetPNGPalette(AtStart(call.source), &count, out.palette);
  if (call.onPaper) PXSetPNGDefaultBackground(255, 255, 255, 255);
  out.pixels = static_cast<uint8_t*>(PXReadPNG(AtStart(call.source), &out.width, &out.height,
                                               int(call.depth), PaletteFor(call, out), 0));
  uint32_t colors = call.depth == 1 ? 2 : call.depth == 8 ? uint32_t(std::min(count, 256)) : 0;
  // Deeper pages are composited by the reader; indexed ones carry tRNS in their palette.
  if (call.onPaper && call.depth != 24) PaletteOnPaper(out.palette);
  return Finish(out, call.depth, colors);
}

// A greyscale file's second channel, its transparency, put on white paper: the page
// stays 8-bit grey. False (and nothing changed) when the file is opaque or cannot be read
// so, which leaves it to the plain read.
bool GreyAlphaOnPaper(const ReadCall& call, DecodedImage& out) {
  uint32_t width = 0, height = 0;
  auto* rgba =
      static_cast<uint8_t*>(PXReadPSD(AtStart(call.source), &width, &height, 32, nullptr, 0));
  if (!rgba || PXGetLastError() != 0) {
    if (rgba) GlobalFree(rgba);
    return false;
  }
  const size_t pixels = size_t(width) * height;
  bool transparent = false;
  for (size_t i = 0; i < pixels && !transparent; ++i) transparent = rgba[4 * i + 3] != 255;
  auto* grey = transparent ? static_cast<uint8_t*>(GlobalAlloc(GPTR, pixels)) : nullptr;
  if (!grey) {
    GlobalFree(rgba);
    return false;
  }
  for (size_t i = 0; i < pixels; ++i) grey[i] = OnWhite(rgba[4 * i], rgba[4 * i + 3]);
  GlobalFree(rgba);
  out.pixels = grey;
  out.width = width;
  out.height = height;
  GreyRamp(out.palette);
  Finish(out, 8, 256);
  return true;
}

// RGB and greyscale files read at 32 bits give their first extra channel, the transparency.
int ReadPSD(const ReadCall& call, DecodedImage& out) {
  uint32_t width, height;
  int mode = -1;
  if (!PXGetPSDDimensions(AtStart(call.source), &width, &height, &mode, nullptr)) mode = -1;
  if (call.onPaper && call.depth == 8 && mode == PX_PSD_GRAYSCALE && GreyAlphaOnPaper(call, out))
    return 0;
  const uint32_t depth = DepthOnPaper(call, mode == PX_PSD_RGB || mode == PX_PSD_GRAYSCALE);
  out.pixels = PXReadPSD(AtStart(call.source), &out.width, &out.height, int(depth),
                         PaletteFor(call, out), 0);
  return FinishOnPaper(out, depth, Finish(out, call.depth, call.depth == 24 ? 0 : 256));
}

// At 32 bits the reader gives the alpha of 32-bit and grey-and-alpha files, 255 for
// every other pixel.
int ReadTGA(const ReadCall& call, DecodedImage& out) {
  const uint32_t depth = DepthOnPaper(call, true);
  out.pixels =
      PXReadTGA(AtStart(call.source), &out.width, &out.height, depth, PaletteFor(call, out), 0);
  return FinishOnPaper(out, depth, Finish(out, call.depth, call.depth == 24 ? 0 : 256));
}

// Whether the page's first extra sample is an alpha (associated or not): ExtraSamples 1 or 2.
bool TIFFPageHasAlpha(PXSource source, int frame) {
  VARIANT v;
  if (!PXGetTIFFTag(AtStart(source), uint32_t(frame), 338, &v)) return false;
  const bool alpha = v.vt == (VT_ARRAY | VT_UI2) && v.parray && v.parray->count > 0 &&
                     (static_cast<const uint16_t*>(v.parray->data)[0] == 1 ||
                      static_cast<const uint16_t*>(v.parray->data)[0] == 2);
  VariantClear(&v);
  return alpha;
}

int ReadTIFF(const ReadCall& call, DecodedImage& out) {
  const uint32_t depth = DepthOnPaper(call, TIFFPageHasAlpha(call.source, call.frame));
  out.pixels = PXReadTIFF(AtStart(call.source), &out.width, &out.height, depth,
                          PaletteFor(call, out), uint32_t(call.frame), 0);
  const int error = Finish(out, call.depth, call.depth == 1 ? 2 : call.depth == 8 ? 256 : 0);
  if (depth != 32 || !out.pixels) return error;
  // The reader's pixels come premultiplied: the codec library multiplies unassociated
  // alpha in.
  if (int e = RGBAOnPaper(out, true)) return e;
  return error;
}

int ReadWBMP(const ReadCall& call, DecodedImage& out) {
  out.pixels =
      PXReadWBMP(AtStart(call.source), &out.width, &out.height, out.palette, call.depth, 0);
  return Finish(out, call.depth, 2);
}

// Alpha lands on white at 24 bits.
int ReadWebP(const ReadCall& call, DecodedImage& out) {
  out.pixels = PXReadWebP(AtStart(call.source), &out.width, &out.height, 24, 0);
  int error = Finish(out, 24, 0);
  out.orientation = PXGetLastWebPOrientation();
  return error;
}

// The reader has turned and mirrored the image as its boxes say; alpha lands on white.
int ReadHEIF(const ReadCall& call, DecodedImage& out) {
  out.pixels = PXReadHEIF(AtStart(call.source), &out.width, &out.height, int(call.depth),
                          PaletteFor(call, out), 0);
  return Finish(out, call.depth, call.depth == 24 ? 0 : 256);
}

// The picture frame's extents 100 x 100 are what a page of the application asks for. A
// drawing whose records are partly bad still gives its picture.
int RenderMetafile(const ReadCall& call, DecodedImage& out) {
  out.pixels = PXRenderMetafileFile(call.path.c_str(), &out.width, &out.height, 100, 100,
                                    kMetafileBackground, 0);
  out.bitsPerPixel = 24;
  out.colors = 0;
  return out.pixels ? 0 : LastErrorOr(PX_ERR_BAD_METAFILE);
}

/* ---- Refinement by the dimension calls -------------------------------------------------- */

Refinement Failed(ImageType first) {
  return {first, 0, LastErrorOr(PX_ERR_UNEXPECTED)};
}

Refinement RefineBMP(PXSource source, int) {
  int32_t width = 0, height = 0;
  uint32_t bits = 0;
  if (!PXGetBMPDimensions(AtStart(source), &width, &height, &bits, nullptr)) return Failed(BMP_24);
  return {bits <= 8 ? BMP_PAL : BMP_24, bits, 0};
}

Refinement RefineJPEG(PXSource source, int) {
  uint32_t width, height, bits = 0;
  if (!PXGetJPEGDimensions(AtStart(source), &width, &height, &bits, nullptr)) return Failed(JPG_24);
  return {bits <= 8 ? JPG_8 : JPG_24, bits, 0};
}

Refinement RefinePCX(PXSource source, int) {
  uint32_t width, height, bits = 0;
  if (!PXGetPCXDimensions(AtStart(source), &width, &height, &bits)) return Failed(PCX_24);
  return {bits <= 8 ? PCX_PAL : PCX_24, bits, 0};
}

// One-bit files of any colour type stay one bit; palette files of up to 8 bits stay
// indexed; grey, colour and alpha files become RGB.
Refinement RefinePNG(PXSource source, int) {
  uint32_t width, height;
  int depth = 0, colorType = 0, interlace = 0;
  if (!PXGetPNGDimensions(AtStart(source), &width, &height, &depth, &colorType, &interlace,
                          nullptr))
    return Failed(PNG_24);
  const int samples = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
  ImageType type = depth == 1 ? PNG_1 : depth <= 8 && colorType == 3 ? PNG_PAL : PNG_24;
  return {type, uint32_t(depth * samples), 0};
}

// Bitmap, greyscale, indexed and duotone files have one channel of levels or indices.
Refinement RefinePSD(PXSource source, int) {
  uint32_t width, height;
  int mode = -1;
  if (!PXGetPSDDimensions(AtStart(source), &width, &height, &mode, nullptr)) return Failed(PSD_24);
  bool indexed = mode == PX_PSD_BITMAP || mode == PX_PSD_GRAYSCALE || mode == PX_PSD_INDEXED ||
                 mode == PX_PSD_DUOTONE;
  return {indexed ? PSD_8 : PSD_24, 0, 0};
}

Refinement RefineTGA(PXSource source, int) {
  uint32_t width, height, bits = 0;
  if (!PXGetTGADimensions(AtStart(source), &width, &height, &bits)) return Failed(TGA_24);
  return {bits <= 8 ? TGA_PAL : TGA_24, bits, 0};
}

ImageType TIFFTypeOf(uint32_t bits) {
  return bits == 1 ? TIF_1 : bits >= 2 && bits <= 8 ? TIF_PAL : TIF_24;
}

Refinement RefineTIFF(PXSource source, int frame) {
  uint32_t width, height, bits = 0;
  if (!PXGetTIFFDimensions(AtStart(source), uint32_t(frame), &width, &height, &bits, nullptr))
    return Failed(TIF_24);
  return {TIFFTypeOf(bits), bits, 0};
}

// Formats of one type, without a dimension call.
template <ImageType kType, uint32_t kBits>
Refinement Fixed(PXSource, int) {
  return {kType, kBits, 0};
}

/* ---- Resolution and compression --------------------------------------------------------- */

// The BMP reader reports pixels per centimetre with its unit 1.
PXResolution BMPResolution(PXSource source) {
  int32_t width, height;
  uint32_t bits;
  PXResolution res = {};
  if (!PXGetBMPDimensions(AtStart(source), &width, &height, &bits, &res)) res = {};
  return {res.x, res.y, res.unit == 1 ? 3u : 1u};
}

// JFIF density unit 1 is per inch, 2 per centimetre.
PXResolution JPEGResolution(PXSource source) {
  uint32_t width, height, bits;
  PXResolution res = {};
  if (!PXGetJPEGDimensions(AtStart(source), &width, &height, &bits, &res)) res = {};
  return {res.x, res.y, res.unit == 1 ? 2u : res.unit == 2 ? 3u : 1u};
}

// pHYs unit 1 is per metre.
PXResolution PNGResolution(PXSource source) {
  uint32_t width, height;
  int depth, colorType, interlace;
  PXResolution res = {};
  if (!PXGetPNGDimensions(AtStart(source), &width, &height, &depth, &colorType, &interlace, &res))
    res = {};
  if (res.unit == 1) return {res.x / 100, res.y / 100, 3};
  return {res.x, res.y, 1};
}

PXResolution RecordedTIFFResolution(const PXResolution& res) {
  return {res.x, res.y, res.unit == 2 || res.unit == 3 ? res.unit : 1u};
}

// The file's first page, whichever page was read.
PXResolution TIFFResolution(PXSource source) {
  uint32_t width, height, bits;
  PXResolution res = {};
  if (!PXGetTIFFDimensions(AtStart(source), 0, &width, &height, &bits, &res)) res = {};
  return RecordedTIFFResolution(res);
}

// Formats that store no resolution are taken at 72 dots, without a unit.
PXResolution NoStoredResolution(PXSource) {
  return {72, 72, 1};
}

// Metafiles are drawn at the resolution the page asks for.
PXResolution NoResolution(PXSource) {
  return {0, 0, 0};
}

uint32_t TIFFPageCount(PXSource source) {
  // Most TIFFs hold one page, and the callers take a count of 0 as they take 1: the links
  // alone settle that case without libtiff reading a directory (its set-up is most of
  // the cost of adding a fax page).
  if (PXCountTIFFDirectories(AtStart(source)) == 1) return 1;
  return PXGetTIFFPageCount(AtStart(source));
}

// The compressions the output can write again; any other counts as none.
int KeptTIFFCompression(uint32_t stored) {
  switch (stored) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 32773:
    case 32946:
      return int(stored);
    default:
      return 1;
  }
}

int TIFFCompression(PXSource source) {
  VARIANT v;
  VariantInit(&v);
  int compression = 1;
  if (PXGetTIFFTag(AtStart(source), 0, 259, &v) && v.vt == VT_UI2)
    compression = KeptTIFFCompression(v.uiVal);
  VariantClear(&v);
  return compression;
}

// JPEG files are JPEG-compressed pages: the output keeps them so.
int JPEGCompression(PXSource) {
  return 7;  // TIFF's JPEG compression
}

/* ---- Stored pages the output takes over ------------------------------------------------- */

BOOL TIFFStoredPage(PXSource source, int frame, PXStoredPage* stored) {
  return PXGetTIFFStoredPage(AtStart(source), uint32_t(frame), stored);
}

PXTIFFEncodedPage* CopyTIFFPage(PXSource source, int frame, const PXResolution& resolution,
                                PXStoredPageFilter accept, void* user) {
  return PXCopyTIFFPageIf(AtStart(source), uint32_t(frame), &resolution, 0, accept, user);
}

// The survey reads the page's own tags; the image object records the first page's
// resolution and compression, which the first page's survey tells (a later page's
// survey finds the first page's directory without reading the pages between).
bool TIFFStoredInput(PXSource source, const PXStoredPage& stored, int frame,
                     StoredPageInput* input) {
  PXStoredPage first = stored;
  if (frame != 0 && (!PXGetTIFFStoredPage(AtStart(source), 0, &first) || !first.copyable))
    return false;
  input->type = TIFFTypeOf(stored.bitsPerPixel);
  input->resolution = RecordedTIFFResolution(first.resolution);
  input->compression = KeptTIFFCompression(first.compression);
  return true;
}

BOOL JPEGStoredPage(PXSource source, int, PXStoredPage* stored) {
  return PXGetJPEGStoredPage(AtStart(source), stored);
}

PXTIFFEncodedPage* CopyJPEGPage(PXSource source, int, const PXResolution& resolution,
                                PXStoredPageFilter accept, void* user) {
  return PXCopyJPEGPageIf(AtStart(source), &resolution, 0, accept, user);
}

/* ---- Palettes the image object settles -------------------------------------------------- */

// BMP and TGA files say how many of their palette entries are in use.
void CountBMPColors(PXSource source, DecodedImage& image) {
  RGBQUAD ignored[256];
  if (!PXGetBMPPalette(AtStart(source), &image.colors, ignored)) image.colors = 256;
}

void CountTGAColors(PXSource source, DecodedImage& image) {
  RGBQUAD ignored[256];
  if (!PXGetTGAPalette(AtStart(source), &image.colors, ignored)) image.colors = 256;
}

void AtLeastOneColor(PXSource, DecodedImage& image) {
  image.colors = std::max(image.colors, 1u);
}

// The TIFF reader gives bilevel pages with a set bit black.
void WhiteAndBlack(PXSource, DecodedImage& image) {
  image.palette[0] = {255, 255, 255, 0};
  image.palette[1] = {0, 0, 0, 0};
}

/* ---- The table -------------------------------------------------------------------------- */

constexpr std::string_view kBMPNames[] = {"bmp"};
constexpr std::string_view kJPEGNames[] = {"jpg", "jpeg"};
constexpr std::string_view kPSDNames[] = {"psd"};
constexpr std::string_view kGIFNames[] = {"gif"};
constexpr std::string_view kPCXNames[] = {"pcx"};
constexpr std::string_view kPNGNames[] = {"png"};
constexpr std::string_view kTGANames[] = {"tga"};
constexpr std::string_view kTIFFNames[] = {"tif", "tiff"};
constexpr std::string_view kWMFNames[] = {"wmf"};
constexpr std::string_view kEMFNames[] = {"emf"};
constexpr std::string_view kWBMPNames[] = {"wbmp", "wbm"};
constexpr std::string_view kWebPNames[] = {"webp"};
constexpr std::string_view kHEIFNames[] = {"heic", "heif", "avif"};

constexpr unsigned kAllDepths = kDepth1 | kDepth8 | kDepth24;

constexpr ImageFormat kBMP = {.id = PX_FORMAT_BMP,
                              .name = "BMP",
                              .extensions = kBMPNames,
                              .depths = kAllDepths,
                              .read = ReadBMP,
                              .refine = RefineBMP,
                              .resolution = BMPResolution};

constexpr ImageFormat kJPEG = {.id = PX_FORMAT_JPEG,
                               .name = "JPEG",
                               .extensions = kJPEGNames,
                               .depths = kDepth8 | kDepth24,
                               .read = ReadJPEG,
                               .refine = RefineJPEG,
                               .resolution = JPEGResolution,
                               .compression = JPEGCompression,
                               .storedPage = JPEGStoredPage,
                               .copyPage = CopyJPEGPage};

// GIF and Photoshop files are known by their content alone: a name does not make a
// file of either.
constexpr ImageFormat kPSD = {.id = PX_FORMAT_PSD,
                              .name = "PSD",
                              .extensions = kPSDNames,
                              .knownByName = false,
                              .depths = kDepth8 | kDepth24,
                              .read = ReadPSD,
                              .refine = RefinePSD,
                              .resolution = NoStoredResolution};

constexpr ImageFormat kGIF = {.id = PX_FORMAT_GIF,
                              .name = "GIF",
                              .extensions = kGIFNames,
                              .knownByName = false,
                              .depths = kDepth8 | kDepth24,
                              .read = ReadGIF,
                              .refine = Fixed<GIF, 8>,
                              .resolution = NoStoredResolution};

constexpr ImageFormat kPCX = {.id = PX_FORMAT_PCX,
                              .name = "PCX",
                              .extensions = kPCXNames,
                              .depths = kAllDepths,
                              .read = ReadPCX,
                              .refine = RefinePCX,
                              .resolution = NoStoredResolution};

constexpr ImageFormat kPNG = {.id = PX_FORMAT_PNG,
                              .name = "PNG",
                              .extensions = kPNGNames,
                              .depths = kAllDepths,
                              .read = ReadPNG,
                              .refine = RefinePNG,
                              .resolution = PNGResolution};

constexpr ImageFormat kTGA = {.id = PX_FORMAT_TGA,
                              .name = "TGA",
                              .extensions = kTGANames,
                              .depths = kDepth8 | kDepth24,
                              .read = ReadTGA,
                              .refine = RefineTGA,
                              .resolution = NoStoredResolution};

constexpr ImageFormat kTIFF = {.id = PX_FORMAT_TIFF,
                               .name = "TIFF",
                               .extensions = kTIFFNames,
                               .depths = kAllDepths,
                               .read = ReadTIFF,
                               .refine = RefineTIFF,
                               .resolution = TIFFResolution,
                               .pageCount = TIFFPageCount,
                               .compression = TIFFCompression,
                               .storedPage = TIFFStoredPage,
                               .copyPage = CopyTIFFPage,
                               .storedInput = TIFFStoredInput};

constexpr ImageFormat kWMF = {.id = PX_FORMAT_WMF,
                              .name = "WMF",
                              .extensions = kWMFNames,
                              .byPath = true,
                              .depths = kDepth24,
                              .read = RenderMetafile,
                              .refine = Fixed<WMF, 24>,
                              .resolution = NoResolution};

constexpr ImageFormat kEMF = {.id = PX_FORMAT_EMF,
                              .name = "EMF",
                              .extensions = kEMFNames,
                              .byPath = true,
                              .depths = kDepth24,
                              .read = RenderMetafile,
                              .refine = Fixed<EMF, 24>,
                              .resolution = NoResolution};

// A type 0 Wireless Bitmap is one bit per pixel.
constexpr ImageFormat kWBMP = {.id = PX_FORMAT_WBMP,
                               .name = "WBMP",
                               .extensions = kWBMPNames,
                               .depths = kDepth1 | kDepth8,
                               .read = ReadWBMP,
                               .refine = Fixed<WBMP, 1>,
                               .resolution = NoStoredResolution};

// Phone and web images; an animation or an image sequence gives its first picture.
constexpr ImageFormat kWebP = {.id = PX_FORMAT_WEBP,
                               .name = "WebP",
                               .extensions = kWebPNames,
                               .depths = kDepth24,
                               .read = ReadWebP,
                               .refine = Fixed<WEBP, 24>,
                               .resolution = NoStoredResolution};

constexpr ImageFormat kHEIF = {.id = PX_FORMAT_HEIF,
                               .name = "HEIF",
                               .extensions = kHEIFNames,
                               .depths = kDepth8 | kDepth24,
                               .read = ReadHEIF,
                               .refine = Fixed<HEIF, 24>,
                               .resolution = NoStoredResolution};

// In the order of the add-images dialog's formats.
// clang-format off
constexpr ImageTypeRow kRows[] = {
    // type     format  bits  palette         squares pixels
    {BMP_24,  &kBMP,  24, nullptr,         false},
    {BMP_PAL, &kBMP,   8, CountBMPColors,  false},
    {JPG_24,  &kJPEG, 24, nullptr,         false},
    {JPG_8,   &kJPEG,  8, nullptr,         false},
    {PSD_24,  &kPSD,  24, nullptr,         false},
    {PSD_8,   &kPSD,   8, nullptr,         false},
    {GIF,     &kGIF,   8, nullptr,         false},
    {PCX_24,  &kPCX,  24, nullptr,         false},
    {PCX_PAL, &kPCX,   8, nullptr,         false},
    {PNG_24,  &kPNG,  24, nullptr,         false},
    {PNG_PAL, &kPNG,   8, AtLeastOneColor, false},
    {PNG_1,   &kPNG,   1, nullptr,         false},
    {TGA_24,  &kTGA,  24, nullptr,         false},
    {TGA_PAL, &kTGA,   8, CountTGAColors,  false},
    {TIF_24,  &kTIFF, 24, nullptr,         true},
    {TIF_PAL, &kTIFF,  8, nullptr,         true},
    {TIF_1,   &kTIFF,  1, WhiteAndBlack,   false},
    {WMF,     &kWMF,  24, nullptr,         false},
    {EMF,     &kEMF,  24, nullptr,         false},
    {WBMP,    &kWBMP,  8, nullptr,         false},
    {WEBP,    &kWebP, 24, nullptr,         false},
    {HEIF,    &kHEIF, 24, nullptr,         false},
};
// clang-format on

// Calls f(format, its first type) for each format, in the order of the table.
template <class F>
void ForEachFormat(F f) {
  const ImageFormat* previous = nullptr;
  for (const ImageTypeRow& row : kRows) {
    if (row.format != previous) f(*row.format, row.type);
    previous = row.format;
  }
}

}  // namespace

std::span<const ImageTypeRow> ImageTypeRows() {
  return kRows;
}

const ImageTypeRow* FindImageType(ImageType type) {
  for (const ImageTypeRow& row : kRows)
    if (row.type == type) return &row;
  return nullptr;
}

const ImageFormat* FindImageFormat(int formatId) {
  for (const ImageTypeRow& row : kRows)
    if (row.format->id == formatId) return row.format;
  return nullptr;
}

ImageType FirstType(const ImageFormat& format) {
  for (const ImageTypeRow& row : kRows)
    if (row.format == &format) return row.type;
  return UNKNOWN;
}

const std::vector<std::vector<std::string>>& FormatExtensions() {
  static const std::vector<std::vector<std::string>> extensions = [] {
    std::vector<std::vector<std::string>> all;
    ForEachFormat([&](const ImageFormat& format, ImageType) {
      all.emplace_back(format.extensions.begin(), format.extensions.end());
    });
    return all;
  }();
  return extensions;
}

ImageType TypeByFormat(int formatId) {
  const ImageFormat* format = FindImageFormat(formatId);
  return format ? FirstType(*format) : UNKNOWN;
}

ImageType TypeByExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return UNKNOWN;
  const std::string ext = path.substr(dot + 1);
  ImageType type = UNKNOWN;
  ForEachFormat([&](const ImageFormat& format, ImageType first) {
    if (!format.knownByName) return;
    for (std::string_view name : format.extensions)
      if (name.size() == ext.size() && strncasecmp(ext.c_str(), name.data(), name.size()) == 0)
        type = first;
  });
  return type;
}

namespace {

// Files up to this size are read whole by sources that ask for it: one read instead of a
// seek and a read for every field. Larger ones (multi-page files among them, of which
// only one page may be wanted) are read as they are needed.
constexpr off_t kWholeFileLimit = 4 << 20;

// The whole file into `bytes`, when it is no larger than the limit: its size, or 0 when
// it is larger, empty, or cannot be read.
size_t ReadSmallFile(const std::string& path, std::unique_ptr<uint8_t[]>* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t size = 0;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      st.st_size <= kWholeFileLimit) {
    size = size_t(st.st_size);
    *bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    size_t done = 0;
    while (done < size) {
      const ssize_t n = read(fd, bytes->get() + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += size_t(n);
    }
    // A file that changed size while it was read is read as a stream.
    if (done != size) size = 0;
  }
  close(fd);
  if (!size) bytes->reset();
  return size;
}

}  // namespace

ScopedSource::ScopedSource(const std::string& path, Reading reading) {
  if (reading == Reading::kWholeFile) {
    if (const size_t size = ReadSmallFile(path, &bytes_))
      source_ = PXOpenMemorySource(bytes_.get(), uint32_t(size));
  }
  if (!source_) {
    bytes_.reset();
    source_ = PXOpenFileSource(path.c_str());
  }
}

ImageType CandidateType(PXSource source, const std::string& path) {
  ImageType candidate = TypeByFormat(PXGuessFileType(AtStart(source)));
  return candidate == UNKNOWN ? TypeByExtension(path) : candidate;
}

ImageType RefineType(ImageType candidate, PXSource source, int frame) {
  const ImageTypeRow* row = FindImageType(candidate);
  return row ? row->format->refine(source, frame).type : candidate;
}

bool ReadsAtDepth(const ImageFormat& format, int depth) {
  unsigned bit = depth == 1 ? kDepth1 : depth == 8 ? kDepth8 : depth == 24 ? kDepth24 : 0;
  return (format.depths & bit) != 0;
}

uint32_t OwnDepth(const ImageFormat& format, const Refinement& refinement) {
  if (refinement.bits == 1 && ReadsAtDepth(format, 1)) return 1;
  const ImageTypeRow* row = FindImageType(refinement.type);
  return row ? row->bits : 24;
}

int ReadImageType(PXSource source, const std::string& path, ImageType type, int frame,
                  DecodedImage& out) {
  const ImageTypeRow* row = FindImageType(type);
  if (!row) return PX_ERR_PARAMETER;
  int error = row->format->read({source, path, frame, row->bits, true}, out);
  // A reader that stopped early hands back the rows it made together with its error; a
  // page must be complete, so that is a failure here.
  if (error) {
    GlobalFree(out.Release());
    return error;
  }
  if (row->settlePalette) row->settlePalette(source, out);
  return 0;
}
