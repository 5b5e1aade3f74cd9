// Photoshop reader: the merged image of version-1 files.
#include <cstring>
#include <vector>

#include "core/dib.h"
#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_psd.h"
#include "readers/claimed_size.h"
#include "readers/cmyk.h"
#include "readers/psd/psd_header.h"

namespace pxpsd {

bool IsIndexedMode(int mode) {
  return mode == PX_PSD_BITMAP || mode == PX_PSD_GRAYSCALE || mode == PX_PSD_INDEXED ||
         mode == PX_PSD_DUOTONE;
}

namespace {

// Depth and colour mode against the requested output depth.
int CheckModes(const Header& h, int depth) {
  if (h.depth != 1 && h.depth != 8 && h.depth != 16) return PX_ERR_PSD_SUBFORMAT;
  if (depth == 8) {
    // Colour files have no palette to index; other modes are not read at all.
    if (h.mode == PX_PSD_RGB || h.mode == PX_PSD_CMYK) return PX_ERR_BIT_DEPTH;
    return IsIndexedMode(h.mode) ? PX_OK : PX_ERR_PSD_SUBFORMAT;
  }
  return h.mode > PX_PSD_CMYK && h.mode != PX_PSD_DUOTONE ? PX_ERR_PSD_SUBFORMAT : PX_OK;
}

// Channel count and compression against what the output needs.
int CheckImageData(const Header& h) {
  const uint32_t needed = h.mode == PX_PSD_RGB ? 3 : h.mode == PX_PSD_CMYK ? 4 : 1;
  if (h.channels < needed) return PX_ERR_BAD_PSD;
  // Run-length rows of 16-bit samples are not read.
  if (h.depth == 16 && h.compression == kRunLength) return PX_ERR_PSD_SUBFORMAT;
  return PX_OK;
}

}  // namespace

int CheckHeader(const Header& h, Output output, int depth, Stage stage) {
  if (stage == Stage::kImageData) return output == Output::kImage ? CheckImageData(h) : PX_OK;
  // The format allows 1 to 56 channels; an image without pixels or channels is no image.
  if (h.channels < 1 || h.channels > 56 || h.width == 0 || h.height == 0) return PX_ERR_BAD_PSD;
  switch (output) {
    case Output::kDimensions:
      return PX_OK;
    case Output::kPalette:
      if (h.depth != 1 && h.depth != 8) return PX_ERR_PSD_SUBFORMAT;
      return IsIndexedMode(h.mode) ? PX_OK : PX_ERR_BIT_DEPTH;
    case Output::kImage:
      return CheckModes(h, depth);
  }
  return PX_ERR_BAD_PSD;
}

}  // namespace pxpsd

namespace {

using pxpsd::Header;
using pxpsd::IsIndexedMode;
using pxpsd::kRaw;
using pxpsd::kRunLength;
using pxpsd::Output;
using pxpsd::Stage;

// PackBits turns two bytes into at most 128, and a bitmap byte holds 8 pixels.
constexpr uint64_t kMaxPixelsPerByte = 8 * 64;

constexpr uint16_t kResolutionResource = 1005;

class PSDFile {
 public:
  explicit PSDFile(const CPXIO& io) : io_(io) {}

  // Signature, version and the header fields; 0, 3 (short) or 46. The fields are checked
  // by CheckHeader.
  int ReadHeader();
  // The colour mode data section: the palette the mode implies, filled into `palette`
  // (256 entries), and the position moved past the section. 0 or 3.
  int ReadColorModeData(RGBQUAD* palette);
  // The image resources section; the resolution resource into `resolution` when given.
  int ReadResources(PXResolution* resolution);
  int SkipLayers() { return SkipSection() ? 0 : PX_ERR_FILE_READ; }
  // The compression word: 0 or 3 (short, or neither raw nor run-length).
  int ReadCompression();
  // For run-length data, the byte counts of the first `channels` channels. 0 or 3.
  int LoadCounts(uint32_t channels);

  // Row `row` of channel `channel` as stored (packed bits, bytes or 16-bit samples).
  bool ReadRow(uint32_t channel, uint32_t row, uint8_t* out);
  // One byte per pixel from a stored row: bits as 0/1, 16-bit samples by their high byte.
  void Samples(const uint8_t* stored, uint8_t* out) const;

