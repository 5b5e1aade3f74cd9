// Writing an A4 page at 300 dpi (2480 x 3508) as a TIFF page, in the depths and
// compressions of the output file. "Libtiff" writes the same page with libtiff's scanline
// calls directly, to show what the writer adds around them.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "pixolith/pixolith.h"

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

// Text-like lines on white, as bytes per pixel of `bits` (1, 8 or 24).
const std::vector<uint8_t>& Page(uint32_t bits) {
  static std::vector<uint8_t> pages[25];
  std::vector<uint8_t>& p = pages[bits];
  if (!p.empty()) return p;
  const size_t rowBytes = (size_t(kWidth) * bits + 7) / 8;
  p.assign(rowBytes * kHeight, bits == 1 ? 0 : 255);
  std::mt19937 rng(7);
  for (uint32_t line = 200; line + 40 < kHeight; line += 60)
    for (uint32_t y = line; y < line + 30; ++y)
      for (size_t x = rowBytes / 12; x < rowBytes - rowBytes / 12; ++x)
        if (rng() % 4 == 0) p[y * rowBytes + x] = uint8_t(bits == 1 ? 0xFF : rng() % 80);
  return p;
}

std::string OutPath() {
  return std::string(P_tmpdir) + "/pageweaver-bench-" + std::to_string(getpid()) + ".tif";
}

void Writer(benchmark::State& state) {
  const auto bits = uint32_t(state.range(0));
  const auto compression = uint32_t(state.range(1));
  const std::vector<uint8_t>& page = Page(bits);
  RGBQUAD grey[256];
  for (int i = 0; i < 256; ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  const PXResolution dpi = {300, 300, 2};
  const std::string path = OutPath();
  for (auto _ : state) {
    PXSink sink = PXOpenFileSink(path.c_str(), FALSE);
    const uint32_t size =
        PXWriteTIFF(sink, page.data(), kWidth, kHeight, bits, grey, compression, &dpi, 0);
    PXCloseSink(sink);
    if (!size) state.SkipWithError("write failed");
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void Libtiff(benchmark::State& state) {
  const auto bits = uint32_t(state.range(0));
  const auto compression = uint16_t(state.range(1));
  const std::vector<uint8_t>& page = Page(bits);
  const size_t rowBytes = page.size() / kHeight;
  std::vector<uint8_t> row(rowBytes);
  const std::string path = OutPath();
  for (auto _ : state) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bits == 24 ? 3 : 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits == 1 ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 bits == 1   ? PHOTOMETRIC_MINISWHITE
                 : bits == 8 ? PHOTOMETRIC_MINISBLACK
                             : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    // As the writer does: complete tables in the strip, so libjpeg optimises its
    // Huffman tables for the page (two passes; smaller, slower).
    if (compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                 compression == COMPRESSION_JPEG ? kHeight : TIFFDefaultStripSize(tif, 0));
    for (uint32_t y = 0; y < kHeight; ++y) {
      std::copy_n(page.begin() + y * rowBytes, rowBytes, row.begin());
      TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void Cases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"bits", "compression"});
  b->Args({1, COMPRESSION_CCITTFAX4})->Args({1, COMPRESSION_NONE});
  b->Args({8, COMPRESSION_LZW})->Args({24, COMPRESSION_NONE});
  b->Args({24, COMPRESSION_JPEG})->Args({24, COMPRESSION_ADOBE_DEFLATE});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(Writer)->Apply(Cases);
BENCHMARK(Libtiff)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();
