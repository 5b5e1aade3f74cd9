// Pictures from the document layer as Qt images.
#ifndef PAGEWEAVER_UI_BITMAP_IMAGE_H
#define PAGEWEAVER_UI_BITMAP_IMAGE_H

#include <QColor>
#include <QImage>

#include "pixolith/platform.h"

class CPageImage;

namespace pwui {

// A copy of a device bitmap's pixels: the bitmap may go away as soon as the caller
// returns. A null image for a null or empty bitmap.
QImage ImageFromBitmap(HBITMAP bitmap);
// The image object's pixels as shown on the screen; null when it has none.
QImage ImageFromPageImage(const CPageImage& image);
// The colour as the library's packed colour.
COLORREF ToColorRef(const QColor& color);
// The 100 x 100 framed thumbnail of a page, drawn on `background`, as the page list
// shows it; null when it cannot be made. Changes `image` into the thumbnail.
QImage MakeThumbnail(CPageImage& image, const QColor& background);

}  // namespace pwui

#endif  // PAGEWEAVER_UI_BITMAP_IMAGE_H
