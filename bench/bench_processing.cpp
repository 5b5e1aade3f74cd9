// Per-page processing on an A4 page at 300 dpi (2480 x 3508): what every output page goes
// through. The "Plain" cases run the straightforward per-pixel versions (the ones the tests
// compare against) to show what the optimised loops gain.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "page_depths.h"
#include "pixolith/pixolith.h"
#include "reference.h"

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

// A page: white paper, lines of dark "glyphs", and a colour photograph in the middle.
const std::vector<uint8_t>& PageRGB() {
  static const std::vector<uint8_t> page = [] {
    std::vector<uint8_t> p(size_t(kWidth) * kHeight * 3, 255);
    std::mt19937 rng(42);
    for (uint32_t line = 200; line + 40 < kHeight; line += 60)
      for (uint32_t x = 200; x + 30 < kWidth - 200; x += 30 + rng() % 20)
        for (uint32_t y = line; y < line + 30; ++y)
          for (uint32_t dx = 0; dx < 20; ++dx)
            if (rng() % 3) std::memset(&p[(size_t(y) * kWidth + x + dx) * 3], int(rng() % 60), 3);
    for (uint32_t y = 1000; y < 2400; ++y)
      for (uint32_t x = 400; x < 2080; ++x) {
        uint8_t* px = &p[(size_t(y) * kWidth + x) * 3];
        px[0] = uint8_t((x * 255 / kWidth + rng() % 16) & 0xFF);
        px[1] = uint8_t((y * 255 / kHeight + rng() % 16) & 0xFF);
        px[2] = uint8_t(((x + y) / 16 + rng() % 16) & 0xFF);
      }
    return p;
  }();
  return page;
}

constexpr uint32_t kBitStride = (kWidth + 7) / 8;

using benchpages::IndexedPage;

const IndexedPage& Page8() {
  return benchpages::IndexedOnce<PageRGB, kWidth, kHeight>();
}

const std::vector<uint8_t>& Page1() {
  return benchpages::OneBitOnce<PageRGB, kWidth, kHeight>();
}

void SetPixels(benchmark::State& state) {
  state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_ResizeRGBHalf(benchmark::State& state) {
  const auto& src = PageRGB();
  std::vector<uint8_t> dst(size_t(kWidth / 2) * (kHeight / 2) * 3);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXResizeRGB(src.data(), kWidth, kHeight, kWidth * 3, dst.data(),
                                         kWidth / 2, kHeight / 2, kWidth / 2 * 3, 3));
  SetPixels(state);
}
BENCHMARK(BM_ResizeRGBHalf)->Unit(benchmark::kMillisecond);

// A fit into a box that is not an integer fraction: every pixel is interpolated.
void BM_ResizeRGBFit(benchmark::State& state) {
  const auto& src = PageRGB();
  const uint32_t dw = 1700, dh = 2405;
  std::vector<uint8_t> dst(size_t(dw) * dh * 3);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        PXResizeRGB(src.data(), kWidth, kHeight, kWidth * 3, dst.data(), dw, dh, dw * 3, 3));
  SetPixels(state);
}
BENCHMARK(BM_ResizeRGBFit)->Unit(benchmark::kMillisecond);

void BM_PlainResizeRGBFit(benchmark::State& state) {
  const auto& src = PageRGB();
  for (auto _ : state)
    benchmark::DoNotOptimize(
        pxref::ResizeRGB(src, kWidth, kHeight, kWidth * 3, 1700, 2405, 1700 * 3, 3));
  SetPixels(state);
}
BENCHMARK(BM_PlainResizeRGBFit)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ResizeIndexedHalf(benchmark::State& state) {
  const auto& page = Page8();
  std::vector<uint8_t> dst(size_t(kWidth / 2) * (kHeight / 2));
  for (auto _ : state)
    benchmark::DoNotOptimize(PXResizeIndexed(page.pixels.data(), kWidth, kHeight, kWidth,
                                             dst.data(), kWidth / 2, kHeight / 2, kWidth / 2, 256,
                                             page.palette.data()));
  SetPixels(state);
}
BENCHMARK(BM_ResizeIndexedHalf)->Unit(benchmark::kMillisecond);

void BM_ResizeIndexedFit(benchmark::State& state) {
  const auto& page = Page8();
  const uint32_t dw = 1700, dh = 2405;
  std::vector<uint8_t> dst(size_t(dw) * dh);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXResizeIndexed(page.pixels.data(), kWidth, kHeight, kWidth,
                                             dst.data(), dw, dh, dw, 256, page.palette.data()));
  SetPixels(state);
}
BENCHMARK(BM_ResizeIndexedFit)->Unit(benchmark::kMillisecond);

