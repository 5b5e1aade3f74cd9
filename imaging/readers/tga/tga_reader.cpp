// TGA: colour-mapped, true-colour and grey images, raw or run-length encoded, stored
// from either vertical and horizontal origin, with the optional 2.0 footer.
#include <cstring>
#include <vector>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "readers/raster_output.h"
#include "readers/tga/tga_header.h"

namespace pxtga {

size_t MapEntryBytes(uint8_t bits) {
  switch (bits) {
    case 8:
      return 1;
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 0;
  }
}

bool ChoosePixelKind(const Header& h, PixelKind* kind) {
  switch (h.pixelDepth) {
    case 8:
      *kind = h.ColorMapped() ? PixelKind::kIndex8 : PixelKind::kGrey8;
      return true;
    case 15:
    case 16:
      if (h.ColorMapped())
        *kind = PixelKind::kIndex16;
      else if (h.Grey() && h.pixelDepth == 16)
        *kind = PixelKind::kGreyAlpha16;  // grey level, then alpha
      else
        *kind = PixelKind::kColor16;
      return true;
    case 24:
      *kind = PixelKind::kBGR24;
      return !h.ColorMapped();
    case 32:
      *kind = PixelKind::kBGRA32;
      return !h.ColorMapped();
    default:
      return false;
  }
}

namespace {

int CheckImage(const Header& h, uint32_t depth) {
  if (depth == 8 && (h.pixelDepth > 8 || !(h.ColorMapped() || h.Grey()))) return PX_ERR_BIT_DEPTH;
  PixelKind kind;
  if (h.pixelDepth < 8 || !ChoosePixelKind(h, &kind) || h.width == 0 || h.height == 0)
    return PX_ERR_BAD_TGA;
  return PX_OK;
}

// The colour map, judged once the image ID before it has been passed.
int CheckColorMap(const Header& h, Output output, uint32_t depth) {
  if (output == Output::kDimensions) return PX_OK;
  if (h.HasMap() && !MapEntryBytes(h.mapEntryBits)) return PX_ERR_BAD_TGA;
  // Indices need a map, unless they are grey levels; a colour-mapped image without its
  // map has no colours at all.
  const bool indices = output == Output::kPalette || depth == 8;
  const bool needsMap = indices ? !h.Grey() : h.ColorMapped();
  return needsMap && !h.HasMap() ? PX_ERR_BAD_TGA : PX_OK;
}

}  // namespace

int CheckHeader(const Header& h, Output output, uint32_t depth, Stage stage) {
  if (stage == Stage::kImageID) return CheckColorMap(h, output, depth);
  if (output == Output::kPalette && h.pixelDepth >= 9) return PX_ERR_BIT_DEPTH;
  if (h.pixelDepth > 32 || !h.Accepted()) return PX_ERR_BAD_TGA;
  return output == Output::kImage ? CheckImage(h, depth) : PX_OK;
}

}  // namespace pxtga

