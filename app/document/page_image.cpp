#include "page_image.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "pixolith/pixolith.h"

namespace {

using Source = ScopedSource;

// The last error of a library call that returned nothing, never 0.
int LastErrorOr(int fallback) {
  int e = PXGetLastError();
  return e ? e : fallback;
}

int Luma(const RGBQUAD& q) {
  return 299 * q.rgbRed + 587 * q.rgbGreen + 114 * q.rgbBlue;
}

}  // namespace

CPageImage::CPageImage() = default;

CPageImage::~CPageImage() {
  GlobalFree(pixels_);
}

CPageImage::CPageImage(CPageImage&& other) noexcept {
  *this = std::move(other);
}

CPageImage& CPageImage::operator=(CPageImage&& other) noexcept {
  if (this == &other) return *this;
  GlobalFree(pixels_);
  pixels_ = other.pixels_;
  other.pixels_ = nullptr;
  width_ = other.width_;
  height_ = other.height_;
  bitsPerPixel_ = other.bitsPerPixel_;
  colorCount_ = other.colorCount_;
  std::memcpy(palette_, other.palette_, sizeof palette_);
  type_ = other.type_;
  sourceName_ = std::move(other.sourceName_);
  frameIndex_ = other.frameIndex_;
  resolutionX_ = other.resolutionX_;
  resolutionY_ = other.resolutionY_;
  resolutionUnit_ = other.resolutionUnit_;
  saveThreshold_ = other.saveThreshold_;
  saveResolutionX_ = other.saveResolutionX_;
  saveResolutionY_ = other.saveResolutionY_;
  saveResolutionUnit_ = other.saveResolutionUnit_;
  sourceCompression_ = other.sourceCompression_;
  turnedFrom_ = other.turnedFrom_;
  other.width_ = other.height_ = other.bitsPerPixel_ = other.colorCount_ = 0;
  return *this;
}

void CPageImage::Clear() {
  GlobalFree(pixels_);
  pixels_ = nullptr;
  width_ = height_ = bitsPerPixel_ = colorCount_ = 0;
  std::memset(palette_, 0, sizeof palette_);
  type_ = UNKNOWN;
  sourceName_.clear();
  frameIndex_ = 0;
  resolutionX_ = resolutionY_ = resolutionUnit_ = 0;
  sourceCompression_ = 1;
  turnedFrom_ = 1;
}

void CPageImage::Adopt(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                       const RGBQUAD* palette, uint32_t colorCount) {
  if (pixels_ != pixels) GlobalFree(pixels_);
  pixels_ = pixels;
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  colorCount_ = colorCount;
  if (palette && palette != palette_) std::memcpy(palette_, palette, sizeof palette_);
}

void CPageImage::TakePixels(CPageImage& other) {
  Adopt(other.pixels_, other.width_, other.height_, other.bitsPerPixel_, other.palette_,
        other.colorCount_);
  other.pixels_ = nullptr;
}

void CPageImage::SetSaveResolution(int x, int y, int unit) {
  saveResolutionX_ = x;
  saveResolutionY_ = y;
  saveResolutionUnit_ = unit;
}

int CPageImage::CopyTo(CPageImage* out) const {
  if (!pixels_) return PX_ERR_PARAMETER;
  size_t bytes = RowBytes() * height_;
  auto* copy = static_cast<uint8_t*>(GlobalAlloc(GPTR, bytes));
  if (!copy) return PX_ERR_NO_MEMORY;
  std::memcpy(copy, pixels_, bytes);
  GiveDescription(out, copy, width_, height_);
  return 0;
}

void CPageImage::GiveDescription(CPageImage* out, uint8_t* pixels, uint32_t width,
                                 uint32_t height) const {
  out->Clear();
  out->Adopt(pixels, width, height, bitsPerPixel_, palette_, colorCount_);
  out->type_ = type_;
  out->sourceName_ = sourceName_;
  out->frameIndex_ = frameIndex_;
  out->resolutionX_ = resolutionX_;
  out->resolutionY_ = resolutionY_;
  out->resolutionUnit_ = resolutionUnit_;
  out->sourceCompression_ = sourceCompression_;
  out->turnedFrom_ = turnedFrom_;
  out->saveResolutionX_ = saveResolutionX_;
  out->saveResolutionY_ = saveResolutionY_;
  out->saveResolutionUnit_ = saveResolutionUnit_;
}

