#include "bitmap_image.h"

#include "document/document.h"
#include "document/page_image.h"

namespace pwui {

QImage ImageFromBitmap(HBITMAP bitmap) {
  if (!bitmap) return QImage();
  int width = PXBitmapWidth(bitmap), height = PXBitmapHeight(bitmap);
  const uint32_t* bits = PXBitmapBits(bitmap);
  if (width <= 0 || height <= 0 || !bits) return QImage();
  // 0x00RRGGBB rows of width * 4 bytes are exactly Qt's RGB32; copy() detaches the
  // result from the bitmap's memory.
  return QImage(reinterpret_cast<const uchar*>(bits), width, height, qsizetype(width) * 4,
                QImage::Format_RGB32)
      .copy();
}

QImage ImageFromPageImage(const CPageImage& image) {
  if (!image.HasPixels()) return QImage();
  HBITMAP bitmap = nullptr;
  if (image.ToDeviceBitmap(&bitmap) != 0 || !bitmap) return QImage();
  QImage copy = ImageFromBitmap(bitmap);
  DeleteObject(bitmap);
  return copy;
}

COLORREF ToColorRef(const QColor& color) {
  return RGB(color.red(), color.green(), color.blue());
}

QImage MakeThumbnail(CPageImage& image, const QColor& background) {
  if (image.Thumbnail(kThumbnailSize, kThumbnailSize, ToColorRef(background), true, RGB(0, 0, 0)) !=
      0)
    return QImage();
  return ImageFromPageImage(image);
}

}  // namespace pwui
