// TIFF pages taken over as they are stored: the source page's strips or tiles become an
// encoded page with the tags that decode them, so the writer appends them untouched.
// Whatever the directory says is checked against the file first: a strip outside it, a
// strip count that disagrees with the page's size or cut JPEG tables make the page not
// copyable, and the caller converts it instead.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "pixolith/px_tiff.h"
#include "readers/tiff/tiff_page.h"
#include "writers/tiff/jpeg_stream.h"
#include "writers/tiff/stored_survey.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

uint64_t Unpack(const uint8_t* p, int bytes, bool bigEndian) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p[bigEndian ? bytes - 1 - i : i]) << (8 * i);
  return v;
}

bool IsWritableCompression(uint16_t c) {
  switch (c) {
    case COMPRESSION_NONE:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW:
    case COMPRESSION_JPEG:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_DEFLATE:
      return true;
    default:
      return false;
  }
}

bool IsCopyableLayout(const StoredTags& t) {
  const uint16_t ph = t.photometric;
  if (t.samplesPerPixel == 1 && t.bitsPerSample == 1)
    return ph == PHOTOMETRIC_MINISWHITE || ph == PHOTOMETRIC_MINISBLACK;
  if (t.samplesPerPixel == 1 && t.bitsPerSample == 8)
    return ph == PHOTOMETRIC_MINISWHITE || ph == PHOTOMETRIC_MINISBLACK ||
           ph == PHOTOMETRIC_PALETTE;
  if (t.samplesPerPixel == 3 && t.bitsPerSample == 8)
    return ph == PHOTOMETRIC_RGB || (ph == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG);
  return false;
}

namespace {

// A source TIFF opened for copying, with one page selected. Strip chopping is off: the
// strips are the file's own.
class StoredFile {
 public:
  StoredFile() = default;
  StoredFile(const StoredFile&) = delete;
  StoredFile& operator=(const StoredFile&) = delete;

  // 0, PX_ERR_FILE_READ, PX_ERR_BAD_TIFF, or PX_ERR_PARAMETER for a page it does not have.
  int Open(PXSource source, uint32_t frame) {
    io_ = CPXIO(source);
    if (!io_.Rewind() || !io_.Size(&size_)) return PX_ERR_FILE_READ;
    tif_.Reset(pxtiff::OpenClient(&io_, "rc"));
    if (!tif_) return PX_ERR_BAD_TIFF;
    // The first directory is read on opening.
    if (TIFFCurrentDirectory(tif_.get()) != tdir_t(frame) &&
        !TIFFSetDirectory(tif_.get(), tdir_t(frame)))
      return PX_ERR_PARAMETER;
    return PX_OK;
  }
  TIFF* tif() const { return tif_.get(); }
  CPXIO& io() { return io_; }
  uint64_t size() const { return size_; }

