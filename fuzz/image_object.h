// The application's image object on any input: CPageImage loads the file the way the
// document adds a page (format by content, then by the name's extension; the second
// page of a multi-page TIFF too), then makes what adding a page makes — the reduced
// preview saved as PNG and the framed thumbnail — and converts the preview as the output
// run converts pages. Built into the fuzz target `image` and the application's tests.
#ifndef PAGEWEAVER_FUZZ_IMAGE_OBJECT_H
#define PAGEWEAVER_FUZZ_IMAGE_OBJECT_H

#include "document/page_image.h"
#include "targets.h"

namespace pxfuzz {

// The preview and thumbnail sizes of the application.
constexpr uint32_t kPreviewWidth = 280;
constexpr uint32_t kPreviewHeight = 500;
constexpr uint32_t kThumbnailSize = 100;

// A loaded image must be whole: a size, a depth of 1, 8 or 24 bits, at most 256 colours
// and a block that holds every row.
inline Problem CheckLoaded(const CPageImage& image) {
  if (!image.HasPixels()) return "a load that succeeded without pixels";
  if (image.Width() == 0 || image.Height() == 0) return "a loaded image without a size";
  uint32_t bits = image.BitsPerPixel();
  if (bits != 1 && bits != 8 && bits != 24) return "a loaded image of another depth";
  if (image.ColorCount() > 256) return "a loaded image with more than 256 colours";
  uint64_t need = uint64_t(image.RowBytes()) * image.Height();
  if (GlobalSize(const_cast<uint8_t*>(image.Pixels())) < need)
    return "a loaded image whose block is smaller than its rows";
  Touch(image.Pixels(), size_t(need));
  return nullptr;
}

// What adding the page does after the load, and the output's conversions on the preview.
inline Problem AfterLoad(CPageImage& image) {
  Checks checks;
  uint32_t w = 0, h = 0;
  image.FitSize(kPreviewWidth, kPreviewHeight, &w, &h);
  CPageImage preview;
  if (image.CopyTo(&preview) == 0) {
    if (image.Width() > kPreviewWidth || image.Height() > kPreviewHeight) preview.Resize(w, h);
    std::string path = ScratchFile::Sibling(".png");
    if (!path.empty()) preview.Save(path, preview.BitsPerPixel() == 24 ? PNG_24 : PNG_PAL);
    for (int step = 0; step < 3; ++step) {
      CPageImage page;
      if (preview.CopyTo(&page) != 0) break;
      int error = step == 0 ? page.To1Bit(128) : step == 1 ? page.To8Bit() : page.To24Bit();
      if (error == 0) {
        page.Rotate(90);
        page.Flip(1);
        checks << CheckLoaded(page);
      }
    }
  }
  if (image.Thumbnail(kThumbnailSize, kThumbnailSize, RGB(255, 255, 255), true, RGB(0, 0, 0)) ==
      0) {
    checks << CheckLoaded(image);
    if (image.Width() != kThumbnailSize || image.Height() != kThumbnailSize)
      checks << "a thumbnail of another size";
    HBITMAP bitmap = nullptr;
    if (image.ToDeviceBitmap(&bitmap) == 0 && bitmap) DeleteObject(bitmap);
  }
  return checks.result();
}

inline Problem LoadAndAdd(const std::string& path, int frame) {
  CPageImage image;
  int error = image.Load(path, UNKNOWN, frame);
  if (error != 0) return image.HasPixels() ? "a failed load that kept pixels" : nullptr;
  if (Problem problem = CheckLoaded(image)) return problem;
  return AfterLoad(image);
}

inline Problem ImageObject(const uint8_t* data, size_t size) {
  std::string path = ScratchFile::Write(data, size);  // no extension: the content decides
  if (path.empty()) return nullptr;
  // TGA files have no signature: the application knows them by their name.
  if (CPageImage::DetectType(path) == UNKNOWN) path = ScratchFile::Write(data, size, ".tga");
  if (path.empty()) return nullptr;
  Checks checks;
  checks << LoadAndAdd(path, 0);
  if (CPageImage::PageCount(path) >= 2) checks << LoadAndAdd(path, 1);
  return checks.result();
}

inline constexpr Target kImageObjectTarget = {"image", ImageObject, uint64_t(1) << 21,
                                              kMetafileSurface};

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_IMAGE_OBJECT_H
