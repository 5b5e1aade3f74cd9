// The direct survey of a stored TIFF page: its directory read from the file's bytes,
// classic or BigTIFF, either byte order. It decides only pages libtiff would read exactly
// as the directory states them, and leaves the rest to libtiff's survey: where libtiff
// assumes a missing value, mends a count, refuses a value or consults the data (JPEG
// pages, uncompressed strips), this survey does not try to agree with it.
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <mutex>
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
// More strips or tiles than a page of a million rows in strips of one: a file read in
// pieces may be as large as it says, and such a page is left to libtiff's judgement
// rather than read into arrays of that size here.
constexpr uint64_t kMostStriles = uint64_t(1) << 20;

// A file as it stood when it was surveyed: a file changed since is another file.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified = {};
  timespec changed = {};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && Same(modified, o.modified) &&
           Same(changed, o.changed);
  }
  static bool Same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  }
};

// Where the directories of the files surveyed last lie. The pages of a multi-page file
// are surveyed one by one, when they are added and again when they are copied; without
// this, each survey walked the chain from the first directory, and a file of a few
// hundred pages took a walk as long as the file for every page.
class ChainIndex {
 public:
  // The directory nearest before or at `frame` whose offset is known: false when none.
  // `first` is where the file's header says the chain starts; a file rewritten within
  // one tick of the clock, to the same size, still shows another start most of the time.
  bool Nearest(const FileIdentity& id, uint64_t first, uint32_t frame, uint32_t* known,
               uint64_t* at) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const File& f : files_) {
      if (!(f.id == id) || f.offsets.empty() || f.offsets[0] != first) continue;
      *known = std::min<uint32_t>(frame, uint32_t(f.offsets.size() - 1));
      *at = f.offsets[*known];
      return true;
    }
    return false;
  }

  // Directory `frame` lies at `at`; kept when the directories before it are known.
  void Record(const FileIdentity& id, uint32_t frame, uint64_t at) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(files_.begin(), files_.end(), [&](const File& f) { return f.id == id; });
    if (it == files_.end()) {
      if (frame != 0) return;
      if (files_.size() >= kFiles) files_.pop_back();
      files_.insert(files_.begin(), File{id, {}});
      it = files_.begin();
    }
    if (frame == 0 && !it->offsets.empty() && it->offsets[0] != at) it->offsets.clear();
    if (frame == it->offsets.size()) it->offsets.push_back(at);
  }

 private:
  static constexpr size_t kFiles = 4;
  struct File {
    FileIdentity id;
    std::vector<uint64_t> offsets;  // of directories 0, 1, 2 ...
  };
  std::mutex mutex_;
  std::vector<File> files_;  // the last surveyed first
};

ChainIndex& Chains() {
  static ChainIndex* chains = new ChainIndex();
  return *chains;
}

// The file's bytes as the survey asks for them: the whole file when it is in memory, else
// pieces read from the source where the directory and its values lie, so that a page
// added or copied from a file is not read whole to find its strips.
class FileBytes {
 public:
  FileBytes(const uint8_t* file, uint64_t size) : file_(file), size_(size) {}
  FileBytes(CPXIO& io, const FileIdentity& id)
      : io_(&io), size_(uint64_t(id.size)), id_(id), indexed_(true) {}

  uint64_t size() const { return size_; }
  // The file's identity, for files whose chains are indexed.
  const FileIdentity* identity() const { return indexed_ ? &id_ : nullptr; }
  // A read failed: what the survey saw is not the file.
  bool failed() const { return failed_; }

