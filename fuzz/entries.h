// What each fuzz target does with one input: it opens the bytes as the application opens
// a file (a memory source, or a temporary file for the path-based metafile renderer),
// makes the calls the application makes, and checks what comes back. The same functions
// run under libFuzzer (fuzz/driver.cpp), in the plain replay program (fuzz/replay.cpp)
// and in the regression tests, which feed them every input a fuzzer ever broke on.
//
// A run returns null when every promise held, or a short text naming the broken one. A
// crash, a leak, an out-of-bounds access or a hang is found by the sanitizers and the
// fuzzer themselves; the texts cover what they cannot see: a null result without an
// error code, a buffer smaller than the size reported with it, a round trip that changes
// pixels.
#ifndef PAGEWEAVER_FUZZ_ENTRIES_H
#define PAGEWEAVER_FUZZ_ENTRIES_H

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "pixolith/pixolith.h"

namespace pxfuzz {

using Problem = const char*;

// A memory source over the input, closed with the object. Empty inputs give no source.
class Source {
 public:
  Source(const uint8_t* data, size_t size)
      : source_(size && size <= UINT32_MAX ? PXOpenMemorySource(data, uint32_t(size)) : nullptr) {}
  ~Source() {
    if (source_) PXCloseSource(source_);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  explicit operator bool() const { return source_ != nullptr; }
  operator PXSource() const { return source_; }
  // Back to the start, as the application does between calls.
  PXSource Rewound() const {
    PXSeekSource(source_, 0, PX_SEEK_SET);
    return source_;
  }

 private:
  PXSource source_;
};

// Files that hold the current input for the calls that take a path: one name per
// process without an extension, and siblings of it with one. Removed at exit.
class ScratchFile {
 public:
  // Writes the input to the scratch file (or its sibling with `suffix`) and returns the
  // path, empty when it cannot be written.
  static std::string Write(const uint8_t* data, size_t size, const char* suffix = "") {
    std::string path = Sibling(suffix);
    if (path.empty()) return path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return std::string();
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    return ok ? path : std::string();
  }
  // The scratch file's name with `suffix` added, for files the library writes.
  static std::string Sibling(const char* suffix) {
    static ScratchFile file;
    return file.path_.empty() ? std::string() : file.path_ + suffix;
  }

 private:
  static constexpr const char* kSuffixes[] = {"", ".png", ".tif", ".tif.again", ".tga"};

  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/pxfuzz-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) return;
    close(fd);
    path_ = pattern;
  }
  ~ScratchFile() {
    if (path_.empty()) return;
    for (const char* s : kSuffixes) std::remove((path_ + s).c_str());
  }
  std::string path_;
};

// Where Touch leaves its sum, so that the reads are not optimised away.
inline volatile uint8_t g_touched = 0;

// Reads a block through its whole length (one byte per cache line, and the last), so
// that the address sanitizer sees a block that is smaller than the library says.
inline void Touch(const void* block, size_t bytes) {
  const volatile uint8_t* p = static_cast<const uint8_t*>(block);
  uint8_t sum = 0;
  for (size_t i = 0; i < bytes; i += 64) sum = uint8_t(sum + p[i]);
  if (bytes) sum = uint8_t(sum + p[bytes - 1]);
  g_touched = sum;
}

// After a call that reports success by its result: a failure must come with a code.
inline Problem Reported(bool ok, const char* what) {
  return ok || PXGetLastError() != 0 ? nullptr : what;
}

// Checks and frees an image buffer a reader returned for width x height at `bits`.
inline Problem CheckImage(void* block, uint32_t width, uint32_t height, uint32_t bits) {
  if (!block) return Reported(false, "no image and no error code");
  uint64_t need = uint64_t(PXImageRowBytes(width, bits)) * height;
  uint64_t have = GlobalSize(block);
  Problem problem = nullptr;
  if (width == 0 || height == 0) problem = "an image without pixels";
  if (have < need) problem = "an image buffer smaller than its reported size";
  if (!problem) Touch(block, size_t(need));
  GlobalFree(block);
  return problem;
}

