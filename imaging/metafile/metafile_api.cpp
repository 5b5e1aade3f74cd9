// Loading enhanced and Windows metafiles, and the playback entry points.
#include <cstdio>
#include <cstring>
#include <new>

#include "metafile/player.h"
#include "metafile/wmf_convert.h"
#include "platform/gdi_objects.h"
#include "platform/metafile.h"

namespace px {

struct EnhMetaFileObject {
  std::vector<uint8_t> bytes;
  ENHMETAHEADER header;
};

struct MetaFileObject {
  std::vector<uint8_t> bytes;
};

}  // namespace px

namespace {

bool ReadWholeFile(const char* path, std::vector<uint8_t>* out) {
  if (!path || !*path) return false;
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = false;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size >= 0 && uint64_t(size) <= PX_MAX_GLOBAL_BLOCK && std::fseek(f, 0, SEEK_SET) == 0) {
      try {
        out->resize(size_t(size));
        ok = std::fread(out->data(), 1, out->size(), f) == out->size();
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
  }
  std::fclose(f);
  return ok;
}

bool ParseEnhHeader(const std::vector<uint8_t>& bytes, ENHMETAHEADER* h) {
  pxmf::ByteView v(bytes.data(), bytes.size());
  if (bytes.size() < 88) return false;
  std::memset(h, 0, sizeof *h);
  h->iType = v.U32(0);
  h->nSize = v.U32(4);
  h->rclBounds = {v.I32(8), v.I32(12), v.I32(16), v.I32(20)};
  h->rclFrame = {v.I32(24), v.I32(28), v.I32(32), v.I32(36)};
  h->dSignature = v.U32(40);
  h->nVersion = v.U32(44);
  h->nBytes = v.U32(48);
  h->nRecords = v.U32(52);
  h->nHandles = v.U16(56);
  h->sReserved = v.U16(58);
  h->nDescription = v.U32(60);
  h->offDescription = v.U32(64);
  h->nPalEntries = v.U32(68);
  h->szlDeviceCx = v.I32(72);
  h->szlDeviceCy = v.I32(76);
  h->szlMillimetersCx = v.I32(80);
  h->szlMillimetersCy = v.I32(84);
  if (h->iType != pxmf::EMR_HEADER || h->dSignature != px::kEmfSignature) return false;
  if (h->nSize < 88 || h->nSize > bytes.size()) return false;
  // The later header fields exist only when the description does not start before them.
  uint32_t fields = h->nSize;
  if (h->nDescription && h->offDescription >= 88 && h->offDescription < fields)
    fields = h->offDescription;
  if (fields >= 100) {
    h->cbPixelFormat = v.U32(88);
    h->offPixelFormat = v.U32(92);
    h->bOpenGL = v.U32(96);
  }
  if (fields >= 108) {
    h->szlMicrometersCx = v.I32(100);
    h->szlMicrometersCy = v.I32(104);
  }
  return true;
}

HENHMETAFILE MakeEnhMetaFile(std::vector<uint8_t> bytes) {
  auto* emf = new (std::nothrow) px::EnhMetaFileObject();
  if (!emf) return nullptr;
  emf->bytes = std::move(bytes);
  if (!ParseEnhHeader(emf->bytes, &emf->header)) {
    delete emf;
    return nullptr;
  }
  return emf;
}

}  // namespace

HENHMETAFILE GetEnhMetaFileA(const char* path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return nullptr;
  return MakeEnhMetaFile(std::move(bytes));
}

HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data) {
  if (!data || !size) return nullptr;
  try {
    return MakeEnhMetaFile(std::vector<uint8_t>(data, data + size));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

UINT GetEnhMetaFileHeader(HENHMETAFILE emf, UINT size, ENHMETAHEADER* header) {
  if (!emf) return 0;
  if (!header) return sizeof(ENHMETAHEADER);
  UINT n = size < sizeof(ENHMETAHEADER) ? size : UINT(sizeof(ENHMETAHEADER));
  std::memcpy(header, &emf->header, n);
  return n;
}

BOOL DeleteEnhMetaFile(HENHMETAFILE emf) {
  if (!emf) return FALSE;
  delete emf;
  return TRUE;
}

HMETAFILE GetMetaFileA(const char* path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return nullptr;
  if (!pxmf::IsWindowsMetafileHeader(pxmf::ByteView(bytes.data(), bytes.size()))) return nullptr;
  auto* mf = new (std::nothrow) px::MetaFileObject();
  if (!mf) return nullptr;
  mf->bytes = std::move(bytes);
  return mf;
}

UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, void* buffer) {
  if (!metafile) return 0;
  UINT total = UINT(metafile->bytes.size());
  if (!buffer) return total;
  if (size < total) return 0;
  std::memcpy(buffer, metafile->bytes.data(), total);
  return total;
}

BOOL DeleteMetaFile(HMETAFILE metafile) {
  if (!metafile) return FALSE;
  delete metafile;
  return TRUE;
}

HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* bits, HDC, const METAFILEPICT* picture) {
  if (!bits || !size) return nullptr;
  std::vector<uint8_t> emf;
  if (!pxmf::ConvertWindowsMetafile(pxmf::ByteView(bits, size), picture, &emf)) return nullptr;
  return MakeEnhMetaFile(std::move(emf));
}

BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE emf, const RECT* rect) {
  return px::PlayEnhMetaFileEx(dc, emf, rect, nullptr);
}

namespace px {

BOOL PlayEnhMetaFileEx(HDC dc, HENHMETAFILE emf, const RECT* rect, PlaybackReport* report) {
  if (report) *report = PlaybackReport();
  if (!dc || !emf || !rect) return FALSE;
  PXBitmapObject* target = dc->Target();
  if (!target) return FALSE;
  // Playback draws with Cairo, loaded by the first metafile played; without it nothing is
  // played, and the caller sees a metafile of no records.
  if (!pxmf::LoadLibcairo()) return FALSE;
  pxmf::Player player(target->pixels.data(), target->width, target->height, emf->header, *rect,
                      pxmf::ByteView(emf->bytes.data(), emf->bytes.size()));
  if (!player.ok()) return FALSE;
  PlaybackReport result;
  player.Run(&result);
  if (report) *report = result;
  return result.complete ? TRUE : FALSE;
}

}  // namespace px
