// The direct survey of a stored TIFF page: its directory read from the file's bytes,
// classic or BigTIFF, either byte order. It decides only pages libtiff would read exactly
// as the directory states them, and leaves the rest to libtiff's survey: where libtiff
// assumes a missing value, mends a count, refuses a value or consults the data (JPEG
// pages, uncompressed strips), this survey does not try to agree with it.
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <utility>

#include "readers/tiff/tiff_page.h"
#include "writers/tiff/stored_survey.h"

namespace pxtiffw {

namespace {

// The tags the survey reads; a directory that holds any other tag libtiff interprets for
// decoding (extra samples, image depth, reference black and white) is left to libtiff.
enum Slot : uint8_t {
  kWidth,
  kLength,
  kBitsPerSample,
  kCompression,
  kPhotometric,
  kFillOrder,
  kStripOffsets,
  kOrientation,
  kSamplesPerPixel,
  kRowsPerStrip,
  kStripByteCounts,
  kXResolution,
  kYResolution,
  kPlanar,
  kT4Options,
  kT6Options,
  kResolutionUnit,
  kPredictor,
  kColorMap,
  kTileWidth,
  kTileLength,
  kTileOffsets,
  kTileByteCounts,
  kSampleFormat,
  kSlots,
  kIgnored,  // tags that do not bear on the copy
  kRefused,  // tags that take libtiff's judgement
};

Slot SlotOf(uint64_t tag) {
  switch (tag) {
    case TIFFTAG_IMAGEWIDTH:
      return kWidth;
    case TIFFTAG_IMAGELENGTH:
      return kLength;
    case TIFFTAG_BITSPERSAMPLE:
      return kBitsPerSample;
    case TIFFTAG_COMPRESSION:
      return kCompression;
    case TIFFTAG_PHOTOMETRIC:
      return kPhotometric;
    case TIFFTAG_FILLORDER:
      return kFillOrder;
    case TIFFTAG_STRIPOFFSETS:
      return kStripOffsets;
    case TIFFTAG_ORIENTATION:
      return kOrientation;
    case TIFFTAG_SAMPLESPERPIXEL:
      return kSamplesPerPixel;
    case TIFFTAG_ROWSPERSTRIP:
      return kRowsPerStrip;
    case TIFFTAG_STRIPBYTECOUNTS:
      return kStripByteCounts;
    case TIFFTAG_XRESOLUTION:
      return kXResolution;
    case TIFFTAG_YRESOLUTION:
      return kYResolution;
    case TIFFTAG_PLANARCONFIG:
      return kPlanar;
    case TIFFTAG_GROUP3OPTIONS:
      return kT4Options;
    case TIFFTAG_GROUP4OPTIONS:
      return kT6Options;
    case TIFFTAG_RESOLUTIONUNIT:
      return kResolutionUnit;
    case TIFFTAG_PREDICTOR:
      return kPredictor;
    case TIFFTAG_COLORMAP:
      return kColorMap;
    case TIFFTAG_TILEWIDTH:
      return kTileWidth;
    case TIFFTAG_TILELENGTH:
      return kTileLength;
    case TIFFTAG_TILEOFFSETS:
      return kTileOffsets;
    case TIFFTAG_TILEBYTECOUNTS:
      return kTileByteCounts;
    case TIFFTAG_SAMPLEFORMAT:
      return kSampleFormat;
    case TIFFTAG_EXTRASAMPLES:
    case TIFFTAG_REFERENCEBLACKWHITE:
    case TIFFTAG_IMAGEDEPTH:
    case TIFFTAG_TILEDEPTH:
      return kRefused;
    default:
      return kIgnored;
  }
}

// Bytes of one value of a field type; 0 for types the survey does not read.
int TypeBytes(uint64_t type) {
  switch (type) {
    case TIFF_SHORT:
      return 2;
    case TIFF_LONG:
      return 4;
    case TIFF_RATIONAL:
      return 8;
    case TIFF_LONG8:
      return 8;
    default:
      return 0;
  }
}

// Far more directories than any file holds; a chain that runs on is looping or broken.
constexpr uint32_t kMostFrames = 65535;
// libtiff's own limit on a directory's entries (it refuses more).
constexpr uint64_t kMostEntries = 4096;

class Directory {
 public:
  Directory(const uint8_t* file, uint64_t size) : file_(file), size_(size) {}