 private:
  CPXIO io_;
  pxtiff::ClientTIFF tif_;
  uint64_t size_ = 0;
};

// The strip or tile offsets and byte counts as the directory stores them. libtiff mends
// what it finds wrong (pads or cuts arrays to the size the page needs, estimates byte
// counts it does not believe), and a page it had to mend is not copied.
struct StoredStriles {
  std::vector<uint64_t> offsets;
  std::vector<uint64_t> byteCounts;
};

// One directory entry's array of SHORT, LONG or LONG8 values; false when it cannot be
// read or holds more than `most` values.
bool ReadEntryValues(CPXIO& io, const uint8_t* entry, bool big, bool bigEndian, uint64_t most,
                     std::vector<uint64_t>* values) {
  const int valueBytes = big ? 8 : 4;
  const uint64_t type = Unpack(entry + 2, 2, bigEndian);
  const uint64_t count = Unpack(entry + 4, valueBytes, bigEndian);
  const int size = type == TIFF_SHORT ? 2 : type == TIFF_LONG ? 4 : type == TIFF_LONG8 ? 8 : 0;
  if (!size || count > most) return false;
  std::vector<uint8_t> raw(size_t(count) * size_t(size));
  const uint8_t* field = entry + 4 + valueBytes;
  if (raw.size() <= size_t(valueBytes)) {
    std::copy(field, field + raw.size(), raw.begin());
  } else {
    const uint64_t at = Unpack(field, valueBytes, bigEndian);
    if (at > INT64_MAX || !io.Seek(int64_t(at), PX_SEEK_SET) ||
        !io.ReadExactly(raw.data(), raw.size()))
      return false;
  }
  values->resize(size_t(count));
  for (size_t i = 0; i < values->size(); ++i)
    (*values)[i] = Unpack(raw.data() + i * size_t(size), size, bigEndian);
  return true;
}

bool ReadStoredStriles(StoredFile& file, bool tiled, uint64_t most, StoredStriles* out) {
  TIFF* tif = file.tif();
  const bool big = TIFFIsBigTIFF(tif), bigEndian = TIFFIsBigEndian(tif);
  const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12;
  const uint16_t offsetTag = tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS;
  const uint16_t countTag = tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS;
  const uint64_t directory = TIFFCurrentDirOffset(tif);
  uint8_t head[8];
  if (directory > INT64_MAX || !file.io().Seek(int64_t(directory), PX_SEEK_SET) ||
      !file.io().ReadExactly(head, size_t(countBytes)))
    return false;
  const uint64_t entries = Unpack(head, countBytes, bigEndian);
  if (entries > 4096) return false;
  std::vector<uint8_t> table(size_t(entries) * size_t(entryBytes));
  if (!file.io().ReadExactly(table.data(), table.size())) return false;
  bool haveOffsets = false, haveCounts = false;
  for (uint64_t i = 0; i < entries; ++i) {
    const uint8_t* entry = table.data() + i * uint64_t(entryBytes);
    const uint64_t tag = Unpack(entry, 2, bigEndian);
    if (tag == offsetTag && !haveOffsets)
      haveOffsets = ReadEntryValues(file.io(), entry, big, bigEndian, most, &out->offsets);
    else if (tag == countTag && !haveCounts)
      haveCounts = ReadEntryValues(file.io(), entry, big, bigEndian, most, &out->byteCounts);
  }
  return haveOffsets && haveCounts;
}

// A field's value, or `fallback` when the page does not have it.
template <class T>
T FieldOr(TIFF* tif, uint32_t tag, T fallback) {
  T value = fallback;
  return TIFFGetField(tif, tag, &value) ? value : fallback;
}

// Reads the decoding tags of the selected page; false when a tag rules copying out.
bool ReadStoredTags(TIFF* tif, StoredTags* t) {
  t->compression = FieldOr<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  const bool ccitt = t->compression == COMPRESSION_CCITTRLE ||
                     t->compression == COMPRESSION_CCITTFAX3 ||
                     t->compression == COMPRESSION_CCITTFAX4;
  // A missing Photometric tag is read as the reader assumes it; the copy states it.
  t->photometric = FieldOr<uint16_t>(tif, TIFFTAG_PHOTOMETRIC,
                                     ccitt ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
  t->bitsPerSample = FieldOr<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  t->samplesPerPixel = FieldOr<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  t->planar = FieldOr<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  t->fillOrder = FieldOr<uint16_t>(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  if (!IsWritableCompression(t->compression) || !IsCopyableLayout(*t)) return false;
  if (t->planar != PLANARCONFIG_CONTIG && t->planar != PLANARCONFIG_SEPARATE) return false;
  if (t->fillOrder != FILLORDER_MSB2LSB && t->fillOrder != FILLORDER_LSB2MSB) return false;
  // The output is written top-left and of unsigned samples; the reader turns a page by
  // its Orientation, which the copy would lose.
  if (FieldOr<uint16_t>(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) != ORIENTATION_TOPLEFT ||
      FieldOr<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT)
    return false;
  uint16_t extra = 0;
  uint16_t* extraTypes = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes) && extra) return false;
  if (t->compression == COMPRESSION_LZW || t->compression == COMPRESSION_DEFLATE) {
    t->predictor = FieldOr<uint16_t>(tif, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
    if (t->predictor != PREDICTOR_NONE && t->predictor != PREDICTOR_HORIZONTAL) return false;
  }
  if (t->compression == COMPRESSION_CCITTFAX3)
    t->hasT4Options = TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &t->t4Options);
  if (t->compression == COMPRESSION_CCITTFAX4)
    t->hasT6Options = TIFFGetField(tif, TIFFTAG_GROUP4OPTIONS, &t->t6Options);
  if (t->photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return false;
    const size_t n = size_t(1) << t->bitsPerSample;
    t->colorMap.assign(r, r + n);
    t->colorMap.insert(t->colorMap.end(), g, g + n);
    t->colorMap.insert(t->colorMap.end(), b, b + n);
  }
  if (t->compression == COMPRESSION_JPEG) {
    uint32_t count = 0;
    void* tables = nullptr;
    if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables) && count) {
      const auto* bytes = static_cast<const uint8_t*>(tables);
      if (!tables || !CompleteJPEGTables(bytes, count)) return false;
      t->jpegTables.assign(bytes, bytes + count);
    }
  }
  if (t->photometric == PHOTOMETRIC_YCBCR) {
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &t->subsampling[0],
                               &t->subsampling[1]))
      return false;
    t->positioning = FieldOr<uint16_t>(tif, TIFFTAG_YCBCRPOSITIONING, YCBCRPOSITION_CENTERED);
    float* coefficients = nullptr;
    if (TIFFGetField(tif, TIFFTAG_YCBCRCOEFFICIENTS, &coefficients) && coefficients) {
      t->hasCoefficients = true;
      std::memcpy(t->coefficients, coefficients, sizeof t->coefficients);
    }
  }
  float* reference = nullptr;
  if (TIFFGetField(tif, TIFFTAG_REFERENCEBLACKWHITE, &reference) && reference) {
    t->hasReferenceBlackWhite = true;
    std::memcpy(t->referenceBlackWhite, reference, sizeof t->referenceBlackWhite);
  }
  return true;
}

