// Format detection by signature, extension, the TGA footer and the Photo CD mark.
#include <strings.h>

#include <cstring>

#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"

namespace {

struct Signature {
  int id;
  size_t offset;
  size_t length;
  const char* bytes;
};

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
    {PX_FORMAT_WBMP, 0, 2, "\x00\x00"},
    {PX_FORMAT_OLE, 0, 4, "\xD0\xCF\x11\xE0"},
};

int ExtensionType(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (!dot) return PX_FORMAT_UNKNOWN;
  if (!strcasecmp(dot, ".wbmp") || !strcasecmp(dot, ".wbm")) return PX_FORMAT_WBMP;
  if (!strcasecmp(dot, ".tga")) return PX_FORMAT_TGA;
  return PX_FORMAT_UNKNOWN;
}

int Guess(px::Operation& op, CPXIO& io) {
  uint8_t head[44] = {};
  size_t got = io.Read(head, sizeof head);
  if (got == 0) return op.SetError(PX_ERR_FILE_READ), PX_FORMAT_UNKNOWN;

  int result = PX_FORMAT_UNKNOWN;
  for (const Signature& s : kSignatures) {
    if (got < s.offset + s.length) continue;
    if (std::memcmp(head + s.offset, s.bytes, s.length) != 0) continue;
    if (s.id != PX_FORMAT_WBMP) return s.id;
    result = PX_FORMAT_WBMP;
    break;
  }

  // Only file sources have a name; memory sources leave the path empty.
  int byName = io.handle()->kind == px::kHandleFile ? ExtensionType(io.Path()) : PX_FORMAT_UNKNOWN;
  if (byName == PX_FORMAT_TGA) return PX_FORMAT_TGA;
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
