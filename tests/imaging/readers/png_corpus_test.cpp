// The PNG reader against real files: every PNG of the shared corpus that the reference
// decoder read must give its pixels at depth 24; broken ones must fail cleanly.
#include <png.h>

#include <cstdio>
#include <map>
#include <set>

#include "pixolith/px_png.h"
#include "png_test_support.h"
#include "test_support.h"

namespace {

using pxtest::BlockGuard;
using pxtest::CorpusEntry;
using pxtest::PngImage;

bool IsPNG(const CorpusEntry& e) {
  return e.path.size() > 4 && e.path.compare(e.path.size() - 4, 4, ".png") == 0;
}

std::string FilePath(const CorpusEntry& e) {
  return (pxtest::CorpusDir() / "files" / e.path).string();
}

// The reference decoder clips 16-bit grey to 0..255 instead of scaling it, so its
// pixels of these files are not the image.
const std::set<std::string> kClippedByReference = {"pngsuite/basn0g16.png",
                                                   "pngsuite/ibasn0g16.png"};

// Valid PNG files the reference refused for reasons of its own; they must decode, and
// are checked against libpng's raw samples instead.
const std::map<std::string, std::string> kRefusedButValid = {
    {"1_trns.png", "reference fails on tRNS in 1-bit grey"},
    {"i_trns.png", "reference fails on tRNS in 16-bit grey"},
    {"pngsuite/ftbbn0g01.png", "reference fails on tRNS in 1-bit grey"},
    {"pngsuite/iftbbn0g01.png", "reference fails on tRNS in 1-bit grey"},
    {"pngsuite/ftbwn0g16.png", "reference fails on tRNS in 16-bit grey"},
    {"pngsuite/iftbwn0g16.png", "reference fails on tRNS in 16-bit grey"},
    {"apng/chunk_no_fctl.png", "only the animation chunks are broken; the image is whole"},
    {"unknown_compression_method.png", "only the iCCP chunk is unreadable; libpng drops it"},
    {"png_decompression_dos.png", "only the zTXt chunks are oversized; libpng drops them"},
};

// The reference image composited on the background as the reader does it, on the
// stored (not linearised) values.
std::vector<uint8_t> CompositeReference(const pxtest::RefImage& ref, bool refHasAlpha,
                                        const PngImage& file) {
  uint8_t bg[3];
  pxtest::BackgroundOf(file, bg);
  std::vector<uint8_t> alpha = pxtest::TransparencyOf(file);
  std::vector<uint8_t> out(size_t(ref.width) * ref.height * 3);
  for (size_t i = 0; i < size_t(ref.width) * ref.height; ++i) {
    const uint8_t* p = &ref.pixels[i * ref.channels];
    unsigned a = refHasAlpha ? p[3] : alpha.empty() ? 255 : alpha[i];
    for (int c = 0; c < 3; ++c)
      out[i * 3 + c] = uint8_t((p[c] * a + bg[c] * (255 - a) + 127) / 255);
  }
  return out;
}

struct Decoded {
  BlockGuard pixels;
  uint32_t width = 0;
  uint32_t height = 0;
  int error = -1;
};

void Decode(const std::string& path, int depth, uint32_t flags, Decoded* out) {
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr) << path;
  RGBQUAD palette[256];
  out->pixels.reset(PXReadPNG(source, &out->width, &out->height, depth, palette, flags));
  out->error = PXGetLastError();
  PXCloseSource(source);
}

int MaxDifference(const std::vector<uint8_t>& expected, const uint8_t* actual) {
  int worst = 0;
  for (size_t i = 0; i < expected.size(); ++i)
    worst = std::max(worst, std::abs(int(expected[i]) - int(actual[i])));
  return worst;
}

