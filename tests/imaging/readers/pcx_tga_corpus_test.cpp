// PCX and TGA against the corpus: every file the independent decoder read must decode to
// its reference pixels; every file it refused must end with an error code; and every
// corpus file, whatever its format, must be safe for all three readers.
#include <cstring>
#include <map>

#include "pixolith/px_pcx_tga_wbmp.h"
#include "small_format_fixtures.h"

namespace {

using pxtest::CorpusDir;
using pxtest::SmallFormat;

// Files where the reference decoder differs on purpose.
struct Known {
  const char* path;
  bool fiveBit;  // compared at 5-bit precision; otherwise not compared
  const char* reason;
} const kKnown[] = {
    {"rgba16.tga", true, "reference scales 5-bit channels by 255/31; this reader by 8"},
    {"p_16.tga", true, "reference scales 5-bit map entries by 255/31; this reader by 8"},
    {"p_4_planes.pcx", false, "reference puts planes 1 byte apart; bytes per line says 2"},
};

void Decode(const pxtest::CorpusEntry& e, uint32_t depth, pxtest::Decoded* d) {
  pxtest::DecodeSmallFormat(e.format == "PCX" ? SmallFormat::kPCX : SmallFormat::kTGA,
                            pxtest::ReadFile((CorpusDir() / "files" / e.path).string()), depth, d);
}

TEST(PcxTgaCorpus, DecodesLikeTheReference) {
  PXTEST_REQUIRE_CORPUS();
  std::map<std::string, int> tried, exact, fiveBit, skipped;
  for (const pxtest::CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if ((e.format != "PCX" && e.format != "TGA") || e.ref.empty()) continue;
    SCOPED_TRACE(e.path);
    ++tried[e.format];
    const Known* known = nullptr;
    for (const Known& k : kKnown) known = e.path == k.path ? &k : known;
    if (known) std::printf("%s: %s\n", e.path.c_str(), known->reason);
    if (known && !known->fiveBit) {
      ++skipped[e.format];
      continue;
    }
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((CorpusDir() / "ref" / e.ref).string(), &ref));
    pxtest::Decoded d;
    Decode(e, ref.channels == 4 ? 32 : 24, &d);  // alpha is compared too
    ASSERT_EQ(d.error, 0);
    ASSERT_EQ(d.width, ref.width);
    ASSERT_EQ(d.height, ref.height);
    for (size_t i = 0; known && i < ref.pixels.size(); ++i)
      if (ref.channels == 3 || i % 4 != 3)
        ref.pixels[i] = uint8_t((ref.pixels[i] * 31 + 127) / 255 * 8);
    size_t i = 0;
    while (i < ref.pixels.size() && d.block.bytes()[i] == ref.pixels[i]) ++i;
    EXPECT_EQ(i, ref.pixels.size()) << "first difference at pixel " << i / ref.channels;
    if (i == ref.pixels.size()) ++(known ? fiveBit : exact)[e.format];
  }
  for (const auto& [format, count] : tried)
    std::printf("%s: %d files: %d match exactly, %d at 5-bit precision, %d not compared\n",
                format.c_str(), count, exact[format], fiveBit[format], skipped[format]);
  EXPECT_GT(tried["PCX"], 0);
  EXPECT_GT(tried["TGA"], 0);
}

TEST(PcxTgaCorpus, RefusedFilesEndWithAnError) {
  PXTEST_REQUIRE_CORPUS();
  int refused = 0;
  for (const pxtest::CorpusEntry& e : pxtest::LoadCorpusManifest()) {
    if ((e.format != "PCX" && e.format != "TGA") || e.error.empty()) continue;
    ++refused;
    for (uint32_t depth : {8u, 24u}) {
      pxtest::Decoded d;
      Decode(e, depth, &d);
      EXPECT_NE(d.error, 0) << e.path << " (" << e.error << ") at depth " << depth;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(PcxTgaCorpus, EveryFileIsSafeForEveryReader) {
  PXTEST_REQUIRE_CORPUS();
  size_t files = 0;
  for (const auto& item : pxtest::fs::recursive_directory_iterator(CorpusDir() / "files")) {
    std::vector<uint8_t> data;
    if (item.is_regular_file()) data = pxtest::ReadFile(item.path().string());
    if (data.empty()) continue;
    ++files;
    pxtest::MemorySource src(data);
    uint32_t w, h, bits, count;
    RGBQUAD palette[256];
    PXGetPCXPalette(src, &count, palette);
    PXSeekSource(src, 0, PX_SEEK_SET);
    PXGetTGAPalette(src, &count, palette);
    PXSeekSource(src, 0, PX_SEEK_SET);
    PXGetTGADimensions(src, &w, &h, &bits);
    pxtest::Decoded d;
    for (SmallFormat format : {SmallFormat::kPCX, SmallFormat::kTGA, SmallFormat::kWBMP}) {
      for (uint32_t depth : {1u, 8u, 24u, 32u}) pxtest::DecodeSmallFormat(format, data, depth, &d);
      pxtest::DecodeSmallFormat(format, data, 0, &d, PX_READ_PACKED_DIB);
    }
  }
  EXPECT_GT(files, 100u);
}

}  // namespace
