// Metafile rendering: loads a WMF or EMF file the way the platform allows, decides the
// raster size, and plays the metafile into a screen-compatible bitmap on the
// background colour.
#include <sys/stat.h>

#include <cstring>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_metafile.h"
#include "platform/metafile.h"

namespace {

// The largest raster a file's own size may ask for (about 5800 x 5800 pixels). A few
// bytes of metafile can claim a frame of metres; that must not become gigabytes of
// bitmap. Callers that ask for a pixel size get what they ask for, up to the platform's
// limits.
constexpr uint64_t kMaxNaturalPixels = uint64_t(1) << 25;
// Playback draws with Cairo, whose surfaces stop at this many pixels a side.
constexpr int64_t kMaxSide = 32767;

// Releases the platform objects of one rendering, whatever way it ends.
struct RenderResources {
  HENHMETAFILE emf = nullptr;
  HDC screen = nullptr;
  HDC memory = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  ~RenderResources() {
    if (memory && previous) SelectObject(memory, previous);
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    if (screen) ReleaseDC(nullptr, screen);
    if (emf) DeleteEnhMetaFile(emf);
  }
};

struct PlaceableHeader {
  bool present = false;
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  uint16_t unitsPerInch = 0;
};

class MetafileRenderer {
 public:
  explicit MetafileRenderer(px::Operation& op) : op_(op) {}

  BYTE* Render(const char* path, uint32_t* width, uint32_t* height, int horizontal, int vertical,
               COLORREF background, DWORD flags) {
    if (!op_.Progress(0, 4)) return nullptr;
    struct stat info;
    if (stat(path, &info) != 0) return Fail(PX_ERR_FILE_OPEN);
    if (!Load(path, horizontal, vertical)) return nullptr;

    ENHMETAHEADER header;
    if (GetEnhMetaFileHeader(res_.emf, sizeof header, &header) == 0)
      return Fail(PX_ERR_BAD_METAFILE);

    res_.screen = GetDC(nullptr);
    if (!res_.screen) return Fail(PX_ERR_DEVICE_CONTEXT);
    int64_t w, h;
    RasterSize(header, horizontal, vertical, flags, &w, &h);
    bool asked = flags & PX_METAFILE_PIXELS;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide ||
        (!asked && uint64_t(w) * uint64_t(h) > kMaxNaturalPixels))
      return Fail(PX_ERR_CREATE_BITMAP);

    if (!op_.Progress(1, 4)) return nullptr;
    res_.memory = CreateCompatibleDC(res_.screen);
    if (!res_.memory) return Fail(PX_ERR_DEVICE_CONTEXT);
    res_.bitmap = CreateCompatibleBitmap(res_.screen, int(w), int(h));
    if (!res_.bitmap) return Fail(PX_ERR_CREATE_BITMAP);
    res_.previous = SelectObject(res_.memory, res_.bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    if (!brush) return Fail(PX_ERR_DEVICE_CONTEXT);
    RECT rect = {0, 0, LONG(w), LONG(h)};
    ::FillRect(res_.memory, &rect, brush);
    DeleteObject(brush);
    if (!op_.Progress(2, 4)) return nullptr;

    px::PlaybackReport report;
    BOOL played = px::PlayEnhMetaFileEx(res_.memory, res_.emf, &rect, &report);
    if (!played && report.records == 0) return Fail(PX_ERR_METAFILE_RENDER);
    // A damaged record ends playback; what was drawn before it stays, but a file that
    // broke before drawing anything is no picture.
    if (!played && report.drawn == 0) return Fail(PX_ERR_BAD_METAFILE);
    if (!op_.Progress(3, 4)) return nullptr;

    BYTE* result = (flags & PX_METAFILE_DIB) ? ReadDIB(int(w), int(h)) : ReadRGB(int(w), int(h));
    if (!result) return nullptr;
    if (width) *width = uint32_t(w);
    if (height) *height = uint32_t(h);
    return result;
  }

 private:
  BYTE* Fail(int code) {
    op_.SetError(code);
    return nullptr;
  }

  bool Load(const char* path, int horizontal, int vertical) {
    res_.emf = GetEnhMetaFileA(path);
    if (res_.emf) return true;

    if (HMETAFILE wmf = GetMetaFileA(path)) {
      UINT size = GetMetaFileBitsEx(wmf, 0, nullptr);
      if (!size) {
        DeleteMetaFile(wmf);
        return op_.Fail(PX_ERR_BAD_METAFILE);
      }
      px::Block bits(size);
      if (!bits) {
        DeleteMetaFile(wmf);
        return op_.Fail(PX_ERR_NO_MEMORY);
      }
      GetMetaFileBitsEx(wmf, size, bits.get());
      DeleteMetaFile(wmf);
      METAFILEPICT picture = {MM_ANISOTROPIC, 1000, 1000, nullptr};
      res_.emf = SetWinMetaFileBits(size, bits.get(), nullptr, &picture);
      return res_.emf ? true : op_.Fail(PX_ERR_BAD_METAFILE);
    }

    // Raw: the whole file, with or without the placeable header.
    PXSource source = PXOpenFileSource(path);
    if (!source) return op_.Fail(PX_ERR_FILE_OPEN);
    CPXIO io(source);
    uint64_t size = 0;
    px::Block data;
    int error = 0;
    if (!io.Size(&size) || size == 0) {
      error = PX_ERR_BAD_METAFILE;
    } else if (size > PX_MAX_GLOBAL_BLOCK || !(data = px::Block(size_t(size)))) {
      error = PX_ERR_NO_MEMORY;
    } else if (!io.Rewind() || !io.ReadExactly(data.get(), size_t(size))) {
      error = PX_ERR_FILE_READ;
    }
    PXCloseSource(source);
    if (error) return op_.Fail(error);

    const uint8_t* bits = data.get();
    size_t bitsSize = size_t(size);
    METAFILEPICT picture = {MM_ANISOTROPIC, horizontal, vertical, nullptr};
    if (size >= px::kPlaceableHeaderSize && px::LE32(bits) == px::kPlaceableKey) {
      placeable_.present = true;
      placeable_.left = int16_t(px::LE16(bits + 6));
      placeable_.top = int16_t(px::LE16(bits + 8));
      placeable_.right = int16_t(px::LE16(bits + 10));
      placeable_.bottom = int16_t(px::LE16(bits + 12));
      placeable_.unitsPerInch = px::LE16(bits + 14);
      // Without units per inch the bounding box has no size.
      if (placeable_.unitsPerInch == 0) return op_.Fail(PX_ERR_BAD_METAFILE);
      picture.xExt = (placeable_.right - placeable_.left) * 2540 / placeable_.unitsPerInch;
      picture.yExt = (placeable_.bottom - placeable_.top) * 2540 / placeable_.unitsPerInch;
      bits += px::kPlaceableHeaderSize;
      bitsSize -= px::kPlaceableHeaderSize;
    }
    res_.emf = bitsSize ? SetWinMetaFileBits(UINT(bitsSize), bits, nullptr, &picture) : nullptr;
    return res_.emf ? true : op_.Fail(PX_ERR_METAFILE_RENDER);
  }

