// Pages taken over as stored, written without libtiff: their strips, directory and link,
// laid out byte for byte as libtiff lays them out (strips at the end of the file, the
// directory at the next even offset, its values after it at even offsets, the link last).
// libtiff sets up a whole field table for every directory it writes, which costs more
// than copying a fax page; a file whose pages are all copied is written here until a page
// comes that this writer does not take, and libtiff appends the rest.
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "writers/tiff/stored_writer.h"

namespace pxtiffw {

namespace {

constexpr uint16_t kShort = TIFF_SHORT, kLong = TIFF_LONG, kRational = TIFF_RATIONAL,
                   kAscii = TIFF_ASCII;

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::vector<uint8_t> value;  // little-endian, count values of the type
};

void Put16(std::vector<uint8_t>* v, uint32_t x) {
  v->push_back(uint8_t(x));
  v->push_back(uint8_t(x >> 8));
}

void Put32(std::vector<uint8_t>* v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v->push_back(uint8_t(x >> (8 * i)));
}

void PutAt32(uint8_t* p, uint32_t x) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(x >> (8 * i));
}

Entry Shorts(uint16_t tag, const std::vector<uint32_t>& values) {
  Entry e{tag, kShort, uint32_t(values.size()), {}};
  for (uint32_t v : values) Put16(&e.value, v);
  return e;
}

Entry Short(uint16_t tag, uint32_t value) {
  return Shorts(tag, {value});
}

Entry Longs(uint16_t tag, const std::vector<uint32_t>& values) {
  Entry e{tag, kLong, uint32_t(values.size()), {}};
  for (uint32_t v : values) Put32(&e.value, v);
  return e;
}

// SHORT where the value fits, as libtiff writes sizes.
Entry ShortOrLong(uint16_t tag, uint32_t value) {
  return value <= 0xFFFF ? Short(tag, value) : Longs(tag, {value});
}

// A whole number of dots as libtiff writes it: over 1.
Entry Rational(uint16_t tag, uint32_t value) {
  Entry e{tag, kRational, 1, {}};
  Put32(&e.value, value);
  Put32(&e.value, 1);
  return e;
}

Entry Ascii(uint16_t tag, const std::string& text) {
  Entry e{tag, kAscii, uint32_t(text.size() + 1), {}};
  e.value.assign(text.begin(), text.end());
  e.value.push_back(0);
  return e;
}

}  // namespace

std::atomic<bool> g_writeStoredPagesDirectly{true};

std::string SoftwareText(px::Operation& op, const px::TIFFWriteOptions& options) {
  if (options.software) return *options.software;
  char software[1024];
  std::snprintf(software, sizeof software, "Pixolith (%s), using %s",
                op.state().versionText.c_str(), TIFFGetVersion());
  return software;
}

bool WritesStoredPageDirectly(const EncodedPage& page, const px::TIFFWriteOptions& options) {
  const StoredTags& t = page.storedTags;
  const PXResolution& r = page.layout.resolution;
  // The compressions libtiff gives 32-bit strip byte counts whatever their size; for the
  // others it chooses the type by the page's size.
  const bool ccittOrPackBits =
      t.compression == COMPRESSION_CCITTRLE || t.compression == COMPRESSION_CCITTFAX3 ||
      t.compression == COMPRESSION_CCITTFAX4 || t.compression == COMPRESSION_PACKBITS;
  return g_writeStoredPagesDirectly && std::endian::native == std::endian::little && page.stored &&
         !page.tiled && ccittOrPackBits && t.jpegTables.empty() &&
         t.photometric != PHOTOMETRIC_YCBCR && !t.hasReferenceBlackWhite && t.rowsPerStrip &&
         (t.compression != COMPRESSION_CCITTFAX3 || t.hasT4Options) && r.x >= 1 &&
         r.x <= 0xFFFFFF && r.y >= 1 && r.y <= 0xFFFFFF && r.unit >= RESUNIT_NONE &&
         r.unit <= RESUNIT_CENTIMETER && options.orientation >= ORIENTATION_TOPLEFT &&
         options.orientation <= ORIENTATION_LEFTBOT && options.extraTags.empty() &&
         options.xmp.empty() && options.annotations.empty() && options.iptc.empty() &&
         options.icc.empty() && options.photoshop.empty() && !page.ends.empty();
}

