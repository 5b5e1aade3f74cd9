// The page order without a view: rows by role, inserts, removals, moves of any set of
// rows, the drag data and the rules of a drop. Qt's model tester checks every change
// against the signals the model sent.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QPixmap>
#include <QSignalSpy>

#include "ui/page_list_model.h"

namespace {

constexpr int32_t kFirstId = 100;  // page ids unlike their rows, so that a mix-up shows

CPageListModel::Page MakePage(int32_t id, QColor colour = Qt::red) {
  QPixmap thumbnail(100, 100);
  thumbnail.fill(colour);
  return {id, QStringLiteral("/scans/page %1.tif").arg(id), QIcon(thumbnail)};
}

// The ids of the pages first filled in at these rows.
std::vector<int32_t> Ids(const std::vector<int>& rows) {
  std::vector<int32_t> ids;
  for (int row : rows) ids.push_back(kFirstId + row);
  return ids;
}

QColor ThumbnailColour(const QModelIndex& index) {
  QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
  return icon.pixmap(QSize(100, 100)).toImage().pixelColor(50, 50);
}

std::unique_ptr<QMimeData> Payload(const QByteArray& ids, const char* type = nullptr) {
  auto mime = std::make_unique<QMimeData>();
  mime->setData(QString::fromLatin1(type ? type : CPageListModel::kPageMimeType), ids);
  return mime;
}

class PageListModelTest : public ::testing::Test {
 protected:
  void Fill(int count) {
    for (int row = 0; row < count; ++row) ASSERT_TRUE(model_.AppendPage(MakePage(kFirstId + row)));
  }
  std::vector<int32_t> Order() { return model_.PageIdsInDisplayOrder(); }