// Checks and frees a packed DIB a reader returned: header, colour table and rows must fit
// in the block.
inline Problem CheckDIB(void* block) {
  if (!block) return Reported(false, "no DIB and no error code");
  uint64_t have = GlobalSize(block);
  Problem problem = nullptr;
  if (have < sizeof(BITMAPINFOHEADER)) {
    problem = "a DIB smaller than its header";
  } else {
    const auto* h = static_cast<const BITMAPINFOHEADER*>(block);
    uint32_t bits = h->biBitCount;
    uint64_t colors = h->biClrUsed ? h->biClrUsed : bits <= 8 ? (uint64_t(1) << bits) : 0;
    int64_t rows = h->biHeight < 0 ? -int64_t(h->biHeight) : int64_t(h->biHeight);
    if (h->biSize != 40 || h->biWidth <= 0 || rows == 0 || colors > 256 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
      problem = "a DIB with an impossible header";
    } else {
      uint64_t need = 40 + 4 * colors + PXDIBRowBytes(uint32_t(h->biWidth), bits) * uint64_t(rows);
      if (have < need) problem = "a DIB block smaller than its header says";
    }
  }
  if (!problem) Touch(block, size_t(have));
  GlobalFree(block);
  return problem;
}

// While alive, the progress callback tells the running read to stop at its `calls`-th
// report, so that the paths that give up half-way (and free what they built) run too.
class StopAfter {
 public:
  explicit StopAfter(int calls) : left_(calls) {
    PXSetProgressCallback(Report, reinterpret_cast<DWORD_PTR>(&left_));
  }
  ~StopAfter() { PXSetProgressCallback(nullptr, 0); }
  StopAfter(const StopAfter&) = delete;
  StopAfter& operator=(const StopAfter&) = delete;

  // How many reports a read of this input gets before it is stopped: a few, varied by
  // the input so that the fuzzer reaches every stopping point.
  static int CallsFor(size_t size) { return 1 + int(size % 8); }

 private:
  static BOOL Report(UINT, UINT, DWORD_PTR user) { return --*reinterpret_cast<int*>(user) > 0; }
  int left_;
};

// Runs checks in order and keeps the first problem.
class Checks {
 public:
  Checks& operator<<(Problem p) {
    if (!first_) first_ = p;
    return *this;
  }
  Problem result() const { return first_; }

 private:
  Problem first_ = nullptr;
};

/* ---- One target per reader ---------------------------------------------------------------- */

// Reads through `read` (depth, flags, width out, height out -> block) at every depth, as a
// packed DIB with `dibFlags`, and once more at the first depth, stopped half-way by the
// progress callback. The first depth is the one the application asks for.
template <typename Read>
Problem CheckReads(size_t size, std::initializer_list<uint32_t> depths, uint32_t dibFlags,
                   Read read) {
  Checks checks;
  uint32_t width = 0, height = 0;
  for (uint32_t depth : depths) {
    void* image = read(depth, 0u, &width, &height);  // before the sizes are taken
    checks << CheckImage(image, width, height, depth);
  }
  uint32_t first = *depths.begin();
  checks << CheckDIB(read(first, dibFlags, &width, &height));
  StopAfter stop(StopAfter::CallsFor(size));
  void* image = read(first, 0u, &width, &height);
  checks << CheckImage(image, width, height, first);
  return checks.result();
}

// A palette call that succeeds must not claim more than the 256 entries there is room for.
inline Problem PaletteCount(BOOL ok, uint32_t count) {
  return ok && count > 256 ? "a palette of more than 256 colours" : nullptr;
}

inline Problem Detect(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  int id = PXGuessFileType(source);
  if (id < PX_FORMAT_UNKNOWN || id > PX_FORMAT_HEIF) return "a format id outside the table";
  if (id != PX_FORMAT_UNKNOWN && PXGetLastError() != 0) return "a format id with an error code";
  return nullptr;
}

inline Problem BMP(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  int32_t w = 0, h = 0;
  uint32_t bits = 0, count = 0;
  PXResolution res = {};
  RGBQUAD palette[256];
  checks << Reported(PXGetBMPDimensions(source.Rewound(), &w, &h, &bits, &res), "dimensions");
  checks << Reported(
      PXGetBMPDimensionsEx(source.Rewound(), &w, &h, &bits, &res, PX_BMP_RES_PER_METRE),
      "dimensions in pixels per metre");
  checks << PaletteCount(PXGetBMPPalette(source.Rewound(), &count, palette), count);
  checks << CheckReads(size, {24u, 8u, 1u, 32u}, PX_READ_PACKED_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* width, uint32_t* height) {
                         return PXReadBMP(source.Rewound(), width, height, depth, palette, flags);
                       });
  return checks.result();
}

// Tags the application and the tool ask for, and a few that must be refused.
constexpr uint32_t kTIFFTags[] = {256, 257, 258, 259, 262, 269, 270,   271, 272, 274,
                                  278, 282, 283, 285, 296, 305, 306,   315, 316, 322,
                                  323, 332, 333, 334, 337, 338, 34665, 0,   317, 65535};
// Pages looked at in one input: enough to walk chains of directories without spending
// the whole run on one file of thousands.
constexpr uint32_t kTIFFPagesLooked = 4;