  const Header& header() const { return h_; }
  uint32_t width() const { return h_.width; }
  uint32_t height() const { return h_.height; }
  uint32_t channels() const { return h_.channels; }
  int depth() const { return h_.depth; }
  int mode() const { return h_.mode; }
  size_t storedRowBytes() const { return (size_t(h_.width) * h_.depth + 7) / 8; }
  uint64_t remaining() { return io_.Remaining(); }
  // Skips the image resources section.
  int SkipResources() { return SkipSection() ? 0 : PX_ERR_FILE_READ; }

 private:
  bool SeekTo(uint64_t offset);
  bool Skip(uint64_t bytes);
  bool SkipSection();
  bool UnpackRow(const uint8_t* in, size_t inBytes, uint8_t* out, size_t outBytes);

  CPXIO io_;
  Header h_;
  uint64_t dataStart_ = 0;        // first byte after the compression word (or count table)
  std::vector<uint64_t> next_;    // run-length: where each channel's next row starts
  std::vector<uint32_t> counts_;  // run-length: byte counts, channel-major
  std::vector<uint8_t> packed_;
};

int PSDFile::ReadHeader() {
  uint8_t h[26];
  if (!io_.ReadExactly(h, sizeof h)) return PX_ERR_FILE_READ;
  if (std::memcmp(h, "8BPS", 4) != 0 || px::BE16(h + 4) != 1) return PX_ERR_BAD_PSD;
  h_.channels = px::BE16(h + 12);
  h_.height = px::BE32(h + 14);
  h_.width = px::BE32(h + 18);
  h_.depth = px::BE16(h + 22);
  h_.mode = px::BE16(h + 24);
  return 0;
}

bool PSDFile::SeekTo(uint64_t offset) {
  uint64_t size;
  if (!io_.Size(&size) || offset > size) return false;
  // A memory source is positioned at its very end only from the end.
  return offset == size ? io_.Seek(0, PX_SEEK_END) : io_.Seek(int64_t(offset), PX_SEEK_SET);
}

bool PSDFile::Skip(uint64_t bytes) {
  uint64_t position;
  return io_.Tell(&position) && SeekTo(position + bytes);
}

bool PSDFile::SkipSection() {
  uint32_t length;
  return io_.ReadBE32(&length) && Skip(length);
}

int PSDFile::ReadColorModeData(RGBQUAD* palette) {
  std::memset(palette, 0, 256 * sizeof(RGBQUAD));
  uint32_t length;
  if (!io_.ReadBE32(&length)) return PX_ERR_FILE_READ;
  if (h_.mode == PX_PSD_BITMAP) palette[0] = {255, 255, 255, 0};
  if (h_.mode == PX_PSD_GRAYSCALE || h_.mode == PX_PSD_INDEXED || h_.mode == PX_PSD_DUOTONE) {
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  }
  // Indexed files carry 256 red, 256 green and 256 blue values; a duotone's data is its
  // ink specification, not colours.
  if ((h_.mode == PX_PSD_GRAYSCALE || h_.mode == PX_PSD_INDEXED) && length >= 768) {
    uint8_t planes[768];
    if (!io_.ReadExactly(planes, sizeof planes)) return PX_ERR_FILE_READ;
    for (int i = 0; i < 256; ++i) palette[i] = {planes[512 + i], planes[256 + i], planes[i], 0};
    length -= 768;
  }
  return Skip(length) ? 0 : PX_ERR_FILE_READ;
}

int PSDFile::ReadResources(PXResolution* resolution) {
  uint32_t length;
  if (!io_.ReadBE32(&length)) return PX_ERR_FILE_READ;
  if (length > io_.Remaining()) return PX_ERR_FILE_READ;
  uint64_t start;
  if (!io_.Tell(&start)) return PX_ERR_FILE_READ;
  const uint64_t end = start + length;
  // Resource blocks: "8BIM", id, a Pascal name padded to even length, a data length and
  // the data padded to even length. A block that does not fit ends the walk.
  uint64_t pos = start;
  while (resolution && pos + 12 <= end) {
    uint8_t head[7];
    if (!io_.Seek(int64_t(pos), PX_SEEK_SET) || !io_.ReadExactly(head, 7)) break;
    if (std::memcmp(head, "8BIM", 4) != 0) break;
    const uint16_t id = px::BE16(head + 4);
    const uint64_t nameBytes = (uint64_t(head[6]) + 2) & ~uint64_t(1);  // with the length byte
    uint32_t size;
    if (pos + 6 + nameBytes + 4 > end || !io_.Seek(int64_t(pos + 6 + nameBytes), PX_SEEK_SET) ||
        !io_.ReadBE32(&size))
      break;
    const uint64_t data = pos + 6 + nameBytes + 4;
    if (data + size > end) break;
    uint8_t info[16];
    if (id == kResolutionResource && size >= sizeof info && io_.ReadExactly(info, sizeof info)) {
      // Fixed-point values; only the integer parts count. Photoshop keeps them per
      // inch whatever unit it displays.
      const uint32_t x = px::BE32(info) >> 16, y = px::BE32(info + 8) >> 16;
      const uint16_t unit = px::BE16(info + 4);
      *resolution = {x, y, unit == 1 ? 1u : unit == 2 ? 2u : 0u};
    }
    pos = data + size + (size & 1);
  }
  return SeekTo(end) ? 0 : PX_ERR_FILE_READ;
}

int PSDFile::ReadCompression() {
  if (!io_.ReadBE16(&h_.compression)) return PX_ERR_FILE_READ;
  if (h_.compression != kRaw && h_.compression != kRunLength) return PX_ERR_FILE_READ;
  return io_.Tell(&dataStart_) ? 0 : PX_ERR_FILE_READ;
}

int PSDFile::LoadCounts(uint32_t channels) {
  if (h_.compression != kRunLength) return 0;
  // The count table covers every channel of the file; it must be there in full.
  const uint64_t entries = uint64_t(h_.channels) * h_.height;
  if (2 * entries > io_.Remaining()) return PX_ERR_FILE_READ;
  counts_.resize(size_t(channels) * h_.height);
  std::vector<uint8_t> table(2 * counts_.size());
  if (!io_.ReadExactly(table.data(), table.size())) return PX_ERR_FILE_READ;
  uint32_t largest = 0;
  for (size_t i = 0; i < counts_.size(); ++i) {
    counts_[i] = px::BE16(&table[2 * i]);
    largest = std::max(largest, counts_[i]);
  }
  packed_.resize(largest);
  next_.resize(channels);
  uint64_t offset = dataStart_ + 2 * entries;
  for (uint32_t c = 0; c < channels; ++c) {
    next_[c] = offset;
    for (uint32_t r = 0; r < h_.height; ++r) offset += counts_[size_t(c) * h_.height + r];
  }
  return 0;
}

// PackBits: n in 0..127 copies n + 1 bytes, -127..-1 repeats the next byte 1 - n times,
// -128 is nothing. Runs that pass the row's end are cut there; a row whose data runs out
// first is broken.
bool PSDFile::UnpackRow(const uint8_t* in, size_t inBytes, uint8_t* out, size_t outBytes) {
  size_t i = 0, o = 0;
  while (o < outBytes) {
    if (i >= inBytes) return false;
    const int n = int8_t(in[i++]);
    if (n >= 0) {
      size_t count = size_t(n) + 1;
      if (i + count > inBytes) return false;
      std::memcpy(out + o, in + i, std::min(count, outBytes - o));
      i += count;
      o += std::min(count, outBytes - o);
    } else if (n != -128) {
      if (i >= inBytes) return false;
      size_t count = std::min(size_t(1 - n), outBytes - o);
      std::memset(out + o, in[i++], count);
      o += count;
    }
  }
  if (i != inBytes) px::Trace("PSD run-length row: %zu of %zu bytes used\n", i, inBytes);
  return true;
}

bool PSDFile::ReadRow(uint32_t channel, uint32_t row, uint8_t* out) {
  const size_t rowBytes = storedRowBytes();
  if (h_.compression == kRaw) {
    const uint64_t offset = dataStart_ + (uint64_t(channel) * h_.height + row) * rowBytes;
    return io_.Seek(int64_t(offset), PX_SEEK_SET) && io_.ReadExactly(out, rowBytes);
  }
  const uint32_t count = counts_[size_t(channel) * h_.height + row];
  const uint64_t offset = next_[channel];
  next_[channel] += count;
  return io_.Seek(int64_t(offset), PX_SEEK_SET) && io_.ReadExactly(packed_.data(), count) &&
         UnpackRow(packed_.data(), count, out, rowBytes);
}

void PSDFile::Samples(const uint8_t* stored, uint8_t* out) const {
  const uint32_t w = h_.width;
  if (h_.depth == 1) {
    for (uint32_t x = 0; x < w; ++x) out[x] = (stored[x >> 3] >> (7 - (x & 7))) & 1;
  } else if (h_.depth == 16) {
    for (uint32_t x = 0; x < w; ++x) out[x] = stored[2 * x];
  } else {
    std::memcpy(out, stored, w);
  }
}

/* ---- Reading ---------------------------------------------------------------------------- */

// Reads the composite image at depth 8 (indices), 24 or 32.
class PSDReader {
 public:
  PSDReader(px::Operation& op, const CPXIO& io) : op_(op), file_(io) {}
  uint8_t* Read(uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette, DWORD flags);

