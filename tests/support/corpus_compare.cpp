#include "corpus_compare.h"

#include <cstdlib>
#include <fstream>

namespace pxtest {

std::string PixelDiff::Describe() const {
  return std::to_string(mismatched) + " pixels differ, by up to " + std::to_string(maxDelta) +
         ", first at (" + std::to_string(firstX) + ", " + std::to_string(firstY) + ")";
}

bool SameRGB(const uint8_t* rgb, uint32_t width, uint32_t height, const RefImage& ref,
             PixelDiff* diff, int tolerance) {
  *diff = PixelDiff();
  if (width != ref.width || height != ref.height) {
    diff->mismatched = ~uint64_t(0);
    return false;
  }
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* a = rgb + (uint64_t(y) * width + x) * 3;
      const uint8_t* b = ref.pixels.data() + (uint64_t(y) * width + x) * ref.channels;
      int delta = 0;
      for (int c = 0; c < 3; ++c) delta = std::max(delta, std::abs(int(a[c]) - int(b[c])));
      if (delta <= tolerance) continue;
      if (!diff->mismatched++) {
        diff->firstX = x;
        diff->firstY = y;
      }
      diff->maxDelta = std::max(diff->maxDelta, delta);
    }
  }
  return diff->mismatched == 0;
}

std::vector<CorpusEntry> CorpusFilesStartingWith(const std::vector<std::string>& prefixes) {
  std::vector<CorpusEntry> out;
  for (CorpusEntry& e : LoadCorpusManifest()) {
    std::ifstream in(CorpusDir() / "files" / e.path, std::ios::binary);
    char head[2] = {};
    if (!in.read(head, 2)) continue;
    for (const std::string& p : prefixes) {
      if (p.compare(0, 2, head, 2) == 0) {
        out.push_back(std::move(e));
        break;
      }
    }
  }
  return out;
}

}  // namespace pxtest