  CPageListModel model_;
  QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(PageListModelTest, RowsGiveTheIdLabelAndThumbnailOfTheirPage) {
  ASSERT_TRUE(model_.AppendPage(MakePage(7, Qt::red)));
  ASSERT_TRUE(model_.AppendPage(MakePage(3, Qt::blue)));
  ASSERT_EQ(model_.rowCount(), 2);
  QModelIndex second = model_.index(1);
  EXPECT_EQ(second.data(CPageListModel::kPageIdRole).toInt(), 3);
  EXPECT_EQ(second.data(Qt::DisplayRole).toString(), "/scans/page 3.tif");
  EXPECT_EQ(second.data(Qt::ToolTipRole).toString(), "/scans/page 3.tif");
  EXPECT_EQ(second.data(CPageListModel::kNumberedLabelRole).toString(), "2: /scans/page 3.tif");
  EXPECT_EQ(ThumbnailColour(second), QColor(Qt::blue));
  EXPECT_EQ(ThumbnailColour(model_.index(0)), QColor(Qt::red));
  EXPECT_EQ(model_.PageIdAt(0), 7);
  EXPECT_EQ(model_.RowOfPage(3), 1);
  EXPECT_EQ(model_.RowOfPage(4), -1);
  EXPECT_EQ(model_.PageIdAt(2), -1);
  EXPECT_EQ(model_.PageAt(-1), nullptr);
  EXPECT_FALSE(model_.index(2).isValid());

  // Pages are dragged and dropped on pages; the empty rest of the list takes nothing.
  EXPECT_TRUE(model_.flags(second) & Qt::ItemIsDragEnabled);
  EXPECT_TRUE(model_.flags(second) & Qt::ItemIsDropEnabled);
  EXPECT_TRUE(model_.flags(second) & Qt::ItemIsSelectable);
  EXPECT_FALSE(model_.flags(QModelIndex()) & Qt::ItemIsDropEnabled);
}

TEST_F(PageListModelTest, InsertsBeforeAnyRowAndRefusesRowsOutsideTheList) {
  Fill(2);
  QSignalSpy inserted(&model_, &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(model_.InsertPages(1, {MakePage(1), MakePage(2)}));
  ASSERT_TRUE(model_.InsertPages(0, {MakePage(3)}));
  ASSERT_TRUE(model_.InsertPages(5, {MakePage(4)}));
  EXPECT_EQ(Order(), (std::vector<int32_t>{3, kFirstId, 1, 2, kFirstId + 1, 4}));
  ASSERT_EQ(inserted.size(), 3);
  EXPECT_EQ(inserted[0][1].toInt(), 1);  // first
  EXPECT_EQ(inserted[0][2].toInt(), 2);  // last

  EXPECT_FALSE(model_.InsertPages(-1, {MakePage(5)}));
  EXPECT_FALSE(model_.InsertPages(7, {MakePage(5)}));
  EXPECT_FALSE(model_.InsertPages(0, {}));
  EXPECT_EQ(inserted.size(), 3);
  EXPECT_EQ(model_.rowCount(), 6);
}

// The numbered labels, first row to last.
QStringList NumberedLabels(const CPageListModel& model) {
  QStringList labels;
  for (int row = 0; row < model.rowCount(); ++row)
    labels << model.index(row).data(CPageListModel::kNumberedLabelRole).toString();
  return labels;
}

TEST_F(PageListModelTest, NumbersFollowEveryChangeOfTheOrder) {
  Fill(3);
  QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);
  ASSERT_TRUE(model_.InsertPages(1, {MakePage(7)}));
  EXPECT_EQ(NumberedLabels(model_),
            QStringList({"1: /scans/page 100.tif", "2: /scans/page 7.tif", "3: /scans/page 101.tif",
                         "4: /scans/page 102.tif"}));
  // The rows whose number changed are announced: those after the new one.
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex().row(), 2);
  EXPECT_EQ(changed[0][1].toModelIndex().row(), 3);
  EXPECT_EQ(changed[0][2].value<QList<int>>(), QList<int>{CPageListModel::kNumberedLabelRole});
  ASSERT_TRUE(model_.removeRows(0, 1));
  EXPECT_EQ(NumberedLabels(model_).first(), "1: /scans/page 7.tif");
  ASSERT_GE(model_.MoveRows({2}, 0), 0);
  EXPECT_EQ(NumberedLabels(model_), QStringList({"1: /scans/page 102.tif", "2: /scans/page 7.tif",
                                                 "3: /scans/page 101.tif"}));
  // The plain label stays what the list was given.
  EXPECT_EQ(model_.index(0).data().toString(), "/scans/page 102.tif");
  EXPECT_EQ(CPageListModel::NumberOfRow(11), "12: ");
}

TEST_F(PageListModelTest, AReorderKeepsSelectionsWithTheirPages) {
  Fill(4);
  QPersistentModelIndex held(model_.index(1));
  QSignalSpy removed(&model_, &QAbstractItemModel::rowsRemoved);
  ASSERT_TRUE(model_.Reorder(Ids({3, 1, 0, 2})));
  EXPECT_EQ(Order(), Ids({3, 1, 0, 2}));
  EXPECT_EQ(held.row(), 1);
  ASSERT_TRUE(model_.Reorder(Ids({1, 2, 3, 0})));
  EXPECT_EQ(held.row(), 0);
  EXPECT_EQ(held.data(CPageListModel::kPageIdRole).toInt(), kFirstId + 1);
  EXPECT_EQ(NumberedLabels(model_).last(), "4: /scans/page 100.tif");
  EXPECT_EQ(removed.size(), 0);
  // Anything but every page once is refused.
  EXPECT_FALSE(model_.Reorder(Ids({1, 2, 3})));
  EXPECT_FALSE(model_.Reorder(Ids({1, 2, 3, 3})));
  EXPECT_FALSE(model_.Reorder(Ids({1, 2, 3, 9})));
  EXPECT_EQ(Order(), Ids({1, 2, 3, 0}));

  std::vector<CPageListModel::Page> pages = model_.Pages();
  std::reverse(pages.begin(), pages.end());
  model_.SetPages(pages);
  EXPECT_EQ(Order(), Ids({0, 3, 2, 1}));
  EXPECT_EQ(ThumbnailColour(model_.index(0)), QColor(Qt::red));
}

TEST_F(PageListModelTest, RemovesRowsInsideTheListAndClears) {
  Fill(5);
  EXPECT_TRUE(model_.removeRows(1, 2));
  EXPECT_EQ(Order(), Ids({0, 3, 4}));
  EXPECT_EQ(model_.RowOfPage(kFirstId + 1), -1);
  EXPECT_EQ(model_.RowOfPage(kFirstId + 3), 1);
  EXPECT_FALSE(model_.removeRows(-1, 1));
  EXPECT_FALSE(model_.removeRows(2, 2));
  EXPECT_FALSE(model_.removeRows(0, 0));
  EXPECT_FALSE(model_.removeRows(0, 1, model_.index(0)));
  EXPECT_EQ(Order(), Ids({0, 3, 4}));

  QSignalSpy reset(&model_, &QAbstractItemModel::modelReset);
  model_.Clear();
  EXPECT_EQ(reset.size(), 1);
  EXPECT_TRUE(Order().empty());
}

struct MoveCase {
  std::vector<int> rows;
  int destination;
  std::vector<int> order;  // rows of the filled list, in their new order
  int landed;
};

TEST_F(PageListModelTest, MovesAnySetOfRowsTogetherInTheirOrder) {
  const MoveCase cases[] = {
      {{0}, 3, {1, 2, 0, 3, 4, 5}, 2},        // one down
      {{4}, 1, {0, 4, 1, 2, 3, 5}, 1},        // one up
      {{1, 2}, 5, {0, 3, 4, 1, 2, 5}, 3},     // a block down
      {{1, 3, 5}, 0, {1, 3, 5, 0, 2, 4}, 0},  // scattered rows to the front
      {{0, 2, 4}, 6, {1, 3, 5, 0, 2, 4}, 3},  // scattered rows to the end
      {{5, 0}, 3, {1, 2, 0, 5, 3, 4}, 2},     // from both sides, given in any order
      {{4, 1, 2}, 3, {0, 1, 2, 4, 3, 5}, 1},  // from both sides, partly in place
      {{2, 2, 3}, 2, {0, 1, 2, 3, 4, 5}, 2},  // in place already, a repeat counted once
      {{2, 3}, 4, {0, 1, 2, 3, 4, 5}, 2},     // in place, the destination right after
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "destination " << c.destination);
    model_.Clear();
    Fill(6);
    std::vector<QPersistentModelIndex> held;
    for (int row = 0; row < 6; ++row) held.emplace_back(model_.index(row));
    QSignalSpy removed(&model_, &QAbstractItemModel::rowsRemoved);

    EXPECT_EQ(model_.MoveRows(c.rows, c.destination), c.landed);
    EXPECT_EQ(Order(), Ids(c.order));
    // A move, not a removal and an insertion: selections and current items go along.
    EXPECT_EQ(removed.size(), 0);
    for (int row = 0; row < 6; ++row)
      EXPECT_EQ(held[size_t(row)].data(CPageListModel::kPageIdRole).toInt(), kFirstId + row);
    int moved = model_.RowOfPage(kFirstId + 5);
    EXPECT_EQ(model_.index(moved).data().toString(), MakePage(kFirstId + 5).label);
  }
}

