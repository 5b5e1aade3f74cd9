// A PNG file's image data as it stores it: the chunks are walked here, every length
// checked against the file, so that the joined IDAT data can go into another file
// (a PDF image with the PNG predictor) without being decoded. Anything libpng would
// refuse or read otherwise than as plain 8-bit samples makes the file not copyable.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_streams.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunk = 0x7FFFFFFFu;  // PNG's largest chunk length

bool IsType(const uint8_t* type, const char* name) {
  return std::memcmp(type, name, 4) == 0;
}

bool IsLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Ancillary chunks (a lower-case first letter) do not change how the samples decode.
bool IsAncillary(const uint8_t* type) {
  return type[0] & 0x20;
}

uint32_t ChunkCRC(const uint8_t* type, const uint8_t* data, uint32_t length) {
  // zlib takes a null buffer as a request for its initial value.
  const uLong crc = crc32(0, type, 4);
  return uint32_t(length ? crc32(crc, data, length) : crc);
}

// One chunk's data and CRC read in full; false on a short read or a wrong CRC.
bool ReadChecked(CPXIO& io, const uint8_t* type, uint32_t length, std::vector<uint8_t>* data) {
  const size_t start = data->size();
  data->resize(start + length);
  uint8_t crc[4];
  if (!io.ReadExactly(data->data() + start, length) || !io.ReadExactly(crc, 4)) return false;
  return ChunkCRC(type, data->data() + start, length) == px::BE32(crc);
}

// The header's fields, true when they are ones this copy takes: 8-bit grey or RGB
// samples or 2- to 8-bit indices, deflate, adaptive filtering, no interlace.
bool TakeHeader(const std::vector<uint8_t>& h, PXPNGStream* facts) {
  facts->width = px::BE32(h.data());
  facts->height = px::BE32(h.data() + 4);
  const uint8_t depth = h[8], colorType = h[9];
  facts->bitDepth = depth;
  facts->colorType = colorType;
  facts->samples = colorType == 2 ? 3 : 1;
  const bool sizeOk =
      facts->width && facts->height && facts->width <= kMaxChunk && facts->height <= kMaxChunk;
  const bool depthOk = colorType == 3 ? depth == 2 || depth == 4 || depth == 8
                                      : depth == 8 && (colorType == 0 || colorType == 2);
  return sizeOk && depthOk && h[10] == 0 && h[11] == 0 && h[12] == 0;
}

// Walks the chunks from the signature to IEND. With `idat`, the image data is read
// (CRC-checked) into it; without, it is skipped. False when the source holds no PNG
// header; `facts` says whether the file is copyable.
bool Walk(CPXIO& io, PXPNGStream* facts, std::vector<uint8_t>* idat) {
  std::memset(facts, 0, sizeof *facts);
  uint64_t fileSize = 0;
  uint8_t signature[8];
  if (!io.Size(&fileSize) || !io.Rewind() || !io.ReadExactly(signature, 8) ||
      std::memcmp(signature, kSignature, 8) != 0)
    return false;
  uint64_t position = 8;
  if (idat && fileSize <= PX_MAX_GLOBAL_BLOCK) idat->reserve(size_t(fileSize));
  bool header = false, headerOk = false, palette = false, transparent = false;
  enum { kBefore, kInData, kAfter } data = kBefore;
  uint64_t dataBytes = 0;
  for (;;) {
    uint8_t head[8];
    if (fileSize - position < 12 || !io.ReadExactly(head, 8)) break;
    const uint32_t length = px::BE32(head);
    const uint8_t* type = head + 4;
    position += 8;
    // The data and its CRC must lie within the file.
    if (length > kMaxChunk || uint64_t(length) + 4 > fileSize - position) break;
    if (!IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) || !IsLetter(type[3])) break;
    const bool isHeader = IsType(type, "IHDR");
    if (header == isHeader) {
      if (!header) return false;  // no IHDR first: no PNG
      break;                      // a second IHDR
    }
    if (data == kInData && !IsType(type, "IDAT")) data = kAfter;
    if (isHeader) {
      std::vector<uint8_t> h;
      if (length != 13) return false;
      if (!ReadChecked(io, type, length, &h)) return false;
      header = true;
      headerOk = TakeHeader(h, facts);
    } else if (IsType(type, "IEND")) {
      const bool ended = length == 0 && data == kAfter && headerOk && !transparent &&
                         (facts->colorType != 3 || palette) && dataBytes > 0;
      std::vector<uint8_t> none;
      facts->copyable = ended && ReadChecked(io, type, 0, &none);
      return true;
    } else if (IsType(type, "IDAT")) {
      if (data == kAfter || (facts->colorType == 3 && !palette)) break;
      data = kInData;
      dataBytes += length;
      if (dataBytes > PX_MAX_GLOBAL_BLOCK) break;
      if (idat) {
        if (!ReadChecked(io, type, length, idat)) break;
      } else if (!io.Seek(int64_t(length) + 4, PX_SEEK_CUR)) {
        break;
      }
    } else if (IsType(type, "PLTE")) {
      // Grey files may hold no palette; RGB files may suggest one, which changes nothing.
      if (palette || data != kBefore || facts->colorType == 0 || length % 3 || !length ||
          length > 768 ||
          (facts->colorType == 3 && length / 3 > (1u << std::min(facts->bitDepth, 8u))))
        break;
      std::vector<uint8_t> entries;
      if (!ReadChecked(io, type, length, &entries)) break;
      palette = true;
      facts->paletteCount = length / 3;
      std::memcpy(facts->palette, entries.data(), length);
    } else if (!IsAncillary(type)) {
      break;  // a critical chunk of another kind
    } else {
      // tRNS after the image data is out of place and ignored by readers.
      if (IsType(type, "tRNS") && data == kBefore) transparent = true;
      if (!io.Seek(int64_t(length) + 4, PX_SEEK_CUR)) break;
    }
    position += uint64_t(length) + 4;
  }
  // Broken off or a chunk out of order: a PNG, but none to take over.
  facts->copyable = 0;
  return header;
}

