// Settings and the three file-name orders used when several files are added at once.
#include <sys/stat.h>
#include <utime.h>

#include "document/preferences.h"
#include "test_support.h"

namespace {

using pxtest::TempDir;

TEST(PreferencesTest, MissingValuesGiveDefaults) {
  TempDir dir;
  Preferences prefs(dir.File("settings.ini"));
  EXPECT_EQ(prefs.SortStyle(), 3);
  EXPECT_EQ(prefs.ReadPreviewSize(), (PreviewSize{280, 500}));
}

TEST(PreferencesTest, WrittenValuesAreReadBack) {
  TempDir dir;
  {
    Preferences prefs(dir.File("settings.ini"));
    EXPECT_TRUE(prefs.Write(6, {400, 300}));
  }
  Preferences again(dir.File("settings.ini"));
  EXPECT_EQ(again.SortStyle(), 6);
  EXPECT_EQ(again.ReadPreviewSize(), (PreviewSize{400, 300}));
}

TEST(PreferencesTest, WindowLayoutsAreKeptAsTheyWereGiven) {
  TempDir dir;
  const std::string bytes("\x01\x00\xff layout", 10);
  {
    Preferences prefs(dir.File("settings.ini"));
    EXPECT_EQ(prefs.ReadLayout("Main"), "");
    prefs.WriteLayout("Main", bytes);
    prefs.WriteLayout("Other", "2");
  }
  Preferences again(dir.File("settings.ini"));
  EXPECT_EQ(again.ReadLayout("Main"), bytes);
  EXPECT_EQ(again.ReadLayout("Other"), "2");
  // The other settings are not disturbed by them.
  EXPECT_EQ(again.SortStyle(), 3);
}

std::vector<std::string> Sorted(std::vector<std::string> names, int style) {
  return SortForAdding(names, style);
}

TEST(SortTest, AlphaNumericPutsNumbersInOrder) {
  std::vector<std::string> names{"/d/a10.tif", "/d/a9.tif", "/d/a1.tif"};
  EXPECT_EQ(Sorted(names, kSortAlphaNumeric),
            (std::vector<std::string>{"/d/a1.tif", "/d/a9.tif", "/d/a10.tif"}));
  EXPECT_EQ(Sorted(names, kSortAlphaNumericReverse),
            (std::vector<std::string>{"/d/a10.tif", "/d/a9.tif", "/d/a1.tif"}));
  EXPECT_EQ(Sorted(names, kSortAlphabetical),
            (std::vector<std::string>{"/d/a1.tif", "/d/a10.tif", "/d/a9.tif"}));
  EXPECT_EQ(Sorted({"/x/scan10.tif", "/x/scan2.tif"}, kSortAlphaNumeric),
            (std::vector<std::string>{"/x/scan2.tif", "/x/scan10.tif"}));
}

TEST(SortTest, AlphaNumericComparesExtensionsBeforeNumbers) {
  EXPECT_EQ(Sorted({"/f/page.tif", "/f/page.png"}, kSortAlphaNumeric),
            (std::vector<std::string>{"/f/page.png", "/f/page.tif"}));
  EXPECT_TRUE(AlphaNumericLess("/f/b9.png", "/f/b1.tif"));
}

TEST(SortTest, EqualNumbersKeepTheirDeliveredOrderBothWays) {
  // img007 and img7 are equal: a strict ordering calls neither smaller, and the stable
  // sort keeps them as delivered, whichever comes first.
  EXPECT_FALSE(AlphaNumericLess("/p/img007.jpg", "/p/img7.jpg"));
  EXPECT_FALSE(AlphaNumericLess("/p/img7.jpg", "/p/img007.jpg"));
  EXPECT_FALSE(AlphaNumericLess("/p/img7.jpg", "/p/img7.jpg"));
  EXPECT_EQ(Sorted({"/p/img7.jpg", "/p/img007.jpg"}, kSortAlphaNumeric),
            (std::vector<std::string>{"/p/img7.jpg", "/p/img007.jpg"}));
  EXPECT_EQ(Sorted({"/p/img007.jpg", "/p/img7.jpg"}, kSortAlphaNumeric),
            (std::vector<std::string>{"/p/img007.jpg", "/p/img7.jpg"}));
}

TEST(SortTest, ManyEqualKeysSortSafely) {
  // Hundreds of equal keys: a comparison that is not a strict ordering can make a sort
  // run off its range; this one must keep the delivered order instead.
  std::vector<std::string> names;
  for (int i = 0; i < 500; ++i)
    names.push_back("/q/same" + std::string(size_t(i % 3), '0') + "5.tif");
  EXPECT_EQ(Sorted(names, kSortAlphaNumeric), names);
}

TEST(SortTest, FolderDigitsMakeTheNumberDecide) {
  // The prefix ends inside the folder name, so only extension and number decide.
  EXPECT_EQ(Sorted({"/scans2/b3.tif", "/scans2/a7.tif"}, kSortAlphaNumeric),
            (std::vector<std::string>{"/scans2/b3.tif", "/scans2/a7.tif"}));
}

TEST(SortTest, AlphabeticalIgnoresLetterCase) {
  EXPECT_FALSE(AlphabeticalLess("/D/A.tif", "/d/a.tif"));
  EXPECT_FALSE(AlphabeticalLess("/d/a.tif", "/D/A.tif"));
  EXPECT_TRUE(AlphabeticalLess("/A/z.tif", "/b/a.tif"));  // folder first
}

TEST(SortTest, NoSortAndUnknownStylesReverseTheDeliveredOrder) {
  std::vector<std::string> names{"/c.tif", "/a.tif", "/b.tif"};
  std::vector<std::string> reversed{"/b.tif", "/a.tif", "/c.tif"};
  EXPECT_EQ(Sorted(names, kSortNone), reversed);
  EXPECT_EQ(Sorted(names, 9), reversed);
}

TEST(SortTest, DateOrdersByModificationTime) {
  TempDir dir;
  std::string older = dir.File("z.tif"), newer = dir.File("a.tif");
  pxtest::WriteFile(older, {1});
  pxtest::WriteFile(newer, {1});
  struct utimbuf times {
    1000, 1000
  };
  utime(older.c_str(), &times);
  times = {2000, 2000};
  utime(newer.c_str(), &times);
  EXPECT_EQ(Sorted({newer, older}, kSortDate), (std::vector<std::string>{older, newer}));
  EXPECT_EQ(Sorted({older, newer}, kSortDateReverse), (std::vector<std::string>{newer, older}));
}

}  // namespace
