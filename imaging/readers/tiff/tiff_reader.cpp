// TIFF reader: page count, page dimensions, single tags, and reading a page.
#include "pixolith/px_tiff.h"

#include <cmath>
#include <string>

#include "core/entry.h"
#include "readers/tiff/tiff_paths.h"

namespace {

using pxtiff::Page;
using pxtiff::PageInfo;

// Opens the source and selects the page, recording the error of a failure.
bool OpenPage(px::Operation& op, Page& page, const CPXIO& io, uint32_t number) {
  if (int e = page.OpenFile(io.handle())) return op.Fail(e);
  if (int e = page.Select(number)) return op.Fail(e);
  return true;
}

/* ---- Tag values ------------------------------------------------------------------------- */

enum class TagKind { kUI4, kUI2, kR4, kText, kUI2Array, kUnsupported };

TagKind KindOf(uint32_t tag) {
  switch (tag) {
    case 256:
    case 257:
    case 278:
    case 322:
    case 323:
    case 332:
    case 34665:
      return TagKind::kUI4;
    case 258:
    case 259:
    case 262:
    case 274:
    case 296:
    case 334:
      return TagKind::kUI2;
    case 282:
    case 283:
      return TagKind::kR4;
    case 269:
    case 270:
    case 271:
    case 272:
    case 285:
    case 305:
    case 306:
    case 315:
    case 316:
    case 333:
    case 337:
      return TagKind::kText;
    case 338:
      return TagKind::kUI2Array;
    default:
      return TagKind::kUnsupported;
  }
}

template <class T>
bool GetAs(TIFF* tif, uint32_t tag, uint64_t* out) {
  T v;
  if (!TIFFGetField(tif, tag, &v)) return false;
  *out = v;
  return true;
}

// An integer tag in the C type libtiff hands it out as.
bool GetInteger(TIFF* tif, uint32_t tag, uint64_t* out) {
  switch (tag) {
    case TIFFTAG_IMAGEWIDTH:
    case TIFFTAG_IMAGELENGTH:
    case TIFFTAG_ROWSPERSTRIP:
    case TIFFTAG_TILEWIDTH:
    case TIFFTAG_TILELENGTH:
      return GetAs<uint32_t>(tif, tag, out);
    case TIFFTAG_BITSPERSAMPLE:
    case TIFFTAG_COMPRESSION:
    case TIFFTAG_PHOTOMETRIC:
    case TIFFTAG_ORIENTATION:
    case TIFFTAG_RESOLUTIONUNIT:
    case TIFFTAG_INKSET:
    case TIFFTAG_NUMBEROFINKS:
      return GetAs<uint16_t>(tif, tag, out);
    default:
      break;
  }
  // Custom tags (the EXIF directory offset): the storage size libtiff keeps them in.
  const TIFFField* field = TIFFFindField(tif, tag, TIFF_ANY);
  if (!field || TIFFFieldPassCount(field)) return false;
  switch (TIFFFieldSetGetSize(field)) {
    case 2:
      return GetAs<uint16_t>(tif, tag, out);
    case 4:
      return GetAs<uint32_t>(tif, tag, out);
    case 8:
      return GetAs<uint64_t>(tif, tag, out);
    default:
      return false;
  }
}

// TIFF text is meant to be ASCII; what is not valid UTF-8 is taken as Latin-1.
std::string TextToUTF8(const char* text) {
  std::string s(text);
  size_t i = 0;
  bool valid = true;
  while (i < s.size() && valid) {
    const unsigned char c = s[i];
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) valid = false;
    for (size_t k = 1; valid && k < n; ++k) valid = (s[i + k] & 0xC0) == 0x80;
    i += n;
  }
  if (valid) return s;
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool QueryTag(px::Operation& op, TIFF* tif, uint32_t tag, VARIANT* value) {
  switch (KindOf(tag)) {
    case TagKind::kUI4:
    case TagKind::kUI2: {
      uint64_t v;
      if (!GetInteger(tif, tag, &v)) return op.Fail(PX_ERR_TIFF_TAG);
      if (KindOf(tag) == TagKind::kUI4) {
        value->vt = VT_UI4;
        value->ulVal = uint32_t(v);
      } else {
        value->vt = VT_UI2;
        value->uiVal = uint16_t(v);
      }
      return true;
    }
    case TagKind::kR4: {
      float v;
      if (!TIFFGetField(tif, tag, &v)) return op.Fail(PX_ERR_TIFF_TAG);
      value->vt = VT_R4;
      value->fltVal = v;
      return true;
    }
    case TagKind::kText: {
      value->vt = VT_BSTR;
      value->bstrVal = nullptr;
      char* text = nullptr;
      if (!TIFFGetField(tif, tag, &text) || !text) return op.Fail(PX_ERR_TIFF_TAG);
      value->bstrVal = SysAllocString(TextToUTF8(text).c_str());
      return value->bstrVal ? true : op.Fail(PX_ERR_NO_MEMORY);
    }
    case TagKind::kUI2Array: {
      uint16_t count = 0;
      uint16_t* values = nullptr;
      if (!TIFFGetField(tif, tag, &count, &values)) return op.Fail(PX_ERR_TIFF_TAG);
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI2, 0, count);
      if (!array) return op.Fail(PX_ERR_NO_MEMORY);
      for (uint16_t i = 0; i < count; ++i) static_cast<uint16_t*>(array->data)[i] = values[i];
      value->vt = VT_ARRAY | VT_UI2;
      value->parray = array;
      return true;
    }
    case TagKind::kUnsupported:
      break;
  }
  value->vt = VT_NULL;
  return op.Fail(PX_ERR_TIFF_TAG);
}

