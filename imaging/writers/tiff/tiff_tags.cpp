// The tags of a written page: its depth, the common ones, the thread's metadata blocks and
// the caller-defined tags.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pixolith/px_tiff.h"
#include "writers/tiff/stored_writer.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

namespace {

// 8-bit colour components become 16-bit colour-map values spanning the same range.
constexpr uint16_t ColorMapValue(uint8_t c) {
  return uint16_t(c * 257);
}

bool UsesPredictor(uint32_t bits, uint32_t compression, uint32_t flags) {
  if (!(flags & PX_TIFF_WRITE_PREDICTOR)) return false;
  if (compression != COMPRESSION_LZW && compression != COMPRESSION_ADOBE_DEFLATE &&
      compression != COMPRESSION_DEFLATE)
    return false;
  // libtiff differences whole bytes only: on 4-bit samples it would refuse the page, and
  // the predictor never changes the pixels, so such pages simply go without.
  return bits != 1 && bits != 4;
}

void SetDepthTags(TIFF* tif, const PageSpec& page, uint32_t compression, uint32_t flags,
                  const px::TIFFWriteOptions& options) {
  const uint32_t bits = page.bitsPerPixel;
  const uint16_t samples = bits == 24 ? 3 : bits == 32 ? 4 : 1;
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits / samples));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  switch (bits) {
    case 1:
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                   (flags & PX_TIFF_WRITE_1BIT_MINISBLACK) ? PHOTOMETRIC_MINISBLACK
                                                           : PHOTOMETRIC_MINISWHITE);
      break;
    case 4:
    case 8:
      if (compression == COMPRESSION_JPEG || (flags & PX_TIFF_WRITE_GRAY)) {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      } else {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        const size_t n = size_t(1) << bits;
        std::vector<uint16_t> map(3 * n);
        for (size_t i = 0; i < n; ++i) {
          map[i] = ColorMapValue(page.palette[i].rgbRed);
          map[n + i] = ColorMapValue(page.palette[i].rgbGreen);
          map[2 * n + i] = ColorMapValue(page.palette[i].rgbBlue);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
      }
      break;
    case 16:
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      break;
    case 24:
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      break;
    case 32:
      if (flags & PX_TIFF_WRITE_CMYK) {
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
      } else {
        const uint16_t extra[1] = {EXTRASAMPLE_ASSOCALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
      }
      break;
  }
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(compression));
  if (UsesPredictor(bits, compression, flags))
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (compression == COMPRESSION_JPEG) {
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, options.jpegQuality);
    TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);  // complete tables in every strip
  }
}

// Size, orientation, resolution and Software: what every page says of itself.
void SetDescriptiveTags(px::Operation& op, TIFF* tif, const PageSpec& page,
                        const px::TIFFWriteOptions& options) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, options.orientation);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, int(page.resolution.unit));
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(float(page.resolution.x)));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(float(page.resolution.y)));
  TIFFSetField(tif, TIFFTAG_SOFTWARE, SoftwareText(op, options).c_str());
}

void SetMetadataBlocks(TIFF* tif, const px::TIFFWriteOptions& options) {
  const struct {
    uint32_t tag;
    const std::vector<uint8_t>& block;
  } blocks[] = {{TIFFTAG_XMLPACKET, options.xmp},
                {32932, options.annotations},
                {TIFFTAG_RICHTIFFIPTC, options.iptc},
                {TIFFTAG_ICCPROFILE, options.icc},
                {TIFFTAG_PHOTOSHOP, options.photoshop}};
  for (const auto& b : blocks)
    if (!b.block.empty()) TIFFSetField(tif, b.tag, uint32_t(b.block.size()), b.block.data());
}

void SetCommonTags(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags,
                   const px::TIFFWriteOptions& options) {
  SetDescriptiveTags(op, tif, page, options);
  if (flags & PX_TIFF_WRITE_TILES) {
    uint32_t tileWidth = options.tileWidth, tileLength = options.tileLength;
    TIFFDefaultTileSize(tif, &tileWidth, &tileLength);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tileWidth);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tileLength);
  } else {
    uint32_t rows;
    if (page.compression == COMPRESSION_JPEG)
      rows = page.height;
    else if (options.rowsPerStrip == -1)
      rows = TIFFDefaultStripSize(tif, 0);
    else
      rows = options.rowsPerStrip >= 1 ? uint32_t(options.rowsPerStrip) : 1;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
  }
  SetMetadataBlocks(tif, options);
}

