// CPageListModel: the pages of the thumbnail list, in output order. A row is one page: its
// id, its label and its thumbnail. The order of the rows is the order the output writes;
// the document keeps its pages by id only. Every change of the order goes through one of
// the operations below, each a single step that can be replayed or reversed.
#ifndef PAGEWEAVER_UI_PAGE_LIST_MODEL_H
#define PAGEWEAVER_UI_PAGE_LIST_MODEL_H

#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "document/interfaces.h"

class CPageListModel : public QAbstractListModel, public PageOrderSource {
  Q_OBJECT
 public:
  // What a dragged page carries: the page ids, in row order, as decimal numbers separated
  // by commas.
  static constexpr char kPageMimeType[] = "application/x-pageweaver-page";
  // The page id of a row (the label is the display and tool-tip text, the thumbnail the
  // decoration).
  static constexpr int kPageIdRole = Qt::UserRole;
  // What the list shows under a thumbnail: the row's position and the label ("3:
  // /scans/page3.tif"), so that the order can be read at a glance.
  static constexpr int kNumberedLabelRole = Qt::UserRole + 1;
  // The start of a numbered label: "3: " for the third row.
  static QString NumberOfRow(int row);

  struct Page {
    int32_t id = -1;
    QString label;  // the page's name, without its position
    QIcon thumbnail;
  };

  explicit CPageListModel(QObject* parent = nullptr);
  ~CPageListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                const QModelIndex& destinationParent, int destinationChild) override;
  Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
  Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  // Moves the pages the data names. Dropped on a page (`parent`), they land after it when
  // it lies below the first of them and before it otherwise; dropped between pages (`row`)
  // they land before `row`. A drop on one of the moved pages or on no page changes nothing.
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;

  // The page ids, first row to last.
  std::vector<int32_t> PageIdsInDisplayOrder() override;

  // Inserts the pages before `row` (rowCount(): at the end); false, changing nothing, for
  // a row outside the list or no pages.
  bool InsertPages(int row, const std::vector<Page>& pages);
  bool AppendPage(const Page& page) { return InsertPages(rowCount(), {page}); }
  // Moves the rows (in any order; repeats count once) so that they stand together, in
  // their present order, before the page now at `destination` (rowCount(): at the end).
  // Returns the row the first of them lands on, or -1, changing nothing, when a row or
  // the destination is outside the list or there are no rows.
  int MoveRows(std::vector<int> rows, int destination);
  // The destination of MoveRows for rows dropped on the page at `target` (see
  // dropMimeData); -1 when the target is outside the list or one of the rows.
  int DropDestination(const std::vector<int>& rows, int target) const;
  // Puts the rows in the order of `ids`, which names every page of the list once;
  // selections and current items follow their pages. False, changing nothing, for any
  // other list of ids.
  bool Reorder(const std::vector<int32_t>& ids);
  // Every page, first row to last, and a whole new list of them.
  const std::vector<Page>& Pages() const { return pages_; }
  void SetPages(std::vector<Page> pages);
  bool SetThumbnail(int row, const QIcon& thumbnail);
  // Replaces the label of the page in `row`; false when there is no such row.
  bool SetLabel(int row, const QString& label);
  void Clear();

  // The page of a row; null outside the list.
  const Page* PageAt(int row) const;
  int32_t PageIdAt(int row) const;
  int RowOfPage(int32_t id) const;

  // The rows of the pages the data names, ascending; none when the data is not ours or
  // names a page that is not in the list.
  std::optional<std::vector<int>> RowsInMimeData(const QMimeData* data) const;

 private:
  // The destination a drop would move its rows to, with the rows; none when the drop
  // would change nothing.
  struct DropPlan {
    std::vector<int> rows;
    int destination;
  };
  std::optional<DropPlan> PlanDrop(const QMimeData* data, Qt::DropAction action, int row,
                                   const QModelIndex& parent) const;
  // Moves the block of rows first..last before `destination`, as one move.
  void MoveBlock(int first, int last, int destination);
  // The rows from `first` to `last` (-1: the last row) stand at new positions: their
  // numbered labels change.
  void PositionsChanged(int first, int last = -1);

  std::vector<Page> pages_;
};

#endif  // PAGEWEAVER_UI_PAGE_LIST_MODEL_H