int DirectOutput::WritePage(px::Operation& op, const EncodedPage& page,
                            const std::string& software) {
  uint64_t end = 0;
  if (!io_.Size(&end)) return PX_ERR_FILE_WRITE;
  if (!started_) {
    // A new file: the header, its link to the first directory still 0.
    const uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    if (!io_.Seek(0, PX_SEEK_SET) || !io_.Write(header, 1, 8)) return PX_ERR_FILE_WRITE;
    end = 8;
    link_ = 4;
    started_ = true;
  }
  const StoredTags& t = page.storedTags;
  const PageSpec& layout = page.layout;
  // As many strips as the page's rows make, as libtiff's writer demands.
  const uint64_t perPlane = (uint64_t(layout.height) + t.rowsPerStrip - 1) / t.rowsPerStrip;
  const uint64_t planes = t.planar == PLANARCONFIG_SEPARATE ? t.samplesPerPixel : 1;
  if (perPlane * planes != page.ends.size()) return PX_ERR_PARAMETER;
  // The strips, one after the other at the end of the file.
  std::vector<uint32_t> offsets, counts;
  size_t begin = 0;
  for (size_t stripEnd : page.ends) {
    offsets.push_back(uint32_t(end + begin));
    counts.push_back(uint32_t(stripEnd - begin));
    begin = stripEnd;
  }
  const uint64_t dataEnd = end + page.data.size();
  if (dataEnd > 0xFFFF0000u) return PX_ERR_FILE_WRITE;  // past what a classic TIFF addresses
  const uint32_t rowsPerStrip = t.rowsPerStrip;

  std::vector<Entry> entries;
  entries.push_back(ShortOrLong(TIFFTAG_IMAGEWIDTH, layout.width));
  entries.push_back(ShortOrLong(TIFFTAG_IMAGELENGTH, layout.height));
  entries.push_back(
      Shorts(TIFFTAG_BITSPERSAMPLE, std::vector<uint32_t>(t.samplesPerPixel, t.bitsPerSample)));
  entries.push_back(Short(TIFFTAG_COMPRESSION, t.compression));
  entries.push_back(Short(TIFFTAG_PHOTOMETRIC, t.photometric));
  if (t.fillOrder != FILLORDER_MSB2LSB) entries.push_back(Short(TIFFTAG_FILLORDER, t.fillOrder));
  entries.push_back(Longs(TIFFTAG_STRIPOFFSETS, offsets));
  entries.push_back(Short(TIFFTAG_ORIENTATION, uint32_t(orientation_)));
  entries.push_back(Short(TIFFTAG_SAMPLESPERPIXEL, t.samplesPerPixel));
  entries.push_back(ShortOrLong(TIFFTAG_ROWSPERSTRIP, rowsPerStrip));
  entries.push_back(Longs(TIFFTAG_STRIPBYTECOUNTS, counts));
  entries.push_back(Rational(TIFFTAG_XRESOLUTION, layout.resolution.x));
  entries.push_back(Rational(TIFFTAG_YRESOLUTION, layout.resolution.y));
  entries.push_back(Short(TIFFTAG_PLANARCONFIG, t.planar));
  if (t.hasT4Options) entries.push_back(Longs(TIFFTAG_GROUP3OPTIONS, {t.t4Options}));
  if (t.hasT6Options) entries.push_back(Longs(TIFFTAG_GROUP4OPTIONS, {t.t6Options}));
  entries.push_back(Short(TIFFTAG_RESOLUTIONUNIT, layout.resolution.unit));
  entries.push_back(Ascii(TIFFTAG_SOFTWARE, software));
  if (t.predictor != PREDICTOR_NONE) entries.push_back(Short(TIFFTAG_PREDICTOR, t.predictor));
  if (!t.colorMap.empty())
    entries.push_back(
        Shorts(TIFFTAG_COLORMAP, std::vector<uint32_t>(t.colorMap.begin(), t.colorMap.end())));

  // The directory at the next even offset, the values too long for their entry after it,
  // each at an even offset, in the order libtiff writes them: resolutions, bits per
  // sample, strip byte counts, strip offsets, colour map, then Software.
  const uint64_t at = (dataEnd + 1) & ~uint64_t(1);
  const size_t directoryBytes = 2 + entries.size() * 12 + 4;
  std::vector<uint8_t> block(directoryBytes, 0);
  block[0] = uint8_t(entries.size());
  block[1] = uint8_t(entries.size() >> 8);
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    uint8_t* p = block.data() + 2 + i * 12;
    p[0] = uint8_t(e.tag);
    p[1] = uint8_t(e.tag >> 8);
    p[2] = uint8_t(e.type);
    p[3] = uint8_t(e.type >> 8);
    PutAt32(p + 4, e.count);
    if (e.value.size() <= 4) std::memcpy(p + 8, e.value.data(), e.value.size());
  }
  for (uint16_t tag :
       {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_STRIPBYTECOUNTS,
        TIFFTAG_STRIPOFFSETS, TIFFTAG_COLORMAP, TIFFTAG_SOFTWARE}) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      if (e.tag != tag || e.value.size() <= 4) continue;
      if (block.size() & 1) block.push_back(0);
      PutAt32(block.data() + 2 + i * 12 + 8, uint32_t(at + block.size()));
      block.insert(block.end(), e.value.begin(), e.value.end());
    }
  }
  if (at + block.size() > 0xFFFFFFFFu) return PX_ERR_FILE_WRITE;
  // The directory first, with the byte that pads the strips to it, then the strips under
  // it: the sink sends both in one call.
  if (at != dataEnd) block.insert(block.begin(), 0);
  if (!io_.Seek(int64_t(dataEnd), PX_SEEK_SET) || !io_.Write(block.data(), 1, block.size()) ||
      !io_.Seek(int64_t(end), PX_SEEK_SET) || !io_.Write(page.data.data(), 1, page.data.size()))
    return PX_ERR_FILE_WRITE;
  for (size_t s = 0; s < page.ends.size(); ++s) {
    const uint64_t row = uint64_t(s) * rowsPerStrip;
    if (!op.Progress(uint32_t(std::min<uint64_t>(row, layout.height)), layout.height))
      return PX_ERR_ABORTED;
  }
  // The link last: until it is written, the file does not claim the page.
  uint8_t link[4];
  PutAt32(link, uint32_t(at));
  linkAtRisk_ = true;
  if (!io_.Seek(int64_t(link_), PX_SEEK_SET) || !io_.Write(link, 1, 4) || !io_.Flush())
    return PX_ERR_FILE_WRITE;
  linkAtRisk_ = false;
  link_ = at + 2 + entries.size() * 12;
  return PX_OK;
}

}  // namespace pxtiffw
