// The BMP reader over the sample corpus: every file the independent decoder read must come
// out pixel for pixel the same at depth 24; broken files give an error, never a crash.
#include <map>

#include "corpus_compare.h"
#include "pixolith/px_bmp.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::CorpusDir;
using pxtest::CorpusEntry;

// Files where the reference decoder is not the measure, and why.
const std::map<std::string, std::string> kExcluded = {
    // The reference stops drawing at the first delta code and leaves every later row as
    // background; the reader draws the whole picture with the skipped pixels background.
    {"bmp/q/pal4rletrns.bmp", "reference ignores everything after the first delta"},
    {"bmp/q/pal8rletrns.bmp", "reference ignores everything after the first delta"},
};

// Files whose reference is wrong but that show the same picture as another file: they are
// compared with that file's reference instead.
const std::map<std::string, std::string> kSamePictureAs = {
    // The reference mis-decodes RLE4 runs; the uncompressed file holds the same picture.
    {"bmp/g/pal4rle.bmp", "bmp/g/pal4.bmp"},
};

struct Decoded {
  BlockGuard pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = 0;
};

void Decode(const std::string& path, uint32_t depth, Decoded* d) {
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr) << path;
  RGBQUAD palette[256];
  d->pixels.reset(PXReadBMP(source, &d->width, &d->height, depth, palette, 0));
  d->error = PXGetLastError();
  PXCloseSource(source);
}

bool Broken(const CorpusEntry& e) {
  return e.path.rfind("bmp/b/", 0) == 0 || e.ref.empty();
}

TEST(BMPCorpus, ReadableFilesMatchTheReference) {
  PXTEST_REQUIRE_CORPUS();
  const std::vector<CorpusEntry> entries = pxtest::CorpusFilesStartingWith({"BM"});
  auto refOf = [&](const CorpusEntry& e) {
    const auto other = kSamePictureAs.find(e.path);
    if (other == kSamePictureAs.end()) return e.ref;
    for (const CorpusEntry& o : entries)
      if (o.path == other->second) return o.ref;
    return std::string();
  };
  int compared = 0, matched = 0;
  for (const CorpusEntry& e : entries) {
    if (Broken(e) || kExcluded.count(e.path)) continue;
    SCOPED_TRACE(e.path);
    ++compared;
    Decoded d;
    Decode((CorpusDir() / "files" / e.path).string(), 24, &d);
    if (!d.pixels.block || d.error) {
      ADD_FAILURE() << e.path << ": error " << d.error;
      continue;
    }
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((CorpusDir() / "ref" / refOf(e)).string(), &ref));
    pxtest::PixelDiff diff;
    if (pxtest::SameRGB(d.pixels.bytes(), d.width, d.height, ref, &diff))
      ++matched;
    else
      ADD_FAILURE() << e.path << " (" << d.width << "x" << d.height << "): " << diff.Describe();
  }
  std::printf("BMP: %d of %d reference-readable files match exactly (%zu excluded)\n", matched,
              compared, kExcluded.size());
  EXPECT_EQ(matched, compared);
}

TEST(BMPCorpus, BrokenFilesGiveErrorsNotCrashes) {
  PXTEST_REQUIRE_CORPUS();
  int refused = 0, read = 0;
  for (const CorpusEntry& e : pxtest::CorpusFilesStartingWith({"BM"})) {
    if (!Broken(e) && !kExcluded.count(e.path)) continue;
    SCOPED_TRACE(e.path);
    const std::string path = (CorpusDir() / "files" / e.path).string();
    for (uint32_t depth : {1u, 8u, 24u, 32u}) {
      Decoded d;
      Decode(path, depth, &d);
      if (d.pixels.block) {
        // Whatever comes back must be a whole image of the size reported.
        ASSERT_GE(GlobalSize(d.pixels.block), size_t(d.height) * PXImageRowBytes(d.width, depth));
      } else {
        EXPECT_NE(d.error, 0);
      }
      if (depth == 24) (d.pixels.block && !d.error) ? ++read : ++refused;
    }
    PXSource source = PXOpenFileSource(path.c_str());
    uint32_t w, h;
    BlockGuard dib(PXReadBMP(source, &w, &h, 0, nullptr, PX_READ_PACKED_DIB));
    PXCloseSource(source);
  }
  std::printf("BMP: broken or refused files: %d refused, %d read cleanly\n", refused, read);
}

}  // namespace