  // Finds directory `frame` and reads its entries; false for anything unusual.
  bool Read(uint32_t frame) {
    if (size_ < 16 || frame > kMostFrames) return false;
    if (file_[0] == 'I' && file_[1] == 'I')
      bigEndian_ = false;
    else if (file_[0] == 'M' && file_[1] == 'M')
      bigEndian_ = true;
    else
      return false;
    const uint64_t version = Get(2, 2);
    uint64_t at;
    if (version == 42) {
      at = Get(4, 4);
    } else if (version == 43 && Get(4, 2) == 8 && Get(6, 2) == 0) {
      big_ = true;
      at = Get(8, 8);
    } else {
      return false;
    }
    const int countBytes = big_ ? 8 : 2, entryBytes = big_ ? 20 : 12, linkBytes = big_ ? 8 : 4;
    for (uint32_t i = 0;; ++i) {
      // A link to the header or back to an earlier directory would loop; libtiff stops.
      if (at < 8 || at > size_ - countBytes) return false;
      const uint64_t entries = Get(at, countBytes);
      if (entries == 0 || entries > kMostEntries) return false;
      const uint64_t end = at + countBytes + entries * entryBytes;
      if (end > size_ - linkBytes) return false;
      if (i == frame) return ReadEntries(at + countBytes, entries, entryBytes);
      const uint64_t next = Get(end, linkBytes);
      if (next <= at) return false;  // chains run forwards in the files decided here
      at = next;
    }
  }

  bool Has(Slot s) const { return entries_[s].present; }

  // A single SHORT (or, where `orLong`, LONG) value; false when absent or otherwise.
  bool One(Slot s, uint32_t* v, bool orLong = false) const {
    const Entry& e = entries_[s];
    if (!e.present || e.count != 1 || !(e.type == TIFF_SHORT || (orLong && e.type == TIFF_LONG)))
      return false;
    *v = uint32_t(Value(e, 0));
    return true;
  }
  // A SHORT value that is absent (`fallback`) or single: false otherwise.
  bool OneOr(Slot s, uint32_t fallback, uint32_t* v, bool orLong = false) const {
    if (!Has(s)) return *v = fallback, true;
    return One(s, v, orLong);
  }
  // A per-sample SHORT: one value, or `samples` equal ones (libtiff takes them as one).
  bool PerSample(Slot s, uint32_t samples, uint32_t fallback, uint32_t* v) const {
    const Entry& e = entries_[s];
    if (!e.present) return *v = fallback, true;
    if (e.type != TIFF_SHORT || (e.count != 1 && e.count != samples)) return false;
    *v = uint32_t(Value(e, 0));
    for (uint64_t i = 1; i < e.count; ++i)
      if (Value(e, i) != *v) return false;
    return true;
  }
  // A single RATIONAL as libtiff keeps it: the quotient as a float, 0 for a zero
  // denominator.
  bool Rational(Slot s, float* v) const {
    const Entry& e = entries_[s];
    if (!e.present) return *v = 0, true;
    if (e.type != TIFF_RATIONAL || e.count != 1) return false;
    const uint64_t num = Get(e.at, 4), den = Get(e.at + 4, 4);
    const double q = den ? double(num) / double(den) : 0.0;
    *v = q > FLT_MAX ? FLT_MAX : float(q);
    return true;
  }
  // An array of `count` SHORT, LONG (or, in BigTIFF, LONG8) values; only SHORT ones
  // where `shorts`.
  bool Array(Slot s, uint64_t count, std::vector<uint64_t>* out, bool shorts = false) const {
    const Entry& e = entries_[s];
    const bool wider = !shorts && (e.type == TIFF_LONG || (big_ && e.type == TIFF_LONG8));
    if (!e.present || e.count != count || !(e.type == TIFF_SHORT || wider)) return false;
    out->resize(size_t(count));
    for (uint64_t i = 0; i < count; ++i) (*out)[size_t(i)] = Value(e, i);
    return true;
  }

 private:
  struct Entry {
    bool present = false;
    uint16_t type = 0;
    uint64_t count = 0;
    uint64_t at = 0;  // where the values lie in the file
  };