// The bytes an uncompressed strip or tile must hold.
uint64_t RawStrileBytes(TIFF* tif, bool tiled, uint32_t index, uint32_t height,
                        uint32_t rowsPerStrip) {
  if (tiled) return uint64_t(TIFFTileSize64(tif));
  // Separate planes each have their strips, one plane after the other.
  const uint32_t perPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
  const uint32_t first = (index % perPlane) * rowsPerStrip;
  return uint64_t(TIFFVStripSize64(tif, std::min(rowsPerStrip, height - first)));
}

// Checks that the page's strips or tiles are where and as many as its tags say; false
// when any is not.
bool SurveyStriles(StoredFile& file, StoredSurvey* s) {
  TIFF* tif = file.tif();
  const uint32_t height = s->stored.height;
  uint32_t rowsPerStrip = height;
  if (s->tiled) {
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &s->tags.tileWidth) ||
        !TIFFGetField(tif, TIFFTAG_TILELENGTH, &s->tags.tileLength) || !s->tags.tileWidth ||
        !s->tags.tileLength || s->tags.tileWidth % 16 || s->tags.tileLength % 16)
      return false;
  } else {
    rowsPerStrip = std::min(FieldOr<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, height), height);
    if (!rowsPerStrip) return false;
    s->tags.rowsPerStrip = rowsPerStrip;
  }
  const uint32_t count = s->tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  StoredStriles stored;
  if (!count || !ReadStoredStriles(file, s->tiled, count, &stored) ||
      stored.offsets.size() != count || stored.byteCounts.size() != count)
    return false;
  const uint64_t fileSize = file.size();
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t offset = TIFFGetStrileOffset(tif, i);
    uint64_t bytes = TIFFGetStrileByteCount(tif, i);
    if (offset != stored.offsets[i] || bytes != stored.byteCounts[i]) return false;
    if (!bytes || offset < 8 || offset > fileSize || bytes > fileSize - offset) return false;
    if (s->tags.compression == COMPRESSION_NONE) {
      // Uncompressed data must fill its strip; what lies beyond is not the page's.
      const uint64_t need = RawStrileBytes(tif, s->tiled, i, height, rowsPerStrip);
      if (!need || bytes < need) return false;
      bytes = need;
    }
    if (s->tags.compression == COMPRESSION_JPEG) {
      uint8_t soi[2];
      if (!file.io().Seek(int64_t(offset), PX_SEEK_SET) || !file.io().ReadExactly(soi, 2) ||
          soi[0] != 0xFF || soi[1] != 0xD8)
        return false;
    }
    s->striles.push_back({offset, bytes});
  }
  return true;
}

// Surveys the selected page: its facts always, copyable only when everything agrees.
void SurveyPage(StoredFile& file, StoredSurvey* s) {
  TIFF* tif = file.tif();
  PXStoredPage& p = s->stored;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
  const uint16_t bits = FieldOr<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  const uint16_t samples = FieldOr<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  p.bitsPerPixel = uint32_t(bits) * samples;
  p.compression = FieldOr<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  uint16_t extra = 0;
  uint16_t* extraTypes = nullptr;
  p.transparent = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes) && extra;
  p.resolution = pxtiff::PageInfo::Read(tif).dimensionResolution();
  s->tiled = TIFFIsTiled(tif);
  p.copyable = p.width && p.height && p.width <= INT32_MAX && p.height <= INT32_MAX &&
               ReadStoredTags(tif, &s->tags) && SurveyStriles(file, s);
}

}  // namespace

