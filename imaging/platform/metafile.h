// The platform's metafile services: loading enhanced and Windows metafiles, converting
// a Windows metafile into an enhanced one, and playing an enhanced metafile into a
// device context. These are the handles and calls the library is written against; the
// record player behind them (over Cairo) is imaging/metafile/.
//
// Every function treats the metafile bytes as hostile: sizes, counts, offsets and object
// indices are checked against the data before use, and a damaged record ends playback
// instead of being read past its end.
#ifndef PIXOLITH_PLATFORM_METAFILE_H
#define PIXOLITH_PLATFORM_METAFILE_H

#include <cstdint>

#include "pixolith/platform.h"

namespace px {
struct EnhMetaFileObject;
struct MetaFileObject;
}  // namespace px
typedef px::EnhMetaFileObject* HENHMETAFILE;
typedef px::MetaFileObject* HMETAFILE;

// Mapping modes.
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

namespace px {

// The key that starts a placeable Windows metafile, and the size of that header.
inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
inline constexpr uint32_t kPlaceableHeaderSize = 22u;

}  // namespace px

// The enhanced-metafile header as stored in the file (the first 88 bytes, which every
// version has), with the two later additions read when the record holds them.
struct ENHMETAHEADER {
  DWORD iType;
  DWORD nSize;
  RECT rclBounds;  // device units of the reference device, inclusive
  RECT rclFrame;   // hundredths of a millimetre
  DWORD dSignature;
  DWORD nVersion;
  DWORD nBytes;
  DWORD nRecords;
  WORD nHandles;
  WORD sReserved;
  DWORD nDescription;
  DWORD offDescription;
  DWORD nPalEntries;
  LONG szlDeviceCx;  // reference device size in pixels
  LONG szlDeviceCy;
  LONG szlMillimetersCx;  // and in millimetres
  LONG szlMillimetersCy;
  DWORD cbPixelFormat;
  DWORD offPixelFormat;
  DWORD bOpenGL;
  LONG szlMicrometersCx;  // 0 when the header is older
  LONG szlMicrometersCy;
};

namespace px {

inline constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

}  // namespace px

// Picture description for SetWinMetaFileBits: mapping mode and suggested extents in
// hundredths of a millimetre.
struct METAFILEPICT {
  LONG mm;
  LONG xExt;
  LONG yExt;
  HMETAFILE hMF;
};

// Loads an enhanced metafile; null when the file cannot be read or is not one.
HENHMETAFILE GetEnhMetaFileA(const char* path);
// An enhanced metafile over a copy of the bytes; null when they are not one.
HENHMETAFILE SetEnhMetaFileBits(UINT size, const BYTE* data);
// Copies up to `size` bytes of the header; returns the bytes copied (or, with a null
// header, the header size), 0 on failure.
UINT GetEnhMetaFileHeader(HENHMETAFILE emf, UINT size, ENHMETAHEADER* header);
BOOL DeleteEnhMetaFile(HENHMETAFILE emf);

// Loads a Windows metafile that starts with its own 18-byte header (placeable files,
// which start with another header, are refused as the platform refuses them).
HMETAFILE GetMetaFileA(const char* path);
// With a null buffer: the size of the metafile bits. Otherwise copies them when `size`
// is large enough and returns the count copied; 0 on failure.
UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, void* buffer);
BOOL DeleteMetaFile(HMETAFILE metafile);

// Converts Windows metafile bits into an enhanced metafile whose picture frame comes
// from `picture` (isotropic or anisotropic extents in hundredths of a millimetre).
// Null when the bits do not start with a valid metafile header.
HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* bits, HDC referenceDC,
                                const METAFILEPICT* picture);

namespace px {

// What a playback achieved.
struct PlaybackReport {
  bool complete = false;  // every record was read (a damaged record stops playback)
  uint32_t drawn = 0;     // records that drew something
  uint32_t records = 0;   // records played
};

}  // namespace px

// Plays the metafile into the rectangle (right and bottom exclusive) of the device
// context's raster, its picture frame stretched to fill it. FALSE when the device
// context has no raster or playback stopped at a damaged record.
BOOL PlayEnhMetaFile(HDC dc, HENHMETAFILE emf, const RECT* rect);

namespace px {

BOOL PlayEnhMetaFileEx(HDC dc, HENHMETAFILE emf, const RECT* rect, PlaybackReport* report);

}  // namespace px

#endif  // PIXOLITH_PLATFORM_METAFILE_H
