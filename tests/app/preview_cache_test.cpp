// The preview cache: file names, reduced sizes, bitmaps and cleaning up.
#include <unistd.h>

#include <filesystem>

#include "document/page_image.h"
#include "document/preview_cache.h"
#include "image_files.h"
#include "test_support.h"

namespace {

using pxtest::TempDir;
namespace fs = std::filesystem;

uint32_t Red(uint32_t, uint32_t) {
  return 0xFF0000u;
}

CPageImage Loaded(const std::string& path) {
  CPageImage image;
  EXPECT_EQ(image.Load(path), 0);
  return image;
}

TEST(PreviewCacheTest, PreviewsFitThePreviewSizeAndAreNeverEnlarged) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  struct Case {
    uint32_t w, h, ew, eh;
  } cases[] = {{2800, 1400, 280, 140}, {1000, 2000, 250, 500}, {200, 100, 200, 100}};
  for (const Case& c : cases) {
    std::string src = dir.File("s" + std::to_string(c.w) + ".bmp");
    pxtest::WriteBMP24(src, c.w, c.h, Red);
    CPageImage image = Loaded(src);
    std::string path;
    ASSERT_EQ(cache.CreateEntry(image, src, &path), 0);
    CPageImage stored = Loaded(path);
    EXPECT_EQ(stored.Width(), c.ew);
    EXPECT_EQ(stored.Height(), c.eh);
    EXPECT_EQ(stored.Type(), PNG_24);
    EXPECT_EQ(image.Width(), c.w);  // the caller's image keeps its size
  }
}

TEST(PreviewCacheTest, NamesAreUniquePerSourceAndFrame) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  fs::create_directories(dir.File("one"));
  fs::create_directories(dir.File("two"));
  std::string a = dir.File("one/scan.bmp"), b = dir.File("two/scan.bmp");
  pxtest::WriteBMP24(a, 10, 10, Red);
  pxtest::WriteBMP24(b, 10, 10, [](uint32_t, uint32_t) { return 0xFFu; });
  CPageImage ia = Loaded(a), ib = Loaded(b);
  std::string pa, pb;
  ASSERT_EQ(cache.CreateEntry(ia, a, &pa), 0);
  ASSERT_EQ(cache.CreateEntry(ib, b, &pb), 0);
  EXPECT_EQ(fs::path(pa).filename(), "scan(0).dat");
  EXPECT_NE(pa, pb);  // the second never overwrites the first
  EXPECT_EQ(Loaded(pa).Pixels()[0], 0xFF);
  EXPECT_EQ(Loaded(pb).Pixels()[0], 0x00);
  EXPECT_EQ(fs::path(pa).parent_path().filename(), std::to_string(getpid()));
}

TEST(PreviewCacheTest, RotationIsAppliedAndAFreshPreviewIsUnrotated) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  std::string src = dir.File("r.bmp");
  pxtest::WriteBMP24(src, 200, 100, Red);
  CPageImage image = Loaded(src);
  PageOutputSettings options;
  options.rotation = 90;
  std::string path;
  ASSERT_EQ(cache.CreateEntry(image, src, &path, &options), 0);
  EXPECT_EQ(Loaded(path).Width(), 100u);
  cache.ClearAll();
  EXPECT_FALSE(fs::exists(path));
  HBITMAP bitmap = nullptr;
  EXPECT_EQ(cache.GetPreviewBitmap(src, 0, &bitmap), 0);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(PXBitmapWidth(bitmap), 200);
  HBITMAP again = nullptr;
  cache.GetPreviewBitmap(src, 0, &again);
  EXPECT_EQ(again, bitmap);  // made once, kept
}

TEST(PreviewCacheTest, DeletedFilesAndUnreadableSources) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  HBITMAP bitmap = nullptr;
  EXPECT_EQ(cache.GetPreviewBitmap(dir.File("gone.bmp"), 0, &bitmap), 0);
  EXPECT_EQ(bitmap, nullptr);
  std::string src = dir.File("d.bmp");
  pxtest::WriteBMP24(src, 10, 10, Red);
  CPageImage image = Loaded(src);
  std::string path;
  cache.CreateEntry(image, src, &path);
  cache.DeleteCacheFile(src, 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(cache.HasEntry(src, 0));
  EXPECT_NE(cache.GetPreviewBitmap(src, 0, &bitmap), 0);
  EXPECT_EQ(bitmap, nullptr);
}

