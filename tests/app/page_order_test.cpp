// New page orders: moves of selected pages by one place, to a place, reversal and the
// file-name sorts applied to a list that exists.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <fstream>

#include "document/page_order.h"
#include "document/preferences.h"
#include "test_support.h"

namespace {

const PageOrder kList = {10, 11, 12, 13, 14, 15};

TEST(PageOrderTest, OnePlaceUpOrDownMovesEachBlockAndKeepsItsOrder) {
  EXPECT_EQ(MovedUp(kList, {12}), (PageOrder{10, 12, 11, 13, 14, 15}));
  EXPECT_EQ(MovedUp(kList, {12, 13, 15}), (PageOrder{10, 12, 13, 11, 15, 14}));
  EXPECT_EQ(MovedDown(kList, {10, 11, 13}), (PageOrder{12, 10, 11, 14, 13, 15}));
  // The selection's order in the call does not matter.
  EXPECT_EQ(MovedDown(kList, {13, 11, 10}), MovedDown(kList, {10, 11, 13}));
}

TEST(PageOrderTest, PagesAtTheEdgeStayAndTheOthersStillMove) {
  EXPECT_EQ(MovedUp(kList, {10, 11}), kList);
  EXPECT_EQ(MovedUp(kList, {10, 11, 14}), (PageOrder{10, 11, 12, 14, 13, 15}));
  EXPECT_EQ(MovedDown(kList, {15}), kList);
  EXPECT_EQ(MovedDown(kList, {11, 14, 15}), (PageOrder{10, 12, 11, 13, 14, 15}));
  // Unknown pages are passed over; no selection changes nothing.
  EXPECT_EQ(MovedUp(kList, {99}), kList);
  EXPECT_EQ(MovedDown(kList, {}), kList);
}

TEST(PageOrderTest, MovedBeforeGathersThePagesInTheirOrder) {
  EXPECT_EQ(MovedBefore(kList, {13, 11}, 0), (PageOrder{11, 13, 10, 12, 14, 15}));
  EXPECT_EQ(MovedBefore(kList, {10, 14}, kList.size()), (PageOrder{11, 12, 13, 15, 10, 14}));
  // Before the page at 3 (13): pages from above and below meet there.
  EXPECT_EQ(MovedBefore(kList, {10, 15}, 3), (PageOrder{11, 12, 10, 15, 13, 14}));
}

TEST(PageOrderTest, ReversalTakesTheSelectedPlacesOrEveryPage) {
  EXPECT_EQ(ReversedSelection(kList, {11, 13, 14}), (PageOrder{10, 14, 12, 13, 11, 15}));
  EXPECT_EQ(ReversedSelection(kList, {12}), (PageOrder{15, 14, 13, 12, 11, 10}));
  EXPECT_EQ(ReversedSelection(kList, {}), (PageOrder{15, 14, 13, 12, 11, 10}));
  EXPECT_EQ(ReversedSelection(ReversedSelection(kList, {10, 12, 15}), {10, 12, 15}), kList);
}

PageRecord Page(int32_t id, const std::string& path, int frame = 0) {
  PageRecord page;
  page.pageId = id;
  page.sourcePath = path;
  page.frameIndex = frame;
  return page;
}

TEST(PageOrderTest, SortsByFileNameKeepingPagesOfOneFileInOrder) {
  std::vector<PageRecord> pages = {Page(1, "/s/scan10.tif", 1), Page(2, "/s/scan2.tif"),
                                   Page(3, "/s/scan10.tif", 0), Page(4, "/s/Scan1.tif")};
  EXPECT_EQ(SortedByStyle(pages, kSortAlphaNumeric), (PageOrder{4, 2, 1, 3}));
  EXPECT_EQ(SortedByStyle(pages, kSortAlphaNumericReverse), (PageOrder{1, 3, 2, 4}));
  EXPECT_EQ(SortedByStyle(pages, kSortAlphabetical), (PageOrder{4, 1, 3, 2}));
  EXPECT_EQ(SortedByStyle(pages, kSortAlphabeticalReverse), (PageOrder{2, 1, 3, 4}));
  // "No sort" and unknown styles leave the list as it is.
  EXPECT_EQ(SortedByStyle(pages, kSortNone), (PageOrder{1, 2, 3, 4}));
  EXPECT_EQ(SortedByStyle(pages, 9), (PageOrder{1, 2, 3, 4}));
}

TEST(PageOrderTest, SortsByDate) {
  pxtest::TempDir dir;
  std::vector<PageRecord> pages;
  const time_t times[] = {3000, 1000, 2000};
  for (int i = 0; i < 3; ++i) {
    std::string path = dir.File("f" + std::to_string(i));
    std::ofstream(path) << i;
    utimbuf stamp{times[i], times[i]};
    ASSERT_EQ(utime(path.c_str(), &stamp), 0);
    pages.push_back(Page(i, path));
  }
  EXPECT_EQ(SortedByStyle(pages, kSortDate), (PageOrder{1, 2, 0}));
  EXPECT_EQ(SortedByStyle(pages, kSortDateReverse), (PageOrder{0, 2, 1}));
}

}  // namespace
