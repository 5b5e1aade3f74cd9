#include "reader_results.h"

namespace pxtest {

std::vector<uint8_t> ReadResult::bytes(size_t n) const {
  return pixels.block ? std::vector<uint8_t>(pixels.bytes(), pixels.bytes() + n)
                      : std::vector<uint8_t>();
}

BOOL RecordProgress(UINT current, UINT total, DWORD_PTR user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.push_back({current, total});
  return log->calls.size() < log->stopAt;
}

}  // namespace pxtest