// True when `stream` inflates to exactly the image's rows, each led by a filter type a
// PNG predictor knows, and ends there.
bool CompleteRows(const std::vector<uint8_t>& stream, const PXPNGStream& facts) {
  const uint64_t row = (uint64_t(facts.width) * facts.samples * facts.bitDepth + 7) / 8 + 1;
  const uint64_t expected = row * facts.height;
  z_stream z = {};
  if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
  struct End {
    z_stream* z;
    ~End() { inflateEnd(z); }
  } end{&z};
  std::vector<uint8_t> window(1 << 16);
  z.next_in = const_cast<Bytef*>(stream.data());
  uint64_t produced = 0, nextRow = 0;
  size_t left = stream.size();
  int status = Z_OK;
  while (status == Z_OK) {
    const uInt chunk = uInt(std::min<size_t>(left, 1u << 30));
    z.avail_in = chunk;
    z.next_out = window.data();
    z.avail_out = uInt(window.size());
    status = inflate(&z, Z_NO_FLUSH);
    left -= chunk - z.avail_in;
    const uint64_t made = window.size() - z.avail_out;
    if (status != Z_OK && status != Z_STREAM_END) return false;
    if (produced + made > expected) return false;
    for (; nextRow < produced + made; nextRow += row)
      if (window[size_t(nextRow - produced)] > 4) return false;
    produced += made;
    if (status == Z_OK && made == 0 && z.avail_in == 0) return false;  // broken off
  }
  return produced == expected && left == 0;
}

}  // namespace

extern "C" BOOL PXGetPNGStream(PXSource source, PXPNGStream* facts) {
  px::Operation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  if (!facts) return op.SetError(PX_ERR_PARAMETER), FALSE;
  CPXIO io(source);
  if (!Walk(io, facts, nullptr)) return op.SetError(PX_ERR_BAD_PNG), FALSE;
  return TRUE;
}

extern "C" BYTE* PXReadPNGStream(PXSource source, PXPNGStream* facts, uint32_t* size) {
  px::Operation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  if (!size) return op.SetError(PX_ERR_PARAMETER), nullptr;
  try {
    CPXIO io(source);
    PXPNGStream survey;
    std::vector<uint8_t> stream;
    const bool png = Walk(io, &survey, &stream);
    if (facts) *facts = survey;
    if (!png) return op.SetError(PX_ERR_BAD_PNG), nullptr;
    if (!survey.copyable) return op.SetError(PX_ERR_PARAMETER), nullptr;
    if (!CompleteRows(stream, survey)) return op.SetError(PX_ERR_BAD_PNG), nullptr;
    px::Block block(stream.size());
    if (!block) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
    std::memcpy(block.get(), stream.data(), stream.size());
    *size = uint32_t(stream.size());
    op.SetError(PX_OK);
    return block.Release();
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
  }
  return nullptr;
}
