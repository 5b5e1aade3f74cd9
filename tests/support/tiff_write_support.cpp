#include "tiff_write_support.h"

#include <cstdarg>

#include "test_support.h"

namespace pxtest {

namespace {

void Quiet(const char*, const char*, va_list) {}

// Opens a file with libtiff without its complaints on the test output.
TIFF* OpenQuietly(const std::string& path) {
  TIFFErrorHandler oldError = TIFFSetErrorHandler(Quiet);
  TIFFErrorHandler oldWarning = TIFFSetWarningHandler(Quiet);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  TIFFSetErrorHandler(oldError);
  TIFFSetWarningHandler(oldWarning);
  return tif;
}

std::vector<RGBQUAD> ColorPalette(uint32_t seed) {
  std::vector<RGBQUAD> palette(256);
  for (uint32_t i = 0; i < 256; ++i) {
    palette[i].rgbRed = uint8_t(i * 7 + seed);
    palette[i].rgbGreen = uint8_t(255 - i);
    palette[i].rgbBlue = uint8_t(i * 13 + 5 * seed);
  }
  return palette;
}

}  // namespace

TestPage NoisePage(uint32_t width, uint32_t height, uint32_t bits, uint32_t seed) {
  TestPage p;
  p.width = width;
  p.height = height;
  p.bits = bits;
  const size_t rowBytes = (size_t(width) * bits + 7) / 8;
  p.pixels.resize(rowBytes * height);
  uint32_t state = seed * 2654435761u + 12345;
  for (uint8_t& b : p.pixels) {
    state = state * 1103515245u + 12345;
    b = uint8_t(state >> 16);
  }
  const uint32_t usedBits = (width * bits) % 8;
  if (usedBits) {
    const auto mask = uint8_t(0xFF << (8 - usedBits));
    for (uint32_t y = 0; y < height; ++y) p.pixels[(y + 1) * rowBytes - 1] &= mask;
  }
  if (bits == 4 || bits == 8) p.palette = ColorPalette(seed);
  return p;
}

TestPage SmoothPage(uint32_t width, uint32_t height, uint32_t bits) {
  TestPage p;
  p.width = width;
  p.height = height;
  p.bits = bits;
  const uint32_t channels = bits / 8;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t c = 0; c < channels; ++c)
        p.pixels.push_back(uint8_t((x * 255 / width * (c + 1) + y * 255 / height * (3 - c)) / 4));
  if (bits == 8) {
    p.palette.resize(256);
    for (int i = 0; i < 256; ++i) p.palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  }
  return p;
}

WriteOutcome WriteTIFFFile(const std::string& path, const TestPage& page, uint32_t flags,
                           bool resolution) {
  WriteOutcome w;
  PXSink sink = PXOpenFileSink(path.c_str(), (flags & PX_TIFF_WRITE_APPEND) ? TRUE : FALSE);
  EXPECT_NE(sink, nullptr);
  w.result = PXWriteTIFF(sink, page.pixels.data(), page.width, page.height, page.bits,
                         page.paletteOrNull(), page.compression,
                         resolution ? &page.resolution : nullptr, flags);
  w.error = PXGetLastError();
  PXCloseSink(sink);
  return w;
}

namespace {

struct Feeder {
  const std::vector<TestPage>* pages;
  size_t next = 0;
};

int FeedPage(BYTE** pixels, uint32_t* width, uint32_t* height, RGBQUAD** palette, uint32_t* bits,
             uint32_t* compression, PXResolution* resolution, void* user) {
  auto* feeder = static_cast<Feeder*>(user);
  if (feeder->next >= feeder->pages->size()) return 0;
  const TestPage& p = (*feeder->pages)[feeder->next++];
  *pixels = const_cast<BYTE*>(p.pixels.data());
  *width = p.width;
  *height = p.height;
  *palette = const_cast<RGBQUAD*>(p.paletteOrNull());
  *bits = p.bits;
  *compression = p.compression;
  *resolution = p.resolution;
  return 1;
}

}  // namespace

WriteOutcome WritePagesFile(const std::string& path, const std::vector<TestPage>& pages,
                            uint32_t flags) {
  WriteOutcome w;
  PXSink sink = PXOpenFileSink(path.c_str(), (flags & PX_TIFF_WRITE_APPEND) ? TRUE : FALSE);
  EXPECT_NE(sink, nullptr);
  Feeder feeder{&pages};
  w.result = PXWriteMultiPageTIFF(sink, FeedPage, &feeder, flags);
  w.error = PXGetLastError();
  PXCloseSink(sink);
  return w;
}