/* ---- Loading ---------------------------------------------------------------------------- */

ImageType CPageImage::DetectType(const std::string& path, int frame) {
  Source source(path);
  if (!source) return UNKNOWN;
  ImageType candidate = CandidateType(source.get(), path);
  return candidate == UNKNOWN ? UNKNOWN : RefineType(candidate, source.get(), frame);
}

const std::vector<std::vector<std::string>>& CPageImage::FileExtensions() {
  return FormatExtensions();
}

bool CPageImage::HasTiffContent(const std::string& path) {
  Source source(path);
  return source && PXGuessFileType(source.AtStart()) == PX_FORMAT_TIFF;
}

int CPageImage::PageCount(const std::string& path) {
  Source source(path);
  return PageCount(source.get(), path);
}

int CPageImage::PageCount(PXSource source, const std::string& path) {
  if (!source) return 0;
  const ImageTypeRow* row = FindImageType(CandidateType(source, path));
  if (!row || !row->format->pageCount) return 0;
  return int(row->format->pageCount(source));
}

int CPageImage::Load(const std::string& path, ImageType type, int frame) {
  Clear();
  if (path.empty()) return PX_ERR_FILE_OPEN;
  // One open of the file serves detection, reading and the resolution.
  Source source(path);
  if (type == UNKNOWN) {
    if (source) {
      type = CandidateType(source.get(), path);
      if (type != UNKNOWN) type = RefineType(type, source.get(), frame);
    }
    if (type == UNKNOWN) return PX_ERR_PARAMETER;
  }
  const ImageTypeRow* row = FindImageType(type);
  // Metafiles are rendered from their name; they have one page.
  const bool byPath = row && row->format->byPath;
  if (!source && !byPath) return LastErrorOr(PX_ERR_FILE_OPEN);
  DecodedImage image;
  if (int error = ReadImageType(byPath ? nullptr : source.get(), path, type, frame, image))
    return error;
  Adopt(image.Release(), image.width, image.height, image.bitsPerPixel, image.palette,
        image.colors);
  if (bitsPerPixel_ == 1) NormaliseOneBit();
  sourceName_ = path;
  type_ = type;
  frameIndex_ = byPath ? 0 : frame;
  if (int error = TakeSourceFacts(byPath ? nullptr : source.get(), *row)) {
    Clear();
    return error;
  }
  if (TurnUpright() && image.orientation != PX_ORIENTATION_TOP_LEFT) {
    if (int error = MakeUpright(image.orientation)) {
      Clear();
      return error;
    }
  }
  return 0;
}

namespace {
std::atomic<bool> g_turnUpright{true};
}  // namespace

void CPageImage::SetTurnUpright(bool on) {
  g_turnUpright = on;
}

bool CPageImage::TurnUpright() {
  return g_turnUpright;
}

int CPageImage::MakeUpright(int orientation) {
  // A quarter turn clockwise, then a mirror, gives each of the eight.
  struct Steps {
    int degrees;
    int flip;  // 1 left to right, 2 top to bottom
  };
  static constexpr Steps kSteps[9] = {{0, 0},  {0, 0},  {0, 1},  {180, 0}, {0, 2},
                                      {90, 1}, {90, 0}, {90, 2}, {270, 0}};
  if (orientation < 1 || orientation > 8) return 0;
  const Steps& steps = kSteps[orientation];
  if (int error = Rotate(steps.degrees)) return error;
  if (int error = Flip(steps.flip)) return error;
  // Dots per unit go with the axes they measure.
  if (steps.degrees == 90 || steps.degrees == 270) std::swap(resolutionX_, resolutionY_);
  turnedFrom_ = orientation;
  return 0;
}

int CPageImage::TakeSourceFacts(PXSource source, const ImageTypeRow& row) {
  PXResolution res = row.format->resolution(source);
  resolutionX_ = int(res.x);
  resolutionY_ = int(res.y);
  resolutionUnit_ = int(res.unit);
  if (row.format->compression) sourceCompression_ = row.format->compression(source);

  // Pages scanned with clearly non-square pixels (fax modes) are stretched so that they
  // look right on screen and on paper.
  if (!row.squaresPixels || resolutionX_ == resolutionY_ || resolutionX_ == 0) return 0;
  double r = double(resolutionY_) / double(resolutionX_);
  if (std::fabs(1.0 - r) <= 0.25) return 0;
  double stretched = double(height_) / r;
  if (stretched < 1 || stretched >= 1e6) return 0;
  return Resize(width_, uint32_t(stretched), kResizeDefault);
}

