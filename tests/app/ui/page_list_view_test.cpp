// The thumbnail list: items from the document's notifications, the page order it owns,
// moves, removals, resets and dropped files.
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "document_support.h"
#include "ui/page_list_view.h"
#include "ui_support.h"

namespace {

class PageListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fx_.doc.AddView(&view_);
    fx_.doc.AddView(&record_);
    fx_.doc.SetUserInterface(&ui_);
    fx_.doc.SetPageOrder(view_.PageModel());
  }
  void TearDown() override {
    fx_.doc.RemoveView(&record_);
    fx_.doc.RemoveView(&view_);
  }
  int32_t Add(const std::string& name) {
    EXPECT_EQ(fx_.doc.AddPage(fx_.Bmp(name), 0, false), 0);
    return Pages().PageIdAt(Count() - 1);
  }
  CPageListModel& Pages() { return *view_.PageModel(); }
  int Count() { return Pages().rowCount(); }
  QString Label(int row) { return Pages().index(row).data().toString(); }
  QPixmap Thumbnail(int row) {
    return Pages().index(row).data(Qt::DecorationRole).value<QIcon>().pixmap(QSize(100, 100));
  }
  bool IsSelected(int row) { return view_.selectionModel()->isSelected(Pages().index(row)); }
  QModelIndexList Selected() { return view_.selectionModel()->selectedIndexes(); }
  std::vector<int32_t> Order() { return Pages().PageIdsInDisplayOrder(); }
  void SelectRows(std::initializer_list<int> rows) {
    view_.clearSelection();
    for (int row : rows)
      view_.selectionModel()->select(Pages().index(row), QItemSelectionModel::Select);
  }
  // The page of the last HINT_SHOW_PAGE, -1 when none came.
  int32_t LastShown() {
    for (auto it = record_.events.rbegin(); it != record_.events.rend(); ++it)
      if (it->hint == HINT_SHOW_PAGE) return it->page.pageId;
    return -1;
  }

  uitest::DocumentFixture fx_;
  CPageWeaverListView view_{&fx_.doc};
  pxtest::RecordingView record_;
  pxtest::ScriptedUI ui_;
};

TEST_F(PageListViewTest, AddedPagesBecomeItemsWithThumbnailLabelAndId) {
  int32_t a = Add("a.bmp");
  int32_t b = Add("b.bmp");
  ASSERT_EQ(Count(), 2);
  EXPECT_EQ(Label(0).toStdString(), fx_.dir.File("a.bmp"));
  EXPECT_EQ(Label(1).toStdString(), fx_.dir.File("b.bmp"));
  QPixmap thumbnail = Thumbnail(0);
  EXPECT_EQ(thumbnail.size(), QSize(100, 100));
  EXPECT_EQ(Order(), (std::vector<int32_t>{a, b}));

  // A notification without a thumbnail adds nothing.
  PageHint bare;
  bare.pageId = 99;
  view_.OnUpdate(HINT_PAGE_ADDED, &bare);
  view_.OnUpdate(HINT_PAGE_ADDED, nullptr);
  EXPECT_EQ(Count(), 2);
}

