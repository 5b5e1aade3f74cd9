// TIFF writer: the public entry points and the output they share. libtiff writes into a
// private copy of the caller's sink record, one finished directory per page, and the
// data is flushed after every page, so a page only counts once it is really in the file.
#include "writers/tiff/tiff_writer.h"

#include <algorithm>
#include <new>
#include <string>

#include "pixolith/px_tiff.h"
#include "writers/tiff/stored_writer.h"

namespace pxtiffw {

size_t RowBytes(uint32_t width, uint32_t bits) {
  return (size_t(width) * bits + 7) / 8;
}

uint32_t MapCompression(uint32_t bits, uint32_t requested) {
  if (bits == 1)
    return requested == 0 || requested == COMPRESSION_JPEG ? COMPRESSION_NONE : requested;
  // The CCITT codes only describe bilevel data.
  switch (requested) {
    case 0:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_CCITTRLEW:
      return COMPRESSION_NONE;
    default:
      return requested;
  }
}

int CheckPage(const PageSpec& page, uint32_t flags) {
  if (!page.pixels || !page.width || !page.height) return PX_ERR_PARAMETER;
  switch (page.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return PX_ERR_PARAMETER;
  }
  if (page.stride < RowBytes(page.width, page.bitsPerPixel)) return PX_ERR_PARAMETER;
  const uint32_t compression = MapCompression(page.bitsPerPixel, page.compression);
  if (compression > 0xFFFF || !TIFFIsCODECConfigured(uint16_t(compression)))
    return PX_ERR_PARAMETER;
  const bool colorMap = (page.bitsPerPixel == 4 || page.bitsPerPixel == 8) &&
                        !(flags & PX_TIFF_WRITE_GRAY) && compression != COMPRESSION_JPEG;
  if (colorMap && !page.palette) return PX_ERR_PARAMETER;
  return PX_OK;
}

namespace {

// One TIFF being written into a sink.
class Output {
 public:
  Output(px::Operation& op, PXSink sink, uint32_t flags)
      : op_(op),
        record_(*sink),
        io_(&record_),
        flags_(flags),
        direct_(io_, op.state().tiffWrite.orientation) {}
  // A write that ends early (an exception) adds nothing further to the file.
  ~Output() { CloseQuietly(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // 0, PX_ERR_PARAMETER (append to a sink that cannot be read back) or PX_ERR_BAD_TIFF
  // (libtiff refused the sink).
  // With `mayDefer`, a new file is opened in libtiff only when a page comes that the
  // direct writer does not take.
  int Open(bool mayDefer = false) {
    const bool append = flags_ & PX_TIFF_WRITE_APPEND;
    if (!append && mayDefer) {
      deferred_ = true;
      return PX_OK;
    }
    if (append) {
      // Sinks are opened for update, so any writable one can be read back.
      if (!io_.IsWritable()) return PX_ERR_PARAMETER;
      pagesBefore_ = CountDirectories(io_);
    }
    // libtiff's offsets count from the start of the sink, and it reads or writes the
    // header from where the sink stands.
    if (!io_.Rewind()) return PX_ERR_FILE_WRITE;
    tif_.Reset(pxtiff::OpenClient(&io_, append ? "a" : "wW"));
    return tif_ ? PX_OK : PX_ERR_BAD_TIFF;
  }

  // Writes one page completely: its tags, its pixels, its directory, and flushes the
  // sink. 0 or the page's error code.
  int WritePage(const PageSpec& page) {
    if (int error = CheckPage(page, flags_)) return error;
    TIFF* tif = tif_.get();
    if (int error = SetPageTags(op_, tif, page, flags_)) return error;
    if (int error = WritePixels(op_, tif, page, flags_)) return error;
    return FinishPage();
  }

  // Writes a page compressed ahead: the same tags, then its strips or tiles as they are.
  int WriteEncodedPage(const EncodedPage& page) {
    if (page.flags != flags_) return PX_ERR_PARAMETER;
    if (deferred_ && !tif_) {
      const px::TIFFWriteOptions& options = op_.state().tiffWrite;
      if (WritesStoredPageDirectly(page, options)) {
        if (software_.empty()) software_ = SoftwareText(op_, options);
        const int error = direct_.WritePage(op_, page, software_);
        linkAtRisk_ = direct_.linkAtRisk();
        if (!error) ++pagesDone_;
        return error;
      }
      // libtiff appends the rest to the pages written directly.
      if (int error = OpenLibTIFF(direct_.started() ? "a" : "wW")) return error;
    }
    TIFF* tif = tif_.get();
    if (int error = page.stored ? SetStoredPageTags(op_, tif, page)
                                : SetPageTags(op_, tif, page.layout, flags_))
      return error;
    const uint32_t striles = page.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (striles != page.ends.size()) return PX_ERR_PARAMETER;
    uint32_t rowsPerStrile = page.layout.height, tileWidth = 0;
    TIFFGetField(tif, page.tiled ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &rowsPerStrile);
    if (page.tiled) TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    const uint32_t across = tileWidth ? (page.layout.width + tileWidth - 1) / tileWidth : 1;
    size_t begin = 0;
    for (uint32_t s = 0; s < striles; ++s) {
      uint8_t* data = const_cast<uint8_t*>(page.data.data()) + begin;
      const auto size = tmsize_t(page.ends[s] - begin);
      begin = page.ends[s];
      const tmsize_t written =
          page.tiled ? TIFFWriteRawTile(tif, s, data, size) : TIFFWriteRawStrip(tif, s, data, size);
      if (written != size) return PX_ERR_FILE_WRITE;
      const uint64_t row = uint64_t(s / across) * rowsPerStrile;
      if (!op_.Progress(uint32_t(std::min<uint64_t>(row, page.layout.height)), page.layout.height))
        return PX_ERR_ABORTED;
    }
    return FinishPage();
  }

  // Closes the file and records the call's error. Returns the sink's size, or 0 when
  // the write failed; the file then holds the pages finished before the failure.
  uint32_t Finish(int error) {
    // A file with no page written yet is what libtiff makes of it, as without deferral.
    if (!error && deferred_ && !tif_ && !direct_.started()) error = OpenLibTIFF("wW");
    // Every finished page's directory is out already; what libtiff still holds is the
    // empty directory it opens after each page, or a page that failed.
    CloseQuietly();
    if (!error && !io_.Flush()) error = PX_ERR_FILE_WRITE;
    if (error) {
      if (linkAtRisk_) {
        CutDirectoryChain(io_, pagesBefore_ + pagesDone_);
        io_.Flush();
      }
      op_.SetError(error);
      return 0;
    }
    uint64_t size = 0;
    io_.Size(&size);
    op_.SetError(PX_OK);
    return uint32_t(std::min<uint64_t>(size, UINT32_MAX));
  }

 private:
  // 0 or PX_ERR_BAD_TIFF.
  int OpenLibTIFF(const char* mode) {
    if (!io_.Rewind()) return PX_ERR_FILE_WRITE;
    tif_.Reset(pxtiff::OpenClient(&io_, mode));
    return tif_ ? PX_OK : PX_ERR_BAD_TIFF;
  }

  // Writes the page's directory and flushes the sink: 0 or 4.
  int FinishPage() {
    // libtiff links a directory into the chain before it writes it out.
    linkAtRisk_ = true;
    if (!TIFFWriteDirectory(tif_.get()) || !io_.Flush()) return PX_ERR_FILE_WRITE;
    linkAtRisk_ = false;
    ++pagesDone_;
    return PX_OK;
  }

  // Closes libtiff with writes switched off, so that the unfinished page (its last
  // strips, its directory and the link to it) stays out of the file.
  void CloseQuietly() {
    if (!tif_) return;
    const uint8_t writable = record_.writable;
    record_.writable = 0;
    tif_.Reset();
    record_.writable = writable;
  }

  px::Operation& op_;
  PXHandle record_;  // private copy: same stream, its own write switch
  CPXIO io_;
  pxtiff::ClientTIFF tif_;
  uint32_t flags_;
  uint32_t pagesBefore_ = 0;
  uint32_t pagesDone_ = 0;
  bool linkAtRisk_ = false;
  bool deferred_ = false;
  DirectOutput direct_;
  std::string software_;
};

uint32_t WritePages(px::Operation& op, PXSink sink, PXTIFFPageCallback callback, void* userData,
                    uint32_t flags) {
  Output output(op, sink, flags);
  int error = output.Open();
  uint32_t width = 0, height = 0, bits = 0, compression = 0;
  PXResolution resolution = {};
  while (!error) {
    // Pointers are asked afresh for every page: the previous page's may be gone.
    BYTE* pixels = nullptr;
    RGBQUAD* palette = nullptr;
    if (!callback(&pixels, &width, &height, &palette, &bits, &compression, &resolution, userData) ||
        !pixels)
      break;
    PageSpec page;
    if (!MultiPage(pixels, width, height, bits, palette, compression, resolution, &page)) {
      error = PX_ERR_PARAMETER;
      break;
    }
    error = output.WritePage(page);
  }
  return output.Finish(error);
}

}  // namespace

bool MultiPage(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t bits,
               const RGBQUAD* palette, uint32_t compression, const PXResolution& resolution,
               PageSpec* page) {
  if ((bits != 1 && bits != 8 && bits != 24 && bits != 32) || (bits == 8 && !palette)) return false;
  page->pixels = pixels;
  page->width = width;
  page->height = height;
  page->bitsPerPixel = bits;
  page->stride = RowBytes(width, bits);
  page->palette = palette;
  page->compression = compression;
  page->resolution = resolution;
  return true;
}

namespace {

uint32_t WriteEncodedPages(px::Operation& op, PXSink sink, PXTIFFEncodedPageCallback callback,
                           void* userData, uint32_t flags) {
  Output output(op, sink, flags);
  int error = output.Open(true);
  while (!error) {
    const PXTIFFEncodedPage* handle = nullptr;
    if (!callback(&handle, userData) || !handle) break;
    error = output.WriteEncodedPage(*EncodedPageOf(handle));
  }
  return output.Finish(error);
}

uint32_t WriteOne(px::Operation& op, PXSink sink, const PageSpec& page, uint32_t flags) {
  // Bad arguments are refused before the sink is touched.
  if (int error = CheckPage(page, flags)) return op.SetError(error), 0;
  Output output(op, sink, flags);
  int error = output.Open();
  if (!error) error = output.WritePage(page);
  return output.Finish(error);
}

template <class Body>
uint32_t Shielded(px::Operation& op, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
    return 0;
  }
}

PageSpec SinglePage(const BYTE* pixels, uint32_t width, uint32_t height, uint32_t bits,
                    size_t stride, const RGBQUAD* palette, uint32_t compression,
                    const PXResolution* resolution) {
  PageSpec page;
  page.pixels = pixels;
  page.width = width;
  page.height = height;
  page.bitsPerPixel = bits;
  page.stride = stride;
  page.palette = palette;
  page.compression = compression;
  if (resolution) page.resolution = *resolution;
  return page;
}

}  // namespace

}  // namespace pxtiffw

using namespace pxtiffw;

extern "C" BOOL PXSetTIFFJPEGQuality(int quality) {
  px::Operation op;
  if (!op) return FALSE;
  if (quality < 1 || quality > 100) return op.Fail(PX_ERR_PARAMETER);
  op.state().tiffWrite.jpegQuality = quality;
  return TRUE;
}

extern "C" uint32_t PXWriteMultiPageTIFF(PXSink sink, PXTIFFPageCallback callback, void* userData,
                                         uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  if (!callback) return op.SetError(PX_ERR_PARAMETER), 0;
  return Shielded(op, [&] { return WritePages(op, sink, callback, userData, flags); });
}

extern "C" uint32_t PXWriteEncodedTIFFPages(PXSink sink, PXTIFFEncodedPageCallback callback,
                                            void* userData, uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  if (!callback) return op.SetError(PX_ERR_PARAMETER), 0;
  return Shielded(op, [&] { return WriteEncodedPages(op, sink, callback, userData, flags); });
}

extern "C" uint32_t PXWriteTIFFStride(PXSink sink, const BYTE* pixels, uint32_t width,
                                      uint32_t height, uint32_t bitsPerPixel, uint32_t stride,
                                      const RGBQUAD* palette, uint32_t compression,
                                      const PXResolution* resolution, uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  // 16-bit strides count samples.
  const size_t strideBytes = bitsPerPixel == 16 ? size_t(stride) * 2 : stride;
  const PageSpec page = SinglePage(pixels, width, height, bitsPerPixel, strideBytes, palette,
                                   compression, resolution);
  return Shielded(op, [&] { return WriteOne(op, sink, page, flags); });
}

extern "C" uint32_t PXWriteTIFF(PXSink sink, const BYTE* pixels, uint32_t width, uint32_t height,
                                uint32_t bitsPerPixel, const RGBQUAD* palette, uint32_t compression,
                                const PXResolution* resolution, uint32_t flags) {
  px::Operation op;
  if (!op) return 0;
  if (!op.CheckHandle(sink)) return 0;
  const PageSpec page = SinglePage(pixels, width, height, bitsPerPixel,
                                   RowBytes(width, bitsPerPixel), palette, compression, resolution);
  return Shielded(op, [&] { return WriteOne(op, sink, page, flags); });
}
