// Format detection by signature, extension, the TGA footer and the Photo CD mark.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "readers/heif/heif_header.h"

namespace {

// The 44 bytes detection reads first.
constexpr size_t kHeadBytes = 44;
// Enough of a file type box for every brand a real file lists.
constexpr size_t kFileTypeBytes = 256;

// A second look for rows whose magic alone says too little: the bytes read so far and
// the source standing right after them.
using Confirm = bool (*)(CPXIO& io, const uint8_t* head, size_t got);

struct Signature {
  int id;
  size_t offset;
  size_t length;
  const char* bytes;
  Confirm confirm = nullptr;
};

// RIFF holds many formats; WebP names itself at offset 8.
bool IsWebP(CPXIO&, const uint8_t* head, size_t got) {
  return got >= 12 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

// An ftyp box starts ISO media files of every kind; only some brands are images. The box
// may list more brands than the head holds, so the rest of it is read as well.
bool IsHEIF(CPXIO& io, const uint8_t* head, size_t got) {
  uint8_t box[kFileTypeBytes];
  std::memcpy(box, head, got);
  const size_t boxSize = std::min<size_t>(px::BE32(head), sizeof box);
  if (boxSize > got) got += io.Read(box + got, boxSize - got);
  pxheif::FileType type;
  return pxheif::ReadFileType(box, got, &type) && type.image;
}

// Tried in order; the first match decides. Strong magic numbers come first; two zero
// bytes (WBMP's type and fixed header) match almost anything and come last but one, so
// they only decide when nothing better did, and even then the extension and the TGA
// footer are consulted before WBMP is believed. TGA has no signature: its extension or
// its footer names it.
constexpr Signature kSignatures[] = {
    {PX_FORMAT_BMP, 0, 2, "BM"},
    {PX_FORMAT_PAX, 0, 3, "PAX"},
    {PX_FORMAT_GIF, 0, 6, "GIF89a"},
    {PX_FORMAT_GIF, 0, 6, "GIF87a"},
    {PX_FORMAT_JPEG, 0, 4, "\xFF\xD8\xFF\xE0"},
    {PX_FORMAT_JPEG, 0, 3, "\xFF\xD8\xFF"},
    {PX_FORMAT_PCX, 0, 2, "\x0A\x00"},
    {PX_FORMAT_PCX, 0, 2, "\x0A\x02"},
    {PX_FORMAT_PCX, 0, 2, "\x0A\x03"},
    {PX_FORMAT_PCX, 0, 2, "\x0A\x05"},
    {PX_FORMAT_TIFF, 0, 2, "MM"},
    {PX_FORMAT_TIFF, 0, 2, "II"},
    {PX_FORMAT_PNG, 0, 8, "\x89PNG\x0D\x0A\x1A\x0A"},
    {PX_FORMAT_WMF, 0, 5, "\x01\x00\x09\x00\x00"},
    {PX_FORMAT_WMF, 0, 4, "\xD7\xCD\xC6\x9A"},
    {PX_FORMAT_EMF, 40, 4, " EMF"},
    {PX_FORMAT_PSD, 0, 4, "8BPS"},
    {PX_FORMAT_TLA, 0, 4, "TLA\x01"},
    {PX_FORMAT_TLAU, 0, 4, "TLAU"},
    {PX_FORMAT_PCD_OPA, 0, 7, "PCD_OPA"},
    {PX_FORMAT_JP2, 4, 5, "jP  \x0D"},
    {PX_FORMAT_JP2, 0, 2, "\xFF\x4F"},
    {PX_FORMAT_J2K_CODESTREAM, 4, 2, "\xFF\x4F"},
    {PX_FORMAT_WEBP, 0, 4, "RIFF", IsWebP},
    // Before WBMP: a box size starts with two zero bytes.
    {PX_FORMAT_HEIF, 4, 4, "ftyp", IsHEIF},
    {PX_FORMAT_WBMP, 0, 2, "\x00\x00"},
    {PX_FORMAT_OLE, 0, 4, "\xD0\xCF\x11\xE0"},
};

int ExtensionType(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (!dot) return PX_FORMAT_UNKNOWN;
  if (!strcasecmp(dot, ".wbmp") || !strcasecmp(dot, ".wbm")) return PX_FORMAT_WBMP;
  if (!strcasecmp(dot, ".tga")) return PX_FORMAT_TGA;
  if (!strcasecmp(dot, ".webp")) return PX_FORMAT_WEBP;
  if (!strcasecmp(dot, ".heic") || !strcasecmp(dot, ".heif") || !strcasecmp(dot, ".avif"))
    return PX_FORMAT_HEIF;
  return PX_FORMAT_UNKNOWN;
}

int Guess(px::Operation& op, CPXIO& io) {
  uint8_t head[kHeadBytes] = {};
  size_t got = io.Read(head, sizeof head);
  if (got == 0) return op.SetError(PX_ERR_FILE_READ), PX_FORMAT_UNKNOWN;

  int result = PX_FORMAT_UNKNOWN;
  for (const Signature& s : kSignatures) {
    if (got < s.offset + s.length) continue;
    if (std::memcmp(head + s.offset, s.bytes, s.length) != 0) continue;
    if (s.confirm && !s.confirm(io, head, got)) continue;
    if (s.id != PX_FORMAT_WBMP) return s.id;
    result = PX_FORMAT_WBMP;
    break;
  }

  // Only file sources have a name; memory sources leave the path empty.
  int byName = io.handle()->kind == px::kHandleFile ? ExtensionType(io.Path()) : PX_FORMAT_UNKNOWN;
  // A name that says TGA, WebP or HEIF outranks the weak WBMP signature (a damaged
  // WebP or HEIF file still reaches its reader, which gives the format's own error).
  if (byName == PX_FORMAT_TGA || byName == PX_FORMAT_WEBP || byName == PX_FORMAT_HEIF)
    return byName;
  if (byName == PX_FORMAT_WBMP) {
    result = PX_FORMAT_WBMP;
  } else {
    // The name said nothing: a TGA 2.0 footer outranks the weak WBMP signature.
    uint8_t footer[18];
    if (!io.Seek(-18, PX_SEEK_END) || !io.ReadExactly(footer, sizeof footer))
      return op.SetError(PX_ERR_FILE_READ), PX_FORMAT_UNKNOWN;
    if (std::memcmp(footer, "TRUEVISION-XFILE.", 17) == 0) return PX_FORMAT_TGA;
  }
  if (result != PX_FORMAT_UNKNOWN) return result;

  if (!io.Seek(2048, PX_SEEK_SET)) return PX_FORMAT_UNKNOWN;
  uint8_t mark[3];
  if (!io.ReadExactly(mark, 3)) return op.SetError(PX_ERR_FILE_READ), PX_FORMAT_UNKNOWN;
  return std::memcmp(mark, "PCD", 3) == 0 ? PX_FORMAT_PHOTO_CD : PX_FORMAT_UNKNOWN;
}

}  // namespace

extern "C" int PXGuessFileType(PXSource source) {
  return px::RunEntry<int>(source, PX_FORMAT_UNKNOWN, {}, Guess);
}