TEST_F(PageListViewTest, SelectingAnItemShowsItsPage) {
  Add("a.bmp");
  int32_t b = Add("b.bmp");
  view_.selectionModel()->setCurrentIndex(Pages().index(1), QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(LastShown(), b);
}

TEST_F(PageListViewTest, MovesChangeTheOrderTheOutputUses) {
  int32_t a = Add("a.bmp"), b = Add("b.bmp"), c = Add("c.bmp"), d = Add("d.bmp");
  view_.MoveItem(0, 2);  // down: lands after the target
  EXPECT_EQ(Order(), (std::vector<int32_t>{b, c, a, d}));
  EXPECT_EQ(Selected().size(), 1);
  EXPECT_EQ(view_.currentIndex().row(), 2);
  EXPECT_EQ(LastShown(), a);
  view_.MoveItem(3, 1);  // up: lands before the target
  EXPECT_EQ(Order(), (std::vector<int32_t>{b, d, c, a}));
  view_.MoveItem(1, 1);
  view_.MoveItem(1, 9);
  EXPECT_EQ(Order(), (std::vector<int32_t>{b, d, c, a}));
  // Labels and thumbnails travel with their pages.
  EXPECT_EQ(Label(1).toStdString(), fx_.dir.File("d.bmp"));
}

TEST_F(PageListViewTest, AMovedPageIsShownAgain) {
  int32_t a = Add("a.bmp"), b = Add("b.bmp");
  view_.selectionModel()->setCurrentIndex(Pages().index(0), QItemSelectionModel::ClearAndSelect);
  auto shown = [this] {
    auto hints = record_.Hints();
    return std::count(hints.begin(), hints.end(), HINT_SHOW_PAGE);
  };
  ASSERT_EQ(shown(), 1);
  view_.MoveItem(0, 1);
  EXPECT_EQ(Order(), (std::vector<int32_t>{b, a}));
  EXPECT_EQ(shown(), 2);
  EXPECT_EQ(LastShown(), a);
  ASSERT_EQ(Selected().size(), 1);
  EXPECT_EQ(Selected().first().row(), 1);
}

TEST_F(PageListViewTest, DeleteRemovesEverySelectedPageInOneCall) {
  int32_t a = Add("a.bmp"), b = Add("b.bmp"), c = Add("c.bmp"), d = Add("d.bmp");
  SelectRows({1, 2});
  QTest::keyClick(&view_, Qt::Key_Delete);
  EXPECT_EQ(Order(), (std::vector<int32_t>{a, d}));
  EXPECT_EQ(fx_.doc.PageCount(), 2u);
  EXPECT_EQ(fx_.doc.FindPage(b), nullptr);
  EXPECT_EQ(fx_.doc.FindPage(c), nullptr);
  // The item that took the removed one's place is selected.
  ASSERT_EQ(Selected().size(), 1);
  EXPECT_EQ(Selected().first().row(), 1);

  // Backspace removes too; removing the last item selects the new last one.
  SelectRows({1});
  QTest::keyClick(&view_, Qt::Key_Backspace);
  EXPECT_EQ(Order(), (std::vector<int32_t>{a}));
  EXPECT_TRUE(IsSelected(0));

  SelectRows({0});
  view_.RemoveSelectedPages();
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(record_.Hints().back(), HINT_RESET);
}

TEST_F(PageListViewTest, RemovalOfAnUnknownPageChangesNothing) {
  Add("a.bmp");
  PageHint hint;
  hint.pageId = 12345;
  view_.OnUpdate(HINT_PAGE_REMOVED, &hint);
  EXPECT_EQ(Count(), 1);
}

TEST_F(PageListViewTest, ResetEmptiesTheListAndNewPagesStillGetTheirThumbnails) {
  int32_t first = Add("a.bmp");
  Add("b.bmp");
  fx_.doc.RemoveAllPages();
  EXPECT_EQ(Count(), 0);
  int32_t again = Add("a.bmp");
  EXPECT_GT(again, first);
  int32_t other = Add("c.bmp");
  ASSERT_EQ(Count(), 2);
  QImage before = Thumbnail(1).toImage();
  // Rotating a page rebuilds its thumbnail, which must reach its own item.
  PageOutputSettings turned = fx_.doc.FindPage(other)->output;
  turned.rotation = 90;
  ASSERT_TRUE(fx_.doc.ApplyPageOptions(other, turned, false, false));
  QImage after = Thumbnail(1).toImage();
  EXPECT_NE(before, after);
  EXPECT_EQ(Pages().PageIdAt(1), other);
}

TEST_F(PageListViewTest, DisabledDuringAnOutputRun) {
  view_.OnUpdate(HINT_SAVE_BEGIN, nullptr);
  EXPECT_FALSE(view_.isEnabled());
  view_.OnUpdate(HINT_SAVE_END, nullptr);
  EXPECT_TRUE(view_.isEnabled());
}

TEST_F(PageListViewTest, DroppedFilesAreAddedAndLinksFollowed) {
  std::string real = fx_.Bmp("real.bmp");
  std::string link = fx_.dir.File("link.bmp");
  std::filesystem::create_symlink(real, link);
  std::string other = fx_.Bmp("other.bmp");

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(link)),
                QUrl::fromLocalFile(QString::fromStdString(other))});
  view_.show();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view_.viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view_.viewport(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  QApplication::processEvents();

  ASSERT_EQ(fx_.doc.PageCount(), 2u);
  std::vector<std::string> sources;
  for (const auto& [id, page] : fx_.doc.Pages()) sources.push_back(page.sourcePath);
  EXPECT_NE(std::find(sources.begin(), sources.end(), real), sources.end());
  EXPECT_EQ(std::find(sources.begin(), sources.end(), link), sources.end());
}

}  // namespace