  uint64_t Get(uint64_t at, int bytes) const { return Unpack(file_ + at, bytes, bigEndian_); }
  uint64_t Value(const Entry& e, uint64_t i) const {
    const int bytes = TypeBytes(e.type);
    return Get(e.at + i * uint64_t(bytes), bytes);
  }

  bool ReadEntries(uint64_t at, uint64_t entries, int entryBytes) {
    const int valueBytes = big_ ? 8 : 4;
    uint64_t previous = 0;
    for (uint64_t i = 0; i < entries; ++i, at += uint64_t(entryBytes)) {
      const uint64_t tag = Get(at, 2);
      // libtiff sorts or drops what is out of order or repeated, with a warning.
      if (i && tag <= previous) return false;
      previous = tag;
      const Slot slot = SlotOf(tag);
      if (slot == kRefused) return false;
      if (slot == kIgnored) continue;
      Entry& e = entries_[slot];
      e.type = uint16_t(Get(at + 2, 2));
      e.count = Get(at + 4, valueBytes);
      const int bytes = TypeBytes(e.type);
      if (!bytes || e.count == 0 || e.count > size_) return false;
      const uint64_t total = e.count * uint64_t(bytes);
      e.at = at + 4 + valueBytes;
      if (total > uint64_t(valueBytes)) {
        e.at = Get(e.at, valueBytes);
        if (e.at > size_ || total > size_ - e.at) return false;
      }
      e.present = true;
    }
    return true;
  }