TEST_F(PageListModelTest, MovesOutsideTheListChangeNothing) {
  Fill(6);
  QSignalSpy moved(&model_, &QAbstractItemModel::rowsMoved);
  EXPECT_EQ(model_.MoveRows({}, 0), -1);
  EXPECT_EQ(model_.MoveRows({-1, 2}, 0), -1);
  EXPECT_EQ(model_.MoveRows({1, 6}, 0), -1);
  EXPECT_EQ(model_.MoveRows({1}, -1), -1);
  EXPECT_EQ(model_.MoveRows({1}, 7), -1);
  EXPECT_EQ(moved.size(), 0);
  EXPECT_EQ(Order(), Ids({0, 1, 2, 3, 4, 5}));

  // The framework's own call moves a block the same way.
  EXPECT_TRUE(model_.moveRows(QModelIndex(), 1, 2, QModelIndex(), 5));
  EXPECT_EQ(Order(), Ids({0, 3, 4, 1, 2, 5}));
  EXPECT_FALSE(model_.moveRows(QModelIndex(), 1, 0, QModelIndex(), 5));
  EXPECT_FALSE(model_.moveRows(model_.index(0), 1, 1, QModelIndex(), 5));
}

TEST_F(PageListModelTest, DragDataNamesThePagesInRowOrder) {
  Fill(4);
  EXPECT_EQ(model_.mimeTypes(), QStringList{"application/x-pageweaver-page"});
  std::unique_ptr<QMimeData> one(model_.mimeData({model_.index(2)}));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->data("application/x-pageweaver-page"), "102");
  std::unique_ptr<QMimeData> some(
      model_.mimeData({model_.index(3), model_.index(1), model_.index(3)}));
  ASSERT_TRUE(some);
  EXPECT_EQ(some->data("application/x-pageweaver-page"), "101,103");
  EXPECT_EQ(model_.RowsInMimeData(some.get()), (std::vector<int>{1, 3}));
  EXPECT_EQ(model_.mimeData({}), nullptr);
  EXPECT_EQ(model_.mimeData({QModelIndex()}), nullptr);

  // What a drag carries, dropped on a later page, lands after it.
  ASSERT_TRUE(model_.dropMimeData(some.get(), Qt::MoveAction, -1, 0, model_.index(2)));
  EXPECT_EQ(Order(), Ids({0, 2, 1, 3}));
}

