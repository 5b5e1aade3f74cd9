// PCX and TGA against the corpus: every file the independent decoder read must decode to
// its reference pixels exactly; every file it refused, and every other file of the
// corpus handed to these readers, must end with an error code and never crash.
#include <cstring>
#include <map>
#include <string>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"
#include "test_support.h"

namespace {

using pxtest::CorpusDir;
using pxtest::CorpusEntry;

void Decode(const std::string& format, const std::string& path, uint32_t depth,
            pxtest::Decoded* d) {
  pxtest::DecodeSmallFormat(format == "PCX" ? pxtest::SmallFormat::kPCX : pxtest::SmallFormat::kTGA,
                            pxtest::ReadFile(path), depth, d);
}

// Files where the reference decoder differs on purpose, with the reason.
struct Known {
  const char* path;
  bool fiveBitChannels;  // compare channels at 5-bit precision; else skip the pixels
  const char* reason;
};
constexpr Known kKnown[] = {
    {"rgba16.tga", true, "reference scales 5-bit channels by 255/31; this reader multiplies by 8"},
    {"p_16.tga", true, "reference scales 5-bit map entries by 255/31; this reader multiplies by 8"},
    {"p_4_planes.pcx", false,
     "reference places the planes 1 byte apart; the header's bytes per line says 2"},
};

const Known* FindKnown(const std::string& path) {
  for (const Known& k : kKnown)
    if (path == k.path) return &k;
  return nullptr;
}

// Where the first difference is, for the failure message.
std::string FirstDifference(const uint8_t* got, const std::vector<uint8_t>& want, uint32_t width,
                            uint32_t channels) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (got[i] == want[i]) continue;
    size_t pixel = i / channels;
    return "first difference at x " + std::to_string(pixel % width) + ", y " +
           std::to_string(pixel / width) + ", channel " + std::to_string(i % channels) + ": " +
           std::to_string(got[i]) + " instead of " + std::to_string(want[i]);
  }
  return "";
}

TEST(PcxTgaCorpus, DecodesLikeTheReference) {
  PX_REQUIRE_CORPUS();
  std::map<std::string, int> tried, matched, scaled, skipped;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if ((e.format != "PCX" && e.format != "TGA") || e.ref.empty()) continue;
    SCOPED_TRACE(e.path);
    ++tried[e.format];
    // Alpha is compared too: a reference with alpha is matched by the 32-bit output.
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((CorpusDir() / "ref" / e.ref).string(), &ref));
    const uint32_t depth = ref.channels == 4 ? 32 : 24;
    pxtest::Decoded d;
    Decode(e.format, (CorpusDir() / "files" / e.path).string(), depth, &d);
    ASSERT_EQ(d.error, 0);
    ASSERT_NE(d.block.block, nullptr);
    ASSERT_EQ(d.width, ref.width);
    ASSERT_EQ(d.height, ref.height);
    const Known* known = FindKnown(e.path);
    if (known && !known->fiveBitChannels) {
      std::printf("%s: not compared: %s\n", e.path.c_str(), known->reason);
      ++skipped[e.format];
      continue;
    }
    if (known) {
      // The same 5-bit values scaled the way this reader scales them (alpha stays).
      std::printf("%s: compared at 5-bit precision: %s\n", e.path.c_str(), known->reason);
      for (size_t i = 0; i < ref.pixels.size(); ++i)
        if (ref.channels == 3 || i % 4 != 3)
          ref.pixels[i] = uint8_t((ref.pixels[i] * 31 + 127) / 255 * 8);
    }
    std::string diff = FirstDifference(d.block.bytes(), ref.pixels, ref.width, ref.channels);
    EXPECT_EQ(diff, "");
    if (diff.empty()) ++(known ? scaled : matched)[e.format];
  }
  for (const auto& [format, count] : tried)
    std::printf("%s: %d files: %d match exactly, %d match at 5-bit precision, %d not compared\n",
                format.c_str(), count, matched[format], scaled[format], skipped[format]);
  EXPECT_GT(tried["PCX"], 0);
  EXPECT_GT(tried["TGA"], 0);
}

TEST(PcxTgaCorpus, RefusedFilesEndWithAnError) {
  PX_REQUIRE_CORPUS();
  int refused = 0;
  for (const CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if ((e.format != "PCX" && e.format != "TGA") || e.error.empty()) continue;
    SCOPED_TRACE(e.path + " (" + e.error + ")");
    ++refused;
    for (uint32_t depth : {8u, 24u, 32u}) {
      if (e.format == "PCX" && depth == 32) continue;
      pxtest::Decoded d;
      Decode(e.format, (CorpusDir() / "files" / e.path).string(), depth, &d);
      EXPECT_NE(d.error, 0) << "depth " << depth;
    }
  }
  EXPECT_GT(refused, 0);
}

// Every file of the corpus, whatever its format, through every entry point of the three
// readers: an error or an image, never a crash or a read out of bounds (run this under the
// sanitizer build).
TEST(PcxTgaCorpus, EveryFileIsSafeForEveryReader) {
  PX_REQUIRE_CORPUS();
  size_t files = 0;
  for (const auto& item : pxtest::fs::recursive_directory_iterator(CorpusDir() / "files")) {
    if (!item.is_regular_file()) continue;
    ++files;
    std::vector<uint8_t> data = pxtest::ReadFile(item.path().string());
    if (data.empty()) continue;
    pxtest::MemorySource src(data);
    uint32_t w, h, bits, count;
    RGBQUAD palette[256];
    PXResolution res;
    auto rewind = [&] { PXSeekSource(src, 0, PX_SEEK_SET); };
    auto read = [&](BYTE* block) {
      // A returned block always comes with sizes that describe it.
      if (block) {
        EXPECT_GT(w, 0u) << item.path();
      }
      GlobalFree(block);
      rewind();
    };
    PXGetPCXDimensionsEx(src, &w, &h, &bits, &res), rewind();
    PXGetPCXPalette(src, &count, palette), rewind();
    for (uint32_t depth : {1u, 8u, 24u}) read(PXReadPCX(src, &w, &h, depth, palette, 0));
    read(PXReadPCX(src, &w, &h, 0, palette, PX_READ_PACKED_DIB));
    PXGetTGADimensions(src, &w, &h, &bits), rewind();
    PXGetTGAPalette(src, &count, palette), rewind();
    for (uint32_t depth : {8u, 24u, 32u}) read(PXReadTGA(src, &w, &h, depth, palette, 0));
    read(PXReadTGA(src, &w, &h, 0, palette, PX_READ_PACKED_DIB));
    PXGetWBMPDimensions(src, &w, &h), rewind();
    for (uint32_t depth : {1u, 8u}) read(PXReadWBMP(src, &w, &h, palette, depth, 0));
    read(PXReadWBMP(src, &w, &h, palette, 0, PX_READ_PACKED_DIB));
  }
  EXPECT_GT(files, 100u);
}

}  // namespace
