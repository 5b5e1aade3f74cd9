// Packed DIBs from memory, read as bitmap files by the BMP reader.
#include "readers/bmp/bmp_dib.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_bmp.h"

namespace pxbmp {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kMaskHeaderBytes = 56;  // the 40-byte header with four masks
// Bit fields with an alpha mask, stored after a 40-byte header as four masks.
constexpr uint32_t kAlphaBitfields = 6;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// A file header, then `infoBytes` of the info. A 40-byte header followed by the four
// masks of BI_ALPHABITFIELDS becomes the 56-byte header that holds them, which the
// reader knows.
bool BeginFile(const DIBParts& dib, size_t infoBytes, size_t totalBytes,
               std::vector<uint8_t>* out) {
  if (totalBytes > UINT32_MAX) return false;
  out->assign(kFileHeaderBytes, 0);
  (*out)[0] = 'B';
  (*out)[1] = 'M';
  Put32(out->data() + 2, uint32_t(totalBytes));
  out->insert(out->end(), dib.info, dib.info + infoBytes);
  uint8_t* info = out->data() + kFileHeaderBytes;
  if (infoBytes >= 20 && px::LE32(info) >= kInfoHeaderBytes &&
      px::LE32(info + 16) == kAlphaBitfields) {
    if (px::LE32(info) == kInfoHeaderBytes) Put32(info, kMaskHeaderBytes);
    Put32(info + 16, BI_BITFIELDS);
  }
  return true;
}

// Runs `read` over the bytes as a source of their own.
template <class Read>
bool WithSource(const std::vector<uint8_t>& bytes, Read read) {
  PXSource source = PXOpenMemorySource(bytes.data(), uint32_t(bytes.size()));
  if (!source) return false;
  read(source);
  PXCloseSource(source);
  return true;
}

}  // namespace

int ReadDIBHeader(const DIBParts& dib, Header* header) {
  px::Operation op;  // the calls below are nested: they report no progress
  std::vector<uint8_t> file;
  int error = PX_ERR_FILE_READ;
  try {
    if (!dib.info || !BeginFile(dib, dib.infoBytes, kFileHeaderBytes + dib.infoBytes, &file))
      return error;
    WithSource(file, [&](PXSource source) {
      CPXIO io(source);
      error = ReadHeader(io, header);
    });
  } catch (const std::bad_alloc&) {
    error = PX_ERR_NO_MEMORY;
  }
  return error;
}

DIBTable DIBColorTable(const Header& h) {
  DIBTable table;
  table.offset = h.headerSize;
  if (!h.core() && h.compression == BI_BITFIELDS && !h.headerMasks) table.offset += 12;
  if (h.bitCount <= 8) table.count = uint32_t(std::min<uint64_t>(h.declaredColors(), 256));
  return table;
}

BYTE* DecodeDIB(const DIBParts& dib, const RGBQUAD* colors, uint32_t* width, uint32_t* rows,
                int* error) {
  px::Operation op;  // the calls below are nested: they report no progress
  Header h;
  if ((*error = ReadDIBHeader(dib, &h)) != PX_OK) return nullptr;
  const DIBTable table = DIBColorTable(h);
  const size_t entry = h.entrySize(), tableBytes = size_t(table.count) * entry;
  // The header and the masks before the table must all be there.
  if (dib.infoBytes < table.offset) return *error = PX_ERR_FILE_READ, nullptr;
  BYTE* pixels = nullptr;
  try {
    std::vector<uint8_t> file;
    const size_t offBits = kFileHeaderBytes + table.offset + tableBytes;
    if (!BeginFile(dib, table.offset, offBits + dib.bitsBytes, &file))
      return *error = PX_ERR_FILE_READ, nullptr;
    Put32(file.data() + 10, uint32_t(offBits));
    file.resize(offBits, 0);  // entries the info stops short of stay zero: black
    uint8_t* out = file.data() + kFileHeaderBytes + table.offset;
    if (colors) {
      for (uint32_t i = 0; i < table.count; ++i, out += entry)
        std::memcpy(out, &colors[i], entry);  // blue, green, red (, reserved)
    } else if (dib.infoBytes > table.offset) {
      std::memcpy(out, dib.info + table.offset, std::min(tableBytes, dib.infoBytes - table.offset));
    }
    file.insert(file.end(), dib.bits, dib.bits + dib.bitsBytes);
    WithSource(file, [&](PXSource source) {
      pixels = PXReadBMP(source, width, rows, 32, nullptr, 0);
      *error = PXGetLastError();
    });
  } catch (const std::bad_alloc&) {
    *error = PX_ERR_NO_MEMORY;
  }
  return pixels;
}

}  // namespace pxbmp
