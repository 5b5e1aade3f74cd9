// The fuzz targets by name. Each names one reader entry path of the application; the
// names are those of the fuzzer programs (fuzz_<name>), their corpora and dictionaries,
// and the folders of reproducers under tests/data/fuzz.
#ifndef PAGEWEAVER_FUZZ_TARGETS_H
#define PAGEWEAVER_FUZZ_TARGETS_H

#include <string_view>

#include "entries.h"
#include "roundtrip.h"

namespace pxfuzz {

struct Target {
  const char* name;
  Problem (*run)(const uint8_t* data, size_t size);
  // The most bytes one allocation may take per input byte before the fuzzer reports it
  // (above a floor of 64 MiB): how tightly the densest coding of the format can pack
  // the largest output the target asks for.
  uint64_t bytesPerInputByte;
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
    {"metafile", Metafile, uint64_t(1) << 16},
    {"roundtrip", RoundTrip, uint64_t(1) << 21},
};

inline const Target* FindTarget(std::string_view name) {
  for (const Target& t : kTargets)
    if (name == t.name) return &t;
  return nullptr;
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_TARGETS_H