inline Problem TIFFInfo(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t pages = PXGetTIFFPageCount(source);
  checks << Reported(pages != 0, "page count");
  uint32_t last = pages ? pages - 1 : 0;
  for (uint32_t page = 0; page <= last && page < kTIFFPagesLooked; ++page) {
    uint32_t width, height, bits;
    PXResolution res = {};
    checks << Reported(PXGetTIFFDimensions(source, page, &width, &height, &bits, &res),
                       "dimensions");
  }
  for (uint32_t page : {0u, last, last + 1}) {
    for (uint32_t tag : kTIFFTags) {
      VARIANT value;
      VariantInit(&value);
      checks << Reported(PXGetTIFFTag(source, page, tag, &value), "tag query");
      if (value.vt == VT_BSTR && value.bstrVal) Touch(value.bstrVal, std::strlen(value.bstrVal));
      if (value.vt == (VT_ARRAY | VT_UI2) && value.parray)
        Touch(value.parray->data, value.parray->count * sizeof(uint16_t));
      VariantClear(&value);
    }
  }
  return checks.result();
}

// The first two pages at every depth the application and the tool read.
inline Problem TIFFRead(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  RGBQUAD palette[256];
  for (uint32_t page : {0u, 1u}) {
    uint32_t width, height, bits;
    if (!PXGetTIFFDimensions(source, page, &width, &height, &bits, nullptr)) break;
    checks << CheckReads(size, {24u, 8u, 1u, 32u}, PX_READ_PACKED_DIB,
                         [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                           return PXReadTIFF(source, w, h, depth, palette, page, flags);
                         });
  }
  return checks.result();
}

inline Problem PNG(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0;
  int bitDepth, colorType, interlace, count = 0, reserved, red, green, blue, gray;
  PXResolution res = {};
  RGBQUAD palette[256];
  checks << Reported(
      PXGetPNGInfo(source.Rewound(), &width, &height, &bitDepth, &colorType, &interlace, &res,
                   &count, palette, &reserved, &red, &green, &blue, &gray),
      "info");
  checks << Reported(PXGetPNGDimensions(source.Rewound(), &width, &height, &bitDepth, &colorType,
                                        &interlace, &res),
                     "dimensions");
  PXGetPNGPalette(source.Rewound(), &count, palette);
  if (PXGetLastError() == 0 && (count < 0 || count > 256)) checks << "a palette count beyond 256";
  checks << CheckReads(size, {24u, 8u, 1u, 16u, 32u, 48u, 64u}, PX_PNG_READ_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadPNG(source.Rewound(), w, h, int(depth), palette, flags);
                       });
  void* image = PXReadPNG(source.Rewound(), &width, &height, 16, palette, PX_PNG_READ_GRAY16);
  checks << CheckImage(image, width, height, 16);
  image = PXReadPNG(source.Rewound(), &width, &height, 24, palette, PX_PNG_READ_GAMMA);
  checks << CheckImage(image, width, height, 24);
  return checks.result();
}

inline Problem JPEG(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0, coding = 0;
  int colorSpace = 0;
  PXResolution res = {};
  checks << Reported(
      PXGetJPEGDimensionsEx(source.Rewound(), &width, &height, &bits, &colorSpace, &coding, &res),
      "dimensions");
  // Depth 32 is the raw four-channel read.
  checks << CheckReads(size, {24u, 8u, 32u}, PX_JPEG_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         if (depth == 32) flags |= PX_JPEG_RAW_CMYK;
                         return PXReadJPEG(source.Rewound(), w, h, int(depth), flags);
                       });
  return checks.result();
}

// The application reads first and asks for the dimensions afterwards.
inline Problem GIF(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0;
  int transparent = -1, background = 0, flag = 0;
  RGBQUAD palette[256];
  checks << CheckReads(size, {8u}, PX_GIF_DIB,
                       [&](uint32_t, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadGIF(source.Rewound(), w, h, &transparent, palette, flags);
                       });
  checks << Reported(
      PXGetGIFDimensions(source.Rewound(), &width, &height, &bits, &transparent, palette),
      "dimensions");
  checks << Reported(PXGetGIFDimensionsEx(source.Rewound(), &width, &height, &bits, &background,
                                          &transparent, palette, &flag),
                     "extended dimensions");
  return checks.result();
}

inline Problem PCX(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0, count = 0;
  PXResolution res = {};
  RGBQUAD palette[256];
  checks << Reported(PXGetPCXDimensionsEx(source.Rewound(), &width, &height, &bits, &res),
                     "dimensions");
  checks << PaletteCount(PXGetPCXPalette(source.Rewound(), &count, palette), count);
  checks << CheckReads(size, {24u, 8u, 1u}, PX_READ_PACKED_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadPCX(source.Rewound(), w, h, depth, palette, flags);
                       });
  return checks.result();
}