TEST(PreviewCacheTest, AHeldEntryKeepsItsFileUntilTheLastHoldEnds) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  std::string src = dir.File("h.bmp");
  pxtest::WriteBMP24(src, 10, 10, Red);
  CPageImage image = Loaded(src);
  std::string path;
  ASSERT_EQ(cache.CreateEntry(image, src, &path), 0);
  cache.Hold(src, 0);
  cache.Hold(src, 0);
  cache.DeleteCacheFile(src, 0);
  EXPECT_TRUE(fs::exists(path));
  cache.Release(src, 0);
  EXPECT_TRUE(fs::exists(path));
  cache.Release(src, 0);
  EXPECT_FALSE(fs::exists(path));

  // A page that came back calls the deletion off; releasing then keeps the file.
  image = Loaded(src);
  ASSERT_EQ(cache.CreateEntry(image, src, &path), 0);
  cache.Hold(src, 0);
  cache.DeleteCacheFile(src, 0);
  cache.KeepCacheFile(src, 0);
  cache.Release(src, 0);
  EXPECT_TRUE(fs::exists(path));
  // Unmatched releases and entries that were never made change nothing.
  cache.Release(src, 0);
  cache.Release(dir.File("none.bmp"), 0);
  EXPECT_TRUE(fs::exists(path));
}

TEST(PreviewCacheTest, AnEntryTellsWhetherItWasMadeForARotationAndFlip) {
  TempDir dir;
  CPreviewCache cache(dir.File("cache"));
  std::string src = dir.File("g.bmp");
  pxtest::WriteBMP24(src, 20, 10, Red);
  EXPECT_FALSE(cache.HoldsPreview(src, 0, 0, 0));
  CPageImage image = Loaded(src);
  PageOutputSettings turned;
  turned.rotation = 270;
  turned.flip = 2;
  std::string path;
  ASSERT_EQ(cache.CreateEntry(image, src, &path, &turned), 0);
  EXPECT_TRUE(cache.HoldsPreview(src, 0, 270, 2));
  EXPECT_FALSE(cache.HoldsPreview(src, 0, 0, 0));
  EXPECT_FALSE(cache.HoldsPreview(src, 0, 270, 0));
  // Without its file and without a bitmap made from it there is nothing to show.
  cache.DeleteCacheFile(src, 0);
  EXPECT_FALSE(cache.HoldsPreview(src, 0, 270, 2));
  image = Loaded(src);
  ASSERT_EQ(cache.CreateEntry(image, src, &path), 0);
  HBITMAP bitmap = nullptr;
  ASSERT_EQ(cache.GetPreviewBitmap(src, 0, &bitmap), 0);
  cache.DeleteCacheFile(src, 0);
  EXPECT_TRUE(cache.HoldsPreview(src, 0, 0, 0));
}

TEST(PreviewCacheTest, TheRunsFolderGoesAtTheEndAndStaleFoldersAtTheStart) {
  TempDir dir;
  std::string root = dir.File("cache");
  std::string folder;
  {
    CPreviewCache cache(root);
    std::string src = dir.File("f.bmp");
    pxtest::WriteBMP24(src, 10, 10, Red);
    CPageImage image = Loaded(src);
    std::string path;
    ASSERT_EQ(cache.CreateEntry(image, src, &path), 0);
    folder = cache.CacheFolder();
    EXPECT_TRUE(fs::exists(path));
  }
  EXPECT_FALSE(fs::exists(folder));
  // A folder of a process that is gone, one of a live process, and a stranger's.
  fs::create_directories(root + "/999999999");
  fs::create_directories(root + "/" + std::to_string(getppid()));
  fs::create_directories(root + "/keepme");
  CPreviewCache::RemoveStaleFolders(root);
  EXPECT_FALSE(fs::exists(root + "/999999999"));
  EXPECT_TRUE(fs::exists(root + "/" + std::to_string(getppid())));
  EXPECT_TRUE(fs::exists(root + "/keepme"));
}

}  // namespace