void CPageImage::NormaliseOneBit() {
  if (bitsPerPixel_ != 1 || Luma(palette_[0]) >= Luma(palette_[1])) return;
  std::swap(palette_[0], palette_[1]);
  size_t bytes = RowBytes() * height_;
  for (size_t i = 0; i < bytes; ++i) pixels_[i] = uint8_t(~pixels_[i]);
}

/* ---- Geometry and depth ----------------------------------------------------------------- */

void CPageImage::FitSize(uint32_t boxWidth, uint32_t boxHeight, uint32_t* width,
                         uint32_t* height) const {
  if (!pixels_ || !boxWidth || !boxHeight) {
    *width = *height = 0;
    return;
  }
  double sx = double(width_) / boxWidth, sy = double(height_) / boxHeight;
  double w = boxWidth, h = boxHeight;
  if (sx > sy)
    h = height_ / sx;
  else if (sx < sy)
    w = width_ / sy;
  *width = std::max<uint32_t>(uint32_t(w), 1);
  *height = std::max<uint32_t>(uint32_t(h), 1);
}

namespace {

// A new zero-filled block for an image of the given size and depth, or null.
uint8_t* NewBlock(uint32_t width, uint32_t height, uint32_t bits) {
  size_t rowBytes = PXImageRowBytes(width, bits), total;
  if (!width || !height || __builtin_mul_overflow(rowBytes, size_t(height), &total) ||
      total > PX_MAX_GLOBAL_BLOCK)
    return nullptr;
  return static_cast<uint8_t*>(GlobalAlloc(GPTR, total));
}

}  // namespace

int CPageImage::Resize(uint32_t width, uint32_t height, int method) {
  if (!pixels_ || !width || !height) return PX_ERR_PARAMETER;
  if (width == width_ && height == height_) return 0;
  CPageImage resized;
  if (int error = ScaledCopy(width, height, method, &resized)) return error;
  TakePixels(resized);
  return 0;
}

bool CPageImage::HasGreyPalette() const {
  if (bitsPerPixel_ == 24) return false;
  const uint32_t used = bitsPerPixel_ == 1 ? 2 : std::clamp<uint32_t>(colorCount_, 1, 256);
  for (uint32_t i = 0; i < used; ++i)
    if (palette_[i].rgbRed != palette_[i].rgbGreen || palette_[i].rgbRed != palette_[i].rgbBlue)
      return false;
  return true;
}

int CPageImage::AreaCopy(uint32_t width, uint32_t height, CPageImage* out) const {
  // The means of palette and 1-bit pixels are colours their palette need not hold: they
  // come out as grey levels (grey palettes) or 24-bit colour.
  const uint32_t bits = bitsPerPixel_ == 24 || !HasGreyPalette() ? 24 : 8;
  uint8_t* block = NewBlock(width, height, bits);
  if (!block) return PX_ERR_NO_MEMORY;
  const uint32_t inStride = uint32_t(RowBytes()),
                 outStride = uint32_t(PXImageRowBytes(width, bits));
  BOOL ok =
      bitsPerPixel_ == 24
          ? PXResizeArea(pixels_, width_, height_, inStride, block, width, height, outStride, 3)
          : PXResizeAreaIndexed(pixels_, width_, height_, inStride, bitsPerPixel_, palette_, block,
                                width, height, outStride, bits / 8);
  if (!ok) {
    GlobalFree(block);
    return LastErrorOr(PX_ERR_UNEXPECTED);
  }
  GiveDescription(out, block, width, height);
  out->bitsPerPixel_ = bits;
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) out->palette_[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    out->colorCount_ = 256;
  } else {
    std::memset(out->palette_, 0, sizeof out->palette_);
    out->colorCount_ = 0;
  }
  return 0;
}

