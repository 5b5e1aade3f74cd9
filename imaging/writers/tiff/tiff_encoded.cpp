// Pages compressed ahead of the file they go into: libtiff writes the page into memory
// with the very tags and row code of the file writer, and the compressed strips (or
// tiles) are kept to be appended later as they are.
#include <tiffio.h>

#include <cstring>
#include <new>

#include "pixolith/px_tiff.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

namespace {

MemoryFile* File(thandle_t handle) {
  return static_cast<MemoryFile*>(handle);
}

tmsize_t ReadMemory(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile* f = File(handle);
  if (size <= 0 || f->position >= f->bytes.size()) return 0;
  const size_t n = std::min<uint64_t>(uint64_t(size), f->bytes.size() - f->position);
  std::memcpy(buffer, f->bytes.data() + f->position, n);
  f->position += n;
  return tmsize_t(n);
}

tmsize_t WriteMemory(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile* f = File(handle);
  if (size <= 0) return 0;
  const uint64_t end = f->position + uint64_t(size);
  if (end > PX_MAX_GLOBAL_BLOCK) return 0;
  if (end > f->bytes.size()) f->bytes.resize(size_t(end));
  std::memcpy(f->bytes.data() + f->position, buffer, size_t(size));
  f->position = end;
  return size;
}

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
  MemoryFile* f = File(handle);
  const uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->bytes.size() : 0;
  f->position = base + offset;  // offsets from the end or the position wrap as libtiff's do
  return f->position;
}

int CloseMemory(thandle_t) {
  return 0;
}

toff_t SizeMemory(thandle_t handle) {
  return File(handle)->bytes.size();
}

int MapMemory(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapMemory(thandle_t, void*, toff_t) {}

}  // namespace

TIFF* OpenMemoryTIFF(MemoryFile* file) {
  pxtiff::InitLibTIFF();
  return TIFFClientOpen("page", "w", file, ReadMemory, WriteMemory, SeekMemory, CloseMemory,
                        SizeMemory, MapMemory, UnmapMemory);
}

bool StrileBytes(TIFF* tif, const MemoryFile& file, uint32_t strile, const uint8_t** data,
                 size_t* size) {
  const uint64_t offset = TIFFGetStrileOffset(tif, strile);
  const uint64_t count = TIFFGetStrileByteCount(tif, strile);
  if (offset > file.bytes.size() || count > file.bytes.size() - offset) return false;
  *data = file.bytes.data() + offset;
  *size = size_t(count);
  return true;
}

int EncodePage(px::Operation& op, const PageSpec& page, uint32_t flags, EncodedPage* out) {
  MemoryFile file;
  pxtiff::ClientTIFF tif(OpenMemoryTIFF(&file));
  if (!tif) return PX_ERR_NO_MEMORY;
  if (int error = SetPageTags(op, tif.get(), page, flags)) return error;
  if (int error = WritePixels(op, tif.get(), page, flags)) return error;
  // Push out the strip libtiff still holds; the directory is never needed.
  if (!TIFFFlushData(tif.get())) return PX_ERR_FILE_WRITE;
  out->tiled = TIFFIsTiled(tif.get());
  const uint32_t striles =
      out->tiled ? TIFFNumberOfTiles(tif.get()) : TIFFNumberOfStrips(tif.get());
  out->data.clear();
  out->ends.clear();
  for (uint32_t s = 0; s < striles; ++s) {
    const uint8_t* data;
    size_t count;
    if (!StrileBytes(tif.get(), file, s, &data, &count)) return PX_ERR_FILE_WRITE;
    out->data.insert(out->data.end(), data, data + count);
    out->ends.push_back(out->data.size());
  }
  out->layout = page;
  out->layout.pixels = nullptr;
  if (page.palette) {
    const size_t entries = page.bitsPerPixel == 4 ? 16 : 256;
    std::memcpy(out->palette, page.palette, entries * sizeof(RGBQUAD));
    out->layout.palette = out->palette;
  }
  out->flags = flags;
  return PX_OK;
}

}  // namespace pxtiffw

using namespace pxtiffw;

extern "C" PXTIFFEncodedPage* PXEncodeTIFFPage(const BYTE* pixels, uint32_t width, uint32_t height,
                                               uint32_t bitsPerPixel, const RGBQUAD* palette,
                                               uint32_t compression, const PXResolution* resolution,
                                               uint32_t flags) {
  px::Operation op;
  if (!op) return nullptr;
  PageSpec page;
  if (!MultiPage(pixels, width, height, bitsPerPixel, palette, compression,
                 resolution ? *resolution : PXResolution{1, 1, 1}, &page) ||
      (flags & PX_TIFF_WRITE_APPEND))
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  if (int error = CheckPage(page, flags)) return op.SetError(error), nullptr;
  try {
    auto* encoded = new PXTIFFEncodedPage();
    if (int error = EncodePage(op, page, flags, &encoded->page)) {
      delete encoded;
      return op.SetError(error), nullptr;
    }
    return encoded;
  } catch (const std::bad_alloc&) {
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  }
}

extern "C" void PXFreeTIFFEncodedPage(PXTIFFEncodedPage* page) {
  delete page;
}

namespace pxtiffw {

const EncodedPage* EncodedPageOf(const PXTIFFEncodedPage* page) {
  return page ? &page->page : nullptr;
}

}  // namespace pxtiffw