TIFFTags::TIFFTags(const std::string& path, uint32_t directory) {
  tif_ = OpenQuietly(path);
  ok_ = tif_ && TIFFSetDirectory(tif_, tdir_t(directory));
}

TIFFTags::~TIFFTags() {
  if (tif_) TIFFClose(tif_);
}

std::optional<uint16_t> TIFFTags::U16(uint32_t tag) const {
  uint16_t v = 0;
  if (!ok_ || !TIFFGetField(tif_, tag, &v)) return std::nullopt;
  return v;
}

std::optional<uint32_t> TIFFTags::U32(uint32_t tag) const {
  uint32_t v = 0;
  if (!ok_ || !TIFFGetField(tif_, tag, &v)) return std::nullopt;
  return v;
}

std::optional<float> TIFFTags::Float(uint32_t tag) const {
  float v = 0;
  if (!ok_ || !TIFFGetField(tif_, tag, &v)) return std::nullopt;
  return v;
}

std::optional<std::string> TIFFTags::Text(uint32_t tag) const {
  const char* v = nullptr;
  if (!ok_ || !TIFFGetField(tif_, tag, &v) || !v) return std::nullopt;
  return std::string(v);
}

std::optional<std::vector<uint8_t>> TIFFTags::Block(uint32_t tag) const {
  uint32_t count = 0;
  const uint8_t* data = nullptr;
  if (!ok_ || !TIFFGetField(tif_, tag, &count, &data) || !data) return std::nullopt;
  return std::vector<uint8_t>(data, data + count);
}

namespace {

uint16_t LE16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}

uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

std::vector<uint16_t> StoredTags(const std::string& path, uint32_t index) {
  const std::vector<uint8_t> file = ReadFile(path);
  std::vector<uint16_t> tags;
  if (file.size() < 8 || file[0] != 'I') return tags;
  uint32_t offset = LE32(&file[4]);
  for (uint32_t i = 0; offset && size_t(offset) + 2 <= file.size(); ++i) {
    const uint16_t count = LE16(&file[offset]);
    const size_t end = size_t(offset) + 2 + 12 * size_t(count);
    if (end + 4 > file.size()) break;
    if (i == index) {
      for (uint16_t e = 0; e < count; ++e) tags.push_back(LE16(&file[offset + 2 + 12 * e]));
      break;
    }
    offset = LE32(&file[end]);
  }
  return tags;
}

uint32_t ClaimedDirectories(const std::string& path) {
  const std::vector<uint8_t> file = ReadFile(path);
  if (file.size() < 8 || file[0] != 'I') return 0;
  uint32_t claimed = 0;
  for (uint32_t offset = LE32(&file[4]); offset && claimed < 10000; ++claimed) {
    if (size_t(offset) + 2 > file.size()) return claimed + 1;
    const size_t link = size_t(offset) + 2 + 12 * size_t(LE16(&file[offset]));
    if (link + 4 > file.size()) return claimed + 1;
    offset = LE32(&file[link]);
  }
  return claimed;
}

uint32_t DirectoryCount(const std::string& path) {
  TIFF* tif = OpenQuietly(path);
  if (!tif) return 0;
  const uint32_t n = TIFFNumberOfDirectories(tif);
  TIFFClose(tif);
  return n;
}

void ReadBack(const std::string& path, uint32_t page, uint32_t depth, ReadResult* out,
              uint32_t flags) {
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr);
  out->pixels.reset(
      PXReadTIFF(source, &out->width, &out->height, depth, out->palette, page, flags));
  out->error = PXGetLastError();
  PXCloseSource(source);
}

std::vector<uint8_t> ExpectedBytes(const TestPage& page) {
  if (page.bits != 4) return page.pixels;
  std::vector<uint8_t> indices;
  const size_t rowBytes = (size_t(page.width) + 1) / 2;
  for (uint32_t y = 0; y < page.height; ++y)
    for (uint32_t x = 0; x < page.width; ++x) {
      const uint8_t b = page.pixels[y * rowBytes + x / 2];
      indices.push_back(x % 2 ? b & 0x0F : b >> 4);
    }
  return indices;
}

uint32_t ReadDepth(uint32_t bits) {
  return bits == 4 ? 8 : bits;
}

}  // namespace pxtest