  const uint8_t* file_;
  uint64_t size_;
  bool bigEndian_ = false;
  bool big_ = false;
  std::array<Entry, kSlots> entries_{};
};

// The compressions decided here: those the writer writes whose strips libtiff takes as
// stored. Uncompressed strips libtiff may resize, and JPEG pages it reads into.
bool DecidedCompression(uint32_t c) {
  return c != COMPRESSION_NONE && c != COMPRESSION_JPEG && c <= 0xFFFF &&
         IsWritableCompression(uint16_t(c));
}

bool ReadDecodingTags(const Directory& d, StoredTags* t) {
  uint32_t v, spp, bits;
  if (!d.OneOr(kCompression, COMPRESSION_NONE, &v) || !DecidedCompression(v)) return false;
  t->compression = uint16_t(v);
  if (!d.OneOr(kSamplesPerPixel, 1, &spp) || spp == 0) return false;
  if (!d.PerSample(kBitsPerSample, spp, 1, &bits)) return false;
  t->samplesPerPixel = uint16_t(spp);
  t->bitsPerSample = uint16_t(bits);
  // libtiff assumes a missing Photometric from the other tags.
  if (!d.One(kPhotometric, &v)) return false;
  t->photometric = uint16_t(v);
  if (!IsCopyableLayout(*t)) return false;
  if (!d.OneOr(kPlanar, PLANARCONFIG_CONTIG, &v) ||
      (v != PLANARCONFIG_CONTIG && v != PLANARCONFIG_SEPARATE))
    return false;
  t->planar = uint16_t(v);
  if (!d.OneOr(kFillOrder, FILLORDER_MSB2LSB, &v) ||
      (v != FILLORDER_MSB2LSB && v != FILLORDER_LSB2MSB))
    return false;
  t->fillOrder = uint16_t(v);
  if (!d.OneOr(kOrientation, ORIENTATION_TOPLEFT, &v) || v != ORIENTATION_TOPLEFT) return false;
  if (!d.PerSample(kSampleFormat, spp, SAMPLEFORMAT_UINT, &v) || v != SAMPLEFORMAT_UINT)
    return false;
  if (t->compression == COMPRESSION_LZW || t->compression == COMPRESSION_DEFLATE) {
    if (!d.OneOr(kPredictor, PREDICTOR_NONE, &v) ||
        (v != PREDICTOR_NONE && v != PREDICTOR_HORIZONTAL))
      return false;
    t->predictor = uint16_t(v);
  }
  if (t->compression == COMPRESSION_CCITTFAX3 && d.Has(kT4Options)) {
    if (!d.One(kT4Options, &t->t4Options, true)) return false;
    t->hasT4Options = true;
  }
  if (t->compression == COMPRESSION_CCITTFAX4 && d.Has(kT6Options)) {
    if (!d.One(kT6Options, &t->t6Options, true)) return false;
    t->hasT6Options = true;
  }
  if (t->photometric == PHOTOMETRIC_PALETTE) {
    std::vector<uint64_t> map;
    if (!d.Array(kColorMap, uint64_t(3) << t->bitsPerSample, &map, true)) return false;
    t->colorMap.assign(map.begin(), map.end());
  }
  return true;
}

bool ReadStriles(const Directory& d, uint32_t width, uint32_t height, uint64_t fileSize,
                 StoredSurvey* s) {
  StoredTags& t = s->tags;
  const bool anyTile =
      d.Has(kTileWidth) || d.Has(kTileLength) || d.Has(kTileOffsets) || d.Has(kTileByteCounts);
  const bool anyStrip = d.Has(kStripOffsets) || d.Has(kStripByteCounts) || d.Has(kRowsPerStrip);
  if (anyTile == anyStrip) return false;
  s->tiled = anyTile;
  uint64_t count;
  if (s->tiled) {
    if (!d.One(kTileWidth, &t.tileWidth, true) || !d.One(kTileLength, &t.tileLength, true) ||
        !t.tileWidth || !t.tileLength || t.tileWidth % 16 || t.tileLength % 16)
      return false;
    count = uint64_t((width + uint64_t(t.tileWidth) - 1) / t.tileWidth) *
            ((height + uint64_t(t.tileLength) - 1) / t.tileLength);
  } else {
    uint32_t rows;
    if (!d.OneOr(kRowsPerStrip, height, &rows, true) || rows == 0) return false;
    t.rowsPerStrip = std::min(rows, height);
    count = (height + uint64_t(t.rowsPerStrip) - 1) / t.rowsPerStrip;
  }
  if (t.planar == PLANARCONFIG_SEPARATE) count *= t.samplesPerPixel;
  std::vector<uint64_t> offsets, bytes;
  if (count > 0xFFFFFFFFu || !d.Array(s->tiled ? kTileOffsets : kStripOffsets, count, &offsets) ||
      !d.Array(s->tiled ? kTileByteCounts : kStripByteCounts, count, &bytes))
    return false;
  s->striles.resize(size_t(count));
  for (size_t i = 0; i < offsets.size(); ++i) {
    if (!bytes[i] || offsets[i] < 8 || offsets[i] > fileSize || bytes[i] > fileSize - offsets[i])
      return false;
    s->striles[i] = {offsets[i], bytes[i]};
  }
  return true;
}

}  // namespace

bool SurveyCopyableDirectly(const uint8_t* file, uint64_t size, uint32_t frame,
                            StoredSurvey* result) {
  if (!file) return false;
  Directory d(file, size);
  if (!d.Read(frame)) return false;
  uint32_t width, height;
  if (!d.One(kWidth, &width, true) || !d.One(kLength, &height, true) || !width || !height ||
      width > INT32_MAX || height > INT32_MAX)
    return false;
  // Filled apart from the caller's survey, which is left as it was when this one does
  // not decide: libtiff's survey then fills it.
  StoredSurvey survey;
  StoredSurvey* out = &survey;
  StoredTags& t = out->tags;
  if (!ReadDecodingTags(d, &t) || !ReadStriles(d, width, height, size, out)) return false;
  pxtiff::PageInfo info;
  uint32_t unit = 0;
  if (!d.Rational(kXResolution, &info.xResolution) || !d.Rational(kYResolution, &info.yResolution))
    return false;
  if (d.Has(kResolutionUnit) &&
      (!d.One(kResolutionUnit, &unit) || unit < RESUNIT_NONE || unit > RESUNIT_CENTIMETER))
    return false;
  info.resolutionUnit = uint16_t(unit);
  PXStoredPage& p = out->stored;
  p.width = width;
  p.height = height;
  p.bitsPerPixel = uint32_t(t.bitsPerSample) * t.samplesPerPixel;
  p.compression = t.compression;
  p.transparent = 0;
  p.copyable = 1;
  p.resolution = info.dimensionResolution();
  *result = std::move(survey);
  return true;
}

}  // namespace pxtiffw