int CPageImage::ScaledCopy(uint32_t width, uint32_t height, int method, CPageImage* out) const {
  if (!pixels_ || !width || !height || !out) return PX_ERR_PARAMETER;
  // Shrinking averages the area each pixel covers, so thin strokes stay; enlarging keeps
  // the bilinear mapping.
  if (method == kResizeDefault && (width < width_ || height < height_))
    return AreaCopy(width, height, out);
  uint8_t* block = NewBlock(width, height, bitsPerPixel_);
  if (!block) return PX_ERR_NO_MEMORY;
  size_t inStride = RowBytes(), outStride = PXImageRowBytes(width, bitsPerPixel_);
  BOOL ok;
  if (bitsPerPixel_ == 1)
    ok = PXResize1Bit(pixels_, width_, height_, uint32_t(inStride), block, width, height,
                      uint32_t(outStride));
  else if (method == kResizeNearest)
    ok = PXResizeNearest(pixels_, width_, height_, uint32_t(inStride), block, width, height,
                         uint32_t(outStride), bitsPerPixel_ / 8);
  else if (bitsPerPixel_ == 8)
    ok = PXResizeIndexed(pixels_, width_, height_, uint32_t(inStride), block, width, height,
                         uint32_t(outStride), std::clamp<uint32_t>(colorCount_, 1, 256), palette_);
  else
    ok = PXResizeRGB(pixels_, width_, height_, uint32_t(inStride), block, width, height,
                     uint32_t(outStride), bitsPerPixel_ / 8);
  if (!ok) {
    GlobalFree(block);
    return LastErrorOr(PX_ERR_UNEXPECTED);
  }
  GiveDescription(out, block, width, height);
  return 0;
}

void CPageImage::KeepThinStrokes(double factor) {
  if (!pixels_ || bitsPerPixel_ != 8 || !HasGreyPalette() || !(factor > 0)) return;
  const uint32_t w = width_, h = height_;
  const size_t stride = RowBytes();
  std::vector<uint8_t> grey(size_t(w) * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      grey[size_t(y) * w + x] = palette_[pixels_[y * stride + x]].rgbRed;
  // Neighbours beyond the edges repeat the edge pixels.
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* rows[3] = {&grey[size_t(y ? y - 1 : 0) * w], &grey[size_t(y) * w],
                              &grey[size_t(y + 1 < h ? y + 1 : y) * w]};
    uint8_t* out = pixels_ + y * stride;
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t left = x ? x - 1 : 0, right = x + 1 < w ? x + 1 : x;
      int sum = 0;
      for (const uint8_t* r : rows) sum += r[left] + r[x] + r[right];
      const int centre = rows[1][x];
      // Nine times the difference from the mean, in whole numbers: flat areas give 0.
      const double moved = centre + factor * double(9 * centre - sum) / 9.0;
      out[x] = uint8_t(std::clamp<long>(std::lrint(moved), 0, 255));
    }
  }
  for (int i = 0; i < 256; ++i) palette_[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  colorCount_ = 256;
}

int CPageImage::To1Bit(int threshold, bool dither) {
  if (!pixels_ || threshold < 0 || threshold > 255) return PX_ERR_PARAMETER;
  static const RGBQUAD kWhite = {255, 255, 255, 0}, kBlack = {0, 0, 0, 0};
  if (bitsPerPixel_ == 1) {
    // Already two colours; black and white ones are kept as they are, any other pair
    // goes through the threshold like every other image.
    bool blackAndWhite =
        std::memcmp(&palette_[0], &kWhite, 3) == 0 && std::memcmp(&palette_[1], &kBlack, 3) == 0;
    if (blackAndWhite) return 0;
    CPageImage expanded;
    if (int error = CopyTo(&expanded)) return error;
    if (int error = expanded.To8Bit()) return error;
    if (int error = expanded.To1Bit(threshold, dither)) return error;
    TakePixels(expanded);
    return 0;
  }
  uint8_t* out = NewBlock(width_, height_, 1);
  if (!out) return PX_ERR_NO_MEMORY;
  const uint32_t inStride = uint32_t(RowBytes()), outStride = uint32_t(PXImageRowBytes(width_, 1));
  BOOL ok = dither ? PXDitherTo1Bit(pixels_, width_, height_, inStride, bitsPerPixel_, palette_,
                                    out, outStride)
                   : PXThresholdTo1Bit(pixels_, width_, height_, inStride, bitsPerPixel_, palette_,
                                       out, outStride, uint32_t(threshold));
  if (!ok) {
    GlobalFree(out);
    return LastErrorOr(PX_ERR_UNEXPECTED);
  }
  // A set bit is black: entry 1 must say so, or the page shows inverted wherever its
  // palette is used (previews, thumbnails, conversions back to colour).
  RGBQUAD palette[256] = {};
  palette[0] = kWhite;
  palette[1] = kBlack;
  Adopt(out, width_, height_, 1, palette, 2);
  return 0;
}