TEST(PngCorpus, DecodesLikeTheReference) {
  PXTEST_REQUIRE_CORPUS();
  int compared = 0, exact = 0, withinOne = 0;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if (!IsPNG(e) || e.ref.empty() || kClippedByReference.count(e.path)) continue;
    SCOPED_TRACE(e.path);
    std::string path = FilePath(e);
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((pxtest::CorpusDir() / "ref" / e.ref).string(), &ref));
    PngImage file;
    ASSERT_TRUE(pxtest::DecodePNG(pxtest::ReadFile(path), &file));
    Decoded d;
    ASSERT_NO_FATAL_FAILURE(Decode(path, 24, 0, &d));
    ++compared;
    ASSERT_EQ(d.error, 0);
    ASSERT_NE(d.pixels.block, nullptr);
    ASSERT_EQ(d.width, ref.width);
    ASSERT_EQ(d.height, ref.height);
    int diff = MaxDifference(CompositeReference(ref, e.refMode == "RGBA", file), d.pixels.bytes());
    if (diff == 0) {
      ++exact;
    } else if (file.bitDepth == 16 && (file.colorType & PNG_COLOR_MASK_ALPHA)) {
      // The reader composites the 16-bit samples before cutting them to 8 bits; the
      // reference only has the 8-bit ones, so the two may round one step apart.
      EXPECT_LE(diff, 1);
      ++withinOne;
    } else {
      ADD_FAILURE() << "differs from the reference by up to " << diff;
    }
  }
  std::printf(
      "PNG corpus: %d of %d files match the reference exactly, %d more within one "
      "step (16-bit alpha), %zu left out (reference clips 16-bit grey)\n",
      exact, compared, withinOne, kClippedByReference.size());
  EXPECT_GT(compared, 400);
}

TEST(PngCorpus, RefusedButValidFilesDecode) {
  PXTEST_REQUIRE_CORPUS();
  std::map<std::string, CorpusEntry> byPath;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) byPath[e.path] = e;
  for (const auto& [name, reason] : kRefusedButValid) {
    SCOPED_TRACE(name + ": " + reason);
    ASSERT_TRUE(byPath.count(name));
    ASSERT_FALSE(byPath[name].error.empty());
    std::string path = FilePath(byPath[name]);
    PngImage file;
    ASSERT_TRUE(pxtest::DecodePNG(pxtest::ReadFile(path), &file));
    Decoded d;
    ASSERT_NO_FATAL_FAILURE(Decode(path, 24, 0, &d));
    ASSERT_EQ(d.error, 0);
    ASSERT_NE(d.pixels.block, nullptr);
    EXPECT_EQ(MaxDifference(pxtest::ExpectedRGB(file), d.pixels.bytes()), 0);
  }
}

TEST(PngCorpus, BrokenFilesFailCleanly) {
  PXTEST_REQUIRE_CORPUS();
  int checked = 0;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if (!IsPNG(e) || e.error.empty() || kRefusedButValid.count(e.path)) continue;
    SCOPED_TRACE(e.path);
    Decoded d;
    ASSERT_NO_FATAL_FAILURE(Decode(FilePath(e), 24, 0, &d));
    EXPECT_EQ(d.error, PX_ERR_BAD_PNG);
    if (d.pixels.block) {
      // A partial image comes with its dimensions.
      EXPECT_GT(d.width, 0u);
      EXPECT_GT(d.height, 0u);
    }
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

// Every PNG of the corpus at every depth and as a packed DIB: no crash, and only the
// codes a PNG read may give. Run under the sanitizers this covers the transformation
// paths with real files.
TEST(PngCorpus, EveryDepthOfEveryFile) {
  PXTEST_REQUIRE_CORPUS();
  const std::set<int> allowed = {0, PX_ERR_BAD_PNG, PX_ERR_BIT_DEPTH};
  const int depths[] = {1, 8, 16, 24, 32, 48, 64};
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if (!IsPNG(e)) continue;
    SCOPED_TRACE(e.path);
    for (int depth : depths) {
      Decoded d;
      ASSERT_NO_FATAL_FAILURE(Decode(FilePath(e), depth, 0, &d));
      EXPECT_TRUE(allowed.count(d.error)) << "depth " << depth << " error " << d.error;
      if (d.pixels.block) {
        EXPECT_EQ(GlobalSize(d.pixels.block), PXImageRowBytes(d.width, depth) * d.height);
      }
    }
    Decoded gray16;
    ASSERT_NO_FATAL_FAILURE(Decode(FilePath(e), 16, PX_PNG_READ_GRAY16, &gray16));
    EXPECT_TRUE(allowed.count(gray16.error)) << "grey 16 error " << gray16.error;
    Decoded dib;
    ASSERT_NO_FATAL_FAILURE(Decode(FilePath(e), 0, PX_PNG_READ_DIB, &dib));
    EXPECT_TRUE(allowed.count(dib.error)) << "DIB error " << dib.error;
  }
}

}  // namespace