namespace {

using pxtga::Output;
using pxtga::PixelKind;
using pxtga::Stage;
using TGAHeader = pxtga::Header;

constexpr size_t kHeaderSize = 18;
constexpr size_t kFooterSize = 26;
constexpr size_t kExtensionSize = 495;
constexpr char kFooterText[] = "TRUEVISION-XFILE.";  // 17 characters and the zero

// Reads the 18-byte header; PX_ERR_FILE_READ when it is short.
bool ReadHeader(px::Operation& op, CPXIO& io, TGAHeader* h) {
  uint8_t b[kHeaderSize];
  if (!io.ReadExactly(b, sizeof b)) return op.Fail(PX_ERR_FILE_READ);
  h->idLength = b[0];
  h->colorMapType = b[1];
  h->imageType = b[2];
  h->mapFirst = px::LE16(b + 3);
  h->mapLength = px::LE16(b + 5);
  h->mapEntryBits = b[7];
  h->width = px::LE16(b + 12);
  h->height = px::LE16(b + 14);
  h->pixelDepth = b[16];
  h->descriptor = b[17];
  return true;
}

// A colour of the 16-bit layout shared by map entries and pixels: five bits each of red,
// green and blue, scaled by 8.
inline RGBQUAD Color16(const uint8_t* p) {
  const uint32_t v = px::LE16(p);
  return {uint8_t((v & 31) * 8), uint8_t(((v >> 5) & 31) * 8), uint8_t(((v >> 10) & 31) * 8), 255};
}

RGBQUAD MapEntry(const uint8_t* p, uint8_t bits) {
  switch (bits) {
    case 8:
      return {p[0], p[0], p[0], 255};
    case 15:
    case 16:
      return Color16(p);
    case 24:
      return {p[0], p[1], p[2], 255};
    default:
      return {p[0], p[1], p[2], p[3]};
  }
}

// The colour map with room for every index a pixel of this file can hold. Stored entries
// land at first index onward; the others are copies of entry 0.
struct ColorMap {
  std::vector<RGBQUAD> entries;
  uint32_t count = 0;  // first index + length
};

// Reads the colour map that follows the image ID, of an entry size CheckHeader has passed.
// PX_ERR_FILE_READ when the file ends inside the map.
bool ReadColorMap(px::Operation& op, px::ByteInput& in, const TGAHeader& h, ColorMap* map) {
  const size_t entryBytes = pxtga::MapEntryBytes(h.mapEntryBits);
  const size_t bytes = entryBytes * h.mapLength;
  if (!in.Holds(bytes)) return op.Fail(PX_ERR_FILE_READ);
  std::vector<uint8_t> raw(bytes);
  if (!in.ReadExactly(raw.data(), bytes)) return op.Fail(PX_ERR_FILE_READ);
  map->count = uint32_t(h.mapFirst) + h.mapLength;
  // Pixels are at most 16-bit indices.
  map->entries.assign(std::min<uint32_t>(std::max<uint32_t>(map->count, 256), 65536), RGBQUAD{});
  for (uint32_t i = 0; i < h.mapLength; ++i) {
    const uint32_t index = uint32_t(h.mapFirst) + i;
    if (index >= map->entries.size()) break;
    map->entries[index] = MapEntry(raw.data() + entryBytes * i, h.mapEntryBits);
  }
  for (uint32_t i = map->count; i < map->entries.size(); ++i) map->entries[i] = map->entries[0];
  return true;
}

void GreyRamp(RGBQUAD* pal) {
  for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
}

// Passes the image ID after the header and checks the colour map for `output`.
bool SkipImageID(px::Operation& op, px::ByteInput& in, const TGAHeader& h, Output output,
                 uint32_t depth) {
  if (!in.Skip(h.idLength)) return op.Fail(PX_ERR_FILE_READ);
  if (int e = CheckHeader(h, output, depth, Stage::kImageID)) return op.Fail(e);
  return true;
}

// The 256-entry palette of an 8-bit file (colour map or grey ramp), after the header.
// Leaves the input just after the colour map.
bool ReadPalette(px::Operation& op, px::ByteInput& in, const TGAHeader& h, Output output,
                 RGBQUAD* pal, uint32_t* count) {
  std::memset(pal, 0, 256 * sizeof(RGBQUAD));
  if (!SkipImageID(op, in, h, output, 8)) return false;
  ColorMap map;
  if (h.HasMap() && !ReadColorMap(op, in, h, &map)) return false;
  if (h.Grey()) {
    GreyRamp(pal);
    *count = 256;
    return true;
  }
  std::memcpy(pal, map.entries.data(), 256 * sizeof(RGBQUAD));
  *count = std::min<uint32_t>(map.count, 256);
  return true;
}

// Hands out the stored pixels a row at a time, following run-length packets across row
// ends. Returns how many pixels of the row it could read.
class PixelReader {
 public:
  PixelReader(px::ByteInput& in, size_t bytes, bool runLength)
      : in_(in), bytes_(bytes), runLength_(runLength) {}