int CPageImage::To8Bit() {
  if (!pixels_) return PX_ERR_PARAMETER;
  if (bitsPerPixel_ == 8) return 0;
  uint8_t* out = NewBlock(width_, height_, 8);
  if (!out) return PX_ERR_NO_MEMORY;
  RGBQUAD palette[256] = {};
  std::memcpy(palette, palette_, sizeof palette);
  BOOL ok = TRUE;
  if (bitsPerPixel_ == 24) {
    ok = PXQuantizeRGBToPalette(pixels_, width_, height_, uint32_t(RowBytes()), out, width_, 256,
                                palette, TRUE, 20, 0);
  } else if (bitsPerPixel_ == 1) {
    size_t stride = RowBytes();
    for (uint32_t y = 0; y < height_ && ok; ++y)
      ok = PXUnpack1BitToBytes(pixels_ + y * stride, width_, 1, 1, out + size_t(y) * width_);
  } else {
    ok = FALSE;
  }
  if (!ok) {
    GlobalFree(out);
    return LastErrorOr(PX_ERR_PARAMETER);
  }
  Adopt(out, width_, height_, 8, palette, 256);
  return 0;
}

int CPageImage::To24Bit() {
  if (!pixels_) return PX_ERR_PARAMETER;
  if (bitsPerPixel_ == 24) return 0;
  CPageImage eight;
  const CPageImage* from = this;
  if (bitsPerPixel_ == 1) {
    if (int error = CopyTo(&eight)) return error;
    if (int error = eight.To8Bit()) return error;
    from = &eight;
  } else if (bitsPerPixel_ != 8) {
    return PX_ERR_PARAMETER;
  }
  uint8_t* out = NewBlock(width_, height_, 24);
  if (!out) return PX_ERR_NO_MEMORY;
  if (!PXPaletteToRGB(from->pixels_, width_, height_, width_, out, width_ * 3,
                      std::clamp<uint32_t>(from->colorCount_, 1, 256), from->palette_, 0)) {
    GlobalFree(out);
    return LastErrorOr(PX_ERR_UNEXPECTED);
  }
  Adopt(out, width_, height_, 24, nullptr, 0);
  return 0;
}

int CPageImage::Rotate(int degrees) {
  if (degrees == 0) return 0;
  if (!pixels_) return PX_ERR_PARAMETER;
  int direction = degrees == 90 ? 0 : degrees == 180 ? 1 : degrees == 270 ? 2 : -1;
  if (direction < 0) return PX_ERR_PARAMETER;
  bool swap = direction != 1;
  if (bitsPerPixel_ == 1) {
    uint32_t w = swap ? height_ : width_, h = swap ? width_ : height_;
    uint8_t* out = NewBlock(w, h, 1);
    if (!out) return PX_ERR_NO_MEMORY;
    if (!PXRotate1Bit90(pixels_, width_, height_, uint32_t(RowBytes()), out,
                        uint32_t(PXImageRowBytes(w, 1)), uint32_t(direction))) {
      GlobalFree(out);
      return LastErrorOr(PX_ERR_UNEXPECTED);
    }
    Adopt(out, w, h, 1, nullptr, colorCount_);
    return 0;
  }
  if (!PXRotate90(pixels_, width_, height_, direction, bitsPerPixel_ / 8))
    return LastErrorOr(PX_ERR_UNEXPECTED);
  if (swap) std::swap(width_, height_);
  return 0;
}

