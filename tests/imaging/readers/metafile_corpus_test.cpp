// Metafiles written by real programs: they render, damaged ones never crash the player,
// and the two drawings match the platform's own renderings shipped beside them.
#include <cstdio>
#include <cstdlib>

#include "metafile_builder.h"
#include "pixolith/px_metafile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Files(const fs::path& dir) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

bool ShowsSomething(const pxtest::Rendering& r) {
  for (uint32_t y = 0; y < r.height; ++y)
    for (uint32_t x = 0; x < r.width; ++x)
      if (r.At(x, y) != 0xFFFFFF) return true;
  return false;
}

TEST(MetafileCorpus, RealEnhancedMetafilesRender) {
  PXTEST_REQUIRE_CORPUS();
  auto files = Files(pxtest::CorpusDir() / "files" / "emf");
  if (files.empty()) GTEST_SKIP() << "no emf folder in the corpus";
  int rendered = 0, blank = 0, tooLarge = 0, empty = 0, failed = 0;
  for (const auto& path : files) {
    auto r = pxtest::RenderMetafileFile(path.string(), 100, 100, 0);
    if (r.error == 0) {
      ++rendered;
      // Two files draw nothing the player shows: one selects stock objects only, one
      // holds its drawing only in EMF+ comments.
      if (!ShowsSomething(r)) {
        ++blank;
        std::printf("  blank: %s\n", path.filename().c_str());
      }
    } else if (r.error == PX_ERR_CREATE_BITMAP) {
      ++tooLarge;  // frames of several metres ask for rasters beyond the bound
    } else if (fs::file_size(path) == 0) {
      EXPECT_EQ(r.error, PX_ERR_BAD_METAFILE);
      ++empty;
    } else {
      ++failed;
      ADD_FAILURE() << path.filename() << " error " << r.error;
    }
  }
  std::printf(
      "emf: %zu files, %d rendered (%d blank), %d refused as too large, %d empty, "
      "%d failed\n",
      files.size(), rendered, blank, tooLarge, empty, failed);
  EXPECT_EQ(failed, 0);
  EXPECT_LE(blank, 2);
  EXPECT_LE(tooLarge, 4);
  EXPECT_GE(rendered, int(files.size()) - 6);
}

TEST(MetafileCorpus, DamagedEnhancedMetafilesEndCleanly) {
  PXTEST_REQUIRE_CORPUS();
  auto files = Files(pxtest::CorpusDir() / "files" / "emf-corrupted");
  if (files.empty()) GTEST_SKIP() << "no emf-corrupted folder in the corpus";
  int rendered = 0, refused = 0;
  for (const auto& path : files) {
    auto r = pxtest::RenderMetafileFile(path.string(), 100, 100, 0);
    if (r.error == 0) {
      ++rendered;
      EXPECT_EQ(r.rgb.size(), size_t(r.width) * r.height * 3);
    } else {
      ++refused;
      EXPECT_TRUE(r.rgb.empty());
    }
  }
  std::printf("emf-corrupted: %zu files, %d rendered what they could, %d refused\n", files.size(),
              rendered, refused);
}

// The share of pixels whose channels all lie within the tolerance of the reference.
double Match(const pxtest::Rendering& r, const pxtest::RefImage& ref, int tolerance) {
  if (r.width != ref.width || r.height != ref.height) return 0;
  size_t good = 0;
  for (uint32_t y = 0; y < ref.height; ++y)
    for (uint32_t x = 0; x < ref.width; ++x) {
      const uint8_t* p = &ref.pixels[(size_t(y) * ref.width + x) * ref.channels];
      uint32_t v = r.At(x, y);
      int d = std::max({std::abs(int(v >> 16) - p[0]), std::abs(int((v >> 8) & 0xFF) - p[1]),
                        std::abs(int(v & 0xFF) - p[2])});
      good += d <= tolerance;
    }
  return double(good) / (double(ref.width) * ref.height);
}

TEST(MetafileCorpus, DrawingsMatchThePlatformsRenderings) {
  PXTEST_REQUIRE_CORPUS();
  fs::path dir = pxtest::CorpusDir() / "files";
  struct Case {
    const char* file;
    const char* ref;
  } cases[] = {{"drawing.wmf", "drawing_wmf_ref.png"},
               {"drawing.wmf", "drawing_wmf_ref_144.png"},
               {"drawing.emf", "drawing_emf_ref_72_144.png"}};
  for (const Case& c : cases) {
    if (!fs::exists(dir / c.file) || !fs::exists(dir / c.ref)) continue;
    pxtest::RefImage ref;
    ASSERT_TRUE(pxtest::ReadReferencePNG((dir / c.ref).string(), &ref)) << c.ref;
    auto r = pxtest::RenderMetafileFile((dir / c.file).string(), int(ref.width), int(ref.height),
                                        PX_METAFILE_PIXELS);
    ASSERT_EQ(r.error, 0) << c.file;
    double match = Match(r, ref, 24);
    std::printf("%s against %s: %.2f%% of pixels match\n", c.file, c.ref, 100 * match);
    EXPECT_GE(match, 0.98) << c.file << " / " << c.ref;
  }
}

}  // namespace