  // The `n` bytes at `at`, which the caller keeps inside the file; null when they cannot
  // be read.
  const uint8_t* At(uint64_t at, uint64_t n) {
    if (file_) return file_ + at;
    for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it)
      if (at >= it->at && at - it->at + n <= it->bytes.size())
        return it->bytes.data() + (at - it->at);
    if (failed_ || at > size_ || n > size_ - at) return failed_ = true, nullptr;
    // A directory and the values after it usually fit in one piece.
    const uint64_t length = std::min(std::max(n, kPiece), size_ - at);
    // Nothing holds a piece's bytes past the next call, so the oldest may go.
    if (pieces_.size() >= kMostPieces) pieces_.erase(pieces_.begin());
    Piece piece{at, std::vector<uint8_t>(size_t(length))};
    if (!io_->Seek(int64_t(at), PX_SEEK_SET) ||
        !io_->ReadExactly(piece.bytes.data(), piece.bytes.size()))
      return failed_ = true, nullptr;
    pieces_.push_back(std::move(piece));
    return pieces_.back().bytes.data();
  }

 private:
  static constexpr uint64_t kPiece = 4096;
  static constexpr size_t kMostPieces = 16;
  struct Piece {
    uint64_t at;
    std::vector<uint8_t> bytes;
  };

  const uint8_t* file_ = nullptr;
  CPXIO* io_ = nullptr;
  uint64_t size_;
  FileIdentity id_;
  bool indexed_ = false;
  bool failed_ = false;
  std::vector<Piece> pieces_;
};

class Directory {
 public:
  explicit Directory(FileBytes& bytes) : bytes_(bytes), size_(bytes.size()) {}

  // Finds directory `frame` and reads its entries; false for anything unusual.
  bool Read(uint32_t frame) {
    if (size_ < 16 || frame > kMostFrames) return false;
    const uint8_t* header = bytes_.At(0, 16);
    if (!header) return false;
    if (header[0] == 'I' && header[1] == 'I')
      bigEndian_ = false;
    else if (header[0] == 'M' && header[1] == 'M')
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
    const FileIdentity* id = bytes_.identity();
    uint32_t i = 0;
    if (id) {
      uint64_t known;
      if (Chains().Nearest(*id, at, frame, &i, &known)) at = known;
    }
    for (;; ++i) {
      // A link to the header or back to an earlier directory would loop; libtiff stops.
      if (at < 8 || at > size_ - countBytes) return false;
      const uint64_t entries = Get(at, countBytes);
      if (entries == 0 || entries > kMostEntries) return false;
      const uint64_t end = at + countBytes + entries * entryBytes;
      if (end > size_ - linkBytes) return false;
      if (id) Chains().Record(*id, i, at);
      if (i == frame) {
        // The entries and the link in one read.
        if (!bytes_.At(at, end + linkBytes - at)) return false;
        return ReadEntries(at + countBytes, entries, entryBytes);
      }
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
    if (!bytes_.At(e.at, count * uint64_t(TypeBytes(e.type)))) return false;
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

  // 0 where the bytes cannot be read; the survey then gives the page up.
  uint64_t Get(uint64_t at, int bytes) const {
    const uint8_t* p = bytes_.At(at, uint64_t(bytes));
    return p ? Unpack(p, bytes, bigEndian_) : 0;
  }
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

  FileBytes& bytes_;
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
  if (count > kMostStriles || !d.Array(s->tiled ? kTileOffsets : kStripOffsets, count, &offsets) ||
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

bool Survey(FileBytes& bytes, uint32_t frame, StoredSurvey* result) {
  const uint64_t size = bytes.size();
  Directory d(bytes);
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
  if (bytes.failed()) return false;
  *result = std::move(survey);
  return true;
}

}  // namespace

bool SurveyCopyableDirectly(const uint8_t* file, uint64_t size, uint32_t frame, StoredSurvey* out) {
  if (!file) return false;
  FileBytes bytes(file, size);
  return Survey(bytes, frame, out);
}

bool SurveyCopyableDirectly(CPXIO& io, uint32_t frame, StoredSurvey* out) {
  struct stat st;
  if (!io.Stat(&st) || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
  const FileIdentity id{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  FileBytes bytes(io, id);
  return Survey(bytes, frame, out);
}

}  // namespace pxtiffw