int CPageImage::Flip(int code) {
  if (code == 0) return 0;
  if (!pixels_ || (code != 1 && code != 2)) return PX_ERR_PARAMETER;
  BOOL ok;
  if (code == 2)
    ok = PXFlipVertical(pixels_, uint32_t(RowBytes()), height_);
  else if (bitsPerPixel_ == 1)
    ok = PXFlipHorizontal1Bit(pixels_, width_, height_, uint32_t(RowBytes()));
  else
    ok = PXFlipHorizontal(pixels_, width_, height_, bitsPerPixel_ / 8, uint32_t(RowBytes()));
  return ok ? 0 : LastErrorOr(PX_ERR_UNEXPECTED);
}

int CPageImage::Thumbnail(uint32_t boxWidth, uint32_t boxHeight, COLORREF background, bool frame,
                          COLORREF frameColor) {
  if (!pixels_ || !boxWidth || !boxHeight) return PX_ERR_PARAMETER;
  uint32_t w, h;
  FitSize(boxWidth, boxHeight, &w, &h);
  if (frame) {
    if (w < 2 || h <= 1)
      frame = false;
    else
      w -= 2, h -= 2;
  }
  w = std::max<uint32_t>(w, 1);
  h = std::max<uint32_t>(h, 1);
  CPageImage fitted;
  if (w == width_ && h == height_) {
    if (int error = CopyTo(&fitted)) return error;
  } else if (int error = ScaledCopy(w, h, kResizeDefault, &fitted)) {
    return error;
  }
  // A reduced palette or 1-bit image comes back as grey levels or colour; in true colour
  // the background and frame keep their exact colours.
  if (fitted.bitsPerPixel_ != bitsPerPixel_) {
    if (int error = fitted.To24Bit()) return error;
  }

  const uint32_t bits = fitted.bitsPerPixel_;
  uint8_t* box = NewBlock(boxWidth, boxHeight, bits);
  if (!box) return PX_ERR_NO_MEMORY;
  RGBQUAD palette[256];
  std::memcpy(palette, fitted.palette_, sizeof palette);
  uint32_t colors = fitted.colorCount_;
  uint32_t backgroundValue, frameValue;
  if (bits == 24) {
    backgroundValue = background & 0xFFFFFF;
    frameValue = frameColor & 0xFFFFFF;
  } else {
    auto present = [&](COLORREF c) {
      for (uint32_t i = 0; i < colors; ++i)
        if (palette[i].rgbRed == GetRValue(c) && palette[i].rgbGreen == GetGValue(c) &&
            palette[i].rgbBlue == GetBValue(c))
          return true;
      return false;
    };
    if (bits == 8) {
      for (COLORREF c : {background, frameColor}) {
        if (colors < 256 && !present(c))
          palette[colors++] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
      }
    }
    CPXColorMatch match;
    match.SetPalette(palette, bits == 1 ? 2 : int(std::max<uint32_t>(colors, 1)));
    backgroundValue =
        match.MatchColor(GetRValue(background), GetGValue(background), GetBValue(background));
    frameValue =
        match.MatchColor(GetRValue(frameColor), GetGValue(frameColor), GetBValue(frameColor));
  }
  size_t stride = PXImageRowBytes(boxWidth, bits);
  RECT all = {0, 0, LONG(boxWidth), LONG(boxHeight)};
  int x = int(boxWidth - w) / 2, y = int(boxHeight - h) / 2;
  BOOL ok;
  if (bits == 1) {
    ok = PXFillRect1Bit(box, boxWidth, boxHeight, uint32_t(stride), &all, backgroundValue) &&
         PXPasteImage1Bit(box, boxWidth, boxHeight, uint32_t(stride), fitted.pixels_, w, h,
                          uint32_t(fitted.RowBytes()), x, y, 0);
  } else {
    uint32_t bpp = bits / 8;
    ok = PXFillRect(box, boxWidth, boxHeight, bpp, uint32_t(stride), &all, backgroundValue, 0) &&
         PXPasteImage(box, boxWidth, boxHeight, bpp, uint32_t(stride), fitted.pixels_, w, h,
                      uint32_t(fitted.RowBytes()), x, y, 1.0, 0);
  }
  if (ok && frame) {
    PXPoint corners[4] = {
        {x - 1, y - 1}, {int(x + w), y - 1}, {int(x + w), int(y + h)}, {x - 1, int(y + h)}};
    for (int i = 0; i < 4 && ok; ++i) {
      PXPoint from = corners[i], to = corners[(i + 1) % 4];
      ok = bits == 1
               ? PXDrawLine1Bit(box, boxWidth, boxHeight, uint32_t(stride), frameValue, from, to, 0)
               : PXDrawLine(box, boxWidth, boxHeight, bits / 8, uint32_t(stride), frameValue, from,
                            to, 0);
    }
  }
  if (!ok) {
    GlobalFree(box);
    return LastErrorOr(PX_ERR_UNEXPECTED);
  }
  Adopt(box, boxWidth, boxHeight, bits, palette, bits == 8 ? colors : fitted.colorCount_);
  return 0;
}