// The tags that decode a page taken over as it is stored. The compression goes first:
// the codec's own tags (T4 and T6 options, JPEG tables) exist only once it is set.
void SetDecodingTags(TIFF* tif, const StoredTags& t, bool tiled) {
  TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, t.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, t.samplesPerPixel);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, t.planar);
  if (t.fillOrder != FILLORDER_MSB2LSB) TIFFSetField(tif, TIFFTAG_FILLORDER, t.fillOrder);
  if (t.predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, t.predictor);
  if (t.hasT4Options) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, t.t4Options);
  if (t.hasT6Options) TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, t.t6Options);
  if (!t.colorMap.empty()) {
    const size_t n = t.colorMap.size() / 3;
    const uint16_t* map = t.colorMap.data();
    TIFFSetField(tif, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
  }
  if (t.compression == COMPRESSION_JPEG) {
    // The strips carry what they need; only a source's shared tables are written.
    TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);
    if (!t.jpegTables.empty())
      TIFFSetField(tif, TIFFTAG_JPEGTABLES, uint32_t(t.jpegTables.size()), t.jpegTables.data());
  }
  if (t.photometric == PHOTOMETRIC_YCBCR) {
    TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, t.subsampling[0], t.subsampling[1]);
    TIFFSetField(tif, TIFFTAG_YCBCRPOSITIONING, t.positioning);
    if (t.hasCoefficients) TIFFSetField(tif, TIFFTAG_YCBCRCOEFFICIENTS, t.coefficients);
  }
  if (t.hasReferenceBlackWhite)
    TIFFSetField(tif, TIFFTAG_REFERENCEBLACKWHITE, t.referenceBlackWhite);
  if (tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, t.tileWidth);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, t.tileLength);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.rowsPerStrip);
  }
}

/* ---- Caller-defined tags ---------------------------------------------------------------- */

// Tags that describe the layout of the data; the writer alone sets them.
bool Reserved(uint32_t tag) {
  return (tag >= 256 && tag <= 259) || tag == 262 || tag == 273 || (tag >= 277 && tag <= 279) ||
         tag == 284 || tag == 347 || (tag >= 512 && tag <= 515) || (tag >= 517 && tag <= 521) ||
         (tag >= 529 && tag <= 531);
}

// The variant type the values of a TIFF field type are held in; VT_EMPTY for field types
// the list cannot write.
VARTYPE ValueType(int fieldType) {
  switch (fieldType) {
    case TIFF_BYTE:
    case TIFF_ASCII:
    case TIFF_UNDEFINED:
      return VT_UI1;
    case TIFF_SHORT:
      return VT_UI2;
    case TIFF_SSHORT:
      return VT_I2;
    case TIFF_LONG:
      return VT_UI4;
    case TIFF_SLONG:
      return VT_I4;
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_FLOAT:
      return VT_R4;
    case TIFF_DOUBLE:
      return VT_R8;
    default:
      return VT_EMPTY;
  }
}

// Bytes of one value as libtiff stores the field type (rationals are given as floats).
int NaturalSize(int fieldType) {
  switch (ValueType(fieldType)) {
    case VT_UI1:
      return 1;
    case VT_UI2:
    case VT_I2:
      return 2;
    case VT_R8:
      return 8;
    default:
      return 4;
  }
}

double AsDouble(const VARIANT& v) {
  switch (v.vt) {
    case VT_UI1:
      return v.bVal;
    case VT_UI2:
      return v.uiVal;
    case VT_I2:
      return v.iVal;
    case VT_UI4:
      return v.ulVal;
    case VT_I4:
      return v.lVal;
    case VT_R4:
      return v.fltVal;
    default:
      return v.dblVal;
  }
}

// The values packed as libtiff reads an array of them: elements of `size` bytes.
std::vector<uint8_t> Pack(const px::TIFFExtraTag& entry, size_t count, int size) {
  std::vector<uint8_t> out(count * size_t(size));
  for (size_t i = 0; i < count; ++i) {
    const VARIANT& v = entry.values[i];
    uint8_t* p = out.data() + i * size;
    if (v.vt == VT_R4 && size == 4) {
      std::memcpy(p, &v.fltVal, 4);
    } else if (v.vt == VT_R4 || v.vt == VT_R8) {
      const double d = AsDouble(v);
      std::memcpy(p, &d, 8);
    } else if (size == 1) {
      *p = v.bVal;
    } else if (size == 2) {
      std::memcpy(p, &v.uiVal, 2);
    } else {
      std::memcpy(p, &v.ulVal, 4);
    }
  }
  return out;
}