void BM_Resize1BitHalf(benchmark::State& state) {
  const auto& src = Page1();
  const uint32_t dw = kWidth / 2, dh = kHeight / 2;
  std::vector<uint8_t> dst(size_t((dw + 7) / 8) * dh);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        PXResize1Bit(src.data(), kWidth, kHeight, kBitStride, dst.data(), dw, dh, (dw + 7) / 8));
  SetPixels(state);
}
BENCHMARK(BM_Resize1BitHalf)->Unit(benchmark::kMillisecond);

void BM_QuantizeTo8Bit(benchmark::State& state) {
  const auto& src = PageRGB();
  std::vector<uint8_t> dst(size_t(kWidth) * kHeight);
  std::vector<RGBQUAD> palette(256);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXQuantizeRGBToPalette(src.data(), kWidth, kHeight, kWidth * 3,
                                                    dst.data(), kWidth, 256, palette.data(), TRUE,
                                                    20, 0));
  SetPixels(state);
}
BENCHMARK(BM_QuantizeTo8Bit)->Unit(benchmark::kMillisecond);

void BM_ThresholdRGBTo1Bit(benchmark::State& state) {
  const auto& src = PageRGB();
  std::vector<uint8_t> dst(size_t(kBitStride) * kHeight);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXThresholdTo1Bit(src.data(), kWidth, kHeight, kWidth * 3, 24, nullptr,
                                               dst.data(), kBitStride, 128));
  SetPixels(state);
}
BENCHMARK(BM_ThresholdRGBTo1Bit)->Unit(benchmark::kMillisecond);

void BM_ThresholdIndexedTo1Bit(benchmark::State& state) {
  const auto& page = Page8();
  std::vector<uint8_t> dst(size_t(kBitStride) * kHeight);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXThresholdTo1Bit(page.pixels.data(), kWidth, kHeight, kWidth, 8,
                                               page.palette.data(), dst.data(), kBitStride, 128));
  SetPixels(state);
}
BENCHMARK(BM_ThresholdIndexedTo1Bit)->Unit(benchmark::kMillisecond);

void BM_Rotate90RGB(benchmark::State& state) {
  std::vector<uint8_t> img = PageRGB();
  uint32_t w = kWidth, h = kHeight;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PXRotate90(img.data(), w, h, PX_ROTATE_90, 3));
    std::swap(w, h);
  }
  SetPixels(state);
}
BENCHMARK(BM_Rotate90RGB)->Unit(benchmark::kMillisecond);

void BM_PlainRotate90RGB(benchmark::State& state) {
  const auto& src = PageRGB();
  for (auto _ : state) benchmark::DoNotOptimize(pxref::Rotate(src, kWidth, kHeight, 0, 3));
  SetPixels(state);
}
BENCHMARK(BM_PlainRotate90RGB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Rotate90Indexed(benchmark::State& state) {
  std::vector<uint8_t> img = Page8().pixels;
  uint32_t w = kWidth, h = kHeight;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PXRotate90(img.data(), w, h, PX_ROTATE_90, 1));
    std::swap(w, h);
  }
  SetPixels(state);
}
BENCHMARK(BM_Rotate90Indexed)->Unit(benchmark::kMillisecond);

void BM_Rotate90OneBit(benchmark::State& state) {
  const auto& src = Page1();
  const uint32_t ds = (kHeight + 7) / 8;
  std::vector<uint8_t> dst(size_t(ds) * kWidth);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        PXRotate1Bit90(src.data(), kWidth, kHeight, kBitStride, dst.data(), ds, PX_ROTATE_90));
  SetPixels(state);
}
BENCHMARK(BM_Rotate90OneBit)->Unit(benchmark::kMillisecond);

void BM_PlainRotate90OneBit(benchmark::State& state) {
  const auto& src = Page1();
  const uint32_t ds = (kHeight + 7) / 8;
  std::vector<uint8_t> dst(size_t(ds) * kWidth);
  for (auto _ : state) {
    pxref::Rotate1Bit(src, kWidth, kHeight, kBitStride, dst, ds, 0, false);
    benchmark::DoNotOptimize(dst.data());
  }
  SetPixels(state);
}
BENCHMARK(BM_PlainRotate90OneBit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FlipHorizontalRGB(benchmark::State& state) {
  std::vector<uint8_t> img = PageRGB();
  for (auto _ : state)
    benchmark::DoNotOptimize(PXFlipHorizontal(img.data(), kWidth, kHeight, 3, kWidth * 3));
  SetPixels(state);
}
BENCHMARK(BM_FlipHorizontalRGB)->Unit(benchmark::kMillisecond);

void BM_FlipHorizontalOneBit(benchmark::State& state) {
  std::vector<uint8_t> img = Page1();
  for (auto _ : state)
    benchmark::DoNotOptimize(PXFlipHorizontal1Bit(img.data(), kWidth, kHeight, kBitStride));
  SetPixels(state);
}
BENCHMARK(BM_FlipHorizontalOneBit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
