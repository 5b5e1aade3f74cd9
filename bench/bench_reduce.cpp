// Shrinking an A4 page at 300 dpi (the hairline page of text_page.h) the way the
// application fits a page into a smaller size: the area reduction against the bilinear
// mapping it replaced, for 24-bit, 8-bit palette and 1-bit pages, at 1/2, 1/3 and a fit
// into 1700 x 2405 (no integer ratio). Each Area row is read against the Bilinear row of
// the same depth and size from the same run. At 1/2 (both axes exactly 2:1; A4's 2480 x 3508
// has no exact third) the AreaEngine rows time the same reduction without the integer
// shortcut for whole factors.
#include <benchmark/benchmark.h>

#include <vector>

#include "page_depths.h"
#include "pixolith/pixolith.h"
#include "processing/common.h"
#include "text_page.h"

namespace {

using textpage::kHeight;
using textpage::kWidth;

constexpr uint32_t kBitStride = (kWidth + 7) / 8;

const std::vector<uint8_t>& PageRGB() {
  static const std::vector<uint8_t> page = [] {
    const std::vector<uint8_t> grey = textpage::MakePage();
    std::vector<uint8_t> rgb(grey.size() * 3);
    // Dark blue ink, so that the palette page is not grey.
    for (size_t i = 0; i < grey.size(); ++i) {
      rgb[i * 3] = rgb[i * 3 + 1] = grey[i];
      rgb[i * 3 + 2] = uint8_t(grey[i] ? 255 : 96);
    }
    return rgb;
  }();
  return page;
}

using benchpages::IndexedPage;

const IndexedPage& Page8() {
  return benchpages::IndexedOnce<PageRGB, kWidth, kHeight>();
}

const std::vector<uint8_t>& Page1() {
  return benchpages::OneBitOnce<PageRGB, kWidth, kHeight>();
}

// White for a clear bit, black for a set one, as the application keeps 1-bit pages.
const RGBQUAD kBlackOnWhite[256] = {{255, 255, 255, 0}, {0, 0, 0, 0}};

// The destination size of each case: 0 = half, 1 = third, 2 = fit into 1700 x 2405.
void Size(const benchmark::State& state, uint32_t* w, uint32_t* h) {
  switch (state.range(0)) {
    case 0:
      *w = kWidth / 2, *h = kHeight / 2;
      break;
    case 1:
      *w = kWidth / 3, *h = kHeight / 3;
      break;
    default:
      *w = 1700, *h = 2405;
      break;
  }
}

void Finish(benchmark::State& state) {
  static const char* const kLabels[] = {"1/2", "1/3", "fit 1700x2405"};
  state.SetLabel(kLabels[state.range(0)]);
  state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

// A 24-bit page through either resizer (they take the same arguments).
template <auto Resize>
void BM_RGB(benchmark::State& state) {
  uint32_t w, h;
  Size(state, &w, &h);
  std::vector<uint8_t> dst(size_t(w) * h * 3);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        Resize(PageRGB().data(), kWidth, kHeight, kWidth * 3, dst.data(), w, h, w * 3, 3));
  Finish(state);
}
void BM_RGB_Bilinear(benchmark::State& state) {
  BM_RGB<PXResizeRGB>(state);
}
void BM_RGB_Area(benchmark::State& state) {
  BM_RGB<PXResizeArea>(state);
}

void BM_RGB_AreaEngine(benchmark::State& state) {
  BM_RGB<[](const BYTE* s, uint32_t sw, uint32_t sh, uint32_t ss, BYTE* d, uint32_t dw, uint32_t dh,
            uint32_t ds, uint32_t bpp) {
    return pxproc::ResizeArea(s, sw, sh, ss, d, dw, dh, ds, bpp, false);
  }>(state);
}

void BM_Indexed_Bilinear(benchmark::State& state) {
  uint32_t w, h;
  Size(state, &w, &h);
  const IndexedPage& page = Page8();
  std::vector<uint8_t> dst(size_t(w) * h);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXResizeIndexed(page.pixels.data(), kWidth, kHeight, kWidth,
                                             dst.data(), w, h, w, 256, page.palette.data()));
  Finish(state);
}

// A colour palette's means come out at 24 bits.
void Indexed_Area(benchmark::State& state, bool wholeBlocks) {
  uint32_t w, h;
  Size(state, &w, &h);
  const IndexedPage& page = Page8();
  std::vector<uint8_t> dst(size_t(w) * h * 3);
  for (auto _ : state)
    benchmark::DoNotOptimize(pxproc::ResizeAreaIndexed(page.pixels.data(), kWidth, kHeight, kWidth,
                                                       8, page.palette.data(), dst.data(), w, h,
                                                       w * 3, 3, wholeBlocks));
  Finish(state);
}
void BM_Indexed_Area(benchmark::State& state) {
  Indexed_Area(state, true);
}
void BM_Indexed_AreaEngine(benchmark::State& state) {
  Indexed_Area(state, false);
}

void BM_OneBit_Bilinear(benchmark::State& state) {
  uint32_t w, h;
  Size(state, &w, &h);
  const uint32_t stride = (w + 7) / 8;
  std::vector<uint8_t> dst(size_t(stride) * h);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        PXResize1Bit(Page1().data(), kWidth, kHeight, kBitStride, dst.data(), w, h, stride));
  Finish(state);
}

// A black-and-white page's means come out as grey levels.
void BM_OneBit_Area(benchmark::State& state) {
  uint32_t w, h;
  Size(state, &w, &h);
  std::vector<uint8_t> dst(size_t(w) * h);
  for (auto _ : state)
    benchmark::DoNotOptimize(PXResizeAreaIndexed(Page1().data(), kWidth, kHeight, kBitStride, 1,
                                                 kBlackOnWhite, dst.data(), w, h, w, 1));
  Finish(state);
}

#define REDUCTION(f) BENCHMARK(f)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)
REDUCTION(BM_RGB_Bilinear);
REDUCTION(BM_RGB_Area);
BENCHMARK(BM_RGB_AreaEngine)->Arg(0)->Unit(benchmark::kMillisecond);
REDUCTION(BM_Indexed_Bilinear);
REDUCTION(BM_Indexed_Area);
BENCHMARK(BM_Indexed_AreaEngine)->Arg(0)->Unit(benchmark::kMillisecond);
REDUCTION(BM_OneBit_Bilinear);
REDUCTION(BM_OneBit_Area);

}  // namespace

BENCHMARK_MAIN();
