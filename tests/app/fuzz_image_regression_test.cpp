// The image object's fuzz target (fuzz/image_object.h) on every input that ever broke a
// fuzz target (tests/data/fuzz/<target>/, its own in image/ once it has any) and on every
// fuzz seed: each must load whole or fail with its code, and the preview, conversions and
// thumbnail after it must hold.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "image_object.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesUnder(const fs::path& root) {
  std::vector<fs::path> files;
  if (!fs::is_directory(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().extension() != ".md" &&
        entry.path().extension() != ".py")
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectHolds(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    std::vector<uint8_t> bytes = pxtest::ReadFile(file.string());
    pxfuzz::Problem problem = pxfuzz::ImageObject(bytes.data(), bytes.size());
    EXPECT_EQ(problem, nullptr) << file << ": " << problem;
  }
}

TEST(FuzzImageObject, EveryReproducerLoadsOrFailsCleanly) {
  // Any file that broke a reader, the renderer or the writers is a hostile file for the
  // image object too.
  std::vector<fs::path> reproducers = FilesUnder(pxtest::TestDataDir() / "fuzz");
  ASSERT_FALSE(reproducers.empty()) << "no reproducers under " << pxtest::TestDataDir() / "fuzz";
  ExpectHolds(reproducers);
}

TEST(FuzzImageObject, EverySeedLoadsOrFailsCleanly) {
  std::vector<fs::path> seeds = FilesUnder(pxtest::SourceDir() / "fuzz" / "corpora");
  ASSERT_FALSE(seeds.empty());
  ExpectHolds(seeds);
}

}  // namespace
