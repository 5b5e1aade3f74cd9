// Pixel comparison of decoded images with the corpus's reference images.
#ifndef PAGEWEAVER_TESTS_CORPUS_COMPARE_H
#define PAGEWEAVER_TESTS_CORPUS_COMPARE_H

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace pxtest {

// Where a decoded image differs from its reference.
struct PixelDiff {
  uint64_t mismatched = 0;  // pixels whose red, green or blue differ
  int maxDelta = 0;         // largest difference of one channel
  uint32_t firstX = 0;      // the first differing pixel, in row order
  uint32_t firstY = 0;
  std::string Describe() const;
};

// Compares a top-down red-green-blue buffer of width x height with a reference image
// (its alpha, if any, is not compared). False, with `diff` filled, when the sizes differ or
// any channel differs by more than `tolerance`.
bool SameRGB(const uint8_t* rgb, uint32_t width, uint32_t height, const RefImage& ref,
             PixelDiff* diff, int tolerance = 0);

// The corpus entries whose file starts with one of the given signatures (2-byte prefixes
// such as "BM", "II", "MM").
std::vector<CorpusEntry> CorpusFilesStartingWith(const std::vector<std::string>& prefixes);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_CORPUS_COMPARE_H