// Reads the surveyed striles into `out`; 0 or PX_ERR_FILE_READ. Striles that follow
// one another in the file, as most writers store them, are read in one go.
int TakeStriles(CPXIO& io, const std::vector<Strile>& striles, EncodedPage* out) {
  uint64_t total = 0;
  for (const Strile& s : striles) total += s.bytes;
  if (total > PX_MAX_GLOBAL_BLOCK) return PX_ERR_NO_MEMORY;
  out->data.resize(size_t(total));
  out->ends.clear();
  out->ends.reserve(striles.size());
  size_t at = 0;
  for (size_t i = 0; i < striles.size();) {
    size_t j = i + 1;
    uint64_t run = striles[i].bytes;
    while (j < striles.size() && striles[j].offset == striles[i].offset + run)
      run += striles[j++].bytes;
    if (!io.Seek(int64_t(striles[i].offset), PX_SEEK_SET) ||
        !io.ReadExactly(out->data.data() + at, size_t(run)))
      return PX_ERR_FILE_READ;
    for (; i < j; ++i) {
      at += size_t(striles[i].bytes);
      out->ends.push_back(at);
    }
  }
  return PX_OK;
}

// The encoded page's description of a page taken over: size and resolution.
void DescribeStored(const PXStoredPage& stored, const PXResolution* resolution, uint32_t flags,
                    EncodedPage* out) {
  out->layout = PageSpec();
  out->layout.width = stored.width;
  out->layout.height = stored.height;
  out->layout.bitsPerPixel = stored.bitsPerPixel;
  out->layout.compression = stored.compression;
  if (resolution) out->layout.resolution = *resolution;
  out->flags = flags;
  out->stored = true;
}

}  // namespace pxtiffw

using namespace pxtiffw;

namespace pxtiffw {

int SurveyWithLibTIFF(PXSource source, uint32_t frame, StoredSurvey* out) {
  StoredFile file;
  if (int error = file.Open(source, frame)) return error;
  SurveyPage(file, out);
  return PX_OK;
}

}  // namespace pxtiffw

namespace {

// The direct survey, for sources held in memory and files read as sources; false when
// it does not decide the page.
bool SurveyDirectly(PXSource source, uint32_t frame, StoredSurvey* survey) {
  if (source->kind == px::kHandleMemory)
    return SurveyCopyableDirectly(source->memData, source->memSize, frame, survey);
  CPXIO io(source);
  return source->sourceFile && SurveyCopyableDirectly(io, frame, survey);
}

}  // namespace

extern "C" BOOL PXGetTIFFStoredPage(PXSource source, uint32_t frame, PXStoredPage* stored) {
  px::Operation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  if (!stored) return op.SetError(PX_ERR_PARAMETER), FALSE;
  try {
    StoredSurvey survey;
    if (!SurveyDirectly(source, frame, &survey))
      if (int error = SurveyWithLibTIFF(source, frame, &survey)) return op.SetError(error), FALSE;
    *stored = survey.stored;
    return op.SetError(PX_OK), TRUE;
  } catch (const std::bad_alloc&) {
    return op.SetError(PX_ERR_NO_MEMORY), FALSE;
  }
}

extern "C" PXTIFFEncodedPage* PXCopyTIFFPageIf(PXSource source, uint32_t frame,
                                               const PXResolution* resolution, uint32_t flags,
                                               PXStoredPageFilter accept, void* user) {
  px::Operation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  try {
    StoredFile file;
    StoredSurvey survey;
    CPXIO io(source);
    if (!SurveyDirectly(source, frame, &survey)) {
      if (int error = file.Open(source, frame)) return op.SetError(error), nullptr;
      SurveyPage(file, &survey);
    }
    if (!survey.stored.copyable) return op.SetError(PX_ERR_PARAMETER), nullptr;
    if (accept && !accept(&survey.stored, user)) return op.SetError(PX_OK), nullptr;
    auto encoded = std::make_unique<PXTIFFEncodedPage>();
    EncodedPage& page = encoded->page;
    if (int error = TakeStriles(io, survey.striles, &page)) return op.SetError(error), nullptr;
    DescribeStored(survey.stored, resolution, flags, &page);
    page.tiled = survey.tiled;
    page.storedTags = std::move(survey.tags);
    op.SetError(PX_OK);
    return encoded.release();
  } catch (const std::bad_alloc&) {
    return op.SetError(PX_ERR_NO_MEMORY), nullptr;
  }
}

extern "C" PXTIFFEncodedPage* PXCopyTIFFPage(PXSource source, uint32_t frame,
                                             const PXResolution* resolution, uint32_t flags) {
  return PXCopyTIFFPageIf(source, frame, resolution, flags, nullptr, nullptr);
}
