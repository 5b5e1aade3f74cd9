// CPageImage: the application's image — a library image buffer with its size, depth,
// palette and resolution, and the operations the document, the output and the views
// need. Every operation returns a library error code: 0 on success, PX_ERR_PARAMETER
// when there is no image or an argument is out of range, otherwise the library's code.
// Conversions build their result aside and take it over only on success, so a failure
// leaves the image as it was.
#ifndef PAGEWEAVER_DOCUMENT_PAGE_IMAGE_H
#define PAGEWEAVER_DOCUMENT_PAGE_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "image_formats.h"
#include "pixolith/px_core.h"

// Resize methods.
constexpr int kResizeDefault = 0;
constexpr int kResizeNearest = 4;

class CPageImage {
 public:
  CPageImage();
  ~CPageImage();
  CPageImage(const CPageImage&) = delete;
  CPageImage& operator=(const CPageImage&) = delete;
  CPageImage(CPageImage&& other) noexcept;
  CPageImage& operator=(CPageImage&& other) noexcept;

  // Reads a file. type UNKNOWN detects it from the content (then the extension).
  // A failed load leaves the object empty.
  int Load(const std::string& path, ImageType type = UNKNOWN, int frame = 0);
  static ImageType DetectType(const std::string& path, int frame = 0);
  // The number of pages of a TIFF file; 0 for every other file.
  static int PageCount(const std::string& path);
  // The same of a file opened already.
  static int PageCount(PXSource source, const std::string& path);
  // True when the file's content is a TIFF's; its name does not count.
  static bool HasTiffContent(const std::string& path);
  // The file-name extensions of the formats it reads, in lower case and without the dot;
  // each inner list holds the names of one format ({"tif", "tiff"}).
  static const std::vector<std::vector<std::string>>& FileExtensions();

  // The size that fits the image into a box keeping its aspect ratio (0 x 0 when empty).
  void FitSize(uint32_t boxWidth, uint32_t boxHeight, uint32_t* width, uint32_t* height) const;
  // Shrinking (method kResizeDefault) averages the source area of every pixel: 24-bit and
  // grey images keep their depth, other palette and 1-bit images come out at 24 bits, and
  // 1-bit images with a grey palette at 8-bit grey, for the page's depth conversion to
  // follow. Enlarging and kResizeNearest keep the depth.
  int Resize(uint32_t width, uint32_t height, int method = kResizeDefault);
  // A resized copy in `out`, leaving this image as it is.
  int ScaledCopy(uint32_t width, uint32_t height, int method, CPageImage* out) const;
  // For a 1-bit page shrunk to grey on its way back to 1 bit: a stroke thinner than the
  // reduction is a light line among white ones (a 1-pixel line reduced 3:1 is grey 170),
  // which the threshold would drop. Each grey pixel moves away from the mean of its 3 x 3
  // neighbourhood by `factor` times the difference, so lines and edges darken while flat
  // areas keep their exact level and mean densities stay. 8-bit grey images only; others
  // are left as they are.
  void KeepThinStrokes(double factor);
  // With dither the error is diffused instead of cutting at the threshold.
  int To1Bit(int threshold, bool dither = false);
  // True for 1- and 8-bit images whose palette entries in use are all grey.
  bool HasGreyPalette() const;
  int To8Bit();
  int To24Bit();
  int Rotate(int degrees);
  int Flip(int code);
  int Thumbnail(uint32_t boxWidth, uint32_t boxHeight, COLORREF background, bool frame,
                COLORREF frameColor);
  // A device bitmap of the image (the screen's kind); the caller owns it (DeleteObject).
  int ToDeviceBitmap(HBITMAP* bitmap) const;
  int Draw(HDC dc, int x, int y, HPALETTE palette) const;
  // Saves as PNG: type PNG_24 (24-bit truecolour), PNG_PAL (8-bit palette; other depths
  // are converted on a copy), or UNKNOWN to choose by the path's extension.
  int Save(const std::string& path, ImageType type = UNKNOWN) const;

  bool HasPixels() const { return pixels_ != nullptr; }
  const uint8_t* Pixels() const { return pixels_; }
  uint8_t* Pixels() { return pixels_; }
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }
  uint32_t BitsPerPixel() const { return bitsPerPixel_; }
  uint32_t ColorCount() const { return colorCount_; }
  const RGBQUAD* Palette() const { return palette_; }
  RGBQUAD* Palette() { return palette_; }
  size_t RowBytes() const { return PXImageRowBytes(width_, bitsPerPixel_); }
  ImageType Type() const { return type_; }
  const std::string& SourceName() const { return sourceName_; }
  int FrameIndex() const { return frameIndex_; }
  int ResolutionX() const { return resolutionX_; }
  int ResolutionY() const { return resolutionY_; }
  int ResolutionUnit() const { return resolutionUnit_; }
  int SourceCompression() const { return sourceCompression_; }
  // The EXIF orientation the page was turned and mirrored upright from on load
  // (PX_ORIENTATION_*); 1 when its rows are as stored.
  int TurnedFrom() const { return turnedFrom_; }
  // Whether loads turn photographs upright by their EXIF orientation (on unless the
  // user switched it off); for every image object of the process.
  static void SetTurnUpright(bool on);
  static bool TurnUpright();
  void SetSaveResolution(int x, int y, int unit);

  // A copy of the image (pixels, palette, type, name, resolution) in `out`.
  int CopyTo(CPageImage* out) const;
  // Takes over a library block (freed with GlobalFree) as the image.
  void Adopt(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
             const RGBQUAD* palette, uint32_t colorCount);
  void Clear();

 private:
  // The facts of a page read by the format table: resolution, compression, and pixels
  // stretched square where the type asks for it.
  int TakeSourceFacts(PXSource source, const ImageTypeRow& row);
  // 1-bit images keep their lighter colour at index 0 and the darker at index 1, so that
  // a set bit is the dark one everywhere (the TIFF output writes a set bit as black).
  void NormaliseOneBit();
  // The area-averaged copy that ScaledCopy makes when shrinking.
  int AreaCopy(uint32_t width, uint32_t height, CPageImage* out) const;
  // Turns and mirrors the pixels from a stored EXIF orientation to upright.
  int MakeUpright(int orientation);
  // Makes `out` an image of these pixels with this image's depth, palette, type, name and
  // resolution.
  void GiveDescription(CPageImage* out, uint8_t* pixels, uint32_t width, uint32_t height) const;
  // Moves pixels, size, depth, palette and colour count of `other` into this image,
  // keeping this image's type, name and resolution.
  void TakePixels(CPageImage& other);

  uint8_t* pixels_ = nullptr;  // a global block
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t bitsPerPixel_ = 0;
  uint32_t colorCount_ = 0;
  RGBQUAD palette_[256] = {};
  ImageType type_ = UNKNOWN;
  std::string sourceName_;
  int frameIndex_ = 0;
  int resolutionX_ = 0;
  int resolutionY_ = 0;
  int resolutionUnit_ = 0;
  int saveThreshold_ = 128;
  int saveResolutionX_ = 72;
  int saveResolutionY_ = 72;
  int saveResolutionUnit_ = 1;
  int sourceCompression_ = 1;
  int turnedFrom_ = 1;
};

#endif  // PAGEWEAVER_DOCUMENT_PAGE_IMAGE_H