 private:
  void ConvertRow(uint8_t* const* samples, uint8_t* out) const;

  px::Operation& op_;
  PSDFile file_;
  RGBQUAD palette_[256] = {};
  int depth_ = 0;
  bool rawCMYK_ = false;
  bool bgr_ = false;
  uint32_t used_ = 1;  // channels read
};

void PSDReader::ConvertRow(uint8_t* const* s, uint8_t* out) const {
  const uint32_t w = file_.width();
  if (depth_ == 8) {
    std::memcpy(out, s[0], w);
    return;
  }
  const int mode = file_.mode();
  const uint32_t bpp = uint32_t(depth_ / 8);
  uint8_t rgb[3];
  for (uint32_t x = 0; x < w; ++x, out += bpp) {
    uint8_t alpha = 255;
    if (mode == PX_PSD_RGB) {
      rgb[0] = s[0][x], rgb[1] = s[1][x], rgb[2] = s[2][x];
      if (used_ == 4) alpha = s[3][x];
    } else if (mode == PX_PSD_CMYK) {
      const uint8_t cmyk[4] = {s[0][x], s[1][x], s[2][x], s[3][x]};
      if (rawCMYK_) {
        std::memcpy(out, cmyk, 4);
        continue;
      }
      px::CMYKToRGB(cmyk, rgb, 1);
    } else {
      const RGBQUAD& q = palette_[s[0][x]];
      rgb[0] = q.rgbRed, rgb[1] = q.rgbGreen, rgb[2] = q.rgbBlue;
      if (used_ == 2) alpha = s[1][x];
    }
    out[0] = bgr_ ? rgb[2] : rgb[0];
    out[1] = rgb[1];
    out[2] = bgr_ ? rgb[0] : rgb[2];
    if (bpp == 4) out[3] = alpha;
  }
}

uint8_t* PSDReader::Read(uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette,
                         DWORD flags) {
  const bool dib = flags & PX_PSD_DIB;
  if (depth == 8 && !dib) {
    if (!palette) return op_.SetError(PX_ERR_PARAMETER), nullptr;
    std::memset(palette, 0, 256 * sizeof(RGBQUAD));
  }
  if (int e = file_.ReadHeader()) return op_.SetError(e), nullptr;
  if (dib) depth = IsIndexedMode(file_.mode()) ? 8 : 24;
  if (int e = CheckHeader(file_.header(), Output::kImage, depth, Stage::kHeader))
    return op_.SetError(e), nullptr;
  depth_ = depth;
  rawCMYK_ = depth == 32 && file_.mode() == PX_PSD_CMYK && (flags & PX_PSD_RAW_CMYK);
  bgr_ = dib;
  const int mode = file_.mode();
  // At 32 bits the first extra channel of RGB and greyscale files is their transparency.
  used_ = mode == PX_PSD_RGB         ? (depth == 32 && file_.channels() >= 4 ? 4 : 3)
          : mode == PX_PSD_CMYK      ? 4
          : mode == PX_PSD_GRAYSCALE ? (depth == 32 && file_.channels() >= 2 ? 2 : 1)
                                     : 1;

  int error = file_.ReadColorModeData(palette_);
  if (!error) error = file_.SkipResources();
  if (!error) error = file_.SkipLayers();
  if (!error) error = file_.ReadCompression();
  if (!error) error = CheckHeader(file_.header(), Output::kImage, depth, Stage::kImageData);
  if (!error) error = file_.LoadCounts(used_);
  if (error) return op_.SetError(error), nullptr;
  if (depth == 8 && !dib) std::memcpy(palette, palette_, sizeof palette_);

  const uint32_t w = file_.width(), h = file_.height();
  const size_t rowBytes = dib ? PXDIBRowBytes(w, uint32_t(depth)) : size_t(w) * uint32_t(depth / 8);
  const size_t header = dib ? 40 + (depth == 8 ? 1024 : 0) : 0;
  size_t total;
  if (!px::BlockSize(h, rowBytes, header, &total) || (dib && (w > INT32_MAX || h > INT32_MAX)) ||
      !px::ClaimIsPlausible(total, uint64_t(w) * h, file_.remaining(), kMaxPixelsPerByte))
    return op_.SetError(PX_ERR_NO_MEMORY), nullptr;
  px::Block result(total);
  std::vector<uint8_t> stored(file_.storedRowBytes());
  std::vector<uint8_t> samples(size_t(w) * used_);
  if (!result) return op_.SetError(PX_ERR_NO_MEMORY), nullptr;
  if (dib) {
    auto* hdr = reinterpret_cast<BITMAPINFOHEADER*>(result.get());
    px::FillDIBHeader(hdr, int32_t(w), int32_t(h), uint16_t(depth), depth == 8 ? 256 : 0);
    if (depth == 8) {
      auto* table = reinterpret_cast<RGBQUAD*>(result.get() + 40);
      for (int i = 0; i < 256; ++i) table[i] = palette_[i];
    }
  }
  *width = w;
  *height = h;

  uint8_t* planes[4] = {};
  for (uint32_t c = 0; c < used_; ++c) planes[c] = samples.data() + size_t(c) * w;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t c = 0; c < used_; ++c) {
      if (!file_.ReadRow(c, y, stored.data())) {
        op_.SetError(PX_ERR_FILE_READ);
        return result.Release();
      }
      file_.Samples(stored.data(), planes[c]);
    }
    ConvertRow(planes, result.get() + header + size_t(dib ? h - 1 - y : y) * rowBytes);
    if (!op_.Progress(y, h)) break;
  }
  return result.Release();
}

