// libtiff setup shared by the TIFF reader and writer.
#include "codecs/tiff_client.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/operation.h"

namespace pxtiff {

namespace {

CPXIO* IO(thandle_t handle) {
  return static_cast<CPXIO*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  return tmsize_t(IO(handle)->Read(buffer, size_t(size)));
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  return IO(handle)->Write(buffer, 1, size_t(size)) ? size : 0;
}

// libtiff gives offsets as unsigned values; from the current position or the end they
// are negative numbers in two's complement. The new position, or 0 when the seek fails.
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  const int origin = whence == SEEK_CUR   ? PX_SEEK_CUR
                     : whence == SEEK_END ? PX_SEEK_END
                                          : PX_SEEK_SET;
  uint64_t position = 0;
  if (!IO(handle)->Seek(int64_t(offset), origin) || !IO(handle)->Tell(&position)) return 0;
  return position;
}

int CloseProc(thandle_t) {
  return 0;  // the source or sink belongs to the caller
}

toff_t SizeProc(thandle_t handle) {
  uint64_t size = 0;
  IO(handle)->Size(&size);
  return size;
}

int MapProc(thandle_t, void**, toff_t*) {
  return 0;  // no mapping: libtiff reads through ReadProc
}

void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's complaints never stop anything of ours; they are only traced.
void TraceMessage(const char* prefix, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  px::Trace("%s%s", prefix, text);
}

void ErrorHandler(const char*, const char* format, va_list args) {
  TraceMessage("LibTiff Error: ", format, args);
}

void WarningHandler(const char*, const char* format, va_list args) {
  TraceMessage("LibTiff Warning: ", format, args);
}

// Tags some writers use that libtiff does not define itself; libtiff keeps its own
// definition of any it already knows.
const TIFFFieldInfo kExtraTags[] = {
    {34665, 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 1, const_cast<char*>("EXIF Offset")},
    {32932, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_BYTE, FIELD_CUSTOM, 0, 1,
     const_cast<char*>("baAnnotations")},
    {33550, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoPixelScale")},
    {33920, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("Intergraph TransformationMatrix")},
    {34264, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoTransformationMatrix")},
    {33922, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoTiePoints")},
    {34735, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_SHORT, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoKeyDirectory")},
    {34736, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1,
     const_cast<char*>("GeoDoubleParams")},
    {34737, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_ASCII, FIELD_CUSTOM, 1, 0,
     const_cast<char*>("GeoASCIIParams")},
};

TIFFExtendProc g_previousExtender = nullptr;

void ExtendTags(TIFF* tif) {
  TIFFMergeFieldInfo(tif, kExtraTags, sizeof kExtraTags / sizeof kExtraTags[0]);
  if (g_previousExtender) g_previousExtender(tif);
}

}  // namespace

namespace {

void GeneralSort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*)) {
  qsort_r(
      base, count, size,
      [](const void* x, const void* y, void* f) {
        return reinterpret_cast<int (*)(const void*, const void*)>(f)(x, y);
      },
      reinterpret_cast<void*>(compare));
}

}  // namespace

void AdaptiveSort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*)) {
  // A tail this short is inserted element by element; a longer one is sorted on its own
  // and merged with the sorted part.
  constexpr size_t kMostInserted = 16;
  constexpr size_t kLargestInserted = 64;
  auto* const b = static_cast<unsigned char*>(base);
  auto at = [&](size_t i) { return b + i * size; };
  size_t sorted = count ? 1 : 0;
  while (sorted < count && compare(at(sorted - 1), at(sorted)) <= 0) ++sorted;
  if (sorted == count) return;
  if (count - sorted <= kMostInserted && size <= kLargestInserted) {
    unsigned char item[kLargestInserted];
    for (; sorted < count; ++sorted) {
      std::memcpy(item, at(sorted), size);
      // After the last element not greater than the item.
      size_t lo = 0, hi = sorted;
      while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (compare(at(mid), item) <= 0)
          lo = mid + 1;
        else
          hi = mid;
      }
      std::memmove(at(lo + 1), at(lo), (sorted - lo) * size);
      std::memcpy(at(lo), item, size);
    }
    return;
  }
  // Only worth it while the sorted part is the larger one.
  auto* front =
      sorted >= count / 2 ? static_cast<unsigned char*>(std::malloc(sorted * size)) : nullptr;
  if (!front) return GeneralSort(base, count, size, compare);
  GeneralSort(at(sorted), count - sorted, size, compare);
  // The sorted part moves aside; the merge writes from the start and never overtakes the
  // tail it reads.
  std::memcpy(front, b, sorted * size);
  size_t i = 0, j = sorted, out = 0;
  while (i < sorted && j < count) {
    const unsigned char* next = front + i * size;
    if (compare(next, at(j)) <= 0) {
      ++i;
    } else {
      next = at(j++);
    }
    std::memmove(at(out++), next, size);
  }
  std::memcpy(at(out), front + i * size, (sorted - i) * size);
  std::free(front);
}

void InitLibTIFF() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(ErrorHandler);
    TIFFSetWarningHandler(WarningHandler);
    g_previousExtender = TIFFSetTagExtender(ExtendTags);
  });
}

TIFF* OpenClient(CPXIO* io, const char* mode) {
  InitLibTIFF();
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  // No single buffer of libtiff's may be larger than a block of ours could be.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(PX_MAX_GLOBAL_BLOCK));
  const char* name = io->Path()[0] ? io->Path() : "source";
  TIFF* tif = TIFFClientOpenExt(name, mode, io, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
  return tif;
}

}  // namespace pxtiff

// Defined in the program, so that libtiff (and every other library of the process) binds
// its qsort calls here rather than to the C library's.
extern "C" void qsort(void* base, size_t count, size_t size,
                      int (*compare)(const void*, const void*)) {
  pxtiff::AdaptiveSort(base, count, size, compare);
}