inline Problem TGA(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0, count = 0;
  RGBQUAD palette[256];
  checks << Reported(PXGetTGADimensions(source.Rewound(), &width, &height, &bits), "dimensions");
  checks << PaletteCount(PXGetTGAPalette(source.Rewound(), &count, palette), count);
  checks << CheckReads(size, {24u, 8u, 32u}, PX_READ_PACKED_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadTGA(source.Rewound(), w, h, depth, palette, flags);
                       });
  return checks.result();
}

inline Problem WBMP(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0;
  RGBQUAD palette[256];
  checks << Reported(PXGetWBMPDimensions(source.Rewound(), &width, &height), "dimensions");
  checks << CheckReads(size, {8u, 1u}, PX_READ_PACKED_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadWBMP(source.Rewound(), w, h, palette, depth, flags);
                       });
  return checks.result();
}

inline Problem PSD(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, count = 0;
  int mode = 0;
  PXResolution res = {};
  RGBQUAD palette[256];
  checks << Reported(PXGetPSDDimensions(source.Rewound(), &width, &height, &mode, &res),
                     "dimensions");
  checks << PaletteCount(PXGetPSDPalette(source.Rewound(), &count, palette), count);
  checks << CheckReads(size, {24u, 8u, 32u}, PX_PSD_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadPSD(source.Rewound(), w, h, int(depth), palette, flags);
                       });
  BYTE* image = PXReadPSD(source.Rewound(), &width, &height, 32, palette, PX_PSD_RAW_CMYK);
  checks << CheckImage(image, width, height, 32);
  return checks.result();
}

// WebP: the dimensions and orientation the tool asks for, then reads at the depths the
// application and the tool ask for (8 must be refused).
inline Problem WebP(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0, coding = 0, frames = 0;
  checks << Reported(
      PXGetWebPDimensionsEx(source.Rewound(), &width, &height, &bits, &coding, &frames),
      "dimensions");
  const int orientation = PXGetLastWebPOrientation();
  if (orientation < 1 || orientation > 8) checks << "an orientation outside 1 to 8";
  checks << CheckReads(size, {24u, 32u, 8u}, PX_WEBP_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadWebP(source.Rewound(), w, h, int(depth), flags);
                       });
  return checks.result();
}

// HEIF and AVIF: as WebP, with the palette of a grey read.
inline Problem HEIF(const uint8_t* data, size_t size) {
  Source source(data, size);
  if (!source) return nullptr;
  Checks checks;
  uint32_t width = 0, height = 0, bits = 0, sampleBits = 0, images = 0;
  char brand[5];
  checks << Reported(
      PXGetHEIFDimensionsEx(source.Rewound(), &width, &height, &bits, brand, &sampleBits, &images),
      "dimensions");
  RGBQUAD palette[256];
  checks << CheckReads(size, {24u, 32u, 8u}, PX_HEIF_DIB,
                       [&](uint32_t depth, uint32_t flags, uint32_t* w, uint32_t* h) {
                         return PXReadHEIF(source.Rewound(), w, h, int(depth), palette, flags);
                       });
  const int orientation = PXGetLastHEIFOrientation();
  if (orientation < 1 || orientation > 8) checks << "an orientation outside 1 to 8";
  return checks.result();
}

// The EXIF parser on any bytes, as an APP1 segment's and as a bare TIFF block.
inline Problem ExifOrientation(const uint8_t* data, size_t size) {
  // An exact copy, so that a read past the end is outside the block.
  std::vector<uint8_t> block(data, data + size);
  for (size_t skip : {size_t(0), std::min<size_t>(6, size)}) {
    const int o = PXGetExifOrientation(block.data() + skip, block.size() - skip);
    if (o < 1 || o > 8) return "an orientation outside 1 to 8";
  }
  return nullptr;
}

// WMF and EMF: the renderer takes a path; the application renders at 100 x 100 on black.
inline Problem Metafile(const uint8_t* data, size_t size) {
  const std::string path = ScratchFile::Write(data, size);
  if (path.empty()) return nullptr;
  uint32_t width = 0, height = 0;
  BYTE* image = PXRenderMetafileFile(path.c_str(), &width, &height, 100, 100, 0, 0);
  Problem problem = CheckImage(image, width, height, 24);
  // The renderer reports four times; stopping after the playback costs a second one.
  StopAfter stop(StopAfter::CallsFor(size) % 4);
  image = PXRenderMetafileFile(path.c_str(), &width, &height, 100, 100, 0, 0);
  return problem ? problem : CheckImage(image, width, height, 24);
}

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_ENTRIES_H