/* ---- Header queries --------------------------------------------------------------------- */

// The header and the colour mode data of a file; 0 or the error code.
int ReadStart(PSDFile& file, RGBQUAD* palette) {
  if (int e = file.ReadHeader()) return e;
  if (int e = CheckHeader(file.header(), Output::kDimensions, 0, Stage::kHeader)) return e;
  return file.ReadColorModeData(palette);
}

bool ReadDimensions(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, int* colorMode,
                    PXResolution* resolution) {
  PSDFile file(io);
  RGBQUAD palette[256];
  PXResolution found = {};
  if (int e = ReadStart(file, palette)) return op.Fail(e);
  if (int e = file.ReadResources(&found)) return op.Fail(e);
  *width = file.width();
  *height = file.height();
  *colorMode = file.mode();
  if (resolution) *resolution = found;
  return true;
}

bool ReadPalette(px::Operation& op, CPXIO& io, uint32_t* colorCount, RGBQUAD* palette) {
  PSDFile file(io);
  if (int e = file.ReadHeader()) return op.Fail(e);
  if (int e = CheckHeader(file.header(), Output::kPalette, 0, Stage::kHeader)) return op.Fail(e);
  if (int e = file.ReadColorModeData(palette)) return op.Fail(e);
  *colorCount = 256;
  return true;
}

}  // namespace

extern "C" BOOL PXGetPSDDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   int* colorMode, PXResolution* resolution) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height, colorMode},
                            [&](px::Operation& op, CPXIO& io) {
                              return ReadDimensions(op, io, width, height, colorMode, resolution);
                            });
}

extern "C" BOOL PXGetPSDPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette) {
  return px::RunEntry<BOOL>(
      source, FALSE, {colorCount, palette},
      [&](px::Operation& op, CPXIO& io) { return ReadPalette(op, io, colorCount, palette); });
}

extern "C" BYTE* PXReadPSD(PXSource source, uint32_t* width, uint32_t* height, int depth,
                           RGBQUAD* palette, DWORD flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) -> BYTE* {
    if (depth != 8 && depth != 24 && depth != 32 && !(flags & PX_PSD_DIB))
      return op.SetError(PX_ERR_PARAMETER), nullptr;
    return PSDReader(op, io).Read(width, height, depth, palette, flags);
  });
}