struct DropCase {
  const char* name;
  QByteArray ids;
  Qt::DropAction action;
  int row;                 // dropped between pages, before this row; -1: not
  int target;              // dropped on this page; -1: on none
  std::vector<int> order;  // empty: refused
};

TEST_F(PageListModelTest, DropsMoveDraggedPagesAsTheRulesSay) {
  const DropCase cases[] = {
      {"down: after the target", "100", Qt::MoveAction, -1, 2, {1, 2, 0, 3, 4, 5}},
      {"up: before the target", "104", Qt::MoveAction, -1, 1, {0, 4, 1, 2, 3, 5}},
      {"several, below the first", "101,103", Qt::MoveAction, -1, 4, {0, 2, 4, 1, 3, 5}},
      {"several, above the first", "103,105", Qt::MoveAction, -1, 0, {3, 5, 0, 1, 2, 4}},
      {"between pages", "100", Qt::MoveAction, 4, -1, {1, 2, 3, 0, 4, 5}},
      {"between pages, at the end", "101", Qt::MoveAction, 6, -1, {0, 2, 3, 4, 5, 1}},
      {"on itself", "102", Qt::MoveAction, -1, 2, {}},
      {"on one of the dragged", "101,103", Qt::MoveAction, -1, 3, {}},
      {"on no page", "100", Qt::MoveAction, -1, -1, {}},
      {"past the end", "100", Qt::MoveAction, 7, -1, {}},
      {"copied", "100", Qt::CopyAction, -1, 2, {}},
      {"an unknown page", "100,999", Qt::MoveAction, -1, 2, {}},
      {"nothing", "", Qt::MoveAction, -1, 2, {}},
      {"not a number", "1x", Qt::MoveAction, -1, 2, {}},
      {"an empty field", "100,,101", Qt::MoveAction, -1, 2, {}},
      {"another separator", "100;101", Qt::MoveAction, -1, 2, {}},
      {"too large a number", "4294967396", Qt::MoveAction, -1, 2, {}},
  };
  for (const DropCase& c : cases) {
    SCOPED_TRACE(c.name);
    model_.Clear();
    Fill(6);
    std::unique_ptr<QMimeData> mime = Payload(c.ids);
    QModelIndex on = c.target >= 0 ? model_.index(c.target) : QModelIndex();
    bool accepted = !c.order.empty();
    EXPECT_EQ(model_.canDropMimeData(mime.get(), c.action, c.row, 0, on), accepted);
    EXPECT_EQ(model_.dropMimeData(mime.get(), c.action, c.row, 0, on), accepted);
    EXPECT_EQ(Order(), accepted ? Ids(c.order) : Ids({0, 1, 2, 3, 4, 5}));
  }
}

TEST_F(PageListModelTest, DropsOfOtherDataChangeNothing) {
  Fill(3);
  std::unique_ptr<QMimeData> text = Payload("100", "text/plain");
  EXPECT_FALSE(model_.dropMimeData(text.get(), Qt::MoveAction, -1, 0, model_.index(2)));
  EXPECT_FALSE(model_.dropMimeData(nullptr, Qt::MoveAction, -1, 0, model_.index(2)));
  // A drop the user called off is done, with nothing to do.
  std::unique_ptr<QMimeData> ours = Payload("100");
  EXPECT_TRUE(model_.dropMimeData(ours.get(), Qt::IgnoreAction, -1, 0, model_.index(2)));
  EXPECT_EQ(Order(), Ids({0, 1, 2}));
}

TEST_F(PageListModelTest, NewThumbnailsReachOnlyTheirRow) {
  Fill(3);
  QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);
  QPixmap green(100, 100);
  green.fill(Qt::green);
  ASSERT_TRUE(model_.SetThumbnail(1, QIcon(green)));
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);
  EXPECT_EQ(changed[0][1].toModelIndex().row(), 1);
  EXPECT_EQ(changed[0][2].value<QList<int>>(), QList<int>{Qt::DecorationRole});
  EXPECT_EQ(ThumbnailColour(model_.index(1)), QColor(Qt::green));
  EXPECT_EQ(ThumbnailColour(model_.index(0)), QColor(Qt::red));
  EXPECT_FALSE(model_.SetThumbnail(3, QIcon(green)));
  EXPECT_FALSE(model_.SetThumbnail(-1, QIcon(green)));
  EXPECT_EQ(changed.size(), 1);
}

}  // namespace
