// The fuzz targets by name. Each names one reader entry path of the application; the
// names are those of the fuzzer programs (fuzz_<name>), their corpora and dictionaries,
// and the folders of reproducers under tests/data/fuzz.
#ifndef PAGEWEAVER_FUZZ_TARGETS_H
#define PAGEWEAVER_FUZZ_TARGETS_H

#include <string_view>

#include "entries.h"
#include "roundtrip.h"

namespace pxfuzz {

// The readers decode images of up to 64 MiB whatever the file holds, so that truncated
// files come back as far as their data goes; a block of that size (with its header, a
// DIB's header and colours) is always allowed.
inline constexpr uint64_t kTrustedBlock = (uint64_t(64) << 20) + (uint64_t(64) << 10);
// The metafile renderer draws up to 2^25 pixels whatever the file's size: a vector
// file of a few bytes may describe a large picture. Its drawing surface has 4 bytes a
// pixel.
inline constexpr uint64_t kMetafileSurface = (uint64_t(4) << 25) + (uint64_t(64) << 10);

struct Target {
  const char* name;
  Problem (*run)(const uint8_t* data, size_t size);
  // The most bytes one allocation may take per input byte before the fuzzer reports it:
  // how tightly the densest coding of the format can pack the largest output the target
  // asks for.
  uint64_t bytesPerInputByte;
  // Allocations up to this size are allowed whatever the input's size.
  uint64_t floorBytes = kTrustedBlock;
};

inline constexpr Target kTargets[] = {
    {"detect", Detect, 0},
    {"bmp", BMP, uint64_t(1) << 16},
    {"tiff_info", TIFFInfo, uint64_t(1) << 16},
    {"tiff_read", TIFFRead, uint64_t(1) << 21},
    {"png", PNG, uint64_t(1) << 17},
    {"jpeg", JPEG, uint64_t(1) << 14},
    {"gif", GIF, uint64_t(1) << 15},
    {"pcx", PCX, uint64_t(1) << 14},
    {"tga", TGA, uint64_t(1) << 12},
    {"wbmp", WBMP, 64},
    {"psd", PSD, uint64_t(1) << 12},
    // Lossless WebP, HEVC and AV1 can code a flat picture in almost nothing; the readers
    // believe 2^16 pixels a byte, and the codecs keep planes of up to 8 bytes a pixel.
    {"webp", WebP, uint64_t(1) << 19},
    {"heif", HEIF, uint64_t(1) << 19},
    {"exif", ExifOrientation, 4},
    {"metafile", Metafile, 0, kMetafileSurface},
    {"roundtrip", RoundTrip, uint64_t(1) << 21, kMetafileSurface},
};

inline const Target* FindTarget(std::string_view name) {
  for (const Target& t : kTargets)
    if (name == t.name) return &t;
  return nullptr;
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_TARGETS_H