/* ---- Reading ---------------------------------------------------------------------------- */

// The depth a packed DIB of the page is made in.
uint32_t DIBDepth(const PageInfo& p) {
  if (p.bitsPerSample == 1 && p.colorSamples() == 1 && !p.separate()) return 1;
  if (p.bitsPerSample <= 8 && p.samplesPerPixel == 1) return 8;
  if (p.bitsPerSample > 16 || p.samplesPerPixel != 1) return p.samplesPerPixel == 3 ? 24 : 32;
  return p.photometric <= PHOTOMETRIC_MINISBLACK ? 8 : 32;
}

BYTE* ReadPage(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, uint32_t depth,
               RGBQUAD* palette, uint32_t pageNumber, uint32_t flags) {
  pxtiff::ReadRequest request;
  request.dib = flags & PX_READ_PACKED_DIB;
  request.flags = flags;
  if (!request.dib) {
    if (depth != 1 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
      return op.SetError(PX_ERR_PARAMETER), nullptr;
    if ((depth == 1 || depth == 8) && !palette) return op.SetError(PX_ERR_PARAMETER), nullptr;
    request.palette = palette;
  }
  Page page;
  if (!OpenPage(op, page, io, pageNumber)) return nullptr;
  const PageInfo info = PageInfo::Read(page.tif());
  request.depth = request.dib ? DIBDepth(info) : depth;
  if (int e = pxtiff::CheckHeader(info, request)) return op.SetError(e), nullptr;
  switch (request.depth) {
    case 1:
      return pxtiff::ReadBilevel(op, page.tif(), info, request, width, height);
    case 8:
      return pxtiff::ReadIndexed(op, page.tif(), info, request, width, height);
    case 16:
      return pxtiff::ReadGrey16(op, page.tif(), info, request, width, height);
    default:
      return pxtiff::ReadRGBA(op, page.tif(), info, request, width, height);
  }
}

uint32_t CountPages(px::Operation& op, CPXIO& io) {
  Page page;
  if (int e = page.OpenFile(io.handle())) return op.SetError(e), 0;
  // libtiff counts a directory only when the link to the next one can be read as well.
  // A file cut off inside the last directory's link (many writers put the directory
  // last) would lose its last page, and a single-page file would have none, though
  // each page reads: the page after the counted ones is tried too.
  uint32_t count = TIFFNumberOfDirectories(page.tif());
  if (count < 65535 && TIFFSetDirectory(page.tif(), tdir_t(count))) ++count;
  return count;
}

bool ReadDimensions(px::Operation& op, CPXIO& io, uint32_t pageNumber, uint32_t* width,
                    uint32_t* height, uint32_t* bitsPerPixel, PXResolution* resolution) {
  Page page;
  if (!OpenPage(op, page, io, pageNumber)) return false;
  const PageInfo info = PageInfo::Read(page.tif());
  *width = info.width;
  *height = info.height;
  *bitsPerPixel = info.bitsPerPixel();
  if (resolution) *resolution = info.dimensionResolution();
  return true;
}

bool ReadTag(px::Operation& op, CPXIO& io, uint32_t pageNumber, uint32_t tag, VARIANT* value) {
  VariantInit(value);
  Page page;
  if (!OpenPage(op, page, io, pageNumber)) return false;
  return QueryTag(op, page.tif(), tag, value);
}

}  // namespace

extern "C" uint32_t PXGetTIFFPageCount(PXSource source) {
  return px::RunEntry<uint32_t>(source, 0, {},
                                [&](px::Operation& op, CPXIO& io) { return CountPages(op, io); });
}

extern "C" BOOL PXGetTIFFDimensions(PXSource source, uint32_t pageNumber, uint32_t* width,
                                    uint32_t* height, uint32_t* bitsPerPixel,
                                    PXResolution* resolution) {
  return px::RunEntry<BOOL>(
      source, FALSE, {width, height, bitsPerPixel}, [&](px::Operation& op, CPXIO& io) {
        return ReadDimensions(op, io, pageNumber, width, height, bitsPerPixel, resolution);
      });
}

extern "C" BOOL PXGetTIFFTag(PXSource source, uint32_t pageNumber, uint32_t tag, VARIANT* value) {
  return px::RunEntry<BOOL>(source, FALSE, {value}, [&](px::Operation& op, CPXIO& io) {
    return ReadTag(op, io, pageNumber, tag, value);
  });
}

extern "C" BYTE* PXReadTIFF(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                            RGBQUAD* palette, uint32_t page, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadPage(op, io, width, height, depth, palette, page, flags);
  });
}