  uint32_t Row(uint8_t* out, uint32_t count) {
    if (!runLength_) return uint32_t(in_.Read(out, bytes_ * count) / bytes_);
    for (uint32_t n = 0; n < count; ++n, out += bytes_) {
      if (left_ == 0) {
        uint8_t packet;
        if (!in_.Byte(&packet)) return n;
        left_ = (packet & 127u) + 1;
        repeat_ = (packet & 128u) != 0;
        if (repeat_ && !in_.ReadExactly(value_, bytes_)) return n;
      }
      --left_;
      if (!repeat_ && !in_.ReadExactly(out, bytes_)) return n;
      if (repeat_) std::memcpy(out, value_, bytes_);
    }
    return count;
  }

 private:
  px::ByteInput& in_;
  size_t bytes_;
  bool runLength_;
  uint32_t left_ = 0;
  bool repeat_ = false;
  uint8_t value_[4] = {};
};

inline RGBQUAD PixelColor(PixelKind kind, const uint8_t* p, const ColorMap& map) {
  switch (kind) {
    case PixelKind::kIndex8:
      return map.entries[p[0]];
    case PixelKind::kIndex16: {
      const uint32_t index = px::LE16(p);
      return index < map.entries.size() ? map.entries[index] : map.entries[0];
    }
    case PixelKind::kGrey8:
      return {p[0], p[0], p[0], 255};
    case PixelKind::kGreyAlpha16:
      return {p[0], p[0], p[0], p[1]};
    case PixelKind::kColor16:
      return Color16(p);
    case PixelKind::kBGR24:
      return {p[0], p[1], p[2], 255};
    case PixelKind::kBGRA32:
    default:
      return {p[0], p[1], p[2], p[3]};
  }
}

// Looks for the 2.0 footer and its extension area. They only leave traces: nothing in
// them changes the image.
void InspectFooter(CPXIO& io) {
  uint8_t footer[kFooterSize];
  if (!io.Seek(-int64_t(kFooterSize), PX_SEEK_END) || !io.ReadExactly(footer, sizeof footer))
    return;
  if (std::memcmp(footer + 8, kFooterText, sizeof kFooterText) != 0) return;
  px::Trace("Found TGA footer\n");
  const uint32_t extension = px::LE32(footer);
  uint8_t area[kExtensionSize];
  if (extension && io.Seek(extension, PX_SEEK_SET) && io.ReadExactly(area, sizeof area))
    px::Trace("TGA extension area of %u bytes\n", unsigned(px::LE16(area)));
}

BYTE* ReadTGA(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height, uint32_t depth,
              RGBQUAD* palette, uint32_t flags) {
  const bool dib = (flags & PX_READ_PACKED_DIB) != 0;
  if (!dib && depth != 8 && depth != 24 && depth != 32)
    return op.SetError(PX_ERR_PARAMETER), nullptr;
  if (!dib && depth == 8 && !palette) return op.SetError(PX_ERR_PARAMETER), nullptr;

  TGAHeader h;
  if (!ReadHeader(op, io, &h)) return nullptr;
  if (dib) depth = h.pixelDepth == 32 ? 32 : 24;
  if (int e = CheckHeader(h, Output::kImage, depth, Stage::kHeader)) return op.SetError(e), nullptr;
  const bool indexed = depth == 8;
  PixelKind kind = PixelKind::kBGR24;
  pxtga::ChoosePixelKind(h, &kind);

  px::ByteInput in(io);
  ColorMap map;
  RGBQUAD pal[256] = {};
  uint32_t palCount = 0;
  if (indexed) {
    if (!ReadPalette(op, in, h, Output::kImage, pal, &palCount)) return nullptr;
    std::memcpy(palette, pal, sizeof pal);
  } else {
    if (!SkipImageID(op, in, h, Output::kImage, depth)) return nullptr;
    if (h.HasMap() && !ReadColorMap(op, in, h, &map)) return nullptr;
  }

  const size_t pixelBytes = (h.pixelDepth + 7) / 8;
  const uint64_t pixels = uint64_t(h.width) * h.height;
  // Raw data is exactly width x height pixels; a run-length packet covers at most 128.
  const uint64_t least =
      h.RunLength() ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
  if (!in.Holds(least)) return op.SetError(PX_ERR_FILE_READ), nullptr;

  px::RasterOutput out;
  if (!out.Allocate(op, h.width, h.height, depth, dib)) return nullptr;
  std::vector<uint8_t> row(out.RowBytes());
  std::vector<uint8_t> stored(pixelBytes * h.width);
  const size_t outBytes = depth / 8;
  PixelReader reader(in, pixelBytes, h.RunLength());
  for (uint32_t i = 0; i < h.height; ++i) {
    if (reader.Row(stored.data(), h.width) < h.width) {
      op.SetError(PX_ERR_FILE_READ);
      break;
    }
    const uint8_t* p = stored.data();
    for (uint32_t n = 0; n < h.width; ++n, p += pixelBytes) {
      const uint32_t x = h.RightToLeft() ? h.width - 1 - n : n;
      uint8_t* px = row.data() + size_t(x) * outBytes;
      if (indexed) {
        px[0] = p[0];
        continue;
      }
      const RGBQUAD c = PixelColor(kind, p, map);
      px[0] = c.rgbRed;
      px[1] = c.rgbGreen;
      px[2] = c.rgbBlue;
      if (outBytes == 4) px[3] = c.rgbReserved;
    }
    out.StoreRow(h.TopDown() ? i : h.height - 1 - i, row.data());
    if (!op.Progress(i, h.height)) break;
  }
  InspectFooter(io);
  return out.Release(width, height);
}

bool ReadDimensions(px::Operation& op, CPXIO& io, uint32_t* width, uint32_t* height,
                    uint32_t* pixelDepth) {
  TGAHeader h;
  if (!ReadHeader(op, io, &h)) return false;
  if (int e = CheckHeader(h, Output::kDimensions, 0, Stage::kHeader)) return op.Fail(e);
  *width = h.width;
  *height = h.height;
  *pixelDepth = h.pixelDepth;
  return true;
}

bool ReadFilePalette(px::Operation& op, CPXIO& io, uint32_t* colorCount, RGBQUAD* palette) {
  TGAHeader h;
  if (!ReadHeader(op, io, &h)) return false;
  if (int e = CheckHeader(h, Output::kPalette, 0, Stage::kHeader)) return op.Fail(e);
  px::ByteInput in(io);
  return ReadPalette(op, in, h, Output::kPalette, palette, colorCount);
}

}  // namespace

extern "C" BOOL PXGetTGADimensions(PXSource source, uint32_t* width, uint32_t* height,
                                   uint32_t* pixelDepth) {
  return px::RunEntry<BOOL>(source, FALSE, {width, height, pixelDepth},
                            [&](px::Operation& op, CPXIO& io) {
                              return ReadDimensions(op, io, width, height, pixelDepth);
                            });
}

extern "C" BOOL PXGetTGAPalette(PXSource source, uint32_t* colorCount, RGBQUAD* palette) {
  return px::RunEntry<BOOL>(
      source, FALSE, {colorCount, palette},
      [&](px::Operation& op, CPXIO& io) { return ReadFilePalette(op, io, colorCount, palette); });
}

extern "C" BYTE* PXReadTGA(PXSource source, uint32_t* width, uint32_t* height, uint32_t depth,
                           RGBQUAD* palette, uint32_t flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) {
    return ReadTGA(op, io, width, height, depth, palette, flags);
  });
}