// Hands one entry to libtiff in the calling form its field takes. False when libtiff
// refuses it.
bool SetEntry(TIFF* tif, const TIFFField* field, const px::TIFFExtraTag& entry) {
  const uint32_t tag = entry.tag;
  const int writeCount = TIFFFieldWriteCount(field);
  const int size = TIFFFieldSetGetSize(field);
  if (entry.fieldType == TIFF_ASCII) {
    std::string text;
    for (uint32_t i = 0; i < entry.count && entry.values[i].bVal; ++i)
      text.push_back(char(entry.values[i].bVal));
    if (!TIFFFieldPassCount(field)) return TIFFSetField(tif, tag, text.c_str());
    return TIFFSetField(tif, tag, uint32_t(text.size() + 1), text.c_str());
  }
  if (TIFFFieldPassCount(field)) {
    if (TIFFFieldSetGetCountSize(field) == 2 && entry.count > 0xFFFF) return false;
    const std::vector<uint8_t> values = Pack(entry, entry.count, size);
    return TIFFSetField(tif, tag, entry.count, values.data());
  }
  if (writeCount >= 2) {
    // Short pairs (PageNumber, HalftoneHints, DotRange) are two arguments; other fixed
    // counts an array.
    if (entry.fieldType == TIFF_SHORT && writeCount == 2 && size == 4)
      return TIFFSetField(tif, tag, int(entry.values[0].uiVal), int(entry.values[1].uiVal));
    const std::vector<uint8_t> values = Pack(entry, size_t(writeCount), size);
    return TIFFSetField(tif, tag, values.data());
  }
  // One value, passed by value.
  const VARIANT& v = entry.values[0];
  switch (v.vt) {
    case VT_UI4:
      return TIFFSetField(tif, tag, v.ulVal);
    case VT_I4:
      return TIFFSetField(tif, tag, v.lVal);
    case VT_R4:
    case VT_R8:
      return TIFFSetField(tif, tag, AsDouble(v));
    default:
      return TIFFSetField(tif, tag, int(AsDouble(v)));
  }
}

// 0, or 5 with the reason traced.
int SetExtraTags(TIFF* tif, const std::vector<px::TIFFExtraTag>& entries) {
  for (const px::TIFFExtraTag& entry : entries) {
    if (Reserved(entry.tag)) {
      px::Trace("Writing of tag %d is not permitted", int(entry.tag));
      continue;
    }
    const VARTYPE valueType = ValueType(entry.fieldType);
    if (valueType == VT_EMPTY) break;
    if (entry.values.size() < entry.count || entry.count == 0) {
      px::Trace("Not enough data elements in TIFF tag\n");
      return PX_ERR_PARAMETER;
    }
    // Pseudo-tags steer libtiff itself, and the colour map and transfer function take a
    // calling form the list cannot give; the writer owns the colour map in any case.
    const TIFFField* any = entry.tag <= 0xFFFF && entry.tag != TIFFTAG_COLORMAP &&
                                   entry.tag != TIFFTAG_TRANSFERFUNCTION
                               ? TIFFFindField(tif, entry.tag, TIFF_ANY)
                               : nullptr;
    if (!any) {
      px::Trace("Unsupported TIFF tag\n");
      return PX_ERR_PARAMETER;
    }
    const TIFFField* field = TIFFFindField(tif, entry.tag, TIFFDataType(entry.fieldType));
    const int size = field ? TIFFFieldSetGetSize(field) : 0;
    const bool sizeOk =
        size == NaturalSize(entry.fieldType) || (valueType == VT_R4 && size == 8) ||
        (entry.fieldType == TIFF_SHORT && size == 4 && TIFFFieldWriteCount(field) == 2) ||
        entry.fieldType == TIFF_ASCII;
    if (!field || !sizeOk) {
      px::Trace("Incorrect TIFF tag data type\n");
      return PX_ERR_PARAMETER;
    }
    if (TIFFFieldWriteCount(field) > 0 && uint32_t(TIFFFieldWriteCount(field)) > entry.count) {
      px::Trace("Incorrect TIFF tag data count\n");
      return PX_ERR_PARAMETER;
    }
    for (uint32_t i = 0; i < entry.count; ++i) {
      if (entry.values[i].vt != valueType) {
        px::Trace("Bad Variant type in TIFF tag\n");
        return PX_ERR_PARAMETER;
      }
    }
    if (!SetEntry(tif, field, entry)) return PX_ERR_PARAMETER;
  }
  return PX_OK;
}

}  // namespace

int SetPageTags(px::Operation& op, TIFF* tif, const PageSpec& page, uint32_t flags) {
  const px::TIFFWriteOptions& options = op.state().tiffWrite;
  SetDepthTags(tif, page, MapCompression(page.bitsPerPixel, page.compression), flags, options);
  SetCommonTags(op, tif, page, flags, options);
  return SetExtraTags(tif, options.extraTags);
}

int SetStoredPageTags(px::Operation& op, TIFF* tif, const EncodedPage& page) {
  const px::TIFFWriteOptions& options = op.state().tiffWrite;
  SetDecodingTags(tif, page.storedTags, page.tiled);
  SetDescriptiveTags(op, tif, page.layout, options);
  SetMetadataBlocks(tif, options);
  return SetExtraTags(tif, options.extraTags);
}

}  // namespace pxtiffw