  void RasterSize(const ENHMETAHEADER& header, int horizontal, int vertical, DWORD flags,
                  int64_t* w, int64_t* h) const {
    if (flags & PX_METAFILE_PIXELS) {
      *w = horizontal;
      *h = vertical;
    } else if (placeable_.present) {
      // Hundredths of a millimetre, then inches, then screen pixels.
      int dpiX = GetDeviceCaps(res_.screen, LOGPIXELSX);
      int dpiY = GetDeviceCaps(res_.screen, LOGPIXELSY);
      int64_t extX = (placeable_.right - placeable_.left) * 2540 / placeable_.unitsPerInch;
      int64_t extY = (placeable_.bottom - placeable_.top) * 2540 / placeable_.unitsPerInch;
      *w = int64_t(double(extX) * 0.00039368528798 * dpiX);
      *h = int64_t(double(extY) * 0.00039368528798 * dpiY);
    } else {
      int64_t pxW = GetDeviceCaps(res_.screen, HORZRES), mmW = GetDeviceCaps(res_.screen, HORZSIZE);
      int64_t pxH = GetDeviceCaps(res_.screen, VERTRES), mmH = GetDeviceCaps(res_.screen, VERTSIZE);
      int64_t left = pxW * header.rclFrame.left / (mmW * 100);
      int64_t right = pxW * header.rclFrame.right / (mmW * 100);
      int64_t top = pxH * header.rclFrame.top / (mmH * 100);
      int64_t bottom = pxH * header.rclFrame.bottom / (mmH * 100);
      *w = right - left;
      *h = bottom - top;
    }
    if (flags & PX_METAFILE_PERCENT) {
      *w = int64_t(double(*w) * (horizontal * 0.01));
      *h = int64_t(double(*h) * (vertical * 0.01));
    }
  }

  BYTE* ReadRGB(int w, int h) {
    size_t total;
    if (!px::BlockSize(size_t(h), size_t(w) * 3, 0, &total)) return Fail(PX_ERR_NO_MEMORY);
    px::Block out(total);
    if (!out) return Fail(PX_ERR_NO_MEMORY);
    const uint32_t* px = PXBitmapBits(res_.bitmap);
    uint8_t* dst = out.get();
    for (size_t i = 0, n = size_t(w) * size_t(h); i < n; ++i) {
      dst[3 * i] = uint8_t(px[i] >> 16);
      dst[3 * i + 1] = uint8_t(px[i] >> 8);
      dst[3 * i + 2] = uint8_t(px[i]);
    }
    return out.Release();
  }

  BYTE* ReadDIB(int w, int h) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    BITMAPINFOHEADER& bi = info.bmiHeader;
    bi.biSize = sizeof(BITMAPINFOHEADER);
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    if (!GetDIBits(res_.memory, res_.bitmap, 0, UINT(h), nullptr, &info, DIB_RGB_COLORS))
      return Fail(PX_ERR_GETDIBITS);
    size_t total;
    if (!px::BlockSize(size_t(h), PXDIBRowBytes(uint32_t(w), 24), sizeof bi, &total))
      return Fail(PX_ERR_NO_MEMORY);
    px::Block out(total);
    if (!out) return Fail(PX_ERR_NO_MEMORY);
    if (GetDIBits(res_.memory, res_.bitmap, 0, UINT(h), out.get() + sizeof bi, &info,
                  DIB_RGB_COLORS) != h)
      return Fail(PX_ERR_GETDIBITS);
    std::memcpy(out.get(), &bi, sizeof bi);
    return out.Release();
  }

  px::Operation& op_;
  RenderResources res_;
  PlaceableHeader placeable_;
};

}  // namespace

extern "C" BYTE* PXRenderMetafileFile(const char* path, uint32_t* width, uint32_t* height,
                                      int horizontal, int vertical, COLORREF background,
                                      DWORD flags) {
  px::Operation op;
  if (!op) return nullptr;
  if (!op.CheckPointer(path)) return nullptr;
  try {
    return MetafileRenderer(op).Render(path, width, height, horizontal, vertical, background,
                                       flags);
  } catch (const std::exception&) {
    op.SetError(PX_ERR_NO_MEMORY);
    return nullptr;
  }
}
