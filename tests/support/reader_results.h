// What the reader tests keep of one read (the image, its size, the last error and the
// palette) and a progress callback that records its calls.
#ifndef PAGEWEAVER_TESTS_READER_RESULTS_H
#define PAGEWEAVER_TESTS_READER_RESULTS_H

#include <cstdint>
#include <utility>
#include <vector>

#include "test_support.h"

namespace pxtest {

struct ReadResult {
  BlockGuard pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = -1;
  RGBQUAD palette[256] = {};

  // The first n bytes of the image, or nothing when there is none.
  std::vector<uint8_t> bytes(size_t n) const;
};

// Install with PXSetProgressCallback(RecordProgress, reinterpret_cast<DWORD_PTR>(&log)).
struct ProgressLog {
  std::vector<std::pair<UINT, UINT>> calls;
  size_t stopAt = SIZE_MAX;  // the call that returns FALSE (1-based)
};
BOOL RecordProgress(UINT current, UINT total, DWORD_PTR log);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_READER_RESULTS_H