/* ---- Display and saving ----------------------------------------------------------------- */

int CPageImage::ToDeviceBitmap(HBITMAP* bitmap) const {
  if (!pixels_ || !bitmap) return PX_ERR_PARAMETER;
  HBITMAP made = nullptr;
  if (bitsPerPixel_ == 24) {
    made = PXRGBToHBITMAP(pixels_, width_, height_, nullptr, nullptr);
  } else {
    void* dib = bitsPerPixel_ == 8 ? PXIndexedToDIB(pixels_, width_, height_,
                                                    std::clamp<uint32_t>(colorCount_, 1, 256), 8,
                                                    palette_, nullptr)
                                   : PX1BitToDIB(pixels_, width_, height_, palette_, nullptr);
    if (!dib) return LastErrorOr(PX_ERR_NO_MEMORY);
    made = PXDIBToHBITMAP(dib, nullptr, nullptr);
    GlobalFree(dib);
  }
  if (!made) return LastErrorOr(PX_ERR_CREATE_DIBITMAP);
  if (*bitmap) DeleteObject(*bitmap);
  *bitmap = made;
  return 0;
}

int CPageImage::Draw(HDC dc, int x, int y, HPALETTE palette) const {
  if (!pixels_ || !dc) return PX_ERR_PARAMETER;
  BOOL ok;
  if (bitsPerPixel_ == 24) {
    ok = PXDrawRGBToDC(dc, pixels_, width_, height_, x, y, int(width_), int(height_), palette);
  } else if (bitsPerPixel_ == 8) {
    ok = PXDrawIndexedToDC(dc, pixels_, width_, height_, palette_, x, y, int(width_), int(height_),
                           palette);
  } else {
    void* dib = PX1BitToDIB(pixels_, width_, height_, palette_, nullptr);
    if (!dib) return LastErrorOr(PX_ERR_NO_MEMORY);
    ok = PXStretchDIBToDC(dc, dib, x, y, int(width_), int(height_));
    GlobalFree(dib);
  }
  return ok ? 0 : LastErrorOr(PX_ERR_DEVICE_CONTEXT);
}

int CPageImage::Save(const std::string& path, ImageType type) const {
  if (!pixels_) return PX_ERR_PARAMETER;
  if (type == UNKNOWN) type = TypeByExtension(path);
  if (type != PNG_24 && type != PNG_PAL) return PX_ERR_PARAMETER;
  CPageImage converted;
  const CPageImage* image = this;
  if (type == PNG_PAL && bitsPerPixel_ != 8) {
    if (int error = CopyTo(&converted)) return error;
    if (int error = converted.To8Bit()) return error;
    image = &converted;
  } else if (type == PNG_24 && bitsPerPixel_ != 24) {
    if (int error = CopyTo(&converted)) return error;
    if (int error = converted.To24Bit()) return error;
    image = &converted;
  }
  PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
  if (!sink) return LastErrorOr(PX_ERR_FILE_OPEN);
  PXClearPNGTextChunks();
  PXResolution res = {uint32_t(std::max(saveResolutionX_, 0)),
                      uint32_t(std::max(saveResolutionY_, 0)),
                      uint32_t(std::max(saveResolutionUnit_, 0))};
  if (type == PNG_24)
    PXWritePNG(sink, image->pixels_, image->width_, image->height_, image->width_ * 3, 8, 0,
               nullptr, 2, 0.345, &res, 1);
  else
    PXWritePNG(sink, image->pixels_, image->width_, image->height_, image->width_, 8,
               int(std::clamp<uint32_t>(image->colorCount_, 1, 256)), image->palette_, 3, 0.345,
               &res, 1);
  int error = PXGetLastError();
  PXCloseSink(sink);
  return error;
}
